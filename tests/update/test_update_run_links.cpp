// The update run's messages in order, and its care with linked add-on folders, the run lock,
// the scan of each run, the staging folder, a cancel while installing and install leftovers.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "app/TemporaryFolder.h"
#include "platform/FileAttributes.h"
#include "platform/Md5.h"
#include "tests/update/UpdateRunEnv.h"
#include "update/ChecksumMap.h"
#include "update/DiskComparison.h"
#include "update/InterfaceWalk.h"
#include "update/UpdateOutcome.h"
#include "update/UpdateRunLock.h"

namespace fs = std::filesystem;
using vm::theApp;
using vm::UpdateOutcome;

namespace {

constexpr int kSucceeded = static_cast<int>(UpdateOutcome::Succeeded);
constexpr int kCancelled = static_cast<int>(UpdateOutcome::Cancelled);

using Kind = vm::test::RecordingTarget::Entry::Kind;

// "S:" or "P:" and the message: the status text (statuses, in the order they came; a
// status's text lives only during its Send), the progress pair or the name.
std::vector<std::string> Trace(const vm::test::RecordingTarget& target,
                               const std::vector<std::string>& statuses) {
    std::vector<std::string> out;
    std::size_t nextStatus = 0;
    for (const auto& e : target.Entries()) {
        const vm::Message& m = e.message;
        std::string line = e.kind == Kind::Send ? "S:" : "P:";
        switch (m.id) {
            case vm::WM_VM_STATUS:
                line += "status " + (nextStatus < statuses.size() ? statuses[nextStatus++] : "?");
                break;
            case vm::WM_VM_TOTAL_PROGRESS:
                line += "total " + std::to_string(m.wParam) + "/" + std::to_string(m.lParam);
                break;
            case vm::WM_VM_FILE_PROGRESS:
                line += "file";
                break;
            case vm::WM_VM_FILES_CHANGED:
                line += "files changed";
                break;
            case vm::WM_VM_CONFIRM_DELETE:
                line += "confirm delete";
                break;
            case vm::WM_VM_UPDATE_END:
                line += "end " + std::to_string(m.wParam);
                break;
            default:
                line += "message " + std::to_string(m.id);
        }
        // The file bar's steps depend on how the bytes arrive; one mark per run of them.
        if (line == "P:file" && !out.empty() && out.back() == "P:file") continue;
        out.push_back(line);
    }
    return out;
}

class UpdateRunLinks : public vm::test::UpdateRunEnv {
  protected:
    void Put(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(path, bytes));
    }
    bool Has(const std::string& status) {
        const auto s = Statuses();
        return std::find(s.begin(), s.end(), status) != s.end();
    }
    // Starts a scan and a run as the window does, without waiting for them.
    void Start(std::function<void(const vm::tagFILEINFO&)> onInstalled = {}) {
        target->Clear();
        g_cancelUpdate.store(0);
        vm::CChecksumThread::NewGeneration();
        auto scan = std::make_unique<vm::CChecksumThread>();
        scan->m_gameFolder = game.string() + "/";
        ASSERT_TRUE(vm::CWorkerThread::Start(std::move(scan)));
        auto run = std::make_unique<vm::CUpdateThread>();
        run->m_pMainWnd = target;
        run->m_onInstalled = std::move(onInstalled);
        ASSERT_TRUE(vm::CWorkerThread::Start(std::move(run)));
    }
    void WaitForWorkers() {
        for (int i = 0; i < 3000 && vm::CWorkerThread::LiveCount() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(vm::CWorkerThread::LiveCount(), 0);
    }
};

TEST_F(UpdateRunLinks, MessagesComeInTheOrderOfARunWithAndWithoutChanges) {
    Publish({{"A/a.lua", "print('a')"}, {"B/b.lua", "print('b')"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    // Sends where the answer matters to the order, posts for the file bar and the ends.
    EXPECT_EQ(Trace(*target, Statuses()), (std::vector<std::string>{
                                              "S:status 检测需要更新的文件...",
                                              "S:status 更新文件：a.lua",
                                              "S:total 0/2",
                                              "P:file",
                                              "S:status 更新文件：b.lua",
                                              "S:total 1/2",
                                              "P:file",
                                              "P:files changed",
                                              "S:status 更新完成。",
                                              "P:end 0",
                                          }));

    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(Trace(*target, Statuses()), (std::vector<std::string>{
                                              "S:status 检测需要更新的文件...",
                                              "S:status 没有需要更新的文件。",
                                              "P:end 0",
                                          }));
}

TEST_F(UpdateRunLinks, TheSessionGivesTheWindowTheWorkersMessagesInTheirOrder) {
    Publish({{"A/a.lua", "print('a')"}, {"B/b.lua", "print('b')"}});
    std::vector<std::vector<std::string>> traces;
    std::vector<std::vector<std::string>> offered;
    for (Through through : {Through::Workers, Through::Session}) {
        // The same start each time: nothing installed, staged or cached.
        for (const fs::path& p :
             {game / "Interface", game / "Interface.obsoleted", fs::path(vm::TemporaryFolder())})
            fs::remove_all(p);
        Put(game / "Interface/Mine/m.lua", "m");
        m_offered.clear();
        Run(through);
        ASSERT_EQ(Outcome(), kSucceeded);
        traces.push_back(Trace(*target, Statuses()));
        offered.push_back(m_offered);
    }
    EXPECT_EQ(traces[0], traces[1]);
    EXPECT_EQ(traces[1], (std::vector<std::string>{
                             "S:status 检测需要更新的文件...",
                             "S:status 更新文件：a.lua",
                             "S:total 0/2",
                             "P:file",
                             "S:status 更新文件：b.lua",
                             "S:total 1/2",
                             "P:file",
                             "S:confirm delete",
                             "P:files changed",
                             "S:status 更新完成。",
                             "P:end 0",
                         }));
    EXPECT_EQ(offered[1], std::vector<std::string>{(game / "Interface/Mine/m.lua").string()});
    EXPECT_EQ(offered[0], offered[1]);
}

TEST_F(UpdateRunLinks, AddOnFolderLinkedFromOutsideIsCurrentAndNeverWrittenThrough) {
    Publish({{"Shared/s.lua", "shared"}, {"A/a.lua", "a"}});
    // Another install's add-on folder, linked in the way players share add-ons.
    const fs::path elsewhere = work / "other-install/Interface/Shared";
    Put(elsewhere / "s.lua", "shared");
    fs::create_directories(game / "Interface");
    fs::create_directory_symlink(elsewhere, game / "Interface/Shared");

    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_FALSE(Has("更新文件：s.lua"));
    Run();
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");

    // A file there that the list no longer carries is not offered, not moved.
    Put(elsewhere / "old.lua", "old");
    m_confirmDelete = 1;
    Run();
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
    EXPECT_TRUE(fs::exists(elsewhere / "old.lua"));

    // A stale file there is left as it is: the other install owns it.
    Put(elsewhere / "s.lua", "changed by the other install");
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(platform::ReadWholeFile(elsewhere / "s.lua"), "changed by the other install");
    EXPECT_TRUE(fs::is_symlink(game / "Interface/Shared"));
    EXPECT_EQ(LastStatus(), "更新完成，但有1个文件位于链接到游戏目录之外的文件夹中，没有更新。");
}

TEST_F(UpdateRunLinks, LinkInsideTheGameFolderIsFollowedAndALoopEnds) {
    Publish({{"Linked/l.lua", "l"}});
    Put(game / "Store/Linked/l.lua", "l");
    fs::create_directories(game / "Interface");
    fs::create_directory_symlink(game / "Store/Linked", game / "Interface/Linked");
    // A link back up the tree must not make the walk endless.
    fs::create_directory_symlink(game / "Interface", game / "Store/Linked/up");
    Run();
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");

    // Walked by the comparison's own rule too: the link's files count, the loop is cut.
    const auto files = vm::WalkInterfaceFiles(game.string() + "/");
    EXPECT_EQ(files, (std::vector<std::string>{(game / "Interface/Linked/l.lua").string()}));
}

TEST_F(UpdateRunLinks, ClearingAttributesNeverTouchesALinksTarget) {
    Put(work / "outside/t.lua", "t");
    ::chmod((work / "outside/t.lua").c_str(), 0444);
    fs::create_symlink(work / "outside/t.lua", work / "link.lua");
    EXPECT_TRUE(platform::ClearFileAttributes(work / "link.lua"));
    struct stat st {};
    ASSERT_EQ(::stat((work / "outside/t.lua").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST_F(UpdateRunLinks, LeftoverInstallSiblingsAreRemovedNotOffered) {
    Publish({{"A/a.lua", "a"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    Put(game / "Interface/A/a.lua.vmnew.4242.0", "half");
    Put(game / "Interface/A/a.lua.vmnew.Xy12Ab", "half");
    Put(game / "Interface/A/notes.vmnew.txt", "a user's file");  // not one of ours
    m_confirmDelete = 0;
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(m_offered, std::vector<std::string>{(game / "Interface/A/notes.vmnew.txt").string()});
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua.vmnew.4242.0"));
    EXPECT_FALSE(fs::exists(game / "Interface/A/a.lua.vmnew.Xy12Ab"));
    EXPECT_TRUE(fs::exists(game / "Interface/A/notes.vmnew.txt"));
}

TEST_F(UpdateRunLinks, CancelWhileInstallingStopsBeforeTheRemovalStep) {
    Publish({{"A/a.lua", "a"}, {"A/b.lua", "b"}, {"A/c.lua", "c"}});
    Put(game / "Interface/Old/info.ini", "X-Revision=Velmora\n");
    Put(game / "Interface/Old/o.lua", "o");
    m_confirmDelete = 1;
    Start([](const vm::tagFILEINFO&) { g_cancelUpdate.store(1); });
    WaitForWorkers();
    EXPECT_EQ(Outcome(), kCancelled);
    EXPECT_EQ(LastStatus(), "更新已经取消。");
    EXPECT_TRUE(target->Of(vm::WM_VM_CONFIRM_DELETE).empty());
    EXPECT_TRUE(fs::exists(game / "Interface/Old/o.lua"));
    EXPECT_EQ(Installed("A/a.lua"), "a");  // installed before the cancel, kept
    EXPECT_FALSE(fs::exists(game / "Interface/A/c.lua"));
}

TEST_F(UpdateRunLinks, AnEarlierRunsScanNeverSignalsForTheNextRun) {
    // The first run's scan (old generation) starts late; the next run has begun meanwhile.
    vm::CChecksumThread::NewGeneration();
    auto old = std::make_unique<vm::CChecksumThread>();
    old->m_gameFolder = game.string() + "/";
    Put(game / "Interface/A/a.lua", "a");
    vm::CChecksumThread::NewGeneration();  // the next run
    g_cancelUpdate.store(0);
    ASSERT_TRUE(vm::CWorkerThread::Start(std::move(old)));
    WaitForWorkers();
    EXPECT_FALSE(g_scanDone.IsSet());  // the old scan ended without a word for this run

    auto current = std::make_unique<vm::CChecksumThread>();
    current->m_gameFolder = game.string() + "/";
    ASSERT_TRUE(vm::CWorkerThread::Start(std::move(current)));
    ASSERT_TRUE(g_scanDone.WaitFor(std::chrono::seconds(30)));
    EXPECT_EQ(vm::ChecksumMap::Instance().Find((game / "Interface/A/a.lua").string()),
              platform::Md5Hex("a"));
}

int NoLocks(int, int) {
    errno = ENOLCK;
    return -1;
}

TEST_F(UpdateRunLinks, FolderWithoutLocksFallsBackToAPrivateLock) {
    auto first = vm::UpdateRunLock::TryAcquire(game.string() + "/", NoLocks);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->UsesFallback());
    // The fallback still keeps a second run out, and frees the folder when released.
    EXPECT_FALSE(vm::UpdateRunLock::TryAcquire(game.string() + "/", NoLocks));
    first.reset();
    auto again = vm::UpdateRunLock::TryAcquire(game.string() + "/", NoLocks);
    EXPECT_TRUE(again);
    // A folder that is simply locked by another run is still refused outright.
    auto held = vm::UpdateRunLock::TryAcquire(work.Path().string());
    ASSERT_TRUE(held);
    EXPECT_FALSE(held->UsesFallback());
    EXPECT_FALSE(vm::UpdateRunLock::TryAcquire(work.Path().string()));
}

TEST_F(UpdateRunLinks, TwoGameFoldersNeverShareAStagedFile) {
    Publish({{"A/a.lua", "version one"}});
    // The run waits at the commit gate once its file has arrived; meanwhile another install
    // of the game stages a different version of the same file in the temporary folder.
    theApp().Runs().commitGate.Reset();
    Start();
    const std::string shared = vm::TemporaryFolder() + "Interface/A/a.lua";
    for (int i = 0; i < 3000 && platform::ReadWholeFile(shared) != "version one"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(platform::WriteFileAtomic(shared, "another install's version"));
    theApp().Runs().commitGate.Set();
    WaitForWorkers();
    EXPECT_EQ(Outcome(), kSucceeded);
    // This folder's run installs what its own list says, from its own staged copy.
    EXPECT_EQ(Installed("A/a.lua"), "version one");
}

}  // namespace
