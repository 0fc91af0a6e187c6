#pragma once

// Unattended updates: the systemd user units (or, without systemd, the crontab line) that
// run `velmora update --no`, where such a run logs, and the desktop notification it shows
// after a run with changes.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vm::cli {

enum class Every { Day, Hour };

inline constexpr char kServiceName[] = "velmora-update.service";
inline constexpr char kTimerName[] = "velmora-update.timer";

// $XDG_CONFIG_HOME/systemd/user (~/.config/systemd/user unless set).
std::filesystem::path UserUnitFolder();
// $XDG_STATE_HOME/velmora (~/.local/state/velmora unless set): the log of runs without the
// journal.
std::filesystem::path StateFolder();

// The command a scheduled run executes: this velmora, `update --no --notify`, the program
// folder.
std::vector<std::string> ScheduledCommand(const std::filesystem::path& programDir);

std::string ServiceUnit(const std::vector<std::string>& command);
std::string TimerUnit(Every every);
// The unit's schedule read back; nullopt for a timer file that is not ours.
std::optional<Every> TimerSchedule(const std::string& timerUnit);
// The crontab line: the command with its output appended to the state folder's log.
std::string CrontabLine(const std::vector<std::string>& command, Every every);

// The program to run as systemctl ($VELMORA_SYSTEMCTL, else from PATH); empty when none.
std::filesystem::path Systemctl();

struct ProgramRun {
    int status = -1;     // exit status; -1 when it could not be started
    std::string output;  // stdout and stderr
};
// Runs program with args, stdin from /dev/null, and collects its output.
ProgramRun RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args);

// A freedesktop notification through the session bus (gdbus, else notify-send); silent when
// there is no session bus or no way to reach it. true when it was handed over.
bool NotifyDesktop(const std::string& summary, const std::string& body);

}  // namespace vm::cli
