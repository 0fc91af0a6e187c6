// A run brings the game folder to the list from whatever an earlier list, a failure or a kill
// left: files that became folders and the reverse, a file listed twice, runs killed at any
// step along a seeded walk through list versions.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "archive/ZipArchive.h"
#include "platform/ChildProcess.h"
#include "platform/Md5.h"
#include "tests/support/TestPaths.h"
#include "tests/update/UpdateRunEnv.h"
#include "update/FileEntries.h"
#include "update/FileInstall.h"
#include "update/UpdateOutcome.h"

namespace fs = std::filesystem;
using vm::UpdateOutcome;

namespace {

constexpr int kSucceeded = static_cast<int>(UpdateOutcome::Succeeded);
constexpr int kFailed = static_cast<int>(UpdateOutcome::Failed);

using Tree = std::map<std::string, std::string>;  // path below Interface -> bytes

bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class UpdateConverge : public vm::test::UpdateRunEnv {
  protected:
    // Publishes files as the set TVRN on a mirror folder of its own (an earlier version's
    // files would stand in the way of this one's).
    void PublishVersion(const Tree& files) {
        std::error_code ec;
        fs::remove_all(mirror, ec);
        m_published = Publish(files);
    }

    // The same as PublishVersion, without the publisher's waits for the disk: a walk publishes
    // hundreds of versions.
    void ServeVersion(const Tree& files) {
        std::error_code ec;
        fs::remove_all(mirror, ec);
        const fs::path set = mirror / "TVRN";
        auto put = [](const fs::path& path, const std::string& bytes) {
            fs::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << bytes;
        };
        std::string list = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AddOns>\n";
        std::map<std::string, std::string> addOns;  // folder -> its file elements
        for (const auto& [path, bytes] : files) {
            put(set / "Interface" / path, bytes);
            put(set / "Interface" / (path + ".z"),
                vm::MakeZip({{fs::path(path).filename().string(), bytes}}).value());
            const std::size_t slash = path.find('/');
            const std::string element = "<File path=\"" + path.substr(slash + 1) +
                                        "\" checksum=\"" + platform::Md5Hex(bytes) + "\"/>\n";
            if (slash == std::string::npos)
                list += element;
            else
                addOns[path.substr(0, slash)] += element;
        }
        for (const auto& [folder, elements] : addOns)
            list += "<AddOn folder=\"" + folder + "\">\n" + elements + "</AddOn>\n";
        list += "</AddOns>\n";
        put(set / "filelist.xml.z", vm::MakeZip({{"filelist.xml", list}}).value());
        m_published.setFolder = "/TVRN";
        m_published.listChecksum = platform::Md5Hex(list);
    }

    // The regular files below Interface; anything else found there is listed as "<other>".
    Tree InstalledTree() const {
        Tree tree;
        const fs::path root = game / "Interface";
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end;
             it.increment(ec)) {
            const fs::file_status s = it->symlink_status();
            if (fs::is_directory(s)) continue;
            const std::string rel = it->path().lexically_relative(root).string();
            tree[rel] = fs::is_regular_file(s)
                            ? platform::ReadWholeFile(it->path()).value_or("<unreadable>")
                            : "<other>";
        }
        return tree;
    }

