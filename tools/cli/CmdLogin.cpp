#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "net/Passport.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"

namespace vm::cli {

namespace {

// Reads the password: from the terminal without echo, else one line of standard input.
std::optional<std::string> ReadPassword() {
    std::string password;
    if (::isatty(STDIN_FILENO)) {
        termios old{};
        const bool quiet = ::tcgetattr(STDIN_FILENO, &old) == 0;
        if (quiet) {
            termios silent = old;
            silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
        std::cerr << "密码：" << std::flush;
        const bool got = static_cast<bool>(std::getline(std::cin, password));
        if (quiet) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::cerr << "\n";
        if (!got) return std::nullopt;
    } else if (!std::getline(std::cin, password)) {
        return std::nullopt;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

// The statistics ping runs on a worker; give it a moment before the process ends.
void WaitForWorkers() {
    (void)CWorkerThread::WaitForAll(std::chrono::seconds(10));
}

int RunLogin(const std::vector<std::string>& args) {
    // USER is the one argument that is not an option.
    std::string user;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--program-dir" && i + 1 < args.size()) {
            rest.push_back(args[i]);
            rest.push_back(args[++i]);
        } else if (user.empty() && !args[i].empty() && args[i][0] != '-') {
            user = args[i];
        } else {
            rest.push_back(args[i]);
        }
    }
    CliOptions options({"--program-dir"}, {"--remember", "--auto-login"});
    if (auto done = StartCommand(kLoginCommand, options, rest)) return *done;
    if (user.empty()) {
        PrintError("用户名不能为空。");
        return kExitUsage;
    }
    std::optional<std::string> password = ReadPassword();
    if (!password || password->empty()) {
        PrintError("请输入密码。");
        return kExitFailed;
    }

    const LogonChoice choice{options.Flag("--remember") || options.Flag("--auto-login"),
                             options.Flag("--auto-login")};
    if (!PassportLogin(user, *password, choice.remember ? kRememberCookieSeconds : 0)) {
        PrintError("验证失败，确认你的用户或密码输入正确。");
        return kExitFailed;
    }
    StoreLogonChoice(user, *password, choice);
    theApp().StartStatistic(5);
    TerminalOutput& out = TerminalOutput::Instance();
    out.Line("登录成功：" + PassportAccountText().Get());
    if (!choice.remember)
        out.Line("没有使用 --remember：登录只在本次命令中有效，之后的命令不会保持登录。");
    WaitForWorkers();
    return kExitOk;
}

}  // namespace

const CliCommand kLoginCommand{
    "login",
    "USER [--remember] [--auto-login] [--program-dir DIR]",
    "登录通行证账号",
    "用法: velmora login USER [--remember] [--auto-login] [--program-dir DIR]\n"
    "用通行证账号 USER 登录（同时登录社区服务）。密码在终端上输入（不回显），\n"
    "没有终端时从标准输入读取一行。\n"
    "  --remember         保存密码并保持登录（之后的 velmora settings 等命令仍然有效）\n"
    "  --auto-login       主程序启动时自动登录（同时保存密码）\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "退出状态: 0 登录成功，1 登录失败。\n",
    RunLogin,
};

}  // namespace vm::cli
