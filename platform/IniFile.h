#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// An INI file with Windows profile semantics: case-insensitive sections and keys, a missing
// file or key yields the caller's default, every write goes to disk at once and every read
// reads the file (no cache). Writes replace the file atomically (sibling file + rename) under
// an advisory lock on "<file>.lock", so concurrent writers in any thread or process never lose
// an update or leave a torn file. Safe to use from any thread.
class IniFile {
  public:
    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& Path() const { return m_path; }

    std::optional<std::string> Read(std::string_view section, std::string_view key) const;

    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def) const;
    int GetInt(std::string_view section, std::string_view key, int def) const;
    // Decodes the two-letters-per-byte form; nullopt when missing or not a whole byte string.
    std::optional<std::vector<std::uint8_t>> GetBinary(std::string_view section,
                                                       std::string_view key) const;

    // Each returns false when the value is refused (CR or LF inside) or the file could not
    // be written; the file is then unchanged.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, int value);
    bool WriteBinary(std::string_view section, std::string_view key,
                     const std::vector<std::uint8_t>& bytes);
    bool DeleteKey(std::string_view section, std::string_view key);

    // Pure helpers, exposed for tests and fuzzing.
    static std::string EncodeBinary(const std::vector<std::uint8_t>& bytes);
    static std::optional<std::vector<std::uint8_t>> DecodeBinary(std::string_view text);
    static int ParseInt(std::string_view text, int def);
    static std::optional<std::string> Lookup(std::string_view content, std::string_view section,
                                             std::string_view key);
    // Returns the new content with key set (value nullopt removes it).
    static std::string Update(std::string_view content, std::string_view section,
                              std::string_view key, const std::optional<std::string>& value);

  private:
    bool Modify(std::string_view section, std::string_view key,
                const std::optional<std::string>& value);
    std::filesystem::path m_path;
};

}  // namespace platform
