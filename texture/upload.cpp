// The mipmapped upload: level 0 as given, every smaller level computed here with a 16-tap
// Hann-windowed sinc in the squared (roughly linear-light) domain, one channel at a time in
// scratch-pool floats. Texels outside the image count as zero, so borders of small levels darken.
#include "render/gl.h"
#include "texture/texture_local.h"

#include <cmath>
#include <cstring>

float DOWNSAMPLE_KERNEL[16];

namespace {
constexpr float BYTE_TO_UNIT = 0.00392156862745098f;   // 1/255
constexpr int TAPS = 16;
}   // namespace

float sinc(float x)
{
    float a = std::fabs(x);
    if (a < 0.0001f)
        return 1.0f;
    return std::sin(a) / a;
}

void normaliseKernel(float* kernel, int32_t count)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < count; i++)
        sum += kernel[i];
    float scale = 1.0f / sum;
    for (int32_t i = 0; i < count; i++)
        kernel[i] *= scale;
}

void rowToLinear(float* dst, const uint8_t* src, int32_t srcStride, int32_t count, int square,
                 int boost)
{
    for (int32_t i = 0; i < count; i++) {
        float v = src[(size_t)i * srcStride] * BYTE_TO_UNIT;
        if (boost && v > 0.85f)
            v = v + 20.0f * (v - 0.85f) * (v - 0.85f);
        if (square)
            v = v * v;
        dst[i] = v;
    }
}

void rowFromLinear(uint8_t* dst, int32_t dstStride, const float* src, int32_t count, int squareRoot)
{
    for (int32_t i = 0; i < count; i++) {
        float v = src[i];
        if (squareRoot)
            v = v > 0.0f ? std::sqrt(v) : 0.0f;   // the negative lobes give no light
        int32_t b = (int32_t)(v * 255.9f);
        if (!(v > 0.0f))
            b = 0;
        dst[(size_t)i * dstStride] = (uint8_t)(b < 0 ? 0 : b > 255 ? 255 : b);
    }
}

void convolveRow(float* acc, const float* src, int32_t count, const float* kernel, int32_t taps)
{
    for (int32_t i = 0; i < count; i++) {
        float s = src[i];
        float* a = acc + i;
        for (int32_t j = 0; j < taps; j++)
            a[j] += s * kernel[j];
    }
}

void addScaledRow(float* acc, const float* src, int32_t count, float factor)
{
    for (int32_t i = 0; i < count; i++)
        acc[i] += src[i] * factor;
}

void buildDownsampleKernel()
{
    const float divisor = 2.2f;
    for (int i = 0; i < TAPS; i++) {
        double t = i - 7.5;
        double window = std::cos(t * 0.19634891584936207);
        DOWNSAMPLE_KERNEL[i] = (float)(window * window * sinc((float)(t * PI / divisor)));
    }
    normaliseKernel(DOWNSAMPLE_KERNEL, TAPS);
}

// One halving of all four channels; the float plane and accumulator come from the scratch pool.
static void downsampleWith(uint8_t* pixels, int32_t* width, int32_t* height, float* plane,
                           float* acc)
{
    int32_t w = *width, h = *height;
    int32_t w2 = w > 1 ? w / 2 : 1, h2 = h > 1 ? h / 2 : 1;
    for (int c = 0; c < 4; c++) {
        for (int32_t y = 0; y < h; y++)
            rowToLinear(plane + (size_t)y * w, pixels + (size_t)y * w * 4 + c, 4, w, c < 3, 0);
        if (h > 1) {
            std::memset(acc, 0, sizeof(float) * (size_t)(h + TAPS) * w);
            for (int k = 0; k < TAPS; k++)
                for (int32_t y = 0; y < h; y++)
                    addScaledRow(acc + (size_t)(y + k) * w, plane + (size_t)y * w, w,
                                 DOWNSAMPLE_KERNEL[k]);
            for (int32_t j = 0; j < h2; j++)
                std::memcpy(plane + (size_t)j * w, acc + (size_t)(2 * j + 8) * w,
                            sizeof(float) * w);
        }
        if (w > 1) {
            std::memset(acc, 0, sizeof(float) * (size_t)h2 * (w + TAPS));
            for (int32_t j = 0; j < h2; j++)
                convolveRow(acc + (size_t)j * (w + TAPS), plane + (size_t)j * w, w,
                            DOWNSAMPLE_KERNEL, TAPS);
            for (int32_t j = 0; j < h2; j++)
                for (int32_t i = 0; i < w2; i++)
                    plane[(size_t)j * w2 + i] = acc[(size_t)j * (w + TAPS) + 2 * i + 8];
        }
        for (int32_t j = 0; j < h2; j++)
            rowFromLinear(pixels + (size_t)j * w2 * 4 + c, 4, plane + (size_t)j * w2, w2, c < 3);
    }
    *width = w2;
    *height = h2;
}

void downsampleLevel(uint8_t* pixels, int32_t* width, int32_t* height)
{
    void* mark = tempmalloc(0);
    buildDownsampleKernel();
    int32_t w = *width, h = *height;
    float* plane = (float*)tempmalloc((uint32_t)(sizeof(float) * (size_t)w * h));
    float* acc = (float*)tempmalloc((uint32_t)(sizeof(float) * (size_t)(w + TAPS) * (h + TAPS)));
    downsampleWith(pixels, width, height, plane, acc);
    tmpfree(mark);
}

void uploadMipmapped(int32_t width, int32_t height, uint8_t* pixels)
{
    void* mark = tempmalloc(0);
    buildDownsampleKernel();
    float* plane = (float*)tempmalloc((uint32_t)(sizeof(float) * (size_t)width * height));
    float* acc =
        (float*)tempmalloc((uint32_t)(sizeof(float) * (size_t)(width + TAPS) * (height + TAPS)));
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    int32_t w = width, h = height, level = 0;
    while (w > 1 || h > 1) {
        downsampleWith(pixels, &w, &h, plane, acc);
        level++;
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    }
    tmpfree(mark);
}

void halveImage(uint8_t* pixels, int32_t outWidth, int32_t outHeight)
{
    size_t srcStride = (size_t)outWidth * 8;
    for (int32_t y = 0; y < outHeight; y++) {
        for (int32_t x = 0; x < outWidth; x++) {
            const uint8_t* a = pixels + (size_t)(2 * y) * srcStride + (size_t)(2 * x) * 4;
            const uint8_t* d = a + srcStride;
            uint8_t* out = pixels + ((size_t)y * outWidth + x) * 4;
            for (int c = 0; c < 4; c++)
                out[c] = (uint8_t)((float)(a[c] + a[c + 4] + d[c] + d[c + 4]) * 0.25f);
        }
    }
    size_t used = (size_t)outWidth * outHeight * 4;
    std::memset(pixels + used, 0, used * 3);
}
