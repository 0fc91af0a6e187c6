// The check every picture fuzz target shares; linked into each of them (imaging.cmake).
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/ImageDecoder.h"

namespace vm {

int FuzzImageDecoder(DecodeResult (*decode)(std::span<const std::uint8_t>),
                     const std::uint8_t* data, std::size_t size) {
    const DecodeResult r = decode(std::span<const std::uint8_t>(data, size));
    if (r.ok()) {
        // A success must be a whole picture: at least one frame, each of width * height.
        const auto expected = static_cast<std::size_t>(r.image.width) * r.image.height;
        if (r.image.frames.empty() || expected == 0) __builtin_trap();
        for (const auto& frame : r.image.frames)
            if (frame.pixels.size() != expected) __builtin_trap();
    }
    return 0;
}

}  // namespace vm
