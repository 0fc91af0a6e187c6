// velmora-devserver: a local stand-in for the update mirrors and the account services.
// Serves a mirror folder (as `velmora publish` writes it) on 127.0.0.1 with Range support, the
// main window's news page, and the passport, community, statistics and data servers with the
// demo account, and prints the endpoints file that points the program at it through
// VELMORA_ENDPOINTS.

#include <httplib.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "app/SettingsKeys.h"
#include "platform/FileUtil.h"
#include "tools/devserver/NewsPage.h"
#include "tools/devservices/DevServices.h"

namespace {

httplib::Server* g_server = nullptr;

extern "C" void StopServer(int) {
    if (g_server) g_server->stop();
}

constexpr char kUsage[] =
    "用法: velmora-devserver --mirror DIR [--port N] [--endpoints FILE] [--quiet]\n"
    "在 127.0.0.1 上提供镜像目录 DIR（支持 Range 请求），并输出让程序使用它的\n"
    "VELMORA_ENDPOINTS 文件；同时提供通行证和社区等账号服务，演示账号 demo，密码 demo。\n"
    "按 Ctrl+C 停止。\n"
    "  --mirror DIR      镜像目录（velmora publish 生成的目录）\n"
    "  --port N          端口，默认 0（任选一个空闲端口）\n"
    "  --endpoints FILE  同时把端点文件写到 FILE\n"
    "  --quiet           不输出每个请求\n"
    "程序只安装签名有效的新版本：发布时用 velmora publish --sign "
    "签名（开发密钥见启动时的输出）。\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string mirror, endpointsFile;
    int port = 0;
    bool quiet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string portText;
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--mirror"      ? !next(mirror)
                   : a == "--endpoints" ? !next(endpointsFile)
                   : a == "--port"      ? !next(portText)
                                        : true) {
            std::cerr << "velmora-devserver: 无法识别的参数：" << a << "\n" << kUsage;
            return 2;
        }
        if (!portText.empty()) port = std::atoi(portText.c_str());
    }
    std::error_code ec;
    if (mirror.empty() || !std::filesystem::is_directory(mirror, ec)) {
        std::cerr << "velmora-devserver: 镜像目录不存在：" << mirror << "\n" << kUsage;
        return 2;
    }

    httplib::Server server;
    // Headers and body go out as separate writes; without this each small file waits for
    // the client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    if (!server.set_mount_point("/", mirror)) {
        std::cerr << "velmora-devserver: 无法提供目录：" << mirror << "\n";
        return 1;
    }
    AddNewsPage(server);  // the main window's news page, on the same origin
    if (!quiet) {
        server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::string range = req.get_header_value("Range");
            std::cerr << res.status << " " << req.method << " " << req.target
                      << (range.empty() ? "" : " [" + range + "]") << "\n";
        });
    }
    const int bound = port > 0 ? (server.bind_to_port("127.0.0.1", port) ? port : -1)
                               : server.bind_to_any_port("127.0.0.1");
    if (bound <= 0) {
        std::cerr << "velmora-devserver: 无法监听端口 " << port << "\n";
        return 1;
    }
    const std::string origin = "http://127.0.0.1:" + std::to_string(bound);
    vm::dev::DevServices services;  // passport, community, statistics and data servers
    std::function<void(const std::string&)> serviceLog;
    if (!quiet) serviceLog = [](const std::string& line) { std::cerr << line + "\n"; };
    if (!services.Start(serviceLog)) {
        std::cerr << "velmora-devserver: 无法启动账号服务\n";
        return 1;
    }
    using namespace vm::settings;
    const std::string endpoints = SectionLine(kEndpointsSection) +
                                  EntryLine(kTelecomMirror, origin) +
                                  EntryLine(kNetcomMirror, origin) +
                                  EntryLine(kEmbedServer, origin) + services.EndpointLines();
    if (!endpointsFile.empty() && !platform::WriteFileAtomic(endpointsFile, endpoints)) {
        std::cerr << "velmora-devserver: 无法写入端点文件：" << endpointsFile << "\n";
        return 1;
    }
    std::cout << "# velmora-devserver: " << std::filesystem::absolute(mirror, ec).string() << " -> "
              << origin << "\n"
              << "# 用 VELMORA_ENDPOINTS=<此文件> 运行 velmora 或 Velmora-TVRN\n";
    // This build only installs programs signed with its key: name it for whoever publishes.
    if (*VM_DEV_SIGNING_KEY)
        std::cout << "# 新版本的客户端和更新程序用开发密钥签名：velmora publish ... --sign "
                  << VM_DEV_SIGNING_KEY << "\n";
    std::cout << endpoints << std::flush;

    g_server = &server;
    std::signal(SIGINT, StopServer);
    std::signal(SIGTERM, StopServer);
    server.listen_after_bind();
    return 0;
}
