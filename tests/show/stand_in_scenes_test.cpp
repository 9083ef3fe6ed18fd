// Scenes from stand-in assets: the trail (2, 10), ray bursts (3, 4, 6) and growth (5, 9).
#include "scene_support.h"
#include "precalc/precalc_local.h"
#include "show/scenes/growth.h"
#include "show/scenes/rays.h"
#include "show/scenes/trail.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// Stand-ins in the asset slots for one suite; the slots and the random state go back after it.
template <void (*fill)(AssetTable&)>
class StandIns : public testing::Test {
protected:
    static inline AssetTable savedAssets;
    static inline uint32_t savedSeed;
    static void SetUpTestSuite()
    {
        ensureGLContext(640, 480);
        savedAssets = assets;
        savedSeed = randomSeed;
        fill(assets);
    }
    static void TearDownTestSuite()
    {
        assets = savedAssets;
        randomSeed = savedSeed;
    }
};

ScreenChain copyChain()
{
    static ScreenChain chain = makeScreenCopyChain();
    return chain;
}

// The real trail, dotted white sprites, white or grey layers and a caption that covers nothing.
void trailAssets(AssetTable& a)
{
    static std::vector<Vec3> path;
    if (path.empty()) {
        path.resize(PATH_POINT_COUNT);
        buildPathPoints(path.data());
    }
    std::vector<uint8_t> dots(64 * 64 * 4, 255);
    for (int32_t i = 0; i < 64 * 64; ++i)
        dots[i * 4 + 3] = ((i % 64 / 4 + i / 256) % 3 == 0) ? 255 : 0;
    a.spritePairAtlas1 = a.spritePairAtlas2 = textureFromTexels(64, 64, dots);
    a.spritePairAtlas1->spriteCount = 2;
    a.pathPoints = path.data();
    a.tissueTexture2 = solidTexture(255, 255, 255);
    a.tissueTexture1 = a.warpTexture1 = a.warpTexture2 = solidTexture(128, 128, 128);
    a.captionTexture2 = a.captionTexture10 = solidTexture(255, 255, 255, 0);
    a.screenCopyChain = copyChain();
}
using Scene2Frames = StandIns<trailAssets>;
using Scene10Frames = StandIns<trailAssets>;

// The real swarm and rays beside plain colours (white where a layer multiplies).
void rayAssets(AssetTable& a)
{
    static std::vector<Vec3> swarm, rays;
    if (swarm.empty()) {
        swarm.resize(SWARM_POINT_COUNT);
        rays.resize(RAY_POINT_COUNT);
        buildSwarmPoints(swarm.data());
        buildRayPoints(rays.data());
        shuffleNoisePermutation();   // the smoke is empty over an unshuffled lattice
    }
    a.generatedTexture = makeSolidTexture(128, 128, 0, 0, 0, 0, Vec3{1, 1, 1}, 0);
    a.warpTexture2 = solidTexture(60, 60, 60);
    a.bubbleAtlas = solidTexture(120, 140, 160);
    a.layerTextureA = solidTexture(255, 0, 0);
    a.layerTextureB = solidTexture(0, 0, 255);
    a.captureTexture5 = solidTexture(255, 0, 255);
    a.shadeTexture1 = a.spriteAtlasB = a.sceneTexture7 = a.sceneTexture8 =
        solidTexture(255, 255, 255);
    a.screenCopyChain = copyChain();
    a.swarmPoints = swarm.data();
    a.rayPoints = rays.data();
}
using Scene3 = StandIns<rayAssets>;
using Scene4 = StandIns<rayAssets>;
using Scene6 = StandIns<rayAssets>;

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

