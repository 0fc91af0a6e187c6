// The unknown add-on question: the dialog's rows, the confirmation word, "下次不再提示我",
// the whole way through an update run, and the same question asked by the main window's
// session and by `velmora update` (its grouping rule is tested with the update session).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "DialogTestSupport.h"
#include "app/Prompter.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "skin/CUIEdit.h"
#include "skin/CWndListCtrl.h"
#include "tests/support/CommandLine.h"
#include "tests/update/UpdateRunEnv.h"
#include "ui/CDlgDeleteConfirm.h"
#include "ui/DialogParts.h"
#include "ui/QtMessageTarget.h"
#include "update/UnknownAddOns.h"
#include "update/UpdateSession.h"
#include "update/WindowMessageListener.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

// The dialog over files in a game folder of its own.
class UnknownAddOnDialog : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        theApp().Game().folder.Set((dir / "game").string() + "/");
    }
    void TearDown() override {
        theApp().Game().folder.Set("");
        DialogTest::TearDown();
    }
    std::string Game(const std::string& below) {
        const fs::path p = dir / "game" / "Interface" / below;
        fs::create_directories(p.parent_path());
        EXPECT_TRUE(platform::WriteFileAtomic(p, "x"));
        return p.string();
    }
};

TEST_F(UnknownAddOnDialog, RowsPerAddOnAndTheDetailsToggle) {
    const std::vector<std::string> unknown = {Game("Foo/a.lua"), Game("Foo/b.lua"),
                                              Game("Foo/c.lua"), Game("loose.txt")};
    std::vector<std::string> rows;
    QSize collapsed, expanded, collapsedAgain;
    bool listShown = false;
    std::string detailsText;
    WhenShown<CDlgDeleteConfirm>([&](CDlgDeleteConfirm* d) {
        CWndListCtrl* list = d->List();
        for (int i = 0; i < list->GetEntryCount(); ++i)
            rows.push_back(list->GetSubItemText(i, 0) + " " + list->GetSubItemText(i, 1));
        collapsed = d->Window()->size();
        ClickControl(d, 1010);
        expanded = d->Window()->size();
        listShown = list->isVisible();
        detailsText = d->FindControl(1010)->GetText();
        ClickControl(d, 1010);
        collapsedAgain = d->Window()->size();
        ClickControl(d, 1012);
    });
    EXPECT_EQ(CDlgDeleteConfirm::Answer(nullptr, unknown, {}), 0);
    EXPECT_EQ(rows, (std::vector<std::string>{"Foo 3", "其它 1"}));
    EXPECT_EQ(collapsed, QSize(435, 250));
    EXPECT_EQ(expanded, QSize(435, 380));
    EXPECT_EQ(collapsedAgain, QSize(435, 250));
    EXPECT_TRUE(listShown);
    EXPECT_EQ(detailsText, "<c #C8C8C8>隐藏详情 <<");
    EXPECT_EQ(theApp().GetProfileInt("Update", "DeleteMode", -1), -1);
}

TEST_F(UnknownAddOnDialog, NothingToAskAboutIsolatesWithoutADialog) {
    Game("Ours/info.ini");
    ASSERT_TRUE(
        platform::WriteFileAtomic(dir / "game/Interface/Ours/info.ini", "X-Revision=Velmora\r\n"));
    const std::vector<std::string> unknown = {Game("Ours/old.lua"), Game("Listed/old.lua")};
    const std::vector<std::string> listed = {(dir / "tmp/Interface/Listed/new.lua").string()};
    CDlgDeleteConfirm dialog(unknown, listed);
    EXPECT_EQ(dialog.Run(nullptr), IDOK);
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_TRUE(dialog.Groups().empty());
}

