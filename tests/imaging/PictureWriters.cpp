#include "PictureWriters.h"

#include <gif_lib.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace vm::testpics {

namespace {

void Put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
void PutByte(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
}

// Greedy run-length split of one sequence: runs of at least two, literals in between.
struct Packet {
    bool run;
    std::size_t start, length;
};
std::vector<Packet> SplitRuns(const std::vector<std::uint32_t>& v, std::size_t maxLength) {
    std::vector<Packet> out;
    std::size_t i = 0;
    while (i < v.size()) {
        std::size_t r = 1;
        while (i + r < v.size() && r < maxLength && v[i + r] == v[i]) ++r;
        if (r >= 2) {
            out.push_back({true, i, r});
            i += r;
            continue;
        }
        std::size_t start = i;
        while (i < v.size() && i - start < maxLength && !(i + 1 < v.size() && v[i + 1] == v[i]))
            ++i;
        if (i == start) ++i;
        out.push_back({false, start, i - start});
    }
    return out;
}

void WriteRleRow(std::string& s, const std::vector<std::uint32_t>& row, bool rle8) {
    for (const Packet& p : SplitRuns(row, 255)) {
        if (p.run) {
            PutByte(s, p.length);
            PutByte(s, rle8 ? row[p.start] : (row[p.start] << 4) | row[p.start]);
        } else if (p.length < 3) {  // absolute mode needs three or more pixels
            for (std::size_t k = 0; k < p.length; ++k) {
                PutByte(s, 1);
                PutByte(s, rle8 ? row[p.start + k] : row[p.start + k] << 4);
            }
        } else {
            PutByte(s, 0);
            PutByte(s, p.length);
            std::string data;
            for (std::size_t k = 0; k < p.length; ++k) {
                if (rle8)
                    PutByte(data, row[p.start + k]);
                else if (k % 2 == 0)
                    PutByte(data, row[p.start + k] << 4);
                else
                    data.back() = static_cast<char>(data.back() | row[p.start + k]);
            }
            if (data.size() % 2) data += '\0';
            s += data;
        }
    }
}

}  // namespace

std::string WriteBmp(const BmpLayout& layout, const PixelFn& pixel) {
    const int bpp = layout.bitsPerPixel;
    const bool core = layout.headerSize == 12;
    const bool rle = layout.compression == 1 || layout.compression == 2;
    const std::size_t entry = core ? 3 : 4;

    std::string header;  // info header, masks, palette
    Put32(header, layout.headerSize);
    if (core) {
        Put16(header, layout.width);
        Put16(header, layout.height);
        Put16(header, 1);
        Put16(header, bpp);
    } else {
        Put32(header, layout.width);
        Put32(header, layout.topDown ? -layout.height : layout.height);
        Put16(header, 1);
        Put16(header, bpp);
        Put32(header, layout.compression);
        Put32(header, 0);  // image size
        Put32(header, 2835);
        Put32(header, 2835);
        Put32(header, static_cast<std::uint32_t>(layout.palette.size()));
        Put32(header, 0);
        if (layout.headerSize >= 52) {
            for (std::uint32_t m : layout.masks) Put32(header, m);
            header.resize(layout.headerSize, '\0');  // colour space fields left zero
        } else if (layout.compression == 3) {
            for (int i = 0; i < 3; ++i) Put32(header, layout.masks[i]);
        }
    }
    for (std::uint32_t c : layout.palette) {
        PutByte(header, c);
        PutByte(header, c >> 8);
        PutByte(header, c >> 16);
        if (entry == 4) PutByte(header, 0);
    }

    std::string data;
    for (int row = 0; row < layout.height; ++row) {
        const int y = layout.topDown ? row : layout.height - 1 - row;
        std::vector<std::uint32_t> values;
        for (int x = 0; x < layout.width; ++x) values.push_back(pixel(x, y));
        if (rle) {
            WriteRleRow(data, values, layout.compression == 1);
            PutByte(data, 0);
            PutByte(data, row + 1 == layout.height ? 1 : 0);  // end of bitmap / end of line
            continue;
        }
        std::string line;
        std::uint32_t acc = 0;
        int bits = 0;
        for (std::uint32_t v : values) {
            if (bpp <= 8) {
                acc = (acc << bpp) | v;
                bits += bpp;
                if (bits == 8) {
                    PutByte(line, acc);
                    acc = 0;
                    bits = 0;
                }
            } else if (bpp == 16) {
                Put16(line, v);
            } else if (bpp == 24) {
                PutByte(line, v);
                PutByte(line, v >> 8);
                PutByte(line, v >> 16);
            } else {
                Put32(line, v);
            }
        }
        if (bits) PutByte(line, acc << (8 - bits));
        while (line.size() % 4) line += '\0';
        data += line;
    }

    std::string file = "BM";
    const std::uint32_t offset = 14 + static_cast<std::uint32_t>(header.size());
    Put32(file, offset + static_cast<std::uint32_t>(data.size()));
    Put32(file, 0);
    Put32(file, offset);
    return file + header + data;
}

