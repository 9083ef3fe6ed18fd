// The growth scenes 5 and 9: their views, and their show and capture frames read back.
#include "scene_support.h"
#include "show/scenes/growth.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

namespace {

// Stand-ins in the asset slots; the slots and the random state go back after the suite.
class GrowthSceneTest : public testing::Test {
protected:
    static inline AssetTable savedAssets;
    static inline uint32_t savedSeed;
    static void saveShowState()
    {
        ensureGLContext(640, 480);
        savedAssets = assets;
        savedSeed = randomSeed;
    }
    static void TearDownTestSuite()
    {
        assets = savedAssets;
        randomSeed = savedSeed;
    }
};

class Scene5 : public GrowthSceneTest {
protected:
    static void SetUpTestSuite()
    {
        saveShowState();
        AssetTable& a = assets;
        a.glowTexture = a.spriteAtlasC = solidTexture(255, 255, 255, 255);
        a.backdropTexture = a.captionTexture5 = solidTexture(0, 0, 0, 0);
        // A small ball at the origin, so the edges of the picture show the sky.
        static Vec3 ball[400];
        static float shade[400];
        for (int i = 0; i < 400; ++i) {
            ball[i] = {randomUnit() - 0.5f, randomUnit() - 0.5f, randomUnit() - 0.5f};
            shade[i] = 0.5f;
        }
        a.growthPoints = ball;
        a.growthShade = shade;
        a.growthCount = 400;
    }
    // The top-left corner of the letterbox, away from the ball.
    static const uint8_t* sky(const Frame& f) { return f.at(4, 415); }
};

TEST_F(Scene5, OpensAtFullBrightnessAndDrawsCleanlyAcrossItsWindow)
{
    for (float t : {14.0f, 14.3f, 16.0f, 17.999f}) {
        drawScene5(t, 0);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
        Frame f;
        // Never darker than the sky colour (0.1, 0.1, 0.2): no fade.
        EXPECT_GE(sky(f)[0], 24) << "t = " << t;
        EXPECT_GE(sky(f)[2], 49) << "t = " << t;
        // The ball sits on the vanishing point, pushed right and down by the projection shift.
        EXPECT_GT(f.at(395, 197)[0], 60) << "t = " << t;
    }
}

TEST_F(Scene5, SunShowsOnlyFromTheFarSideOfTheStructure)
{
    float lit = 0, dark = 0;
    for (float t = 14.1f; t < 18; t += 1.0f / 64) {
        if (halfPatternFlash(t, 0.1f) > 0 || pulse(t + 0.0625f, 1, 8, 8) > 0)
            continue;   // keep the flashes out of the comparison
        float alpha = growthViewAt(t).sunAlpha;
        lit = (alpha >= 1 && !lit) ? t : lit;
        dark = (alpha <= 0 && !dark) ? t : dark;
    }
    ASSERT_TRUE(lit && dark);
    drawScene5(dark, 0);
    int darkSky = sky(Frame())[1];
    drawScene5(lit, 0);
    EXPECT_LT(darkSky, 60);
    EXPECT_GT(sky(Frame())[1], darkSky + 100);
}

TEST_F(Scene5, CaptureFrameKeepsToTheCornerWithoutOverlays)
{
    // An opaque red caption covers everything it reaches.
    Texture* caption = assets.captionTexture5;
    assets.captionTexture5 = solidTexture(255, 0, 0, 255);
    drawScene5(14.2f, 0);
    EXPECT_GT(Frame().at(320, 400)[0], 200);

    drawScene5(17.999f, 1);
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    Frame f;
    GLint alphaBits = 0;   // the alpha fill can only be read back where there is a channel
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    for (int y = 0; y < RENDER_TO_TEXTURE_HEIGHT; y += 5) {
        for (int x = 0; x < RENDER_TO_TEXTURE_WIDTH; x += 5) {
            ASSERT_LE(f.at(x, y)[0], f.at(x, y)[2] + 8) << x << ", " << y;   // no red
            ASSERT_TRUE(alphaBits == 0 || f.at(x, y)[3] == 255) << x << ", " << y;
        }
    }
    // Outside the corner only the faint backdrop may land (transparent here): black.
    EXPECT_LT(f.at(600, 400)[0] + f.at(600, 400)[1] + f.at(600, 400)[2], 8);
    assets.captionTexture5 = caption;
}

class Scene9 : public GrowthSceneTest {
protected:
    static void SetUpTestSuite()
    {
        saveShowState();
        AssetTable& a = assets;
        a.warpTexture2 = solidTexture(200, 40, 20, 255);
        a.spriteAtlasA = a.spiralTexture = solidTexture(255, 255, 255, 255);
        a.layerTextureA = a.layerTextureB = solidTexture(40, 40, 40, 255);
        a.captionTexture9 = solidTexture(0, 0, 0, 0);
        // The growth overshoots its limit by a few points; only the first 6000 are drawn.
        static Vec3 cluster[CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT];
        for (Vec3& p : cluster)
            p = {8 * (randomUnit() - 0.5f), 8 * (randomUnit() - 0.5f), 8 * (randomUnit() - 0.5f)};
        a.clusterPoints = cluster;
    }
};

float eyeDistance(float t0, float t1)
{
    return distance(clusterViewAt(t0 - 28.5f, t0).eye.position,
                    clusterViewAt(t1 - 28.5f, t1).eye.position);
}

TEST_F(Scene9, OpensWithAZoomFromAClosedFieldOfView)
{
    EXPECT_EQ(clusterViewAt(-0.25f, 28.25f).eye.fieldOfView, 0.0f);
    EXPECT_LT(clusterViewAt(-0.2499f, 28.2501f).eye.fieldOfView, 2.0f);
    EXPECT_NEAR(clusterViewAt(-0.1875f, 28.3125f).eye.fieldOfView, 45.0f, 1e-3);
    // From 0 on, a kick of up to 9 degrees on each half pattern.
    EXPECT_NEAR(clusterViewAt(0.0f, 28.5f).eye.fieldOfView, 99.0f, 1e-3);
    EXPECT_FLOAT_EQ(clusterViewAt(0.2f, 28.7f).eye.fieldOfView, 90.0f);
    // Before the window: the closed view, not a NaN camera.
    EXPECT_EQ(clusterViewAt(-0.3f, 28.2f).eye.fieldOfView, 0.0f);
    // The first instant (the camera takes 0 as 90) and the nearly closed view just after.
    assets.clusterCount = CLUSTER_POINT_LIMIT;
    for (float t : {28.25f, 28.2501f}) {
        drawScene9(t - 28.5f, t, 0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
    }
}

TEST_F(Scene9, OrbitCutsOnEveryHalfPatternAndFlowsBetween)
{
    const float frame = 1.0f / 256;
    for (float cut = 28.5f; cut < 32.25f; cut += 0.5f) {
        EXPECT_GT(eyeDistance(cut - frame, cut), 0.5f) << "cut at " << cut;
        // Past the flash's swell the eye moves a little each frame.
        for (float t = cut + 0.2f; t < cut + 0.5f - frame; t += frame)
            ASSERT_LT(eyeDistance(t, t + frame), 0.1f) << "t = " << t;
    }
}

TEST_F(Scene9, DrawsItsLayersInTheShowAndOnlyTheParticlesWhenCapturing)
{
    // In the show the warped image fills the letterbox (the cluster left out here).
    assets.clusterCount = 0;
    for (float t : {28.6f, 30.25f, 32.2499f}) {
        drawScene9(t - 28.5f, t, 0);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
        Frame f;
        for (int y = 60; y < 420; y += 8)
            for (int x = 0; x < 640; x += 8)
                ASSERT_GT(f.at(x, y)[0], f.at(x, y)[2] + 40) << x << ", " << y;
    }

    assets.clusterCount = CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT;
    drawScene9(3.999f, 30.499f, 1);
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    Frame f;
    int lit = 0;
    for (int y = 0; y < RENDER_TO_TEXTURE_HEIGHT; y += 4) {
        for (int x = 0; x < RENDER_TO_TEXTURE_WIDTH; x += 4) {
            // White sprites in black fog only: no trace of the reddish warp layers.
            ASSERT_LE(std::abs(f.at(x, y)[0] - f.at(x, y)[2]), 8) << x << ", " << y;
            lit += f.at(x, y)[0] > 64;
        }
    }
    EXPECT_GT(lit, 100);
    // Nothing reaches the letterbox outside the corner: no layers, flashes or caption.
    EXPECT_EQ(f.at(600, 400)[0] + f.at(600, 400)[1] + f.at(600, 400)[2], 0);
}

}   // namespace
