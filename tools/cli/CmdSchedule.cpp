#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/CVelmoraApp.h"
#include "platform/FileUtil.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"
#include "tools/cli/Unattended.h"

namespace vm::cli {

namespace {

namespace fs = std::filesystem;

// The user's systemd, when it answers; empty otherwise.
fs::path UserSystemd() {
    const fs::path systemctl = Systemctl();
    if (systemctl.empty()) return {};
    if (RunProgram(systemctl, {"--user", "show-environment"}).status != 0) return {};
    return systemctl;
}

std::string EveryText(Every every) {
    return every == Every::Day ? "每天一次" : "每小时一次";
}

void PrintCrontab(Every every) {
    TerminalOutput& out = TerminalOutput::Instance();
    // The line appends to a log there: the shell cron runs does not create folders.
    std::error_code ec;
    fs::create_directories(StateFolder(), ec);
    out.Line("没有找到systemd用户服务，无法安装定时器。可以用crontab -e加入下面这一行：");
    out.Line(CrontabLine(ScheduledCommand(theApp().ProgramDir()), every));
    out.Line("运行记录写在：" + (StateFolder() / "update.log").string());
}

// Runs systemctl --user args; false, after saying so, when it fails.
bool SystemctlUser(const fs::path& systemctl, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--user"};
    all.insert(all.end(), args.begin(), args.end());
    const ProgramRun run = RunProgram(systemctl, all);
    if (run.status == 0) return true;
    std::string command = "systemctl --user";
    for (const std::string& a : args) command += " " + a;
    PrintError(command + " 失败（退出状态 " + std::to_string(run.status) + "）。");
    return false;
}

int On(Every every) {
    const fs::path systemctl = UserSystemd();
    if (systemctl.empty()) {
        PrintCrontab(every);
        return kExitFailed;
    }
    const fs::path folder = UserUnitFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string service = ServiceUnit(ScheduledCommand(theApp().ProgramDir()));
    if (!platform::WriteFileAtomic(folder / kServiceName, service) ||
        !platform::WriteFileAtomic(folder / kTimerName, TimerUnit(every))) {
        PrintError("无法写入定时器文件：" + folder.string());
        return kExitFailed;
    }
    if (!SystemctlUser(systemctl, {"daemon-reload"}) ||
        !SystemctlUser(systemctl, {"enable", "--now", kTimerName}))
        return kExitFailed;
    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("已开启自动更新：" + EveryText(every) +
             "（velmora update --no，不会未经同意隔离插件）。");
    out.Line("定时器文件：" + (folder / kTimerName).string());
    out.Line("运行记录：journalctl --user -u " + std::string(kServiceName));
    return kExitOk;
}

int Off() {
    const fs::path folder = UserUnitFolder();
    std::error_code ec;
    const bool installed = fs::exists(folder / kTimerName, ec);
    const fs::path systemctl = UserSystemd();
    if (installed && !systemctl.empty() &&
        !SystemctlUser(systemctl, {"disable", "--now", kTimerName}))
        return kExitFailed;
    fs::remove(folder / kTimerName, ec);
    fs::remove(folder / kServiceName, ec);
    if (installed && !systemctl.empty()) SystemctlUser(systemctl, {"daemon-reload"});
    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("已关闭自动更新。");
    if (systemctl.empty())
        out.Line(
            "没有找到systemd用户服务；如果曾在crontab里加入velmora update，请用crontab -e删除。");
    return kExitOk;
}

int Status() {
    TerminalOutput& out = TerminalOutput::Instance();
    const fs::path folder = UserUnitFolder();
    const std::optional<std::string> timer = platform::ReadWholeFile(folder / kTimerName);
    const std::optional<Every> every = timer ? TimerSchedule(*timer) : std::nullopt;
    const fs::path systemctl = UserSystemd();
    if (!every) {
        out.Line("自动更新：未开启。");
        if (systemctl.empty()) PrintCrontab(Every::Day);
        return kExitOk;
    }
    out.Line("自动更新：已开启，" + EveryText(*every) + "。");
    out.Line("定时器文件：" + (folder / kTimerName).string());
    if (systemctl.empty()) {
        out.Line("没有找到systemd用户服务：定时器现在不会运行。");
        return kExitOk;
    }
    const ProgramRun active = RunProgram(systemctl, {"--user", "is-active", kTimerName});
    std::string state = active.output.substr(0, active.output.find('\n'));
    out.Line("定时器状态：" + (state.empty() ? std::string("未知") : state));
    out.Line("运行记录：journalctl --user -u " + std::string(kServiceName));
    return kExitOk;
}

int RunSchedule(const std::vector<std::string>& args) {
    WordsAndOptions split = SplitWords(args);
    std::vector<std::string>& words = split.words;
    const std::vector<std::string>& rest = split.options;
    CliOptions options({"--program-dir"}, {"--daily", "--hourly"});
    if (auto done = StartCommand(kScheduleCommand, options, rest)) return *done;
    if (options.Flag("--daily") && options.Flag("--hourly")) {
        PrintError("--daily 和 --hourly 不能同时使用。");
        return kExitUsage;
    }
    const Every every = options.Flag("--hourly") ? Every::Hour : Every::Day;
    const std::string action = words.size() == 1 ? words[0] : std::string();
    if (action == "on") return On(every);
    if (action == "off") return Off();
    if (action == "status") return Status();
    PrintError("请指定 on、off 或 status。");
    return kExitUsage;
}

}  // namespace

const CliCommand kScheduleCommand{
    "schedule",
    "on [--daily | --hourly] | off | status [--program-dir DIR]",
    "开启、关闭或查看无人值守的自动更新（systemd 用户定时器）",
    "用法: velmora schedule on [--daily | --hourly]\n"
    "       velmora schedule off\n"
    "       velmora schedule status\n"
    "on      安装并启动 systemd 用户定时器，定时运行 velmora update --no：\n"
    "        遵守自动更新设置（AutoUpdate、OnceEveryDay）和同一时间只有一次更新的规则，\n"
    "        所有问题都回答“否”（只有 DeleteMode=1 时才隔离不明插件）；\n"
    "        有改动时在桌面上显示通知。没有 systemd 时显示可加入 crontab 的一行。\n"
    "off     停止并删除定时器\n"
    "status  显示定时器是否开启\n"
    "  --daily            每天一次（默认）\n"
    "  --hourly           每小时一次\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "运行记录在 systemd 日志中（journalctl --user -u velmora-update.service），\n"
    "用 crontab 时在 $XDG_STATE_HOME/velmora/update.log。\n"
    "退出状态: 0 成功，1 失败（或没有 systemd），2 参数错误。\n",
    RunSchedule,
};

}  // namespace vm::cli
