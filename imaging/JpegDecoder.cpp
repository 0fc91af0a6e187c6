// JPEG through libjpeg(-turbo). libjpeg reports fatal errors by calling error_exit, which must
// not return; we leave with longjmp back into RunDecode, whose frame holds nothing with a
// destructor. Everything with one (the image, the row buffer) lives in DecodeJpeg's frame.

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "imaging/DecodeSupport.h"
#include "imaging/ImageDecoder.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace vm {

using namespace imaging_detail;

namespace {

// A progressive file can carry thousands of tiny scans that take minutes to decode.
constexpr int kMaxScans = 500;
// Coefficient buffers of progressive files, on top of our own pixel buffer.
constexpr long kMaxLibraryMemory = 512l * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg hands us a pointer to it
    std::jmp_buf jump;
    ImageError error;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Abort(j_common_ptr cinfo, ImageError error) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->error = error;
    std::longjmp(err->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    // libjpeg refuses sizes over 65500 itself, before our own check sees the header.
    Abort(cinfo,
          cinfo->err->msg_code == JERR_IMAGE_TOO_BIG ? ImageError::TooLarge : ImageError::Corrupt);
}

void OnMessage(j_common_ptr cinfo, int level) {
    // At the end of the data libjpeg only warns and fills the rest with grey; a cut-off file
    // must fail instead. Other warnings (stray bytes before a marker) are common in files
    // that display fine, so they pass.
    if (level == -1 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        (*cinfo->err->format_message)(cinfo, err->message);
        Abort(cinfo, ImageError::Truncated);
    }
}

void OnProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxScans);
        Abort(cinfo, ImageError::Corrupt);
    }
}

// Owns libjpeg's state (freed even when a buffer allocation throws).
struct JpegJob {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    Image* image = nullptr;
    std::vector<std::uint8_t>* row = nullptr;  // CMYK rows only

    JpegJob() = default;
    JpegJob(const JpegJob&) = delete;
    JpegJob& operator=(const JpegJob&) = delete;
    ~JpegJob() { jpeg_destroy_decompress(&cinfo); }  // a no-op before jpeg_create_decompress
};

std::uint32_t CmykToArgb(const std::uint8_t* p, bool adobeInverted) {
    // Adobe writes CMYK inverted; plain CMYK is converted the usual way.
    std::uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
    if (!adobeInverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    return Argb(255, c * k / 255, m * k / 255, y * k / 255);
}

// Returns None or the error; job keeps libjpeg's state either way.
ImageError RunDecode(JpegJob& job, Bytes bytes) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    if (setjmp(job.err.jump)) return job.err.error;

    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    cinfo.progress = &job.progress;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);

    if (!FitsImageLimits(cinfo.image_width, cinfo.image_height)) {
        std::snprintf(job.err.message, sizeof job.err.message, "picture of %ux%u refused",
                      cinfo.image_width, cinfo.image_height);
        return ImageError::TooLarge;
    }

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // Four bytes per pixel in the order that makes a native 0xAARRGGBB word.
    cinfo.out_color_space =
        cmyk ? JCS_CMYK
             : (std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB);
    jpeg_start_decompress(&cinfo);

    const std::uint32_t width = cinfo.output_width;
    const std::uint32_t height = cinfo.output_height;
    if (!FitsImageLimits(width, height) || cinfo.output_components != 4) {
        std::snprintf(job.err.message, sizeof job.err.message, "unexpected output %ux%ux%d", width,
                      height, cinfo.output_components);
        return ImageError::Corrupt;
    }
    *job.image = MakeImage(width, height);
    std::uint32_t* pixels = job.image->frames[0].pixels.data();
    if (cmyk) job.row->resize(static_cast<std::size_t>(width) * 4);

    while (cinfo.output_scanline < height) {
        std::uint32_t* out = pixels + static_cast<std::size_t>(cinfo.output_scanline) * width;
        JSAMPROW target = cmyk ? job.row->data() : reinterpret_cast<JSAMPROW>(out);
        if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) {
            std::snprintf(job.err.message, sizeof job.err.message, "no data at line %u",
                          cinfo.output_scanline);
            return ImageError::Truncated;
        }
        if (cmyk) {
            for (std::uint32_t x = 0; x < width; ++x)
                out[x] = CmykToArgb(job.row->data() + x * 4, cinfo.saw_Adobe_marker);
        }
    }
    jpeg_finish_decompress(&cinfo);
    return ImageError::None;
}

}  // namespace

DecodeResult DecodeJpeg(Bytes bytes) {
    Image image;
    std::vector<std::uint8_t> row;
    JpegJob job;
    job.cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = OnError;
    job.err.pub.emit_message = OnMessage;
    job.progress.progress_monitor = OnProgress;
    job.image = &image;
    job.row = &row;

    const ImageError error = RunDecode(job, bytes);
    if (error != ImageError::None) return Fail(error, job.err.message);
    return Succeed(std::move(image));
}

}  // namespace vm
