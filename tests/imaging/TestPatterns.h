#pragma once

// The pictures in tests/data/imaging and what they must decode to. make_test_pictures writes
// the files from these patterns; the tests compare decoded pixels against the same patterns.

#include <cstdint>
#include <string>
#include <vector>

namespace vm::testpics {

inline constexpr int kWidth = 13;  // odd, so BMP rows need padding
inline constexpr int kHeight = 7;

constexpr std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

inline std::uint32_t TrueColour(int x, int y) {
    return Argb(255, (x * 19) & 0xFF, (y * 37) & 0xFF, (x * y * 5 + 3) & 0xFF);
}
inline std::uint32_t TrueColourAlpha(int x, int y) {
    return (TrueColour(x, y) & 0x00FFFFFF) | static_cast<std::uint32_t>(40 + x * 15 + y) << 24;
}
inline std::uint32_t PaletteColour(int i) {
    return Argb(255, (i * 37) & 0xFF, (i * 91 + 17) & 0xFF, (255 - i * 13) & 0xFF);
}
inline int Index(int x, int y, int colours) {
    return (x * 3 + y * 5) % colours;
}
// Four different indices (a literal packet), then runs of four, for the run-length files.
inline int RunIndex(int x, int y) {
    return (x < 4 ? x + y : x / 4 + y) % 16;
}
inline std::uint32_t RunColourAlpha(int x, int y) {
    const int i = RunIndex(x, y);
    return (PaletteColour(i) & 0x00FFFFFF) | static_cast<std::uint32_t>(0x80 + i * 7) << 24;
}

inline std::vector<std::uint32_t> Palette(int colours) {
    std::vector<std::uint32_t> p;
    for (int i = 0; i < colours; ++i) p.push_back(PaletteColour(i));
    return p;
}

// 16x16 JPEG of four flat 8x8 blocks (flat blocks survive compression nearly unchanged).
inline constexpr int kJpegSize = 16;
inline std::uint32_t JpegBlockColour(int x, int y) {
    static constexpr std::uint32_t kBlocks[4] = {0xFFC81E1E, 0xFF1EB432, 0xFF2832DC, 0xFFF0F0E6};
    return kBlocks[(y / 8) * 2 + x / 8];
}
inline int JpegGrey(int x, int y) {
    return (x / 8 + y / 8) % 2 ? 200 : 40;
}

// The animation: an 8x6 canvas, palette red, green, blue, white; white (3) is transparent.
inline constexpr int kGifWidth = 8;
inline constexpr int kGifHeight = 6;
inline constexpr std::uint32_t kGifColours[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
inline constexpr std::uint32_t kYellow = 0xFFFFFF00, kMagenta = 0xFFFF00FF;
inline int GifFrame1Index(int x, int y) {
    return (x + y) % 4;
}
inline constexpr int kInterlacedWidth = 5;
inline constexpr int kInterlacedHeight = 11;
inline int InterlacedIndex(int x, int y) {
    return (x + 2 * y) % 4;
}

struct NamedPicture {
    std::string name;
    std::string bytes;
};

// Every file of tests/data/imaging, built from the patterns above.
std::vector<NamedPicture> BuildTestPictures();

}  // namespace vm::testpics
