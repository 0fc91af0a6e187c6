#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "net/GameDataUpload.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/TestServer.h"
#include "update/MirrorPublisher.h"

namespace fs = std::filesystem;

namespace {

using vm::test::Bin;
using vm::test::Quote;

// The window program, started offscreen from a fresh program folder against the test servers
// (mirror, passport, statistics and the embedded news page).
class GuiEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
        for (const char* d : {"tmp", "program", "game", "home", "run"})
            fs::create_directories(work / d);
        fs::permissions(work / "run", fs::perms::owner_all);
        fs::copy_file(Bin("Velmora-TVRN"), work / "program/Velmora-TVRN");
        // The page's engine travels with the program, as in the package's modules folder.
        fs::create_directories(work / "program/modules");
        fs::copy_file(Bin("velmora-pageview.so"), work / "program/modules/velmora-pageview.so");
        ASSERT_TRUE(platform::WriteFileAtomic(work / "game/Tovrin.exe", "MZ"));
        platform::IniFile ini(work / "program/Velmora.ini");
        ini.WriteInt("Upload", "FirstRun", 0);
        ini.WriteInt("Update", "Server", 1);
        ini.WriteInt("Misc", "NotifyShortcut2", 1);
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
        const std::string o = server.Origin();
        ASSERT_TRUE(platform::WriteFileAtomic(
            work / "endpoints.ini",
            "[Endpoints]\nTelecomMirror=" + o + "/mirror\nNetcomMirror=http://127.0.0.1:1\n" +
                "PassportOrigin=" + o + "\nStatServer=" + o + "\nDataServer=" + o +
                "\nEmbedServer=" + o + "\nCommunityHost=" + server.HostPort() +
                "\nAvatarHost=" + server.HostPort() + "\nGameHost=127.0.0.1\n"));
        server.ServeFolder("/mirror", work / "mirror");
        server.Reply("/tvrn/html/velmora.html", "<html><body><p>Velmora 新闻</p></body></html>",
                     200, "text/html; charset=utf-8");
        files = {{"A/a.lua", "print('a')"}, {"A/b.xml", "<Ui/>"}, {"B/c.toc", "## Title: C"}};
        for (const auto& [path, bytes] : files) {
            fs::create_directories((work / "addons" / path).parent_path());
            ASSERT_TRUE(platform::WriteFileAtomic(work / "addons" / path, bytes));
        }
        vm::PublishOptions p;
        p.addonsDir = work / "addons";
        p.mirrorDir = work / "mirror";
        p.setName = "TVRN";
        ASSERT_TRUE(vm::PublishMirror(p).ok);
    }

    std::string Env() const {
        return "QT_QPA_PLATFORM=offscreen VELMORA_ENDPOINTS=" +
               Quote((work / "endpoints.ini").string()) +
               " TMPDIR=" + Quote((work / "tmp").string()) +
               " HOME=" + Quote((work / "home").string()) +
               " XDG_RUNTIME_DIR=" + Quote((work / "run").string()) + " ";
    }
    // What the window's status line said, one line each, for the run writing to out.
    std::string StatusEnv(const fs::path& out) const {
        return "VELMORA_STATUS_LOG=" + Quote(out.string()) + " ";
    }

    // Starts the program in the background; its status lines go to out, its standard output
    // to out + ".stdout".
    int Start(const fs::path& out) {
        const std::string cmd =
            Env() + StatusEnv(out) + Quote((work / "program/Velmora-TVRN").string()) + " >" +
            Quote(out.string() + ".stdout") + " 2>/dev/null </dev/null & echo $! >" +
            Quote((work / "pid").string());
        if (std::system(cmd.c_str()) != 0) return -1;
        return std::stoi(platform::ReadWholeFile(work / "pid").value_or("-1"));
    }

    // Runs the program to its end (at most `seconds`); its exit status, -1 on a timeout.
    int RunToEnd(const fs::path& out, int seconds) {
        const std::string cmd = Env() + "timeout " + std::to_string(seconds) + " " +
                                Quote((work / "program/Velmora-TVRN").string()) + " >" +
                                Quote(out.string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) && WEXITSTATUS(rc) != 124 ? WEXITSTATUS(rc) : -1;
    }

    bool WaitForOutput(const fs::path& out, const std::string& text, int seconds = 90) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (platform::ReadWholeFile(out).value_or("").find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    static void Stop(int pid) {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(pid, SIGKILL);
    }

    vm::test::ScopedTempDir work;
    vm::test::TestServer server;
    std::map<std::string, std::string> files;
};

TEST_F(GuiEndToEnd, AutomaticUpdateInstallsTheAddOnsAndASecondCopyActivatesTheFirst) {
    const fs::path out = work / "first.txt";
    const int pid = Start(out);
    ASSERT_GT(pid, 0);
    const bool done = WaitForOutput(out, "更新完成。");
    const std::string log = platform::ReadWholeFile(out).value_or("");
    if (!done) Stop(pid);
    ASSERT_TRUE(done) << log;
    // The last status line is the run's end.
    EXPECT_NE(log.rfind("更新完成。\n"), std::string::npos) << log;
    for (const auto& [path, bytes] : files) {
        const fs::path installed = work / "game/Interface" / path;
        EXPECT_EQ(vm::Md5OfFile(installed), vm::Md5OfFile(work / "addons" / path)) << path;
    }
    EXPECT_FALSE(server.RequestsTo("/tvrn/html/velmora.html").empty());

    // A second copy brings the first to the front and ends by itself.
    const fs::path second = work / "second.txt";
    EXPECT_EQ(RunToEnd(second, 60), 0) << platform::ReadWholeFile(second).value_or("");
    EXPECT_TRUE(WaitForOutput(out, "窗口回到前台。", 30))
        << platform::ReadWholeFile(out).value_or("");
    EXPECT_EQ(::kill(pid, 0), 0);  // the first one still runs
    Stop(pid);
    // The window program says everything on its status line, nothing on the terminal.
    EXPECT_EQ(platform::ReadWholeFile(out.string() + ".stdout").value_or("?"), "");
}

TEST_F(GuiEndToEnd, OnceEveryDayUpdatesOnlyOnTheFirstStartOfTheDay) {
    platform::IniFile ini(work / "program/Velmora.ini");
    ini.WriteInt("Update", "OnceEveryDay", 1);
    const fs::path first = work / "first.txt";
    int pid = Start(first);
    ASSERT_GT(pid, 0);
    const bool done = WaitForOutput(first, "更新完成。");
    Stop(pid);
    ASSERT_TRUE(done) << platform::ReadWholeFile(first).value_or("");
    // A later start the same day: the update-information job's day test answers "done", so
    // the information stays empty and the window starts nothing.
    const std::size_t listFetches = server.RequestsTo("/mirror/TVRN/filelist.xml.z").size();
    const fs::path again = work / "again.txt";
    pid = Start(again);
    ASSERT_GT(pid, 0);
    const bool decided = WaitForOutput(again, "不进行更新。");
    Stop(pid);
    EXPECT_TRUE(decided) << platform::ReadWholeFile(again).value_or("");
    EXPECT_EQ(platform::ReadWholeFile(again).value_or("").find("更新完成。"), std::string::npos);
    EXPECT_EQ(server.RequestsTo("/mirror/TVRN/filelist.xml.z").size(), listFetches);
}

}  // namespace
