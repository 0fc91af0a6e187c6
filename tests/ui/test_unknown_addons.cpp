// The unknown add-on question: grouping of the unknown files, the dialog's rows, the
// confirmation word, "下次不再提示我", and the whole way through an update run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "DialogTestSupport.h"
#include "app/Prompter.h"
#include "platform/FileUtil.h"
#include "skin/CUIEdit.h"
#include "skin/CWndListCtrl.h"
#include "tests/update/UpdateRunEnv.h"
#include "ui/CDlgDeleteConfirm.h"
#include "ui/DialogParts.h"
#include "ui/QtMessageTarget.h"
#include "update/UnknownAddOns.h"

namespace vm::test {
namespace {

namespace fs = std::filesystem;

class UnknownAddOnFiles : public ::testing::Test {
  protected:
    // Creates a file below the game's Interface folder; returns its full path.
    std::string Game(const std::string& below, const std::string& bytes = "x") {
        const fs::path p = game / "Interface" / below;
        fs::create_directories(p.parent_path());
        EXPECT_TRUE(platform::WriteFileAtomic(p, bytes));
        return p.string();
    }
    std::string Listed(const std::string& below) { return (temp / "Interface" / below).string(); }
    std::vector<AddOnGroup> Group(const std::vector<std::string>& unknown,
                                  const std::vector<std::string>& listed = {}) {
        return UnknownAddOns(game.string() + "/", temp.string() + "/").Group(unknown, listed);
    }

    ScopedTempDir dir;
    fs::path game = dir / "game";
    fs::path temp = dir / "tmp";
};

MATCHER_P2(IsGroup, name, files, "") {
    return arg.name == name && arg.files == files;
}

TEST_F(UnknownAddOnFiles, AddOnFolderAndLooseFilesMakeTwoGroups) {
    const std::vector<std::string> unknown = {Game("Foo/a.lua"), Game("Foo/b.lua"),
                                              Game("Foo/sub/c.tga"), Game("loose.txt")};
    EXPECT_THAT(Group(unknown), ::testing::ElementsAre(IsGroup("Foo", 3), IsGroup("其它", 1)));
}

TEST_F(UnknownAddOnFiles, ListedAndOwnAddOnsAreNotAskedAbout) {
    // The list carries "foo" in another letter case; "Ours" says this program installed it.
    Game("Ours/info.ini", "Title=\xb2\xe5\xbc\xfe\r\nX-Revision = Velmora\r\n");
    const std::vector<std::string> unknown = {Game("Foo/old.lua"), Game("Ours/old.lua"),
                                              Game("Ours/older.lua")};
    EXPECT_TRUE(Group(unknown, {Listed("foo/new.lua")}).empty());
}

TEST_F(UnknownAddOnFiles, ForeignRevisionVanishedFoldersAndOrdinalOrder) {
    Game("Theirs/INFO.INI", "X-Revision=Other\n");
    const std::vector<std::string> unknown = {Game("Theirs/a.lua"), Game("alpha/a.lua"),
                                              Game("Zeta/z.lua"), Game("loose.txt"),
                                              (game / "Interface" / "Gone" / "x.lua").string()};
    EXPECT_THAT(Group(unknown), ::testing::ElementsAre(IsGroup("Theirs", 1), IsGroup("Zeta", 1),
                                                       IsGroup("alpha", 1), IsGroup("其它", 1)));
}

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

}  // namespace
}  // namespace vm::test
