// The update session: its gates (a cancel ends their waits at once) and its reports to the
// listener; the unknown add-on rule the window and the command line share; and the one
// answer to "which add-on folder is this, and is it ours".

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/TemporaryFolder.h"
#include "tests/update/UpdateRunEnv.h"
#include "update/AddOnInfo.h"
#include "update/UnknownAddOns.h"
#include "update/UpdateOutcome.h"

namespace fs = std::filesystem;

namespace vm::test {
namespace {

// Waits up to ten seconds for done(); the last answer.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

class UpdateSessionGates : public UpdateRunEnv {
  protected:
    // A session reporting to target whose gates the test holds.
    std::unique_ptr<UpdateSession> Session() {
        return std::make_unique<UpdateSession>(std::make_shared<WindowMessageListener>(target),
                                               UpdateGates{commit, shortcut});
    }
    std::shared_ptr<ManualResetEvent> commit = std::make_shared<ManualResetEvent>(false);
    std::shared_ptr<ManualResetEvent> shortcut = std::make_shared<ManualResetEvent>(true);
};

TEST_F(UpdateSessionGates, CancelEndsTheWaitAtTheCommitGate) {
    Publish({{"A/a.lua", "a"}});
    auto session = Session();
    ASSERT_EQ(session->Start(UpdateSession::Kind::Automatic), UpdateSession::Started::Yes);
    // Staged under its common name just before the run waits at the gate.
    const std::string staged = TemporaryFolder() + "Interface/A/a.lua";
    ASSERT_TRUE(Eventually([&] { return fs::exists(staged); }));
    session->Cancel();
    session->WaitForEnd();
    ASSERT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(session->Outcome(), UpdateOutcome::Cancelled);
    EXPECT_EQ(Outcome(), static_cast<int>(UpdateOutcome::Cancelled));
    EXPECT_EQ(LastStatus(), "更新已经取消。");
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));
}

TEST_F(UpdateSessionGates, OpeningTheCommitGateLetsTheRunInstall) {
    Publish({{"A/a.lua", "a"}});
    auto session = Session();
    ASSERT_EQ(session->Start(UpdateSession::Kind::Automatic), UpdateSession::Started::Yes);
    ASSERT_TRUE(Eventually([&] { return fs::exists(TemporaryFolder() + "Interface/A/a.lua"); }));
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));
    commit->Set();
    session->WaitForEnd();
    ASSERT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(session->Outcome(), UpdateOutcome::Succeeded);
    EXPECT_EQ(Installed("A/a.lua"), "a");
}

TEST_F(UpdateSessionGates, CancelEndsTheWaitForTheShortcutOfferWithoutAsking) {
    Publish({{"A/a.lua", "a"}});
    theApp().PublishedState().updateInfo.Set({{"Version", "1.020"}});
    shortcut->Reset();
    commit->Set();
    ManualResetEvent checking;
    m_onMessage = [&](const Message& m) {
        if (m.id == WM_VM_STATUS) checking.Set();
    };
    auto session = Session();
    ASSERT_EQ(session->Start(UpdateSession::Kind::Automatic), UpdateSession::Started::Yes);
    ASSERT_TRUE(checking.WaitFor(std::chrono::seconds(10)));
    session->Cancel();
    session->WaitForEnd();
    ASSERT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(session->Outcome(), UpdateOutcome::Cancelled);
    EXPECT_TRUE(prompter->Texts().empty());  // the new version was never offered
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"检测需要更新的文件...", "更新已经取消。"}));
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua"));
}

TEST_F(UpdateSessionGates, OneRunAtATimeAndTheUpdateButtonRefreshes) {
    Publish({{"A/a.lua", "a"}});
    commit->Set();
    auto session = Session();
    g_updateRunning.store(1);  // a run of this process still going
    EXPECT_EQ(session->Start(UpdateSession::Kind::Refresh), UpdateSession::Started::AlreadyRunning);
    EXPECT_EQ(theApp().Runs().refreshRequest.load(), 0);
    g_updateRunning.store(0);
    // The button's run fetches the information first; there is none to be had here, and the
    // run goes on with what was published.
    ASSERT_EQ(session->Start(UpdateSession::Kind::Refresh), UpdateSession::Started::Yes);
    session->WaitForEnd();
    ASSERT_TRUE(CWorkerThread::WaitForAll(std::chrono::seconds(30)));
    EXPECT_EQ(theApp().Runs().refreshRequest.load(), 0);  // taken by the run
    EXPECT_EQ(session->Outcome(), UpdateOutcome::Succeeded);
    EXPECT_EQ(Installed("A/a.lua"), "a");
}

// The rule for unknown add-ons.
class UnknownAddOnRule : public ::testing::Test {
  protected:
    void SetUp() override {
        theApp().ResetSharedState();
        theApp().SetProgramDir(dir.Path());
    }
    std::string Game(const std::string& below, const std::string& bytes = "x") {
        const fs::path p = game / "Interface" / below;
        fs::create_directories(p.parent_path());
        EXPECT_TRUE(platform::WriteFileAtomic(p, bytes));
        return p.string();
    }
    UnknownAddOnsQuestion Question() const {
        return {unknown, listed, game.string() + "/", (dir / "tmp").string() + "/"};
    }

    ScopedTempDir dir;
    fs::path game = dir / "game";
    std::vector<std::string> unknown, listed;
};

