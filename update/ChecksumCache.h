#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/FileTime.h"

namespace vm {

// The checksum cache "vmmd5index.dat": one line per file ever hashed,
// "path|low|high|checksum\n" with the lower-cased full path, the two signed 32-bit halves of
// its last-write time and its 32-digit MD5 text. Owned by one scan at a time; not
// thread-safe.
class ChecksumCache {
  public:
    static constexpr char kFileName[] = "vmmd5index.dat";

    struct Entry {
        platform::FileTimeHalves time;
        std::string checksum;
    };

    // Reads the file's text: a last piece without LF is ignored, a line without a path or
    // whose checksum is not exactly 32 characters is dropped, a later line for a path
    // replaces an earlier one. Never fails: damaged text only costs rehashing.
    static ChecksumCache Parse(std::string_view text);
    std::string Serialize() const;

    // Load from / save to a file. A missing or unreadable file loads as empty. Saving
    // replaces the file atomically; false when it could not be written.
    static ChecksumCache Load(const std::filesystem::path& file);
    [[nodiscard]] bool Save(const std::filesystem::path& file) const;

    const Entry* Find(const std::string& key) const;
    // false (and nothing stored) for a key the line format cannot carry (one with a LF).
    bool Store(const std::string& key, Entry entry);
    std::size_t Size() const { return m_entries.size(); }
    // true once Store added an entry or changed one since the cache was loaded.
    bool Changed() const { return m_changed; }

  private:
    // std::hash keeps each key's hash beside it: a lookup never hashes a neighbour's key again.
    std::unordered_map<std::string, Entry> m_entries;
    bool m_changed = false;
};

}  // namespace vm
