// Window, OpenGL context and display mode, on SDL2. Also the colour-depth check that picks the
// texture clamp mode from the GL version.
#include "app/app_local.h"
#include "render/gl.h"
#include "app/platform.h"
#include "support/support.h"   // nextPowerOfTwo

#include <SDL.h>

#include <cmath>
#include <cstdio>

static SDL_Window* showWindow = nullptr;
static SDL_GLContext showContext = nullptr;

SDL_Window* platformWindow()
{
    return showWindow;
}

static bool initVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

// Double buffer, 8-8-8 colour, no alpha, the deepest depth buffer granted: 32, else 24, else 16
// (the closest format). The visual is fixed when the window is made, so each try makes both.
static bool createWindowAndContext(Uint32 windowFlags, int x, int y, int width, int height,
                                   int colourBits, int depthBits, const char* title)
{
    (void)colourBits;
    static const int depthChoices[] = {32, 24, 16};
    for (int depth : depthChoices) {
        if (depth > depthBits)
            continue;
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        showWindow = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_OPENGL | windowFlags);
        if (!showWindow)
            continue;
        showContext = SDL_GL_CreateContext(showWindow);
        if (showContext)
            return SDL_GL_MakeCurrent(showWindow, showContext) == 0;
        SDL_DestroyWindow(showWindow);
        showWindow = nullptr;
    }
    return false;
}

bool openDisplay(int fullscreen, int width, int height, int colourBits, int depthBits,
                 const char* title, int x, int y)
{
    if (!initVideo())
        return false;
    Uint32 flags = fullscreen ? (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS) : 0;
    if (!createWindowAndContext(flags | SDL_WINDOW_SHOWN, fullscreen ? 0 : x, fullscreen ? 0 : y,
                                width, height, colourBits, depthBits, title))
        return false;
    if (fullscreen) {
        // A real mode change to the requested size; no refresh rate is asked for.
        SDL_DisplayMode mode = {};
        mode.format = SDL_PIXELFORMAT_RGB888;
        mode.w = width;
        mode.h = height;
        SDL_DisplayMode closest;
        int display = SDL_GetWindowDisplayIndex(showWindow);
        if (!SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &mode, &closest))
            return false;
        if (closest.w != width || closest.h != height)
            return false;
        if (SDL_SetWindowDisplayMode(showWindow, &closest) != 0)
            return false;
    }
    SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE);
    SDL_ShowWindow(showWindow);
    SDL_Delay(1000);
    return true;
}

bool openHiddenDisplay(int width, int height)
{
    if (!initVideo())
        return false;
    return createWindowAndContext(SDL_WINDOW_HIDDEN, 0, 0, width, height, 32, 32, SHOW_CAPTION);
}

void startDisplay(bool hidden)
{
    bool opened = hidden ? openHiddenDisplay(displaySettings.width, displaySettings.height)
                         : openDisplay(displaySettings.fullscreen, displaySettings.width,
                                       displaySettings.height, 32, 32, SHOW_CAPTION, 0, 0);
    if (!opened)
        fatalError("Init failed!");
    renderTargetWidth = nextPowerOfTwo(512);
    renderTargetHeight = nextPowerOfTwo(256);
    checkColourDepth();
    checkGLCapabilities();
}

void closeDisplay()
{
    if (showContext) {
        SDL_GL_MakeCurrent(showWindow, nullptr);
        SDL_GL_DeleteContext(showContext);
        showContext = nullptr;
    }
    if (showWindow) {
        // Destroying the window gives the desktop its mode back.
        SDL_DestroyWindow(showWindow);
        showWindow = nullptr;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(SDL_ENABLE);
}

void checkColourDepth()
{
    GLint red = 0, green = 0, blue = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    if (red + green + blue < 24)
        fatalError("Failed to initialize 24bpp mode, buy some decent hardware asshole!");
    clampWrapMode = clampModeForVersion((const char*)glGetString(GL_VERSION));
}

uint32_t clampModeForVersion(const char* version)
{
    int major = 0, minor = 0;
    if (version && std::sscanf(version, "%d.%d", &major, &minor) == 2 && major * 10 + minor >= 12)
        return GL_CLAMP_TO_EDGE;
    return GL_CLAMP;
}
