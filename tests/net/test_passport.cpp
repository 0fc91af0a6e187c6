#include <gtest/gtest.h>

#include "app/messages.h"
#include "net/CCheckAccountThread.h"
#include "net/CCookieStore.h"
#include "net/Passport.h"
#include "platform/DataProtection.h"
#include "platform/IniFile.h"
#include "tests/net/PassportTestEnv.h"
#include "tools/devservices/CommunityFake.h"
#include "tools/devservices/PassportFake.h"

namespace vm::test {

using dev::CommunityFake;
using dev::PassportFake;

namespace {

constexpr char kVerify[] = "/passport_verify_account.php";

class Passport : public PassportTest {
  protected:
    void Answer(const std::string& body, std::vector<std::string> cookies = {}) {
        server.On("GET", kVerify, [=](const httplib::Request&, httplib::Response& res) {
            for (const std::string& c : cookies) res.set_header("Set-Cookie", c);
            res.set_content(body, "text/plain");
        });
    }
};

TEST_F(Passport, LoginSendsEncodedCredentialsAndCookieLifetime) {
    Answer("login success\r\n\r\nAlice");
    ASSERT_TRUE(PassportLogin("x @z", "p&w", kRememberCookieSeconds));
    const auto reqs = server.RequestsTo(kVerify);
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].target, std::string(kVerify) +
                                  "?func=login&loginusername=x+%40z&loginpassword=p%26w"
                                  "&cookietimeinsec=157680000");
    EXPECT_EQ(reqs[0].Header("Cache-Control"), "no-cache");

    ASSERT_TRUE(PassportLogin(std::nullopt, "pw", 0));
    EXPECT_EQ(server.RequestsTo(kVerify)[1].target, std::string(kVerify) + "?func=checkuser");
}

TEST_F(Passport, AnswerDecidesResultAndAccountText) {
    Answer("login success\r\n\r\nAlice");
    EXPECT_TRUE(PassportLogin("a", "b", 0));
    EXPECT_EQ(PassportAccountText().Get(), "Alice");
    EXPECT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_ACCOUNT_CHANGED});

    Answer("login successBob");
    EXPECT_TRUE(PassportLogin("a", "b", 0));
    EXPECT_EQ(PassportAccountText().Get(), "Bob");

    window->Clear();
    Answer("Login success\r\nCarol");
    EXPECT_FALSE(PassportLogin("a", "b", 0));
    EXPECT_EQ(PassportAccountText().Get(), "Bob");
    EXPECT_TRUE(window->Ids().empty());

    server.SetFault(kVerify, Fault::DropAfter(0));
    EXPECT_FALSE(PassportLogin("a", "b", 0));
}

TEST_F(Passport, SessionLoginKeepsOnlySessionCookiesInTheList) {
    Answer("login success\r\n\r\nAlice",
           {"a=1; path=/", "b=2; expires=Wed, 01 Jan 2031 00:00:00 GMT; path=/"});
    SessionCookieList().Set({"old=1"});
    ASSERT_TRUE(PassportLogin("a", "b", 0));
    EXPECT_EQ(SessionCookieList().Get(), std::vector<std::string>{"a=1"});

    // A lasting login leaves the list alone.
    ASSERT_TRUE(PassportLogin("a", "b", kRememberCookieSeconds));
    EXPECT_EQ(SessionCookieList().Get(), std::vector<std::string>{"a=1"});
}

TEST_F(Passport, CommunityLoginFollowsAndItsFailureDoesNotMatter) {
    Answer("login success\r\n\r\nAlice");
    // No community service answers here: its failure must not reach the caller.
    EXPECT_TRUE(PassportLogin("alice@example.org", "pw", 0));

    CommunityFake community(server);
    CommunityFake::User alice;
    alice.uid = 7;
    alice.username = "alice";
    alice.email = "alice@example.org";
    alice.password = "pw";
    community.AddUser(alice);
    EXPECT_TRUE(PassportLogin("alice@example.org", "pw", kRememberCookieSeconds));
    ASSERT_NE(GetServer()->GetLoginUser(), nullptr);
    EXPECT_EQ(community.LastLogin()["username"], "alice@example.org");
    EXPECT_NE(community.LastLogin()["expires"], "0");

    EXPECT_TRUE(IsEmailAddress("a.b-c@x-y.example.org"));
    EXPECT_FALSE(IsEmailAddress("x @z"));
    EXPECT_FALSE(IsEmailAddress("alice"));
    EXPECT_FALSE(IsEmailAddress("a@b"));
}

TEST_F(Passport, RememberedLoginSurvivesARestartAndLogoutEndsIt) {
    PassportFake passport(server);
    passport.AddUser({"alice", "pw", "Alice", ""});
    std::vector<int> stats;
    theApp().SetStatisticStarter([&stats](int action) { stats.push_back(action); });

    ASSERT_TRUE(PassportLogin("alice", "pw", kRememberCookieSeconds));
    CCookieStore::ReloadShared();  // as a new run of the program
    PassportAccountText().Set({});
    window->Clear();
    Run(std::make_unique<CCheckAccountThread>());
    EXPECT_EQ(PassportAccountText().Get(), "Alice");
    EXPECT_EQ(stats, std::vector<int>{5});
    EXPECT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_ACCOUNT_CHANGED});

    SessionCookieList().Set({"x=1"});
    PassportLogout();
    EXPECT_TRUE(SessionCookieList().Get().empty());
    EXPECT_EQ(PassportAccountText().Get(), "");
    CCookieStore::ReloadShared();
    EXPECT_EQ(CCookieStore::Shared().CookiesFor(server.Origin() + "/"), "");

    // A check without a session answers nothing: the text stays, the window still hears.
    window->Clear();
    PassportAccountText().Set("kept");
    Run(std::make_unique<CCheckAccountThread>());
    EXPECT_EQ(PassportAccountText().Get(), "kept");
    EXPECT_EQ(window->Ids(), std::vector<std::uint32_t>{WM_VM_ACCOUNT_CHANGED});
    EXPECT_EQ(stats, std::vector<int>{5});
    theApp().SetStatisticStarter(nullptr);
}

TEST_F(Passport, LogonChoiceIsStoredAsTheDialogWouldStoreIt) {
    StoreLogonChoice("alice", "p w", {.remember = false, .autoLogin = true});
    platform::IniFile ini(theApp().ProfilePath());
    EXPECT_EQ(ini.GetInt("Guest", "AutoLogin", 0), 1);
    EXPECT_EQ(ini.GetInt("Guest", "RememberMe", 0), 1);
    const std::string door = ini.GetString("Guest", "Door", "");
    EXPECT_EQ(door.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    auto stored = LoadStoredCredentials();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->userName, "alice");
    EXPECT_EQ(stored->password, "p w");
    // Written under another user's key: shown as "error!".
    EXPECT_EQ(platform::DataProtection(home / "other" / "key").UnprotectFromHex(door), "error!");

    StoreLogonChoice("alice", "p w", {});
    EXPECT_EQ(ini.GetInt("Guest", "AutoLogin", 1), 0);
    EXPECT_EQ(ini.GetInt("Guest", "RememberMe", 1), 0);
    EXPECT_EQ(ini.GetString("Guest", "Door", "x"), "");
    EXPECT_EQ(ini.GetString("Guest", "Key", "x"), "");
    EXPECT_FALSE(LoadStoredCredentials());
}

}  // namespace
}  // namespace vm::test
