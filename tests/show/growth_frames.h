// Frame read-back for the growth scenes' tests: flat-coloured stand-ins for their textures and
// the pixels of the window.
#pragma once

#include "app/app.h"
#include "app/gl.h"
#include "precalc/precalc.h"
#include "support/support.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <vector>

inline Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    return makeSolidTexture(16, 16, r, g, b, a, {1, 1, 1}, 0);
}

struct Frame {
    std::vector<uint8_t> rgba;
    Frame() : rgba((size_t)displaySettings.width * displaySettings.height * 4)
    {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, displaySettings.width, displaySettings.height, GL_RGBA,
                     GL_UNSIGNED_BYTE, rgba.data());
    }
    // x, y from the window's lower left, as OpenGL counts.
    const uint8_t* at(int x, int y) const
    {
        return &rgba[((size_t)y * displaySettings.width + x) * 4];
    }
};

// A suite that puts stand-ins into the asset slots: the slots and the random state go back as
// they were for the suites that follow.
class GrowthSceneTest : public testing::Test {
protected:
    static inline AssetTable savedAssets;
    static inline uint32_t savedSeed;
    static void saveShowState()
    {
        savedAssets = assets;
        savedSeed = randomSeed;
    }
    static void TearDownTestSuite()
    {
        assets = savedAssets;
        randomSeed = savedSeed;
    }
};
