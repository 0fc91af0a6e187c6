#include "PictureWriters.h"
#include "TestPatterns.h"

namespace vm::testpics {

namespace {

std::vector<std::uint32_t> GifColours() {
    return {std::begin(kGifColours), std::end(kGifColours)};
}

std::uint32_t Rgb(int x, int y) {
    return TrueColour(x, y) & 0x00FFFFFF;
}

}  // namespace

std::vector<NamedPicture> BuildTestPictures() {
    std::vector<NamedPicture> out;
    auto add = [&](std::string name, std::string bytes) {
        out.push_back({std::move(name), std::move(bytes)});
    };
    auto index = [](int colours) {
        return [colours](int x, int y) { return static_cast<std::uint32_t>(Index(x, y, colours)); };
    };
    auto runIndex = [](int x, int y) { return static_cast<std::uint32_t>(RunIndex(x, y)); };

    BmpLayout bmp;
    bmp.width = kWidth;
    bmp.height = kHeight;
    bmp.bitsPerPixel = 1;
    bmp.palette = Palette(2);
    add("bmp1.bmp", WriteBmp(bmp, index(2)));
    bmp.bitsPerPixel = 4;
    bmp.palette = Palette(16);
    add("bmp4.bmp", WriteBmp(bmp, index(16)));
    bmp.compression = 2;
    add("bmp4_rle.bmp", WriteBmp(bmp, runIndex));
    bmp.bitsPerPixel = 8;
    bmp.compression = 1;
    add("bmp8_rle.bmp", WriteBmp(bmp, runIndex));
    bmp.compression = 0;
    bmp.topDown = true;
    bmp.palette = Palette(100);
    add("bmp8_topdown.bmp", WriteBmp(bmp, index(100)));
    bmp.palette.clear();
    bmp.bitsPerPixel = 24;
    add("bmp24_topdown.bmp", WriteBmp(bmp, TrueColour));
    bmp.topDown = false;
    add("bmp24.bmp", WriteBmp(bmp, TrueColour));
    bmp.headerSize = 12;
    add("bmp24_core.bmp", WriteBmp(bmp, TrueColour));
    bmp.headerSize = 40;
    bmp.bitsPerPixel = 32;
    add("bmp32_zero_alpha.bmp", WriteBmp(bmp, Rgb));
    bmp.headerSize = 124;
    bmp.compression = 3;
    const std::uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    std::copy(std::begin(masks), std::end(masks), bmp.masks);
    add("bmp32_v5_alpha.bmp", WriteBmp(bmp, TrueColourAlpha));

    TgaLayout tga;
    tga.width = kWidth;
    tga.height = kHeight;
    add("tga24_bottom.tga", WriteTga(tga, TrueColour));
    tga.depth = 32;
    tga.topOrigin = true;
    tga.id = "velmora";
    add("tga32_top.tga", WriteTga(tga, TrueColourAlpha));
    tga.id.clear();
    tga.depth = 16;
    tga.rightOrigin = true;
    add("tga16_topright.tga", WriteTga(tga, TrueColour));
    tga.rightOrigin = false;
    tga.topOrigin = false;
    tga.depth = 32;
    tga.imageType = 10;
    add("tga32_rle_bottom.tga", WriteTga(tga, RunColourAlpha));
    tga.depth = 8;
    tga.imageType = 1;
    tga.topOrigin = true;
    tga.map = Palette(16);
    add("tga8_cmap.tga", WriteTga(tga, index(16)));
    tga.imageType = 9;
    tga.topOrigin = false;
    add("tga8_cmap_rle_bottom.tga", WriteTga(tga, runIndex));

    add("jpeg_colour.jpg", WriteJpeg(kJpegSize, kJpegSize, JpegKind::Colour, JpegBlockColour));
    add("jpeg_cmyk.jpg", WriteJpeg(kJpegSize, kJpegSize, JpegKind::Cmyk, JpegBlockColour));
    add("jpeg_grey_progressive.jpg",
        WriteJpeg(kJpegSize, kJpegSize, JpegKind::GreyProgressive,
                  [](int x, int y) { return static_cast<std::uint32_t>(JpegGrey(x, y)); }));

    // Three frames: a full one with transparent holes, a small one disposed to background
    // with a hole of its own, and one with a local palette.
    GifFrameSpec f1{.width = kGifWidth, .height = kGifHeight, .delayCs = 10, .transparent = 3};
    f1.index = GifFrame1Index;
    GifFrameSpec f2{.left = 2,
                    .top = 1,
                    .width = 4,
                    .height = 3,
                    .delayCs = 25,
                    .disposal = 2,
                    .transparent = 3};
    f2.index = [](int x, int y) { return x == 1 && y == 1 ? 3 : 1; };
    GifFrameSpec f3{.left = 5, .top = 3, .width = 3, .height = 3, .delayCs = 50};
    f3.localMap = {kYellow, kMagenta};
    f3.index = [](int x, int y) { return (x + y) % 2; };
    add("anim.gif", WriteGif(kGifWidth, kGifHeight, GifColours(), {f1, f2, f3}));

    // Disposal "previous": the blue square of frame 2 is gone again in frame 3.
    GifFrameSpec p1{.width = kGifWidth, .height = kGifHeight, .delayCs = 5};
    p1.index = [](int, int) { return 0; };
    GifFrameSpec p2{.left = 1, .top = 1, .width = 2, .height = 2, .delayCs = 7, .disposal = 3};
    p2.index = [](int, int) { return 2; };
    GifFrameSpec p3{.left = 4, .top = 4, .width = 1, .height = 1};
    p3.index = [](int, int) { return 1; };
    add("anim_previous.gif", WriteGif(kGifWidth, kGifHeight, GifColours(), {p1, p2, p3}));

    GifFrameSpec interlaced{
        .width = kInterlacedWidth, .height = kInterlacedHeight, .disposal = 0, .interlace = true};
    interlaced.index = InterlacedIndex;
    add("interlaced.gif",
        WriteGif(kInterlacedWidth, kInterlacedHeight, GifColours(), {interlaced}));
    return out;
}

}  // namespace vm::testpics
