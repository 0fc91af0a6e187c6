#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"

namespace fs = std::filesystem;

namespace {

using vm::test::Bin;
using vm::test::Quote;

unsigned ModeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xffff;
}

// `velmora login demo --remember` against the development server, under the widest umask.
TEST(CliPrivateLogin, RememberedLoginLeavesACookieFileOnlyTheUserCanRead) {
    vm::test::ScopedTempDir work;
    fs::create_directories(work / "mirror");
    fs::create_directories(work / "program");
    const fs::path endpoints = work / "endpoints.ini";
    auto server = platform::ChildProcess::Spawn(
        Bin("velmora-devserver"),
        {"--mirror", (work / "mirror").string(), "--endpoints", endpoints.string(), "--quiet"},
        work.Path());
    ASSERT_TRUE(server);
    for (int i = 0; i < 1000 && !fs::exists(endpoints); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    const std::string cmd =
        "umask 000; echo demo | env -u http_proxy -u HTTP_PROXY "
        "VELMORA_ENDPOINTS=" +
        Quote(endpoints.string()) + " XDG_DATA_HOME=" + Quote((work / "data").string()) +
        " TMPDIR=" + Quote(work.Path().string()) + " " + Quote(Bin("velmora").string()) +
        " login demo --remember --program-dir " + Quote((work / "program").string()) + " >" +
        Quote((work / "out.txt").string()) + " 2>&1";
    const int rc = std::system(cmd.c_str());
    ::kill(server->Pid(), SIGTERM);
    (void)server->Wait();
    const std::string out = platform::ReadWholeFile(work / "out.txt").value_or("");
    ASSERT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << out;
    EXPECT_NE(out.find("登录成功：demo"), std::string::npos) << out;

    const fs::path jar = work / "data/Velmora/cookies.txt";
    ASSERT_TRUE(fs::exists(jar)) << out;
    EXPECT_EQ(ModeOf(jar), 0600u);
    EXPECT_EQ(ModeOf(work / "data/Velmora"), 0700u);
    EXPECT_EQ(ModeOf(work / "data/Velmora/key"), 0600u);
}

}  // namespace
