// Camera and projection: the letterbox viewport, the orthographic and perspective projections and
// the look-at camera that derives its clipping distances from the eye-target distance, and the
// model-view transforms that place copies of a model under it.
#include "render/render.h"

#include "render/gl.h"

#include <cmath>

CameraState camera = {0.0f, 0.0f, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};

const Vec3 projectionShiftPreset = {0.236f, -0.236f, 0.0f};

Viewport viewportFor(int32_t windowWidth, int32_t windowHeight, RenderFlags flags)
{
    if (flags & RENDER_TO_TEXTURE)
        return {0, 0, RENDER_TO_TEXTURE_WIDTH, RENDER_TO_TEXTURE_HEIGHT};
    return {0, (int32_t)(windowHeight * 0.25 * 0.5), windowWidth, (int32_t)(windowHeight * 0.75)};
}

Viewport viewportFor(RenderFlags flags)
{
    return viewportFor(frameRecord.width, frameRecord.height, flags);
}

namespace {

void setViewport(RenderFlags flags)
{
    Viewport v = viewportFor(flags);
    glViewport(v.x, v.y, v.width, v.height);
}

void loadIdentity(GLenum mode)
{
    glMatrixMode(mode);
    glLoadIdentity();
}

}   // namespace

void setOrthoView(RenderFlags flags)
{
    if (camera.nearPlane <= 0.0f && camera.farPlane <= 0.0f) {
        camera.nearPlane = 0.1f;
        camera.farPlane = 10.0f;
    }
    setViewport(flags);
    loadIdentity(GL_TEXTURE);
    loadIdentity(GL_PROJECTION);
    glOrtho(-1.0, 1.0, -1.0, 1.0, -camera.nearPlane, -camera.farPlane);
    loadIdentity(GL_MODELVIEW);
}

void setPerspectiveView(float fieldOfView, RenderFlags flags)
{
    setViewport(flags);
    loadIdentity(GL_TEXTURE);
    loadIdentity(GL_PROJECTION);
    glTranslatef(camera.projectionShift.x, camera.projectionShift.y, 0.0f);
    gluPerspective(fieldOfView, PERSPECTIVE_ASPECT, camera.nearPlane, camera.farPlane);
    loadIdentity(GL_MODELVIEW);
}

void lookAtCamera(const CameraEye& eye, const Vec3& target, RenderFlags flags)
{
    float dx = target.x - eye.position.x;
    float dy = target.y - eye.position.y;
    float dz = target.z - eye.position.z;
    if (camera.nearPlane <= 0.0f && camera.farPlane <= 0.0f) {
        float distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        camera.farPlane = 2.0f * distance;
        camera.nearPlane = 2.0f * distance * 0.001f;
    }
    setPerspectiveView(eye.fieldOfView != 0.0f ? eye.fieldOfView : 90.0f, flags);

    // The look-at is undefined with no view direction or an up vector along it: its matrix would
    // be degenerate or not-a-number. Keep the identity so the frame stays drawable.
    const Vec3& up = camera.upVector;
    float sx = dy * up.z - dz * up.y;
    float sy = dz * up.x - dx * up.z;
    float sz = dx * up.y - dy * up.x;
    if (sx == 0.0f && sy == 0.0f && sz == 0.0f)
        return;
    gluLookAt(eye.position.x, eye.position.y, eye.position.z, target.x, target.y, target.z, up.x,
              up.y, up.z);
}

void selectModelView()
{
    glMatrixMode(GL_MODELVIEW);
}

void pushModelView()
{
    glPushMatrix();
}

void popModelView()
{
    glPopMatrix();
}

void scaleModelView(float factor)
{
    glScalef(factor, factor, factor);
}

void rotateModelViewY(float degrees)
{
    glRotatef(degrees, 0.0f, 1.0f, 0.0f);
}
