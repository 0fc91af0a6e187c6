#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "TestPatterns.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageLimits.h"
#include "platform/FileUtil.h"
#include "tests/support/TestPaths.h"

namespace vm {
namespace {

using namespace testpics;
using Expected = std::function<std::uint32_t(int x, int y)>;

std::filesystem::path DataPath(const std::string& name) {
    return vm::test::DataDir() / "imaging" / name;
}

std::string ReadData(const std::string& name) {
    auto bytes = platform::ReadWholeFile(DataPath(name));
    EXPECT_TRUE(bytes) << name;
    return bytes.value_or("");
}

// Per process, so two builds running their tests at once do not collide.
std::filesystem::path TempPath(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("velmora_imaging_" + std::to_string(::getpid()) + "_" + name);
}

std::uint64_t Checksum(const std::vector<std::uint32_t>& pixels) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the pixel words
    for (std::uint32_t p : pixels) {
        h ^= p;
        h *= 1099511628211ull;
    }
    return h;
}

std::vector<std::uint32_t> Render(int width, int height, const Expected& expected) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(expected(x, y));
    return pixels;
}

// Decodes a stored picture and compares every pixel (and the buffer's checksum) with the
// pattern it was made from.
void ExpectPicture(const std::string& name, int width, int height, const Expected& expected) {
    SCOPED_TRACE(name);
    const DecodeResult r = DecodeImageFile(DataPath(name));
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_EQ(r.image.width, width);
    ASSERT_EQ(r.image.height, height);
    ASSERT_EQ(r.image.frames.size(), 1u);
    const auto want = Render(width, height, expected);
    EXPECT_EQ(Checksum(r.image.pixels()), Checksum(want));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(r.image.Pixel(x, y), expected(x, y)) << "at " << x << "," << y;
}

Expected FromPalette(int colours) {
    return [colours](int x, int y) { return PaletteColour(Index(x, y, colours)); };
}
std::uint32_t RunPalette(int x, int y) {
    return PaletteColour(RunIndex(x, y));
}

TEST(ImageDecoder, DecodesEveryBmpVariantToItsPattern) {
    ExpectPicture("bmp1.bmp", kWidth, kHeight, FromPalette(2));
    ExpectPicture("bmp4.bmp", kWidth, kHeight, FromPalette(16));
    ExpectPicture("bmp4_rle.bmp", kWidth, kHeight, RunPalette);
    ExpectPicture("bmp8_rle.bmp", kWidth, kHeight, RunPalette);
    ExpectPicture("bmp8_topdown.bmp", kWidth, kHeight, FromPalette(100));
    ExpectPicture("bmp24.bmp", kWidth, kHeight, TrueColour);
    ExpectPicture("bmp24_topdown.bmp", kWidth, kHeight, TrueColour);
    ExpectPicture("bmp24_core.bmp", kWidth, kHeight, TrueColour);
    ExpectPicture("bmp32_v5_alpha.bmp", kWidth, kHeight, TrueColourAlpha);
    // Fourth byte zero everywhere: shown opaque rather than invisible.
    ExpectPicture("bmp32_zero_alpha.bmp", kWidth, kHeight, TrueColour);
}

TEST(ImageDecoder, DecodesEveryTgaVariantToItsPattern) {
    ExpectPicture("tga24_bottom.tga", kWidth, kHeight, TrueColour);
    ExpectPicture("tga32_top.tga", kWidth, kHeight, TrueColourAlpha);
    ExpectPicture("tga32_rle_bottom.tga", kWidth, kHeight, RunColourAlpha);
    ExpectPicture("tga8_cmap.tga", kWidth, kHeight, FromPalette(16));
    ExpectPicture("tga8_cmap_rle_bottom.tga", kWidth, kHeight, RunPalette);
    ExpectPicture("tga16_topright.tga", kWidth, kHeight, [](int x, int y) {
        auto q = [](std::uint32_t v) { return ((v >> 3) << 3) | (v >> 5); };  // 5-bit round trip
        const std::uint32_t c = TrueColour(x, y);
        return Argb(255, q((c >> 16) & 0xFF), q((c >> 8) & 0xFF), q(c & 0xFF));
    });
}

