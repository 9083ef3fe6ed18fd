// Texture binding, coordinate generation, the crossfade combiner and the screen copy.
#include "texture/texture_local.h"

#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

GLint texParameter(GLenum w)
{
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, w, &v);
    return v;
}

// Texels are RGBA bytes, bottom row first.
Texture makeTexture(int32_t width, int32_t height, const std::vector<unsigned char>& texels,
                    TextureFlags flags)
{
    Texture t = {0, 1.0f, 1.0f, 1.0f, width, height, flags, 1};
    glGenTextures(1, &t.name);
    glBindTexture(GL_TEXTURE_2D, t.name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 texels.data());
    return t;
}

class Binding : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGLContext();
        beginFrame(nullptr);
        plain = makeTexture(4, 4, std::vector<unsigned char>(64, 200), 0);
    }
    Texture plain;
};

}   // namespace

TEST_F(Binding, FilterTableWrapAndIgnoredBits)
{
    struct Row {
        TextureFlags flags;
        GLint minification, magnification, wrap;
    };
    const GLint clamp = (GLint)clampWrapMode;
    const Row rows[] = {
        {TEX_NEAREST | TEX_NO_MIPMAP | TEX_TRILINEAR, GL_NEAREST, GL_NEAREST, GL_REPEAT},
        {TEX_NEAREST | TEX_TRILINEAR | TEX_CLAMP, GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, clamp},
        {TEX_NO_MIPMAP | TEX_TRILINEAR, GL_LINEAR, GL_LINEAR, GL_REPEAT},
        {TEX_TRILINEAR, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, GL_REPEAT},
        {0, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, GL_REPEAT},
        {~TEX_BIND_MASK, GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, GL_REPEAT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        bindTexture(&plain, row.flags);
        EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), row.minification);
        EXPECT_EQ(texParameter(GL_TEXTURE_MAG_FILTER), row.magnification);
        EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), row.wrap);
        EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_T), row.wrap);
        EXPECT_FALSE(glEnabled(GL_TEXTURE_GEN_S));
    }
    // The record's flags count as much as the bind's.
    Texture clamped = plain;
    clamped.flags = TEX_CLAMP | TEX_NO_MIPMAP;
    bindTexture(&clamped, 0);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), clamp);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
}

TEST_F(Binding, CoordinateGenerationFollowsItsOrderForOneBindOnly)
{
    using Plane = std::array<float, 4>;
    struct Row {
        TextureFlags flags;
        GLint mode;
        Plane s, t;
    };
    const Plane x = {1, 0, 0, 0}, y = {0, 1, 0, 0}, z = {0, 0, 1, 0};
    const Plane xz = {1, 0, 1, 0}, yz = {0, 1, 1, 0}, any = {};
    const Row rows[] = {
        {TEX_SPHERE_MAP | TEX_PLANAR_XY | TEX_PLANAR_YZ, GL_SPHERE_MAP, any, any},
        {TEX_PLANAR_YZ | TEX_PLANAR_XZ | TEX_EYE_LINEAR, GL_OBJECT_LINEAR, y, z},
        {TEX_PLANAR_XZ | TEX_PLANAR_XY, GL_OBJECT_LINEAR, x, z},
        {TEX_PLANAR_XY | TEX_PLANAR_DIAGONAL | TEX_REFLECTION, GL_OBJECT_LINEAR, x, y},
        {TEX_PLANAR_DIAGONAL | TEX_EYE_LINEAR, GL_OBJECT_LINEAR, yz, xz},
        {TEX_EYE_LINEAR | TEX_REFLECTION, GL_EYE_LINEAR, any, any},
        {TEX_REFLECTION, GL_SPHERE_MAP, any, any},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        glEnable(GL_TEXTURE_GEN_R);
        glEnable(GL_TEXTURE_GEN_Q);
        bindTexture(&plain, row.flags);
        EXPECT_TRUE(glEnabled(GL_TEXTURE_GEN_S) && glEnabled(GL_TEXTURE_GEN_T));
        EXPECT_FALSE(glEnabled(GL_TEXTURE_GEN_R) || glEnabled(GL_TEXTURE_GEN_Q));
        for (GLenum coord : {GL_S, GL_T}) {
            GLint mode = 0;
            glGetTexGeniv(coord, GL_TEXTURE_GEN_MODE, &mode);
            EXPECT_EQ(mode, row.mode);
            Plane plane{};
            glGetTexGenfv(coord, GL_OBJECT_PLANE, plane.data());
            if (row.mode == GL_OBJECT_LINEAR) {
                EXPECT_EQ(plane, coord == GL_S ? row.s : row.t);
            }
        }
        bindTexture(&plain, 0);
        EXPECT_FALSE(glEnabled(GL_TEXTURE_GEN_S) || glEnabled(GL_TEXTURE_GEN_T) ||
                     glEnabled(GL_TEXTURE_GEN_R) || glEnabled(GL_TEXTURE_GEN_Q));
    }
}

