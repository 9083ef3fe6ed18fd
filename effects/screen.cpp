// Screen-space passes: image layers with a panned, scaled and rotated texture matrix, whole
// textures under a chosen blend, screen quads from corner lists, tiles, letterbox fills, and grid
// warps textured through a callback.
#include "support/upcalls.h"
#include "render/gl.h"
#include "effects/effects_local.h"

#include <vector>

namespace {

float passDepth()
{
    return camera.nearPlane + 0.001f;
}

// The letterbox outline of the flashes and fills, corner by corner from the top left.
constexpr ScreenCorner LETTERBOX_OUTLINE[4] = {
    {-1, 1, 0, 0}, {1, 1, 0, 0}, {1, -1, 0, 0}, {-1, -1, 0, 0}};

// Every quad and polygon of the passes goes out through here: one batch of the primitive,
// each corner's texture coordinate (when textured) before its vertex at depth z.
void emitCorners(GLenum primitive, const ScreenCorner* corners, int32_t count, float z,
                 bool textured)
{
    glBegin(primitive);
    for (int32_t i = 0; i < count; i++) {
        if (textured)
            glTexCoord2f(corners[i].s, corners[i].t);
        glVertex3f(corners[i].x, corners[i].y, z);
    }
    glEnd();
}

// Whether a pass of this colour in all three channels and this alpha can change a pixel under
// the blend of the flags. The passes that cannot still set their state, which later draws rely on.
bool changesFrame(RenderFlags blend, float grey, float alpha)
{
    const float colour[4] = {grey, grey, grey, alpha};
    return !blendLeavesFrame(blend, colour, frameHasAlpha());
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
    const ScreenCorner corners[4] = {
        {-1, -1, m, m}, {1, -1, 1 - m, m}, {1, 1, 1 - m, 1 - m}, {-1, 1, m, 1 - m}};
    if (changesFrame(flags, brightness, brightness))
        emitCorners(GL_QUADS, corners, 4, passDepth(), true);
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
    const ScreenCorner corners[4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {1, 1, 1, 0}, {-1, 1, 0, 0}};
    if (changesFrame(flags, g, alpha))
        emitCorners(GL_QUADS, corners, 4, passDepth(), true);
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

void drawScreenQuads(const Texture* texture, const ScreenCorner* corners, int32_t quadCount,
                     float brightness, RenderFlags flags)
{
    beginScreenPass(flags);
    bindTexture(texture, 0);
    glColor4f(brightness, brightness, brightness, brightness);
    if (changesFrame(flags, brightness, brightness))
        emitCorners(GL_QUADS, corners, 4 * quadCount, 0.0f, true);
}

void scrollingLayerCorners(ScreenCorner* corners, float scroll, bool mirrored)
{
    const float edge = mirrored ? 1.0f : -1.0f;   // the outer edge of the half-screen layer
    const ScreenCorner layers[4 * SCROLLING_LAYER_QUADS] = {
        {edge, -1.0f, 0.0f, scroll + 1.0f}, {0.0f, -1.0f, 1.0f, scroll + 1.0f},
        {0.0f, 1.0f, 1.0f, scroll},         {edge, 1.0f, 0.0f, scroll},
        {edge, -1.0f, 0.0f, scroll + 0.5f}, {-edge, -1.0f, 1.0f, scroll + 0.5f},
        {-edge, 1.0f, 1.0f, scroll},        {edge, 1.0f, 0.0f, scroll}};
    for (int32_t i = 0; i < 4 * SCROLLING_LAYER_QUADS; i++)
        corners[i] = layers[i];
}

void drawScreenTiles(const Texture* texture, float offsetS, float offsetT, float repeatS,
                     float repeatT, RenderFlags flags)
{
    setOrthoView(flags);
    bindTexture(texture, 0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(repeatS, repeatT, 1);
    glMatrixMode(GL_MODELVIEW);
    applyRenderFlags(flags);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glColor4f(1, 1, 1, 1);
    const float s = offsetS, t = offsetT;
    const ScreenCorner corners[4] = {
        {-1, -1, s, t + 1}, {1, -1, s + 1, t + 1}, {1, 1, s + 1, t}, {-1, 1, s, t}};
    emitCorners(GL_POLYGON, corners, 4, passDepth(), true);
}

void addScreenGrey(float grey)
{
    beginAdditiveFlat();
    glColor4f(grey, grey, grey, 1.0f);
    if (changesFrame(RENDER_ADD, grey, 1.0f))
        emitCorners(GL_POLYGON, LETTERBOX_OUTLINE, 4, passDepth(), false);
}

void fillScreenAlpha(RenderFlags flags)
{
    beginScreenPass(flags);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glColor4f(1, 1, 1, 1);
    emitCorners(GL_POLYGON, LETTERBOX_OUTLINE, 4, passDepth(), false);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
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
