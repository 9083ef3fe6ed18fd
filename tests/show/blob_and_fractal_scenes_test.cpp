// The blob-surface scenes 1 and 11 and the fractal scenes 7 and 8.
#include "scene_support.h"
#include "show/scenes/blob_scenes.h"
#include "show/scenes/fractal_scenes.h"
#include "show/show_local.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(OpeningScene, StartsInvisibleFlashesTheLogoTakesTheTitleAndZooms)
{
    OpeningView start = openingViewAt(0.0f);
    EXPECT_EQ(std::tuple(start.fade, start.blobRadius, start.captionAlpha, start.ticks),
              std::tuple(0.0f, 0.0f, 0.0f, 0));

    OpeningView tick = openingViewAt(0.75f);   // row 48
    EXPECT_EQ(tick.ticks, 1);
    EXPECT_FLOAT_EQ(tick.captionAlpha, 1.0f);
    EXPECT_FALSE(tick.title);
    EXPECT_NEAR(tick.captionPan, 0.325f, 1e-6f);
    // The camera's phases jump by one on the tick: a cut, not a glide.
    OpeningView before = openingViewAt(0.7499f);
    EXPECT_GT(distance(before.eye.position, tick.eye.position), 1.0f);
    EXPECT_LT(distance(openingViewAt(0.74f).eye.position, before.eye.position), 0.1f);

    EXPECT_FLOAT_EQ(openingViewAt(2.0f).blobRadius, 3.5f);
    EXPECT_FLOAT_EQ(openingViewAt(0.5f).fade, 1.0f);
    EXPECT_FALSE(openingViewAt(2.999f).title);
    OpeningView three = openingViewAt(3.0f);
    EXPECT_TRUE(three.title);
    EXPECT_NEAR(three.captionAlpha, 0.0f, 1e-6f);               // the logo's flashes have died away
    EXPECT_FLOAT_EQ(openingViewAt(3.25f).captionAlpha, 1.0f);   // row 208

    EXPECT_FLOAT_EQ(openingViewAt(5.49f).fieldOfView, 90.0f);
    // Before 5.75 no jitter: the cube law alone.
    EXPECT_NEAR(openingViewAt(5.7f).fieldOfView, 90.0f - std::pow(0.4, 3.0) * 58.0, 1e-3);
    // At the end it narrows to 32 degrees minus twice the jitter of row 63 (15).
    EXPECT_NEAR(openingViewAt(5.9999f).fieldOfView, 32.0f - 2.0f * 15.0f, 0.05f);
    // The target lies on the line from the origin to the eye.
    OpeningView v = openingViewAt(4.3f);
    float ratio = v.target.z / v.eye.position.z;
    EXPECT_NEAR(v.target.x, v.eye.position.x * ratio, 1e-5f);
    EXPECT_NEAR(v.target.y, v.eye.position.y * ratio, 1e-5f);
}

TEST(OpeningScene, EveryFourthBlobCarvesAndEveryFifthIsACube)
{
    std::vector<Blob> blobs(OPENING_BLOB_COUNT);
    openingBlobs(blobs.data(), 1.7f, 2.0f);
    for (int i = 0; i < OPENING_BLOB_COUNT; i++) {
        EXPECT_EQ(blobs[i].negative, i % 4 == 0 ? 1 : 0) << i;
        EXPECT_EQ(blobs[i].shape, i % 5 == 0 ? 1 : 0) << i;
        EXPECT_EQ(blobs[i].radius, 2.0f);
        EXPECT_LE(std::fabs(blobs[i].x), 5.0f);
    }
}

TEST(NestedZoom, ExponentCamerasAndCopyWeightsFollowTheGrid)
{
    NestView start = nestViewAt(0.0f, 34.5f);
    EXPECT_EQ(start.cameraChoice, 0);
    EXPECT_FLOAT_EQ(start.zoomExponent, 8.0f);
    EXPECT_EQ(start.copyNumber[0], 11);   // smallest first
    EXPECT_EQ(start.copyNumber[3], 8);

    // At a = 0.5 X drops from 4 to 1: same sizes, other turns.
    EXPECT_NEAR(nestViewAt(0.4999f, 34.9999f).zoomExponent, 4.0f, 2e-3f);
    NestView second = nestViewAt(0.5f, 35.0f);
    EXPECT_FLOAT_EQ(second.zoomExponent, 1.0f);
    // Three visible copies in every second half: n = 4 fades to 0, n = 1 is whole.
    EXPECT_EQ(second.copyNumber[0], 4);
    EXPECT_FLOAT_EQ(second.copyWeight[0], 0.0f);
    EXPECT_EQ(second.copyNumber[3], 1);
    EXPECT_FLOAT_EQ(second.copyWeight[3], 1.0f);
    EXPECT_FLOAT_EQ(second.copyWeight[1], 1.0f);

    NestView next = nestViewAt(1.0f, 35.5f);
    EXPECT_EQ(next.cameraChoice, 1);
    EXPECT_NEAR(next.zoomExponent, 0.0f, 1e-5f);
    EXPECT_EQ(nestViewAt(2.2f, 36.7f).cameraChoice, 0);

    // Camera 0 keeps a horizontal distance of 64 from the origin.
    NestView v = nestViewAt(2.3f, 36.8f);
    EXPECT_NEAR(std::hypot(v.eye.position.x, v.eye.position.z), 64.0f, 1e-3f);
    EXPECT_GE(v.eye.fieldOfView, 40.0f);
    EXPECT_LE(v.eye.fieldOfView, 50.0f);
}

