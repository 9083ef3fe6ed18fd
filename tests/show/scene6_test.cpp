// Scene 6, the pulsing ray burst: Scene 5's picture at the opening, the capture frame and the
// band's jump.
#include "ray_scenes_fixture.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cmath>

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

TEST(Scene6, BandJumpsOnTheHalfPatterns)
{
    setUpRaySceneAssets();
    // A striped band over a plain background: the sprites made transparent, since the burst
    // snaps at the same moment. Rows are compared after taking out their mean and scale, as the
    // flash at t = 18.5 brightens everything.
    Texture* plainBand = assets.sceneTexture7;
    Texture* sprite = assets.spriteAtlasB;
    assets.spriteAtlasB = solidTexture(255, 255, 255, 0);
    std::vector<uint8_t> stripes(64 * 64 * 4, 255);
    for (size_t i = 0; i < stripes.size(); i += 4)
        stripes[i] = stripes[i + 1] = stripes[i + 2] = (i / 32) % 2 ? 255 : 60;
    assets.sceneTexture7 = makeSolidTexture(64, 64, 0, 0, 0, 255, Vec3{1, 1, 1}, TEX_NO_MIPMAP);
    glBindTexture(GL_TEXTURE_2D, assets.sceneTexture7->name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, stripes.data());
    auto row = [](float local) {
        scene6Frame(local);
        std::vector<uint8_t> rgb = readRegion(0, 240, 640, 1);
        std::vector<double> g(640);
        double mean = channelMean(rgb, 1), spread = 1e-9;
        for (int32_t x = 0; x < 640; x++)
            spread += std::pow(g[x] = rgb[x * 3 + 1] - mean, 2) / 640;
        for (double& v : g)
            v /= std::sqrt(spread);
        return g;
    };
    auto difference = [&](float from, float to) {
        std::vector<double> a = row(from), b = row(to);
        double d = 0;
        for (size_t i = 0; i < a.size(); i++)
            d += std::abs(a[i] - b[i]) / a.size();
        return d;
    };
    EXPECT_LT(difference(0.4998f, 0.4999f), 0.05);
    EXPECT_GT(difference(0.4999f, 0.5f), 0.3);
    assets.sceneTexture7 = plainBand;
    assets.spriteAtlasB = sprite;
}
