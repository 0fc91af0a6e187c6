#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "platform/Text.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "update/MirrorEndpoints.h"
#include "update/SelfUpdate.h"
#include "update/UpdateInfo.h"
#include "update/UpdateInfoFetch.h"

namespace vm::cli {

namespace {

int RunInfo(const std::vector<std::string>& args) {
    CliOptions options({"--program-dir"}, {});
    if (auto done = StartCommand(kInfoCommand, options, args)) return *done;

    // Only reads: no once-a-day test, so looking does not count as today's update.
    CVelmoraApp& app = theApp();
    SetMirrorUrlsFromSettings();
    FetchChecksums();
    const std::optional<UpdateInfoMap> fetched = FetchInformation();
    if (!fetched) {
        PrintError("获取更新信息失败。");
        return kExitFailed;
    }
    const UpdateInfoMap& info = *fetched;
    auto value = [&](const char* key) {
        auto it = info.find(key);
        // The mirror's words: printed without anything that could drive the terminal.
        return it == info.end() ? std::string("（未发布）")
                                : platform::WithoutControlCharacters(it->second);
    };
    std::cout << "镜像: " << app.MirrorState().baseUrl.Get() << "\n"
              << "发布的客户端版本: " << value(kInfoVersion) << "（本机 " << kClientVersion
              << "）\n"
              << "客户端: " << value(kInfoClient) << "\n"
              << "更新程序: " << value(kInfoUpdater) << "\n"
              << "NoCacheMode: " << value(kInfoNoCacheMode) << "\n";
    const auto sets = PublishedSetsOf(info);
    const std::string chosen = app.GetProfile(settings::kVersion);
    bool chosenFound = false;
    for (const auto& [name, folder] : sets) chosenFound = chosenFound || name == chosen;
    std::cout << "插件集:\n";
    if (sets.empty()) std::cout << "  （没有发布任何插件集）\n";
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const bool selected = chosenFound ? sets[i].first == chosen : i == 0;
        std::cout << (selected ? "* " : "  ") << platform::WithoutControlCharacters(sets[i].first)
                  << "  " << platform::WithoutControlCharacters(sets[i].second) << "\n";
    }
    return kExitOk;
}

}  // namespace

const CliCommand kInfoCommand{
    "info",
    "[--program-dir DIR]",
    "显示镜像发布的客户端版本和插件集",
    "用法: velmora info [--program-dir DIR]\n"
    "从所选镜像获取更新信息，显示发布的客户端版本、插件集及其目录（* 为所选插件集）。\n"
    "不计入每天一次的更新。\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n",
    RunInfo,
};

}  // namespace vm::cli
