// Effects internals, for the folder and its tests: the stages of a particle draw, the shadow
// split, the function-system state and the glow taps.
#pragma once

#include "effects/effects.h"

#include <cstdint>

// ---- Particles ----------------------------------------------------------------------------------

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

// Multiplies the receivers' factors (in receiver order) for the occluders that reach them.
void shadowSplit(const ShadowDir* receiverDirs, int32_t receiverCount,
                 const ShadowDir* occluderDirs, int32_t occluderCount, float* factors, float radius,
                 int32_t depth, float factor);
// The direct all-pairs test.
void shadowLeaf(const ShadowDir* receiverDirs, int32_t receiverCount, const ShadowDir* occluderDirs,
                int32_t occluderCount, float* factors, float radius, float factor);
void directionTo(ShadowDir* out, const Vec3* light, const Vec3* point);
float dirDot(const ShadowDir* a, const ShadowDir* b);

// ---- Iterated function system -------------------------------------------------------------------

struct IfsState {
    float ifsMatrices[IFS_MAP_COUNT][16];   // column-major, as OpenGL reads them back
    bool animationReady;                    // ifsParams and ifsChoices exist
    float ifsParams[IFS_PARAM_COUNT];
    uint8_t ifsChoices[IFS_POINT_COUNT];
};
extern IfsState ifsState;

// M x (x, y, z, 1) with M column-major; the fourth row is not used.
Vec3 applyIfsMatrix(Vec3 p, const float* m);

// ---- Glow taps ----------------------------------------------------------------------------------

// Texture-coordinate offset (s, t) of disc tap j for a level of width x height texels.
void glowDiscTapOffset(int32_t tap, float radius, int32_t width, int32_t height, float* s,
                       float* t);
// Half extent of zoom tap j about the centre: 0.5 for tap 0, 0.5 / (j x zoom / 8 + 1) after.
float glowZoomTapExtent(int32_t tap, float zoom);
