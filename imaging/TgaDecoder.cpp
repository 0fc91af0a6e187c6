// Truevision TGA: colour-mapped (8 or 16-bit indices into a 15/16/24/32-bit map), true-colour
// (15/16/24/32 bits) and grey (8 bits, or 16 with alpha), each uncompressed or RLE, with
// either vertical and horizontal origin. RLE packets may run across rows. 15/16-bit pixels
// are shown opaque: their attribute bit is unreliable in the files that exist.

#include <algorithm>

#include "imaging/DecodeSupport.h"
#include "imaging/ImageDecoder.h"

namespace vm {

using namespace imaging_detail;

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr int kColourMapped = 1, kTrueColour = 2, kGrey = 3, kRleFlag = 8;

struct TgaHeader {
    std::uint32_t idLength = 0;
    std::uint32_t colourMapType = 0;
    std::uint32_t imageType = 0;
    std::uint32_t mapFirst = 0;
    std::uint32_t mapLength = 0;
    std::uint32_t mapEntryBits = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0;
    std::uint32_t descriptor = 0;

    int baseType() const { return static_cast<int>(imageType & ~kRleFlag); }
    bool rle() const { return imageType & kRleFlag; }
    bool topOrigin() const { return descriptor & 0x20; }
    bool rightOrigin() const { return descriptor & 0x10; }
};

TgaHeader ReadHeader(Bytes b) {
    TgaHeader h;
    h.idLength = b[0];
    h.colourMapType = b[1];
    h.imageType = b[2];
    h.mapFirst = Le16(b, 3);
    h.mapLength = Le16(b, 5);
    h.mapEntryBits = b[7];
    h.width = Le16(b, 12);
    h.height = Le16(b, 14);
    h.depth = b[16];
    h.descriptor = b[17];
    return h;
}

bool IsColourDepth(std::uint32_t bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// TGA has no signature, so the header must be consistent in every field we can check.
bool Plausible(const TgaHeader& h) {
    if (h.colourMapType > 1 || (h.imageType & ~(kRleFlag | 3u)) != 0 || h.baseType() == 0)
        return false;
    if (h.colourMapType == 1 && !IsColourDepth(h.mapEntryBits)) return false;
    if ((h.descriptor & 0xC0) != 0 || h.width == 0 || h.height == 0) return false;
    switch (h.baseType()) {
        case kColourMapped:
            return h.colourMapType == 1 && (h.depth == 8 || h.depth == 16);
        case kTrueColour:
            return IsColourDepth(h.depth);
        default:  // grey
            return h.depth == 8 || h.depth == 16;
    }
}

std::uint32_t Expand5(std::uint32_t v) {
    return (v << 3) | (v >> 2);
}

// One stored colour of `bits` bits (map entry or true-colour pixel) as ARGB.
std::uint32_t ColourValue(const std::uint8_t* p, std::uint32_t bits) {
    switch (bits) {
        case 15:
        case 16: {
            const std::uint32_t v = p[0] | (p[1] << 8);
            return Argb(255, Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
        }
        case 24:
            return Argb(255, p[2], p[1], p[0]);
        default:
            return Argb(p[3], p[2], p[1], p[0]);
    }
}

class PixelReader {
  public:
    PixelReader(const TgaHeader& h, std::vector<std::uint32_t> map) : h_(h), map_(std::move(map)) {}

    std::size_t bytesPerPixel() const { return (h_.depth + 7) / 8; }

    std::uint32_t Read(const std::uint8_t* p) const {
        switch (h_.baseType()) {
            case kColourMapped: {
                const std::uint32_t index = h_.depth == 8 ? p[0] : (p[0] | (p[1] << 8));
                if (index < h_.mapFirst || index - h_.mapFirst >= map_.size()) return kOpaqueBlack;
                return map_[index - h_.mapFirst];
            }
            case kTrueColour:
                return ColourValue(p, h_.depth);
            default:
                return Argb(h_.depth == 16 ? p[1] : 255, p[0], p[0], p[0]);
        }
    }

  private:
    const TgaHeader& h_;
    std::vector<std::uint32_t> map_;
};

}  // namespace

bool LooksLikeTga(Bytes bytes) {
    return bytes.size() >= kHeaderSize && Plausible(ReadHeader(bytes));
}

DecodeResult DecodeTga(Bytes b) {
    if (!LooksLikeTga(b)) {
        return Fail(b.size() < kHeaderSize ? ImageError::Truncated : ImageError::UnknownFormat,
                    "not a TGA header");
    }
    const TgaHeader h = ReadHeader(b);
    if (!FitsImageLimits(h.width, h.height)) return TooLarge(h.width, h.height);

    std::size_t pos = kHeaderSize + h.idLength;
    std::vector<std::uint32_t> map;
    if (h.colourMapType == 1) {
        const std::size_t entryBytes = (h.mapEntryBits + 7) / 8;
        if (pos + h.mapLength * entryBytes > b.size())
            return Fail(ImageError::Truncated, "TGA colour map cut");
        // Only a colour-mapped picture uses it; the others merely skip over it.
        if (h.baseType() == kColourMapped) {
            map.reserve(h.mapLength);
            for (std::uint32_t i = 0; i < h.mapLength; ++i)
                map.push_back(ColourValue(b.data() + pos + i * entryBytes, h.mapEntryBits));
        }
        pos += h.mapLength * entryBytes;
    }
    const PixelReader reader(h, std::move(map));
    const std::size_t bpp = reader.bytesPerPixel();

    const std::size_t total = static_cast<std::size_t>(h.width) * h.height;
    // The least data that can fill the picture (an RLE packet covers at most 128 pixels);
    // a header on a short file is refused before its canvas is allocated.
    const std::size_t least = h.rle() ? (total + 127) / 128 * (1 + bpp) : total * bpp;
    if (pos + least > b.size()) return Fail(ImageError::Truncated, "TGA pixels cut");

    Image image = MakeImage(h.width, h.height);
    std::uint32_t* pixels = image.frames[0].pixels.data();
    // Pixels arrive row by row from the origin corner; place the i-th one.
    auto place = [&](std::size_t i, std::uint32_t colour) {
        const std::size_t row = i / h.width, col = i % h.width;
        const std::size_t y = h.topOrigin() ? row : h.height - 1 - row;
        const std::size_t x = h.rightOrigin() ? h.width - 1 - col : col;
        pixels[y * h.width + x] = colour;
    };

    if (!h.rle()) {
        for (std::size_t i = 0; i < total; ++i) place(i, reader.Read(b.data() + pos + i * bpp));
    } else {
        std::size_t i = 0;
        while (i < total) {
            if (pos >= b.size()) return Fail(ImageError::Truncated, "TGA RLE data cut");
            const std::uint8_t packet = b[pos++];
            const std::size_t count = std::min<std::size_t>((packet & 0x7F) + 1, total - i);
            const bool repeat = packet & 0x80;
            const std::size_t stored = repeat ? bpp : count * bpp;
            if (pos + stored > b.size()) return Fail(ImageError::Truncated, "TGA RLE data cut");
            for (std::size_t k = 0; k < count; ++k, ++i)
                place(i, reader.Read(b.data() + pos + (repeat ? 0 : k * bpp)));
            pos += stored;
        }
    }

    const bool alphaFromFile = (h.baseType() == kTrueColour && h.depth == 32) ||
                               (h.baseType() == kColourMapped && h.mapEntryBits == 32) ||
                               (h.baseType() == kGrey && h.depth == 16);
    if (alphaFromFile) OpaqueIfAllTransparent(image.frames[0].pixels);
    return Succeed(std::move(image));
}

}  // namespace vm
