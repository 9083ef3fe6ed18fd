// The particle system: depth keys, the radix sort, the selection, the quads of a batch.
#include "effects/particles.h"

#include "app/gl.h"
#include "common/test_support.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

void loadKeys(const std::vector<float>& keys)
{
    for (size_t i = 0; i < keys.size(); i++)
        particleSystem.keys[i] = {keys[i], (int32_t)i};
}

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

const Vec3 EYE = {0.0f, 0.0f, 10.0f};
const Vec3 TARGET = {0.0f, 0.0f, 0.0f};   // focal distance 10, looking down -z

}  // namespace

TEST(RadixSort, OrdersNegativeZeroAndEqualKeysStably)
{
    loadKeys({-2.5f, 0.5f, 0.5f, 3.0f, -0.0f});
    radixSortKeys(5);
    const SortPair* k = particleSystem.keys;
    EXPECT_EQ(k[0].key, -2.5f);
    EXPECT_EQ(bits(k[1].key), bits(-0.0f));
    EXPECT_EQ(k[1].index, 4);
    EXPECT_EQ(k[2].index, 1);   // the two 0.5 keep their order
    EXPECT_EQ(k[3].index, 2);
    EXPECT_EQ(k[4].key, 3.0f);
}

TEST(RadixSort, MatchesAStableComparisonSortOnRandomKeys)
{
    randomSeed = 99;
    std::vector<float> keys(20000);
    for (size_t i = 0; i < keys.size(); i++) {
        int kind = randomInt15() % 5;
        float u = randomUnit() - 0.5f;
        keys[i] = kind == 0 ? 0.0f : kind == 1 ? -0.0f : kind == 2 ? u * 1e30f
                : kind == 3 ? (float)(randomInt15() % 7) - 3.0f : u;
    }
    loadKeys(keys);
    std::vector<SortPair> expected(particleSystem.keys, particleSystem.keys + keys.size());
    // The sort orders -0 before +0, as the float bits do.
    std::stable_sort(expected.begin(), expected.end(), [](const SortPair& a, const SortPair& b) {
        if (a.key == 0.0f && b.key == 0.0f)
            return std::signbit(a.key) && !std::signbit(b.key);
        return a.key < b.key;
    });
    radixSortKeys((int32_t)keys.size());
    for (size_t i = 0; i < keys.size(); i++) {
        ASSERT_EQ(particleSystem.keys[i].index, expected[i].index) << i;
        ASSERT_EQ(bits(particleSystem.keys[i].key), bits(expected[i].key)) << i;
    }
}

TEST(RadixSort, RefusesMoreThanTheKeyArrayHolds)
{
    EXPECT_EXIT(radixSortKeys(PARTICLE_MAX + 1), testing::ExitedWithCode(1), "dumbass");
}

TEST(ParticleSelection, KeysCountFocalDistancesFromTheEye)
{
    Vec3 points[4] = {{0, 0, 0}, {5, 3, 5}, {0, 0, 10}, {1, 1, 20}};
    computeParticleKeys(points, 4, EYE, TARGET);
    EXPECT_FLOAT_EQ(particleSystem.keys[0].key, 1.0f);
    EXPECT_FLOAT_EQ(particleSystem.keys[1].key, 0.5f);
    EXPECT_EQ(particleSystem.keys[2].key, 0.0f);
    EXPECT_FLOAT_EQ(particleSystem.keys[3].key, -1.0f);
    EXPECT_EQ(particleSystem.keys[3].index, 3);

    // An eye on its target: no particle is in front.
    computeParticleKeys(points, 4, TARGET, TARGET);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(particleSystem.keys[i].key, 0.0f);
}

