#include "app/TemporaryFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "app/GameFolder.h"

namespace vm {

namespace {

constexpr char kTempFolderName[] = "Velmora-TVRN";
constexpr char kFallbackFolderName[] = "vmtemp";

// Makes path a private folder of ours if it can be; true when it is one afterwards.
bool MakePrivateFolder(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        // A plain file in the way is replaced; in a sticky /tmp only its owner can do that.
        if (::unlink(path.c_str()) != 0) return false;
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    // Whatever is there now must be a real folder, ours, and closed to others.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return false;
    return true;
}

}  // namespace

std::filesystem::path SystemTempPath() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? std::filesystem::path(tmp) : std::filesystem::path("/tmp");
}

std::string TemporaryFolder() {
    std::string base = SystemTempPath().string();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base != "/") base.push_back('/');
    const std::string folder = base + kTempFolderName;
    if (MakePrivateFolder(folder)) return folder + "/";

    const std::string fallback = GameFolder() + kFallbackFolderName;
    ::mkdir(fallback.c_str(), 0700);
    return fallback + "/";
}

std::string TemporaryFile(std::string_view name) {
    return TemporaryFolder() + std::string(name);
}

}  // namespace vm