void scene5Assets(AssetTable& a)
{
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
class Scene5 : public StandIns<scene5Assets> {
protected:
    // The top-left corner of the letterbox, away from the ball.
    static const uint8_t* sky(const Frame& f) { return f.at(4, 415); }
};

void scene9Assets(AssetTable& a)
{
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
using Scene9 = StandIns<scene9Assets>;

float eyeDistance(float t0, float t1)
{
    return distance(clusterViewAt(t0 - 28.5f, t0).eye.position,
                    clusterViewAt(t1 - 28.5f, t1).eye.position);
}

}   // namespace

TEST(TrailTables, FilledFromThePathAndTheRandomSequence)
{
    std::vector<Vec3> path(TRAIL_ENTRY_COUNT);
    for (int32_t i = 0; i < TRAIL_ENTRY_COUNT; ++i)
        path[i] = {0.5f * i, 0.0f, -1.0f * i};
    auto tables = std::make_unique<TrailTables>();
    randomSeed = 1234;
    fillTrailTables(tables.get(), path.data(), 0.04f, TRAIL_HIDDEN_SIDE_ENTRIES);
    uint32_t after = randomSeed;

    EXPECT_EQ(tables->keys[4095].x, path[8190].x);   // the curve points only
    EXPECT_EQ(tables->sprites[8190] * 10 + tables->sprites[8191], 10);
    EXPECT_EQ(tables->sizes[299], 0.0f);   // side points through entry 300 hidden
    EXPECT_EQ(tables->sizes[300], 1.0f);
    EXPECT_EQ(tables->sizes[301], 0.04f);
    randomSeed = 1234;
    for (int32_t i = 0; i < TRAIL_ENTRY_COUNT; ++i)
        ASSERT_EQ(tables->randomValues[i], randomUnit()) << i;
    EXPECT_EQ(randomSeed, after);   // one draw an entry, nothing more
}

TEST(TrailDrift, SidePointsDriftAndShiverWithAFixedNumberOfDraws)
{
    std::vector<Vec3> path(TRAIL_ENTRY_COUNT, Vec3{1.0f, 2.0f, 3.0f});
    std::vector<Vec3> calm(TRAIL_COPY_COUNT), shaken(TRAIL_COPY_COUNT);
    randomSeed = 99;
    displaceTrail(calm.data(), path.data(), 1.3f, true, 0.0f);
    uint32_t afterCalm = randomSeed;
    randomSeed = 99;
    displaceTrail(shaken.data(), path.data(), 1.3f, true, 0.02f);
    EXPECT_EQ(randomSeed, afterCalm);   // the beat does not change the random sequence
    float shiver = 0.0f;
    for (int32_t i = 0; i < TRAIL_COPY_COUNT; ++i) {
        if (i % 2 == 0) {
            ASSERT_EQ(shaken[i].x, 1.0f);
            continue;
        }
        ASSERT_NEAR(calm[i].x, 1.0 + 0.1 * std::sin(2.481 * 1.3 + i), 1e-6);
        shiver = std::max(shiver, std::fabs(shaken[i].z - calm[i].z));
    }
    EXPECT_GT(shiver, 0.0f);
    EXPECT_LE(shiver, 0.02f * 1.0005f);
    randomSeed = 99;
    displaceTrail(calm.data(), path.data(), 1.3f, false, 0.02f);
    EXPECT_EQ(randomSeed, 99u);
}

TEST(Scene2Travel, OutForTwoPatternsThenACutBackDrawingInsideTheCopy)
{
    Scene2Frame start = scene2Frame(0.0f);
    EXPECT_FLOAT_EQ(start.travel, 0.25f);
    EXPECT_EQ(start.fade, 0.0f);   // the target stands on the eye's own point
    EXPECT_EQ(start.first, 15);
    Scene2Frame peak = scene2Frame(std::nextafter(2.0f, 0.0f));
    EXPECT_NEAR(peak.travel, 5.05f, 1e-4);
    EXPECT_EQ(peak.first, 507);
    EXPECT_NEAR(scene2Frame(2.0f).travel, 3.45f, 1e-5);
    EXPECT_FLOAT_EQ(scene2Frame(3.25f).fade, 0.5f);
    for (float local = 0.0f; local < 3.5f; local += 1.0f / 256) {
        ASSERT_EQ(trailDrawCount(scene2Frame(local).first, 200), 200) << "L = " << local;
        if (local < 2.0f) {
            ASSERT_EQ(trailDrawCount(scene10Frame(local).first, 120), 120) << "L = " << local;
        }
    }
    EXPECT_EQ(scene10Frame(0.0f).first, 399);
    EXPECT_EQ(scene10Frame(std::nextafter(2.0f, 0.0f)).first, 809);
    // Before the window the travel turns negative and wraps to the end of the point set: the
    // draw is cut short instead of reading past the copy.
    int32_t lost = scene2Frame(-0.1f).first;
    EXPECT_GT(lost, TRAIL_COPY_COUNT - 200);
    EXPECT_EQ(trailDrawCount(lost, 200), TRAIL_COPY_COUNT - lost);
}

TEST_F(Scene2Frames, DrawnAcrossTheWindowFirstInstantShowsOnlyTheFlash)
{
    for (float local : {0.0f, 0.5f, 1.999f, 2.0f, 3.25f, 3.499f}) {
        drawScene2(local, local + 6.0f);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "L = " << local;
    }
    // Eye on target and fade 0: no sprite, no caption, only the half-pattern flash under the
    // white layers, one even grey.
    drawScene2(0.0f, 6.0f);
    std::vector<uint8_t> first = readLetterbox();
    auto [low, high] = std::minmax_element(first.begin(), first.end());
    EXPECT_EQ(*low, *high);
    EXPECT_NEAR(*low, 64, 2);
    drawScene2(0.25f, 6.25f);
    std::vector<uint8_t> later = readLetterbox();
    EXPECT_NE(*std::min_element(later.begin(), later.end()),
              *std::max_element(later.begin(), later.end()));
}

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

TEST_F(Scene10Frames, CaptureStaysInTheCornerShownFrameFillsTheLetterbox)
{
    for (float local : {0.0f, 0.01f, 0.5f, 1.999f}) {
        drawScene10(local, local + 32.5f, 0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "L = " << local;
    }
    drawScene10(1.999f, 34.499f, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    std::vector<uint8_t> above = readRegion(0, 300, 640, 100);   // letterbox above the corner
    EXPECT_EQ(*std::max_element(above.begin(), above.end()), 0);
    std::vector<uint8_t> corner = readRegion(0, 0, 640, 256);
    EXPECT_GT(*std::max_element(corner.begin(), corner.end()), 0);

    // Shown, the glow chain lays the picture over the whole letterbox.
    drawScene10(1.999f, 34.499f, 0);
    std::vector<uint8_t> shown = readLetterbox();
    int32_t dark = 0;
    for (size_t i = 0; i < shown.size(); i += 3)
        dark += shown[i] + shown[i + 1] + shown[i + 2] == 0;
    EXPECT_EQ(dark, 0);
}

TEST_F(Scene3, FadesInAndOutAndIsBlurredAtEverySecondPattern)
{
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

TEST_F(Scene4, PulsesAddsTheLayerOfItsWindowAndEndsAtAQuarterSpeed)
{
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

TEST_F(Scene6, OpensUnderScene5sPictureWhichItsCaptureLeavesOut)
{
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
