#include "ui/UnknownAddOns.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "update/AddOnInfo.h"
#include "update/FileInstall.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

// An "info.ini" larger than this is no description file.
constexpr std::uintmax_t kMaxInfoSize = 1 << 20;

struct Located {
    std::string folder;  // the add-on folder, full path
    std::string name;    // its name in the path's own case
};

// The add-on a file belongs to; nullopt when it lies outside Interface or directly in it.
std::optional<Located> AddOnOf(const std::string& path, const std::string& base) {
    std::optional<std::string> below = InterfaceRelativePath(path, base);
    if (!below) return std::nullopt;
    const std::size_t slash = below->find('/');
    if (slash == std::string::npos || slash == 0) return std::nullopt;
    Located at;
    at.name = below->substr(0, slash);
    at.folder = path.substr(0, path.size() - below->size()) + at.name;
    return at;
}

}  // namespace

bool UnknownAddOns::IsOurs(const std::string& folder) {
    auto cached = m_infoCache.find(folder);
    if (cached != m_infoCache.end()) return cached->second;
    bool ours = false;
    std::error_code ec;
    // The description file's name is matched without regard to letter case, as the game does.
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (platform::AsciiLower(it->path().filename().string()) != kAddOnInfoFile) continue;
        std::error_code sizeError;
        if (!it->is_regular_file(sizeError) || it->file_size(sizeError) > kMaxInfoSize) continue;
        if (std::optional<std::string> bytes = platform::ReadWholeFile(it->path())) {
            const auto info = ParseAddOnInfo(GbkToUtf8(*bytes));
            auto revision = info.find(kRevisionKey);
            ours = revision != info.end() && revision->second == kRevisionOurs;
        }
        break;
    }
    m_infoCache.emplace(folder, ours);
    return ours;
}

std::vector<AddOnGroup> UnknownAddOns::Group(const std::vector<std::string>& unknownFiles,
                                             const std::vector<std::string>& listedFiles) {
    std::set<std::string> listed;  // lower-cased add-on names
    for (const std::string& path : listedFiles) {
        if (auto at = AddOnOf(path, m_listFolder)) listed.insert(platform::AsciiLower(at->name));
    }
    std::map<std::string, AddOnGroup> groups;  // by lower-cased name
    auto count = [&](const std::string& name) {
        AddOnGroup& group = groups[platform::AsciiLower(name)];
        if (group.files == 0) group.name = name;
        ++group.files;
    };
    for (const std::string& path : unknownFiles) {
        std::optional<Located> at = AddOnOf(path, m_gameFolder);
        if (!at) {
            count(kOtherGroup);
            continue;
        }
        const std::string key = platform::AsciiLower(at->name);
        if (listed.count(key)) continue;
        if (IsOurs(at->folder)) {
            listed.insert(key);
            continue;
        }
        std::error_code ec;
        const fs::file_status status = fs::status(at->folder, ec);
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

}  // namespace vm
