#include "update/FileEntries.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
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
    // Views of the entries' own paths, each folder a prefix of one: nothing is copied, and
    // nothing moves until every entry is decided.
    std::unordered_set<std::string_view> files;
    std::unordered_set<std::string_view> folders;
    files.reserve(entries.size());
    std::vector<char> drop(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string_view path = entries[i].localPath;
        bool conflict = files.count(path) || folders.count(path);
        for (std::size_t slash = path.find('/'); !conflict && slash != std::string_view::npos;
             slash = path.find('/', slash + 1))
            conflict = files.count(path.substr(0, slash)) != 0;
        if (conflict) {
            drop[i] = 1;
            continue;
        }
        files.insert(path);
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', slash + 1))
            folders.insert(path.substr(0, slash));
    }
    files.clear();
    folders.clear();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (drop[i]) continue;
        if (kept != i) entries[kept] = std::move(entries[i]);
        ++kept;
    }
    const std::size_t dropped = entries.size() - kept;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(kept), entries.end());
    return dropped;
}

}  // namespace vm
