// Texture units, binding, coordinate generation and screen copy.
//
// bindTexture makes one texture current on unit 0 (unit 1 off) and sets its filtering, wrap and
// coordinate generation from the record's flags ORed with the bind's; bindTextureCrossfade puts
// the same texture on both units and blends the two samples by the vertex alpha. Everything is
// set again at each bind, so no texturing state leaks between draws. Only the TEX_BIND_MASK
// bits reach OpenGL. Needs GL_ARB_multitexture and GL_ARB_texture_env_combine (checked at
// start-up).
#pragma once

#include <cstdint>

struct Texture;
using TextureFlags = uint32_t;

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
