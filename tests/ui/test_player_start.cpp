// The set-up wizard run again from the command menu and the tray's game entry, through the
// real window program.

#include <QScreen>

#include "tests/ui/PlayerDaySupport.h"
#include "ui/CDlgLogon.h"
#include "ui/WindowIds.h"

namespace vm::test {
namespace {

using W = CVelmoraDlg;

class PlayerStart : public PlayerDayTest {
  protected:
    void SetUp() override {
        PlayerDayTest::SetUp();
        PlayedBefore();
        theApp().WriteProfileInt("Update", "AutoUpdate", 0);
    }
    fs::path Started(const fs::path& exe) const { return exe.parent_path() / "started.txt"; }
};

TEST_F(PlayerStart, TheCommandMenusWizardMovesTheGameToAnotherFolder) {
    // The game the player had before, and the one the wizard is given.
    const fs::path old = work / "games/Old/Tovrin.exe";
    fs::create_directories(old.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(
        old, "#!/bin/sh\necho started >> \"$(dirname \"$0\")/started.txt\"\n"));
    ::chmod(old.c_str(), 0755);
    theApp().WriteProfileString("Path", "CustomPath", old.string());
    EXPECT_EQ(RunProgram([&](W& w) {
                  QAction* entry = nullptr;
                  for (QAction* a : w.CommandMenu()->actions())
                      if (a->text() == QString::fromUtf8("设置向导(&W)...")) entry = a;
                  ASSERT_NE(entry, nullptr);
                  entry->trigger();
                  EXPECT_TRUE(WaitFor([&] {
                      return player->Saw("wizard") && Ini("Path", "CustomPath") == game.string();
                  }));
                  // The game now starts from the folder the wizard was given.
                  ASSERT_TRUE(WaitFor([&] { return Enabled(w, W::IDC_RUN_GAME); }));
                  ClickControl(&w, W::IDC_RUN_GAME);
                  EXPECT_TRUE(WaitFor([&] { return fs::exists(Started(game)); }));
                  EXPECT_TRUE(WaitFor([&] { return Enabled(w, W::IDC_RUN_GAME); }));
                  w.SendMessage(WM_COMMAND, ID_EXIT, 0);
              }),
              0);
    EXPECT_TRUE(player->Saw("wizard"));
    EXPECT_EQ(Ini("Path", "CustomPath"), game.string());
    EXPECT_EQ(Ini("Path", "PathType"), "1");
    EXPECT_EQ(Ini("Update", "Version"), "TVRN");
    EXPECT_FALSE(fs::exists(Started(old)));
}

TEST_F(PlayerStart, TheTrayMenusRunGameStartsTheGameOnce) {
    theApp().WriteProfileString("Path", "CustomPath", game.string());
    EXPECT_EQ(RunProgram([&](W& w) {
                  ASSERT_TRUE(WaitFor([&] { return Enabled(w, W::IDC_RUN_GAME); }));
                  EXPECT_TRUE(TriggerTrayEntry(w, "运行游戏"));
                  EXPECT_TRUE(WaitFor([&] { return fs::exists(Started(game)); }));
                  EXPECT_TRUE(WaitFor([&] { return Enabled(w, W::IDC_RUN_GAME); }));
                  EXPECT_TRUE(TriggerTrayEntry(w, "退出"));
              }),
              0);
    EXPECT_EQ(platform::ReadWholeFile(Started(game)).value_or(""), "started\n");
}

// The second start logs in by itself and shows the avatar. With VELMORA_SCREENSHOT naming a
// file, the window as the display shows it is written there (scripts/screenshot-second-start).
TEST_F(PlayerStart, TheSecondStartLogsInByItselfAndShowsTheAvatar) {
    theApp().WriteProfileString("Path", "CustomPath", game.string());
    EXPECT_EQ(RunProgram([&](W& w) {
                  LogOnAsDemoWhenAsked(true);
                  ClickControl(&w, W::IDC_LOGON);
                  EXPECT_TRUE(WaitFor([&] { return Visible(w, W::IDC_AVATAR); }));
                  w.SendMessage(WM_COMMAND, ID_EXIT, 0);
              }),
              0);
    ASSERT_EQ(Ini("Guest", "AutoLogin"), "1");
    const char* shot = std::getenv("VELMORA_SCREENSHOT");
    bool saved = false;
    EXPECT_EQ(RunProgram([&](W& w) {
                  EXPECT_TRUE(WaitFor([&] {
                      return Text(w, W::IDC_USER_NAME) == "demo" && Visible(w, W::IDC_USER_NAME) &&
                             Visible(w, W::IDC_AVATAR) && Enabled(w, W::IDC_UPLOAD) &&
                             Enabled(w, W::IDC_DOWNLOAD) && w.IsUpdateIdle() &&
                             Text(w, W::IDC_USER_ID) == "ID: 1";
                  }));
                  EXPECT_FALSE(Visible(w, W::IDC_LOGON));
                  if (shot) {
                      // The news page too, as the player sees it.
                      EXPECT_TRUE(WaitFor([&] { return w.IsPageHandled() || w.IsPageFailed(); }));
                      // Let the window paint what it now shows before the display is read.
                      w.Window()->repaint();
                      QCoreApplication::processEvents();
                      const QPixmap pixels = w.Window()->screen()->grabWindow(w.Window()->winId());
                      saved = !pixels.isNull() && pixels.save(QString::fromUtf8(shot), "PNG");
                  }
                  w.SendMessage(WM_COMMAND, ID_EXIT, 0);
              }),
              0);
    // One login by the dialog, one by itself; the avatar fetched once on each start.
    EXPECT_EQ(PassportCalls("login"), 2u);
    EXPECT_EQ(AvatarFetches(), 2u);
    if (shot) {
        EXPECT_TRUE(saved) << shot;
    }
}

}  // namespace
}  // namespace vm::test
