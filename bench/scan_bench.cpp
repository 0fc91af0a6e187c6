// Measures the local checksum scan on a generated add-on tree (20,000 files, 200 MB under
// Interface by default): the cold scan (empty cache) against md5sum over the same files,
// and the warm scan (every entry cached) against a walk that only stats each file.
//
//   bench_scan [--dir DIR] [--files N] [--megabytes M] [--runs R]
//
// The tree is kept in DIR (default $TMPDIR or /tmp, "vm-scan-bench") and reused when its
// shape matches. Every timing is the best of R runs (default 5) with the files in the page
// cache.

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileUtil.h"
#include "update/ChecksumMap.h"
#include "update/ChecksumScan.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    fs::path dir;
    int files = 20000;
    int megabytes = 200;
    int runs = 5;
};

std::uint64_t g_seed = 0x9e3779b97f4a7c15ULL;
std::uint64_t Next() {
    g_seed ^= g_seed << 13;
    g_seed ^= g_seed >> 7;
    g_seed ^= g_seed << 17;
    return g_seed;
}

std::string Shape(const Options& o) {
    return std::to_string(o.files) + " files, " + std::to_string(o.megabytes) + " MB\n";
}

// 100 files per folder, sizes spread from a quarter to 1.75 times the mean.
void Generate(const Options& o, const fs::path& iface) {
    fs::remove_all(iface);
    const std::uint64_t total = static_cast<std::uint64_t>(o.megabytes) * 1000 * 1000;
    const std::uint64_t mean = total / static_cast<std::uint64_t>(o.files);
    std::vector<char> buf;
    for (int i = 0; i < o.files; ++i) {
        fs::path folder =
            iface / "AddOns" / ("Addon" + std::to_string(i / 100)) / (i % 2 ? "Skin" : "Code");
        if (i % 100 < 2) fs::create_directories(folder);
        std::uint64_t size = mean / 4 + Next() % (mean * 3 / 2 + 1);
        buf.resize(size);
        for (std::uint64_t k = 0; k + 8 <= size; k += 8) {
            std::uint64_t v = Next();
            std::copy_n(reinterpret_cast<const char*>(&v), 8, buf.data() + k);
        }
        std::ofstream(folder / ("File" + std::to_string(i) + ".lua"), std::ios::binary)
            .write(buf.data(), static_cast<std::streamsize>(size));
    }
}

double CpuSeconds(int who) {
    rusage ru{};
    getrusage(who, &ru);
    auto sec = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return sec(ru.ru_utime) + sec(ru.ru_stime);
}

// Best wall-clock and processor time of one contender over the runs. Processor time counts
// the child processes for md5sum and this process for the rest; it is the steadier figure
// on a busy machine.
struct Timing {
    double wall = 1e100;
    double cpu = 1e100;
    void Measure(int who, const std::function<void()>& f) {
        const double c0 = CpuSeconds(who);
        const auto t0 = Clock::now();
        f();
        wall = std::min(wall, std::chrono::duration<double>(Clock::now() - t0).count());
        cpu = std::min(cpu, CpuSeconds(who) - c0);
    }
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    const char* tmp = std::getenv("TMPDIR");
    o.dir = fs::path(tmp && *tmp ? tmp : "/tmp") / "vm-scan-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--dir")
            o.dir = argv[i + 1];
        else if (a == "--files")
            o.files = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--megabytes")
            o.megabytes = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--runs")
            o.runs = std::max(1, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    const std::string game = o.dir.string() + "/game/";
    const fs::path iface = fs::path(game) / "Interface";
    const fs::path cache = o.dir / "vmmd5index.dat";
    const fs::path shapeFile = o.dir / "shape.txt";
    fs::create_directories(o.dir);
    if (platform::ReadWholeFile(shapeFile).value_or("") != Shape(o)) {
        std::printf("generating %s", Shape(o).c_str());
        Generate(o, iface);
        platform::WriteFileAtomic(shapeFile, Shape(o));
    }

    // Everything in the page cache before any timing, for md5sum and the scan alike.
    std::uint64_t bytes = 0;
    std::size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(iface)) {
        if (!e.is_regular_file()) continue;
        bytes += platform::ReadWholeFile(e.path()).value_or("").size();
        ++files;
    }
    const double mb = static_cast<double>(bytes) / 1e6;

    vm::ChecksumMap map;
    std::atomic<int> cancel{0};
    vm::ChecksumScanResult last;
    auto scan = [&] { last = vm::RunChecksumScan(game, cache, map, cancel); };

    const std::string md5sumCmd =
        "cd '" + iface.string() + "' && find . -type f -print0 | xargs -0 md5sum > /dev/null";
    std::size_t statted = 0;
    auto statWalk = [&] {
        statted = 0;
        for (auto it = fs::recursive_directory_iterator(iface);
             it != fs::recursive_directory_iterator(); ++it) {
            struct stat st {};
            if (::stat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) ++statted;
        }
    };

    // The contenders take turns, so that a busy moment hurts them alike.
    Timing md5sum, cold, warm, walk;
    bool coldOk = true, warmOk = true;
    for (int r = 0; r < o.runs; ++r) {
        md5sum.Measure(RUSAGE_CHILDREN, [&] {
            if (std::system(md5sumCmd.c_str()) != 0) std::fprintf(stderr, "md5sum failed\n");
        });
        fs::remove(cache);
        cold.Measure(RUSAGE_SELF, scan);
        coldOk = coldOk && last.hashed == files && last.fromCache == 0;
        walk.Measure(RUSAGE_SELF, statWalk);
        warm.Measure(RUSAGE_SELF, scan);
        warmOk = warmOk && last.fromCache == files && last.hashed == 0;
    }

    std::printf("tree: %zu files, %.1f MB in %s; best of %d runs\n", files, mb, iface.c_str(),
                o.runs);
    std::printf("%-10s %9s %9s %9s\n", "", "wall s", "cpu s", "MB/s");
    auto row = [&](const char* name, const Timing& t) {
        std::printf("%-10s %9.3f %9.3f %9.1f\n", name, t.wall, t.cpu, mb / t.wall);
    };
    row("md5sum", md5sum);
    row("cold scan", cold);
    row("stat walk", walk);
    row("warm scan", warm);
    if (!coldOk || !warmOk) std::printf("UNEXPECTED COUNTS: the scan did not hash or cache all\n");
    // Throughput ratio: how fast the cold scan hashes compared with md5sum.
    const double coldRatio = md5sum.wall / cold.wall;
    const double warmRatio = warm.wall / walk.wall;
    std::printf("cold scan / md5sum throughput:  %.2f wall, %.2f cpu (target >= 0.90) %s\n",
                coldRatio, md5sum.cpu / cold.cpu, coldRatio >= 0.9 ? "ok" : "MISSED");
    std::printf("warm scan / stat-only walk time: %.2f wall, %.2f cpu (target <= 2.00) %s\n",
                warmRatio, warm.cpu / walk.cpu, warmRatio <= 2.0 ? "ok" : "MISSED");
    return (coldOk && warmOk) ? 0 : 1;
}
