#pragma once

#include <memory>
#include <string>

namespace vm {

// Keeps two update runs from working on one game folder at the same time, also across
// processes (the window program and `velmora update`): an advisory lock on the game folder
// itself, held for the object's life. Released when the process ends, however it ends.
class UpdateRunLock {
  public:
    // nullptr when another run holds the lock.
    static std::unique_ptr<UpdateRunLock> TryAcquire(const std::string& gameFolder);
    ~UpdateRunLock();
    UpdateRunLock(const UpdateRunLock&) = delete;
    UpdateRunLock& operator=(const UpdateRunLock&) = delete;

  private:
    explicit UpdateRunLock(int fd) : m_fd(fd) {}
    int m_fd;
};

}  // namespace vm
