#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/messages.h"
#include "net/CAccessDeniedException.h"
#include "net/CAddFriendException.h"
#include "net/CCharacterException.h"
#include "net/CCookieStore.h"
#include "net/CDeleteFriendException.h"
#include "net/GetAvatarThread.h"
#include "platform/FileUtil.h"
#include "tests/net/CommunityTestEnv.h"
#include "tests/support/RecordingTarget.h"

namespace vm::test {
namespace {

using Log = std::vector<std::string>;

class CommunityModel : public CommunityTest {
  protected:
    // The code of the community exception f throws (0 when none).
    template <class E, class F>
    int ThrownCode(F f) {
        try {
            f();
        } catch (const E& e) {
            return e.GetCode();
        }
        return 0;
    }
};

TEST_F(CommunityModel, NewCountFromTheLoginAnswerNeedsNoRequest) {
    ILoginUser& me = LoginAlice();
    EXPECT_EQ(me.GetNewCount(Refresh::IfNeeded), 3);
    EXPECT_TRUE(fake.Log().empty());
    fake.SetCounts(1, 4, 2);
    EXPECT_EQ(me.GetNewCount(Refresh::Force), 6);
    EXPECT_EQ(fake.Log(), (Log{"SMS.check"}));
}

TEST_F(CommunityModel, UnknownNewCountIsChecked) {
    CommunityFake::User dave = Member(4, "dave");
    dave.notification = 999;
    dave.messages = 1;
    dave.friendRequests = 1;
    fake.AddUser(dave);
    ILoginUser& me = LoginAs(dave);
    EXPECT_EQ(me.GetNewCount(Refresh::IfNeeded), 2);
    EXPECT_EQ(me.GetNewCount(Refresh::IfNeeded), 2);
    EXPECT_EQ(fake.Log(), (Log{"SMS.check"}));
}

TEST_F(CommunityModel, FriendsAreLoadedOnceUnlessForced) {
    ILoginUser& me = LoginAlice();
    fake.MakeFriends(1, 2);
    std::vector<IUser*> friends{nullptr, nullptr};
    me.GetFriends(friends, Refresh::IfNeeded);
    me.GetFriends(friends, Refresh::IfNeeded);
    EXPECT_EQ(fake.Log(), (Log{"friend.getList"}));
    ASSERT_EQ(friends.size(), 1u);
    EXPECT_EQ(friends[0]->GetId(), 2u);
    ASSERT_NE(friends[0]->GetPrimaryCharacter(), nullptr);
    EXPECT_EQ(friends[0]->GetPrimaryCharacter()->GetRealm(), "Stormhold");
    me.GetFriends(friends, Refresh::Force);
    EXPECT_EQ(fake.Log(), (Log{"friend.getList", "friend.getList"}));
}

TEST_F(CommunityModel, FailedListLoadIsTriedAgain) {
    ILoginUser& me = LoginAlice();
    server.SetFault("/client/index.php", Fault::Status(500).Times(1));
    std::vector<IUser*> friends;
    me.GetFriends(friends, Refresh::IfNeeded);
    EXPECT_TRUE(friends.empty());
    fake.MakeFriends(1, 2);
    me.GetFriends(friends, Refresh::IfNeeded);
    EXPECT_EQ(friends.size(), 1u);
}

TEST_F(CommunityModel, FriendWithoutCharacterNameHasNoPrimaryCharacter) {
    ILoginUser& me = LoginAlice();
    server.On("GET", "/client/index.php", [](const httplib::Request&, httplib::Response& r) {
        r.status = 200;
        r.set_content(
            "<?xml version=\"1.0\"?><result success=\"1\"><friend uid=\"9\" username=\"x\" "
            "character_region=\"cn\" character_realm=\"r\"/></result>",
            "text/xml");
    });
    std::vector<IUser*> friends;
    me.GetFriends(friends, Refresh::IfNeeded);
    ASSERT_EQ(friends.size(), 1u);
    EXPECT_EQ(friends[0]->GetId(), 9u);
    EXPECT_EQ(friends[0]->GetPrimaryCharacter(), nullptr);
    EXPECT_EQ(friends[0]->GetState(), 0);
    EXPECT_EQ(friends[0]->GetEmail(), "");
}

TEST_F(CommunityModel, AddingFriendsIsCheckedBeforeAsking) {
    IUser* bob = GetServer()->GetUserInfo(2);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(ThrownCode<CAccessDeniedException>([&] { bob->AddFriend("hi"); }), 21);
    EXPECT_EQ(GetServer()->GetLastError(), 21);

    ILoginUser& me = LoginAlice();
    EXPECT_EQ(ThrownCode<CAddFriendException>([&] { me.AddFriend("me"); }), 101);
    EXPECT_EQ(GetServer()->GetLastError(), 101);
    EXPECT_TRUE(fake.Log().empty());

    bob->AddFriend("hello");
    EXPECT_EQ(fake.Log(), (Log{"friend.getList", "friend.add"}));
    EXPECT_EQ(fake.GetUser(1)->friends, std::vector<std::uint32_t>{2});

    std::vector<IUser*> friends;
    me.GetFriends(friends, Refresh::Force);
    fake.ClearLog();
    EXPECT_EQ(ThrownCode<CAddFriendException>([&] { bob->AddFriend("again"); }), 100);
    EXPECT_TRUE(fake.Log().empty());
}

TEST_F(CommunityModel, RefusedFriendRequestCarriesTheServiceCode) {
    ILoginUser& me = LoginAlice();
    std::vector<IUser*> friends;
    me.GetFriends(friends, Refresh::IfNeeded);
    fake.MakeFriends(1, 2);  // the service knows, the cached list does not
    IUser* bob = GetServer()->GetUserInfo(2);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(ThrownCode<CAddFriendException>([&] { bob->AddFriend("x"); }), 102);
    EXPECT_EQ(GetServer()->GetLastError(), 102);
}

TEST_F(CommunityModel, DeletingFriends) {
    IUser* bob = GetServer()->GetUserInfo(2);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(ThrownCode<CDeleteFriendException>([&] { bob->DeleteFriend(); }), -4);
    ILoginUser& me = LoginAlice();
    EXPECT_EQ(ThrownCode<CDeleteFriendException>([&] { bob->DeleteFriend(); }), -4);
    EXPECT_EQ(GetServer()->GetLastError(), -4);
    EXPECT_EQ(fake.Log(), (Log{"friend.getList"}));

    fake.MakeFriends(1, 2);
    std::vector<IUser*> friends;
    me.GetFriends(friends, Refresh::Force);
    ASSERT_EQ(friends.size(), 1u);
    friends[0]->DeleteFriend();  // deletes the cached friend itself
    me.GetFriends(friends, Refresh::IfNeeded);
    EXPECT_TRUE(friends.empty());
    EXPECT_TRUE(fake.GetUser(1)->friends.empty());
}

TEST_F(CommunityModel, CharactersAddSetPrimaryAndRemove) {
    ILoginUser& me = LoginAlice();
    EXPECT_EQ(me.GetPrimaryCharacter(), nullptr);
    ICharacter* added =
        me.AddCharacter("cn", "Stormhold", "Ally", "f", "human", "priest", 60, "guild", "1234");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->GetName(), "Ally");
    EXPECT_EQ(added->GetClass(), "priest");
    EXPECT_EQ(added->IsPrimary(), 0);
    const auto sent = server.RequestsTo("/client/index.php");
    const auto add = std::find_if(sent.begin(), sent.end(),
                                  [](const auto& r) { return r.target.ends_with("a=add"); });
    ASSERT_NE(add, sent.end());
    EXPECT_EQ(add->body,
              "&region=cn&realm=Stormhold&name=Ally&gender=f&race=human&class=priest&level=60"
              "&guild=guild&vcode=1234");
    EXPECT_EQ(me.AddCharacter("cn", "Stormhold", "Ally", "f", "human", "priest", 60, "", "1234"),
              nullptr);
    EXPECT_EQ(GetServer()->GetLastError(), 1031);
    ASSERT_NE(me.AddCharacter("cn", "Other", "Bee", "f", "orc", "rogue", 1, "", "1234"), nullptr);

