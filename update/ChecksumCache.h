#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FileTime.h"
#include "update/InterfaceWalk.h"

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
        WalkChecksum checksum;
    };

    ChecksumCache() = default;
    // Keys point into the cache's own text: moved, never copied.
    ChecksumCache(ChecksumCache&&) = default;
    ChecksumCache& operator=(ChecksumCache&&) = default;
    ChecksumCache(const ChecksumCache&) = delete;
    ChecksumCache& operator=(const ChecksumCache&) = delete;

    // Reads the file's text: a last piece without LF is ignored, a line without a path or
    // whose checksum is not exactly 32 characters is dropped, a later line for a path
    // replaces an earlier one. Never fails: damaged text only costs rehashing.
    static ChecksumCache Parse(std::string_view text);
    // The same, taking the text over: a scan's cache is read without a copy.
    static ChecksumCache Parse(std::string&& text);
    std::string Serialize() const;

    // Load from / save to a file. A missing or unreadable file loads as empty. Saving
    // replaces the file atomically; false when it could not be written.
    static ChecksumCache Load(const std::filesystem::path& file);
    [[nodiscard]] bool Save(const std::filesystem::path& file) const;

    const Entry* Find(std::string_view key) const;
    // false (and nothing stored) for a key the line format cannot carry (empty, or one with a
    // LF) and for a checksum that is not 32 characters.
    bool Store(std::string_view key, Entry entry);
    std::size_t Size() const { return m_entries.size(); }
    // true once Store added an entry or changed one since the cache was loaded.
    bool Changed() const { return m_changed; }

  private:
    void ParseOwnText();

    // The file's text, its paths lower-cased in place; the loaded keys are views into it, so
    // ten thousand lines cost no allocation each.
    std::string m_text;
    // Keys stored since, each in a string that never moves.
    std::deque<std::string> m_added;
    // std::hash keeps each key's hash beside it: a lookup never hashes a neighbour's key again.
    std::unordered_map<std::string_view, Entry> m_entries;
    bool m_changed = false;
};

}  // namespace vm
