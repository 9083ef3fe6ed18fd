// Vector helpers, clamps and the closed Catmull-Rom spline.
#include "support/support_local.h"

#include <cmath>

Vec3* makeVec3(Vec3* out, float x, float y, float z)
{
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

long double dot3(const Vec3* a, const Vec3* b)
{
    return (long double)a->x * b->x + (long double)a->y * b->y + (long double)a->z * b->z;
}

void normalize3(Vec3* v)
{
    float k = (float)(1.0 / std::sqrt((double)dot3(v, v)));
    v->x *= k;
    v->y *= k;
    v->z *= k;
}

Vec3* triangleNormal(const Vec3* a, const Vec3* b, const Vec3* c, Vec3* out)
{
    Vec3 d = {a->x - c->x, a->y - c->y, a->z - c->z};
    Vec3 e = {b->x - c->x, b->y - c->y, b->z - c->z};
    Vec3 n = {d.y * e.z - d.z * e.y, d.z * e.x - d.x * e.z, d.x * e.y - d.y * e.x};
    *out = n;
    normalize3(out);
    return out;
}

float clamp01(float x)
{
    if (!(x >= 0.0f))   // also catches NaN
        return 0.0f;
    if (x > 1.0f)
        return 1.0f;
    return x;
}

int32_t clampByte(int32_t i)
{
    if (i < 0)
        return 0;
    if (i > 255)
        return 255;
    return i;
}

int32_t wrapIndex(int32_t i, int32_t n)
{
    return (i + n) % n;
}

Vec3* splinePoint(Vec3* out, float u, const Splinept* points, int32_t n)
{
    float s = (float)n * u;
    int32_t k = (int32_t)std::floor(s);
    float f = s - (float)k;
    k = k % n;
    // A negative parameter leaves k in (-n, 0); lift it into the ring so that k - 2 stays
    // within the range wrapIndex handles (the same points where it already did).
    if (k < 0)
        k += n;

    const Splinept& p0 = points[wrapIndex(k - 2, n)];
    const Splinept& p1 = points[wrapIndex(k - 1, n)];
    const Splinept& p2 = points[wrapIndex(k, n)];
    const Splinept& p3 = points[wrapIndex(k + 1, n)];

    float h = f * f * (3.0f - 2.0f * f);
    float w3 = -f * f * (1.0f - f) / 2.0f;
    float w0 = -f * (1.0f - f) * (1.0f - f) / 2.0f;
    float w1 = 1.0f - h - w3;
    float w2 = h - w0;

    out->x = w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x;
    out->y = w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y;
    out->z = w0 * p0.z + w1 * p1.z + w2 * p2.z + w3 * p3.z;
    return out;
}

int32_t nextPowerOfTwo(int32_t n)
{
    for (int i = 0; i < 16; i++) {
        int32_t p = (int32_t)std::pow(2.0, i);
        int32_t q = (int32_t)std::pow(2.0, i + 1);
        if (p < n && q >= n)
            return q;
    }
    return 0;
}
