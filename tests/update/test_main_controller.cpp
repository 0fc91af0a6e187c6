// The main window's decisions, driven without a window: what the controller asks the window to
// show, which questions it asks, which workers it starts and what it writes to the profile.

#include <gtest/gtest.h>

#include <map>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "platform/Clock.h"
#include "tests/support/RecordingTarget.h"
#include "tests/support/ScopedTempDir.h"
#include "update/MainController.h"
#include "update/WindowMessageListener.h"

namespace vm {
namespace {

// The window: every request becomes a line of the log; questions answer from `answers`.
class RecordingView : public IMainView {
  public:
    std::vector<std::string> log;
    int answer = kAnswerYes;      // for every box
    int exitAnswer = kAnswerYes;  // for the exit question
    bool isolate = false;         // for the unknown add-ons
    bool launcher = false;        // the desktop launcher is there
    int launcherError = 0;
    std::function<void()> duringExitQuestion;

    int ShowBox(std::string_view text, std::string_view title, unsigned style) override {
        log.push_back("box " + std::string(title) + " | " + std::string(text) + " | " +
                      std::to_string(style));
        return answer;
    }
    void ShowPlainBox(const std::string& text) override { log.push_back("plain " + text); }
    void AskCloseMeaning() override { log.push_back("ask close meaning"); }
    int ConfirmExit() override {
        log.push_back("confirm exit");
        if (duringExitQuestion) duringExitQuestion();
        return exitAnswer;
    }
    bool AskDeleteUnknown(const std::vector<std::string>& c,
                          const std::vector<std::string>&) override {
        log.push_back("ask unknown " + std::to_string(c.size()));
        return isolate;
    }
    void ShowStatus(const std::string& text) override { log.push_back("status " + text); }
    void SetUpdateFace(bool idle) override { log.push_back(idle ? "face start" : "face stop"); }
    void EnableUpdate(bool on) override { log.push_back(on ? "update on" : "update off"); }
    void EnableRunGame(bool on) override { log.push_back(on ? "game on" : "game off"); }
    void SetRunGameTimer(bool on) override { log.push_back(on ? "timer on" : "timer off"); }
    void ShowLoginState(bool in, const std::string& name) override {
        log.push_back(in ? "logged in " + name : "logged out");
    }
    void ShowAccount(const std::string& name, std::uint64_t uid,
                     const std::string& avatar) override {
        log.push_back("account " + name + " " + std::to_string(uid) + " " + avatar);
    }
    void ShowLatency(const std::string& text) override { log.push_back("latency " + text); }
    void ReloadPage() override { log.push_back("reload"); }
    void ShowTransferBusy(const std::optional<std::string>& text) override {
        log.push_back(text ? "busy " + *text : "busy end");
    }
    void HideToTray() override { log.push_back("hide"); }
    void PostQuit() override { log.push_back("quit"); }
    void StartAvatarWorker() override { log.push_back("avatar worker"); }
    void StartGameWorker() override { log.push_back("game worker"); }
    void StartPingWorker(const GameServerRecord& r) override {
        log.push_back("ping " + r.displayName);
    }
    void StartConfigWorker(bool upload) override {
        log.push_back(upload ? "upload worker" : "download worker");
    }
    bool LauncherExists() override { return launcher; }
    void RemoveLauncher() override {
        log.push_back("remove launcher");
        launcher = false;
    }
    int CreateLaunchers() override {
        log.push_back("create launchers");
        return launcherError;
    }
};

class FakeAccount : public IMainAccount {
  public:
    bool loggedIn = false;
    bool session = false;
    bool loginWorks = true;
    std::vector<int> logins;  // cookie lifetimes asked for

    bool IsLoggedIn() const override { return loggedIn; }
    std::string UserName() const override { return loggedIn ? "玩家" : ""; }
    bool HasSession() const override { return session; }
    bool LogInWithStoredCredentials(int seconds) override {
        logins.push_back(seconds);
        return loginWorks;
    }
    void LogOut() override { loggedIn = session = false; }
};

class MainControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        theApp().ResetSharedState();
        theApp().SetProgramDir(dir.Path());
        g_gameRunning.Reset();
        g_shortcutOffered.Reset();
        g_cancelUpdate.store(0);
    }
    void TearDown() override { g_gameRunning.Reset(); }

    // Takes the log so far.
    std::vector<std::string> Take() { return std::exchange(view.log, {}); }

