// GIF through giflib's record-level reader, so that every size is checked before we allocate
// (its all-in-one DGifSlurp allocates whatever a header claims). The canvas starts
// transparent; disposal "background" clears to transparent as browsers do, since the
// background colour index is widely written wrong.

#include <gif_lib.h>

#include <algorithm>
#include <memory>

#include "imaging/DecodeSupport.h"
#include "imaging/ImageDecoder.h"

namespace vm {

using namespace imaging_detail;

namespace {

struct MemoryInput {
    Bytes bytes;
    std::size_t pos = 0;
};

int ReadInput(GifFileType* gif, GifByteType* out, int wanted) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t n =
        std::min(static_cast<std::size_t>(std::max(wanted, 0)), in->bytes.size() - in->pos);
    std::copy_n(in->bytes.data() + in->pos, n, out);
    in->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

ImageError ErrorKind(int code) {
    return code == D_GIF_ERR_READ_FAILED || code == D_GIF_ERR_EOF_TOO_SOON ? ImageError::Truncated
                                                                           : ImageError::Corrupt;
}

DecodeResult GifFail(int code) {
    const char* text = GifErrorString(code);
    return Fail(ErrorKind(code), text ? text : "GIF error " + std::to_string(code));
}

// What the graphic control extension says about the next image.
struct FrameControl {
    int disposal = DISPOSE_DO_NOT;
    int transparent = NO_TRANSPARENT_COLOR;
    int delayCs = 0;
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;  // clipped to the canvas
};

// Builds each frame from the one before it, so the frames themselves are the only full-size
// buffers (plus one saved canvas while an image asks to be undone afterwards).
class Compositor {
  public:
    Compositor(int width, int height) : width_(width), height_(height) {}

    // The canvas for the next image: the last frame with that frame's disposal applied.
    std::vector<std::uint32_t> NextCanvas(const std::vector<Image::Frame>& frames) {
        if (frames.empty())
            return std::vector<std::uint32_t>(static_cast<std::size_t>(width_) * height_, 0);
        if (disposal_ == DISPOSE_PREVIOUS) return std::move(saved_);
        std::vector<std::uint32_t> canvas = frames.back().pixels;
        if (disposal_ == DISPOSE_BACKGROUND) {
            for (int y = last_.top; y < last_.bottom; ++y)
                std::fill_n(canvas.data() + static_cast<std::size_t>(y) * width_ + last_.left,
                            last_.right - last_.left, 0u);
        }
        return canvas;
    }

    // Draws one decoded image (indices, row by row in display order) onto canvas.
    void Draw(std::vector<std::uint32_t>& canvas, const GifImageDesc& desc,
              const std::vector<GifPixelType>& indices, const ColorMapObject* map,
              const FrameControl& control) {
        const Rect r{std::clamp(desc.Left, 0, width_), std::clamp(desc.Top, 0, height_),
                     std::clamp(desc.Left + desc.Width, 0, width_),
                     std::clamp(desc.Top + desc.Height, 0, height_)};
        if (control.disposal == DISPOSE_PREVIOUS) saved_ = canvas;
        for (int y = r.top; y < r.bottom; ++y) {
            const GifPixelType* src =
                indices.data() + static_cast<std::size_t>(y - desc.Top) * desc.Width;
            std::uint32_t* dst = canvas.data() + static_cast<std::size_t>(y) * width_;
            for (int x = r.left; x < r.right; ++x) {
                const int index = src[x - desc.Left];
                if (index == control.transparent) continue;
                dst[x] = Colour(map, index);
            }
        }
        disposal_ = control.disposal;
        last_ = r;
    }

  private:
    static std::uint32_t Colour(const ColorMapObject* map, int index) {
        // An index past the palette (or no palette at all) shows black, not garbage.
        if (!map || index >= map->ColorCount) return kOpaqueBlack;
        const GifColorType& c = map->Colors[index];
        return Argb(255, c.Red, c.Green, c.Blue);
    }

