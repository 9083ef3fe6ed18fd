// Frame timing, file naming, resizing and PNG writing for the offline modes.
#include "app/offline.h"
#include "music/music.h"   // the pattern/time conversion
#include "support/os.h"

#include <libdeflate.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

double captureFrameTime(double from, double fps, double tempo, int64_t n)
{
    return from + patternsFromMilliseconds((double)n * 1000.0 / fps, tempo);
}

int64_t captureFrameCount(double from, double to, double fps, double tempo)
{
    if (!(to > from) || !(fps > 0.0) || !(tempo > 0.0))
        return 0;
    // Start from the closed form and settle the last frame by the same expression the renderer
    // uses, so rounding cannot add or drop one.
    int64_t n = (int64_t)std::floor(millisecondsFromPatterns(to - from, tempo) / 1000.0 * fps);
    while (n > 0 && captureFrameTime(from, fps, tempo, n - 1) >= to)
        n--;
    while (captureFrameTime(from, fps, tempo, n) < to)
        n++;
    return n;
}

const char* videoContainer(const std::string& path)
{
    static const char* const containers[][2] = {
        {".mp4", "mp4"}, {".mov", "mov"}, {".mkv", "matroska"}, {".webm", "webm"}};
    auto same = [](char a, char b) { return a == (char)std::tolower((unsigned char)b); };
    for (const auto& c : containers) {
        size_t len = std::strlen(c[0]);
        if (path.size() > len && std::equal(c[0], c[0] + len, path.end() - (ptrdiff_t)len, same))
            return c[1];
    }
    return nullptr;
}

std::string frameFileName(int64_t n)
{
    char name[32];
    std::snprintf(name, sizeof name, "%06lld.png", (long long)n);
    return name;
}

namespace {

// Ours: six digits or more, then ".png", or that with ".tmp" after it (a frame cut short).
bool isFrameFile(const std::string& name, bool orTemporary)
{
    size_t len = name.size();
    if (orTemporary && len > 4 && name.compare(len - 4, 4, ".tmp") == 0)
        len -= 4;
    return len >= 10 && name.compare(len - 4, 4, ".png") == 0 &&
           std::all_of(name.begin(), name.begin() + (ptrdiff_t)(len - 4),
                       [](char c) { return c >= '0' && c <= '9'; });
}

}   // namespace

bool folderHoldsFrames(const std::string& folder)
{
    for (const std::string& entry : directoryEntries(folder))
        if (isFrameFile(entry, false))
            return true;
    return false;
}

