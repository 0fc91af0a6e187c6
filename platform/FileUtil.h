#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Whole file as bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// Writes bytes to a sibling temporary file, flushes it and renames it over path, so readers
// see either the old or the new content, never a torn one. An existing file's mode bits are
// kept. Returns false (and leaves path untouched) on any failure.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// How WriteBesideThenRename names and finishes the sibling file.
struct SiblingWrite {
    // The sibling's full path; its last six characters must be "XXXXXX" (made unique).
    std::string pattern;
    unsigned mode = 0644;  // the file's mode bits
    bool sync = true;      // flush to the disk before the rename
};

// The one "write a sibling, then rename it over the target" step: creates the sibling, lets
// fill write into its descriptor, and renames it over path only when fill returned true and
// the file was written completely; otherwise removes it and leaves path untouched. errno
// tells why on failure (the caller's own reason when fill set it).
[[nodiscard]] bool WriteBesideThenRename(const std::filesystem::path& path, const SiblingWrite& how,
                                         const std::function<bool(int fd)>& fill);

// Writes all n bytes at p to fd, across short writes and interruptions.
[[nodiscard]] bool WriteAll(int fd, const char* p, std::size_t n);

// Folder of the running executable (from /proc/self/exe), whatever the working directory.
std::filesystem::path ExecutableDir();
std::filesystem::path ExecutablePath();

// The user's data folder for this program: $XDG_DATA_HOME/Velmora, else
// ~/.local/share/Velmora; empty when neither variable is set.
std::filesystem::path UserDataDir();

// strerror of the current errno as text.
std::string ErrnoText(int err);

}  // namespace platform
