// The loaders that turn images into textures: padded images, and sprites turned into atlases of
// ten ever blurrier copies.
#include "support/upcalls.h"
#include "render/gl.h"
#include "texture/texture_local.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

const float BLUR_ATLAS_CELLS[10][8] = {
    {0, 0, 0.5f, 0, 0.5f, 0.5f, 0, 0.5f},
    {0.5f, 0, 1, 0, 1, 0.5f, 0.5f, 0.5f},
    {0, 0.5f, 0.5f, 0.5f, 0.5f, 1, 0, 1},
    {0.5f, 0.5f, 0.75f, 0.5f, 0.75f, 0.75f, 0.5f, 0.75f},
    {0.75f, 0.5f, 1, 0.5f, 1, 0.75f, 0.75f, 0.75f},
    {0.5f, 0.75f, 0.75f, 0.75f, 0.75f, 1, 0.5f, 1},
    {0.75f, 0.75f, 0.875f, 0.75f, 0.875f, 0.875f, 0.75f, 0.875f},
    {0.875f, 0.75f, 1, 0.75f, 1, 0.875f, 0.875f, 0.875f},
    {0.75f, 0.875f, 0.875f, 0.875f, 0.875f, 1, 0.75f, 1},
    {0.875f, 0.875f, 1, 0.875f, 1, 1, 0.875f, 1},
};

namespace {

struct DecodedImage {
    uint8_t* colour = nullptr;
    uint8_t* mask = nullptr;
    int32_t width = 0, height = 0;
};

// Mask first, then colour, as the loading order has always been; a mask must match its image.
DecodedImage decodeWithMask(const char* colourPath, const char* maskPath)
{
    DecodedImage image;
    int32_t mw = 0, mh = 0;
    if (maskPath)
        image.mask = loadJpeg(maskPath, &mw, &mh);
    image.colour = loadJpeg(colourPath, &image.width, &image.height);
    if (maskPath && (mw != image.width || mh != image.height)) {
        char text[2048];
        std::snprintf(text, sizeof text, "%s: mask is %dx%d but %s is %dx%d", maskPath, mw, mh,
                      colourPath, image.width, image.height);
        fatalError(text);
    }
    return image;
}

void freeDecoded(DecodedImage& image)
{
    std::free(image.colour);
    std::free(image.mask);
    image.colour = image.mask = nullptr;
}

void checkTextureSize(const char* path, int32_t width, int32_t height)
{
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (largest > 0 && (width > largest || height > largest)) {
        char text[1200];
        std::snprintf(text, sizeof text, "%s: a %dx%d texture is larger than this driver's %d",
                      path, width, height, largest);
        fatalError(text);
    }
}

void checkSprite(const char* path, int32_t width, int32_t height)
{
    bool powerOfTwo = width >= 4 && (width & (width - 1)) == 0;
    if (width != height || !powerOfTwo) {
        char text[1200];
        std::snprintf(text, sizeof text,
                      "%s: a sprite must be a square power of two of at least 4, not %dx%d", path,
                      width, height);
        fatalError(text);
    }
}

Texture* newTexture(int32_t width, int32_t height, TextureFlags flags, float s, float t, float r,
                    int32_t sprites)
{
    Texture* texture = new Texture{};
    glGenTextures(1, &texture->name);
    glBindTexture(GL_TEXTURE_2D, texture->name);
    texture->width = width;
    texture->height = height;
    texture->flags = flags;
    texture->scaleS = s;
    texture->scaleT = t;
    texture->scaleR = r;
    texture->spriteCount = sprites;
    return texture;
}

void uploadImage(const Texture* texture, uint8_t* pixels)
{
    if (texture->flags & TEX_NO_MIPMAP) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture->width, texture->height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, pixels);
    } else {
        uploadMipmapped(texture->width, texture->height, pixels);
    }
}

