#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

class ChildProcessTest : public ::testing::Test {
  protected:
    void SetUp() override { savedPath = getenv("PATH") ? getenv("PATH") : ""; }
    void TearDown() override { setenv("PATH", savedPath.c_str(), 1); }
    fs::path Script(const std::string& name, const std::string& body) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << body;
        chmod(p.c_str(), 0755);
        return p;
    }
    std::string Read(const std::string& name) {
        return platform::ReadWholeFile(dir / name).value_or("<missing>");
    }
    vm::test::ScopedTempDir temp;
    const fs::path dir = temp.Path();
    std::string savedPath;
};

TEST_F(ChildProcessTest, RunsInTheGivenFolderWithArgumentsAndReportsHowItEnded) {
    fs::create_directories(dir / "work");
    auto prog = Script("prog", "#!/bin/sh\npwd > ../out.txt\necho \"$1\" >> ../out.txt\nexit 7\n");
    auto child = platform::ChildProcess::Spawn(prog, {"a b"}, dir / "work");
    ASSERT_TRUE(child);
    EXPECT_EQ(child->Wait(), 7);
    EXPECT_EQ(Read("out.txt"), fs::canonical(dir / "work").string() + "\na b\n");
    EXPECT_EQ(child->Wait(), -1);

    // A relative program name means the same file after the change of folder.
    fs::current_path(dir);
    auto relative = platform::ChildProcess::Spawn("prog", {"rel"}, dir / "work");
    ASSERT_TRUE(relative);
    EXPECT_EQ(relative->Wait(), 7);
    EXPECT_EQ(Read("out.txt"), fs::canonical(dir / "work").string() + "\nrel\n");
    fs::current_path("/");

    auto killed = platform::ChildProcess::Spawn(Script("k", "#!/bin/sh\nkill -9 $$\n"), {}, dir);
    ASSERT_TRUE(killed);
    EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
}

TEST_F(ChildProcessTest, WindowsExecutableRunsThroughWineOnlyWhenWineIsThere) {
    fs::path game = dir / "Tovrin.exe";
    std::ofstream(game, std::ios::binary) << "MZ\x90\x00";
    fs::create_directories(dir / "bin");
    setenv("PATH", (dir / "bin").c_str(), 1);

    int err = 0;
    EXPECT_FALSE(platform::ChildProcess::Spawn(game, {}, dir, &err));
    EXPECT_NE(err, 0);

    Script("bin/wine", "#!/bin/sh\necho \"$@\" > \"$PWD/wine.txt\"\n");
    auto child = platform::ChildProcess::Spawn(game, {"-x"}, dir);
    ASSERT_TRUE(child);
    EXPECT_EQ(child->Wait(), 0);
    EXPECT_EQ(Read("wine.txt"), game.string() + " -x\n");
}

TEST_F(ChildProcessTest, MissingProgramOrFolderFailsToStart) {
    int err = 0;
    EXPECT_FALSE(platform::ChildProcess::Spawn(dir / "nothing", {}, dir, &err));
    EXPECT_EQ(err, ENOENT);
    EXPECT_FALSE(platform::ChildProcess::Spawn(Script("p", "#!/bin/sh\n"), {}, dir / "no-dir"));
}

}  // namespace