    // Files in the folder the run stages this game folder's downloads in.
    std::vector<std::string> Staged() const {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(work / "tmp"))
            if (e.is_directory() && e.path().parent_path().filename() == "staging")
                for (const auto& f : fs::recursive_directory_iterator(e.path()))
                    if (!f.is_directory())
                        out.push_back(f.path().lexically_relative(e.path()).string());
        std::sort(out.begin(), out.end());
        return out;
    }

    // Runs update_crash_probe against the published version; it dies at crash point killAt
    // (0: never). Its exit status, or 128 + the signal that ended it.
    int RunProbe(long killAt) {
        std::error_code ec;
        fs::remove(program / "probe.txt", ec);
        const std::vector<std::string> args = {
            game.string(),         program.string(),         server.Origin(),        "TVRN",
            m_published.setFolder, m_published.listChecksum, std::to_string(killAt),
        };
        int error = 0;
        std::optional<platform::ChildProcess> child = platform::ChildProcess::Spawn(
            vm::test::ProgramDir() / "update_crash_probe", args, work.Path(), &error);
        if (!child) {
            ADD_FAILURE() << "the probe did not start: " << error;
            return -1;
        }
        // A run that hangs is ended, and fails the test, instead of holding the suite.
        std::mutex lock;
        std::condition_variable ended;
        bool done = false;
        bool hung = false;
        const pid_t pid = child->Pid();
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> l(lock);
            if (!ended.wait_for(l, std::chrono::seconds(60), [&] { return done; })) {
                hung = true;
                ::kill(pid, SIGKILL);
            }
        });
        const int status = child->Wait();
        {
            std::lock_guard<std::mutex> g(lock);
            done = true;
        }
        ended.notify_all();
        watchdog.join();
        EXPECT_FALSE(hung) << "a run did not end within a minute";
        return status;
    }

    // What the last probe that lived to its end wrote: crash points passed, status lines.
    std::string ProbeReport() const {
        return platform::ReadWholeFile(program / "probe.txt").value_or("");
    }
    long ProbePoints() const { return std::atol(ProbeReport().c_str()); }

    // Walks `steps` random list versions from seed: each published, its runs killed at
    // random crash points zero to two times, often left at that before the next version
    // comes; a clean run then must reach the list exactly.
    void Walk(std::uint32_t seed, int steps) {
        std::mt19937 rng(seed);
        // Names at three depths, two of them equal but for case: a top-level file becomes an
        // add-on folder, a file deep in one a folder, a folder a file.
        const std::vector<std::string> names = {"x", "y", "X"};
        std::vector<std::string> universe;
        for (const std::string& a : names) {
            universe.push_back(a);
            for (const std::string& b : names) {
                universe.push_back(a + "/" + b);
                for (const std::string& c : names) universe.push_back(a + "/" + b + "/" + c);
            }
        }
        Tree version;
        long points = 20;  // crash points of a run with work to do, updated as runs end
        for (int step = 0; step < steps; ++step) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(step));
            Tree next;
            std::shuffle(universe.begin(), universe.end(), rng);
            for (const std::string& path : universe) {
                if (rng() % 100 >= 35) continue;
                const bool clash = std::any_of(next.begin(), next.end(), [&](const auto& kept) {
                    const std::string& k = kept.first;
                    return k.rfind(path + "/", 0) == 0 || path.rfind(k + "/", 0) == 0;
                });
                if (clash) continue;
                auto old = version.find(path);
                if (old != version.end() && rng() % 2 == 0) {
                    next[path] = old->second;
                    continue;
                }
                std::string bytes = "step " + std::to_string(step) + " " + path + "\n";
                bytes.append(rng() % 3000, static_cast<char>('a' + rng() % 26));
                next[path] = bytes;
            }
            if (next.empty()) next["y"] = "never empty";
            version = next;
            ServeVersion(version);

            const int kills = static_cast<int>(rng() % 3);
            for (int k = 0; k < kills; ++k) {
                const long at = 1 + static_cast<long>(rng() % static_cast<unsigned>(points + 4));
                const int status = RunProbe(at);
                if (status == 128 + SIGKILL) continue;
                // The run ended before that point: it must have done the whole job.
                ASSERT_EQ(status, 0) << ProbeReport();
                points = std::max(ProbePoints(), 8L);
            }
            if (rng() % 2 == 0 && step + 1 < steps) continue;
            ASSERT_EQ(RunProbe(0), 0) << ProbeReport();
            if (ProbePoints() > 0) points = std::max(ProbePoints(), 8L);
            ASSERT_EQ(InstalledTree(), version) << ProbeReport();
        }
    }

    vm::PublishResult m_published;
};

