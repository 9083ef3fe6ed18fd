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
#pragma once

#include "render/render.h"
#include "texture/texture.h"

#include <cstdint>

constexpr int32_t IFS_MAP_COUNT = 4;
constexpr int32_t FRACTAL_POINT_COUNT = 2048;
constexpr int32_t IFS_POINT_COUNT = 8192;
constexpr int32_t IFS_PARAM_COUNT = 256;

struct IfsState {
    float ifsMatrices[IFS_MAP_COUNT][16];   // column-major, as OpenGL reads them back
    bool animationReady;                    // ifsParams and ifsChoices exist
    float ifsParams[IFS_PARAM_COUNT];
    uint8_t ifsChoices[IFS_POINT_COUNT];
};
extern IfsState ifsState;

// Outputs, on the heap, never freed.
extern Vec3* fractalPoints;   // FRACTAL_POINT_COUNT
extern float* fractalSizes;   // FRACTAL_POINT_COUNT
extern Vec3* ifsPoints;       // IFS_POINT_COUNT

// M x (x, y, z, 1) with M column-major; the fourth row is not used.
Vec3 applyIfsMatrix(Vec3 p, const float* m);
void buildIfsCloud();
void animateIfs(float time);
