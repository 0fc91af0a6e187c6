#include "ui/CVelmoraDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QEvent>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/CQelThread.h"
#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/LatencyThreads.h"
#include "app/messages.h"
#include "net/CDownloadConfigThread.h"
#include "net/CPHPServer.h"
#include "net/CUploadConfigThread.h"
#include "net/GameDataUpload.h"
#include "net/GetAvatarThread.h"
#include "net/Passport.h"
#include "net/Statistics.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "res/MainWindowPolygons.h"
#include "res/ResourceIds.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUIProgressBar.h"
#include "skin/IUIChecked.h"
#include "skin/ResourceLoader.h"
#include "skin/UITheme.h"
#include "skin/WindowTarget.h"
#include "ui/CAboutDlg.h"
#include "ui/CChangeLogDialog.h"
#include "ui/CDlgConfirmCloseBtnMean.h"
#include "ui/CDlgConfirmExit.h"
#include "ui/CDlgDeleteConfirm.h"
#include "ui/CDlgExport.h"
#include "ui/CDlgImport.h"
#include "ui/CDlgLogon.h"
#include "ui/CDlgObsoleted.h"
#include "ui/CDlgUploadCombatLog.h"
#include "ui/CSettingDialog.h"
#include "ui/CWizardSheet.h"
#include "ui/DesktopShortcut.h"
#include "ui/MainWindowTexts.h"
#include "ui/WindowIds.h"
#include "update/AutoUpdateDecision.h"
#include "update/UnknownAddOns.h"
#include "update/UpdateOutcome.h"
#include "update/UpdateSession.h"
#include "update/WindowMessageListener.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

constexpr int kWidth = 802;
constexpr int kHeight = 603;
constexpr int kDragBandWidth = 615;
constexpr int kDragBandHeight = 35;
constexpr UINT kBoxQuestion = 0x24;  // Yes/No with the question icon
constexpr UINT kBoxUploadQuestion = 0x34;
constexpr UINT kBoxInformation = 0x40;
constexpr UINT kBoxError = 0x10;
constexpr UINT kBoxInformationOk = 0x30;

// A process-wide guard against a second exit confirmation.
int g_exitQuestions = 0;

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

