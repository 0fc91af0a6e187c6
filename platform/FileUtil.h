#pragma once

#include <filesystem>
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

// Folder of the running executable (from /proc/self/exe), whatever the working directory.
std::filesystem::path ExecutableDir();
std::filesystem::path ExecutablePath();

// The user's data folder for this program: $XDG_DATA_HOME/Velmora, else
// ~/.local/share/Velmora; empty when neither variable is set.
std::filesystem::path UserDataDir();

// strerror of the current errno as text.
std::string ErrnoText(int err);

}  // namespace platform
