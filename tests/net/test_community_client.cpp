#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <future>
#include <regex>

#include "net/CConnectionException.h"
#include "net/CCreateUserException.h"
#include "net/CommunityResult.h"
#include "platform/FileUtil.h"
#include "tests/net/CommunityTestEnv.h"

namespace vm::test {
namespace {

using Log = std::vector<std::string>;

int Code(const std::string& xml) {
    tinyxml2::XMLDocument doc;
    return GetServer()->ParseResult(xml, doc);
}

TEST(CommunityResult, CodeComesFromTheInfoInFrontOfTheColon) {
    EXPECT_EQ(CommunityResultCode("<?xml version=\"1.0\"?><result success=\"1\"/>"), 0);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\"40:wrong\"/>"), 40);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\" 1031 :a:b\"/>"), 1031);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\"-3:x\"/>"), -3);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\"no colon\"/>"), -1);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\":empty\"/>"), -1);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\"/>"), -1);
    EXPECT_EQ(CommunityResultCode("<other success=\"1\"/>"), -1);
    EXPECT_EQ(CommunityResultCode(""), -1);
    EXPECT_EQ(CommunityResultCode("<result success=\"1\""), -1);
    // A failure answer never reads as success, whatever stands in front of the colon.
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\"0:ok?\"/>"), -1);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\"abc:x\"/>"), -1);
    EXPECT_EQ(CommunityResultCode("<result success=\"0\" info=\"99999999999:x\"/>"), -1);
}

class CommunityClient : public CommunityTest {};

TEST_F(CommunityClient, ParsedCodeBecomesTheLastErrorWithItsText) {
    CPHPServer& s = *GetServer();
    EXPECT_EQ(Code("<?xml version=\"1.0\"?><result success=\"0\" info=\"40: 用户名或密码不对\"/>"),
              40);
    EXPECT_EQ(s.GetLastError(), 40);
    EXPECT_EQ(s.GetErrorText(s.GetLastError()), "账号或密码错误。");
    EXPECT_EQ(Code("<result success=\"0\" info=\"no colon\"/>"), -1);
    EXPECT_EQ(s.GetLastError(), -1);
    EXPECT_EQ(Code("<result success=\"1\"/>"), 0);
    EXPECT_EQ(s.GetLastError(), 0);
    EXPECT_EQ(s.GetErrorText(7), "未知错误！");
    EXPECT_EQ(s.GetErrorText(-2), "连接服务器错误。");
    EXPECT_EQ(s.GetErrorText(-1), "未知错误。");
    EXPECT_EQ(s.GetErrorText(1033), "黑名单。");
}

TEST_F(CommunityClient, LoginSendsCredentialsAndBuildsTheUser) {
    ILoginUser* me = GetServer()->Login("alice", "", "secret1", true);
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(me->GetId(), 1u);
    EXPECT_EQ(me->GetUserName(), "alice");
    EXPECT_EQ(me->GetEmail(), "alice@example.org");
    EXPECT_EQ(fake.LastLogin().at("expires"), "31536000");
    EXPECT_EQ(GetServer()->GetLoginUser(), me);

    GetServer()->Logout();
    // By e-mail when no name is given; a session of one day without "remember".
    me = GetServer()->Login("", "alice@example.org", "secret1", false);
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(fake.LastLogin().at("username"), "alice@example.org");
    EXPECT_EQ(fake.LastLogin().at("expires"), "86400");
}

TEST_F(CommunityClient, RefusedLoginGivesNoUserAndCode40) {
    EXPECT_EQ(GetServer()->Login("alice", "", "wrong", false), nullptr);
    EXPECT_EQ(GetServer()->GetLastError(), 40);
    EXPECT_EQ(GetServer()->GetLoginUser(), nullptr);
}

