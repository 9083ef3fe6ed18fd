// The math helpers, the random generator and the scratch pool.
#include "support/support_local.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(RandomGenerator, FollowsTheSequenceFromStateZeroInBothWidths)
{
    randomSeed = 0;
    for (auto [value, seed] : {std::pair{0, 1u}, {0, 69070u}, {3628, 475628535u}}) {
        EXPECT_EQ(randomInt15(), value);
        EXPECT_EQ(randomSeed, seed);
    }
    EXPECT_EQ(randomByte(), 195);   // the top eight bits of 3277404108
}

TEST(RandomGenerator, UnitDividesBy4292967296AndCanExceedOne)
{
    randomSeed = 0xB43AB1F6u;   // 0xB43AB1F6 x 69069 + 1 = 0xFFFFFFFF, the largest state
    float u = randomUnit();
    EXPECT_EQ(randomSeed, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(u, (float)(4294967295.0 / 4292967296.0));
    EXPECT_GT(u, 1.0004f);

    randomSeed = 0;
    EXPECT_FLOAT_EQ(randomUnit(), (float)(1.0 / 4292967296.0));
}

static Splinept ring[4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {0, 1, 1, 0}, {0, 0, 1, 5}};

TEST(SplinePoint, PassesThroughTheControlPointsAndWrapsNegativeParameters)
{
    // u = (j + 1) / n gives point j; u = 0 and 1 stand on the last point.
    struct Case {
        float u;
        int n;
        Vec3 at;
    } cases[] = {
        {0.0f, 4, {0, 1, 5}}, {1.0f, 4, {0, 1, 5}}, {0.25f, 4, {0, 0, 0}}, {0.5f, 2, {0, 0, 0}}};
    for (const Case& c : cases) {
        Vec3 p;
        splinePoint(&p, c.u, ring, c.n);
        EXPECT_FLOAT_EQ(p.x, c.at.x) << c.u;
        EXPECT_FLOAT_EQ(p.y, c.at.y) << c.u;
        EXPECT_FLOAT_EQ(p.z, c.at.z) << c.u;
    }
    // A negative parameter stays on the ring: whole turns before the same point.
    for (float u : {-0.25f, -0.6f}) {
        Vec3 a, b;
        splinePoint(&a, u, ring, 4);
        splinePoint(&b, u + 1.0f, ring, 4);
        EXPECT_NEAR(a.x, b.x, 1e-5) << u;
        EXPECT_NEAR(a.y, b.y, 1e-5) << u;
        EXPECT_NEAR(a.z, b.z, 1e-5) << u;
    }
}

TEST(MathHelpers, ClampsWrapAndNormals)
{
    EXPECT_EQ(std::tuple(clamp01(1.5f), clamp01(-0.2f), clamp01(0.25f),
                         clamp01(std::numeric_limits<float>::quiet_NaN())),
              std::tuple(1.0f, 0.0f, 0.25f, 0.0f));
    EXPECT_EQ(std::tuple(clampByte(300), clampByte(-3), clampByte(17)), std::tuple(255, 0, 17));
    EXPECT_EQ(std::pair(wrapIndex(-1, 5), wrapIndex(7, 5)), std::pair(4, 2));

    Vec3 a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0}, n;
    triangleNormal(&a, &b, &c, &n);
    EXPECT_EQ(std::tuple(n.x, n.y, n.z), std::tuple(0.0f, 0.0f, 1.0f));
    Vec3 v = {3, 0, 4};
    normalize3(&v);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
}

TEST(ScratchPool, AlignsTo16BytesReleasesLaterBlocksAndGivesExactlyItsSize)
{
    void* mark = tempmalloc(0);
    char* a = (char*)tempmalloc(20);
    char* b = (char*)tempmalloc(10);
    EXPECT_EQ((uintptr_t)a % 16, 0u);
    EXPECT_EQ(b - a, 32);
    EXPECT_EQ(tempmalloc(0), b + 16);   // a zero request returns the aligned top, takes nothing
    tempmalloc(200);
    tmpfree(a);   // releases b and the 200 bytes too
    EXPECT_EQ(tempmalloc(50), a);
    tmpfree(a);
    tmpfree(a);   // twice is accepted
    tmpfree(mark);
    EXPECT_EQ(scratchUsed(), 0u);
    void* all = tempmalloc(SCRATCH_POOL_SIZE);
    EXPECT_EQ(scratchUsed(), SCRATCH_POOL_SIZE);
    tmpfree(all);
}

using ScratchPoolDeathTest = ::testing::Test;

TEST(ScratchPoolDeathTest, OverdrawingOrReleasingOutsideTheTakenBlocksIsFatal)
{
    EXPECT_EXIT(tempmalloc(SCRATCH_POOL_SIZE + 1u), ::testing::ExitedWithCode(1),
                "out of tempmalloc");
    EXPECT_EXIT(
        {
            char* p = (char*)tempmalloc(64);
            tmpfree(p);
            tmpfree(p + 32);   // above the top
        },
        ::testing::ExitedWithCode(1), "tmpfree error");
    void* below = (void*)((uintptr_t)tempmalloc(0) - SCRATCH_POOL_SIZE);
    EXPECT_EXIT(tmpfree(below), ::testing::ExitedWithCode(1), "tmpfree error");
}
