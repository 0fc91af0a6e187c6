#include "update/ChecksumMap.h"

#include <filesystem>

#include "platform/Text.h"

namespace vm {

namespace {

bool IsNormal(const std::string& path) {
    return path.find("//") == std::string::npos && path.find("/.") == std::string::npos &&
           !path.starts_with(".");
}

// One spelling per file: "a//b/./c" and "a/b/c" are the same path. The scan's own paths
// are already normal; only others pay for normalising (into spare).
const std::string& Normal(const std::string& path, std::string& spare) {
    if (IsNormal(path)) return path;
    spare = std::filesystem::path(path).lexically_normal().generic_string();
    return spare;
}

}  // namespace

ChecksumMap& ChecksumMap::Instance() {
    static auto* map = new ChecksumMap;
    return *map;
}

void ChecksumMap::Clear() {
    std::lock_guard<std::mutex> g(m_lock);
    m_adopted.clear();
    m_byPath.clear();
    m_byFoldedPath.clear();
    m_foldedValid = true;
    std::lock_guard<std::mutex> w(m_walkLock);
    m_walk.reset();
}

void ChecksumMap::SetWalk(InterfaceWalk walk) {
    std::lock_guard<std::mutex> g(m_walkLock);
    m_walk = std::move(walk);
}

std::optional<InterfaceWalk> ChecksumMap::TakeWalk(const std::string& root) {
    std::lock_guard<std::mutex> g(m_walkLock);
    if (!m_walk || m_walk->root != root) return std::nullopt;
    std::optional<InterfaceWalk> walk = std::move(m_walk);
    m_walk.reset();
    return walk;
}

void ChecksumMap::Insert(const std::string& path, std::string checksum) {
    std::string spare;
    const std::string& key = Normal(path, spare);
    std::lock_guard<std::mutex> g(m_lock);
    SettleLocked();
    auto [it, added] = m_byPath.insert_or_assign(key, std::move(checksum));
    if (added) m_foldedValid = false;
}

void ChecksumMap::Adopt(std::vector<std::pair<std::string, WalkChecksum>> entries) {
    std::lock_guard<std::mutex> g(m_lock);
    SettleLocked();
    m_adopted = std::move(entries);
}

void ChecksumMap::SettleLocked() const {
    if (m_adopted.empty()) return;
    m_byPath.reserve(m_byPath.size() + m_adopted.size());
    for (auto& [path, checksum] : m_adopted) {
        if (!checksum.Known()) continue;
        if (!IsNormal(path)) path = std::filesystem::path(path).lexically_normal().generic_string();
        auto [it, added] = m_byPath.insert_or_assign(std::move(path), std::string(checksum.View()));
        if (added) m_foldedValid = false;
    }
    m_adopted.clear();
    m_adopted.shrink_to_fit();
}

std::optional<std::string> ChecksumMap::Find(const std::string& path) const {
    std::string spare;
    const std::string& key = Normal(path, spare);
    std::lock_guard<std::mutex> g(m_lock);
    SettleLocked();
    if (auto it = m_byPath.find(key); it != m_byPath.end()) return it->second;
    if (!m_foldedValid) {
        // Built on the first lookup that needs it, after the scan has filled the map.
        m_byFoldedPath.clear();
        m_byFoldedPath.reserve(m_byPath.size());
        for (const auto& entry : m_byPath)
            m_byFoldedPath[platform::AsciiLower(entry.first)].push_back(entry.first);
        m_foldedValid = true;
    }
    auto folded = m_byFoldedPath.find(platform::AsciiLower(key));
    if (folded == m_byFoldedPath.end() || folded->second.size() != 1) return std::nullopt;
    return m_byPath.at(folded->second.front());
}

bool ChecksumMap::Matches(const std::string& path, const std::string& checksum) const {
    {
        std::string spare;
        const std::string& key = Normal(path, spare);
        std::lock_guard<std::mutex> g(m_lock);
        SettleLocked();
        if (auto it = m_byPath.find(key); it != m_byPath.end()) return it->second == checksum;
    }
    // Another letter case: the rare path.
    std::optional<std::string> found = Find(path);
    return found && *found == checksum;
}

std::size_t ChecksumMap::Size() const {
    std::lock_guard<std::mutex> g(m_lock);
    SettleLocked();
    return m_byPath.size();
}

std::map<std::string, std::string> ChecksumMap::Snapshot() const {
    std::lock_guard<std::mutex> g(m_lock);
    SettleLocked();
    return {m_byPath.begin(), m_byPath.end()};
}

}  // namespace vm