std::string SelfChecksumText(const std::string& executable) {
    std::optional<std::string> md5 = Md5OfFile(executable);
    if (!md5) return "未知";
    std::string upper = *md5;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

QUrl CVelmoraDlg::EmbedPageUrl() {
    return QUrl(QString::fromStdString(GetEndpoints().embedServer + kEmbedPagePath));
}

CVelmoraDlg::CVelmoraDlg() = default;

CVelmoraDlg::~CVelmoraDlg() {
    if (m_trayIcon) m_trayIcon->RemoveIcon(kTrayIconId);
    if (Window() && m_stateWatcher) Window()->removeEventFilter(m_stateWatcher.get());
    delete m_trayMenu.data();
    delete m_commandMenu.data();
}

bool CVelmoraDlg::Open() {
    if (!Create(nullptr, kWindowTitle, kWidth, kHeight)) return false;
    m_target = std::make_shared<WindowTarget>(Window()->Mailbox());
    // Runs report to the window as its messages and wait for its page and shortcut offer.
    m_session = std::make_unique<UpdateSession>(std::make_shared<WindowMessageListener>(m_target),
                                                UpdateGates::MainWindow());
    m_session->SetLauncher([this] {
        StartUpdateWorkers();
        return true;
    });
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
    if (!window.Open()) return;
    theApp().SetMainTarget(window.Target().lock());
    window.RunModal();
    theApp().SetMainTarget(nullptr);
}

void CVelmoraDlg::SetSharedSkinValues() {
    CSkinDialog::LoadDialogBackground(res::IDP_DIALOG_BACKGROUND);
    CSkinDialog::LoadButtonFace(res::IDP_BUTTON_FACE);
    CSkinDialog::LoadMessageBoxBackground(res::IDP_MSGBOX_CLOSE);
    CSkinDialog::LoadButtonFace(res::IDP_BUTTON_FACE);
    CSkinDialog::LoadRadioImage(res::IDP_RADIO);
    CMessageBoxWnd::SetButtonSize(72, 24);
    SetEditBackColor(RGB(56, 29, 90));
    SetDisabledEditBackColor(RGB(62, 43, 81));
    SetEditTextColor(RGB(200, 200, 200));
    CMessageBoxWnd::SetCloseButtonOffset(5, 5);
    CMessageBoxWnd::SetButtonSize(72, 24);
    CMessageBoxWnd::SetCaptionHeight(34);
    CMessageBoxWnd::SetTitleStyle(36);
}

void CVelmoraDlg::InitialiseSteps() {
    // 1-2. Skin, size, shared look, outline and controls.
    SetSkinImages(res::IDP_MAIN_NORMAL, res::IDP_MAIN_HOT, res::IDP_MAIN_PUSHED, res::IDP_DISABLED);
    Window()->resize(kWidth, kHeight);
    SetSharedSkinValues();
    SetRoundCorner(6);
    BuildControls();
    // 3. Login state.
    RefreshLoginState();
    // 4. Automatic login.
    AutoLogin();
    // 5. Icons and the news page.
    QImage icon;
    if (LoadImageResource(icon, ResourceType::Icon, res::IDI_PROGRAM))
        Window()->setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    if (WantsEmbeddedPage()) {
        m_explorer.Create(Window(), 5, 137, 791, 305);
        m_explorer.SetLoadHandler([this](const QUrl& url, bool ok) { OnPageLoaded(url, ok); });
        m_explorer.Navigate(EmbedPageUrl());
    }
    // 6. The commit gate's fallback and the statistics heartbeat.
    Window()->SetTimer(kCommitGateTimer, 15000);
    Window()->SetTimer(kStatisticTimer, 300000);
    // 7. Own checksum and the notice.
    m_selfChecksum = SelfChecksumText(platform::ExecutablePath().string());
    if (CUIControl* c = FindControl(IDC_CHECKSUM)) c->SetText("校验码：" + m_selfChecksum);
    if (CUIControl* c = FindControl(IDC_RIGHTS))
        c->SetText(std::string(kRightsNotice) + "(" + kVersionText + ")");
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
    if (theApp().GetProfileInt("Upload", "FirstRun", 1) == 1) {
        theApp().WriteProfileInt("Upload", "FirstRun", 0);
        RunWizard();
    }
    // 10. The game-server list.
    {
        auto job = std::make_unique<CCheckConfigThread>();
        job->m_pMainWnd = m_target;
        CWorkerThread::Start(std::move(job));
    }
    // 11-12. Automatic update and latency.
    DecideAutomaticUpdate();
    StartLatency();
    // 13. Title, then the shortcut offer once the window runs.
    Window()->setWindowTitle(kWindowTitle);
    PostMessage(WM_VM_OFFER_SHORTCUT, 0, 0);
}

void CVelmoraDlg::BuildControls() {
    auto label = [this](int id, int l, int t, int r, int b, std::string_view text = {}) {
        return CreateLabel(id, l, t, r, b, text);
    };
    auto slanted = [this](int id, int l, int t, int r, int b) {
        CUIButton* button = CreateButton(id, l, t, r, b);
        const auto poly = res::MainWindowPolygon(id);
        if (button && !poly.empty()) button->SetPolygon(poly.data(), static_cast<int>(poly.size()));
        return button;
    };
    // Dark on the light account panel of the artwork.
    const COLORREF nameColor = RGB(72, 40, 112);
    if (CUILabel* c = label(IDC_NOT_LOGGED_IN, 83, 56, 170, 71, "尚未登录"))
        c->SetTextColor(nameColor);
    if (CUIButton* b = CreateButton(IDC_LOGON, 83, 86, 123, 110))
        b->SetImage(LoadBitmap(res::IDB_LOGIN));
    if (CUIButton* b = CreateButton(IDC_REGISTER, 131, 86, 173, 110))
        b->SetImage(LoadBitmap(res::IDB_REGISTER));
    if (CUILabel* c = label(IDC_AVATAR, 15, 51, 76, 112)) {
        c->SetClickableImage(true);
        c->SetVisible(false);
    }
    if (CUILabel* c = label(IDC_USER_NAME, 82, 56, 170, 71)) c->SetTextColor(nameColor);
    if (CUILabel* c = label(IDC_USER_ID, 82, 80, 170, 95)) c->SetTextColor(RGB(104, 76, 148));
    if (CUIButton* b = CreateButton(IDC_LOGOUT, 158, 91, 180, 113)) {
        b->SetImage(LoadBitmap(res::IDB_LOGOUT));
        b->SetToolTip("退出");
    }
    slanted(IDC_UPLOAD, 183, 56, 260, 80);
    slanted(IDC_DOWNLOAD, 183, 85, 260, 109);
    if (CUIButton* b = slanted(IDC_UPDATE, 220, 479, 349, 520))
        b->SetImage(LoadBitmap(res::IDB_UPDATE_START));
    if (CUIProgressBar* bar = CreateProgressBar(IDC_PROGRESS, 20, 492, 231, 519)) {
        bar->LoadImage(res::IDP_PROGRESS);
        bar->SetValue(0);
    }
    if (CUILabel* c = label(IDC_STATUS, 26, 518, 230, 538)) c->SetTextColor(RGB(183, 167, 214));
    slanted(IDC_CHANGE_LOG, 266, 527, 366, 550);
    slanted(IDC_ACCELERATOR, 432, 527, 532, 550);
    slanted(IDC_RUN_GAME, 449, 472, 644, 518);
    if (CUILabel* c = label(IDC_LATENCY_CAPTION, 632, 496, 696, 516, "网络延迟："))
        c->SetTextColor(RGB(195, 138, 221));
    if (CUILabel* c = label(IDC_LATENCY, 700, 496, 745, 516)) c->SetTextColor(RGB(192, 138, 221));
    for (int id : {IDC_NORMAL_MODE, IDC_NO_EFFECTS}) {
        const bool normal = id == IDC_NORMAL_MODE;
        CUIButton* b = normal ? CreateButton(id, 448, 525, 558, 555, "开启普通模式")
                              : CreateButton(id, 575, 525, 685, 555, "关闭特效模式");
        if (!b) continue;
        b->SetCheckMode(UICHECK_RADIO);
        b->SetGroupRange(IDC_NORMAL_MODE, IDC_NO_EFFECTS);
        b->SetCheck(normal);
        b->SetVisible(false);
    }
    // The gift-code feature is not part of this program; its label stays hidden.
    if (CUILabel* c = label(IDC_GIFT_CODE, 632, 525, 696, 550)) c->SetVisible(false);
    CreateButton(IDC_FORUM, 620, 12, 680, 30);
    CreateButton(IDC_SETTINGS, 690, 12, 720, 30);
    CreateButton(IDC_MINIMISE, 736, 8, 760, 32);
    CreateButton(IDC_CLOSE, 768, 8, 792, 32);
    if (CUILabel* c = label(IDC_RIGHTS, 161, 578, 361, 593)) c->SetTextColor(RGB(150, 130, 180));
    if (CUILabel* c = label(IDC_CHECKSUM, 370, 578, 650, 593)) c->SetTextColor(RGB(150, 130, 180));
    if (CUIButton* b = CreateButton(IDC_COPY_CHECKSUM, 650, 577, 669, 594)) {
        b->SetImage(LoadBitmap(res::IDB_COPY));
        b->SetToolTip("复制校验码");
    }
    // The mode is always the normal one; the game settings writer reads the key.
    theApp().WriteProfileInt("Run", "DisableParticle", 0);
}

void CVelmoraDlg::AutoLogin() {
    CVelmoraApp& app = theApp();
    if (app.GetProfileInt("Guest", "AutoLogin", 0) == 0) return;
    if (app.GetProfileString("Guest", "Door").empty() ||
        app.GetProfileString("Guest", "Key").empty())
        return;
    const std::optional<StoredCredentials> credentials = LoadStoredCredentials();
    const int seconds = app.GetProfileInt("Guest", "RememberMe", 0) ? kRememberCookieSeconds : 0;
    if (!credentials || !PassportLogin(credentials->userName, credentials->password, seconds))
        ShowPlainBox("自动登录失败！请手动登陆。");
}

// ---- update ------------------------------------------------------------------------------

void CVelmoraDlg::DecideAutomaticUpdate() {
    const AutoUpdateDecision decision = vm::DecideAutomaticUpdate();
    if (decision == AutoUpdateDecision::Start) {
        m_autoStarted = true;
        StartUpdate(UpdateSession::Kind::Automatic);
    } else {
        SetStatus(AutoUpdateDecisionText(decision));
    }
}

void CVelmoraDlg::SetUpdateFace(bool idle) {
    m_updateIdle = idle;
    if (auto* b = static_cast<CUIButton*>(FindControl(IDC_UPDATE))) {
        b->SetImage(LoadBitmap(idle ? res::IDB_UPDATE_START : res::IDB_UPDATE_STOP));
        b->Invalidate();
    }
}

void CVelmoraDlg::StartUpdate(UpdateSession::Kind kind) {
    // The session sets the flags and starts the scan and the run (through StartUpdateWorkers).
    if (m_session->Start(kind) == UpdateSession::Started::AlreadyRunning) return;
    SetUpdateFace(false);
}

void CVelmoraDlg::StartUpdateWorkers() {
    // Without its workers the run never ends by itself: the button comes back at once.
    if (!m_session->LaunchWorkers()) {
        SetStatus("无法启动更新。");
        PostUpdateEnd(m_target, UpdateOutcome::Failed);
    }
}

void CVelmoraDlg::OnUpdateButton() {
    if (m_updateIdle) {
        StartUpdate(UpdateSession::Kind::Refresh);
    } else {
        m_session->Cancel();
        if (CUIControl* b = FindControl(IDC_UPDATE)) b->SetEnabled(false);
    }
}

void CVelmoraDlg::OnUpdateEnd() {
    if (!g_gameRunning.IsSet())
        if (CUIControl* b = FindControl(IDC_RUN_GAME)) b->SetEnabled(true);
    if (theApp().GetProfileInt("Update", "AutoRun", 0) && m_autoStarted) {
        m_autoStarted = false;
        SetRunGameTimer(true);
    }
    SetUpdateFace(true);
    if (CUIControl* b = FindControl(IDC_UPDATE)) b->SetEnabled(true);
}

void CVelmoraDlg::SetRunGameTimer(bool on) {
    m_runGamePending = on;
    if (!Window()) return;
    if (on)
        Window()->SetTimer(kRunGameTimer, 1000);
    else
        Window()->KillTimer(kRunGameTimer);
}

// ---- game and latency --------------------------------------------------------------------

void CVelmoraDlg::SetStatus(const std::string& text) {
    if (CUIControl* c = FindControl(IDC_STATUS)) c->SetText(text);
    // The status line also goes to the terminal the program was started from, for the record.
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void CVelmoraDlg::RunGame() {
    if (g_gameRunning.IsSet()) return;
    SetStatus("正在运行Tovrin...");
    for (int id : {IDC_UPDATE, IDC_RUN_GAME})
        if (CUIControl* b = FindControl(id)) b->SetEnabled(false);
    g_gameRunning.Set();
    StartGameWorker();
}

void CVelmoraDlg::StartGameWorker() {
    auto job = std::make_unique<CQelThread>();
    job->m_pMainWnd = m_target;
    CWorkerThread::Start(std::move(job));
}

void CVelmoraDlg::StartLatency() {
    if (!m_currentServer) {
        // The record chosen last time, else the first one the list offers.
        const auto records =
            ReadRealmsFile((theApp().Locations().cacheDir / "Velmora.realms").string());
        const std::string chosen = theApp().GetProfileString("Update", "Version");
        for (const GameServerRecord& r : records)
            if (r.displayName == chosen) m_currentServer = r;
        if (!m_currentServer && !records.empty()) m_currentServer = records.front();
    }
    if (m_currentServer) {
        theApp().WriteProfileString("Update", "Version", m_currentServer->displayName);
        auto job = std::make_unique<CPingThread>();
        job->m_record = *m_currentServer;
        job->m_pMainWnd = m_target;
        CWorkerThread::Start(std::move(job));
        if (CUIControl* c = FindControl(IDC_LATENCY)) c->SetText("");
    }
    if (CUIControl* b = FindControl(IDC_RUN_GAME)) b->SetEnabled(true);
}

// ---- account -----------------------------------------------------------------------------

bool CVelmoraDlg::IsLoggedIn() const {
    return GetServer()->GetLoginUser() != nullptr;
}

LRESULT CVelmoraDlg::RefreshLoginState() {
    const bool in = IsLoggedIn();
    for (int id : {IDC_NOT_LOGGED_IN, IDC_LOGON, IDC_REGISTER})
        if (CUIControl* c = FindControl(id)) c->SetVisible(!in);
    for (int id : {IDC_AVATAR, IDC_USER_NAME, IDC_USER_ID, IDC_LOGOUT})
        if (CUIControl* c = FindControl(id)) c->SetVisible(in);
    for (int id : {IDC_UPLOAD, IDC_DOWNLOAD})
        if (CUIControl* c = FindControl(id)) c->SetEnabled(in);
    if (in) {
        if (ILoginUser* user = GetServer()->GetLoginUser())
            if (CUIControl* c = FindControl(IDC_USER_NAME)) c->SetText(user->GetUserName());
        auto job = std::make_unique<GetAvatarThread>();
        job->m_pMainWnd = m_target;
        CWorkerThread::Start(std::move(job));
    }
    if (m_explorer.IsCreated()) m_explorer.Navigate(EmbedPageUrl());
    return 0;
}

LRESULT CVelmoraDlg::OnAvatarReady(WPARAM uid, const std::string& path) {
    ILoginUser* user = IsLoggedIn() ? GetServer()->GetLoginUser() : nullptr;
    if (!user) return -1;
    if (CUIControl* c = FindControl(IDC_USER_NAME)) c->SetText(user->GetUserName());
    if (CUIControl* c = FindControl(IDC_USER_ID)) c->SetText("ID: " + std::to_string(uid));
    if (auto* avatar = static_cast<CUILabel*>(FindControl(IDC_AVATAR)); avatar && !path.empty()) {
        avatar->LoadImageFile(path);
        avatar->Invalidate();
    }
    return 0;
}

void CVelmoraDlg::Logout() {
    PassportLogout();
    RefreshLoginState();
}

void CVelmoraDlg::TransferConfig(bool upload) {
    const char* question =
        upload ? "<c #FDE6F9>服务器上的插件配置信息将被当前的配置取代，你确定要继续吗？"
               : "<c #FDE6F9>所有的插件配置信息将被新的配置取代，你确定要继续吗？";
    const char* title = upload ? "<c #FDE6F9>上传配置" : "<c #FDE6F9>下载配置";
    if (ShowBox(question, title, kBoxUploadQuestion) != IDYES) return;
    if (!m_busyDlg) m_busyDlg = MakeBusy();
    if (m_busyDlg) m_busyDlg->Show(upload ? "正在上传配置，请稍候……" : "正在下载配置，请稍候……");
    Window()->setEnabled(false);
    StartConfigWorker(upload);
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

void CVelmoraDlg::OnConfigResult(UINT msg, const std::optional<std::string>& reason) {
    if (m_busyDlg) m_busyDlg->Hide();
    m_explorer.RedrawWindow();
    Window()->setEnabled(true);
    Window()->raise();
    Window()->activateWindow();
    switch (msg) {
        case WM_VM_CONFIG_UPLOAD_DONE:
            ShowBox("<c #FDE6F9>上传配置成功！", "<c #FDE6F9>上传配置", kBoxInformation);
            break;
        case WM_VM_CONFIG_UPLOAD_FAILED:
            if (reason)
                ShowBox("<c #FDE6F9>上传配置失败！(" + *reason + ")", "<c #FDE6F9>上传配置",
                        kBoxError);
            break;
        case WM_VM_CONFIG_DOWNLOAD_DONE:
            ShowBox("<c #FDE6F9>下载配置成功！", "<c #FDE6F9>下载配置", kBoxInformation);
            break;
        case WM_VM_CONFIG_DOWNLOAD_FAILED:
            if (reason)
                ShowBox("<c #FDE6F9>下载配置失败！(" + *reason + ")", "<c #FDE6F9>下载配置",
                        kBoxError);
            break;
        default:
            break;
    }
}

// ---- page --------------------------------------------------------------------------------

void CVelmoraDlg::OnPageLoaded(const QUrl& url, bool ok) {
    if (!ok) {
        m_pageFailed = true;
        theApp().Runs().commitGate.Set();
        return;
    }
    if (m_pageHandled || url.path() != QString::fromLatin1(kEmbedPagePath)) return;
    m_pageHandled = true;
    if (!m_pageFailed) theApp().Runs().commitGate.Set();
}

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

void CVelmoraDlg::ExitWithConfirmation() {
    if (theApp().GetProfileInt("Misc", "ConfirmExit", 1) != 1) {
        PostQuit();
        return;
    }
    if (g_exitQuestions > 0) return;
    ++g_exitQuestions;
    const int answer = ConfirmExit();
    --g_exitQuestions;
    if (answer == IDYES) PostQuit();
}

void CVelmoraDlg::PostQuit() {
    PostQuitMessage(0);
}

bool CVelmoraDlg::InDragBand(QPoint client) const {
    return client.x() >= 0 && client.y() >= 0 && client.x() < kDragBandWidth &&
           client.y() < kDragBandHeight;
}

void CVelmoraDlg::OfferShortcut() {
    CVelmoraApp& app = theApp();
    if (app.GetProfileInt("Misc", "NotifyShortcut2", 0) == 0) {
        const fs::path desktop = DesktopFolder();
        std::error_code ec;
        if (app.GetProfileInt("Misc", "RefreshShortcut", 0) == 0) {
            fs::remove(desktop / kLauncherName, ec);
            app.WriteProfileInt("Misc", "RefreshShortcut", 1);
        }
        if (!fs::exists(desktop / kLauncherName, ec)) {
            const int answer = ShowBox(
                "<c "
                "#F4E9FF>为了方便使用Velmora客户端进行游戏，Velmora可以在桌面上创建相应的快捷方式。"
                "\n\n您愿意在桌面上创建Velmora的快捷方式吗？</c>",
                "<c #F4E9FF>创建快捷方式</c>", kBoxQuestion);
            if (answer == IDYES) {
                const fs::path program = app.ProgramDir() / "Velmora-TVRN";
                const fs::path icon = InstallProgramIcon(app.Locations().dataDir);
                int error = WriteLauncher(desktop, program, icon);
                // The applications menu gets the same entry; the desktop one decides the answer.
                if (error == 0) WriteLauncher(ApplicationsFolder(), program, icon);
                if (error == 0) {
                    ShowBox(
                        "<c "
                        "#F4E9FF>"
                        "Velmora的快捷方式创建成功。您以后可以通过桌面的快捷方式直接运行Velmora。</"
                        "c>",
                        "<c #F4E9FF>成功</c>", kBoxInformation);
                } else {
                    ShowBox("<c #F4E9FF>无法创建Velmora的快捷方式。(错误代码：" +
                                std::to_string(error) + ")</c>",
                            "<c #F4E9FF>创建快捷方式</c>", kBoxError);
                }
            }
            app.WriteProfileInt("Misc", "NotifyShortcut2", 1);
        }
    }
    g_shortcutOffered.Set();
}

void CVelmoraDlg::CopyChecksum() {
    QApplication::clipboard()->setText(QString::fromStdString(m_selfChecksum));
    ShowBox("复制校验码成功！", {}, kBoxInformationOk);
}

void CVelmoraDlg::SetGraphicsMode(bool effectsOff) {
    theApp().WriteProfileInt("Run", "DisableParticle", effectsOff ? 1 : 0);
}

void CVelmoraDlg::OpenSite(const std::string& origin, const std::string& path) {
    OpenUrl(origin + path);
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

// ---- menus -------------------------------------------------------------------------------

void CVelmoraDlg::BuildMenus() {
    auto add = [this](QMenu* menu, const char* caption, int id) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        a->setData(id);
        QObject::connect(a, &QAction::triggered, Window(),
                         [this, id] { PostMessage(WM_COMMAND, static_cast<WPARAM>(id), 0); });
        return a;
    };
    delete m_trayMenu.data();
    m_trayMenu = new QMenu(QStringLiteral("Tray Icon"));
    QAction* toggle = add(m_trayMenu, "打开/隐藏主窗口", ID_TOGGLE_WINDOW);
    QFont bold = toggle->font();
    bold.setBold(true);
    toggle->setFont(bold);
    m_trayMenu->setDefaultAction(toggle);
    m_trayMenu->addSeparator();
    add(m_trayMenu, "运行游戏", ID_RUN_GAME);
    m_trayMenu->addSeparator();
    add(m_trayMenu, "访问主页", ID_HOME_PAGE);
    add(m_trayMenu, "查询资料", ID_DATABASE);
    add(m_trayMenu, "提交错误", ID_REPORT_BUG);
    m_trayMenu->addSeparator();
    add(m_trayMenu, "退出", ID_EXIT);

    delete m_commandMenu.data();
    m_commandMenu = new QMenu(Window());
    add(m_commandMenu, "用户登录(&L)...", ID_LOGON);
    add(m_commandMenu, "用户退出(&O)", ID_LOGOUT);
    m_commandMenu->addSeparator();
    add(m_commandMenu, "上传配置(&U)", ID_UPLOAD_CONFIG);
    add(m_commandMenu, "下载配置(&D)", ID_DOWNLOAD_CONFIG);
    add(m_commandMenu, "导入帐号设置(&I)...", ID_IMPORT);
    add(m_commandMenu, "导出帐号设置(&E)...", ID_EXPORT);
    m_commandMenu->addSeparator();
    add(m_commandMenu, "更新插件(&U)", ID_UPDATE_ADDONS);
    add(m_commandMenu, "选择插件(&S)...", ID_SELECT_ADDONS);
    add(m_commandMenu, "查看更新日志(&C)", ID_CHANGE_LOG_MENU);
    QObject::connect(m_commandMenu->addAction(QString::fromUtf8("已隔离的插件(&R)...")),
                     &QAction::triggered, Window(), [this] { CDlgObsoleted::Run(Window()); });
    m_commandMenu->addSeparator();
    add(m_commandMenu, "设置(&S)...", ID_SETTINGS);
    add(m_commandMenu, "设置向导(&W)...", ID_WIZARD);
    m_commandMenu->addSeparator();
    add(m_commandMenu, "访问主页(&V)...", ID_HOME_PAGE_MENU);
    add(m_commandMenu, "查询资料(&Q)...", ID_DATABASE_MENU);
    add(m_commandMenu, "提交错误报告(&S)...", ID_REPORT_BUG_MENU);
    add(m_commandMenu, "上传游戏数据(&G)", ID_GAME_DATA_UPLOAD);
    m_commandMenu->addSeparator();
    add(m_commandMenu, "关于TovrinVelmora(&A)...", ID_ABOUT);
    add(m_commandMenu, "退出(&X)", ID_EXIT_MENU);
    QObject::connect(m_commandMenu, &QMenu::aboutToShow, Window(), [this] { UpdateMenuStates(); });

    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), Window());
    QObject::connect(shortcut, &QShortcut::activated, Window(),
                     [this] { ShowSystemMenu(Window()->mapToGlobal(QPoint(8, kDragBandHeight))); });
}

void CVelmoraDlg::UpdateMenuStates() {
    if (!m_commandMenu) return;
    const bool session = !PassportAccountText().Get().empty();
    const bool loggedIn = IsLoggedIn() || session;
    const bool hasVersion = theApp().PublishedState().updateInfo.Get().count("Version") != 0;
    for (QAction* a : m_commandMenu->actions()) {
        switch (a->data().toInt()) {
            case ID_LOGON:
                a->setEnabled(!session);
                break;
            case ID_LOGOUT:
            case ID_DOWNLOAD_CONFIG:
            case ID_UPLOAD_CONFIG:
                a->setEnabled(loggedIn);
                break;
            case ID_UPDATE_ADDONS:
                a->setEnabled(hasVersion);
                break;
            case ID_SELECT_ADDONS:
            case ID_NOTHING:
                a->setEnabled(false);
                break;
            default:
                break;
        }
    }
}

void CVelmoraDlg::ShowSystemMenu(QPoint global) {
    if (!m_commandMenu) return;
    m_commandMenu->popup(global);
}

// ---- dispatch ----------------------------------------------------------------------------

void CVelmoraDlg::OnCommand(int id) {
    const Endpoints ep = GetEndpoints();
    switch (id) {
        case ID_OK:
        case ID_RUN_GAME:
            RunGame();
            break;
        case ID_CANCEL:
            break;
        case ID_UPDATE_BUTTON:
        case ID_UPDATE_ADDONS:
            OnUpdateButton();
            break;
        case ID_PARTICLE_ON:
            SetGraphicsMode(false);
            break;
        case ID_PARTICLE_OFF:
            SetGraphicsMode(true);
            break;
        case ID_HOME_PAGE:
        case ID_HOME_PAGE_MENU:
            OpenSite(ep.homePage, "/");
            break;
        case ID_DATABASE:
        case ID_DATABASE_MENU:
            OpenSite(ep.databaseSite, "/tvrn/");
            break;
        case ID_REPORT_BUG:
        case ID_REPORT_BUG_MENU:
            OpenSite(ep.forumSite, "/forum-703-1.html");
            break;
        case ID_EXIT:
        case ID_EXIT_MENU:
            ExitWithConfirmation();
            break;
        case ID_TOGGLE_WINDOW:
            if (Window() && Window()->isVisible() && !Window()->isMinimized())
                HideToTray();
            else
                RestoreFromTray();
            if (Window() && Window()->isVisible()) Window()->raise();
            break;
        case ID_LOGON:
            if (PassportAccountText().Get().empty()) OpenLogon();
            break;
        case ID_LOGOUT:
            Logout();
            break;
        case ID_DOWNLOAD_CONFIG:
            TransferConfig(false);
            break;
        case ID_UPLOAD_CONFIG:
            TransferConfig(true);
            break;
        case ID_IMPORT:
            OpenImport();
            break;
        case ID_EXPORT:
            OpenExport();
            break;
        case ID_SETTINGS:
            OpenSettings();
            break;
        case ID_ABOUT:
            OpenAbout();
            break;
        case ID_WIZARD:
            RunWizard();
            break;
        case ID_ACCELERATOR:
            OpenSite(ep.acceleratorSite, "/ep/vm/");
            break;
        case ID_GAME_DATA_UPLOAD:
            // Two bounded requests; kept off the window's thread so it never freezes.
            std::thread([] { UploadGameData(); }).detach();
            break;
        default:
            break;
    }
}

void CVelmoraDlg::Notify(UINotify& notify) {
    if (!notify.sender) return;
    const int id = notify.sender->GetId();
    if (notify.code == UINotifyCode::Link) {
        if (id == IDC_AVATAR) {
            if (ILoginUser* user = IsLoggedIn() ? GetServer()->GetLoginUser() : nullptr)
                OpenUrl(user->GetRedirectUrl(GetEndpoints().portalSite + "/space-uid-" +
                                             std::to_string(user->GetId()) + ".html"));
        }
        return;
    }
    if (notify.code != UINotifyCode::Click) return;
    const Endpoints ep = GetEndpoints();
    switch (id) {
        case IDC_LOGON:
            OpenLogon();
            break;
        case IDC_REGISTER:
            OpenSite(ep.accountServer, "/?p=register");
            break;
        case IDC_LOGOUT:
            Logout();
            break;
        case IDC_UPLOAD:
            TransferConfig(true);
            break;
        case IDC_DOWNLOAD:
            TransferConfig(false);
            break;
        case IDC_UPDATE:
            OnUpdateButton();
            break;
        case IDC_CHANGE_LOG:
            OpenChangeLog();
            break;
        case IDC_RUN_GAME:
            RunGame();
            break;
        case IDC_ACCELERATOR:
            OpenSite(ep.acceleratorSite, "/ep/vm/");
            break;
        case IDC_NORMAL_MODE:
            SetGraphicsMode(false);
            break;
        case IDC_NO_EFFECTS:
            SetGraphicsMode(true);
            break;
        case IDC_FORUM:
            OpenSite(ep.forumSite, "/");
            break;
        case IDC_SETTINGS:
            OpenSettings();
            break;
        case IDC_MINIMISE:
            // The state change may come back from the window manager a little later.
            m_selfMinimiseUntil = GetTickCount() + 1000;
            if (Window()) Window()->showMinimized();
            break;
        case IDC_CLOSE: {
            const std::string meaning = theApp().GetProfileString("Misc", "CloseMeanMin", "");
            if (meaning == "false")
                ExitWithConfirmation();
            else if (meaning == "true")
                HideToTray();
            else
                AskCloseMeaning();
            break;
        }
        case IDC_COPY_CHECKSUM:
            CopyChecksum();
            break;
        default:
            break;
    }
}

LRESULT CVelmoraDlg::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_NCHITTEST: {
            if (!Window()) break;
            const QPoint client =
                Window()->mapFromGlobal(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
            if (InDragBand(client)) return HTCAPTION;
            break;
        }
        case WM_RBUTTONUP: {
            const QPoint client(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            if (InDragBand(client) && Window()) {
                ShowSystemMenu(Window()->mapToGlobal(client));
                return 0;
            }
            break;
        }
        case WM_SYSKEYDOWN:
            if (wParam == VK_SPACE && Window()) {
                ShowSystemMenu(Window()->mapToGlobal(QPoint(8, kDragBandHeight)));
                return 0;
            }
            break;
        default:
            break;
    }
    return CSkinDialog::HandleMessage(msg, wParam, lParam);
}

LRESULT CVelmoraDlg::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    NativeWindow* w = Window();
    Payload* payload = w ? w->CurrentPayload() : nullptr;
    switch (msg) {
        case WM_VM_STATUS:
            if (wParam) SetStatus(*reinterpret_cast<const std::string*>(wParam));
            return 0;
        case WM_VM_UPDATE_END:
            OnUpdateEnd();
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
            // A first start has no list until now: measure as soon as there is one.
            if (!m_currentServer) StartLatency();
            return 0;
        case WM_VM_PING_RESULT: {
            const auto* record = reinterpret_cast<const GameServerRecord*>(wParam);
            if (record && m_currentServer && record->displayName == m_currentServer->displayName) {
                m_currentServer->latency = record->latency;
                if (CUIControl* c = FindControl(IDC_LATENCY))
                    c->SetText(record->latency == -1 ? std::string("N/A")
                                                     : std::to_string(record->latency) + " ms");
            }
            return 0;
        }
        case WM_VM_CONFIRM_DELETE: {
            const auto* candidates = reinterpret_cast<const std::vector<std::string>*>(wParam);
            const auto* listPaths = reinterpret_cast<const std::vector<std::string>*>(lParam);
            static const std::vector<std::string> kNone;
            // The update rule: DeleteMode first, then the question.
            if (std::optional<UnknownAddOnsDecision> remembered = DeleteModeDecision())
                return *remembered == UnknownAddOnsDecision::Isolate ? 1 : 0;
            return AskDeleteUnknown(candidates ? *candidates : kNone,
                                    listPaths ? *listPaths : kNone)
                       ? 1
                       : 0;
        }
        case WM_VM_GAME_ENDED:
            for (int id : {IDC_UPDATE, IDC_RUN_GAME})
                if (CUIControl* b = FindControl(id)) b->SetEnabled(true);
            g_gameRunning.Reset();
            return 0;
        case WM_VM_ACTIVATE:
            std::printf("%s\n", "另一个Velmora启动了：窗口回到前台。");
            std::fflush(stdout);
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
            OnConfigResult(msg, reason);
            return 0;
        }
        case WM_VM_CONFIG_UPLOAD_DONE:
        case WM_VM_CONFIG_DOWNLOAD_DONE:
            OnConfigResult(msg, std::nullopt);
            return 0;
        case WM_VM_ACCOUNT_CHANGED:
            return RefreshLoginState();
        case WM_VM_SELF_UPDATE_EXIT:
            if (m_trayIcon) m_trayIcon->RemoveIcon(kTrayIconId);
            return 0;
        case WM_VM_OFFER_SHORTCUT:
            OfferShortcut();
            return 0;
        case WM_VM_AVATAR_READY: {
            std::string path;
            if (payload)
                if (auto* s = std::get_if<std::string>(payload)) path = *s;
            return OnAvatarReady(wParam, path);
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
                theApp().Runs().commitGate.Set();
                return 0;
            }
            if (wParam == kStatisticTimer) {
                SendStatistic(4);
                return 0;
            }
            if (wParam == kRunGameTimer) {
                SetRunGameTimer(false);
                RunGame();
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

// ---- the other windows -------------------------------------------------------------------

void CVelmoraDlg::OpenLogon() {
    // The logon dialog logs in itself; its success also arrives as WM_VM_ACCOUNT_CHANGED.
    CDlgLogon dlg;
    if (dlg.Run(Window()) == IDOK) RefreshLoginState();
}

void CVelmoraDlg::OpenSettings() {
    // Whatever the answer, no game start stays pending behind the dialog.
    CSettingDialog dlg;
    dlg.Run(Window());
    SetRunGameTimer(false);
}

void CVelmoraDlg::RunWizard() {
    // Finish writes the answers and forgets the cached game folder itself.
    CWizardSheet::Run(Window());
}

bool CVelmoraDlg::AskDeleteUnknown(const std::vector<std::string>& candidates,
                                   const std::vector<std::string>& listPaths) {
    return CDlgDeleteConfirm::Ask(Window(), UnknownAddOnsQuestion{candidates, listPaths, {}, {}}) ==
           UnknownAddOnsDecision::Isolate;
}

void CVelmoraDlg::AskCloseMeaning() {
    // The answer comes back as WM_VM_HIDE_TO_TRAY or WM_VM_EXIT_CONFIRMED.
    static_assert(CDlgConfirmCloseBtnMean::kHideMessage == WM_VM_HIDE_TO_TRAY &&
                  CDlgConfirmCloseBtnMean::kExitMessage == WM_VM_EXIT_CONFIRMED);
    CDlgConfirmCloseBtnMean dlg(m_target);
    dlg.Run(Window());
}

int CVelmoraDlg::ConfirmExit() {
    CDlgConfirmExit dlg;
    return dlg.Run(Window());
}

void CVelmoraDlg::OpenChangeLog() {
    CChangeLogDialog dlg;
    dlg.Run(Window());
}

void CVelmoraDlg::OpenExport() {
    CDlgExport dlg(Window());
    dlg.exec();
}

void CVelmoraDlg::OpenImport() {
    CDlgImport dlg(Window());
    dlg.exec();
}

void CVelmoraDlg::OpenCombatLog() {
    CDlgUploadCombatLog dlg(Window());
    dlg.exec();
}

void CVelmoraDlg::OpenAbout() {
    CAboutDlg about;
    if (about.Open(Window())) about.DoModal();
}

}  // namespace vm