    std::vector<ICharacter*> list;
    me.GetCharacters(list, Refresh::IfNeeded);
    ASSERT_EQ(list.size(), 2u);
    list[1]->SetPrimary();
    EXPECT_TRUE(fake.GetUser(1)->characters[1].primary);
    EXPECT_EQ(list[0]->IsPrimary(), 0);
    EXPECT_EQ(list[1]->IsPrimary(), 1);
    ASSERT_NE(me.GetPrimaryCharacter(), nullptr);
    EXPECT_EQ(me.GetPrimaryCharacter()->GetName(), "Bee");

    EXPECT_TRUE(me.RemoveCharacter(*list[1]));
    EXPECT_EQ(me.GetPrimaryCharacter(), nullptr);
    list.clear();
    me.GetCharacters(list, Refresh::IfNeeded);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->GetName(), "Ally");
    CPHPCharacter gone;
    gone.region = "cn";
    gone.name = "nobody";
    EXPECT_FALSE(me.RemoveCharacter(gone));
}

TEST_F(CommunityModel, AcceptedCharacterMissingFromTheListGivesNull) {
    ILoginUser& me = LoginAlice();
    server.On("POST", "/client/index.php", [](const httplib::Request&, httplib::Response& r) {
        r.status = 200;
        r.set_content("<?xml version=\"1.0\"?><result success=\"1\"/>", "text/xml");
    });
    EXPECT_EQ(me.AddCharacter("cn", "R", "Ghost", "m", "elf", "mage", 1, "", "1234"), nullptr);
}

TEST_F(CommunityModel, PrimaryCharacterNeedsALogin) {
    CPHPCharacter c;
    c.region = "cn";
    EXPECT_EQ(ThrownCode<CCharacterException>([&] { c.SetPrimary(); }), 21);
    EXPECT_EQ(GetServer()->GetLastError(), 21);
}

