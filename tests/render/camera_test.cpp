// Camera and projection: viewports, the projection matrices and the derived clipping distances.
#include "render/render.h"

#include "app/app.h"
#include "app/gl.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

using Matrix = std::array<float, 16>;

Matrix matrix(GLenum which)
{
    Matrix m{};
    glGetFloatv(which, m.data());
    return m;
}

GLint getIntMatrixMode()
{
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    return mode;
}

std::array<GLint, 4> viewport()
{
    std::array<GLint, 4> v{};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

// What translate(shift) x perspective(fov, 1.6, near, far) must give, column-major.
Matrix expectedPerspective(double fov, double n, double f, float sx, float sy)
{
    double cot = 1.0 / std::tan(fov / 2.0 * M_PI / 180.0);
    Matrix m{};
    m[0] = (float)(cot / 1.6);
    m[5] = (float)cot;
    m[8] = -sx;
    m[9] = -sy;
    m[10] = (float)(-(f + n) / (f - n));
    m[11] = -1.0f;
    m[14] = (float)(-2.0 * f * n / (f - n));
    return m;
}

void expectMatrixNear(const Matrix& got, const Matrix& want)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-4f * std::max(1.0f, std::fabs(want[i]))) << "element " << i;
}

void expectIdentity(const Matrix& m)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "element " << i;
}

class Camera : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGLContext();
        savedWidth = displaySettings.width;
        savedHeight = displaySettings.height;
        showStarted = 0;
        beginFrame(nullptr);
    }
    void TearDown() override
    {
        displaySettings.width = savedWidth;
        displaySettings.height = savedHeight;
    }
    int32_t savedWidth = 0, savedHeight = 0;
};

const CameraEye EYE_AT_10 = {{0.0f, 0.0f, 10.0f}, 0.0f};
const Vec3 ORIGIN = {0.0f, 0.0f, 0.0f};

}  // namespace

TEST_F(Camera, LetterboxAndRenderTargetViewportsInEveryMode)
{
    struct Mode {
        int32_t w, h;
        std::array<GLint, 4> letterbox;
    };
    const Mode modes[] = {{640, 480, {0, 60, 640, 360}},
                          {800, 600, {0, 75, 800, 450}},
                          {1024, 768, {0, 96, 1024, 576}}};
    const std::array<GLint, 4> corner = {0, 0, 512, 256};
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.w);
        displaySettings.width = mode.w;
        displaySettings.height = mode.h;
        setOrthoView(0);
        EXPECT_EQ(viewport(), mode.letterbox);
        setPerspectiveView(60.0f, RENDER_TO_TEXTURE);
        EXPECT_EQ(viewport(), corner);
        setPerspectiveView(60.0f, RENDER_ADD);
        EXPECT_EQ(viewport(), mode.letterbox);
        lookAtCamera(EYE_AT_10, ORIGIN, RENDER_TO_TEXTURE | RENDER_ALPHA_BLEND);
        EXPECT_EQ(viewport(), corner);
    }
    // An odd height truncates both values.
    Viewport odd = viewportFor(100, 201, 0);
    EXPECT_EQ(odd.y, 25);
    EXPECT_EQ(odd.height, 150);
}

TEST_F(Camera, LookAtDerivesClippingFromTheEyeDistance)
{
    lookAtCamera(EYE_AT_10, ORIGIN, 0);
    EXPECT_FLOAT_EQ(camera.farPlane, 20.0f);
    EXPECT_FLOAT_EQ(camera.nearPlane, 0.02f);
    // Field of view 0 means 90 degrees.
    expectMatrixNear(matrix(GL_PROJECTION_MATRIX), expectedPerspective(90.0, 0.02, 20.0, 0, 0));
    Matrix view = matrix(GL_MODELVIEW_MATRIX);
    EXPECT_FLOAT_EQ(view[14], -10.0f);
    EXPECT_EQ(getIntMatrixMode(), GL_MODELVIEW);

    // Derived values stay until the next reset, even for a farther camera.
    lookAtCamera({{0.0f, 0.0f, 50.0f}, 45.0f}, ORIGIN, 0);
    EXPECT_FLOAT_EQ(camera.farPlane, 20.0f);
    expectMatrixNear(matrix(GL_PROJECTION_MATRIX), expectedPerspective(45.0, 0.02, 20.0, 0, 0));
}

