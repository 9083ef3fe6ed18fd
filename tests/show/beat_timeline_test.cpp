// The beat envelopes, counters and warps, the window table, and the passes and grain drawn.
#include "scene_support.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

TEST(BeatCounters, TicksHalfPatternsPulsesAndBackbeats)
{
    EXPECT_NEAR(tickFlash(0.75f + 5.0f / 64, 0.1f), 0.5f, 1e-5);   // row 53
    EXPECT_NEAR(tickFlash(58.0f / 64, 0.1f), 0.8f, 1e-5);          // two rows after row 56
    EXPECT_EQ(tickFlash(47.0f / 64, 0.1f), 0.0f);
    EXPECT_EQ(tickCount(3.3f), 3);
    EXPECT_EQ(tickCount(101.0f), 12);
    // Every tick row: the flash starts there at 1 and the count steps to it, not a row earlier.
    const int rows[] = {48, 56, 208, 216, 400, 408, 1552, 1560, 1680, 1688, 6400, 6464};
    for (int k = 0; k < 12; k++) {
        EXPECT_FLOAT_EQ(tickFlash(rows[k] / 64.0f, 0.1f), 1.0f) << rows[k];
        EXPECT_EQ(tickCount(rows[k] / 64.0f), k + 1) << rows[k];
        EXPECT_EQ(tickCount((rows[k] - 1) / 64.0f), k) << rows[k];
    }
    // The last entry has no end: it keeps falling.
    EXPECT_NEAR(tickFlash(101.0f + 5.0f / 64, 0.1f), 0.5f, 1e-4);
    EXPECT_EQ(tickFlash(120.0f, 0.1f), 0.0f);
    EXPECT_EQ(halfPatternIndex(-0.25f), -1);
    EXPECT_EQ(halfPatternIndex(0.49f), 0);
    EXPECT_FLOAT_EQ(halfPatternFlash(0.5f, 0.1f), 1.0f);
    EXPECT_NEAR(halfPatternFlash(0.5f + 2.5f / 64, 0.1f), 0.5f, 1e-4);
    EXPECT_EQ(halfPatternFlash(0.5f + 5.0f / 64, 0.1f), 0.0f);
    EXPECT_FLOAT_EQ(pulse(-0.3f, 0.7f, 8, 4), 0.7f);
    EXPECT_FLOAT_EQ(pulse(0.0f, 0.7f, 8, 4), 0.7f);
    EXPECT_NEAR(pulse(1.0f / 64, 1.0f, 8, 4), 0.5f, 1e-5);   // half of a quarter period
    for (auto [t, step] :
         {std::pair(0.0f, 0.0f), {0.0625f, 1.0f}, {0.1874f, 1.0f}, {0.1875f, 2.0f}})
        EXPECT_EQ(backbeatStep(t), step) << t;
}

TEST(RippleWarps, MapTheGridIntoTheMiddleOfTheTexture)
{
    Vec3 out, zero{0, 0, 0};
    Vec3 a{0, 0, 0.25f}, b{1, 1, 0.5f};
    EXPECT_LT(distance(*rippleWarp(&out, 0.3f, &a, &zero, 1, 0), {0.1f, 0.1f, 0.25f}), 1e-7f);
    EXPECT_LT(distance(*rippleWarp(&out, 0.3f, &b, &zero, 1, 0), {0.9f, 0.9f, 0.5f}), 1e-7f);
    EXPECT_FLOAT_EQ(rippleWarpScrollBack(&out, 2.0f, &a, &zero, 1, 0)->x, 0.1f - 2.0f);
    EXPECT_FLOAT_EQ(rippleWarpScrollHalf(&out, 2.0f, &a, &zero, 1, 0)->x, 0.1f + 1.0f);
    // With amplitude 1 the displacement stays within 0.04.
    for (float t = 0; t < 4; t += 0.37f) {
        rippleWarp(&out, t, &b, &zero, 1, 1);
        EXPECT_LE(std::max(std::abs(out.x - 0.9f), std::abs(out.y - 0.9f)), 0.0400001f) << t;
    }
}

