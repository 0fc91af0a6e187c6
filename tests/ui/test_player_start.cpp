// The set-up wizard run again from the command menu and the tray's game entry, through the
// real window program.

#include "tests/ui/PlayerDaySupport.h"
#include "ui/WindowIds.h"

namespace vm::test {
namespace {

using W = CVelmoraDlg;

class PlayerStart : public PlayerDayTest {
  protected:
    void SetUp() override {
        PlayerDayTest::SetUp();
        theApp().WriteProfileInt("Upload", "FirstRun", 0);
        theApp().WriteProfileInt("Update", "Server", 1);
        theApp().WriteProfileInt("Update", "AutoUpdate", 0);
        theApp().WriteProfileString("Update", "Version", "TVRN");
        theApp().WriteProfileInt("Misc", "NotifyShortcut2", 1);
        theApp().WriteProfileInt("Misc", "ConfirmExit", 0);
        theApp().WriteProfileInt("Path", "PathType", 1);
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

}  // namespace
}  // namespace vm::test