TEST_F(UnknownAddOnDialog, TypedYesEnablesIsolateAndDontAskRemembers) {
    const std::vector<std::string> unknown = {Game("Foo/a.lua")};
    bool enabledBefore = true, enabledAfterYe = true, enabledAfterYes = false;
    std::string word;
    WhenShown<CDlgDeleteConfirm>([&](CDlgDeleteConfirm* d) {
        enabledBefore = d->FindControl(1011)->IsEnabled();
        ClickControl(d, 1011);  // disabled: ignored
        auto* edit = static_cast<CUIEdit*>(d->FindControl(1008));
        // The word field takes the keyboard as soon as the dialog is up.
        if (!WaitFor([&] { return edit->GetOverlay() != nullptr; }, 3000)) {
            ADD_FAILURE() << "the confirmation word has no edit overlay";
            ClickControl(d, 1012);
            return;
        }
        QTest::keyClicks(edit->GetOverlay(), "ye");
        enabledAfterYe = d->FindControl(1011)->IsEnabled();
        QTest::keyClicks(edit->GetOverlay(), "s");
        enabledAfterYes = d->FindControl(1011)->IsEnabled();
        word = edit->GetText();
        ClickControl(d, 1009);
        ClickControl(d, 1011);
    });
    EXPECT_EQ(CDlgDeleteConfirm::Answer(nullptr, unknown, {}), 1);
    EXPECT_FALSE(enabledBefore);
    EXPECT_FALSE(enabledAfterYe);
    EXPECT_TRUE(enabledAfterYes);
    EXPECT_EQ(word, "YES");
    EXPECT_EQ(theApp().GetProfileInt("Update", "DeleteMode", -1), 1);
    // Remembered: the next question is answered without a dialog.
    EXPECT_EQ(CDlgDeleteConfirm::Answer(nullptr, unknown, {}), 1);
}

