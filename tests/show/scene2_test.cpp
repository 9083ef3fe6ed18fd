// The sprite trail and Scene 2's flight along it: the tables, the drift of the side points, the
// travel out and back and the window of drawn sprites.
#include "show/scenes/trail.h"
#include "show/show.h"
#include "trail_test_assets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// A stand-in trail: curve points along a gentle helix, each side point 0.25 off its partner.
std::vector<Vec3> makeTrail()
{
    std::vector<Vec3> path(TRAIL_ENTRY_COUNT);
    for (int32_t i = 0; i < TRAIL_ENTRY_COUNT / 2; ++i) {
        float a = 0.01f * i;
        path[2 * i] = {std::sin(a), std::cos(a), 0.05f * i};
        path[2 * i + 1] = {std::sin(a) + 0.25f, std::cos(a), 0.05f * i};
    }
    return path;
}

}   // namespace

TEST(TrailTables, KeysSpritesAndSizesFollowTheEntries)
{
    std::vector<Vec3> path = makeTrail();
    auto tables = std::make_unique<TrailTables>();
    randomSeed = 1234;
    fillTrailTables(tables.get(), path.data(), 0.04f, TRAIL_HIDDEN_SIDE_ENTRIES);
    EXPECT_TRUE(tables->ready);

    for (int32_t i : {0, 1, 2047, 4095}) {
        EXPECT_EQ(tables->keys[i].key, i);
        EXPECT_EQ(tables->keys[i].x, path[2 * i].x);
        EXPECT_EQ(tables->keys[i].z, path[2 * i].z);
    }
    EXPECT_EQ(tables->sprites[0], 1);
    EXPECT_EQ(tables->sprites[1], 0);
    EXPECT_EQ(tables->sprites[8190], 1);
    EXPECT_EQ(tables->sprites[8191], 0);
    // Side points through entry 300 are hidden, curve points never are.
    EXPECT_EQ(tables->sizes[299], 0.0f);
    EXPECT_EQ(tables->sizes[300], 1.0f);
    EXPECT_EQ(tables->sizes[301], 0.04f);
    EXPECT_EQ(tables->sizes[8191], 0.04f);

    // The random values are the generator's sequence in entry order, and nothing else draws.
    randomSeed = 1234;
    EXPECT_EQ(tables->randomValues[0], randomUnit());
    EXPECT_EQ(tables->randomValues[1], randomUnit());
    for (int32_t i = 2; i < TRAIL_ENTRY_COUNT; ++i)
        randomUnit();
    uint32_t after = randomSeed;
    randomSeed = 1234;
    fillTrailTables(tables.get(), path.data(), 0.5f, -1);
    EXPECT_EQ(randomSeed, after);
    EXPECT_EQ(tables->sizes[1], 0.5f);
}

TEST(TrailDrift, CurveStaysSidePointsDriftAndShiver)
{
    std::vector<Vec3> path = makeTrail();
    std::vector<Vec3> calm(TRAIL_COPY_COUNT), shaken(TRAIL_COPY_COUNT);

    randomSeed = 99;
    displaceTrail(calm.data(), path.data(), 1.3f, true, 0.0f);
    uint32_t afterCalm = randomSeed;
    randomSeed = 99;
    displaceTrail(shaken.data(), path.data(), 1.3f, true, 0.02f);
    // Three pairs of draws per side point, whatever the jitter.
    EXPECT_EQ(randomSeed, afterCalm);
    uint32_t expected = 99;
    for (int32_t i = 0; i < TRAIL_COPY_COUNT / 2 * 6; ++i)
        expected = expected * 69069u + 1u;
    EXPECT_EQ(afterCalm, expected);

    float largestDrift = 0.0f, largestShiver = 0.0f;
    bool anyShiver = false;
    for (int32_t i = 0; i < TRAIL_COPY_COUNT; ++i) {
        if (i % 2 == 0) {
            EXPECT_EQ(calm[i].x, path[i].x);
            EXPECT_EQ(shaken[i].z, path[i].z);
            continue;
        }
        float dx = calm[i].x - path[i].x;
        EXPECT_NEAR(dx, 0.1 * std::sin(2.481 * 1.3 + i), 1e-6);
        largestDrift = std::max(largestDrift, std::fabs(calm[i].y - path[i].y));
        float shiver = std::fabs(shaken[i].y - calm[i].y);
        largestShiver = std::max(largestShiver, shiver);
        anyShiver = anyShiver || shiver > 0.0f;
    }
    EXPECT_LE(largestDrift, 0.1f + 1e-6f);
    EXPECT_TRUE(anyShiver);
    EXPECT_LE(largestShiver, 0.02f * 1.0005f + 1e-6f);

    // Without the shiver no random value is drawn.
    randomSeed = 99;
    displaceTrail(calm.data(), path.data(), 1.3f, false, 0.02f);
    EXPECT_EQ(randomSeed, 99u);
}

TEST(Scene2Travel, StartsOnTheCameraPointWithNothingVisible)
{
    Scene2Frame frame = scene2Frame(0.0f);
    EXPECT_FLOAT_EQ(frame.travel, 0.25f);
    EXPECT_EQ(frame.fade, 0.0f);
    EXPECT_EQ(frame.first, 15);
    // Fade 0 puts the target on the eye's own point of the curve.
    EXPECT_FLOAT_EQ(frame.parameter, 0.25f * 0.05f * 0.25f);
}