// The pentagon kernel: inradius R / 1.1, brighter towards its rim, normalised.
std::vector<float> apertureKernel(float R, int32_t r)
{
    int32_t n = 2 * r + 4;
    std::vector<float> kernel((size_t)n * n);
    const float angles[5] = {2.5f, 3.76f, 5.02f, 6.28f, 7.54f};
    float sum = 0.0f;
    for (int32_t i = 0; i < n; i++) {
        for (int32_t j = 0; j < n; j++) {
            float u = (float)(j - r - 2) + 0.23f;
            float v = (float)(i - r - 2) + 0.17f;
            float m = -1e30f;
            for (float theta : angles)
                m = std::max(m, u * std::sin(theta) + v * std::cos(theta));
            m *= 1.1f;
            float k = clamp01((R - m) * 2.0f) * (3.0f * m + R);
            kernel[(size_t)i * n + j] = k;
        }
    }
    for (float k : kernel)
        sum += k;
    if (!(sum > 0.0f)) {
        // A radius too small to reach any texel centre (tiny sprites): a sharp copy, rather
        // than the black level a division by zero would give.
        std::fill(kernel.begin(), kernel.end(), 0.0f);
        kernel[(size_t)(r + 2) * n + (r + 2)] = 1.0f;
        return kernel;
    }
    for (float& k : kernel)
        k /= sum;
    return kernel;
}

void blurRows(const uint8_t* source, uint8_t* destination, const float* kernel, int32_t r,
              int32_t width, int32_t height, int32_t y0, int32_t y1)
{
    int32_t n = 2 * r + 4;
    std::vector<float> row((size_t)width + n), acc((size_t)width + n);
    for (int32_t y = y0; y < y1; y++) {
        for (int c = 0; c < 4; c++) {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (int32_t k = -r - 2; k <= r + 1; k++) {
                if (y + k < 0 || y + k >= height)
                    continue;
                rowToLinear(row.data(), source + (size_t)(y + k) * width * 4 + c, 4, width, c < 3,
                            c < 3);
                convolveRow(acc.data(), row.data(), width, kernel + (size_t)(k + r + 2) * n, n);
            }
            rowFromLinear(destination + (size_t)y * width * 4 + c, 4, acc.data() + r + 2, width,
                          c < 3);
        }
    }
}

}   // namespace

int32_t apertureBlurThreads = 0;

// Rows are independent: they are shared out over the cores, each thread with rows of its own,
// so the result is the same byte for byte as with one thread.
void apertureBlur(const uint8_t* source, uint8_t* destination, float radiusFraction, int32_t width,
                  int32_t height)
{
    float R = (float)width * radiusFraction;
    int32_t r = (int32_t)R;
    std::vector<float> kernel = apertureKernel(R, r);
    int threads = apertureBlurThreads > 0
                      ? (int)apertureBlurThreads
                      : (int)std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    threads = std::min(threads, (int)height);
    if (height < 32)
        threads = 1;
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; t++)
        workers.emplace_back(blurRows, source, destination, kernel.data(), r, width, height,
                             height * t / threads, height * (t + 1) / threads);
    blurRows(source, destination, kernel.data(), r, width, height, 0, height / threads);
    for (std::thread& w : workers)
        w.join();
}

void buildBlurAtlas(uint8_t* atlas, int32_t atlasStride, int32_t xOffset, uint8_t* image, int32_t w,
                    int32_t h)
{
    int32_t AW = 2 * w, AH = 2 * h;
    std::vector<uint8_t> blurred((size_t)w * h * 4);
    int32_t cw = w, ch = h;
    for (int k = 0; k < 10; k++) {
        if (k == 0)
            std::memcpy(blurred.data(), image, (size_t)cw * ch * 4);
        else
            apertureBlur(image, blurred.data(), 0.1f * std::pow((k + 1) / 11.0f, 1.5f), cw, ch);
        int32_t x0 = (int32_t)(AW * BLUR_ATLAS_CELLS[k][0]) + xOffset;
        int32_t y0 = (int32_t)(AH * BLUR_ATLAS_CELLS[k][1]);
        for (int32_t y = 0; y < ch; y++)
            std::memcpy(atlas + (size_t)(y + y0) * atlasStride + (size_t)x0 * 4,
                        blurred.data() + (size_t)y * cw * 4, (size_t)cw * 4);
        if (k == 2 || k == 5) {
            halveImage(image, cw / 2, ch / 2);
            cw /= 2;
            ch /= 2;
        }
    }
}

