#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ProgramLocations.h"
#include "app/Version.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "update/MirrorPublisher.h"

namespace fs = std::filesystem;

namespace {

using vm::test::Bin;
using vm::test::Contains;
using vm::test::Quote;

std::vector<std::string> Listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

// `velmora` copied into a program folder the way the package lays it out (with the package's
// marker), run with a home and XDG folders of its own against a mirror on the test server.
class CliPackaged : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        fs::create_directories(program);
        fs::create_directories(work / "tmp");
        fs::create_directories(work / "game");
        fs::copy_file(Bin("velmora"), program / "velmora");
        ASSERT_TRUE(platform::WriteFileAtomic(program / vm::kPackageMarkerName, "package\n"));
        ASSERT_TRUE(platform::WriteFileAtomic(work / "game/Tovrin.exe", "MZ"));
        ASSERT_TRUE(platform::WriteFileAtomic(work / "endpoints.ini",
                                              "[Endpoints]\nTelecomMirror=" + server.Origin() +
                                                  "\nNetcomMirror=http://127.0.0.1:1\n"));
        server.ServeFolder("/", work / "mirror");
        fs::create_directories(work / "addons/A");
        ASSERT_TRUE(platform::WriteFileAtomic(work / "addons/A/a.lua", "a"));
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = "TVRN";
        o.version = "1.020";  // a newer program than this one
        ASSERT_TRUE(vm::PublishMirror(o).ok);
    }

    int Velmora(const std::string& args, std::string& out) {
        const std::string cmd =
            "env -u XDG_DATA_HOME -u XDG_CACHE_HOME HOME=" + Quote((work / "home").string()) +
            " XDG_CONFIG_HOME=" + Quote((work / "config").string()) +
            " VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string()) +
            " TMPDIR=" + Quote((work / "tmp").string()) + " " +
            Quote((program / "velmora").string()) + " " + args + " >" +
            Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    vm::test::ScopedTempDir work;
    vm::test::TestServer server;
    const fs::path program = work / "usr/lib/velmora";
};

TEST_F(CliPackaged, FirstStartMakesThePrivateSettingsFolderAndVersionNeedsNone) {
    std::string out;
    ASSERT_EQ(Velmora("--version", out), 0) << out;
    EXPECT_EQ(out, std::string("velmora ") + vm::kProgramVersion + "\n");
    EXPECT_FALSE(fs::exists(work / "config"));

    ASSERT_EQ(Velmora("game", out), 0) << out;
    EXPECT_TRUE(Contains(out, "设置文件: " + (work / "config/velmora/Velmora.ini").string() + "\n"))
        << out;
    struct stat st {};
    ASSERT_EQ(::stat((work / "config/velmora").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_directory(work / "home/.local/share/Velmora"));
    EXPECT_TRUE(fs::is_directory(work / "home/.cache/velmora"));
    EXPECT_EQ(Listing(program), (std::vector<std::string>{"Velmora.packaged", "velmora"}));
}

TEST_F(CliPackaged, UpdateInstallsTheAddOnsAndLeavesTheNewProgramToThePackageManager) {
    platform::IniFile ini(work / "config/velmora/Velmora.ini");
    fs::create_directories(work / "config/velmora");
    ASSERT_TRUE(ini.WriteInt("Path", "PathType", 1));
    ASSERT_TRUE(ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string()));
    ASSERT_TRUE(ini.WriteInt("Update", "Server", 1));
    ASSERT_TRUE(ini.WriteInt("Update", "OnceEveryDay", 1));  // so the run records its day

    std::string out;
    ASSERT_EQ(Velmora("update --yes", out), 0) << out;
    EXPECT_TRUE(Contains(out, "发现了新版本的Velmora，请使用系统的软件包管理器安装新版本。\n"))
        << out;
    EXPECT_FALSE(Contains(out, "您是否想现在进行更新")) << out;
    EXPECT_TRUE(Contains(out, "更新完成。\n")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/A/a.lua"), "a");
    // The run wrote its day record into the user's settings, nothing beside the program.
    EXPECT_FALSE(ini.GetString("Update", "LastUpdate", "").empty());
    EXPECT_EQ(Listing(program), (std::vector<std::string>{"Velmora.packaged", "velmora"}));
    for (const auto& r : server.Requests())
        EXPECT_EQ(r.target.find("/Velmora-TVRN/Velmora-TVRN"), std::string::npos) << r.target;
}

}  // namespace
