// The precalculation: the point sets' shapes and repeatability, the grown aggregates against the
// plain scan, and one whole run over the real data set.
#include "common/test_support.h"
#include "app/app.h"
#include "render/gl.h"
#include "effects/effects.h"
#include "precalc/precalc_local.h"
#include "texture/texture.h"
#include "show/show.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

float distance(const Vec3& a, const Vec3& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                     (a.z - b.z) * (a.z - b.z));
}

uint64_t fnv1a(const void* bytes, size_t size)
{
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < size; i++)
        h = (h ^ ((const uint8_t*)bytes)[i]) * 1099511628211ull;
    return h;
}

bool samePoints(const std::vector<Vec3>& a, const std::vector<Vec3>& b)
{
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].z != b[i].z)
            return false;
    return true;
}

TEST(PointSets, TrailPairsAreSmallStepsWithSidePointsInThePlane)
{
    randomSeed = 99;
    std::vector<Vec3> path(PATH_POINT_COUNT);
    buildPathPoints(path.data());
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(distance(path[i], {0, 0, 0}), 0.0f) << i;
    for (int i = 2; i < PATH_POINT_COUNT / 2; i++) {
        ASSERT_NEAR(distance(path[2 * i], path[2 * i - 2]), 0.05f, 1e-5f) << i;
        float side = distance(path[2 * i + 1], path[2 * i]);
        ASSERT_GE(side, 0.2f - 1e-5f) << i;
        ASSERT_LE(side, 0.3f + 1e-4f) << i;   // randomUnit reaches slightly above 1
        ASSERT_EQ(path[2 * i + 1].z, path[2 * i].z) << i;
    }
    // The curve moves forward along z all the way.
    EXPECT_GT(path[PATH_POINT_COUNT - 2].z, 0.05f * 4000.0f * 0.5f);
}

TEST(PointSets, SwarmReseedsSoEarlierDrawsChangeTheTrailButNotTheSwarm)
{
    std::vector<Vec3> pathA(PATH_POINT_COUNT), pathB(PATH_POINT_COUNT);
    std::vector<Vec3> swarmA(SWARM_POINT_COUNT), swarmB(SWARM_POINT_COUNT);

    randomSeed = 1;
    buildPathPoints(pathA.data());
    buildSwarmPoints(swarmA.data());

    randomSeed = 1;
    randomUnit();   // one more draw before, as if an earlier step were moved
    buildPathPoints(pathB.data());
    buildSwarmPoints(swarmB.data());

    EXPECT_FALSE(samePoints(pathA, pathB));
    EXPECT_TRUE(samePoints(swarmA, swarmB));

    Vec3 mean{0, 0, 0};
    for (const Vec3& p : swarmA) {
        mean.x += p.x / SWARM_POINT_COUNT;
        mean.y += p.y / SWARM_POINT_COUNT;
        mean.z += p.z / SWARM_POINT_COUNT;
    }
    EXPECT_LT(distance(mean, {0, 0, 0}), 1e-3f);   // centred on the origin
}

TEST(PointSets, RaysRunFromTheOriginOutToNinePointEight)
{
    randomSeed = 5;
    std::vector<Vec3> rays(RAY_POINT_COUNT);
    buildRayPoints(rays.data());
    for (int ray = 0; ray < RAY_COUNT; ray++) {
        const Vec3* r = &rays[ray * RAY_POINTS_PER_RAY];
        EXPECT_EQ(distance(r[0], {0, 0, 0}), 0.0f);
        EXPECT_NEAR(distance(r[49], {0, 0, 0}), 9.8f, 1e-4f);
        // Straight: the middle point lies halfway.
        EXPECT_NEAR(distance(r[25], {r[50 - 1].x * 25 / 49, r[49].y * 25 / 49, r[49].z * 25 / 49}),
                    0.0f, 1e-4f);
    }
}

// The grid search must give exactly the plain scan's first hit, so the aggregate is the same
// point for point, and the count ends at the limit or up to seven points past it.
TEST(GrownAggregates, FastSearchGrowsTheSameAggregateAsThePlainScan)
{
    for (GrowthParams params : {GrowthParams{2500, 12.0f, false}, GrowthParams{2000, 8.0f, true}}) {
        std::vector<Vec3> fast(params.limit + GROWTH_OVERSHOOT),
            plain(params.limit + GROWTH_OVERSHOOT);
        randomSeed = 4242;
        int32_t fastCount = growAggregate(fast.data(), params, nullptr);
        uint32_t fastSeed = randomSeed;
        randomSeed = 4242;
        int32_t plainCount = growAggregateLiteral(plain.data(), params, nullptr);
        EXPECT_EQ(fastCount, plainCount);
        EXPECT_EQ(fastSeed, randomSeed);
        fast.resize(fastCount);
        plain.resize(plainCount);
        EXPECT_TRUE(samePoints(fast, plain));
        EXPECT_GE(fastCount, params.limit);
        EXPECT_LE(fastCount, params.limit + GROWTH_OVERSHOOT);
    }
}

int loadingCalls = 0;
void countLoading()
{
    loadingCalls++;
}

TEST(GrownAggregates, LoadingScreenStepsAtEveryMultipleOf2048)
{
    std::vector<Vec3> points(GROWTH_POINT_LIMIT + GROWTH_OVERSHOOT);
    randomSeed = 77;
    loadingCalls = 0;
    int32_t count = growAggregate(points.data(), GROWTH_AGGREGATE, countLoading);
    // Eight multiples lie below 16384 + 7; a hit jumps the count by eight, so it may step over
    // a multiple now and then, but never calls more often.
    EXPECT_GE(loadingCalls, 4);
    EXPECT_LE(loadingCalls, count / 2048);
}

