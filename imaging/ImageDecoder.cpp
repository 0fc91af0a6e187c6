#include "imaging/ImageDecoder.h"

#include <new>
#include <stdexcept>
#include <system_error>

#include "imaging/DecodeSupport.h"
#include "platform/FileUtil.h"

namespace vm {

using imaging_detail::Fail;

std::string ImageErrorText(ImageError error) {
    switch (error) {
        case ImageError::None:
            return {};
        case ImageError::Unreadable:
            return "无法读取图片文件。";
        case ImageError::UnknownFormat:
            return "不支持的图片格式。";
        case ImageError::TooLarge:
            return "图片尺寸过大，无法显示。";
        case ImageError::Truncated:
            return "图片文件不完整。";
        case ImageError::Corrupt:
            return "图片文件已损坏。";
        case ImageError::OutOfMemory:
            return "内存不足，无法显示图片。";
    }
    return "图片文件已损坏。";
}

namespace {

// Headers, palettes and row padding on top of the largest allowed pixel data.
constexpr std::uint64_t kFileSlack = 1024 * 1024;

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view magic) {
    if (bytes.size() < magic.size()) return false;
    for (std::size_t i = 0; i < magic.size(); ++i)
        if (bytes[i] != static_cast<std::uint8_t>(magic[i])) return false;
    return true;
}

bool LooksLikeBmp(std::span<const std::uint8_t> bytes) {
    if (!StartsWith(bytes, "BM") || bytes.size() < 18) return false;
    const std::uint32_t headerSize = imaging_detail::Le32(bytes, 14);
    return headerSize == 12 || (headerSize >= 16 && headerSize <= 124);
}

}  // namespace

ImageFormat DetectImageFormat(std::span<const std::uint8_t> bytes) {
    if (StartsWith(bytes, "\xFF\xD8\xFF")) return ImageFormat::Jpeg;
    if (StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a")) return ImageFormat::Gif;
    if (LooksLikeBmp(bytes)) return ImageFormat::Bmp;
    if (LooksLikeTga(bytes)) return ImageFormat::Tga;
    return ImageFormat::Unknown;
}

DecodeResult DecodeImage(std::span<const std::uint8_t> bytes) {
    try {
        switch (DetectImageFormat(bytes)) {
            case ImageFormat::Jpeg:
                return DecodeJpeg(bytes);
            case ImageFormat::Gif:
                return DecodeGif(bytes);
            case ImageFormat::Bmp:
                return DecodeBmp(bytes);
            case ImageFormat::Tga:
                return DecodeTga(bytes);
            case ImageFormat::Unknown:
                break;
        }
        return Fail(ImageError::UnknownFormat, "no known picture signature");
    } catch (const std::bad_alloc&) {
        return Fail(ImageError::OutOfMemory, "allocation failed");
    } catch (const std::length_error&) {
        return Fail(ImageError::OutOfMemory, "allocation too large");
    }
}

DecodeResult DecodeImage(std::string_view bytes) {
    return DecodeImage(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

DecodeResult DecodeImageFile(const std::filesystem::path& path) {
    // No picture within the limits needs a file much bigger than its pixel buffer (an
    // uncompressed BMP is the worst case), so a bigger file is not read into memory at all.
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return Fail(ImageError::Unreadable, path.string() + ": " + ec.message());
    if (size > kMaxImageBytes + kFileSlack)
        return Fail(ImageError::TooLarge, path.string() + ": file too big");
    const auto bytes = platform::ReadWholeFile(path);
    if (!bytes) return Fail(ImageError::Unreadable, path.string() + ": cannot read");
    return DecodeImage(std::string_view(*bytes));
}

}  // namespace vm
