// The logon dialog against a passport server on the test server: the login rules, what a
// login keeps in [Guest], and the stored credentials shown again.

#include <gtest/gtest.h>

#include "DialogTestSupport.h"
#include "app/Prompter.h"
#include "net/CCookieStore.h"
#include "net/OneShot.h"
#include "net/Passport.h"
#include "net/endpoints.h"
#include "platform/DataProtection.h"
#include "platform/FileUtil.h"
#include "skin/CUIEdit.h"
#include "tests/support/TestServer.h"
#include "ui/CDlgLogon.h"

namespace vm::test {
namespace {

constexpr char kVerify[] = "/passport_verify_account.php";

class LogonDialog : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("HOME", dir.Path().c_str(), 1);
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        CCookieStore::ReloadShared();
        SessionCookieList().Set({});
        PassportAccountText().Set({});
        Endpoints e;
        e.passportOrigin = server.Origin();
        e.statServer = server.Origin();
        e.communityHost = server.HostPort();
        e.avatarHost = server.HostPort();
        e.accountServer = "http://account.test.example";
        e.portalSite = "http://portal.test.example";
        SetEndpoints(e);
        theApp().SetStatisticStarter([this](int action) { statistics.push_back(action); });
        server.On("GET", kVerify, [](const httplib::Request& req, httplib::Response& res) {
            const bool good = req.get_param_value("loginusername") == "alice" &&
                              req.get_param_value("loginpassword") == "pw";
            res.set_content(good ? "login success\r\n\r\nAlice" : "login failed", "text/plain");
        });
    }
    void TearDown() override {
        theApp().SetStatisticStarter(nullptr);
        DialogTest::TearDown();
    }

    static void Type(CDlgLogon* d, int id, const QString& text) {
        ClickControl(d, id);
        auto* edit = static_cast<CUIEdit*>(d->FindControl(id));
        if (!edit->GetOverlay()) {
            ADD_FAILURE() << "no edit overlay over control " << id;
            return;
        }
        QTest::keyClicks(edit->GetOverlay(), text);
    }
    std::string Guest(const char* key) { return theApp().GetProfileString("Guest", key, "<none>"); }
    std::string Settings() {
        return platform::ReadWholeFile(theApp().ProfilePath()).value_or("<no file>");
    }
    std::vector<std::string> LoginTargets() {
        std::vector<std::string> targets;
        for (const auto& r : server.RequestsTo(kVerify)) targets.push_back(r.target);
        return targets;
    }

    TestServer server;
    std::vector<int> statistics;
};

TEST_F(LogonDialog, AutoLoginAloneKeepsTheCredentialsProtected) {
    WhenShown<CDlgLogon>([](CDlgLogon* d) {
        Type(d, 3, "alice");
        Type(d, 4, "pw");
        ClickControl(d, 8);
        ClickControl(d, 9);
    });
    CDlgLogon logon;
    EXPECT_EQ(logon.Run(nullptr), IDOK);
    EXPECT_EQ(Guest("AutoLogin"), "1");
    EXPECT_EQ(Guest("RememberMe"), "1");
    EXPECT_NE(Guest("Door"), "alice");
    platform::DataProtection protection;
    EXPECT_EQ(protection.UnprotectFromHex(Guest("Door")), "alice");
    EXPECT_EQ(protection.UnprotectFromHex(Guest("Key")), "pw");
    // Checking 自动登录 alone does not make the cookies last: only 保存密码 does.
    const auto targets = LoginTargets();
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_NE(targets[0].find("cookietimeinsec=0"), std::string::npos) << targets[0];
    EXPECT_EQ(statistics, std::vector<int>{5});
    EXPECT_EQ(PassportAccountText().Get(), "Alice");
}

