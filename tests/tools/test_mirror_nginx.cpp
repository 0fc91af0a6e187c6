// A published mirror served by nginx on loopback, with the configuration of docs/MIRROR.md,
// and `velmora update` against it: the game folder gets the files, the lists go out with
// "no-cache" and the files with a short lifetime. nginx runs as this test's own child (not a
// daemon) on a free port; without nginx the test is skipped.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "tests/support/CommandLine.h"
#include "tests/support/ScopedTempDir.h"
#include "update/MirrorPublisher.h"

namespace fs = std::filesystem;

namespace {

using vm::test::Bin;
using vm::test::Contains;
using vm::test::Quote;

fs::path FindNginx() {
    if (fs::path p = platform::FindOnPath("nginx"); !p.empty()) return p;
    for (const char* p : {"/usr/sbin/nginx", "/sbin/nginx"}) {
        std::error_code ec;
        if (fs::is_regular_file(p, ec) && ::access(p, X_OK) == 0) return p;
    }
    return {};
}

// A port nothing listens on now (the kernel's pick for an ephemeral bind).
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

class MirrorNginx : public ::testing::Test {
  protected:
    void SetUp() override {
        nginx = FindNginx();
        if (nginx.empty()) GTEST_SKIP() << "nginx is not installed";
        fs::create_directories(work / "nginx/logs");
        fs::create_directories(work / "nginx/tmp");
        fs::create_directories(work / "program");
        fs::create_directories(work / "tmp");
        Put("game/Tovrin.exe", "MZ");
        // Another process may take the port between our pick and nginx's bind: pick again.
        for (int attempt = 0; attempt < 5 && !server; ++attempt) Start();
        ASSERT_TRUE(server) << platform::ReadWholeFile(work / "nginx/logs/error.log").value_or("");
    }
    void TearDown() override {
        if (!server) return;
        ::kill(server->Pid(), SIGQUIT);  // a graceful stop
        server->Wait();
    }

    void Start() {
        port = FreePort();
        // The server block of docs/MIRROR.md, on loopback, with the caching header logged.
        Put("nginx/nginx.conf",
            // Run as root, nginx's workers would drop to "nobody", who cannot read a private
            // temporary folder.
            std::string(::geteuid() == 0 ? "user root;\n" : "") +
                "worker_processes 1;\n"
                "pid " +
                (work / "nginx/nginx.pid").string() +
                ";\n"
                "error_log " +
                (work / "nginx/logs/error.log").string() +
                " warn;\n"
                "events { worker_connections 64; }\n"
                "http {\n"
                "    log_format mirror '$request_method $uri $status $sent_http_cache_control';\n"
                "    access_log " +
                (work / "nginx/logs/access.log").string() +
                " mirror;\n"
                "    client_body_temp_path " +
                (work / "nginx/tmp/body").string() +
                ";\n"
                "    proxy_temp_path " +
                (work / "nginx/tmp/proxy").string() +
                ";\n"
                "    fastcgi_temp_path " +
                (work / "nginx/tmp/fastcgi").string() +
                ";\n"
                "    uwsgi_temp_path " +
                (work / "nginx/tmp/uwsgi").string() +
                ";\n"
                "    scgi_temp_path " +
                (work / "nginx/tmp/scgi").string() +
                ";\n"
                "    server {\n"
                "        listen 127.0.0.1:" +
                std::to_string(port) +
                ";\n"
                "        root " +
                (work / "mirror").string() +
                ";\n"
                "        types { }\n"
                "        default_type application/octet-stream;\n"
                "        gzip off;\n"
                "        etag on;\n"
                "        location ~ (/checksum\\.txt|/Info\\.z|/filelist\\.xml\\.z)$ {\n"
                "            add_header Cache-Control \"no-cache\" always;\n"
                "        }\n"
                "        location / {\n"
                "            add_header Cache-Control \"public, max-age=3600\" always;\n"
                "        }\n"
                "    }\n"
                "}\n");
        std::optional<platform::ChildProcess> child = platform::ChildProcess::Spawn(
            nginx,
            {"-p", (work / "nginx").string(), "-c", (work / "nginx/nginx.conf").string(), "-e",
             (work / "nginx/logs/error.log").string(), "-g", "daemon off;"},
            work.Path());
        if (!child) return;
        // Up once it accepts; a child that ended (port taken) is waited for and tried again.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Accepts(port)) {
                server = std::move(child);
                return;
            }
            int status = 0;
            if (::waitpid(child->Pid(), &status, WNOHANG) == child->Pid()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(child->Pid(), SIGKILL);
        child->Wait();
    }

