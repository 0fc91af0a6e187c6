// `velmora obsoleted`: an add-on `velmora update` moved aside, listed, restored (with the
// warning that the next run would ask again), refused where it would overwrite, and purged.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>

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

class CliObsoleted : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        fs::create_directories(work / "tmp");
        fs::create_directories(work / "program");
        Put("game/Tovrin.exe", "MZ");
        platform::IniFile ini(work / "program/Velmora.ini");
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
        ini.WriteInt("Update", "Server", 1);
        Put("endpoints.ini", "[Endpoints]\nTelecomMirror=" + server.Origin() +
                                 "\nNetcomMirror=http://127.0.0.1:1\n");
        server.ServeFolder("/", work / "mirror");
        Put("addons/A/a.lua", "a");
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = "TVRN";
        ASSERT_TRUE(vm::PublishMirror(o).ok);
    }

    void Put(const std::string& below, const std::string& bytes) {
        fs::create_directories((work / below).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(work / below, bytes));
    }

    int Velmora(const std::string& args, std::string& out) {
        const std::string cmd = "VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string()) +
                                " TMPDIR=" + Quote((work / "tmp").string()) + " " +
                                Quote(Bin("velmora").string()) + " " + args + " --program-dir " +
                                Quote((work / "program").string()) + " >" +
                                Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    vm::test::ScopedTempDir work;
    vm::test::TestServer server;
};

TEST_F(CliObsoleted, AnAddOnAnUpdateIsolatedIsListedRestoredAndPurged) {
    std::string out;
    ASSERT_EQ(Velmora("obsoleted list", out), 0) << out;
    EXPECT_TRUE(Contains(out, "（没有已隔离的插件）")) << out;

    Put("game/Interface/Mine/m.lua", "mine");
    Put("game/Interface/Mine/sub/n.lua", "mine too");
    Put("game/Interface/Other/o.lua", "other");
    ASSERT_EQ(Velmora("update --yes", out), 0) << out;
    ASSERT_TRUE(fs::exists(work / "game/Interface.obsoleted/Mine/sub/n.lua")) << out;

    ASSERT_EQ(Velmora("obsoleted list", out), 0) << out;
    EXPECT_TRUE(Contains(out, "Mine/\t2 个文件\t12 B\t")) << out;
    EXPECT_TRUE(Contains(out, "Other/\t1 个文件\t5 B\t")) << out;

    // The player's own add-on with DeleteMode 0: the next run asks again, and says so.
    ASSERT_EQ(Velmora("obsoleted restore Mine", out), 0) << out;
    EXPECT_TRUE(Contains(out, "已恢复：Mine\n")) << out;
    EXPECT_TRUE(Contains(out, "DeleteMode=0：下次更新会再次询问是否隔离它。")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/Mine/sub/n.lua"), "mine too");

    // Something of the same name is back in Interface: nothing is overwritten.
    Put("game/Interface/other/new.lua", "new");
    EXPECT_EQ(Velmora("obsoleted restore Other Nothing", out), 1) << out;
    EXPECT_TRUE(Contains(out, "无法恢复“Other”：Interface文件夹里已有同名的“other”")) << out;
    EXPECT_TRUE(Contains(out, "无法恢复“Nothing”")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface.obsoleted/Other/o.lua"), "other");
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/other/new.lua"), "new");

    // Deleting wants a yes: without a terminal only --yes gives it.
    EXPECT_EQ(Velmora("obsoleted purge", out), 1) << out;
    EXPECT_TRUE(fs::exists(work / "game/Interface.obsoleted/Other/o.lua"));
    ASSERT_EQ(Velmora("obsoleted purge --yes", out), 0) << out;
    EXPECT_TRUE(Contains(out, "已删除：Other\n")) << out;
    EXPECT_FALSE(fs::exists(work / "game/Interface.obsoleted"));
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/Mine/m.lua"), "mine");
}

TEST_F(CliObsoleted, WrongUseIsAUsageError) {
    std::string out;
    EXPECT_EQ(Velmora("obsoleted", out), 2) << out;
    EXPECT_EQ(Velmora("obsoleted restore", out), 2) << out;
    EXPECT_EQ(Velmora("obsoleted list extra", out), 2) << out;
    EXPECT_EQ(Velmora("obsoleted restore ../game", out), 1) << out;
    EXPECT_TRUE(fs::exists(work / "game/Tovrin.exe"));
}

}  // namespace
