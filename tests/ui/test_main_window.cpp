#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/messages.h"
#include "net/GameDataUpload.h"
#include "net/endpoints.h"
#include "platform/FileUtil.h"
#include "skin/CUIButton.h"
#include "skin/CUILabel.h"
#include "skin/CUIProgressBar.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "tests/ui/MainWindowTestSupport.h"
#include "ui/CAboutDlg.h"
#include "ui/CDlgObsoleted.h"
#include "ui/CSettingDialog.h"
#include "ui/DesktopShortcut.h"
#include "ui/WindowIds.h"
#include "update/AutoUpdateDecision.h"

namespace fs = std::filesystem;
using vm::test::TestMainWindow;
using vm::test::WaitFor;

namespace vm {
namespace {

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        vm::test::MainWindowTestApp();
        theApp().SetProgramDir(dir.Path());
        theApp().WriteProfileInt("Upload", "FirstRun", 0);
        theApp().WriteProfileInt("Misc", "NotifyShortcut2", 1);
        theApp().WriteProfileInt("Update", "AutoUpdate", 0);
        theApp().PublishedState().updateInfo.Set({});
        theApp().PublishedState().sets.Set({});
        theApp().Runs().commitGate.Reset();
        theApp().Runs().refreshRequest.store(0);
        g_cancelUpdate.store(0);
        g_gameRunning.Reset();
        g_shortcutOffered.Reset();
        Endpoints ep;
        ep.embedServer = "http://127.0.0.1:1";
        SetEndpoints(ep);
    }

    // A click where the button is, as the mouse gives it.
    static void Click(TestMainWindow& w, int x, int y) {
        w.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        w.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        w.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    static std::string Text(TestMainWindow& w, int id) {
        CUIControl* c = w.FindControl(id);
        return c ? c->GetText() : std::string("<none>");
    }

    vm::test::ScopedTempDir dir;
};

TEST(SelfChecksum, IsTheUpperCaseDigestOrUnknown) {
    vm::test::ScopedTempDir d;
    ASSERT_TRUE(platform::WriteFileAtomic(d / "exe", "abc"));
    EXPECT_EQ(SelfChecksumText((d / "exe").string()), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(SelfChecksumText((d / "missing").string()), "未知");
}

TEST_F(MainWindow, ControlsSitAtTheirRectanglesWithTheirTexts) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    EXPECT_EQ(w.Window()->width(), 802);
    EXPECT_EQ(w.Window()->height(), 603);
    EXPECT_EQ(w.Window()->windowTitle().toStdString(), "TovrinVelmora");
    const struct {
        int id;
        RECT rc;
    } expected[] = {
        {1, {83, 56, 170, 71}},     {2, {83, 86, 123, 110}},    {10, {158, 91, 180, 113}},
        {15, {20, 492, 231, 519}},  {16, {26, 518, 230, 538}},  {17, {220, 479, 349, 520}},
        {19, {449, 472, 644, 518}}, {21, {700, 496, 745, 516}}, {29, {768, 8, 792, 32}},
        {31, {370, 578, 650, 593}}, {32, {650, 577, 669, 594}}};
    for (const auto& e : expected) {
        CUIControl* c = w.FindControl(e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->GetPos(), e.rc) << e.id;
    }
    for (int unused : {4, 5, 8, 11, 14}) EXPECT_EQ(w.FindControl(unused), nullptr);
    EXPECT_EQ(Text(w, 1), "尚未登录");
    EXPECT_EQ(Text(w, 20), "网络延迟：");
    EXPECT_FALSE(w.FindControl(6)->IsVisible());
    EXPECT_FALSE(w.FindControl(12)->IsEnabled());
    EXPECT_FALSE(w.FindControl(23)->IsVisible());
    EXPECT_FALSE(w.FindControl(24)->IsVisible());
    EXPECT_FALSE(w.FindControl(17)->GetPolygon().empty());
    EXPECT_EQ(Text(w, 30).find("(1.019)") != std::string::npos, true);
    // Label 31: the running executable's own digest.
    const std::string exe = ReadFile(platform::ExecutablePath());
    std::string md5 = *Md5OfFile(platform::ExecutablePath());
    for (char& ch : md5) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(Text(w, 31), "校验码：" + md5);
    EXPECT_EQ(w.SelfChecksum(), md5);
    // The particle switch is always reset to the normal mode.
    EXPECT_EQ(theApp().GetProfileInt("Run", "DisableParticle", 9), 0);
    EXPECT_EQ(Text(w, 16), "不进行更新。");
    EXPECT_EQ(w.updateStarts, 0);
}

TEST_F(MainWindow, UpdateButtonStaysDisabledAfterCancelUntilTheRunEnds) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    auto* button = static_cast<CUIButton*>(w.FindControl(17));
    Click(w, 290, 500);
    EXPECT_EQ(w.updateStarts, 1);
    EXPECT_FALSE(w.IsUpdateIdle());
    EXPECT_EQ(theApp().Runs().refreshRequest.load(), 1);
    EXPECT_EQ(g_cancelUpdate.load(), 0);
    EXPECT_FALSE(g_scanDone.IsSet());

    Click(w, 290, 500);  // stop
    EXPECT_EQ(g_cancelUpdate.load(), 1);
    EXPECT_FALSE(button->IsEnabled());
    Click(w, 290, 500);  // ignored while disabled
    EXPECT_EQ(w.updateStarts, 1);
    EXPECT_FALSE(button->IsEnabled());