    int width_;
    int height_;
    int disposal_ = DISPOSE_DO_NOT;  // of the last image drawn
    Rect last_;
    std::vector<std::uint32_t> saved_;  // canvas before the last image, when it is to be undone
};

// Reads one image's indices into display order (undoing interlacing).
int ReadIndices(GifFileType* gif, std::vector<GifPixelType>& indices) {
    const GifImageDesc& desc = gif->Image;
    const std::size_t width = static_cast<std::size_t>(desc.Width);
    indices.resize(width * static_cast<std::size_t>(desc.Height));
    auto readRow = [&](int y) {
        return DGifGetLine(gif, indices.data() + static_cast<std::size_t>(y) * width, desc.Width);
    };
    if (desc.Interlace) {
        static constexpr int kStart[] = {0, 4, 2, 1};
        static constexpr int kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kStart[pass]; y < desc.Height; y += kStep[pass])
                if (readRow(y) == GIF_ERROR) return GIF_ERROR;
    } else {
        for (int y = 0; y < desc.Height; ++y)
            if (readRow(y) == GIF_ERROR) return GIF_ERROR;
    }
    return GIF_OK;
}

int SkipExtensionBlocks(GifFileType* gif, GifByteType* block) {
    while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return GIF_ERROR;
    return GIF_OK;
}

}  // namespace

DecodeResult DecodeGif(Bytes bytes) {
    MemoryInput input{bytes};
    int openError = 0;
    GifHandle gif(DGifOpen(&input, ReadInput, &openError));
    if (!gif) return GifFail(openError);

    Image image;
    std::unique_ptr<Compositor> compositor;
    std::uint64_t usedBytes = 0;
    std::vector<GifPixelType> indices;
    FrameControl control;

    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        // A file cut between frames fails too: showing part of an animation as if it were
        // all of it would hide the damage.
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return GifFail(gif->Error);
        if (type == TERMINATE_RECORD_TYPE) break;

        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return GifFail(gif->Error);
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock gcb{};
                if (DGifExtensionToGCB(4, block + 1, &gcb) == GIF_OK) {
                    control.disposal = gcb.DisposalMode;
                    control.transparent = gcb.TransparentColor;
                    control.delayCs = gcb.DelayTime;
                }
            }
            if (SkipExtensionBlocks(gif.get(), block) == GIF_ERROR) return GifFail(gif->Error);
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return GifFail(D_GIF_ERR_WRONG_RECORD);

        if (DGifGetImageHeader(gif.get()) == GIF_ERROR) return GifFail(gif->Error);
        const GifImageDesc& desc = gif->Image;
        if (desc.Width <= 0 || desc.Height <= 0)
            return Fail(ImageError::Corrupt, "GIF image of zero size");
        // The image's own indices are a buffer too; refuse absurd ones before decoding.
        if (!FitsImageLimits(desc.Width, desc.Height)) return TooLarge(desc.Width, desc.Height);

        if (!compositor) {
            // Some writers leave the screen size at zero; the first image then defines it.
            int width = gif->SWidth, height = gif->SHeight;
            if (width <= 0 || height <= 0) {
                width = desc.Left + desc.Width;
                height = desc.Top + desc.Height;
            }
            if (!FitsImageLimits(width, height)) return TooLarge(width, height);
            image.width = width;
            image.height = height;
            compositor = std::make_unique<Compositor>(width, height);
        }
        // Every frame keeps a whole canvas; all of them together stay within the limit.
        if (!FitsImageLimits(image.width, image.height, usedBytes))
            return Fail(ImageError::TooLarge, "animation frames exceed the memory limit");

        if (ReadIndices(gif.get(), indices) == GIF_ERROR) return GifFail(gif->Error);
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        Image::Frame frame;
        frame.pixels = compositor->NextCanvas(image.frames);
        frame.delayCs = control.delayCs;
        compositor->Draw(frame.pixels, desc, indices, map, control);
        image.frames.push_back(std::move(frame));
        usedBytes += static_cast<std::uint64_t>(image.width) * image.height * 4;
        control = FrameControl{};  // a control block applies to the next image only
    }

    if (image.frames.empty()) return Fail(ImageError::Corrupt, "GIF without images");
    return Succeed(std::move(image));
}

}  // namespace vm
