#pragma once

// The passport logon: user name and password, "保存密码" (keep the credentials, protected,
// for the next start) and "自动登录" (log in at start-up, which implies keeping them). The
// login runs on the UI thread behind the wait cursor. UI thread only.
//
// The main window opens it (control 2, command 32798) only while no session is held; on
// IDOK the login succeeded and WM_VM_ACCOUNT_CHANGED is already on its way to the main window.

#include <QImage>
#include <functional>
#include <string>

#include "skin/CSkinDialog.h"

namespace vm {

class CDlgLogon : public CSkinDialog {
  public:
    static constexpr int kWidth = 522;
    static constexpr int kHeight = 313;
    // The cookie lifetime of a kept login: five years.
    static constexpr int kRememberSeconds = 157680000;

    using UrlOpener = std::function<void(const std::string& url)>;

    CDlgLogon();

    // Shows the logon over owner: IDOK (1) after a successful login, else IDCANCEL (2).
    int Run(HWND owner);
    // Creates the window over owner, hidden, without running it (the gallery, tests).
    bool Open(HWND owner);

    // Who opens the registration, password and portal pages (the desktop's browser unless
    // replaced, as tests do).
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    const std::string& UserName() const { return m_userName; }
    bool Remember() const { return m_remember; }
    bool AutoLogin() const { return m_autoLogin; }

    void Notify(UINotify& notify) override;
    bool PreTranslateMessage(const MSG& msg) override;

  protected:
    bool OnInitDialog() override;
    LRESULT DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void Login();
    void FocusControl(int id);

    std::string m_userName;
    std::string m_password;
    bool m_remember = false;
    bool m_autoLogin = false;
    QImage m_icon;
    UrlOpener m_openUrl;
};

}  // namespace vm
