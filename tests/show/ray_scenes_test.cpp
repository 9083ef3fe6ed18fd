// The ray-burst scenes 3, 4 and 6: swarm, interlude, bursts and their frames.
#include "scene_support.h"
#include "precalc/precalc_local.h"
#include "show/scenes/rays.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// The real swarm and rays beside plain colours (white where a layer multiplies), put back into
// the slots at every call since other tests fill them.
void setUpRaySceneAssets()
{
    ensureGLContext(640, 480);
    static std::vector<Vec3> swarm, rays;
    static ScreenChain chain;
    static std::vector<std::pair<Texture * AssetTable::*, Texture*>> slots;
    if (swarm.empty()) {
        swarm.resize(SWARM_POINT_COUNT);
        rays.resize(RAY_POINT_COUNT);
        buildSwarmPoints(swarm.data());
        buildRayPoints(rays.data());
        shuffleNoisePermutation();   // the smoke is empty over an unshuffled lattice
        chain = makeScreenCopyChain();
        Texture* white = solidTexture(255, 255, 255);
        slots = {{&AssetTable::generatedTexture,
                  makeSolidTexture(128, 128, 0, 0, 0, 0, Vec3{1, 1, 1}, 0)},
                 {&AssetTable::warpTexture2, solidTexture(60, 60, 60)},
                 {&AssetTable::bubbleAtlas, solidTexture(120, 140, 160)},
                 {&AssetTable::layerTextureA, solidTexture(255, 0, 0)},
                 {&AssetTable::layerTextureB, solidTexture(0, 0, 255)},
                 {&AssetTable::captureTexture5, solidTexture(255, 0, 255)},
                 {&AssetTable::shadeTexture1, white},
                 {&AssetTable::spriteAtlasB, white},
                 {&AssetTable::sceneTexture7, white},
                 {&AssetTable::sceneTexture8, white}};
    }
    for (auto [slot, texture] : slots)
        assets.*slot = texture;
    assets.screenCopyChain = chain;
    assets.swarmPoints = swarm.data();
    assets.rayPoints = rays.data();
}

