#pragma once

#include <string>

#include "imaging/Image.h"

namespace vm {

enum class ImageError {
    None,
    Unreadable,     // the file could not be opened or read
    UnknownFormat,  // not a JPEG, GIF, BMP or TGA we can read
    TooLarge,       // over the size limits; refused before allocating
    Truncated,      // data ends early
    Corrupt,        // data contradicts itself
    OutOfMemory,
};

// The user-facing text for an error, in the program's own words.
std::string ImageErrorText(ImageError error);

// Outcome of a decode: either an image with at least one frame, or an error.
struct DecodeResult {
    Image image;
    ImageError error = ImageError::None;
    std::string detail;  // technical reason (library text, offset); for logs and tests

    [[nodiscard]] bool ok() const { return error == ImageError::None; }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] std::string Message() const { return ImageErrorText(error); }
};

}  // namespace vm
