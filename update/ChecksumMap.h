#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "update/InterfaceWalk.h"

namespace vm {

// Checksums of the installed add-on files found by the last scan, keyed by full path.
// Linux names are case-sensitive: two files whose paths differ only in letter case are two
// entries and neither ever answers for the other. A lookup in another letter case (the file
// list comes from Windows) finds a file only when it is the one file of that name ignoring
// case. The scan is the only writer; readers wait for g_scanDone. All members lock.
class ChecksumMap {
  public:
    // The process-wide map the scan fills and the update run reads; never destroyed.
    static ChecksumMap& Instance();

    void Clear();
    void Insert(const std::string& path, std::string checksum);
    // The scan's result, taken at once and sorted into the map on first use: a run that only
    // compares with the scan's walk never pays for it.
    void Adopt(std::vector<std::pair<std::string, WalkChecksum>> entries);
    std::optional<std::string> Find(const std::string& path) const;
    // Find(path) == checksum, without copying the checksum out.
    bool Matches(const std::string& path, const std::string& checksum) const;
    std::size_t Size() const;
    // Path to checksum, for display and tests.
    std::map<std::string, std::string> Snapshot() const;

    // The scan's complete walk of Interface, kept for the comparison so the run walks once.
    void SetWalk(InterfaceWalk walk);
    // The walk of root when the last scan completed one (taken out), else nullopt.
    std::optional<InterfaceWalk> TakeWalk(const std::string& root);

  private:
    // std::hash keeps each key's hash beside it: a lookup never hashes a neighbour's key again.
    template <class T>
    using PathMap = std::unordered_map<std::string, T>;

    // Moves adopted entries into m_byPath; m_lock held.
    void SettleLocked() const;

    mutable std::mutex m_lock;
    mutable std::vector<std::pair<std::string, WalkChecksum>> m_adopted;
    mutable PathMap<std::string> m_byPath;
    // Lower-cased path to every path of that spelling, rebuilt when stale.
    mutable PathMap<std::vector<std::string>> m_byFoldedPath;
    mutable bool m_foldedValid = true;
    // The walk has its own lock: the comparison takes it while the map is still being filled.
    mutable std::mutex m_walkLock;
    std::optional<InterfaceWalk> m_walk;
};

}  // namespace vm
