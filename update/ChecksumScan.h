#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

namespace vm {

class ChecksumMap;

struct ChecksumScanResult {
    std::size_t hashed = 0;     // files whose checksum was computed
    std::size_t fromCache = 0;  // files whose cached checksum still held
    std::size_t failed = 0;     // files that could not be read (left out of the map)
    bool cancelled = false;     // the walk stopped early
    bool cacheSaved = false;    // the cache file holds the result (rewritten only on change)
};

// The local checksum scan: fills map with the checksum of every file under
// gameFolder + "Interface" (walked as WalkInterface walks it), taking a cached checksum when
// the file's last-write time is unchanged, and rewrites the cache file (old entries included)
// when an entry was added or changed. A complete walk is left in the map for the comparison. Stops
// walking as soon as cancel is non-zero, still saving what it has. Files in a folder where two
// names differ only in letter case are always hashed: their cache lines share one lower-cased key.
// Runs on the calling thread; the caller sets g_scanDone.
ChecksumScanResult RunChecksumScan(const std::string& gameFolder,
                                   const std::filesystem::path& cacheFile, ChecksumMap& map,
                                   const std::atomic<int>& cancel);
// The same, stopping as soon as stop() is true; finished (when given) is called once the map
// and the cache file are complete, before the scan frees its working memory.
ChecksumScanResult RunChecksumScan(const std::string& gameFolder,
                                   const std::filesystem::path& cacheFile, ChecksumMap& map,
                                   const std::function<bool()>& stop,
                                   const std::function<void()>& finished = {});

}  // namespace vm
