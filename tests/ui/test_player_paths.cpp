// The start-up and account paths of the window program a day does not pass through: logout,
// the close button's question, the statistics heartbeat, the combat-log offer, the web
// commands and the tray's entries, reached through the window's controls and messages.

#include <QDesktopServices>
#include <QUrl>

#include "app/messages.h"
#include "tests/ui/PlayerDaySupport.h"
#include "ui/CDlgConfirmCloseBtnMean.h"
#include "ui/CDlgLogon.h"
#include "ui/CDlgUploadCombatLog.h"
#include "ui/WindowIds.h"

namespace vm::test {
namespace {

using W = CVelmoraDlg;

// The desktop's browser, as the window asks it to open an address.
class UrlRecorder : public QObject {
    Q_OBJECT
  public:
    std::vector<std::string> urls;
  public slots:
    void Open(const QUrl& url) { urls.push_back(url.toString().toStdString()); }
};

class PlayerPaths : public PlayerDayTest {
  protected:
    void SetUp() override {
        PlayerDayTest::SetUp();
        PlayedBefore();
        theApp().WriteProfileInt("Update", "AutoUpdate", 0);
        theApp().WriteProfileString("Path", "CustomPath", game.string());
        QDesktopServices::setUrlHandler("http", &browser, "Open");
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler("http");
        PlayerDayTest::TearDown();
    }
    std::size_t Heartbeats() const {
        std::size_t n = 0;
        for (const auto& r : server.RequestsTo("/stat.php"))
            if (r.target.find("action=4") != std::string::npos) ++n;
        return n;
    }

    UrlRecorder browser;
};

TEST_F(PlayerPaths, LoginLogoutHeartbeatCombatLogAndWebCommands) {
    EXPECT_EQ(
        RunProgram([&](W& w) {
            // Login, then logout: the panel goes back to "尚未登录".
            LogOnAsDemoWhenAsked(false);
            ClickControl(&w, W::IDC_LOGON);
            EXPECT_TRUE(WaitFor(
                [&] { return Text(w, W::IDC_USER_ID) == "ID: 1" && Enabled(w, W::IDC_UPLOAD); }));
            ClickControl(&w, W::IDC_LOGOUT);
            EXPECT_TRUE(WaitFor(
                [&] { return Visible(w, W::IDC_NOT_LOGGED_IN) && !Enabled(w, W::IDC_UPLOAD); }));
            EXPECT_FALSE(Visible(w, W::IDC_USER_NAME));
            EXPECT_TRUE(PassportAccountText().Get().empty());

            // The statistics heartbeat.
            const std::size_t beats = Heartbeats();
            w.PostMessage(WM_TIMER, 1004, 0);
            EXPECT_TRUE(WaitFor([&] { return Heartbeats() == beats + 1; }));

            // Recorded fights are offered for upload; none, nothing opens.
            bool offered = false;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                for (QWidget* t : QApplication::topLevelWidgets())
                    if (auto* d = dynamic_cast<CDlgUploadCombatLog*>(t); d && d->isVisible()) {
                        offered = true;
                        d->reject();
                    }
            });
            poll.start(20);
            w.SendMessage(WM_VM_COMBAT_LOG_OFFER, 0, 0);
            EXPECT_FALSE(offered);
            COMBAT_LOG_PIECE piece;
            piece.fightName = "试炼";
            piece.buffer = "12/9 20:00:00.000 x\n";
            theApp().CombatLog().pieces.Set({piece});
            w.SendMessage(WM_VM_COMBAT_LOG_OFFER, 0, 0);
            EXPECT_TRUE(offered);
            poll.stop();

            // The web commands of the menus, the tray and the buttons.
            for (int id : {ID_HOME_PAGE, ID_DATABASE_MENU, ID_REPORT_BUG, ID_ACCELERATOR})
                w.SendMessage(WM_COMMAND, id, 0);
            ClickControl(&w, W::IDC_FORUM);
            ClickControl(&w, W::IDC_REGISTER);
            EXPECT_TRUE(TriggerTrayEntry(w, "查询资料"));
            EXPECT_TRUE(WaitFor([&] { return browser.urls.size() == 7; }));

            // The close button without a remembered meaning asks; "最小化" hides.
            WhenShown<CDlgConfirmCloseBtnMean>(
                [](CDlgConfirmCloseBtnMean* d) { ClickControl(d, 7); });
            ClickControl(&w, W::IDC_CLOSE);
            EXPECT_TRUE(WaitFor([&] { return w.IsHiddenToTray(); }));
            EXPECT_EQ(Ini("Misc", "CloseMeanMin"), "tip");
            EXPECT_TRUE(TriggerTrayEntry(w, "打开/隐藏主窗口"));
            EXPECT_TRUE(WaitFor([&] { return !w.IsHiddenToTray(); }));
            // Asked again; "退出" ends the program (no exit question is wanted).
            WhenShown<CDlgConfirmCloseBtnMean>(
                [](CDlgConfirmCloseBtnMean* d) { ClickControl(d, 8); });
            ClickControl(&w, W::IDC_CLOSE);
        }),
        0);
    const std::string o = "http://127.0.0.1:1";
    EXPECT_EQ(browser.urls,
              (std::vector<std::string>{o + "/", o + "/tvrn/", o + "/forum-703-1.html",
                                        o + "/ep/vm/", o + "/", o + "/?p=register", o + "/tvrn/"}));
    EXPECT_EQ(Ini("Misc", "CloseMeanMin"), "tip");
}

}  // namespace
}  // namespace vm::test

#include "test_player_paths.moc"
