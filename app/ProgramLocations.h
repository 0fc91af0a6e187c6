#pragma once

#include <filesystem>
#include <string>

namespace vm {

// Where the program keeps its own files. A portable copy keeps everything beside the program
// ("Velmora.ini", "Velmora.realms", the crash report, the self-update's downloads); a packaged
// install cannot write there (the package manager owns the folder) and keeps the same files in
// the user's XDG folders instead, and never replaces its own program files.
enum class InstallKind { Portable, Packaged };

struct ProgramLocations {
    InstallKind kind = InstallKind::Portable;
    std::filesystem::path programDir;   // the executables
    std::filesystem::path settingsDir;  // "Velmora.ini"
    std::filesystem::path dataDir;      // the crash report, the program icon
    std::filesystem::path cacheDir;     // "Velmora.realms"
};

// The file a package puts into the program folder: its presence alone makes the install a
// packaged one, so root (who may write anywhere) does not write into /usr either.
inline constexpr char kPackageMarkerName[] = "Velmora.packaged";
inline constexpr char kXdgFolderName[] = "velmora";

// What the decision looks at; ReadLocationFacts gathers it from the system.
struct LocationFacts {
    bool folderWritable = false;  // this user may create and replace files in the folder
    bool holdsProfile = false;    // the folder holds "Velmora.ini"
    bool packageMarker = false;   // the folder holds kPackageMarkerName
    std::string home;             // $HOME, else the password database's home
    std::string xdgConfigHome, xdgDataHome, xdgCacheHome;  // as set, possibly empty
};

// The one decision between a portable copy and a packaged install. Portable: a writable
// folder that holds "Velmora.ini", or a writable folder without the package marker (a build
// tree, a hand-copied folder: today's behaviour). Packaged otherwise: settings in
// $XDG_CONFIG_HOME/velmora, the cache in $XDG_CACHE_HOME/velmora and data in the user's
// data folder of the program ($XDG_DATA_HOME/Velmora, where the cookies and the key already
// live); unset or relative XDG values fall back to ~/.config, ~/.cache and ~/.local/share.
// A packaged install without any home has empty folders (CreateLocationFolders fails).
[[nodiscard]] ProgramLocations DecideLocations(const std::filesystem::path& programDir,
                                               const LocationFacts& facts);

// The facts about programDir and this user, read from the file system and the environment.
[[nodiscard]] LocationFacts ReadLocationFacts(const std::filesystem::path& programDir);

// DecideLocations(programDir, ReadLocationFacts(programDir)).
[[nodiscard]] ProgramLocations LocateProgramFiles(const std::filesystem::path& programDir);

// Creates the settings, data and cache folders of a packaged install (owner-only, they hold
// the stored credentials); nothing for a portable copy. false with why in the program's words
// when one cannot be made.
[[nodiscard]] bool CreateLocationFolders(const ProgramLocations& locations, std::string* why);

}  // namespace vm
