#pragma once

// What an update run moved aside into "Interface.obsoleted", and bringing it back. An entry
// is one name directly below that folder: an add-on folder, or a loose file that lay
// directly in Interface. Every move is one rename within the game folder, never a copy, so
// an interrupted restore or purge leaves each entry whole in one of its places. Callers hold
// the game folder's UpdateRunLock, so no update run moves files at the same time. No Qt; any
// thread.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vm {

struct ObsoletedEntry {
    std::string name;          // as spelled below "Interface.obsoleted"
    bool folder = false;       // an add-on folder (else a loose file)
    std::size_t files = 0;     // regular files in it, recursively
    std::uintmax_t bytes = 0;  // their total size
    std::time_t movedAt = 0;   // the latest time one of its files was moved there
};

struct ObsoletedResult {
    std::string name;
    bool ok = false;
    std::string error;  // why nothing happened, in the program's words
};

// gameFolder (with its trailing '/') + "Interface.obsoleted".
std::string ObsoletedFolder(const std::string& gameFolder);

// Every entry, by name (ordinal order). Empty when the folder is missing.
std::vector<ObsoletedEntry> ListObsoleted(const std::string& gameFolder);

// Moves the entry back into Interface (created when missing). Refused when Interface holds
// anything of that name, letter case ignored as the game ignores it, or when the two lie on
// different file systems.
ObsoletedResult RestoreObsoleted(const std::string& gameFolder, const std::string& name);

// Deletes the entry for good: first renamed to a hidden name (so a crash never leaves a
// half-deleted add-on to be listed or restored), then removed; links are removed, never
// followed. Hidden leftovers of an earlier interrupted purge are removed as well.
ObsoletedResult PurgeObsoleted(const std::string& gameFolder, const std::string& name);

}  // namespace vm
