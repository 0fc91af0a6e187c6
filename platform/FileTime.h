#pragma once

#include <time.h>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

// Last-write times the Windows way: 100 ns units since 1601-01-01 UTC. The checksum cache
// stores them as two 32-bit halves, so they must be computed exactly the same every time.
using FileTime = std::int64_t;

// 1970-01-01 in file-time units.
constexpr FileTime kUnixEpochFileTime = 116444736000000000LL;

FileTime FileTimeFromTimespec(const timespec& ts);
timespec TimespecFromFileTime(FileTime ft);

// The file's last-write time (symbolic links followed); nullopt when it cannot be read.
std::optional<FileTime> LastWriteTime(const std::filesystem::path& path);
// Sets the last-write time (the access time is left alone).
bool SetLastWriteTime(const std::filesystem::path& path, FileTime ft);

// The two halves as they appear in the cache, each a signed 32-bit number.
struct FileTimeHalves {
    std::int32_t low = 0;
    std::int32_t high = 0;
    bool operator==(const FileTimeHalves&) const = default;
};
FileTimeHalves SplitFileTime(FileTime ft);
FileTime JoinFileTime(FileTimeHalves halves);

}  // namespace platform
