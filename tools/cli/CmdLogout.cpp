#include <string>
#include <vector>

#include "net/Passport.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "tools/cli/TerminalOutput.h"

namespace vm::cli {

namespace {

int RunLogout(const std::vector<std::string>& args) {
    CliOptions options({"--program-dir"}, {});
    if (auto done = StartCommand(kLogoutCommand, options, args)) return *done;
    PassportLogout();
    TerminalOutput::Instance().Line("已退出登录。");
    return kExitOk;
}

}  // namespace

const CliCommand kLogoutCommand{
    "logout",
    "[--program-dir DIR]",
    "退出通行证账号",
    "用法: velmora logout [--program-dir DIR]\n"
    "删除保存的通行证 Cookie，退出通行证和社区服务。保存的密码不变\n"
    "（用 velmora login 不加 --remember 再登录一次可以清除它）。\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n",
    RunLogout,
};

}  // namespace vm::cli