    test::ScopedTempDir dir;
    RecordingView view;
    FakeAccount account;
    MainController controller{view, account};
};

using Log = std::vector<std::string>;

TEST_F(MainControllerTest, TheAccountPanelFollowsTheLoginAndAvatarsOnlyWhileLoggedIn) {
    controller.RefreshLoginState();
    EXPECT_EQ(Take(), (Log{"logged out", "reload"}));
    EXPECT_EQ(controller.OnAvatarReady(7, "/a.png"), -1);
    EXPECT_TRUE(view.log.empty());

    account.loggedIn = true;
    controller.RefreshLoginState();
    EXPECT_EQ(Take(), (Log{"logged in 玩家", "avatar worker", "reload"}));
    EXPECT_EQ(controller.OnAvatarReady(7, "/a.png"), 0);
    EXPECT_EQ(Take(), (Log{"account 玩家 7 /a.png"}));

    controller.Logout();
    EXPECT_FALSE(account.loggedIn);
    EXPECT_EQ(Take(), (Log{"logged out", "reload"}));
}

TEST_F(MainControllerTest, AutomaticLoginNeedsTheSwitchAndBothStoredTexts) {
    controller.AutoLogin();  // AutoLogin unset
    theApp().WriteProfileInt("Guest", "AutoLogin", 1);
    theApp().WriteProfileString("Guest", "Door", "6e616d65");
    controller.AutoLogin();  // no Key
    EXPECT_TRUE(account.logins.empty());

    theApp().WriteProfileString("Guest", "Key", "70617373");
    controller.AutoLogin();
    theApp().WriteProfileInt("Guest", "RememberMe", 1);
    controller.AutoLogin();
    EXPECT_EQ(account.logins, (std::vector<int>{0, 157680000}));
    EXPECT_TRUE(view.log.empty());

    account.loginWorks = false;
    controller.AutoLogin();
    EXPECT_EQ(Take(), (Log{"plain 自动登录失败！请手动登陆。"}));
}

TEST_F(MainControllerTest, TheChosenSetsServerIsMeasuredAndItsLatencyShown) {
    GameServerRecord a, b;
    a.displayName = "一区官方服务器";
    b.displayName = "二区官方服务器";
    ASSERT_TRUE(WriteRealmsFile((dir / "Velmora.realms").string(), {a, b}));
    theApp().WriteProfileString("Update", "Version", "二区官方服务器");
    controller.StartLatency();
    EXPECT_EQ(Take(), (Log{"ping 二区官方服务器", "latency ", "game on"}));
    EXPECT_EQ(theApp().GetProfileString("Update", "Version"), "二区官方服务器");

    a.latency = 5;  // not the current one
    controller.OnPingResult(a);
    b.latency = 32;
    controller.OnPingResult(b);
    b.latency = -1;
    controller.OnPingResult(b);
    EXPECT_EQ(Take(), (Log{"latency 32 ms", "latency N/A"}));
    // Realms arriving later change nothing once a record is current.
    controller.OnRealmsReady();
    EXPECT_TRUE(view.log.empty());
}

TEST_F(MainControllerTest, WithoutARealmOfTheChosenSetVersionStaysAndTheLatencyIsUnknown) {
    // Realms come only from the "官方服务器" sets; the player chose another one.
    GameServerRecord a;
    a.displayName = "一区官方服务器";
    ASSERT_TRUE(WriteRealmsFile((dir / "Velmora.realms").string(), {a}));
    theApp().WriteProfileString("Update", "Version", "TVRN");
    controller.StartLatency();
    EXPECT_EQ(Take(), (Log{"latency 未知", "game on"}));
    EXPECT_EQ(theApp().GetProfileString("Update", "Version"), "TVRN");
    EXPECT_FALSE(controller.CurrentServer());
    // The realms-ready message does not invent one either.
    controller.OnRealmsReady();
    EXPECT_EQ(Take(), (Log{"latency 未知", "game on"}));
    EXPECT_EQ(theApp().GetProfileString("Update", "Version"), "TVRN");
    a.latency = 12;
    controller.OnPingResult(a);
    EXPECT_TRUE(view.log.empty());

    // No set chosen yet (a first start): nothing is written either.
    theApp().WriteProfileString("Update", "Version", "");
    controller.StartLatency();
    EXPECT_EQ(theApp().GetProfileString("Update", "Version", "-"), "");

    // Once the list holds the chosen set, it is measured.
    GameServerRecord tvrn;
    tvrn.displayName = "TVRN";
    ASSERT_TRUE(WriteRealmsFile((dir / "Velmora.realms").string(), {a, tvrn}));
    theApp().WriteProfileString("Update", "Version", "TVRN");
    Take();
    controller.OnRealmsReady();
    EXPECT_EQ(Take(), (Log{"ping TVRN", "latency ", "game on"}));
}

