// Scene 4, the ray-burst interlude, and the rotations and burst poses it shares with Scene 6.
#include "ray_scenes_fixture.h"
#include "show/scenes/rays.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

float distance(const Vec3& a, const Vec3& b)
{
    double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return (float)std::sqrt(dx * dx + dy * dy + dz * dz);
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
    Vec3 out;
    rotateAboutZ(&out, {1, 0, 0}, quarter);   // x onto y
    EXPECT_NEAR(out.x, 0, 1e-4);
    EXPECT_NEAR(out.y, 1, 1e-6);
    EXPECT_EQ(out.z, 0);
    rotateAboutX(&out, {0, 1, 0}, quarter);   // y onto z
    EXPECT_NEAR(out.y, 0, 1e-4);
    EXPECT_NEAR(out.z, 1, 1e-6);
    EXPECT_EQ(out.x, 0);
    rotateAboutY(&out, {0, 0, 1}, quarter);   // z onto x
    EXPECT_NEAR(out.z, 0, 1e-4);
    EXPECT_NEAR(out.x, 1, 1e-6);
    EXPECT_EQ(out.y, 0);
    // The source is taken by value, so turning in place works.
    Vec3 v = {0.3f, -2, 5};
    rotateAboutY(&v, v, 1.3f);
    EXPECT_NEAR(distance(v, {0, 0, 0}), std::sqrt(0.09 + 4 + 25), 1e-5);
}

// Both poses move each ring rigidly: the rays share their inner end, and the points of one ring
// keep their distances from each other and the rays their spacing.
TEST(RayBursts, TurnEveryRingRigidly)
{
    std::vector<Vec3> rays(RAY_POINT_COUNT), pose(RAY_POINT_COUNT);
    buildRayPoints(rays.data());
    for (int32_t scene : {4, 6}) {
        for (float t : {13.8f, 19.37f, 38.61f}) {
            if (scene == 4)
                computeInterludeBurst(pose.data(), rays.data(), t);
            else
                computeRayBurst(pose.data(), rays.data(), t - 18, t);
            SCOPED_TRACE(testing::Message() << "scene " << scene << " time " << t);
            for (int32_t j = 1; j < RAY_COUNT; j++)
                EXPECT_EQ(distance(pose[j * RAY_POINTS_PER_RAY], pose[0]), 0.0f);
            for (int32_t k : {7, 49}) {
                Vec3 a = pose[k], b = pose[17 * RAY_POINTS_PER_RAY + k];
                float before = distance(rays[k], rays[17 * RAY_POINTS_PER_RAY + k]);
                EXPECT_NEAR(distance(a, b), before, 1e-4);
            }
        }
    }
}

TEST(RayBursts, SnapToANewPoseOnEveryHalfPattern)
{
    std::vector<Vec3> rays(RAY_POINT_COUNT), before(RAY_POINT_COUNT), after(RAY_POINT_COUNT);
    buildRayPoints(rays.data());
    auto largestMove = [&]() {
        float m = 0;
        for (int32_t n = 0; n < RAY_POINT_COUNT; n++)
            m = std::max(m, distance(before[n], after[n]));
        return m;
    };
    computeRayBurst(before.data(), rays.data(), 0.4998f, 18.4998f);
    computeRayBurst(after.data(), rays.data(), 0.4999f, 18.4999f);
    EXPECT_LT(largestMove(), 0.05f);
    computeRayBurst(before.data(), rays.data(), 0.5f, 18.5f);
    EXPECT_GT(largestMove(), 1.0f);

    computeInterludeBurst(before.data(), rays.data(), 13.9998f);
    computeInterludeBurst(after.data(), rays.data(), 13.9999f);
    EXPECT_LT(largestMove(), 0.05f);
    computeInterludeBurst(before.data(), rays.data(), 14.0f);
    EXPECT_GT(largestMove(), 1.0f);
}

TEST(Scene4, LastWindowRunsAtAQuarterSpeed)
{
    setUpRaySceneAssets();
    std::vector<uint8_t> direct = scene4Frame(38.625f);
    randomSeed = 4242;
    drawShowFrame(39.0f);   // no grain texture in the tests
    EXPECT_TRUE(readLetterbox() == direct);
}

TEST(Scene4, BackgroundPulsesFourTimesAPattern)
{
    setUpRaySceneAssets();
    // Dark at every quarter pattern, brightest two beats later.
    for (float start : {13.75f, 32.25f}) {
        double dark = channelMeans(scene4Frame(start)).g;
        double bright = channelMeans(scene4Frame(start + 0.125f)).g;
        EXPECT_LT(dark + 20, bright) << start;
    }
}

TEST(Scene4, FirstWindowAddsOneLayerAndTheLaterWindowsTheOther)
{
    setUpRaySceneAssets();
    // layerTextureA is red, layerTextureB blue; the background is the same grey-blue.
    ChannelMeans first = channelMeans(scene4Frame(13.875f));
    ChannelMeans second = channelMeans(scene4Frame(32.375f));
    ChannelMeans third = channelMeans(scene4Frame(38.625f));
    EXPECT_GT(first.r - first.b, second.r - second.b + 20);
    EXPECT_GT(first.r - first.b, third.r - third.b + 20);
}
