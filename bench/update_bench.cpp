// Benchmarks of the update run against one loopback mirror (velmora-devserver):
//
//  1. A first update of 2,000 files / 50 MB into an empty game folder (the whole run: scan,
//     list, archive-first downloads, checks, install) against curl fetching the same plain
//     files one after another in one process over one kept-alive connection. Target: the
//     run's throughput at least 0.8 times curl's.
//  2. A run that finds nothing to change over 20,000 installed files (scan with a warm cache,
//     parse of the cached list, comparison) against a walk that only stats every file.
//     Target: at most 5 times the walk.
//
//   bench_update [--dir DIR] [--runs R]
//
// Needs velmora-devserver beside the program's build (build/bin) and curl on the PATH. The
// data lives in DIR (default $TMPDIR or /tmp, "vm-update-bench"); timings are the best of R
// runs (default 3), the two sides taking turns.

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/CVelmoraApp.h"
#include "app/CWorkerThread.h"
#include "app/GameFolder.h"
#include "app/Globals.h"
#include "app/MessageTarget.h"
#include "app/messages.h"
#include "platform/ChildProcess.h"
#include "platform/FileUtil.h"
#include "platform/IniFile.h"
#include "update/CChecksumThread.h"
#include "update/CUpdateThread.h"
#include "update/MirrorPublisher.h"
#include "update/UpdateInfo.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::uint64_t g_seed = 0x2545f4914f6cdd1dULL;
std::uint64_t Next() {
    g_seed ^= g_seed << 13;
    g_seed ^= g_seed >> 7;
    g_seed ^= g_seed << 17;
    return g_seed;
}

// Add-on-like content: mostly Lua-like text (compresses about 4:1), one file in five binary.
std::string Content(std::size_t size, bool binary) {
    std::string s;
    s.reserve(size + 64);
    if (binary) {
        while (s.size() < size) {
            std::uint64_t v = Next();
            s.append(reinterpret_cast<const char*>(&v), 8);
        }
    } else {
        static const char* const words[] = {
            "local",    "function",    "end", "return", "if", "then",   "self",   "frame",
            "SetPoint", "GetItemInfo", "nil", "for",    "in", "ipairs", "button", "texture"};
        while (s.size() < size) {
            s += words[Next() % 16];
            s += (Next() % 7 == 0) ? "\n    " : " ";
            if (Next() % 11 == 0) s += std::to_string(Next() % 100000);
        }
    }
    s.resize(size);
    return s;
}

void MakeAddOns(const fs::path& dir, int files, std::uint64_t bytes, int perFolder) {
    const std::uint64_t mean = bytes / static_cast<std::uint64_t>(files);
    for (int i = 0; i < files; ++i) {
        const fs::path folder = dir / fs::path("AddOn").concat(std::to_string(i / perFolder));
        fs::create_directories(folder);
        const std::size_t size = static_cast<std::size_t>(mean / 2 + Next() % (mean + 1));
        fs::path name("f");
        name.concat(std::to_string(i)).concat(i % 5 == 4 ? ".blp" : ".lua");
        std::ofstream(folder / name, std::ios::binary) << Content(size, i % 5 == 4);
    }
}

// Answers every Send with 0 and tells when the run has ended.
class EndWatcher : public vm::MessageTarget {
  public:
    std::intptr_t Send(std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t, vm::Payload) override {
        if (msg == vm::WM_VM_UPDATE_END) {
            std::lock_guard<std::mutex> g(m_lock);
            m_ended = true;
            m_outcome = static_cast<int>(wParam);
            m_cv.notify_all();
        }
        return true;
    }
    int Wait() {
        std::unique_lock<std::mutex> l(m_lock);
        m_cv.wait(l, [&] { return m_ended; });
        return m_outcome;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_ended = false;
    int m_outcome = -1;
};

// One update run as the window starts it; seconds, or -1 when it did not succeed.
double TimedRun() {
    auto target = std::make_shared<EndWatcher>();
    const auto start = Clock::now();
    g_cancelUpdate.store(0);
    g_scanDone.Reset();
    vm::CChecksumThread::Launch();
    auto run = std::make_unique<vm::CUpdateThread>();
    run->m_pMainWnd = target;
    vm::CWorkerThread::Start(std::move(run));
    const int outcome = target->Wait();
    (void)vm::CWorkerThread::WaitForAll(std::chrono::hours(1));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome == 0 ? seconds : -1;
}

double TimedCommand(const std::string& command) {
    const auto start = Clock::now();
    const int rc = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return rc == 0 ? seconds : -1;
}

double StatWalk(const fs::path& dir) {
    const auto start = Clock::now();
    std::size_t n = 0;
    struct stat st {};
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
         ++it)
        if (::stat(it->path().c_str(), &st) == 0) ++n;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return n ? seconds : -1;
}

