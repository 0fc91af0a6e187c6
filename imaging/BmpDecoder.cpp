// Windows bitmaps: the core (OS/2 1.x) header and the 40/52/56/64/108/124-byte info headers;
// 1, 4 and 8 bits through a palette, 16 and 32 bits through channel masks, 24 bits BGR;
// BI_RLE8 and BI_RLE4. Pixels an RLE bitmap skips stay transparent.

#include <algorithm>
#include <bit>
#include <optional>

#include "imaging/DecodeSupport.h"
#include "imaging/ImageDecoder.h"

namespace vm {

using namespace imaging_detail;

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3,
                        kBiAlphaBitfields = 6;

// One colour channel given by its mask, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        bits = std::bit_width(mask >> shift);
    }
    std::uint32_t Get(std::uint32_t pixel, std::uint32_t absent) const {
        if (bits == 0) return absent;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return v >> (bits - 8);
        return v * 255 / ((1u << bits) - 1);
    }
};

struct BmpHeader {
    std::uint32_t dataOffset = 0;
    std::uint32_t headerSize = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t coloursUsed = 0;
    std::uint32_t masks[4] = {};  // red, green, blue, alpha
    bool alphaFromFile = false;   // the alpha channel comes from the pixels
    std::size_t paletteOffset = 0;
    std::size_t paletteEntrySize = 4;
};

std::optional<DecodeResult> ParseHeader(Bytes b, BmpHeader& h) {
    if (b.size() < kFileHeaderSize + 4) return Fail(ImageError::Truncated, "BMP header cut");
    h.dataOffset = Le32(b, 10);
    h.headerSize = Le32(b, 14);
    const bool core = h.headerSize == 12;
    if (!core && (h.headerSize < 16 || h.headerSize > 124))
        return Fail(ImageError::UnknownFormat, "BMP header size " + std::to_string(h.headerSize));
    if (b.size() < kFileHeaderSize + h.headerSize)
        return Fail(ImageError::Truncated, "BMP header cut");

    std::int64_t width = 0, height = 0;
    if (core) {
        width = Le16(b, 18);
        height = Le16(b, 20);
        h.bitsPerPixel = Le16(b, 24);
        h.paletteEntrySize = 3;
    } else {
        width = static_cast<std::int32_t>(Le32(b, 18));
        height = static_cast<std::int32_t>(Le32(b, 22));
        h.bitsPerPixel = Le16(b, 28);
        if (h.headerSize >= 20) h.compression = Le32(b, 30);
        if (h.headerSize >= 36) h.coloursUsed = Le32(b, 46);
    }
    if (height < 0) {
        h.topDown = true;
        height = -height;
    }
    if (width <= 0 || height == 0) return Fail(ImageError::Corrupt, "BMP of zero size");
    if (!FitsImageLimits(width, height)) return TooLarge(width, height);
    h.width = static_cast<std::uint32_t>(width);
    h.height = static_cast<std::uint32_t>(height);

    // OS/2 2.x (64 bytes) numbers its compressions differently beyond RLE.
    if (h.headerSize == 64 && h.compression > kBiRle4)
        return Fail(ImageError::UnknownFormat, "OS/2 BMP compression");

    const int bpp = h.bitsPerPixel;
    bool valid = false;
    switch (h.compression) {
        case kBiRgb:
            valid = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
            break;
        case kBiRle8:
            valid = bpp == 8;
            break;
        case kBiRle4:
            valid = bpp == 4;
            break;
        case kBiBitfields:
        case kBiAlphaBitfields:
            valid = bpp == 16 || bpp == 32;
            break;
        default:
            return Fail(ImageError::UnknownFormat,
                        "BMP compression " + std::to_string(h.compression));
    }
    if (!valid) return Fail(ImageError::Corrupt, "BMP depth " + std::to_string(bpp));

    h.paletteOffset = kFileHeaderSize + h.headerSize;
    if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
        const int count = h.compression == kBiAlphaBitfields ? 4 : 3;
        std::size_t at = kFileHeaderSize + std::min<std::uint32_t>(h.headerSize, 40);
        if (h.headerSize < 52) {
            // Masks follow a 40-byte header instead of being part of it.
            h.paletteOffset += 4 * count;
        } else if (h.headerSize < 56 && count == 4) {
            return Fail(ImageError::Corrupt, "BMP alpha mask missing");
        }
        if (b.size() < at + 4 * count) return Fail(ImageError::Truncated, "BMP masks cut");
        for (int i = 0; i < count; ++i, at += 4) h.masks[i] = Le32(b, at);
        if (count == 3 && h.headerSize >= 56) h.masks[3] = Le32(b, kFileHeaderSize + 52);
        h.alphaFromFile = h.masks[3] != 0;
    } else if (bpp == 16) {
        h.masks[0] = 0x7C00;
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (bpp == 32) {
        h.masks[0] = 0x00FF0000;
        h.masks[1] = 0x0000FF00;
        h.masks[2] = 0x000000FF;
        h.masks[3] = 0xFF000000;  // reserved byte; often alpha, often zero
        h.alphaFromFile = true;
    }
    if (h.dataOffset >= b.size()) return Fail(ImageError::Truncated, "BMP pixel data missing");
    return std::nullopt;
}

