// The particle system: depth keys, the radix sort, the selection, the quads of a batch.
#include "effects/particles.h"

#include "support/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

void loadKeys(const std::vector<float>& keys)
{
    for (size_t i = 0; i < keys.size(); i++)
        particleSystem.keys[i] = {keys[i], (int32_t)i};
}

uint32_t bits(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

const Vec3 EYE = {0.0f, 0.0f, 10.0f};
const Vec3 TARGET = {0.0f, 0.0f, 0.0f};   // focal distance 10, looking down -z

}  // namespace

TEST(RadixSort, OrdersNegativeZeroAndEqualKeysStably)
{
    loadKeys({-2.5f, 0.5f, 0.5f, 3.0f, -0.0f});
    radixSortKeys(5);
    const SortPair* k = particleSystem.keys;
    EXPECT_EQ(k[0].key, -2.5f);
    EXPECT_EQ(bits(k[1].key), bits(-0.0f));
    EXPECT_EQ(k[1].index, 4);
    EXPECT_EQ(k[2].index, 1);   // the two 0.5 keep their order
    EXPECT_EQ(k[3].index, 2);
    EXPECT_EQ(k[4].key, 3.0f);
}

TEST(RadixSort, MatchesAStableComparisonSortOnRandomKeys)
{
    randomSeed = 99;
    std::vector<float> keys(20000);
    for (size_t i = 0; i < keys.size(); i++) {
        int kind = randomInt15() % 5;
        float u = randomUnit() - 0.5f;
        keys[i] = kind == 0 ? 0.0f : kind == 1 ? -0.0f : kind == 2 ? u * 1e30f
                : kind == 3 ? (float)(randomInt15() % 7) - 3.0f : u;
    }
    loadKeys(keys);
    std::vector<SortPair> expected(particleSystem.keys, particleSystem.keys + keys.size());
    // The sort orders -0 before +0, as the float bits do.
    std::stable_sort(expected.begin(), expected.end(), [](const SortPair& a, const SortPair& b) {
        if (a.key == 0.0f && b.key == 0.0f)
            return std::signbit(a.key) && !std::signbit(b.key);
        return a.key < b.key;
    });
    radixSortKeys((int32_t)keys.size());
    for (size_t i = 0; i < keys.size(); i++) {
        ASSERT_EQ(particleSystem.keys[i].index, expected[i].index) << i;
        ASSERT_EQ(bits(particleSystem.keys[i].key), bits(expected[i].key)) << i;
    }
}

TEST(RadixSort, RefusesMoreThanTheKeyArrayHolds)
{
    EXPECT_EXIT(radixSortKeys(PARTICLE_MAX + 1), testing::ExitedWithCode(1), "dumbass");
}

TEST(ParticleSelection, KeysCountFocalDistancesFromTheEye)
{
    Vec3 points[4] = {{0, 0, 0}, {5, 3, 5}, {0, 0, 10}, {1, 1, 20}};
    computeParticleKeys(points, 4, EYE, TARGET);
    EXPECT_FLOAT_EQ(particleSystem.keys[0].key, 1.0f);
    EXPECT_FLOAT_EQ(particleSystem.keys[1].key, 0.5f);
    EXPECT_EQ(particleSystem.keys[2].key, 0.0f);
    EXPECT_FLOAT_EQ(particleSystem.keys[3].key, -1.0f);
    EXPECT_EQ(particleSystem.keys[3].index, 3);

    // An eye on its target: no particle is in front.
    computeParticleKeys(points, 4, TARGET, TARGET);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(particleSystem.keys[i].key, 0.0f);
}

TEST(ParticleSelection, SortedDrawsFarthestFirstAndDropsKeysAtOrBehindTheEye)
{
    // Keys -2.5, 0.5, 0.5, 3.0, -0.0 along the viewing axis.
    std::vector<float> depth = {-2.5f, 0.5f, 0.5f, 3.0f, -0.0f};
    std::vector<Vec3> points;
    for (float d : depth)
        points.push_back({0.0f, 0.0f, 10.0f - 10.0f * d});
    int32_t indices[5];
    float keys[5];

    computeParticleKeys(points.data(), 5, EYE, TARGET);
    radixSortKeys(5);
    ASSERT_EQ(keepParticles(nullptr, 5, EYE, PS_SORT, indices, keys), 3);
    EXPECT_EQ(indices[0], 3);
    EXPECT_EQ(indices[1], 2);
    EXPECT_EQ(indices[2], 1);
    EXPECT_FLOAT_EQ(keys[0], 3.0f);

    ASSERT_EQ(keepParticles(nullptr, 5, EYE, PS_SORT | PS_ALL, indices, keys), 5);
    EXPECT_EQ(indices[0], 3);
    EXPECT_EQ(indices[4], 0);

    // Unsorted: the highest particle number first.
    computeParticleKeys(points.data(), 5, EYE, TARGET);
    ASSERT_EQ(keepParticles(nullptr, 5, EYE, 0, indices, keys), 3);
    EXPECT_EQ(indices[0], 3);
    EXPECT_EQ(indices[1], 2);
    EXPECT_EQ(indices[2], 1);
}

TEST(ParticleSelection, CullingKeepsFrontFacingParticlesInFrontOfTheEye)
{
    Vec3 points[4] = {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 20}};
    Vec3 normals[4] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, 0, 1}};
    int32_t indices[4];
    float keys[4];
    computeParticleKeys(points, 4, EYE, TARGET);
    // PS_ALL does not override culling.
    ASSERT_EQ(keepParticles(normals, 4, EYE, PS_CULL | PS_ALL, indices, keys), 2);
    EXPECT_EQ(indices[0], 2);   // edge-on counts as facing
    EXPECT_EQ(indices[1], 0);
}
