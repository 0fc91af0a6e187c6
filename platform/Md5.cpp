#include "platform/Md5.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace platform {
namespace {

struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;

MdCtx NewMd5Context() {
    MdCtx ctx(EVP_MD_CTX_new());
    if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) ctx.reset();
    return ctx;
}

// The MD5 implementation looked up once: an implicit lookup on every init costs more than
// hashing a small add-on file.
const EVP_MD* FetchedMd5() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return md;
}

std::string FinishHex(EVP_MD_CTX* ctx) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx, digest, &len) != 1) return {};
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(len * 2);
    for (unsigned int i = 0; i < len; ++i) {
        out.push_back(kHex[digest[i] >> 4]);
        out.push_back(kHex[digest[i] & 0x0f]);
    }
    return out;
}

}  // namespace

std::string Md5Hex(std::string_view bytes) {
    MdCtx ctx = NewMd5Context();
    if (!ctx || EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1) return {};
    return FinishHex(ctx.get());
}

std::optional<std::string> Md5HexOfFile(const std::filesystem::path& path) {
    // A scan hashes thousands of files on one thread: keep the context and the buffer.
    thread_local MdCtx ctx(EVP_MD_CTX_new());
    thread_local std::vector<char> block(1 << 17);
    const EVP_MD* md = FetchedMd5();
    if (!ctx || !md || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || EVP_DigestUpdate(ctx.get(), block.data(), static_cast<size_t>(got)) != 1) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    std::string hex = FinishHex(ctx.get());
    if (hex.empty()) return std::nullopt;
    return hex;
}

}  // namespace platform
