#pragma once

#include <unistd.h>

#include <utility>

namespace platform {

// Owns one open file descriptor and closes it once; moves hand it on, copies do not exist.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    [[nodiscard]] int Get() const { return m_fd; }
    [[nodiscard]] bool Valid() const { return m_fd >= 0; }
    // Gives up ownership without closing.
    [[nodiscard]] int Release() { return std::exchange(m_fd, -1); }
    // Closes the descriptor now (when one is held) and holds fd instead.
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now and reports the result, for writers that must know the data reached the file.
    [[nodiscard]] bool Close() {
        if (m_fd < 0) return true;
        return ::close(std::exchange(m_fd, -1)) == 0;
    }

  private:
    int m_fd = -1;
};

}  // namespace platform
