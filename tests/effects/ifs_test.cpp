// The iterated function system.
#include "effects/effects_local.h"

#include "render/gl.h"
#include "support/support.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

TEST(IfsMatrix, AppliesAColumnMajorAffineMapWithoutTheFourthRow)
{
    float m[16] = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 10, 11, 12, 99};
    Vec3 p = applyIfsMatrix({1.0f, -1.0f, 2.0f}, m);
    EXPECT_FLOAT_EQ(p.x, 1 - 4 + 14 + 10);
    EXPECT_FLOAT_EQ(p.y, 2 - 5 + 16 + 11);
    EXPECT_FLOAT_EQ(p.z, 3 - 6 + 18 + 12);
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
    EXPECT_EQ(m[12], 1.0f);
    EXPECT_EQ(m[13], 2.0f);
    EXPECT_EQ(m[14], 3.0f);
}
