// Particle shadowing and mesh particles.
#include "effects/particles.h"

#include "support/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

const Vec3 LIGHT = {0.0f, 30.0f, 100.0f};

std::vector<ShadowDir> directions(const std::vector<Vec3>& points)
{
    std::vector<ShadowDir> dirs(points.size());
    for (size_t i = 0; i < points.size(); i++)
        directionTo(&dirs[i], &LIGHT, &points[i]);
    return dirs;
}

// Points on the line from the light through the origin, at the given distances from the light.
std::vector<Vec3> onRay(const std::vector<float>& distances)
{
    float length = std::sqrt(LIGHT.x * LIGHT.x + LIGHT.y * LIGHT.y + LIGHT.z * LIGHT.z);
    std::vector<Vec3> points;
    for (float d : distances) {
        float t = 1.0f - d / length;
        points.push_back({LIGHT.x * t, LIGHT.y * t, LIGHT.z * t});
    }
    return points;
}

std::vector<Vec3> randomCloud(int n, uint32_t seed)
{
    randomSeed = seed;
    std::vector<Vec3> points(n);
    for (Vec3& p : points)
        p = {(randomUnit() - 0.5f) * 20.0f, (randomUnit() - 0.5f) * 20.0f,
             (randomUnit() - 0.5f) * 20.0f};
    return points;
}

}  // namespace

TEST(Shadowing, WithoutOccludersEveryFactorIsOne)
{
    std::vector<Vec3> cloud = randomCloud(500, 1);
    uint32_t scratchBefore = scratchUsed();
    float* factors = shadowParticles(cloud.data(), 500, cloud.data(), 0, LIGHT, 0.45f, 0.97f);
    for (int i = 0; i < 500; i++)
        ASSERT_EQ(factors[i], 1.0f) << i;
    EXPECT_EQ(scratchUsed(), scratchBefore);
    std::free(factors);
}

TEST(Shadowing, EachOccluderInFrontDarkensOnceAndNothingBehindTheReceiverCounts)
{
    // Receivers at 50 and 60 from the light; occluders at 40 and 45; the receiver at 50 is
    // in front of the one at 60.
    std::vector<Vec3> receivers = onRay({50.0f, 60.0f, 30.0f});
    std::vector<Vec3> occluders = onRay({40.0f, 45.0f});
    float* factors =
        shadowParticles(receivers.data(), 3, occluders.data(), 2, LIGHT, 0.45f, 0.97f);
    EXPECT_FLOAT_EQ(factors[0], 0.97f * 0.97f);
    EXPECT_FLOAT_EQ(factors[1], 0.97f * 0.97f);
    EXPECT_EQ(factors[2], 1.0f);   // nearer the light than both occluders
    std::free(factors);

    // One occluder; and a cloud that shadows itself: nobody darkens itself, the far one gets
    // both in front of it.
    std::vector<Vec3> one = onRay({40.0f});
    factors = shadowParticles(receivers.data(), 2, one.data(), 1, LIGHT, 0.45f, 0.97f);
    EXPECT_FLOAT_EQ(factors[0], 0.97f);
    EXPECT_FLOAT_EQ(factors[1], 0.97f);
    std::free(factors);

    std::vector<Vec3> line = onRay({40.0f, 45.0f, 50.0f});
    factors = shadowParticles(line.data(), 3, line.data(), 3, LIGHT, 0.45f, 0.97f);
    EXPECT_EQ(factors[0], 1.0f);
    EXPECT_FLOAT_EQ(factors[1], 0.97f);
    EXPECT_FLOAT_EQ(factors[2], 0.97f * 0.97f);
    std::free(factors);
}

TEST(Shadowing, AnOccluderWithinItsRadiusOfTheReceiverDoesNotDarkenIt)
{
    std::vector<Vec3> receiver = onRay({50.0f});
    std::vector<Vec3> occluder = onRay({49.7f});   // its far side lies beyond the receiver
    float* factors =
        shadowParticles(receiver.data(), 1, occluder.data(), 1, LIGHT, 0.45f, 0.97f);
    EXPECT_EQ(factors[0], 1.0f);
    std::free(factors);
}

TEST(Shadowing, SmallGroupsAreTestedDirectlyAndLargerOnesSplit)
{
    // Receivers spread sideways so that a split separates them; occluders everywhere.
    std::vector<Vec3> cloud = randomCloud(10, 7);
    std::vector<ShadowDir> dirs = directions(cloud);
    std::vector<Vec3> blockers = randomCloud(300, 8);
    std::vector<ShadowDir> blockerDirs = directions(blockers);

    std::vector<float> split(9, 1.0f), leaf(9, 1.0f);
    shadowSplit(dirs.data(), 9, blockerDirs.data(), 300, split.data(), 2.0f, SHADOW_DEPTH, 0.5f);
    shadowLeaf(dirs.data(), 9, blockerDirs.data(), 300, leaf.data(), 2.0f, 0.5f);
    EXPECT_EQ(split, leaf);

    // With 10 the group splits: the scratch pool sees the lists, and is back where it was.
    uint32_t before = scratchUsed();
    std::vector<float> split10(10, 1.0f), leaf10(10, 1.0f);
    shadowSplit(dirs.data(), 10, blockerDirs.data(), 300, split10.data(), 2.0f, 1, 0.5f);
    shadowLeaf(dirs.data(), 10, blockerDirs.data(), 300, leaf10.data(), 2.0f, 0.5f);
    EXPECT_EQ(scratchUsed(), before);
    int agree = 0;
    for (int i = 0; i < 10; i++)
        agree += std::fabs(split10[i] - leaf10[i]) < 1e-6f;
    EXPECT_GE(agree, 9);
}

