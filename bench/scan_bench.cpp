// Measures the local checksum scan on a generated add-on tree (20,000 files, 200 MB under
// Interface by default): the cold scan (empty cache) against md5sum over the same files,
// and the warm scan (every entry cached) against a walk that only stats each file.
//
//   bench_scan [--dir DIR] [--files N] [--megabytes M] [--runs R]
//
// The tree is kept in DIR (default $TMPDIR or /tmp, "vm-scan-bench") and reused when its
// shape matches. Every timing is the best of R runs with the files in the page cache.

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
    int runs = 3;
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

double Seconds(const std::function<void()>& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Best(int runs, const std::function<void()>& before, const std::function<void()>& f) {
    double best = 1e100;
    for (int i = 0; i < runs; ++i) {
        before();
        best = std::min(best, Seconds(f));
    }
    return best;
}

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
    const double md5sum = Best(
        o.runs, [] {},
        [&] {
            if (std::system(md5sumCmd.c_str()) != 0) std::fprintf(stderr, "md5sum failed\n");
        });
    const double cold = Best(
        o.runs, [&] { fs::remove(cache); }, scan);
    const bool coldOk = last.hashed == files && last.fromCache == 0;
    const double warm = Best(
        o.runs, [] {}, scan);
    const bool warmOk = last.fromCache == files && last.hashed == 0;
    std::size_t statted = 0;
    const double statWalk = Best(
        o.runs, [&] { statted = 0; },
        [&] {
            for (auto it = fs::recursive_directory_iterator(iface);
                 it != fs::recursive_directory_iterator(); ++it) {
                struct stat st {};
                if (::stat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) ++statted;
            }
        });

    const double coldRatio = md5sum / cold;    // scan throughput / md5sum throughput
    const double warmRatio = warm / statWalk;  // scan time / stat-only walk time
    std::printf("tree: %zu files, %.1f MB in %s\n", files, mb, iface.c_str());
    std::printf("md5sum:     %8.3f s  %7.1f MB/s\n", md5sum, mb / md5sum);
    std::printf("cold scan:  %8.3f s  %7.1f MB/s  (%s)\n", cold, mb / cold,
                coldOk ? "all hashed" : "UNEXPECTED COUNTS");
    std::printf("stat walk:  %8.3f s  (%zu files)\n", statWalk, statted);
    std::printf("warm scan:  %8.3f s  (%s)\n", warm, warmOk ? "all cached" : "UNEXPECTED COUNTS");
    std::printf("cold scan throughput / md5sum throughput: %.2f (target >= 0.90) %s\n", coldRatio,
                coldRatio >= 0.9 ? "ok" : "MISSED");
    std::printf("warm scan time / stat-only walk time:     %.2f (target <= 2.00) %s\n", warmRatio,
                warmRatio <= 2.0 ? "ok" : "MISSED");
    return (coldOk && warmOk) ? 0 : 1;
}
