#include "update/FileEntries.h"

#include <mutex>
#include <optional>
#include <string>

#include "app/CVelmoraApp.h"
#include "archive/SafePath.h"
#include "platform/Text.h"
#include "update/CFileListModel.h"

namespace vm {
namespace {

void Append(std::vector<tagFILEINFO>& out, const std::string* folder, const std::string& path,
            const std::string& checksum) {
    // The parser already refused unsafe names; this only normalises separators.
    std::optional<std::string> rel = SafeRelativePath(path);
    std::optional<std::string> dir = folder ? SafeRelativePath(*folder) : std::nullopt;
    if (!rel || (folder && !dir)) return;
    std::string relative = "Interface/" + (dir ? *dir + "/" : std::string()) + *rel;
    if (platform::Utf8ToUtf16(relative).size() > tagFILEINFO::kMaxPathChars ||
        checksum.size() > tagFILEINFO::kMaxChecksumChars)
        return;
    out.push_back({relative, relative, checksum});
}

}  // namespace

std::vector<tagFILEINFO> BuildFileEntries(const CFileListModel& model) {
    std::vector<tagFILEINFO> out;
    for (const auto& [path, checksum] : model.m_topLevelFiles) Append(out, nullptr, path, checksum);
    for (const auto* group : {&model.m_regularAddOns, &model.m_optionalAddOns}) {
        for (const auto& [folder, addOn] : *group) {
            for (const auto& [path, checksum] : addOn.files) Append(out, &folder, path, checksum);
        }
    }
    return out;
}

void BuildEntries(std::vector<tagFILEINFO>& entries) {
    entries.clear();
    std::lock_guard<std::mutex> lock(theApp().Runs().fileListLock);
    entries = BuildFileEntries(CFileListModel::Shared());
}

}  // namespace vm
