#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Local data protection for stored secrets (the remembered passport credentials): AES-256-GCM
// under a random per-user key kept in an owner-only key file, "$XDG_DATA_HOME/Velmora/key"
// (default ~/.local/share). The window program and the command line share that key, so either
// opens what the other stored. A blob made with another key, or altered in any byte, does not
// open. Safe from any thread; two processes creating the key at once agree on one key.
class DataProtection {
  public:
    // The key file of this user.
    static std::filesystem::path DefaultKeyPath();

    explicit DataProtection(std::filesystem::path keyFile = DefaultKeyPath());

    // Encrypts bytes; description is bound to the blob (opening needs the same one).
    // nullopt when the key cannot be read or created.
    std::optional<std::string> Protect(std::string_view bytes,
                                       std::string_view description = "psw") const;
    // nullopt when the blob is not one of ours, was made with another key or was altered.
    std::optional<std::string> Unprotect(std::string_view blob,
                                         std::string_view description = "psw") const;

    // The stored form of a credential: the protected blob as upper-case hexadecimal, two
    // digits per byte; "error!" when either step fails (the text the logon dialog shows).
    std::string ProtectToHex(std::string_view text) const;
    std::string UnprotectFromHex(std::string_view hex) const;

  private:
    std::optional<std::string> LoadOrCreateKey() const;
    std::filesystem::path m_keyFile;
};

inline constexpr char kUnprotectError[] = "error!";

}  // namespace platform
