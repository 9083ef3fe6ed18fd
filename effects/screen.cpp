// Screen-space passes: image layers with a panned, scaled and rotated texture matrix, whole
// textures under a chosen blend, and grid warps textured through a callback.
#include "support/upcalls.h"
#include "render/gl.h"
#include "effects/screen.h"

#include <vector>

namespace {

float passDepth()
{
    return camera.nearPlane + 0.001f;
}

// The blend of drawScreenTexture: the first of these bits wins; none replaces.
void setBlendFromFlags(RenderFlags flags)
{
    glEnable(GL_BLEND);
    if (flags & RENDER_ADD)
        glBlendFunc(GL_ONE, GL_ONE);
    else if (flags & RENDER_MUL_INVERSE)
        glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_COLOR);
    else if (flags & RENDER_MUL)
        glBlendFunc(GL_ZERO, GL_SRC_COLOR);
    else if (flags & RENDER_ALPHA_BLEND)
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    else if (flags & RENDER_SCREEN)
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
    else
        glDisable(GL_BLEND);
}

void drawTexturedScreen(const Texture* texture, float brightness, float m, RenderFlags flags)
{
    pushRenderState();
    setBlendFromFlags(flags);
    setOrthoView(flags);
    bindTexture(texture, flags);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glColor4f(brightness, brightness, brightness, brightness);
    float z = passDepth();
    glBegin(GL_QUADS);
    glTexCoord2f(m, m);
    glVertex3f(-1, -1, z);
    glTexCoord2f(1 - m, m);
    glVertex3f(1, -1, z);
    glTexCoord2f(1 - m, 1 - m);
    glVertex3f(1, 1, z);
    glTexCoord2f(m, 1 - m);
    glVertex3f(-1, 1, z);
    glEnd();
    popRenderState();
}

}   // namespace

void drawScreenImage(const Texture* texture, float panS, float panT, float divisor, float zoomS,
                     float zoomT, float angle, float alpha, RenderFlags flags)
{
    pushRenderState();
    applyRenderFlags(flags);
    bindTexture(texture, flags);
    beginScreenPass(flags);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslatef(panS, panT, 0);
    glTranslatef(0.5f, 0.5f, 0);
    glScalef(zoomS / divisor, zoomT / divisor, 1);
    glRotatef(angle, 0, 0, 1);
    glTranslatef(-0.5f, -0.5f, 0);
    glMatrixMode(GL_MODELVIEW);
    float g = (flags & RENDER_ALPHA_BLEND) ? 1.0f : alpha;
    glColor4f(g, g, g, alpha);
    float z = passDepth();
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex3f(-1, -1, z);
    glTexCoord2f(1, 1);
    glVertex3f(1, -1, z);
    glTexCoord2f(1, 0);
    glVertex3f(1, 1, z);
    glTexCoord2f(0, 0);
    glVertex3f(-1, 1, z);
    glEnd();
    popRenderState();
}

void drawScreenTexture(const Texture* texture, float brightness, RenderFlags flags)
{
    drawTexturedScreen(texture, brightness, 0.0f, flags);
}

void drawScreenTextureInset(const Texture* texture, float brightness, float margin,
                            RenderFlags flags)
{
    drawTexturedScreen(texture, brightness, margin, flags);
}

void drawGridWarp(const Texture* texture, int32_t columns, int32_t rows, float time,
                  GridWarpFn warp, float parameter, float amplitude, RenderFlags flags)
{
    if (columns <= 0 || rows <= 0)
        return;
    size_t W = (size_t)columns + 1;
    std::vector<Vec3> vertices(W * (rows + 1)), coords(W * (rows + 1));
    std::vector<uint32_t> indices((size_t)columns * rows * 4);
    pushRenderState();
    const Vec3 centre{0, 0, 0};
    float z = passDepth();
    for (int32_t i = 0; i <= rows; i++)
        for (int32_t j = 0; j <= columns; j++) {
            Vec3& v = vertices[i * W + j];
            v = Vec3{(float)j / columns, (float)i / rows, z};
            warp(&coords[i * W + j], time, &v, &centre, parameter, amplitude);
        }
    size_t k = 0;
    for (int32_t i = 0; i < rows; i++)
        for (int32_t j = 0; j < columns; j++) {
            indices[k++] = (uint32_t)(W * i + j);
            indices[k++] = (uint32_t)(W * i + j + 1);
            indices[k++] = (uint32_t)(W * (i + 1) + j + 1);
            indices[k++] = (uint32_t)(W * (i + 1) + j);
        }
    Viewport view = viewportFor(flags);
    glViewport(view.x, view.y, view.width, view.height);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    applyRenderFlags(flags);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    bindTexture(texture, flags);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisable(GL_TEXTURE_GEN_Q);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices.data());
    glext.glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(3, GL_FLOAT, 0, coords.data());
    glDrawElements(GL_QUADS, (GLsizei)indices.size(), GL_UNSIGNED_INT, indices.data());
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    popRenderState();
}
