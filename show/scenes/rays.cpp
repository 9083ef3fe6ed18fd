// Rotations and the ray-burst poses of Scenes 4 and 6.
#include "show/scenes/rays.h"

#include "precalc/precalc.h"
#include "show/show_local.h"

#include <cmath>

namespace {

// The cosine and sine of one rotation, worked out once for every point it turns.
struct Turn {
    double c, s;
};

Turn turnOf(float a)
{
    return {std::cos((double)a), std::sin((double)a)};
}

Vec3 turnX(Vec3 v, Turn r)
{
    return {v.x, (float)(v.y * r.c - v.z * r.s), (float)(v.y * r.s + v.z * r.c)};
}

Vec3 turnY(Vec3 v, Turn r)
{
    return {(float)(v.x * r.c + v.z * r.s), v.y, (float)(v.z * r.c - v.x * r.s)};
}

Vec3 turnZ(Vec3 v, Turn r)
{
    return {(float)(v.x * r.c - v.y * r.s), (float)(v.x * r.s + v.y * r.c), v.z};
}

// One ring of a pose: the three turns (Z first, then Y, then X) and the offset added after them.
struct RingMotion {
    Turn z, y, x;
    double dx, dy, dz;
};

void placeRing(Vec3* out, const Vec3* rays, int32_t ring, const RingMotion& m)
{
    for (int32_t j = 0; j < RAY_COUNT; j++) {
        int32_t n = j * RAY_POINTS_PER_RAY + ring;
        Vec3 q = turnX(turnY(turnZ(rays[n], m.z), m.y), m.x);
        out[n] = {(float)(q.x + m.dx), (float)(q.y + m.dy), (float)(q.z + m.dz)};
    }
}

}   // namespace

Vec3* rotateAboutX(Vec3* out, Vec3 v, float a)
{
    *out = turnX(v, turnOf(a));
    return out;
}

Vec3* rotateAboutY(Vec3* out, Vec3 v, float a)
{
    *out = turnY(v, turnOf(a));
    return out;
}

Vec3* rotateAboutZ(Vec3* out, Vec3 v, float a)
{
    *out = turnZ(v, turnOf(a));
    return out;
}

void computeInterludeBurst(Vec3* out, const Vec3* rays, float time)
{
    double t = (double)time + halfPatternIndex(time);
    double sway1 = std::sin(3.87182 * t) + 1.7182 * t;
    double sway2 = std::sin(1.17819 * t) + 3.8192 * t;
    double sway3 = std::sin(1.98124 * t) + 2.7761 * t;
    for (int32_t i = 0; i < RAY_POINTS_PER_RAY; i++) {
        double lead = 8.0 / (i + 20);   // the inner points lead
        RingMotion m;
        m.z = turnOf((float)(TWO_PI * std::sin(PI * t + lead)));
        m.y = turnOf((float)(TWO_PI * std::sin(1.9129 * t + lead)));
        m.x = turnOf((float)(TWO_PI * std::sin(0.5 * PI * t + lead)));
        m.dx = 3 * std::sin(sway1 - 0.01 * i);
        m.dy = 3 * std::sin(sway2 - 0.01 * i);
        m.dz = 3 * std::sin(sway3 - 0.01 * i);
        placeRing(out, rays, i, m);
    }
}

void computeRayBurst(Vec3* out, const Vec3* rays, float local, float t)
{
    double pose = (double)halfPatternIndex(t) + local;
    double wobble1 = std::sin(pose * 3.87182) + pose * 2.7182;
    double wobble2 = std::sin(pose * 1.17819) + pose * 3.8192;
    double wobble3 = std::sin(pose * 2.98124) + pose * 2.1761;
    for (int32_t k = 0; k < RAY_POINTS_PER_RAY; k++) {
        double lead = 8.0 / (k + 20);
        RingMotion m;
        m.z = turnOf((float)(TWO_PI * std::sin(pose * PI + lead)));
        m.y = turnOf((float)(TWO_PI * std::sin(pose * 2.9129 + lead)));
        m.x = turnOf((float)(TWO_PI * std::sin(pose * PI * 0.5 + lead)));
        // The bump leaves the centre on every odd beat and runs out along the ray.
        double bump =
            0.75 * std::pow(0.5 + 0.5 * std::cos((local + 0.0625) * 16 * PI - 0.08 * k), 12);
        m.dx = 3 * std::sin(wobble1 - 0.01 * k);
        m.dy = 3 * std::sin(wobble2 - 0.01 * k) + bump;
        m.dz = 3 * std::sin(wobble3 - 0.01 * k);
        placeRing(out, rays, k, m);
    }
}