    ASSERT_TRUE(PostTo(w.Target(), WM_VM_UPDATE_END));
    ASSERT_TRUE(WaitFor([&] { return button->IsEnabled(); }));
    EXPECT_TRUE(w.IsUpdateIdle());
    EXPECT_TRUE(w.FindControl(19)->IsEnabled());
}

TEST_F(MainWindow, StatusProgressAndLatencyFollowTheWorkers) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    const std::string status = "正在下载：Interface/A/a.lua";
    SendTo(w.Target(), WM_VM_STATUS, reinterpret_cast<std::uintptr_t>(&status));
    EXPECT_EQ(Text(w, 16), status);
    SendTo(w.Target(), WM_VM_TOTAL_PROGRESS, 3, 8);
    auto* bar = static_cast<CUIProgressBar*>(w.FindControl(15));
    EXPECT_EQ(bar->GetValue(), 3);
    EXPECT_EQ(bar->GetMaximum(), 8);
    // No realm of the chosen set: the latency is unknown, and a ping of a record other than
    // the current one changes nothing.
    EXPECT_EQ(Text(w, 21), "未知");
    GameServerRecord other;
    other.displayName = "别的服务器";
    other.latency = 5;
    SendTo(w.Target(), WM_VM_PING_RESULT, reinterpret_cast<std::uintptr_t>(&other));
    EXPECT_EQ(Text(w, 21), "未知");
}

TEST_F(MainWindow, LatencyOfTheChosenServerIsShown) {
    GameServerRecord a, b;
    a.displayName = "官方服务器A";
    a.host = "127.0.0.1";
    a.port = 1;
    b = a;
    b.displayName = "官方服务器B";
    ASSERT_TRUE(WriteRealmsFile((dir / "Velmora.realms").string(), {a, b}));
    theApp().WriteProfileString("Update", "Version", "官方服务器B");
    // The game-server list worker writes the same names again meanwhile.
    theApp().PublishedState().sets.Set({a.displayName, b.displayName});
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    b.latency = 32;
    SendTo(w.Target(), WM_VM_PING_RESULT, reinterpret_cast<std::uintptr_t>(&b));
    EXPECT_EQ(Text(w, 21), "32 ms");
    b.latency = -1;
    SendTo(w.Target(), WM_VM_PING_RESULT, reinterpret_cast<std::uintptr_t>(&b));
    EXPECT_EQ(Text(w, 21), "N/A");
}

TEST_F(MainWindow, AutoRunStartsTheGameOnlyAfterAnAutomaticUpdate) {
    theApp().WriteProfileInt("Update", "AutoRun", 1);
    {
        // Started by the user: never the game.
        TestMainWindow w;
        ASSERT_TRUE(w.Open());
        EXPECT_EQ(w.updateStarts, 0);
        Click(w, 290, 500);
        ASSERT_EQ(w.updateStarts, 1);
        SendTo(w.Target(), WM_VM_UPDATE_END);
        EXPECT_TRUE(w.IsUpdateIdle());
        EXPECT_FALSE(w.IsRunGameTimerPending());
    }
    {
        // Started automatically: the game one second later.
        theApp().WriteProfileInt("Update", "AutoUpdate", 1);
        theApp().PublishedState().updateInfo.Set({{"Version", "3"}});
        TestMainWindow w;
        ASSERT_TRUE(w.Open());
        EXPECT_EQ(w.updateStarts, 1);
        EXPECT_TRUE(w.IsAutoStarted());
        SendTo(w.Target(), WM_VM_UPDATE_END);
        EXPECT_TRUE(w.IsRunGameTimerPending());
        EXPECT_FALSE(w.IsAutoStarted());
        // The timer runs the game; the settings dialog would have cancelled it.
        w.SendMessage(WM_TIMER, kRunGameTimer, 0);
        EXPECT_EQ(w.gameStarts, 1);
        EXPECT_EQ(Text(w, 16), "正在运行Tovrin...");
        EXPECT_FALSE(w.FindControl(19)->IsEnabled());
        EXPECT_TRUE(g_gameRunning.IsSet());
        w.SendMessage(WM_TIMER, kRunGameTimer, 0);  // already running: nothing
        EXPECT_EQ(w.gameStarts, 1);
        SendTo(w.Target(), WM_VM_GAME_ENDED);
        EXPECT_FALSE(g_gameRunning.IsSet());
        EXPECT_TRUE(w.FindControl(19)->IsEnabled());
    }
}

TEST_F(MainWindow, OnceEveryDayRunsOncePerDay) {
    theApp().WriteProfileInt("Update", "AutoUpdate", 1);
    theApp().WriteProfileInt("Update", "OnceEveryDay", 1);
    theApp().PublishedState().updateInfo.Set({{"Version", "3"}});
    {
        TestMainWindow w;
        ASSERT_TRUE(w.Open());
        EXPECT_EQ(w.updateStarts, 1);
        EXPECT_NE(theApp().GetProfileInt("Update", "lastUpdate", 0), 0);
    }
    // An hour later.
    theApp().WriteProfileInt("Update", "lastUpdate", static_cast<int>(UnixNow() - 3600));
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    EXPECT_EQ(w.updateStarts, 0);
    EXPECT_EQ(Text(w, 16), "今日已更新过。");
}

