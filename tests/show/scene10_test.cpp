// Scene 10's flight on along the trail: the opening view and the capture frame.
#include "show/scenes/trail.h"
#include "show/show.h"
#include "trail_test_assets.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Scene10Travel, FieldOfViewOpensOverTheFirstHalfPattern)
{
    // The half-pattern kick is already at full strength on the first instant.
    EXPECT_FLOAT_EQ(scene10FieldOfView(0.0f, scene10Frame(0.0f).open), 40.0f);
    EXPECT_GT(scene10Frame(0.01f).open, 0.0f);
    EXPECT_LT(scene10Frame(0.01f).open, 1.0f);
    EXPECT_EQ(scene10Frame(0.5f).open, 0.0f);
    EXPECT_FLOAT_EQ(scene10FieldOfView(0.5f, 0.0f), 130.0f);
    // Before the window the power is undefined: the view stays shut rather than going NaN.
    EXPECT_EQ(scene10Frame(-0.1f).open, 1.0f);
    EXPECT_NEAR(scene10Frame(1.999f).shift, 0.0f, 2e-3);
}

TEST(Scene10Frames, CaptureStaysInTheCornerShownFrameFillsTheLetterbox)
{
    TrailAssets trail;
    for (float local : {0.0f, 0.01f, 0.5f, 1.999f}) {
        drawScene10(local, local + 32.5f, 0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "L = " << local;
    }
    drawScene10(1.999f, 34.499f, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    std::vector<uint8_t> above = TrailAssets::read(300, 100);   // letterbox above the corner
    EXPECT_EQ(*std::max_element(above.begin(), above.end()), 0);
    std::vector<uint8_t> corner = TrailAssets::read(0, 256);
    EXPECT_GT(*std::max_element(corner.begin(), corner.end()), 0);

    // Shown, the glow chain lays the picture over the whole letterbox.
    drawScene10(1.999f, 34.499f, 0);
    std::vector<uint8_t> shown = TrailAssets::read();
    int32_t dark = 0;
    for (size_t i = 0; i < shown.size(); i += 3)
        dark += shown[i] + shown[i + 1] + shown[i + 2] == 0;
    EXPECT_EQ(dark, 0);
}
