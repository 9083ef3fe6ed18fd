// Scene 6, the pulsing ray burst: Scene 5's picture at the opening, and the capture frame.
#include "ray_scenes_fixture.h"
#include "show/show.h"

#include <gtest/gtest.h>

namespace {

// Red over green: Scene 5's stand-in is magenta, the rest of these frames grey, blue or white.
double magenta(const std::vector<uint8_t>& pixels)
{
    return channelMean(pixels, 0) - channelMean(pixels, 1);
}

std::vector<uint8_t> scene6Frame(float local, int32_t capture = 0)
{
    drawScene6(local, local + 18, capture);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "local time " << local;
    return capture ? readRegion(0, 0, 512, 256) : readLetterbox();
}

}   // namespace

TEST(Scene6, OpensUnderScene5sLastPictureForAQuarterPattern)
{
    setUpRaySceneAssets();
    EXPECT_GT(magenta(scene6Frame(0.0f)), 150);
    double half = magenta(scene6Frame(0.125f));
    EXPECT_GT(half, 20);
    EXPECT_LT(half, 150);
    EXPECT_LE(magenta(scene6Frame(0.25f)), 0);
    EXPECT_GT(channelMean(scene6Frame(1.0f), 1), 10);
}

TEST(Scene6, CaptureDrawsOnlyTheBurstAndItsLayersIntoTheCorner)
{
    setUpRaySceneAssets();
    // At local time 0 a show frame is covered by Scene 5's picture; the capture has none of it,
    // and outside the corner the letterbox stays cleared.
    std::vector<uint8_t> corner = scene6Frame(0.0f, 1);
    EXPECT_LE(magenta(corner), 0);
    EXPECT_GT(channelMean(corner, 1), 10);
    EXPECT_EQ(brightestValue(readRegion(520, 60, 120, 360)), 0);
    EXPECT_EQ(brightestValue(readRegion(0, 262, 512, 158)), 0);
    EXPECT_TRUE(scene6Frame(0.0f, 2) == corner);   // any non-zero flag is the same capture
}