TEST_F(MainWindow, UnknownAddOnsFollowDeleteMode) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    const std::vector<std::string> candidates{"/game/Interface/Old/x.lua"}, paths;
    const auto c = reinterpret_cast<std::uintptr_t>(&candidates);
    const auto p = reinterpret_cast<std::intptr_t>(&paths);
    theApp().WriteProfileInt("Update", "DeleteMode", 2);
    EXPECT_EQ(SendTo(w.Target(), WM_VM_CONFIRM_DELETE, c, p), 0);
    theApp().WriteProfileInt("Update", "DeleteMode", 1);
    EXPECT_EQ(SendTo(w.Target(), WM_VM_CONFIRM_DELETE, c, p), 1);
    EXPECT_EQ(w.deleteQuestions, 0);
    // Asked: a file outside the game's add-on folders counts in no group, so the question
    // answers "isolate" without showing a window.
    theApp().WriteProfileInt("Update", "DeleteMode", 0);
    EXPECT_EQ(SendTo(w.Target(), WM_VM_CONFIRM_DELETE, c, p), 1);
    EXPECT_EQ(w.deleteQuestions, 1);
}

TEST_F(MainWindow, ConfigurationTransferShowsBusyWindowAndResult) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    w.answer = IDNO;
    w.SendMessage(WM_COMMAND, ID_UPLOAD_CONFIG, 0);
    ASSERT_EQ(w.boxes.size(), 1u);
    EXPECT_EQ(w.boxes[0].title, "<c #FDE6F9>上传配置");
    EXPECT_TRUE(w.configWorkers.empty());

    w.answer = IDYES;
    w.SendMessage(WM_COMMAND, ID_UPLOAD_CONFIG, 0);
    ASSERT_EQ(w.configWorkers, std::vector<bool>{true});
    EXPECT_FALSE(w.Window()->isEnabled());
    ASSERT_EQ(w.busyLog.back(), "show 正在上传配置，请稍候……");
    ASSERT_TRUE(PostTo(w.Target(), WM_VM_CONFIG_UPLOAD_FAILED, 0, 0, std::string("网络错误")));
    ASSERT_TRUE(WaitFor([&] { return w.Window()->isEnabled(); }));
    EXPECT_EQ(w.busyLog.back(), "hide");
    EXPECT_EQ(w.boxes.back().text, "<c #FDE6F9>上传配置失败！(网络错误)");
    EXPECT_EQ(w.boxes.back().style, 16u);

    w.SendMessage(WM_COMMAND, ID_DOWNLOAD_CONFIG, 0);
    EXPECT_EQ(w.boxes.back().text,
              "<c #FDE6F9>所有的插件配置信息将被新的配置取代，你确定要继续吗？");
    EXPECT_EQ(w.busyLog.back(), "show 正在下载配置，请稍候……");
    const std::size_t before = w.boxes.size();
    // A download whose restore already told the user shows nothing more.
    PostTo(w.Target(), WM_VM_CONFIG_DOWNLOAD_FAILED, 0, 0, std::optional<std::string>());
    ASSERT_TRUE(WaitFor([&] { return w.Window()->isEnabled(); }));
    EXPECT_EQ(w.boxes.size(), before);
    PostTo(w.Target(), WM_VM_CONFIG_DOWNLOAD_DONE);
    ASSERT_TRUE(WaitFor([&] { return w.boxes.size() == before + 1; }));
    EXPECT_EQ(w.boxes.back().text, "<c #FDE6F9>下载配置成功！");
    EXPECT_EQ(w.boxes.back().style, 64u);
}

TEST_F(MainWindow, CopyChecksumPutsItOnTheClipboard) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    Click(w, 659, 585);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), w.SelfChecksum());
    ASSERT_FALSE(w.boxes.empty());
    EXPECT_EQ(w.boxes.back().text, "复制校验码成功！");
    EXPECT_EQ(w.boxes.back().style, 48u);
}

TEST_F(MainWindow, LinksOpenTheirSites) {
    Endpoints ep;
    ep.embedServer = "http://127.0.0.1:1";
    ep.forumSite = "http://forum.test";
    ep.accountServer = "http://account.test";
    SetEndpoints(ep);
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    Click(w, 150, 98);  // register
    w.SendMessage(WM_COMMAND, ID_REPORT_BUG, 0);
    ASSERT_EQ(w.urls.size(), 2u);
    EXPECT_EQ(w.urls[0], "http://account.test/?p=register");
    EXPECT_EQ(w.urls[1], "http://forum.test/forum-703-1.html");
}

TEST_F(MainWindow, CloseButtonFollowsCloseMeanMinAndExitAsksOnce) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    theApp().WriteProfileString("Misc", "CloseMeanMin", "true");
    Click(w, 780, 20);
    EXPECT_FALSE(w.Window()->isVisible());
    EXPECT_EQ(w.quits, 0);
    PostTo(w.Target(), WM_VM_ACTIVATE);
    ASSERT_TRUE(WaitFor([&] { return w.Window()->isVisible(); }));

    theApp().WriteProfileString("Misc", "CloseMeanMin", "false");
    theApp().WriteProfileInt("Misc", "ConfirmExit", 0);
    Click(w, 780, 20);
    EXPECT_EQ(w.quits, 1);
}