TEST_F(CommunityClient, LostSessionIsRestoredByOneReloginAndOneRepeat) {
    ILoginUser& me = LoginAlice();
    fake.MakeFriends(1, 2);
    fake.DropSessions();
    std::vector<IUser*> friends;
    me.GetFriends(friends, Refresh::Force);
    EXPECT_EQ(fake.Log(), (Log{"friend.getList", "login", "friend.getList"}));
    ASSERT_EQ(friends.size(), 1u);
    EXPECT_EQ(friends[0]->GetUserName(), "bob");
    // The re-login kept the object callers hold and took the new session's tokens.
    EXPECT_EQ(GetServer()->GetLoginUser(), &me);
    EXPECT_EQ(me.GetCookieString(), "_i=is2;_sid=s2");
}

TEST_F(CommunityClient, NotLoggedInAnswerToTheLoginItselfIsNotRetried) {
    server.On("POST", "/client/public.php", [](const httplib::Request&, httplib::Response& r) {
        r.status = 200;
        r.set_content("<?xml version=\"1.0\"?><result success=\"0\" info=\"21:x\"/>", "text/xml");
    });
    EXPECT_EQ(GetServer()->Login("alice", "", "secret1", false), nullptr);
    EXPECT_EQ(server.RequestsTo("/client/public.php").size(), 1u);
    EXPECT_EQ(GetServer()->GetLastError(), 21);
}

TEST_F(CommunityClient, AfterLogoutNothingLogsTheUserBackIn) {
    LoginAlice();
    GetServer()->Logout();
    EXPECT_EQ(fake.Log(), (Log{"logout"}));
    EXPECT_EQ(GetServer()->GetLoginUser(), nullptr);
    fake.ClearLog();
    EXPECT_FALSE(GetServer()->LoadFriends());
    EXPECT_EQ(GetServer()->GetLastError(), 21);
    const Log seen = fake.Log();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "login"), 0);
    // Logged out already: no second logout request.
    GetServer()->Logout();
    EXPECT_EQ(fake.Log(), seen);
}

TEST_F(CommunityClient, NetworkFailureThrowsCode2AndLeavesTheLockFree) {
    CPHPServer& s = *GetServer();
    s.SetHost("127.0.0.1:1");
    try {
        s.GetUserInfo(2);
        FAIL() << "no exception";
    } catch (const CConnectionException& e) {
        EXPECT_EQ(e.GetCode(), -2);
        EXPECT_STREQ(e.what(), "连接服务器错误。");
    }
    EXPECT_EQ(s.GetLastError(), -2);
    auto free = std::async(std::launch::async, [&] {
        std::unique_lock<std::recursive_mutex> lock(s.Transport().RequestLock(), std::try_to_lock);
        return lock.owns_lock();
    });
    EXPECT_TRUE(free.get());
    s.SetHost(server.HostPort());
    ASSERT_NE(s.GetUserInfo(2), nullptr);
    // Calls that swallow failures turn it into their failure value.
    s.SetHost("127.0.0.1:1");
    CPHPUser::LevelRecord record;
    EXPECT_EQ(s.GetLevelInfo(2, record), 0);
    EXPECT_EQ(s.SendMessage(2, "hi"), 0);
    EXPECT_EQ(s.GetLoginUser(), nullptr);
}

TEST_F(CommunityClient, UserInfoIsCachedUntilLogout) {
    CPHPServer& s = *GetServer();
    IUser* bob = s.GetUserInfo(2);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(s.GetUserInfo(2), bob);
    EXPECT_EQ(fake.Log(), (Log{"getUserInfo"}));
    EXPECT_EQ(bob->GetUserName(), "bob");
    ASSERT_NE(bob->GetPrimaryCharacter(), nullptr);
    EXPECT_EQ(bob->GetPrimaryCharacter()->GetName(), "Bobbin");
    EXPECT_EQ(bob->GetPrimaryCharacter()->GetRace(), "elf");
    IUser* alice = s.GetUserInfo(1);
    ASSERT_NE(alice, nullptr);
    EXPECT_EQ(alice->GetPrimaryCharacter(), nullptr);
    EXPECT_EQ(s.GetUserInfo(77), nullptr);
    EXPECT_EQ(s.GetLastError(), 22);
    s.Logout();
    fake.ClearLog();
    ASSERT_NE(s.GetUserInfo(2), nullptr);
    EXPECT_EQ(fake.Log(), (Log{"getUserInfo"}));
}

