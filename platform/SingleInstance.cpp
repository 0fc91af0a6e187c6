#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
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

SingleInstance::SingleInstance(std::string name) : m_name(std::move(name)) {}

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
    return RuntimeDir() / (m_name + "-" + std::to_string(::getuid()) + ".lock");
}

std::filesystem::path SingleInstance::SocketPath() const {
    return RuntimeDir() / (m_name + "-" + std::to_string(::getuid()) + ".sock");
}

bool SingleInstance::Acquire(std::function<void()> onActivate) {
    m_lockFd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
        m_onActivate = std::move(onActivate);
        sockaddr_un addr;
        if (!FillAddress(SocketPath(), addr)) return true;
        ::unlink(SocketPath().c_str());  // a crashed copy's socket
        m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listenFd < 0) return true;
        if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(m_listenFd, 4) != 0 || ::pipe2(m_wakePipe, O_CLOEXEC) != 0) {
            ::close(m_listenFd);
            m_listenFd = -1;
            return true;  // still the only copy; it just cannot be activated
        }
        m_listener = std::thread([this] { Listen(); });
        return true;
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    // Another copy holds the lock: ask it to come to the front, then end.
    sockaddr_un addr;
    if (!FillAddress(SocketPath(), addr)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        [[maybe_unused]] ssize_t n = ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL);
    }
    ::close(fd);
    return false;
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
