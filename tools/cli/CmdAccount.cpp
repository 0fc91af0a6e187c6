#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/CVelmoraApp.h"
#include "net/AccountSettings.h"
#include "net/SettingsSync.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"

namespace vm::cli {

namespace {

namespace fs = std::filesystem;

constexpr char kBadArguments[] = "您输入的参数有误，请选择正确的参数。";

int List() {
    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("账号配置目录: " + AccountFolder().string());
    const std::vector<std::string> names = ListAccounts();
    if (names.empty()) out.Line("（没有账号）");
    for (const std::string& name : names) out.Line(name);
    return kExitOk;
}

int Export(const std::string& account, const std::string& file) {
    if (!IsValidAccountName(account)) {
        PrintError(kBadArguments);
        return kExitUsage;
    }
    const fs::path target = file.empty() ? DefaultExportPath(account) : fs::path(file);
    std::error_code ec;
    if (!fs::is_directory(AccountFolder() / account, ec)) {
        PrintError("账号<" + account + ">不存在：" + (AccountFolder() / account).string());
        return kExitFailed;
    }
    if (!ExportAccount(account, target)) {
        PrintError("导出配置文件失败！请访问Velmora支持论坛获取技术支持！");
        return kExitFailed;
    }
    TerminalOutput::Instance().Line("配置文件<" + target.string() + ">已经被成功导出！");
    return kExitOk;
}

int Import(const std::string& file, std::string account) {
    if (account.empty()) account = AccountNameFromArchive(file);
    if (file.empty() || !IsValidAccountName(account)) {
        PrintError(kBadArguments);
        return kExitUsage;
    }
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        PrintError("配置文件不存在：" + file);
        return kExitFailed;
    }
    if (fs::symlink_status(AccountFolder() / account, ec).type() != fs::file_type::not_found &&
        theApp().Prompt("该帐号的配置信息已经存在，你是否想要覆盖它以前的配置信息？", "提示",
                        MB_YESNO | MB_ICONQUESTION) != IDYES) {
        PrintError("没有确认，账号配置没有改动（在脚本中请加 --yes）。");
        return kExitFailed;
    }
    if (!ImportAccount(file, account)) {
        PrintError("导入配置文件失败！请访问Velmora支持论坛获取技术支持！");
        return kExitFailed;
    }
    TerminalOutput::Instance().Line("配置文件<" + file + ">已经被成功导入到账号<" + account +
                                    ">！");
    return kExitOk;
}

int RunAccount(const std::vector<std::string>& args) {
    WordsAndOptions split = SplitWords(args);
    std::vector<std::string>& words = split.words;
    const std::vector<std::string>& rest = split.options;
    CliOptions options({"--program-dir"}, {"--yes"});
    if (auto done = StartCommand(kAccountCommand, options, rest)) return *done;
    SetAnswers(options.Flag("--yes") ? Answers::Yes : Answers::Ask);

    const std::string action = words.empty() ? std::string() : words[0];
    if (action == "list" && words.size() == 1) return List();
    if (action == "export" && (words.size() == 2 || words.size() == 3))
        return Export(words[1], words.size() == 3 ? words[2] : std::string());
    if (action == "import" && (words.size() == 2 || words.size() == 3))
        return Import(words[1], words.size() == 3 ? words[2] : std::string());
    PrintError("请指定 list、export NAME [FILE] 或 import FILE [NAME]。");
    return kExitUsage;
}

}  // namespace

const CliCommand kAccountCommand{
    "account",
    "list | export NAME [FILE] | import FILE [NAME] [--yes] [--program-dir DIR]",
    "列出、导出或导入游戏账号的插件配置（.wwc 文件）",
    "用法: velmora account list\n"
    "       velmora account export NAME [FILE]\n"
    "       velmora account import FILE [NAME] [--yes]\n"
    "list    列出游戏 Account 目录中的账号\n"
    "export  把账号 NAME 的插件配置写入 FILE（默认为游戏目录下的 NAME.wwc）\n"
    "import  把配置文件 FILE 导入到账号 NAME（默认为文件名第一个“.”之前的部分），\n"
    "        替换该账号原有的配置；文件损坏或不安全时原有配置保持不变\n"
    "  --yes              账号已存在时不提问，直接覆盖（没有终端时必须给出）\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "退出状态: 0 成功，1 失败，2 参数错误。\n",
    RunAccount,
};

}  // namespace vm::cli