Texture* loadTexture(const char* colourPath, const char* maskPath, AlphaFunction alpha, Vec3 scale,
                     TextureFlags flags)
{
    flags &= TEX_CREATE_MASK;
    DecodedImage image = decodeWithMask(colourPath, maskPath);
    int32_t w = image.width, h = image.height;
    int32_t W = w <= 1 ? 1 : nextPowerOfTwo(w), H = h <= 1 ? 1 : nextPowerOfTwo(h);
    if (W == 0 || H == 0)
        W = H = 0x7fffffff;   // beyond the table: refused just below
    checkTextureSize(colourPath, W, H);
    std::vector<uint8_t> canvas((size_t)W * H * 4, 255);
    assembleRGBA(canvas.data(), W * 4, image.colour, image.mask, alpha, w, h,
                 (flags & TEX_INVERT) != 0);
    Texture* texture =
        newTexture(W, H, flags, (float)w / W * scale.x, (float)h / H * scale.y, scale.z, 1);
    uploadImage(texture, canvas.data());
    freeDecoded(image);
    drawLoadingScreen();
    return texture;
}

Texture* loadBlurAtlas(const char* colourPath, const char* maskPath, AlphaFunction alpha,
                       TextureFlags flags)
{
    flags &= TEX_CREATE_MASK;
    DecodedImage image = decodeWithMask(colourPath, maskPath);
    int32_t w = image.width, h = image.height;
    checkSprite(colourPath, w, h);
    checkTextureSize(colourPath, 2 * w, 2 * h);
    std::vector<uint8_t> sprite((size_t)w * h * 4, 0);
    std::vector<uint8_t> atlas((size_t)4 * w * h * 4, 0);
    assembleRGBA(sprite.data(), w * 4, image.colour, image.mask, alpha, w, h, 0);
    buildBlurAtlas(atlas.data(), 2 * w * 4, 0, sprite.data(), w, h);
    Texture* texture = newTexture(2 * w, 2 * h, flags, 0.5f, 0.5f, 0.5f, 1);
    uploadImage(texture, atlas.data());
    freeDecoded(image);
    drawLoadingScreen();
    return texture;
}

Texture* loadBlurAtlasPair(const char* colourPath1, const char* maskPath1, AlphaFunction alpha1,
                           const char* colourPath2, const char* maskPath2, AlphaFunction alpha2,
                           TextureFlags flags)
{
    flags &= TEX_CREATE_MASK;
    DecodedImage first = decodeWithMask(colourPath1, maskPath1);
    int32_t w = first.width, h = first.height;
    checkSprite(colourPath1, w, h);
    checkTextureSize(colourPath1, 4 * w, 2 * h);
    int32_t stride = 4 * w * 4;
    std::vector<uint8_t> sprite((size_t)w * h * 4, 0);
    std::vector<uint8_t> atlas((size_t)stride * 2 * h, 0);
    assembleRGBA(sprite.data(), w * 4, first.colour, first.mask, alpha1, w, h, 0);
    buildBlurAtlas(atlas.data(), stride, 0, sprite.data(), w, h);
    freeDecoded(first);
    drawLoadingScreen();

    DecodedImage second = decodeWithMask(colourPath2, maskPath2);
    if (second.width != w || second.height != h) {
        char text[1200];
        std::snprintf(text, sizeof text, "vitun läski älä lataa erikokosii texturei: %s",
                      colourPath2);
        fatalError(text);
    }
    std::fill(sprite.begin(), sprite.end(), 0);
    assembleRGBA(sprite.data(), w * 4, second.colour, second.mask, alpha2, w, h, 0);
    buildBlurAtlas(atlas.data(), stride, 2 * w, sprite.data(), w, h);
    Texture* texture = newTexture(4 * w, 2 * h, flags, 0.25f, 0.5f, 0.5f, 2);
    uploadImage(texture, atlas.data());
    freeDecoded(second);
    drawLoadingScreen();
    return texture;
}