std::vector<std::uint32_t> ReadPalette(Bytes b, const BmpHeader& h) {
    std::vector<std::uint32_t> palette;
    if (h.bitsPerPixel > 8) return palette;
    std::size_t count = h.coloursUsed ? std::min<std::uint32_t>(h.coloursUsed, 256)
                                      : std::size_t{1} << h.bitsPerPixel;
    // Only what lies between the header and the pixels; missing entries show black.
    const std::size_t end = std::min<std::size_t>(h.dataOffset, b.size());
    if (end <= h.paletteOffset) return palette;
    count = std::min(count, (end - h.paletteOffset) / h.paletteEntrySize);
    palette.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = h.paletteOffset + i * h.paletteEntrySize;
        palette.push_back(Argb(255, b[at + 2], b[at + 1], b[at]));
    }
    return palette;
}

std::uint32_t PaletteColour(const std::vector<std::uint32_t>& palette, std::uint32_t index) {
    return index < palette.size() ? palette[index] : kOpaqueBlack;
}

DecodeResult DecodeUncompressed(Bytes b, const BmpHeader& h,
                                const std::vector<std::uint32_t>& palette) {
    const std::uint64_t bpp = static_cast<std::uint64_t>(h.bitsPerPixel);
    const std::uint64_t rowBytes = (h.width * bpp + 7) / 8;
    const std::uint64_t stride = (h.width * bpp + 31) / 32 * 4;
    // The last row's padding is often left out; the pixels themselves must all be there.
    if (h.dataOffset + stride * (h.height - 1) + rowBytes > b.size())
        return Fail(ImageError::Truncated, "BMP pixel data cut");

    const Channel channels[4] = {Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2]),
                                 Channel(h.masks[3])};
    Image image = MakeImage(h.width, h.height);
    std::uint32_t* pixels = image.frames[0].pixels.data();
    for (std::uint32_t row = 0; row < h.height; ++row) {
        const std::uint8_t* src = b.data() + h.dataOffset + stride * row;
        const std::uint32_t y = h.topDown ? row : h.height - 1 - row;
        std::uint32_t* dst = pixels + static_cast<std::size_t>(y) * h.width;
        for (std::uint32_t x = 0; x < h.width; ++x) {
            std::uint32_t value = 0;
            switch (h.bitsPerPixel) {
                case 1:
                    dst[x] = PaletteColour(palette, (src[x / 8] >> (7 - x % 8)) & 1);
                    continue;
                case 4:
                    dst[x] = PaletteColour(palette, (src[x / 2] >> (x % 2 ? 0 : 4)) & 0xF);
                    continue;
                case 8:
                    dst[x] = PaletteColour(palette, src[x]);
                    continue;
                case 24:
                    dst[x] = Argb(255, src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
                    continue;
                case 16:
                    value = static_cast<std::uint32_t>(src[x * 2] | (src[x * 2 + 1] << 8));
                    break;
                default:  // 32
                    value = Le32(Bytes(src + x * 4, 4), 0);
                    break;
            }
            dst[x] = Argb(channels[3].Get(value, 255), channels[0].Get(value, 0),
                          channels[1].Get(value, 0), channels[2].Get(value, 0));
        }
    }
    if (h.alphaFromFile) OpaqueIfAllTransparent(image.frames[0].pixels);
    return Succeed(std::move(image));
}

DecodeResult DecodeRle(Bytes b, const BmpHeader& h, const std::vector<std::uint32_t>& palette) {
    const bool rle8 = h.compression == kBiRle8;
    Image image = MakeImage(h.width, h.height);
    std::uint32_t* pixels = image.frames[0].pixels.data();
    const std::uint64_t width = h.width, height = h.height;
    std::uint64_t x = 0, y = 0;  // y counts stored rows, bottom first unless top-down
    auto put = [&](std::uint32_t index) {
        if (x < width) {
            const std::uint64_t row = h.topDown ? y : height - 1 - y;
            pixels[row * width + x] = PaletteColour(palette, index);
        }
        ++x;
    };

    std::size_t pos = h.dataOffset;
    while (y < height) {
        if (pos + 2 > b.size()) return Fail(ImageError::Truncated, "BMP RLE data cut");
        const std::uint32_t count = b[pos], value = b[pos + 1];
        pos += 2;
        if (count > 0) {
            for (std::uint32_t i = 0; i < count && x < width; ++i)
                put(rle8 ? value : (i % 2 ? value & 0xF : value >> 4));
            continue;  // pixels past the right edge are dropped
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move right and up
            if (pos + 2 > b.size()) return Fail(ImageError::Truncated, "BMP RLE data cut");
            x += b[pos];
            y += b[pos + 1];
            pos += 2;
        } else {  // a literal run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = rle8 ? value : (value + 1) / 2;
            if (pos + bytes > b.size()) return Fail(ImageError::Truncated, "BMP RLE data cut");
            for (std::uint32_t i = 0; i < value && x < width; ++i)
                put(rle8 ? b[pos + i] : (i % 2 ? b[pos + i / 2] & 0xF : b[pos + i / 2] >> 4));
            pos += bytes + (bytes & 1);
        }
    }
    return Succeed(std::move(image));
}

}  // namespace

DecodeResult DecodeBmp(Bytes bytes) {
    BmpHeader header;
    if (auto failed = ParseHeader(bytes, header)) return std::move(*failed);
    const auto palette = ReadPalette(bytes, header);
    if (header.compression == kBiRle8 || header.compression == kBiRle4)
        return DecodeRle(bytes, header, palette);
    return DecodeUncompressed(bytes, header, palette);
}

}  // namespace vm
