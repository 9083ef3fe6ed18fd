// Cost of the per-draw state presets and binds on the current OpenGL driver (headless: run with
// SDL_VIDEODRIVER=offscreen). Each iteration issues the calls; the driver validates lazily, so a
// glFinish every 256 iterations keeps its queue from growing.
#include "app/app_local.h"
#include "render/gl.h"
#include "texture/texture.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

Texture* testTexture()
{
    static Texture texture = {};
    if (texture.name)
        return &texture;
    if (!openHiddenDisplay(640, 480)) {
        std::fprintf(stderr, "render_state_bench: no OpenGL context\n");
        std::exit(1);
    }
    setDrawableSize(640, 480);
    glext.glActiveTextureARB = (PFNGLACTIVETEXTUREARBPROC)getGLProc("glActiveTextureARB");
    std::vector<unsigned char> texels(64 * 64 * 4, 128);
    texture = {0, 1.0f, 1.0f, 1.0f, 64, 64, TEX_NO_MIPMAP, 1};
    glGenTextures(1, &texture.name);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return &texture;
}

template <typename Body>
void run(benchmark::State& state, Body body)
{
    testTexture();
    int n = 0;
    for (auto _ : state) {
        body();
        if (++n % 256 == 0)
            glFinish();
    }
    glFinish();
}

void BM_BeginFrameReset(benchmark::State& state)
{
    run(state, [] { beginFrame(nullptr); });
}

void BM_ApplyRenderFlags(benchmark::State& state)
{
    run(state, [] {
        applyRenderFlags(RENDER_ADD | RENDER_NO_DEPTH_WRITE);
        applyRenderFlags(RENDER_ALPHA_BLEND | RENDER_NO_CULL);
    });
}

void BM_PushPopRenderState(benchmark::State& state)
{
    run(state, [] {
        pushRenderState();
        popRenderState();
    });
}

void BM_BindTexture(benchmark::State& state)
{
    Texture* texture = testTexture();
    run(state, [texture] { bindTexture(texture, TEX_PLANAR_XZ); });
}

void BM_BindTextureCrossfade(benchmark::State& state)
{
    Texture* texture = testTexture();
    run(state, [texture] { bindTextureCrossfade(texture, 0); });
}

void BM_LookAtCamera(benchmark::State& state)
{
    run(state, [] {
        camera.nearPlane = camera.farPlane = 0.0f;
        lookAtCamera({{0.0f, 3.0f, 10.0f}, 60.0f}, {0.0f, 0.0f, 0.0f}, 0);
    });
}

}   // namespace

BENCHMARK(BM_BeginFrameReset);
BENCHMARK(BM_ApplyRenderFlags);
BENCHMARK(BM_PushPopRenderState);
BENCHMARK(BM_BindTexture);
BENCHMARK(BM_BindTextureCrossfade);
BENCHMARK(BM_LookAtCamera);
