#include "update/ObsoletedAddOns.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "update/FileInstall.h"

namespace fs = std::filesystem;

namespace vm {

namespace {

// An entry being purged is first renamed to this prefix + its name.
constexpr char kPurgePrefix[] = ".vmpurge.";

bool IsPurgeLeftover(const std::string& name) {
    return name.rfind(kPurgePrefix, 0) == 0;
}

// A name from the player or a command line: exactly one component, never a way out.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && !IsPurgeLeftover(name);
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

std::time_t ChangeTime(const struct stat& st) {
    return st.st_ctim.tv_sec;
}

// Counts entry's regular files and their size; a rename sets a file's change time, so the
// latest one is when the entry last received a file.
void Measure(const fs::path& path, ObsoletedEntry& entry) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    entry.movedAt = std::max(entry.movedAt, ChangeTime(st));
    if (S_ISREG(st.st_mode)) {
        ++entry.files;
        entry.bytes += static_cast<std::uintmax_t>(st.st_size);
        return;
    }
    if (!S_ISDIR(st.st_mode)) return;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        entry.movedAt = std::max(entry.movedAt, ChangeTime(st));
        if (S_ISREG(st.st_mode)) {
            ++entry.files;
            entry.bytes += static_cast<std::uintmax_t>(st.st_size);
        }
    }
}

bool Exists(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// A rename that never replaces what is at to; where the file system cannot promise that,
// the caller has already checked that nothing is there.
int RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (Exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

// The name in folder that equals name but for ASCII letter case, if any.
std::optional<std::string> SameNameIn(const fs::path& folder, const std::string& name) {
    const std::string wanted = platform::AsciiLower(name);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string have = it->path().filename().string();
        if (platform::AsciiLower(have) == wanted) return have;
    }
    return std::nullopt;
}

void RemoveLeftovers(const fs::path& obsoleted) {
    std::error_code ec;
    std::vector<fs::path> leftovers;
    for (fs::directory_iterator it(obsoleted, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsPurgeLeftover(it->path().filename().string())) leftovers.push_back(it->path());
    }
    for (const fs::path& p : leftovers) fs::remove_all(p, ec);
}

ObsoletedResult Refused(const std::string& name, std::string why) {
    ObsoletedResult r;
    r.name = name;
    r.error = std::move(why);
    return r;
}

}  // namespace

std::string ObsoletedFolder(const std::string& gameFolder) {
    return WithSlash(gameFolder) + kObsoleteFolder;
}

std::vector<ObsoletedEntry> ListObsoleted(const std::string& gameFolder) {
    std::vector<ObsoletedEntry> entries;
    const fs::path folder = ObsoletedFolder(gameFolder);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        ObsoletedEntry entry;
        entry.name = it->path().filename().string();
        if (IsPurgeLeftover(entry.name)) continue;
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        entry.folder = S_ISDIR(st.st_mode);
        Measure(it->path(), entry);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const ObsoletedEntry& a, const ObsoletedEntry& b) { return a.name < b.name; });
    return entries;
}

ObsoletedResult RestoreObsoleted(const std::string& gameFolder, const std::string& name) {
    if (!IsPlainName(name)) return Refused(name, "不是已隔离的插件名称");
    const fs::path from = fs::path(ObsoletedFolder(gameFolder)) / name;
    if (!Exists(from)) return Refused(name, "已隔离的插件中没有这个名称");
    const fs::path interface = WithSlash(gameFolder) + "Interface";
    std::error_code ec;
    fs::create_directories(interface, ec);
    if (ec)
        return Refused(name, "无法创建Interface文件夹（" + platform::ErrnoText(ec.value()) + "）");
    if (auto there = SameNameIn(interface, name))
        return Refused(name, "Interface文件夹里已有同名的“" + *there + "”，为免覆盖没有恢复");
    if (RenameNoReplace(from, interface / name) != 0) {
        const int err = errno;
        if (err == EEXIST || err == ENOTEMPTY)
            return Refused(name, "Interface文件夹里已有同名的“" + name + "”，为免覆盖没有恢复");
        if (err == EXDEV)
            return Refused(
                name, std::string(kObsoleteFolder) + "与Interface不在同一个文件系统上，没有恢复");
        return Refused(name, platform::ErrnoText(err));
    }
    // The folder goes once the last entry has left it.
    ::rmdir(ObsoletedFolder(gameFolder).c_str());
    ObsoletedResult r;
    r.name = name;
    r.ok = true;
    return r;
}

ObsoletedResult PurgeObsoleted(const std::string& gameFolder, const std::string& name) {
    if (!IsPlainName(name)) return Refused(name, "不是已隔离的插件名称");
    const fs::path folder = ObsoletedFolder(gameFolder);
    const fs::path from = folder / name;
    if (!Exists(from)) return Refused(name, "已隔离的插件中没有这个名称");
    RemoveLeftovers(folder);
    const fs::path hidden = folder / (kPurgePrefix + name);
    if (::rename(from.c_str(), hidden.c_str()) != 0)
        return Refused(name, platform::ErrnoText(errno));
    std::error_code ec;
    fs::remove_all(hidden, ec);
    if (ec) return Refused(name, "未能全部删除（" + platform::ErrnoText(ec.value()) + "）");
    ::rmdir(folder.c_str());
    ObsoletedResult r;
    r.name = name;
    r.ok = true;
    return r;
}

}  // namespace vm
