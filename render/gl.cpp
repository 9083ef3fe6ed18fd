// The context facts of render/gl.h. They start as "nothing known" (no entry points, GL_CLAMP, no
// render target) until the platform layer fills them in.
#include "render/gl.h"

GLExtensions glext;
uint32_t clampWrapMode = GL_CLAMP;
int32_t renderTargetWidth = 0;
int32_t renderTargetHeight = 0;

uint32_t colourTextureFormat()
{
    GLint red = 0, green = 0, blue = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    return red + green + blue >= 32 ? GL_RGBA8 : GL_RGB8;
}

bool frameHasAlpha()
{
    GLint alpha = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    return alpha > 0;
}
