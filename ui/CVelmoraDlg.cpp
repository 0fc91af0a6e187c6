#include "ui/CVelmoraDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEvent>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/CPingThread.h"
#include "app/CQelThread.h"
#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/LatencyThreads.h"
#include "app/SettingsKeys.h"
#include "app/messages.h"
#include "net/CDownloadConfigThread.h"
#include "net/CUploadConfigThread.h"
#include "net/GetAvatarThread.h"
#include "net/Statistics.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "res/ResourceIds.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUIProgressBar.h"
#include "skin/ResourceLoader.h"
#include "skin/WindowTarget.h"
#include "ui/DesktopShortcut.h"
#include "ui/MainWindowTexts.h"
#include "ui/QtStartupUi.h"
#include "ui/WindowIds.h"
#include "update/MainController.h"
#include "update/UpdateOutcome.h"
#include "update/UpdateSession.h"
#include "update/WindowMessageListener.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

constexpr int kWidth = 802;
constexpr int kHeight = 603;
constexpr UINT kBoxInformationOk = 0x30;

QImage LoadBitmap(int number) {
    QImage image;
    LoadImageResource(image, ResourceType::Bitmap, number);
    return image;
}

// Notices a minimise that did not come from the window's own button (the taskbar's).
class StateWatcher : public QObject {
  public:
    explicit StateWatcher(std::function<void()> onMinimised)
        : m_onMinimised(std::move(onMinimised)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::WindowStateChange) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && (w->windowState() & Qt::WindowMinimized)) m_onMinimised();
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    std::function<void()> m_onMinimised;
};

}  // namespace

QUrl CVelmoraDlg::EmbedPageUrl() {
    return QUrl(QString::fromStdString(GetEndpoints().embedServer + kEmbedPagePath));
}

CVelmoraDlg::CVelmoraDlg() = default;

CVelmoraDlg::~CVelmoraDlg() {
    if (m_target && theApp().MainTarget().lock() == m_target) theApp().SetMainTarget(nullptr);
    if (m_trayIcon) m_trayIcon->RemoveIcon(kTrayIconId);
    if (Window() && m_stateWatcher) Window()->removeEventFilter(m_stateWatcher.get());
    delete m_trayMenu.data();
    delete m_commandMenu.data();
}

bool CVelmoraDlg::Open() {
    if (!Create(nullptr, kWindowTitle, kWidth, kHeight)) return false;
    m_target = std::make_shared<WindowTarget>(Window()->Mailbox());
    // The main target before anything can post to it: the automatic login below and the
    // splash's account check report there.
    theApp().SetMainTarget(m_target);
    // Runs report to the window as its messages and wait for its page and shortcut offer.
    m_session = std::make_unique<UpdateSession>(std::make_shared<WindowMessageListener>(m_target),
                                                UpdateGates::MainWindow());
    m_session->SetLauncher([this] {
        StartUpdateWorkers();
        return true;
    });
    m_controller.SetSession(m_session.get());
    InitialiseSteps();
    return true;
}

int CVelmoraDlg::RunModal() {
    if (!Window()) return 0;
    QApplication::setQuitOnLastWindowClosed(false);
    CenterWindow();
    const int result = ShowModal();
    m_ended = true;
    return result;
}

void RunVelmoraMainWindow() {
    CVelmoraDlg window;
    if (window.Open()) window.RunModal();
}

