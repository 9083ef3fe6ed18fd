// Stand-in assets for the tests of Scenes 3, 4 and 6 (plain colours beside the real swarm and
// rays) and frame readers.
#pragma once

#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"

#include <vector>

inline Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
{
    return makeSolidTexture(64, 64, r, g, b, a, Vec3{1, 1, 1}, 0);
}

// White where a layer multiplies; red, blue and magenta where a test looks for a layer. Made
// once, put back into the slots at every call, since other tests fill the same slots.
inline void setUpRaySceneAssets()
{
    ensureGLContext(640, 480);
    static std::vector<Vec3> swarm, rays;
    static AssetTable mine;
    if (swarm.empty()) {
        swarm.resize(SWARM_POINT_COUNT);
        rays.resize(RAY_POINT_COUNT);
        buildSwarmPoints(swarm.data());
        buildRayPoints(rays.data());
        shuffleNoisePermutation();   // the smoke is empty over an unshuffled lattice
        mine.generatedTexture = makeSolidTexture(128, 128, 0, 0, 0, 0, Vec3{1, 1, 1}, 0);
        mine.screenCopyChain = makeScreenCopyChain();
        mine.warpTexture2 = solidTexture(60, 60, 60);
        mine.bubbleAtlas = solidTexture(120, 140, 160);
        mine.layerTextureA = solidTexture(255, 0, 0);
        mine.layerTextureB = solidTexture(0, 0, 255);
        mine.shadeTexture1 = mine.spriteAtlasB = mine.sceneTexture7 = mine.sceneTexture8 =
            solidTexture(255, 255, 255);
        mine.captureTexture5 = solidTexture(255, 0, 255);
    }
    AssetTable& a = assets;
    a.generatedTexture = mine.generatedTexture;
    a.screenCopyChain = mine.screenCopyChain;
    a.warpTexture2 = mine.warpTexture2;
    a.bubbleAtlas = mine.bubbleAtlas;
    a.layerTextureA = mine.layerTextureA;
    a.layerTextureB = mine.layerTextureB;
    a.shadeTexture1 = mine.shadeTexture1;
    a.spriteAtlasB = mine.spriteAtlasB;
    a.sceneTexture7 = mine.sceneTexture7;
    a.sceneTexture8 = mine.sceneTexture8;
    a.captureTexture5 = mine.captureTexture5;
    a.swarmPoints = swarm.data();
    a.rayPoints = rays.data();
}

// RGB, bottom row first; the letterbox of the 640 x 480 window is 640 x 360 from row 60.
inline std::vector<uint8_t> readRegion(int32_t x, int32_t y, int32_t w, int32_t h)
{
    std::vector<uint8_t> pixels((size_t)w * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}
inline std::vector<uint8_t> readLetterbox() { return readRegion(0, 60, 640, 360); }

// Mean of one channel (0 red, 1 green, 2 blue), and the brightest value of any.
inline double channelMean(const std::vector<uint8_t>& pixels, int32_t channel)
{
    double sum = 0;
    for (size_t i = channel; i < pixels.size(); i += 3)
        sum += pixels[i];
    return sum * 3 / pixels.size();
}
inline int32_t brightestValue(const std::vector<uint8_t>& pixels)
{
    int32_t m = 0;
    for (uint8_t v : pixels)
        m = v > m ? v : m;
    return m;
}
