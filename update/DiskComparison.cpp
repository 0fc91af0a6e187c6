#include "update/DiskComparison.h"

#include <algorithm>
#include <set>

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

DiskComparison CompareEntriesWithDisk(const std::vector<tagFILEINFO>& entries,
                                      const std::string& gameFolder,
                                      std::vector<std::string> walked,
                                      const ChecksumLookup& lookup) {
    DiskComparison result;
    const std::string folder = WithSlash(gameFolder);
    std::set<std::string> remaining(walked.begin(), walked.end());
    result.localFiles = std::move(walked);
    for (const tagFILEINFO& entry : entries) {
        const std::string dest = folder + entry.localPath;
        bool isCurrent = false;
        if (auto it = remaining.find(dest); it != remaining.end()) {
            std::optional<std::string> sum = lookup(dest);
            isCurrent = sum && *sum == entry.checksum;
            remaining.erase(it);
        }
        if (isCurrent)
            result.current.push_back(entry.localPath);
        else
            result.toDownload.push_back(entry);
    }
    for (const std::string& path : remaining) {
        if (!IsProtectedPath(path)) result.removalCandidates.push_back(path);
    }
    return result;
}

DiskComparison CompareWithDisk(const std::vector<tagFILEINFO>& entries,
                               const std::string& gameFolder) {
    g_scanDone.Wait();
    // The scan has walked the folder already; walk again only when it could not finish.
    std::string root = gameFolder;
    while (!root.empty() && root.back() == '/') root.pop_back();
    root += "/Interface";
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
    DiskComparison result = CompareEntriesWithDisk(
        entries, gameFolder, std::move(walk->files),
        [](const std::string& path) { return ChecksumMap::Instance().Find(path); });
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