std::string WriteTga(const TgaLayout& layout, const PixelFn& pixel) {
    const bool mapped = (layout.imageType & 7) == 1;
    std::string s;
    PutByte(s, layout.id.size());
    PutByte(s, layout.map.empty() ? 0 : 1);
    PutByte(s, layout.imageType);
    Put16(s, 0);
    Put16(s, layout.map.size());
    PutByte(s, layout.map.empty() ? 0 : 24);
    Put16(s, 0);
    Put16(s, 0);
    Put16(s, layout.width);
    Put16(s, layout.height);
    PutByte(s, layout.depth);
    PutByte(s, (layout.depth == 32 ? 8 : 0) | (layout.topOrigin ? 0x20 : 0) |
                   (layout.rightOrigin ? 0x10 : 0));
    s += layout.id;
    for (std::uint32_t c : layout.map) {
        PutByte(s, c);
        PutByte(s, c >> 8);
        PutByte(s, c >> 16);
    }

    std::vector<std::uint32_t> stream;
    for (int r = 0; r < layout.height; ++r)
        for (int c = 0; c < layout.width; ++c) {
            const int y = layout.topOrigin ? r : layout.height - 1 - r;
            const int x = layout.rightOrigin ? layout.width - 1 - c : c;
            stream.push_back(pixel(x, y));
        }
    auto putPixel = [&](std::uint32_t v) {
        if (mapped) {
            PutByte(s, v);
        } else if (layout.depth == 16) {
            Put16(s, ((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31));
        } else {
            PutByte(s, v);
            PutByte(s, v >> 8);
            PutByte(s, v >> 16);
            if (layout.depth == 32) PutByte(s, v >> 24);
        }
    };
    if (layout.imageType & 8) {
        // One pass over the whole picture, so packets run across rows.
        for (const Packet& p : SplitRuns(stream, 128)) {
            PutByte(s, (p.run ? 0x80 : 0) | (p.length - 1));
            for (std::size_t k = 0; k < (p.run ? 1 : p.length); ++k) putPixel(stream[p.start + k]);
        }
    } else {
        for (std::uint32_t v : stream) putPixel(v);
    }
    return s;
}

namespace {

int GifOut(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

struct MapDeleter {
    void operator()(ColorMapObject* m) const { GifFreeMapObject(m); }
};

std::unique_ptr<ColorMapObject, MapDeleter> MakeMap(const std::vector<std::uint32_t>& colours) {
    int size = 2;
    while (size < static_cast<int>(colours.size())) size *= 2;
    std::vector<GifColorType> entries(size, GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < colours.size(); ++i)
        entries[i] = GifColorType{static_cast<GifByteType>(colours[i] >> 16),
                                  static_cast<GifByteType>(colours[i] >> 8),
                                  static_cast<GifByteType>(colours[i])};
    return std::unique_ptr<ColorMapObject, MapDeleter>(GifMakeMapObject(size, entries.data()));
}

void Check(int rc, const char* what) {
    if (rc == GIF_ERROR) throw std::runtime_error(what);
}

}  // namespace

std::string WriteGif(int width, int height, const std::vector<std::uint32_t>& globalMap,
                     const std::vector<GifFrameSpec>& frames) {
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifOut, &error);
    if (!gif) throw std::runtime_error("EGifOpen");
    EGifSetGifVersion(gif, true);
    auto global = MakeMap(globalMap);
    Check(EGifPutScreenDesc(gif, width, height, 8, 0, global.get()), "screen");
    for (const GifFrameSpec& f : frames) {
        GraphicsControlBlock gcb{f.disposal, false, f.delayCs, f.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        Check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext), "gce");
        auto local = f.localMap.empty() ? nullptr : MakeMap(f.localMap);
        Check(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlace, local.get()),
              "image");
        std::vector<int> order;
        if (f.interlace) {
            static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = kStart[pass]; y < f.height; y += kStep[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < f.height; ++y) order.push_back(y);
        }
        std::vector<GifPixelType> line(f.width);
        for (int y : order) {
            for (int x = 0; x < f.width; ++x) line[x] = static_cast<GifPixelType>(f.index(x, y));
            Check(EGifPutLine(gif, line.data(), f.width), "line");
        }
    }
    Check(EGifCloseFile(gif, &error), "close");
    return out;
}

std::string WriteJpeg(int width, int height, JpegKind kind, const PixelFn& pixel) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    const bool grey = kind == JpegKind::GreyProgressive;
    const bool cmyk = kind == JpegKind::Cmyk;
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    for (int i = 0; i < cinfo.num_components; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;  // no chroma subsampling
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    if (grey) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (grey) {
                row[x] = static_cast<JSAMPLE>(v & 0xFF);
            } else if (cmyk) {  // inverted: C, M, Y carry R, G, B; K 255 means no black
                row[x * 4] = static_cast<JSAMPLE>(v >> 16);
                row[x * 4 + 1] = static_cast<JSAMPLE>(v >> 8);
                row[x * 4 + 2] = static_cast<JSAMPLE>(v);
                row[x * 4 + 3] = 255;
            } else {
                row[x * 3] = static_cast<JSAMPLE>(v >> 16);
                row[x * 3 + 1] = static_cast<JSAMPLE>(v >> 8);
                row[x * 3 + 2] = static_cast<JSAMPLE>(v);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

}  // namespace vm::testpics
