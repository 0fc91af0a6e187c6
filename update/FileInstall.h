#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace vm {

// The folder that receives add-on files the list no longer carries: a sibling of Interface.
inline constexpr char kObsoleteFolder[] = "Interface.obsoleted";

// Whether a linked file's last-write time and mode are those of a fresh install.
enum class WriteTime { Keep, Now };

// The one "link, then rename" step: gives source's file the name destination as well, through
// a sibling name (destination + ".vmnew.PID.N") that is renamed over destination, so no bytes
// are copied and no reader sees a half-written file. Both must lie on one file system.
// Missing folders of destination are created. When destination already names source's file
// there is nothing to link (no sibling is left behind). With WriteTime::Now the file's
// last-write time becomes now and it keeps the mode of the file it replaces, made writable
// for the owner (0644 when there was none). false with errno set on failure, destination
// then unchanged.
[[nodiscard]] bool LinkReplacing(const std::filesystem::path& source,
                                 const std::filesystem::path& destination, WriteTime time);

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

// Takes one file (or link) out of the way, to the obsolete folder; true when it went.
using MoveAsideCall = std::function<bool(const std::string& fullPath)>;

// Makes room for a file at destination (below gameFolder) whatever stood there before: every
// folder on its way exists afterwards (a file, link or other non-folder in the way of one is
// handed to moveAside first), and a folder standing at destination itself is emptied through
// moveAside and removed. false with errno set when the way could not be made.
[[nodiscard]] bool MakeWayFor(const std::filesystem::path& destination,
                              const std::string& gameFolder, const MoveAsideCall& moveAside);

// Removes from root everything that is not one of keep (paths relative to root, '/'
// separated) and the folders that leads to: stale files, folders where a kept file now
// goes, files where a kept file's folder now goes, leftovers of interrupted writes. Links
// are removed, never followed. What cannot be removed stays (a write there later fails and
// says why). For folders that only this program writes.
void PruneFolder(const std::filesystem::path& root, const std::set<std::string>& keep);

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

// Moves the file to its obsolete place. What an earlier move left in the way there is
// replaced: a file of the same name, a folder of that name, a file where a folder of the path
// must be. The file is removed from its old place only once its copy is complete; then the
// folders it leaves empty are removed, up to but not including Interface.
ObsoleteMove MoveToObsolete(const std::string& fullPath, const std::string& gameFolder);

}  // namespace vm