// The whole way: the update worker asks the window, the window asks the player.
class UnknownAddOnsInAnUpdate : public UpdateRunEnv {
  protected:
    void SetUp() override {
        DialogApp();
        UpdateRunEnv::SetUp();
    }
    // Starts the scan and the run with a window that answers through the dialog, and keeps
    // the UI thread turning until the run reports its end.
    void RunWithWindow() {
        QObject window;
        bool ended = false;
        auto main = QtMessageTarget::Create(&window, [&](const Message& m) -> std::intptr_t {
            if (m.id == WM_VM_CONFIRM_DELETE) {
                ++asked;
                return CDlgDeleteConfirm::Answer(
                    nullptr, *reinterpret_cast<const std::vector<std::string>*>(m.wParam),
                    *reinterpret_cast<const std::vector<std::string>*>(m.lParam));
            }
            if (m.id == WM_VM_UPDATE_END) ended = true;
            return 0;
        });
        g_cancelUpdate.store(0);
        g_scanDone.Reset();
        auto scan = std::make_unique<CChecksumThread>();
        scan->m_gameFolder = game.string() + "/";
        ASSERT_TRUE(CWorkerThread::Start(std::move(scan), CWorkerThread::Priority::Lowest));
        auto run = std::make_unique<CUpdateThread>();
        run->m_pMainWnd = main;
        ASSERT_TRUE(CWorkerThread::Start(std::move(run)));
        ASSERT_TRUE(WaitFor([&] { return ended && CWorkerThread::LiveCount() == 0; }, 30000));
    }
    void Put(const std::string& below) {
        fs::create_directories((game / "Interface" / below).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface" / below, "mine"));
    }
    int asked = 0;
};

TEST_F(UnknownAddOnsInAnUpdate, DontAskAgainWithKeepKeepsLaterRunsQuiet) {
    Publish({{"Listed/l.lua", "l"}});
    Put("Foo/a.lua");
    Put("Foo/b.lua");
    int shown = 0;
    WhenShown<CDlgDeleteConfirm>([&](CDlgDeleteConfirm* d) {
        ++shown;
        ClickControl(d, 1009);
        ClickControl(d, 1012);
    });
    RunWithWindow();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(theApp().GetProfileInt("Update", "DeleteMode", -1), 2);
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/Foo/a.lua"), "mine");
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/Listed/l.lua"), "l");

    // The next run is asked again by the worker, and the window keeps without a dialog.
    Put("Foo/c.lua");
    RunWithWindow();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/Foo/c.lua"), "mine");
    EXPECT_FALSE(fs::exists(game / "Interface.obsoleted/Foo"));
}

// One situation, two front ends: the main window's session (its listener, the window's
// answer, the dialog) and `velmora update --no` / `--yes` in a game folder of its own.
class UnknownAddOnsInBothFrontEnds : public UpdateRunEnv {
  protected:
    void SetUp() override {
        DialogApp();
        UpdateRunEnv::SetUp();
        Publish({{"Listed/l.lua", "l"}});
        fs::create_directories(cliProgram);
        platform::IniFile ini(cliProgram / "Velmora.ini");
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (cliGame / "Tovrin.exe").string());
        ini.WriteInt("Update", "Server", 1);
        ASSERT_TRUE(platform::WriteFileAtomic(work / "endpoints.ini",
                                              "[Endpoints]\nTelecomMirror=" + server.Origin() +
                                                  "\nNetcomMirror=http://127.0.0.1:1\n"));
    }
    // The same add-ons of the player's own in a game folder: a folder the list never had,
    // a file directly in Interface and an add-on this program installed that the list dropped.
    void Situation(const fs::path& gameFolder) {
        for (const char* p : {"Interface", "Interface.obsoleted"}) fs::remove_all(gameFolder / p);
        fs::create_directories(gameFolder);
        ASSERT_TRUE(platform::WriteFileAtomic(gameFolder / "Tovrin.exe", "MZ"));
        const std::map<std::string, std::string> files = {
            {"Foo/a.lua", "mine a"},
            {"Foo/sub/b.lua", "mine b"},
            {"loose.txt", "loose"},
            {"Ours/info.ini", "X-Revision=Velmora\r\n"},
            {"Ours/o.lua", "ours"}};
        for (const auto& [below, bytes] : files) {
            fs::create_directories((gameFolder / "Interface" / below).parent_path());
            ASSERT_TRUE(platform::WriteFileAtomic(gameFolder / "Interface" / below, bytes));
        }
    }
    // Every file below the add-on folders and their obsolete twin: path -> bytes.
    static std::map<std::string, std::string> Disk(const fs::path& gameFolder) {
        std::map<std::string, std::string> out;
        for (const char* top : {"Interface", "Interface.obsoleted"}) {
            std::error_code ec;
            for (fs::recursive_directory_iterator it(gameFolder / top, ec), end; !ec && it != end;
                 it.increment(ec))
                if (it->is_regular_file())
                    out[it->path().lexically_relative(gameFolder).generic_string()] =
                        platform::ReadWholeFile(it->path()).value_or("<unreadable>");
        }
        return out;
    }
    // The main window's way: a session whose listener reports to the window, which answers
    // the question as CVelmoraDlg does; isolate types the word and presses 隔离.
    std::vector<std::string> RunWindow(bool isolate) {
        std::vector<std::string> rows;
        WhenShown<CDlgDeleteConfirm>([&](CDlgDeleteConfirm* d) {
            CWndListCtrl* list = d->List();
            for (int i = 0; i < list->GetEntryCount(); ++i)
                rows.push_back(list->GetSubItemText(i, 0) + " " + list->GetSubItemText(i, 1));
            if (!isolate) {
                ClickControl(d, 1012);
                return;
            }
            auto* edit = static_cast<CUIEdit*>(d->FindControl(1008));
            if (!WaitFor([&] { return edit->GetOverlay() != nullptr; }, 3000)) {
                ADD_FAILURE() << "the confirmation word has no edit overlay";
                ClickControl(d, 1012);
                return;
            }
            QTest::keyClicks(edit->GetOverlay(), "yes");
            ClickControl(d, 1011);
        });
        QObject window;
        auto main = QtMessageTarget::Create(&window, [&](const Message& m) -> std::intptr_t {
            if (m.id != WM_VM_CONFIRM_DELETE) return 0;
            return CDlgDeleteConfirm::Answer(
                nullptr, *reinterpret_cast<const std::vector<std::string>*>(m.wParam),
                *reinterpret_cast<const std::vector<std::string>*>(m.lParam));
        });
        UpdateSession session(std::make_shared<WindowMessageListener>(main),
                              UpdateGates::MainWindow());
        EXPECT_EQ(session.Start(UpdateSession::Kind::Automatic), UpdateSession::Started::Yes);
        EXPECT_TRUE(WaitFor(
            [&] { return session.Outcome().has_value() && CWorkerThread::LiveCount() == 0; },
            30000));
        EXPECT_EQ(session.Outcome(), UpdateOutcome::Succeeded);
        return rows;
    }
    // velmora update with answer ("--yes" or "--no"); the groups it showed, as the dialog's
    // rows.
    std::vector<std::string> RunCli(const std::string& answer) {
        const std::string cmd = "VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string()) +
                                " " + Quote(Bin("velmora").string()) + " update --force " + answer +
                                " --program-dir " + Quote(cliProgram.string()) + " >" +
                                Quote((work / "cli.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        const std::string out = platform::ReadWholeFile(work / "cli.txt").value_or("");
        EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << out;
        EXPECT_TRUE(Contains(out, "在你的系统里检测到一些不明插件。")) << out;
        std::vector<std::string> rows;
        std::size_t at = 0;
        while ((at = out.find("\n  ", at)) != std::string::npos) {
            const std::size_t end = out.find('\n', at + 1);
            std::string line = out.substr(at + 3, end - at - 3);
            const std::size_t open = line.find("（");
            const std::size_t files = line.find(" 个文件）");
            if (open != std::string::npos && files != std::string::npos)
                rows.push_back(line.substr(0, open) + " " +
                               line.substr(open + std::string("（").size(),
                                           files - open - std::string("（").size()));
            at = end;
        }
        return rows;
    }

    fs::path cliProgram = work / "cli-program";
    fs::path cliGame = work / "cli-game";
};

TEST_F(UnknownAddOnsInBothFrontEnds, SameGroupsAndTheSameFilesMovedForEachAnswer) {
    const std::vector<std::string> groups{"Foo 2", "其它 1"};
    for (bool isolate : {false, true}) {
        SCOPED_TRACE(isolate ? "isolate" : "keep");
        Situation(game);
        Situation(cliGame);
        EXPECT_EQ(RunWindow(isolate), groups);
        EXPECT_EQ(RunCli(isolate ? "--yes" : "--no"), groups);
        const auto window = Disk(game);
        EXPECT_EQ(window, Disk(cliGame));
        // The list's add-on arrives, and this program's own dropped add-on is moved aside
        // whatever the answer; the player's own files follow the answer.
        EXPECT_EQ(window.at("Interface/Listed/l.lua"), "l");
        EXPECT_EQ(window.at("Interface.obsoleted/Ours/o.lua"), "ours");
        const std::string kept = isolate ? "Interface.obsoleted/" : "Interface/";
        EXPECT_EQ(window.at(kept + "Foo/a.lua"), "mine a");
        EXPECT_EQ(window.at(kept + "Foo/sub/b.lua"), "mine b");
        EXPECT_EQ(window.at(kept + "loose.txt"), "loose");
        EXPECT_EQ(window.count((isolate ? "Interface/" : "Interface.obsoleted/") +
                               std::string("Foo/a.lua")),
                  0u);
    }
    // Neither front end remembered an answer.
    EXPECT_EQ(theApp().GetProfileInt("Update", "DeleteMode", -1), -1);
}

}  // namespace
}  // namespace vm::test
