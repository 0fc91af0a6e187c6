#include "update/FileEntries.h"

#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include "app/CVelmoraApp.h"
#include "archive/SafePath.h"
#include "platform/Text.h"
#include "update/CFileListModel.h"

namespace vm {
namespace {

// Length in UTF-16 units, without converting when the text is plain ASCII (nearly always).
std::size_t Utf16Units(std::string_view text) {
    for (unsigned char c : text)
        if (c >= 0x80) return platform::Utf8ToUtf16(text).size();
    return text.size();
}

// prefix: "Interface/" and the add-on folder with its separator.
void Append(std::vector<tagFILEINFO>& out, const std::string& prefix, const std::string& path,
            const std::string& checksum) {
    // The parser already refused unsafe names; this only normalises separators.
    std::optional<std::string> rel = SafeRelativePath(path);
    if (!rel) return;
    std::string relative;
    relative.reserve(prefix.size() + rel->size());
    relative.append(prefix).append(*rel);
    if (Utf16Units(relative) > tagFILEINFO::kMaxPathChars ||
        checksum.size() > tagFILEINFO::kMaxChecksumChars)
        return;
    std::string remote = relative;
    out.push_back({std::move(remote), std::move(relative), checksum});
}

}  // namespace

std::vector<tagFILEINFO> BuildFileEntries(const CFileListModel& model) {
    std::vector<tagFILEINFO> out;
    std::size_t count = model.m_topLevelFiles.size();
    for (const auto* group : {&model.m_regularAddOns, &model.m_optionalAddOns})
        for (const auto& entry : *group) count += entry.second.files.size();
    out.reserve(count);

    const std::string top = "Interface/";
    for (const auto& [path, checksum] : model.m_topLevelFiles) Append(out, top, path, checksum);
    for (const auto* group : {&model.m_regularAddOns, &model.m_optionalAddOns}) {
        for (const auto& [folder, addOn] : *group) {
            const std::optional<std::string> dir = SafeRelativePath(folder);
            if (!dir) continue;
            const std::string prefix = top + *dir + "/";
            for (const auto& [path, checksum] : addOn.files) Append(out, prefix, path, checksum);
        }
    }
    return out;
}

std::size_t DropConflictingEntries(std::vector<tagFILEINFO>& entries) {
    std::unordered_set<std::string> files;
    std::unordered_set<std::string> folders;
    const std::size_t before = entries.size();
    std::erase_if(entries, [&](const tagFILEINFO& entry) {
        const std::string& path = entry.localPath;
        if (files.count(path) || folders.count(path)) return true;
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            if (files.count(path.substr(0, slash))) return true;
        files.insert(path);
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            folders.insert(path.substr(0, slash));
        return false;
    });
    return before - entries.size();
}

}  // namespace vm
