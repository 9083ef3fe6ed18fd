// Camera and projection: viewports, the projection matrices and the derived clipping distances.
#include "render/render.h"

#include "app/app.h"
#include "render/gl.h"
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

std::array<GLint, 4> viewport()
{
    std::array<GLint, 4> v{};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

// translate(shift) x perspective(fov, 1.6, near, far), column-major.
Matrix perspective(double fov, double n, double f, float sx = 0, float sy = 0)
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

const Matrix IDENTITY = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void expectNear(const Matrix& got, const Matrix& want)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(got[i], want[i], 1e-4f * std::max(1.0f, std::fabs(want[i]))) << "element " << i;
}

class Camera : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureGLContext();
        saved = frameRecord;
        beginFrame(nullptr);
    }
    void TearDown() override { setDrawableSize(saved.width, saved.height); }
    FrameRecord saved;
};

const CameraEye EYE_AT_10 = {{0.0f, 0.0f, 10.0f}, 0.0f};
const Vec3 ORIGIN = {0.0f, 0.0f, 0.0f};

}   // namespace

TEST_F(Camera, LetterboxAndRenderTargetViewportsInEveryMode)
{
    const std::array<GLint, 4> modes[] = {
        {640, 480, 60, 360}, {800, 600, 75, 450}, {1024, 768, 96, 576}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode[0]);
        setDrawableSize(mode[0], mode[1]);
        const std::array<GLint, 4> letterbox = {0, mode[2], mode[0], mode[3]};
        setOrthoView(RENDER_ADD);
        EXPECT_EQ(viewport(), letterbox);
        setPerspectiveView(60.0f, RENDER_TO_TEXTURE);
        EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 512, 256}));
        lookAtCamera(EYE_AT_10, ORIGIN, 0);
        EXPECT_EQ(viewport(), letterbox);
        setOrthoView(RENDER_TO_TEXTURE | RENDER_ALPHA_BLEND);
        EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 512, 256}));
    }
}

TEST_F(Camera, LookAtDerivesClippingFromTheEyeDistanceUntilTheNextReset)
{
    lookAtCamera(EYE_AT_10, ORIGIN, 0);
    EXPECT_FLOAT_EQ(camera.farPlane, 20.0f);
    EXPECT_FLOAT_EQ(camera.nearPlane, 0.02f);
    expectNear(matrix(GL_PROJECTION_MATRIX), perspective(90.0, 0.02, 20.0));   // fov 0 is 90
    EXPECT_FLOAT_EQ(matrix(GL_MODELVIEW_MATRIX)[14], -10.0f);
    EXPECT_EQ(glInteger(GL_MATRIX_MODE), GL_MODELVIEW);

    lookAtCamera({{0.0f, 0.0f, 50.0f}, 45.0f}, ORIGIN, 0);
    expectNear(matrix(GL_PROJECTION_MATRIX), perspective(45.0, 0.02, 20.0));

    // Set by the scene, shifted, and a zero near with a positive far is kept as it is.
    beginFrame(nullptr);
    camera.nearPlane = 0.0f;
    camera.farPlane = 60.0f;
    camera.projectionShift = projectionShiftPreset;
    lookAtCamera({{1.0f, 2.0f, 3.0f}, 70.0f}, ORIGIN, 0);
    EXPECT_EQ(camera.nearPlane, 0.0f);
    EXPECT_EQ(camera.farPlane, 60.0f);
    expectNear(matrix(GL_PROJECTION_MATRIX), perspective(70.0, 0.0, 60.0, 0.236f, -0.236f));
    expectNear(matrix(GL_TEXTURE_MATRIX), IDENTITY);
    setOrthoView(0);
    EXPECT_FLOAT_EQ(matrix(GL_PROJECTION_MATRIX)[10], 2.0f / 60.0f);
}

TEST_F(Camera, OrthoRangeAfterBeginFrameAndAfterScreenPass)
{
    setOrthoView(0);
    EXPECT_FLOAT_EQ(camera.nearPlane, 0.1f);
    EXPECT_FLOAT_EQ(camera.farPlane, 10.0f);
    Matrix m = matrix(GL_PROJECTION_MATRIX);   // glOrtho with near -0.1 and far -10
    EXPECT_NEAR(m[10], 2.0 / 9.9, 1e-6);
    EXPECT_NEAR(m[14], -10.1 / 9.9, 1e-6);
    expectNear(matrix(GL_MODELVIEW_MATRIX), IDENTITY);

    beginScreenPass(0);
    m = matrix(GL_PROJECTION_MATRIX);
    EXPECT_FLOAT_EQ(m[10], 1.0f);
    EXPECT_FLOAT_EQ(m[14], 0.0f);
}

TEST_F(Camera, DegenerateLookAtKeepsTheProjectionAndAnIdentityView)
{
    // The eye on its target: near and far stay 0 and no look-at exists.
    const CameraEye onTarget = {{2.0f, 3.0f, 4.0f}, 60.0f};
    lookAtCamera(onTarget, onTarget.position, 0);
    expectNear(matrix(GL_MODELVIEW_MATRIX), IDENTITY);
    for (float v : matrix(GL_PROJECTION_MATRIX))
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // Looking straight along the up vector, then with an up vector that makes it valid.
    beginFrame(nullptr);
    lookAtCamera({{0.0f, 10.0f, 0.0f}, 60.0f}, ORIGIN, 0);
    expectNear(matrix(GL_PROJECTION_MATRIX), perspective(60.0, 0.02, 20.0));
    expectNear(matrix(GL_MODELVIEW_MATRIX), IDENTITY);
    camera.upVector = {0.0f, 0.0f, 1.0f};
    lookAtCamera({{0.0f, 10.0f, 0.0f}, 60.0f}, ORIGIN, 0);
    EXPECT_FLOAT_EQ(matrix(GL_MODELVIEW_MATRIX)[14], -10.0f);
}
