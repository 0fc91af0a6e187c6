#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// One running copy per user and name: an flock'ed lock file plus a Unix-domain socket beside
// it. The first copy holds the lock and listens; a later copy finds the lock taken, sends an
// activation request over the socket and is told to end. A crashed copy releases its lock with
// its process, and its stale socket is replaced by the next first copy.
//
// The activation handler runs on the listener thread; it must only post, never block on the
// UI. Destruction stops the listener and releases the lock.
//
// The lock goes into the first folder that can hold it: $XDG_RUNTIME_DIR, the temporary
// folder, then privateDir() (asked only then: the user's private temporary folder). A folder that
// is missing, a lock file that cannot be opened or belongs to someone else, or a file system
// without locks moves on to the next; only a lock held by another copy means "another copy
// runs". When no folder works the program runs without the guard rather than not at all.
class SingleInstance {
  public:
    explicit SingleInstance(std::string name,
                            std::function<std::filesystem::path()> privateDir = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // true: this copy may run (it holds the lock and listens, or no lock could be had at all;
    // see IsGuarded). false: another copy runs; the activation request has been sent to it
    // when it was listening.
    bool Acquire(std::function<void()> onActivate);

    // false after Acquire when no folder could hold the lock: nothing stops a second copy.
    bool IsGuarded() const { return m_lockFd >= 0; }

    // Folder tried first for the lock and socket: $XDG_RUNTIME_DIR, else the temporary folder.
    static std::filesystem::path RuntimeDir();
    // The lock and socket in the folder in use (before Acquire, in RuntimeDir()).
    std::filesystem::path LockPath() const;
    std::filesystem::path SocketPath() const;

  private:
    enum class TryResult { Held, Busy, Unusable };
    TryResult TryLockIn(const std::filesystem::path& dir);
    void StartListening();
    bool ActivateOther() const;
    void Listen();
    std::string m_name;
    std::function<std::filesystem::path()> m_privateDir;
    std::filesystem::path m_dir;
    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_listener;
    std::function<void()> m_onActivate;
};

}  // namespace platform
