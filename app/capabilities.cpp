// The OpenGL capability check: the two required extensions, two texture units, the multitexture
// entry points and the swap interval.
#include "app/app_local.h"
#include "render/gl.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

int hasExtensionIn(const char* extensions, const char* name)
{
    if (!name || !extensions)
        return 0;
    size_t nameLength = std::strlen(name);
    const char* p = extensions;
    while (*p) {
        size_t run = std::strcspn(p, " ");
        if (run == nameLength && std::strncmp(p, name, run) == 0)
            return 1;
        p += run;
        if (*p == ' ')
            p++;
    }
    return 0;
}

int hasGLExtension(const char* name)
{
    return hasExtensionIn((const char*)glGetString(GL_EXTENSIONS), name);
}

void* getGLProc(const char* name)
{
    return SDL_GL_GetProcAddress(name);
}

// Each user checks for null.
void loadOptionalGLProcs()
{
    auto proc = [](auto* slot, const char* name) {
        *slot = (std::remove_reference_t<decltype(*slot)>)getGLProc(name);
    };
    proc(&glext.glGenFramebuffers, "glGenFramebuffers");
    proc(&glext.glBindFramebuffer, "glBindFramebuffer");
    proc(&glext.glGenRenderbuffers, "glGenRenderbuffers");
    proc(&glext.glBindRenderbuffer, "glBindRenderbuffer");
    proc(&glext.glRenderbufferStorage, "glRenderbufferStorage");
    proc(&glext.glFramebufferRenderbuffer, "glFramebufferRenderbuffer");
    proc(&glext.glCheckFramebufferStatus, "glCheckFramebufferStatus");
    proc(&glext.glBlitFramebuffer, "glBlitFramebuffer");
    proc(&glext.glGenBuffers, "glGenBuffers");
    proc(&glext.glBindBuffer, "glBindBuffer");
    proc(&glext.glBufferData, "glBufferData");
    proc(&glext.glMapBuffer, "glMapBuffer");
    proc(&glext.glUnmapBuffer, "glUnmapBuffer");
}

void checkGLCapabilities()
{
    if (!hasGLExtension("GL_ARB_multitexture"))
        fatalError("Your shitty 3d card doesnt support GL_ARB_multitexture!");
    if (!hasGLExtension("GL_ARB_texture_env_combine"))
        fatalError("Your shitty 3d card doesnt support GL_ARB_texture_env_combine!");

    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    if (units < 2) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "Your shitty 3d card has only %i multitexturing units, and 2 is required to "
                      "view this demo!",
                      units);
        fatalError(text);
    }

    glext.glMultiTexCoord2fARB = (PFNGLMULTITEXCOORD2FARBPROC)getGLProc("glMultiTexCoord2fARB");
    glext.glActiveTextureARB = (PFNGLACTIVETEXTUREARBPROC)getGLProc("glActiveTextureARB");
    glext.glClientActiveTextureARB =
        (PFNGLCLIENTACTIVETEXTUREARBPROC)getGLProc("glClientActiveTextureARB");
    if (!glext.glActiveTextureARB || !glext.glMultiTexCoord2fARB)
        fatalError("wglGetProcAddress error on multitexture!");

    loadOptionalGLProcs();

    // Swap control is the platform's: SDL reports whether the interval could be set.
    if (SDL_GL_SetSwapInterval(displaySettings.vsync ? 1 : 0) != 0)
        warningMessage("Your shitty 3d card doesnt support WGL_EXT_swap_control, using the driver "
                       "defaults");
}
