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
        destination, {destination.string() + ".vmnew.XXXXXX", mode, false}, fill);
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

// Installs source as a second name of the same file where both lie on one file system: no
// bytes are copied. Safe because nothing ever rewrites a staging copy in place (new content
// always arrives under a fresh name that is renamed over it).
bool LinkInstall(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    fs::create_directories(destination.parent_path(), ec);
    struct stat st {};
    mode_t mode = 0644;
    if (::stat(destination.c_str(), &st) == 0) mode = (st.st_mode & 07777) | S_IWUSR;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".vmnew.%d.%d", static_cast<int>(::getpid()), attempt);
        const std::string sibling = destination.string() + suffix;
        if (::link(source.c_str(), sibling.c_str()) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        const timespec now[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        if (::chmod(sibling.c_str(), mode) == 0 &&
            ::utimensat(AT_FDCWD, sibling.c_str(), now, 0) == 0 &&
            ::rename(sibling.c_str(), destination.c_str()) == 0)
            return true;
        const int saved = errno;
        ::unlink(sibling.c_str());
        errno = saved;
        return false;
    }
    return false;
}

bool InstallFile(const fs::path& source, const fs::path& destination) {
    if (LinkInstall(source, destination)) return true;
    const platform::UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return false;
    return ReplaceFile(destination, [&](int fd) { return CopyBytes(in.Get(), fd); });
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
    std::error_code ec;
    fs::create_directories(target->parent_path(), ec);
    if (ec) {
        move.error = platform::ErrnoText(ec.value());
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
    move.ok = true;
    // Remove the folders the file leaves empty, deepest first; Interface itself stays.
    const std::size_t p = InterfacePart(fullPath, gameFolder);
    const fs::path interfaceDir = fullPath.substr(0, p + 10);
    for (fs::path dir = fs::path(fullPath).parent_path();
         dir.string().size() > interfaceDir.string().size(); dir = dir.parent_path()) {
        if (::rmdir(dir.c_str()) != 0) break;
    }
    return move;
}

}  // namespace vm
