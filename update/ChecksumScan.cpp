#include "update/ChecksumScan.h"

#include <sys/stat.h>

#include <future>
#include <optional>
#include <system_error>
#include <vector>

#include "app/Globals.h"
#include "platform/FileTime.h"
#include "platform/Md5.h"
#include "platform/Text.h"
#include "update/ChecksumCache.h"
#include "update/ChecksumMap.h"
#include "update/InterfaceWalk.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

std::optional<platform::FileTimeHalves> WriteTimeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return platform::SplitFileTime(platform::FileTimeFromTimespec(st.st_mtim));
}

// Looks every regular file up in the cache, hashing only what changed.
class Hasher {
  public:
    Hasher(ChecksumCache& cache, ChecksumScanResult& result) : m_cache(cache), m_result(result) {}

    // The file's checksum, unknown when it could not be read.
    WalkChecksum File(const std::string& path, bool ambiguous,
                      std::optional<platform::FileTimeHalves> time) {
        // One buffer for every key: the scan meets thousands of files.
        m_key.assign(path);
        for (char& c : m_key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (!time) time = WriteTimeOf(path);
        if (!ambiguous && time) {
            if (const auto* cached = m_cache.Find(m_key); cached && cached->time == *time) {
                ++m_result.fromCache;
                return cached->checksum;
            }
        }
        const auto checksum = platform::Md5HexOfFile(path);
        if (!checksum) {
            ++m_result.failed;
            return {};
        }
        ++m_result.hashed;
        const WalkChecksum sum(*checksum);
        // The time read before hashing: a file changed while it was read then looks changed
        // next time instead of keeping a checksum of half-old content.
        if (time && !ambiguous) m_cache.Store(m_key, {*time, sum});
        return sum;
    }

  private:
    ChecksumCache& m_cache;
    ChecksumScanResult& m_result;
    std::string m_key;
};

}  // namespace

ChecksumScanResult RunChecksumScan(const std::string& gameFolder, const fs::path& cacheFile,
                                   ChecksumMap& map, const std::atomic<int>& cancel) {
    return RunChecksumScan(gameFolder, cacheFile, map, [&cancel] { return cancel.load() != 0; });
}

ChecksumScanResult RunChecksumScan(const std::string& gameFolder, const fs::path& cacheFile,
                                   ChecksumMap& map, const std::function<bool()>& stop,
                                   const std::function<void()>& finished) {
    ChecksumScanResult result;
    map.Clear();
    // The cache is read while the folder is walked: each costs about as much as the other.
    std::future<ChecksumCache> loading;
    try {
        loading =
            std::async(std::launch::async, [cacheFile] { return ChecksumCache::Load(cacheFile); });
    } catch (const std::system_error&) {
    }

    const std::string root = InterfaceFolder(gameFolder);
    InterfaceWalk walk;
    walk.root = root;
    // Regular files, each with its place in walk.files. The last run's cache tells roughly how
    // many there are: growing the lists step by step costs more than the walk's own work.
    std::vector<std::pair<WalkedFile, std::size_t>> found;
    {
        std::error_code ec;
        const auto bytes = fs::file_size(cacheFile, ec);
        if (!ec && bytes < (std::uintmax_t{1} << 30)) {
            found.reserve(static_cast<std::size_t>(bytes / 64) + 16);
            walk.files.reserve(found.capacity());
        }
    }
    // stop only reads flags, so the two walking threads may both ask it.
    result.cancelled = !WalkInterfaceInTwo(
        gameFolder, stop,
        [&](WalkedFile& file) {
            if (file.foreign) walk.foreign.push_back(file.path);
            walk.files.push_back(file.path);
            if (file.regular) found.emplace_back(std::move(file), walk.files.size() - 1);
        },
        &walk.leftovers, [] { g_scanThreadsUp.Set(); });

    ChecksumCache cache = loading.valid() ? loading.get() : ChecksumCache::Load(cacheFile);
    Hasher hasher(cache, result);
    std::vector<std::pair<std::string, WalkChecksum>> sums;
    sums.reserve(found.size());
    walk.checksums.resize(walk.files.size());
    for (auto& [file, at] : found) {
        if (result.cancelled) break;
        if (stop && stop()) {
            result.cancelled = true;
            break;
        }
        const WalkChecksum sum =
            hasher.File(file.path, file.ambiguous,
                        file.hasTime ? std::optional(platform::SplitFileTime(
                                           platform::FileTimeFromTimespec(file.writeTime)))
                                     : std::nullopt);
        if (!sum.Known()) continue;
        walk.checksums[at] = sum;
        sums.emplace_back(std::move(file.path), sum);
    }
    // Only a complete walk stands for the folder.
    if (!result.cancelled) map.SetWalk(std::move(walk));

    // Nothing new learnt, nothing to write: the file already says all of it.
    std::error_code ec;
    if (!cache.Changed() && fs::exists(cacheFile, ec))
        result.cacheSaved = true;
    else
        result.cacheSaved = cache.Save(cacheFile);
    map.Adopt(std::move(sums));
    // Before the cache and the walk are freed: the run waiting for the scan goes on at once.
    if (finished) finished();
    return result;
}

}  // namespace vm
