// Scene 4, the ray-burst interlude, and the rotations and burst poses it shares with Scene 6.
#include "ray_scenes_fixture.h"
#include "show/scenes/rays.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

float distance(const Vec3& a, const Vec3& b)
{
    return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

std::vector<uint8_t> scene4Frame(float t)
{
    randomSeed = 4242;   // the smoke's grain comes from the shared generator
    drawScene4(t);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "show time " << t;
    return readLetterbox();
}

}   // namespace

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

// Each ring moves rigidly: the rays share their inner end and the points of a ring keep their
// distances. The pose snaps on every half pattern and moves little within one.
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

TEST(Scene4, LastWindowRunsAtAQuarterSpeed)
{
    setUpRaySceneAssets();
    std::vector<uint8_t> direct = scene4Frame(38.625f);
    Texture* grain = grainTexture;   // the grain would differ between the two frames
    grainTexture = nullptr;
    randomSeed = 4242;
    drawShowFrame(39.0f);
    grainTexture = grain;
    EXPECT_TRUE(readLetterbox() == direct);
}

TEST(Scene4, PulsesFourTimesAPatternAndAddsTheLayerOfItsWindow)
{
    setUpRaySceneAssets();
    // Dark at every quarter pattern, brightest two beats later.
    for (float start : {13.75f, 32.25f})
        EXPECT_LT(channelMean(scene4Frame(start), 1) + 20,
                  channelMean(scene4Frame(start + 0.125f), 1)) << start;
    // The first window adds the red layer, the later ones the blue.
    auto redOverBlue = [](float t) {
        std::vector<uint8_t> frame = scene4Frame(t);
        return channelMean(frame, 0) - channelMean(frame, 2);
    };
    double first = redOverBlue(13.875f);
    EXPECT_GT(first, redOverBlue(32.375f) + 20);
    EXPECT_GT(first, redOverBlue(38.625f) + 20);
}
