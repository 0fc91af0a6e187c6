#pragma once

#include <memory>
#include <string>

namespace vm {

// Keeps two update runs from working on one game folder at the same time, also across
// processes (the window program and `velmora update`): an advisory lock on the game folder
// itself, held for the object's life. Released when the process ends, however it ends.
// On a file system without locks (some network mounts) the lock is a file in the user's
// private temporary folder named after the game folder instead.
class UpdateRunLock {
  public:
    // The lock call, flock(2) unless a test stands in for a file system without locks.
    using LockCall = int (*)(int fd, int operation);

    // nullptr when another run holds the lock.
    static std::unique_ptr<UpdateRunLock> TryAcquire(const std::string& gameFolder,
                                                     LockCall lock = nullptr);
    ~UpdateRunLock();
    UpdateRunLock(const UpdateRunLock&) = delete;
    UpdateRunLock& operator=(const UpdateRunLock&) = delete;

    // true when the game folder could not be locked and the temporary folder's lock is held.
    bool UsesFallback() const { return m_fallback; }

  private:
    UpdateRunLock(int fd, bool fallback) : m_fd(fd), m_fallback(fallback) {}
    int m_fd;
    bool m_fallback;
};

}  // namespace vm
