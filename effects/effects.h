// Effects, the one header other folders include: the particle system, the iterated function
// system, the screen-space passes, the glow chain and colour fills. Their internals (sort keys,
// batch filling, shadow splitting, the function maps, glow taps) are in effects_local.h.
#pragma once

#include "render/render.h"
#include "texture/texture.h"

#include <cstdint>

// ---- Particles ----------------------------------------------------------------------------------

// Particle system with depth sort, particle shadowing and mesh particles.
//
// drawParticles draws a point set as camera-facing textured quads: it measures every particle's
// depth along the viewing axis in focal distances (1 at the target, 0 at the eye), optionally
// radix-sorts so the farthest is drawn first, drops what lies behind the eye (and with PS_CULL
// what faces away), and sends the rest in batches of PARTICLE_BATCH quads through client vertex
// arrays. Quads can be rotated, scaled, faded, show one sprite of an atlas pair, and be
// depth-blurred: two neighbouring cells of a blur atlas on two texture units, cross-faded by the
// distance from the focal plane.
//
// Limits: at most PARTICLE_MAX particles a call. A sorted draw of more ends the program with
// "dumbass"; an unsorted one draws the first PARTICLE_MAX. The caller owns every particle array;
// the module keeps only the key arrays, the histogram, the rotation tables (filled from the shared
// random generator on the first batch ever drawn) and the quad index list (grown, never shrunk).
// Per-call arrays come from the scratch pool. Not reentrant; main thread only.
//
// shadowParticles computes once, in the precalculation, how much each particle of a cloud is
// shadowed by the others under a point light, splitting the directions from the light
// recursively instead of testing all pairs. meshToParticles turns a triangle mesh into particles
// sized from the perimeters of the triangles around each vertex.

// Particle flags: a word of their own, passed beside the RenderFlags.
constexpr int32_t PS_CULL = 1;         // only particles whose normal faces the eye, in front of it
constexpr int32_t PS_DEPTH_BLUR = 2;   // cross-fade two blur-atlas cells by depth
constexpr int32_t PS_ALPHA = 4;        // the vertex alpha is the particle alpha (else 1)
constexpr int32_t PS_SORT = 8;         // farthest first
constexpr int32_t PS_ROTATE = 16;      // rotate by the angles, or by a fixed random angle each
constexpr int32_t PS_ALL = 32;         // keep particles behind the eye too (not with PS_CULL)

constexpr int32_t PARTICLE_MAX = 100000;

void drawParticles(const Vec3* positions, const Vec3* normals, const float* angles,
                   const float* sizes, const float* alphas, int32_t count, Vec3 eye, Vec3 target,
                   const Texture* texture, const uint8_t* sprites, float blurRange, float baseSize,
                   float baseAlpha, int32_t flags, RenderFlags renderFlags);

// Returns a new heap array of one factor per receiver, 0 .. 1: factor for every occluder sphere
// of the given radius between the receiver and the light. Receivers and occluders may be the same
// array; a particle never shadows itself.
float* shadowParticles(const Vec3* receivers, int32_t receiverCount, const Vec3* occluders,
                       int32_t occluderCount, Vec3 light, float radius, float factor);

// One particle per vertex, and with addCentres one more per triangle, 0.3 under its centroid
// against its normal (positions and normals need room for vertexCount + triangleCount entries;
// *vertexCount grows by triangleCount). Returns a new heap array of *vertexCount + extraCount
// sizes: a quarter of the mean perimeter of the triangles around each particle (0 for a vertex
// no triangle uses), then extraCount times extraSize.
float* meshToParticles(Vec3* positions, Vec3* normals, int32_t* vertexCount,
                       const int32_t* triangles, int32_t triangleCount, int32_t extraCount,
                       float extraSize, int32_t addCentres);

// ---- Iterated function system -------------------------------------------------------------------

