#include "platform/FileAttributes.h"

#include <sys/stat.h>

namespace platform {

bool ClearFileAttributes(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    // A link has no attributes of its own; its target may be anybody's and is left alone.
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR)) return true;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

}  // namespace platform