bool removeFrames(const std::string& folder, std::string* error)
{
    for (const std::string& entry : directoryEntries(folder))
        if (isFrameFile(entry, true) && !removeFile(folder + "/" + entry) && errno != ENOENT) {
            *error =
                folder + "/" + entry + ": cannot remove the old frame: " + std::strerror(errno);
            return false;
        }
    return true;
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

namespace {

// The layouts frames come in, known to the compiler so that the loops below vectorise, and any
// other one given at run time.
struct BgraLayout {
    static constexpr int pixelBytes = 4, red = 2, green = 1, blue = 0;
};
struct RgbLayout {
    static constexpr int pixelBytes = 3, red = 0, green = 1, blue = 2;
};

// BT.709 in studio range, in 16-bit fixed point: luma 16 to 235, chroma 16 to 240. Each row's
// weights add up to what it must give for white, so that greys keep a neutral chroma of 128.
constexpr int Y_RED = 11966, Y_GREEN = 40254, Y_BLUE = 4064;
constexpr int U_RED = -6596, U_GREEN = -22188, U_BLUE = 28784;
constexpr int V_RED = 28784, V_GREEN = -26145, V_BLUE = -2639;

// The luma of every pixel, then each chroma sample from the sums of the 2 x 2 pixels it covers
// (the mean's conversion, rounded, with the same weights); an odd last row or column counts
// twice in its block.
template <typename Layout>
void convertToYuv420(const Layout& f, const PixelLayout& pixels, int width, int height,
                     uint8_t* luma, uint8_t* u, uint8_t* v)
{
    const int step = f.pixelBytes, red = f.red, green = f.green, blue = f.blue;
    for (int y = 0; y < height; y++) {
        const uint8_t* p = pixels.top + y * pixels.rowStep;
        uint8_t* out = luma + (size_t)y * width;
        for (int x = 0; x < width; x++) {
            const uint8_t* q = p + x * step;
            out[x] =
                (uint8_t)(((Y_RED * q[red] + Y_GREEN * q[green] + Y_BLUE * q[blue] + 32768) >> 16) +
                          16);
        }
    }
    const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    for (int cy = 0; cy < chromaHeight; cy++) {
        const uint8_t* row0 = pixels.top + 2 * cy * pixels.rowStep;
        const uint8_t* row1 = 2 * cy + 1 < height ? row0 + pixels.rowStep : row0;
        uint8_t* uRow = u + (size_t)cy * chromaWidth;
        uint8_t* vRow = v + (size_t)cy * chromaWidth;
        const int pairs = width / 2;
        auto block = [&](int cx, int x0, int x1) {
            int r = row0[x0 + red] + row0[x1 + red] + row1[x0 + red] + row1[x1 + red];
            int g = row0[x0 + green] + row0[x1 + green] + row1[x0 + green] + row1[x1 + green];
            int b = row0[x0 + blue] + row0[x1 + blue] + row1[x0 + blue] + row1[x1 + blue];
            uRow[cx] = (uint8_t)(((U_RED * r + U_GREEN * g + U_BLUE * b + (1 << 17)) >> 18) + 128);
            vRow[cx] = (uint8_t)(((V_RED * r + V_GREEN * g + V_BLUE * b + (1 << 17)) >> 18) + 128);
        };
        for (int cx = 0; cx < pairs; cx++)
            block(cx, 2 * cx * step, (2 * cx + 1) * step);
        if (pairs < chromaWidth)
            block(pairs, (width - 1) * step, (width - 1) * step);
    }
}

}   // namespace

std::vector<uint8_t> toBgr0(const PixelLayout& pixels, int width, int height)
{
    std::vector<uint8_t> out((size_t)width * height * 4);
    for (int y = 0; y < height; y++) {
        const uint8_t* p = pixels.top + y * pixels.rowStep;
        uint8_t* q = &out[(size_t)y * width * 4];
        if (pixels.pixelBytes == 4 && pixels.blue == 0 && pixels.green == 1 && pixels.red == 2) {
            std::memcpy(q, p, (size_t)width * 4);   // the read-back's own order
            continue;
        }
        for (int x = 0; x < width; x++, p += pixels.pixelBytes, q += 4) {
            q[0] = p[pixels.blue];
            q[1] = p[pixels.green];
            q[2] = p[pixels.red];
            q[3] = 0;
        }
    }
    return out;
}

std::vector<uint8_t> toYuv420(const PixelLayout& pixels, int width, int height)
{
    size_t lumaSize = (size_t)width * height;
    size_t chromaSize = (size_t)((width + 1) / 2) * ((height + 1) / 2);
    std::vector<uint8_t> yuv(lumaSize + 2 * chromaSize);
    uint8_t* luma = yuv.data();
    uint8_t* u = luma + lumaSize;
    uint8_t* v = u + chromaSize;
    auto is = [&](auto f) {
        return pixels.pixelBytes == f.pixelBytes && pixels.red == f.red &&
               pixels.green == f.green && pixels.blue == f.blue;
    };
    if (is(BgraLayout{}))
        convertToYuv420(BgraLayout{}, pixels, width, height, luma, u, v);
    else if (is(RgbLayout{}))
        convertToYuv420(RgbLayout{}, pixels, width, height, luma, u, v);
    else
        convertToYuv420(pixels, pixels, width, height, luma, u, v);
    return yuv;
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

void putBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((uint8_t)(value >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size)
{
    putBigEndian(out, (uint32_t)size);
    size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    putBigEndian(out, libdeflate_crc32(0, &out[typeAt], size + 4));
}

}   // namespace

std::vector<uint8_t> encodePngRGB(const uint8_t* rgb, int width, int height)
{
    // Every row "up"-filtered (the first row against zeros, which is the same as unfiltered):
    // rendered frames change little from one row to the next.
    size_t stride = (size_t)width * 3;
    std::vector<uint8_t> filtered((stride + 1) * (size_t)height);
    for (int y = 0; y < height; y++) {
        const uint8_t* row = rgb + (size_t)y * stride;
        uint8_t* out = &filtered[(size_t)y * (stride + 1)];
        out[0] = 2;
        if (y == 0) {
            std::memcpy(out + 1, row, stride);
            continue;
        }
        const uint8_t* above = row - stride;
        for (size_t i = 0; i < stride; i++)
            out[1 + i] = (uint8_t)(row[i] - above[i]);
    }
    // One compressor a thread: making one costs as much as a small frame.
    thread_local std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)>
        compressor(libdeflate_alloc_compressor(PNG_FAST_LEVEL), libdeflate_free_compressor);
    if (!compressor)
        return {};
    std::vector<uint8_t> packed(libdeflate_zlib_compress_bound(compressor.get(), filtered.size()));
    packed.resize(libdeflate_zlib_compress(compressor.get(), filtered.data(), filtered.size(),
                                           packed.data(), packed.size()));
    if (packed.empty())
        return {};

    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<uint8_t> png(signature, signature + 8);
    png.reserve(packed.size() + 64);
    std::vector<uint8_t> header;
    putBigEndian(header, (uint32_t)width);
    putBigEndian(header, (uint32_t)height);
    // 8 bits, truecolour, deflate, adaptive filtering, not interlaced
    header.insert(header.end(), {8, 2, 0, 0, 0});
    putChunk(png, "IHDR", header.data(), header.size());
    putChunk(png, "IDAT", packed.data(), packed.size());
    putChunk(png, "IEND", nullptr, 0);
    return png;
}

bool writePngRGB(const std::string& path, const uint8_t* rgb, int width, int height,
                 std::string* error)
{
    std::string temporary = path + ".tmp";
    errno = 0;
    FILE* file = openFile(temporary, "wb");
    if (!file) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> png = encodePngRGB(rgb, width, height);
    std::string failure = png.empty() ? "cannot encode the PNG" : "";
    errno = 0;
    if (failure.empty() && std::fwrite(png.data(), 1, png.size(), file) != png.size())
        failure = errno ? std::strerror(errno) : "short write";
    if (std::fclose(file) != 0 && failure.empty())
        failure = std::strerror(errno);
    if (!failure.empty()) {
        *error = path + ": " + failure;
        removeFile(temporary);
        return false;
    }
    if (!replaceFile(temporary, path)) {
        *error = path + ": " + std::strerror(errno);
        removeFile(temporary);
        return false;
    }
    return true;
}
