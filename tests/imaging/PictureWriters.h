#pragma once

// Small encoders for the test pictures: BMP and TGA written by hand, GIF and JPEG through
// giflib and libjpeg. Tests use them for variants that are easier to build than to keep.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vm::testpics {

// For paletted formats the value is a colour index, otherwise an ARGB colour.
using PixelFn = std::function<std::uint32_t(int x, int y)>;

struct BmpLayout {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    bool topDown = false;
    std::uint32_t headerSize = 40;  // 12 (core), 40 or 124 (V5)
    std::uint32_t compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<std::uint32_t> palette;
    std::uint32_t masks[4] = {};  // red, green, blue, alpha (bit fields)
};
std::string WriteBmp(const BmpLayout& layout, const PixelFn& pixel);

struct TgaLayout {
    int width = 0;
    int height = 0;
    int imageType = 2;  // 1 colour-mapped, 2 true-colour, +8 for RLE
    int depth = 24;
    bool topOrigin = false;
    bool rightOrigin = false;
    std::vector<std::uint32_t> map;  // written as 24-bit entries
    std::string id;
};
std::string WriteTga(const TgaLayout& layout, const PixelFn& pixel);

struct GifFrameSpec {
    int left = 0, top = 0, width = 0, height = 0;
    int delayCs = 0;
    int disposal = 1;
    int transparent = -1;
    bool interlace = false;
    std::vector<std::uint32_t> localMap{};     // empty: the global one
    std::function<int(int x, int y)> index{};  // frame-local coordinates
};
std::string WriteGif(int width, int height, const std::vector<std::uint32_t>& globalMap,
                     const std::vector<GifFrameSpec>& frames);

// Cmyk is written the way Adobe programs do: inverted, with an Adobe marker.
enum class JpegKind { Colour, GreyProgressive, Cmyk };
std::string WriteJpeg(int width, int height, JpegKind kind, const PixelFn& pixel);

}  // namespace vm::testpics
