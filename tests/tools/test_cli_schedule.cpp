// `velmora schedule`: the systemd user units it writes (checked by systemd-analyze when the
// machine has it), on, status and off through a stand-in systemctl, the crontab line without
// systemd, and the timer's own command updating a game folder with no display and no
// terminal, telling the desktop only when a session bus is there.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
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

class CliSchedule : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(work / "home");
        fs::create_directories(work / "tmp");
        fs::create_directories(work / "program");
        Put("game/Tovrin.exe", "MZ");
        platform::IniFile ini(work / "program/Velmora.ini");
        ini.WriteInt("Path", "PathType", 1);
        ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
        ini.WriteInt("Update", "Server", 1);
        // Stand-ins that record how they were called.
        Script("bin/systemctl", "echo \"$*\" >>'" + (work / "systemctl.log").string() +
                                    "'\ncase \"$*\" in *is-active*) echo active;; esac\nexit 0\n");
        Script("bin/gdbus", "printf '%s\\n' \"$@\" >>'" + (work / "gdbus.log").string() + "'\n");
    }
    void Put(const std::string& below, const std::string& bytes) {
        fs::create_directories((work / below).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(work / below, bytes));
    }
    void Script(const std::string& below, const std::string& body) {
        Put(below, "#!/bin/sh\n" + body);
        ::chmod((work / below).c_str(), 0755);
    }
    std::string Read(const std::string& below) const {
        return platform::ReadWholeFile(work / below).value_or("");
    }
    // Runs a shell command line in the test home (no terminal); output into out.
    int Shell(const std::string& env, const std::string& command, std::string& out) {
        const std::string cmd = "env -i HOME=" + Quote((work / "home").string()) +
                                " PATH=/usr/bin:/bin TMPDIR=" + Quote((work / "tmp").string()) +
                                " " + env + " sh -c " + Quote(command) + " >" +
                                Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = Read("out.txt");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    int Schedule(const std::string& args, std::string& out, bool systemd = true) {
        const std::string systemctl =
            systemd ? (work / "bin/systemctl").string() : (work / "no-systemctl").string();
        return Shell("VELMORA_SYSTEMCTL=" + Quote(systemctl),
                     Quote(Bin("velmora").string()) + " schedule " + args + " --program-dir " +
                         Quote((work / "program").string()),
                     out);
    }
    const std::string units = "home/.config/systemd/user/";
    vm::test::ScopedTempDir work;
};

TEST_F(CliSchedule, OnStatusOffWithTheUsersSystemd) {
    std::string out;
    ASSERT_EQ(Schedule("status", out), 0) << out;
    EXPECT_TRUE(Contains(out, "自动更新：未开启。")) << out;

    fs::remove(work / "systemctl.log");
    ASSERT_EQ(Schedule("on --hourly", out), 0) << out;
    EXPECT_TRUE(Contains(out, "已开启自动更新：每小时一次")) << out;
    const std::string service = Read(units + "velmora-update.service");
    const std::string timer = Read(units + "velmora-update.timer");
    EXPECT_TRUE(Contains(service, "\nExecStart=\"" + Bin("velmora").string() +
                                      "\" \"update\" \"--no\" \"--notify\" \"--program-dir\" \"" +
                                      (work / "program").string() + "\"\n"))
        << service;
    EXPECT_TRUE(Contains(service, "\nType=oneshot\n")) << service;
    EXPECT_TRUE(Contains(timer, "\nOnCalendar=hourly\n")) << timer;
    EXPECT_TRUE(Contains(timer, "\nWantedBy=timers.target\n")) << timer;
    EXPECT_EQ(Read("systemctl.log"),
              "--user show-environment\n--user daemon-reload\n"
              "--user enable --now velmora-update.timer\n");

    const fs::path analyze = platform::FindOnPath("systemd-analyze");
    if (!analyze.empty()) {
        const std::string verify = Quote(analyze.string()) + " verify " +
                                   Quote((work / units / "velmora-update.service").string()) + " " +
                                   Quote((work / units / "velmora-update.timer").string());
        EXPECT_EQ(Shell("", verify, out), 0) << out;
    }

    ASSERT_EQ(Schedule("status", out), 0) << out;
    EXPECT_TRUE(Contains(out, "自动更新：已开启，每小时一次。\n")) << out;
    EXPECT_TRUE(Contains(out, "定时器状态：active\n")) << out;

    // Daily replaces hourly.
    ASSERT_EQ(Schedule("on", out), 0) << out;
    EXPECT_TRUE(Contains(Read(units + "velmora-update.timer"), "\nOnCalendar=daily\n"));

    fs::remove(work / "systemctl.log");
    ASSERT_EQ(Schedule("off", out), 0) << out;
    EXPECT_TRUE(Contains(out, "已关闭自动更新。")) << out;
    EXPECT_FALSE(fs::exists(work / units / "velmora-update.service"));
    EXPECT_FALSE(fs::exists(work / units / "velmora-update.timer"));
    EXPECT_EQ(Read("systemctl.log"),
              "--user show-environment\n--user disable --now velmora-update.timer\n"
              "--user daemon-reload\n");
    ASSERT_EQ(Schedule("status", out), 0) << out;
    EXPECT_TRUE(Contains(out, "自动更新：未开启。")) << out;

    EXPECT_EQ(Schedule("on --daily --hourly", out), 2) << out;
    EXPECT_EQ(Schedule("sometimes", out), 2) << out;
}

