// What texture/ and its tests share beyond texture/texture.h: the mipmap filter, the JPEG decoder,
// the blur-atlas builder, the lattice noise behind the smoke and the binding globals. Not for
// other folders.
#pragma once

#include "texture/texture.h"

#include <cstddef>
#include <cstdint>

// A record keeps only these of its creator's flags.
constexpr TextureFlags TEX_CREATE_MASK = 0x18000020;
// The bits that reach texture parameters and coordinate generation at bind time.
constexpr TextureFlags TEX_BIND_MASK = 0x0C58003F;

// --- Images and the mipmapped upload ---

// Rebuilt by every uploadMipmapped: a Hann-windowed sinc of 16 taps, cutoff 1/2.2 of the rate.
extern float DOWNSAMPLE_KERNEL[16];

// Uploads an RGBA image (power-of-two sides) to the texture bound on GL_TEXTURE_2D: level 0 and
// every smaller level down to 1x1, filtered in the squared domain. Overwrites the pixels.
void uploadMipmapped(int32_t width, int32_t height, uint8_t* pixels);
// The filter behind it, without OpenGL: computes the next level in place (the new size in
// *width, *height) from the current one. Uses the scratch pool.
void buildDownsampleKernel();
void downsampleLevel(uint8_t* pixels, int32_t* width, int32_t* height);
// 2x2 average of a 2*outWidth x 2*outHeight image, in place; zeroes the rest of the buffer.
void halveImage(uint8_t* pixels, int32_t outWidth, int32_t outHeight);

void rowToLinear(float* dst, const uint8_t* src, int32_t srcStride, int32_t count, int square,
                 int boost);
void rowFromLinear(uint8_t* dst, int32_t dstStride, const float* src, int32_t count,
                   int squareRoot);
void convolveRow(float* acc, const float* src, int32_t count, const float* kernel, int32_t taps);
void addScaledRow(float* acc, const float* src, int32_t count, float factor);
void normaliseKernel(float* kernel, int32_t count);
float sinc(float x);

// --- JPEG decoding, alpha and blur atlases ---

// Decodes a JPEG to 8-bit RGB rows (malloc'd; the caller frees). Any failure is fatal and names
// the file.
uint8_t* loadJpeg(const char* path, int32_t* width, int32_t* height);
// The same from memory; on failure returns null with the reason in error (1024 bytes).
uint8_t* decodeJpegMemory(const uint8_t* data, size_t size, int32_t* width, int32_t* height,
                          char* error);

void apertureBlur(const uint8_t* source, uint8_t* destination, float radiusFraction, int32_t width,
                  int32_t height);
// Threads the aperture blur shares its rows over: 0 means one per core (at most 8). The result
// does not depend on it, byte for byte.
extern int32_t apertureBlurThreads;
// Assembles RGBA from decoded colour and an alpha source (mask red byte, function, or 0).
void assembleRGBA(uint8_t* dst, int32_t dstStride, const uint8_t* colour, const uint8_t* mask,
                  AlphaFunction alpha, int32_t width, int32_t height, int invert);
// Builds the 2w x 2h atlas image of one sprite into atlas (row stride atlasStride bytes, x
// offset xOffset texels); image is w x h RGBA and is halved twice on the way.
void buildBlurAtlas(uint8_t* atlas, int32_t atlasStride, int32_t xOffset, uint8_t* image, int32_t w,
                    int32_t h);

// --- Lattice noise and the smoke generator ---

extern int32_t noisePermutation[1024];
int32_t latticeHash(int32_t x, int32_t y, int32_t z);
int32_t valueNoise(int32_t x, int32_t y, int32_t z);
// The smoke image alone (128 x 128 RGBA into pixels), without OpenGL.
void computeSmokeImage(float time, uint8_t* pixels);

// --- Binding ---

// The texturing globals. Scenes may change textureEnvColour; it is loaded at every bind.
struct TextureBindingState {
    float textureEnvColour[4];   // (1, 1, 1, 1)
    float planeX[4];             // object planes for the planar generation modes
    float planeY[4];
    float planeZ[4];
    float planeXZ[4];
    float planeYZ[4];
};
extern TextureBindingState textureBinding;

// Filtering, wrap and coordinate generation of the texture bound on the active unit.
void applyTextureFlags(TextureFlags flags);
