// A TCP relay on loopback that holds every chunk it forwards for a fixed delay in each
// direction, so a benchmark sees a mirror as far away as a player's (25 ms each way is a 50 ms
// round trip). Data keeps flowing while earlier chunks wait: the delay adds latency, not a
// stall per chunk. An optional rate caps each direction of the whole link, shared by all
// connections, like a player's line.
//
//   latency_relay --listen PORT --to PORT [--delay-ms 25] [--rate BYTES_PER_SECOND]
//
// Prints "ready PORT" on stdout once it accepts connections; runs until killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int listenPort = 0;
    int targetPort = 0;
    std::chrono::microseconds delay{25000};
    double rate = 0;  // bytes per second per direction; 0: unlimited
};

// One direction of the link: the time its wire is free again, shared by every connection.
struct Wire {
    std::mutex lock;
    Clock::time_point freeAt{};
};

struct Chunk {
    Clock::time_point due;
    std::vector<char> data;  // empty: the sender closed its side
};

// Reads from one socket and writes to the other after the delay; the reader and the writer
// run on their own threads so reading never waits for a held chunk to leave.
class Direction {
  public:
    Direction(int from, int to, const Options& options, Wire& wire)
        : m_from(from), m_to(to), m_options(options), m_wire(wire) {}

    void Run() {
        std::thread writer([this] { Write(); });
        Read();
        writer.join();
    }

  private:
    void Read() {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const ssize_t n = recv(m_from, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            Chunk chunk{Clock::now() + m_options.delay, {}};
            if (n > 0) chunk.data.assign(buffer.begin(), buffer.begin() + n);
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_queue.push_back(std::move(chunk));
            }
            m_ready.notify_one();
            if (n <= 0) return;
        }
    }

    void Write() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> guard(m_lock);
                m_ready.wait(guard, [this] { return !m_queue.empty(); });
                chunk = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (chunk.data.empty()) {
                shutdown(m_to, SHUT_WR);
                return;
            }
            Clock::time_point sendAt = chunk.due;
            if (m_options.rate > 0) {
                std::lock_guard<std::mutex> guard(m_wire.lock);
                sendAt = std::max(sendAt, m_wire.freeAt);
                m_wire.freeAt =
                    sendAt + std::chrono::microseconds(static_cast<long long>(
                                 1e6 * static_cast<double>(chunk.data.size()) / m_options.rate));
            }
            std::this_thread::sleep_until(sendAt);
            std::size_t sent = 0;
            while (sent < chunk.data.size()) {
                const ssize_t n =
                    send(m_to, chunk.data.data() + sent, chunk.data.size() - sent, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    // The receiver is gone: stop reading from the sender too.
                    shutdown(m_from, SHUT_RD);
                    Drain();
                    return;
                }
                sent += static_cast<std::size_t>(n);
            }
        }
    }

    // Waits for the reader's end marker so Run's join never hangs on a full queue.
    void Drain() {
        for (;;) {
            std::unique_lock<std::mutex> guard(m_lock);
            m_ready.wait(guard, [this] { return !m_queue.empty(); });
            const bool end = m_queue.back().data.empty();
            m_queue.clear();
            if (end) return;
        }
    }

    int m_from;
    int m_to;
    const Options& m_options;
    Wire& m_wire;
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<Chunk> m_queue;
};

int ConnectTarget(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void NoDelay(int fd) {
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Serve(int client, const Options& options, Wire& up, Wire& down) {
    const int target = ConnectTarget(options.targetPort);
    if (target < 0) {
        close(client);
        return;
    }
    NoDelay(client);
    NoDelay(target);
    Direction toTarget(client, target, options, up);
    Direction toClient(target, client, options, down);
    std::thread upstream([&] { toTarget.Run(); });
    toClient.Run();
    upstream.join();
    close(client);
    close(target);
}

bool ParseArgs(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char* value = argv[i + 1];
        if (name == "--listen") {
            options.listenPort = std::atoi(value);
        } else if (name == "--to") {
            options.targetPort = std::atoi(value);
        } else if (name == "--delay-ms") {
            options.delay =
                std::chrono::microseconds(static_cast<long long>(std::atof(value) * 1000));
        } else if (name == "--rate") {
            options.rate = std::atof(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && options.listenPort > 0 && options.targetPort > 0;
}

}  // namespace

int main(int argc, char** argv) {
    static Options options;
    if (!ParseArgs(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: latency_relay --listen PORT --to PORT [--delay-ms MS] "
                     "[--rate BYTES_PER_SECOND]\n");
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(options.listenPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 128) != 0) {
        std::perror("latency_relay: listen");
        return 1;
    }
    std::printf("ready %d\n", options.listenPort);
    std::fflush(stdout);

    // Connections live until both sides close; the relay itself runs until it is killed.
    static Wire up;
    static Wire down;
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client < 0) {
            if (errno == EINTR) continue;
            std::perror("latency_relay: accept");
            return 1;
        }
        std::thread([client] { Serve(client, options, up, down); }).detach();
    }
}
