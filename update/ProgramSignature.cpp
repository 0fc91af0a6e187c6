#include "update/ProgramSignature.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>
#include <memory>

#include "platform/UniqueFd.h"
#include "update/TrustedKeys.h"

namespace vm {
namespace fs = std::filesystem;

namespace {

constexpr char kHeader[] = "velmora-signature 1\n";
constexpr std::size_t kSignatureBytes = 64;

struct PkeyDeleter {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct BioDeleter {
    void operator()(BIO* b) const { BIO_free(b); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;
using Bio = std::unique_ptr<BIO, BioDeleter>;

const char* RoleName(ProgramRole role) {
    return role == ProgramRole::Client ? "client" : "updater";
}

std::string Hex(const unsigned char* bytes, std::size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

std::optional<std::string> FromHex(const std::string& hex) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (hex.size() % 2) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi << 4 | lo);
    }
    return out;
}

// One line of the text: the role, the version, a digest or a signature value.
bool IsLineValue(const std::string& value) {
    if (value.empty()) return false;
    for (const char c : value)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

std::string SignedPrefix(ProgramRole role, const std::string& version) {
    return std::string(kHeader) + "role " + RoleName(role) + "\nversion " + version + "\n";
}

std::string SignedMessage(ProgramRole role, const std::string& version,
                          const std::string& sha512Hex) {
    return SignedPrefix(role, version) + "sha512 " + sha512Hex + "\n";
}

bool IsEd25519(const Pkey& key) {
    return key && EVP_PKEY_get_id(key.get()) == EVP_PKEY_ED25519;
}

struct ParsedSignature {
    std::string role;
    std::string version;
    std::string signature;  // 64 raw bytes
};

std::optional<ParsedSignature> Parse(const std::string& text) {
    if (text.size() > kMaxSignatureBytes || text.rfind(kHeader, 0) != 0) return std::nullopt;
    std::vector<std::string> lines;
    std::size_t start = sizeof kHeader - 1;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) return std::nullopt;  // every line ends in LF
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    auto field = [&](std::size_t i, const std::string& name) -> std::optional<std::string> {
        if (i >= lines.size() || lines[i].rfind(name + " ", 0) != 0) return std::nullopt;
        std::string value = lines[i].substr(name.size() + 1);
        if (!IsLineValue(value)) return std::nullopt;
        return value;
    };
    auto role = field(0, "role");
    auto version = field(1, "version");
    auto signatureHex = field(2, "ed25519");
    if (lines.size() != 3 || !role || !version || !signatureHex) return std::nullopt;
    auto signature = FromHex(*signatureHex);
    if (!signature || signature->size() != kSignatureBytes) return std::nullopt;
    return ParsedSignature{*role, *version, *signature};
}

bool VerifyWith(const std::string& publicKeyPem, const std::string& message,
                const std::string& signature) {
    Bio bio(BIO_new_mem_buf(publicKeyPem.data(), static_cast<int>(publicKeyPem.size())));
    if (!bio) return false;
    Pkey key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!IsEd25519(key)) return false;
    MdCtx ctx(EVP_MD_CTX_new());
    return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

}  // namespace

const std::vector<std::string>& TrustedProgramKeys() {
    static const std::vector<std::string> keys(std::begin(kTrustedProgramKeys),
                                               std::end(kTrustedProgramKeys));
    return keys;
}

std::optional<std::string> Sha512HexOfFile(const fs::path& file) {
    const platform::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return std::nullopt;
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha512(), nullptr) != 1) return std::nullopt;
    unsigned char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (EVP_DigestUpdate(ctx.get(), block, static_cast<std::size_t>(n)) != 1)
            return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) return std::nullopt;
    return Hex(digest, size);
}

std::string Sha512Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha512(), nullptr) != 1)
        return {};
    return Hex(digest, size);
}

std::optional<std::string> ReadSignatureFile(const fs::path& file) {
    const platform::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return std::nullopt;
    std::string text(kMaxSignatureBytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > kMaxSignatureBytes) return std::nullopt;
    text.resize(got);
    return text;
}

std::optional<std::string> SignProgram(const std::string& sha512Hex, ProgramRole role,
                                       const std::string& version, const std::string& privateKeyPem,
                                       std::string& error) {
    if (!IsLineValue(version)) {
        error = "版本号无法签名：" + version;
        return std::nullopt;
    }
    Bio bio(BIO_new_mem_buf(privateKeyPem.data(), static_cast<int>(privateKeyPem.size())));
    Pkey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!IsEd25519(key)) {
        error = "签名密钥不是 PEM 格式的 Ed25519 私钥。";
        return std::nullopt;
    }
    const std::string message = SignedMessage(role, version, sha512Hex);
    unsigned char signature[kSignatureBytes];
    std::size_t size = sizeof signature;
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), signature, &size,
                       reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) != 1 ||
        size != kSignatureBytes) {
        error = "签名失败。";
        return std::nullopt;
    }
    return SignedPrefix(role, version) + "ed25519 " + Hex(signature, size) + "\n";
}

SignatureCheck VerifyProgramSignature(const fs::path& file, const std::string& sigText,
                                      ProgramRole role,
                                      const std::optional<std::string>& expectedVersion,
                                      std::string* version, const std::vector<std::string>& keys) {
    const std::optional<ParsedSignature> parsed = Parse(sigText);
    if (!parsed) return SignatureCheck::Malformed;
    if (version) *version = parsed->version;
    if (parsed->role != RoleName(role)) return SignatureCheck::WrongRole;
    if (expectedVersion && parsed->version != *expectedVersion) return SignatureCheck::WrongVersion;
    const std::optional<std::string> digest = Sha512HexOfFile(file);
    if (!digest) return SignatureCheck::Unreadable;
    const std::string message = SignedMessage(role, parsed->version, *digest);
    for (const std::string& key : keys)
        if (VerifyWith(key, message, parsed->signature)) return SignatureCheck::Valid;
    return SignatureCheck::BadSignature;
}

}  // namespace vm
