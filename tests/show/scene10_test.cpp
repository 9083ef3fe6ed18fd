// Scene 10's flight on along the trail: the travel, the opening field of view, the projection
// shift and the turning sprites.
#include "show/scenes/trail.h"
#include "show/show.h"
#include "trail_test_assets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(Scene10Travel, FliesFurtherOutThanScene2)
{
    Scene10Frame start = scene10Frame(0.0f);
    EXPECT_EQ(start.travel, 4.0f);
    EXPECT_EQ(start.first, 399);
    EXPECT_EQ(scene10Frame(1.999f).first, 808);
    EXPECT_EQ(scene10Frame(std::nextafter(2.0f, 0.0f)).first, 809);
    for (float local = 0.0f; local < 2.0f; local += 1.0f / 256) {
        Scene10Frame frame = scene10Frame(local);
        EXPECT_EQ(trailDrawCount(frame.first, 120), 120) << "L = " << local;
        EXPECT_GE(frame.first, 399);
        EXPECT_LE(frame.first, 809);
    }
}

TEST(Scene10Travel, FieldOfViewOpensOverTheFirstHalfPattern)
{
    Scene10Frame start = scene10Frame(0.0f);
    EXPECT_EQ(start.open, 1.0f);
    // The half-pattern kick is already at full strength on the first instant.
    EXPECT_FLOAT_EQ(scene10FieldOfView(0.0f, start.open), 40.0f);
    Scene10Frame early = scene10Frame(0.01f);
    EXPECT_GT(early.open, 0.0f);
    EXPECT_LT(early.open, 1.0f);
    EXPECT_EQ(scene10Frame(0.5f).open, 0.0f);
    EXPECT_FLOAT_EQ(scene10FieldOfView(0.5f, 0.0f), 130.0f);
    EXPECT_FLOAT_EQ(scene10FieldOfView(0.5f + 10.0f / 64, 0.0f), 90.0f);
    // Before the window the power is undefined: the view stays shut rather than going NaN.
    Scene10Frame before = scene10Frame(-0.1f);
    EXPECT_EQ(before.open, 1.0f);
    EXPECT_FALSE(std::isnan(scene10FieldOfView(-0.1f, before.open)));
}

TEST(Scene10Travel, ProjectionShiftEasesToTheCentre)
{
    EXPECT_EQ(scene10Frame(0.0f).shift, 1.0f);
    EXPECT_FLOAT_EQ(scene10Frame(1.0f).shift, 0.875f);
    EXPECT_NEAR(scene10Frame(1.999f).shift, 0.0f, 2e-3);
}

TEST(Scene10Travel, AnglesTurnWithTime)
{
    std::vector<float> random(TRAIL_ENTRY_COUNT, 0.25f), angles(TRAIL_ENTRY_COUNT);
    trailAngles(angles.data(), random.data(), TRAIL_ENTRY_COUNT, 0.5f);
    EXPECT_FLOAT_EQ(angles[0], 0.25f + std::sin(0.5f));
    EXPECT_NEAR(angles[8191], 0.25 + std::sin(0.5 + 0.15 * 8191), 1e-5);
}

// ---- Drawn -------------------------------------------------------------------------------------

TEST(Scene10Frames, DrawAcrossTheWindowWithoutError)
{
    ensureTrailAssets();
    // L = 0 opens with the narrowest view of the scene and the full projection shift.
    for (float local : {0.0f, 0.01f, 0.5f, 1.0f, 1.5f, 1.999f}) {
        drawScene10(local, local + 32.5f, 0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "L = " << local;
    }
    drawScene10(1.999f, 34.499f, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(Scene10Frames, CaptureStaysInTheCornerShownFrameFillsTheLetterbox)
{
    ensureTrailAssets();
    static Texture* grey = solidTestTexture(128, 255);
    static Texture* clear = solidTestTexture(255, 0);
    static Texture* dotted = dottedTestTexture();
    dotted->spriteCount = 2;
    SlotOverride warp1(assets.warpTexture1, grey);
    SlotOverride warp2(assets.warpTexture2, grey);
    SlotOverride layers(assets.tissueTexture1, grey);
    SlotOverride caption(assets.captionTexture10, clear);
    SlotOverride sprites(assets.spritePairAtlas2, dotted);
    // The capture leaves the letterbox above the 512 x 256 corner as cleared.
    drawScene10(1.999f, 34.499f, 1);
    std::vector<uint8_t> captured(640 * 100 * 4);
    glReadPixels(0, 300, 640, 100, GL_RGBA, GL_UNSIGNED_BYTE, captured.data());
    for (size_t i = 0; i < captured.size(); i += 4)
        ASSERT_EQ(captured[i] + captured[i + 1] + captured[i + 2], 0) << "pixel " << i / 4;
    std::vector<uint8_t> corner(512 * 256 * 4);
    glReadPixels(0, 0, 512, 256, GL_RGBA, GL_UNSIGNED_BYTE, corner.data());
    int32_t lit = 0;
    for (size_t i = 0; i < corner.size(); i += 4)
        lit += corner[i] + corner[i + 1] + corner[i + 2] > 0;
    EXPECT_GT(lit, 512 * 256 / 2);

    // Shown, the glow chain lays the picture over the whole letterbox.
    drawScene10(1.999f, 34.499f, 0);
    std::vector<uint8_t> shown = readLetterbox();
    int32_t dark = 0;
    for (size_t i = 0; i < shown.size(); i += 3)
        dark += shown[i] + shown[i + 1] + shown[i + 2] == 0;
    EXPECT_EQ(dark, 0);
}
