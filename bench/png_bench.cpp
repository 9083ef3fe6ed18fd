// PNG encoders for captured frames, compared on a 640 x 480 frame with the show's film grain:
// the capture's own (libdeflate at level 1, "up" filter), libpng at its defaults (level 6,
// adaptive filters), libpng at a low zlib level with one cheap filter, and libspng (when the build
// found it) with the same settings. Each row reports the bytes written as a counter, so speed can
// be weighed against size. Also the conversion of a frame for the video encoder.
#include "app/offline.h"

#include <benchmark/benchmark.h>
#include <png.h>
#ifdef ORVANTI_HAVE_SPNG
#include <spng.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>
#include <zlib.h>

namespace {

constexpr int WIDTH = 640, HEIGHT = 480;

// Smooth colour fields under a fine grain, with the letterbox's black bands: what a frame is like.
std::vector<uint8_t> makeFrame()
{
    std::vector<uint8_t> rgb((size_t)WIDTH * HEIGHT * 3, 0);
    uint32_t state = 12345;
    for (int y = 60; y < 420; y++)
        for (int x = 0; x < WIDTH; x++) {
            state = state * 69069 + 1;
            int grain = (int)((state >> 16) & 15) - 8;
            uint8_t* p = &rgb[((size_t)y * WIDTH + x) * 3];
            p[0] = (uint8_t)std::clamp(x * 255 / WIDTH + grain, 0, 255);
            p[1] = (uint8_t)std::clamp((y - 60) * 200 / 360 + grain, 0, 255);
            p[2] = (uint8_t)std::clamp(128 + ((x ^ y) & 63) + grain, 0, 255);
        }
    return rgb;
}

const std::vector<uint8_t>& frame()
{
    static std::vector<uint8_t> rgb = makeFrame();
    return rgb;
}

void collect(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = (std::vector<uint8_t>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + size);
}

void flushNothing(png_structp) {}

size_t encodeLibpng(const std::vector<uint8_t>& rgb, int level, int filter)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        std::abort();
    png_set_write_fn(png, &out, collect, flushNothing);
    if (level >= 0) {
        png_set_compression_level(png, level);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, filter);
    }
    png_set_IHDR(png, info, WIDTH, HEIGHT, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (int y = 0; y < HEIGHT; y++)
        png_write_row(png, &rgb[(size_t)y * WIDTH * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

void BM_Capture(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = encodePngRGB(frame().data(), WIDTH, HEIGHT).size());
    state.counters["bytes"] = (double)bytes;
}
BENCHMARK(BM_Capture)->Unit(benchmark::kMillisecond);

// A video frame's conversion, from the read-back's layout (BGRA, rows bottom first).
void BM_Yuv420FromReadBack(benchmark::State& state)
{
    std::vector<uint8_t> bgra((size_t)WIDTH * HEIGHT * 4);
    for (size_t i = 0; i < (size_t)WIDTH * HEIGHT; i++)
        std::copy_n(&frame()[i * 3], 3, &bgra[i * 4]);
    PixelLayout layout = {
        &bgra[(size_t)(HEIGHT - 1) * WIDTH * 4], -(ptrdiff_t)WIDTH * 4, 4, 2, 1, 0};
    for (auto _ : state)
        benchmark::DoNotOptimize(toYuv420(layout, WIDTH, HEIGHT).data());
}
BENCHMARK(BM_Yuv420FromReadBack)->Unit(benchmark::kMicrosecond);

void BM_LibpngDefault(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = encodeLibpng(frame(), -1, 0));
    state.counters["bytes"] = (double)bytes;
}
BENCHMARK(BM_LibpngDefault)->Unit(benchmark::kMillisecond);

// Arguments: zlib level, filter (0 none, 1 sub, 2 up, 4 paeth).
void BM_LibpngFast(benchmark::State& state)
{
    static const int filters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, 0,
                                  PNG_FILTER_PAETH};
    size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            bytes = encodeLibpng(frame(), (int)state.range(0), filters[state.range(1)]));
    state.counters["bytes"] = (double)bytes;
}
BENCHMARK(BM_LibpngFast)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Args({1, 4})
    ->Unit(benchmark::kMillisecond);

#ifdef ORVANTI_HAVE_SPNG
// Arguments: zlib level (-1: the library's defaults), filter as above.
void BM_Spng(benchmark::State& state)
{
    static const int filters[] = {SPNG_FILTER_CHOICE_NONE, SPNG_FILTER_CHOICE_SUB,
                                  SPNG_FILTER_CHOICE_UP, 0, SPNG_FILTER_CHOICE_PAETH};
    size_t bytes = 0;
    for (auto _ : state) {
        spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
        spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
        if (state.range(0) >= 0) {
            spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, (int)state.range(0));
            spng_set_option(ctx, SPNG_FILTER_CHOICE, filters[state.range(1)]);
        }
        spng_ihdr ihdr = {WIDTH, HEIGHT, 8, SPNG_COLOR_TYPE_TRUECOLOR, 0, 0, 0};
        spng_set_ihdr(ctx, &ihdr);
        if (spng_encode_image(ctx, frame().data(), frame().size(), SPNG_FMT_PNG,
                              SPNG_ENCODE_FINALIZE) != 0)
            std::abort();
        int error = 0;
        void* png = spng_get_png_buffer(ctx, &bytes, &error);
        std::free(png);
        spng_ctx_free(ctx);
    }
    state.counters["bytes"] = (double)bytes;
}
BENCHMARK(BM_Spng)->Args({-1, 0})->Args({1, 0})->Args({1, 1})->Args({1, 2})->Unit(
    benchmark::kMillisecond);
#endif

}   // namespace