TEST_F(Camera, PerspectiveIsShiftedByTheProjectionShift)
{
    camera.nearPlane = 0.5f;
    camera.farPlane = 60.0f;
    camera.projectionShift = projectionShiftPreset;
    lookAtCamera({{1.0f, 2.0f, 3.0f}, 70.0f}, ORIGIN, 0);
    EXPECT_EQ(camera.nearPlane, 0.5f);
    EXPECT_EQ(camera.farPlane, 60.0f);
    expectMatrixNear(matrix(GL_PROJECTION_MATRIX),
                     expectedPerspective(70.0, 0.5, 60.0, 0.236f, -0.236f));
    expectIdentity(matrix(GL_TEXTURE_MATRIX));
}

TEST_F(Camera, ZeroNearWithPositiveFarIsKept)
{
    camera.nearPlane = 0.0f;
    camera.farPlane = 50.0f;
    lookAtCamera(EYE_AT_10, ORIGIN, 0);
    EXPECT_EQ(camera.nearPlane, 0.0f);
    EXPECT_EQ(camera.farPlane, 50.0f);
    setOrthoView(0);
    EXPECT_EQ(camera.nearPlane, 0.0f);
    EXPECT_EQ(camera.farPlane, 50.0f);
    // glOrtho(..., -0, -50): z scale -2 / (-50 - 0).
    EXPECT_FLOAT_EQ(matrix(GL_PROJECTION_MATRIX)[10], 0.04f);
}

TEST_F(Camera, OrthoDefaultsAfterBeginFrameAndScreenPassRange)
{
    setOrthoView(0);
    EXPECT_FLOAT_EQ(camera.nearPlane, 0.1f);
    EXPECT_FLOAT_EQ(camera.farPlane, 10.0f);
    Matrix m = matrix(GL_PROJECTION_MATRIX);
    // glOrtho with near -0.1 and far -10.
    EXPECT_NEAR(m[10], -2.0 / (-10.0 + 0.1), 1e-6);
    EXPECT_NEAR(m[14], -(-10.0 - 0.1) / (-10.0 + 0.1), 1e-6);
    expectIdentity(matrix(GL_MODELVIEW_MATRIX));

    beginScreenPass(0);
    m = matrix(GL_PROJECTION_MATRIX);
    EXPECT_FLOAT_EQ(m[10], 1.0f);
    EXPECT_FLOAT_EQ(m[14], 0.0f);
}

TEST_F(Camera, DegenerateLookAtKeepsTheProjectionAndAnIdentityView)
{
    // The eye on its target: distance 0, so near and far stay 0 and no look-at is possible.
    const CameraEye onTarget = {{2.0f, 3.0f, 4.0f}, 60.0f};
    lookAtCamera(onTarget, onTarget.position, 0);
    expectIdentity(matrix(GL_MODELVIEW_MATRIX));
    for (float v : matrix(GL_PROJECTION_MATRIX))
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // Looking straight along the up vector.
    beginFrame(nullptr);
    lookAtCamera({{0.0f, 10.0f, 0.0f}, 60.0f}, ORIGIN, 0);
    EXPECT_FLOAT_EQ(camera.farPlane, 20.0f);
    expectMatrixNear(matrix(GL_PROJECTION_MATRIX), expectedPerspective(60.0, 0.02, 20.0, 0, 0));
    expectIdentity(matrix(GL_MODELVIEW_MATRIX));

    // An up vector of its own makes the same camera valid again.
    camera.upVector = {0.0f, 0.0f, 1.0f};
    lookAtCamera({{0.0f, 10.0f, 0.0f}, 60.0f}, ORIGIN, 0);
    EXPECT_FLOAT_EQ(matrix(GL_MODELVIEW_MATRIX)[14], -10.0f);
}