// One whole precalculation with the real data set: every slot filled, and what it builds pinned.
TEST(Precalculation, FillsEverySlotFromTheDataSet)
{
    if (!std::filesystem::exists(buildDir() + "/data/spiral.jpg"))
        GTEST_SKIP() << "no data set built";
    ensureGLContext(640, 480);
    programOptions.dataDir = buildDir() + "/data/";
    randomSeed = 0;
    float progressBefore = loadingProgress;
    precalculate(captureSnapshots);
    int loadingSteps = (int)std::lround((loadingProgress - progressBefore) / 0.1f);

    const AssetTable& a = assets;
    for (Texture* t :
         {a.spiralTexture,   a.spriteAtlasA,     a.spriteAtlasB,     a.spriteAtlasC,
          a.spriteAtlasD,    a.sceneTexture2,    a.spritePairAtlas1, a.spritePairAtlas2,
          a.bubbleAtlas,     a.glowTexture,      a.warpTexture1,     a.warpTexture2,
          a.backdropTexture, a.tissueTexture2,   a.tissueTexture1,   a.layerTextureA,
          a.layerTextureB,   a.sceneTexture7,    a.sceneTexture8,    a.captionTexture9,
          a.captionTexture2, a.captionTexture7,  a.captionTexture5,  a.shadeTexture1,
          a.shadeTexture2,   a.captionTexture10, a.captionTexture11, a.logoTexture,
          a.titleTexture,    a.creditsTexture,   a.generatedTexture, a.captureTexture5,
          a.captureTexture6, a.captureTexture9,  a.captureTexture10, a.grainTexture})
        ASSERT_NE(t, nullptr);
    EXPECT_EQ(a.grainTexture->width, 256);
    EXPECT_EQ(a.generatedTexture->width, 128);
    EXPECT_NE(a.gridPlane1, nullptr);
    EXPECT_NE(a.cubeMesh, nullptr);
    // Both aggregates end exactly at their limits.
    EXPECT_EQ(a.growthCount, 16384);
    EXPECT_EQ(a.clusterCount, 6000);
    // The loading screen steps 47 times at fixed places (29 loader steps, the two pairs counting
    // twice; the solid, noise and four copy targets; the three late loads; three meshes; six
    // around the point sets), and once at each of the nine multiples of 2048 the walks land on.
    EXPECT_EQ(loadingSteps, 56);

    // What the precalculation builds, pinned by value: a change to how any of it is made shows.
    auto texels = [](const Texture* t) { return readTexels(t->name); };
    struct Pin {
        const char* what;
        const void* bytes;
        size_t size;
        uint64_t checksum;
    } pins[] = {
        {"trail", a.pathPoints, PATH_POINT_COUNT * sizeof(Vec3), 1281378669141396015ull},
        {"swarm", a.swarmPoints, SWARM_POINT_COUNT * sizeof(Vec3), 6692126167067556434ull},
        {"fractal", fractalPoints, FRACTAL_POINT_COUNT * sizeof(Vec3), 2438090749145141899ull},
        {"growth", a.growthPoints, a.growthCount * sizeof(Vec3), 17972399628188979065ull},
        {"growth shade", a.growthShade, a.growthCount * sizeof(float), 5394946973350865063ull},
        {"cluster", a.clusterPoints, a.clusterCount * sizeof(Vec3), 12443971380766890598ull},
        {"rays", a.rayPoints, RAY_POINT_COUNT * sizeof(Vec3), 5684448804201103125ull},
    };
    std::vector<uint8_t> grain = texels(a.grainTexture), smoke = texels(a.generatedTexture);
    for (const Pin& pin : pins)
        EXPECT_EQ(fnv1a(pin.bytes, pin.size), pin.checksum) << pin.what;
    EXPECT_EQ(fnv1a(grain.data(), grain.size()), 14990400995626446649ull) << "grain";
    EXPECT_EQ(fnv1a(smoke.data(), smoke.size()), 16934947671703429925ull) << "smoke";
}

// The program runs the whole precalculation before the first captured frame, whatever the show
// time, and logs its sections in order: the noise, the fractal, then the whole.
TEST(Precalculation, CaptureLogsTheTimedSectionsOnTheErrorStream)
{
    if (!std::filesystem::exists(buildDir() + "/data/spiral.jpg"))
        GTEST_SKIP() << "no data set built";
    std::string dir = makeTempDir("precalc_capture");
    ProcessResult r =
        runOrvanti({"--capture", dir, "--from", "20", "--to", "20.01", "--overwrite"}, 240);
    ASSERT_EQ(r.status, 0) << r.err;
    auto line = [&](const char* name) {
        std::smatch m;
        std::regex pattern(std::string("(^|\\n)") + name + " in [0-9]+\\.[0-9]{4}s\n");
        return std::regex_search(r.err, m, pattern) ? m.position(0) : -1;
    };
    long noise = line("precalc_noise"), ifs = line("precalc_ifs"), whole = line("precalc");
    EXPECT_GE(noise, 0) << r.err;
    EXPECT_GT(ifs, noise) << r.err;
    EXPECT_GT(whole, ifs) << r.err;
}

}   // namespace