TEST_F(MainWindow, DragBandIsTheCaption) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    const QPoint band = w.Window()->mapToGlobal(QPoint(300, 20));
    const QPoint below = w.Window()->mapToGlobal(QPoint(300, 40));
    const QPoint right = w.Window()->mapToGlobal(QPoint(620, 20));
    EXPECT_EQ(w.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(band.x(), band.y())), HTCAPTION);
    EXPECT_NE(w.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(below.x(), below.y())), HTCAPTION);
    EXPECT_NE(w.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(right.x(), right.y())), HTCAPTION);
}

TEST_F(MainWindow, LoginStateShowsTheAccountControls) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    auto visible = [&](int id) { return w.FindControl(id)->IsVisible(); };
    EXPECT_TRUE(visible(1) && visible(2) && visible(3));
    EXPECT_FALSE(visible(6) || visible(7) || visible(9) || visible(10));
    // Nobody logged in: the avatar message changes nothing.
    const std::string picture = (dir / "a.png").string();
    PostTo(w.Target(), WM_VM_AVATAR_READY, 7, 0, picture);
    // Handled in order: once this status shows, the avatar message has been handled.
    const std::string handled = "头像消息已处理";
    PostTo(w.Target(), WM_VM_STATUS, reinterpret_cast<std::uintptr_t>(&handled));
    ASSERT_TRUE(WaitFor([&] { return Text(w, 16) == handled; }));
    w.loggedIn = true;
    PostTo(w.Target(), WM_VM_ACCOUNT_CHANGED);
    ASSERT_TRUE(WaitFor([&] { return visible(10); }));
    EXPECT_FALSE(visible(1) || visible(2) || visible(3));
    EXPECT_TRUE(visible(6) && visible(7) && visible(9));
    EXPECT_TRUE(w.FindControl(12)->IsEnabled());
    EXPECT_TRUE(w.FindControl(13)->IsEnabled());
    EXPECT_NE(Text(w, 9), "ID: 7");
    w.loggedIn = false;
    PostTo(w.Target(), WM_VM_ACCOUNT_CHANGED);
    ASSERT_TRUE(WaitFor([&] { return visible(1); }));
    EXPECT_FALSE(w.FindControl(12)->IsEnabled());
}

TEST_F(MainWindow, AnAutomaticLoginDuringOpenReachesTheWindow) {
    // The passport posts its news to the application's main target, as a login in Open()
    // and the splash's account check both do.
    struct AutoLogging : TestMainWindow {
        int logins = 0;
        bool LogInWithStoredCredentials(int) override {
            ++logins;
            loggedIn = true;
            PostTo(theApp().MainTarget(), WM_VM_ACCOUNT_CHANGED);
            return true;
        }
    };
    theApp().WriteProfileInt("Guest", "AutoLogin", 1);
    theApp().WriteProfileString("Guest", "Door", "6e616d65");
    theApp().WriteProfileString("Guest", "Key", "70617373");
    {
        AutoLogging w;
        ASSERT_TRUE(w.Open());
        EXPECT_EQ(w.logins, 1);
        // Not logged in when the panel was first drawn; the login's message brings it up.
        EXPECT_TRUE(WaitFor([&] { return w.FindControl(10)->IsVisible(); }));
        EXPECT_FALSE(w.FindControl(1)->IsVisible());
        EXPECT_TRUE(w.FindControl(12)->IsEnabled());
        EXPECT_EQ(theApp().MainTarget().lock(), w.Target().lock());
    }
    // A window that is gone is no longer the target.
    EXPECT_EQ(theApp().MainTarget().lock(), nullptr);
}

TEST_F(MainWindow, EnterRunsTheGame) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(w.Window(), &press);
    QCoreApplication::sendEvent(w.Window(), &release);
    EXPECT_EQ(w.gameStarts, 1);
    EXPECT_EQ(Text(w, 16), "正在运行Tovrin...");
    // Command 1 is the same.
    SendTo(w.Target(), WM_VM_GAME_ENDED);
    w.SendMessage(WM_COMMAND, ID_OK, 0);
    EXPECT_EQ(w.gameStarts, 2);
}

TEST_F(MainWindow, ASuccessfulLogonRefreshesTheAccountPanelOnce) {
    // The logon dialog's success: the passport has logged in and posted its news.
    struct Logging : TestMainWindow {
        int RunLogonDialog() override {
            loggedIn = true;
            PostTo(theApp().MainTarget(), WM_VM_ACCOUNT_CHANGED);
            return IDOK;
        }
    };
    Logging w;
    ASSERT_TRUE(w.Open());
    const int reloads = w.pageReloads;
    EXPECT_EQ(w.avatarFetches, 0);
    Click(w, 100, 98);  // the logon button
    // Handled in order: once this status shows, the login's news has been handled.
    const std::string handled = "登录消息已处理";
    PostTo(w.Target(), WM_VM_STATUS, reinterpret_cast<std::uintptr_t>(&handled));
    ASSERT_TRUE(WaitFor([&] { return Text(w, 16) == handled; }));
    EXPECT_TRUE(w.FindControl(10)->IsVisible());
    EXPECT_EQ(w.avatarFetches, 1);
    EXPECT_EQ(w.pageReloads, reloads + 1);
}

