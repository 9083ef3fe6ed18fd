// The precalculation: every asset of the show, built once in a fixed order before the music
// starts, while the loading screen advances. The order of the steps below fixes the random
// sequence, the loading screen's progress and the timing log; do not reorder them.
#include "precalc/precalc_local.h"

#include "diagnostics/diagnostics.h"
#include "support/data_files.h"   // DataName: every file named here is checked against the list

#include <string>

AssetTable assets;

namespace {

// The data directory of the precalculation under way, with its trailing slash.
std::string dataDirectory;

// The path of a data file; DataName has checked at compile time that the list has it.
std::string data(DataName file)
{
    return dataDirectory + file.name;
}

constexpr Vec3 UPRIGHT = {1.0f, 1.0f, 1.0f};
constexpr Vec3 FLIPPED = {1.0f, -1.0f, 1.0f};
constexpr TextureFlags NM = TEX_NO_MIPMAP;

Texture* loadImage(DataName colour, AlphaFunction alpha, TextureFlags flags)
{
    return loadTexture(data(colour).c_str(), nullptr, alpha, UPRIGHT, flags);
}

// Captions are loaded upside down; the screen pass turns them back.
Texture* loadCaption(DataName colour, DataName mask)
{
    return loadTexture(data(colour).c_str(), data(mask).c_str(), nullptr, FLIPPED, NM);
}

Texture* loadAtlas(DataName colour, DataName mask, AlphaFunction alpha)
{
    return loadBlurAtlas(data(colour).c_str(), mask.name ? data(mask).c_str() : nullptr, alpha, 0);
}

void loadDataTextures()
{
    AssetTable& a = assets;
    a.spiralTexture = loadImage("spiral.jpg", nullptr, 0);
    a.spriteAtlasA = loadAtlas("sprite_star.jpg", "sprite_star_a.jpg", nullptr);
    a.spriteAtlasB = loadAtlas("sprite_flare.jpg", "sprite_flare_a.jpg", nullptr);
    a.spriteAtlasC = loadAtlas("sprite_facet.jpg", "sprite_flare_a.jpg", nullptr);
    a.spriteAtlasD = loadAtlas("sprite_orb.jpg", "sprite_orb_a.jpg", nullptr);
    a.sceneTexture2 = loadImage("cloud_dot.jpg", nullptr, 0);
    a.spritePairAtlas1 = loadBlurAtlasPair(
        data("sprite_orb.jpg").c_str(), data("sprite_orb_a.jpg").c_str(), nullptr,
        data("sprite_ring.jpg").c_str(), data("sprite_ring_a.jpg").c_str(), nullptr, 0);
    a.spritePairAtlas2 = loadBlurAtlasPair(data("spiral.jpg").c_str(), nullptr, alphaMean,
                                           data("spiral.jpg").c_str(),
                                           data("sprite_ring_a.jpg").c_str(), nullptr, 0);
    a.bubbleAtlas = loadAtlas("bubble.jpg", nullptr, alphaMean);
    a.glowTexture = loadImage("glow.jpg", nullptr, 0);
    a.warpTexture1 = loadImage("warp1.jpg", nullptr, NM);
    a.warpTexture2 = loadImage("warp2.jpg", nullptr, NM);
    a.backdropTexture = loadImage("backdrop.jpg", alphaDoubleSum, NM);
    a.tissueTexture2 = loadImage("tissue2.jpg", nullptr, NM);
    a.tissueTexture1 = loadImage("tissue1.jpg", nullptr, NM);
    a.layerTextureA = loadImage("layer_a.jpg", alphaDoubleSum, NM);
    a.layerTextureB = loadImage("layer_b.jpg", alphaDoubleSum, NM);
    a.sceneTexture7 = loadImage("band.jpg", nullptr, NM);
    a.sceneTexture8 = loadImage("layer_a.jpg", nullptr, NM | TEX_INVERT);
    a.captionTexture9 = loadCaption("caption_cluster.jpg", "caption_cluster_a.jpg");
    a.captionTexture2 = loadCaption("caption_drift.jpg", "caption_drift_a.jpg");
    a.captionTexture7 = loadCaption("caption_iterate.jpg", "caption_iterate_a.jpg");
    a.captionTexture5 = loadCaption("caption_growth.jpg", "caption_growth_a.jpg");
    a.shadeTexture1 = loadImage("shade1.jpg", nullptr, NM);
    a.shadeTexture2 = loadImage("shade2.jpg", nullptr, NM);
    a.captionTexture10 = loadCaption("caption_return.jpg", "caption_return_a.jpg");
    a.captionTexture11 = loadCaption("caption_within.jpg", "caption_within_a.jpg");
}

void loadingScreenStep()
{
    drawLoadingScreen();
}

}   // namespace

void precalculate(const std::string& directory, void (*captureSnapshots)())
{
    AssetTable& a = assets;
    dataDirectory = directory;

    loadDataTextures();

    a.generatedTexture = makeSolidTexture(128, 128, 0, 0, 0, 0, UPRIGHT, 0);
    generateTexture(a.generatedTexture, 0.0f);

    a.grainTexture = makeNoiseTexture(256, 256, NM);

    a.logoTexture = loadImage("logo.jpg", alphaGreyDistance, NM);
    a.titleTexture = loadImage("title.jpg", alphaMean, NM);
    a.creditsTexture = loadTexture(data("credits.jpg").c_str(), data("credits_a.jpg").c_str(),
                                   nullptr, UPRIGHT, NM);

    a.screenCopyChain = makeScreenCopyChain();
    a.captureTexture5 = makeScreenCopyTarget();
    a.captureTexture6 = makeScreenCopyTarget();
    a.captureTexture9 = makeScreenCopyTarget();
    a.captureTexture10 = makeScreenCopyTarget();

    a.gridPlane1 = makeGridPlane(16, 16, 10, 10, 10, 0);
    a.gridPlane2 = makeGridPlane(16, 16, 10, 10, 10, 0);
    a.cubeMesh = makeCube(1, MESH_FACE_NORMALS);

    TimedSection* noise = beginTimedSection("precalc_noise");
    shuffleNoisePermutation();
    endTimedSection(noise);

    a.pathPoints = new Vec3[PATH_POINT_COUNT];
    buildPathPoints(a.pathPoints);

    a.swarmPoints = new Vec3[SWARM_POINT_COUNT];
    buildSwarmPoints(a.swarmPoints);

    drawLoadingScreen();
    TimedSection* ifs = beginTimedSection("precalc_ifs");
    buildIfsCloud();
    endTimedSection(ifs);
    drawLoadingScreen();

    a.growthPoints = new Vec3[GROWTH_POINT_LIMIT + GROWTH_OVERSHOOT];
    a.growthCount = growAggregate(a.growthPoints, GROWTH_AGGREGATE, loadingScreenStep);

    a.growthShade = shadowParticles(a.growthPoints, a.growthCount, a.growthPoints, a.growthCount,
                                    {0.0f, 30.0f, 100.0f}, 0.45f, 0.97f);
    drawLoadingScreen();

    a.clusterPoints = new Vec3[CLUSTER_POINT_LIMIT + GROWTH_OVERSHOOT];
    a.clusterCount = growAggregate(a.clusterPoints, CLUSTER_AGGREGATE, loadingScreenStep);
    drawLoadingScreen();

    a.rayPoints = new Vec3[RAY_POINT_COUNT];
    buildRayPoints(a.rayPoints);
    drawLoadingScreen();

    if (captureSnapshots)
        captureSnapshots();

    drawLoadingScreen();
}
