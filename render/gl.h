// The OpenGL layer: the headers every drawing file includes, the extension entry points and the
// facts about the context that are fixed once it is up. render/ declares them and uses them; the
// platform layer (app/) loads the entry points when it checks the context's capabilities and
// reports the rest through recordContextFacts (render/render.h), which alone writes them. texture/
// and effects/ include this header for their OpenGL calls; show/ and the layers above draw through
// render/ and effects/ instead.
//
// The entry points live in one struct so they do not clash with the prototypes that the system
// headers declare under the same names.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glext.h>

#include <cstdint>

struct GLExtensions {
    PFNGLMULTITEXCOORD2FARBPROC glMultiTexCoord2fARB = nullptr;
    PFNGLACTIVETEXTUREARBPROC glActiveTextureARB = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTextureARB = nullptr;
    // Frame buffer objects and pixel buffers, optional: null where the driver lacks them. Only a
    // scaled full screen, supersampling and the capture's read-back use them.
    PFNGLGENFRAMEBUFFERSPROC glGenFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC glBindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC glGenRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC glBindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC glRenderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC glFramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC glCheckFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC glBlitFramebuffer = nullptr;
    PFNGLGENBUFFERSPROC glGenBuffers = nullptr;
    PFNGLBINDBUFFERPROC glBindBuffer = nullptr;
    PFNGLBUFFERDATAPROC glBufferData = nullptr;
    PFNGLMAPBUFFERPROC glMapBuffer = nullptr;
    PFNGLUNMAPBUFFERPROC glUnmapBuffer = nullptr;
};

// Filled in by the capability check.
extern GLExtensions glext;

// GL_CLAMP, or GL_CLAMP_TO_EDGE from OpenGL 1.2 on; set by recordContextFacts.
extern uint32_t clampWrapMode;

// The size of the screen-copy targets and of the glow chain's first level: 512 x 256, the corner
// the render-to-texture passes draw into, whatever the display mode. Set by recordContextFacts
// once the context is up, before the precalculation.
extern int32_t renderTargetWidth;
extern int32_t renderTargetHeight;

// The internal format of colour textures: GL_RGBA8 on a colour buffer of 32 bits or more, else
// GL_RGB8. Asks the current context.
uint32_t colourTextureFormat();

// Whether the frame buffer keeps an alpha channel (the show asks for none). Asks the current
// context.
bool frameHasAlpha();