TEST_F(CliSchedule, WithoutSystemdItGivesTheCrontabLine) {
    std::string out;
    EXPECT_EQ(Schedule("on", out, false), 1) << out;
    EXPECT_TRUE(Contains(out, "没有找到systemd用户服务")) << out;
    const std::string log = (work / "home/.local/state/velmora/update.log").string();
    EXPECT_TRUE(Contains(out, "17 4 * * * '" + Bin("velmora").string() +
                                  "' 'update' '--no' '--notify' '--program-dir' '" +
                                  (work / "program").string() + "' >>'" + log + "' 2>&1\n"))
        << out;
    EXPECT_TRUE(fs::is_directory(work / "home/.local/state/velmora"));
    EXPECT_FALSE(fs::exists(work / units));
}

// The command the timer runs, against a mirror, as systemd runs it: no display, no terminal.
class ScheduledRun : public CliSchedule {
  protected:
    void SetUp() override {
        CliSchedule::SetUp();
        Put("endpoints.ini", "[Endpoints]\nTelecomMirror=" + server.Origin() +
                                 "\nNetcomMirror=http://127.0.0.1:1\n");
        server.ServeFolder("/", work / "mirror");
    }
    void Publish(const std::string& bytes) {
        Put("addons/A/a.lua", bytes);
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = "TVRN";
        ASSERT_TRUE(vm::PublishMirror(o).ok);
    }
    // ExecStart of the written service as a shell command line.
    std::string ExecStart() {
        const std::string service = Read(units + "velmora-update.service");
        const std::size_t at = service.find("\nExecStart=");
        EXPECT_NE(at, std::string::npos) << service;
        std::string line = service.substr(at + 11, service.find('\n', at + 1) - at - 11);
        std::string command;
        bool quoted = false;
        std::string word;
        for (char c : line) {
            if (c == '"') {
                if (quoted) command += (command.empty() ? "" : " ") + Quote(word);
                word.clear();
                quoted = !quoted;
            } else if (quoted) {
                word.push_back(c);
            }
        }
        return command;
    }
    std::string Env(bool bus) const {
        std::string env = "VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string());
        if (bus) env += " DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/none/bus";
        return env;
    }
    vm::test::TestServer server;
};

TEST_F(ScheduledRun, UpdatesTheGameWithNoDisplayAndNotifiesOnlyWithABus) {
    Publish("version 1");
    std::string out;
    ASSERT_EQ(Schedule("on", out), 0) << out;
    const std::string command = ExecStart();
    const std::string path = "PATH=" + Quote((work / "bin").string() + ":/usr/bin:/bin");

    // No session bus: the update happens, nobody is told.
    ASSERT_EQ(Shell(Env(false) + " " + path, command, out), 0) << out;
    EXPECT_EQ(Read("game/Interface/A/a.lua"), "version 1") << out;
    EXPECT_TRUE(Contains(out, "更新完成。")) << out;
    EXPECT_FALSE(fs::exists(work / "gdbus.log"));

    // With one: a run with changes notifies, a run without changes does not.
    Publish("version 2");
    ASSERT_EQ(Shell(Env(true) + " " + path, command, out), 0) << out;
    EXPECT_EQ(Read("game/Interface/A/a.lua"), "version 2") << out;
    const std::string call = Read("gdbus.log");
    EXPECT_TRUE(Contains(call, "--session\n")) << call;
    EXPECT_TRUE(Contains(call, "org.freedesktop.Notifications.Notify\n")) << call;
    EXPECT_TRUE(Contains(call, "'Velmora插件已更新'\n")) << call;
    fs::remove(work / "gdbus.log");
    ASSERT_EQ(Shell(Env(true) + " " + path, command, out), 0) << out;
    EXPECT_TRUE(Contains(out, "没有需要更新的文件。")) << out;
    EXPECT_FALSE(fs::exists(work / "gdbus.log"));
}

}  // namespace
