// Feeds arbitrary bytes straight to the BMP decoder (no format detection in between).
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/ImageDecoder.h"

namespace vm {
int FuzzImageDecoder(DecodeResult (*decode)(std::span<const std::uint8_t>),
                     const std::uint8_t* data, std::size_t size);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vm::FuzzImageDecoder(vm::DecodeBmp, data, size);
}