TEST_F(CommunityModel, PrimaryCharacterOfTheLoginUserIsFoundInItsList) {
    ILoginUser& me = LoginAs(*fake.GetUser(2));
    ASSERT_NE(me.GetPrimaryCharacter(), nullptr);
    EXPECT_EQ(me.GetPrimaryCharacter()->GetName(), "Bobbin");
    EXPECT_EQ(fake.Log(), (Log{"character.getList"}));
}

TEST_F(CommunityModel, NotificationsAreAppended) {
    CommunityFake::User erin = Member(5, "erin");
    erin.notifications = {{7, 1, "欢迎"}, {8, 2, "a<b>&\"c\""}};
    fake.AddUser(erin);
    ILoginUser& me = LoginAs(erin);
    std::vector<INotification*> list;
    me.GetNotifications(list, Refresh::IfNeeded);
    me.GetNotifications(list, Refresh::IfNeeded);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0]->GetId(), 7);
    EXPECT_EQ(list[0]->GetContent(), "欢迎");
    EXPECT_EQ(list[1]->GetType(), 2);
    EXPECT_EQ(list[1]->GetContent(), "a<b>&\"c\"");
}

TEST_F(CommunityModel, CookiesAndLinksCarryTheSessionTokens) {
    ILoginUser& me = LoginAlice();
    EXPECT_EQ(me.GetCookieString(), "_i=is1;_sid=s1");
    const std::string page = "http://bbs.example/forum/";
    EXPECT_TRUE(me.SetCookies(page));
    const std::string cookies = CCookieStore::Shared().CookiesFor(page);
    EXPECT_NE(cookies.find("_i=is1"), std::string::npos);
    EXPECT_NE(cookies.find("_sid=s1"), std::string::npos);
    EXPECT_EQ(me.GetRedirectUrl("x"),
              "http://" + server.HostPort() + "/client/public.php?a=redirect&url=x&_sid=s1");
}

TEST_F(CommunityModel, LevelInfoIsFetchedOnceUnlessForced) {
    IUser* bob = GetServer()->GetUserInfo(2);
    ASSERT_NE(bob, nullptr);
    std::string level = "old";
    int current = -5, maximum = -5;
    bob->GetLevelInfo(level, current, maximum, Refresh::IfNeeded);
    EXPECT_EQ(level, "");
    EXPECT_EQ(bob->GetGroupId(Refresh::IfNeeded), -1);

    CommunityFake::User frank = Member(6, "frank");
    frank.levelText = "骑士";
    frank.tip = "再发10帖升级";
    frank.curValue = 40;
    frank.maxValue = 50;
    frank.groupId = 12;
    fake.AddUser(frank);
    IUser* f = GetServer()->GetUserInfo(6);
    ASSERT_NE(f, nullptr);
    fake.ClearLog();
    f->GetLevelInfo(level, current, maximum, Refresh::IfNeeded);
    EXPECT_EQ(level, "骑士");
    EXPECT_EQ(current, 40);
    EXPECT_EQ(maximum, 50);
    EXPECT_EQ(f->GetGroupId(Refresh::IfNeeded), 12);
    std::string tip;
    f->GetTip(tip, Refresh::IfNeeded);
    EXPECT_EQ(tip, "再发10帖升级");
    EXPECT_EQ(fake.Log(), (Log{"level"}));
    f->GetTip(tip, Refresh::Force);
    EXPECT_EQ(fake.Log(), (Log{"level", "level"}));
}

// Runs one avatar worker to its end; the target holds what it posted.
std::shared_ptr<RecordingTarget> RunAvatarThread() {
    auto target = std::make_shared<RecordingTarget>();
    auto worker = std::make_unique<GetAvatarThread>();
    worker->m_pMainWnd = target;
    if (!CWorkerThread::Start(std::move(worker))) return target;
    EXPECT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(10)));
    return target;
}

TEST_F(CommunityModel, AvatarThreadWritesThePictureAndPostsItsPath) {
    CommunityFake::User alice = *fake.GetUser(1);
    alice.picture = "\xFF\xD8jpeg";
    fake.AddUser(alice);
    LoginAlice();
    const auto target = RunAvatarThread();
    const auto posts = target->Of(WM_VM_AVATAR_READY);
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].wParam, 1u);
    const std::string path = std::get<std::string>(posts[0].payload);
    EXPECT_EQ(std::filesystem::path(path).parent_path(), GetAvatarThread::AvatarFolder());
    EXPECT_TRUE(path.ends_with("1.jpg"));
    EXPECT_EQ(platform::ReadWholeFile(path), alice.picture);
}

TEST_F(CommunityModel, AvatarThreadPostsAnEmptyPathWithoutAPicture) {
    LoginAlice();
    const auto target = RunAvatarThread();
    EXPECT_EQ(std::get<std::string>(target->Of(WM_VM_AVATAR_READY).at(0).payload), "");
}

TEST_F(CommunityModel, AvatarThreadDoesNothingWhenNobodyIsLoggedIn) {
    const auto target = RunAvatarThread();
    EXPECT_TRUE(target->Entries().empty());
    EXPECT_TRUE(fake.Log().empty());
}

}  // namespace
}  // namespace vm::test
