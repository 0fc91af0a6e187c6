#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QTest>
#include <QWebEngineView>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/messages.h"
#include "net/endpoints.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "tests/ui/MainWindowTestSupport.h"
#include "ui/CExplorer.h"
#include "ui/IdleMemory.h"

namespace vm {
namespace {

using test::WaitFor;

constexpr char kPage[] = "/tvrn/html/velmora.html";
constexpr char kNews[] = "<html><body><p>新闻</p></body></html>";

struct Load {
    std::string url;
    bool ok;
};

// The desktop's browser: the addresses handed to it.
class BrowserRecorder : public QObject {
    Q_OBJECT
  public:
    BrowserRecorder() {
        QDesktopServices::setUrlHandler("http", this, "open");
        QDesktopServices::setUrlHandler("https", this, "open");
    }
    ~BrowserRecorder() override {
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
    }
    std::vector<std::string> opened;

  public slots:
    void open(const QUrl& url) { opened.push_back(url.toString().toStdString()); }
};

class Explorer : public ::testing::Test {
  protected:
    void SetUp() override {
        parent.resize(802, 603);
        parent.show();
        explorer.SetLoadHandler([this](const QUrl& url, bool ok) {
            loads.push_back({url.toString().toStdString(), ok});
        });
    }
    int Views() const { return static_cast<int>(parent.findChildren<QWebEngineView*>().size()); }

    struct App {
        App() { test::MainWindowTestApp(); }
    } app;  // before any widget
    QWidget parent;
    CExplorer explorer;
    std::vector<Load> loads;
};

TEST_F(Explorer, WithoutAnAnsweringServerNoViewIsMadeAndTheLoadFails) {
    explorer.Create(&parent, 5, 137, 791, 305);
    EXPECT_TRUE(explorer.IsCreated());
    explorer.Navigate(QUrl(QString("http://127.0.0.1:1") + kPage));
    ASSERT_TRUE(WaitFor([&] { return !loads.empty(); }, 60000));
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].url, std::string("http://127.0.0.1:1") + kPage);
    EXPECT_FALSE(loads[0].ok);
    EXPECT_EQ(explorer.View(), nullptr);
    EXPECT_EQ(Views(), 0);
    EXPECT_FALSE(explorer.IsProbing());
}

TEST_F(Explorer, ThePageAppearsWhenAskedInItsPlaceAndTheLatestAddressWins) {
    test::TestServer server;
    server.Reply("/a.html", kNews, 200, "text/html; charset=utf-8");
    server.Reply("/b.html", kNews, 200, "text/html; charset=utf-8");
    // Not yet placed: asking does nothing at all.
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/a.html"))));
    explorer.Create(&parent, 5, 137, 791, 305);
    EXPECT_EQ(explorer.View(), nullptr);
    EXPECT_EQ(Views(), 0);
    // Two addresses before the server answered: only the second is fetched.
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/a.html"))));
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/b.html"))));
    EXPECT_EQ(explorer.View(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return !loads.empty(); }, 60000));
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].url, server.Url("/b.html"));
    EXPECT_TRUE(loads[0].ok);
    EXPECT_TRUE(server.RequestsTo("/a.html").empty());
    EXPECT_EQ(server.RequestsTo("/b.html").size(), 1u);
    ASSERT_NE(explorer.View(), nullptr);
    EXPECT_EQ(Views(), 1);
    EXPECT_EQ(explorer.View()->parentWidget(), &parent);
    EXPECT_EQ(explorer.View()->geometry(), QRect(5, 137, 791, 305));
    // The view stays and takes the next address itself.
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/a.html"))));
    ASSERT_TRUE(WaitFor([&] { return loads.size() == 2; }, 60000));
    EXPECT_EQ(loads[1].url, server.Url("/a.html"));
    EXPECT_TRUE(loads[1].ok);
    EXPECT_EQ(Views(), 1);
}