TEST_F(MainWindow, ASecondExitWhileTheConfirmationIsOpenDoesNothing) {
    struct Reentrant : TestMainWindow {
        int asked = 0;
        int ConfirmExit() override {
            ++asked;
            ExitWithConfirmation();  // the close button again, while the question is open
            return IDNO;
        }
    };
    Reentrant w;
    ASSERT_TRUE(w.Open());
    w.SendMessage(WM_COMMAND, ID_EXIT, 0);
    EXPECT_EQ(w.asked, 1);
    EXPECT_EQ(w.quits, 0);
}

TEST_F(MainWindow, CommandMenuOnTheDragBandFollowsTheState) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    w.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(300, 20));
    w.SendMessage(WM_RBUTTONUP, 0, MAKELPARAM(300, 20));
    QMenu* menu = w.CommandMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    std::map<int, bool> enabled;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) enabled[a->data().toInt()] = a->isEnabled();
    EXPECT_TRUE(enabled.at(ID_LOGON));
    EXPECT_FALSE(enabled.at(ID_LOGOUT));
    EXPECT_FALSE(enabled.at(ID_UPLOAD_CONFIG));
    EXPECT_FALSE(enabled.at(ID_UPDATE_ADDONS));  // no "Version" in the information
    EXPECT_FALSE(enabled.at(ID_SELECT_ADDONS));
    EXPECT_TRUE(enabled.count(ID_GAME_DATA_UPLOAD));
    menu->hide();
    // Choosing an item runs the window's command.
    for (QAction* a : menu->actions())
        if (a->data().toInt() == ID_REPORT_BUG_MENU) a->trigger();
    ASSERT_TRUE(WaitFor([&] { return !w.urls.empty(); }));
    EXPECT_NE(w.urls[0].find("/forum-703-1.html"), std::string::npos);
}

TEST_F(MainWindow, CommandMenuOpensTheIsolatedAddOns) {
    fs::create_directories(dir.Path() / "Interface.obsoleted/Old");
    ASSERT_TRUE(platform::WriteFileAtomic(dir.Path() / "Interface.obsoleted/Old/o.lua", "o"));
    theApp().Game().folder.Set(dir.Path().string() + "/");
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    QMenu* menu = w.CommandMenu();
    ASSERT_NE(menu, nullptr);
    QAction* entry = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QString::fromUtf8("已隔离的插件(&R)...")) entry = a;
    ASSERT_NE(entry, nullptr);
    // The dialog runs modally: look at it and close it from inside its loop.
    int rows = -1;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* d = dynamic_cast<CDlgObsoleted*>(top);
            if (!d || !d->isVisible()) continue;
            poll.stop();
            rows = d->List()->topLevelItemCount();
            EXPECT_TRUE(d->Check("Old"));
            d->RestoreChecked();
            d->accept();
        }
    });
    poll.start();
    entry->trigger();
    theApp().Game().folder.Set({});
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(platform::ReadWholeFile(dir.Path() / "Interface/Old/o.lua"), "o");
}

// ---- tray --------------------------------------------------------------------------------

TEST(SysTrayIcon, AddingAnIdTwiceKeepsTheFirstRecord) {
    vm::test::MainWindowTestApp();
    auto logPtr = std::make_shared<std::vector<std::string>>();
    auto& log = *logPtr;
    CSysTrayIcon tray(std::make_unique<vm::test::FakeShell>(logPtr));
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::red);
    const QIcon icon(QPixmap::fromImage(img));
    EXPECT_EQ(tray.AddIcon(icon, 1, "first"), 1);
    EXPECT_EQ(tray.AddIcon(icon, 1, "second"), 0);
    EXPECT_EQ(tray.AddIcon(QIcon(), 2, "null icon"), 0);
    ASSERT_NE(tray.Find(1), nullptr);
    EXPECT_EQ(tray.Find(1)->szTip, "first");
    EXPECT_EQ(tray.Find(1)->uFlags, 0u);
    EXPECT_EQ(tray.Find(1)->cbSize, 952u);
    EXPECT_TRUE(log.empty());  // nothing shown yet
    EXPECT_EQ(tray.ShowIcon(9), 0);
}

TEST(SysTrayIcon, ShowAfterAFailedAddAddsAgain) {
    vm::test::MainWindowTestApp();
    auto logPtr = std::make_shared<std::vector<std::string>>();
    auto& log = *logPtr;
    CSysTrayIcon tray(std::make_unique<vm::test::FakeShell>(logPtr, true, 1));
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::red);
    ASSERT_EQ(tray.AddIcon(QIcon(QPixmap::fromImage(img)), 1, "tip"), 1);
    EXPECT_EQ(tray.ShowIcon(1), 0);
    EXPECT_EQ(tray.Find(1)->uFlags, 0u);
    EXPECT_EQ(tray.ShowIcon(1), 1);
    EXPECT_EQ(tray.Find(1)->uFlags, 7u);
    EXPECT_EQ(tray.ShowIcon(1), 1);  // shown: modified
    EXPECT_EQ(tray.ShowBalloon(1, "T", "text", 0), 1);
    EXPECT_EQ(tray.Find(1)->uTimeout, 10000u);
    EXPECT_EQ(tray.HideIcon(1), 1);
    EXPECT_NE(tray.Find(1), nullptr);
    EXPECT_EQ(tray.RemoveIcon(1), 1);
    EXPECT_EQ(tray.Find(1), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"add 1", "add 1", "modify 1", "modify 1 balloon text",
                                             "delete 1", "delete 1"}));
}

