// The windows of the start-up: the mirror choice, the splash, the busy window, and the order
// in which the window program shows them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "PictureWriters.h"
#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/Prompter.h"
#include "app/messages.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "skin/NativeWindow.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "ui/CDlgSelectServer.h"
#include "ui/CDlgSplash.h"
#include "ui/CDlgStatus.h"
#include "ui/QtStartupUi.h"

namespace fs = std::filesystem;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "startup-tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// A quit ends every loop until the next application loop starts; run one so later loops run.
void ClearQuit() {
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

template <class T>
T* Child(QWidget& w, int id) {
    return w.findChild<T*>(QString::number(id));
}

// Every test gets a program folder of its own for Velmora.ini.
class StartupWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        vm::theApp().SetProgramDir(dir.Path());
    }
    void WriteIni(const std::string& text) {
        ASSERT_TRUE(platform::WriteFileAtomic(dir / "Velmora.ini", text));
    }
    int Server() const { return vm::theApp().GetProfileInt("Update", "Server", -5); }

    vm::test::ScopedTempDir dir;
};

// ---- mirror choice ----

TEST_F(StartupWindows, MirrorChoicePresetsTheStoredMirrorAndMeasuresBoth) {
    const struct {
        const char* ini;
        int checked;
    } cases[] = {{"", vm::CDlgSelectServer::IDC_TELECOM},
                 {"[Update]\nServer=1\n", vm::CDlgSelectServer::IDC_TELECOM},
                 {"[Update]\nServer=2\n", vm::CDlgSelectServer::IDC_NETCOM},
                 {"[Update]\nServer=7\n", vm::CDlgSelectServer::IDC_NETCOM}};
    for (const auto& c : cases) {
        WriteIni(c.ini);
        vm::CDlgSelectServer dlg(nullptr, [](const vm::TargetRef&) {});
        EXPECT_EQ(dlg.windowTitle(), "选择服务器");
        auto* radio = Child<QRadioButton>(dlg, c.checked);
        ASSERT_TRUE(radio);
        EXPECT_TRUE(radio->isChecked()) << c.ini;
        for (int id :
             {vm::CDlgSelectServer::IDC_TELECOM_LATENCY, vm::CDlgSelectServer::IDC_NETCOM_LATENCY})
            EXPECT_EQ(Child<QLabel>(dlg, id)->text(), "(检测中...)");
    }
}

TEST_F(StartupWindows, MirrorChoiceOkStoresTheChosenMirrorAndCancelStoresNothing) {
    int started = 0;
    {
        vm::CDlgSelectServer dlg(nullptr, [&](const vm::TargetRef&) { ++started; });
        dlg.open();
        ASSERT_TRUE(PumpUntil([&] { return dlg.isVisible(); }));
        EXPECT_EQ(started, 1) << "both latency workers start when the dialog opens";
        QTest::mouseClick(Child<QRadioButton>(dlg, vm::CDlgSelectServer::IDC_NETCOM),
                          Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(dlg, vm::IDOK), Qt::LeftButton);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(Server(), 2);
    }
    {
        vm::CDlgSelectServer dlg(nullptr, [](const vm::TargetRef&) {});
        EXPECT_TRUE(Child<QRadioButton>(dlg, vm::CDlgSelectServer::IDC_NETCOM)->isChecked());
        dlg.open();
        QTest::mouseClick(Child<QRadioButton>(dlg, vm::CDlgSelectServer::IDC_TELECOM),
                          Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(dlg, vm::IDOK), Qt::LeftButton);
        EXPECT_EQ(Server(), 1);
    }
    WriteIni("");
    vm::CDlgSelectServer dlg(nullptr, [](const vm::TargetRef&) {});
    dlg.open();
    QTest::mouseClick(Child<QRadioButton>(dlg, vm::CDlgSelectServer::IDC_NETCOM), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(dlg, vm::IDCANCEL), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Server(), -5) << "cancel writes nothing";
}

