#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/tagFILEINFO.h"

namespace vm {

// What the run's entries make of the files on disk.
struct DiskComparison {
    std::vector<tagFILEINFO> toDownload;         // missing or different, in entry order
    std::vector<std::string> current;            // local paths already right
    std::vector<std::string> localFiles;         // full paths found under Interface
    std::vector<std::string> removalCandidates;  // full paths the list no longer carries,
                                                 // in path order, protected ones left out
    std::vector<std::string> leftovers;          // install siblings a crash left behind
};

// true for the game's own interface files and the user's "usedforself" folder, which are
// never offered for removal: the lower-cased path contains "interface/auth.xml",
// "interface/createchar.xml", "interface/loading.xml", "interface/login.xml",
// "interface/selectchar.xml" or "interface/usedforself/".
bool IsProtectedPath(std::string_view fullPath);

// Full paths of every file below gameFolder + "Interface", walked as WalkInterface walks it
// (folder links followed by its rule, unreadable folders skipped, install leftovers left out).
std::vector<std::string> WalkInterfaceFiles(const std::string& gameFolder);

// Checksum of a file found by the scan, by full path.
using ChecksumLookup = std::function<std::optional<std::string>(const std::string& fullPath)>;

// The comparison itself. An entry is current when gameFolder + its local path is among the
// walked files (exact comparison, letter case included) and lookup gives its checksum.
DiskComparison CompareEntriesWithDisk(const std::vector<tagFILEINFO>& entries,
                                      const std::string& gameFolder,
                                      std::vector<std::string> walked,
                                      const ChecksumLookup& lookup);

// The update run's comparison: waits for g_scanDone, takes the scan's walk of the game's
// Interface folder (walks it itself when the scan could not finish) and looks checksums up
// in the scan's map. Files reached through a link out of the game folder are never removal
// candidates. Runs on the calling (worker) thread.
DiskComparison CompareWithDisk(const std::vector<tagFILEINFO>& entries,
                               const std::string& gameFolder);

}  // namespace vm
