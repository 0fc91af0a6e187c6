#include "update/FileEntries.h"

#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "app/CVelmoraApp.h"
#include "archive/SafePath.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "platform/Utf8.h"
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
    std::string relative;
    relative.reserve(prefix.size() + path.size());
    relative.append(prefix);
    if (!AppendSafeRelativePath(path, relative)) return;
    if (Utf16Units(relative) > tagFILEINFO::kMaxPathChars ||
        checksum.size() > tagFILEINFO::kMaxChecksumChars)
        return;
    std::string remote = relative;
    out.push_back({std::move(remote), std::move(relative), checksum});
}

constexpr char kEntriesMagic[] = "velmora file entries 1\n";

void PutSize(std::string& out, std::size_t n) {
    const auto v = static_cast<std::uint32_t>(n);
    char bytes[4];
    std::memcpy(bytes, &v, sizeof v);
    out.append(bytes, sizeof bytes);
}

// Reads the entries' file front to back; any read past its end fails.
class EntriesReader {
  public:
    explicit EntriesReader(std::string_view bytes) : m_rest(bytes) {}
    bool Size(std::size_t& n) {
        std::uint32_t v = 0;
        if (m_rest.size() < sizeof v) return false;
        std::memcpy(&v, m_rest.data(), sizeof v);
        m_rest.remove_prefix(sizeof v);
        n = v;
        return true;
    }
    bool Text(std::string_view& text) {
        std::size_t n = 0;
        if (!Size(n) || n > m_rest.size()) return false;
        text = m_rest.substr(0, n);
        m_rest.remove_prefix(n);
        return true;
    }
    bool Skip(std::string_view expected) {
        if (m_rest.substr(0, expected.size()) != expected) return false;
        m_rest.remove_prefix(expected.size());
        return true;
    }
    std::size_t Left() const { return m_rest.size(); }

  private:
    std::string_view m_rest;
};

// What the parser and BuildFileEntries let through, checked again on the way back in.
bool PlausibleEntry(std::string_view path, std::string_view checksum) {
    constexpr std::string_view kTop = "Interface/";
    return path.size() > kTop.size() && path.substr(0, kTop.size()) == kTop && IsValidUtf8(path) &&
           IsValidUtf8(checksum) && IsSafeRelativePath(path) &&
           path.find('\\') == std::string_view::npos &&
           Utf16Units(path) <= tagFILEINFO::kMaxPathChars &&
           checksum.size() <= tagFILEINFO::kMaxChecksumChars;
}

}  // namespace

std::optional<std::vector<tagFILEINFO>> LoadFileEntries(const std::filesystem::path& file,
                                                        std::string_view listMd5,
                                                        std::uint64_t maxBytes) {
    if (listMd5.empty()) return std::nullopt;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec || size > maxBytes) return std::nullopt;
    const std::optional<std::string> bytes = platform::ReadWholeFile(file);
    if (!bytes) return std::nullopt;
    EntriesReader in(*bytes);
    std::string_view md5;
    std::size_t count = 0;
    if (!in.Skip(kEntriesMagic) || !in.Text(md5) || md5 != listMd5 || !in.Size(count) ||
        count > in.Left() / 8)
        return std::nullopt;
    std::vector<tagFILEINFO> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view path;
        std::string_view checksum;
        if (!in.Text(path) || !in.Text(checksum) || !PlausibleEntry(path, checksum))
            return std::nullopt;
        out.push_back({std::string(path), std::string(path), std::string(checksum)});
    }
    if (in.Left() != 0) return std::nullopt;
    return out;
}

bool SaveFileEntries(const std::filesystem::path& file, std::string_view listMd5,
                     const std::vector<tagFILEINFO>& entries) {
    if (listMd5.empty()) return false;
    std::string out(kEntriesMagic);
    PutSize(out, listMd5.size());
    out.append(listMd5);
    PutSize(out, entries.size());
    for (const tagFILEINFO& entry : entries) {
        // The list's own paths: one place on the mirror and on disk.
        if (entry.remotePath != entry.localPath) return false;
        PutSize(out, entry.localPath.size());
        out.append(entry.localPath);
        PutSize(out, entry.checksum.size());
        out.append(entry.checksum);
    }
    return platform::WriteFileAtomic(file, out);
}

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
    // nothing moves until every entry is decided. The sets' nodes come from one pool, freed
    // at once: ten thousand small allocations cost more than the lookups.
    std::pmr::monotonic_buffer_resource pool;
    std::pmr::unordered_set<std::string_view> files(&pool);
    std::pmr::unordered_set<std::string_view> folders(&pool);
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
