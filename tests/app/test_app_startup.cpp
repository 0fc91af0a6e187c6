#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/CVelmoraApp.h"
#include "platform/FileUtil.h"
#include "tests/support/ScopedTempDir.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

// Each test runs a copy of the probe program in a folder of its own, from another working
// directory, with its own runtime folder for the instance lock.
class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prog = root / "prog";
        runtime = root / "run";
        fs::create_directories(prog);
        fs::create_directories(runtime);
        fs::copy_file(VM_PROBE_PATH, prog / "probe");
        fs::permissions(prog / "probe", fs::perms::owner_all);
    }

    pid_t Start(std::vector<std::string> args, std::vector<std::string> env = {}) {
        env.push_back("XDG_RUNTIME_DIR=" + runtime.string());
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0) env.push_back(*e);
        args.insert(args.begin(), (prog / "probe").string());
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addchdir_np(&fa, "/");
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&fa);
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    int Run(std::vector<std::string> args, std::vector<std::string> env = {}) {
        return Wait(Start(std::move(args), std::move(env)));
    }
    std::string Log() { return platform::ReadWholeFile(prog / "probe.log").value_or(""); }
    bool WaitForLog(const std::string& text) {
        for (int i = 0; i < 1000; ++i) {
            if (Log().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void WriteIni(const std::string& s) { std::ofstream(prog / "Velmora.ini") << s; }

    vm::test::ScopedTempDir m_temp;
    fs::path root = m_temp.Path();
    fs::path prog, runtime;
};

TEST_F(StartupTest, ServerSwitchesEndWithoutLockSettingsOrWindows) {
    for (const char* sw :
         {"/Regserver", "-Unregserver", "-REGISTER", "/unregister", "-Embedding", "/automation"}) {
        EXPECT_EQ(Run({sw}), 0) << sw;
        EXPECT_EQ(Log(), "") << sw;
        EXPECT_FALSE(fs::exists(prog / "Velmora.ini")) << sw;
        EXPECT_TRUE(fs::is_empty(runtime)) << sw << ": the instance lock was taken";
    }
}

TEST_F(StartupTest, FirstStartAsksForAMirrorBeforeAnythingElse) {
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(Log(), "skin\nmirror\n") << "a cancelled mirror dialog ends the program";

    fs::remove(prog / "probe.log");
    EXPECT_EQ(Run({}, {"PROBE_MIRROR=ok"}), 0);
    EXPECT_EQ(Log(), "skin\nmirror\nstat 0\nsplash /\nmain\nstat 3\n");
    EXPECT_NE(platform::ReadWholeFile(prog / "Velmora.ini").value_or("").find("Server=1"),
              std::string::npos);
}

TEST_F(StartupTest, SettingsComeFromTheFileBesideTheExecutable) {
    WriteIni("[Update]\nServer=2\nInfoChecksum=abc\nListChecksum=def\n");
    EXPECT_EQ(Run({}), 0);  // started from "/", still finds its settings
    EXPECT_EQ(Log(), "skin\nstat 0\nsplash abc/def\nmain\nstat 3\n");
}

TEST_F(StartupTest, SecondCopyActivatesTheRunningWindowAndEnds) {
    WriteIni("[Update]\nServer=1\n");
    pid_t first = Start({}, {"PROBE_WINDOW=1"});
    ASSERT_TRUE(WaitForLog("main window"));
    EXPECT_EQ(Run({}), 0);
    ASSERT_TRUE(WaitForLog("activated"));
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Log(), "skin\nstat 0\nsplash /\nmain window\nactivated\nstat 3\n")
        << "the second copy must end before showing anything";
}

TEST_F(StartupTest, SecondCopyDuringTheSplashDeliversNothingAndStillEnds) {
    WriteIni("[Update]\nServer=1\n");
    pid_t first = Start({}, {"PROBE_SPLASH_WAIT=1"});
    ASSERT_TRUE(WaitForLog("splash"));
    EXPECT_EQ(Run({}), 0);
    std::ofstream(prog / "stop") << "";
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Log(), "skin\nstat 0\nsplash /\nmain\nstat 3\n");
}

TEST_F(StartupTest, UnusableRuntimeFolderNeverEndsTheProgramSilently) {
    WriteIni("[Update]\nServer=1\n");
    // No runtime folder, and the temporary folder's lock name is taken by a folder.
    fs::create_directories(root / "tmp" / ("Velmora-TVRN-" + std::to_string(::getuid()) + ".lock"));
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=/nonexistent",
                                          "TMPDIR=" + (root / "tmp").string()};
    std::vector<std::string> firstEnv = env;
    firstEnv.push_back("PROBE_WINDOW=1");
    pid_t first = Start({}, firstEnv);
    ASSERT_TRUE(WaitForLog("main window")) << Log();
    // The lock went to the private temporary folder, where a second copy finds it.
    EXPECT_TRUE(fs::exists(root / "tmp/Velmora-TVRN" /
                           ("Velmora-TVRN-" + std::to_string(::getuid()) + ".lock")));
    EXPECT_EQ(Run({}, env), 0);
    ASSERT_TRUE(WaitForLog("activated"));
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Log(), "skin\nstat 0\nsplash /\nmain window\nactivated\nstat 3\n");
}

TEST(CommandLineInfo, RecognisesSwitchesWithEitherPrefixInAnyCase) {
    const char* args[] = {"prog", "-rEgSeRvEr", "Embedding", "/AUTOMATION"};
    auto info = vm::CommandLineInfo::Parse(4, const_cast<char**>(args));
    EXPECT_TRUE(info.regserver);
    EXPECT_TRUE(info.embedding);  // "/AUTOMATION"; the bare word does not count
    EXPECT_FALSE(info.unregister);
    const char* bare[] = {"prog", "Embedding"};
    EXPECT_FALSE(vm::CommandLineInfo::Parse(2, const_cast<char**>(bare)).embedding);
}

}  // namespace
