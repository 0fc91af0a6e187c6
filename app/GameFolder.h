#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {
class WineRegistry;
}

namespace vm {

// Where the game is. Folders are returned with one trailing '/'. The cached values live in
// the application object (Game()); every function here may be called
// from any thread.

inline constexpr char kGameExecutableName[] = "Tovrin.exe";
inline constexpr char kLauncherName[] = "Launcher.exe";

// The program folder (holding the executables), with one trailing '/'.
std::string ProgramFolder();

// The rules over the current settings (`Path`/`PathType`, `Path`/`CustomPath`), uncached.
// ResolveGameExecutable writes a `CustomPath` naming the launcher back as the game itself.
std::string ResolveGameFolder();
std::string ResolveGameExecutable();

// The game's per-account settings folder "Account" (no trailing '/'), the one place its
// location is derived: beside the executable named by `Path`/`CustomPath` (the text up to its
// last '/', by the same rule as the game folder), else in the game folder. Empty when that
// would not be an absolute path, for example a Windows path copied from another machine's
// settings: then nothing is packed from or restored into the working directory.
std::filesystem::path GameAccountFolder();

// Resolves both and caches them in the application object. The start-up step runs this;
// the setup wizard and the settings dialog call it again after changing the path settings.
void CacheGameFolder();

// Makes CacheGameFolder the application's start-up resolver. The window program's main and
// the command line call this before anything asks for the game folder.
void InstallGameFolderResolver();

// The cached values (resolved on first use when start-up has not done so).
std::string GameFolder();
std::string GameExecutable();

// GameFolder() + relative, leading separators of relative removed.
std::string GameFile(std::string_view relative);

// The two choices of the setup wizard's game page, stored as `PathType`.
enum class GameChoice { ProgramFolder = 0, CustomPath = 1 };
// Where a proposal comes from: found in the program folder or the Wine prefix, nothing
// found, or the choice already in the settings.
enum class GameSource { ProgramFolder, WinePrefix, Nothing, Settings };

struct FoundGame {
    GameChoice choice = GameChoice::CustomPath;
    std::string path;  // the executable for a custom choice, else empty
    GameSource source = GameSource::Nothing;
};

// The wizard's automatic detection: the program folder, then the publisher's install path in
// the Wine prefix's registry, then an empty custom path.
FoundGame FindGame(const platform::WineRegistry& registry);
FoundGame FindGame();  // the default prefix

// What the wizard's game page shows when it opens: the stored choice (`CustomPath` for a
// custom one) once `PathType` has been written, FindGame() before that.
FoundGame GamePageChoice();

}  // namespace vm
