// The main window's controls, its one table of commands, the menus built from it and the
// windows the commands open.

#include <QMenu>
#include <QShortcut>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/SettingsKeys.h"
#include "net/CPHPServer.h"
#include "net/GameDataUpload.h"
#include "net/ILoginUser.h"
#include "net/endpoints.h"
#include "res/MainWindowPolygons.h"
#include "res/ResourceIds.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUIProgressBar.h"
#include "skin/IUIChecked.h"
#include "skin/ResourceLoader.h"
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
#include "ui/CVelmoraDlg.h"
#include "ui/CWizardSheet.h"
#include "ui/WindowIds.h"
#include "update/UpdateInfo.h"

namespace vm {

namespace {

constexpr int kDragBandWidth = 615;
constexpr int kDragBandHeight = 35;
// The isolated add-ons' menu item: no WM_COMMAND id, its dialog runs from the menu at once.
constexpr int kIsolatedAddOns = 0x10000;

QImage LoadBitmap(int number) {
    QImage image;
    LoadImageResource(image, ResourceType::Bitmap, number);
    return image;
}

// The game-data upload: two bounded requests, off the window's thread.
class GameDataUploadThread : public CWorkerThread {
  protected:
    int RunTask() override {
        vm::UploadGameData();
        return 0;
    }
};

}  // namespace

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
    theApp().WriteProfile(settings::kDisableParticle, 0);
}

// ---- commands ----------------------------------------------------------------------------

// One entry per command id and per button: what it does and when its menu item is enabled.
struct CVelmoraDlg::Command {
    int command;          // WM_COMMAND id; 0 when only a button does it
    int control;          // the button that does the same; 0 for none
    const char* caption;  // its menu item's text; nullptr when in no menu
    void (*run)(CVelmoraDlg&);
    bool (*enabled)(const CVelmoraDlg&) = nullptr;  // nullptr: always
};

namespace {

using Dlg = CVelmoraDlg;

bool Never(const Dlg&) {
    return false;
}

}  // namespace

