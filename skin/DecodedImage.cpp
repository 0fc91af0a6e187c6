#include "skin/DecodedImage.h"

namespace vm {

QImage ToQImage(const Image& image, std::size_t frame) {
    if (frame >= image.frames.size() || image.width <= 0 || image.height <= 0) return {};
    const auto& pixels = image.frames[frame].pixels;
    if (pixels.size() != static_cast<std::size_t>(image.width) * image.height) return {};
    const QImage view(reinterpret_cast<const uchar*>(pixels.data()), image.width, image.height,
                      image.width * 4, QImage::Format_ARGB32);
    return view.copy();  // the view borrows the frame's pixels
}

}  // namespace vm
