// Draws Scenes 2 and 10 for the tests without the data directory: the real trail and plain
// textures (dotted white sprites, white or grey layers, a caption that covers nothing). The
// slots are put back afterwards, so that other tests of the binary find theirs.
#pragma once

#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"

#include <vector>

class TrailAssets {
public:
    TrailAssets() : saved_(assets)
    {
        ensureGLContext(640, 480);
        static Vec3* path = nullptr;
        static Texture *sprites, *white, *grey, *clear;
        if (!path) {
            path = new Vec3[PATH_POINT_COUNT];
            buildPathPoints(path);
            sprites = solid(255, 0);
            sprites->spriteCount = 2;
            std::vector<uint8_t> pixels(64 * 64 * 4, 255);
            for (int32_t i = 0; i < 64 * 64; ++i)
                pixels[i * 4 + 3] = ((i % 64 / 4 + i / 256) % 3 == 0) ? 255 : 0;
            glBindTexture(GL_TEXTURE_2D, sprites->name);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         pixels.data());
            white = solid(255, 255);
            grey = solid(128, 255);
            clear = solid(255, 0);
        }
        AssetTable& a = assets;
        a.pathPoints = path;
        a.spritePairAtlas1 = a.spritePairAtlas2 = sprites;
        a.tissueTexture2 = white;
        a.tissueTexture1 = a.warpTexture1 = a.warpTexture2 = grey;
        a.captionTexture2 = a.captionTexture10 = clear;
        if (a.screenCopyChain.count == 0)
            a.screenCopyChain = saved_.screenCopyChain = makeScreenCopyChain();
    }
    ~TrailAssets() { assets = saved_; }

    // Rows y0 ... y0 + rows - 1 of the window, RGB.
    static std::vector<uint8_t> read(int32_t y0 = 60, int32_t rows = 360)
    {
        std::vector<uint8_t> rgba((size_t)640 * rows * 4), rgb;
        glReadPixels(0, y0, 640, rows, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        for (size_t i = 0; i < rgba.size(); i += 4)
            rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
        return rgb;
    }

private:
    static Texture* solid(uint8_t grey, uint8_t alpha)
    {
        return makeSolidTexture(64, 64, grey, grey, grey, alpha, {1, 1, 1}, TEX_NO_MIPMAP);
    }
    AssetTable saved_;
};
