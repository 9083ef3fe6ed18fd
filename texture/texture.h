// Textures: the texture record and what the other subsystems do with one. Loading a JPEG with
// its alpha source, blur atlases of sprites, generated and screen-copy textures, the smoke
// texture, binding with coordinate generation, and copying the screen into a texture. The
// filters, decoders and generators behind them are in texture/texture_local.h.
//
// Images in memory are 8-bit RGBA, rows packed, top row first. Every texture is made once and
// never freed. Loaders end the program through fatalError on a file that is missing, damaged or
// of the wrong kind, naming it. bindTexture makes one texture current on unit 0 (unit 1 off) and
// sets its filtering, wrap and coordinate generation from the record's flags ORed with the
// bind's; everything is set again at each bind, so no texturing state leaks between draws. Needs
// GL_ARB_multitexture and GL_ARB_texture_env_combine (checked at start-up).
#pragma once

#include "render/render.h"     // RenderFlags: the TEX_* bits
#include "support/support.h"   // Vec3

#include <cstdint>

using TextureFlags = uint32_t;   // the TEX_* bits of render/render.h

struct Texture {
    uint32_t name;                  // OpenGL texture object
    float scaleS, scaleT, scaleR;   // loaded into the texture matrix at every bind
    int32_t width, height;          // level 0
    TextureFlags flags;
    int32_t spriteCount;   // 2 for a blur-atlas pair, else 1
};

// The glow chain's targets: 512 x 256 halving down to 4 x 2.
struct ScreenChain {
    int32_t count;
    Texture* textures;   // 16 records, the first count of them used
};

// --- Loading ---

// Alpha from the colour of a texel, where an image has no mask.
using AlphaFunction = int32_t (*)(int32_t r, int32_t g, int32_t b);
int32_t alphaDoubleSum(int32_t r, int32_t g, int32_t b);
int32_t alphaMean(int32_t r, int32_t g, int32_t b);
int32_t alphaGreyDistance(int32_t r, int32_t g, int32_t b);

// The ten blur levels of an atlas: corners (u0, v0), (u1, v0), (u1, v1), (u0, v1).
extern const float BLUR_ATLAS_CELLS[10][8];

// Each advances the loading screen by one step.
Texture* loadTexture(const char* colourPath, const char* maskPath, AlphaFunction alpha, Vec3 scale,
                     TextureFlags flags);
Texture* loadBlurAtlas(const char* colourPath, const char* maskPath, AlphaFunction alpha,
                       TextureFlags flags);
Texture* loadBlurAtlasPair(const char* colourPath1, const char* maskPath1, AlphaFunction alpha1,
                           const char* colourPath2, const char* maskPath2, AlphaFunction alpha2,
                           TextureFlags flags);

// --- Generated and screen-copy textures ---

Texture* makeSolidTexture(int32_t width, int32_t height, uint8_t red, uint8_t green, uint8_t blue,
                          uint8_t alpha, Vec3 scale, TextureFlags flags);
Texture* makeNoiseTexture(int32_t width, int32_t height, TextureFlags flags);
Texture* makeScreenCopyTarget();
ScreenChain makeScreenCopyChain();

// The smoke: the lattice noise is shuffled once (from the shared random generator); then
// generateTexture regenerates the smoke into a 128 x 128 texture, all eight levels, and leaves it
// bound on unit 0.
void shuffleNoisePermutation();
void generateTexture(Texture* texture, float time);

// --- Binding and screen copy ---

// Leaves unit 0 active in GL_MODULATE, unit 1 disabled, the texture matrix scaled by the record's
// scale and the model-view matrix mode current.
void bindTexture(const Texture* texture, TextureFlags flags);
// Both units: colour = texel0 x vertex x vertex.a + texel1 x (1 - vertex.a), alpha likewise.
// The caller gives two coordinate sets per vertex; both texture matrices are identity.
void bindTextureCrossfade(const Texture* texture, TextureFlags flags);

// Copies the lower-left corner of the frame buffer into level 0 of the texture: the record's
// size, or the given one (which the texture must hold; a larger request copies what fits).
void copyScreenToTexture(const Texture* texture);
void copyScreenToTextureSized(const Texture* texture, int32_t width, int32_t height);
