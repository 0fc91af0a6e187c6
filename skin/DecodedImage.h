#pragma once

// The Qt side of the picture decoders: a decoded frame as a QImage.

#include <QImage>
#include <cstddef>

#include "imaging/Image.h"

namespace vm {

// A deep copy of frame `frame` (ARGB32, not premultiplied); null when there is no such frame
// or the pixel count does not match the size.
QImage ToQImage(const Image& image, std::size_t frame = 0);

}  // namespace vm
