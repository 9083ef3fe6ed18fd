// The fog preset: linear fog in eye space, switched off again by the next beginFrame.
#include "render/render.h"

#include "render/gl.h"

void linearFog(const float* colour, float start, float end)
{
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_DENSITY, 1.0f);
    glFogfv(GL_FOG_COLOR, colour);
    glFogf(GL_FOG_START, start);
    glFogf(GL_FOG_END, end);
    glHint(GL_FOG_HINT, GL_DONT_CARE);
}
