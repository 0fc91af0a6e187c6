#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "tests/support/ProgramSigning.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestPaths.h"

namespace fs = std::filesystem;

namespace {

fs::path Bin(const std::string& name) {
    return vm::test::BinDir() / name;
}

// Lines of "started.log" as (version, pid).
std::vector<std::pair<std::string, pid_t>> Started(const fs::path& dir) {
    std::vector<std::pair<std::string, pid_t>> out;
    std::istringstream in(platform::ReadWholeFile(dir / "started.log").value_or(""));
    std::string version;
    pid_t pid;
    while (in >> version >> pid) out.emplace_back(version, pid);
    return out;
}

bool WaitForStarts(const fs::path& dir, std::size_t n) {
    for (int i = 0; i < 500; ++i) {
        if (Started(dir).size() >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class Updater : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy_file(Bin("../tests/fake_client_v1"), dir / "Velmora-TVRN");
        fs::permissions(dir / "Velmora-TVRN", fs::perms(0750));
        fs::copy_file(Bin("../tests/fake_client_v2"), dir / "Velmora-TVRN.new");
        fs::permissions(dir / "Velmora-TVRN.new", fs::perms(0600));
        fs::copy_file(Bin("VMUpdate"), dir / "VMUpdate");
        v1 = platform::ReadWholeFile(dir / "Velmora-TVRN").value_or("");
        v2 = platform::ReadWholeFile(dir / "Velmora-TVRN.new").value_or("");
        ASSERT_NE(v1, v2);
        if (vm::test::SigningKey().empty()) GTEST_SKIP() << "built with release keys only";
        ASSERT_TRUE(vm::test::SignBeside(dir / "Velmora-TVRN.new", vm::ProgramRole::Client, "2"));
    }
    // The updater refused: the old program is in place and still running, never asked to end.
    void ExpectRefused(const std::string& sigText) {
        fs::remove(dir / "started.log");
        if (sigText.empty())
            fs::remove(dir / "Velmora-TVRN.new.sig");
        else
            ASSERT_TRUE(platform::WriteFileAtomic(dir / "Velmora-TVRN.new.sig", sigText));
        auto running = platform::ChildProcess::Spawn(dir / "Velmora-TVRN", {}, dir);
        ASSERT_TRUE(running);
        ASSERT_TRUE(WaitForStarts(dir, 1));
        EXPECT_EQ(RunUpdater(running->Pid()), 1);
        EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora-TVRN"), v1);
        EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora-TVRN.new"), v2);
        EXPECT_EQ(::kill(running->Pid(), 0), 0);
        ::kill(running->Pid(), SIGTERM);
        running->Wait();
        EXPECT_EQ(Started(dir).size(), 1u);
    }
    void TearDown() override {
        for (auto& [version, pid] : Started(dir)) ::kill(pid, SIGKILL);
    }
    int RunUpdater(pid_t pid, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{std::to_string(pid)};
        args.insert(args.end(), extra.begin(), extra.end());
        auto updater = platform::ChildProcess::Spawn(dir / "VMUpdate", args, dir);
        return updater ? updater->Wait() : -1;
    }

    vm::test::ScopedTempDir temp;
    fs::path dir = temp.Path();
    std::string v1, v2;
};

TEST_F(Updater, ReplacesTheRunningProgramAndStartsTheNewBuild) {
    auto running = platform::ChildProcess::Spawn(dir / "Velmora-TVRN", {}, dir);
    ASSERT_TRUE(running);
    ASSERT_TRUE(WaitForStarts(dir, 1));
    EXPECT_EQ(RunUpdater(running->Pid()), 0);
    EXPECT_EQ(running->Wait(), 128 + SIGTERM);  // asked to end, not killed
    EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora-TVRN"), v2);
    EXPECT_EQ(fs::status(dir / "Velmora-TVRN").permissions(), fs::perms(0750));
    EXPECT_FALSE(fs::exists(dir / "Velmora-TVRN.new"));
    EXPECT_FALSE(fs::exists(dir / "Velmora-TVRN.old"));
    EXPECT_FALSE(fs::exists(dir / "Velmora-TVRN.new.sig"));
    ASSERT_TRUE(WaitForStarts(dir, 2));
    EXPECT_EQ(Started(dir)[1].first, "v2");
}

TEST_F(Updater, ProgramThatIgnoresTheRequestIsKilledAfterTheGrace) {
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "ignore-term", ""));
    auto running = platform::ChildProcess::Spawn(dir / "Velmora-TVRN", {}, dir);
    ASSERT_TRUE(running);
    ASSERT_TRUE(WaitForStarts(dir, 1));
    EXPECT_EQ(RunUpdater(running->Pid(), {"--grace-ms", "200"}), 0);
    EXPECT_EQ(running->Wait(), 128 + SIGKILL);
    EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora-TVRN"), v2);
    EXPECT_TRUE(WaitForStarts(dir, 2));  // so that TearDown ends it too
}

TEST_F(Updater, NewFileThatIsNoProgramLeavesEverythingAsItWas) {
    ASSERT_TRUE(platform::WriteFileAtomic(dir / "Velmora-TVRN.new", "<html>not found</html>"));
    auto running = platform::ChildProcess::Spawn(dir / "Velmora-TVRN", {}, dir);
    ASSERT_TRUE(running);
    ASSERT_TRUE(WaitForStarts(dir, 1));
    EXPECT_EQ(RunUpdater(running->Pid()), 1);
    EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora-TVRN"), v1);
    EXPECT_EQ(::kill(running->Pid(), 0), 0);  // still running, never asked to end
    ::kill(running->Pid(), SIGTERM);
    running->Wait();
}

// The updater checks the signature itself: whoever started it, an unsigned or wrongly signed
// program never replaces ours.
TEST_F(Updater, NewProgramWithoutATrustedSignatureLeavesEverythingAsItWas) {
    const std::string good = platform::ReadWholeFile(dir / "Velmora-TVRN.new.sig").value();
    {
        SCOPED_TRACE("no signature");
        ExpectRefused("");
    }
    {
        SCOPED_TRACE("a key we do not trust");
        ASSERT_TRUE(vm::test::MakeUntrustedKey(temp / "other.pem"));
        ExpectRefused(vm::test::SignatureOf(dir / "Velmora-TVRN.new", vm::ProgramRole::Client, "2",
                                            temp / "other.pem"));
    }
    {
        SCOPED_TRACE("signed as the updater");
        ExpectRefused(
            vm::test::SignatureOf(dir / "Velmora-TVRN.new", vm::ProgramRole::Updater, "2"));
    }
    {
        SCOPED_TRACE("the signature of the old program");
        ExpectRefused(vm::test::SignatureOf(dir / "Velmora-TVRN", vm::ProgramRole::Client, "2"));
    }
    {
        SCOPED_TRACE("signature file too long");
        ExpectRefused(good + std::string(2000, '\n'));
    }
}

TEST_F(Updater, ProcessAlreadyGoneIsReplacedWithoutAStart) {
    auto gone = platform::ChildProcess::Spawn("/bin/true", {}, dir);
    ASSERT_TRUE(gone);
    const pid_t pid = gone->Pid();
    gone->Wait();
    EXPECT_EQ(RunUpdater(pid), 0);
    EXPECT_EQ(platform::ReadWholeFile(dir / "Velmora-TVRN"), v2);
    EXPECT_TRUE(Started(dir).empty());
    EXPECT_EQ(RunUpdater(0), 1);  // no process id at all
}

}  // namespace
