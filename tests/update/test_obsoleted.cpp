// What an update run moved into "Interface.obsoleted": listing it, moving entries back, and
// deleting them, including a process killed between two moves.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestPaths.h"
#include "update/ObsoletedAddOns.h"

namespace fs = std::filesystem;

namespace {

class Obsoleted : public ::testing::Test {
  protected:
    void Put(const std::string& below, const std::string& bytes) {
        const fs::path p = dir.Path() / below;
        fs::create_directories(p.parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(p, bytes));
    }
    std::string Read(const std::string& below) const {
        return platform::ReadWholeFile(dir.Path() / below).value_or("<missing>");
    }
    bool Exists(const std::string& below) const {
        std::error_code ec;
        return fs::symlink_status(dir.Path() / below, ec).type() != fs::file_type::not_found;
    }
    std::string Game() const { return dir.Path().string() + "/"; }

    vm::test::ScopedTempDir dir;
};

TEST_F(Obsoleted, ListsEachAddOnWithItsFilesSizeAndTime) {
    EXPECT_TRUE(vm::ListObsoleted(Game()).empty());  // no folder at all
    Put("Interface.obsoleted/Foo/a.lua", "12345");
    Put("Interface.obsoleted/Foo/sub/b.lua", "123");
    Put("Interface.obsoleted/Bar/c.lua", "");
    Put("Interface.obsoleted/loose.xml", "1234567");
    Put("Interface.obsoleted/.vmpurge.Gone/x.lua", "x");  // an interrupted purge
    const time_t before = ::time(nullptr) - 5;

    const std::vector<vm::ObsoletedEntry> entries = vm::ListObsoleted(Game());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "Bar");
    EXPECT_EQ(entries[1].name, "Foo");
    EXPECT_EQ(entries[2].name, "loose.xml");
    EXPECT_TRUE(entries[1].folder);
    EXPECT_FALSE(entries[2].folder);
    EXPECT_EQ(entries[0].files, 1u);
    EXPECT_EQ(entries[1].files, 2u);
    EXPECT_EQ(entries[1].bytes, 8u);
    EXPECT_EQ(entries[2].files, 1u);
    EXPECT_EQ(entries[2].bytes, 7u);
    for (const auto& e : entries) EXPECT_GE(e.movedAt, before) << e.name;
}

TEST_F(Obsoleted, RestoreMovesTheWholeAddOnBackAndRefusesToOverwrite) {
    Put("Interface.obsoleted/Foo/a.lua", "foo-a");
    Put("Interface.obsoleted/Foo/sub/b.lua", "foo-b");
    Put("Interface.obsoleted/Bar/c.lua", "obsolete-bar");
    Put("Interface.obsoleted/loose.xml", "loose");
    Put("Interface/BAR/c.lua", "installed-bar");  // the same name to the game

    // Interface has no Foo: the folder moves back as it is, inode and all.
    struct stat before {};
    ASSERT_EQ(::stat((dir.Path() / "Interface.obsoleted/Foo/a.lua").c_str(), &before), 0);
    vm::ObsoletedResult r = vm::RestoreObsoleted(Game(), "Foo");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Read("Interface/Foo/a.lua"), "foo-a");
    EXPECT_EQ(Read("Interface/Foo/sub/b.lua"), "foo-b");
    EXPECT_FALSE(Exists("Interface.obsoleted/Foo"));
    struct stat after {};
    ASSERT_EQ(::stat((dir.Path() / "Interface/Foo/a.lua").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // renamed, not copied

    // Interface holds "BAR": neither copy is touched.
    r = vm::RestoreObsoleted(Game(), "Bar");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("BAR"), std::string::npos) << r.error;
    EXPECT_EQ(Read("Interface/BAR/c.lua"), "installed-bar");
    EXPECT_EQ(Read("Interface.obsoleted/Bar/c.lua"), "obsolete-bar");

    r = vm::RestoreObsoleted(Game(), "loose.xml");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Read("Interface/loose.xml"), "loose");

    // The last entry gone, the folder goes too.
    Put("Interface/Bar2/keep.lua", "x");
    ASSERT_TRUE(vm::PurgeObsoleted(Game(), "Bar").ok);
    EXPECT_FALSE(Exists("Interface.obsoleted"));
}

TEST_F(Obsoleted, NamesThatAreNotOneEntryAreRefused) {
    Put("Interface.obsoleted/Foo/a.lua", "a");
    Put("Interface/x.lua", "x");
    Put("outside/secret.txt", "secret");
    for (const char* name : {"", ".", "..", "../outside", "Foo/a.lua", "Missing", ".vmpurge.Foo"}) {
        EXPECT_FALSE(vm::RestoreObsoleted(Game(), name).ok) << name;
        EXPECT_FALSE(vm::PurgeObsoleted(Game(), name).ok) << name;
    }
    EXPECT_EQ(Read("Interface.obsoleted/Foo/a.lua"), "a");
    EXPECT_EQ(Read("outside/secret.txt"), "secret");
    EXPECT_EQ(Read("Interface/x.lua"), "x");
}