TEST(ParticleSelection, SortedDrawsFarthestFirstAndDropsKeysAtOrBehindTheEye)
{
    // Keys -2.5, 0.5, 0.5, 3.0, -0.0 along the viewing axis.
    std::vector<float> depth = {-2.5f, 0.5f, 0.5f, 3.0f, -0.0f};
    std::vector<Vec3> points;
    for (float d : depth)
        points.push_back({0.0f, 0.0f, 10.0f - 10.0f * d});
    int32_t indices[5];
    float keys[5];

    computeParticleKeys(points.data(), 5, EYE, TARGET);
    radixSortKeys(5);
    ASSERT_EQ(keepParticles(nullptr, 5, EYE, PS_SORT, indices, keys), 3);
    EXPECT_EQ(indices[0], 3);
    EXPECT_EQ(indices[1], 2);
    EXPECT_EQ(indices[2], 1);
    EXPECT_FLOAT_EQ(keys[0], 3.0f);

    ASSERT_EQ(keepParticles(nullptr, 5, EYE, PS_SORT | PS_ALL, indices, keys), 5);
    EXPECT_EQ(indices[0], 3);
    EXPECT_EQ(indices[4], 0);

    // Unsorted: the highest particle number first.
    computeParticleKeys(points.data(), 5, EYE, TARGET);
    ASSERT_EQ(keepParticles(nullptr, 5, EYE, 0, indices, keys), 3);
    EXPECT_EQ(indices[0], 3);
    EXPECT_EQ(indices[1], 2);
    EXPECT_EQ(indices[2], 1);
}

TEST(ParticleSelection, CullingKeepsFrontFacingParticlesInFrontOfTheEye)
{
    Vec3 points[4] = {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 20}};
    Vec3 normals[4] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, 0, 1}};
    int32_t indices[4];
    float keys[4];
    computeParticleKeys(points, 4, EYE, TARGET);
    // PS_ALL does not override culling.
    ASSERT_EQ(keepParticles(normals, 4, EYE, PS_CULL | PS_ALL, indices, keys), 2);
    EXPECT_EQ(indices[0], 2);   // edge-on counts as facing
    EXPECT_EQ(indices[1], 0);
}

namespace {

struct Batch {
    std::vector<float> corners, t0, t1, colours;
    explicit Batch(int n) : corners(12 * n), t0(8 * n), t1(8 * n), colours(16 * n) {}
    ParticleQuads quads() { return {corners.data(), t0.data(), t1.data(), colours.data()}; }
};

const Vec3 RIGHT = {1.0f, 0.0f, 0.0f};
const Vec3 UP = {0.0f, 1.0f, 0.0f};

Texture spriteTexture(int32_t spriteCount)
{
    Texture t = {};
    t.spriteCount = spriteCount;
    return t;
}

// One particle at P, drawn with the given flags; returns its quad.
Batch oneQuad(Vec3 p, float key, int32_t flags, const float* angle = nullptr,
              float blurRange = 0.1f, float alpha = 1.0f, int32_t spriteCount = 1,
              uint8_t sprite = 0)
{
    Batch b(1);
    ParticleQuads q = b.quads();
    Texture t = spriteTexture(spriteCount);
    int32_t index = 0;
    float size = 2.0f;
    fillParticleQuads(&p, angle, &size, &alpha, &key, &index, 1, RIGHT, UP, &t, &sprite,
                      blurRange, 1.5f, 0.5f, flags, &q);
    return b;
}

}  // namespace

TEST(ParticleQuads, UnrotatedQuadsAreScreenAlignedWithCornerZeroUpperLeft)
{
    Batch b = oneQuad({1.0f, 2.0f, 3.0f}, 1.0f, 0);
    float h = 3.0f / std::sqrt(2.0f);   // size 1.5 x 2, corners at +-size / sqrt 2
    float expected[12] = {1 - h, 2 + h, 3, 1 + h, 2 + h, 3, 1 + h, 2 - h, 3, 1 - h, 2 - h, 3};
    for (int j = 0; j < 12; j++)
        EXPECT_NEAR(b.corners[j], expected[j], 2e-5f) << j;
    float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    for (int j = 0; j < 8; j++)
        EXPECT_EQ(b.t0[j], uv[j]) << j;
}

