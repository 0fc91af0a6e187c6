#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "net/HttpUrl.h"
#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "platform/Md5.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"
#include "update/MirrorPublisher.h"

namespace fs = std::filesystem;

namespace {

using vm::test::Bin;
using vm::test::Contains;
using vm::test::Quote;

// Names a player's add-ons really carry, and the ones a request line would misread.
const std::map<std::string, std::string> kAwkwardFiles = {
    {"My AddOn/main file.lua", "space"},   {"My AddOn/#1 hash.lua", "hash"},
    {"My AddOn/100% done.lua", "percent"}, {"My AddOn/a&b=c.lua", "ampersand"},
    {"My AddOn/c++ and+plus.lua", "plus"}, {"My AddOn/what?.lua", "question"},
    {"插件/界面 设置.lua", "chinese"},     {"插件/readme.", "trailing dot"},
    {"Plain/plain.lua", "plain"},
};

TEST(UrlPath, EncodesEverySegmentByteAndKeepsSlashes) {
    EXPECT_EQ(vm::EncodeUrlPath("/TVRN/Interface/My AddOn/#1 100%+a&b?.lua"),
              "/TVRN/Interface/My%20AddOn/%231%20100%25%2Ba%26b%3F.lua");
    EXPECT_EQ(vm::EncodeUrlPath("界"), "%E7%95%8C");
    EXPECT_EQ(vm::EncodeUrlPath("a-b_c.d~e/f."), "a-b_c.d~e/f.");
    for (const auto& [name, bytes] : kAwkwardFiles)
        EXPECT_EQ(vm::DecodeUrlPath(vm::EncodeUrlPath(name)), name);
    EXPECT_EQ(vm::DecodeUrlPath("a+b%2B"), "a+b+");
    EXPECT_FALSE(vm::DecodeUrlPath("100%"));
    EXPECT_FALSE(vm::DecodeUrlPath("%G1"));
}

// publish -> serve (the development server) -> `velmora update`, twice.
class CliFileNames : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        for (const char* d : {"tmp", "program", "game", "mirror"}) fs::create_directories(work / d);
        ASSERT_TRUE(platform::WriteFileAtomic(work / "game/Tovrin.exe", "MZ"));
        platform::IniFile ini(work / "program/Velmora.ini");
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
        ini.WriteInt("Update", "Server", 1);
    }

    void TearDown() override {
        if (server) {
            ::kill(server->Pid(), SIGTERM);
            (void)server->Wait();
        }
    }

    void Serve() {
        const fs::path endpoints = work / "endpoints.ini";
        server = platform::ChildProcess::Spawn(
            Bin("velmora-devserver"),
            {"--mirror", (work / "mirror").string(), "--endpoints", endpoints.string(), "--quiet"},
            work.Path());
        ASSERT_TRUE(server);
        for (int i = 0; i < 1000 && !fs::exists(endpoints); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(endpoints));
    }

    int Run(const std::string& args, std::string& out) {
        const std::string cmd = "VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string()) +
                                " TMPDIR=" + Quote((work / "tmp").string()) + " " +
                                Quote(Bin("velmora").string()) + " " + args + " >" +
                                Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    std::string ProgramDir() const {
        return " --program-dir " + Quote((work / "program").string());
    }

    vm::test::ScopedTempDir work;
    std::optional<platform::ChildProcess> server;
};

TEST_F(CliFileNames, EveryNameIsFetchedAsItselfAndASecondRunFindsNothing) {
    for (const auto& [path, bytes] : kAwkwardFiles) {
        fs::create_directories((work / "addons" / path).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(work / "addons" / path, bytes));
    }
    std::string out;
    ASSERT_EQ(Run("publish " + Quote((work / "addons").string()) + " " +
                      Quote((work / "mirror").string()) + " --set TVRN",
                  out),
              0)
        << out;
    Serve();

    ASSERT_EQ(Run("update" + ProgramDir(), out), 0) << out;
    EXPECT_TRUE(Contains(out, "更新完成。\n")) << out;
    for (const auto& [path, bytes] : kAwkwardFiles) {
        const auto installed = platform::ReadWholeFile(work / "game/Interface" / path);
        ASSERT_TRUE(installed) << path << "\n" << out;
        EXPECT_EQ(platform::Md5Hex(*installed), platform::Md5Hex(bytes)) << path;
    }

    ASSERT_EQ(Run("update" + ProgramDir(), out), 0) << out;
    EXPECT_TRUE(Contains(out, "没有需要更新的文件。\n")) << out;
}

TEST(MirrorPublisherNames, RefusesANameTheListCannotCarry) {
    vm::test::ScopedTempDir work;
    for (const char* bad : {"A/line\nbreak.lua", "A/tab\there.lua", "A/bell\x07.lua"}) {
        fs::remove_all(work / "addons");
        fs::create_directories(work / "addons/A");
        ASSERT_TRUE(platform::WriteFileAtomic(work / "addons" / bad, "x"));
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = "TVRN";
        const vm::PublishResult r = vm::PublishMirror(o);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_TRUE(Contains(r.error, "文件名无法发布")) << r.error;
    }
}

}  // namespace
