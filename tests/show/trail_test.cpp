// The sprite trail, Scenes 2 and 10 flying along it, and their frames with plain textures.
#include "scene_support.h"
#include "precalc/precalc_local.h"
#include "show/scenes/trail.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// The real trail and plain textures (dotted white sprites, white or grey layers, a caption that
// covers nothing) for the life of the object; the slots go back afterwards.
class TrailAssets {
public:
    TrailAssets()
        : saved_(assets)
    {
        ensureGLContext(640, 480);
        static Vec3* path = nullptr;
        static Texture *sprites, *white, *grey, *clear;
        if (!path) {
            path = new Vec3[PATH_POINT_COUNT];
            buildPathPoints(path);
            std::vector<uint8_t> dots(64 * 64 * 4, 255);
            for (int32_t i = 0; i < 64 * 64; ++i)
                dots[i * 4 + 3] = ((i % 64 / 4 + i / 256) % 3 == 0) ? 255 : 0;
            sprites = textureFromTexels(64, 64, dots);
            sprites->spriteCount = 2;
            white = solidTexture(255, 255, 255);
            grey = solidTexture(128, 128, 128);
            clear = solidTexture(255, 255, 255, 0);
        }
        AssetTable& a = assets;
        a.pathPoints = path;
        a.spritePairAtlas1 = a.spritePairAtlas2 = sprites;
        a.tissueTexture2 = white;
        a.tissueTexture1 = a.warpTexture1 = a.warpTexture2 = grey;
        a.captionTexture2 = a.captionTexture10 = clear;
        if (a.screenCopyChain.count == 0)
            a.screenCopyChain = saved_.screenCopyChain = makeScreenCopyChain();
    }
    ~TrailAssets() { assets = saved_; }

private:
    AssetTable saved_;
};

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
    EXPECT_EQ(tables->randomValues[0], randomUnit());
    EXPECT_EQ(tables->randomValues[1], randomUnit());
    for (int32_t i = 2; i < TRAIL_ENTRY_COUNT; ++i)
        randomUnit();
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

TEST(Scene2Frames, DrawnAcrossTheWindowFirstInstantShowsOnlyTheFlash)
{
    TrailAssets trail;
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

TEST(Scene10Frames, CaptureStaysInTheCornerShownFrameFillsTheLetterbox)
{
    TrailAssets trail;
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
