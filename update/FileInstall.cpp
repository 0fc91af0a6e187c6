#include "update/FileInstall.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <vector>

#include "platform/FileAttributes.h"
#include "platform/FileUtil.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "update/CrashPoint.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

bool CopyBytes(int from, int to) {
    // The kernel copies without a trip through our memory where it can.
    for (;;) {
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return false;
        break;
    }
    thread_local std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!platform::WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) return false;
    }
}

// Writes through fill into a sibling temporary file of destination, then renames it over
// destination. An existing destination keeps its mode bits, made writable for the owner.
bool ReplaceFile(const fs::path& destination, const std::function<bool(int fd)>& fill) {
    std::error_code ec;
    fs::create_directories(destination.parent_path(), ec);
    if (ec) {
        errno = ec.value();
        return false;
    }
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0) {
        platform::ClearFileAttributes(destination);
        mode = (st.st_mode & 07777) | S_IWUSR;
    }
    // Staging copies are re-made on failure: no wait for the disk.
    return platform::WriteBesideThenRename(
        destination, {destination.string() + ".vmnew.XXXXXX", mode, false}, [&](int fd) {
            if (!fill(fd)) return false;
            CrashPoint();
            return true;
        });
}

// Position of the "/interface/" part of fullPath, or npos.
std::size_t InterfacePart(const std::string& fullPath, const std::string& gameFolder) {
    const std::string lower = platform::AsciiLower(fullPath);
    std::string folder = gameFolder;
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    if (!folder.empty() && fullPath.compare(0, folder.size(), folder) == 0 &&
        lower.compare(folder.size(), 11, "/interface/") == 0)
        return folder.size();
    const std::size_t p = lower.find("/interface/");
    return p == 0 ? std::string::npos : p;
}

}  // namespace

bool LinkReplacing(const fs::path& source, const fs::path& destination, WriteTime time) {
    struct stat from {};
    if (::stat(source.c_str(), &from) != 0) return false;
    struct stat to {};
    const bool exists = ::lstat(destination.c_str(), &to) == 0;
    const timespec now[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    // Renaming one name of a file over another of the same file does nothing at all, the
    // sibling included: it would stay behind.
    if (exists && from.st_dev == to.st_dev && from.st_ino == to.st_ino)
        return time == WriteTime::Keep || ::utimensat(AT_FDCWD, source.c_str(), now, 0) == 0;
    std::error_code ec;
    fs::create_directories(destination.parent_path(), ec);
    if (ec) {
        errno = ec.value();
        return false;
    }
    const mode_t mode = exists && S_ISREG(to.st_mode) ? (to.st_mode & 07777) | S_IWUSR : 0644;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".vmnew.%d.%d", static_cast<int>(::getpid()), attempt);
        const std::string sibling = destination.string() + suffix;
        if (::link(source.c_str(), sibling.c_str()) != 0) {
            if (errno == EEXIST) continue;  // a crashed run's leftover
            return false;
        }
        CrashPoint();
        if ((time == WriteTime::Keep || (::chmod(sibling.c_str(), mode) == 0 &&
                                         ::utimensat(AT_FDCWD, sibling.c_str(), now, 0) == 0)) &&
            ::rename(sibling.c_str(), destination.c_str()) == 0) {
            // Had destination come to name this file meanwhile, the rename left the sibling.
            ::unlink(sibling.c_str());
            CrashPoint();
            return true;
        }
        const int saved = errno;
        ::unlink(sibling.c_str());
        errno = saved;
        return false;
    }
    return false;
}

bool InstallFile(const fs::path& source, const fs::path& destination) {
    if (LinkReplacing(source, destination, WriteTime::Now)) return true;
    const platform::UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return false;
    return ReplaceFile(destination, [&](int fd) { return CopyBytes(in.Get(), fd); });
}

namespace {

// Every folder from base (which exists) down to folder exists afterwards; what stands in the
// way of one goes through moveAside.
bool EnsureFolders(const fs::path& folder, const fs::path& base, const MoveAsideCall& moveAside) {
    const fs::path relative = folder.lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") {
        errno = EINVAL;
        return false;
    }
    fs::path at = base;
    for (const fs::path& part : relative) {
        if (part == ".") continue;
        at /= part;
        for (int tries = 0;; ++tries) {
            struct stat st {};
            if (::lstat(at.c_str(), &st) != 0) {
                if (errno != ENOENT) return false;
                if (::mkdir(at.c_str(), 0777) == 0) {
                    CrashPoint();
                    break;
                }
                if (errno == EEXIST && tries < 2) continue;
                return false;
            }
            if (S_ISDIR(st.st_mode)) break;
            struct stat target {};
            if (S_ISLNK(st.st_mode) && ::stat(at.c_str(), &target) == 0 && S_ISDIR(target.st_mode))
                break;
            errno = 0;
            if (tries >= 2 || !moveAside(at.string())) {
                if (errno == 0) errno = ENOTDIR;
                return false;
            }
        }
    }
    return true;
}

