// The precalculation: grown aggregates against the plain scan, and one pinned whole run.
#include "common/test_support.h"
#include "app/app.h"
#include "render/gl.h"
#include "render/render_local.h"   // loadingProgress
#include "effects/effects.h"
#include "precalc/precalc_local.h"
#include "texture/texture.h"
#include "show/show.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

uint64_t fnv1a(const void* bytes, size_t size)
{
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < size; i++)
        h = (h ^ ((const uint8_t*)bytes)[i]) * 1099511628211ull;
    return h;
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
        EXPECT_EQ(fnv1a(fast.data(), fastCount * sizeof(Vec3)),
                  fnv1a(plain.data(), plainCount * sizeof(Vec3)));
        EXPECT_GE(fastCount, params.limit);
        EXPECT_LE(fastCount, params.limit + GROWTH_OVERSHOOT);
    }
}

// One whole precalculation with the real data set: every slot filled, and what it builds pinned.
TEST(Precalculation, FillsEverySlotFromTheDataSet)
{
    SKIP_WITHOUT_DATA_SET();
    ensureGLContext(640, 480);
    programOptions.dataDir = buildDir() + "/data/";
    randomSeed = 0;
    float progressBefore = loadingProgress;
    precalculate(programOptions.dataDir, captureSnapshots);
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

}   // namespace
