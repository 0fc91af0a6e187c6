#include "app/ProgramLocations.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/FileUtil.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

constexpr char kProfileName[] = "Velmora.ini";
// The data folder the cookie store and the key already use (platform::UserDataDir).
constexpr char kDataFolderName[] = "Velmora";

// An XDG base folder: the variable when it is an absolute path, else home + fallback.
fs::path XdgBase(const std::string& value, const std::string& home, const char* fallback) {
    if (!value.empty() && value.front() == '/') return value;
    if (home.empty() || home.front() != '/') return {};
    return fs::path(home) / fallback;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return {};
}

}  // namespace

ProgramLocations DecideLocations(const fs::path& programDir, const LocationFacts& facts) {
    ProgramLocations l;
    l.programDir = programDir;
    const bool portable = facts.folderWritable && (facts.holdsProfile || !facts.packageMarker);
    if (portable) {
        l.kind = InstallKind::Portable;
        l.settingsDir = l.dataDir = l.cacheDir = programDir;
        return l;
    }
    l.kind = InstallKind::Packaged;
    if (fs::path base = XdgBase(facts.xdgConfigHome, facts.home, ".config"); !base.empty())
        l.settingsDir = base / kXdgFolderName;
    if (fs::path base = XdgBase(facts.xdgDataHome, facts.home, ".local/share"); !base.empty())
        l.dataDir = base / kDataFolderName;
    if (fs::path base = XdgBase(facts.xdgCacheHome, facts.home, ".cache"); !base.empty())
        l.cacheDir = base / kXdgFolderName;
    return l;
}

LocationFacts ReadLocationFacts(const fs::path& programDir) {
    LocationFacts f;
    // The effective user decides, as it does for every write; a read-only file system
    // answers no as well.
    f.folderWritable = ::faccessat(AT_FDCWD, programDir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    std::error_code ec;
    f.holdsProfile = fs::is_regular_file(programDir / kProfileName, ec);
    f.packageMarker = fs::exists(programDir / kPackageMarkerName, ec);
    f.home = HomeFolder();
    f.xdgConfigHome = Env("XDG_CONFIG_HOME");
    f.xdgDataHome = Env("XDG_DATA_HOME");
    f.xdgCacheHome = Env("XDG_CACHE_HOME");
    return f;
}

ProgramLocations LocateProgramFiles(const fs::path& programDir) {
    return DecideLocations(programDir, ReadLocationFacts(programDir));
}

bool CreateLocationFolders(const ProgramLocations& locations, std::string* why) {
    if (locations.kind == InstallKind::Portable) return true;
    for (const fs::path& dir : {locations.settingsDir, locations.dataDir, locations.cacheDir}) {
        if (dir.empty()) {
            if (why) *why = "找不到用户的主文件夹，无法确定保存设置的位置。请设置 HOME 环境变量。";
            return false;
        }
        if (!platform::EnsurePrivateDir(dir)) {
            if (why) *why = "无法创建文件夹 " + dir.string() + "，设置将无法保存。";
            return false;
        }
    }
    return true;
}

}  // namespace vm