TEST(NestedZoom, ThreeOfTheEightBlobsCarve)
{
    std::vector<Blob> blobs(NEST_BLOB_COUNT);
    nestBlobs(blobs.data(), 1.3f);
    int carving = 0;
    for (const Blob& b : blobs) {
        carving += b.negative;
        EXPECT_EQ(b.shape, 0);
    }
    EXPECT_EQ(carving, 3);
    EXPECT_EQ(blobs[0].radius, 8.0f);
    EXPECT_EQ(blobs[7].radius, 5.0f);
}

// The logo lies in the lower left of the letterbox on the first tick and nowhere before it:
// frames drawn with the real logo and with a transparent one differ only there.
TEST_F(RealAssetFrames, OpeningFadesInAndFlashesTheLogoInTheLowerLeftOnTheFirstTick)
{
    drawScene1(0.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_LT(letterboxMean(), 1.0);
    drawScene1(2.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_GT(surfaceVertexCount, 1000);   // the surface with its triangle centres
    EXPECT_GT(letterboxMean(), 30.0);
    drawScene1(5.99f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    Texture* logo = assets.logoTexture;
    auto logoPixels = [logo](float t) {
        drawScene1(t);
        std::vector<uint8_t> with = readLetterbox();
        assets.logoTexture = solidTexture(0, 0, 0, 0);
        drawScene1(t);
        assets.logoTexture = logo;
        std::vector<uint8_t> without = readLetterbox();
        std::array<int, 2> n = {0, 0};
        for (size_t i = 0; i < with.size(); i += 3)
            if (std::abs(with[i] - without[i]) > 40)
                n[0]++, n[1] += i / 3 / 640 >= 180 || i / 3 % 640 >= 400;   // row 0 at the bottom
        return n;
    };
    EXPECT_EQ(logoPixels(0.74f)[0], 0) << "the caption shows before the first tick";
    std::array<int, 2> tick = logoPixels(0.75f);
    EXPECT_GT(tick[0], 3000);
    EXPECT_EQ(tick[1], 0);
}

TEST_F(RealAssetFrames, NestedZoomDrawsAtEveryCutAndOpensUnderScene10sLastPicture)
{
    for (float a : {0.0f, 0.49f, 0.5f, 1.0f, 2.75f, 3.999f}) {
        drawScene11(a, 34.5f + a);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << a;
        EXPECT_LT(surfaceVertexCount, PARTICLE_MAX) << a;
        EXPECT_GT(letterboxMean(), 10.0) << a;
    }
    // Scene 10's snapshot filled with pure magenta: at a = 0 it covers the frame whole (screen
    // blending at alpha 1 takes red and blue to full), from a = 0.5 it is gone.
    Texture* snapshot = assets.captureTexture10;
    assets.captureTexture10 = solidTexture(255, 0, 255);

    auto redMinusGreen = [] {
        std::vector<uint8_t> pixels = readLetterbox();
        return channelMean(pixels, 0) - channelMean(pixels, 1);
    };
    drawScene11(0.0f, 34.5f);
    EXPECT_GT(redMinusGreen(), 100.0);
    drawScene11(0.5f, 35.0f);
    EXPECT_LT(redMinusGreen(), 30.0);
    assets.captureTexture10 = snapshot;
}

TEST(AnimatedFractal, FadesInAndOutAndZoomsOverTheLastHalfPattern)
{
    FractalView start = fractalViewAt(0.0f, 20.0f);
    EXPECT_EQ(start.fade, 0.0f);
    EXPECT_EQ(start.zoom, 0.0f);
    EXPECT_FLOAT_EQ(start.eye.fieldOfView, 80.0f);
    // A kick of 1.5 degrees on every odd beat.
    EXPECT_NEAR(fractalViewAt(0.0625f, 20.0625f).eye.fieldOfView, 78.5f, 1e-4f);
    EXPECT_FLOAT_EQ(fractalViewAt(0.25f, 20.25f).fade, 0.5f);
    EXPECT_FLOAT_EQ(fractalViewAt(1.0f, 21.0f).fade, 1.0f);
    EXPECT_FLOAT_EQ(fractalViewAt(1.5f, 21.5f).fade, 1.0f);
    FractalView end = fractalViewAt(1.999f, 21.999f);
    EXPECT_NEAR(end.fade, 0.0f, 0.01f);
    EXPECT_NEAR(end.eye.fieldOfView, 10.0f, 0.5f);

    // The orbit jumps by a radian on each half pattern and the target sits at two thirds.
    FractalView before = fractalViewAt(0.4999f, 20.4999f), after = fractalViewAt(0.5f, 20.5f);
    EXPECT_EQ(after.halfPattern, before.halfPattern + 1);
    EXPECT_GT(std::fabs(after.eye.position.x - before.eye.position.x), 5.0f);
    EXPECT_NEAR(after.target.z, after.eye.position.z * 0.666f, 1e-5f);
    // The fractal's parameter jumps by four on every half pattern.
    EXPECT_NEAR(after.fractalTime - before.fractalTime, 4.0f, 0.01f);
}

TEST(FractalZoom, CopiesFadeInAndOutAndTheZoomRepeatsEveryTwoPatterns)
{
    FractalZoomView v = fractalZoomViewAt(1.1f, 23.1f);
    float part = std::fmod(v.zoomPosition, 1.0f);
    EXPECT_NEAR(v.copyAlpha[0], 1.0f - part, 1e-6f);
    EXPECT_NEAR(v.copyAlpha[3], part, 1e-6f);
    EXPECT_EQ(std::pair(v.copyAlpha[1], v.copyAlpha[2]), std::pair(1.0f, 1.0f));
    EXPECT_GE(v.zoomPosition, 0.0f);
    EXPECT_LT(v.zoomPosition, 8.0f);
    // Two patterns on, the same zoom position.
    EXPECT_NEAR(fractalZoomViewAt(3.1f, 25.1f).zoomPosition, v.zoomPosition, 1e-3f);
}

TEST(FractalZoom, GlowOpensBlurredClearsAndBlursOutWhileTheTicksWidenTheView)
{
    EXPECT_FLOAT_EQ(fractalZoomViewAt(0.0f, 22.0f).glow, 1.0f);
    EXPECT_NEAR(fractalZoomViewAt(0.0625f, 22.0625f).glow, 0.5f, 1e-6f);
    EXPECT_EQ(fractalZoomViewAt(1.0f, 23.0f).glow, 0.0f);
    EXPECT_EQ(fractalZoomViewAt(1.0f, 23.0f).eye.fieldOfView, 30.0f);
    // Tick at row 1552 (t = 24.25): view to 40 degrees, glow up by a quarter.
    FractalZoomView tick = fractalZoomViewAt(2.25f, 24.25f);
    EXPECT_FLOAT_EQ(tick.eye.fieldOfView, 40.0f);
    EXPECT_FLOAT_EQ(tick.glow, 0.25f);
    EXPECT_NEAR(fractalZoomViewAt(6.2499f, 28.2499f).glow, 1.0f, 0.01f);
    EXPECT_NEAR(std::hypot(tick.eye.position.x, tick.eye.position.z), 64.0f, 1e-3f);
}

TEST_F(RealAssetFrames, AnimatedFractalDrawsThroughItsWindowUnderSceneSixsPictureAtFirst)
{
    for (float L : {0.0f, 0.5f, 1.0f, 1.999f}) {
        drawScene7(L, 20.0f + L);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << L;
        EXPECT_GT(letterboxMean(), 20.0) << L;
    }
    Texture* snapshot = assets.captureTexture6;
    assets.captureTexture6 = solidTexture(255, 0, 255);
    drawScene7(0.0f, 20.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    // The lower left, away from the caption: the magenta picture under the white flash.
    std::vector<uint8_t> corner = readRegion(10, 70, 190, 100);
    double green = channelMean(corner, 1);
    EXPECT_GT(channelMean(corner, 0), green * 2.5)
        << "the fractal shows through the opening picture";
    EXPECT_GT(channelMean(corner, 2), green * 2.5);

    drawScene7(0.5f, 20.5f);
    std::vector<uint8_t> withMagenta = readLetterbox();
    assets.captureTexture6 = solidTexture(0, 255, 0);
    drawScene7(0.5f, 20.5f);
    EXPECT_TRUE(readLetterbox() == withMagenta) << "Scene 6's picture still drawn at L = 0.5";
    assets.captureTexture6 = snapshot;
}

TEST_F(RealAssetFrames, ZoomOpensOnTheCreditsOverBlackShowsTheFractalAndBlursOut)
{
    // At L = 0 the glow chain draws nothing: only the shade-multiplied black, the credits and
    // the flash remain, far darker than a frame a pattern later.
    drawScene8(0.0f, 22.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    double opening = letterboxMean();
    drawScene8(1.0f, 23.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    double later = letterboxMean();
    EXPECT_GT(later, opening + 10.0);
    drawScene8(4.0f, 26.0f);
    double middle = sharpness(readLetterbox());
    drawScene8(6.24f, 28.24f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_LT(sharpness(readLetterbox()), 0.6 * middle);
}

}   // namespace
