// Image layers, whole-texture passes, the glow chain and fills, read back from the frame.
#define GL_GLEXT_PROTOTYPES 1   // the sample count query
#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"
#include "effects/effects_local.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

std::vector<uint8_t> readScreen()
{
    return readPixels(0, 0, displaySettings.width, displaySettings.height);
}

const uint8_t* at(const std::vector<uint8_t>& px, int x, int y)
{
    return &px[((size_t)y * displaySettings.width + x) * 4];
}

// A 2 x 2 texture: red, green on the top row, blue, white below.
Texture* quadrants()
{
    return textureFromTexels(2, 2,
                             {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
}

// The samples a drawing step sends to the frame.
GLuint samplesDrawnBy(const std::function<void()>& draw)
{
    static GLuint query = 0;
    if (!query)
        glGenQueries(1, &query);
    glBeginQuery(GL_SAMPLES_PASSED, query);
    draw();
    glEndQuery(GL_SAMPLES_PASSED);
    GLuint samples = 0;
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &samples);
    return samples;
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

TEST_F(ScreenPasses, WholeTexturePassesBlendByTheirFormulas)
{
    // Source s = texel x brightness in every channel, its alpha a likewise; d the picture below.
    const uint8_t texel[4] = {128, 64, 191, 128};
    Texture* t = makeSolidTexture(4, 4, texel[0], texel[1], texel[2], texel[3], Vec3{1, 1, 1},
                                  TEX_NO_MIPMAP);
    const float below[4] = {0.6f, 0.4f, 0.2f, 1}, brightness = 0.8f;
    using Blend = float (*)(float s, float a, float d);
    struct Row {
        const char* name;
        RenderFlags flags;
        Blend blend;
    } rows[] = {
        {"add", RENDER_ADD, [](float s, float, float d) { return s + d; }},
        {"multiply-inverse", RENDER_MUL_INVERSE,
         [](float s, float, float d) { return d * (1 - s); }},
        {"multiply", RENDER_MUL, [](float s, float, float d) { return d * s; }},
        {"alpha", RENDER_ALPHA_BLEND,
         [](float s, float a, float d) { return s * a + d * (1 - a); }},
        {"screen", RENDER_SCREEN, [](float s, float, float d) { return s + d * (1 - s); }},
        {"replace", 0, [](float s, float, float) { return s; }},
        // The first bit in the order above wins.
        {"add first", RENDER_ADD | RENDER_MUL_INVERSE | RENDER_MUL | RENDER_SCREEN,
         [](float s, float, float d) { return s + d; }},
        {"multiply-inverse first", RENDER_MUL_INVERSE | RENDER_MUL | RENDER_ALPHA_BLEND,
         [](float s, float, float d) { return d * (1 - s); }},
        {"alpha before screen", RENDER_ALPHA_BLEND | RENDER_SCREEN,
         [](float s, float a, float d) { return s * a + d * (1 - a); }},
        {"multiply before screen", RENDER_MUL | RENDER_SCREEN,
         [](float s, float, float d) { return d * s; }},
    };
    const float a = texel[3] / 255.0f * brightness;
    for (const Row& row : rows)
        for (bool inset : {false, true}) {
            beginFrame(&defaultClearColour);
            fillScreen(below, RENDER_NO_DEPTH);
            if (inset)
                drawScreenTextureInset(t, brightness, 0.25f, row.flags);
            else
                drawScreenTexture(t, brightness, row.flags);
            std::vector<uint8_t> px = readScreen();
            for (int c = 0; c < 3; c++) {
                float want = clamp01(row.blend(texel[c] / 255.0f * brightness, a, below[c]));
                EXPECT_NEAR(at(px, 320, 240)[c], want * 255, 3)
                    << row.name << (inset ? " inset" : "") << ", channel " << c;
            }
        }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, AtStrengthZeroOnlyThoseThatCanChangeAPixelDraw)
{
    Texture* t = quadrants();
    const ScreenCorner corners[4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {1, 1, 1, 0}, {-1, 1, 0, 0}};
    struct Row {
        const char* name;
        std::function<void(float)> pass;
        bool drawsAtZero;
    } rows[] = {
        {"flash", [](float s) { addScreenGrey(s); }, false},
        {"added image", [t](float s) { drawScreenImage(t, 0, 0, 1, 1, 1, 0, s, RENDER_ADD); },
         false},
        {"alpha-blended image",
         [t](float s) { drawScreenImage(t, 0, 0, 1, 1, 1, 0, s, RENDER_ALPHA_BLEND); }, false},
        {"screened texture", [t](float s) { drawScreenTexture(t, s, RENDER_SCREEN); }, false},
        {"screened quads", [&](float s) { drawScreenQuads(t, corners, 1, s, RENDER_SCREEN); },
         false},
        // The alpha bit colours it white at alpha 0, and adding still adds that.
        {"added image with the alpha bit",
         [t](float s) { drawScreenImage(t, 0, 0, 1, 1, 1, 0, s, RENDER_ADD | RENDER_ALPHA_BLEND); },
         true},
        {"multiplied texture", [t](float s) { drawScreenTexture(t, s, RENDER_MUL); }, true},
    };
    const float below[4] = {0.6f, 0.4f, 0.2f, 1};
    for (const Row& row : rows)
        for (float strength : {0.0f, 1.0f / 32}) {
            beginFrame(&defaultClearColour);
            fillScreen(below, RENDER_NO_DEPTH);
            std::vector<uint8_t> before = readScreen();
            GLuint samples = samplesDrawnBy([&] { row.pass(strength); });
            bool drawn = samples > 0;
            EXPECT_EQ(drawn, strength > 0 || row.drawsAtZero) << row.name << " at " << strength;
            if (!drawn) {
                EXPECT_TRUE(readScreen() == before) << row.name;
            } else if (strength > 0) {
                EXPECT_FALSE(readScreen() == before) << row.name << " at " << strength;
            }
        }
    // A flash left out still leaves its blend for what follows.
    addScreenGrey(0);
    GLint source = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) && source == GL_ONE);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, InsetWithoutMarginIsTheWholeTextureAndAQuarterZoomsIntoTheCentre)
{
    Texture* t = texelGridTexture();
    beginFrame(&defaultClearColour);
    drawScreenTexture(t, 1, TEX_NEAREST);
    std::vector<uint8_t> whole = readScreen();
    EXPECT_NEAR(at(whole, 2, 62)[0], 30, 2);   // texel (0, 0) in the lower left
    EXPECT_NEAR(at(whole, 637, 417)[1], 210, 2);
    beginFrame(&defaultClearColour);
    drawScreenTextureInset(t, 1, 0.0f, TEX_NEAREST);
    EXPECT_TRUE(readScreen() == whole);

    // Margin 0.25: the centre 2 x 2 texels fill the letterbox (rows 60 to 419).
    beginFrame(&defaultClearColour);
    drawScreenTextureInset(t, 1, 0.25f, TEX_NEAREST);
    std::vector<uint8_t> px = readScreen();
    struct {
        int x, y, i, j;
    } probes[] = {{2, 62, 1, 1},    {318, 238, 1, 1}, {322, 242, 2, 2},
                  {637, 417, 2, 2}, {160, 330, 1, 2}, {480, 150, 2, 1}};
    for (const auto& p : probes) {
        EXPECT_NEAR(at(px, p.x, p.y)[0], 30 + 60 * p.i, 2) << p.x << ", " << p.y;
        EXPECT_NEAR(at(px, p.x, p.y)[1], 30 + 60 * p.j, 2) << p.x << ", " << p.y;
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

namespace {

// The largest difference in red, green or blue between a level and the 2 x 2 box average of
// the w x h level before it.
int worstHalvingError(const std::vector<uint8_t>& big, int w, int h,
                      const std::vector<uint8_t>& small)
{
    int worst = 0;
    for (int y = 0; y < h / 2; y++)
        for (int x = 0; x < w / 2; x++)
            for (int c = 0; c < 3; c++) {
                auto texel = [&](int bx, int by) { return big[((size_t)by * w + bx) * 4 + c]; };
                int sum = texel(2 * x, 2 * y) + texel(2 * x + 1, 2 * y) + texel(2 * x, 2 * y + 1) +
                          texel(2 * x + 1, 2 * y + 1);
                int got = small[((size_t)y * (w / 2) + x) * 4 + c];
                worst = std::max(worst, std::abs(got * 4 - sum) / 4);
            }
    return worst;
}

ScreenChain& sharedChain()
{
    renderTargetWidth = 512;
    renderTargetHeight = 256;
    static ScreenChain chain = makeScreenCopyChain();
    return chain;
}

}   // namespace

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
    // Spread 0 is drawn unblurred by the chain tests below; here the taps of a spread.
    float s, t;
    glowDiscTapOffset(2, 4.0f, 256, 128, &s, &t);   // a quarter turn: all in s
    EXPECT_NEAR(s, 4.0f / 256, 1e-5);
    EXPECT_NEAR(t, 0.0f, 1e-4);
    EXPECT_EQ(glowZoomTapExtent(0, 3.0f), 0.5f);
    EXPECT_FLOAT_EQ(glowZoomTapExtent(4, 2.0f), 0.25f);
}

TEST_F(ScreenPasses, GlowChainOfAFlatPictureIsBrighterAndOfOneLevelOnlyCopiesTheCorner)
{
    ScreenChain& chain = sharedChain();
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

    beginFrame(&defaultClearColour);
    drawScreenTexture(texelGridTexture(), 1, RENDER_TO_TEXTURE | TEX_NEAREST);
    buildGlowChainDisc(&chain, 0, 0.0f, whiteTint);
    std::vector<uint8_t> levelOne = readTexels(chain.textures[1].name);

    grey[0] = grey[1] = grey[2] = 0.2f;
    beginFrame(&defaultClearColour);
    fillScreen(grey, RENDER_TO_TEXTURE | RENDER_NO_DEPTH);
    ScreenChain one = chain;
    one.count = 1;
    buildGlowChainDisc(&one, 1, 2.0f, greyTint);
    std::vector<uint8_t> levelZero = readTexels(chain.textures[0].name);
    EXPECT_NEAR(levelZero[0], 51, 1);
    EXPECT_NEAR(levelZero[(256 * 512 - 1) * 4], 51, 1);
    EXPECT_TRUE(readTexels(chain.textures[1].name) == levelOne);
    // Nothing was drawn into the corner either.
    px = readScreen();
    EXPECT_NEAR(at(px, 10, 10)[0], 51, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ScreenPasses, GlowChainWithoutSpreadHalvesEveryLevelUnblurred)
{
    ScreenChain& chain = sharedChain();
    ASSERT_EQ(chain.count, 8);
    // 16 x 8 texels with colours of their own, 32 x 32 pixels each in the corner.
    auto colour = [](int i, int j) {
        return std::vector<uint8_t>{(uint8_t)(16 * i + 8), (uint8_t)(32 * j + 16),
                                    (uint8_t)((7 * i + 13 * j) % 16 * 16), 255};
    };
    std::vector<uint8_t> rgba;
    for (int n = 0; n < 16 * 8; n++) {
        std::vector<uint8_t> c = colour(n % 16, n / 16);
        rgba.insert(rgba.end(), c.begin(), c.end());
    }
    Texture* picture = textureFromTexels(16, 8, rgba);
    for (bool zoom : {false, true}) {
        beginFrame(&defaultClearColour);
        drawScreenTexture(picture, 1, RENDER_TO_TEXTURE | TEX_NEAREST);
        if (zoom)
            buildGlowChainZoom(&chain, 0, 0.0f, whiteTint);
        else
            buildGlowChainDisc(&chain, 0, 0.0f, whiteTint);
        std::vector<uint8_t> level = readTexels(chain.textures[0].name);
        for (int j = 0; j < 8; j++)
            for (int i = 0; i < 16; i++)
                for (int c = 0; c < 3; c++)
                    ASSERT_EQ(level[((size_t)(32 * j + 16) * 512 + 32 * i + 16) * 4 + c],
                              colour(i, j)[c]);
        for (int k = 1; k < chain.count; k++) {
            std::vector<uint8_t> next = readTexels(chain.textures[k].name);
            EXPECT_LE(worstHalvingError(level, 512 >> (k - 1), 256 >> (k - 1), next), 2)
                << (zoom ? "zoom" : "disc") << ", level " << k;
            level = std::move(next);
        }
        // The 4 x 2 level still shows the red ramp across.
        EXPECT_GT(level[3 * 4] - level[0], 150);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}
