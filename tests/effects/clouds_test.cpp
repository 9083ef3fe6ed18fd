// The point clouds: the iterated function system, particle shadowing and mesh particles.
#include "effects/effects_local.h"

#include "render/gl.h"
#include "support/support.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <tuple>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

TEST(IfsMatrix, AppliesAColumnMajorAffineMapWithoutTheFourthRow)
{
    float m[16] = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 10, 11, 12, 99};
    Vec3 p = applyIfsMatrix({1.0f, -1.0f, 2.0f}, m);
    EXPECT_EQ(std::tuple(p.x, p.y, p.z),
              std::tuple(1 - 4 + 14 + 10.0f, 2 - 5 + 16 + 11.0f, 3 - 6 + 18 + 12.0f));
}

// The points themselves are pinned by value with the rest of the precalculation.
TEST(IfsCloud, RepeatsWhateverTheRandomStateBefore)
{
    ensureGLContext();
    randomSeed = 1;
    buildIfsCloud();
    std::vector<Vec3> first(fractalPoints, fractalPoints + FRACTAL_POINT_COUNT);
    std::vector<float> firstSizes(fractalSizes, fractalSizes + FRACTAL_POINT_COUNT);
    randomSeed = 4242;
    buildIfsCloud();
    EXPECT_EQ(std::memcmp(first.data(), fractalPoints, sizeof(Vec3) * FRACTAL_POINT_COUNT), 0);
    EXPECT_EQ(std::memcmp(firstSizes.data(), fractalSizes, sizeof(float) * FRACTAL_POINT_COUNT), 0);
}

TEST(IfsAnimation, DrawsRandomNumbersOnlyOnTheFirstCallAndMovesSmoothly)
{
    ensureGLContext();
    // The caller's matrices survive.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1.0f, 2.0f, 3.0f);

    randomSeed = 5;
    animateIfs(1.0f);
    EXPECT_NE(randomSeed, 5u);
    uint32_t after = randomSeed;
    std::vector<Vec3> a(ifsPoints, ifsPoints + IFS_POINT_COUNT);
    animateIfs(1.001f);
    EXPECT_EQ(randomSeed, after);
    for (int i = 0; i < 32; i++) {
        float d = std::fabs(a[i].x - ifsPoints[i].x) + std::fabs(a[i].y - ifsPoints[i].y) +
                  std::fabs(a[i].z - ifsPoints[i].z);
        EXPECT_LT(d, 0.5f) << i;
    }
    animateIfs(1.0f);
    EXPECT_EQ(std::memcmp(a.data(), ifsPoints, sizeof(Vec3) * IFS_POINT_COUNT), 0);
    animateIfs(3.0f);
    EXPECT_NE(std::memcmp(a.data(), ifsPoints, sizeof(Vec3) * IFS_POINT_COUNT), 0);

    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(std::vector<float>(m + 12, m + 15), (std::vector<float>{1, 2, 3}));
}

namespace {

const Vec3 LIGHT = {0.0f, 30.0f, 100.0f};

// Points on the line from the light through the origin, at these distances from the light.
std::vector<Vec3> onRay(const std::vector<float>& distances)
{
    float length = std::sqrt(LIGHT.y * LIGHT.y + LIGHT.z * LIGHT.z);
    std::vector<Vec3> points;
    for (float d : distances)
        points.push_back({0.0f, LIGHT.y * (1 - d / length), LIGHT.z * (1 - d / length)});
    return points;
}

std::vector<float> shade(const std::vector<Vec3>& receivers, const std::vector<Vec3>& occluders)
{
    float* f = shadowParticles(receivers.data(), (int32_t)receivers.size(), occluders.data(),
                               (int32_t)occluders.size(), LIGHT, 0.45f, 0.97f);
    std::vector<float> result(f, f + receivers.size());
    std::free(f);
    return result;
}

std::vector<ShadowDir> randomDirections(int n, uint32_t seed)
{
    randomSeed = seed;
    std::vector<ShadowDir> dirs((size_t)n);
    for (ShadowDir& d : dirs) {
        float x = randomUnit() - 0.5f, y = randomUnit() - 0.5f, z = randomUnit() - 0.5f;
        Vec3 p = {20 * x, 20 * y, 20 * z};
        directionTo(&d, &LIGHT, &p);
    }
    return dirs;
}

}   // namespace

