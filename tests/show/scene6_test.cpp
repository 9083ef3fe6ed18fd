// Scene 6, the pulsing ray burst: Scene 5's picture at the opening, and the capture frame.
#include "ray_scenes_fixture.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// How much more red than green the region shows: Scene 5's stand-in is magenta, everything else
// in these frames is grey, blue-grey or blue.
double magenta(const std::vector<uint8_t>& pixels)
{
    ChannelMeans m = channelMeans(pixels);
    return m.r - m.g;
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
    EXPECT_GT(channelMeans(scene6Frame(1.0f)).g, 10);
}

TEST(Scene6, CaptureDrawsOnlyTheBurstAndItsLayersIntoTheCorner)
{
    setUpRaySceneAssets();
    // At local time 0 a show frame is covered by Scene 5's picture; the capture has none of it.
    std::vector<uint8_t> corner = scene6Frame(0.0f, 1);
    EXPECT_LE(magenta(corner), 0);
    EXPECT_GT(channelMeans(corner).g, 10);
    // Outside the corner the letterbox stays as the frame's clear left it.
    EXPECT_EQ(brightestValue(readRegion(520, 60, 120, 360)), 0);
    EXPECT_EQ(brightestValue(readRegion(0, 262, 512, 158)), 0);
    // Any non-zero flag is the same capture.
    EXPECT_TRUE(scene6Frame(0.0f, 2) == corner);
}

TEST(Scene6, BandJumpsOnTheHalfPatterns)
{
    setUpRaySceneAssets();
    // A striped band over a plain background (the burst's sprites made transparent, since the
    // burst snaps at the same time). The flash at t = 18.5 brightens everything, so each row is
    // compared after taking out its mean and scale.
    Texture* plainBand = assets.sceneTexture7;
    Texture* sprite = assets.spriteAtlasB;
    assets.spriteAtlasB = makeSolidTexture(64, 64, 255, 255, 255, 0, Vec3{1, 1, 1}, 0);
    std::vector<uint8_t> stripes(64 * 64 * 4, 255);
    for (size_t i = 0; i < stripes.size(); i += 4)
        stripes[i] = stripes[i + 1] = stripes[i + 2] = ((i / 4) % 64) / 8 % 2 ? 255 : 60;
    Texture* band = makeSolidTexture(64, 64, 255, 255, 255, 255, Vec3{1, 1, 1}, TEX_NO_MIPMAP);
    glBindTexture(GL_TEXTURE_2D, band->name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, stripes.data());
    assets.sceneTexture7 = band;

    auto row = [](float local) {
        scene6Frame(local);
        std::vector<uint8_t> rgb = readRegion(0, 240, 640, 1);
        std::vector<double> g(640);
        double mean = 0, spread = 0;
        for (int32_t x = 0; x < 640; x++)
            mean += g[x] = rgb[x * 3 + 1];
        mean /= 640;
        for (double& v : g)
            spread += (v - mean) * (v - mean);
        spread = std::sqrt(spread / 640) + 1e-9;
        for (double& v : g)
            v = (v - mean) / spread;
        return g;
    };
    auto difference = [](const std::vector<double>& a, const std::vector<double>& b) {
        double d = 0;
        for (size_t i = 0; i < a.size(); i++)
            d += std::abs(a[i] - b[i]);
        return d / a.size();
    };
    double within = difference(row(0.4998f), row(0.4999f));
    double across = difference(row(0.4999f), row(0.5f));
    assets.sceneTexture7 = plainBand;
    assets.spriteAtlasB = sprite;
    EXPECT_LT(within, 0.05);
    EXPECT_GT(across, 0.3);
}