TEST_F(UpdateConverge, FileBecomesFolderAndBackAtEveryDepth) {
    // DeleteMode answers no: only what stands in the way of the list is moved aside.
    m_confirmDelete = 0;
    PublishVersion({{"x", "top file"}, {"A/b/c", "deep file"}, {"A/keep.lua", "keep"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded) << LastStatus();

    PublishVersion({{"x/y.lua", "now a folder"}, {"A/b", "now a file"}, {"A/keep.lua", "keep"}});
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(InstalledTree(),
              (Tree{{"x/y.lua", "now a folder"}, {"A/b", "now a file"}, {"A/keep.lua", "keep"}}));
    // What stood in the way is kept aside, not lost.
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/x"), "top file");
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/A/b/c"), "deep file");
    // The staging folder holds this list's files only.
    EXPECT_EQ(Staged(), (std::vector<std::string>{"Interface/A/b", "Interface/A/keep.lua",
                                                  "Interface/x/y.lua"}));

    // And back: the obsolete folder's older copies give way too.
    PublishVersion({{"x", "file again"}, {"A/b/c", "deep again"}, {"A/keep.lua", "keep"}});
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(InstalledTree(),
              (Tree{{"x", "file again"}, {"A/b/c", "deep again"}, {"A/keep.lua", "keep"}}));
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/x/y.lua"), "now a folder");
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/A/b"), "now a file");

    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
}

TEST_F(UpdateConverge, FileThatCannotBeInstalledStillLetsDroppedFilesGo) {
    m_confirmDelete = 1;
    PublishVersion({{"A/a.lua", "old"}, {"Gone/g.lua", "dropped next"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    // The game's own login.xml stands where the next list wants a folder: it never moves.
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface/login.xml", "<Ui/>"));
    PublishVersion({{"A/a.lua", "new"}, {"login.xml/evil.lua", "x"}, {"Z/z.lua", "z"}});
    Run();
    EXPECT_EQ(Outcome(), kFailed);
    const auto s = Statuses();
    EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](const std::string& line) {
        return line.rfind("无法安装文件：Interface/login.xml/evil.lua（", 0) == 0;
    }));
    EXPECT_TRUE(Has(s, "提交更新时发生错误，请尝试重新更新。"));
    EXPECT_EQ(LastStatus(), "更新失败。");
    // The files before and after the one that failed are in, the dropped one is aside.
    EXPECT_EQ(Installed("A/a.lua"), "new");
    EXPECT_EQ(Installed("Z/z.lua"), "z");
    EXPECT_EQ(Installed("login.xml"), "<Ui/>");
    EXPECT_FALSE(fs::exists(game / "Interface/Gone"));
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/Gone/g.lua"), "dropped next");
}

TEST_F(UpdateConverge, AddOnFolderRenamedInCaseLeavesNoOldCopyOfOurs) {
    m_confirmDelete = 0;
    const std::string ours = "X-Revision=Velmora\r\n";
    PublishVersion({{"Bags/info.ini", ours}, {"Bags/a.lua", "a"}, {"Mine/m.lua", "m"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    fs::create_directories(game / "Interface/MINE");
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface/MINE/notes.txt", "the player's"));
    PublishVersion({{"bags/info.ini", ours}, {"bags/a.lua", "a2"}, {"mine/m.lua", "m"}});
    Run();
    EXPECT_EQ(Outcome(), kSucceeded) << LastStatus();
    // Our add-on's old spelling goes; a folder without our mark is the player's and stays.
    EXPECT_EQ(InstalledTree(), (Tree{{"bags/info.ini", ours},
                                     {"bags/a.lua", "a2"},
                                     {"mine/m.lua", "m"},
                                     {"MINE/notes.txt", "the player's"},
                                     {"Mine/m.lua", "m"}}));
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/Bags/a.lua"), "a");
}

TEST_F(UpdateConverge, ListedFileSeenUnderASecondSpellingStays) {
    m_confirmDelete = 1;
    PublishVersion({{"Foo/a.lua", "a"}});
    Run();
    ASSERT_EQ(Outcome(), kSucceeded);
    // The player's link for a program that asks for another spelling, as a folder that
    // ignores case would answer to it.
    fs::create_symlink("Foo", game / "Interface/FOO");
    for (int run = 0; run < 2; ++run) {
        Run();
        EXPECT_EQ(Outcome(), kSucceeded);
        EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
        EXPECT_EQ(Installed("Foo/a.lua"), "a");
        EXPECT_TRUE(m_offered.empty());
    }
}

TEST(FileInstall, LinkingOverASecondNameOfTheSameFileLeavesNoSibling) {
    vm::test::ScopedTempDir dir;
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "staged", "bytes"));
    ASSERT_TRUE(vm::InstallFile(dir / "staged", dir / "game/f.lua"));
    ASSERT_TRUE(vm::InstallFile(dir / "staged", dir / "game/f.lua"));
    ASSERT_TRUE(vm::LinkReplacing(dir / "staged", dir / "game/f.lua", vm::WriteTime::Keep));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "game"))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"f.lua"});
    // A folder in the way is never linked over.
    fs::create_directories(dir / "game/d/inner");
    EXPECT_FALSE(vm::LinkReplacing(dir / "staged", dir / "game/d", vm::WriteTime::Now));
    EXPECT_TRUE(fs::is_directory(dir / "game/d/inner"));
}