TEST_F(CommunityClient, CreateUserThrowsTheServiceCode) {
    CPHPServer& s = *GetServer();
    EXPECT_EQ(s.GetVerifyCode(), CommunityFake::kVerifyPicture);
    try {
        s.CreateUser("carol", "carol@example.org", "secret3", "q", "a", "0000");
        FAIL() << "no exception";
    } catch (const CCreateUserException& e) {
        EXPECT_EQ(e.GetCode(), 23);
        EXPECT_STREQ(e.what(), "验证码错误。");
    }
    EXPECT_EQ(s.GetLastError(), 23);
    EXPECT_EQ(s.CreateUser("carol", "carol@example.org", "secret3", "q", "a", "1234"), 1);
    EXPECT_NE(s.Login("carol", "", "secret3", false), nullptr);
}

TEST_F(CommunityClient, AnotherAccountReplacesTheHeldUser) {
    ILoginUser& alice = LoginAlice();
    EXPECT_EQ(GetServer()->Login("alice", "", "secret1", false), &alice);
    ILoginUser* bob = GetServer()->Login("bob", "", "secret2", false);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->GetId(), 2u);
}

TEST_F(CommunityClient, AvatarComesFromTheRedirectWithAFreshSeed) {
    CommunityFake::User carol;
    carol.uid = 3;
    carol.picture = std::string("\xFF\xD8picture\0bytes", 15);
    fake.AddUser(carol);
    EXPECT_EQ(GetServer()->FetchAvatar(3, 120), carol.picture);
    auto asked = server.RequestsTo("/avatar.php");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(std::regex_match(asked[0].target,
                                 std::regex("/avatar\\.php\\?uid=3&size=120&timeseed=\\d+")));
    EXPECT_EQ(asked[0].Header("Cache-Control"), "no-cache");
    auto fetched = server.RequestsTo("/avatars/3.jpg");
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_TRUE(
        std::regex_match(fetched[0].target, std::regex("/avatars/3\\.jpg\\?timeseed=\\d+")));

    // A plain answer instead of the redirect: no picture, and nothing else asked.
    EXPECT_EQ(GetServer()->FetchAvatar(1, 120), "");
    EXPECT_EQ(server.RequestsTo("/avatars/1.jpg").size(), 0u);
}

TEST_F(CommunityClient, AvatarRedirectWithAQueryOrARelativePathStaysWellFormed) {
    server.On("GET", "/avatar.php", [](const httplib::Request&, httplib::Response& r) {
        r.status = 302;
        r.set_header("Location", "/pic.php?id=3");
    });
    server.Reply("/pic.php", "jpeg", 200, "image/jpeg");
    EXPECT_EQ(GetServer()->FetchAvatar(3, 48), "jpeg");
    auto fetched = server.RequestsTo("/pic.php");
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_TRUE(std::regex_match(fetched[0].target, std::regex("/pic\\.php\\?id=3&timeseed=\\d+")));
}

TEST_F(CommunityClient, RedirectLinkCarriesTargetAndSessionAsSingleValues) {
    EXPECT_EQ(GetServer()->BuildRedirectUrl("http://bbs.example/a?b=1&c=2", "s1&url=x"),
              "http://" + server.HostPort() +
                  "/client/public.php?a=redirect&url=http%3A%2F%2Fbbs%2Eexample%2Fa%3Fb%3D1%26c%"
                  "3D2&_sid=s1%26url%3Dx");
}

