#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "app/CQelThread.h"
#include "app/CVelmoraApp.h"
#include "app/Globals.h"
#include "app/ParticleSwitch.h"
#include "app/messages.h"
#include "platform/FileUtil.h"
#include "tests/support/RecordingTarget.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;
using vm::theApp;

namespace {

void Write(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string Read(const fs::path& p) {
    return platform::ReadWholeFile(p).value_or("<missing>");
}

TEST(ParticleSwitch, KeepsTheFirstParticleLineWithTheWantedValue) {
    const std::string in =
        "[Render]\r\n; comment = kept\r\nrendSetting.particle=true\r\n\r\nwidth=1024\r\n"
        "rendSetting.particle=true\r\nheight=768";
    EXPECT_EQ(vm::WithParticleSetting(in, true),
              "[Render]\r\n; comment = kept\r\nrendSetting.particle=false\r\n\r\nwidth=1024\r\n"
              "height=768");
    EXPECT_EQ(vm::WithParticleSetting(in, false),
              "[Render]\r\n; comment = kept\r\nrendSetting.particle=true\r\n\r\nwidth=1024\r\n"
              "height=768");
}

TEST(ParticleSwitch, LeavesOtherBytesAndLineEndsAlone) {
    // GBK text, LF and lone CR line ends, spacing around the value.
    const std::string gbk = "name=\xD6\xD0\xCE\xC4\n";
    const std::string in = gbk + "rendSetting.particle = false\rother=a=b\n";
    EXPECT_EQ(vm::WithParticleSetting(in, false), gbk + "rendSetting.particle = true\rother=a=b\n");
    // No particle line: nothing added.
    EXPECT_EQ(vm::WithParticleSetting(gbk, true), gbk);
    // Not a key=value line (a second '='): left as it is.
    EXPECT_EQ(vm::WithParticleSetting("rendSetting.particle=a=b\n", true),
              "rendSetting.particle=a=b\n");
}

TEST(ParticleSwitch, RewritesAReadOnlyFileAndSkipsMissingOrEmptyOnes) {
    vm::test::ScopedTempDir temp;
    const fs::path& dir = temp.Path();
    fs::path ini = dir / "Client.ini";
    Write(ini, "rendSetting.particle=true\r\n");
    chmod(ini.c_str(), 0444);
    EXPECT_TRUE(vm::ApplyParticleSwitch(ini, true));
    EXPECT_EQ(Read(ini), "rendSetting.particle=false\r\n");
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);

    EXPECT_FALSE(vm::ApplyParticleSwitch(dir / "missing.ini", true));
    EXPECT_FALSE(fs::exists(dir / "missing.ini"));
    Write(ini, "");
    EXPECT_FALSE(vm::ApplyParticleSwitch(ini, true));
    EXPECT_EQ(Read(ini), "");
    fs::remove_all(dir);
}

class GameStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        game = root / "game";
        fs::create_directories(root / "prog");
        fs::create_directories(game);
        theApp().SetProgramDir(root / "prog");
        theApp().WriteProfileInt("Path", "PathType", 1);
        theApp().WriteProfileString("Path", "CustomPath", (game / "Launcher.exe").string());
        theApp().SetStatisticStarter([this](int action) {
            std::lock_guard<std::mutex> g(lock);
            statistics.push_back(action);
        });
        target = std::make_shared<vm::test::RecordingTarget>();
        target->SetReply([this](const vm::Message& m) -> std::intptr_t {
            if (m.id == vm::WM_VM_STATUS) {
                std::lock_guard<std::mutex> g(lock);
                statuses.push_back(*reinterpret_cast<const std::string*>(m.wParam));
            }
            return 0;
        });
        g_gameRunning.Set();
    }
    void TearDown() override { theApp().SetStatisticStarter(nullptr); }
    void RunGameThread() {
        auto thread = std::make_unique<vm::CQelThread>();
        thread->m_pMainWnd = target;
        thread->m_endDelay = std::chrono::milliseconds(10);
        ASSERT_TRUE(vm::CWorkerThread::Start(std::move(thread)));
        ASSERT_TRUE(target->WaitFor(vm::WM_VM_GAME_ENDED));
    }

    vm::test::ScopedTempDir temp;
    const fs::path root = temp.Path();
    fs::path game;
    std::mutex lock;
    std::vector<int> statistics;
    std::vector<std::string> statuses;
    std::shared_ptr<vm::test::RecordingTarget> target;
};

TEST_F(GameStartTest, StartsTheGameInItsFolderAndReportsItsEnd) {
    // The game stands in as a script that notes where it runs and what Client.ini said.
    Write(game / "Tovrin.exe", "#!/bin/sh\npwd > started.txt\ncat Client.ini >> started.txt\n");
    chmod((game / "Tovrin.exe").c_str(), 0755);
    Write(game / "Client.ini", "[x]\r\nrendSetting.particle=true\r\n");
    theApp().WriteProfileInt("Run", "DisableParticle", 1);

    RunGameThread();
    EXPECT_EQ(Read(game / "started.txt"),
              fs::canonical(game).string() + "\n[x]\r\nrendSetting.particle=false\r\n");
    EXPECT_EQ(statistics, (std::vector<int>{1, 2}));
    EXPECT_EQ(statuses, (std::vector<std::string>{""}));
    EXPECT_EQ(target->Ids(), (std::vector<std::uint32_t>{vm::WM_VM_STATUS, vm::WM_VM_GAME_ENDED}));
    EXPECT_FALSE(g_gameRunning.IsSet());
}

TEST_F(GameStartTest, GameThatCannotStartIsReportedAndNotCounted) {
    // A Windows executable without wine on the PATH cannot start either.
    Write(game / "Tovrin.exe", "MZ\x90");
    chmod((game / "Tovrin.exe").c_str(), 0755);
    const std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (root / "empty").c_str(), 1);
    RunGameThread();
    setenv("PATH", savedPath.c_str(), 1);

    EXPECT_EQ(statuses, (std::vector<std::string>{"无法找到Tovrin可执行文件，请查看设置。"}));
    EXPECT_EQ(target->Ids(), (std::vector<std::uint32_t>{vm::WM_VM_STATUS, vm::WM_VM_GAME_ENDED}));
    EXPECT_TRUE(statistics.empty());
    // g_gameRunning is reset right after the post.
    for (int i = 0; i < 500 && g_gameRunning.IsSet(); ++i) usleep(1000);
    EXPECT_FALSE(g_gameRunning.IsSet());
}

}  // namespace