TEST_F(Obsoleted, RestoreCreatesAMissingInterfaceFolder) {
    Put("Interface.obsoleted/Foo/a.lua", "a");
    ASSERT_TRUE(vm::RestoreObsoleted(Game(), "Foo").ok);
    EXPECT_EQ(Read("Interface/Foo/a.lua"), "a");
}

TEST_F(Obsoleted, PurgeDeletesWithoutFollowingLinks) {
    Put("Interface.obsoleted/Foo/a.lua", "a");
    Put("elsewhere/keep.txt", "keep");
    fs::create_directory_symlink(dir.Path() / "elsewhere",
                                 dir.Path() / "Interface.obsoleted/Foo/link");
    Put("Interface.obsoleted/Bar/b.lua", "b");
    Put("Interface.obsoleted/.vmpurge.Old/x.lua", "x");

    const vm::ObsoletedResult r = vm::PurgeObsoleted(Game(), "Foo");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(Exists("Interface.obsoleted/Foo"));
    EXPECT_FALSE(Exists("Interface.obsoleted/.vmpurge.Foo"));
    EXPECT_FALSE(Exists("Interface.obsoleted/.vmpurge.Old"));  // an earlier purge's rest
    EXPECT_EQ(Read("elsewhere/keep.txt"), "keep");
    EXPECT_EQ(Read("Interface.obsoleted/Bar/b.lua"), "b");
}

// The probe, killed once it has moved the first of its entries.
class KilledBetweenMoves : public Obsoleted {
  protected:
    // Runs the probe over names; returns the lines it printed before it was killed.
    std::string RunAndKill(const std::vector<std::string>& args) {
        int out[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) return "pipe";
        std::vector<std::string> argv = {(vm::test::ProgramDir() / "obsoleted_probe").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::execv(cargv[0], cargv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        // The first line comes once the first move is done; the probe then waits for us.
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(out[0]);
        ::close(in[1]);
        EXPECT_TRUE(WIFSIGNALED(status));
        return line;
    }

    void PutAddOns() {
        for (const char* name : {"A", "B", "C"})
            for (const char* file : {"x.lua", "sub/y.lua", "sub/deeper/z.xml"})
                Put(std::string("Interface.obsoleted/") + name + "/" + file,
                    std::string(name) + file);
    }

    // Every add-on whole, in exactly one of the two places; returns where each lies.
    std::map<std::string, std::string> Places() {
        std::map<std::string, std::string> places;
        for (const char* name : {"A", "B", "C"}) {
            int found = 0;
            for (const char* place : {"Interface", "Interface.obsoleted"}) {
                const std::string base = std::string(place) + "/" + name + "/";
                if (!Exists(base)) continue;
                ++found;
                places[name] = place;
                for (const char* file : {"x.lua", "sub/y.lua", "sub/deeper/z.xml"})
                    EXPECT_EQ(Read(base + file), std::string(name) + file) << base + file;
            }
            EXPECT_EQ(found, 1) << name;
        }
        return places;
    }
};

TEST_F(KilledBetweenMoves, RestoreLeavesEveryAddOnWholeInOnePlace) {
    PutAddOns();
    EXPECT_EQ(RunAndKill({dir.Path().string(), "A", "B", "C"}), "moved A");
    const auto places = Places();
    EXPECT_EQ(places.at("A"), "Interface");
    EXPECT_EQ(places.at("B"), "Interface.obsoleted");
    EXPECT_EQ(places.at("C"), "Interface.obsoleted");
    // The rest can follow afterwards.
    EXPECT_TRUE(vm::RestoreObsoleted(Game(), "B").ok);
    EXPECT_TRUE(vm::RestoreObsoleted(Game(), "C").ok);
    EXPECT_EQ(Places().at("C"), "Interface");
}

TEST_F(KilledBetweenMoves, PurgeLeavesTheOthersWholeAndListable) {
    PutAddOns();
    EXPECT_EQ(RunAndKill({"--purge", dir.Path().string(), "A", "B"}), "moved A");
    EXPECT_FALSE(Exists("Interface.obsoleted/A"));
    const std::vector<vm::ObsoletedEntry> left = vm::ListObsoleted(Game());
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].name, "B");
    EXPECT_EQ(left[0].files, 3u);
    EXPECT_EQ(left[1].name, "C");
}

}  // namespace
