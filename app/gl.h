// The OpenGL headers every drawing file includes, and the extension entry points fetched at
// start-up. The entry points live in one struct so they do not clash with the prototypes that
// the system headers declare under the same names.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glext.h>

struct GLExtensions {
    PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB = nullptr;
    PFNGLACTIVETEXTUREARBPROC glActiveTextureARB = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB = nullptr;
    // Swap control goes through the platform layer; this records whether it was found.
    void* wglSwapIntervalEXT = nullptr;
};

extern GLExtensions glext;