TEST(SysTrayIcon, CallbackDispatchesToTheOperations) {
    vm::test::MainWindowTestApp();
    struct Recorder : CSysTrayIcon {
        using CSysTrayIcon::CSysTrayIcon;
        std::vector<std::string> calls;
        void OnLButtonDown(UINT id, QPoint) override {
            calls.push_back("ldown" + std::to_string(id));
        }
        void OnRButtonUp(UINT id, QPoint) override { calls.push_back("rup" + std::to_string(id)); }
        void OnMButtonDblClk(UINT id, QPoint) override {
            calls.push_back("mdbl" + std::to_string(id));
        }
        void OnBalloonClick(UINT id, QPoint) override {
            calls.push_back("balloon" + std::to_string(id));
        }
    };
    Recorder tray(
        std::make_unique<vm::test::FakeShell>(std::make_shared<std::vector<std::string>>()));
    CSysTrayWnd& wnd = tray.Wnd();
    EXPECT_EQ(wnd.WindowProc(CSysTrayWnd::kCallbackMessage, 1, WM_LBUTTONDOWN), 0);
    wnd.WindowProc(CSysTrayWnd::kCallbackMessage, 2, WM_RBUTTONUP);
    wnd.WindowProc(CSysTrayWnd::kCallbackMessage, 1, WM_MBUTTONDBLCLK);
    wnd.WindowProc(CSysTrayWnd::kCallbackMessage, 1, CSysTrayWnd::kBalloonClicked);
    wnd.WindowProc(CSysTrayWnd::kCallbackMessage, 1, 0x999);               // ignored
    wnd.WindowProc(CSysTrayWnd::kCallbackMessage + 1, 1, WM_LBUTTONDOWN);  // another message
    EXPECT_EQ(tray.calls, (std::vector<std::string>{"ldown1", "rup2", "mdbl1", "balloon1"}));
}

TEST_F(MainWindow, TrayClickTogglesAndCloseShowsTheBalloon) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    ASSERT_EQ(w.trayLog.front(), "add 1");
    w.SendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(w.Window()->isVisible());
    EXPECT_EQ(w.trayLog.back(), "modify 1 balloon TovrinVelmora已经隐藏，单击图标打开窗口。");
    // A left click on the icon brings it back.
    w.TrayIcon().Wnd().WindowProc(CSysTrayWnd::kCallbackMessage, 1, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return w.Window()->isVisible(); }));
    w.TrayIcon().Wnd().WindowProc(CSysTrayWnd::kCallbackMessage, 1, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return !w.Window()->isVisible(); }));
    // The balloon's click offers the combat log only when a piece is recorded.
    w.TrayIcon().Wnd().WindowProc(CSysTrayWnd::kCallbackMessage, 1, CSysTrayWnd::kBalloonClicked);
    QCoreApplication::processEvents();
    w.SendMessage(WM_VM_SELF_UPDATE_EXIT, 0, 0);
    EXPECT_EQ(w.trayLog.back(), "delete 1");
    EXPECT_EQ(w.TrayIcon().Find(1), nullptr);
}

TEST_F(MainWindow, TheTrayMenuRunsTheWindowsCommands) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    QMenu* menu = w.TrayIcon().m_pMenu;
    ASSERT_NE(menu, nullptr);
    std::vector<std::string> captions;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) captions.push_back(a->text().toStdString());
    EXPECT_EQ(captions, (std::vector<std::string>{"打开/隐藏主窗口", "运行游戏", "访问主页",
                                                  "查询资料", "提交错误", "退出"}));
    EXPECT_EQ(menu->defaultAction()->data().toInt(), ID_TOGGLE_WINDOW);
    for (QAction* a : menu->actions())
        if (a->data().toInt() == ID_RUN_GAME) a->trigger();
    ASSERT_TRUE(WaitFor([&] { return w.gameStarts == 1; }));
    EXPECT_EQ(Text(w, 16), "正在运行Tovrin...");
    theApp().WriteProfileInt("Misc", "ConfirmExit", 0);
    for (QAction* a : menu->actions())
        if (a->data().toInt() == ID_EXIT) a->trigger();
    ASSERT_TRUE(WaitFor([&] { return w.quits == 1; }));
}

TEST_F(MainWindow, WithoutATrayCloseMinimisesAndTheWindowComesBack) {
    TestMainWindow w;
    w.tray = false;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    w.SendMessage(WM_CLOSE, 0, 0);
    EXPECT_TRUE(w.Window()->isVisible());
    EXPECT_TRUE(w.Window()->isMinimized());
    // No balloon without a tray.
    for (const std::string& e : w.trayLog) EXPECT_EQ(e.find("balloon"), std::string::npos);
    PostTo(w.Target(), WM_VM_ACTIVATE);
    ASSERT_TRUE(WaitFor([&] { return !w.Window()->isMinimized(); }));
    EXPECT_TRUE(w.Window()->isVisible());
    w.SendMessage(WM_COMMAND, ID_TOGGLE_WINDOW, 0);
    EXPECT_TRUE(w.Window()->isMinimized());
    EXPECT_TRUE(w.Window()->isVisible());
}

