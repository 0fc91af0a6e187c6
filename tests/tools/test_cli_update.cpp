#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/CVelmoraApp.h"
#include "app/ManualResetEvent.h"
#include "net/HttpFetch.h"
#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ProgramSigning.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "update/MirrorPublisher.h"
#include "update/UpdateRunLock.h"

namespace fs = std::filesystem;
using vm::test::Fault;

namespace {

using vm::test::Bin;
using vm::test::Contains;
using vm::test::Quote;

// `velmora` against a mirror on the test server, with its own program and game folders.
class CliUpdate : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        fs::create_directories(work / "tmp");
        fs::create_directories(work / "program");
        fs::create_directories(work / "game");
        ASSERT_TRUE(platform::WriteFileAtomic(work / "game/Tovrin.exe", "MZ"));
        platform::IniFile ini(work / "program/Velmora.ini");
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
        ini.WriteInt("Update", "Server", 1);
        ASSERT_TRUE(platform::WriteFileAtomic(work / "endpoints.ini",
                                              "[Endpoints]\nTelecomMirror=" + server.Origin() +
                                                  "\nNetcomMirror=http://127.0.0.1:1\n"));
        server.ServeFolder("/", work / "mirror");
        Publish({{"A/a.lua", "a"}, {"A/b.lua", "b"}});
    }

    void Publish(const std::map<std::string, std::string>& files,
                 std::optional<std::string> version = std::nullopt) {
        for (const auto& [path, bytes] : files) {
            fs::create_directories((work / "addons" / path).parent_path());
            ASSERT_TRUE(platform::WriteFileAtomic(work / "addons" / path, bytes));
        }
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = "TVRN";
        o.version = version;
        ASSERT_TRUE(vm::PublishMirror(o).ok);
    }

    std::string Env() const {
        return "VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string()) +
               " TMPDIR=" + Quote((work / "tmp").string()) + " ";
    }

    // Runs velmora with args; output (stdout and stderr) into out, returns the exit status.
    int Velmora(const std::string& args, std::string& out) {
        const std::string cmd = Env() + Quote(Bin("velmora").string()) + " " + args +
                                " --program-dir " + Quote((work / "program").string()) + " >" +
                                Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    vm::test::ScopedTempDir work;
    vm::test::TestServer server;
};

TEST_F(CliUpdate, FirstRunInstallsSecondFindsNothing) {
    std::string out;
    ASSERT_EQ(Velmora("update", out), 0) << out;
    EXPECT_TRUE(Contains(out, "更新文件：a.lua\n")) << out;
    EXPECT_TRUE(Contains(out, "更新完成。\n")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/A/b.lua"), "b");
    ASSERT_EQ(Velmora("update", out), 0) << out;
    EXPECT_TRUE(Contains(out, "没有需要更新的文件。\n")) << out;
}

TEST_F(CliUpdate, LinesComeInTheRunsOrderWithAndWithoutChanges) {
    std::string out;
    ASSERT_EQ(Velmora("update", out), 0) << out;
    const std::string game = "游戏目录: " + (work / "game").string() + "/\n";
    EXPECT_EQ(out, game +
                       "检测需要更新的文件...\n"
                       "更新文件：a.lua\n"
                       "进度: 0/2\n"
                       "更新文件：b.lua\n"
                       "进度: 1/2\n"
                       "更新完成。\n");
    ASSERT_EQ(Velmora("update", out), 0) << out;
    EXPECT_EQ(out, game +
                       "检测需要更新的文件...\n"
                       "没有需要更新的文件。\n");
}

// velmora loads libcurl when it first needs it: a broken or missing library is told in the
// program's words, once, and the run fails without touching the game folder.
TEST_F(CliUpdate, WithoutTheNetworkLibraryItSaysSoAndFails) {
    fs::create_directories(work / "nolib");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "nolib/libcurl.so.4", "not a library"));
    ASSERT_TRUE(platform::WriteFileAtomic(work / "nolib/libcurl-gnutls.so.4", "not a library"));
    const std::string cmd = Env() + "LD_LIBRARY_PATH=" + Quote((work / "nolib").string()) + " " +
                            Quote(Bin("velmora").string()) + " update --program-dir " +
                            Quote((work / "program").string()) + " >" +
                            Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
    const int rc = std::system(cmd.c_str());
    const std::string out = platform::ReadWholeFile(work / "out.txt").value_or("");
    ASSERT_TRUE(WIFEXITED(rc)) << out;
    EXPECT_EQ(WEXITSTATUS(rc), 1) << out;
    const std::string note = "无法载入网络组件";
    ASSERT_TRUE(Contains(out, note)) << out;
    EXPECT_EQ(out.find(note), out.rfind(note)) << out;
    EXPECT_TRUE(Contains(out, "获取更新信息失败")) << out;
    EXPECT_FALSE(fs::exists(work / "game/Interface"));
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CliUpdate, FailedFileGivesExitStatusOne) {
    server.SetFault("/TVRN/Interface/A/b.lua.z", Fault::Status(500));
    server.SetFault("/TVRN/Interface/A/b.lua", Fault::Status(500));
    std::string out;
    EXPECT_EQ(Velmora("update", out), 1) << out;
    EXPECT_TRUE(Contains(out, "发生网络传输错误，HTTP错误代码(500)，Velmora更新失败。")) << out;
    EXPECT_TRUE(Contains(out, "更新失败。\n")) << out;
}

