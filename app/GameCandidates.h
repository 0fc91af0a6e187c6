#pragma once

// Every place the game is found on this machine, for a player whose game runs in a Linux
// launcher's Wine prefix: the program folder and the Wine prefix first (as the setup
// wizard's detection looks), then $WINEPREFIX and ~/.wine, the prefixes named in Lutris's
// game configurations, Steam's Proton prefixes (steamapps/compatdata/*/pfx) and game folders
// in every library of libraryfolders.vdf, and the bottles of Bottles. In a prefix the
// publisher's install path in its registry is used, else its drive_c is searched a few
// folders deep. No Qt; any thread.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vm {

enum class CandidateSource { ProgramFolder, WinePrefix, Lutris, Proton, Bottles };

struct GameCandidate {
    std::filesystem::path executable;  // the game's "Tovrin.exe"
    CandidateSource source = CandidateSource::ProgramFolder;
    std::filesystem::path origin;  // the prefix, launcher configuration or folder it came from
};

// The source in the program's words ("Lutris", "Wine前缀", ...).
const char* CandidateSourceName(CandidateSource source);

// Where the launchers keep their files: $HOME, $XDG_CONFIG_HOME, $XDG_DATA_HOME, $WINEPREFIX.
struct LauncherHome {
    std::filesystem::path home;
    std::filesystem::path configHome;  // ~/.config unless set
    std::filesystem::path dataHome;    // ~/.local/share unless set
    std::optional<std::filesystem::path> winePrefix;
    std::filesystem::path programFolder;

    // From the environment and the program folder.
    static LauncherHome FromEnvironment();
};

// Each game found once (the first source that finds it names it), in the order above.
std::vector<GameCandidate> FindGameCandidates(const LauncherHome& where);
std::vector<GameCandidate> FindGameCandidates();

// The library folders a Steam "libraryfolders.vdf" names (both its older and newer forms).
std::vector<std::filesystem::path> SteamLibraryFolders(const std::string& vdf);

}  // namespace vm