TEST_F(Explorer, ALinkTheReaderClicksOpensInTheBrowserAndTheViewStays) {
    test::TestServer server;
    server.Reply(kPage,
                 "<html><body style='margin:0'><a href='/elsewhere.html' "
                 "style='display:block;width:100%;height:300px'>新闻</a></body></html>",
                 200, "text/html; charset=utf-8");
    server.Reply("/elsewhere.html", kNews, 200, "text/html; charset=utf-8");
    BrowserRecorder browser;
    explorer.Create(&parent, 5, 137, 791, 305);
    explorer.Navigate(QUrl(QString::fromStdString(server.Url(kPage))));
    ASSERT_TRUE(WaitFor([&] { return !loads.empty(); }, 60000));
    ASSERT_TRUE(loads[0].ok);
    ASSERT_TRUE(WaitFor([&] { return explorer.View()->focusProxy() != nullptr; }));
    QWidget* surface = explorer.View()->focusProxy();
    // The first click may land before the page's layout reaches the renderer: click until
    // the browser is asked (each click is a fresh request to leave).
    ASSERT_TRUE(WaitFor(
        [&] {
            if (browser.opened.empty())
                QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(100, 100));
            return !browser.opened.empty();
        },
        60000));
    EXPECT_EQ(browser.opened[0], server.Url("/elsewhere.html"));
    EXPECT_TRUE(server.RequestsTo("/elsewhere.html").empty());
    EXPECT_EQ(explorer.Url().toString().toStdString(), server.Url(kPage));
    // A refused navigation is no failed load: the window would think its page broken.
    EXPECT_EQ(loads.size(), 1u);
}

TEST_F(Explorer, GoneBeforeTheServerAnsweredItNeverCallsBack) {
    test::TestServer server;
    server.Reply(kPage, kNews, 200, "text/html; charset=utf-8");
    bool called = false;
    {
        CExplorer gone;
        gone.SetLoadHandler([&](const QUrl&, bool) { called = true; });
        gone.Create(&parent, 5, 137, 791, 305);
        gone.Navigate(QUrl(QString::fromStdString(server.Url(kPage))));
        EXPECT_TRUE(gone.IsProbing());
    }
    // Let whatever was under way come back through the loop, the socket's deletion included.
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_FALSE(called);
    EXPECT_EQ(Views(), 0);
    EXPECT_TRUE(server.RequestsTo(kPage).empty());
}

TEST_F(Explorer, MemoryIsGivenBackOnlyOnceAPageHasLoadedAndNeverWhileOneLoads) {
    test::TestServer server;
    server.Reply("/a.html", kNews, 200, "text/html; charset=utf-8");
    server.Reply("/b.html", "<html><body style='background:#ff0000'></body></html>", 200,
                 "text/html; charset=utf-8");
    auto gate = std::make_shared<ManualResetEvent>(false);
    server.SetFault("/b.html", test::Fault::Held(gate).Times(1));
    std::vector<bool> trims;  // whether a page was loading at each trim
    explorer.SetTrimmer([&] {
        trims.push_back(explorer.IsLoading());
        ReleaseIdleMemory();
    });
    explorer.Create(&parent, 5, 137, 791, 305);
    // No page yet: nothing to give back.
    EXPECT_FALSE(explorer.TrimWhenIdle());
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/a.html"))));
    ASSERT_TRUE(WaitFor([&] { return !loads.empty(); }, 60000));
    ASSERT_TRUE(loads[0].ok);
    // A while after the load, once.
    ASSERT_TRUE(WaitFor([&] { return !trims.empty(); }, 60000));
    EXPECT_EQ(trims.size(), 1u);

    // The next page is on its way: asking now gives nothing back.
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/b.html"))));
    ASSERT_TRUE(WaitFor([&] { return !server.RequestsTo("/b.html").empty(); }, 60000));
    EXPECT_TRUE(explorer.IsLoading());
    EXPECT_FALSE(explorer.TrimWhenIdle());
    EXPECT_EQ(trims.size(), 1u);
    gate->Set();
    ASSERT_TRUE(WaitFor([&] { return loads.size() == 2; }, 60000));
    EXPECT_TRUE(loads[1].ok);
    ASSERT_TRUE(WaitFor([&] { return trims.size() == 2; }, 60000));
    for (bool loading : trims) EXPECT_FALSE(loading);

    // With the engine's memory given back, the page still draws.
    ASSERT_TRUE(WaitFor(
        [&] {
            const QImage shot = explorer.View()->grab().toImage();
            return !shot.isNull() &&
                   shot.pixelColor(shot.width() / 2, shot.height() / 2) == QColor(255, 0, 0);
        },
        60000));
    EXPECT_TRUE(explorer.TrimWhenIdle());
    explorer.Navigate(QUrl(QString::fromStdString(server.Url("/a.html"))));
    ASSERT_TRUE(WaitFor([&] { return loads.size() == 3; }, 60000));
    EXPECT_TRUE(loads[2].ok);
}

