// Cost of the heavy texture work: the blur atlas of one sprite (the slowest step of the
// precalculation) on one thread and on all cores, the mipmapped upload of a 1024 x 1024 image,
// and one smoke regeneration, which the swarm scenes do every frame. Headless: run with
// SDL_VIDEODRIVER=offscreen.
#include "app/app_local.h"
#include "render/gl.h"
#include "texture/texture_local.h"

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void openContext()
{
    static bool open = false;
    if (open)
        return;
    if (!openHiddenDisplay(640, 480)) {
        std::fprintf(stderr, "texture_bench: no OpenGL context\n");
        std::exit(1);
    }
    setDrawableSize(640, 480);
    glext.glActiveTextureARB = (PFNGLACTIVETEXTUREARBPROC)getGLProc("glActiveTextureARB");
    showStarted = 1;   // no loading-screen frames between iterations
    open = true;
}

// A soft bright disc on a dark ramp, written once per size as a quality-95 JPEG.
std::string spriteFile(int size)
{
    std::string path = "/tmp/texture_bench_sprite_" + std::to_string(size) + ".jpg";
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "texture_bench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    jpeg_stdio_dest(&c, f);
    c.image_width = size;
    c.image_height = size;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row((size_t)size * 3);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            float dx = (x - size / 2) / (float)size, dy = (y - size / 2) / (float)size;
            float d = std::sqrt(dx * dx + dy * dy);
            uint8_t v = (uint8_t)(d < 0.3f ? 255 - 400 * d : 20 + x * 40 / size);
            row[(size_t)x * 3] = v;
            row[(size_t)x * 3 + 1] = (uint8_t)(v * 3 / 4);
            row[(size_t)x * 3 + 2] = (uint8_t)(v / 2);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return path;
}

void deleteTexture(Texture* texture)
{
    glDeleteTextures(1, &texture->name);
    delete texture;
}

// Arguments: sprite side, threads (0 = one per core).
void BM_loadBlurAtlas(benchmark::State& state)
{
    openContext();
    std::string path = spriteFile((int)state.range(0));
    apertureBlurThreads = (int32_t)state.range(1);
    for (auto _ : state) {
        Texture* atlas = loadBlurAtlas(path.c_str(), nullptr, alphaMean, 0);
        glFinish();
        deleteTexture(atlas);
    }
    apertureBlurThreads = 0;
    state.SetLabel(state.range(1) == 0 ? "all cores" : "one thread");
}
BENCHMARK(BM_loadBlurAtlas)
    ->Args({128, 1})
    ->Args({128, 0})
    ->Args({256, 1})
    ->Args({256, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_uploadMipmapped(benchmark::State& state)
{
    openContext();
    const int side = 1024;
    std::vector<uint8_t> image((size_t)side * side * 4), work(image.size());
    for (size_t i = 0; i < image.size(); i++)
        image[i] = (uint8_t)((i * 2654435761u) >> 24);
    GLuint name;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    for (auto _ : state) {
        state.PauseTiming();
        work = image;   // the upload overwrites its pixels
        state.ResumeTiming();
        uploadMipmapped(side, side, work.data());
        glFinish();
    }
    glDeleteTextures(1, &name);
}
BENCHMARK(BM_uploadMipmapped)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_generateTexture(benchmark::State& state)
{
    openContext();
    randomSeed = 1;
    shuffleNoisePermutation();
    Texture* smoke = makeSolidTexture(128, 128, 0, 0, 0, 0, Vec3{1, 1, 1}, 0);
    float time = 0.0f;
    for (auto _ : state) {
        generateTexture(smoke, time);
        glFinish();
        time += 0.004f;
    }
}
BENCHMARK(BM_generateTexture)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The smoke image alone, without the upload of its eight levels.
void BM_computeSmokeImage(benchmark::State& state)
{
    randomSeed = 1;
    shuffleNoisePermutation();
    std::vector<uint8_t> pixels(128 * 128 * 4);
    float time = 0.0f;
    for (auto _ : state) {
        computeSmokeImage(time, pixels.data());
        benchmark::DoNotOptimize(pixels.data());
        time += 0.004f;
    }
}
BENCHMARK(BM_computeSmokeImage)->Unit(benchmark::kMicrosecond);

}   // namespace