TEST(Scene2Travel, OutForTwoPatternsThenACutBack)
{
    Scene2Frame peak = scene2Frame(std::nextafter(2.0f, 0.0f));
    EXPECT_NEAR(peak.travel, 5.05f, 1e-4);
    EXPECT_EQ(peak.first, 507);
    Scene2Frame cut = scene2Frame(2.0f);
    EXPECT_EQ(cut.step, 16.0f);
    EXPECT_NEAR(cut.travel, 3.45f, 1e-5);
    // Steps of 0.05 on every second beat: forward on the way out, backward on the way back.
    EXPECT_NEAR(scene2Frame(0.5f + 0.0625f).travel - scene2Frame(0.5f + 0.0624f).travel, 0.05f,
                1e-3);
    EXPECT_NEAR(scene2Frame(2.5f + 0.0625f).travel - scene2Frame(2.5f + 0.0624f).travel, -0.05f,
                1e-3);
    EXPECT_NEAR(scene2Frame(std::nextafter(3.5f, 0.0f)).travel, 4.0f - 2.25f + 0.25f - 0.05f * 28,
                1e-4);
}

TEST(Scene2Travel, FadesInAndOut)
{
    EXPECT_FLOAT_EQ(scene2Frame(0.25f).fade, 0.5f);
    EXPECT_EQ(scene2Frame(0.5f).fade, 1.0f);
    EXPECT_EQ(scene2Frame(2.99f).fade, 1.0f);
    EXPECT_FLOAT_EQ(scene2Frame(3.0f).fade, 1.0f);
    EXPECT_FLOAT_EQ(scene2Frame(3.25f).fade, 0.5f);
    EXPECT_NEAR(scene2Frame(std::nextafter(3.5f, 0.0f)).fade, 0.0f, 1e-6);
}

TEST(Scene2Travel, DrawnWindowStaysInsideTheCopy)
{
    for (float local = 0.0f; local < 3.5f; local += 1.0f / 256) {
        Scene2Frame frame = scene2Frame(local);
        EXPECT_GE(frame.first, 0);
        EXPECT_EQ(trailDrawCount(frame.first, 200), 200) << "L = " << local;
    }
    // Far outside the window the travel goes negative and wraps to the end of the point set;
    // the draw is cut short instead of reading past the copy.
    Scene2Frame lost = scene2Frame(-0.1f);
    EXPECT_GT(lost.first, TRAIL_COPY_COUNT - 200);
    EXPECT_EQ(trailDrawCount(lost.first, 200), TRAIL_COPY_COUNT - lost.first);
    EXPECT_EQ(trailDrawCount(4095, 200), 1);
}

TEST(Scene2Travel, FieldOfViewKicksOnHalfPatternsAndOddBeats)
{
    EXPECT_NEAR(scene2FieldOfView(0.5f), 130.0f, 1e-4);
    // Between the kicks it rests at 90.
    EXPECT_NEAR(scene2FieldOfView(0.5f + 14.0f / 64), 90.0f, 1e-4);
    // An odd beat (one beat before a two-beat mark) adds 1.5 for its first row.
    EXPECT_NEAR(scene2FieldOfView(0.75f - 0.0625f + 1e-4f), 91.5f, 0.01);
}

// ---- Drawn -------------------------------------------------------------------------------------

TEST(Scene2Frames, DrawAcrossTheWindowWithoutError)
{
    ensureTrailAssets();
    for (float local : {0.0f, 0.25f, 0.5f, 1.75f, std::nextafter(2.0f, 0.0f), 2.0f, 3.0f, 3.25f,
                        3.499f}) {
        drawScene2(local, local + 6.0f);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "L = " << local;
    }
}

TEST(Scene2Frames, FirstInstantShowsOnlyTheFlash)
{
    ensureTrailAssets();
    static Texture* white = solidTestTexture(255, 255);
    static Texture* clear = solidTestTexture(255, 0);
    static Texture* dotted = dottedTestTexture();
    dotted->spriteCount = 2;
    SlotOverride layers(assets.tissueTexture2, white);
    SlotOverride caption(assets.captionTexture2, clear);
    SlotOverride sprites(assets.spritePairAtlas1, dotted);
    // Eye on target, fade 0: no sprite and no caption, only the half-pattern flash under the
    // white layers, one even grey.
    drawScene2(0.0f, 6.0f);
    std::vector<uint8_t> first = readLetterbox();
    EXPECT_EQ(distinctValues(first), 1);
    EXPECT_NEAR(first[0], 64, 2);

    // A moment later the sprites are there.
    drawScene2(0.25f, 6.25f);
    EXPECT_GT(distinctValues(readLetterbox()), 8);
}

TEST(Scene2Frames, SameTimeAndRandomStateSamePicture)
{
    ensureTrailAssets();
    randomSeed = 4711;
    drawScene2(1.0f + 1.0f / 64, 7.0f + 1.0f / 64);
    std::vector<uint8_t> a = readLetterbox();
    randomSeed = 4711;
    drawScene2(1.0f + 1.0f / 64, 7.0f + 1.0f / 64);
    EXPECT_EQ(a, readLetterbox());
}
