#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vm {

// The folder that receives add-on files the list no longer carries: a sibling of Interface.
inline constexpr char kObsoleteFolder[] = "Interface.obsoleted";

// Puts source's content at destination so that no reader ever sees a half-written file: a
// sibling temporary name (a second link to source on the same file system, else a copy of
// its bytes) is renamed over destination once complete (missing folders are created; an
// existing destination keeps its mode bits, made writable for the owner). The installed
// file's last-write time is now. false with errno set on failure, destination then
// unchanged.
[[nodiscard]] bool InstallFile(const std::filesystem::path& source,
                               const std::filesystem::path& destination);

// Writes bytes to path the same way (sibling temporary file, then rename), without waiting
// for the disk: for the staging copies in the temporary folder, which are checked before
// they are installed.
[[nodiscard]] bool WriteFileReplacing(const std::filesystem::path& path, std::string_view bytes);

// Where a file below Interface goes when it is moved aside: the path with its "/Interface/"
// part (matched without regard to letter case, the first one below gameFolder when the path
// lies there) replaced by "/Interface.obsoleted/". nullopt when the path has no such part.
std::optional<std::filesystem::path> ObsoletePathFor(const std::string& fullPath,
                                                     const std::string& gameFolder);

// The part of fullPath below its "/Interface/" part (found as ObsoletePathFor finds it);
// nullopt when there is none.
std::optional<std::string> InterfaceRelativePath(const std::string& fullPath,
                                                 const std::string& gameFolder);

struct ObsoleteMove {
    bool ok = false;
    std::filesystem::path target;
    std::string error;  // why the file stayed, in the program's words
};

// Moves the file to its obsolete place (an existing file there is replaced). The file is
// removed from its old place only once its copy is complete; then the folders it leaves
// empty are removed, up to but not including Interface.
ObsoleteMove MoveToObsolete(const std::string& fullPath, const std::string& gameFolder);

}  // namespace vm