// Pictures written by ImageMagick (reference/README.md) from reference/pattern.ppm, so a
// misreading our own writers share with the reader cannot pass.
TEST(ImageDecoder, ReadsPicturesWrittenByAnotherProgram) {
    static constexpr std::uint32_t kPattern[3][5] = {
        {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000},
        {0xFF0A141E, 0xFF28323C, 0xFF46505A, 0xFF646E78, 0xFF828C96},
        {0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFFFF8000},
    };
    const Expected pattern = [](int x, int y) { return kPattern[y][x]; };
    for (const char* name :
         {"im_rgb24.bmp", "im_pal4.bmp", "im_pal8_rle.bmp", "im_argb32_v5.bmp", "im_rgb24_top.tga",
          "im_rgb24_bottom.tga", "im_rgb24_rle_top.tga", "im_cmap8_top.tga"})
        ExpectPicture(std::string("reference/") + name, 5, 3, pattern);
}

TEST(ImageDecoder, PlacesTheFirstStoredRowAtTheBottomOfABottomUpPicture) {
    // 2x2 true-colour TGA, origin bottom left: red, green (bottom row), then blue, white.
    const std::string tga(
        "\0\0\2\0\0\0\0\0\0\0\0\0\2\0\2\0\x18\0"
        "\0\0\xFF\0\xFF\0\xFF\0\0\xFF\xFF\xFF",
        30);
    const DecodeResult r = DecodeImage(tga);
    ASSERT_TRUE(r.ok()) << r.detail;
    EXPECT_EQ(r.image.Pixel(0, 0), 0xFF0000FFu);
    EXPECT_EQ(r.image.Pixel(1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(r.image.Pixel(0, 1), 0xFFFF0000u);
    EXPECT_EQ(r.image.Pixel(1, 1), 0xFF00FF00u);
}

TEST(ImageDecoder, LeavesPixelsThatRle8SkipsTransparent) {
    // 4x3 bottom-up, palette 0 red, 1 blue: a run, a move, a literal run, end of bitmap.
    std::string bmp(
        "BM\0\0\0\0\0\0\0\0\x3E\0\0\0"
        "\x28\0\0\0\4\0\0\0\3\0\0\0\1\0\x08\0\1\0\0\0"
        "\0\0\0\0\0\0\0\0\0\0\0\0\2\0\0\0\0\0\0\0"
        "\0\0\xFF\0\xFF\0\0\0",
        62);
    bmp += std::string("\2\1\0\2\1\1\1\0\0\0\0\3\1\0\1\0\0\1", 18);
    const DecodeResult r = DecodeImage(bmp);
    ASSERT_TRUE(r.ok()) << r.detail;
    const std::uint32_t red = 0xFFFF0000, blue = 0xFF0000FF;
    EXPECT_EQ(Render(4, 3, [&](int x, int y) { return r.image.Pixel(x, y); }),
              (std::vector<std::uint32_t>{blue, red, blue, 0, 0, 0, 0, red, blue, blue, 0, 0}));
}

TEST(ImageDecoder, DecodesJpegsCloseToTheirSource) {
    auto near = [](std::uint32_t a, std::uint32_t b) {
        for (int shift = 0; shift < 32; shift += 8) {
            const int d =
                static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
            if (d < -3 || d > 3) return false;
        }
        return true;
    };
    const DecodeResult colour = DecodeImageFile(DataPath("jpeg_colour.jpg"));
    ASSERT_TRUE(colour.ok()) << colour.detail;
    const DecodeResult grey = DecodeImageFile(DataPath("jpeg_grey_progressive.jpg"));
    ASSERT_TRUE(grey.ok()) << grey.detail;
    const DecodeResult cmyk = DecodeImageFile(DataPath("jpeg_cmyk.jpg"));
    ASSERT_TRUE(cmyk.ok()) << cmyk.detail;
    for (const Image* image : {&colour.image, &grey.image, &cmyk.image}) {
        ASSERT_EQ(image->width, kJpegSize);
        ASSERT_EQ(image->height, kJpegSize);
    }
    for (int y = 0; y < kJpegSize; ++y)
        for (int x = 0; x < kJpegSize; ++x) {
            EXPECT_PRED2(near, colour.image.Pixel(x, y), JpegBlockColour(x, y)) << x << "," << y;
            EXPECT_PRED2(near, cmyk.image.Pixel(x, y), JpegBlockColour(x, y)) << x << "," << y;
            const std::uint32_t g = JpegGrey(x, y);
            EXPECT_PRED2(near, grey.image.Pixel(x, y), Argb(255, g, g, g)) << x << "," << y;
        }
}

TEST(ImageDecoder, GivesUpOnAProgressiveJpegWithEndlessScans) {
    // Hundreds of repeated scans are the classic way to make a small file decode for minutes.
    const std::string jpeg = ReadData("jpeg_grey_progressive.jpg");
    const std::size_t lastScan = jpeg.rfind("\xFF\xDA");
    ASSERT_NE(lastScan, std::string::npos);
    const std::string body = jpeg.substr(0, jpeg.size() - 2);  // without the end marker
    std::string many = body;
    for (int i = 0; i < 600; ++i) many += body.substr(lastScan);
    many += "\xFF\xD9";
    const DecodeResult r = DecodeImage(many);
    EXPECT_EQ(r.error, ImageError::Corrupt) << r.detail;

    std::string few = body;  // the same repetition a few times is still a picture
    for (int i = 0; i < 3; ++i) few += body.substr(lastScan);
    EXPECT_TRUE(DecodeImage(few + "\xFF\xD9").ok());
}

std::uint32_t GifColour(int index) {
    return index == 3 ? 0u : kGifColours[index];
}

TEST(ImageDecoder, PlaysGifFramesWithDelaysTransparencyAndBackgroundDisposal) {
    const DecodeResult r = DecodeImageFile(DataPath("anim.gif"));
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_EQ(r.image.width, kGifWidth);
    ASSERT_EQ(r.image.height, kGifHeight);
    ASSERT_EQ(r.image.frames.size(), 3u);
    EXPECT_EQ(r.image.frames[0].delayCs, 10);
    EXPECT_EQ(r.image.frames[1].delayCs, 25);
    EXPECT_EQ(r.image.frames[2].delayCs, 50);
    EXPECT_EQ(r.image.frames[2].DelayMs(), 500);

    auto frame1 = [](int x, int y) { return GifColour(GifFrame1Index(x, y)); };
    auto inFrame2 = [](int x, int y) { return x >= 2 && x < 6 && y >= 1 && y < 4; };
    auto frame2 = [&](int x, int y) {
        if (!inFrame2(x, y)) return frame1(x, y);
        return x == 3 && y == 2 ? frame1(x, y) : kGifColours[1];  // its own hole shows frame 1
    };
    auto frame3 = [&](int x, int y) {
        if (x >= 5 && y >= 3) return (x - 5 + y - 3) % 2 ? kMagenta : kYellow;
        return inFrame2(x, y) ? 0u : frame1(x, y);  // frame 2 was cleared to transparent
    };
    const Expected expected[3] = {frame1, frame2, frame3};
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        EXPECT_EQ(Checksum(r.image.frames[f].pixels),
                  Checksum(Render(kGifWidth, kGifHeight, expected[f])));
    }
    EXPECT_EQ(r.image.Pixel(3, 0, 0), 0u);  // transparent index never painted
    EXPECT_EQ(r.image.Pixel(2, 1, 1), 0xFF00FF00u);
    EXPECT_EQ(r.image.Pixel(2, 1, 2), 0u);
    EXPECT_EQ(r.image.Pixel(7, 5, 2), kYellow);
}

TEST(ImageDecoder, RestoresThePreviousCanvasAndPlaysZeroDelaysAtATenthOfASecond) {
    const DecodeResult r = DecodeImageFile(DataPath("anim_previous.gif"));
    ASSERT_TRUE(r.ok()) << r.detail;
    ASSERT_EQ(r.image.frames.size(), 3u);
    EXPECT_EQ(r.image.Pixel(1, 1, 1), kGifColours[2]);
    EXPECT_EQ(r.image.Pixel(1, 1, 2), kGifColours[0]);
    EXPECT_EQ(r.image.Pixel(4, 4, 2), kGifColours[1]);
    EXPECT_EQ(r.image.frames[0].DelayMs(), 50);
    EXPECT_EQ(r.image.frames[2].delayCs, 0);
    EXPECT_EQ(r.image.frames[2].DelayMs(), 100);
}

TEST(ImageDecoder, DeinterlacesGifRows) {
    ExpectPicture("interlaced.gif", kInterlacedWidth, kInterlacedHeight,
                  [](int x, int y) { return kGifColours[InterlacedIndex(x, y)]; });
}

const char* const kPictures[] = {
    "anim.gif",
    "anim_previous.gif",
    "interlaced.gif",
    "bmp1.bmp",
    "bmp4.bmp",
    "bmp4_rle.bmp",
    "bmp8_rle.bmp",
    "bmp8_topdown.bmp",
    "bmp24.bmp",
    "bmp24_core.bmp",
    "bmp24_topdown.bmp",
    "bmp32_v5_alpha.bmp",
    "bmp32_zero_alpha.bmp",
    "jpeg_colour.jpg",
    "jpeg_grey_progressive.jpg",
    "tga16_topright.tga",
    "tga24_bottom.tga",
    "tga32_rle_bottom.tga",
    "tga32_top.tga",
    "tga8_cmap.tga",
    "tga8_cmap_rle_bottom.tga",
};

ImageFormat FormatOfName(const std::string& name) {
    const std::string ext = std::filesystem::path(name).extension().string();
    if (ext == ".gif") return ImageFormat::Gif;
    if (ext == ".bmp") return ImageFormat::Bmp;
    if (ext == ".jpg") return ImageFormat::Jpeg;
    return ImageFormat::Tga;
}

TEST(ImageDecoder, ChoosesTheDecoderFromTheContentNotTheName) {
    for (const std::string name : kPictures)
        EXPECT_EQ(DetectImageFormat(std::span<const std::uint8_t>(
                      reinterpret_cast<const std::uint8_t*>(ReadData(name).data()),
                      ReadData(name).size())),
                  FormatOfName(name))
            << name;

    // A JPEG saved under a bitmap name, as advertisement files sometimes are.
    const auto path = TempPath("ad.bmp");
    ASSERT_TRUE(platform::WriteFileAtomic(path, ReadData("jpeg_colour.jpg")));
    const DecodeResult r = DecodeImageFile(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(r.ok()) << r.detail;
    EXPECT_EQ(r.image.width, kJpegSize);

    const DecodeResult text = DecodeImage(std::string_view("<html>not a picture</html>"));
    EXPECT_EQ(text.error, ImageError::UnknownFormat);
    EXPECT_EQ(text.Message(), "不支持的图片格式。");
}

TEST(ImageDecoder, ReportsAMissingFileAsUnreadable) {
    const DecodeResult r = DecodeImageFile(DataPath("no_such_picture.gif"));
    EXPECT_FALSE(r);
    EXPECT_EQ(r.error, ImageError::Unreadable);
    EXPECT_EQ(r.Message(), "无法读取图片文件。");
    EXPECT_EQ(DecodeImageFile(DataPath("")).error, ImageError::Unreadable);  // a folder
}

TEST(ImageDecoder, RefusesAHugeFileWithoutReadingIt) {
    const auto path = TempPath("huge.bmp");
    ASSERT_TRUE(platform::WriteFileAtomic(path, ReadData("bmp24.bmp")));
    std::filesystem::resize_file(path, kMaxImageBytes + 2 * 1024 * 1024);  // sparse
    const DecodeResult r = DecodeImageFile(path);
    std::filesystem::remove(path);
    EXPECT_EQ(r.error, ImageError::TooLarge) << r.detail;
}

TEST(ImageDecoder, FailsOnEveryTruncationOfEveryPicture) {
    for (const std::string name : kPictures) {
        const std::string bytes = ReadData(name);
        // A bitmap may lack the padding of its last row; everything else must be complete.
        const std::size_t slack = FormatOfName(name) == ImageFormat::Bmp ? 4 : 1;
        for (std::size_t len = 0; len + slack <= bytes.size(); ++len) {
            const DecodeResult r = DecodeImage(std::string_view(bytes).substr(0, len));
            ASSERT_FALSE(r.ok()) << name << " cut to " << len;
            EXPECT_TRUE(r.image.frames.empty());
            EXPECT_FALSE(r.Message().empty());
        }
    }
}

TEST(ImageDecoder, SurvivesEverySingleByteCorruption) {
    // The sanitizer build turns any overrun here into a failure.
    for (const std::string name : kPictures) {
        const std::string bytes = ReadData(name);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            for (unsigned char value : {0x00, 0xFF, 0x7F, 0x80}) {
                std::string damaged = bytes;
                damaged[i] = static_cast<char>(value);
                const DecodeResult r = DecodeImage(damaged);
                if (!r.ok()) continue;
                ASSERT_FALSE(r.image.frames.empty()) << name << " byte " << i;
                for (const auto& frame : r.image.frames)
                    ASSERT_EQ(frame.pixels.size(),
                              static_cast<std::size_t>(r.image.width) * r.image.height);
            }
    }
}

void PutLe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}
void PutLe16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v);
    s[at + 1] = static_cast<char>(v >> 8);
}