TEST(ParticleQuads, RotationIndicesWrapBothWaysAndKeepTheSize)
{
    float minusOneStep = -1.0f / 1023.0f, fullTurn = 1.0f, huge = 1e30f;
    Batch a = oneQuad({0, 0, 0}, 1.0f, PS_ROTATE, &minusOneStep);
    Batch b = oneQuad({0, 0, 0}, 1.0f, PS_ROTATE, &fullTurn);
    EXPECT_EQ(a.corners, b.corners);
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(std::hypot(a.corners[3 * k], a.corners[3 * k + 1]), 3.0f, 1e-5f);
    Batch c = oneQuad({0, 0, 0}, 1.0f, PS_ROTATE, &huge);
    for (float v : c.corners)
        EXPECT_TRUE(std::isfinite(v));

    // Without angles every particle keeps one random angle of the table.
    Batch r1 = oneQuad({0, 0, 0}, 1.0f, PS_ROTATE);
    Batch r2 = oneQuad({0, 0, 0}, 1.0f, PS_ROTATE);
    EXPECT_EQ(r1.corners, r2.corners);
    int32_t m = particleSystem.rotationRandom[0] & 1023;
    EXPECT_NEAR(r1.corners[0], 3.0f * particleSystem.rotationSin[m], 1e-5f);
}

TEST(ParticleQuads, ColoursCarryTheParticleAlpha)
{
    // alpha = alphas[p] x baseAlpha = 0.8 x 0.5
    Batch opaque = oneQuad({0, 0, 0}, 1.0f, 0, nullptr, 0.1f, 0.8f);
    Batch faded = oneQuad({0, 0, 0}, 1.0f, PS_ALPHA, nullptr, 0.1f, 0.8f);
    for (int k = 0; k < 4; k++) {
        EXPECT_FLOAT_EQ(opaque.colours[4 * k], 0.4f);
        EXPECT_EQ(opaque.colours[4 * k + 3], 1.0f);
        EXPECT_FLOAT_EQ(faded.colours[4 * k + 3], 0.4f);
    }
}

TEST(ParticleQuads, SpriteOneOfAPairUsesTheRightHalf)
{
    Batch b = oneQuad({0, 0, 0}, 1.0f, 0, nullptr, 0.1f, 1.0f, 2, 1);
    float uv[8] = {0.5f, 0, 1, 0, 1, 1, 0.5f, 1};
    for (int j = 0; j < 8; j++)
        EXPECT_EQ(b.t0[j], uv[j]) << j;
    // In a blur atlas pair the cells are squeezed into that half too: level 0 spans 0.5..0.75.
    Batch blurred = oneQuad({0, 0, 0}, 1.0f, PS_DEPTH_BLUR, nullptr, 0.1f, 1.0f, 2, 1);
    EXPECT_EQ(blurred.t0[0], 0.5f);
    EXPECT_EQ(blurred.t0[2], 0.75f);
    EXPECT_EQ(blurred.t0[5], 0.5f);
    // A single sprite ignores the sprite bytes.
    Batch single = oneQuad({0, 0, 0}, 1.0f, 0, nullptr, 0.1f, 1.0f, 1, 1);
    EXPECT_EQ(single.t0[0], 0.0f);
}

