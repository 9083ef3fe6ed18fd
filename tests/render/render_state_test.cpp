// Render-state presets and fog, read back from the OpenGL state and the frame buffer.
#include "render/render.h"

#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

namespace {

void expectInts(const std::vector<std::pair<GLenum, GLint>>& wanted)
{
    for (auto [what, want] : wanted)
        EXPECT_EQ(glInteger(what), want) << "state 0x" << std::hex << what;
}

void expectEnabled(const std::vector<GLenum>& caps, bool want)
{
    for (GLenum cap : caps)
        EXPECT_EQ(glEnabled(cap), want) << "capability 0x" << std::hex << cap;
}

// Near, far, the projection shift and the up vector's x and y.
std::array<float, 6> cameraState()
{
    return {camera.nearPlane,         camera.farPlane,   camera.projectionShift.x,
            camera.projectionShift.y, camera.upVector.x, camera.upVector.y};
}

// Leftovers of earlier passes: each of them would hide or change a plain white square drawn
// after a reset, or (the last group) shows in no pixel here.
const std::vector<GLenum> LEFT_ON = {GL_LIGHTING,       GL_BLEND,          GL_FOG,
                                     GL_SCISSOR_TEST,   GL_COLOR_LOGIC_OP, GL_CLIP_PLANE5,
                                     GL_COLOR_MATERIAL, GL_TEXTURE_2D};
// The frame has no stencil bits.
const std::vector<GLenum> UNSEEN_ON = {
    GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_Q, GL_TEXTURE_1D,     GL_AUTO_NORMAL,  GL_DITHER,
    GL_LINE_SMOOTH,   GL_POINT_SMOOTH,  GL_POLYGON_SMOOTH, GL_LINE_STIPPLE, GL_STENCIL_TEST};

void scrambleState()
{
    static GLuint black = 0;
    const uint8_t texel[4] = {0, 0, 0, 255};
    for (GLenum unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
        glext.glActiveTextureARB(unit);
        if (!black) {
            glGenTextures(1, &black);
            glBindTexture(GL_TEXTURE_2D, black);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        }
        glBindTexture(GL_TEXTURE_2D, black);
        glEnable(GL_TEXTURE_2D);
    }
    for (const std::vector<GLenum>* caps : {&LEFT_ON, &UNSEEN_ON})
        for (GLenum cap : *caps)
            glEnable(cap);
    for (GLenum cap : {GL_CULL_FACE, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_NORMALIZE})
        glDisable(cap);
    glBlendFunc(GL_ZERO, GL_ZERO);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, -2.0f);   // fully fogged at any distance
    glFogf(GL_FOG_END, -1.0f);
    glScissor(0, 0, 1, 1);
    glLogicOp(GL_CLEAR);
    const GLdouble nowhere[4] = {0, 0, 0, -1};
    glClipPlane(GL_CLIP_PLANE5, nowhere);
    glFrontFace(GL_CW);
    glCullFace(GL_FRONT);
    glDepthFunc(GL_GREATER);
    glShadeModel(GL_FLAT);
    glAlphaFunc(GL_LESS, 0.5f);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    glDepthMask(GL_FALSE);
    glColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_TRUE);
    const GLfloat odd[4] = {0.3f, 0.3f, 0.3f, 0.3f};
    for (GLenum m : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION})
        glMaterialfv(GL_FRONT_AND_BACK, m, odd);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 20.0f);
    camera = {3.0f, 4.0f, {1.0f, 2.0f, 3.0f}, {1.0f, 0.0f, 0.0f}};
}

class RenderState : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGLContext();
        showStarted = 0;
        beginFrame(nullptr);
    }
};

}   // namespace

TEST_F(RenderState, BeginFrameResetsThePipelineAndTheCamera)
{
    scrambleState();
    beginFrame(&defaultClearColour);
    EXPECT_EQ(cameraState(), (std::array<float, 6>{0, 0, 0, 0, 0, 1}));
    expectEnabled(UNSEEN_ON, false);
    expectEnabled({GL_ALPHA_TEST}, true);
    expectInts({{GL_SHADE_MODEL, GL_SMOOTH},
                {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
                {GL_DEPTH_WRITEMASK, GL_TRUE}});
    // A counter-clockwise square at depth 0.5, in front of the cleared depth, in the current
    // colour; then lit head-on with a normal of length 2, where it shows the material's diffuse
    // 0.8 and nothing else.
    for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }
    glRectf(-0.5f, -0.5f, 0.5f, 0.5f);
    EXPECT_EQ(pixelRGB(320, 240), (std::array<int, 3>{255, 255, 255}));
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glNormal3f(0, 0, 2);
    glColor3f(0.5f, 0.5f, 0.5f);   // the material, were colour material left on
    glRectf(-0.5f, -0.5f, 0.5f, 0.5f);
    glDisable(GL_LIGHT0);
    EXPECT_EQ(pixelRGB(320, 240), (std::array<int, 3>{204, 204, 204}));
    beginFrame(nullptr);
}