// Iterated function system: fractal point clouds built and animated on the model-view stack.
//
// Four affine maps; a single orbit from the origin picks one of them at every step and every
// visited point becomes a particle. The maps are made with OpenGL's own matrix calls on the
// model-view stack and read back, so they follow its conventions exactly; both operations need
// the context current, and leave the model-view matrix as they found it.
//
// buildIfsCloud runs once in the precalculation: it seeds the random generator itself, fills
// fractalPoints and fractalSizes and allocates ifsPoints. animateIfs rewrites ifsPoints every
// frame from time-dependent maps; the parameters and the sequence of map choices are drawn from
// the random generator on its first call only, so the cloud morphs smoothly.

constexpr int32_t IFS_MAP_COUNT = 4;
constexpr int32_t FRACTAL_POINT_COUNT = 2048;
constexpr int32_t IFS_POINT_COUNT = 8192;
constexpr int32_t IFS_PARAM_COUNT = 256;

// Outputs, on the heap, never freed.
extern Vec3* fractalPoints;   // FRACTAL_POINT_COUNT
extern float* fractalSizes;   // FRACTAL_POINT_COUNT
extern Vec3* ifsPoints;       // IFS_POINT_COUNT

void buildIfsCloud();
void animateIfs(float time);

// ---- Screen passes ------------------------------------------------------------------------------

// Screen-space passes (image layers, screen quads, tiles, grid warps), the glow chain and fills.
//
// Every pass covers the letterbox, or the 512 x 256 corner of the frame buffer when the flags
// carry RENDER_TO_TEXTURE, with quads at depth nearPlane + 0.001 in the orthographic view (the
// screen quads: at depth 0). Each brackets itself with pushRenderState / popRenderState, so the
// enables, matrices and attribute groups come back as they were; the blend function it set stays
// (the colour-buffer group is not saved). The passes marked "not bracketed" leave their state
// set. The glow chain needs a window of at least 512 x 256 for its corner copies.

// ---- Image layers and grid warps -----------------------------------------------------------

// A full-screen quad whose texture is rotated (degrees) and scaled by zoom / divisor about its
// centre, then panned. A scale above 1 shows more of the texture, so the image looks smaller;
// with TEX_CLAMP the border texels fill the rest. The colour is (alpha, alpha, alpha, alpha), or
// (1, 1, 1, alpha) under RENDER_ALPHA_BLEND. Blending follows applyRenderFlags.
void drawScreenImage(const Texture* texture, float panS, float panT, float divisor, float zoomS,
                     float zoomT, float angle, float alpha, RenderFlags flags);

// The whole texture over the screen, coloured (brightness) in all four channels, blended by the
// first of RENDER_ADD, RENDER_MUL_INVERSE, RENDER_MUL, RENDER_ALPHA_BLEND (no alpha test),
// RENDER_SCREEN in the flags, or replacing the picture when none is set.
void drawScreenTexture(const Texture* texture, float brightness, RenderFlags flags);
// The same showing only the texture inside a margin on every side: 0.25 magnifies the centre
// half to the full screen.
void drawScreenTextureInset(const Texture* texture, float brightness, float margin,
                            RenderFlags flags);

// One corner of a quad in a screen pass: its position in the pass's -1 ... 1 square and its
// texture coordinate.
struct ScreenCorner {
    float x, y;
    float s, t;
};

// quadCount quads of four corners each, in one batch at depth 0, in the pass that
// beginScreenPass(flags) sets up, the texture bound under its own flags and coloured
// (brightness) in all four channels. Not bracketed: the pass state stays for what follows.
void drawScreenQuads(const Texture* texture, const ScreenCorner* corners, int32_t quadCount,
                     float brightness, RenderFlags flags);

// Two layers of an image scrolled scroll texture heights along t: the first over the left half
// of the screen at full height (texture t from scroll at the top to scroll + 1), the second over
// the whole screen at half height (scroll to scroll + 0.5). Mirrored puts the first on the right
// half and turns both left to right. Writes SCROLLING_LAYER_QUADS x 4 corners (pure).
constexpr int32_t SCROLLING_LAYER_QUADS = 2;
void scrollingLayerCorners(ScreenCorner* corners, float scroll, bool mirrored);

