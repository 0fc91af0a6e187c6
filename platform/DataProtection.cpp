#include "platform/DataProtection.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "platform/FileUtil.h"
#include "platform/UniqueFd.h"

namespace platform {
namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kNonceBytes = 12;
constexpr std::size_t kTagBytes = 16;
// First byte of every blob, so a later format can be told apart.
constexpr char kFormat = '\x01';

struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;

std::optional<std::string> ReadKeyFile(const std::filesystem::path& path) {
    const UniqueFd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!f.Valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(f.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return std::nullopt;
    std::string key(kKeyBytes + 1, '\0');
    std::size_t got = 0;
    while (got < key.size()) {
        ssize_t n = ::read(f.Get(), key.data() + got, key.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got != kKeyBytes) return std::nullopt;
    key.resize(kKeyBytes);
    return key;
}

// Writes a fresh key beside path and links it into place; when another process was first,
// its key wins and is read back.
std::optional<std::string> CreateKeyFile(const std::filesystem::path& path) {
    if (!platform::EnsurePrivateDir(path.parent_path())) return std::nullopt;
    std::string key(kKeyBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(key.data()), kKeyBytes) != 1)
        return std::nullopt;
    std::string tmpl = (path.parent_path() / ".key.XXXXXX").string();
    {
        const UniqueFd f(::mkstemp(tmpl.data()));
        if (!f.Valid()) return std::nullopt;
        bool ok = ::fchmod(f.Get(), 0600) == 0 && WriteAll(f.Get(), key.data(), key.size()) &&
                  ::fsync(f.Get()) == 0;
        if (!ok) {
            ::unlink(tmpl.c_str());
            return std::nullopt;
        }
    }
    const int linked = ::link(tmpl.c_str(), path.c_str());
    const int linkErr = errno;
    ::unlink(tmpl.c_str());
    if (linked == 0) return key;
    if (linkErr == EEXIST) return ReadKeyFile(path);
    return std::nullopt;
}

std::string HexUpper(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 0x0f];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> FromHex(std::string_view hex) {
    if (hex.size() % 2) return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

const unsigned char* U(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::filesystem::path DataProtection::DefaultKeyPath() {
    auto dir = platform::UserDataDir();
    return dir.empty() ? dir : dir / "key";
}

DataProtection::DataProtection(std::filesystem::path keyFile) : m_keyFile(std::move(keyFile)) {}

std::optional<std::string> DataProtection::LoadOrCreateKey() const {
    if (m_keyFile.empty()) return std::nullopt;
    if (auto key = ReadKeyFile(m_keyFile)) return key;
    std::error_code ec;
    // A key file that exists but cannot be used is never replaced: that would lose what it
    // protected.
    if (std::filesystem::symlink_status(m_keyFile, ec).type() !=
        std::filesystem::file_type::not_found)
        return std::nullopt;
    return CreateKeyFile(m_keyFile);
}

std::optional<std::string> DataProtection::Protect(std::string_view bytes,
                                                   std::string_view description) const {
    std::optional<std::string> key = LoadOrCreateKey();
    if (!key) return std::nullopt;
    std::string blob(1 + kNonceBytes + bytes.size() + kTagBytes, '\0');
    blob[0] = kFormat;
    auto* nonce = reinterpret_cast<unsigned char*>(blob.data() + 1);
    if (RAND_bytes(nonce, kNonceBytes) != 1) return std::nullopt;
    auto* out = nonce + kNonceBytes;
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    int n = 0;
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, U(*key), nonce) != 1 ||
        EVP_EncryptUpdate(ctx.get(), nullptr, &n, U(description),
                          static_cast<int>(description.size())) != 1 ||
        EVP_EncryptUpdate(ctx.get(), out, &n, U(bytes), static_cast<int>(bytes.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), out + n, &n) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagBytes, out + bytes.size()) != 1)
        return std::nullopt;
    return blob;
}

std::optional<std::string> DataProtection::Unprotect(std::string_view blob,
                                                     std::string_view description) const {
    if (blob.size() < 1 + kNonceBytes + kTagBytes || blob[0] != kFormat) return std::nullopt;
    std::optional<std::string> key = LoadOrCreateKey();
    if (!key) return std::nullopt;
    const auto* nonce = U(blob) + 1;
    const std::size_t length = blob.size() - 1 - kNonceBytes - kTagBytes;
    const auto* cipher = nonce + kNonceBytes;
    std::string tag(blob.substr(blob.size() - kTagBytes));
    std::string plain(length, '\0');
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    int n = 0;
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, U(*key), nonce) != 1 ||
        EVP_DecryptUpdate(ctx.get(), nullptr, &n, U(description),
                          static_cast<int>(description.size())) != 1 ||
        EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()), &n, cipher,
                          static_cast<int>(length)) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagBytes, tag.data()) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()) + n, &n) != 1)
        return std::nullopt;
    return plain;
}

std::string DataProtection::ProtectToHex(std::string_view text) const {
    std::optional<std::string> blob = Protect(text);
    return blob ? HexUpper(*blob) : std::string(kUnprotectError);
}

std::string DataProtection::UnprotectFromHex(std::string_view hex) const {
    std::optional<std::string> blob = FromHex(hex);
    std::optional<std::string> text = blob ? Unprotect(*blob) : std::nullopt;
    return text ? *text : std::string(kUnprotectError);
}

}  // namespace platform
