#pragma once

// The window program run in this process the way main() runs it (the real start-up windows,
// the real main window, the real workers), against a test server carrying the mirror, the
// news page and the development server's account services. A Player answers the windows that
// appear on the way and records what they said; a day script acts on the main window through
// its controls and its messages once it is up.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "net/CCookieStore.h"
#include "net/CPHPServer.h"
#include "net/GameDataUpload.h"
#include "net/NetServices.h"
#include "net/OneShot.h"
#include "net/Passport.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "platform/Md5.h"
#include "skin/CMessageBoxWnd.h"
#include "skin/CUIEdit.h"
#include "skin/NativeWindow.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "tests/ui/DialogTestSupport.h"
#include "tools/devservices/CommunityFake.h"
#include "tools/devservices/DataServerFake.h"
#include "tools/devservices/PassportFake.h"
#include "ui/CChangeLogDialog.h"
#include "ui/CDlgLogon.h"
#include "ui/CDlgSelectServer.h"
#include "ui/CDlgStatus.h"
#include "ui/CExplorer.h"
#include "ui/CVelmoraDlg.h"
#include "ui/CWizardPageFindGame.h"
#include "ui/CWizardPageSelectVersion.h"
#include "ui/CWizardSheet.h"
#include "ui/QtPrompter.h"
#include "ui/QtStartupUi.h"
#include "update/MirrorPublisher.h"

namespace vm::test {

namespace fs = std::filesystem;

inline QApplication& PlayerApp() {
    static int argc = 1;
    static char name[] = "Velmora-TVRN";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        // A screenshot is taken on a real display (Xvfb); every other run is offscreen.
        if (!qEnvironmentVariableIsSet("VELMORA_SCREENSHOT"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        PrepareWebEngine();
        return new QApplication(argc, argv);  // lives until exit
    }();
    return *app;
}

// Typing into a skinned edit, as the keyboard does once it has the focus.
inline void TypeInto(CSkinDialog* d, int id, const QString& text) {
    ClickControl(d, id);
    auto* edit = static_cast<CUIEdit*>(d->FindControl(id));
    if (!edit || !edit->GetOverlay()) {
        ADD_FAILURE() << "no edit over control " << id;
        return;
    }
    QTest::keyClicks(edit->GetOverlay(), text);
}

// The next logon dialog is answered as the development passport's "demo": name and password,
// with 保存密码 and 自动登录 ticked when keep is true, then 登录.
inline void LogOnAsDemoWhenAsked(bool keep) {
    WhenShown<CDlgLogon>([keep](CDlgLogon* d) {
        TypeInto(d, 3, "demo");
        TypeInto(d, 4, "demo");
        if (keep) {
            ClickControl(d, 7);
            ClickControl(d, 8);
        }
        ClickControl(d, 9);
    });
}

// The tray menu's entry with this caption, triggered as a click on it does.
inline bool TriggerTrayEntry(CVelmoraDlg& w, const char* caption) {
    QMenu* menu = w.TrayIcon().m_pMenu;
    if (!menu) return false;
    for (QAction* a : menu->actions())
        if (a->text() == QString::fromUtf8(caption)) {
            a->trigger();
            return true;
        }
    return false;
}

// What the player saw, in order: "mirror", "wizard", "changelog", "busy TEXT", "box TEXT",
// "plain TEXT".
class Player {
  public:
    Player() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() { m_timer.start(20); }
    void Stop() { m_timer.stop(); }

    // The custom game executable the wizard is given.
    std::string wizardGame;
    std::string wizardSet = "TVRN";
    // Boxes are answered with their first button unless this says to leave them.
    bool answerBoxes = true;
    std::vector<std::string> seen;
    // Runs once the main window shows.
    std::function<void(CVelmoraDlg&)> onMainWindow;

    bool Saw(const std::string& text) const {
        for (const std::string& s : seen)
            if (s.find(text) != std::string::npos) return true;
        return false;
    }

  private:
    void Tick() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (auto* mirror = dynamic_cast<CDlgSelectServer*>(w)) {
                seen.push_back("mirror");
                auto* telecom = mirror->findChild<QRadioButton*>(
                    QString::number(CDlgSelectServer::IDC_TELECOM));
                if (telecom) QTest::mouseClick(telecom, Qt::LeftButton);
                if (auto* ok = mirror->findChild<QPushButton*>(QString::number(IDOK)))
                    QTest::mouseClick(ok, Qt::LeftButton);
                return;
            }
            if (auto* sheet = dynamic_cast<CWizardSheet*>(w)) {
                Wizard(*sheet);
                return;
            }
            if (auto* busy = dynamic_cast<CDlgStatus*>(w)) {
                const std::string text = "busy " + busy->Text().toStdString();
                if (seen.empty() || seen.back() != text) seen.push_back(text);
                continue;
            }
            if (auto* box = dynamic_cast<QMessageBox*>(w)) {
                seen.push_back("plain " + box->text().toStdString());
                box->accept();
                return;
            }
            NativeWindow* n = NativeWindow::FromHwnd(w);
            if (!n || n->IsDestroyed()) continue;
            if (auto* box = dynamic_cast<CMessageBoxWnd*>(n->Handler())) {
                if (!answerBoxes || w->property("answered").toBool()) continue;
                w->setProperty("answered", true);
                seen.push_back("box " +
                               box->Manager().FindControl(CMessageBoxWnd::kMessageId)->GetText());
                // Its first button, as Enter presses it (a key could reach the main window
                // once the box is gone).
                if (CUIControl* first = box->Manager().FindControl("ok")) first->Activate();
                return;
            }
            if (auto* log = dynamic_cast<CChangeLogDialog*>(n->Handler())) {
                seen.push_back("changelog");
                ClickControl(log, 1003);
                return;
            }
            if (auto* main = dynamic_cast<CVelmoraDlg*>(n->Handler()); main && !m_mainSeen) {
                m_mainSeen = true;
                seen.push_back("main");
                if (onMainWindow)
                    QTimer::singleShot(0, qApp, [this, main] { onMainWindow(*main); });
            }
        }
    }

