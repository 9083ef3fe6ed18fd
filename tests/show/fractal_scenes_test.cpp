// The fractal scenes 7 and 8: views, and frames drawn from the real assets.
#include "scene_support.h"
#include "show/scenes/fractal_scenes.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

namespace {

TEST(AnimatedFractal, FadesInAndOutAndZoomsOverTheLastHalfPattern)
{
    FractalView start = fractalViewAt(0.0f, 20.0f);
    EXPECT_EQ(start.fade, 0.0f);
    EXPECT_EQ(start.zoom, 0.0f);
    EXPECT_FLOAT_EQ(start.eye.fieldOfView, 80.0f);
    // A kick of 1.5 degrees on every odd beat.
    EXPECT_NEAR(fractalViewAt(0.0625f, 20.0625f).eye.fieldOfView, 78.5f, 1e-4f);
    EXPECT_FLOAT_EQ(fractalViewAt(0.25f, 20.25f).fade, 0.5f);
    EXPECT_FLOAT_EQ(fractalViewAt(1.0f, 21.0f).fade, 1.0f);
    EXPECT_FLOAT_EQ(fractalViewAt(1.5f, 21.5f).fade, 1.0f);
    FractalView end = fractalViewAt(1.999f, 21.999f);
    EXPECT_NEAR(end.fade, 0.0f, 0.01f);
    EXPECT_NEAR(end.eye.fieldOfView, 10.0f, 0.5f);

    // The orbit jumps by a radian on each half pattern and the target sits at two thirds.
    FractalView before = fractalViewAt(0.4999f, 20.4999f), after = fractalViewAt(0.5f, 20.5f);
    EXPECT_EQ(after.halfPattern, before.halfPattern + 1);
    EXPECT_GT(std::fabs(after.eye.position.x - before.eye.position.x), 5.0f);
    EXPECT_NEAR(after.target.z, after.eye.position.z * 0.666f, 1e-5f);
    // The fractal's parameter jumps by four on every half pattern.
    EXPECT_NEAR(after.fractalTime - before.fractalTime, 4.0f, 0.01f);
}

TEST(FractalZoom, CopiesFadeInAndOutAndTheZoomRepeatsEveryTwoPatterns)
{
    FractalZoomView v = fractalZoomViewAt(1.1f, 23.1f);
    float part = std::fmod(v.zoomPosition, 1.0f);
    EXPECT_NEAR(v.copyAlpha[0], 1.0f - part, 1e-6f);
    EXPECT_NEAR(v.copyAlpha[3], part, 1e-6f);
    EXPECT_EQ(v.copyAlpha[1], 1.0f);
    EXPECT_EQ(v.copyAlpha[2], 1.0f);
    EXPECT_GE(v.zoomPosition, 0.0f);
    EXPECT_LT(v.zoomPosition, 8.0f);
    // Two patterns on, the same zoom position.
    EXPECT_NEAR(fractalZoomViewAt(3.1f, 25.1f).zoomPosition, v.zoomPosition, 1e-3f);
}

TEST(FractalZoom, GlowOpensBlurredClearsAndBlursOutWhileTheTicksWidenTheView)
{
    EXPECT_FLOAT_EQ(fractalZoomViewAt(0.0f, 22.0f).glow, 1.0f);
    EXPECT_NEAR(fractalZoomViewAt(0.0625f, 22.0625f).glow, 0.5f, 1e-6f);
    EXPECT_EQ(fractalZoomViewAt(1.0f, 23.0f).glow, 0.0f);
    EXPECT_EQ(fractalZoomViewAt(1.0f, 23.0f).eye.fieldOfView, 30.0f);
    // Tick at row 1552 (t = 24.25): view to 40 degrees, glow up by a quarter.
    FractalZoomView tick = fractalZoomViewAt(2.25f, 24.25f);
    EXPECT_FLOAT_EQ(tick.eye.fieldOfView, 40.0f);
    EXPECT_FLOAT_EQ(tick.glow, 0.25f);
    EXPECT_NEAR(fractalZoomViewAt(6.2499f, 28.2499f).glow, 1.0f, 0.01f);
    EXPECT_NEAR(std::hypot(tick.eye.position.x, tick.eye.position.z), 64.0f, 1e-3f);
}

TEST_F(RealAssetFrames, AnimatedFractalDrawsThroughItsWindowUnderSceneSixsPictureAtFirst)
{
    for (float L : {0.0f, 0.5f, 1.0f, 1.999f}) {
        drawScene7(L, 20.0f + L);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << L;
        EXPECT_GT(letterboxMean(), 20.0) << L;
    }
    Texture* snapshot = assets.captureTexture6;
    assets.captureTexture6 = solidTexture(255, 0, 255);
    drawScene7(0.0f, 20.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    // The lower left, away from the caption: the magenta picture under the white flash.
    std::vector<uint8_t> corner = readRegion(10, 70, 190, 100);
    double green = channelMean(corner, 1);
    EXPECT_GT(channelMean(corner, 0), green * 2.5)
        << "the fractal shows through the opening picture";
    EXPECT_GT(channelMean(corner, 2), green * 2.5);

    drawScene7(0.5f, 20.5f);
    std::vector<uint8_t> withMagenta = readLetterbox();
    assets.captureTexture6 = solidTexture(0, 255, 0);
    drawScene7(0.5f, 20.5f);
    EXPECT_TRUE(readLetterbox() == withMagenta) << "Scene 6's picture still drawn at L = 0.5";
    assets.captureTexture6 = snapshot;
}

TEST_F(RealAssetFrames, ZoomOpensOnTheCreditsOverBlackShowsTheFractalAndBlursOut)
{
    // At L = 0 the glow chain draws nothing: only the shade-multiplied black, the credits and
    // the flash remain, far darker than a frame a pattern later.
    drawScene8(0.0f, 22.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    double opening = letterboxMean();
    drawScene8(1.0f, 23.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    double later = letterboxMean();
    EXPECT_GT(later, opening + 10.0);
    drawScene8(4.0f, 26.0f);
    double middle = sharpness(readLetterbox());
    drawScene8(6.24f, 28.24f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_LT(sharpness(readLetterbox()), 0.6 * middle);
}

}   // namespace
