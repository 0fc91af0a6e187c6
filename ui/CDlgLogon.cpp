#include "ui/CDlgLogon.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include "app/CVelmoraApp.h"
#include "app/Prompter.h"
#include "net/LoginMessages.h"
#include "net/Passport.h"
#include "net/endpoints.h"
#include "res/ResourceIds.h"
#include "skin/CUIButton.h"
#include "skin/CUIEdit.h"
#include "skin/CUILabel.h"
#include "skin/ResourceLoader.h"
#include "skin/UINotify.h"
#include "ui/DialogParts.h"

namespace vm {

namespace {

constexpr char kTitle[] = "<c #F4E9FF>用户登录</c>";
constexpr int kUserNameId = 3;
constexpr int kPasswordId = 4;
constexpr int kRememberId = 7;
constexpr int kAutoLoginId = 8;
constexpr int kLoginId = 9;
constexpr UINT kInformation = 64;
constexpr UINT kError = 16;

// The wait cursor for as long as the login blocks the window.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

CDlgLogon::CDlgLogon()
    : m_openUrl([](const std::string& url) {
          QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
      }) {}

bool CDlgLogon::Open(HWND owner) {
    return Create(owner, "用户登录", kWidth, kHeight);
}

int CDlgLogon::Run(HWND owner) {
    if (!Open(owner)) return IDCANCEL;
    FocusWhenActive(*this, kLoginId);
    return DoModal();
}

bool CDlgLogon::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    SetSkinImages(res::IDP_LOGON_NORMAL, res::IDP_LOGON_HOT, res::IDP_LOGON_PUSHED,
                  res::IDP_DISABLED);
    LoadImageResource(m_icon, ResourceType::SystemIcon, 4);
    SetRoundCorner(6);

    SetEditBackColor(RGB(102, 65, 121));
    SetEditTextColor(RGB(165, 148, 198));
    SetEditFrameColors(RGB(8, 66, 128), kNoColor);
    SetFocusedEditFrameColors(RGB(8, 66, 128), kNoColor);
    LoadDialogBackground(res::IDP_DIALOG_BACKGROUND);
    LoadButtonFace(res::IDP_BUTTON_FACE);
    LoadMessageBoxBackground(res::IDP_MSGBOX_CLOSE);
    LoadRadioImage(res::IDP_RADIO);
    LoadCheckBoxImage(res::IDP_CHECKBOX);

    CreateButton(0, 480, 8, 510, 33);
    CreateEdit(kUserNameId, 101, 166, 403, 191);
    CreateLabel(5, 423, 166, 473, 191, "<a>注册账号</a>");
    CreateLabel(1, 51, 166, 353, 191, "用户名：");
    CUIEdit* password = CreateEdit(kPasswordId, 101, 200, 403, 225);
    password->SetPassword(true);
    CreateLabel(6, 423, 200, 473, 225, "<a>找回密码</a>");
    CreateLabel(2, 51, 200, 353, 225, "密   码：");
    CreateCheckBox(*this, kRememberId, 101, 233, 167, 249, "保存密码");
    CreateCheckBox(*this, kAutoLoginId, 257, 233, 323, 249, "自动登录");
    CreateButton(kLoginId, 158, 273, 232, 298);
    CreateButton(10, 288, 273, 361, 298);
    CreateLabel(11, 202, 128, 260, 142, "<a>               </a>");

    CVelmoraApp& app = theApp();
    if (app.GetProfile(settings::kAutoLogin)) {
        m_autoLogin = true;
        SetChecked(*this, kAutoLoginId, true);
    }
    if (app.GetProfile(settings::kRememberMe)) {
        m_remember = true;
        SetChecked(*this, kRememberId, true);
        if (std::optional<StoredCredentials> stored = LoadStoredCredentials()) {
            m_userName = stored->userName;
            m_password = stored->password;
            static_cast<CUIEdit*>(FindControl(kUserNameId))->SetText(m_userName, false);
            password->SetText(m_password, false);
        }
    }
    return true;
}

void CDlgLogon::FocusControl(int id) {
    if (CUIControl* control = FindControl(id)) Manager().SetFocus(control);
}

void CDlgLogon::Login() {
    const std::string userName = FindControl(kUserNameId)->GetText();
    const std::string password = FindControl(kPasswordId)->GetText();
    if (userName.empty()) {
        MessageBox("<c #F4E9FF>用户名不能为空。</c>", kTitle, kInformation);
        FocusControl(kUserNameId);
        return;
    }
    if (password.empty()) {
        MessageBox("<c #F4E9FF>请输入密码。</c>", kTitle, kInformation);
        FocusControl(kPasswordId);
        return;
    }
    const int lifetime = IsChecked(*this, kRememberId) ? kRememberSeconds : 0;
    bool ok = false;
    {
        WaitCursor wait;
        ok = PassportLogin(userName, password, lifetime);
    }
    if (!ok) {
        MessageBox(LogonFailureText(LastPassportFailure()), "<c #F4E9FF>登录失败</c>", kError);
        FocusControl(kUserNameId);
        return;
    }
    m_userName = userName;
    m_password = password;
    m_remember = IsChecked(*this, kRememberId);
    m_autoLogin = IsChecked(*this, kAutoLoginId);
    if (m_autoLogin) m_remember = true;
    StoreLogonChoice(m_userName, m_password, LogonChoice{m_remember, m_autoLogin});
    theApp().StartStatistic(5);
    EndDialog(IDOK);
}

void CDlgLogon::Notify(UINotify& notify) {
    if (!notify.sender) return;
    const int id = notify.sender->GetId();
    if (notify.code == UINotifyCode::Link) {
        const Endpoints e = GetEndpoints();
        if (id == 5) m_openUrl(e.accountServer + "/?p=register");
        if (id == 6) m_openUrl(e.accountServer + "/?p=reset_pass");
        if (id == 11) m_openUrl(e.portalSite);
        return;
    }
    if (notify.code != UINotifyCode::Click) return;
    if (id == 0 || id == 10) EndDialog(IDCANCEL);
    if (id == kLoginId) Login();
}

bool CDlgLogon::PreTranslateMessage(const MSG& msg) {
    if (msg.message == WM_KEYDOWN && Window() && NativeWindow::Containing(msg.hwnd) == Window()) {
        if (msg.wParam == VK_RETURN) {
            Login();
            return true;
        }
        if (msg.wParam == VK_ESCAPE) {
            EndDialog(IDCANCEL);
            return true;
        }
    }
    return CSkinDialog::PreTranslateMessage(msg);
}

LRESULT CDlgLogon::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCHITTEST && Window()) {
        const QPoint p =
            Window()->mapFromGlobal(QPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return p.x() >= 0 && p.x() < 487 && p.y() >= 0 && p.y() < 32 ? HTCAPTION : HTCLIENT;
    }
    return CSkinDialog::DialogProc(msg, wParam, lParam);
}

}  // namespace vm