    void Wizard(CWizardSheet& sheet) {
        if (m_wizardPage == sheet.currentId()) return;  // still turning the page
        m_wizardPage = sheet.currentId();
        if (m_wizardPage == CWizardSheet::kWelcome) seen.push_back("wizard");
        if (m_wizardPage == CWizardSheet::kFindGame) {
            auto* custom =
                sheet.findChild<QRadioButton*>(QString::number(CWizardPageFindGame::kCustomId));
            if (custom) custom->click();
            if (auto* edit =
                    sheet.findChild<QLineEdit*>(QString::number(CWizardPageFindGame::kPathId))) {
                edit->clear();
                QTest::keyClicks(edit, QString::fromStdString(wizardGame));
            }
        }
        if (m_wizardPage == CWizardSheet::kSelectVersion) {
            if (auto* list =
                    sheet.findChild<QComboBox*>(QString::number(CWizardPageSelectVersion::kListId)))
                list->setCurrentIndex(list->findText(QString::fromStdString(wizardSet)));
        }
        QAbstractButton* next = sheet.button(
            m_wizardPage == CWizardSheet::kFinish ? QWizard::FinishButton : QWizard::NextButton);
        m_wizardPage = sheet.currentId();
        QTimer::singleShot(0, next, [next] { QTest::mouseClick(next, Qt::LeftButton); });
    }

    QTimer m_timer;
    bool m_mainSeen = false;
    int m_wizardPage = -1;
};

// A fresh player's machine: the program folder, the game (a custom folder), the home, and a
// server with the mirror, the news page, the passport, the community and the data server.
class PlayerDayTest : public ::testing::Test {
  protected:
    // A player who set the program up before: past the wizard and the first questions, the
    // set chosen, no exit question.
    static void PlayedBefore() {
        theApp().WriteProfileInt("Upload", "FirstRun", 0);
        theApp().WriteProfileInt("Update", "Server", 1);
        theApp().WriteProfileString("Update", "Version", "TVRN");
        theApp().WriteProfileInt("Misc", "NotifyShortcut2", 1);
        theApp().WriteProfileInt("Misc", "ConfirmExit", 0);
        theApp().WriteProfileInt("Path", "PathType", 1);
    }
    void SetUp() override {
        PlayerApp();
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        for (const char* d : {"program", "games/Tovrin", "home", "run", "tmp", "data", "addons"})
            fs::create_directories(work / d);
        ::chmod((work / "run").c_str(), 0700);
        ::setenv("HOME", (work / "home").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (work / "run").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (work / "home/.config").c_str(), 1);
        ::setenv("TMPDIR", (work / "tmp").c_str(), 1);
        // The game: a stand-in that notes each start beside itself.
        ASSERT_TRUE(platform::WriteFileAtomic(
            game, "#!/bin/sh\necho started >> \"$(dirname \"$0\")/started.txt\"\n"));
        ::chmod(game.c_str(), 0755);

        files = {{"A/a.lua", "print('a')"}, {"A/b.xml", "<Ui/>"}, {"B/c.toc", "## Title: C"}};
        for (const auto& [path, bytes] : files) {
            fs::create_directories((work / "addons" / path).parent_path());
            ASSERT_TRUE(platform::WriteFileAtomic(work / "addons" / path, bytes));
        }
        Publish("TVRN");
        server.ServeFolder("/mirror", work / "mirror");
        server.Reply("/tvrn/html/velmora.html", "<html><body><p>Velmora 新闻</p></body></html>",
                     200, "text/html; charset=utf-8");
        dev::CommunityFake::User demo;
        demo.uid = 1;
        demo.username = "demo";
        demo.email = "demo@velmora.example";
        demo.password = "demo";
        demo.picture = Bitmap();
        community.AddUser(demo);
        passport.AddUser({"demo", "demo", "demo", ""});
        const auto ok = [](const httplib::Request&, httplib::Response& res) {
            res.set_content("ok", "text/plain");
        };
        server.On("GET", "/stat.php", ok);
        server.On("POST", "/stat.php", ok);

        endpoints.telecomMirror = server.Origin() + "/mirror";
        endpoints.netcomMirror = "http://127.0.0.1:1";
        endpoints.passportOrigin = server.Origin();
        endpoints.statServer = server.Origin();
        endpoints.dataServer = server.Origin();
        endpoints.embedServer = server.Origin();
        endpoints.communityHost = server.HostPort();
        endpoints.avatarHost = server.HostPort();
        for (std::string* site :
             {&endpoints.homePage, &endpoints.databaseSite, &endpoints.forumSite,
              &endpoints.accountServer, &endpoints.portalSite, &endpoints.acceleratorSite})
            *site = "http://127.0.0.1:1";
        endpoints.gameHost = "127.0.0.1";
        theApp().SetProgramDir(work / "program");
    }

