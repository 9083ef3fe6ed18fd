// Scene 10's flight on along the trail: the travel, the opening field of view, the projection
// shift and the turning sprites.
#include "show/scenes/trail.h"

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