TEST(Shadowing, EachOccluderBetweenReceiverAndLightDarkensOnce)
{
    std::vector<Vec3> receivers = onRay({50.0f, 60.0f, 30.0f, 49.8f});
    EXPECT_EQ(shade(receivers, {}), std::vector<float>(4, 1.0f));
    std::vector<float> f = shade(receivers, onRay({40.0f, 45.0f}));
    EXPECT_FLOAT_EQ(f[0], 0.97f * 0.97f);
    EXPECT_FLOAT_EQ(f[1], 0.97f * 0.97f);
    EXPECT_EQ(f[2], 1.0f);   // nearer the light than both
    EXPECT_FLOAT_EQ(shade(receivers, onRay({40.0f}))[0], 0.97f);
    // Within the occluder's radius of its far side: not behind it.
    EXPECT_EQ(shade(onRay({50.0f}), onRay({49.7f}))[0], 1.0f);
    // A cloud shading itself: nobody darkens itself.
    std::vector<Vec3> line = onRay({40.0f, 45.0f, 50.0f});
    f = shade(line, line);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_FLOAT_EQ(f[2], 0.97f * 0.97f);
}

TEST(Shadowing, SplitGivesTheDirectTestsResult)
{
    std::vector<ShadowDir> blockers = randomDirections(300, 8);
    for (int n : {9, 10}) {
        std::vector<ShadowDir> dirs = randomDirections(n, 7);
        std::vector<float> split((size_t)n, 1.0f), leaf((size_t)n, 1.0f);
        uint32_t scratch = scratchUsed();
        shadowSplit(dirs.data(), n, blockers.data(), 300, split.data(), 2.0f, SHADOW_DEPTH, 0.5f);
        EXPECT_EQ(scratchUsed(), scratch);
        shadowLeaf(dirs.data(), n, blockers.data(), 300, leaf.data(), 2.0f, 0.5f);
        EXPECT_EQ(split, leaf) << n;
    }

    // A dense cloud split twenty levels deep, occluders just beside every plane.
    std::vector<ShadowDir> cloud = randomDirections(3000, 12345);
    std::vector<float> leaf(3000, 1.0f), split(3000, 1.0f);
    shadowLeaf(cloud.data(), 3000, cloud.data(), 3000, leaf.data(), 0.45f, 0.97f);
    shadowSplit(cloud.data(), 3000, cloud.data(), 3000, split.data(), 0.45f, SHADOW_DEPTH, 0.97f);
    int agree = 0, shadowed = 0;
    for (int i = 0; i < 3000; i++) {
        agree += split[i] == leaf[i];
        shadowed += leaf[i] < 1.0f;
    }
    EXPECT_GE(agree, 2997);   // 99.9 %
    EXPECT_GT(shadowed, 1000);
}

TEST(Shadowing, AGroupWithoutASplitPlaneIsTestedDirectly)
{
    // Light on the z axis, receivers below it: the direction sums are (0, 0, n), and the
    // odd-depth plane needs x or y.
    Vec3 light = {0.0f, 0.0f, 100.0f};
    std::vector<ShadowDir> dirs(12);
    for (int i = 0; i < 12; i++) {
        Vec3 p = {0.0f, 0.0f, 50.0f - 5.0f * i};
        directionTo(&dirs[i], &light, &p);
    }
    std::vector<float> split(12, 1.0f);
    shadowSplit(dirs.data(), 12, dirs.data(), 12, split.data(), 0.45f, 19, 0.9f);
    for (int i = 0; i < 12; i++)
        EXPECT_NEAR(split[i], std::pow(0.9f, (float)i), 1e-5) << i;
}

TEST(MeshParticles, CornersAndCentresAreSizedByTheirTriangles)
{
    // Sides 3, 4, 5, counter-clockwise from +z; vertex 3 belongs to no triangle.
    Vec3 positions[5] = {{0, 0, 0}, {3, 0, 0}, {0, 4, 0}, {9, 9, 9}, {}};
    Vec3 normals[5] = {};
    int32_t triangles[3] = {0, 1, 2};
    int32_t count = 4;
    uint32_t scratch = scratchUsed();
    float* sizes = meshToParticles(positions, normals, &count, triangles, 1, 2, 7.5f, 1);
    EXPECT_EQ(scratchUsed(), scratch);
    ASSERT_EQ(count, 5);
    std::vector<float> expected = {3, 3, 3, 0, 3, 7.5f, 7.5f};
    EXPECT_EQ(std::vector<float>(sizes, sizes + 7), expected);
    // Under the centroid, against the normal.
    EXPECT_LT(std::hypot(positions[4].x - 1, positions[4].y - 4.0f / 3, positions[4].z + 0.3f),
              1e-6f);
    EXPECT_FLOAT_EQ(normals[4].z, 1.0f);
    std::free(sizes);

    // A triangle collapsed to a point has no normal: its centre still lands somewhere finite.
    Vec3 point[4] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {}};
    count = 3;
    sizes = meshToParticles(point, normals, &count, triangles, 1, 0, 0.0f, 1);
    EXPECT_FLOAT_EQ(point[3].y, 0.7f);
    EXPECT_EQ(sizes[3], 0.0f);
    std::free(sizes);
}
