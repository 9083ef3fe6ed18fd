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
#pragma once

#include "render/render.h"
#include "texture/texture.h"

#include <cstdint>

// Particle flags: a word of their own, passed beside the RenderFlags.
constexpr int32_t PS_CULL = 1;         // only particles whose normal faces the eye, in front of it
constexpr int32_t PS_DEPTH_BLUR = 2;   // cross-fade two blur-atlas cells by depth
constexpr int32_t PS_ALPHA = 4;        // the vertex alpha is the particle alpha (else 1)
constexpr int32_t PS_SORT = 8;         // farthest first
constexpr int32_t PS_ROTATE = 16;      // rotate by the angles, or by a fixed random angle each
constexpr int32_t PS_ALL = 32;         // keep particles behind the eye too (not with PS_CULL)

constexpr int32_t PARTICLE_MAX = 100000;
constexpr int32_t PARTICLE_BATCH = 1024;
constexpr int32_t ROTATION_STEPS = 1024;

// One entry of the key array: depth key, then particle number.
struct SortPair {
    float key;
    int32_t index;
};

// The module's fixed storage, reused by every call.
struct ParticleSystemState {
    SortPair keys[PARTICLE_MAX];         // the key array; radixSortKeys sorts it in place
    SortPair sortBuffer[PARTICLE_MAX];   // the sort's other buffer
    uint32_t histogram[4][256];
    bool rotationReady;
    int32_t rotationRandom[ROTATION_STEPS];
    float rotationSin[ROTATION_STEPS];   // of m / 1024 * 2 PI - PI / 4
    float rotationCos[ROTATION_STEPS];
    uint32_t* quadIndices;   // 0, 1, 2, ... on the heap
    int32_t quadIndexCount;
};
extern ParticleSystemState particleSystem;

void drawParticles(const Vec3* positions, const Vec3* normals, const float* angles,
                   const float* sizes, const float* alphas, int32_t count, Vec3 eye, Vec3 target,
                   const Texture* texture, const uint8_t* sprites, float blurRange, float baseSize,
                   float baseAlpha, int32_t flags, RenderFlags renderFlags);

// indices and keys: the n particles to draw and their depth keys, in drawing order; right and up
// are the camera axes.
void drawParticleBatch(const Vec3* positions, const Vec3* normals, const float* angles,
                       const float* sizes, const float* alphas, const float* keys,
                       const int32_t* indices, int32_t n, Vec3 right, Vec3 up,
                       const Texture* texture, const uint8_t* sprites, float blurRange,
                       float baseSize, float baseAlpha, int32_t flags, RenderFlags renderFlags);

// indexCount / 4 quads from the quad index list: corners 3 floats, texture coordinates 2,
// colours 4 per corner.
void drawQuadBatch(const float* corners, const float* texCoords, const float* colours,
                   const uint32_t* indexList, int32_t indexCount);
void drawQuadBatchDual(const float* corners, const float* texCoords0, const float* texCoords1,
                       const float* colours, const uint32_t* indexList, int32_t indexCount);

// Sorts the first count entries of particleSystem.keys by ascending key, stably, in four 8-bit
// passes over the float bits. More than PARTICLE_MAX is fatal ("dumbass").
void radixSortKeys(int32_t count);

// The processor side of drawParticles, split out so that it can be checked and timed without a
// context.
//
// Writes (key, i) for every particle into particleSystem.keys; key = F . (position - eye) with
// F = (target - eye) / |target - eye|^2.
void computeParticleKeys(const Vec3* positions, int32_t count, Vec3 eye, Vec3 target);
// Walks the first count keys from the last to the first and keeps the ones the flags let through,
// writing their particle numbers and keys in drawing order. Returns how many were kept.
int32_t keepParticles(const Vec3* normals, int32_t count, Vec3 eye, int32_t flags,
                      int32_t* keptIndices, float* keptKeys);
// The per-corner arrays of one batch (n quads).
struct ParticleQuads {
    float* corners;      // n * 4 * 3
    float* texCoords0;   // n * 4 * 2
    float* texCoords1;   // n * 4 * 2, written with PS_DEPTH_BLUR only
    float* colours;      // n * 4 * 4
};
// Fills the rotation tables on the first call ever.
void fillParticleQuads(const Vec3* positions, const float* angles, const float* sizes,
                       const float* alphas, const float* keys, const int32_t* indices, int32_t n,
                       Vec3 right, Vec3 up, const Texture* texture, const uint8_t* sprites,
                       float blurRange, float baseSize, float baseAlpha, int32_t flags,
                       const ParticleQuads* out);
void fillRotationTables();

// Particle shadowing.

// The direction (x, y, z) from a particle towards the light, unit length, and its distance.
struct ShadowDir {
    float x, y, z;
    float distance;
};

constexpr int32_t SHADOW_DEPTH = 20;
constexpr int32_t SHADOW_LEAF_SIZE = 9;

// Returns a new heap array of one factor per receiver, 0 .. 1: factor for every occluder sphere
// of the given radius between the receiver and the light. Receivers and occluders may be the same
// array; a particle never shadows itself.
float* shadowParticles(const Vec3* receivers, int32_t receiverCount, const Vec3* occluders,
                       int32_t occluderCount, Vec3 light, float radius, float factor);
// Multiplies the receivers' factors (in receiver order) for the occluders that reach them.
void shadowSplit(const ShadowDir* receiverDirs, int32_t receiverCount,
                 const ShadowDir* occluderDirs, int32_t occluderCount, float* factors, float radius,
                 int32_t depth, float factor);
// The direct all-pairs test.
void shadowLeaf(const ShadowDir* receiverDirs, int32_t receiverCount, const ShadowDir* occluderDirs,
                int32_t occluderCount, float* factors, float radius, float factor);
void directionTo(ShadowDir* out, const Vec3* light, const Vec3* point);
float dirDot(const ShadowDir* a, const ShadowDir* b);

// One particle per vertex, and with addCentres one more per triangle, 0.3 under its centroid
// against its normal (positions and normals need room for vertexCount + triangleCount entries;
// *vertexCount grows by triangleCount). Returns a new heap array of *vertexCount + extraCount
// sizes: a quarter of the mean perimeter of the triangles around each particle (0 for a vertex
// no triangle uses), then extraCount times extraSize.
float* meshToParticles(Vec3* positions, Vec3* normals, int32_t* vertexCount,
                       const int32_t* triangles, int32_t triangleCount, int32_t extraCount,
                       float extraSize, int32_t addCentres);
