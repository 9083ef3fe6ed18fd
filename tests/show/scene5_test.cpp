// Scene 5 read back from the frame: it opens at full brightness, its sun shows only from the far
// side of the structure, and the capture frame keeps to the corner with no overlays.
#include "common/test_support.h"
#include "growth_frames.h"
#include "precalc/precalc.h"
#include "show/scenes/growth.h"
#include "show/show.h"

#include <gtest/gtest.h>

namespace {

class Scene5 : public GrowthSceneTest {
protected:
    static void SetUpTestSuite()
    {
        ensureGLContext(640, 480);
        saveShowState();
        AssetTable& a = assets;
        a.glowTexture = a.spriteAtlasC = solidTexture(255, 255, 255, 255);
        a.backdropTexture = a.captionTexture5 = solidTexture(0, 0, 0, 0);
        // A small ball at the origin, so the edges of the picture show the sky.
        static Vec3 ball[400];
        static float shade[400];
        for (int i = 0; i < 400; ++i) {
            ball[i] = {randomUnit() - 0.5f, randomUnit() - 0.5f, randomUnit() - 0.5f};
            shade[i] = 0.5f;
        }
        a.growthPoints = ball;
        a.growthShade = shade;
        a.growthCount = 400;
    }
    // The top-left corner of the letterbox, away from the ball.
    static const uint8_t* sky(const Frame& f) { return f.at(4, 415); }
};

TEST_F(Scene5, OpensAtFullBrightnessAndDrawsCleanlyAcrossItsWindow)
{
    for (float t : {14.0f, 14.3f, 16.0f, 17.999f}) {
        drawScene5(t, 0);
        ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << "t = " << t;
        Frame f;
        // Never darker than the sky colour (0.1, 0.1, 0.2): no fade.
        EXPECT_GE(sky(f)[0], 24) << "t = " << t;
        EXPECT_GE(sky(f)[2], 49) << "t = " << t;
        // The ball sits on the vanishing point, pushed right and down by the projection shift.
        EXPECT_GT(f.at(395, 197)[0], 60) << "t = " << t;
    }
}

TEST_F(Scene5, SunShowsOnlyFromTheFarSideOfTheStructure)
{
    float lit = 0, dark = 0;
    for (float t = 14.1f; t < 18; t += 1.0f / 64) {
        if (halfPatternFlash(t, 0.1f) > 0 || pulse(t + 0.0625f, 1, 8, 8) > 0)
            continue;   // keep the flashes out of the comparison
        float alpha = growthViewAt(t).sunAlpha;
        lit = (alpha >= 1 && !lit) ? t : lit;
        dark = (alpha <= 0 && !dark) ? t : dark;
    }
    ASSERT_TRUE(lit && dark);
    drawScene5(dark, 0);
    int darkSky = sky(Frame())[1];
    drawScene5(lit, 0);
    EXPECT_LT(darkSky, 60);
    EXPECT_GT(sky(Frame())[1], darkSky + 100);
}

TEST_F(Scene5, CaptureFrameKeepsToTheCornerWithoutOverlays)
{
    // An opaque red caption covers everything it reaches.
    Texture* caption = assets.captionTexture5;
    assets.captionTexture5 = solidTexture(255, 0, 0, 255);
    drawScene5(14.2f, 0);
    EXPECT_GT(Frame().at(320, 400)[0], 200);

    drawScene5(17.999f, 1);
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    Frame f;
    GLint alphaBits = 0;   // the alpha fill can only be read back where there is a channel
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    for (int y = 0; y < RENDER_TO_TEXTURE_HEIGHT; y += 5) {
        for (int x = 0; x < RENDER_TO_TEXTURE_WIDTH; x += 5) {
            ASSERT_LE(f.at(x, y)[0], f.at(x, y)[2] + 8) << x << ", " << y;   // no red
            ASSERT_TRUE(alphaBits == 0 || f.at(x, y)[3] == 255) << x << ", " << y;
        }
    }
    // Outside the corner only the faint backdrop may land (transparent here): black.
    EXPECT_LT(f.at(600, 400)[0] + f.at(600, 400)[1] + f.at(600, 400)[2], 8);
    assets.captionTexture5 = caption;
}

}   // namespace
