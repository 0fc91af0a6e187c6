#include "update/UpdateRunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace vm {

std::unique_ptr<UpdateRunLock> UpdateRunLock::TryAcquire(const std::string& gameFolder) {
    std::error_code ec;
    std::filesystem::create_directories(gameFolder, ec);
    const int fd = ::open(gameFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // Without a folder to lock there is nothing another run could share either.
        return std::unique_ptr<UpdateRunLock>(new UpdateRunLock(-1));
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<UpdateRunLock>(new UpdateRunLock(fd));
}

UpdateRunLock::~UpdateRunLock() {
    if (m_fd >= 0) ::close(m_fd);
}

}  // namespace vm
