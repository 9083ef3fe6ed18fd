// The particle system: depth keys and their sort, the selection, the quads, the drawing.
#define GL_GLEXT_PROTOTYPES 1   // the sample count query
#include "effects/effects_local.h"

#include "render/gl.h"
#include "common/test_support.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

const Vec3 EYE = {0.0f, 0.0f, 10.0f};
const Vec3 TARGET = {0.0f, 0.0f, 0.0f};   // focal distance 10, looking down -z

// Points on the viewing axis at these depth keys.
std::vector<Vec3> atKeys(const std::vector<float>& keys)
{
    std::vector<Vec3> points;
    for (float k : keys)
        points.push_back({0.0f, 0.0f, EYE.z - 10.0f * k});
    return points;
}

std::vector<int32_t> drawOrder(const std::vector<float>& keys, int32_t flags)
{
    std::vector<Vec3> points = atKeys(keys);
    std::vector<int32_t> indices(keys.size());
    std::vector<float> kept(keys.size());
    computeParticleKeys(points.data(), (int32_t)keys.size(), EYE, TARGET);
    if (flags & PS_SORT)
        radixSortKeys((int32_t)keys.size());
    indices.resize(
        keepParticles(nullptr, (int32_t)keys.size(), EYE, flags, indices.data(), kept.data()));
    return indices;
}

}   // namespace

TEST(DepthSort, OrdersLikeAStableSortOfTheFloats)
{
    // Negatives, both zeros, huge and repeated keys. -0 sorts before +0, as its bits do.
    randomSeed = 99;
    std::vector<SortPair> expected(20000);
    for (size_t i = 0; i < expected.size(); i++) {
        float u = randomUnit() - 0.5f;
        float choices[5] = {0.0f, -0.0f, u * 1e30f, (float)(randomInt15() % 7) - 3.0f, u};
        expected[i] = particleSystem.keys[i] = {choices[randomInt15() % 5], (int32_t)i};
    }
    std::stable_sort(expected.begin(), expected.end(), [](const SortPair& a, const SortPair& b) {
        return a.key < b.key || (a.key == b.key && std::signbit(a.key) > std::signbit(b.key));
    });
    radixSortKeys(20000);
    for (size_t i = 0; i < expected.size(); i++)
        ASSERT_EQ(particleSystem.keys[i].index, expected[i].index) << i;
}

TEST(DepthSort, DrawsTheFarthestFirstAndDropsWhatIsNotInFront)
{
    std::vector<float> keys = {-2.5f, 0.5f, 0.5f, 3.0f, -0.0f};
    EXPECT_EQ(drawOrder(keys, PS_SORT), (std::vector<int32_t>{3, 2, 1}));
    EXPECT_EQ(drawOrder(keys, PS_SORT | PS_ALL), (std::vector<int32_t>{3, 2, 1, 4, 0}));
    EXPECT_EQ(drawOrder(keys, 0), (std::vector<int32_t>{3, 2, 1}));   // highest number first
    EXPECT_FLOAT_EQ(particleSystem.keys[3].key, 3.0f);

    // Culling keeps what faces the eye (edge-on included) in front of it, PS_ALL or not.
    std::vector<Vec3> points = atKeys({1.0f, 0.9f, 0.8f, -1.0f});
    Vec3 normals[4] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, 0, 1}};
    int32_t indices[4];
    float kept[4];
    computeParticleKeys(points.data(), 4, EYE, TARGET);
    EXPECT_EQ(keepParticles(normals, 4, EYE, PS_CULL | PS_ALL, indices, kept), 2);
    EXPECT_EQ(indices[0], 2);
    EXPECT_EQ(indices[1], 0);
    // Culling asked for without normals: what is in front of the eye, as without culling.
    EXPECT_EQ(keepParticles(nullptr, 4, EYE, PS_CULL | PS_ALL, indices, kept), 3);
    EXPECT_EQ(std::vector<int32_t>(indices, indices + 3), (std::vector<int32_t>{2, 1, 0}));

    // An eye on its own target has nothing in front of it.
    computeParticleKeys(points.data(), 4, TARGET, TARGET);
    EXPECT_EQ(keepParticles(nullptr, 4, TARGET, 0, indices, kept), 0);
}

