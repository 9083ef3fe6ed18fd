// Scene 9: the opening zoom from a closed field of view, the orbit's cut on every half pattern,
// and the capture frame with nothing but the two particle passes in the corner.
#include "common/test_support.h"
#include "growth_frames.h"
#include "precalc/precalc.h"
#include "show/scenes/growth.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Scene9 : public GrowthSceneTest {
protected:
    static void SetUpTestSuite()
    {
        ensureGLContext(640, 480);
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
    Vec3 a = clusterViewAt(t0 - 28.5f, t0).eye.position;
    Vec3 b = clusterViewAt(t1 - 28.5f, t1).eye.position;
    return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
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
