// Scene 9: the opening zoom from a closed field of view, the orbit's cut on every half pattern,
// and the capture frame with nothing but the two particle passes in the corner.
#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"
#include "show/scenes/growth.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

Texture* solid(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    return makeSolidTexture(16, 16, r, g, b, a, {1, 1, 1}, 0);
}

std::vector<uint8_t> readScreen()
{
    std::vector<uint8_t> px((size_t)displaySettings.width * displaySettings.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, displaySettings.width, displaySettings.height, GL_RGBA, GL_UNSIGNED_BYTE,
                 px.data());
    return px;
}

const uint8_t* at(const std::vector<uint8_t>& px, int x, int y)
{
    return &px[((size_t)y * displaySettings.width + x) * 4];
}

float distance(Vec3 a, Vec3 b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

// The scene's call for show time t, as the timeline makes it.
void drawAt(float t, int32_t capture = 0)
{
    drawScene9(t - 28.5f, t, capture);
}

class Scene9 : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ensureGLContext(640, 480);
        AssetTable& a = assets;
        a.warpTexture2 = solid(200, 40, 20, 255);
        a.spriteAtlasA = solid(255, 255, 255, 255);
        a.spiralTexture = solid(255, 255, 255, 255);
        a.layerTextureA = solid(40, 40, 40, 255);
        a.layerTextureB = solid(40, 40, 40, 255);
        a.captionTexture9 = solid(0, 0, 0, 0);
        // The growth overshoots its limit by a few points; only the first 6000 are drawn.
        static Vec3 cluster[CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT];
        randomSeed = 99;
        for (Vec3& p : cluster)
            p = {8 * (randomUnit() - 0.5f), 8 * (randomUnit() - 0.5f), 8 * (randomUnit() - 0.5f)};
        a.clusterPoints = cluster;
        a.clusterCount = CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT;
    }
};

TEST_F(Scene9, OpensWithAZoomFromAClosedFieldOfView)
{
    EXPECT_EQ(clusterViewAt(-0.25f, 28.25f).eye.fieldOfView, 0.0f);
    EXPECT_NEAR(clusterViewAt(-0.1875f, 28.3125f).eye.fieldOfView, 45.0f, 1e-3);
    EXPECT_GT(clusterViewAt(-0.2499f, 28.2501f).eye.fieldOfView, 0.0f);
    EXPECT_LT(clusterViewAt(-0.2499f, 28.2501f).eye.fieldOfView, 2.0f);
    // From 0 on, a kick of up to 9 degrees on each half pattern.
    EXPECT_NEAR(clusterViewAt(0.0f, 28.5f).eye.fieldOfView, 99.0f, 1e-3);
    EXPECT_FLOAT_EQ(clusterViewAt(0.2f, 28.7f).eye.fieldOfView, 90.0f);
    // A time before the window holds the closed view instead of a NaN camera.
    EXPECT_EQ(clusterViewAt(-0.3f, 28.2f).eye.fieldOfView, 0.0f);

    // The first instant (the camera's 90 degrees) and the nearly closed view just after draw.
    for (float t : {28.25f, 28.2501f, 28.3125f}) {
        drawAt(t);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
    }
}

TEST_F(Scene9, OrbitCutsOnEveryHalfPatternAndFlowsBetween)
{
    const float frame = 1.0f / 256;
    for (float start = 28.5f; start < 32.25f; start += 0.5f) {
        Vec3 before = clusterViewAt(start - 28.5f - frame, start - frame).eye.position;
        Vec3 after = clusterViewAt(start - 28.5f, start).eye.position;
        EXPECT_GT(distance(before, after), 0.5f) << "cut at " << start;
        // Within the half pattern (past the flash's swell) the eye moves a little each frame.
        for (float t = start + 0.2f; t < start + 0.5f - frame; t += frame) {
            Vec3 a = clusterViewAt(t - 28.5f, t).eye.position;
            Vec3 b = clusterViewAt(t + frame - 28.5f, t + frame).eye.position;
            ASSERT_LT(distance(a, b), 0.1f) << "t = " << t;
        }
    }
}

TEST_F(Scene9, DrawsItsLayersInTheShowAndOnlyTheParticlesWhenCapturing)
{
    // In the show the warped image fills the letterbox behind the cluster (left out here).
    assets.clusterCount = 0;
    for (float t : {28.6f, 29.0f, 30.25f, 31.5f, 32.2499f}) {
        drawAt(t);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
        std::vector<uint8_t> shown = readScreen();
        int warped = 0;
        for (int y = 60; y < 420; y += 8) {
            for (int x = 0; x < 640; x += 8) {
                const uint8_t* p = at(shown, x, y);
                warped += p[0] > p[2] + 40;
            }
        }
        EXPECT_EQ(warped, 80 * 45) << "t = " << t;
    }

    assets.clusterCount = CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT;
    drawScene9(3.999f, 30.499f, 1);
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    std::vector<uint8_t> px = readScreen();
    int lit = 0;
    for (int y = 0; y < RENDER_TO_TEXTURE_HEIGHT; y += 4) {
        for (int x = 0; x < RENDER_TO_TEXTURE_WIDTH; x += 4) {
            const uint8_t* p = at(px, x, y);
            // White sprites in black fog only: no trace of the reddish warp layers.
            ASSERT_LE(std::abs(p[0] - p[2]), 8) << x << ", " << y;
            lit += p[0] > 64;
        }
    }
    EXPECT_GT(lit, 100);
    // Nothing reaches the letterbox outside the corner: no layers, flashes or caption.
    const uint8_t* outside = at(px, 600, 400);
    EXPECT_EQ(outside[0] + outside[1] + outside[2], 0);
}

}   // namespace
