// Read-back of the window and its letterbox (640 x 360 from row 60), stand-in textures, and the
// fixture of frames drawn from the real data set.
#pragma once

#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"
#include "show/show_local.h"
#include "support/support.h"
#include "texture/texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

inline Texture* solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255)
{
    return makeSolidTexture(64, 64, r, g, b, a, Vec3{1, 1, 1}, 0);
}

inline float distance(const Vec3& a, const Vec3& b)
{
    return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

// RGB, bottom row first.
inline std::vector<uint8_t> readRegion(int32_t x, int32_t y, int32_t w, int32_t h)
{
    return readPixels(x, y, w, h, 3);
}
inline std::vector<uint8_t> readLetterbox()
{
    return readRegion(0, 60, 640, 360);
}

// Mean of one channel (0 red, 1 green, 2 blue), or of all three; the brightest value of any.
inline double channelMean(const std::vector<uint8_t>& pixels, int32_t channel)
{
    double sum = 0;
    for (size_t i = channel; i < pixels.size(); i += 3)
        sum += pixels[i];
    return sum * 3 / pixels.size();
}
inline double greyMean(const std::vector<uint8_t>& pixels)
{
    double sum = 0;
    for (uint8_t v : pixels)
        sum += v;
    return sum / pixels.size();
}
inline int32_t brightestValue(const std::vector<uint8_t>& pixels)
{
    int32_t m = 0;
    for (uint8_t v : pixels)
        m = v > m ? v : m;
    return m;
}

// Sum of the differences between horizontal neighbours of a letterbox: falls as it blurs.
inline double sharpness(const std::vector<uint8_t>& pixels)
{
    double sum = 0;
    for (size_t i = 3; i < pixels.size(); i++)
        if ((i / 3) % 640 != 0)
            sum += std::abs(pixels[i] - pixels[i - 3]);
    return sum;
}

// The whole window, RGBA.
struct Frame {
    std::vector<uint8_t> rgba = readPixels(0, 0, frameRecord.width, frameRecord.height);
    // x, y from the window's lower left, as OpenGL counts.
    const uint8_t* at(int x, int y) const { return &rgba[((size_t)y * frameRecord.width + x) * 4]; }
};

// Frames from the real data set: one precalculation per test process (ctest runs each suite in
// its own), skipped where no data set has been built.
class RealAssetFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(buildDir() + "/data/spiral.jpg"))
            GTEST_SKIP() << "no data set built";
        ensureGLContext(640, 480);
        setDrawableSize(640, 480);
        static bool built = false;
        if (!built) {
            programOptions.dataDir = buildDir() + "/data/";
            precalculate(programOptions.dataDir, captureSnapshots);
            built = true;
        }
        showStarted = 1;
    }
    static double letterboxMean() { return greyMean(readLetterbox()); }
};