TEST_F(RenderState, ApplyRenderFlagsCullingDepthShadingAndWhatItLeavesAlone)
{
    // 0x4000 and every other bit outside the mask act as 0; the alpha test and the stencil test
    // keep what they had without a blend bit or the stencil bit.
    for (RenderFlags flags : {0u, RENDER_TO_TEXTURE, ~RENDER_FLAG_MASK}) {
        SCOPED_TRACE(flags);
        scrambleState();
        glEnable(GL_ALPHA_TEST);
        applyRenderFlags(flags);
        expectEnabled({GL_CULL_FACE, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_STENCIL_TEST}, true);
        expectEnabled({GL_BLEND}, false);
        expectInts({{GL_CULL_FACE_MODE, GL_BACK},
                    {GL_DEPTH_FUNC, GL_LESS},
                    {GL_DEPTH_WRITEMASK, GL_TRUE},
                    {GL_SHADE_MODEL, GL_SMOOTH},
                    {GL_ALPHA_TEST_FUNC, GL_LESS}});
    }
    applyRenderFlags(RENDER_NO_CULL | RENDER_NO_DEPTH | RENDER_NO_DEPTH_WRITE | RENDER_FLAT);
    expectEnabled({GL_CULL_FACE, GL_DEPTH_TEST}, false);
    expectInts({{GL_DEPTH_WRITEMASK, GL_FALSE}, {GL_SHADE_MODEL, GL_FLAT}});
    applyRenderFlags(RENDER_CULL_FRONT | RENDER_NO_DEPTH_WRITE);
    expectEnabled({GL_CULL_FACE, GL_DEPTH_TEST}, true);
    expectInts(
        {{GL_CULL_FACE_MODE, GL_FRONT}, {GL_DEPTH_FUNC, GL_LESS}, {GL_DEPTH_WRITEMASK, GL_FALSE}});
}

