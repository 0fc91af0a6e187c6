#include "update/ChecksumMap.h"

#include <filesystem>

#include "platform/Text.h"

namespace vm {

namespace {

// One spelling per file: "a//b/./c" and "a/b/c" are the same path.
std::string Normal(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().generic_string();
}

}  // namespace

ChecksumMap& ChecksumMap::Instance() {
    static auto* map = new ChecksumMap;
    return *map;
}

void ChecksumMap::Clear() {
    std::lock_guard<std::mutex> g(m_lock);
    m_byPath.clear();
    m_byFoldedPath.clear();
}

void ChecksumMap::Insert(const std::string& path, std::string checksum) {
    const std::string key = Normal(path);
    std::lock_guard<std::mutex> g(m_lock);
    auto [it, added] = m_byPath.insert_or_assign(key, std::move(checksum));
    if (added) m_byFoldedPath[platform::AsciiLower(key)].push_back(key);
}

std::optional<std::string> ChecksumMap::Find(const std::string& path) const {
    const std::string key = Normal(path);
    std::lock_guard<std::mutex> g(m_lock);
    if (auto it = m_byPath.find(key); it != m_byPath.end()) return it->second;
    auto folded = m_byFoldedPath.find(platform::AsciiLower(key));
    if (folded == m_byFoldedPath.end() || folded->second.size() != 1) return std::nullopt;
    return m_byPath.at(folded->second.front());
}

std::size_t ChecksumMap::Size() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_byPath.size();
}

std::map<std::string, std::string> ChecksumMap::Snapshot() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_byPath;
}

}  // namespace vm