TEST_F(MainControllerTest, TheShortcutIsOfferedOnceAndTheOfferAlwaysEnds) {
    // Already on the desktop after the one refresh: nothing asked, the offer stays open.
    view.launcher = true;
    theApp().WriteProfileInt("Misc", "RefreshShortcut", 1);
    controller.OfferShortcut();
    EXPECT_TRUE(Take().empty());
    EXPECT_TRUE(g_shortcutOffered.IsSet());
    EXPECT_EQ(theApp().GetProfileInt("Misc", "NotifyShortcut2", 0), 0);

    // The first start removes the old launcher and asks; No is remembered like Yes.
    g_shortcutOffered.Reset();
    theApp().WriteProfileInt("Misc", "RefreshShortcut", 0);
    view.answer = 7;
    controller.OfferShortcut();
    const Log asked = Take();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], "remove launcher");
    EXPECT_NE(asked[1].find("创建快捷方式"), std::string::npos);
    EXPECT_EQ(theApp().GetProfileInt("Misc", "RefreshShortcut", 0), 1);
    EXPECT_EQ(theApp().GetProfileInt("Misc", "NotifyShortcut2", 0), 1);
    EXPECT_TRUE(g_shortcutOffered.IsSet());
    controller.OfferShortcut();
    EXPECT_TRUE(Take().empty());

    // Yes with a launcher that cannot be written: the error code, and never again.
    theApp().WriteProfileInt("Misc", "NotifyShortcut2", 0);
    view.answer = kAnswerYes;
    view.launcherError = 13;
    controller.OfferShortcut();
    const Log failed = Take();
    ASSERT_EQ(failed.size(), 3u);
    EXPECT_EQ(failed[1], "create launchers");
    EXPECT_EQ(failed[2],
              "box <c #F4E9FF>创建快捷方式</c> | <c #F4E9FF>无法创建Velmora的快捷方式。(错误代码："
              "13)</c> | 16");
    EXPECT_EQ(theApp().GetProfileInt("Misc", "NotifyShortcut2", 0), 1);
}

TEST_F(MainControllerTest, TheCloseButtonFollowsCloseMeanMinAndExitAsksOnce) {
    controller.OnCloseButton();
    theApp().WriteProfileString("Misc", "CloseMeanMin", "true");
    controller.OnCloseButton();
    EXPECT_EQ(Take(), (Log{"ask close meaning", "hide"}));

    theApp().WriteProfileString("Misc", "CloseMeanMin", "false");
    view.exitAnswer = 7;
    // A second exit while the question is open does nothing.
    view.duringExitQuestion = [&] { controller.ExitWithConfirmation(); };
    controller.OnCloseButton();
    EXPECT_EQ(Take(), (Log{"confirm exit"}));
    view.exitAnswer = kAnswerYes;
    controller.OnCloseButton();
    EXPECT_EQ(Take(), (Log{"confirm exit", "quit"}));
    theApp().WriteProfileInt("Misc", "ConfirmExit", 0);
    view.duringExitQuestion = nullptr;
    controller.ExitWithConfirmation();
    EXPECT_EQ(Take(), (Log{"quit"}));
}

TEST_F(MainControllerTest, SettingsTransferAsksShowsTheBusyWindowAndTheResult) {
    view.answer = 7;
    controller.TransferConfig(true);
    ASSERT_EQ(Take().size(), 1u);  // the question only

    view.answer = kAnswerYes;
    controller.TransferConfig(false);
    Log log = Take();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], "busy 正在下载配置，请稍候……");
    EXPECT_EQ(log[2], "download worker");

    controller.OnConfigResult(WM_VM_CONFIG_DOWNLOAD_FAILED, std::nullopt);
    controller.OnConfigResult(WM_VM_CONFIG_UPLOAD_FAILED, std::string("网络错误"));
    controller.OnConfigResult(WM_VM_CONFIG_UPLOAD_DONE, std::nullopt);
    EXPECT_EQ(Take(),
              (Log{"busy end", "busy end",
                   "box <c #FDE6F9>上传配置 | <c #FDE6F9>上传配置失败！(网络错误) | 16", "busy end",
                   "box <c #FDE6F9>上传配置 | <c #FDE6F9>上传配置成功！ | 64"}));
}

