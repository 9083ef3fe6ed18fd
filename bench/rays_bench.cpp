// Per-frame cost of the ray-burst poses of Scenes 4 and 6 (2000 points, three turns each).
//
// The poses work out each ring's three turns once and apply them to its 40 points; the literal
// form beside them calls the three rotation functions for every point, which takes a cosine and
// a sine per point and axis. Both give the same points.
#include "precalc/precalc_local.h"
#include "show/scenes/rays.h"
#include "show/show_local.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

std::vector<Vec3> testRays()
{
    std::vector<Vec3> rays(RAY_POINT_COUNT);
    buildRayPoints(rays.data());
    return rays;
}

void BM_InterludeBurst(benchmark::State& state)
{
    std::vector<Vec3> rays = testRays(), out(RAY_POINT_COUNT);
    float t = 13.75f;
    for (auto _ : state) {
        computeInterludeBurst(out.data(), rays.data(), t);
        benchmark::DoNotOptimize(out.data());
        t += 0.001f;
    }
}
BENCHMARK(BM_InterludeBurst);

void BM_PulsingBurst(benchmark::State& state)
{
    std::vector<Vec3> rays = testRays(), out(RAY_POINT_COUNT);
    float a = 0;
    for (auto _ : state) {
        computeRayBurst(out.data(), rays.data(), a, a + 18);
        benchmark::DoNotOptimize(out.data());
        a += 0.001f;
    }
}
BENCHMARK(BM_PulsingBurst);

// The interlude's pose with a rotation call per point and axis.
void BM_InterludeBurstPerPoint(benchmark::State& state)
{
    std::vector<Vec3> rays = testRays(), out(RAY_POINT_COUNT);
    float time = 13.75f;
    for (auto _ : state) {
        double t = (double)time + halfPatternIndex(time);
        for (int32_t i = 0; i < RAY_POINTS_PER_RAY; i++) {
            double e = 8.0 / (i + 20);
            double w1 = std::sin(std::sin(3.87182 * t) + 1.7182 * t - 0.01 * i);
            double w2 = std::sin(std::sin(1.17819 * t) + 3.8192 * t - 0.01 * i);
            double w3 = std::sin(std::sin(1.98124 * t) + 2.7761 * t - 0.01 * i);
            for (int32_t j = 0; j < RAY_COUNT; j++) {
                Vec3 q;
                rotateAboutZ(&q, rays[j * RAY_POINTS_PER_RAY + i],
                             (float)(TWO_PI * std::sin(PI * t + e)));
                rotateAboutY(&q, q, (float)(TWO_PI * std::sin(1.9129 * t + e)));
                rotateAboutX(&q, q, (float)(TWO_PI * std::sin(0.5 * PI * t + e)));
                out[j * RAY_POINTS_PER_RAY + i] = {(float)(q.x + 3 * w1), (float)(q.y + 3 * w2),
                                                   (float)(q.z + 3 * w3)};
            }
        }
        benchmark::DoNotOptimize(out.data());
        time += 0.001f;
    }
}
BENCHMARK(BM_InterludeBurstPerPoint);

}   // namespace
