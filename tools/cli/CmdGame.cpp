#include <filesystem>
#include <iostream>

#include "app/CVelmoraApp.h"
#include "app/GameCandidates.h"
#include "app/GameFolder.h"
#include "app/TemporaryFolder.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"

namespace vm::cli {

namespace {

const char* SourceName(GameSource source) {
    switch (source) {
        case GameSource::ProgramFolder:
            return "程序目录";
        case GameSource::WinePrefix:
            return "Wine前缀";
        case GameSource::Settings:
            return "设置";
        case GameSource::Nothing:
            break;
    }
    return "未找到";
}

int RunGame(const std::vector<std::string>& args) {
    CliOptions options({"--program-dir"}, {"--detect"});
    if (auto done = StartCommand(kGameCommand, options, args)) return *done;

    const std::string exe = GameExecutable();
    std::cout << "程序目录: " << ProgramFolder() << "\n"
              << "设置文件: " << theApp().ProfilePath().string() << "\n"
              << "游戏目录: " << GameFolder() << "\n"
              << "游戏程序: " << exe << "\n"
              << "临时目录: " << TemporaryFolder() << "\n";
    if (options.Flag("--detect")) {
        const FoundGame found = FindGame();
        std::cout << "查找结果: " << SourceName(found.source) << "\n";
        if (found.source == GameSource::ProgramFolder)
            std::cout << "查找路径: " << ProgramFolder() << kGameExecutableName << "\n";
        else if (found.source == GameSource::WinePrefix)
            std::cout << "查找路径: " << found.path << "\n";
        // Every place, the Linux launchers' prefixes included, each with where it came from.
        const std::vector<GameCandidate> candidates = FindGameCandidates();
        std::cout << "找到的位置: " << candidates.size() << "\n";
        for (const GameCandidate& c : candidates)
            std::cout << "  " << c.executable.string() << "\t" << CandidateSourceName(c.source)
                      << "\t" << c.origin.string() << "\n";
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(exe, ec))
        PrintError("无法找到Tovrin可执行文件，请查看设置。");
    return kExitOk;
}

}  // namespace

const CliCommand kGameCommand{
    "game",
    "[--program-dir DIR] [--detect]",
    "显示游戏目录、游戏程序和临时目录",
    "用法: velmora game [--program-dir DIR] [--detect]\n"
    "显示程序解析出的游戏目录、游戏程序和临时目录。\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n"
    "  --detect           同时显示自动查找的结果：程序目录、Wine前缀或未找到，\n"
    "                     以及找到游戏的所有位置（$WINEPREFIX、~/.wine、Lutris、\n"
    "                     Steam Proton、Bottles），每行：游戏程序、来源、来源所在位置\n",
    RunGame,
};

}  // namespace vm::cli
