#include "platform/FileTime.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kNanosPerTick = 100;
}  // namespace

FileTime FileTimeFromTimespec(const timespec& ts) {
    return kUnixEpochFileTime + static_cast<std::int64_t>(ts.tv_sec) * kTicksPerSecond +
           ts.tv_nsec / kNanosPerTick;
}

timespec TimespecFromFileTime(FileTime ft) {
    std::int64_t rel = ft - kUnixEpochFileTime;
    std::int64_t sec = rel / kTicksPerSecond;
    std::int64_t ticks = rel % kTicksPerSecond;
    if (ticks < 0) {  // keep tv_nsec in [0, 1e9) before 1970
        ticks += kTicksPerSecond;
        --sec;
    }
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(sec);
    ts.tv_nsec = static_cast<long>(ticks * kNanosPerTick);
    return ts;
}

std::optional<FileTime> LastWriteTime(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileTimeFromTimespec(st.st_mtim);
}

bool SetLastWriteTime(const std::filesystem::path& path, FileTime ft) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = TimespecFromFileTime(ft);
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

FileTimeHalves SplitFileTime(FileTime ft) {
    const auto bits = static_cast<std::uint64_t>(ft);
    return {static_cast<std::int32_t>(static_cast<std::uint32_t>(bits & 0xffffffffu)),
            static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 32))};
}

FileTime JoinFileTime(FileTimeHalves halves) {
    const std::uint64_t bits =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(halves.high)) << 32) |
        static_cast<std::uint32_t>(halves.low);
    return static_cast<FileTime>(bits);
}

}  // namespace platform