TEST_F(CliUpdate, QuestionsWithoutATerminalAreAnsweredNo) {
    Publish({}, "1.020");
    std::string out;
    EXPECT_EQ(Velmora("update", out), 0) << out;
    EXPECT_TRUE(Contains(out, "发现了新版本的Velmora，您是否想现在进行更新？")) << out;
    EXPECT_TRUE(Contains(out, "(没有终端可以回答，按“否”处理)")) << out;
    EXPECT_TRUE(Contains(out, "更新完成。")) << out;
    EXPECT_FALSE(fs::exists(work / "program/Velmora-TVRN.new"));

    // An add-on the list no longer carries: --yes moves it aside without asking.
    fs::create_directories(work / "game/Interface/Old");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "game/Interface/Old/o.lua", "o"));
    platform::IniFile(work / "program/Velmora.ini").WriteString("Update", "Version", "");
    Publish({}, "1.019");
    EXPECT_EQ(Velmora("update --yes", out), 0) << out;
    EXPECT_TRUE(fs::exists(work / "game/Interface.obsoleted/Old/o.lua")) << out;
}

// The whole self-update with the build's development key: the publisher signs, `velmora
// update --yes` checks the signatures and hands over, the updater checks again and puts the
// new build in place of Velmora-TVRN. Unsigned, the same mirror gets no further than a status.
TEST_F(CliUpdate, OnlyASignedNewerClientIsInstalledThroughTheUpdater) {
    if (vm::test::SigningKey().empty()) GTEST_SKIP() << "built with release keys only";
    const fs::path program = work / "program";
    fs::copy_file(vm::test::ProgramDir() / "fake_client_v1", program / "Velmora-TVRN");
    const std::string v1 = platform::ReadWholeFile(program / "Velmora-TVRN").value();
    const std::string v2 =
        platform::ReadWholeFile(vm::test::ProgramDir() / "fake_client_v2").value();
    auto publish = [&](const std::string& extra) {
        const std::string cmd =
            Quote(Bin("velmora").string()) + " publish " + Quote((work / "addons").string()) + " " +
            Quote((work / "mirror").string()) + " --set TVRN --version 1.020 --client " +
            Quote((vm::test::ProgramDir() / "fake_client_v2").string()) + " --updater " +
            Quote(Bin("VMUpdate").string()) + extra + " >" +
            Quote((work / "publish.txt").string()) + " 2>&1";
        return WEXITSTATUS(std::system(cmd.c_str()));
    };

    ASSERT_EQ(publish(""), 0);
    std::string out;
    EXPECT_EQ(Velmora("update --yes", out), 0) << out;
    EXPECT_TRUE(Contains(out, "新版本的Velmora没有签名，不会安装。\n")) << out;
    EXPECT_TRUE(Contains(out, "更新完成。\n")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/A/a.lua"), "a");
    EXPECT_EQ(platform::ReadWholeFile(program / "Velmora-TVRN"), v1);
    EXPECT_FALSE(fs::exists(program / "Velmora-TVRN.new"));
    EXPECT_FALSE(fs::exists(program / "VMUpdate"));

    ASSERT_EQ(publish(" --sign " + Quote(vm::test::SigningKey().string())), 0);
    const std::string published = platform::ReadWholeFile(work / "publish.txt").value_or("");
    EXPECT_TRUE(Contains(published, "签名: /Velmora-TVRN/fake_client_v2.sig\n")) << published;
    EXPECT_TRUE(Contains(published, "签名: /Velmora-TVRN/VMUpdate.sig\n")) << published;
    EXPECT_EQ(Velmora("update --yes", out), 0) << out;
    EXPECT_TRUE(Contains(out, "已启动更新程序")) << out;
    // The updater waits for this command to end, then swaps.
    for (int i = 0; i < 1500; ++i) {
        if (platform::ReadWholeFile(program / "Velmora-TVRN") == v2 &&
            !fs::exists(program / "Velmora-TVRN.new.sig"))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(platform::ReadWholeFile(program / "Velmora-TVRN"), v2);
    EXPECT_FALSE(fs::exists(program / "Velmora-TVRN.new"));
    EXPECT_FALSE(fs::exists(program / "Velmora-TVRN.new.sig"));
    EXPECT_FALSE(fs::exists(program / "started.log"));  // a command line is never restarted
}

TEST_F(CliUpdate, UnknownAddOnsFollowDeleteModeAndShowTheWindowsGroups) {
    auto put = [&](const std::string& below) {
        fs::create_directories((work / "game/Interface" / below).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(work / "game/Interface" / below, "mine"));
    };
    platform::IniFile ini(work / "program/Velmora.ini");
    put("Foo/a.lua");
    std::string out;
    // Remembered "keep": nothing asked, nothing moved.
    ini.WriteInt("Update", "DeleteMode", 2);
    ASSERT_EQ(Velmora("update --yes", out), 0) << out;
    EXPECT_FALSE(Contains(out, "不明插件")) << out;
    EXPECT_TRUE(fs::exists(work / "game/Interface/Foo/a.lua"));
    // Asked: the groups the window's dialog lists, then the question.
    ini.WriteInt("Update", "DeleteMode", 0);
    put("Foo/sub/b.lua");
    put("loose.txt");
    ASSERT_EQ(Velmora("update --no", out), 0) << out;
    EXPECT_TRUE(Contains(out, "\n  Foo（2 个文件）\n  其它（1 个文件）\n")) << out;
    EXPECT_TRUE(Contains(out, "是否隔离这些不明插件")) << out;
    EXPECT_TRUE(fs::exists(work / "game/Interface/Foo/sub/b.lua"));
    // Remembered "isolate": moved without asking.
    ini.WriteInt("Update", "DeleteMode", 1);
    ASSERT_EQ(Velmora("update --no", out), 0) << out;
    EXPECT_FALSE(Contains(out, "不明插件")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface.obsoleted/Foo/sub/b.lua"), "mine");
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface.obsoleted/loose.txt"), "mine");
    EXPECT_FALSE(fs::exists(work / "game/Interface/Foo"));
}

TEST_F(CliUpdate, AutomaticUpdateRulesDecideLikeTheWindow) {
    platform::IniFile ini(work / "program/Velmora.ini");
    ini.WriteInt("Update", "AutoUpdate", 0);
    std::string out;
    EXPECT_EQ(Velmora("update", out), 0) << out;
    EXPECT_TRUE(Contains(out, "不进行更新。")) << out;
    EXPECT_FALSE(fs::exists(work / "game/Interface"));
    EXPECT_EQ(Velmora("update --force", out), 0) << out;
    EXPECT_TRUE(fs::exists(work / "game/Interface/A/a.lua"));

    ini.WriteInt("Update", "AutoUpdate", 1);
    ini.WriteInt("Update", "OnceEveryDay", 1);
    EXPECT_EQ(Velmora("update", out), 0) << out;  // the day's first start
    EXPECT_TRUE(Contains(out, "没有需要更新的文件。")) << out;
    EXPECT_EQ(Velmora("update", out), 0) << out;  // a later start that day
    EXPECT_TRUE(Contains(out, "不进行更新。")) << out;
    EXPECT_EQ(Velmora("update --force", out), 0) << out;
    EXPECT_TRUE(Contains(out, "今天已经更新，不再需要更新。")) << out;
}

TEST_F(CliUpdate, RunningUpdateOnTheFolderStopsASecondOne) {
    auto held = vm::UpdateRunLock::TryAcquire((work / "game").string() + "/");
    ASSERT_TRUE(held);
    std::string out;
    EXPECT_EQ(Velmora("update", out), 1) << out;
    EXPECT_TRUE(Contains(out, "另一个更新正在进行，请等它结束后再试。")) << out;
}

TEST_F(CliUpdate, InterruptCancelsWithExitStatusTwo) {
    // The file's body waits until the interrupt has been taken, so the run cannot finish first.
    auto gate = std::make_shared<vm::ManualResetEvent>();
    server.SetFault("/TVRN/Interface/A/a.lua.z", Fault::Held(gate));
    const std::string cmd = "exec env " + Env() + Quote(Bin("velmora").string()) +
                            " update --program-dir " + Quote((work / "program").string()) + " >" +
                            Quote((work / "out.txt").string()) + " 2>&1";
    auto child = platform::ChildProcess::Spawn("/bin/sh", {"-c", cmd}, work.Path());
    ASSERT_TRUE(child);
    std::string out;
    for (int i = 0; i < 1000 && !Contains(out, "更新文件：a.lua"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
    }
    ::kill(child->Pid(), SIGINT);
    for (int i = 0; i < 1000 && !Contains(out, "正在取消更新"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
    }
    EXPECT_TRUE(Contains(out, "正在取消更新")) << out;
    gate->Set();
    EXPECT_EQ(child->Wait(), 2);
    out = platform::ReadWholeFile(work / "out.txt").value_or("");
    EXPECT_TRUE(Contains(out, "更新已经取消。\n")) << out;
    EXPECT_FALSE(fs::exists(work / "game/Interface/A/a.lua"));
}

TEST_F(CliUpdate, InfoAndMirrorsReport) {
    std::string out;
    ASSERT_EQ(Velmora("info", out), 0) << out;
    EXPECT_TRUE(Contains(out, "发布的客户端版本: 1.019（本机 1.019）")) << out;
    EXPECT_TRUE(Contains(out, "* TVRN  /TVRN\n")) << out;
    ASSERT_EQ(Velmora("mirrors", out), 0) << out;
    EXPECT_TRUE(Contains(out, "* 电信服务器  " + server.Origin() + "  (延迟：")) << out;
    EXPECT_TRUE(Contains(out, "网通服务器  http://127.0.0.1:1  (延迟：-1 毫秒)")) << out;
}

TEST(DevServer, ServesTheMirrorWithRangesAndPrintsTheEndpoints) {
    vm::test::ScopedTempDir work;
    fs::create_directories(work / "mirror/TVRN");
    ASSERT_TRUE(platform::WriteFileAtomic(work / "mirror/TVRN/a.lua", "0123456789"));
    const fs::path endpoints = work / "endpoints.ini";
    auto server = platform::ChildProcess::Spawn(
        Bin("velmora-devserver"),
        {"--mirror", (work / "mirror").string(), "--endpoints", endpoints.string(), "--quiet"},
        work.Path());
    ASSERT_TRUE(server);
    for (int i = 0; i < 500 && !fs::exists(endpoints); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    platform::IniFile ini(endpoints);
    const std::string origin = ini.GetString("Endpoints", "TelecomMirror", "");
    EXPECT_EQ(origin, ini.GetString("Endpoints", "NetcomMirror", ""));
    ASSERT_EQ(origin.rfind("http://127.0.0.1:", 0), 0u);

    vm::HttpRequest request;
    request.url = origin + "/TVRN/a.lua";
    request.headers = {"Range: bytes=4-", "Connection: close"};
    std::string body;
    request.onData = [&](const char* d, std::size_t n) {
        body.append(d, n);
        return true;
    };
    vm::HttpResult result = vm::SharedSessionRequest(request);
    ::kill(server->Pid(), SIGTERM);
    EXPECT_EQ(server->Wait(), 0);
    ASSERT_TRUE(result.Ok()) << result.errorText;
    EXPECT_EQ(result.head.status, 206);
    EXPECT_EQ(result.head.Header("Content-Range"), "bytes 4-9/10");
    EXPECT_EQ(body, "456789");
}

TEST(DevServer, ServesTheNewsPageWithItsPictureOnTheEmbedServer) {
    vm::test::ScopedTempDir work;
    fs::create_directories(work / "mirror");
    const fs::path endpoints = work / "endpoints.ini";
    auto server = platform::ChildProcess::Spawn(
        Bin("velmora-devserver"),
        {"--mirror", (work / "mirror").string(), "--endpoints", endpoints.string(), "--quiet"},
        work.Path());
    ASSERT_TRUE(server);
    for (int i = 0; i < 500 && !fs::exists(endpoints); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string origin =
        platform::IniFile(endpoints).GetString("Endpoints", "EmbedServer", "");
    auto get = [&](const std::string& path, std::string& type) {
        vm::HttpRequest request;
        request.url = origin + path;
        request.headers = {"Connection: close"};
        std::string body;
        request.onData = [&](const char* d, std::size_t n) {
            body.append(d, n);
            return true;
        };
        vm::HttpResult result = vm::SharedSessionRequest(request);
        EXPECT_TRUE(result.Ok()) << path << ": " << result.errorText;
        EXPECT_EQ(result.head.status, 200) << path;
        type = result.head.Header("Content-Type");
        return body;
    };
    std::string pageType, pictureType;
    const std::string page = get("/tvrn/html/velmora.html", pageType);
    const std::string picture = get("/tvrn/html/velmora-news.svg", pictureType);
    ::kill(server->Pid(), SIGTERM);
    EXPECT_EQ(server->Wait(), 0);
    ASSERT_EQ(origin.rfind("http://127.0.0.1:", 0), 0u);
    EXPECT_EQ(pageType.rfind("text/html", 0), 0u) << pageType;
    EXPECT_NE(page.find("<img class=\"banner\" src=\"velmora-news.svg\""), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos) << "the page needs no scripts";
    EXPECT_EQ(pictureType, "image/svg+xml");
    EXPECT_NE(picture.find("<svg"), std::string::npos);
}

}  // namespace