// The colours, scale and active unit show in the pixels of the screen passes; a stray second
// unit or a 1D texture left on would not.
TEST_F(Binding, BindSwitchesOffWhatACrossfadeOrA1DTextureLeftOn)
{
    bindTextureCrossfade(&plain, 0);
    glEnable(GL_TEXTURE_1D);
    bindTexture(&plain, 0);
    EXPECT_TRUE(glEnabled(GL_TEXTURE_2D) && !glEnabled(GL_TEXTURE_1D));
    glext.glActiveTextureARB(GL_TEXTURE1_ARB);
    EXPECT_FALSE(glEnabled(GL_TEXTURE_2D));
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
}

TEST_F(Binding, CrossfadeBlendsTheTwoSamplesByVertexAlpha)
{
    Texture pair = makeTexture(2, 1, {255, 204, 102, 255, 51, 102, 204, 51},
                               TEX_NEAREST | TEX_NO_MIPMAP | TEX_CLAMP);
    beginFrame(&defaultClearColour);
    beginScreenPass(0);
    bindTextureCrossfade(&pair, 0);
    const float a = 0.25f, vertex[3] = {0.5f, 1.0f, 1.0f};
    glColor4f(vertex[0], vertex[1], vertex[2], a);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    glBegin(GL_QUADS);
    for (const auto& c : corners) {
        glext.glMultiTexCoord2fARB(GL_TEXTURE0_ARB, 0.25f, 0.5f);   // left texel
        glext.glMultiTexCoord2fARB(GL_TEXTURE1_ARB, 0.75f, 0.5f);   // right texel
        glVertex3f(c[0], c[1], camera.nearPlane + 0.001f);
    }
    glEnd();
    std::array<int, 3> p = pixelRGB(320, 240);
    const float left[3] = {1.0f, 0.8f, 0.4f}, right[3] = {0.2f, 0.4f, 0.8f};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(p[c], (left[c] * vertex[c] * a + right[c] * (1.0f - a)) * 255.0f, 2.0f)
            << "channel " << c;
}

TEST_F(Binding, ScreenCopyTakesTheLowerLeftCorner)
{
    // Red window, green 512 x 256 corner, marked at its two extreme pixels.
    auto fillRect = [](int x, int y, int w, int h, float r, float g, float b) {
        glScissor(x, y, w, h);
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    };
    glEnable(GL_SCISSOR_TEST);
    fillRect(0, 0, frameRecord.width, frameRecord.height, 1, 0, 0);
    fillRect(0, 0, 512, 256, 0, 1, 0);
    fillRect(0, 0, 1, 1, 1, 1, 1);
    fillRect(511, 255, 1, 1, 0, 0, 1);
    glDisable(GL_SCISSOR_TEST);

    Texture target = makeTexture(512, 256, {}, TEX_NO_MIPMAP | TEX_CLAMP);
    copyScreenToTexture(&target);
    std::vector<uint8_t> texels = readTexels(target.name);
    auto rgb = [&](const std::vector<uint8_t>& t, int width, int x, int y) {
        const unsigned char* p = &t[((size_t)y * width + x) * 4];
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(rgb(texels, 512, 0, 0), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(rgb(texels, 512, 511, 255), (std::array<int, 3>{0, 0, 255}));
    EXPECT_EQ(rgb(texels, 512, 300, 100), (std::array<int, 3>{0, 255, 0}));

    // A sized copy fills only its own corner; asking beyond the texture copies what fits
    // instead of raising an OpenGL error.
    Texture small = makeTexture(64, 32, std::vector<unsigned char>(64 * 32 * 4, 0), 0);
    copyScreenToTextureSized(&small, 16, 8);
    std::vector<uint8_t> part = readTexels(small.name);
    EXPECT_EQ(rgb(part, 64, 15, 7)[1], 255);
    EXPECT_EQ(rgb(part, 64, 15, 8)[1], 0);
    EXPECT_EQ(rgb(part, 64, 16, 7)[1], 0);
    copyScreenToTextureSized(&small, 600, 400);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(rgb(readTexels(small.name), 64, 63, 31)[1], 255);
}
