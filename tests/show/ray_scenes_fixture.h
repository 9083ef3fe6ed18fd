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

// White where a layer multiplies; red, blue and magenta where a test looks for a layer.
inline void setUpRaySceneAssets()
{
    ensureGLContext(640, 480);
    static std::vector<Vec3> swarm(SWARM_POINT_COUNT), rays(RAY_POINT_COUNT);
    if (assets.swarmPoints == swarm.data())
        return;
    shuffleNoisePermutation();   // the smoke is empty over an unshuffled lattice
    assets.generatedTexture = makeSolidTexture(128, 128, 0, 0, 0, 0, Vec3{1, 1, 1}, 0);
    assets.screenCopyChain = makeScreenCopyChain();
    assets.warpTexture2 = solidTexture(60, 60, 60);
    assets.bubbleAtlas = solidTexture(120, 140, 160);
    assets.layerTextureA = solidTexture(255, 0, 0);
    assets.layerTextureB = solidTexture(0, 0, 255);
    assets.shadeTexture1 = assets.spriteAtlasB = assets.sceneTexture7 = assets.sceneTexture8 =
        solidTexture(255, 255, 255);
    assets.captureTexture5 = solidTexture(255, 0, 255);
    buildSwarmPoints(swarm.data());
    buildRayPoints(rays.data());
    assets.swarmPoints = swarm.data();
    assets.rayPoints = rays.data();
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