TEST(FileInstall, MakingWayMovesWhatStandsThereAside) {
    vm::test::ScopedTempDir dir;
    const fs::path game = dir / "game";
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "staged", "new"));
    fs::create_directories(game / "Interface/A/b/c");
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface/A/b/c/d.lua", "d"));
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface/A/b/e.lua", "e"));
    ASSERT_TRUE(platform::WriteFileAtomic(game / "Interface/T", "t"));
    std::vector<std::string> moved;
    const vm::MoveAsideCall aside = [&](const std::string& path) {
        moved.push_back(fs::path(path).lexically_relative(game).string());
        return vm::MoveToObsolete(path, game.string() + "/").ok;
    };
    // A folder where a file goes: emptied, deepest first, and removed.
    ASSERT_TRUE(vm::MakeWayFor(game / "Interface/A/b", game.string() + "/", aside));
    EXPECT_EQ(moved, (std::vector<std::string>{"Interface/A/b/c/d.lua", "Interface/A/b/e.lua"}));
    EXPECT_TRUE(fs::is_directory(game / "Interface/A"));
    EXPECT_FALSE(fs::exists(game / "Interface/A/b"));
    ASSERT_TRUE(vm::InstallFile(dir / "staged", game / "Interface/A/b"));
    // A file where a folder goes.
    moved.clear();
    ASSERT_TRUE(vm::MakeWayFor(game / "Interface/T/U/v.lua", game.string() + "/", aside));
    EXPECT_EQ(moved, std::vector<std::string>{"Interface/T"});
    EXPECT_TRUE(fs::is_directory(game / "Interface/T/U"));
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface.obsoleted/T"), "t");
    // What cannot be moved keeps the way closed, and says so.
    const vm::MoveAsideCall refuse = [](const std::string&) {
        errno = EPERM;
        return false;
    };
    EXPECT_FALSE(vm::MakeWayFor(game / "Interface/A/b/x.lua", game.string() + "/", refuse));
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(platform::ReadWholeFile(game / "Interface/A/b"), "new");
}

TEST(FileInstall, PruningKeepsOnlyTheListedFiles) {
    vm::test::ScopedTempDir dir;
    const fs::path root = dir / "staging";
    for (const char* path : {"Interface/a", "Interface/b/c", "Interface/b/old", "Interface/d/e",
                             "Interface/f.vmnew.AbC123", "Interface/g/h/i"}) {
        fs::create_directories((root / path).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(root / path, "x"));
    }
    fs::create_directories(root / "Interface/empty");
    // a was a file and is now a folder, d/e's folder is now a file, g is gone.
    vm::PruneFolder(root, {"Interface/a/new", "Interface/b/c", "Interface/d"});
    std::vector<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(root))
        left.push_back(e.path().lexically_relative(root).string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Interface", "Interface/b", "Interface/b/c"}));
}

// The list with one more entry element in its document, published as it is.
void AddToList(const fs::path& mirrorSet, const std::string& element, vm::PublishResult& r) {
    const fs::path packed = mirrorSet / "filelist.xml.z";
    const std::string archive = platform::ReadWholeFile(packed).value_or("");
    std::string list = vm::ReadZipEntry(archive, "filelist.xml").value_or("");
    const std::size_t end = list.rfind("</");
    ASSERT_NE(end, std::string::npos);
    list.insert(end, element + "\n");
    const auto zip = vm::MakeZip({{"filelist.xml", list}});
    ASSERT_TRUE(zip);
    ASSERT_TRUE(platform::WriteFileAtomic(packed, *zip));
    r.listChecksum = platform::Md5Hex(list);
    vm::theApp().PublishedState().expectedListChecksum.Set(r.listChecksum);
}