void CVelmoraDlg::InitialiseSteps() {
    // 1-2. Skin, size, shared look, outline and controls.
    SetSkinImages(res::IDP_MAIN_NORMAL, res::IDP_MAIN_HOT, res::IDP_MAIN_PUSHED, res::IDP_DISABLED);
    Window()->resize(kWidth, kHeight);
    ApplyMainWindowSkinTheme();
    SetRoundCorner(6);
    BuildControls();
    // 3-4. Login state, automatic login.
    m_controller.RefreshLoginState();
    m_controller.AutoLogin();
    // 5. Icons and the news page.
    QImage icon;
    if (LoadImageResource(icon, ResourceType::Icon, res::IDI_PROGRAM))
        Window()->setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    if (WantsEmbeddedPage()) {
        m_explorer.Create(Window(), 5, 137, 791, 305);
        m_explorer.SetLoadHandler([this](const QUrl& url, bool ok) {
            m_controller.OnPageLoaded(url.path() == QString::fromLatin1(kEmbedPagePath), ok);
        });
        m_explorer.Navigate(EmbedPageUrl());
    }
    // 6. The commit gate's fallback and the statistics heartbeat.
    Window()->SetTimer(kCommitGateTimer, 15000);
    Window()->SetTimer(kStatisticTimer, 300000);
    // 7. Own checksum and the notice.
    m_selfChecksum = SelfChecksumText(platform::ExecutablePath().string());
    SetControlText(IDC_CHECKSUM, "校验码：" + m_selfChecksum);
    SetControlText(IDC_RIGHTS, std::string(kRightsNotice) + "(" + kVersionText + ")");
    // 8. Menus and the tray icon.
    BuildMenus();
    m_trayIcon = MakeTrayIcon();
    m_trayIcon->SetMainWnd(this);
    m_trayIcon->m_pMenu = m_trayMenu;
    QImage small;
    LoadImageResource(small, ResourceType::Icon, res::IDI_PROGRAM_SMALL);
    m_trayIcon->AddIcon(QIcon(QPixmap::fromImage(small.isNull() ? icon : small)), kTrayIconId,
                        kWindowTitle);
    m_trayIcon->ShowIcon(kTrayIconId);
    m_stateWatcher = std::make_unique<StateWatcher>([this] { OnTaskbarMinimise(); });
    Window()->installEventFilter(m_stateWatcher.get());
    // 9. First run.
    if (theApp().GetProfile(settings::kFirstRun) == 1) {
        theApp().WriteProfile(settings::kFirstRun, 0);
        RunWizard();
    }
    // 10. The game-server list.
    auto job = std::make_unique<CCheckConfigThread>();
    job->m_pMainWnd = m_target;
    CWorkerThread::Start(std::move(job));
    // 11-12. Automatic update and latency.
    m_controller.DecideAutomaticUpdate();
    m_controller.StartLatency();
    // 13. Title, then the shortcut offer once the window runs.
    Window()->setWindowTitle(kWindowTitle);
    PostMessage(WM_VM_OFFER_SHORTCUT, 0, 0);
}

void CVelmoraDlg::SetControlText(int id, const std::string& text) {
    if (CUIControl* c = FindControl(id)) c->SetText(text);
}

void CVelmoraDlg::EnableControls(std::initializer_list<int> ids, bool on) {
    for (int id : ids)
        if (CUIControl* c = FindControl(id)) c->SetEnabled(on);
}

// ---- update ------------------------------------------------------------------------------

void CVelmoraDlg::SetUpdateFace(bool idle) {
    if (auto* b = static_cast<CUIButton*>(FindControl(IDC_UPDATE))) {
        b->SetImage(LoadBitmap(idle ? res::IDB_UPDATE_START : res::IDB_UPDATE_STOP));
        b->Invalidate();
    }
}

void CVelmoraDlg::StartUpdateWorkers() {
    // Without its workers the run never ends by itself: the button comes back at once.
    if (!m_session->LaunchWorkers()) {
        ShowStatus("无法启动更新。");
        PostUpdateEnd(m_target, UpdateOutcome::Failed);
    }
}

void CVelmoraDlg::SetRunGameTimer(bool on) {
    if (!Window()) return;
    if (on)
        Window()->SetTimer(kRunGameTimer, 1000);
    else
        Window()->KillTimer(kRunGameTimer);
}

// ---- what the controller shows -----------------------------------------------------------

void CVelmoraDlg::EnableUpdate(bool on) {
    EnableControls({IDC_UPDATE}, on);
}

void CVelmoraDlg::EnableRunGame(bool on) {
    EnableControls({IDC_RUN_GAME}, on);
}

