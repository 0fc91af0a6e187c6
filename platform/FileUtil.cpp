#include "platform/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     std::optional<std::filesystem::perms> wanted) {
    std::string tmpl = path.string() + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    auto fail = [&] {
        int saved = errno;
        ::close(fd);
        ::unlink(name.data());
        errno = saved;
        return false;
    };
    mode_t mode = 0644;
    struct stat st {};
    if (wanted)
        mode = static_cast<mode_t>(*wanted) & 07777;
    else if (::stat(path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    if (::fchmod(fd, mode) != 0) return fail();
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail();
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail();
    if (::close(fd) != 0) {
        ::unlink(name.data());
        return false;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        int saved = errno;
        ::unlink(name.data());
        errno = saved;
        return false;
    }
    return true;
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
    char buf[256];
    // GNU strerror_r may return a static string instead of filling buf.
    const char* s = ::strerror_r(err, buf, sizeof buf);
    return s ? s : "";
}

}  // namespace platform