TEST_F(CommunityClient, SearchSendsTheFieldOfItsKind) {
    ILoginUser& me = LoginAlice();
    std::vector<std::unique_ptr<IUser>> found;
    me.Search(SearchKind::ByUserName, "bob", found);
    me.Search(SearchKind::ByUid, "1", found);
    me.Search(SearchKind::ByEmail, "nobody@example.org", found);
    me.Search(SearchKind::ByCharacter, "cn,Stormhold,Bobbin", found);
    me.Search(SearchKind::ByCharacter, "cn,Stormhold", found);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0]->GetId(), 2u);
    EXPECT_EQ(found[1]->GetId(), 1u);
    EXPECT_EQ(found[2]->GetId(), 2u);
    auto r = server.RequestsTo("/client/index.php");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].target, "/client/index.php?m=user&a=search");
    EXPECT_EQ(r[0].body, "&username=bob");
    EXPECT_EQ(r[1].body, "&uid=1");
    EXPECT_EQ(r[2].body, "&email=nobody%40example.org");
    EXPECT_EQ(r[3].target, "/client/index.php?m=user&a=searchByCharacter");
    EXPECT_EQ(r[3].body, "&character_region=cn&character_realm=Stormhold&character_name=Bobbin");
    EXPECT_EQ(r[4].body, "&character_region=&character_realm=&character_name=");
}

class Progress : public ITransferProgress {
  public:
    void OnStart() override { calls.push_back("start"); }
    void OnProgress(long long) override {}
    void OnComplete() override { calls.push_back("complete"); }
    void OnError(int code) override { calls.push_back("error " + std::to_string(code)); }
    void OnCancelled() override { calls.push_back("cancelled"); }
    bool IsCancelled() override { return false; }
    std::vector<std::string> calls;
};

TEST_F(CommunityClient, SettingsGoUpAndComeBack) {
    ILoginUser& me = LoginAlice();
    const auto upload = home / "up.dat";
    const auto download = home / "down.dat";
    ASSERT_TRUE(platform::WriteFileAtomic(download, "keep me"));

    // Nothing stored yet: no ticket, and the local file stays as it was.
    Progress none;
    EXPECT_FALSE(me.DownloadSettings(download, &none));
    EXPECT_EQ(none.calls, (Log{"error 2"}));
    EXPECT_EQ(platform::ReadWholeFile(download), "keep me");
    EXPECT_EQ(fake.Log(), (Log{"settings.download"}));

    const std::string archive("PK\3\4settings\r\n--VelmoraBoundary\0end", 34);
    ASSERT_TRUE(platform::WriteFileAtomic(upload, archive));
    Progress up;
    EXPECT_TRUE(me.UploadSettings(upload, &up));
    EXPECT_EQ(fake.GetUser(1)->settings, archive);
    Progress down;
    EXPECT_TRUE(me.DownloadSettings(download, &down));
    EXPECT_EQ(down.calls, (Log{"start", "complete"}));
    EXPECT_EQ(platform::ReadWholeFile(download), archive);
}

TEST_F(CommunityClient, ArmoryUploadReadsTheAnswer) {
    ILoginUser& me = LoginAlice();
    const auto file = home / "armory.dat";
    ASSERT_TRUE(platform::WriteFileAtomic(file, "armory bytes"));
    EXPECT_TRUE(me.UploadArmory(file, nullptr));
    EXPECT_EQ(fake.LastArmory(), "armory bytes");
    ASSERT_TRUE(platform::WriteFileAtomic(file, ""));
    EXPECT_FALSE(me.UploadArmory(file, nullptr));
    EXPECT_EQ(GetServer()->GetLastError(), 123);
}

TEST_F(CommunityClient, MessagesReachTheRecipient) {
    ILoginUser& me = LoginAlice();
    EXPECT_TRUE(me.SendMessage(2, "你好 & bye"));
    EXPECT_EQ(fake.GetUser(2)->messages, 1);
    EXPECT_FALSE(me.SendMessage(99, "nobody"));
    EXPECT_EQ(GetServer()->GetLastError(), 1021);
}

}  // namespace
}  // namespace vm::test