namespace {

struct Quad {
    float corners[12], t0[8], t1[8], colours[16];
};

// One particle of size 2 x baseSize 1.5 at the origin, brightness 0.8 x baseAlpha 0.5 unless
// given. A sprite of -1 passes no sprites array.
Quad quadFor(float key, int32_t flags, const float* angle = nullptr, int32_t spriteCount = 1,
             int sprite = 0, float alpha = 0.8f, float blurRange = 0.1f)
{
    Quad q;
    ParticleQuads out = {q.corners, q.t0, q.t1, q.colours};
    Texture t = {};
    t.spriteCount = spriteCount;
    Vec3 p = {0.0f, 0.0f, 0.0f};
    int32_t index = 0;
    float size = 2.0f;
    uint8_t spriteByte = (uint8_t)sprite;
    fillParticleQuads(&p, angle, &size, &alpha, &key, &index, 1, {1, 0, 0}, {0, 1, 0}, &t,
                      sprite < 0 ? nullptr : &spriteByte, blurRange, 1.5f, 0.5f, flags, &out);
    return q;
}

}   // namespace

TEST(ParticleQuads, FaceTheScreenUnrotatedAndKeepTheirSizeRotated)
{
    Quad q = quadFor(1.0f, 0);
    float h = 3.0f / std::sqrt(2.0f);   // +-size / sqrt 2, corner 0 upper left, clockwise
    float corners[12] = {-h, h, 0, h, h, 0, h, -h, 0, -h, -h, 0};
    float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    for (int j = 0; j < 12; j++)
        EXPECT_NEAR(q.corners[j], corners[j], 2e-5f) << j;
    EXPECT_TRUE(std::equal(uv, uv + 8, q.t0));
    EXPECT_FLOAT_EQ(q.colours[0], 0.4f);
    EXPECT_EQ(q.colours[3], 1.0f);
    EXPECT_FLOAT_EQ(quadFor(1.0f, PS_ALPHA).colours[3], 0.4f);

    // Angles wrap both ways round the table: one step back is 1023 steps on.
    float back = -1.0f / 1023.0f, turn = 1.0f, huge = 1e30f;
    Quad a = quadFor(1.0f, PS_ROTATE, &back), b = quadFor(1.0f, PS_ROTATE, &turn);
    EXPECT_TRUE(std::equal(a.corners, a.corners + 12, b.corners));
    for (int k = 0; k < 4; k++)
        EXPECT_NEAR(std::hypot(a.corners[3 * k], a.corners[3 * k + 1]), 3.0f, 1e-5f);
    EXPECT_TRUE(std::isfinite(quadFor(1.0f, PS_ROTATE, &huge).corners[0]));
    // Without angles: the particle's fixed random step.
    int32_t m = particleSystem.rotationRandom[0] & 1023;
    EXPECT_NEAR(quadFor(1.0f, PS_ROTATE).corners[0], 3.0f * particleSystem.rotationSin[m], 1e-5f);
}

TEST(ParticleQuads, SpriteOneOfAPairUsesTheRightHalf)
{
    float uv[8] = {0.5f, 0, 1, 0, 1, 1, 0.5f, 1};
    EXPECT_TRUE(std::equal(uv, uv + 8, quadFor(1.0f, 0, nullptr, 2, 1).t0));
    Quad blurred = quadFor(1.0f, PS_DEPTH_BLUR, nullptr, 2, 1);   // cell 0 squeezed into it
    EXPECT_EQ(blurred.t0[0], 0.5f);
    EXPECT_EQ(blurred.t0[2], 0.75f);
    EXPECT_EQ(quadFor(1.0f, 0, nullptr, 1, 1).t0[0], 0.0f);   // one sprite: bytes ignored
    // A pair without a sprites array: every particle shows sprite 0, the left half.
    float left[8] = {0, 0, 0.5f, 0, 0.5f, 1, 0, 1};
    EXPECT_TRUE(std::equal(left, left + 8, quadFor(1.0f, 0, nullptr, 2, -1).t0));
    EXPECT_EQ(quadFor(1.0f, PS_DEPTH_BLUR, nullptr, 2, -1).t0[2], 0.25f);
}