void CVelmoraDlg::ShowStatus(const std::string& text) {
    SetControlText(IDC_STATUS, text);
    // A record of what the status line said, for support and the end-to-end tests; only
    // when VELMORA_STATUS_LOG names a file.
    const char* record = std::getenv("VELMORA_STATUS_LOG");
    if (record && *record) std::ofstream(record, std::ios::app) << text << '\n';
}

void CVelmoraDlg::StartGameWorker() {
    auto job = std::make_unique<CQelThread>();
    job->m_pMainWnd = m_target;
    CWorkerThread::Start(std::move(job));
}

void CVelmoraDlg::StartPingWorker(const GameServerRecord& record) {
    auto job = std::make_unique<CPingThread>();
    job->m_record = record;
    job->m_pMainWnd = m_target;
    CWorkerThread::Start(std::move(job));
}

void CVelmoraDlg::ShowLatency(const std::string& text) {
    SetControlText(IDC_LATENCY, text);
}

void CVelmoraDlg::ShowLoginState(bool in, const std::string& userName) {
    for (int id : {IDC_NOT_LOGGED_IN, IDC_LOGON, IDC_REGISTER})
        if (CUIControl* c = FindControl(id)) c->SetVisible(!in);
    for (int id : {IDC_AVATAR, IDC_USER_NAME, IDC_USER_ID, IDC_LOGOUT})
        if (CUIControl* c = FindControl(id)) c->SetVisible(in);
    EnableControls({IDC_UPLOAD, IDC_DOWNLOAD}, in);
    if (in && !userName.empty()) SetControlText(IDC_USER_NAME, userName);
}

void CVelmoraDlg::ShowAccount(const std::string& userName, std::uint64_t uid,
                              const std::string& avatarFile) {
    SetControlText(IDC_USER_NAME, userName);
    SetControlText(IDC_USER_ID, "ID: " + std::to_string(uid));
    if (auto* avatar = static_cast<CUILabel*>(FindControl(IDC_AVATAR));
        avatar && !avatarFile.empty()) {
        avatar->LoadImageFile(avatarFile);
        avatar->Invalidate();
    }
}

void CVelmoraDlg::ReloadPage() {
    if (m_explorer.IsCreated()) m_explorer.Navigate(EmbedPageUrl());
}

void CVelmoraDlg::StartAvatarWorker() {
    auto job = std::make_unique<GetAvatarThread>();
    job->m_pMainWnd = m_target;
    CWorkerThread::Start(std::move(job));
}

bool CVelmoraDlg::IsLoggedIn() const {
    return PassportMainAccount().IsLoggedIn();
}
std::string CVelmoraDlg::UserName() const {
    return PassportMainAccount().UserName();
}
bool CVelmoraDlg::HasSession() const {
    return PassportMainAccount().HasSession();
}
bool CVelmoraDlg::LogInWithStoredCredentials(int cookieSeconds) {
    return PassportMainAccount().LogInWithStoredCredentials(cookieSeconds);
}
void CVelmoraDlg::LogOut() {
    PassportMainAccount().LogOut();
}

void CVelmoraDlg::ShowTransferBusy(const std::optional<std::string>& text) {
    if (text) {
        if (!m_busyDlg) m_busyDlg = MakeBusy();
        if (m_busyDlg) m_busyDlg->Show(*text);
        Window()->setEnabled(false);
        return;
    }
    if (m_busyDlg) m_busyDlg->Hide();
    m_explorer.RedrawWindow();
    Window()->setEnabled(true);
    Window()->raise();
    Window()->activateWindow();
}

void CVelmoraDlg::StartConfigWorker(bool upload) {
    std::unique_ptr<CWorkerThread> job;
    if (upload)
        job = std::make_unique<CUploadConfigThread>();
    else
        job = std::make_unique<CDownloadConfigThread>();
    job->m_pMainWnd = m_target;
    CWorkerThread::Start(std::move(job));
}

bool CVelmoraDlg::LauncherExists() {
    std::error_code ec;
    return fs::exists(DesktopFolder() / kLauncherName, ec);
}

void CVelmoraDlg::RemoveLauncher() {
    std::error_code ec;
    fs::remove(DesktopFolder() / kLauncherName, ec);
}