TEST_F(StartupWindows, MirrorChoiceShowsTheMeasuredLatencyOfEachMirror) {
    vm::test::TestServer server;
    vm::Endpoints endpoints;
    endpoints.telecomMirror = server.Origin();
    endpoints.netcomMirror = "http://127.0.0.1:1";  // nobody listens there
    vm::SetEndpoints(endpoints);
    vm::CDlgSelectServer dlg;  // the real workers
    dlg.open();
    auto* telecom = Child<QLabel>(dlg, vm::CDlgSelectServer::IDC_TELECOM_LATENCY);
    auto* netcom = Child<QLabel>(dlg, vm::CDlgSelectServer::IDC_NETCOM_LATENCY);
    ASSERT_TRUE(PumpUntil(
        [&] { return telecom->text() != "(检测中...)" && netcom->text() != "(检测中...)"; }));
    EXPECT_EQ(netcom->text(), "(延迟：-1 毫秒)");
    EXPECT_TRUE(telecom->text().startsWith("(延迟：")) << telecom->text().toStdString();
    EXPECT_NE(telecom->text(), "(延迟：-1 毫秒)");
    dlg.reject();
    vm::SetEndpoints(vm::Endpoints{});
}

TEST_F(StartupWindows, LatencyForAClosedMirrorChoiceGoesNowhere) {
    vm::TargetRef target;
    {
        vm::CDlgSelectServer dlg(nullptr, [&](const vm::TargetRef& t) { target = t; });
        dlg.open();
        ASSERT_TRUE(PumpUntil([&] { return !target.expired(); }));
        EXPECT_TRUE(vm::PostTo(target, vm::WM_VM_MIRROR_LATENCY, 1, 42));
        ASSERT_TRUE(PumpUntil([&] {
            return Child<QLabel>(dlg, vm::CDlgSelectServer::IDC_NETCOM_LATENCY)->text() ==
                   "(延迟：42 毫秒)";
        }));
        EXPECT_EQ(Child<QLabel>(dlg, vm::CDlgSelectServer::IDC_TELECOM_LATENCY)->text(),
                  "(检测中...)");
    }
    EXPECT_FALSE(vm::PostTo(target, vm::WM_VM_MIRROR_LATENCY, 0, 7));
}

// ---- splash ----

struct SplashProbe {
    int infoStarts = 0;
    int accountChecks = 0;
    std::vector<std::string> opened;
    vm::CDlgSplash::Options Options(const fs::path& folder) {
        vm::CDlgSplash::Options o;
        o.startInfo = [this](const vm::TargetRef&) { ++infoStarts; };
        o.startAccountCheck = [this] { ++accountChecks; };
        o.openLink = [this](const std::string& link) { opened.push_back(link); };
        o.backdrop = vm::CDlgSplash::Backdrop::Filled;
        o.workingFolder = folder;
        return o;
    }
};

TEST_F(StartupWindows, SplashClosesOnlyAtItsChecksOnceTheInformationIsReady) {
    SplashProbe probe;
    g_infoReady.Set();  // left over: the splash starts a new wait
    vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
    splash.show();
    EXPECT_FALSE(g_infoReady.IsSet());
    EXPECT_EQ(probe.infoStarts, 1);
    EXPECT_EQ(probe.accountChecks, 1);
    EXPECT_EQ(splash.size(), QSize(569, 395));
    EXPECT_EQ(splash.windowTitle(), "Velmora");
    EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kCheckTimer), 3000);
    EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kFadeTimer), 30);

    g_infoReady.Set();  // ready at once: still the first check decides
    for (int i = 0; i < 20; ++i) splash.OnTimer(vm::CDlgSplash::kFadeTimer);
    QTest::keyClick(&splash, Qt::Key_Escape);
    splash.close();
    EXPECT_TRUE(splash.isVisible()) << "only the ready check ends the splash";
    splash.OnTimer(vm::CDlgSplash::kCheckTimer);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(splash.result(), vm::IDOK);
    EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kCheckTimer), -1);
}

