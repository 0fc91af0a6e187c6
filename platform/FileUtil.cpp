#include "platform/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace platform {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return std::nullopt;
    // Read straight into a string of the file's size: growing it piece by piece copies the
    // text over and over. The file may still grow or shrink while it is read.
    struct stat st {};
    std::size_t expected = 0;
    if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        expected = static_cast<std::size_t>(st.st_size);
    std::string out;
    out.resize(expected + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == out.size()) out.resize(out.size() < 32768 ? 65536 : out.size() * 2);
        const ssize_t n = ::read(fd.Get(), out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return out;
}

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool WriteBesideThenRename(const std::filesystem::path& path, const SiblingWrite& how,
                           const std::function<bool(int fd)>& fill) {
    std::vector<char> name(how.pattern.begin(), how.pattern.end());
    name.push_back('\0');
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    auto fail = [&] {
        const int saved = errno ? errno : EIO;
        fd.Reset();
        ::unlink(name.data());
        errno = saved;
        return false;
    };
    errno = 0;
    if (::fchmod(fd.Get(), static_cast<mode_t>(how.mode)) != 0 || !fill(fd.Get())) return fail();
    if (how.sync && ::fsync(fd.Get()) != 0) return fail();
    if (!fd.Close()) return fail();
    // rename replaces a link at path rather than writing through it.
    if (::rename(name.data(), path.c_str()) != 0) return fail();
    return true;
}

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     std::optional<std::filesystem::perms> wanted) {
    SiblingWrite how{path.string() + ".XXXXXX"};
    struct stat st {};
    if (wanted)
        how.mode = static_cast<unsigned>(*wanted) & 07777;
    else if (::stat(path.c_str(), &st) == 0)
        how.mode = st.st_mode & 07777;
    return WriteBesideThenRename(path, how,
                                 [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

bool EnsurePrivateDir(const std::filesystem::path& dir) {
    std::error_code ec;
    if (dir.has_parent_path()) std::filesystem::create_directories(dir.parent_path(), ec);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return (st.st_mode & 077) == 0 || ::chmod(dir.c_str(), st.st_mode & 07700) == 0;
}

bool TightenFileMode(const std::filesystem::path& path, std::filesystem::perms mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    const mode_t allowed = static_cast<mode_t>(mode) & 07777;
    if ((st.st_mode & 07777 & ~allowed) == 0) return true;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    return ::chmod(path.c_str(), st.st_mode & allowed) == 0;
}

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p;
}

std::filesystem::path ExecutableDir() {
    return ExecutablePath().parent_path();
}

std::filesystem::path UserDataDir() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "Velmora";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local" / "share" / "Velmora";
    return {};
}

std::string ErrnoText(int err) {
    // The C library's texts are English: they never reach a player.
    switch (err) {
        case ENOSPC:
            return "磁盘空间不足，请释放磁盘空间后再试";
        case EDQUOT:
            return "超出了磁盘配额，请释放磁盘空间后再试";
        case EFBIG:
            return "文件超过了系统允许的大小，请释放磁盘空间或放宽文件大小限制后再试";
        case EACCES:
        case EPERM:
            return "没有访问权限";
        case EROFS:
            return "文件系统是只读的";
        case ENOENT:
            return "文件或文件夹不存在";
        case ENOTDIR:
            return "路径中的某一部分不是文件夹";
        case EISDIR:
            return "目标是一个文件夹";
        case ENOTEMPTY:
        case EEXIST:
            return "目标已经存在";
        case EBUSY:
        case ETXTBSY:
            return "文件正在被使用";
        case EIO:
            return "磁盘读写错误";
        case EMFILE:
        case ENFILE:
            return "打开的文件过多";
        case ENOMEM:
            return "内存不足";
        case ENAMETOOLONG:
            return "文件名过长";
        case EXDEV:
            return "不能跨文件系统移动";
        default:
            return "系统错误代码" + std::to_string(err);
    }
}

}  // namespace platform
