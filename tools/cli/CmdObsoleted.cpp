#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"
#include "update/FileInstall.h"
#include "update/IsolationForecast.h"
#include "update/ObsoletedAddOns.h"
#include "update/UpdateRunLock.h"

namespace vm::cli {

namespace {

std::string SizeText(std::uintmax_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%ju B", bytes);
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    return text;
}

std::string TimeText(std::time_t t) {
    std::tm local{};
    char text[32] = "";
    if (t > 0 && ::localtime_r(&t, &local))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

int List(const std::string& game) {
    TerminalOutput& out = TerminalOutput::Instance();
    const std::vector<ObsoletedEntry> entries = ListObsoleted(game);
    out.Line("隔离目录: " + ObsoletedFolder(game));
    if (entries.empty()) {
        out.Line("（没有已隔离的插件）");
        return kExitOk;
    }
    for (const ObsoletedEntry& e : entries) {
        out.Line(e.name + (e.folder ? "/" : "") + "\t" + std::to_string(e.files) + " 个文件\t" +
                 SizeText(e.bytes) + "\t" + TimeText(e.movedAt));
    }
    return kExitOk;
}

// No update run may move files while entries move back or go.
std::unique_ptr<UpdateRunLock> Lock(const std::string& game) {
    auto lock = UpdateRunLock::TryAcquire(game);
    if (!lock) PrintError("正在更新插件，请等更新结束后再试。");
    return lock;
}

int Restore(const std::string& game, const std::vector<std::string>& names) {
    auto lock = Lock(game);
    if (!lock) return kExitFailed;
    TerminalOutput& out = TerminalOutput::Instance();
    const std::vector<std::string> listPaths = LastListPaths();
    int rc = kExitOk;
    for (const std::string& name : names) {
        const ObsoletedResult r = RestoreObsoleted(game, name);
        if (!r.ok) {
            PrintError("无法恢复“" + name + "”：" + r.error + "。");
            rc = kExitFailed;
            continue;
        }
        out.Line("已恢复：" + name);
        const IsolationForecast forecast = ForecastIsolation(game, name, listPaths);
        if (!forecast.reason.empty()) out.Line("  注意：" + forecast.reason);
    }
    return rc;
}

int Purge(const std::string& game, std::vector<std::string> names) {
    auto lock = Lock(game);
    if (!lock) return kExitFailed;
    if (names.empty()) {
        for (const ObsoletedEntry& e : ListObsoleted(game)) names.push_back(e.name);
        if (names.empty()) {
            TerminalOutput::Instance().Line("（没有已隔离的插件）");
            return kExitOk;
        }
    }
    std::string question = "将永久删除以下已隔离的插件：";
    for (const std::string& name : names) question += "\n  " + name;
    question += "\n确定要删除吗？";
    if (theApp().Prompt(question, "删除已隔离的插件", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        PrintError("没有确认，没有删除任何文件（在脚本中请加 --yes）。");
        return kExitFailed;
    }
    int rc = kExitOk;
    for (const std::string& name : names) {
        const ObsoletedResult r = PurgeObsoleted(game, name);
        if (r.ok) {
            TerminalOutput::Instance().Line("已删除：" + name);
        } else {
            PrintError("无法删除“" + name + "”：" + r.error + "。");
            rc = kExitFailed;
        }
    }
    return rc;
}

int RunObsoleted(const std::vector<std::string>& args) {
    WordsAndOptions split = SplitWords(args);
    std::vector<std::string>& words = split.words;
    const std::vector<std::string>& rest = split.options;
    CliOptions options({"--program-dir"}, {"--yes"});
    if (auto done = StartCommand(kObsoletedCommand, options, rest)) return *done;
    SetAnswers(options.Flag("--yes") ? Answers::Yes : Answers::Ask);

    const std::string game = GameFolder();
    const std::string action = words.empty() ? std::string() : words[0];
    const std::vector<std::string> names(words.empty() ? words.end() : words.begin() + 1,
                                         words.end());
    if (action == "list" && names.empty()) return List(game);
    if (action == "restore" && !names.empty()) return Restore(game, names);
    if (action == "purge") return Purge(game, names);
    PrintError("请指定 list、restore NAME... 或 purge [NAME...]。");
    return kExitUsage;
}

}  // namespace

const CliCommand kObsoletedCommand{
    "obsoleted",
    "list | restore NAME... | purge [NAME...] [--yes] [--program-dir DIR]",
    "列出、恢复或删除更新时隔离的不明插件",
    "用法: velmora obsoleted list\n"
    "       velmora obsoleted restore NAME...\n"
    "       velmora obsoleted purge [NAME...] [--yes]\n"
    "list     列出 Interface.obsoleted 中的插件：名称、文件数、大小、隔离时间\n"
    "restore  把插件 NAME 移回 Interface；Interface 中已有同名插件时不恢复，\n"
    "         下次更新会再次隔离它时给出提示（原因取决于 DeleteMode）\n"
    "purge    永久删除插件 NAME（不给出名称时删除全部）\n"
    "  --yes              删除时不提问（没有终端时必须给出）\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "退出状态: 0 成功，1 失败，2 参数错误。\n",
    RunObsoleted,
};

}  // namespace vm::cli