TEST(ImageDecoder, RefusesPicturesBeyondTheSizeLimitsBeforeReadingPixels) {
    auto expectTooLarge = [](const std::string& bytes, const char* what) {
        const DecodeResult r = DecodeImage(bytes);
        EXPECT_EQ(r.error, ImageError::TooLarge) << what << ": " << r.detail;
        EXPECT_EQ(r.Message(), "图片尺寸过大，无法显示。");
    };

    std::string bmp = ReadData("bmp24.bmp");
    PutLe32(bmp, 18, 100000);
    PutLe32(bmp, 22, 100000);
    expectTooLarge(bmp, "BMP 100000x100000");
    PutLe32(bmp, 22, static_cast<std::uint32_t>(-100000));
    expectTooLarge(bmp, "top-down BMP 100000x100000");
    // 8192 x 8192 is exactly 256 MiB: allowed, so this header fails only for lack of pixels.
    PutLe32(bmp, 18, 8192);
    PutLe32(bmp, 22, 8192);
    EXPECT_EQ(DecodeImage(bmp).error, ImageError::Truncated);
    PutLe32(bmp, 22, 8193);
    expectTooLarge(bmp, "BMP one row over 256 MiB");
    std::string rle = ReadData("bmp8_rle.bmp");
    PutLe32(rle, 18, 100000);
    expectTooLarge(rle, "RLE BMP 100000 wide");

    // The other formats store 16-bit sizes; their largest claim is 65535 x 65535.
    std::string tga = ReadData("tga32_rle_bottom.tga");
    PutLe16(tga, 12, 65535);
    PutLe16(tga, 14, 65535);
    expectTooLarge(tga, "TGA 65535x65535");
    PutLe16(tga, 12, 16385);
    PutLe16(tga, 14, 1);
    expectTooLarge(tga, "TGA 16385 wide");

    std::string gif = ReadData("anim.gif");
    PutLe16(gif, 6, 65535);
    PutLe16(gif, 8, 65535);
    expectTooLarge(gif, "GIF screen 65535x65535");

    std::string jpeg = ReadData("jpeg_colour.jpg");
    const std::size_t sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    jpeg[sof + 5] = jpeg[sof + 6] = jpeg[sof + 7] = jpeg[sof + 8] = '\xFF';
    expectTooLarge(jpeg, "JPEG 65535x65535");
    jpeg[sof + 5] = '\x4E';  // 20000 x 20000: within libjpeg's range, not ours
    jpeg[sof + 6] = '\x20';
    jpeg[sof + 7] = jpeg[sof + 5];
    jpeg[sof + 8] = jpeg[sof + 6];
    expectTooLarge(jpeg, "JPEG 20000x20000");

    static_assert(FitsImageLimits(kMaxImageDimension, 4096));
    static_assert(!FitsImageLimits(kMaxImageDimension + 1, 1));
    static_assert(!FitsImageLimits(16, 16, kMaxImageBytes - 1023));  // frames add up
}

}  // namespace
}  // namespace vm