TEST(Shadowing, SplitAgreesWithTheAllPairsTestOnARandomCloud)
{
    std::vector<Vec3> cloud = randomCloud(3000, 12345);
    std::vector<ShadowDir> dirs = directions(cloud);
    std::vector<float> leaf(cloud.size(), 1.0f);
    shadowLeaf(dirs.data(), 3000, dirs.data(), 3000, leaf.data(), 0.45f, 0.97f);
    float* split = shadowParticles(cloud.data(), 3000, cloud.data(), 3000, LIGHT, 0.45f, 0.97f);
    int agree = 0, shadowed = 0;
    for (int i = 0; i < 3000; i++) {
        agree += std::fabs(split[i] - leaf[i]) < 1e-5f;
        shadowed += leaf[i] < 1.0f;
    }
    EXPECT_GE(agree, 2997);            // at least 99.9 %
    EXPECT_GT(shadowed, 300);          // the cloud does shadow itself
    std::free(split);
}

TEST(Shadowing, AGroupWithoutASplitPlaneFallsBackToTheDirectTest)
{
    // Every receiver straight below the light at x = y = 0 after the first, odd-depth split:
    // a light on the z axis gives direction sums (0, 0, n).
    Vec3 light = {0.0f, 0.0f, 100.0f};
    std::vector<ShadowDir> dirs(12);
    for (int i = 0; i < 12; i++) {
        Vec3 p = {0.0f, 0.0f, 50.0f - 5.0f * i};
        directionTo(&dirs[i], &light, &p);
    }
    std::vector<float> split(12, 1.0f), leaf(12, 1.0f);
    shadowSplit(dirs.data(), 12, dirs.data(), 12, split.data(), 0.45f, 19, 0.9f);
    shadowLeaf(dirs.data(), 12, dirs.data(), 12, leaf.data(), 0.45f, 0.9f);
    EXPECT_EQ(split, leaf);
    EXPECT_NEAR(split[11], std::pow(0.9f, 11.0f), 1e-5);
}

TEST(MeshParticles, ATriangleGivesItsCornersAndACentreUnderIt)
{
    // Sides 3, 4 and 5, counter-clockwise seen from +z.
    Vec3 positions[4] = {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}, {}};
    Vec3 normals[4] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {}};
    int32_t triangles[3] = {0, 1, 2};
    int32_t count = 3;
    uint32_t before = scratchUsed();
    float* sizes = meshToParticles(positions, normals, &count, triangles, 1, 2, 7.5f, 1);
    EXPECT_EQ(scratchUsed(), before);
    ASSERT_EQ(count, 4);
    for (int k = 0; k < 4; k++)
        EXPECT_FLOAT_EQ(sizes[k], 3.0f) << k;
    EXPECT_EQ(sizes[4], 7.5f);
    EXPECT_EQ(sizes[5], 7.5f);
    EXPECT_FLOAT_EQ(positions[3].x, 1.0f);
    EXPECT_FLOAT_EQ(positions[3].y, 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(positions[3].z, -0.3f);
    EXPECT_FLOAT_EQ(normals[3].z, 1.0f);
    std::free(sizes);
}

TEST(MeshParticles, SizesAverageTheTrianglesAroundAVertex)
{
    // Two triangles sharing the edge 1-2; vertex 4 is used by none.
    Vec3 positions[5] = {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}, {3, 4, 0}, {9, 9, 9}};
    Vec3 normals[5] = {};
    int32_t triangles[6] = {0, 1, 2, 1, 3, 2};
    int32_t count = 5;
    float* sizes = meshToParticles(positions, normals, &count, triangles, 2, 0, 0.0f, 0);
    EXPECT_EQ(count, 5);
    EXPECT_FLOAT_EQ(sizes[0], 3.0f);
    EXPECT_FLOAT_EQ(sizes[1], 3.0f);
    EXPECT_FLOAT_EQ(sizes[3], 3.0f);
    EXPECT_EQ(sizes[4], 0.0f);   // unused vertex: no 0 / 0
    std::free(sizes);
}

TEST(MeshParticles, ADegenerateTriangleGetsAFiniteCentre)
{
    Vec3 positions[4] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {}};
    Vec3 normals[4] = {};
    int32_t triangles[3] = {0, 1, 2};
    int32_t count = 3;
    float* sizes = meshToParticles(positions, normals, &count, triangles, 1, 0, 0.0f, 1);
    EXPECT_FLOAT_EQ(positions[3].x, 1.0f);
    EXPECT_FLOAT_EQ(positions[3].y, 0.7f);
    EXPECT_EQ(normals[3].y, 1.0f);
    EXPECT_EQ(sizes[3], 0.0f);
    std::free(sizes);
}
