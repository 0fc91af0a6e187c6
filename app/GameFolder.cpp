#include "app/GameFolder.h"

#include <filesystem>

#include "app/CVelmoraApp.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "platform/WineRegistry.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

std::string WithTrailingSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    if (s.empty() || s.back() != '/') s.push_back('/');
    return s;
}

// The folder part of a `CustomPath`, with its trailing '/'. Without a separator the value
// names the folder itself.
std::string FolderOfCustomPath(const std::string& custom) {
    const size_t slash = custom.rfind('/');
    if (slash == std::string::npos) return custom + "/";
    return custom.substr(0, slash + 1);
}

bool IsFile(const fs::path& p) {
    std::error_code ec;
    return !p.empty() && fs::is_regular_file(p, ec);
}

}  // namespace

std::string ProgramFolder() {
    fs::path dir = theApp().ProgramDir();
    if (dir.empty()) dir = platform::ExecutableDir();
    return WithTrailingSlash(dir.string());
}

std::string ResolveGameFolder() {
    if (theApp().GetProfile(settings::kPathType) == 0) return ProgramFolder();
    const std::string custom = theApp().GetProfile(settings::kCustomPath);
    // An empty custom path would make every game file relative to whatever the working
    // directory is; the program folder is the only sensible place then.
    if (custom.empty()) return ProgramFolder();
    return FolderOfCustomPath(custom);
}

fs::path GameAccountFolder() {
    const std::string custom = theApp().GetProfile(settings::kCustomPath);
    const std::string folder = custom.empty() ? GameFolder() : FolderOfCustomPath(custom);
    if (folder.empty() || folder.front() != '/') return {};
    return fs::path(folder) / "Account";
}

std::string ResolveGameExecutable() {
    if (theApp().GetProfile(settings::kPathType) == 0) return ProgramFolder() + kGameExecutableName;
    std::string custom = theApp().GetProfile(settings::kCustomPath);
    if (custom.empty()) return ProgramFolder() + kGameExecutableName;  // as the folder does
    constexpr size_t kLauncherLength = sizeof kLauncherName - 1;
    if (custom.size() >= kLauncherLength &&
        platform::AsciiLower(std::string_view(custom).substr(custom.size() - kLauncherLength)) ==
            platform::AsciiLower(kLauncherName)) {
        // The launcher was picked: the game sits beside it.
        const size_t slash = custom.rfind('/');
        if (slash == std::string::npos) {
            custom = kGameExecutableName;
        } else {
            std::string folder = custom.substr(0, slash);
            while (!folder.empty() && folder.back() == '/') folder.pop_back();
            custom = folder + "/" + kGameExecutableName;
        }
        theApp().WriteProfile(settings::kCustomPath, custom);
    }
    return custom;
}

void CacheGameFolder() {
    // The executable first: it may rewrite the custom path the folder is taken from.
    std::string exe = ResolveGameExecutable();
    std::string folder = ResolveGameFolder();
    theApp().Game().executable.Set(std::move(exe));
    theApp().Game().folder.Set(std::move(folder));
}

void InstallGameFolderResolver() {
    theApp().SetGameFolderResolver(&CacheGameFolder);
}

namespace {
// A cached value, resolved first when start-up has not done so yet.
std::string Cached(Guarded<std::string>& slot) {
    if (std::string value = slot.Get(); !value.empty()) return value;
    CacheGameFolder();
    return slot.Get();
}
}  // namespace

std::string GameFolder() {
    return Cached(theApp().Game().folder);
}

std::string GameExecutable() {
    return Cached(theApp().Game().executable);
}

std::string GameFile(std::string_view relative) {
    while (!relative.empty() && (relative.front() == '/' || relative.front() == '\\'))
        relative.remove_prefix(1);
    return GameFolder() + std::string(relative);
}

FoundGame FindGame(const platform::WineRegistry& registry) {
    if (IsFile(ProgramFolder() + kGameExecutableName))
        return {GameChoice::ProgramFolder, {}, GameSource::ProgramFolder};

    // A 32-bit installer in a 64-bit prefix writes below Wow6432Node.
    const char* keys[] = {"Software\\Halvar\\TVRN", "Software\\Wow6432Node\\Halvar\\TVRN"};
    if (registry.Is64Bit()) std::swap(keys[0], keys[1]);
    for (const char* key : keys) {
        auto installPath = registry.GetMachineString(key, "InstallPath");
        if (!installPath) continue;
        std::string folder = *installPath;
        while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
            folder.pop_back();
        auto candidate = registry.ToUnixPath(folder + "\\" + kGameExecutableName);
        if (candidate && IsFile(*candidate))
            return {GameChoice::CustomPath, candidate->string(), GameSource::WinePrefix};
    }
    return {GameChoice::CustomPath, {}, GameSource::Nothing};
}

FoundGame FindGame() {
    return FindGame(platform::WineRegistry(platform::WineRegistry::DefaultPrefix()));
}

FoundGame GamePageChoice() {
    switch (theApp().GetProfile(settings::kPathTypeOrUnset)) {
        case -1:
            return FindGame();
        case 0:
            return {GameChoice::ProgramFolder, {}, GameSource::Settings};
        default:
            return {GameChoice::CustomPath, theApp().GetProfile(settings::kCustomPath),
                    GameSource::Settings};
    }
}

}  // namespace vm