int CVelmoraDlg::CreateLaunchers() {
    CVelmoraApp& app = theApp();
    const fs::path program = app.ProgramDir() / "Velmora-TVRN";
    const fs::path icon = InstallProgramIcon(app.Locations().dataDir);
    const int error = WriteLauncher(DesktopFolder(), program, icon);
    // The applications menu gets the same entry; the desktop one decides the answer.
    if (error == 0) WriteLauncher(ApplicationsFolder(), program, icon);
    return error;
}

// ---- page --------------------------------------------------------------------------------

// ---- window ------------------------------------------------------------------------------

bool CVelmoraDlg::IsTrayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

std::unique_ptr<CVMTrayIcon> CVelmoraDlg::MakeTrayIcon() {
    return std::make_unique<CVMTrayIcon>();
}

std::unique_ptr<IBusyWindow> CVelmoraDlg::MakeBusy() {
    return MakeBusyWindow(Window());
}

bool CVelmoraDlg::IsHiddenToTray() const {
    return Window() && (!Window()->isVisible() || Window()->isMinimized());
}

void CVelmoraDlg::HideToTray() {
    if (!Window()) return;
    const TrayIconRecord* icon = m_trayIcon ? m_trayIcon->Find(kTrayIconId) : nullptr;
    if (!IsTrayAvailable() || !icon || icon->uFlags == 0) {
        // No tray to come back from: the taskbar keeps the window reachable.
        m_selfMinimising = true;
        Window()->showMinimized();
        m_selfMinimising = false;
        return;
    }
    Window()->hide();
}

void CVelmoraDlg::RestoreFromTray() {
    if (!Window()) return;
    if (Window()->isMinimized())
        Window()->showNormal();
    else
        Window()->show();
    Window()->raise();
    Window()->activateWindow();
}

void CVelmoraDlg::ToggleWindow() {
    if (Window() && Window()->isVisible() && !Window()->isMinimized())
        HideToTray();
    else
        RestoreFromTray();
    if (Window() && Window()->isVisible()) Window()->raise();
}

void CVelmoraDlg::Minimise() {
    // The state change may come back from the window manager a little later.
    m_selfMinimiseUntil = GetTickCount() + 1000;
    if (Window()) Window()->showMinimized();
}

void CVelmoraDlg::OnTaskbarMinimise() {
    if (m_selfMinimising || GetTickCount() < m_selfMinimiseUntil || !IsTrayAvailable()) return;
    // Minimised from the taskbar: into the tray, as the window's own hide does.
    QMetaObject::invokeMethod(
        Window(),
        [this] {
            if (!Window() || !Window()->isMinimized()) return;
            Window()->showNormal();
            HideToTray();
        },
        Qt::QueuedConnection);
}

void CVelmoraDlg::OnClose() {
    HideToTray();
    if (IsTrayAvailable() && m_trayIcon)
        m_trayIcon->ShowBalloon(kTrayIconId, kWindowTitle, kHiddenBalloon, 0);
}

void CVelmoraDlg::PostQuit() {
    PostQuitMessage(0);
}

void CVelmoraDlg::CopyChecksum() {
    QApplication::clipboard()->setText(QString::fromStdString(m_selfChecksum));
    ShowBox("复制校验码成功！", {}, kBoxInformationOk);
}

void CVelmoraDlg::OpenUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

int CVelmoraDlg::ShowBox(std::string_view text, std::string_view title, UINT style) {
    return MessageBox(text, title, style);
}

void CVelmoraDlg::ShowPlainBox(const std::string& text) {
    QMessageBox::warning(Window(), kWindowTitle, QString::fromStdString(text));
}