TEST_F(StartupWindows, SplashChecksOncePerSecondUntilTheInformationIsReady) {
    SplashProbe probe;
    vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
    splash.show();
    for (int i = 0; i < 3; ++i) {
        splash.OnTimer(vm::CDlgSplash::kCheckTimer);
        EXPECT_TRUE(splash.isVisible());
        EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kCheckTimer), 1000);
    }
    g_infoReady.Set();
    splash.OnTimer(vm::CDlgSplash::kCheckTimer);
    EXPECT_FALSE(splash.isVisible());
}

TEST_F(StartupWindows, SplashRunsModallyUntilItsTimerSeesTheReadyEvent) {
    SplashProbe probe;
    auto options = probe.Options(dir.Path());
    options.firstCheckMs = 40;
    options.recheckMs = 10;
    options.fadeStepMs = 5;
    int checksBeforeReady = 0;
    options.startInfo = [&](const vm::TargetRef&) {
        // The job ends a little later, on its own thread of time.
        QTimer::singleShot(120, [] { g_infoReady.Set(); });
    };
    vm::CDlgSplash splash(nullptr, options);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!g_infoReady.IsSet() && splash.isVisible()) ++checksBeforeReady;
    });
    watch.start(5);
    EXPECT_EQ(splash.DoModal(), vm::IDOK);
    EXPECT_TRUE(g_infoReady.IsSet());
    EXPECT_GT(checksBeforeReady, 0) << "the splash waited for the job";
}

TEST_F(StartupWindows, SplashFadesItsPictureInThirtyStepsAtATime) {
    SplashProbe probe;
    auto options = probe.Options(dir.Path());
    options.backdrop = vm::CDlgSplash::Backdrop::Translucent;
    vm::CDlgSplash splash(nullptr, options);
    splash.show();
    // A point of the picture away from its texts: fully opaque in the picture itself.
    const QPoint inside(60, 120);
    auto alpha = [&] { return qAlpha(splash.Render().pixel(inside)); };
    EXPECT_EQ(splash.Opacity(), 15);
    EXPECT_NEAR(alpha(), 15, 1);
    EXPECT_EQ(qAlpha(splash.Render().pixel(0, 0)), 0) << "the rounded corner stays clear";
    int steps = 0;
    while (splash.TimerInterval(vm::CDlgSplash::kFadeTimer) > 0 && steps < 20) {
        splash.OnTimer(vm::CDlgSplash::kFadeTimer);
        ++steps;
        if (steps == 1) {
            EXPECT_EQ(splash.Opacity(), 45);
            EXPECT_NEAR(alpha(), 45, 1);
        }
    }
    EXPECT_EQ(steps, 8);
    EXPECT_EQ(splash.Opacity(), 255);
    EXPECT_EQ(alpha(), 255);
}

bool HasColour(const QImage& image, const QRect& area, QColor colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb()) return true;
    return false;
}

TEST_F(StartupWindows, SplashWritesItsTwoLinesInTheirColours) {
    SplashProbe probe;
    vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
    const QImage image = splash.Render();
    EXPECT_TRUE(HasColour(image, QRect(180, 284, 326, 24), QColor(166, 162, 236)));
    EXPECT_TRUE(HasColour(image, QRect(150, 330, 330, 15), QColor(166, 132, 211)));
    EXPECT_FALSE(HasColour(image, QRect(0, 0, 569, 280), QColor(166, 162, 236)));
}

// Three frames of one colour each, with their own display times.
std::string ThreeFrameGif() {
    std::vector<vm::testpics::GifFrameSpec> frames;
    const int delays[] = {20, 50, 0};
    for (int i = 0; i < 3; ++i) {
        vm::testpics::GifFrameSpec f;
        f.width = 40;
        f.height = 20;
        f.delayCs = delays[i];
        f.index = [i](int, int) { return i; };
        frames.push_back(f);
    }
    return vm::testpics::WriteGif(40, 20, {0xFF0000, 0x00FF00, 0x0000FF}, frames);
}

