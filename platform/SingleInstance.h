#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace platform {

// One running copy per user and name: an flock'ed lock file plus a Unix-domain socket beside
// it. The first copy holds the lock and listens; a later copy finds the lock taken, sends an
// activation request over the socket and is told to end. A crashed copy releases its lock with
// its process, and its stale socket is replaced by the next first copy.
//
// The activation handler runs on the listener thread; it must only post, never block on the
// UI. Destruction stops the listener and releases the lock.
class SingleInstance {
  public:
    explicit SingleInstance(std::string name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // true: this is the first copy (lock held, listening). false: another copy runs; the
    // activation request has been sent to it when it was listening.
    bool Acquire(std::function<void()> onActivate);

    // Folder that holds the lock and socket: $XDG_RUNTIME_DIR, else the temporary folder.
    static std::filesystem::path RuntimeDir();
    std::filesystem::path LockPath() const;
    std::filesystem::path SocketPath() const;

  private:
    void Listen();
    std::string m_name;
    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_listener;
    std::function<void()> m_onActivate;
};

}  // namespace platform
