// Image layers, whole-texture passes, the glow chain and fills, read back from the frame.
#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"
#include "effects/screen.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

// A 2 x 2 texture: red, green on the top row, blue, white below.
Texture* quadrants()
{
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    Texture* t = new Texture{};
    glGenTextures(1, &t->name);
    glBindTexture(GL_TEXTURE_2D, t->name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    t->width = t->height = 2;
    t->scaleS = t->scaleT = t->scaleR = 1;
    t->flags = TEX_NO_MIPMAP;
    t->spriteCount = 1;
    return t;
}

struct ScreenPasses : ::testing::Test {
    void SetUp() override { ensureGLContext(640, 480); }
};

}   // namespace

TEST_F(ScreenPasses, ImageLayerIsUprightAndClampedZoomShrinksIt)
{
    Texture* t = quadrants();
    beginFrame(&defaultClearColour);
    drawScreenImage(t, 0, 0, 1, 1, 1, 0, 1, RENDER_ALPHA_BLEND | TEX_NEAREST | RENDER_NO_DEPTH);
    std::vector<uint8_t> px = readScreen();
    // Window rows count from the bottom: the top-left of the letterbox shows the first texel.
    EXPECT_GT(at(px, 100, 380)[0], 200);   // red, upper left
    EXPECT_GT(at(px, 540, 380)[1], 200);   // green, upper right
    EXPECT_GT(at(px, 100, 100)[2], 200);   // blue, lower left

    beginFrame(&defaultClearColour);
    drawScreenImage(t, 0, 0, 1, 2, 2, 0, 1,
                    RENDER_ALPHA_BLEND | TEX_NEAREST | TEX_CLAMP | RENDER_NO_DEPTH);
    px = readScreen();
    // Half size in the middle; the clamped borders repeat the edge texels outside it.
    EXPECT_GT(at(px, 250, 270)[0], 200);
    EXPECT_GT(at(px, 390, 200)[0], 200);   // white, lower right of the image
    EXPECT_GT(at(px, 390, 200)[1], 200);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, InsetMagnifiesTheCentreAndBlendsFollowTheFlags)
{
    Texture* t = makeSolidTexture(4, 4, 100, 100, 100, 255, Vec3{1, 1, 1}, TEX_NO_MIPMAP);
    float grey[4] = {0.2f, 0.2f, 0.2f, 1};
    beginFrame(&defaultClearColour);
    fillScreen(grey, RENDER_NO_DEPTH);
    drawScreenTexture(t, 1.0f, RENDER_ADD);
    std::vector<uint8_t> px = readScreen();
    EXPECT_NEAR(at(px, 320, 240)[0], 51 + 100, 3);
    drawScreenTextureInset(t, 0.5f, 0.25f, RENDER_MUL);
    px = readScreen();
    EXPECT_NEAR(at(px, 320, 240)[0], 151 * 50 / 255, 3);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(GlowChainLevels, WeightsAndTaps)
{
    GlowLevels half = glowLevelsFrom(8, 0.5f);
    EXPECT_EQ(half.first, 4);
    EXPECT_FLOAT_EQ(half.firstWeight, 1.0f);
    GlowLevels more = glowLevelsFrom(8, 0.55f);
    EXPECT_EQ(more.first, 4);
    EXPECT_NEAR(more.firstWeight, 0.6f, 1e-5);
    EXPECT_EQ(glowLevelsFrom(8, 1.0f).first, 8);
    EXPECT_EQ(glowLevelsFrom(8, -2.0f).first, 0);
    float s, t;
    glowDiscTapOffset(0, 0.0f, 256, 128, &s, &t);
    EXPECT_EQ(s, 0.0f);
    glowDiscTapOffset(2, 4.0f, 256, 128, &s, &t);   // a quarter turn: all in s
    EXPECT_NEAR(s, 4.0f / 256, 1e-5);
    EXPECT_NEAR(t, 0.0f, 1e-4);
    EXPECT_EQ(glowZoomTapExtent(0, 3.0f), 0.5f);
    EXPECT_FLOAT_EQ(glowZoomTapExtent(4, 2.0f), 0.25f);
    EXPECT_FLOAT_EQ(glowZoomTapExtent(7, 0.0f), 0.5f);
}

TEST_F(ScreenPasses, GlowChainOfAFlatPictureComesBackBrighter)
{
    renderTargetWidth = 512;
    renderTargetHeight = 256;
    ScreenChain chain = makeScreenCopyChain();
    float grey[4] = {0.1f, 0.1f, 0.1f, 1};
    beginFrame(&defaultClearColour);
    fillScreen(grey, RENDER_TO_TEXTURE | RENDER_NO_DEPTH);
    buildGlowChainDisc(&chain, 0, 0.0f, whiteTint);
    drawGlowChain(&chain, 0);
    std::vector<uint8_t> px = readScreen();
    // Eight levels of a flat 0.1 grey added: about 0.8, darker towards the edges.
    EXPECT_GT(at(px, 320, 240)[0], 150);
    EXPECT_LT(at(px, 320, 240)[0], 215);
    drawGlowChainFrom(&chain, 1.0f, 0);
    px = readScreen();
    EXPECT_EQ(at(px, 320, 240)[0], 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
