// A player's day through the window program: first start, the update, the login kept for the
// next start, the settings kept on the server, the close button and the tray, and the errors
// a player can mend, each told in the window.

#include <sys/resource.h>

#include <QMenu>

#include "app/Globals.h"
#include "platform/IniFile.h"
#include "skin/CUIEdit.h"
#include "skin/CUIPageSheet.h"
#include "tests/ui/PlayerDaySupport.h"
#include "ui/CDlgConfirmExit.h"
#include "ui/CDlgLogon.h"
#include "ui/CSettingDialog.h"
#include "ui/WindowIds.h"

namespace vm::test {
namespace {

using W = CVelmoraDlg;

// Answers the exit question with "yes" once it shows.
void AnswerExitYes() {
    WhenShown<CDlgConfirmExit>([](CDlgConfirmExit* d) { ClickControl(d, 7); });
}

class PlayerDay : public PlayerDayTest {};

TEST_F(PlayerDay, FromTheFirstStartToTheSecondWithTheLoginKept) {
    // The mirror also publishes an official server's set: the game-server list then has a
    // record, but not for the set the player chooses.
    Publish("一区官方服务器");
    const fs::path account = work / "games/Tovrin/Account/demo/ui.ini";

    // ---- first start: no settings file ----
    ASSERT_FALSE(fs::exists(theApp().ProfilePath()));
    std::size_t avatarsOnFirstDay = 0;
    const int rc1 = RunProgram([&](W& w) {
        // The wizard ran before the window showed; the automatic update installs the add-ons.
        EXPECT_TRUE(WaitFor([&] { return Text(w, W::IDC_STATUS) == "更新完成。"; }, 120000))
            << Text(w, W::IDC_STATUS);
        EXPECT_TRUE(WaitFor([&] { return w.IsUpdateIdle() && player->Saw("changelog"); }));
        EXPECT_TRUE(Enabled(w, W::IDC_RUN_GAME));
        EXPECT_EQ(Text(w, W::IDC_NOT_LOGGED_IN), "尚未登录");
        EXPECT_FALSE(Enabled(w, W::IDC_UPLOAD));

        // Log in with both boxes ticked.
        LogOnAsDemoWhenAsked(true);
        ClickControl(&w, W::IDC_LOGON);
        EXPECT_TRUE(WaitFor([&] {
            return Visible(w, W::IDC_USER_NAME) && Text(w, W::IDC_USER_NAME) == "demo" &&
                   Text(w, W::IDC_USER_ID) == "ID: 1" && Enabled(w, W::IDC_UPLOAD);
        })) << Text(w, W::IDC_USER_NAME);
        EXPECT_FALSE(Visible(w, W::IDC_LOGON));
        avatarsOnFirstDay = AvatarFetches();

        // Quit through the exit question.
        AnswerExitYes();
        w.PostMessage(WM_COMMAND, ID_EXIT_MENU, 0);
    });
    EXPECT_EQ(rc1, 0);
    const std::vector<std::string> firstSeen = player->seen;
    ASSERT_GE(firstSeen.size(), 3u);
    EXPECT_EQ(firstSeen[0], "mirror");
    EXPECT_EQ(firstSeen[1], "wizard");
    EXPECT_TRUE(player->Saw("main"));
    // The choices of the first start.
    EXPECT_EQ(Ini("Update", "Server"), "1");
    EXPECT_EQ(Ini("Upload", "FirstRun"), "0");
    EXPECT_EQ(Ini("Path", "PathType"), "1");
    EXPECT_EQ(Ini("Path", "CustomPath"), game.string());
    EXPECT_EQ(Ini("Update", "Version"), "TVRN");
    EXPECT_EQ(Ini("Guest", "AutoLogin"), "1");
    EXPECT_EQ(Ini("Guest", "RememberMe"), "1");
    EXPECT_NE(Ini("Guest", "Door"), "<none>");
    EXPECT_EQ(Ini("Guest", "Key").find("demo"), std::string::npos);
    EXPECT_EQ(Ini("Misc", "ConfirmExit"), "1");
    for (const auto& [path, bytes] : files)
        EXPECT_EQ(Md5OfFile(work / "games/Tovrin/Interface" / path),
                  Md5OfFile(work / "addons" / path))
            << path;
    // One login, one avatar for it (one account change, one refresh).
    EXPECT_EQ(PassportCalls("login"), 1u);
    EXPECT_EQ(avatarsOnFirstDay, 1u);
    EXPECT_EQ(AvatarFetches(), 1u);
    EXPECT_EQ(passport.LastCookieSeconds(), CDlgLogon::kRememberSeconds);

    // ---- second start: logged in by itself ----
    fs::create_directories(account.parent_path());
    ASSERT_TRUE(platform::WriteFileAtomic(account, "mine"));
    server.ClearRequests();
    passport.ClearLog();
    const int rc2 = RunProgram([&](W& w) {
        EXPECT_TRUE(WaitFor([&] {
            return Visible(w, W::IDC_USER_NAME) && Text(w, W::IDC_USER_NAME) == "demo" &&
                   Enabled(w, W::IDC_UPLOAD) && Enabled(w, W::IDC_DOWNLOAD) &&
                   Visible(w, W::IDC_AVATAR) && Text(w, W::IDC_USER_ID) == "ID: 1";
        })) << Text(w, W::IDC_USER_NAME);
        EXPECT_FALSE(Visible(w, W::IDC_NOT_LOGGED_IN));
        EXPECT_FALSE(Visible(w, W::IDC_LOGON));
        EXPECT_TRUE(WaitFor([&] { return w.IsUpdateIdle() && Enabled(w, W::IDC_UPDATE); }));

        // The settings go up, the file changes, the settings come back.
        // Each answer is held until the busy window has been seen over the disabled window.
        auto uploadGate = std::make_shared<ManualResetEvent>();
        server.SetFault("/passport_upload_files.php", Fault::Held(uploadGate).Times(1));
        ClickControl(&w, W::IDC_UPLOAD);
        EXPECT_TRUE(WaitFor([&] { return player->Saw("busy 正在上传配置，请稍候……"); }));
        EXPECT_FALSE(w.Window()->isEnabled());
        uploadGate->Set();
        EXPECT_TRUE(WaitFor([&] { return player->Saw("上传配置成功！"); }, 30000));
        ASSERT_TRUE(platform::WriteFileAtomic(account, "changed"));
        auto downloadGate = std::make_shared<ManualResetEvent>();
        server.SetFault("/passport_download_files.php", Fault::Held(downloadGate).Times(1));
        ClickControl(&w, W::IDC_DOWNLOAD);
        EXPECT_TRUE(WaitFor([&] { return player->Saw("busy 正在下载配置，请稍候……"); }));
        downloadGate->Set();
        EXPECT_TRUE(WaitFor([&] { return player->Saw("下载配置成功！"); }, 30000));
        EXPECT_EQ(platform::ReadWholeFile(account).value_or(""), "mine");
        EXPECT_TRUE(w.Window()->isEnabled());

        // Enter starts the game.
        QTest::keyClick(w.Window(), Qt::Key_Return);
        EXPECT_TRUE(WaitFor([&] { return fs::exists(work / "games/Tovrin/started.txt"); }));
        EXPECT_TRUE(WaitFor([&] { return Enabled(w, W::IDC_RUN_GAME); }));

        // The close button minimises once the settings say so.
        WhenShown<CSettingDialog>([](CSettingDialog* d) {
            if (auto* sheet = static_cast<CUIPageSheet*>(d->FindControl(CSettingDialog::kSheetId)))
                sheet->SelectItem(2);
            ClickControl(d, 1025);
            ClickControl(d, 1030);
        });
        ClickControl(&w, W::IDC_SETTINGS);
        EXPECT_EQ(Ini("Misc", "CloseMeanMin"), "true");
        ClickControl(&w, W::IDC_CLOSE);
        EXPECT_TRUE(WaitFor([&] { return w.IsHiddenToTray(); }));
        // The tray brings it back and hides it again.
        EXPECT_TRUE(TriggerTrayEntry(w, "打开/隐藏主窗口"));
        EXPECT_TRUE(WaitFor([&] { return !w.IsHiddenToTray(); }));
        EXPECT_TRUE(TriggerTrayEntry(w, "打开/隐藏主窗口"));
        EXPECT_TRUE(WaitFor([&] { return w.IsHiddenToTray(); }));
        EXPECT_TRUE(TriggerTrayEntry(w, "打开/隐藏主窗口"));
        EXPECT_TRUE(WaitFor([&] { return !w.IsHiddenToTray(); }));

        AnswerExitYes();
        EXPECT_TRUE(TriggerTrayEntry(w, "退出"));
    });
    EXPECT_EQ(rc2, 0);
    EXPECT_FALSE(player->Saw("mirror"));
    EXPECT_FALSE(player->Saw("wizard"));
    EXPECT_FALSE(player->Saw("plain "));  // no "自动登录失败"
    EXPECT_TRUE(player->Saw("busy 正在上传配置，请稍候……"));
    EXPECT_TRUE(player->Saw("busy 正在下载配置，请稍候……"));
    EXPECT_EQ(PassportCalls("login"), 1u);  // the automatic login
    const std::vector<std::string> log = passport.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "upload"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "download"), log.end());
    // The player's set is still the one chosen in the wizard.
    EXPECT_EQ(Ini("Update", "Version"), "TVRN");
    EXPECT_EQ(platform::ReadWholeFile(work / "games/Tovrin/started.txt").value_or(""), "started\n");
}

}  // namespace
}  // namespace vm::test