    void Put(const std::string& below, const std::string& bytes) {
        fs::create_directories((work / below).parent_path());
        ASSERT_TRUE(platform::WriteFileAtomic(work / below, bytes));
    }
    void Publish() {
        vm::PublishOptions o;
        o.addonsDir = work / "addons";
        o.mirrorDir = work / "mirror";
        o.setName = "TVRN";
        const vm::PublishResult r = vm::PublishMirror(o);
        ASSERT_TRUE(r.ok) << r.error;
    }
    int Update(std::string& out) {
        const std::string cmd = "VELMORA_ENDPOINTS=" + Quote((work / "endpoints.ini").string()) +
                                " TMPDIR=" + Quote((work / "tmp").string()) + " " +
                                Quote(Bin("velmora").string()) + " update --no --program-dir " +
                                Quote((work / "program").string()) + " >" +
                                Quote((work / "out.txt").string()) + " 2>&1 </dev/null";
        const int rc = std::system(cmd.c_str());
        out = platform::ReadWholeFile(work / "out.txt").value_or("");
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    std::string AccessLog() const {
        return platform::ReadWholeFile(work / "nginx/logs/access.log").value_or("");
    }

    vm::test::ScopedTempDir work;
    fs::path nginx;
    int port = 0;
    std::optional<platform::ChildProcess> server;
};

TEST_F(MirrorNginx, AnUpdateFromAPublishedMirror) {
    Put("addons/Bags/Bags.lua", "bags 1");
    Put("addons/Bags/info.ini", "Title=Bags\r\nX-Revision=Velmora\r\n");
    Put("addons/Bags/locale/zhCN.lua", std::string(20000, 'z'));
    Put("addons/Bindings.xml", "<Bindings/>");
    Publish();
    platform::IniFile ini(work / "program/Velmora.ini");
    ini.WriteInt("Path", "PathType", 1);
    ini.WriteString("Path", "CustomPath", (work / "game/Tovrin.exe").string());
    ini.WriteInt("Update", "Server", 1);
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    Put("endpoints.ini",
        "[Endpoints]\nTelecomMirror=" + origin + "\nNetcomMirror=" + origin +
            "\nStatServer=http://127.0.0.1:1\nPassportOrigin=http://127.0.0.1:1\n");

    std::string out;
    ASSERT_EQ(Update(out), 0) << out << AccessLog();
    EXPECT_TRUE(Contains(out, "更新完成。")) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/Bags/Bags.lua"), "bags 1");
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/Bags/locale/zhCN.lua"),
              std::string(20000, 'z'));
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/Bindings.xml"), "<Bindings/>");

    // What nginx served, and how it let it be cached.
    const std::string log = AccessLog();
    EXPECT_TRUE(Contains(log, "GET /Velmora-TVRN/checksum.txt 200 no-cache\n")) << log;
    EXPECT_TRUE(Contains(log, "GET /Velmora-TVRN/Info.z 200 no-cache\n")) << log;
    EXPECT_TRUE(Contains(log, "GET /TVRN/filelist.xml.z 200 no-cache\n")) << log;
    EXPECT_TRUE(Contains(log, "GET /TVRN/Interface/Bags/Bags.lua.z 200 public, max-age=3600\n"))
        << log;

    // A second publish with one change: only that file travels.
    Put("addons/Bags/Bags.lua", "bags 2");
    Publish();
    fs::remove(work / "nginx/logs/access.log");
    ::kill(server->Pid(), SIGUSR1);  // reopen the log
    ASSERT_EQ(Update(out), 0) << out;
    EXPECT_EQ(platform::ReadWholeFile(work / "game/Interface/Bags/Bags.lua"), "bags 2");
    const std::string second = AccessLog();
    EXPECT_TRUE(Contains(second, "/TVRN/Interface/Bags/Bags.lua.z 200")) << second;
    EXPECT_FALSE(Contains(second, "zhCN.lua")) << second;
}

}  // namespace
