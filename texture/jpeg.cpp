// JPEG decoding on libjpeg, the alpha sources, and the assembly of colour and mask into RGBA.
//
// libjpeg's own error manager would end the process on corrupt data without our message and
// only warn on a truncated file (then hand back grey rows); ours turns both into a fatal error
// that names the file. Every file is decoded as RGB, so grayscale files load too; libjpeg has no
// conversion from CMYK to RGB, so a CMYK file is refused by name.
#include "support/upcalls.h"
#include "texture/texture_local.h"

#include <jpeglib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Decoded images larger than this on a side are refused before any allocation: no texture of
// the show comes near it, and a forged header could otherwise ask for gigabytes.
constexpr int32_t JPEG_MAX_SIDE = 8192;

int32_t alphaDoubleSum(int32_t r, int32_t g, int32_t b)
{
    return std::min(255, 2 * (r + g + b));
}

int32_t alphaMean(int32_t r, int32_t g, int32_t b)
{
    return (r + g + b) / 3;
}

int32_t alphaGreyDistance(int32_t r, int32_t g, int32_t b)
{
    int32_t d = std::abs(128 - r) + std::abs(128 - g) + std::abs(128 - b);
    float q = d / 256.0f;
    return std::min(255, (int32_t)(q * q * 255.0f));
}

// --- Decoding ---

namespace {

struct JpegErrorManager {
    jpeg_error_mgr standard;
    jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

void onJpegError(j_common_ptr info)
{
    JpegErrorManager* manager = (JpegErrorManager*)info->err;
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->escape, 1);
}

// Warnings (level -1) mean damaged data: a truncated scan, a bad marker. Taking them as errors
// keeps a half-grey picture off the screen.
void onJpegMessage(j_common_ptr info, int level)
{
    if (level < 0)
        onJpegError(info);
}

// Decodes from an already set-up source. Returns null with the reason in error on failure.
uint8_t* decodeWith(jpeg_decompress_struct* cinfo, JpegErrorManager* errors, int32_t* width,
                    int32_t* height, char* error)
{
    uint8_t* volatile output = nullptr;
    if (setjmp(errors->escape)) {
        std::snprintf(error, 1024, "%s", errors->message);
        std::free(output);
        jpeg_destroy_decompress(cinfo);
        return nullptr;
    }
    jpeg_read_header(cinfo, TRUE);
    if (cinfo->image_width > (JDIMENSION)JPEG_MAX_SIDE ||
        cinfo->image_height > (JDIMENSION)JPEG_MAX_SIDE) {
        std::snprintf(error, 1024, "image of %ux%u is larger than %d on a side", cinfo->image_width,
                      cinfo->image_height, JPEG_MAX_SIDE);
        jpeg_destroy_decompress(cinfo);
        return nullptr;
    }
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    int32_t w = (int32_t)cinfo->output_width, h = (int32_t)cinfo->output_height;
    if (cinfo->output_components != 3) {
        std::snprintf(error, 1024, "cannot convert its colour space to RGB");
        jpeg_destroy_decompress(cinfo);
        return nullptr;
    }
    JSAMPARRAY row = (*cinfo->mem->alloc_sarray)((j_common_ptr)cinfo, JPOOL_IMAGE,
                                                 (JDIMENSION)(w * cinfo->output_components), 1);
    output = (uint8_t*)std::malloc((size_t)w * h * 3);
    while (cinfo->output_scanline < cinfo->output_height) {
        size_t y = cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, row, 1);
        std::memcpy(output + y * w * 3, row[0], (size_t)w * 3);
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    *width = w;
    *height = h;
    return output;
}

void setUpDecompressor(jpeg_decompress_struct* cinfo, JpegErrorManager* errors)
{
    cinfo->err = jpeg_std_error(&errors->standard);
    errors->standard.error_exit = onJpegError;
    errors->standard.emit_message = onJpegMessage;
    errors->message[0] = 0;
    jpeg_create_decompress(cinfo);
}

[[noreturn]] void fatalFormatted(const std::string& text)
{
    fatalError(text.c_str());
}

}   // namespace

uint8_t* decodeJpegMemory(const uint8_t* data, size_t size, int32_t* width, int32_t* height,
                          char* error)
{
    if (size == 0) {
        std::snprintf(error, 1024, "empty file");
        return nullptr;
    }
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    setUpDecompressor(&cinfo, &errors);
    jpeg_mem_src(&cinfo, data, (unsigned long)size);
    return decodeWith(&cinfo, &errors, width, height, error);
}

uint8_t* loadJpeg(const char* path, int32_t* width, int32_t* height)
{
    long size = 0;
    std::string problem;
    FILE* file = openDataFile(path, &size, &problem);
    if (!file) {
        if (errno != ENOENT && errno != ENOTDIR)
            fatalFormatted(std::string(path) + ": cannot be read: " + problem);
        char* text = (char*)std::malloc(1024);
        std::snprintf(text, 1024, "%s not found", path);
        fatalError(text);
    }
    // No more than the size it had when opened: a file that grows meanwhile is not followed.
    std::vector<uint8_t> bytes((size_t)size);
    size_t got = size > 0 ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    bool failed = std::ferror(file);
    std::fclose(file);
    if (failed)
        fatalFormatted(std::string(path) + ": cannot be read: read error");
    char error[1024];
    uint8_t* rgb = decodeJpegMemory(bytes.data(), got, width, height, error);
    if (!rgb)
        fatalFormatted(std::string(path) + ": not a usable JPEG image: " + error);
    return rgb;
}

// --- Assembly ---

void assembleRGBA(uint8_t* dst, int32_t dstStride, const uint8_t* colour, const uint8_t* mask,
                  AlphaFunction alpha, int32_t width, int32_t height, int invert)
{
    for (int32_t y = 0; y < height; y++) {
        uint8_t* out = dst + (size_t)y * dstStride;
        const uint8_t* in = colour + (size_t)y * width * 3;
        for (int32_t x = 0; x < width; x++, out += 4, in += 3) {
            int32_t a = 0;
            if (mask)
                a = mask[((size_t)y * width + x) * 3];
            else if (alpha)
                a = alpha(in[0], in[1], in[2]);
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = (uint8_t)a;
            if (invert)
                for (int c = 0; c < 4; c++)
                    out[c] = (uint8_t)(255 - out[c]);
        }
    }
}