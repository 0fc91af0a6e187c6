// The errors a player can mend, met through the window program: the window says what
// happened and what to do, and keeps running.

#include <signal.h>
#include <sys/resource.h>

#include "app/Globals.h"
#include "tests/ui/PlayerDaySupport.h"
#include "ui/CDlgConfirmExit.h"
#include "ui/CDlgLogon.h"
#include "ui/WindowIds.h"

namespace vm::test {
namespace {

using W = CVelmoraDlg;

class PlayerErrors : public PlayerDayTest {
  protected:
    // A player who set the program up before.
    void SetUp() override {
        PlayerDayTest::SetUp();
        PlayedBefore();
        theApp().WriteProfileString("Path", "CustomPath", game.string());
    }

    // The run's last status once the update is back to idle.
    static std::string SettledStatus(W& w) {
        EXPECT_TRUE(WaitFor(
            [&] {
                const std::string s = Text(w, W::IDC_STATUS);
                // The run's thread lets go of the game folder just after its end message.
                return w.IsUpdateIdle() && Enabled(w, W::IDC_UPDATE) &&
                       g_updateRunning.load() == 0 && !s.empty() && s != "检测需要更新的文件...";
            },
            60000));
        return Text(w, W::IDC_STATUS);
    }
    // The window still answers: a refresh starts and comes back.
    static void StillRuns(W& w) {
        EXPECT_TRUE(w.Window()->isVisible());
        ClickControl(&w, W::IDC_UPDATE);
        EXPECT_TRUE(WaitFor([&] {
            return w.IsUpdateIdle() && Enabled(w, W::IDC_UPDATE) && g_updateRunning.load() == 0;
        }));
    }
    static void Exit(W& w) { w.PostMessage(WM_COMMAND, ID_EXIT_MENU, 0); }
};

TEST_F(PlayerErrors, GameFolderGoneIsToldAndNothingIsInstalledWhereItWas) {
    fs::remove_all(work / "games");
    std::string status, afterRun;
    EXPECT_EQ(RunProgram([&](W& w) {
                  status = SettledStatus(w);
                  ClickControl(&w, W::IDC_RUN_GAME);
                  EXPECT_TRUE(WaitFor([&] { return Enabled(w, W::IDC_RUN_GAME); }));
                  afterRun = Text(w, W::IDC_STATUS);
                  StillRuns(w);
                  Exit(w);
              }),
              0);
    EXPECT_EQ(status, "找不到Tovrin的游戏目录：" + (work / "games/Tovrin/").string() +
                          "。请在设置中重新指定Tovrin的位置，然后重新更新。");
    EXPECT_EQ(afterRun, "无法找到Tovrin可执行文件，请查看设置。");
    // The update made no game folder of its own.
    EXPECT_FALSE(fs::exists(work / "games"));
}

TEST_F(PlayerErrors, UnreachableMirrorIsToldWithWhatToDo) {
    endpoints.telecomMirror = "http://127.0.0.1:1";
    EXPECT_EQ(RunProgram([&](W& w) {
                  EXPECT_TRUE(WaitFor([&] { return Text(w, W::IDC_STATUS) == "不进行更新。"; }));
                  // The player asks again: the window says why nothing came.
                  StillRuns(w);
                  Exit(w);
              }),
              0);
    EXPECT_NE(statusLines.find(
                  "不进行更新。\n无法从更新服务器取得更新信息，请检查网络连接，或在设置中换一个更新"
                  "服务器后重新更新。\n更新失败。\n"),
              std::string::npos)
        << statusLines;
    EXPECT_EQ(statusLines.find("没有任何插件集"), std::string::npos) << statusLines;
    EXPECT_FALSE(fs::exists(work / "games/Tovrin/Interface"));
}

TEST_F(PlayerErrors, PassportDownIsNotCalledAWrongPassword) {
    endpoints.passportOrigin = "http://127.0.0.1:1";
    theApp().WriteProfileInt("Update", "AutoUpdate", 0);
    std::string box;
    EXPECT_EQ(RunProgram([&](W& w) {
                  WhenShown<CDlgLogon>([&](CDlgLogon* d) {
                      TypeInto(d, 3, "demo");
                      TypeInto(d, 4, "demo");
                      ClickControl(d, 9);
                      EXPECT_TRUE(WaitFor([&] { return player->Saw("box "); }));
                      // The dialog stays for another try.
                      EXPECT_EQ(Shown<CDlgLogon>(), d);
                      ClickControl(d, 10);
                  });
                  ClickControl(&w, W::IDC_LOGON);
                  EXPECT_TRUE(Visible(w, W::IDC_LOGON));
                  EXPECT_FALSE(Enabled(w, W::IDC_UPLOAD));
                  Exit(w);
              }),
              0);
    EXPECT_TRUE(player->Saw("box <c #F4E9FF>无法连接通行证服务器，请检查网络连接后再试。</c>"))
        << (player->seen.empty() ? "" : player->seen.back());
    EXPECT_EQ(Ini("Guest", "Door"), "<none>");
}

TEST_F(PlayerErrors, DiskFullWhileInstallingIsToldAndTheNextRunFinishes) {
    // Every file this process writes may hold 64 KiB at most; the add-on is bigger.
    ASSERT_TRUE(platform::WriteFileAtomic(work / "addons/A/big.blp", std::string(256 * 1024, 'x')));
    Publish("TVRN");
    theApp().WriteProfileInt("Update", "AutoUpdate", 0);
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    EXPECT_EQ(RunProgram([&](W& w) {
                  ::setrlimit(RLIMIT_FSIZE, &small);
                  ClickControl(&w, W::IDC_UPDATE);
                  EXPECT_EQ(SettledStatus(w), "更新失败。");
                  ::setrlimit(RLIMIT_FSIZE, &old);
                  // Room again: the menu's "更新插件" installs everything.
                  w.PostMessage(WM_COMMAND, ID_UPDATE_ADDONS, 0);
                  EXPECT_TRUE(WaitFor([&] { return !w.IsUpdateIdle(); }));
                  EXPECT_EQ(SettledStatus(w), "更新完成。");
                  Exit(w);
              }),
              0);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(statusLines.find("下载文件失败：Interface/A/big.blp（文件超过了系统允许的大小，请释放"
                               "磁盘空间或放宽文件大小限制后再试）\n更新失败。\n"),
              std::string::npos)
        << statusLines;
    for (const char* path : {"A/a.lua", "A/big.blp"})
        EXPECT_EQ(Md5OfFile(work / "games/Tovrin/Interface" / path),
                  Md5OfFile(work / "addons" / path))
            << path;
}

}  // namespace
}  // namespace vm::test