struct Mirror {
    vm::PublishResult published;
    std::string origin;
};

class Bench {
  public:
    Bench(fs::path dir, int runs) : m_dir(std::move(dir)), m_runs(runs) {}

    bool Setup(const std::string& name, int files, std::uint64_t bytes, int perFolder) {
        m_base = m_dir / name;
        MakeAddOns(m_base / "addons", files, bytes, perFolder);
        vm::PublishOptions o;
        o.addonsDir = m_base / "addons";
        o.mirrorDir = m_base / "mirror";
        o.setName = "TVRN";
        m_published = vm::PublishMirror(o);
        if (!m_published.ok) {
            std::fprintf(stderr, "publish: %s\n", m_published.error.c_str());
            return false;
        }
        m_files = m_published.files;
        m_bytes = 0;
        for (auto& e : fs::recursive_directory_iterator(m_base / "addons"))
            if (e.is_regular_file()) m_bytes += e.file_size();
        return StartServer();
    }

    void PointAppAtGame(const fs::path& game) {
        vm::CVelmoraApp& app = vm::theApp();
        fs::create_directories(m_base / "program");
        app.SetProgramDir(m_base / "program");
        app.WriteProfile(vm::settings::kPathType, 1);
        app.WriteProfile(vm::settings::kCustomPath, (game / "Tovrin.exe").string());
        app.Game().folder.Set("");
        vm::CacheGameFolder();
        app.MirrorState().baseUrl.Set(m_origin);
        app.PublishedState().updateInfo.Set({{vm::kInfoVersion, "1.019"}});
        app.PublishedState().sets.Set({"TVRN"});
        app.PublishedState().setFolders.Set({{"TVRN", m_published.setFolder}});
        app.PublishedState().expectedListChecksum.Set(m_published.listChecksum);
        app.Runs().commitGate.Set();
        g_shortcutOffered.Set();
    }

    ~Bench() {
        if (m_server) {
            ::kill(m_server->Pid(), SIGTERM);
            m_server->Wait();
        }
    }

    const fs::path& Base() const { return m_base; }
    std::size_t Files() const { return m_files; }
    std::uint64_t Bytes() const { return m_bytes; }
    const std::string& Origin() const { return m_origin; }
    const vm::PublishResult& Published() const { return m_published; }
    int Runs() const { return m_runs; }

