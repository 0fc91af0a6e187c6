#include "platform/Latency.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace platform {

int MeasureConnectMs(const std::string& host, std::uint16_t port, int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res)
        return -1;
    int result = -1;
    int fd = ::socket(res->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0) {
        int rc = ::connect(fd, res->ai_addr, res->ai_addrlen);
        bool ok = rc == 0;
        if (!ok && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int left = timeoutMs;
            for (;;) {
                int n = ::poll(&p, 1, left);
                if (n < 0 && errno == EINTR) {
                    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
                    left = timeoutMs - int(spent);
                    if (left <= 0) break;
                    continue;
                }
                if (n > 0) {
                    int err = 0;
                    socklen_t len = sizeof err;
                    ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
                }
                break;
            }
        }
        if (ok)
            result = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count());
        ::close(fd);
    }
    ::freeaddrinfo(res);
    return result;
}

}  // namespace platform