std::vector<uint8_t> scene3Frame(float local)
{
    drawScene3(local, local + 9.5f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "local time " << local;
    return readLetterbox();
}

std::vector<uint8_t> scene4Frame(float t)
{
    randomSeed = 4242;   // the smoke's grain comes from the shared generator
    drawScene4(t);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "show time " << t;
    return readLetterbox();
}

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

TEST(Scene3, FadesInAndOutAndIsBlurredAtEverySecondPattern)
{
    setUpRaySceneAssets();
    EXPECT_EQ(brightestValue(scene3Frame(0.0f)), 0);
    EXPECT_LE(brightestValue(scene3Frame(4.2499f)), 2);
    EXPECT_GT(channelMean(scene3Frame(2.0f), 1), 10.0);
    EXPECT_GT(channelMean(scene3Frame(4.0f), 1), 2.0);   // half way out
    // t = 10 and t = 12 open a glow pattern; a pattern later the blur is gone. Each pair shares
    // its beat phase, so the flashes and the camera kick are the same.
    EXPECT_LT(sharpness(scene3Frame(0.5f)), 0.8 * sharpness(scene3Frame(1.5f)));
    EXPECT_LT(sharpness(scene3Frame(2.5f)), 0.8 * sharpness(scene3Frame(3.5f)));
}

TEST(Rotations, TurnRightHandedAboutEachAxis)
{
    const float quarter = (float)(PI / 2);
    Vec3 v;
    EXPECT_NEAR(distance(*rotateAboutZ(&v, {1, 0, 0}, quarter), {0, 1, 0}), 0, 1e-4);
    EXPECT_NEAR(distance(*rotateAboutX(&v, {0, 1, 0}, quarter), {0, 0, 1}), 0, 1e-4);
    EXPECT_NEAR(distance(*rotateAboutY(&v, {0, 0, 1}, quarter), {1, 0, 0}), 0, 1e-4);
    rotateAboutY(&v, v, quarter);   // in place: z onto x, x onto -z
    EXPECT_NEAR(distance(v, {0, 0, -1}), 0, 1e-4);
}

// Rigid rings whose pose snaps on every half pattern.
TEST(RayBursts, TurnRingsRigidlyAndSnapOnTheHalfPatterns)
{
    std::vector<Vec3> rays(RAY_POINT_COUNT), a(RAY_POINT_COUNT), b(RAY_POINT_COUNT);
    buildRayPoints(rays.data());
    auto largestMove = [&]() {
        float m = 0;
        for (int32_t n = 0; n < RAY_POINT_COUNT; n++)
            m = std::max(m, distance(a[n], b[n]));
        return m;
    };
    for (int32_t scene : {4, 6}) {
        SCOPED_TRACE(testing::Message() << "scene " << scene);
        auto pose = [&](std::vector<Vec3>& out, float t) {
            if (scene == 4)
                computeInterludeBurst(out.data(), rays.data(), t);
            else
                computeRayBurst(out.data(), rays.data(), t - 18, t);
        };
        pose(a, 18.4998f);
        for (int32_t j = 1; j < RAY_COUNT; j++)
            EXPECT_EQ(distance(a[j * RAY_POINTS_PER_RAY], a[0]), 0.0f);
        for (int32_t k : {7, 49})
            EXPECT_NEAR(distance(a[k], a[17 * RAY_POINTS_PER_RAY + k]),
                        distance(rays[k], rays[17 * RAY_POINTS_PER_RAY + k]), 1e-4);
        pose(b, 18.4999f);
        EXPECT_LT(largestMove(), 0.05f);
        pose(a, 18.5f);
        EXPECT_GT(largestMove(), 1.0f);
    }
}

TEST(Scene4, PulsesAddsTheLayerOfItsWindowAndEndsAtAQuarterSpeed)
{
    setUpRaySceneAssets();
    std::vector<uint8_t> direct = scene4Frame(38.625f);
    Texture* grain = assets.grainTexture;   // the grain would differ between the two frames
    assets.grainTexture = nullptr;
    randomSeed = 4242;
    drawShowFrame(39.0f);
    assets.grainTexture = grain;
    EXPECT_TRUE(readLetterbox() == direct);
    // Dark at every quarter pattern, brightest two beats later.
    for (float start : {13.75f, 32.25f})
        EXPECT_LT(channelMean(scene4Frame(start), 1) + 20,
                  channelMean(scene4Frame(start + 0.125f), 1))
            << start;
    // The first window adds the red layer, the later ones the blue.
    auto redOverBlue = [](float t) {
        std::vector<uint8_t> frame = scene4Frame(t);
        return channelMean(frame, 0) - channelMean(frame, 2);
    };
    double first = redOverBlue(13.875f);
    EXPECT_GT(first, redOverBlue(32.375f) + 20);
    EXPECT_GT(first, redOverBlue(38.625f) + 20);
}

TEST(Scene6, OpensUnderScene5sPictureWhichItsCaptureLeavesOut)
{
    setUpRaySceneAssets();
    EXPECT_GT(magenta(scene6Frame(0.0f)), 150);
    double half = magenta(scene6Frame(0.125f));
    EXPECT_GT(half, 20);
    EXPECT_LT(half, 150);
    EXPECT_LE(magenta(scene6Frame(0.25f)), 0);
    EXPECT_GT(channelMean(scene6Frame(1.0f), 1), 10);
    // The capture has none of it, and outside the corner the letterbox stays cleared.
    std::vector<uint8_t> corner = scene6Frame(0.0f, 1);
    EXPECT_LE(magenta(corner), 0);
    EXPECT_GT(channelMean(corner, 1), 10);
    EXPECT_EQ(brightestValue(readRegion(520, 60, 120, 360)), 0);
    EXPECT_EQ(brightestValue(readRegion(0, 262, 512, 158)), 0);
    EXPECT_TRUE(scene6Frame(0.0f, 2) == corner);   // any non-zero flag is the same capture
}
