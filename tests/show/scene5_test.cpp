// Scene 5 read back from the frame: it opens at full brightness, its sun shows only from the far
// side of the structure, and the capture frame keeps to the corner with no overlays.
#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"
#include "precalc/precalc.h"
#include "show/scenes/growth.h"
#include "show/show.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

Texture* solid(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    return makeSolidTexture(16, 16, r, g, b, a, {1, 1, 1}, 0);
}

std::vector<uint8_t> readScreen()
{
    std::vector<uint8_t> px((size_t)displaySettings.width * displaySettings.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, displaySettings.width, displaySettings.height, GL_RGBA, GL_UNSIGNED_BYTE,
                 px.data());
    return px;
}

const uint8_t* at(const std::vector<uint8_t>& px, int x, int y)
{
    return &px[((size_t)y * displaySettings.width + x) * 4];
}

class Scene5 : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ensureGLContext(640, 480);
        AssetTable& a = assets;
        a.glowTexture = solid(255, 255, 255, 255);
        a.spriteAtlasC = solid(255, 255, 255, 255);
        a.backdropTexture = solid(0, 0, 0, 0);
        a.captionTexture5 = solid(0, 0, 0, 0);
        // A small ball at the origin, so the edges of the picture show the sky.
        static Vec3 ball[400];
        static float shade[400];
        randomSeed = 1234;
        for (int i = 0; i < 400; ++i) {
            ball[i] = {randomUnit() - 0.5f, randomUnit() - 0.5f, randomUnit() - 0.5f};
            shade[i] = 0.5f;
        }
        a.growthPoints = ball;
        a.growthShade = shade;
        a.growthCount = 400;
    }

    // The top-left corner of the letterbox, away from the ball and the sun's disc centre.
    static const uint8_t* skyPixel(const std::vector<uint8_t>& px) { return at(px, 4, 415); }
};

TEST_F(Scene5, OpensAtFullBrightnessAndDrawsCleanlyAcrossItsWindow)
{
    for (float t : {14.0f, 14.3f, 15.5f, 16.0f, 17.999f}) {
        drawScene5(t, 0);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
        std::vector<uint8_t> px = readScreen();
        const uint8_t* sky = skyPixel(px);
        // Never darker than the sky colour (0.1, 0.1, 0.2): no fade.
        EXPECT_GE(sky[0], 24) << "t = " << t;
        EXPECT_GE(sky[2], 49) << "t = " << t;
        EXPECT_GT(sky[2], sky[0]) << "t = " << t;
        // The ball sits on the vanishing point, pushed right and down by the projection shift.
        EXPECT_GT(at(px, 395, 197)[0], 60) << "t = " << t;
    }
}

TEST_F(Scene5, SunShowsOnlyFromTheFarSideOfTheStructure)
{
    float litTime = -1, darkTime = -1;
    for (float t = 14.1f; t < 18.0f; t += 1.0f / 64) {
        GrowthView v = growthViewAt(t);
        if (halfPatternFlash(t, 0.1f) > 0 || pulse(t + 0.0625f, 1, 8, 8) > 0)
            continue;   // keep the flashes out of the comparison
        if (v.sunAlpha >= 1 && litTime < 0)
            litTime = t;
        if (v.sunAlpha <= 0 && darkTime < 0)
            darkTime = t;
    }
    ASSERT_GT(litTime, 0);
    ASSERT_GT(darkTime, 0);
    // Bright only behind the origin as the sun sees it.
    Vec3 sun = {0, 30, 100};
    Vec3 lit = growthViewAt(litTime).eye.position;
    EXPECT_LT(dot3(&lit, &sun), -9 * dot3(&lit, &lit));

    drawScene5(darkTime, 0);
    int darkSky = skyPixel(readScreen())[1];
    drawScene5(litTime, 0);
    int litSky = skyPixel(readScreen())[1];
    EXPECT_LT(darkSky, 60);
    EXPECT_GT(litSky, darkSky + 100);
}

TEST_F(Scene5, CaptureFrameKeepsToTheCornerWithoutOverlays)
{
    // An opaque red caption would cover everything it reaches.
    Texture* caption = assets.captionTexture5;
    assets.captionTexture5 = solid(255, 0, 0, 255);
    drawScene5(14.2f, 0);
    EXPECT_GT(at(readScreen(), 320, 400)[0], 200);

    drawScene5(17.999f, 1);
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    std::vector<uint8_t> px = readScreen();
    GLint alphaBits = 0;   // the alpha fill can only be read back where there is a channel
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    for (int y = 0; y < RENDER_TO_TEXTURE_HEIGHT; y += 5) {
        for (int x = 0; x < RENDER_TO_TEXTURE_WIDTH; x += 5) {
            const uint8_t* p = at(px, x, y);
            ASSERT_LE(p[0], p[2] + 8) << x << ", " << y;   // sky and grey ball, no red
            if (alphaBits > 0) {
                ASSERT_EQ(p[3], 255) << x << ", " << y;
            }
        }
    }
    // Outside the corner only the faint backdrop may land (transparent here): black.
    const uint8_t* outside = at(px, 600, 400);
    EXPECT_LT(outside[0] + outside[1] + outside[2], 8);
    assets.captionTexture5 = caption;
}

}   // namespace
