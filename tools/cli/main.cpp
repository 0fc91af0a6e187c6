// velmora: the command-line front end. Each sub-command lives in its own file; add it to
// kCommands below.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/CWorkerThread.h"
#include "app/Version.h"
#include "tools/cli/CliCommand.h"

namespace {

using vm::cli::CliCommand;

const CliCommand* const kCommands[] = {
    &vm::cli::kGameCommand,    &vm::cli::kScanCommand,      &vm::cli::kPublishCommand,
    &vm::cli::kUpdateCommand,  &vm::cli::kInfoCommand,      &vm::cli::kMirrorsCommand,
    &vm::cli::kLoginCommand,   &vm::cli::kLogoutCommand,    &vm::cli::kSettingsCommand,
    &vm::cli::kAccountCommand, &vm::cli::kObsoletedCommand, &vm::cli::kScheduleCommand,
};

void PrintUsage(std::ostream& out) {
    out << "用法: velmora <命令> [选项]\n\n命令:\n";
    for (const CliCommand* c : kCommands) {
        std::string line = std::string("  ") + c->name + " " + c->synopsis;
        out << line << "\n      " << c->summary << "\n";
    }
    out << "\n使用 velmora <命令> --help 查看命令的说明，velmora --version 显示版本。\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(std::cerr);
        return vm::cli::kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--version" || name == "-V") {
        std::cout << "velmora " << vm::kProgramVersion << "\n";
        return vm::cli::kExitOk;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(std::cout);
        return vm::cli::kExitOk;
    }
    for (const CliCommand* c : kCommands) {
        if (name == c->name) {
            const int rc = c->run(std::vector<std::string>(argv + 2, argv + argc));
            // Workers are detached: give the last ones (a statistics ping, a worker's own
            // ending) a moment, then end without running static destructors under them.
            (void)vm::CWorkerThread::WaitForAll(std::chrono::seconds(2));
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
            _exit(rc);
        }
    }
    std::cerr << "velmora: 未知命令：" << name << "\n\n";
    PrintUsage(std::cerr);
    return vm::cli::kExitUsage;
}
