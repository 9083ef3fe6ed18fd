// Iterated function system: the fixed fractal cloud of the precalculation and the animated one.
#include "effects/effects_local.h"

#include "render/gl.h"
#include "support/support.h"

#include <cmath>
#include <cstdlib>

IfsState ifsState;
Vec3* fractalPoints = nullptr;
float* fractalSizes = nullptr;
Vec3* ifsPoints = nullptr;

Vec3 applyIfsMatrix(Vec3 p, const float* m)
{
    Vec3 r;
    r.x = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
    r.y = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
    r.z = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
    return r;
}

namespace {

constexpr uint32_t FRACTAL_SHAPE_SEED = 7775149;
constexpr uint32_t FRACTAL_ORBIT_SEED = 1776291;
constexpr uint32_t ANIMATION_SEED = 231892;
constexpr float FRACTAL_SCALE = 128.0f;
constexpr float ANIMATION_SCALE = 32.0f;

// Each map is made from the identity on the model-view matrix; the caller brackets the calls.
void beginMap()
{
    glLoadIdentity();
}

void endMap(int32_t k)
{
    glGetFloatv(GL_MODELVIEW_MATRIX, ifsState.ifsMatrices[k]);
}

void buildFixedMaps()
{
    beginMap();
    glRotatef(30.0f, 1.0f, 1.0f, 1.0f);
    glScalef(0.8f, 0.8f, 0.8f);
    endMap(0);
    for (int32_t k = 1; k < IFS_MAP_COUNT; k++) {
        float u[12];
        for (int32_t j = 1; j <= 11; j++)
            u[j] = randomUnit();
        beginMap();
        glRotatef(u[4] * 360.0f, u[3] - 0.5f, u[2] - 0.5f, u[1] - 0.5f);
        glTranslatef((u[7] - 0.5f) * 2.0f, (u[6] - 0.5f) * 2.0f, (u[5] - 0.5f) * 2.0f);
        glScalef(0.3f, -0.4f, 0.3f);
        glRotatef(u[11] * 360.0f, u[10] - 0.5f, u[9] - 0.5f, u[8] - 0.5f);
        endMap(k);
    }
}

void buildAnimatedMaps(float t)
{
    const float* P = ifsState.ifsParams;
    beginMap();
    glRotatef(5.0f * t + 45.0f, P[0], P[1], P[2]);
    glScalef(0.7f, 0.7f, 0.7f);
    endMap(0);
    // The parameter indices overlap between maps on purpose: the shapes were tuned with them.
    for (int32_t k = 1; k < IFS_MAP_COUNT; k++) {
        beginMap();
        glRotatef((P[3 + k] + 0.5f) * 180.0f, P[10 + k], P[14 + k], P[18 + k]);
        glTranslatef(2.0f * P[22 + k], 2.0f * P[26 + k], 2.0f * P[30 + k]);
        glScalef(-0.5f, 0.5f, -0.5f);
        glRotatef(t * (P[34 + k] + 0.5f) * 180.0f, P[36 + k], P[40 + k], P[44 + k]);
        endMap(k);
    }
}

// The maps are written through the model-view matrix; whatever the caller had there comes back.
struct ModelViewScope {
    GLint mode = 0;
    ModelViewScope()
    {
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
    }
    ~ModelViewScope()
    {
        glPopMatrix();
        glMatrixMode((GLenum)mode);
    }
};

}   // namespace

void buildIfsCloud()
{
    randomSeed = FRACTAL_SHAPE_SEED;
    uint8_t pick[256];
    for (int32_t i = 0; i < 256; i++)
        pick[i] = i < 128 ? (uint8_t)(i & 3) : 0;   // map 0 five times in eight
    {
        ModelViewScope scope;
        buildFixedMaps();
    }

    if (!fractalPoints) {
        fractalPoints = (Vec3*)std::malloc(sizeof(Vec3) * FRACTAL_POINT_COUNT);
        fractalSizes = (float*)std::malloc(sizeof(float) * FRACTAL_POINT_COUNT);
    }
    if (!ifsPoints)
        ifsPoints = (Vec3*)std::calloc(IFS_POINT_COUNT, sizeof(Vec3));
    randomSeed = FRACTAL_ORBIT_SEED;

    // No points are discarded: the first ones trace the path from the origin into the attractor.
    Vec3 p = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < FRACTAL_POINT_COUNT; i++) {
        p = applyIfsMatrix(p, ifsState.ifsMatrices[pick[randomByte()]]);
        fractalPoints[i] = {p.x * FRACTAL_SCALE, p.y * FRACTAL_SCALE, p.z * FRACTAL_SCALE};
        fractalSizes[i] = 10.0f * std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) + 0.01f;
    }
}

void animateIfs(float time)
{
    if (!ifsState.animationReady) {
        randomSeed = ANIMATION_SEED;
        for (int32_t i = 0; i < IFS_PARAM_COUNT; i++)
            ifsState.ifsParams[i] = randomUnit() - 0.5f;
        for (int32_t i = 0; i < IFS_POINT_COUNT; i++)
            ifsState.ifsChoices[i] = (uint8_t)(randomInt15() & 255);
        ifsState.animationReady = true;
    }
    // The cloud is normally allocated by buildIfsCloud; a scene run without the precalculation
    // still gets somewhere to write.
    if (!ifsPoints)
        ifsPoints = (Vec3*)std::calloc(IFS_POINT_COUNT, sizeof(Vec3));
    {
        ModelViewScope scope;
        buildAnimatedMaps(time);
    }

    // All four maps are equally likely: the pick table is i AND 3.
    Vec3 p = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < IFS_POINT_COUNT; i++) {
        p = applyIfsMatrix(p, ifsState.ifsMatrices[ifsState.ifsChoices[i] & 3]);
        ifsPoints[i] = {p.x * ANIMATION_SCALE, p.y * ANIMATION_SCALE, p.z * ANIMATION_SCALE};
    }
}