// The mix of two cells is checked in pixels by the drawing tests below.
TEST(ParticleQuads, DepthBlurStopsAtLevelNineAndStaysFinite)
{
    // Beyond nine levels, and at the eye (a key of 0, drawn with PS_ALL only): level 9.
    for (float key : {1.0f + 9.5f * 0.1f, 0.0f, -0.0f}) {
        Quad far = quadFor(key, PS_DEPTH_BLUR);
        EXPECT_EQ(far.t0[0], BLUR_ATLAS_CELLS[9][0]) << key;
        EXPECT_EQ(far.t1[2], 0.0f) << key;
        EXPECT_FLOAT_EQ(far.colours[3], 1.0f) << key;
    }
    EXPECT_EQ(quadFor(-2.0f, PS_DEPTH_BLUR).t0[2], BLUR_ATLAS_CELLS[0][2]);   // behind: sharp
    // Brightness 2 halfway from level 1 to 2 uses up all of C: finite, all on the farther cell.
    Quad over = quadFor(0.25f, PS_DEPTH_BLUR, nullptr, 1, 0, 4.0f, 0.5f);
    EXPECT_EQ(over.colours[3], 0.0f);
    for (float c : over.colours)
        EXPECT_TRUE(std::isfinite(c)) << c;
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

// A camera at EYE towards TARGET on a cleared frame, and an atlas whose cell L is grey 20 + 20 L.
Texture cameraAndGreyAtlas()
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

    static Texture atlas = {};
    if (atlas.name)
        return atlas;
    std::vector<uint8_t> image(64 * 64 * 4, 255);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            for (int L = 0; L < 10; L++) {
                const float* c = BLUR_ATLAS_CELLS[L];
                float u = (x + 0.5f) / 64, v = (y + 0.5f) / 64;
                if (u >= c[0] && u < c[2] && v >= c[1] && v < c[5])
                    std::fill_n(&image[(y * 64 + x) * 4], 3, (uint8_t)(20 + 20 * L));
            }
    glGenTextures(1, &atlas.name);
    glBindTexture(GL_TEXTURE_2D, atlas.name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
    atlas = {atlas.name, 1.0f, 1.0f, 1.0f, 64, 64, TEX_NEAREST | TEX_NO_MIPMAP | TEX_CLAMP, 1};
    return atlas;
}

}   // namespace

TEST(ParticleDraw, SendsBatchesOf1024AndNothingWhenNothingIsVisible)
{
    Texture atlas = cameraAndGreyAtlas();
    std::vector<Vec3> points = atKeys(std::vector<float>(1025, 0.5f));
    uint32_t scratch = scratchUsed(), seed = randomSeed;
    testing::internal::CaptureStderr();
    drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr, 0, EYE, TARGET, &atlas,
                  nullptr, 0.1f, 1.0f, 1.0f, PS_SORT | PS_ALL | PS_ROTATE, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(randomSeed, seed);

    testing::internal::CaptureStderr();
    drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr, 1025, EYE, TARGET, &atlas,
                  nullptr, 0.1f, 0.1f, 1.0f, PS_SORT | PS_ROTATE | PS_DEPTH_BLUR,
                  RENDER_ALPHA_BLEND);
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(countLines(log, "moxiRadixsort"), 1);
    EXPECT_EQ(countLines(log, "wtf"), 2);
    EXPECT_EQ(countLines(log, "glDrawElements"), 2);
    EXPECT_EQ(particleSystem.quadIndices[4095], 4095u);
    EXPECT_EQ(scratchUsed(), scratch);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(ParticleDraw, MoreThanTheKeyArrayHolds)
{
    Texture atlas = cameraAndGreyAtlas();
    std::vector<Vec3> points = atKeys(std::vector<float>(PARTICLE_MAX + 1, 0.5f));
    // Unsorted: the first PARTICLE_MAX, in 98 batches.
    testing::internal::CaptureStderr();
    drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr, PARTICLE_MAX + 1, EYE, TARGET,
                  &atlas, nullptr, 0.1f, 0.01f, 1.0f, 0, 0);
    EXPECT_EQ(countLines(testing::internal::GetCapturedStderr(), "wtf"), 98);
    // Sorted: the end, before any key is written.
    EXPECT_EXIT(radixSortKeys(PARTICLE_MAX + 1), testing::ExitedWithCode(1), "dumbass");
    particleSystem.keys[0] = {123.0f, 7};
    EXPECT_EXIT(drawParticles(points.data(), nullptr, nullptr, nullptr, nullptr, PARTICLE_MAX + 1,
                              EYE, TARGET, &atlas, nullptr, 0.1f, 0.01f, 1.0f, PS_SORT, 0),
                testing::ExitedWithCode(1), "dumbass");
    EXPECT_EQ(particleSystem.keys[0].key, 123.0f);
}

