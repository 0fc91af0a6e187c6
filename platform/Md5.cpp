#include "platform/Md5.h"

#include <openssl/evp.h>

#include <fstream>
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
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    MdCtx ctx = NewMd5Context();
    if (!ctx) return std::nullopt;
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const std::streamsize got = in.gcount();
        if (got > 0 && EVP_DigestUpdate(ctx.get(), block.data(), static_cast<size_t>(got)) != 1)
            return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    std::string hex = FinishHex(ctx.get());
    if (hex.empty()) return std::nullopt;
    return hex;
}

}  // namespace platform
