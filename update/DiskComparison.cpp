#include "update/DiskComparison.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "app/Globals.h"
#include "platform/Text.h"
#include "update/ChecksumMap.h"

namespace vm {
namespace fs = std::filesystem;

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
    std::error_code ec;
    fs::recursive_directory_iterator it(WithSlash(gameFolder) + "Interface",
                                        fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) continue;
        files.push_back(it->path().string());
    }
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
    std::vector<std::string> walked = WalkInterfaceFiles(gameFolder);
    g_scanDone.Wait();
    return CompareEntriesWithDisk(
        entries, gameFolder, std::move(walked),
        [](const std::string& path) { return ChecksumMap::Instance().Find(path); });
}

}  // namespace vm