TEST_F(UpdateConverge, FileListedTwiceIsFetchedOnceAndLeavesNoSibling) {
    PublishVersion({{"A/a.lua", "twice"}});
    // The same file again, as a top-level entry naming the add-on's file.
    AddToList(mirror / "TVRN",
              "<File path=\"A/a.lua\" checksum=\"" + platform::Md5Hex("twice") + "\"/>",
              m_published);
    Run();
    ASSERT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(InstalledTree(), (Tree{{"A/a.lua", "twice"}}));
    EXPECT_EQ(server.RequestsTo("/TVRN/Interface/A/a.lua.z").size() +
                  server.RequestsTo("/TVRN/Interface/A/a.lua").size(),
              1u);

    for (int run = 0; run < 2; ++run) {
        server.ClearRequests();
        Run();
        EXPECT_EQ(Outcome(), kSucceeded);
        EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
        EXPECT_TRUE(server.RequestsTo("/TVRN/Interface/A/a.lua.z").empty());
        EXPECT_EQ(InstalledTree(), (Tree{{"A/a.lua", "twice"}}));
    }
}

TEST_F(UpdateConverge, ContradictingEntriesTakeTheFirstAndSettle) {
    // A list's entries go top-level files, regular add-ons, optional add-ons: the first one
    // naming a path is the one kept.
    PublishVersion({{"A/a.lua", "add-on's"}, {"B/b", "a file"}, {"C/c.lua", "c"}});
    AddToList(mirror / "TVRN",
              "<File path=\"A/a.lua\" checksum=\"" + platform::Md5Hex("top's") + "\"/>\n" +
                  "<AddOn folder=\"B\" X-Velmora-Option=\"1\"><File path=\"b/inner.lua\" " +
                  "checksum=\"" + platform::Md5Hex("inner") + "\"/></AddOn>",
              m_published);
    ASSERT_TRUE(platform::WriteFileAtomic(mirror / "TVRN/Interface/A/a.lua", "top's"));
    fs::remove(mirror / "TVRN/Interface/A/a.lua.z");
    Run();
    ASSERT_EQ(Outcome(), kSucceeded) << LastStatus();
    EXPECT_EQ(InstalledTree(), (Tree{{"A/a.lua", "top's"}, {"B/b", "a file"}, {"C/c.lua", "c"}}));
    Run();
    EXPECT_EQ(Outcome(), kSucceeded);
    EXPECT_EQ(LastStatus(), "没有需要更新的文件。");
}

TEST(FileEntries, ConflictingEntriesKeepTheFirst) {
    std::vector<vm::tagFILEINFO> entries = {
        {"r", "Interface/a", "1"},   {"r", "Interface/b/c", "2"}, {"r", "Interface/a", "1"},
        {"r", "Interface/a", "9"},   {"r", "Interface/a/d", "3"}, {"r", "Interface/b", "4"},
        {"r", "Interface/b/e", "5"},
    };
    EXPECT_EQ(vm::DropConflictingEntries(entries), 4u);
    EXPECT_EQ(entries, (std::vector<vm::tagFILEINFO>{{"r", "Interface/a", "1"},
                                                     {"r", "Interface/b/c", "2"},
                                                     {"r", "Interface/b/e", "5"}}));
}

// Each walk publishes 50 versions; runs are killed at seeded crash points along the way.
TEST_F(UpdateConverge, KilledRunsConvergeAlongSeededListVersions1) {
    Walk(1, 50);
}
TEST_F(UpdateConverge, KilledRunsConvergeAlongSeededListVersions2) {
    Walk(20261209, 50);
}
TEST_F(UpdateConverge, KilledRunsConvergeAlongSeededListVersions3) {
    Walk(0xC0FFEE, 50);
}
TEST_F(UpdateConverge, KilledRunsConvergeAlongSeededListVersions4) {
    Walk(4242, 50);
}

}  // namespace
