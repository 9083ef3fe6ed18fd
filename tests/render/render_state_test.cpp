// Render-state presets and fog, read back from the OpenGL state and the frame buffer.
#include "render/render.h"

#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <array>

namespace {

GLint getInt(GLenum what)
{
    GLint v = 0;
    glGetIntegerv(what, &v);
    return v;
}

bool on(GLenum cap) { return glIsEnabled(cap) == GL_TRUE; }

std::array<int, 3> pixel(int x, int y)
{
    unsigned char p[4] = {0, 0, 0, 0};
    glFinish();
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

void fillWindow(float r, float g, float b)
{
    glViewport(0, 0, displaySettings.width, displaySettings.height);
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Everything beginFrame resets, set the other way.
void scrambleState()
{
    glFrontFace(GL_CW);
    glCullFace(GL_FRONT);
    glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glEnable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_GREATER);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_Q);
    glEnable(GL_TEXTURE_1D);
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glDisable(GL_NORMALIZE);
    glEnable(GL_AUTO_NORMAL);
    glDisable(GL_ALPHA_TEST);
    glAlphaFunc(GL_LESS, 0.5f);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_DITHER);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POLYGON_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_LINE_STIPPLE);
    glEnable(GL_COLOR_LOGIC_OP);
    glEnable(GL_CLIP_PLANE3);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    glDepthMask(GL_FALSE);
    glColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_TRUE);
    const GLfloat odd[4] = {0.3f, 0.3f, 0.3f, 0.3f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, odd);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, odd);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, odd);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, odd);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 20.0f);
    glext.glActiveTextureARB(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
    camera = {3.0f, 4.0f, {1.0f, 2.0f, 3.0f}, {1.0f, 0.0f, 0.0f}};
}

void expectMaterial(GLenum face, GLenum what, std::array<float, 4> want)
{
    GLfloat v[4];
    glGetMaterialfv(face, what, v);
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(v[i], want[i]) << "material " << what << " component " << i;
}

struct BlendRow {
    RenderFlags flags;
    GLint source, destination;
};

class RenderState : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGLContext();
        showStarted = 0;
        beginFrame(nullptr);
    }
};

}  // namespace

