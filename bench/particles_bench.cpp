// Per-frame cost of the particle system, the shadowing split and the animated fractal.
//
// drawParticles' processor work: keys, radix sort, selection and the quads of every batch, for
// 16384 sorted, depth-blurred, rotated particles. The radix sort and the split shadowing each
// run beside the obvious alternative on the same input; the ratio is in the counters.
#include "app/app.h"
#include "effects/effects_local.h"
#include "support/support.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

constexpr int32_t CLOUD = 16384;

std::vector<Vec3> randomCloud(int32_t n, float extent, uint32_t seed)
{
    randomSeed = seed;
    std::vector<Vec3> points((size_t)n);
    for (Vec3& p : points)
        p = {(randomUnit() - 0.5f) * extent, (randomUnit() - 0.5f) * extent,
             (randomUnit() - 0.5f) * extent};
    return points;
}

const Vec3 EYE = {0.0f, 10.0f, 60.0f};
const Vec3 TARGET = {0.0f, 0.0f, 0.0f};

void BM_DrawParticlesProcessorWork(benchmark::State& state)
{
    std::vector<Vec3> cloud = randomCloud(CLOUD, 40.0f, 3);
    std::vector<float> angles((size_t)CLOUD), sizes((size_t)CLOUD);
    for (int32_t i = 0; i < CLOUD; i++) {
        angles[i] = randomUnit();
        sizes[i] = 0.5f + randomUnit();
    }
    Texture atlas = {};
    atlas.spriteCount = 1;
    Vec3 right = {1.0f, 0.0f, 0.0f}, up = {0.0f, 1.0f, 0.0f};
    int32_t flags = PS_DEPTH_BLUR | PS_SORT | PS_ROTATE;
    std::vector<int32_t> kept((size_t)CLOUD);
    std::vector<float> keptKeys((size_t)CLOUD);
    std::vector<float> corners(12 * PARTICLE_BATCH), t0(8 * PARTICLE_BATCH), t1(8 * PARTICLE_BATCH),
        colours(16 * PARTICLE_BATCH);
    ParticleQuads quads = {corners.data(), t0.data(), t1.data(), colours.data()};
    for (auto _ : state) {
        computeParticleKeys(cloud.data(), CLOUD, EYE, TARGET);
        radixSortKeys(CLOUD);
        int32_t n = keepParticles(nullptr, CLOUD, EYE, flags, kept.data(), keptKeys.data());
        for (int32_t first = 0; first < n; first += PARTICLE_BATCH) {
            int32_t batch = std::min(PARTICLE_BATCH, n - first);
            fillParticleQuads(cloud.data(), angles.data(), sizes.data(), nullptr,
                              keptKeys.data() + first, kept.data() + first, batch, right, up,
                              &atlas, nullptr, 0.2f, 1.5f, 1.0f, flags, &quads);
        }
        benchmark::DoNotOptimize(colours.data());
    }
    state.SetItemsProcessed(state.iterations() * CLOUD);
}
BENCHMARK(BM_DrawParticlesProcessorWork)->Unit(benchmark::kMicrosecond);

double secondsOf(void (*work)(void*), void* data, int repeats)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeats; i++)
        work(data);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
           repeats;
}

struct SortInput {
    std::vector<SortPair> keys;
};

void radixWork(void* data)
{
    SortInput* in = (SortInput*)data;
    std::copy(in->keys.begin(), in->keys.end(), particleSystem.keys);
    radixSortKeys((int32_t)in->keys.size());
    benchmark::DoNotOptimize(particleSystem.keys[0]);
}

void stableSortWork(void* data)
{
    SortInput* in = (SortInput*)data;
    std::copy(in->keys.begin(), in->keys.end(), particleSystem.keys);
    std::stable_sort(particleSystem.keys, particleSystem.keys + in->keys.size(),
                     [](const SortPair& a, const SortPair& b) { return a.key < b.key; });
    benchmark::DoNotOptimize(particleSystem.keys[0]);
}

// Same keys as the particle draw; the ratio stable_sort / radix is in the counters.
void BM_RadixSortAgainstStableSort(benchmark::State& state)
{
    std::vector<Vec3> cloud = randomCloud(CLOUD, 40.0f, 3);
    computeParticleKeys(cloud.data(), CLOUD, EYE, TARGET);
    SortInput input = {std::vector<SortPair>(particleSystem.keys, particleSystem.keys + CLOUD)};
    double radix = 0.0, stable = 0.0;
    for (auto _ : state) {
        radix = secondsOf(radixWork, &input, 20);
        stable = secondsOf(stableSortWork, &input, 20);
    }
    state.counters["radix_us"] = radix * 1e6;
    state.counters["stable_sort_us"] = stable * 1e6;
    state.counters["stable_over_radix"] = stable / radix;
}
BENCHMARK(BM_RadixSortAgainstStableSort)->Unit(benchmark::kMillisecond)->Iterations(3);

// The growth aggregate's set-up: light (0, 30, 100), radius 0.45, factor 0.97, a cloud whose
// particles lie about as close as the aggregate's.
void BM_ShadowSplitAgainstAllPairs(benchmark::State& state)
{
    std::vector<Vec3> cloud = randomCloud(CLOUD, 30.0f, 11);
    Vec3 light = {0.0f, 30.0f, 100.0f};
    std::vector<ShadowDir> dirs((size_t)CLOUD);
    for (int32_t i = 0; i < CLOUD; i++)
        directionTo(&dirs[i], &light, &cloud[i]);
    std::vector<float> leafFactors((size_t)CLOUD);
    double split = 0.0, allPairs = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        float* factors =
            shadowParticles(cloud.data(), CLOUD, cloud.data(), CLOUD, light, 0.45f, 0.97f);
        auto middle = std::chrono::steady_clock::now();
        std::fill(leafFactors.begin(), leafFactors.end(), 1.0f);
        shadowLeaf(dirs.data(), CLOUD, dirs.data(), CLOUD, leafFactors.data(), 0.45f, 0.97f);
        auto end = std::chrono::steady_clock::now();
        split = std::chrono::duration<double>(middle - start).count();
        allPairs = std::chrono::duration<double>(end - middle).count();
        benchmark::DoNotOptimize(factors[0]);
        std::free(factors);
    }
    state.counters["split_ms"] = split * 1e3;
    state.counters["all_pairs_ms"] = allPairs * 1e3;
    state.counters["all_pairs_over_split"] = allPairs / split;
}
BENCHMARK(BM_ShadowSplitAgainstAllPairs)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_AnimateIfs(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!openHiddenDisplay(64, 64)) {
        state.SkipWithError("no OpenGL context");
        return;
    }
    float t = 0.0f;
    for (auto _ : state) {
        animateIfs(t);
        t += 0.01f;
        benchmark::DoNotOptimize(ifsPoints[IFS_POINT_COUNT - 1]);
    }
    state.SetItemsProcessed(state.iterations() * IFS_POINT_COUNT);
}
BENCHMARK(BM_AnimateIfs)->Unit(benchmark::kMicrosecond);

}   // namespace