TEST(WindowTable, EveryWindowFromItsStartToItsEnd)
{
    // Half-open windows; each local time is worked out in double and handed over as a float.
    struct Window {
        float start, end;
        int scene;
        double (*local)(double t);
    } windows[] = {
        {-INFINITY, 6.0f, 1, [](double t) { return t; }},
        {6.0f, 9.5f, 2, [](double t) { return t - 6; }},
        {9.5f, 13.75f, 3, [](double t) { return t - 9.5; }},
        {13.75f, 14.0f, 4, [](double t) { return t; }},
        {14.0f, 18.0f, 5, [](double t) { return t; }},
        {18.0f, 20.0f, 6, [](double t) { return t - 18; }},
        {20.0f, 22.0f, 7, [](double t) { return t - 20; }},
        {22.0f, 28.25f, 8, [](double t) { return t - 22; }},
        {28.25f, 32.25f, 9, [](double t) { return t - 28.5; }},
        {32.25f, 32.5f, 4, [](double t) { return t; }},
        {32.5f, 34.5f, 10, [](double t) { return t - 32.5; }},
        {34.5f, 38.5f, 11, [](double t) { return t - 34.5; }},
        {38.5f, 39.5f, 4, [](double t) { return (t - 38.5) * 0.25 + 38.5; }},
    };
    auto check = [](float t, int scene, float local) {
        SceneCall call = sceneCallAt(t);
        EXPECT_EQ(call.scene, scene) << t;
        if (scene) {
            EXPECT_EQ(call.local, local) << t;
        }
        EXPECT_EQ(call.time, t) << t;
        EXPECT_EQ(call.capture, 0) << t;
        EXPECT_EQ(sceneAtTime(t), scene) << t;
    };
    for (const Window& w : windows) {
        // The start and the float just above it open this window; the float just below the end
        // still belongs to it; the end itself opens the next row.
        std::vector<float> inside = {std::nextafter(w.end, -INFINITY)};
        if (std::isfinite(w.start))
            inside.insert(inside.end(), {w.start, std::nextafter(w.start, INFINITY)});
        for (float t : inside)
            check(t, w.scene, (float)w.local(t));
    }
    for (float t : {39.5f, std::nextafter(39.5f, INFINITY), 120.0f})
        check(t, 0, 0);
    // Inside, by value.
    check(-1.0f, 1, -1.0f);
    check(5.9999f, 1, 5.9999f);
    check(39.0f, 4, 38.625f);
}

TEST(Passes, FlashesAddGreyInsideTheLetterbox)
{
    ensureGLContext(640, 480);
    beginFrame(&defaultClearColour);
    drawTickFlash(0.75f, 0.5f);
    Frame px;
    EXPECT_NEAR(px.at(320, 240)[0], 128, 2);
    EXPECT_EQ(px.at(320, 10)[0], 0);   // the bar below the letterbox (480 x 1/8 = 60 rows)
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Passes, FilmGrainDiffersEveryFrameAndAfterTheShowIsAllThereIs)
{
    ensureGLContext(640, 480);
    showStarted = 1;
    randomSeed = 42;
    assets.grainTexture = makeNoiseTexture(256, 256, TEX_NO_MIPMAP);
    drawShowFrame(39.7f);
    Frame first;
    // Black with a faint grain (alpha 12 of 255) in the letterbox; the bars stay black.
    std::vector<uint8_t> letterbox = readLetterbox();
    EXPECT_GT(greyMean(letterbox), 2);
    EXPECT_LT(greyMean(letterbox), 12);
    EXPECT_LE(brightestValue(letterbox), 13);
    EXPECT_EQ(
        brightestValue(readRegion(0, 0, 640, 60)) + brightestValue(readRegion(0, 420, 640, 60)), 0);
    drawShowFrame(39.7f);
    EXPECT_TRUE(first.rgba != Frame().rgba);   // two new grain offsets a frame
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    assets.grainTexture = nullptr;
}

TEST(Passes, GridWarpThroughTheIdentityShowsTheTextureUndistorted)
{
    ensureGLContext(640, 480);
    static std::vector<Vec3> seen;
    seen.clear();
    GridWarpFn identity = [](Vec3* out, float, const Vec3* v, const Vec3*, float, float) {
        seen.push_back(*v);
        *out = *v;
        return out;
    };
    // 4 x 4 texels, (i, j) with red 30 + 60 i and green 30 + 60 j, row 0 at the bottom.
    Texture* grid = texelGridTexture();

    beginFrame(&defaultClearColour);
    drawGridWarp(grid, 16, 9, 0.0f, identity, 1, 1, RENDER_NO_DEPTH | RENDER_NO_CULL | TEX_NEAREST);
    ASSERT_EQ(seen.size(), 170u);
    // Rows from the bottom, each from the left.
    for (auto [n, x, y] : {std::tuple(1, 1.0f / 16, 0.0f), {17, 0.0f, 1.0f / 9}, {169, 1.0f, 1.0f}})
        EXPECT_EQ(distance(seen[n], {x, y, seen[n].z}), 0.0f) << n;

    Frame px;
    // Every texel's centre in the letterbox (rows 60 to 419), and the two far corners.
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++) {
            EXPECT_NEAR(px.at(80 + 160 * i, 105 + 90 * j)[0], 30 + 60 * i, 2) << i << j;
            EXPECT_NEAR(px.at(80 + 160 * i, 105 + 90 * j)[1], 30 + 60 * j, 2) << i << j;
        }
    EXPECT_NEAR(px.at(1, 61)[0], 30, 2);
    EXPECT_NEAR(px.at(1, 61)[1], 30, 2);
    EXPECT_NEAR(px.at(638, 418)[0], 210, 2);
    EXPECT_NEAR(px.at(638, 418)[1], 210, 2);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(RealAssetFrames, TheMiddleOfEveryWindowIsAPictureAndTheEndIsBlackWithGrain)
{
    for (float t : {3.0f, 7.75f, 11.625f, 13.875f, 16.0f, 19.0f, 21.0f, 25.125f, 30.375f, 32.375f,
                    33.5f, 36.5f, 39.0f}) {
        drawShowFrame(t);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << t;
        EXPECT_GT(letterboxMean(), 12.0) << "the frame at " << t << " is black";
    }
    for (float t : {39.55f, 39.58f}) {
        drawShowFrame(t);
        EXPECT_LT(letterboxMean(), 12.0) << t;
    }
}
