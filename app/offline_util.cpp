// Frame timing, file naming, resizing and PNG writing for the offline modes.
#include "app/offline.h"

#include <png.h>
#include <csetjmp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>

double captureFrameTime(double from, double fps, double tempo, int64_t n)
{
    return from + (double)n * tempo / (60.0 * 16.0 * fps);
}

int64_t captureFrameCount(double from, double to, double fps, double tempo)
{
    if (!(to > from) || !(fps > 0.0) || !(tempo > 0.0))
        return 0;
    // Start from the closed form and settle the last frame by the same expression the renderer
    // uses, so rounding cannot add or drop one.
    int64_t n = (int64_t)std::floor((to - from) * 60.0 * 16.0 * fps / tempo);
    while (n > 0 && captureFrameTime(from, fps, tempo, n - 1) >= to)
        n--;
    while (captureFrameTime(from, fps, tempo, n) < to)
        n++;
    return n;
}

bool isVideoPath(const std::string& path)
{
    for (const char* ext : {".mp4", ".mkv", ".webm", ".mov"}) {
        size_t len = std::strlen(ext);
        if (path.size() > len && path.compare(path.size() - len, len, ext) == 0)
            return true;
    }
    return false;
}

std::string frameFileName(int64_t n)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06lld.png", (long long)n);
    return name;
}

bool folderHoldsFrames(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        size_t len = std::strlen(name);
        if (len >= 10 && std::strcmp(name + len - 4, ".png") == 0 &&
            std::all_of(name, name + len - 4, [](char c) { return c >= '0' && c <= '9'; })) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

// Each destination pixel averages the source area it covers, partial pixels by their share.
void resizeAreaRGB(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth,
                   int dstHeight)
{
    double sx = (double)srcWidth / dstWidth;
    double sy = (double)srcHeight / dstHeight;
    for (int y = 0; y < dstHeight; y++) {
        double y0 = y * sy, y1 = (y + 1) * sy;
        for (int x = 0; x < dstWidth; x++) {
            double x0 = x * sx, x1 = (x + 1) * sx;
            double sum[3] = {0, 0, 0};
            double weightSum = 0;
            for (int iy = (int)y0; iy < std::min((double)srcHeight, std::ceil(y1)); iy++) {
                double wy = std::min(y1, iy + 1.0) - std::max(y0, (double)iy);
                for (int ix = (int)x0; ix < std::min((double)srcWidth, std::ceil(x1)); ix++) {
                    double w = wy * (std::min(x1, ix + 1.0) - std::max(x0, (double)ix));
                    const uint8_t* p = src + ((size_t)iy * srcWidth + ix) * 3;
                    for (int c = 0; c < 3; c++)
                        sum[c] += w * p[c];
                    weightSum += w;
                }
            }
            uint8_t* q = dst + ((size_t)y * dstWidth + x) * 3;
            for (int c = 0; c < 3; c++)
                q[c] = (uint8_t)std::lround(weightSum > 0 ? sum[c] / weightSum : 0.0);
        }
    }
}

double percentileOf(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    size_t rank = (size_t)std::ceil(fraction * (double)samples.size());
    rank = std::clamp<size_t>(rank, 1, samples.size());
    return samples[rank - 1];
}

namespace {

// Ours, so that a failed write says why and ends the file, not the program.
struct PngWriteError {
    std::string text;
};

void pngFailed(png_structp png, png_const_charp message)
{
    auto* failure = (PngWriteError*)png_get_error_ptr(png);
    failure->text = errno ? std::strerror(errno) : message;
    png_longjmp(png, 1);
}

void pngWarned(png_structp, png_const_charp) {}

bool encodePng(FILE* file, PngWriteError* failure, const uint8_t* rgb, int width, int height,
               bool bottomUp)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, pngFailed, pngWarned);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // The default level with every filter tried costs five times the time for 8 % fewer bytes,
    // and the encoder shares the cores with the software renderer.
    png_set_compression_level(png, PNG_FAST_LEVEL);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    size_t stride = (size_t)width * 3;
    for (int y = 0; y < height; y++)
        png_write_row(png, rgb + (size_t)(bottomUp ? height - 1 - y : y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}   // namespace

bool writePngRGB(const std::string& path, const uint8_t* rgb, int width, int height,
                 std::string* error, bool bottomUp)
{
    std::string temporary = path + ".tmp";
    errno = 0;
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    PngWriteError failure;
    bool ok = encodePng(file, &failure, rgb, width, height, bottomUp);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        failure.text = std::strerror(errno);
    }
    if (!ok) {
        *error = path + ": " + (failure.text.empty() ? "cannot write the PNG" : failure.text);
        std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