TEST_F(StartupWindows, SplashAnimatesAGifAdvertisementWithItsFrameDelays) {
    fs::create_directories(dir / "ad");
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "ad/anim.gif", ThreeFrameGif()));
    WriteIni("[Misc]\nADFilename=anim.gif\nADLink=http://www.velmora.example/ad\n");
    SplashProbe probe;
    vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
    ASSERT_EQ(splash.FrameCount(), 3);
    EXPECT_EQ(splash.AdRect(), QRect((569 - 40) / 2, (395 - 20) / 2, 40, 20)) << "centred";
    EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kFrameTimer), -1) << "not before it opens";
    splash.show();
    const QPoint centre = splash.AdRect().center();
    const struct {
        int frame;
        QRgb colour;
        int nextMs;
    } expected[] = {{0, 0xFFFF0000, 200},
                    {1, 0xFF00FF00, 500},
                    {2, 0xFF0000FF, 100},  // a stored 0 plays as 100 ms, never a spinning timer
                    {0, 0xFFFF0000, 200}};
    for (std::size_t step = 0; step < std::size(expected); ++step) {
        if (step > 0) splash.OnTimer(vm::CDlgSplash::kFrameTimer);
        EXPECT_EQ(splash.CurrentFrame(), expected[step].frame) << step;
        EXPECT_EQ(splash.Render().pixel(centre), expected[step].colour) << step;
        EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kFrameTimer), expected[step].nextMs) << step;
    }
    g_infoReady.Set();
    splash.OnTimer(vm::CDlgSplash::kCheckTimer);
    EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kFrameTimer), -1);
}

TEST_F(StartupWindows, SplashAdvertisementLinkOpensOnAClickInsideThePictureOnly) {
    fs::create_directories(dir / "ad");
    vm::testpics::GifFrameSpec f;
    f.width = 60;
    f.height = 30;
    f.index = [](int, int) { return 1; };
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "ad/one.gif",
                                          vm::testpics::WriteGif(60, 30, {0, 0x336699}, {f})));
    WriteIni("[Misc]\nADFilename=one.gif\nADLink=http://www.velmora.example/ad\n");
    SplashProbe probe;
    {
        vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
        splash.show();
        EXPECT_EQ(splash.FrameCount(), 1);
        EXPECT_EQ(splash.TimerInterval(vm::CDlgSplash::kFrameTimer), -1)
            << "a single frame starts no frame timer";
        QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(10, 10));
        EXPECT_TRUE(probe.opened.empty());
        QTest::mouseClick(&splash, Qt::RightButton, {}, splash.AdRect().center());
        EXPECT_TRUE(probe.opened.empty());
        QTest::mouseClick(&splash, Qt::LeftButton, {}, splash.AdRect().center());
        EXPECT_EQ(probe.opened, std::vector<std::string>{"http://www.velmora.example/ad"});
    }
    probe.opened.clear();
    WriteIni("[Misc]\nADFilename=one.gif\n");  // a picture without a link
    {
        vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
        splash.show();
        QTest::mouseClick(&splash, Qt::LeftButton, {}, splash.AdRect().center());
    }
    WriteIni("[Misc]\nADFilename=missing.gif\nADLink=http://www.velmora.example/ad\n");
    {
        vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
        splash.show();
        EXPECT_EQ(splash.FrameCount(), 0) << "a missing picture leaves the splash without one";
        EXPECT_TRUE(splash.AdRect().isEmpty());
        QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(284, 197));
    }
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "ad/broken.gif", "GIF89a\x10\x00"));
    WriteIni("[Misc]\nADFilename=broken.gif\nADLink=http://www.velmora.example/ad\n");
    {
        vm::CDlgSplash splash(nullptr, probe.Options(dir.Path()));
        EXPECT_EQ(splash.FrameCount(), 0);
    }
    EXPECT_TRUE(probe.opened.empty());
}

// ---- busy window ----

