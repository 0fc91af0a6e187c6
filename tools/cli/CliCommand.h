#pragma once

#include <string>
#include <vector>

namespace vm::cli {

// One sub-command of `velmora`. Each lives in a file of its own (CmdGame.cpp, ...) and is
// listed once in the table in main.cpp. run gets the arguments after the sub-command's name
// and returns the process exit status.
struct CliCommand {
    const char* name;
    const char* synopsis;  // arguments, for the usage line
    const char* summary;   // one line for the overview
    const char* help;      // the sub-command's own help text
    int (*run)(const std::vector<std::string>& args);
};

// Exit statuses shared by every sub-command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

extern const CliCommand kGameCommand;
extern const CliCommand kScanCommand;
extern const CliCommand kPublishCommand;
extern const CliCommand kUpdateCommand;
extern const CliCommand kInfoCommand;
extern const CliCommand kMirrorsCommand;
extern const CliCommand kLoginCommand;
extern const CliCommand kLogoutCommand;
extern const CliCommand kSettingsCommand;
extern const CliCommand kAccountCommand;
extern const CliCommand kObsoletedCommand;
extern const CliCommand kScheduleCommand;

}  // namespace vm::cli
