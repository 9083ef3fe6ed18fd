// Textures: the texture record and the filtered mipmap upload, JPEG loading with alpha sources and
// blur atlases, generated and screen-copy textures, binding with coordinate generation, and the
// smoke texture generator.
//
// Images in memory are 8-bit RGBA, rows packed, top row first. Every texture is made once and
// never freed.
#pragma once

#include "render/render.h"

#include <cstdint>

using TextureFlags = uint32_t;   // the TEX_* bits of render/render.h

// A record keeps only these of its creator's flags.
constexpr TextureFlags TEX_CREATE_MASK = 0x18000020;
// The bits that reach texture parameters and coordinate generation at bind time.
constexpr TextureFlags TEX_BIND_MASK = 0x0C58003F;

struct Texture {
    uint32_t name;                    // OpenGL texture object
    float scaleS, scaleT, scaleR;     // loaded into the texture matrix at every bind
    int32_t width, height;            // level 0
    TextureFlags flags;
    int32_t spriteCount;              // 2 for a blur-atlas pair, else 1
};

// The glow chain's targets: 512 x 256 halving down to 4 x 2.
struct ScreenChain {
    int32_t count;
    Texture* textures;   // 16 records, the first count of them used
};

#include "texture/binding.h"
