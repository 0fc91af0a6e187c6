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
// kept (0644 for a new one) unless mode is given: then the file gets exactly that mode,
// whatever it had and whatever the umask (0600 for a file that holds a secret). Returns false
// (and leaves path untouched) on any failure.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     std::optional<std::filesystem::perms> mode = std::nullopt);

// Owner read and write only: cookies, the data-protection key, stored sessions.
inline constexpr std::filesystem::perms kPrivateFileMode =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

// Creates dir (with its parents) as a folder only its owner may enter (0700) and narrows an
// existing one of ours that is wider. false when dir is not a folder of this user afterwards.
bool EnsurePrivateDir(const std::filesystem::path& dir);

// Narrows an existing file of this user to mode when it allows more; true when the file is
// absent or now has no more than mode.
bool TightenFileMode(const std::filesystem::path& path, std::filesystem::perms mode);

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

// What an errno means, in the program's words: the failures a player can act on (a full disk,
// missing rights, a read-only or vanished folder) say so; others give their number.
std::string ErrnoText(int err);

}  // namespace platform
