// Render-state presets: the per-scene reset, the frame clear, the flag-word state and the
// full-screen pass preset, the push/pop bracket around drawing operations and the current colour.
#include "render/render.h"

#include "render/gl.h"

const ClearColour defaultClearColour = {0.0f, 0.0f, 0.0f, 1.0f};

RenderPresetState renderPresets = {0};
int32_t showStarted = 0;

namespace {

void resetCameraValues(float nearValue, float farValue)
{
    camera.projectionShift = {0.0f, 0.0f, 0.0f};
    camera.upVector = {0.0f, 1.0f, 0.0f};
    camera.nearPlane = nearValue;
    camera.farPlane = farValue;
}

void disableTexGen()
{
    glDisable(GL_TEXTURE_GEN_Q);
    glDisable(GL_TEXTURE_GEN_R);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

}   // namespace

void beginFrame(const ClearColour* clear)
{
    glFrontFace(GL_CCW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);

    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);

    disableTexGen();
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    // A crossfade bind leaves unit 1 textured; a full reset must not let it reach untextured
    // drawing. The binds leave unit 0 active, so this is also where we end up.
    if (glext.glActiveTextureARB) {
        glext.glActiveTextureARB(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        glext.glActiveTextureARB(GL_TEXTURE0_ARB);
    }

    glShadeModel(GL_SMOOTH);
    glEnable(GL_NORMALIZE);
    glDisable(GL_AUTO_NORMAL);

    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_ALWAYS, 0.0f);

    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_DITHER);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POLYGON_SMOOTH);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_LINE_STIPPLE);
    glDisable(GL_COLOR_LOGIC_OP);
    for (int plane = 0; plane < 6; ++plane)
        glDisable(GL_CLIP_PLANE0 + plane);

    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    const GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, black);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 0.0f);

    if (clear)
        clearFrame(clear);

    // Zero near and far: the next camera call derives its own.
    resetCameraValues(0.0f, 0.0f);
}

void clearWholeWindow()
{
    glViewport(0, 0, frameRecord.width, frameRecord.height);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

const char* takeGLError()
{
    switch (glGetError()) {
    case GL_NO_ERROR: return nullptr;
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
    default: return "UNKNOWN GL_ERROR";
    }
}

void finishDrawing()
{
    glFinish();
}

void clearFrame(const ClearColour* colour)
{
    if (showStarted == 1) {
        int32_t before = renderPresets.fullWindowClears++;
        if (before < FULL_WINDOW_CLEAR_FRAMES) {
            glViewport(0, 0, frameRecord.width, frameRecord.height);
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
    }

    Viewport box = viewportFor(0);
    glViewport(box.x, box.y, box.width, box.height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Recognised by address: another record of the same colour still gets its quad.
    if (colour == &defaultClearColour)
        return;

    pushRenderState();
    beginAdditiveFlat();
    glColor4f(colour->r, colour->g, colour->b, colour->a);
    float z = camera.nearPlane + 0.001f;
    glBegin(GL_QUADS);
    glVertex3f(-1.0f, 1.0f, z);
    glVertex3f(1.0f, 1.0f, z);
    glVertex3f(1.0f, -1.0f, z);
    glVertex3f(-1.0f, -1.0f, z);
    glEnd();
    popRenderState();
}

void applyRenderFlags(RenderFlags flags)
{
    RenderFlags f = flags & RENDER_FLAG_MASK;

    if (f & RENDER_NO_CULL) {
        glDisable(GL_CULL_FACE);
    } else {
        glEnable(GL_CULL_FACE);
        glCullFace((f & RENDER_CULL_FRONT) ? GL_FRONT : GL_BACK);
    }

    if (f & RENDER_NO_DEPTH) {
        glDisable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDepthMask(GL_FALSE);
    } else {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDepthMask((f & RENDER_NO_DEPTH_WRITE) ? GL_FALSE : GL_TRUE);
    }

    GLenum source = 0, destination = 0;
    bool blend = true;
    if (f & RENDER_ADD) {
        source = GL_ONE, destination = GL_ONE;
    } else if (f & RENDER_MUL_INVERSE) {
        source = GL_ZERO, destination = GL_ONE_MINUS_SRC_COLOR;
    } else if (f & RENDER_MUL) {
        source = GL_ZERO, destination = GL_SRC_COLOR;
    } else if (f & RENDER_ALPHA_BLEND) {
        source = GL_SRC_ALPHA, destination = GL_ONE_MINUS_SRC_ALPHA;
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.0f);
    } else if (f & RENDER_SCREEN) {
        source = GL_ONE, destination = GL_ONE_MINUS_SRC_COLOR;
    } else {
        blend = false;
    }
    if (blend) {
        glEnable(GL_BLEND);
        glBlendFunc(source, destination);
        glDepthFunc(GL_LEQUAL);
    } else {
        glDisable(GL_BLEND);
    }

    glShadeModel((f & RENDER_FLAT) ? GL_FLAT : GL_SMOOTH);

    if (f & RENDER_STENCIL_MARK) {
        glEnable(GL_STENCIL_TEST);
        glStencilFunc(GL_ALWAYS, 1, 0xFFFFFFFFu);
        glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    }
}

bool blendLeavesFrame(RenderFlags flags, const float* colour, bool frameAlpha)
{
    RenderFlags f = flags & RENDER_FLAG_MASK;
    if (f & RENDER_STENCIL_MARK)
        return false;
    bool noColour = colour[0] == 0.0f && colour[1] == 0.0f && colour[2] == 0.0f;
    bool noAlpha = colour[3] == 0.0f || !frameAlpha;
    // The order of applyRenderFlags: the first blend bit set wins.
    if (f & (RENDER_ADD | RENDER_MUL_INVERSE))
        return noColour && noAlpha;
    if (f & RENDER_MUL)
        return false;
    if (f & RENDER_ALPHA_BLEND)
        return colour[3] == 0.0f;
    if (f & RENDER_SCREEN)
        return noColour && noAlpha;
    return false;
}

void beginScreenPass(RenderFlags flags)
{
    applyRenderFlags(flags);

    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_DEPTH_TEST);
    disableTexGen();
    glDisable(GL_TEXTURE_1D);

    glShadeModel(GL_SMOOTH);
    glDisable(GL_NORMALIZE);
    glDisable(GL_AUTO_NORMAL);
    glDisable(GL_ALPHA_TEST);

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glDepthMask(GL_FALSE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    resetCameraValues(-1.0f, 1.0f);
    setOrthoView(flags);
}

void pushRenderState()
{
    glPushAttrib(RENDER_STATE_ATTRIBUTES);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
}

void popRenderState()
{
    // The attributes first: they bring back the active texture unit whose matrix was pushed.
    glPopAttrib();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void setColour(float red, float green, float blue, float alpha)
{
    glColor4f(red, green, blue, alpha);
}

void setColour(float red, float green, float blue)
{
    glColor3f(red, green, blue);
}

void beginAdditiveFlat()
{
    setOrthoView(0);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
}
