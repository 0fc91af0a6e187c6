#pragma once

#include <cstdint>

namespace vm {

// Pictures come from outside (the advertisement file, downloads); these bound what a header
// can make us allocate. Checked before any pixel buffer exists.
inline constexpr std::uint32_t kMaxImageDimension = 16384;
inline constexpr std::uint64_t kMaxImageBytes = 256ull * 1024 * 1024;  // all frames together

// True when a canvas of width x height fits the limits, on top of usedBytes already taken
// by earlier frames. Zero sizes do not fit.
[[nodiscard]] constexpr bool FitsImageLimits(std::uint64_t width, std::uint64_t height,
                                             std::uint64_t usedBytes = 0) {
    if (width == 0 || height == 0 || width > kMaxImageDimension || height > kMaxImageDimension)
        return false;
    return usedBytes <= kMaxImageBytes && width * height * 4 <= kMaxImageBytes - usedBytes;
}

}  // namespace vm
