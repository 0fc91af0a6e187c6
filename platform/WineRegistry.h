#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Read-only view of a Wine prefix's machine registry (system.reg) and its drive mapping.
// Each lookup reads the file afresh; safe to use from any thread.
class WineRegistry {
  public:
    // $WINEPREFIX, else ~/.wine.
    static std::filesystem::path DefaultPrefix();

    explicit WineRegistry(std::filesystem::path prefix) : m_prefix(std::move(prefix)) {}

    const std::filesystem::path& Prefix() const { return m_prefix; }

    // A string value (REG_SZ or REG_EXPAND_SZ, unexpanded) of a key under
    // HKEY_LOCAL_MACHINE, e.g. ("Software\\Halvar\\TVRN", "InstallPath"); key and value
    // names compare ignoring ASCII case. nullopt when the prefix, key or value is missing.
    std::optional<std::string> GetMachineString(std::string_view key, std::string_view name) const;

    // true when the prefix was made for 64-bit Windows (32-bit programs then write their
    // machine keys under Software\Wow6432Node).
    bool Is64Bit() const;

    // The Unix path of a Windows path like "C:\Games\Tovrin\Tovrin.exe", through the
    // prefix's dosdevices links. Components that exist with other letter case are matched
    // the way Windows would. nullopt for paths without a drive letter.
    std::optional<std::filesystem::path> ToUnixPath(std::string_view windowsPath) const;

  private:
    std::filesystem::path m_prefix;
};

}  // namespace platform
