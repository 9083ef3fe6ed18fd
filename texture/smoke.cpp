// Lattice noise and the smoke texture: six octaves of piecewise-trilinear value noise in 10-bit
// fixed point, shaped by a radial falloff and normalised to a fixed mean density. Integer work
// throughout, with square-law tables, so the scenes can regenerate it every frame.
#include "render/gl.h"
#include "texture/texture_local.h"

#include <algorithm>
#include <cmath>

int32_t noisePermutation[1024];

namespace {

constexpr int SMOKE_SIZE = 128;

struct SmokeTables {
    int32_t calls = 0;
    int32_t falloff[SMOKE_SIZE][SMOKE_SIZE];
    int32_t square4096[4096];
    int32_t square2048[2048];
    int32_t square1024[1024];
    int32_t work[SMOKE_SIZE * SMOKE_SIZE];
    uint8_t pixels[SMOKE_SIZE * SMOKE_SIZE * 4];
};
SmokeTables smoke;

void fillTables()
{
    for (int i = 0; i < SMOKE_SIZE; i++)
        for (int j = 0; j < SMOKE_SIZE; j++) {
            float x = (j - 64) / 64.0f, y = (i - 64) / 64.0f;
            smoke.falloff[i][j] = (int32_t)(clamp01(1.0f - std::sqrt(x * x + y * y)) * 65535.0f);
        }
    for (int k = 0; k < 4096; k++)
        smoke.square4096[k] = (int32_t)((k / 4096.0f) * (k / 4096.0f) * 4096.0f);
    for (int k = 0; k < 2048; k++)
        smoke.square2048[k] = (int32_t)((k / 2048.0f) * (k / 2048.0f) * 2048.0f);
    for (int k = 0; k < 1024; k++)
        smoke.square1024[k] = (int32_t)((k / 1024.0f) * (k / 1024.0f) * 1024.0f);
}

}   // namespace

void shuffleNoisePermutation()
{
    for (int i = 0; i < 1024; i++)
        noisePermutation[i] = i;
    for (int i = 0; i < 1024; i++) {
        int j = randomInt15() & 1023;
        std::swap(noisePermutation[i], noisePermutation[j]);
    }
}

int32_t latticeHash(int32_t x, int32_t y, int32_t z)
{
    const int32_t* P = noisePermutation;
    return P[(P[(P[z & 1023] + y) & 1023] + x) & 1023];
}

int32_t valueNoise(int32_t x, int32_t y, int32_t z)
{
    int32_t fx = x & 1023, fy = y & 1023, fz = z & 1023;
    int32_t X = x >> 10, Y = y >> 10, Z = z >> 10;
    int32_t gx = 1024 - fx, gy = 1024 - fy, gz = 1024 - fz;
    int32_t a = ((latticeHash(X, Y, Z) * gx + latticeHash(X + 1, Y, Z) * fx) * gy +
                 (latticeHash(X, Y + 1, Z) * gx + latticeHash(X + 1, Y + 1, Z) * fx) * fy) >>
                15;
    int32_t b =
        ((latticeHash(X, Y, Z + 1) * gx + latticeHash(X + 1, Y, Z + 1) * fx) * gy +
         (latticeHash(X, Y + 1, Z + 1) * gx + latticeHash(X + 1, Y + 1, Z + 1) * fx) * fy) >>
        15;
    return (a * gz + b * fz) >> 15;
}

void computeSmokeImage(float t, uint8_t* pixels)
{
    if (smoke.calls++ == 0)
        fillTables();
    const int32_t o = 170;
    int32_t z1 = (int32_t)(t * 256.0f * 32.0f);
    uint32_t total = 0;
    for (int i = 0; i < SMOKE_SIZE; i++) {
        for (int j = 0; j < SMOKE_SIZE; j++) {
            int32_t s = 0;
            s += smoke.square4096[4 * valueNoise((int32_t)(t * 128.0f + 32 * j), 32 * i + 962, z1)];
            s += smoke.square4096[4 * valueNoise((int32_t)(t * 128.0f + o + 32 * j), 32 * i + 481,
                                                 (int32_t)(t * 256.0f * 32.0f + o))];
            s +=
                smoke
                    .square4096[4 * valueNoise((int32_t)(t * 128.0f + 2 * o + 64 * j), 64 * i + 287,
                                               (int32_t)(t * 256.0f * 64.0f + 2 * o))];
            s +=
                smoke
                    .square2048[2 * valueNoise((int32_t)(t * 128.0f + 3 * o + 64 * j), 64 * i + 859,
                                               (int32_t)(t * 256.0f * 64.0f + 3 * o))];
            s += smoke.square1024[valueNoise((int32_t)(t * 128.0f + 4 * o + 128 * j), 128 * i + 172,
                                             (int32_t)(t * 256.0f * 128.0f + 4 * o))];
            s += smoke.square1024[valueNoise((int32_t)(t * 128.0f + 5 * o + 256 * j), 256 * i + 912,
                                             (int32_t)(t * 256.0f * 256.0f + 5 * o))];
            s -= randomInt15() & 31;
            int32_t e = s * smoke.falloff[i][j];
            smoke.work[i * SMOKE_SIZE + j] = e;
            total += (uint32_t)(e >> 21);
        }
    }
    uint32_t D = total >> 14;
    for (int k = 0; k < SMOKE_SIZE * SMOKE_SIZE; k++) {
        int32_t alpha = 0;
        // A texel whose noise sum fell below the grain (e < 0) is empty; taken as unsigned it
        // would wrap round to full density and show as a hard speck in the thinnest smoke.
        if (D != 0 && smoke.work[k] > 0) {
            uint32_t b = (uint32_t)smoke.work[k] / D;
            alpha = std::min<int32_t>(255, std::max<int32_t>(0, (int32_t)(b >> 15)));
        }
        pixels[k * 4] = pixels[k * 4 + 1] = pixels[k * 4 + 2] = 0;
        pixels[k * 4 + 3] = (uint8_t)alpha;
    }
}

void generateTexture(Texture* texture, float time)
{
    computeSmokeImage(time, smoke.pixels);
    bindTexture(texture, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    uint8_t* p = smoke.pixels;
    for (int n = SMOKE_SIZE, level = 0; n >= 1; n /= 2, level++) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, p);
        int half = n / 2;
        for (int y = 0; y < half; y++)
            for (int x = 0; x < half; x++)
                for (int c = 0; c < 4; c++) {
                    const uint8_t* a = p + ((size_t)(2 * y) * n + 2 * x) * 4 + c;
                    p[((size_t)y * half + x) * 4 + c] =
                        (uint8_t)((a[0] + a[4] + a[n * 4] + a[n * 4 + 4]) >> 2);
                }
    }
}
