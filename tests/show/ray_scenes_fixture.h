// Stand-in assets for the tests of Scenes 3, 4 and 6: plain-colour textures in the slots those
// scenes read beside the real swarm and rays, and frame readers for the letterbox and
// the 512 x 256 corner.
#pragma once

#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"

#include <cmath>
#include <cstdint>
#include <vector>

inline Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b, int32_t size = 64)
{
    return makeSolidTexture(size, size, r, g, b, 255, Vec3{1, 1, 1}, 0);
}

// A 640 x 480 context and every slot Scenes 3, 4 and 6 read, made once: the real point sets,
// neutral images where a layer multiplies (white) and distinct colours where a test looks for a
// layer.
inline void setUpRaySceneAssets()
{
    ensureGLContext(640, 480);
    static bool ready = false;
    if (ready)
        return;
    ready = true;
    assets.warpTexture2 = solidTexture(60, 60, 60);
    assets.bubbleAtlas = solidTexture(120, 140, 160);
    shuffleNoisePermutation();   // the smoke is empty over an unshuffled lattice
    assets.generatedTexture = solidTexture(0, 0, 0, 128);
    assets.screenCopyChain = makeScreenCopyChain();
    assets.layerTextureA = solidTexture(255, 0, 0);   // red: Scene 4's first window
    assets.layerTextureB = solidTexture(0, 0, 255);   // blue: its later windows
    assets.shadeTexture1 = solidTexture(255, 255, 255);
    assets.spriteAtlasB = solidTexture(255, 255, 255);
    assets.sceneTexture7 = solidTexture(255, 255, 255);
    assets.sceneTexture8 = solidTexture(255, 255, 255);
    assets.captureTexture5 = solidTexture(255, 0, 255);   // magenta: Scene 5's last picture

    static std::vector<Vec3> swarm(SWARM_POINT_COUNT), rays(RAY_POINT_COUNT);
    buildSwarmPoints(swarm.data());
    buildRayPoints(rays.data());
    assets.swarmPoints = swarm.data();
    assets.rayPoints = rays.data();
}

// RGB rows of a region of the frame buffer, bottom row first.
inline std::vector<uint8_t> readRegion(int32_t x, int32_t y, int32_t w, int32_t h)
{
    std::vector<uint8_t> pixels((size_t)w * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The letterbox of the 640 x 480 window: 640 x 360 from row 60.
inline std::vector<uint8_t> readLetterbox()
{
    return readRegion(0, 60, 640, 360);
}

// Mean of each channel over a region read by readRegion.
struct ChannelMeans {
    double r, g, b;
};
inline ChannelMeans channelMeans(const std::vector<uint8_t>& pixels)
{
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < pixels.size(); i++)
        sum[i % 3] += pixels[i];
    double n = pixels.size() / 3.0;
    return {sum[0] / n, sum[1] / n, sum[2] / n};
}

inline int32_t brightestValue(const std::vector<uint8_t>& pixels)
{
    int32_t m = 0;
    for (uint8_t v : pixels)
        m = v > m ? v : m;
    return m;
}
