// Scene 3, the glowing sprite swarm: its fade and its glow.
#include "ray_scenes_fixture.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::vector<uint8_t> scene3Frame(float local)
{
    drawScene3(local, local + 9.5f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "local time " << local;
    return readLetterbox();
}

// Sum of the differences between horizontal neighbours: falls as the picture blurs.
double sharpness(const std::vector<uint8_t>& pixels)
{
    double sum = 0;
    for (size_t i = 3; i < pixels.size(); i++)
        if ((i / 3) % 640 != 0)
            sum += std::abs(pixels[i] - pixels[i - 3]);
    return sum;
}

}   // namespace

TEST(Scene3, FadesInFromAndOutToBlack)
{
    setUpRaySceneAssets();
    EXPECT_EQ(brightestValue(scene3Frame(0.0f)), 0);
    EXPECT_LE(brightestValue(scene3Frame(4.2499f)), 2);
    EXPECT_GT(channelMean(scene3Frame(2.0f), 1), 10.0);
    EXPECT_GT(channelMean(scene3Frame(4.0f), 1), 2.0);   // half way out
}

TEST(Scene3, IsBlurredAtEverySecondPatternAndSharpensWithin)
{
    setUpRaySceneAssets();
    // t = 10 and t = 12 open a glow pattern; a pattern later the blur is gone. Each pair shares
    // its beat phase, so the flashes and the camera kick are the same.
    EXPECT_LT(sharpness(scene3Frame(0.5f)), 0.8 * sharpness(scene3Frame(1.5f)));
    EXPECT_LT(sharpness(scene3Frame(2.5f)), 0.8 * sharpness(scene3Frame(3.5f)));
}
