#include "tools/cli/Unattended.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"

extern char** environ;

namespace vm::cli {

namespace fs = std::filesystem;

namespace {

fs::path Home() {
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? fs::path(home) : fs::path("/");
}

fs::path XdgFolder(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    if (value && *value == '/') return value;
    return Home() / fallback;
}

// One word of an ExecStart line: quoted, with systemd's specifiers and variables escaped.
std::string UnitWord(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\') out.push_back('\\');
        if (c == '%') out.push_back('%');
        if (c == '$') out.push_back('$');
        out.push_back(c);
    }
    return out + "\"";
}

// One word of a crontab command (run by /bin/sh; cron turns a bare '%' into a line end).
std::string CronWord(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else if (c == '%')
            out += "'\\%'";
        else
            out.push_back(c);
    }
    return out + "'";
}

}  // namespace

fs::path UserUnitFolder() {
    return XdgFolder("XDG_CONFIG_HOME", ".config") / "systemd/user";
}

fs::path StateFolder() {
    return XdgFolder("XDG_STATE_HOME", ".local/state") / "velmora";
}

std::vector<std::string> ScheduledCommand(const fs::path& programDir) {
    return {platform::ExecutablePath().string(),
            "update",
            "--no",
            "--notify",
            "--program-dir",
            programDir.string()};
}

std::string ServiceUnit(const std::vector<std::string>& command) {
    std::string exec;
    for (const std::string& word : command) {
        if (!exec.empty()) exec.push_back(' ');
        exec.append(UnitWord(word));
    }
    return "# Written by velmora schedule on; removed by velmora schedule off.\n"
           "[Unit]\n"
           "Description=Velmora 插件自动更新\n"
           "Wants=network-online.target\n"
           "After=network-online.target\n"
           "\n"
           "[Service]\n"
           "Type=oneshot\n"
           "ExecStart=" +
           exec +
           "\n"
           "Nice=10\n"
           "IOSchedulingClass=idle\n";
}

std::string TimerUnit(Every every) {
    return std::string(
               "# Written by velmora schedule on; removed by velmora schedule off.\n"
               "[Unit]\n"
               "Description=Velmora 插件自动更新（") +
           (every == Every::Day ? "每天" : "每小时") +
           "）\n"
           "\n"
           "[Timer]\n"
           "OnCalendar=" +
           (every == Every::Day ? "daily" : "hourly") +
           "\n"
           "Persistent=true\n"
           "RandomizedDelaySec=" +
           (every == Every::Day ? "30min" : "5min") +
           "\n"
           "\n"
           "[Install]\n"
           "WantedBy=timers.target\n";
}

std::optional<Every> TimerSchedule(const std::string& timerUnit) {
    if (timerUnit.find("velmora schedule on") == std::string::npos) return std::nullopt;
    if (timerUnit.find("\nOnCalendar=daily\n") != std::string::npos) return Every::Day;
    if (timerUnit.find("\nOnCalendar=hourly\n") != std::string::npos) return Every::Hour;
    return std::nullopt;
}

std::string CrontabLine(const std::vector<std::string>& command, Every every) {
    std::string line = every == Every::Day ? "17 4 * * *" : "17 * * * *";
    for (const std::string& word : command) line.append(" ").append(CronWord(word));
    const fs::path log = StateFolder() / "update.log";
    return line + " >>" + CronWord(log.string()) + " 2>&1";
}

fs::path Systemctl() {
    if (const char* stand_in = std::getenv("VELMORA_SYSTEMCTL"); stand_in && *stand_in) {
        std::error_code ec;
        return fs::is_regular_file(stand_in, ec) ? fs::path(stand_in) : fs::path();
    }
    return platform::FindOnPath("systemctl");
}

ProgramRun RunProgram(const fs::path& program, const std::vector<std::string>& args) {
    ProgramRun run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<std::string> words = {program.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return run;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            run.output.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

bool NotifyDesktop(const std::string& summary, const std::string& body) {
    // A timer's run has the session bus only when the user's session provides one.
    std::string bus;
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
        bus = address;
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        struct stat st {};
        const std::string socket = std::string(runtime) + "/bus";
        if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
            bus = "unix:path=" + socket;
            ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
        }
    }
    if (bus.empty()) return false;
    if (const fs::path gdbus = platform::FindOnPath("gdbus"); !gdbus.empty()) {
        // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, timeout)
        auto quoted = [](const std::string& s) {
            std::string out = "'";
            for (char c : s) {
                if (c == '\'' || c == '\\') out.push_back('\\');
                out.push_back(c);
            }
            return out + "'";
        };
        return RunProgram(gdbus, {"call", "--session", "--dest", "org.freedesktop.Notifications",
                                  "--object-path", "/org/freedesktop/Notifications", "--method",
                                  "org.freedesktop.Notifications.Notify", "'Velmora'", "@u 0", "''",
                                  quoted(summary), quoted(body), "@as []", "@a{sv} {}", "@i 10000"})
                   .status == 0;
    }
    if (const fs::path send = platform::FindOnPath("notify-send"); !send.empty())
        return RunProgram(send, {"--app-name=Velmora", summary, body}).status == 0;
    return false;
}

}  // namespace vm::cli
