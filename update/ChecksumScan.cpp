#include "update/ChecksumScan.h"

#include <sys/stat.h>

#include <optional>

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
    Hasher(ChecksumCache& cache, ChecksumMap& map, ChecksumScanResult& result)
        : m_cache(cache), m_map(map), m_result(result) {}

    void File(const std::string& path, bool ambiguous,
              std::optional<platform::FileTimeHalves> time) {
        const std::string key = platform::AsciiLower(path);
        if (!time) time = WriteTimeOf(path);
        if (!ambiguous && time) {
            if (const auto* cached = m_cache.Find(key); cached && cached->time == *time) {
                m_map.Insert(path, cached->checksum);
                ++m_result.fromCache;
                return;
            }
        }
        auto checksum = platform::Md5HexOfFile(path);
        if (!checksum) {
            ++m_result.failed;
            return;
        }
        ++m_result.hashed;
        // The time read before hashing: a file changed while it was read then looks changed
        // next time instead of keeping a checksum of half-old content.
        if (time && !ambiguous) m_cache.Store(key, {*time, *checksum});
        m_map.Insert(path, std::move(*checksum));
    }

  private:
    ChecksumCache& m_cache;
    ChecksumMap& m_map;
    ChecksumScanResult& m_result;
};

}  // namespace

ChecksumScanResult RunChecksumScan(const std::string& gameFolder, const fs::path& cacheFile,
                                   ChecksumMap& map, const std::atomic<int>& cancel) {
    return RunChecksumScan(gameFolder, cacheFile, map, [&cancel] { return cancel.load() != 0; });
}

ChecksumScanResult RunChecksumScan(const std::string& gameFolder, const fs::path& cacheFile,
                                   ChecksumMap& map, const std::function<bool()>& stop) {
    ChecksumScanResult result;
    map.Clear();
    ChecksumCache cache = ChecksumCache::Load(cacheFile);

    std::string root = gameFolder;
    while (!root.empty() && root.back() == '/') root.pop_back();
    root += "/Interface";
    InterfaceWalk walk;
    walk.root = root;
    Hasher hasher(cache, map, result);
    result.cancelled = !WalkInterface(
        gameFolder, stop,
        [&](const WalkedFile& file) {
            if (file.regular)
                hasher.File(file.path, file.ambiguous,
                            file.hasTime ? std::optional(platform::SplitFileTime(
                                               platform::FileTimeFromTimespec(file.writeTime)))
                                         : std::nullopt);
            if (file.foreign) walk.foreign.push_back(file.path);
            walk.files.push_back(file.path);
        },
        &walk.leftovers);
    // Only a complete walk stands for the folder.
    if (!result.cancelled) map.SetWalk(std::move(walk));

    // Nothing new learnt, nothing to write: the file already says all of it.
    std::error_code ec;
    if (!cache.Changed() && fs::exists(cacheFile, ec))
        result.cacheSaved = true;
    else
        result.cacheSaved = cache.Save(cacheFile);
    return result;
}

}  // namespace vm