// A skinned dialog the window opens modally, handed to act from inside its loop.
template <class T>
void WhenSkinDialogShown(std::function<void(T&)> act, bool* seen) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act, seen] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            NativeWindow* n = top->isVisible() ? NativeWindow::FromHwnd(top) : nullptr;
            auto* d = n && !n->IsDestroyed() ? dynamic_cast<T*>(n->Handler()) : nullptr;
            if (!d) continue;
            poll->stop();
            poll->deleteLater();
            *seen = true;
            act(*d);
            return;
        }
    });
    poll->start();
}

TEST_F(MainWindow, TheSettingsDialogCancelsThePendingGameStart) {
    theApp().WriteProfileInt("Update", "AutoRun", 1);
    theApp().WriteProfileInt("Update", "AutoUpdate", 1);
    theApp().PublishedState().updateInfo.Set({{"Version", "3"}});
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    ASSERT_TRUE(w.IsAutoStarted());
    SendTo(w.Target(), WM_VM_UPDATE_END);
    ASSERT_TRUE(w.IsRunGameTimerPending());
    // The player opens the settings and leaves them with "取消".
    bool shown = false;
    WhenSkinDialogShown<CSettingDialog>([](CSettingDialog& d) { d.EndDialog(IDCANCEL); }, &shown);
    w.SendMessage(WM_COMMAND, ID_SETTINGS, 0);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(w.IsRunGameTimerPending());
    // No timer is left to start the game a second later.
    EXPECT_FALSE(w.Window()->KillTimer(kRunGameTimer));
    EXPECT_EQ(w.gameStarts, 0);
    EXPECT_FALSE(g_gameRunning.IsSet());
    EXPECT_TRUE(w.FindControl(19)->IsEnabled());
}

TEST_F(MainWindow, RealmsReadyMeasuresTheChosenSetsServer) {
    theApp().WriteProfileString("Update", "Version", "二区官方服务器");
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    // No list yet on a first start: nothing to measure.
    EXPECT_EQ(Text(w, 21), "未知");
    GameServerRecord a, b;
    a.displayName = "一区官方服务器";
    a.host = "127.0.0.1";
    a.port = 1;
    b = a;
    b.displayName = "二区官方服务器";
    // The window's own list (empty: no sets published) is written first, or it would replace
    // ours.
    const fs::path realms = theApp().Locations().cacheDir / "Velmora.realms";
    ASSERT_TRUE(WaitFor([&] { return fs::exists(realms); }));
    ASSERT_TRUE(WriteRealmsFile(realms.string(), {a, b}));
    SendTo(w.Target(), WM_VM_REALMS_READY);
    EXPECT_NE(Text(w, 21), "未知");
    EXPECT_EQ(theApp().GetProfileString("Update", "Version", ""), "二区官方服务器");
    // Only the chosen set's server is shown.
    a.latency = 7;
    SendTo(w.Target(), WM_VM_PING_RESULT, reinterpret_cast<std::uintptr_t>(&a));
    EXPECT_NE(Text(w, 21), "7 ms");
    b.latency = 45;
    SendTo(w.Target(), WM_VM_PING_RESULT, reinterpret_cast<std::uintptr_t>(&b));
    EXPECT_EQ(Text(w, 21), "45 ms");
    // A second list changes nothing once a server is current.
    ASSERT_TRUE(WriteRealmsFile((theApp().Locations().cacheDir / "Velmora.realms").string(), {a}));
    SendTo(w.Target(), WM_VM_REALMS_READY);
    EXPECT_EQ(Text(w, 21), "45 ms");
    EXPECT_EQ(theApp().GetProfileString("Update", "Version", ""), "二区官方服务器");
}

TEST_F(MainWindow, MinimisedFromTheTaskbarTheWindowGoesToTheTray) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    // Minimised from the taskbar (not by the window's own button): hidden into the tray.
    w.Window()->showMinimized();
    ASSERT_TRUE(WaitFor([&] { return !w.Window()->isVisible(); }));
    EXPECT_FALSE(w.Window()->isMinimized());
    ASSERT_NE(w.TrayIcon().Find(1), nullptr);
    // The tray brings it back as it was.
    w.TrayIcon().Wnd().WindowProc(CSysTrayWnd::kCallbackMessage, 1, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return w.Window()->isVisible(); }));
    EXPECT_FALSE(w.Window()->isMinimized());
}

TEST_F(MainWindow, TheAboutCommandOpensTheAboutBox) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    QAction* entry = nullptr;
    for (QAction* a : w.CommandMenu()->actions())
        if (a->text() == QString::fromUtf8("关于TovrinVelmora(&A)...")) entry = a;
    ASSERT_NE(entry, nullptr);
    bool shown = false;
    std::string version, title;
    WhenSkinDialogShown<CAboutDlg>(
        [&](CAboutDlg& d) {
            version = d.FindControl(CAboutDlg::kVersionId)->GetText();
            title = d.Window()->windowTitle().toStdString();
            d.EndDialog(IDOK);
        },
        &shown);
    entry->trigger();
    ASSERT_TRUE(WaitFor([&] { return shown; }));
    EXPECT_EQ(version, "TovrinVelmora v1.019");
    EXPECT_EQ(title, "关于 Velmora");
    // The window carries on afterwards.
    EXPECT_TRUE(w.IsUpdateIdle());
    EXPECT_TRUE(w.Window() != nullptr);
}

// ---- shortcut ----------------------------------------------------------------------------

