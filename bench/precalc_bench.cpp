// The point sets of the precalculation, and the grid search of the grown aggregates against
// the plain scan it replaces.
#include "precalc/precalc_local.h"
#include "support/support.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_growthAggregate(benchmark::State& state)
{
    bool plain = state.range(0) != 0;
    std::vector<Vec3> points(GROWTH_POINT_LIMIT + GROWTH_OVERSHOOT);
    for (auto _ : state) {
        randomSeed = 12345;
        int32_t count = plain ? growAggregateLiteral(points.data(), GROWTH_AGGREGATE, nullptr)
                              : growAggregate(points.data(), GROWTH_AGGREGATE, nullptr);
        benchmark::DoNotOptimize(count);
    }
    state.SetLabel(plain ? "plain scan" : "grid search");
}
BENCHMARK(BM_growthAggregate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_clusterAggregate(benchmark::State& state)
{
    std::vector<Vec3> points(CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT);
    for (auto _ : state) {
        randomSeed = 12345;
        benchmark::DoNotOptimize(growAggregate(points.data(), CLUSTER_AGGREGATE, nullptr));
    }
}
BENCHMARK(BM_clusterAggregate)->Unit(benchmark::kMillisecond);

void BM_pathSwarmRays(benchmark::State& state)
{
    std::vector<Vec3> path(PATH_POINT_COUNT), swarm(SWARM_POINT_COUNT), rays(RAY_POINT_COUNT);
    for (auto _ : state) {
        buildPathPoints(path.data());
        buildSwarmPoints(swarm.data());
        buildRayPoints(rays.data());
        benchmark::DoNotOptimize(rays.data());
    }
}
BENCHMARK(BM_pathSwarmRays)->Unit(benchmark::kMicrosecond);

}   // namespace