// The texture tiled repeatS x repeatT times over the letterbox from (offsetS, offsetT), white,
// in the orthographic view under applyRenderFlags(flags) with lighting and fog off. Not
// bracketed: the texture matrix stays scaled.
void drawScreenTiles(const Texture* texture, float offsetS, float offsetT, float repeatS,
                     float repeatT, RenderFlags flags);

// The callback of drawGridWarp: writes the texture coordinate (s, t, r) of one grid vertex
// (x, y in 0 ... 1) into out and returns out. centre is always the zero vector. It must not keep
// the pointers.
using GridWarpFn = Vec3* (*)(Vec3* out, float time, const Vec3* vertex, const Vec3* centre,
                             float parameter, float amplitude);

// A grid of columns x rows quads over the screen, textured through the callback, called once
// per vertex, rows from y = 0 up and each row from x = 0 across: (columns + 1) x (rows + 1)
// calls. A grid without cells draws nothing.
void drawGridWarp(const Texture* texture, int32_t columns, int32_t rows, float time,
                  GridWarpFn warp, float parameter, float amplitude, RenderFlags flags);

// ---- Text ---------------------------------------------------------------------------------

// Lines of text from a font atlas laid out on the data list's grid (FONT_COLUMNS x FONT_ROWS
// cells, code 0 top left), in window pixels: the first line's top left at (left, top) counted
// from the window's top left, each character cellWidth x cellHeight, blended over the picture by
// the texture's alpha. Codes outside 32 ... 126 are drawn as spaces. Anywhere in the window, not
// only the letterbox. Leaves every state as it found it, the projection, blending and the camera
// values included.
void drawScreenText(const Texture* font, const char* const* lines, int32_t lineCount, int32_t left,
                    int32_t top, int32_t cellWidth, int32_t cellHeight);

// ---- Glow chain and fills ------------------------------------------------------------------
//
// A build copies the 512 x 256 corner into level 0 and makes every further level from the one
// before at half the size through eight averaged taps, spread on a disc (radius in texels of
// the level made) or magnified about the centre (zoom: tap j by 1 + j x zoom / 8). The tint
// colours the first reduction; a non-zero square multiplies level 1 by itself. The draws clear
// the frame and add the levels back full-screen.

constexpr int32_t GLOW_TAPS = 8;

// Four floats each (red, green, blue, alpha).
extern const float whiteTint[4];   // (1, 1, 1, 1)
extern const float greyTint[4];    // (0.5, 0.5, 0.5, 1)

void buildGlowChainDisc(const ScreenChain* chain, int32_t square, float radius, const float* tint);
void buildGlowChainZoom(const ScreenChain* chain, int32_t square, float zoom, const float* tint);
void drawGlowChain(const ScreenChain* chain, RenderFlags flags);
// Leaves out the sharpest levels: with start (clamped to 0 ... 1) x count = k + e, levels from
// k + 1 are drawn white and level k at 1 - e. Start 1 draws nothing over the cleared frame.
void drawGlowChainFrom(const ScreenChain* chain, float start, RenderFlags flags);

// Which levels drawGlowChainFrom adds and the weight of the first (pure).
struct GlowLevels {
    int32_t first;       // count when nothing is drawn
    float firstWeight;   // the others are drawn at weight 1
};
GlowLevels glowLevelsFrom(int32_t count, float start);

// One colour (four floats) over the pass area under the flags' blending.
void fillScreen(const float* colour, RenderFlags flags);

// Adds (grey, grey, grey, 1) over the letterbox in the orthographic view. Not bracketed: leaves
// blending on (one, one) and texturing, fog, culling, depth test and lighting off.
void addScreenGrey(float grey);
// Alpha 1 over the pass area of beginScreenPass(flags); the colour channels are left as they
// are. Not bracketed.
void fillScreenAlpha(RenderFlags flags);
