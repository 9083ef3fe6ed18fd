// The quads of one particle batch: corners from the camera axes, texture coordinates (one
// sprite of a pair, or two neighbouring blur-atlas cells) and vertex colours. No OpenGL here.
#include "effects/effects_local.h"

#include "support/support.h"

#include <cmath>

namespace {

constexpr int32_t BLUR_LEVELS = 10;
constexpr float DEEPEST_BLUR = 9.0f;

// Corner j (0..3) of blur level L: u then v. Level 10 stands for "nothing": it is only read at
// level 9, where its weight is 0.
inline float cellCoordinate(int32_t level, int32_t j)
{
    return level < BLUR_LEVELS ? BLUR_ATLAS_CELLS[level][j] : 0.0f;
}

// Blur level and fraction for a depth key: |1/z - 1| * z / blurRange, i.e. |1 - z| / blurRange
// in front of the eye. A key of 0 (a particle at the eye, drawn only with PS_ALL) has no defined
// level; it is as far out of focus as can be, level 9.
inline void blurLevel(float z, float blurRange, int32_t* level, float* fraction)
{
    float t = std::fabs(1.0f / z - 1.0f) * z / blurRange;
    if (!(t == t) || t > DEEPEST_BLUR)   // NaN included
        t = DEEPEST_BLUR;
    if (t < 0.0f)
        t = 0.0f;
    *level = (int32_t)t;
    *fraction = t - (float)*level;
}

// angles are fractions of a turn; 1023 steps of them, wrapped into the table both ways.
inline int32_t rotationIndex(float angle)
{
    float steps = angle * 1023.0f;
    if (!(std::fabs(steps) < 2147483520.0f))
        return 0;
    return (int32_t)steps & (ROTATION_STEPS - 1);
}

}   // namespace

void fillRotationTables()
{
    ParticleSystemState& ps = particleSystem;
    for (int32_t m = 0; m < ROTATION_STEPS; m++) {
        ps.rotationRandom[m] = randomInt15();
        // The quarter turn back makes an unrotated quad square to the screen.
        double theta = (double)m / ROTATION_STEPS * TWO_PI - PI / 4.0;
        ps.rotationSin[m] = (float)std::sin(theta);
        ps.rotationCos[m] = (float)std::cos(theta);
    }
    ps.rotationReady = true;
}

void fillParticleQuads(const Vec3* positions, const float* angles, const float* sizes,
                       const float* alphas, const float* keys, const int32_t* indices, int32_t n,
                       Vec3 right, Vec3 up, const Texture* texture, const uint8_t* sprites,
                       float blurRange, float baseSize, float baseAlpha, int32_t flags,
                       const ParticleQuads* out)
{
    ParticleSystemState& ps = particleSystem;
    if (!ps.rotationReady)
        fillRotationTables();
    bool pair = texture->spriteCount == 2 && sprites;
    float width = texture->spriteCount == 2 ? 0.5f : 1.0f;
    bool rotate = (flags & PS_ROTATE) != 0;
    bool blur = (flags & PS_DEPTH_BLUR) != 0;
    bool alphaChannel = (flags & PS_ALPHA) != 0;

    for (int32_t k = 0; k < n; k++) {
        int32_t p = indices[k];
        float offset = pair ? 0.5f * sprites[p] : 0.0f;
        float size = sizes ? baseSize * sizes[p] : baseSize;
        float alpha = alphas ? alphas[p] * baseAlpha : baseAlpha;
        int32_t m = 0;
        if (rotate)
            m = angles ? rotationIndex(angles[p])
                       : ps.rotationRandom[p & (ROTATION_STEPS - 1)] & (ROTATION_STEPS - 1);

        // Corner 0 is the upper left of an unrotated quad, then clockwise on the screen.
        const Vec3& P = positions[p];
        float A = size * ps.rotationSin[m], B = size * ps.rotationCos[m];
        float ax = A * right.x, ay = A * right.y, az = A * right.z;   // A right
        float bx = B * right.x, by = B * right.y, bz = B * right.z;   // B right
        float cx = A * up.x, cy = A * up.y, cz = A * up.z;            // A up
        float dx = B * up.x, dy = B * up.y, dz = B * up.z;            // B up
        float* c = out->corners + 12 * k;
        c[0] = P.x + ax + dx;
        c[1] = P.y + ay + dy;
        c[2] = P.z + az + dz;
        c[3] = P.x + bx - cx;
        c[4] = P.y + by - cy;
        c[5] = P.z + bz - cz;
        c[6] = P.x - ax - dx;
        c[7] = P.y - ay - dy;
        c[8] = P.z - az - dz;
        c[9] = P.x - bx + cx;
        c[10] = P.y - by + cy;
        c[11] = P.z - bz + cz;

        float* t0 = out->texCoords0 + 8 * k;
        float* colour = out->colours + 16 * k;
        float r, a;
        if (!blur) {
            t0[0] = offset;
            t0[1] = 0.0f;
            t0[2] = offset + width;
            t0[3] = 0.0f;
            t0[4] = offset + width;
            t0[5] = 1.0f;
            t0[6] = offset;
            t0[7] = 1.0f;
            r = alpha;
            a = alphaChannel ? alpha : 1.0f;
        } else {
            int32_t level;
            float f;
            blurLevel(keys[k], blurRange, &level, &f);
            // Unit 1 mixes unit 0's texel times D with its own by the vertex alpha C:
            // C D cell L + (1 - C) cell L+1 = alpha ((1 - f) cell L + f cell L+1).
            a = 1.0f - alpha * f;
            r = a > 0.0f ? alpha * (1.0f - f) / a : 1.0f;
            float* t1 = out->texCoords1 + 8 * k;
            for (int32_t j = 0; j < 8; j += 2) {
                t0[j] = offset + cellCoordinate(level, j) * width;
                t0[j + 1] = cellCoordinate(level, j + 1);
                t1[j] = offset + cellCoordinate(level + 1, j) * width;
                t1[j + 1] = cellCoordinate(level + 1, j + 1);
            }
        }
        for (int32_t j = 0; j < 16; j += 4) {
            colour[j] = r;
            colour[j + 1] = r;
            colour[j + 2] = r;
            colour[j + 3] = a;
        }
    }
}
