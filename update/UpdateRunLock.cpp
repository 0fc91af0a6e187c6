#include "update/UpdateRunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "app/TemporaryFolder.h"
#include "platform/Md5.h"

namespace vm {

namespace {

enum class Locked { Yes, HeldElsewhere, Unsupported };

Locked Lock(int fd, UpdateRunLock::LockCall call) {
    int rc;
    do {
        rc = call(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return Locked::Yes;
    // Only "would block" means another run; anything else is a file system without locks.
    return errno == EWOULDBLOCK ? Locked::HeldElsewhere : Locked::Unsupported;
}

// The lock file in the private temporary folder that stands for the game folder.
std::string FallbackLockPath(const std::string& gameFolder) {
    std::error_code ec;
    std::filesystem::path real = std::filesystem::canonical(gameFolder, ec);
    const std::string key = ec ? gameFolder : real.string();
    return TemporaryFile("update-" + platform::Md5Hex(key) + ".lock");
}

}  // namespace

std::unique_ptr<UpdateRunLock> UpdateRunLock::TryAcquire(const std::string& gameFolder,
                                                         LockCall lock) {
    if (!lock) lock = ::flock;
    std::error_code ec;
    std::filesystem::create_directories(gameFolder, ec);
    const int fd = ::open(gameFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        switch (Lock(fd, lock)) {
            case Locked::Yes:
                return std::unique_ptr<UpdateRunLock>(new UpdateRunLock(fd, false));
            case Locked::HeldElsewhere:
                ::close(fd);
                return nullptr;
            case Locked::Unsupported:
                ::close(fd);
                break;
        }
    }
    const std::string path = FallbackLockPath(gameFolder);
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0) {
        // Nowhere to hold a lock: nothing another run could share either.
        return std::unique_ptr<UpdateRunLock>(new UpdateRunLock(-1, true));
    }
    switch (Lock(file, ::flock)) {
        case Locked::HeldElsewhere:
            ::close(file);
            return nullptr;
        case Locked::Unsupported:
            ::close(file);
            return std::unique_ptr<UpdateRunLock>(new UpdateRunLock(-1, true));
        case Locked::Yes:
            break;
    }
    return std::unique_ptr<UpdateRunLock>(new UpdateRunLock(file, true));
}

UpdateRunLock::~UpdateRunLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace vm