TEST(ParticleDraw, DepthBlurShowsTheMixOfTwoCells)
{
    // Brightness 0.8: at key 1 all of cell 0; at key 1.25 (blurRange 0.1) half of 2 and 3.
    // Brightness 2 halfway from level 1 to 2 (key 0.25, blurRange 0.5) takes all of C: cell 2.
    struct Case {
        float key, alpha, blurRange, expected;
    } cases[] = {
        {1.0f, 0.8f, 0.1f, 0.8f * 20}, {1.25f, 0.8f, 0.1f, 0.8f * 70}, {0.25f, 2.0f, 0.5f, 60}};
    for (const Case& c : cases) {
        Texture atlas = cameraAndGreyAtlas();
        std::vector<Vec3> one = atKeys({c.key});
        drawParticles(one.data(), nullptr, nullptr, nullptr, &c.alpha, 1, EYE, TARGET, &atlas,
                      nullptr, c.blurRange, 4.0f, 1.0f, PS_DEPTH_BLUR, 0);
        std::array<int, 3> pixel = pixelRGB(320, 240);
        EXPECT_NEAR(pixel[0], c.expected, 3.0f) << c.key;
        EXPECT_NEAR(pixel[2], c.expected, 3.0f) << c.key;
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(ParticleDraw, ABatchThatCannotChangeAPixelIsSentEmpty)
{
    const float white[4] = {1, 1, 1, 1};
    bool frameAlpha = (ensureGLContext(), frameHasAlpha());
    struct Case {
        const char* name;
        float alpha;
        RenderFlags flags;
        bool fog, drawn;
    } cases[] = {
        {"added at alpha 0", 0.0f, RENDER_ADD, false, frameAlpha},
        {"screened at alpha 0", 0.0f, RENDER_SCREEN, false, frameAlpha},
        {"added at a tiny alpha", 1.0f / 32, RENDER_ADD, false, true},
        // Black with the texel's alpha: it darkens what lies below.
        {"alpha-blended at alpha 0", 0.0f, RENDER_ALPHA_BLEND, false, true},
        // The fog colours what would add nothing.
        {"added at alpha 0 in white fog", 0.0f, RENDER_ADD, true, true},
    };
    GLuint query = 0;
    glGenQueries(1, &query);
    for (const Case& c : cases) {
        Texture atlas = cameraAndGreyAtlas();
        std::vector<Vec3> one = atKeys({0.5f});
        if (c.fog)
            linearFog(white, 0.0f, 100.0f);
        testing::internal::CaptureStderr();
        glBeginQuery(GL_SAMPLES_PASSED, query);
        drawParticles(one.data(), nullptr, nullptr, nullptr, nullptr, 1, EYE, TARGET, &atlas,
                      nullptr, 0.1f, 4.0f, c.alpha, 0, c.flags);
        glEndQuery(GL_SAMPLES_PASSED);
        glDisable(GL_FOG);
        // The timing log keeps its lines either way.
        EXPECT_EQ(countLines(testing::internal::GetCapturedStderr(), "glDrawElements"), 1)
            << c.name;
        GLuint samples = 0;
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &samples);
        EXPECT_EQ(samples > 0, c.drawn) << c.name;
    }
    glDeleteQueries(1, &query);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