TEST(ParticleQuads, DepthBlurPicksTheLevelAndCrossFadesToTheNext)
{
    // At the target: cell 0 on unit 0, cell 1 on unit 1, nothing of the second.
    Batch focus = oneQuad({0, 0, 0}, 1.0f, PS_DEPTH_BLUR, nullptr, 0.1f, 0.8f);
    EXPECT_EQ(focus.t0[2], BLUR_ATLAS_CELLS[0][2]);
    EXPECT_EQ(focus.t1[0], BLUR_ATLAS_CELLS[1][0]);
    EXPECT_FLOAT_EQ(focus.colours[3], 1.0f);           // C = 1 - alpha f
    EXPECT_FLOAT_EQ(focus.colours[0], 0.4f);           // D = alpha (1 - f) / C

    // 2.5 levels out: L = 2, f = 0.5.
    Batch mid = oneQuad({0, 0, 0}, 1.25f, PS_DEPTH_BLUR, nullptr, 0.1f, 0.8f);
    for (int j = 0; j < 8; j++) {
        EXPECT_FLOAT_EQ(mid.t0[j], BLUR_ATLAS_CELLS[2][j]) << j;
        EXPECT_FLOAT_EQ(mid.t1[j], BLUR_ATLAS_CELLS[3][j]) << j;
    }
    float c = 1.0f - 0.4f * 0.5f;
    EXPECT_NEAR(mid.colours[3], c, 1e-5f);
    EXPECT_NEAR(mid.colours[0], 0.4f * 0.5f / c, 1e-5f);
    EXPECT_NEAR(mid.colours[3] * mid.colours[0], 0.4f * 0.5f, 1e-5f);   // weight of cell L
    EXPECT_NEAR(1.0f - mid.colours[3], 0.4f * 0.5f, 1e-5f);             // weight of cell L+1

    // Beyond nine levels it stays at 9 with nothing of the (empty) tenth; so does a key of 0.
    for (float key : {1.0f + 9.5f * 0.1f, 0.0f, -0.0f}) {
        Batch far = oneQuad({0, 0, 0}, key, PS_DEPTH_BLUR, nullptr, 0.1f, 0.8f);
        EXPECT_EQ(far.t0[0], BLUR_ATLAS_CELLS[9][0]) << key;
        EXPECT_EQ(far.t1[2], 0.0f) << key;
        EXPECT_FLOAT_EQ(far.colours[3], 1.0f) << key;
        EXPECT_FLOAT_EQ(far.colours[0], 0.4f) << key;
    }
    // Behind the eye the formula gives a negative level: the sharp cell.
    Batch behind = oneQuad({0, 0, 0}, -2.0f, PS_DEPTH_BLUR, nullptr, 0.1f, 0.8f);
    EXPECT_EQ(behind.t0[2], BLUR_ATLAS_CELLS[0][2]);
}

