#pragma once

#include <filesystem>

namespace vm::test {

// A fresh folder under the system's temporary path, removed with everything in it when the
// object goes.
class ScopedTempDir {
  public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& rel) const { return m_path / rel; }

  private:
    std::filesystem::path m_path;
};

}  // namespace vm::test