TEST_F(UnknownAddOnRule, DeleteModeAnswersFirstThenTheGroupsAreShown) {
    unknown = {Game("Foo/a.lua"), Game("Foo/b.lua"), Game("loose.txt")};
    std::vector<std::vector<AddOnGroup>> shown;
    auto show = [&](const std::vector<AddOnGroup>& groups) {
        shown.push_back(groups);
        return UnknownAddOnsDecision::Keep;
    };
    theApp().WriteProfileInt("Update", "DeleteMode", 1);
    EXPECT_EQ(DecideUnknownAddOns(Question(), show), UnknownAddOnsDecision::Isolate);
    theApp().WriteProfileInt("Update", "DeleteMode", 2);
    EXPECT_EQ(DecideUnknownAddOns(Question(), show), UnknownAddOnsDecision::Keep);
    EXPECT_TRUE(shown.empty());
    for (int mode : {0, 3}) {
        theApp().WriteProfileInt("Update", "DeleteMode", mode);
        EXPECT_EQ(DecideUnknownAddOns(Question(), show), UnknownAddOnsDecision::Keep);
    }
    ASSERT_EQ(shown.size(), 2u);
    ASSERT_EQ(shown[0].size(), 2u);
    EXPECT_EQ(shown[0][0].name, "Foo");
    EXPECT_EQ(shown[0][0].files, 2);
    EXPECT_EQ(shown[0][1].name, kOtherGroup);
    EXPECT_EQ(shown[0][1].files, 1);
    // Nobody to show them to: nothing of the player's is moved on a guess.
    EXPECT_EQ(AskUnknownAddOns(Question(), {}), UnknownAddOnsDecision::Keep);

    RememberUnknownAddOnsDecision(UnknownAddOnsDecision::Isolate);
    EXPECT_EQ(DeleteModeDecision(), UnknownAddOnsDecision::Isolate);
    RememberUnknownAddOnsDecision(UnknownAddOnsDecision::Keep);
    EXPECT_EQ(theApp().GetProfileInt("Update", "DeleteMode", 0), 2);
}

TEST_F(UnknownAddOnRule, NoGroupLeftIsolatesWithoutShowingAnything) {
    Game("Ours/info.ini", "X-Revision=Velmora\r\n");
    unknown = {Game("Ours/old.lua"), Game("Listed/old.lua"),
               (game / "Interface/Vanished/x.lua").string()};
    listed = {(dir / "tmp/Interface/listed/new.lua").string()};
    bool shown = false;
    EXPECT_EQ(DecideUnknownAddOns(Question(),
                                  [&](const std::vector<AddOnGroup>&) {
                                      shown = true;
                                      return UnknownAddOnsDecision::Keep;
                                  }),
              UnknownAddOnsDecision::Isolate);
    EXPECT_FALSE(shown);
}

// The grouping the question shows.
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

TEST(AddOnFolder, IsTheFirstFolderBelowInterface) {
    const std::string base = "/games/tvrn/";
    auto at = AddOnFolderOf("/games/tvrn/interface/Bags/sub/a.lua", base);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->name, "Bags");
    EXPECT_EQ(at->path, "/games/tvrn/interface/Bags");
    EXPECT_FALSE(AddOnFolderOf("/games/tvrn/Interface/loose.lua", base));
    EXPECT_FALSE(AddOnFolderOf("/games/tvrn/Other/Bags/a.lua", base));
    // The Interface folder below the game folder counts, not one an add-on has inside.
    at = AddOnFolderOf("/games/tvrn/Interface/Kit/Interface/x/y.lua", base);
    ASSERT_TRUE(at);
    EXPECT_EQ(at->name, "Kit");
}

TEST(AddOnFolder, ItsOwnInfoFileByExactNameAndOnlyWhenSmall) {
    ScopedTempDir dir;
    auto put = [&](const fs::path& p, const std::string& bytes) {
        fs::create_directories(p.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(p, bytes));
    };
    // Two description files that differ in letter case only: the exact name speaks, in
    // whatever order the folder lists them.
    put(dir / "A/info.ini", "X-Revision=Velmora\r\n");
    put(dir / "A/INFO.INI", "X-Revision=Someone\r\n");
    put(dir / "B/info.ini", "X-Revision=Someone\r\n");
    put(dir / "B/Info.ini", "X-Revision=Velmora\r\n");
    put(dir / "C/Info.Ini", "X-Revision = Velmora \r\n");
    EXPECT_TRUE(IsOurAddOnFolder(dir / "A"));
    EXPECT_FALSE(IsOurAddOnFolder(dir / "B"));
    EXPECT_TRUE(IsOurAddOnFolder(dir / "C"));
    EXPECT_FALSE(IsOurAddOnFolder(dir / "Missing"));

    // Up to the bound it is read; past it, it is no description file at all.
    std::string atBound = "X-Revision=Velmora\r\n";
    atBound.resize(kMaxAddOnInfoSize, '#');
    put(dir / "D/info.ini", atBound);
    EXPECT_TRUE(IsOurAddOnFolder(dir / "D"));
    put(dir / "E/info.ini", atBound + "#");
    EXPECT_FALSE(IsOurAddOnFolder(dir / "E"));
    EXPECT_FALSE(ReadAddOnInfoFile(dir / "E"));
    EXPECT_FALSE(ReadAddOnFolder(dir / "E", ArchiveFiles::Include));
}

}  // namespace
}  // namespace vm::test