TEST(Launcher, NamesTheProgramItsFolderAndIcon) {
    const std::string text =
        LauncherText("/games/my tvrn/Velmora-TVRN", "/games/my tvrn/Velmora-TVRN.png");
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"/games/my tvrn/Velmora-TVRN\"\n"), std::string::npos);
    EXPECT_NE(text.find("Path=/games/my tvrn\n"), std::string::npos);
    EXPECT_NE(text.find("Icon=/games/my tvrn/Velmora-TVRN.png\n"), std::string::npos);
    // Characters the Exec key reserves are escaped.
    const std::string odd = LauncherText("/g/100%$x/Velmora-TVRN", "");
    EXPECT_NE(odd.find("Exec=\"/g/100%%\\\\$x/Velmora-TVRN\"\n"), std::string::npos);
}

class Shortcut : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        const char* h = std::getenv("HOME");
        oldHome = h ? h : "";
        const char* x = std::getenv("XDG_DATA_HOME");
        oldData = x ? x : "";
        ::setenv("HOME", (dir / "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "home/data").c_str(), 1);
        theApp().WriteProfileInt("Misc", "NotifyShortcut2", 0);
    }
    void TearDown() override {
        ::setenv("HOME", oldHome.c_str(), 1);
        if (oldData.empty())
            ::unsetenv("XDG_DATA_HOME");
        else
            ::setenv("XDG_DATA_HOME", oldData.c_str(), 1);
    }
    std::string oldHome, oldData;
};

TEST_F(Shortcut, YesCreatesTheLauncherOnTheDesktopAndInTheMenu) {
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    ASSERT_TRUE(WaitFor([] { return g_shortcutOffered.IsSet(); }));
    const fs::path desktop = DesktopFolder() / "TovrinVelmora.desktop";
    ASSERT_TRUE(fs::exists(desktop)) << desktop;
    struct stat st {};
    ASSERT_EQ(::stat(desktop.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_NE(ReadFile(desktop).find("Exec=\"" + (dir / "Velmora-TVRN").string() + "\""),
              std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "home/data/applications/TovrinVelmora.desktop"));
    EXPECT_TRUE(fs::exists(dir / "Velmora-TVRN.png"));
    ASSERT_EQ(w.boxes.size(), 2u);
    EXPECT_EQ(w.boxes[1].title, "<c #F4E9FF>成功</c>");
    EXPECT_EQ(theApp().GetProfileInt("Misc", "NotifyShortcut2", 0), 1);
    EXPECT_EQ(theApp().GetProfileInt("Misc", "RefreshShortcut", 0), 1);
}

TEST_F(Shortcut, FailureShowsTheErrorCodeAndIsNotRepeated) {
    fs::create_directories(dir / "home");
    // The desktop folder cannot be made: a file stands in its place.
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "home/Desktop", "x"));
    {
        TestMainWindow w;
        ASSERT_TRUE(w.Open());
        ASSERT_TRUE(WaitFor([] { return g_shortcutOffered.IsSet(); }));
        ASSERT_EQ(w.boxes.size(), 2u);
        EXPECT_NE(w.boxes[1].text.find("(错误代码："), std::string::npos);
        EXPECT_EQ(w.boxes[1].style, 16u);
    }
    g_shortcutOffered.Reset();
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    ASSERT_TRUE(WaitFor([] { return g_shortcutOffered.IsSet(); }));
    EXPECT_TRUE(w.boxes.empty());
}

// ---- news page and commit gate -----------------------------------------------------------

TEST_F(MainWindow, CommitGateWaitsForTheFirstLoadOfTheNewsPage) {
    vm::test::TestServer server;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    server.On(
        "GET", "/tvrn/html/velmora.html", [&](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(m);
            cv.wait_for(lock, std::chrono::seconds(60), [&] { return release; });
            res.set_content("<html><body><p>新闻</p></body></html>", "text/html; charset=utf-8");
        });
    Endpoints ep;
    ep.embedServer = server.Origin();
    SetEndpoints(ep);
    TestMainWindow w;
    w.page = true;
    ASSERT_TRUE(w.Open());
    w.ShowWindow(true, false);
    ASSERT_TRUE(
        WaitFor([&] { return !server.RequestsTo("/tvrn/html/velmora.html").empty(); }, 60000));
    // The page is still on its way: nothing may be installed yet.
    QCoreApplication::processEvents();
    EXPECT_FALSE(theApp().Runs().commitGate.IsSet());
    EXPECT_FALSE(w.IsPageHandled());
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(WaitFor([&] { return theApp().Runs().commitGate.IsSet(); }, 60000));
    EXPECT_TRUE(w.IsPageHandled());
    EXPECT_FALSE(w.IsPageFailed());
}

TEST_F(MainWindow, CommitGateOpensWhenThePageFailsOrAfterTheFallback) {
    {
        TestMainWindow w;
        w.page = true;
        ASSERT_TRUE(w.Open());
        ASSERT_TRUE(WaitFor([&] { return theApp().Runs().commitGate.IsSet(); }, 60000));
        EXPECT_TRUE(w.IsPageFailed());
    }
    theApp().Runs().commitGate.Reset();
    TestMainWindow w;
    ASSERT_TRUE(w.Open());
    EXPECT_FALSE(theApp().Runs().commitGate.IsSet());
    w.SendMessage(WM_TIMER, kCommitGateTimer, 0);
    EXPECT_TRUE(theApp().Runs().commitGate.IsSet());
}

}  // namespace
}  // namespace vm