const CVelmoraDlg::Command* CVelmoraDlg::FindCommand(int command, int control) {
    static const Command kCommands[] = {
        {ID_OK, 0, nullptr, [](Dlg& w) { w.m_controller.RunGame(); }},
        {ID_RUN_GAME, IDC_RUN_GAME, "运行游戏", [](Dlg& w) { w.m_controller.RunGame(); }},
        {ID_UPDATE_BUTTON, IDC_UPDATE, nullptr, [](Dlg& w) { w.m_controller.OnUpdateButton(); }},
        {ID_UPDATE_ADDONS, 0, "更新插件(&U)", [](Dlg& w) { w.m_controller.OnUpdateButton(); },
         [](const Dlg&) {
             return theApp().PublishedState().updateInfo.Get().count(kInfoVersion) != 0;
         }},
        {ID_PARTICLE_ON, IDC_NORMAL_MODE, nullptr,
         [](Dlg&) { theApp().WriteProfile(settings::kDisableParticle, 0); }},
        {ID_PARTICLE_OFF, IDC_NO_EFFECTS, nullptr,
         [](Dlg&) { theApp().WriteProfile(settings::kDisableParticle, 1); }},
        {ID_HOME_PAGE, 0, "访问主页", [](Dlg& w) { w.OpenUrl(GetEndpoints().homePage + "/"); }},
        {ID_HOME_PAGE_MENU, 0, "访问主页(&V)...",
         [](Dlg& w) { w.OpenUrl(GetEndpoints().homePage + "/"); }},
        {ID_DATABASE, 0, "查询资料",
         [](Dlg& w) { w.OpenUrl(GetEndpoints().databaseSite + "/tvrn/"); }},
        {ID_DATABASE_MENU, 0, "查询资料(&Q)...",
         [](Dlg& w) { w.OpenUrl(GetEndpoints().databaseSite + "/tvrn/"); }},
        {ID_REPORT_BUG, 0, "提交错误",
         [](Dlg& w) { w.OpenUrl(GetEndpoints().forumSite + "/forum-703-1.html"); }},
        {ID_REPORT_BUG_MENU, 0, "提交错误报告(&S)...",
         [](Dlg& w) { w.OpenUrl(GetEndpoints().forumSite + "/forum-703-1.html"); }},
        {ID_ACCELERATOR, IDC_ACCELERATOR, nullptr,
         [](Dlg& w) { w.OpenUrl(GetEndpoints().acceleratorSite + "/ep/vm/"); }},
        {0, IDC_FORUM, nullptr, [](Dlg& w) { w.OpenUrl(GetEndpoints().forumSite + "/"); }},
        {0, IDC_REGISTER, nullptr,
         [](Dlg& w) { w.OpenUrl(GetEndpoints().accountServer + "/?p=register"); }},
        {ID_EXIT, 0, "退出", [](Dlg& w) { w.ExitWithConfirmation(); }},
        {ID_EXIT_MENU, 0, "退出(&X)", [](Dlg& w) { w.ExitWithConfirmation(); }},
        {ID_TOGGLE_WINDOW, 0, "打开/隐藏主窗口", [](Dlg& w) { w.ToggleWindow(); }},
        {ID_LOGON, 0, "用户登录(&L)...",
         [](Dlg& w) {
             if (w.m_controller.CanLogOn()) w.OpenLogon();
         },
         [](const Dlg& w) { return w.m_controller.CanLogOn(); }},
        {0, IDC_LOGON, nullptr, [](Dlg& w) { w.OpenLogon(); }},
        {ID_LOGOUT, IDC_LOGOUT, "用户退出(&O)", [](Dlg& w) { w.m_controller.Logout(); },
         [](const Dlg& w) { return w.m_controller.HasAccount(); }},
        {ID_UPLOAD_CONFIG, IDC_UPLOAD, "上传配置(&U)",
         [](Dlg& w) { w.m_controller.TransferConfig(true); },
         [](const Dlg& w) { return w.m_controller.HasAccount(); }},
        {ID_DOWNLOAD_CONFIG, IDC_DOWNLOAD, "下载配置(&D)",
         [](Dlg& w) { w.m_controller.TransferConfig(false); },
         [](const Dlg& w) { return w.m_controller.HasAccount(); }},
        {ID_IMPORT, 0, "导入帐号设置(&I)...", [](Dlg& w) { w.OpenImport(); }},
        {ID_EXPORT, 0, "导出帐号设置(&E)...", [](Dlg& w) { w.OpenExport(); }},
        {ID_SELECT_ADDONS, 0, "选择插件(&S)...", [](Dlg&) {}, Never},
        {ID_NOTHING, 0, nullptr, [](Dlg&) {}, Never},
        {ID_CHANGE_LOG_MENU, 0, "查看更新日志(&C)", [](Dlg&) {}},
        {0, IDC_CHANGE_LOG, nullptr, [](Dlg& w) { w.OpenChangeLog(); }},
        {kIsolatedAddOns, 0, "已隔离的插件(&R)...", [](Dlg& w) { w.OpenIsolatedAddOns(); }},
        {ID_SETTINGS, IDC_SETTINGS, "设置(&S)...", [](Dlg& w) { w.OpenSettings(); }},
        {ID_WIZARD, 0, "设置向导(&W)...", [](Dlg& w) { w.RunWizard(); }},
        {ID_GAME_DATA_UPLOAD, 0, "上传游戏数据(&G)", [](Dlg& w) { w.UploadGameData(); }},
        {ID_ABOUT, 0, "关于TovrinVelmora(&A)...", [](Dlg& w) { w.OpenAbout(); }},
        {0, IDC_MINIMISE, nullptr, [](Dlg& w) { w.Minimise(); }},
        {0, IDC_CLOSE, nullptr, [](Dlg& w) { w.m_controller.OnCloseButton(); }},
        {0, IDC_COPY_CHECKSUM, nullptr, [](Dlg& w) { w.CopyChecksum(); }},
    };
    for (const Command& c : kCommands)
        if ((command != 0 && c.command == command) || (control != 0 && c.control == control))
            return &c;
    return nullptr;
}

void CVelmoraDlg::RunCommand(const Command& command) {
    command.run(*this);
}

void CVelmoraDlg::OnCommand(int id) {
    if (const Command* c = FindCommand(id, 0)) RunCommand(*c);
}

