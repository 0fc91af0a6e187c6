#include "update/ChecksumCache.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <vector>

#include "platform/FileUtil.h"

namespace vm {

namespace {

constexpr std::size_t kChecksumLength = 32;

// Leading decimal number the way atol reads one (blanks, sign, digits; anything else ends
// it, nothing is 0), kept to its low 32 bits so that "-1" and "4294967295" are the same half.
std::int32_t ParseHalf(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    std::uint64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        v = (v * 10 + static_cast<std::uint64_t>(s[i] - '0')) & 0xffffffffffffULL;
    if (negative) v = 0 - v;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v & 0xffffffffu));
}

}  // namespace

ChecksumCache ChecksumCache::Parse(std::string_view text) {
    return Parse(std::string(text));
}

ChecksumCache ChecksumCache::Parse(std::string&& text) {
    ChecksumCache cache;
    // A text short enough to sit inside the string object holds no line (one is at least 37
    // characters), so moving the cache never leaves a key pointing at the old object.
    cache.m_text = std::move(text);
    cache.ParseOwnText();
    return cache;
}

void ChecksumCache::ParseOwnText() {
    std::string_view text = m_text;
    m_entries.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) break;  // a piece without LF is not a line
        const std::string_view line = text.substr(start, end - start);
        const std::size_t lineStart = start;
        start = end + 1;

        // The last three fields never hold '|'; the path may (Linux names can).
        const std::size_t c3 = line.rfind('|');
        if (c3 == std::string_view::npos || c3 == 0) continue;
        const std::size_t c2 = line.rfind('|', c3 - 1);
        if (c2 == std::string_view::npos || c2 == 0) continue;
        const std::size_t c1 = line.rfind('|', c2 - 1);
        if (c1 == std::string_view::npos || c1 == 0) continue;

        const std::string_view checksum = line.substr(c3 + 1);
        if (checksum.size() != kChecksumLength) continue;
        for (std::size_t i = lineStart; i < lineStart + c1; ++i) {
            char& c = m_text[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        Entry& e = m_entries[line.substr(0, c1)];
        e.time.low = ParseHalf(line.substr(c1 + 1, c2 - c1 - 1));
        e.time.high = ParseHalf(line.substr(c2 + 1, c3 - c2 - 1));
        e.checksum = WalkChecksum(checksum);
    }
}

std::string ChecksumCache::Serialize() const {
    // In path order, so the file reads the same whatever order the scan met the files in.
    std::vector<const std::pair<const std::string_view, Entry>*> sorted;
    sorted.reserve(m_entries.size());
    for (const auto& entry : m_entries) sorted.push_back(&entry);
    std::sort(sorted.begin(), sorted.end(),
              [](const auto* a, const auto* b) { return a->first < b->first; });
    std::string out;
    out.reserve(m_entries.size() * 96);
    for (const auto* entry : sorted) {
        const auto& [key, e] = *entry;
        out += key;
        out += '|';
        out += std::to_string(e.time.low);
        out += '|';
        out += std::to_string(e.time.high);
        out += '|';
        out += e.checksum.View();
        out += '\n';
    }
    return out;
}

ChecksumCache ChecksumCache::Load(const std::filesystem::path& file) {
    auto text = platform::ReadWholeFile(file);
    return text ? Parse(std::move(*text)) : ChecksumCache();
}

bool ChecksumCache::Save(const std::filesystem::path& file) const {
    return platform::WriteFileAtomic(file, Serialize());
}

const ChecksumCache::Entry* ChecksumCache::Find(std::string_view key) const {
    auto it = m_entries.find(key);
    return it == m_entries.end() ? nullptr : &it->second;
}

bool ChecksumCache::Store(std::string_view key, Entry entry) {
    if (key.empty() || key.find('\n') != std::string_view::npos || !entry.checksum.Known())
        return false;
    if (auto it = m_entries.find(key); it != m_entries.end()) {
        if (it->second.time == entry.time && it->second.checksum == entry.checksum) return true;
        it->second = entry;
    } else {
        m_entries.emplace(std::string_view(m_added.emplace_back(key)), entry);
    }
    m_changed = true;
    return true;
}

}  // namespace vm
