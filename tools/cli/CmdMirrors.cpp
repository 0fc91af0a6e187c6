#include <future>
#include <iostream>
#include <string>
#include <vector>

#include "app/CVelmoraApp.h"
#include "platform/Latency.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "update/CSelectServerLogic.h"
#include "update/MirrorEndpoints.h"

namespace vm::cli {

namespace {

constexpr int kMirrorTimeoutMs = 10000;

int RunMirrors(const std::vector<std::string>& args) {
    CliOptions options({"--program-dir"}, {});
    if (auto done = StartCommand(kMirrorsCommand, options, args)) return *done;

    const char* const names[] = {"电信服务器", "网通服务器"};
    std::future<int> latency[2];
    for (int i = 0; i < 2; ++i) {
        const MirrorHost host = MirrorHostFor(i);
        latency[i] = std::async(std::launch::async, [host] {
            return platform::MeasureConnectMs(host.host, host.port, kMirrorTimeoutMs);
        });
    }
    const int chosen = MirrorIndexForServer(theApp().GetProfile(settings::kServer));
    for (int i = 0; i < 2; ++i) {
        const MirrorHost host = MirrorHostFor(i);
        std::cout << (i == chosen ? "* " : "  ") << names[i] << "  " << MirrorUrlsFor(i).base
                  << "  " << CSelectServerLogic::LatencyText(latency[i].get()) << "\n";
    }
    return kExitOk;
}

}  // namespace

const CliCommand kMirrorsCommand{
    "mirrors",
    "[--program-dir DIR]",
    "测量两个更新镜像的连接时间",
    "用法: velmora mirrors [--program-dir DIR]\n"
    "测量到电信服务器和网通服务器（其端口）的 TCP 连接时间；* 为 Update/Server 所选的镜像。\n"
    "  --program-dir DIR  程序目录（存放 Velmora.ini 的目录），默认为 velmora 所在目录\n",
    RunMirrors,
};

}  // namespace vm::cli