    void TearDown() override {
        NewProcess();
        theApp().SetStatisticStarter(nullptr);
        for (const char* v :
             {"HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"})
            ::unsetenv(v);
    }

    void Publish(const std::string& set) {
        PublishOptions p;
        p.addonsDir = work / "addons";
        p.mirrorDir = work / "mirror";
        p.setName = set;
        ASSERT_TRUE(PublishMirror(p).ok);
    }

    // A 2x2 24-bit bitmap: the demo account's avatar.
    static std::string Bitmap() {
        std::string b = "BM";
        auto u32 = [&b](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        };
        auto u16 = [&b](std::uint16_t v) {
            b.push_back(static_cast<char>(v & 0xFF));
            b.push_back(static_cast<char>(v >> 8));
        };
        u32(70);
        u32(0);
        u32(54);
        u32(40);
        u32(2);
        u32(2);
        u16(1);
        u16(24);
        u32(0);
        u32(16);
        u32(2835);
        u32(2835);
        u32(0);
        u32(0);
        for (int row = 0; row < 2; ++row) b += std::string("\x40\x20\x80\x40\x20\x80\0\0", 8);
        return b;
    }

    // What ending the process forgets: the session in memory, the shared state. The kept
    // login (cookie jar, [Guest]) stays on disk.
    void NewProcess() {
        SessionCookieList().Set({});
        PassportAccountText().Set({});
        // A community client of its own for these endpoints.
        SetEndpoints(endpoints);
        AcquireServer()->Release();
        CCookieStore::ReloadShared();
        theApp().ResetSharedState();
    }

    // One run of the program, from main()'s steps to the end of the exit steps.
    int RunProgram(const std::function<void(CVelmoraDlg&)>& day) {
        NewProcess();
        SetEndpoints(endpoints);
        InstallGameFolderResolver();
        InstallNetServices();
        theApp().SetPrompter(std::make_shared<QtPrompter>());
        player = std::make_unique<Player>();
        player->wizardGame = game.string();
        player->onMainWindow = day;
        player->Start();
        // Never hangs the test program: a day that could not finish ends the run.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the run did not end";
            PostQuitMessage(0);
        });
        watchdog.start(240000);
        QtStartupUi ui(RunVelmoraMainWindow);
        static char name[] = "Velmora-TVRN";
        char* argv[] = {name, nullptr};
        // The status lines the window records, as a support log would have them.
        // Each test starts from a clean environment, so the record is named again per run.
        const fs::path record = work / ("status" + std::to_string(++m_runs) + ".txt");
        ::setenv("VELMORA_STATUS_LOG", record.c_str(), 1);
        const int rc = theApp().Run(1, argv, ui);
        statusLines = platform::ReadWholeFile(record).value_or("");
        std::fputs(statusLines.c_str(), stdout);
        player->Stop();
        ClearQuit();
        return rc;
    }

    // A quit ends every loop until the next application loop starts; run one so later
    // loops run.
    static void ClearQuit() {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }

    static std::string Text(CVelmoraDlg& w, int id) {
        CUIControl* c = w.FindControl(id);
        return c ? c->GetText() : std::string("<none>");
    }
    static bool Visible(CVelmoraDlg& w, int id) {
        CUIControl* c = w.FindControl(id);
        return c && c->IsVisible();
    }
    static bool Enabled(CVelmoraDlg& w, int id) {
        CUIControl* c = w.FindControl(id);
        return c && c->IsEnabled();
    }
    static std::string Ini(const char* section, const char* key) {
        return theApp().GetProfileString(section, key, "<none>");
    }
    std::size_t Count(const std::string& path) const { return server.RequestsTo(path).size(); }
    std::size_t PassportCalls(const std::string& func) const {
        const std::vector<std::string> log = passport.Log();
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), func));
    }
    std::size_t AvatarFetches() const {
        std::size_t n = 0;
        for (const auto& r : server.Requests())
            if (r.target.rfind(kAvatarUrlPrefix, 0) == 0) ++n;
        return n;
    }

    ScopedTempDir work;
    const fs::path game = work / "games/Tovrin/Tovrin.exe";
    TestServer server;
    dev::PassportFake passport{server};
    dev::CommunityFake community{server};
    dev::DataServerFake data{server};
    Endpoints endpoints;
    std::map<std::string, std::string> files;
    std::unique_ptr<Player> player;
    // What the window wrote to its terminal during the last run.
    std::string statusLines;

  private:
    int m_runs = 0;
};

}  // namespace vm::test