// The engine's switches are ours unless the user set their own.
TEST(WebEngineSwitches, TheUsersOwnWinAndNoneTakesTheEngineOutOfItsSandboxOrProcesses) {
    const QByteArray saved = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--user-choice");
    PrepareWebEngine();
    EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray("--user-choice"));
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    PrepareWebEngine();
    EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), QByteArray(WebEngineSwitches()));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", saved);

    const QStringList switches = QString(WebEngineSwitches()).split(' ', Qt::SkipEmptyParts);
    EXPECT_TRUE(switches.contains("--renderer-process-limit=1"));
    EXPECT_TRUE(switches.contains("--no-unsandboxed-zygote"));
    // The page keeps its own process and its sandbox.
    for (const char* never :
         {"--single-process", "--no-zygote", "--no-sandbox", "--in-process-renderer"})
        EXPECT_FALSE(switches.contains(never)) << never;
}

// ---- in the main window --------------------------------------------------------------------

class MainWindowPage : public ::testing::Test {
  protected:
    void SetUp() override {
        test::MainWindowTestApp();
        theApp().SetProgramDir(dir.Path());
        theApp().WriteProfileInt("Upload", "FirstRun", 0);
        theApp().WriteProfileInt("Misc", "NotifyShortcut2", 1);
        theApp().WriteProfileInt("Update", "AutoUpdate", 0);
        theApp().Runs().commitGate.Reset();
    }
    static int Views(test::TestMainWindow& w) {
        return static_cast<int>(w.Window()->findChildren<QWebEngineView*>().size());
    }
    test::ScopedTempDir dir;
};

TEST_F(MainWindowPage, WithoutNetworkThePageFailsWithoutAViewAndALoginChangeTriesAgain) {
    Endpoints ep;
    ep.embedServer = "http://127.0.0.1:1";
    SetEndpoints(ep);
    test::TestMainWindow w;
    w.page = true;
    ASSERT_TRUE(w.Open());
    ASSERT_TRUE(WaitFor([&] { return theApp().Runs().commitGate.IsSet(); }, 60000));
    EXPECT_TRUE(w.IsPageFailed());
    EXPECT_EQ(Views(w), 0);
    EXPECT_EQ(w.Explorer().View(), nullptr);

    // The network is back: the next login change shows the page.
    test::TestServer server;
    server.Reply(kPage, kNews, 200, "text/html; charset=utf-8");
    ep.embedServer = server.Origin();
    SetEndpoints(ep);
    w.SendMessage(WM_VM_ACCOUNT_CHANGED, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !server.RequestsTo(kPage).empty(); }, 60000));
    ASSERT_TRUE(WaitFor([&] { return w.Explorer().View() && !w.Explorer().IsLoading(); }, 60000));
    EXPECT_EQ(Views(w), 1);
    EXPECT_EQ(w.Explorer().Url().toString().toStdString(), server.Url(kPage));
}

}  // namespace
}  // namespace vm

#include "test_explorer.moc"
