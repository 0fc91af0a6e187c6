#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vm {

// A decoded picture, owned by value; safe to hand to another thread once decoded.
//
// Pixels are 32-bit ARGB, NOT premultiplied, one std::uint32_t per pixel in native byte order
// (0xAARRGGBB), rows top to bottom with no padding. That is exactly QImage::Format_ARGB32, so
// the Qt side can wrap Frame::pixels with a stride of width * 4 and copy it.
//
// Every decoded picture has at least one frame; only an animated GIF has more. Each frame is
// the whole canvas as it is shown at that moment (earlier frames and their disposal applied).
struct Image {
    struct Frame {
        std::vector<std::uint32_t> pixels;  // width * height
        int delayCs = 0;                    // display time as stored, in 1/100 s; 0 when none

        // How long to show the frame. A stored delay of 0 or 1 means "as fast as you can",
        // which would spin a frame timer, so it plays as 100 ms like browsers do.
        [[nodiscard]] int DelayMs() const { return delayCs <= 1 ? 100 : delayCs * 10; }
    };

    int width = 0;
    int height = 0;
    std::vector<Frame> frames;

    // First (or only) frame.
    [[nodiscard]] const std::vector<std::uint32_t>& pixels() const { return frames.front().pixels; }
    [[nodiscard]] std::uint32_t Pixel(int x, int y, std::size_t frame = 0) const {
        return frames[frame].pixels[static_cast<std::size_t>(y) * width + x];
    }
};

}  // namespace vm
