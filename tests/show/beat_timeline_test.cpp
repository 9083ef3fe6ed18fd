// The beat envelopes, counters and warps, the window table, and the passes and grain drawn.
#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TickEnvelopes, FlashesOnTheTickTable)
{
    EXPECT_FLOAT_EQ(tickFlash(0.75f, 0.1f), 1.0f);               // row 48
    EXPECT_NEAR(tickFlash(0.75f + 5.0f / 64, 0.1f), 0.5f, 1e-5);  // row 53
    EXPECT_NEAR(tickFlash(58.0f / 64, 0.1f), 0.8f, 1e-5);        // two rows after row 56
    EXPECT_EQ(tickFlash(47.0f / 64, 0.1f), 0.0f);
    EXPECT_EQ(tickCount(47.0f / 64), 0);
    EXPECT_EQ(tickCount(0.75f), 1);
    EXPECT_EQ(tickCount(3.3f), 3);
    EXPECT_EQ(tickCount(101.0f), 12);
    // The last entry has no end: it keeps falling.
    EXPECT_NEAR(tickFlash(101.0f + 5.0f / 64, 0.1f), 0.5f, 1e-4);
    EXPECT_EQ(tickFlash(120.0f, 0.1f), 0.0f);
}

TEST(BeatCounters, HalfPatternsPulsesAndBackbeats)
{
    EXPECT_EQ(halfPatternIndex(-0.25f), -1);
    EXPECT_EQ(halfPatternIndex(0.49f), 0);
    EXPECT_FLOAT_EQ(halfPatternFlash(0.5f, 0.1f), 1.0f);
    EXPECT_NEAR(halfPatternFlash(0.5f + 2.5f / 64, 0.1f), 0.5f, 1e-4);
    EXPECT_EQ(halfPatternFlash(0.5f + 5.0f / 64, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(pulse(-0.3f, 0.7f, 8, 4), 0.7f);
    EXPECT_FLOAT_EQ(pulse(0.0f, 0.7f, 8, 4), 0.7f);
    EXPECT_NEAR(pulse(1.0f / 64, 1.0f, 8, 4), 0.5f, 1e-5);   // half of a quarter period
    EXPECT_EQ(backbeatStep(0.0f), 0.0f);
    EXPECT_EQ(backbeatStep(0.0625f), 1.0f);
    EXPECT_EQ(backbeatStep(0.1874f), 1.0f);
    EXPECT_EQ(backbeatStep(0.1875f), 2.0f);
}

TEST(RippleWarps, MapTheGridIntoTheMiddleOfTheTexture)
{
    Vec3 out, zero{0, 0, 0};
    Vec3 a{0, 0, 0.25f}, b{1, 1, 0.5f};
    rippleWarp(&out, 0.3f, &a, &zero, 1, 0);
    EXPECT_FLOAT_EQ(out.x, 0.1f);
    EXPECT_FLOAT_EQ(out.y, 0.1f);
    EXPECT_FLOAT_EQ(out.z, 0.25f);
    rippleWarp(&out, 0.3f, &b, &zero, 1, 0);
    EXPECT_FLOAT_EQ(out.x, 0.9f);
    EXPECT_FLOAT_EQ(out.y, 0.9f);
    rippleWarpScrollBack(&out, 2.0f, &a, &zero, 1, 0);
    EXPECT_FLOAT_EQ(out.x, 0.1f - 2.0f);
    rippleWarpScrollHalf(&out, 2.0f, &a, &zero, 1, 0);
    EXPECT_FLOAT_EQ(out.x, 0.1f + 1.0f);
    // With amplitude 1 the displacement stays within 0.04.
    for (float t = 0; t < 4; t += 0.37f) {
        rippleWarp(&out, t, &b, &zero, 1, 1);
        EXPECT_LE(std::abs(out.x - 0.9f), 0.0400001f);
        EXPECT_LE(std::abs(out.y - 0.9f), 0.0400001f);
    }
}

TEST(WindowTable, EveryWindowAndItsLocalTime)
{
    struct Case {
        float t;
        int scene;
        float local;
    } cases[] = {
        {-1.0f, 1, -1.0f},     {5.9999f, 1, 5.9999f}, {6.0f, 2, 0.0f},       {9.5f, 3, 0.0f},
        {13.8f, 4, 13.8f},     {14.0f, 5, 14.0f},     {19.0f, 6, 1.0f},      {21.0f, 7, 1.0f},
        {22.0f, 8, 0.0f},      {28.25f, 9, -0.25f},   {32.3f, 4, 32.3f},     {33.0f, 10, 0.5f},
        {34.5f, 11, 0.0f},     {39.0f, 4, 38.625f},   {39.5f, 0, 39.5f},     {120.0f, 0, 120.0f},
    };
    for (const Case& c : cases) {
        SceneCall call = sceneCallAt(c.t);
        EXPECT_EQ(call.scene, c.scene) << c.t;
        EXPECT_FLOAT_EQ(call.local, c.local) << c.t;
        EXPECT_EQ(call.time, c.t);
        EXPECT_EQ(call.capture, 0);
        EXPECT_EQ(sceneAtTime(c.t), c.scene);
    }
}

namespace {

std::vector<uint8_t> readScreen()
{
    std::vector<uint8_t> px((size_t)displaySettings.width * displaySettings.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, displaySettings.width, displaySettings.height, GL_RGBA, GL_UNSIGNED_BYTE,
                 px.data());
    return px;
}

const uint8_t* pixel(const std::vector<uint8_t>& px, int x, int y)
{
    return &px[((size_t)y * displaySettings.width + x) * 4];
}

}   // namespace

TEST(Passes, FlashesAddGreyInsideTheLetterbox)
{
    ensureGLContext(640, 480);
    beginFrame(&defaultClearColour);
    drawTickFlash(0.75f, 0.5f);
    std::vector<uint8_t> px = readScreen();
    EXPECT_NEAR(pixel(px, 320, 240)[0], 128, 2);
    EXPECT_EQ(pixel(px, 320, 10)[0], 0);   // the bar below the letterbox (480 x 1/8 = 60 rows)
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Passes, FilmGrainDiffersEveryFrameAndAfterTheShowIsAllThereIs)
{
    ensureGLContext(640, 480);
    showStarted = 1;
    randomSeed = 42;
    grainTexture = makeNoiseTexture(256, 256, TEX_NO_MIPMAP);
    drawShowFrame(45.0f);
    std::vector<uint8_t> first = readScreen();
    drawShowFrame(45.0f);
    std::vector<uint8_t> second = readScreen();
    EXPECT_NE(first, second);   // two new grain offsets a frame
    // Black with a faint grain: alpha 12 of 255 over black.
    int brightest = 0;
    for (int x = 0; x < 640; x += 7)
        brightest = std::max<int>(brightest, pixel(first, x, 240)[0]);
    EXPECT_GT(brightest, 0);
    EXPECT_LE(brightest, 13);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    grainTexture = nullptr;
}

TEST(Passes, GridWarpCallsBackOncePerVertex)
{
    ensureGLContext(640, 480);
    static int calls;
    calls = 0;
    GridWarpFn identity = [](Vec3* out, float, const Vec3* v, const Vec3*, float, float) {
        calls++;
        *out = *v;
        return out;
    };
    Texture* flat = makeSolidTexture(4, 4, 200, 100, 50, 255, Vec3{1, 1, 1}, TEX_NO_MIPMAP);
    beginFrame(&defaultClearColour);
    drawGridWarp(flat, 16, 9, 0.0f, identity, 1, 1, RENDER_NO_DEPTH | RENDER_NO_CULL);
    EXPECT_EQ(calls, 170);
    std::vector<uint8_t> px = readScreen();
    EXPECT_NEAR(pixel(px, 320, 240)[0], 200, 2);
    EXPECT_NEAR(pixel(px, 320, 240)[1], 100, 2);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
