#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vm {

// Detached signatures of the programs the self-update installs. The publisher writes
// NAME.sig beside each published program NAME (`velmora publish --sign KEY`); it is a short
// text of four lines, each ending in LF:
//
//     velmora-signature 1
//     role client                  (or "role updater")
//     version 1.020                (the `Version` the program is published as)
//     ed25519 <128 hex digits>     (the signature)
//
// The Ed25519 signature covers the first three lines followed by "sha512 <128 hex digits>\n",
// the SHA-512 of the program file. Role and version are signed too, so a mirror cannot hand
// out the updater as the client, nor an older signed client under a newer version number.
// Free functions, safe on any thread.

enum class ProgramRole { Client, Updater };

inline constexpr char kSignatureSuffix[] = ".sig";
// Anything longer is not one of ours; it is refused before it is parsed.
inline constexpr std::size_t kMaxSignatureBytes = 1024;

// The Ed25519 public keys (PEM) built into this program (cmake/SigningKeys.cmake).
const std::vector<std::string>& TrustedProgramKeys();

// SHA-512 of a file's content as 128 lower-case hex digits, read in blocks; nullopt when it
// cannot be read.
std::optional<std::string> Sha512HexOfFile(const std::filesystem::path& file);

// SHA-512 of bytes, the same way.
std::string Sha512Hex(std::string_view bytes);

// A NAME.sig file's text; nullopt when it cannot be read or is longer than kMaxSignatureBytes.
std::optional<std::string> ReadSignatureFile(const std::filesystem::path& file);

// The NAME.sig text for a program whose SHA-512 is sha512Hex, signed with privateKeyPem (an
// Ed25519 private key in PEM form). nullopt, with error in the program's words, when the key is
// not such a key or the version cannot be written on one line.
std::optional<std::string> SignProgram(const std::string& sha512Hex, ProgramRole role,
                                       const std::string& version, const std::string& privateKeyPem,
                                       std::string& error);

enum class SignatureCheck {
    Valid,
    Malformed,     // not a signature text of the form above
    WrongRole,     // signed as the other program
    WrongVersion,  // signed for another version than the one announced
    Unreadable,    // the program file cannot be read
    BadSignature,  // no trusted key made this signature over this file
};

// Checks sigText for file in role against keys (PEM public keys; by default the built-in
// ones). With expectedVersion the signed version must be exactly that text. version, when
// given, receives the signed version of a well-formed text.
[[nodiscard]] SignatureCheck VerifyProgramSignature(
    const std::filesystem::path& file, const std::string& sigText, ProgramRole role,
    const std::optional<std::string>& expectedVersion, std::string* version = nullptr,
    const std::vector<std::string>& keys = TrustedProgramKeys());

}  // namespace vm
