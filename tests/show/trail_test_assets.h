// The asset slots Scenes 2 and 10 read, filled for the tests without the data directory: the real
// trail, plain textures (white dotted sprites, a grey caption that covers nothing, plain layers).
#pragma once

#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"

#include <cstdint>
#include <vector>

inline Texture* solidTestTexture(uint8_t grey, uint8_t alpha)
{
    return makeSolidTexture(64, 64, grey, grey, grey, alpha, {1.0f, 1.0f, 1.0f}, TEX_NO_MIPMAP);
}

// White dots on a clear ground, so that sprites right at the lens leave gaps.
inline Texture* dottedTestTexture()
{
    Texture* texture = solidTestTexture(255, 0);
    std::vector<uint8_t> pixels(64 * 64 * 4, 255);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            pixels[(y * 64 + x) * 4 + 3] = ((x / 4 + y / 4) % 3 == 0) ? 255 : 0;
    glBindTexture(GL_TEXTURE_2D, texture->name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return texture;
}

inline void ensureTrailAssets()
{
    ensureGLContext(640, 480);
    AssetTable& a = assets;
    if (!a.pathPoints) {
        a.pathPoints = new Vec3[PATH_POINT_COUNT];
        buildPathPoints(a.pathPoints);
    }
    auto pair = [](Texture*& slot) {
        if (!slot) {
            slot = dottedTestTexture();
            slot->spriteCount = 2;
        }
    };
    pair(a.spritePairAtlas1);
    pair(a.spritePairAtlas2);
    auto plain = [](Texture*& slot, uint8_t grey, uint8_t alpha) {
        if (!slot)
            slot = solidTestTexture(grey, alpha);
    };
    plain(a.tissueTexture1, 255, 255);
    plain(a.tissueTexture2, 255, 255);
    plain(a.warpTexture1, 128, 255);
    plain(a.warpTexture2, 96, 255);
    plain(a.captionTexture2, 255, 0);
    plain(a.captionTexture10, 255, 0);
    if (a.screenCopyChain.count == 0)
        a.screenCopyChain = makeScreenCopyChain();
}

// Puts a texture of the test's own into a slot for the scope, whatever other tests of the binary
// left there.
class SlotOverride {
public:
    SlotOverride(Texture*& slot, Texture* texture) : slot_(slot), saved_(slot) { slot = texture; }
    ~SlotOverride() { slot_ = saved_; }
    SlotOverride(const SlotOverride&) = delete;
    SlotOverride& operator=(const SlotOverride&) = delete;

private:
    Texture*& slot_;
    Texture* saved_;
};

// The letterbox of the 640 x 480 test window (rows 60 to 419), RGB.
inline std::vector<uint8_t> readLetterbox()
{
    std::vector<uint8_t> rgba(640 * 360 * 4), rgb;
    glReadPixels(0, 60, 640, 360, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    rgb.reserve(640 * 360 * 3);
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
    return rgb;
}

inline int32_t distinctValues(const std::vector<uint8_t>& pixels)
{
    bool seen[256] = {};
    int32_t n = 0;
    for (uint8_t v : pixels)
        if (!seen[v]) {
            seen[v] = true;
            ++n;
        }
    return n;
}