TEST_F(StartupWindows, BusyWindowShowsItsTextOverItsOwnerAndCannotBeDismissed) {
    QWidget owner;
    owner.setGeometry(100, 100, 802, 603);
    owner.show();
    vm::CDlgStatus status(&owner, "正在上传配置，请稍候……");
    EXPECT_EQ(Child<QLabel>(status, vm::CDlgStatus::IDC_TEXT)->text(), "正在上传配置，请稍候……");
    status.ShowCentered();
    ASSERT_TRUE(PumpUntil([&] { return status.isVisible(); }));
    EXPECT_LE((status.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(),
              4);
    for (auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(&status, key);
    status.close();
    EXPECT_TRUE(status.isVisible());
    status.Hide();  // what the owner does when the worker reports
    EXPECT_FALSE(status.IsVisible());
    status.Show("正在下载配置，请稍候……");
    EXPECT_EQ(status.Text(), "正在下载配置，请稍候……");
    EXPECT_TRUE(status.IsVisible());
    status.Hide();
}

// ---- the start-up sequence ----

class StartupSequence : public StartupWindows {
  protected:
    void SetUp() override {
        StartupWindows::SetUp();
        fs::create_directories(dir / "run");
        ::chmod((dir / "run").c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
        vm::CDlgSplash::Options splash;
        splash.firstCheckMs = 20;
        splash.recheckMs = 10;
        splash.fadeStepMs = 5;
        splash.backdrop = vm::CDlgSplash::Backdrop::Filled;
        splash.workingFolder = dir.Path();
        splash.startInfo = [this](const vm::TargetRef&) {
            log.push_back("info");
            g_infoReady.Set();
        };
        splash.startAccountCheck = [this] { log.push_back("account"); };
        ui.SetSplashOptions(splash);
        ui.SetLatencyStarter([](const vm::TargetRef&) {});
        // Plays the player: answers the mirror choice and notes the splash.
        QObject::connect(&watcher, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (!w->isVisible()) continue;
                if (auto* mirror = dynamic_cast<vm::CDlgSelectServer*>(w)) {
                    log.push_back("mirror");
                    QTest::mouseClick(
                        Child<QRadioButton>(*mirror, vm::CDlgSelectServer::IDC_NETCOM),
                        Qt::LeftButton);
                    QTest::mouseClick(Child<QPushButton>(*mirror, mirrorAnswer), Qt::LeftButton);
                } else if (dynamic_cast<vm::CDlgSplash*>(w) && !sawSplash) {
                    sawSplash = true;
                    log.push_back("splash");
                }
            }
        });
        watcher.start(5);
    }
    void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }

    // The main window: runs until the program posts WM_QUIT.
    void MainWindow() {
        log.push_back("main " + std::to_string(Server()));
        EXPECT_EQ(vm::theApp().GetStage(), vm::CVelmoraApp::Stage::Running);
        QWidget window;
        window.show();
        QTimer::singleShot(20, [] { vm::PostQuitMessage(0); });
        QEventLoop loop;
        loop.exec();
        log.push_back("quit");
    }

    int Run() {
        static char name[] = "Velmora-TVRN";
        char* argv[] = {name, nullptr};
        const int rc = vm::theApp().Run(1, argv, ui);
        watcher.stop();
        ClearQuit();
        return rc;
    }

    std::vector<std::string> log;
    vm::QtStartupUi ui{[this] { MainWindow(); }};
    QTimer watcher;
    bool sawSplash = false;
    int mirrorAnswer = vm::IDOK;
};

TEST_F(StartupSequence, FirstStartAsksForTheMirrorThenShowsTheSplashThenTheMainWindow) {
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(log,
              (std::vector<std::string>{"mirror", "info", "account", "splash", "main 2", "quit"}));
}

TEST_F(StartupSequence, CancelledMirrorChoiceEndsTheProgram) {
    mirrorAnswer = vm::IDCANCEL;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(log, std::vector<std::string>{"mirror"});
    EXPECT_EQ(Server(), -5);
}

TEST_F(StartupSequence, ChosenMirrorGoesStraightToTheSplash) {
    WriteIni("[Update]\nServer=1\n");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"info", "account", "splash", "main 1", "quit"}));
}

}  // namespace