namespace {

int countLines(const std::string& log, const std::string& name)
{
    int n = 0;
    for (size_t at = log.find(name + " in "); at != std::string::npos;
         at = log.find(name + " in ", at + 1))
        n += at == 0 || log[at - 1] == '\n';
    return n;
}

// A camera at EYE looking at TARGET, on a cleared frame.
void setCamera()
{
    ensureGLContext();
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 640.0 / 480.0, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(EYE.x, EYE.y, EYE.z, TARGET.x, TARGET.y, TARGET.z, 0.0, 1.0, 0.0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// A texture whose blur-atlas cells are flat greys: cell L has grey 20 + 20 L.
Texture greyAtlas()
{
    const int w = 64, h = 64;
    std::vector<uint8_t> image(w * h * 4);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float u = (x + 0.5f) / w, v = (y + 0.5f) / h;
            int level = 0;
            for (int L = 0; L < 10; L++)
                if (u >= BLUR_ATLAS_CELLS[L][0] && u < BLUR_ATLAS_CELLS[L][2] &&
                    v >= BLUR_ATLAS_CELLS[L][1] && v < BLUR_ATLAS_CELLS[L][5])
                    level = L;
            uint8_t* px = &image[(y * w + x) * 4];
            px[0] = px[1] = px[2] = (uint8_t)(20 + 20 * level);
            px[3] = 255;
        }
    Texture t = {};
    glGenTextures(1, &t.name);
    glBindTexture(GL_TEXTURE_2D, t.name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    t.scaleS = t.scaleT = t.scaleR = 1.0f;
    t.width = w;
    t.height = h;
    t.flags = TEX_NEAREST | TEX_NO_MIPMAP | TEX_CLAMP;
    t.spriteCount = 1;
    return t;
}

std::vector<Vec3> pointsAtKey(int n, float key)
{
    std::vector<Vec3> points((size_t)n);
    for (int i = 0; i < n; i++)
        points[(size_t)i] = {0.01f * (float)(i % 100), 0.01f * (float)(i / 100),
                             EYE.z - 10.0f * key};
    return points;
}

}  // namespace

TEST(ParticleDraw, NothingToDrawLeavesEverythingAlone)
{
    setCamera();
    Texture t = greyAtlas();
    std::vector<Vec3> behind = pointsAtKey(10, -1.0f);
    uint32_t scratch = scratchUsed();
    bool rotationReady = particleSystem.rotationReady;
    uint32_t seed = randomSeed;
    testing::internal::CaptureStderr();
    drawParticles(behind.data(), nullptr, nullptr, nullptr, nullptr, 0, EYE, TARGET, &t, nullptr,
                  0.1f, 1.0f, 1.0f, PS_SORT | PS_ALL, 0);
    drawParticles(behind.data(), nullptr, nullptr, nullptr, nullptr, 10, EYE, TARGET, &t,
                  nullptr, 0.1f, 1.0f, 1.0f, PS_SORT, 0);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(countLines(log, "wtf"), 0);
    EXPECT_EQ(countLines(log, "glDrawElements"), 0);
    EXPECT_EQ(countLines(log, "moxiRadixsort"), 1);   // only the second call sorts
    EXPECT_EQ(scratchUsed(), scratch);
    EXPECT_EQ(particleSystem.rotationReady, rotationReady);
    EXPECT_EQ(randomSeed, seed);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(ParticleDraw, VisibleParticlesGoOutInBatchesOf1024)
{
    setCamera();
    Texture t = greyAtlas();
    std::vector<Vec3> points = pointsAtKey(1025, 0.5f);
    uint32_t scratch = scratchUsed();
    testing::internal::CaptureStderr();
    drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr, 1025, EYE, TARGET, &t,
                  nullptr, 0.1f, 0.1f, 1.0f, PS_SORT | PS_ROTATE | PS_DEPTH_BLUR,
                  RENDER_ALPHA_BLEND);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(countLines(log, "moxiRadixsort"), 1);
    EXPECT_EQ(countLines(log, "wtf"), 2);
    EXPECT_EQ(countLines(log, "glDrawElements"), 2);
    EXPECT_GE(particleSystem.quadIndexCount, 4096);
    EXPECT_EQ(particleSystem.quadIndices[4095], 4095u);
    EXPECT_EQ(scratchUsed(), scratch);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(ParticleDraw, MoreThanTheKeyArrayHolds)
{
    setCamera();
    Texture t = greyAtlas();
    std::vector<Vec3> points = pointsAtKey(PARTICLE_MAX + 1, 0.5f);
    // Unsorted: the first PARTICLE_MAX are drawn, 98 batches.
    testing::internal::CaptureStderr();
    drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr, PARTICLE_MAX + 1, EYE,
                  TARGET, &t, nullptr, 0.1f, 0.01f, 1.0f, 0, 0);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(countLines(log, "wtf"), 98);
    // Sorted: the program ends before any key is written.
    particleSystem.keys[0] = {123.0f, 7};
    EXPECT_EXIT(drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr,
                              PARTICLE_MAX + 1, EYE, TARGET, &t, nullptr, 0.1f, 0.01f, 1.0f,
                              PS_SORT, 0),
                testing::ExitedWithCode(1), "dumbass");
    EXPECT_EQ(particleSystem.keys[0].key, 123.0f);
}

TEST(ParticleDraw, DepthBlurCrossFadesTwoCellsOnScreen)
{
    setCamera();
    Texture t = greyAtlas();
    // Key 1.25 with blurRange 0.1: level 2, half way to level 3; brightness 0.8.
    std::vector<Vec3> one = pointsAtKey(1, 1.25f);
    one[0] = {0.0f, 0.0f, one[0].z};
    float alpha = 0.8f;
    drawParticles(one.data(), nullptr, nullptr, nullptr, &alpha, 1, EYE, TARGET, &t, nullptr,
                  0.1f, 4.0f, 1.0f, PS_DEPTH_BLUR, 0);
    uint8_t pixel[4];
    glReadPixels(320, 240, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    float expected = alpha * (0.5f * 60.0f + 0.5f * 80.0f);
    EXPECT_NEAR(pixel[0], expected, 3.0f);
    EXPECT_NEAR(pixel[1], expected, 3.0f);

    // In focus: all of cell 0.
    glClear(GL_COLOR_BUFFER_BIT);
    one = pointsAtKey(1, 1.0f);
    one[0] = {0.0f, 0.0f, one[0].z};
    drawParticles(one.data(), nullptr, nullptr, nullptr, &alpha, 1, EYE, TARGET, &t, nullptr,
                  0.1f, 4.0f, 1.0f, PS_DEPTH_BLUR, 0);
    glReadPixels(320, 240, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_NEAR(pixel[0], alpha * 20.0f, 3.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
