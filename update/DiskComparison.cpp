#include "update/DiskComparison.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "app/Globals.h"
#include "platform/Text.h"
#include "update/ChecksumMap.h"
#include "update/InterfaceWalk.h"

namespace vm {

namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

bool IsProtectedPath(std::string_view fullPath) {
    static constexpr std::string_view kProtected[] = {
        "interface/auth.xml",  "interface/createchar.xml", "interface/loading.xml",
        "interface/login.xml", "interface/selectchar.xml", "interface/usedforself/",
    };
    const std::string lower = platform::AsciiLower(fullPath);
    for (std::string_view p : kProtected) {
        if (lower.find(p) != std::string::npos) return true;
    }
    return false;
}

std::vector<std::string> WalkInterfaceFiles(const std::string& gameFolder) {
    std::vector<std::string> files;
    WalkInterface(
        gameFolder, {}, [&](const WalkedFile& file) { files.push_back(file.path); }, nullptr);
    return files;
}

namespace {

// The entries' full paths, each path's first entry found by a lookup; made while the scan still
// runs.
class PreparedEntries {
  public:
    PreparedEntries(const std::vector<tagFILEINFO>& entries, const std::string& gameFolder) {
        const std::string folder = WithSlash(gameFolder);
        std::size_t bytes = 0;
        for (const tagFILEINFO& entry : entries) bytes += folder.size() + entry.localPath.size();
        // Every full path in one text, sized once: it never moves, so the keys may view it.
        m_paths.reserve(bytes);
        m_first.reserve(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::size_t at = m_paths.size();
            m_paths.append(folder).append(entries[i].localPath);
            m_first.try_emplace(std::string_view(m_paths).substr(at), i);
        }
    }
    PreparedEntries(const PreparedEntries&) = delete;
    PreparedEntries& operator=(const PreparedEntries&) = delete;

    // The first entry for path, or kNone.
    std::size_t Find(std::string_view path) const {
        auto it = m_first.find(path);
        return it == m_first.end() ? kNone : it->second;
    }
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  private:
    std::string m_paths;
    // std::hash keeps each key's hash beside it: a lookup never hashes the neighbours' keys
    // again.
    std::unordered_map<std::string_view, std::size_t> m_first;
};

// isCurrent(k, path, entry): the walked file k (at path) holds what entry describes. An entry is
// current when its full path was walked and is the first entry with that path; a later entry naming
// the same file again is downloaded.
template <class IsCurrent>
DiskComparison Compare(const PreparedEntries& prepared, const std::vector<tagFILEINFO>& entries,
                       std::vector<std::string> walked, IsCurrent&& isCurrent) {
    DiskComparison result;
    std::vector<char> current(entries.size(), 0);
    for (std::size_t k = 0; k < walked.size(); ++k) {
        const std::size_t i = prepared.Find(walked[k]);
        if (i == PreparedEntries::kNone) {
            if (!IsProtectedPath(walked[k])) result.removalCandidates.push_back(walked[k]);
            continue;
        }
        current[i] = isCurrent(k, walked[k], entries[i]) ? 1 : 0;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (current[i])
            result.current.push_back(entries[i].localPath);
        else
            result.toDownload.push_back(entries[i]);
    }
    // In path order, as the removal step lists them, each once.
    std::sort(result.removalCandidates.begin(), result.removalCandidates.end());
    result.removalCandidates.erase(
        std::unique(result.removalCandidates.begin(), result.removalCandidates.end()),
        result.removalCandidates.end());
    result.localFiles = std::move(walked);
    return result;
}

}  // namespace

DiskComparison CompareEntriesWithDisk(const std::vector<tagFILEINFO>& entries,
                                      const std::string& gameFolder,
                                      std::vector<std::string> walked,
                                      const ChecksumLookup& lookup) {
    const PreparedEntries prepared(entries, gameFolder);
    return Compare(prepared, entries, std::move(walked),
                   [&](std::size_t, const std::string& path, const tagFILEINFO& entry) {
                       const std::optional<std::string> sum = lookup(path);
                       return sum && *sum == entry.checksum;
                   });
}

DiskComparison CompareWithDisk(const std::vector<tagFILEINFO>& entries,
                               const std::string& gameFolder) {
    const PreparedEntries prepared(entries, gameFolder);
    g_scanDone.Wait();
    // The scan has walked the folder already; walk again only when it could not finish.
    const std::string root = InterfaceFolder(gameFolder);
    std::optional<InterfaceWalk> walk = ChecksumMap::Instance().TakeWalk(root);
    if (!walk) {
        walk.emplace();
        WalkInterface(
            gameFolder, {},
            [&](const WalkedFile& file) {
                if (file.foreign) walk->foreign.push_back(file.path);
                walk->files.push_back(file.path);
            },
            &walk->leftovers);
    }
    std::vector<std::string>& foreign = walk->foreign;
    const std::vector<WalkChecksum>& sums = walk->checksums;
    // The scan's own walk carries each file's checksum; any other asks the map.
    const bool carried = sums.size() == walk->files.size();
    DiskComparison result =
        Compare(prepared, entries, std::move(walk->files),
                [&](std::size_t k, const std::string& path, const tagFILEINFO& entry) {
                    return carried ? sums[k].Known() && sums[k].View() == entry.checksum
                                   : ChecksumMap::Instance().Matches(path, entry.checksum);
                });
    result.leftovers = std::move(walk->leftovers);
    // Files in a shared folder outside the game folder are compared, never moved aside.
    if (!foreign.empty()) {
        std::sort(foreign.begin(), foreign.end());
        std::erase_if(result.removalCandidates, [&](const std::string& path) {
            return std::binary_search(foreign.begin(), foreign.end(), path);
        });
    }
    return result;
}

}  // namespace vm