class MainControllerUpdate : public MainControllerTest {
  protected:
    void SetUp() override {
        MainControllerTest::SetUp();
        session.SetLauncher([this] {
            ++launches;
            return true;
        });
        controller.SetSession(&session);
        theApp().PublishedState().updateInfo.Set({{"Version", "3"}});
    }
    std::shared_ptr<test::RecordingTarget> target = std::make_shared<test::RecordingTarget>();
    UpdateSession session{std::make_shared<WindowMessageListener>(target),
                          UpdateGates::MainWindow()};
    int launches = 0;
};

TEST_F(MainControllerUpdate, OnlyAnAutomaticRunStartsTheGameAfterwards) {
    theApp().WriteProfileInt("Update", "AutoRun", 1);
    // Started by the user: the button stops it, and its end starts no game.
    controller.OnUpdateButton();
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(theApp().Runs().refreshRequest.load(), 1);
    controller.OnUpdateButton();
    EXPECT_EQ(g_cancelUpdate.load(), 1);
    controller.OnUpdateEnd();
    EXPECT_EQ(Take(), (Log{"face stop", "update off", "game on", "face start", "update on"}));
    EXPECT_FALSE(controller.IsRunGameTimerPending());

    // Started at start-up: the game one second after its end, unless settings cancel it.
    controller.DecideAutomaticUpdate();
    EXPECT_TRUE(controller.IsAutoStarted());
    controller.OnUpdateEnd();
    EXPECT_TRUE(controller.IsRunGameTimerPending());
    EXPECT_FALSE(controller.IsAutoStarted());
    Take();
    controller.OnRunGameTimer();
    EXPECT_EQ(Take(), (Log{"timer off", "status 正在运行Tovrin...", "update off", "game off",
                           "game worker"}));
    controller.RunGame();  // already running
    EXPECT_TRUE(Take().empty());
    controller.OnGameEnded();
    EXPECT_FALSE(g_gameRunning.IsSet());
}

TEST_F(MainControllerUpdate, OnceEveryDayStartsWhenMoreThanADayHasPassed) {
    theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    const auto t0 = platform::TimePoint(std::chrono::seconds(1'700'000'000));
    theApp().WriteProfileInt("Update", "lastUpdate", 1'700'000'000);
    {
        platform::ScopedClock clock(t0);  // the same second: runs
        controller.DecideAutomaticUpdate();
        EXPECT_EQ(launches, 1);
    }
    controller.OnUpdateEnd();
    {
        platform::ScopedClock clock(t0 + std::chrono::seconds(86400));
        controller.DecideAutomaticUpdate();
        EXPECT_EQ(launches, 1);
        EXPECT_EQ(view.log.back(), "status 今日已更新过。");
    }
    {
        platform::ScopedClock clock(t0 + std::chrono::seconds(86401));
        controller.DecideAutomaticUpdate();
        EXPECT_EQ(launches, 2);
        EXPECT_EQ(theApp().GetProfileInt("Update", "lastUpdate", 0), 1'700'086'401);
    }
}

TEST_F(MainControllerTest, UnknownAddOnsFollowDeleteModeAndTheCommitGateThePage) {
    const std::vector<std::string> files{"/game/Interface/Old/x.lua"};
    theApp().WriteProfileInt("Update", "DeleteMode", 1);
    EXPECT_TRUE(controller.DecideUnknownAddOns(files, {}));
    theApp().WriteProfileInt("Update", "DeleteMode", 2);
    EXPECT_FALSE(controller.DecideUnknownAddOns(files, {}));
    EXPECT_TRUE(view.log.empty());
    theApp().WriteProfileInt("Update", "DeleteMode", 0);
    view.isolate = true;
    EXPECT_TRUE(controller.DecideUnknownAddOns(files, {}));
    EXPECT_EQ(Take(), (Log{"ask unknown 1"}));

    // Another page's load does not open the gate; the news page's first one does.
    theApp().Runs().commitGate.Reset();
    controller.OnPageLoaded(false, true);
    EXPECT_FALSE(theApp().Runs().commitGate.IsSet());
    controller.OnPageLoaded(true, true);
    EXPECT_TRUE(theApp().Runs().commitGate.IsSet());
    EXPECT_TRUE(controller.IsPageHandled());
}

}  // namespace
}  // namespace vm
