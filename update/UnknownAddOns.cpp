#include "update/UnknownAddOns.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/CVelmoraApp.h"
#include "app/GameFolder.h"
#include "app/TemporaryFolder.h"
#include "platform/Text.h"
#include "update/AddOnInfo.h"

namespace fs = std::filesystem;

namespace vm {

bool UnknownAddOns::IsOurs(const std::string& folder) {
    auto cached = m_infoCache.find(folder);
    if (cached != m_infoCache.end()) return cached->second;
    const bool ours = IsOurAddOnFolder(folder);
    m_infoCache.emplace(folder, ours);
    return ours;
}

std::vector<AddOnGroup> UnknownAddOns::Group(const std::vector<std::string>& unknownFiles,
                                             const std::vector<std::string>& listedFiles) {
    std::set<std::string> listed;  // lower-cased add-on names
    for (const std::string& path : listedFiles) {
        if (auto at = AddOnFolderOf(path, m_listFolder))
            listed.insert(platform::AsciiLower(at->name));
    }
    std::map<std::string, AddOnGroup> groups;  // by lower-cased name
    auto count = [&](const std::string& name) {
        AddOnGroup& group = groups[platform::AsciiLower(name)];
        if (group.files == 0) group.name = name;
        ++group.files;
    };
    for (const std::string& path : unknownFiles) {
        std::optional<AddOnFolder> at = AddOnFolderOf(path, m_gameFolder);
        if (!at) {
            count(kOtherGroup);
            continue;
        }
        const std::string key = platform::AsciiLower(at->name);
        if (listed.count(key)) continue;
        if (IsOurs(at->path)) {
            listed.insert(key);
            continue;
        }
        std::error_code ec;
        const fs::file_status status = fs::status(at->path, ec);
        if (fs::is_directory(status)) {
            count(at->name);
        } else if (fs::exists(status)) {
            count(kOtherGroup);
        }
    }
    std::vector<AddOnGroup> result;
    result.reserve(groups.size());
    for (auto& [key, group] : groups) result.push_back(std::move(group));
    std::sort(result.begin(), result.end(),
              [](const AddOnGroup& a, const AddOnGroup& b) { return a.name < b.name; });
    return result;
}

std::optional<UnknownAddOnsDecision> DeleteModeDecision() {
    switch (theApp().GetProfile(settings::kDeleteMode)) {
        case 1:
            return UnknownAddOnsDecision::Isolate;
        case 2:
            return UnknownAddOnsDecision::Keep;
        default:
            return std::nullopt;
    }
}

void RememberUnknownAddOnsDecision(UnknownAddOnsDecision decision) {
    theApp().WriteProfile(settings::kDeleteMode,
                          decision == UnknownAddOnsDecision::Isolate ? 1 : 2);
}

std::vector<AddOnGroup> GroupUnknownAddOns(const UnknownAddOnsQuestion& question) {
    UnknownAddOns grouping(question.gameFolder.empty() ? GameFolder() : question.gameFolder,
                           question.listFolder.empty() ? TemporaryFolder() : question.listFolder);
    return grouping.Group(question.unknownFiles, question.listedFiles);
}

UnknownAddOnsDecision AskUnknownAddOns(const UnknownAddOnsQuestion& question,
                                       const ShowUnknownAddOns& show) {
    const std::vector<AddOnGroup> groups = GroupUnknownAddOns(question);
    if (groups.empty()) return UnknownAddOnsDecision::Isolate;
    // Nobody to ask: a player's own add-ons are never moved on a guess.
    return show ? show(groups) : UnknownAddOnsDecision::Keep;
}

UnknownAddOnsDecision DecideUnknownAddOns(const UnknownAddOnsQuestion& question,
                                          const ShowUnknownAddOns& show) {
    if (std::optional<UnknownAddOnsDecision> remembered = DeleteModeDecision()) return *remembered;
    return AskUnknownAddOns(question, show);
}

}  // namespace vm
