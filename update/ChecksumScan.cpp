#include "update/ChecksumScan.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/FileTime.h"
#include "platform/Md5.h"
#include "platform/Text.h"
#include "update/ChecksumCache.h"
#include "update/ChecksumMap.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

std::optional<platform::FileTimeHalves> WriteTimeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return platform::SplitFileTime(platform::FileTimeFromTimespec(st.st_mtim));
}

class Walker {
  public:
    Walker(ChecksumCache& cache, ChecksumMap& map, const std::atomic<int>& cancel,
           ChecksumScanResult& result)
        : m_cache(cache), m_map(map), m_cancel(cancel), m_result(result) {}

    // false when the walk was cancelled.
    bool Folder(const std::string& dir, bool ambiguous) {
        enum class Kind { Folder, File, Other };
        struct Item {
            std::string name;
            std::string folded;  // lower-cased, to find names that differ only in case
            Kind kind;
        };
        std::vector<Item> items;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code tec;
            // Linked folders are not followed (they could loop); linked files count. Pipes and
            // devices are skipped: reading one could block the scan for good.
            Kind kind = Kind::Other;
            if (it->is_directory(tec) && !it->is_symlink(tec))
                kind = Kind::Folder;
            else if (it->is_regular_file(tec))
                kind = Kind::File;
            std::string name = it->path().filename().string();
            std::string folded = platform::AsciiLower(name);
            items.push_back({std::move(name), std::move(folded), kind});
        }
        // Sorted so that names equal but for case are neighbours.
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
        });

        for (size_t i = 0; i < items.size(); ++i) {
            if (m_cancel.load() != 0) return false;
            const Item& item = items[i];
            const std::string path = dir + "/" + item.name;
            const bool clash = ambiguous || (i > 0 && items[i - 1].folded == item.folded) ||
                               (i + 1 < items.size() && items[i + 1].folded == item.folded);
            if (item.kind == Kind::Folder) {
                if (!Folder(path, clash)) return false;
            } else if (item.kind == Kind::File) {
                File(path, clash);
            }
        }
        return true;
    }

  private:
    void File(const std::string& path, bool ambiguous) {
        const std::string key = platform::AsciiLower(path);
        const auto time = WriteTimeOf(path);
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

    ChecksumCache& m_cache;
    ChecksumMap& m_map;
    const std::atomic<int>& m_cancel;
    ChecksumScanResult& m_result;
};

}  // namespace

ChecksumScanResult RunChecksumScan(const std::string& gameFolder, const fs::path& cacheFile,
                                   ChecksumMap& map, const std::atomic<int>& cancel) {
    ChecksumScanResult result;
    map.Clear();
    ChecksumCache cache = ChecksumCache::Load(cacheFile);

    std::string root = gameFolder;
    while (!root.empty() && root.back() == '/') root.pop_back();
    root += "/Interface";
    Walker walker(cache, map, cancel, result);
    result.cancelled = !walker.Folder(root, false);

    result.cacheSaved = cache.Save(cacheFile);
    return result;
}

}  // namespace vm