LRESULT CVelmoraDlg::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    NativeWindow* w = Window();
    Payload* payload = w ? w->CurrentPayload() : nullptr;
    switch (msg) {
        case WM_VM_STATUS:
            if (wParam) ShowStatus(*reinterpret_cast<const std::string*>(wParam));
            return 0;
        case WM_VM_UPDATE_END:
            m_controller.OnUpdateEnd();
            return 0;
        case WM_VM_TOTAL_PROGRESS:
            if (auto* bar = static_cast<CUIProgressBar*>(FindControl(IDC_PROGRESS))) {
                bar->SetRange(1, std::max<int>(1, static_cast<int>(lParam)));
                bar->SetValue(static_cast<int>(wParam));
                if (wParam == 0 && lParam == 0) {
                    bar->SetRange(0, 100);
                    bar->SetValue(0);
                }
                bar->Invalidate();
            }
            return 0;
        case WM_VM_FILE_PROGRESS:
            // The window has no per-file bar; the total one carries the run.
            return 0;
        case WM_VM_FILES_CHANGED:
            OpenChangeLog();
            return 0;
        case WM_VM_REALMS_READY:
            m_controller.OnRealmsReady();
            return 0;
        case WM_VM_PING_RESULT:
            if (wParam)
                m_controller.OnPingResult(*reinterpret_cast<const GameServerRecord*>(wParam));
            return 0;
        case WM_VM_CONFIRM_DELETE: {
            const auto* candidates = reinterpret_cast<const std::vector<std::string>*>(wParam);
            const auto* listPaths = reinterpret_cast<const std::vector<std::string>*>(lParam);
            static const std::vector<std::string> kNone;
            return m_controller.DecideUnknownAddOns(candidates ? *candidates : kNone,
                                                    listPaths ? *listPaths : kNone)
                       ? 1
                       : 0;
        }
        case WM_VM_GAME_ENDED:
            m_controller.OnGameEnded();
            return 0;
        case WM_VM_ACTIVATE:
            ShowStatus("另一个Velmora启动了：窗口回到前台。");
            RestoreFromTray();
            return 0;
        case WM_KICKIDLE:
            return 0;
        case WM_VM_COMBAT_LOG_OFFER:
            if (!theApp().CombatLog().pieces.Get().empty()) OpenCombatLog();
            return 0;
        case WM_VM_CONFIG_UPLOAD_FAILED:
        case WM_VM_CONFIG_DOWNLOAD_FAILED: {
            std::optional<std::string> reason;
            if (payload) {
                if (auto* s = std::get_if<std::string>(payload)) reason = *s;
                if (auto* o = std::get_if<std::optional<std::string>>(payload)) reason = *o;
            }
            m_controller.OnConfigResult(msg, reason);
            return 0;
        }
        case WM_VM_CONFIG_UPLOAD_DONE:
        case WM_VM_CONFIG_DOWNLOAD_DONE:
            m_controller.OnConfigResult(msg, std::nullopt);
            return 0;
        case WM_VM_ACCOUNT_CHANGED:
            m_controller.RefreshLoginState();
            return 0;
        case WM_VM_SELF_UPDATE_EXIT:
            if (m_trayIcon) m_trayIcon->RemoveIcon(kTrayIconId);
            return 0;
        case WM_VM_OFFER_SHORTCUT:
            m_controller.OfferShortcut();
            return 0;
        case WM_VM_AVATAR_READY: {
            std::string path;
            if (payload)
                if (auto* s = std::get_if<std::string>(payload)) path = *s;
            return m_controller.OnAvatarReady(wParam, path);
        }
        case WM_VM_HIDE_TO_TRAY:
            HideToTray();
            return 0;
        case WM_VM_EXIT_CONFIRMED:
            ExitWithConfirmation();
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_MINIMIZE) {
                HideToTray();
                return 0;
            }
            break;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_TIMER:
            if (wParam == kCommitGateTimer) {
                if (w) w->KillTimer(kCommitGateTimer);
                m_controller.OnCommitGateTimer();
                return 0;
            }
            if (wParam == kStatisticTimer) {
                SendStatistic(4);
                return 0;
            }
            if (wParam == kRunGameTimer) {
                m_controller.OnRunGameTimer();
                return 0;
            }
            break;
        case WM_DESTROY:
            if (m_trayIcon) m_trayIcon->RemoveIcon(kTrayIconId);
            delete m_trayMenu.data();
            break;
        default:
            break;
    }
    return CSkinDialog::DialogProc(msg, wParam, lParam);
}

}  // namespace vm