  private:
    bool StartServer() {
        if (m_server) {
            ::kill(m_server->Pid(), SIGTERM);
            m_server->Wait();
        }
        const fs::path endpoints = m_base / "endpoints.ini";
        fs::remove(endpoints);
        m_server =
            platform::ChildProcess::Spawn(platform::ExecutableDir() / "../bin/velmora-devserver",
                                          {"--mirror", (m_base / "mirror").string(), "--endpoints",
                                           endpoints.string(), "--quiet"},
                                          m_base);
        if (!m_server) return false;
        for (int i = 0; i < 500 && !fs::exists(endpoints); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_origin = platform::IniFile(endpoints).GetString(vm::settings::kTelecomMirror.section,
                                                          vm::settings::kTelecomMirror.name, "");
        std::fflush(stdout);
        return !m_origin.empty();
    }

    fs::path m_dir, m_base;
    int m_runs;
    vm::PublishResult m_published;
    std::size_t m_files = 0;
    std::uint64_t m_bytes = 0;
    std::string m_origin;
    std::optional<platform::ChildProcess> m_server;
};

bool FirstUpdate(Bench& bench) {
    if (!bench.Setup("first", 2000, 50ull * 1000 * 1000, 40)) return false;
    const fs::path curlOut = bench.Base() / "curl";
    // One curl process, one kept-alive connection, the plain files in list order.
    std::vector<std::string> urls;
    for (auto& e : fs::recursive_directory_iterator(bench.Base() / "addons")) {
        if (!e.is_regular_file()) continue;
        const std::string rel = e.path().lexically_relative(bench.Base() / "addons").string();
        urls.push_back(bench.Origin() + bench.Published().setFolder + "/Interface/" + rel);
    }
    // Every run writes into fresh folders: ext4 makes creating files slow for a while after
    // many were deleted, and that must not weigh on one side only. Clean-up comes last.
    double bestRun = 1e9, bestCurl = 1e9;
    for (int r = 0; r < bench.Runs(); ++r) {
        const std::string n = std::to_string(r);
        fs::create_directories(curlOut / n);
        const fs::path config = curlOut / (n + ".cfg");
        {
            std::ofstream out(config);
            for (std::size_t i = 0; i < urls.size(); ++i)
                out << "url = \"" << urls[i] << "\"\noutput = \""
                    << (curlOut / n / std::to_string(i)).string() << "\"\n";
        }
        const double c = TimedCommand("curl -s -f --config '" + config.string() + "'");
        if (c < 0) {
            std::fprintf(stderr, "curl failed\n");
            return false;
        }
        bestCurl = std::min(bestCurl, c);

        const fs::path game = bench.Base() / ("game" + n);
        fs::create_directories(game);
        ::setenv("TMPDIR", (bench.Base() / ("tmp" + n)).c_str(), 1);
        fs::create_directories(bench.Base() / ("tmp" + n));
        bench.PointAppAtGame(game);
        const double e = TimedRun();
        if (e < 0) {
            std::fprintf(stderr, "update run failed\n");
            return false;
        }
        bestRun = std::min(bestRun, e);
    }
    const double mb = static_cast<double>(bench.Bytes()) / 1e6;
    std::printf("first update: %zu files, %.1f MB\n", bench.Files(), mb);
    std::printf("  curl (plain files, keep-alive): %.3f s  %.1f MB/s\n", bestCurl, mb / bestCurl);
    std::printf("  update run (whole engine):      %.3f s  %.1f MB/s\n", bestRun, mb / bestRun);
    std::printf("  throughput ratio run/curl: %.2f (target >= 0.80)\n", bestCurl / bestRun);
    return true;
}

bool NoChange(Bench& bench) {
    if (!bench.Setup("nochange", 20000, 20ull * 1000 * 1000, 100)) return false;
    const fs::path game = bench.Base() / "game";
    ::setenv("TMPDIR", (bench.Base() / "tmp").c_str(), 1);
    fs::create_directories(bench.Base() / "tmp");
    // Installed as the mirror has them; a first run hashes everything and caches the list.
    fs::create_directories(game / "Interface");
    fs::copy(bench.Base() / "addons", game / "Interface", fs::copy_options::recursive);
    bench.PointAppAtGame(game);
    if (TimedRun() < 0) {
        std::fprintf(stderr, "priming run failed\n");
        return false;
    }
    double bestRun = 1e9, bestWalk = 1e9;
    for (int r = 0; r < bench.Runs(); ++r) {
        bestWalk = std::min(bestWalk, StatWalk(game / "Interface"));
        const double e = TimedRun();
        if (e < 0) {
            std::fprintf(stderr, "no-change run failed\n");
            return false;
        }
        bestRun = std::min(bestRun, e);
    }
    std::printf("no-change run: %zu installed files\n", bench.Files());
    std::printf("  stat-only walk:             %.3f s\n", bestWalk);
    std::printf("  update run (whole engine):  %.3f s\n", bestRun);
    std::printf("  ratio run/walk: %.2f (target <= 5.00)\n", bestRun / bestWalk);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    fs::path dir = fs::path(tmp ? tmp : "/tmp") / "vm-update-bench";
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--dir") dir = argv[i + 1];
        if (a == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    }
    // Everything is made fresh and removed only at the end (see FirstUpdate).
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir);
    for (const char* v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(v);
    bool ok;
    {
        Bench bench(dir, runs);
        ok = FirstUpdate(bench);
    }
    {
        Bench bench(dir, runs);
        ok = NoChange(bench) && ok;
    }
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}
