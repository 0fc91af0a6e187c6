#include <csignal>
#include <filesystem>
#include <iostream>

#include "app/CrashFrame.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/TemporaryFolder.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "update/ChecksumCache.h"
#include "update/ChecksumMap.h"
#include "update/ChecksumScan.h"

namespace vm::cli {

namespace {

// Ctrl+C cancels the scan the way the window's cancel button does; the cache is still saved.
extern "C" void CancelScan(int) {
    g_cancelUpdate.store(1);
}

int RunScan(const std::vector<std::string>& args) {
    CliOptions options({"--program-dir"}, {});
    if (auto done = StartCommand(kScanCommand, options, args)) return *done;

    const std::string folder = GameFolder();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder + "Interface", ec))
        PrintError("找不到插件目录：" + folder + "Interface");

    const std::filesystem::path cache = TemporaryFile(ChecksumCache::kFileName);
    g_cancelUpdate.store(0);
    g_scanDone.Reset();
    std::signal(SIGINT, CancelScan);
    ChecksumScanResult result;
    RunInCrashFrame([&] {
        result = RunChecksumScan(folder, cache, ChecksumMap::Instance(), g_cancelUpdate);
        return 0;
    });
    g_scanDone.Set();
    std::signal(SIGINT, SIG_DFL);

    std::cout << "已计算: " << result.hashed << "\n"
              << "来自缓存: " << result.fromCache << "\n"
              << "无法读取: " << result.failed << "\n"
              << "缓存文件: " << cache.string() << "\n";
    if (!result.cacheSaved) {
        PrintError("无法写入校验缓存文件：" + cache.string());
        return kExitFailed;
    }
    if (result.cancelled) {
        PrintError("扫描已取消。");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

const CliCommand kScanCommand{
    "scan",
    "[--program-dir DIR]",
    "计算游戏 Interface 目录中文件的校验值并更新缓存",
    "用法: velmora scan [--program-dir DIR]\n"
    "计算游戏 Interface 目录中每个文件的校验值（最后修改时间未变的文件取自缓存），\n"
    "更新临时目录中的 vmmd5index.dat，并显示计算和取自缓存的文件数。\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n",
    RunScan,
};

}  // namespace vm::cli
