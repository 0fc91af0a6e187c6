#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "imaging/DecodeResult.h"

namespace vm {

// Picture decoding for the splash and the wizard. Every function is reentrant and keeps no
// state between calls, so any thread may decode; the result owns its pixels.

enum class ImageFormat { Unknown, Jpeg, Gif, Bmp, Tga };

// Decides from the content, never from a file name. TGA has no signature, so it is the
// fallback when the header makes sense.
[[nodiscard]] ImageFormat DetectImageFormat(std::span<const std::uint8_t> bytes);

[[nodiscard]] DecodeResult DecodeImage(std::span<const std::uint8_t> bytes);
[[nodiscard]] DecodeResult DecodeImage(std::string_view bytes);
[[nodiscard]] DecodeResult DecodeImageFile(const std::filesystem::path& path);

// One decoder each, without detection (the fuzz targets call these directly). They may
// throw std::bad_alloc; DecodeImage turns that into ImageError::OutOfMemory.
[[nodiscard]] DecodeResult DecodeJpeg(std::span<const std::uint8_t> bytes);
[[nodiscard]] DecodeResult DecodeGif(std::span<const std::uint8_t> bytes);
[[nodiscard]] DecodeResult DecodeBmp(std::span<const std::uint8_t> bytes);
[[nodiscard]] DecodeResult DecodeTga(std::span<const std::uint8_t> bytes);
[[nodiscard]] bool LooksLikeTga(std::span<const std::uint8_t> bytes);

}  // namespace vm
