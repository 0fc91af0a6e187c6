#pragma once

// Signs programs the way `velmora publish --sign` does, for tests that link vm_update.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/FileUtil.h"
#include "tests/support/TestPaths.h"
#include "update/ProgramSignature.h"

namespace vm::test {

// The NAME.sig text for file as role and version, made with the private key in keyFile (by
// default the build's development key); empty when it cannot be made.
inline std::string SignatureOf(const std::filesystem::path& file, ProgramRole role,
                               const std::string& version,
                               const std::filesystem::path& keyFile = SigningKey()) {
    const auto key = platform::ReadWholeFile(keyFile);
    const auto digest = Sha512HexOfFile(file);
    std::string error;
    if (!key || !digest) return {};
    return SignProgram(*digest, role, version, *key, error).value_or("");
}

// Writes file + ".sig"; false when it could not be made.
inline bool SignBeside(const std::filesystem::path& file, ProgramRole role,
                       const std::string& version,
                       const std::filesystem::path& keyFile = SigningKey()) {
    const std::string text = SignatureOf(file, role, version, keyFile);
    return !text.empty() && platform::WriteFileAtomic(file.string() + kSignatureSuffix, text);
}

// A fresh Ed25519 key pair that Velmora does not trust: keyFile (private) and keyFile + ".pub".
inline bool MakeUntrustedKey(const std::filesystem::path& keyFile) {
    // Built by appending: GCC 12 at -O3 misreads the temporary concatenation.
    std::string k = "'";
    k += keyFile.string();
    k += "'";
    std::string cmd = "openssl genpkey -algorithm ed25519 -out ";
    cmd += k;
    cmd += " 2>/dev/null && openssl pkey -in ";
    cmd += k;
    cmd += " -pubout -out '";
    cmd += keyFile.string();
    cmd += ".pub' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace vm::test