void CVelmoraDlg::BuildMenus() {
    auto build = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            const Command* c = id ? FindCommand(id, 0) : nullptr;
            if (!c || !c->caption) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(QString::fromUtf8(c->caption));
            a->setData(id);
            // Commands arrive as WM_COMMAND once the menu has closed; an item without an id
            // runs at once.
            QObject::connect(a, &QAction::triggered, Window(), [this, c] {
                if (c->command > 0xFFFF)
                    RunCommand(*c);
                else
                    PostMessage(WM_COMMAND, static_cast<WPARAM>(c->command), 0);
            });
        }
    };
    delete m_trayMenu.data();
    m_trayMenu = new QMenu(QStringLiteral("Tray Icon"));
    build(m_trayMenu, {ID_TOGGLE_WINDOW, 0, ID_RUN_GAME, 0, ID_HOME_PAGE, ID_DATABASE,
                       ID_REPORT_BUG, 0, ID_EXIT});
    QAction* toggle = m_trayMenu->actions().front();
    QFont bold = toggle->font();
    bold.setBold(true);
    toggle->setFont(bold);
    m_trayMenu->setDefaultAction(toggle);

    delete m_commandMenu.data();
    m_commandMenu = new QMenu(Window());
    build(m_commandMenu, {ID_LOGON,
                          ID_LOGOUT,
                          0,
                          ID_UPLOAD_CONFIG,
                          ID_DOWNLOAD_CONFIG,
                          ID_IMPORT,
                          ID_EXPORT,
                          0,
                          ID_UPDATE_ADDONS,
                          ID_SELECT_ADDONS,
                          ID_CHANGE_LOG_MENU,
                          kIsolatedAddOns,
                          0,
                          ID_SETTINGS,
                          ID_WIZARD,
                          0,
                          ID_HOME_PAGE_MENU,
                          ID_DATABASE_MENU,
                          ID_REPORT_BUG_MENU,
                          ID_GAME_DATA_UPLOAD,
                          0,
                          ID_ABOUT,
                          ID_EXIT_MENU});
    QObject::connect(m_commandMenu, &QMenu::aboutToShow, Window(), [this] { UpdateMenuStates(); });

    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), Window());
    QObject::connect(shortcut, &QShortcut::activated, Window(),
                     [this] { ShowSystemMenu(Window()->mapToGlobal(QPoint(8, kDragBandHeight))); });
}

void CVelmoraDlg::UpdateMenuStates() {
    if (!m_commandMenu) return;
    for (QAction* a : m_commandMenu->actions())
        if (const Command* c = a->isSeparator() ? nullptr : FindCommand(a->data().toInt(), 0))
            a->setEnabled(!c->enabled || c->enabled(*this));
}

void CVelmoraDlg::ShowSystemMenu(QPoint global) {
    if (m_commandMenu) m_commandMenu->popup(global);
}

void CVelmoraDlg::Notify(UINotify& notify) {
    if (!notify.sender) return;
    const int id = notify.sender->GetId();
    if (notify.code == UINotifyCode::Link && id == IDC_AVATAR) {
        if (ILoginUser* user = IsLoggedIn() ? GetServer()->GetLoginUser() : nullptr)
            OpenUrl(user->GetRedirectUrl(GetEndpoints().portalSite + "/space-uid-" +
                                         std::to_string(user->GetId()) + ".html"));
        return;
    }
    if (notify.code != UINotifyCode::Click) return;
    if (const Command* c = FindCommand(0, id)) RunCommand(*c);
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
        case WM_KEYDOWN:
            // Enter is command 1 (run the game), as the skin's "ok" would be: also when a
            // button has the keyboard, unless the focused control wants Return itself.
            if (wParam == VK_RETURN &&
                (!Manager().GetFocus() ||
                 !(Manager().GetFocus()->GetControlFlags() & UIFLAG_WANTRETURN))) {
                OnCommand(ID_OK);
                return 0;
            }
            break;
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

bool CVelmoraDlg::InDragBand(QPoint client) const {
    return client.x() >= 0 && client.y() >= 0 && client.x() < kDragBandWidth &&
           client.y() < kDragBandHeight;
}

void CVelmoraDlg::UploadGameData() {
    CWorkerThread::Start(std::make_unique<GameDataUploadThread>());
}

// ---- the other windows -------------------------------------------------------------------

void CVelmoraDlg::OpenLogon() {
    // The dialog logs in itself; its success arrives as WM_VM_ACCOUNT_CHANGED, which
    // refreshes the panel (once: one avatar fetch, one page reload).
    RunLogonDialog();
}

int CVelmoraDlg::RunLogonDialog() {
    CDlgLogon dlg;
    return dlg.Run(Window());
}

void CVelmoraDlg::OpenSettings() {
    // Whatever the answer, no game start stays pending behind the dialog.
    CSettingDialog dlg;
    dlg.Run(Window());
    m_controller.CancelPendingGame();
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

void CVelmoraDlg::OpenIsolatedAddOns() {
    CDlgObsoleted::Run(Window());
}

void CVelmoraDlg::OpenAbout() {
    CAboutDlg about;
    if (about.Open(Window())) about.DoModal();
}

}  // namespace vm