TEST_F(LogonDialog, StoredCredentialsShowAndUncheckingBothForgetsThem) {
    StoreLogonChoice("alice", "pw", LogonChoice{true, false});
    std::string shownName, shownPassword;
    bool rememberChecked = false;
    WhenShown<CDlgLogon>([&](CDlgLogon* d) {
        shownName = d->FindControl(3)->GetText();
        shownPassword = d->FindControl(4)->GetText();
        rememberChecked = d->Remember();
        ClickControl(d, 7);
        // Enter logs in.
        QTest::keyClick(d->Window(), Qt::Key_Return);
    });
    CDlgLogon logon;
    EXPECT_EQ(logon.Run(nullptr), IDOK);
    EXPECT_EQ(shownName, "alice");
    EXPECT_EQ(shownPassword, "pw");
    EXPECT_TRUE(rememberChecked);
    EXPECT_EQ(Guest("RememberMe"), "0");
    EXPECT_EQ(Guest("AutoLogin"), "0");
    EXPECT_EQ(Guest("Door"), "");
    EXPECT_EQ(Guest("Key"), "");
    ASSERT_EQ(LoginTargets().size(), 1u);
}

TEST_F(LogonDialog, RefusedLoginWritesNothingAndStaysOpen) {
    theApp().WriteProfileInt("Guest", "RememberMe", 0);
    const std::string before = Settings();
    std::string refusal;
    bool stillOpen = false;
    WhenShown<CDlgLogon>([&](CDlgLogon* d) {
        Type(d, 3, "alice");
        Type(d, 4, "wrong");
        ClickControl(d, 7);
        ClickControl(d, 8);
        AnswerNextMessageBox(&refusal);
        ClickControl(d, 9);
        stillOpen = Shown<CDlgLogon>() == d;
        ClickControl(d, 10);
    });
    CDlgLogon logon;
    EXPECT_EQ(logon.Run(nullptr), IDCANCEL);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(refusal, "<c #F4E9FF>验证失败，确认你的用户或密码输入正确。</c>");
    EXPECT_EQ(Settings(), before);
    const auto targets = LoginTargets();
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_NE(targets[0].find("cookietimeinsec=157680000"), std::string::npos) << targets[0];
    EXPECT_TRUE(statistics.empty());
}

TEST_F(LogonDialog, EmptyFieldsAreRefusedWithoutAskingTheServer) {
    std::string first, second;
    WhenShown<CDlgLogon>([&](CDlgLogon* d) {
        AnswerNextMessageBox(&first);
        ClickControl(d, 9);
        Type(d, 3, "alice");
        AnswerNextMessageBox(&second);
        ClickControl(d, 9);
        ClickControl(d, 0);
    });
    CDlgLogon logon;
    EXPECT_EQ(logon.Run(nullptr), IDCANCEL);
    EXPECT_EQ(first, "<c #F4E9FF>用户名不能为空。</c>");
    EXPECT_EQ(second, "<c #F4E9FF>请输入密码。</c>");
    EXPECT_TRUE(LoginTargets().empty());
}

TEST_F(LogonDialog, UnopenableStoredValuesShowAsErrorAndLinksOpenTheirPages) {
    theApp().WriteProfileInt("Guest", "RememberMe", 1);
    theApp().WriteProfileString("Guest", "Door", "00FF00FF00FF00FF00FF00FF00FF00FF00FF");
    theApp().WriteProfileString("Guest", "Key", "ABCD");
    std::string shownName;
    std::vector<std::string> opened;
    WhenShown<CDlgLogon>([&](CDlgLogon* d) {
        shownName = d->FindControl(3)->GetText();
        ClickControl(d, 5);
        ClickControl(d, 6);
        ClickControl(d, 11);
        ClickControl(d, 10);
    });
    CDlgLogon logon;
    logon.SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
    EXPECT_EQ(logon.Run(nullptr), IDCANCEL);
    EXPECT_EQ(shownName, "error!");
    EXPECT_EQ(opened, (std::vector<std::string>{"http://account.test.example/?p=register",
                                                "http://account.test.example/?p=reset_pass",
                                                "http://portal.test.example"}));
}

}  // namespace
}  // namespace vm::test