// Empties dir through moveAside, deepest first, and removes it.
bool ClearFolder(const fs::path& dir, const MoveAsideCall& moveAside) {
    std::vector<fs::path> files;
    std::vector<fs::path> folders;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::file_status status = it->symlink_status(ec);
        if (ec) break;
        (fs::is_directory(status) ? folders : files).push_back(it->path());
    }
    if (ec) {
        errno = ec.value();
        return false;
    }
    for (const fs::path& folder : folders)
        if (!ClearFolder(folder, moveAside)) return false;
    for (const fs::path& file : files) {
        errno = 0;
        if (!moveAside(file.string())) {
            if (errno == 0) errno = ENOTEMPTY;
            return false;
        }
    }
    // Moving the last file aside may have removed the folder already.
    if (::rmdir(dir.c_str()) != 0 && errno != ENOENT) return false;
    CrashPoint();
    return true;
}

fs::path WithoutSlash(const std::string& folder) {
    std::string s = folder;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

void Prune(const fs::path& dir, const std::string& prefix, const std::set<std::string>& keep,
           const std::set<std::string>& folders) {
    std::error_code ec;
    std::vector<std::pair<fs::path, bool>> items;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        items.emplace_back(it->path(), fs::is_directory(it->symlink_status(kind)));
    }
    for (const auto& [path, isFolder] : items) {
        const std::string relative = prefix + path.filename().string();
        if (isFolder && folders.count(relative)) {
            Prune(path, relative + "/", keep, folders);
            ::rmdir(path.c_str());  // only when nothing in it is kept
        } else if (!isFolder && keep.count(relative)) {
            continue;
        } else {
            fs::remove_all(path, ec);
        }
    }
}

}  // namespace

bool MakeWayFor(const fs::path& destination, const std::string& gameFolder,
                const MoveAsideCall& moveAside) {
    const fs::path base = WithoutSlash(gameFolder);
    if (!EnsureFolders(destination.parent_path(), base, moveAside)) return false;
    struct stat st {};
    if (::lstat(destination.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    if (!ClearFolder(destination, moveAside)) return false;
    // Moving files aside removes the folders they leave empty, this file's own included.
    return EnsureFolders(destination.parent_path(), base, moveAside);
}

void PruneFolder(const fs::path& root, const std::set<std::string>& keep) {
    std::set<std::string> folders;
    for (const std::string& path : keep)
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            folders.insert(path.substr(0, slash));
    Prune(root, "", keep, folders);
}

bool WriteFileReplacing(const fs::path& path, std::string_view bytes) {
    return ReplaceFile(path,
                       [&](int fd) { return platform::WriteAll(fd, bytes.data(), bytes.size()); });
}

std::optional<fs::path> ObsoletePathFor(const std::string& fullPath,
                                        const std::string& gameFolder) {
    const std::size_t p = InterfacePart(fullPath, gameFolder);
    if (p == std::string::npos) return std::nullopt;
    return fs::path(fullPath.substr(0, p) + "/" + kObsoleteFolder + "/" + fullPath.substr(p + 11));
}

std::optional<std::string> InterfaceRelativePath(const std::string& fullPath,
                                                 const std::string& gameFolder) {
    const std::size_t p = InterfacePart(fullPath, gameFolder);
    if (p == std::string::npos) return std::nullopt;
    return fullPath.substr(p + 11);
}

ObsoleteMove MoveToObsolete(const std::string& fullPath, const std::string& gameFolder) {
    ObsoleteMove move;
    std::optional<fs::path> target = ObsoletePathFor(fullPath, gameFolder);
    if (!target) {
        move.error = "文件不在Interface目录中";
        return move;
    }
    move.target = *target;
    // What an earlier move left in the way is an older copy: it gives way.
    const std::size_t p = InterfacePart(fullPath, gameFolder);
    const auto older = [](const std::string& path) {
        std::error_code ec;
        fs::remove_all(path, ec);
        return !ec;
    };
    // The obsolete folder itself is no older copy: whatever else has its name stays.
    const fs::path obsoleteRoot = fullPath.substr(0, p) + "/" + kObsoleteFolder;
    const auto keep = [](const std::string&) { return false; };
    if (!EnsureFolders(obsoleteRoot, fullPath.substr(0, p), keep) ||
        !EnsureFolders(target->parent_path(), obsoleteRoot, older)) {
        move.error = platform::ErrnoText(errno ? errno : EIO);
        return move;
    }
    struct stat st {};
    if (::lstat(target->c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !older(target->string())) {
        move.error = platform::ErrnoText(errno ? errno : EIO);
        return move;
    }
    platform::ClearFileAttributes(fullPath);
    // A rename is the whole move at once; across file systems copy first, delete after.
    if (::rename(fullPath.c_str(), target->c_str()) != 0) {
        if (errno != EXDEV || !InstallFile(fullPath, *target)) {
            move.error = platform::ErrnoText(errno ? errno : EIO);
            return move;
        }
        if (::unlink(fullPath.c_str()) != 0) {
            move.error = platform::ErrnoText(errno);
            return move;
        }
    }
    CrashPoint();
    move.ok = true;
    // Remove the folders the file leaves empty, deepest first; Interface itself stays.
    const fs::path interfaceDir = fullPath.substr(0, p + 10);
    for (fs::path dir = fs::path(fullPath).parent_path();
         dir.string().size() > interfaceDir.string().size(); dir = dir.parent_path()) {
        if (::rmdir(dir.c_str()) != 0) break;
    }
    return move;
}

}  // namespace vm
