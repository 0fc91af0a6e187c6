#pragma once

#include <cstddef>
#include <filesystem>

#include "platform/UniqueFd.h"

namespace vm {

// The body of a download on its way to path: written to "<path>.vmpart" and renamed over path
// only once the whole body has arrived, so a broken download never leaves a torn file. The
// part file is removed unless committed.
class CPartFile {
  public:
    explicit CPartFile(std::filesystem::path path);
    ~CPartFile();
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    // Creates (or empties) the part file; false on failure (Error() says why).
    [[nodiscard]] bool Open();
    [[nodiscard]] bool Write(const char* data, std::size_t size);
    // Closes the part file and renames it over path; false on failure.
    [[nodiscard]] bool Commit();
    // errno of the first file failure, 0 when there was none.
    [[nodiscard]] int Error() const { return m_error; }

  private:
    bool Fail();

    std::filesystem::path m_path;
    std::filesystem::path m_part;
    platform::UniqueFd m_fd;
    int m_error = 0;
    bool m_committed = false;
};

}  // namespace vm
