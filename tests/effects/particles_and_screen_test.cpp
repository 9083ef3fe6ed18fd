// The particle system and the screen passes (layers, whole-texture passes, glow, fills).
#define GL_GLEXT_PROTOTYPES 1   // the sample count query
#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"
#include "effects/effects_local.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> readScreen()
{
    return readPixels(0, 0, frameRecord.width, frameRecord.height);
}

const uint8_t* at(const std::vector<uint8_t>& px, int x, int y)
{
    return &px[((size_t)y * frameRecord.width + x) * 4];
}

// A 2 x 2 texture: red, green on the top row, blue, white below.
Texture* quadrants()
{
    return textureFromTexels(2, 2,
                             {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
}

// The samples a drawing step sends to the frame.
GLuint samplesDrawnBy(const std::function<void()>& draw)
{
    static GLuint query = 0;
    if (!query)
        glGenQueries(1, &query);
    glBeginQuery(GL_SAMPLES_PASSED, query);
    draw();
    glEndQuery(GL_SAMPLES_PASSED);
    GLuint samples = 0;
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &samples);
    return samples;
}

struct ScreenPasses : ::testing::Test {
    void SetUp() override { ensureGLContext(640, 480); }
};

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
    EXPECT_EQ(std::vector<int32_t>(indices, indices + 2), (std::vector<int32_t>{2, 0}));
    // Culling asked for without normals: what is in front of the eye, as without culling.
    EXPECT_EQ(keepParticles(nullptr, 4, EYE, PS_CULL | PS_ALL, indices, kept), 3);
    EXPECT_EQ(std::vector<int32_t>(indices, indices + 3), (std::vector<int32_t>{2, 1, 0}));

    // An eye on its own target has nothing in front of it.
    computeParticleKeys(points.data(), 4, TARGET, TARGET);
    EXPECT_EQ(keepParticles(nullptr, 4, TARGET, 0, indices, kept), 0);
}

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
    EXPECT_EQ(std::tuple(countLines(log, "moxiRadixsort"), countLines(log, "wtf"),
                         countLines(log, "glDrawElements")),
              std::tuple(1, 2, 2));
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
    for (const Case& c : cases) {
        Texture atlas = cameraAndGreyAtlas();
        std::vector<Vec3> one = atKeys({0.5f});
        if (c.fog)
            linearFog(white, 0.0f, 100.0f);
        testing::internal::CaptureStderr();
        GLuint samples = samplesDrawnBy([&] {
            drawParticles(one.data(), nullptr, nullptr, nullptr, nullptr, 1, EYE, TARGET, &atlas,
                          nullptr, 0.1f, 4.0f, c.alpha, 0, c.flags);
        });
        glDisable(GL_FOG);
        // The timing log keeps its lines either way.
        EXPECT_EQ(countLines(testing::internal::GetCapturedStderr(), "glDrawElements"), 1)
            << c.name;
        EXPECT_EQ(samples > 0, c.drawn) << c.name;
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, ImageLayerIsUprightAndClampedZoomShrinksIt)
{
    Texture* t = quadrants();
    beginFrame(&defaultClearColour);
    drawScreenImage(t, 0, 0, 1, 1, 1, 0, 1, RENDER_ALPHA_BLEND | TEX_NEAREST | RENDER_NO_DEPTH);
    // Window rows count from the bottom: the top-left of the letterbox shows the first texel.
    EXPECT_GT(pixelRGB(100, 380)[0], 200);   // red, upper left
    EXPECT_GT(pixelRGB(540, 380)[1], 200);   // green, upper right
    EXPECT_GT(pixelRGB(100, 100)[2], 200);   // blue, lower left

    beginFrame(&defaultClearColour);
    drawScreenImage(t, 0, 0, 1, 2, 2, 0, 1,
                    RENDER_ALPHA_BLEND | TEX_NEAREST | TEX_CLAMP | RENDER_NO_DEPTH);
    // Half size in the middle; the clamped borders repeat the edge texels outside it.
    EXPECT_GT(pixelRGB(250, 270)[0], 200);
    EXPECT_GT(pixelRGB(390, 200)[0], 200);   // white, lower right of the image
    EXPECT_GT(pixelRGB(390, 200)[1], 200);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, WholeTexturePassesBlendByTheirFormulas)
{
    // Source s = texel x brightness in every channel, its alpha a likewise; d the picture below.
    const uint8_t texel[4] = {128, 64, 191, 128};
    Texture* t = makeSolidTexture(4, 4, texel[0], texel[1], texel[2], texel[3], Vec3{1, 1, 1},
                                  TEX_NO_MIPMAP);
    const float below[4] = {0.6f, 0.4f, 0.2f, 1}, brightness = 0.8f;
    using Blend = float (*)(float s, float a, float d);
    struct Row {
        const char* name;
        RenderFlags flags;
        Blend blend;
    } rows[] = {
        {"add", RENDER_ADD, [](float s, float, float d) { return s + d; }},
        {"multiply-inverse", RENDER_MUL_INVERSE,
         [](float s, float, float d) { return d * (1 - s); }},
        {"multiply", RENDER_MUL, [](float s, float, float d) { return d * s; }},
        {"alpha", RENDER_ALPHA_BLEND,
         [](float s, float a, float d) { return s * a + d * (1 - a); }},
        {"screen", RENDER_SCREEN, [](float s, float, float d) { return s + d * (1 - s); }},
        {"replace", 0, [](float s, float, float) { return s; }},
        // The first bit in the order above wins.
        {"add first", RENDER_ADD | RENDER_MUL_INVERSE | RENDER_MUL | RENDER_SCREEN,
         [](float s, float, float d) { return s + d; }},
        {"multiply-inverse first", RENDER_MUL_INVERSE | RENDER_MUL | RENDER_ALPHA_BLEND,
         [](float s, float, float d) { return d * (1 - s); }},
        {"alpha before screen", RENDER_ALPHA_BLEND | RENDER_SCREEN,
         [](float s, float a, float d) { return s * a + d * (1 - a); }},
        {"multiply before screen", RENDER_MUL | RENDER_SCREEN,
         [](float s, float, float d) { return d * s; }},
    };
    const float a = texel[3] / 255.0f * brightness;
    for (const Row& row : rows)
        for (bool inset : {false, true}) {
            beginFrame(&defaultClearColour);
            fillScreen(below, RENDER_NO_DEPTH);
            if (inset)
                drawScreenTextureInset(t, brightness, 0.25f, row.flags);
            else
                drawScreenTexture(t, brightness, row.flags);
            std::vector<uint8_t> px = readScreen();
            for (int c = 0; c < 3; c++) {
                float want = clamp01(row.blend(texel[c] / 255.0f * brightness, a, below[c]));
                EXPECT_NEAR(at(px, 320, 240)[c], want * 255, 3)
                    << row.name << (inset ? " inset" : "") << ", channel " << c;
            }
        }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, AtStrengthZeroOnlyThoseThatCanChangeAPixelDraw)
{
    Texture* t = quadrants();
    const ScreenCorner corners[4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {1, 1, 1, 0}, {-1, 1, 0, 0}};
    struct Row {
        const char* name;
        std::function<void(float)> pass;
        bool drawsAtZero;
    } rows[] = {
        {"flash", [](float s) { addScreenGrey(s); }, false},
        {"added image", [t](float s) { drawScreenImage(t, 0, 0, 1, 1, 1, 0, s, RENDER_ADD); },
         false},
        {"alpha-blended image",
         [t](float s) { drawScreenImage(t, 0, 0, 1, 1, 1, 0, s, RENDER_ALPHA_BLEND); }, false},
        {"screened texture", [t](float s) { drawScreenTexture(t, s, RENDER_SCREEN); }, false},
        {"screened quads", [&](float s) { drawScreenQuads(t, corners, 1, s, RENDER_SCREEN); },
         false},
        // The alpha bit colours it white at alpha 0, and adding still adds that.
        {"added image with the alpha bit",
         [t](float s) { drawScreenImage(t, 0, 0, 1, 1, 1, 0, s, RENDER_ADD | RENDER_ALPHA_BLEND); },
         true},
        {"multiplied texture", [t](float s) { drawScreenTexture(t, s, RENDER_MUL); }, true},
    };
    const float below[4] = {0.6f, 0.4f, 0.2f, 1};
    for (const Row& row : rows)
        for (float strength : {0.0f, 1.0f / 32}) {
            beginFrame(&defaultClearColour);
            fillScreen(below, RENDER_NO_DEPTH);
            std::vector<uint8_t> before = readScreen();
            GLuint samples = samplesDrawnBy([&] { row.pass(strength); });
            bool drawn = samples > 0;
            EXPECT_EQ(drawn, strength > 0 || row.drawsAtZero) << row.name << " at " << strength;
            if (!drawn) {
                EXPECT_TRUE(readScreen() == before) << row.name;
            } else if (strength > 0) {
                EXPECT_FALSE(readScreen() == before) << row.name << " at " << strength;
            }
        }
    // A flash left out still leaves its blend for what follows.
    addScreenGrey(0);
    GLint source = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) && source == GL_ONE);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, InsetWithoutMarginIsTheWholeTextureAndAQuarterZoomsIntoTheCentre)
{
    Texture* t = texelGridTexture();
    beginFrame(&defaultClearColour);
    drawScreenTexture(t, 1, TEX_NEAREST);
    std::vector<uint8_t> whole = readScreen();
    EXPECT_NEAR(at(whole, 2, 62)[0], 30, 2);   // texel (0, 0) in the lower left
    EXPECT_NEAR(at(whole, 637, 417)[1], 210, 2);
    beginFrame(&defaultClearColour);
    drawScreenTextureInset(t, 1, 0.0f, TEX_NEAREST);
    EXPECT_TRUE(readScreen() == whole);

    // Margin 0.25: the centre 2 x 2 texels fill the letterbox (rows 60 to 419).
    beginFrame(&defaultClearColour);
    drawScreenTextureInset(t, 1, 0.25f, TEX_NEAREST);
    std::vector<uint8_t> px = readScreen();
    struct {
        int x, y, i, j;
    } probes[] = {{2, 62, 1, 1},    {318, 238, 1, 1}, {322, 242, 2, 2},
                  {637, 417, 2, 2}, {160, 330, 1, 2}, {480, 150, 2, 1}};
    for (const auto& p : probes) {
        EXPECT_NEAR(at(px, p.x, p.y)[0], 30 + 60 * p.i, 2) << p.x << ", " << p.y;
        EXPECT_NEAR(at(px, p.x, p.y)[1], 30 + 60 * p.j, 2) << p.x << ", " << p.y;
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The largest difference in red, green or blue between a level and the 2 x 2 box average of
// the w x h level before it.
int worstHalvingError(const std::vector<uint8_t>& big, int w, int h,
                      const std::vector<uint8_t>& small)
{
    int worst = 0;
    for (int y = 0; y < h / 2; y++)
        for (int x = 0; x < w / 2; x++)
            for (int c = 0; c < 3; c++) {
                auto texel = [&](int bx, int by) { return big[((size_t)by * w + bx) * 4 + c]; };
                int sum = texel(2 * x, 2 * y) + texel(2 * x + 1, 2 * y) + texel(2 * x, 2 * y + 1) +
                          texel(2 * x + 1, 2 * y + 1);
                int got = small[((size_t)y * (w / 2) + x) * 4 + c];
                worst = std::max(worst, std::abs(got * 4 - sum) / 4);
            }
    return worst;
}

ScreenChain& sharedChain()
{
    static ScreenChain chain = makeScreenCopyChain();
    return chain;
}

TEST(GlowChainLevels, WeightsAndTaps)
{
    GlowLevels half = glowLevelsFrom(8, 0.5f);
    EXPECT_EQ(half.first, 4);
    EXPECT_FLOAT_EQ(half.firstWeight, 1.0f);
    GlowLevels more = glowLevelsFrom(8, 0.55f);
    EXPECT_EQ(more.first, 4);
    EXPECT_NEAR(more.firstWeight, 0.6f, 1e-5);
    EXPECT_EQ(glowLevelsFrom(8, 1.0f).first, 8);
    EXPECT_EQ(glowLevelsFrom(8, -2.0f).first, 0);
    // Spread 0 is drawn unblurred by the chain tests below; here the taps of a spread.
    float s, t;
    glowDiscTapOffset(2, 4.0f, 256, 128, &s, &t);   // a quarter turn: all in s
    EXPECT_NEAR(s, 4.0f / 256, 1e-5);
    EXPECT_NEAR(t, 0.0f, 1e-4);
    EXPECT_EQ(glowZoomTapExtent(0, 3.0f), 0.5f);
    EXPECT_FLOAT_EQ(glowZoomTapExtent(4, 2.0f), 0.25f);
}

TEST_F(ScreenPasses, GlowChainOfAFlatPictureIsBrighterAndOfOneLevelOnlyCopiesTheCorner)
{
    ScreenChain& chain = sharedChain();
    float grey[4] = {0.1f, 0.1f, 0.1f, 1};
    beginFrame(&defaultClearColour);
    fillScreen(grey, RENDER_TO_TEXTURE | RENDER_NO_DEPTH);
    buildGlowChainDisc(&chain, 0, 0.0f, whiteTint);
    drawGlowChain(&chain, 0);
    // Eight levels of a flat 0.1 grey added: about 0.8, darker towards the edges.
    EXPECT_GT(pixelRGB(320, 240)[0], 150);
    EXPECT_LT(pixelRGB(320, 240)[0], 215);
    drawGlowChainFrom(&chain, 1.0f, 0);
    EXPECT_EQ(pixelRGB(320, 240)[0], 0);

    beginFrame(&defaultClearColour);
    drawScreenTexture(texelGridTexture(), 1, RENDER_TO_TEXTURE | TEX_NEAREST);
    buildGlowChainDisc(&chain, 0, 0.0f, whiteTint);
    std::vector<uint8_t> levelOne = readTexels(chain.textures[1].name);

    grey[0] = grey[1] = grey[2] = 0.2f;
    beginFrame(&defaultClearColour);
    fillScreen(grey, RENDER_TO_TEXTURE | RENDER_NO_DEPTH);
    ScreenChain one = chain;
    one.count = 1;
    buildGlowChainDisc(&one, 1, 2.0f, greyTint);
    std::vector<uint8_t> levelZero = readTexels(chain.textures[0].name);
    EXPECT_NEAR(levelZero[0], 51, 1);
    EXPECT_NEAR(levelZero[(256 * 512 - 1) * 4], 51, 1);
    EXPECT_TRUE(readTexels(chain.textures[1].name) == levelOne);
    // Nothing was drawn into the corner either.
    EXPECT_NEAR(pixelRGB(10, 10)[0], 51, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, GlowChainWithoutSpreadHalvesEveryLevelUnblurred)
{
    ScreenChain& chain = sharedChain();
    ASSERT_EQ(chain.count, 8);
    // 16 x 8 texels with colours of their own, 32 x 32 pixels each in the corner.
    auto colour = [](int i, int j) {
        return std::vector<uint8_t>{(uint8_t)(16 * i + 8), (uint8_t)(32 * j + 16),
                                    (uint8_t)((7 * i + 13 * j) % 16 * 16), 255};
    };
    std::vector<uint8_t> rgba;
    for (int n = 0; n < 16 * 8; n++)
        for (uint8_t v : colour(n % 16, n / 16))
            rgba.push_back(v);
    Texture* picture = textureFromTexels(16, 8, rgba);
    for (bool zoom : {false, true}) {
        beginFrame(&defaultClearColour);
        drawScreenTexture(picture, 1, RENDER_TO_TEXTURE | TEX_NEAREST);
        if (zoom)
            buildGlowChainZoom(&chain, 0, 0.0f, whiteTint);
        else
            buildGlowChainDisc(&chain, 0, 0.0f, whiteTint);
        std::vector<uint8_t> level = readTexels(chain.textures[0].name);
        for (int j = 0; j < 8; j++)
            for (int i = 0; i < 16; i++)
                for (int c = 0; c < 3; c++)
                    ASSERT_EQ(level[((size_t)(32 * j + 16) * 512 + 32 * i + 16) * 4 + c],
                              colour(i, j)[c]);
        for (int k = 1; k < chain.count; k++) {
            std::vector<uint8_t> next = readTexels(chain.textures[k].name);
            EXPECT_LE(worstHalvingError(level, 512 >> (k - 1), 256 >> (k - 1), next), 2)
                << (zoom ? "zoom" : "disc") << ", level " << k;
            level = std::move(next);
        }
        // The 4 x 2 level still shows the red ramp across.
        EXPECT_GT(level[3 * 4] - level[0], 150);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}   // namespace
