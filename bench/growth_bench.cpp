// The processor side of a Scene 5 and a Scene 9 frame, on the real grown aggregates: the
// camera, the size wave, and drawParticles' keys, sort, selection and quads for every pass the
// scene draws. Whatever the frame takes beyond this is the driver and the rasteriser.
#include "effects/effects_local.h"
#include "precalc/precalc_local.h"
#include "show/scenes/growth.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

struct ParticlePass {
    std::vector<int32_t> kept;
    std::vector<float> keptKeys, corners, t0, t1, colours;
    ParticlePass()
        : kept(PARTICLE_MAX)
        , keptKeys(PARTICLE_MAX)
        , corners(12 * PARTICLE_BATCH)
        , t0(8 * PARTICLE_BATCH)
        , t1(8 * PARTICLE_BATCH)
        , colours(16 * PARTICLE_BATCH)
    {
    }
    // As drawParticles does it, with the camera axes of a level view.
    void run(const Vec3* points, const float* sizes, const float* alphas, int32_t count, Vec3 eye,
             Vec3 target, float blurRange, float size, int32_t flags)
    {
        Texture atlas = {};
        atlas.spriteCount = 1;
        ParticleQuads quads = {corners.data(), t0.data(), t1.data(), colours.data()};
        computeParticleKeys(points, count, eye, target);
        if (flags & PS_SORT)
            radixSortKeys(count);
        int32_t n = keepParticles(nullptr, count, eye, flags, kept.data(), keptKeys.data());
        for (int32_t first = 0; first < n; first += PARTICLE_BATCH)
            fillParticleQuads(points, nullptr, sizes, alphas, keptKeys.data() + first,
                              kept.data() + first, std::min(PARTICLE_BATCH, n - first), {1, 0, 0},
                              {0, 1, 0}, &atlas, nullptr, blurRange, size, 1.0f, flags, &quads);
        benchmark::DoNotOptimize(colours.data());
    }
};

void BM_GrowthFrameProcessorWork(benchmark::State& state)
{
    std::vector<Vec3> points(GROWTH_POINT_LIMIT + GROWTH_OVERSHOOT);
    int32_t count = growAggregate(points.data(), GROWTH_AGGREGATE, nullptr);
    std::vector<float> shade((size_t)count, 0.8f);
    ParticlePass pass;
    float t = 14.0f;
    for (auto _ : state) {
        GrowthView v = growthViewAt(t);
        pass.run(points.data(), nullptr, shade.data(), count, v.eye.position, v.target, 0.1f, 0.45f,
                 PS_DEPTH_BLUR | PS_SORT | PS_ROTATE);
        t = t < 18.0f ? t + 1.0f / 240 : 14.0f;
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_GrowthFrameProcessorWork)->Unit(benchmark::kMicrosecond);

void BM_ClusterFrameProcessorWork(benchmark::State& state)
{
    std::vector<Vec3> points(CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT);
    growAggregate(points.data(), CLUSTER_AGGREGATE, nullptr);
    std::vector<float> sizes(CLUSTER_POINT_LIMIT);
    ParticlePass pass;
    const Vec3 origin = {0, 0, 0};
    float local = 0.0f;
    for (auto _ : state) {
        ClusterView v = clusterViewAt(local, local + 28.5f);
        clusterSizes(local, sizes.data(), CLUSTER_POINT_LIMIT);
        pass.run(points.data(), sizes.data(), nullptr, CLUSTER_POINT_LIMIT, v.eye.position, origin,
                 0.1f, 0.4f, PS_DEPTH_BLUR | PS_SORT);
        if (v.flash > 0)
            pass.run(points.data(), nullptr, nullptr, CLUSTER_POINT_LIMIT, v.eye.position, origin,
                     0.2f, 0.4f * v.flash * v.flash, PS_ROTATE);
        local = local < 3.75f ? local + 1.0f / 240 : -0.25f;
    }
    state.SetItemsProcessed(state.iterations() * CLUSTER_POINT_LIMIT);
}
BENCHMARK(BM_ClusterFrameProcessorWork)->Unit(benchmark::kMicrosecond);

}   // namespace
