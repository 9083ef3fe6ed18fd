// Scene frames drawn from the real data set: one precalculation per test process (ctest runs
// each test in its own), skipped where no data set has been built.
#pragma once

#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

class RealAssetFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(buildDir() + "/data/spiral.jpg"))
            GTEST_SKIP() << "no data set built";
        ensureGLContext(640, 480);
        displaySettings.width = 640;
        displaySettings.height = 480;
        programOptions.dataDir = buildDir() + "/data/";
        precalculate();
        showStarted = 1;
    }

    // Mean grey of the letterbox (rows 60 ... 419 at 640 x 480).
    static double letterboxMean()
    {
        std::vector<uint8_t> pixels(640 * 360 * 4);
        glReadPixels(0, 60, 640, 360, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        double sum = 0;
        for (size_t i = 0; i < pixels.size(); i += 4)
            sum += (pixels[i] + pixels[i + 1] + pixels[i + 2]) / 3.0;
        return sum / (640.0 * 360.0);
    }
};
