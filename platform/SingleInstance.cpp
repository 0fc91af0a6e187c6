#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
constexpr char kRequest[] = "activate\n";

bool FillAddress(const std::filesystem::path& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    const std::string s = path.string();
    if (s.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    return true;
}
}  // namespace

SingleInstance::SingleInstance(std::string name, std::function<std::filesystem::path()> privateDir)
    : m_name(std::move(name)), m_privateDir(std::move(privateDir)), m_dir(RuntimeDir()) {}

SingleInstance::~SingleInstance() {
    if (m_listener.joinable()) {
        char c = 'q';
        [[maybe_unused]] ssize_t n = ::write(m_wakePipe[1], &c, 1);
        m_listener.join();
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink(SocketPath().c_str());
    }
    for (int fd : m_wakePipe)
        if (fd >= 0) ::close(fd);
    if (m_lockFd >= 0) ::close(m_lockFd);
}

std::filesystem::path SingleInstance::RuntimeDir() {
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return x;
    if (const char* t = std::getenv("TMPDIR"); t && *t) return t;
    return "/tmp";
}

std::filesystem::path SingleInstance::LockPath() const {
    // The temporary folder is shared by every user, so the name carries the user id.
    return m_dir / (m_name + "-" + std::to_string(::getuid()) + ".lock");
}

std::filesystem::path SingleInstance::SocketPath() const {
    return m_dir / (m_name + "-" + std::to_string(::getuid()) + ".sock");
}

SingleInstance::TryResult SingleInstance::TryLockIn(const std::filesystem::path& dir) {
    m_dir = dir;
    const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return TryResult::Unusable;
    struct stat st {};
    // Someone else's file of that name proves nothing about our copies.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return TryResult::Unusable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        return TryResult::Held;
    }
    const int err = errno;
    ::close(fd);
    // Only a lock that is taken means another copy; other errors (no locks on this file
    // system) make the folder useless for the guard.
    return err == EWOULDBLOCK ? TryResult::Busy : TryResult::Unusable;
}

bool SingleInstance::Acquire(std::function<void()> onActivate) {
    std::vector<std::filesystem::path> dirs;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) dirs.emplace_back(x);
    const char* t = std::getenv("TMPDIR");
    dirs.emplace_back(t && *t ? t : "/tmp");
    bool askedPrivate = false;
    for (std::size_t i = 0; i <= dirs.size(); ++i) {
        if (i == dirs.size()) {
            if (!m_privateDir || askedPrivate) break;
            askedPrivate = true;
            dirs.push_back(m_privateDir());
        }
        const std::filesystem::path dir = dirs[i];
        if (dir.empty()) continue;
        switch (TryLockIn(dir)) {
            case TryResult::Held:
                m_onActivate = std::move(onActivate);
                StartListening();
                return true;
            case TryResult::Busy:
                (void)ActivateOther();
                return false;
            case TryResult::Unusable:
                break;
        }
    }
    m_dir = RuntimeDir();
    return true;  // unguarded, but running
}

void SingleInstance::StartListening() {
    sockaddr_un addr;
    if (!FillAddress(SocketPath(), addr)) return;
    ::unlink(SocketPath().c_str());  // a crashed copy's socket
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) return;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 4) != 0 || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return;  // still the only copy; it just cannot be activated
    }
    m_listener = std::thread([this] { Listen(); });
}

bool SingleInstance::ActivateOther() const {
    // Another copy holds the lock: ask it to come to the front.
    sockaddr_un addr;
    if (!FillAddress(SocketPath(), addr)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool sent = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        sent = ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) > 0;
    ::close(fd);
    return sent;
}

void SingleInstance::Listen() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int c = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) continue;
        // A peer that connects but never writes must not stall the listener.
        pollfd in{c, POLLIN, 0};
        char buf[16] = {};
        ssize_t got = 0;
        if (::poll(&in, 1, 2000) > 0) got = ::recv(c, buf, sizeof buf - 1, 0);
        ::close(c);
        if (got == ssize_t(sizeof kRequest - 1) && std::memcmp(buf, kRequest, size_t(got)) == 0 &&
            m_onActivate)
            m_onActivate();
    }
}

}  // namespace platform
