#pragma once

// Small helpers shared by the decoders (not part of the library's interface).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/DecodeResult.h"
#include "imaging/ImageLimits.h"

namespace vm::imaging_detail {

using Bytes = std::span<const std::uint8_t>;

inline DecodeResult Fail(ImageError error, std::string detail) {
    DecodeResult r;
    r.error = error;
    r.detail = std::move(detail);
    return r;
}

inline DecodeResult TooLarge(std::uint64_t width, std::uint64_t height) {
    return Fail(ImageError::TooLarge,
                "picture of " + std::to_string(width) + "x" + std::to_string(height) + " refused");
}

inline std::uint16_t Le16(Bytes b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t Le32(Bytes b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

constexpr std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}
constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

// A one-frame image of width x height, filled with fill. Callers check the limits first.
inline Image MakeImage(std::uint32_t width, std::uint32_t height, std::uint32_t fill = 0) {
    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.frames.resize(1);
    image.frames[0].pixels.assign(static_cast<std::size_t>(width) * height, fill);
    return image;
}

inline DecodeResult Succeed(Image image) {
    DecodeResult r;
    r.image = std::move(image);
    return r;
}

// Many writers leave the fourth byte of 32-bit BMP and TGA pixels at zero although they mean
// no alpha at all; an image that would be wholly invisible is shown opaque instead.
inline void OpaqueIfAllTransparent(std::vector<std::uint32_t>& pixels) {
    for (std::uint32_t p : pixels)
        if (p >> 24) return;
    for (std::uint32_t& p : pixels) p |= 0xFF000000u;
}

}  // namespace vm::imaging_detail