TEST_F(RenderState, ApplyRenderFlagsFirstBlendBitWins)
{
    struct Row {
        RenderFlags flags;
        GLint source, destination;
    };
    const Row rows[] = {
        {RENDER_ADD | RENDER_MUL | RENDER_ALPHA_BLEND, GL_ONE, GL_ONE},
        {RENDER_MUL_INVERSE | RENDER_ALPHA_BLEND, GL_ZERO, GL_ONE_MINUS_SRC_COLOR},
        {RENDER_MUL | RENDER_SCREEN, GL_ZERO, GL_SRC_COLOR},
        {RENDER_ALPHA_BLEND | RENDER_SCREEN, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {RENDER_SCREEN, GL_ONE, GL_ONE_MINUS_SRC_COLOR},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        glDisable(GL_ALPHA_TEST);
        applyRenderFlags(row.flags);
        EXPECT_TRUE(glEnabled(GL_BLEND));
        expectInts({{GL_BLEND_SRC, row.source},
                    {GL_BLEND_DST, row.destination},
                    {GL_DEPTH_FUNC, GL_LEQUAL}});
        // Only the alpha-blend row switches the alpha test on.
        bool alphaRow = row.source == GL_SRC_ALPHA;
        EXPECT_EQ(glEnabled(GL_ALPHA_TEST), alphaRow);
        if (alphaRow) {
            EXPECT_EQ(glInteger(GL_ALPHA_TEST_FUNC), GL_GREATER);
        }
    }

    applyRenderFlags(RENDER_STENCIL_MARK);
    EXPECT_TRUE(glEnabled(GL_STENCIL_TEST));
    expectInts({{GL_STENCIL_FUNC, GL_ALWAYS},
                {GL_STENCIL_FAIL, GL_KEEP},
                {GL_STENCIL_PASS_DEPTH_FAIL, GL_KEEP},
                {GL_STENCIL_PASS_DEPTH_PASS, GL_INCR}});
    // Read back through the clamps: the reference to the stencil bits, the mask to an int.
    if (glInteger(GL_STENCIL_BITS) > 0) {
        EXPECT_EQ(glInteger(GL_STENCIL_REF), 1);
    }
    GLint mask = glInteger(GL_STENCIL_VALUE_MASK);
    EXPECT_TRUE(mask == -1 || mask == 0x7FFFFFFF) << mask;
}

TEST_F(RenderState, PushPopRestoresEnablesAndMatricesButNotBlendFunctionOrProjection)
{
    glBlendFunc(GL_ONE, GL_ZERO);
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glLoadIdentity();
    }

    pushRenderState();
    EXPECT_EQ(glInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    applyRenderFlags(RENDER_ADD | RENDER_NO_CULL);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_FOG);
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glScalef(2.0f, 2.0f, 2.0f);
    }
    popRenderState();

    expectEnabled({GL_CULL_FACE, GL_ALPHA_TEST}, true);
    expectEnabled({GL_BLEND, GL_FOG}, false);
    expectInts({{GL_MATRIX_MODE, GL_MODELVIEW}, {GL_BLEND_SRC, GL_ONE}, {GL_BLEND_DST, GL_ONE}});
    const std::pair<GLenum, float> scales[] = {
        {GL_MODELVIEW_MATRIX, 1.0f}, {GL_TEXTURE_MATRIX, 1.0f}, {GL_PROJECTION_MATRIX, 2.0f}};
    for (auto [which, want] : scales) {
        GLfloat m[16];
        glGetFloatv(which, m);
        EXPECT_EQ(m[0], want) << "matrix 0x" << std::hex << which;
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(RenderState, BeginScreenPassSetsTheTwoDimensionalPreset)
{
    scrambleState();
    beginScreenPass(RENDER_ADD);
    expectEnabled({GL_CULL_FACE, GL_LIGHTING, GL_FOG, GL_DEPTH_TEST, GL_TEXTURE_GEN_Q,
                   GL_TEXTURE_GEN_S, GL_TEXTURE_1D, GL_NORMALIZE, GL_AUTO_NORMAL, GL_ALPHA_TEST},
                  false);
    expectEnabled({GL_BLEND, GL_TEXTURE_2D}, true);
    expectInts(
        {{GL_BLEND_DST, GL_ONE}, {GL_DEPTH_WRITEMASK, GL_FALSE}, {GL_SHADE_MODEL, GL_SMOOTH}});
    EXPECT_EQ(cameraState(), (std::array<float, 6>{-1, 1, 0, 0, 0, 1}));
}

TEST_F(RenderState, ClearFrameAddsAnyRecordButTheDefaultOneAsBackground)
{
    const ClearColour blue = {0.2f, 0.4f, 0.8f, 1.0f};
    clearFrame(&blue);
    EXPECT_EQ(pixelRGB(320, 240), (std::array<int, 3>{51, 102, 204}));
    EXPECT_EQ(pixelRGB(320, 61), pixelRGB(320, 240));
    EXPECT_EQ(pixelRGB(320, 30), (std::array<int, 3>{0, 0, 0})) << "the bars get no colour";

    // The default record is known by its address. The quad leaves its additive blend function
    // behind (the bracket does not save it), which tells the two black records apart.
    const ClearColour alsoBlack = defaultClearColour;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    clearFrame(&defaultClearColour);
    EXPECT_EQ(pixelRGB(320, 240), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(glInteger(GL_BLEND_SRC), GL_SRC_ALPHA);
    clearFrame(&alsoBlack);
    expectInts({{GL_BLEND_SRC, GL_ONE}, {GL_BLEND_DST, GL_ONE}});
    EXPECT_FALSE(glEnabled(GL_BLEND));
    EXPECT_EQ(pixelRGB(320, 240), (std::array<int, 3>{0, 0, 0}));

    // Full-window wipes are counted only once the show runs (glClear ignores the viewport, so
    // the wipe itself leaves no trace in the pixels).
    renderPresets.fullWindowClears = 0;
    clearFrame(&defaultClearColour);
    showStarted = 1;
    for (int frame = 0; frame < FULL_WINDOW_CLEAR_FRAMES + 2; ++frame)
        beginFrame(&defaultClearColour);
    beginFrame(nullptr);
    showStarted = 0;
    EXPECT_EQ(renderPresets.fullWindowClears, FULL_WINDOW_CLEAR_FRAMES + 2);
}

TEST_F(RenderState, LinearFogHalfwayGivesHalfTheFogColourUntilTheNextReset)
{
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    auto blackWallAt = [](float z) {
        camera.nearPlane = 1.0f;
        camera.farPlane = 200.0f;
        setPerspectiveView(90.0f, 0);
        glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
        glTranslatef(0.0f, 0.0f, z);
        glRectf(-100.0f, -100.0f, 100.0f, 100.0f);
    };
    beginFrame(&defaultClearColour);
    linearFog(white, 0.0f, 115.0f);
    EXPECT_EQ(glInteger(GL_FOG_HINT), GL_DONT_CARE);
    blackWallAt(-57.5f);
    for (int c : pixelRGB(320, 240))
        EXPECT_NEAR(c, 128, 2);

    beginFrame(&defaultClearColour);
    EXPECT_FALSE(glEnabled(GL_FOG));
    blackWallAt(-57.5f);
    EXPECT_EQ(pixelRGB(320, 240), (std::array<int, 3>{0, 0, 0}));
}
