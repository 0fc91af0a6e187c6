// Feeds arbitrary bytes straight to the BMP decoder (no format detection in between).
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/ImageDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vm::DecodeResult r = vm::DecodeBmp(std::span<const std::uint8_t>(data, size));
    if (r.ok()) {
        // A success must be a whole picture: at least one frame, each of width * height.
        const auto expected = static_cast<std::size_t>(r.image.width) * r.image.height;
        if (r.image.frames.empty() || expected == 0) __builtin_trap();
        for (const auto& frame : r.image.frames)
            if (frame.pixels.size() != expected) __builtin_trap();
    }
    return 0;
}
