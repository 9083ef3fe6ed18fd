// generateSurface on the blob sets of the two blob-surface scenes, at a few moments of each.
#include "render/render_local.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// The opening scene's 24 blobs once grown (radius 3.5): every fourth carves, every fifth is a
// rounded cube.
std::vector<Blob> openingBlobs(float t)
{
    std::vector<Blob> blobs;
    for (int i = 0; i < 24; i++)
        blobs.push_back(Blob{
            5.0f * std::sin(0.175f * t + 2.7f * i), 5.0f * std::sin(0.271f * t + 1.3f * i),
            5.0f * std::sin(0.152f * t + 8.7f * i), 3.5f, i % 4 == 0 ? 1 : 0, i % 5 == 0 ? 1 : 0});
    return blobs;
}

// The nested-zoom scene's eight blobs at local time a: two large ones and six small, three
// of them carving.
std::vector<Blob> zoomBlobs(float a)
{
    std::vector<Blob> blobs = {
        {3 * std::sin(2.291f * a), 3 * std::sin(4.182f * a), 3 * std::sin(3.827f * a), 8, 0, 0},
        {3 * std::sin(3.172f * a), 3 * std::sin(2.814f * a), 3 * std::sin(4.218f * a), 8, 0, 0},
    };
    for (int i = 2; i < 8; i++)
        blobs.push_back(Blob{2.5f * std::sin(4.727f * a + 2.9f * i),
                             2.5f * std::sin(2.871f * a + 1.7f * i),
                             2.5f * std::sin(5.352f * a + 3.7f * i), 5, i % 2, 0});
    return blobs;
}

void run(benchmark::State& state, const std::vector<Blob>& blobs)
{
    for (auto _ : state) {
        generateSurface(blobs.data(), (int32_t)blobs.size());
        benchmark::DoNotOptimize(surfaceVertices[0]);
    }
    state.counters["vertices"] = surfaceVertexCount;
    state.counters["triangles"] = surfaceTriangleCount;
}

void BM_OpeningScene(benchmark::State& state)
{
    run(state, openingBlobs((float)state.range(0) / 10.0f));
}
BENCHMARK(BM_OpeningScene)->Arg(20)->Arg(35)->Arg(50)->Arg(59)->Unit(benchmark::kMicrosecond);

void BM_NestedZoomScene(benchmark::State& state)
{
    run(state, zoomBlobs((float)state.range(0) / 10.0f));
}
BENCHMARK(BM_NestedZoomScene)->Arg(0)->Arg(13)->Arg(27)->Arg(39)->Unit(benchmark::kMicrosecond);

}   // namespace