TEST_F(RenderState, BeginFrameResetsTheWholePipeline)
{
    scrambleState();
    beginFrame(nullptr);

    EXPECT_EQ(getInt(GL_FRONT_FACE), GL_CCW);
    EXPECT_TRUE(on(GL_CULL_FACE));
    EXPECT_EQ(getInt(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_TRUE(on(GL_DEPTH_TEST));
    EXPECT_EQ(getInt(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(on(GL_NORMALIZE));
    EXPECT_TRUE(on(GL_ALPHA_TEST));
    EXPECT_EQ(getInt(GL_ALPHA_TEST_FUNC), GL_ALWAYS);
    GLfloat alphaRef = -1.0f;
    glGetFloatv(GL_ALPHA_TEST_REF, &alphaRef);
    EXPECT_EQ(alphaRef, 0.0f);
    EXPECT_EQ(getInt(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(getInt(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);

    const GLenum offs[] = {GL_LIGHTING, GL_BLEND, GL_FOG, GL_TEXTURE_GEN_Q, GL_TEXTURE_GEN_R,
                           GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_1D, GL_TEXTURE_2D,
                           GL_AUTO_NORMAL, GL_COLOR_MATERIAL, GL_DITHER, GL_LINE_SMOOTH,
                           GL_POLYGON_SMOOTH, GL_POINT_SMOOTH, GL_SCISSOR_TEST, GL_STENCIL_TEST,
                           GL_LINE_STIPPLE, GL_COLOR_LOGIC_OP, GL_CLIP_PLANE0, GL_CLIP_PLANE1,
                           GL_CLIP_PLANE2, GL_CLIP_PLANE3, GL_CLIP_PLANE4, GL_CLIP_PLANE5};
    for (GLenum cap : offs)
        EXPECT_FALSE(on(cap)) << "capability 0x" << std::hex << cap;
    glext.glActiveTextureARB(GL_TEXTURE1_ARB);
    EXPECT_FALSE(on(GL_TEXTURE_2D)) << "unit 1 still textured";
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
    EXPECT_EQ(getInt(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);

    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (float c : colour)
        EXPECT_FLOAT_EQ(c, 1.0f);
    EXPECT_EQ(getInt(GL_DEPTH_WRITEMASK), GL_TRUE);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    for (GLboolean m : mask)
        EXPECT_EQ(m, GL_TRUE);

    for (GLenum face : {GL_FRONT, GL_BACK}) {
        expectMaterial(face, GL_AMBIENT, {0, 0, 0, 1});
        expectMaterial(face, GL_DIFFUSE, {0.8f, 0.8f, 0.8f, 1});
        expectMaterial(face, GL_SPECULAR, {0, 0, 0, 1});
        expectMaterial(face, GL_EMISSION, {0, 0, 0, 1});
        GLfloat shininess = -1.0f;
        glGetMaterialfv(face, GL_SHININESS, &shininess);
        EXPECT_EQ(shininess, 0.0f);
    }

    EXPECT_EQ(camera.nearPlane, 0.0f);
    EXPECT_EQ(camera.farPlane, 0.0f);
    EXPECT_EQ(camera.projectionShift.x, 0.0f);
    EXPECT_EQ(camera.projectionShift.y, 0.0f);
    EXPECT_EQ(camera.projectionShift.z, 0.0f);
    EXPECT_EQ(camera.upVector.x, 0.0f);
    EXPECT_EQ(camera.upVector.y, 1.0f);
    EXPECT_EQ(camera.upVector.z, 0.0f);
}

TEST_F(RenderState, ApplyRenderFlagsZeroIsTheOpaqueDefault)
{
    for (RenderFlags flags : {0u, RENDER_TO_TEXTURE, ~RENDER_FLAG_MASK}) {
        scrambleState();
        glEnable(GL_ALPHA_TEST);
        applyRenderFlags(flags);
        SCOPED_TRACE(flags);
        EXPECT_TRUE(on(GL_CULL_FACE));
        EXPECT_EQ(getInt(GL_CULL_FACE_MODE), GL_BACK);
        EXPECT_TRUE(on(GL_DEPTH_TEST));
        EXPECT_EQ(getInt(GL_DEPTH_FUNC), GL_LESS);
        EXPECT_EQ(getInt(GL_DEPTH_WRITEMASK), GL_TRUE);
        EXPECT_FALSE(on(GL_BLEND));
        EXPECT_EQ(getInt(GL_SHADE_MODEL), GL_SMOOTH);
        // Left alone without a blend bit or the stencil bit.
        EXPECT_TRUE(on(GL_ALPHA_TEST));
        EXPECT_EQ(getInt(GL_ALPHA_TEST_FUNC), GL_LESS);
        EXPECT_TRUE(on(GL_STENCIL_TEST));
    }
}

TEST_F(RenderState, ApplyRenderFlagsCullingDepthAndShading)
{
    applyRenderFlags(RENDER_NO_CULL | RENDER_NO_DEPTH | RENDER_FLAT);
    EXPECT_FALSE(on(GL_CULL_FACE));
    EXPECT_FALSE(on(GL_DEPTH_TEST));
    EXPECT_EQ(getInt(GL_DEPTH_WRITEMASK), GL_FALSE);
    EXPECT_EQ(getInt(GL_SHADE_MODEL), GL_FLAT);

    applyRenderFlags(RENDER_CULL_FRONT | RENDER_NO_DEPTH_WRITE);
    EXPECT_TRUE(on(GL_CULL_FACE));
    EXPECT_EQ(getInt(GL_CULL_FACE_MODE), GL_FRONT);
    EXPECT_TRUE(on(GL_DEPTH_TEST));
    EXPECT_EQ(getInt(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_EQ(getInt(GL_DEPTH_WRITEMASK), GL_FALSE);
    EXPECT_EQ(getInt(GL_SHADE_MODEL), GL_SMOOTH);

    // No depth wins over depth test without writes.
    applyRenderFlags(RENDER_NO_DEPTH | RENDER_NO_DEPTH_WRITE);
    EXPECT_FALSE(on(GL_DEPTH_TEST));
}

TEST_F(RenderState, ApplyRenderFlagsBlendRowsInOrder)
{
    const BlendRow rows[] = {
        {RENDER_ADD, GL_ONE, GL_ONE},
        {RENDER_ADD | RENDER_MUL | RENDER_SCREEN, GL_ONE, GL_ONE},
        {RENDER_MUL_INVERSE, GL_ZERO, GL_ONE_MINUS_SRC_COLOR},
        {RENDER_MUL_INVERSE | RENDER_ALPHA_BLEND, GL_ZERO, GL_ONE_MINUS_SRC_COLOR},
        {RENDER_MUL, GL_ZERO, GL_SRC_COLOR},
        {RENDER_ALPHA_BLEND, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {RENDER_ALPHA_BLEND | RENDER_SCREEN, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {RENDER_SCREEN, GL_ONE, GL_ONE_MINUS_SRC_COLOR},
    };
    for (const BlendRow& row : rows) {
        SCOPED_TRACE(row.flags);
        glDisable(GL_ALPHA_TEST);
        applyRenderFlags(row.flags);
        EXPECT_TRUE(on(GL_BLEND));
        EXPECT_EQ(getInt(GL_BLEND_SRC), row.source);
        EXPECT_EQ(getInt(GL_BLEND_DST), row.destination);
        EXPECT_EQ(getInt(GL_DEPTH_FUNC), GL_LEQUAL);
        // Only the alpha-blend row itself switches the alpha test on.
        bool alphaRow = row.source == GL_SRC_ALPHA;
        EXPECT_EQ(on(GL_ALPHA_TEST), alphaRow);
        if (alphaRow) {
            EXPECT_EQ(getInt(GL_ALPHA_TEST_FUNC), GL_GREATER);
        }
    }
}

TEST_F(RenderState, StencilMarkCountsEveryPassingFragment)
{
    applyRenderFlags(RENDER_STENCIL_MARK);
    EXPECT_TRUE(on(GL_STENCIL_TEST));
    EXPECT_EQ(getInt(GL_STENCIL_FUNC), GL_ALWAYS);
    // Read back through the clamps: the reference to the stencil bits, the mask to a signed int.
    if (getInt(GL_STENCIL_BITS) > 0) {
        EXPECT_EQ(getInt(GL_STENCIL_REF), 1);
    }
    GLint mask = getInt(GL_STENCIL_VALUE_MASK);
    EXPECT_TRUE(mask == -1 || mask == 0x7FFFFFFF) << mask;
    EXPECT_EQ(getInt(GL_STENCIL_FAIL), GL_KEEP);
    EXPECT_EQ(getInt(GL_STENCIL_PASS_DEPTH_FAIL), GL_KEEP);
    EXPECT_EQ(getInt(GL_STENCIL_PASS_DEPTH_PASS), GL_INCR);
    applyRenderFlags(0);
    EXPECT_TRUE(on(GL_STENCIL_TEST));
}

TEST_F(RenderState, PushPopRestoresEnablesButNotBlendFunctionOrProjection)
{
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    pushRenderState();
    EXPECT_EQ(getInt(GL_MATRIX_MODE), GL_MODELVIEW);
    applyRenderFlags(RENDER_ADD | RENDER_NO_CULL);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_FOG);
    glMatrixMode(GL_PROJECTION);
    glScalef(2.0f, 2.0f, 2.0f);
    glMatrixMode(GL_TEXTURE);
    glScalef(3.0f, 3.0f, 3.0f);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(5.0f, 0.0f, 0.0f);
    popRenderState();

    EXPECT_EQ(getInt(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_FALSE(on(GL_BLEND));
    EXPECT_TRUE(on(GL_CULL_FACE));
    EXPECT_TRUE(on(GL_ALPHA_TEST));
    EXPECT_FALSE(on(GL_FOG));
    EXPECT_EQ(getInt(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(getInt(GL_BLEND_DST), GL_ONE);

    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 0.0f);
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_EQ(m[0], 2.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(RenderState, BeginScreenPassSetsTheFlatTwoDimensionalPreset)
{
    scrambleState();
    glEnable(GL_TEXTURE_2D);
    beginScreenPass(RENDER_ADD);
    EXPECT_TRUE(on(GL_BLEND));
    EXPECT_EQ(getInt(GL_BLEND_DST), GL_ONE);
    const GLenum offs[] = {GL_CULL_FACE, GL_LIGHTING, GL_FOG, GL_DEPTH_TEST, GL_TEXTURE_GEN_Q,
                           GL_TEXTURE_GEN_S, GL_TEXTURE_1D, GL_NORMALIZE, GL_AUTO_NORMAL,
                           GL_ALPHA_TEST};
    for (GLenum cap : offs)
        EXPECT_FALSE(on(cap)) << "capability 0x" << std::hex << cap;
    EXPECT_TRUE(on(GL_TEXTURE_2D));
    EXPECT_EQ(getInt(GL_DEPTH_WRITEMASK), GL_FALSE);
    EXPECT_EQ(getInt(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(camera.nearPlane, -1.0f);
    EXPECT_EQ(camera.farPlane, 1.0f);
    EXPECT_EQ(camera.projectionShift.x, 0.0f);
    EXPECT_EQ(camera.upVector.x, 0.0f);
    EXPECT_EQ(camera.upVector.y, 1.0f);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[1], 60);
    EXPECT_EQ(viewport[3], 360);
}

TEST_F(RenderState, ClearFrameFillsTheLetterboxWithTheRecordColour)
{
    fillWindow(1.0f, 0.0f, 0.0f);
    const ClearColour blue = {0.2f, 0.4f, 0.8f, 1.0f};
    clearFrame(&blue);
    std::array<int, 3> inside = pixel(320, 240);
    EXPECT_NEAR(inside[0], 51, 1);
    EXPECT_NEAR(inside[1], 102, 1);
    EXPECT_NEAR(inside[2], 204, 1);
    EXPECT_EQ(pixel(320, 61), inside);
    EXPECT_EQ(pixel(320, 30), (std::array<int, 3>{0, 0, 0})) << "the bars get no colour";
    EXPECT_EQ(pixel(320, 450), (std::array<int, 3>{0, 0, 0}));

    clearFrame(&defaultClearColour);
    EXPECT_EQ(pixel(320, 240), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(RenderState, ClearFrameKnowsTheDefaultRecordByItsAddress)
{
    // The quad leaves its additive blend function behind (the bracket does not save it): that
    // is how the two black records are told apart.
    const ClearColour alsoBlack = defaultClearColour;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    clearFrame(&defaultClearColour);
    EXPECT_EQ(getInt(GL_BLEND_SRC), GL_SRC_ALPHA);

    clearFrame(&alsoBlack);
    EXPECT_EQ(getInt(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(getInt(GL_BLEND_DST), GL_ONE);
    EXPECT_FALSE(on(GL_BLEND));
    EXPECT_EQ(pixel(320, 240), (std::array<int, 3>{0, 0, 0}));
}

TEST_F(RenderState, FullWindowClearsAreCountedOnlyOnceTheShowRuns)
{
    // glClear is not bounded by the viewport, so the wipe itself is not visible in the pixels:
    // the count is what decides it.
    showStarted = 0;
    renderPresets.fullWindowClears = 0;
    clearFrame(&defaultClearColour);
    EXPECT_EQ(renderPresets.fullWindowClears, 0);
    showStarted = 1;
    for (int frame = 0; frame < FULL_WINDOW_CLEAR_FRAMES + 2; ++frame)
        beginFrame(&defaultClearColour);
    beginFrame(nullptr);
    EXPECT_EQ(renderPresets.fullWindowClears, FULL_WINDOW_CLEAR_FRAMES + 2);
    showStarted = 0;
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    EXPECT_EQ(v[1], 60) << "the letterbox viewport is left set";
}

TEST_F(RenderState, LinearFogHalfwayGivesHalfTheFogColourUntilTheNextReset)
{
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    auto drawBlackQuadAt = [](float z) {
        camera.nearPlane = 1.0f;
        camera.farPlane = 200.0f;
        setPerspectiveView(90.0f, 0);
        glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
        glBegin(GL_QUADS);
        glVertex3f(-100.0f, -100.0f, z);
        glVertex3f(100.0f, -100.0f, z);
        glVertex3f(100.0f, 100.0f, z);
        glVertex3f(-100.0f, 100.0f, z);
        glEnd();
    };

    beginFrame(&defaultClearColour);
    linearFog(white, 0.0f, 115.0f);
    EXPECT_TRUE(on(GL_FOG));
    EXPECT_EQ(getInt(GL_FOG_MODE), GL_LINEAR);
    EXPECT_EQ(getInt(GL_FOG_HINT), GL_DONT_CARE);
    GLfloat density = 0.0f;
    glGetFloatv(GL_FOG_DENSITY, &density);
    EXPECT_EQ(density, 1.0f);
    drawBlackQuadAt(-57.5f);
    std::array<int, 3> p = pixel(320, 240);
    for (int c : p)
        EXPECT_NEAR(c, 128, 2);

    beginFrame(&defaultClearColour);
    EXPECT_FALSE(on(GL_FOG));
    drawBlackQuadAt(-57.5f);
    EXPECT_EQ(pixel(320, 240), (std::array<int, 3>{0, 0, 0}));
}
