// Window, OpenGL context and display mode, on SDL2. Also the colour-depth check that picks the
// texture clamp mode from the GL version.
#include "app/app_local.h"
#include "render/gl.h"
#include "app/platform.h"
#include "render/render.h"   // the letterbox, off-screen frames, the frame record
#include "support/os.h"      // waylandWithoutSeat

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The window, its context, and in a scaled full screen the frame drawn off screen.
struct DisplayState {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool scaled = false;
    bool follows = false;   // a visible window: the show takes the drawable's size
    FrameTarget frame{};
    bool frameOnWindow = false;   // scaled: this frame is on the window already (the overlay)
};

DisplayState screen;

}   // namespace

SDL_Window* platformWindow()
{
    return screen.window;
}

static bool videoDriverIs(const char* name)
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, name) == 0;
}

// SDL 2.26's Wayland driver dereferences the seat's input while it starts, and a compositor
// without one (a headless one) has none: the process would crash inside SDL_Init. There, when
// SDL could take Wayland, it takes X11 instead.
static void avoidWaylandWithoutSeat()
{
    const char* wanted = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (wanted && !std::strstr(wanted, "wayland"))
        return;
    if (!waylandWithoutSeat())
        return;
    std::fprintf(stderr, "warning: the Wayland compositor offers no seat (no keyboard or pointer); "
                         "using X11 instead\n");
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
}

static bool initVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    avoidWaylandWithoutSeat();
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

// Double buffer, no alpha, the deepest depth buffer granted: 32, else 24, else 16. Colour: 8-8-8,
// else the deepest the display has (a request is a minimum), so that a shallower display is told
// so by the colour-depth check rather than by "Init failed!". The visual is fixed when the
// window is made, so each try makes both.
static bool createWindowAndContext(Uint32 windowFlags, int x, int y, int width, int height,
                                   int colourBits, int depthBits, const char* title)
{
    (void)colourBits;   // 32: 8-8-8 and no alpha
    static const int depthChoices[] = {32, 24, 16}, colourChoices[] = {8, 1};
    for (int colour : colourChoices)
        for (int depth : depthChoices) {
            if (depth > depthBits)
                continue;
            SDL_GL_ResetAttributes();
            SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
            SDL_GL_SetAttribute(SDL_GL_RED_SIZE, colour);
            SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour);
            SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, colour);
            SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
            SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth);
            SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
            screen.window =
                SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_OPENGL | windowFlags);
            if (!screen.window)
                continue;
            screen.context = SDL_GL_CreateContext(screen.window);
            if (screen.context)
                return SDL_GL_MakeCurrent(screen.window, screen.context) == 0;
            SDL_DestroyWindow(screen.window);
            screen.window = nullptr;
        }
    return false;
}

// The frame size whose letterbox has the display's aspect at the given width: the picture fills
// the screen edge to edge once the letterbox is scaled onto it.
static void scaledFrameSize(int width, int displayWidth, int displayHeight, int* frameWidth,
                            int* frameHeight)
{
    int picture = (int)std::lround((double)width * displayHeight / displayWidth);
    int height = (int)std::ceil(picture / 0.75);
    while (viewportFor(width, height, 0).height < picture)
        height++;
    *frameWidth = width;
    *frameHeight = height;
}

static bool hasExactMode(int display, int width, int height)
{
    for (int i = 0, count = SDL_GetNumDisplayModes(display); i < count; i++) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) == 0 && mode.w == width && mode.h == height)
            return true;
    }
    return false;
}

// Full screen without a mode change: a window over the whole desktop, the show drawn off screen
// at the chosen width with the display's aspect, and scaled up at every swap.
static bool openScaledFullScreen(int width, const SDL_DisplayMode& desktop)
{
    loadOptionalGLProcs();   // the capability check, which loads them too, comes later
    int frameWidth, frameHeight;
    scaledFrameSize(width, desktop.w, desktop.h, &frameWidth, &frameHeight);
    if (!createFrameTarget(&screen.frame, frameWidth, frameHeight))
        return false;
    bindFrameTarget(&screen.frame);
    screen.scaled = true;
    return true;
}

// The viewport and every size derived from it follow the drawable, in pixels (a high-density
// display has more of them than screen units), unless the frame is drawn off screen.
static void followDrawableSize()
{
    if (!screen.follows)
        return;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(screen.window, &width, &height);
    if (width > 0 && height > 0)
        setDrawableSize(width, height);
}

bool openDisplay(int fullscreen, int width, int height, int colourBits, int depthBits,
                 const char* title, int x, int y)
{
    if (!initVideo())
        return false;
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0)
        return false;
    // A size of 0 x 0 (--mode desktop) is the display's own.
    bool desktopSize = width <= 0 || height <= 0;
    if (desktopSize) {
        width = desktop.w;
        height = desktop.h;
    }
    // Wayland changes no display modes (the sizes SDL lists there are the compositor's scaling):
    // full screen covers the desktop.
    bool modeChange =
        fullscreen && !desktopSize && !videoDriverIs("wayland") && hasExactMode(0, width, height);
    Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI;
    if (modeChange)
        flags |= SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS;
    else if (fullscreen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    else
        flags |= SDL_WINDOW_RESIZABLE;
    int windowWidth = fullscreen && !modeChange ? desktop.w : width;
    int windowHeight = fullscreen && !modeChange ? desktop.h : height;
    if (!createWindowAndContext(flags | SDL_WINDOW_SHOWN, fullscreen ? 0 : x, fullscreen ? 0 : y,
                                windowWidth, windowHeight, colourBits, depthBits, title))
        return false;
    if (modeChange) {
        // A real mode change to the requested size; no refresh rate is asked for.
        SDL_DisplayMode mode = {};
        mode.format = SDL_PIXELFORMAT_RGB888;
        mode.w = width;
        mode.h = height;
        SDL_DisplayMode closest;
        int display = SDL_GetWindowDisplayIndex(screen.window);
        if (!SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &mode, &closest))
            return false;
        if (closest.w != width || closest.h != height)
            return false;
        if (SDL_SetWindowDisplayMode(screen.window, &closest) != 0)
            return false;
    } else if (fullscreen) {
        if (!desktopSize)
            std::fprintf(stderr,
                         "warning: the display has no %dx%d mode; drawing at %d pixels across "
                         "and scaling to its %dx%d\n",
                         width, height, width, desktop.w, desktop.h);
        if (!openScaledFullScreen(width, desktop))
            return false;
    } else {
        // Smaller than the glow chain's corner the show cannot draw.
        SDL_SetWindowMinimumSize(screen.window, RENDER_TO_TEXTURE_WIDTH, RENDER_TO_TEXTURE_HEIGHT);
    }
    screen.follows = true;
    SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE);
    SDL_ShowWindow(screen.window);
    SDL_Delay(1000);
    SDL_PumpEvents();
    followDrawableSize();
    return true;
}

static void scaleFrameOntoWindow()
{
    if (!screen.scaled || screen.frameOnWindow)
        return;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(screen.window, &width, &height);
    // Before the show the loading bar reaches outside the letterbox: show the whole frame.
    Viewport source =
        showStarted ? viewportFor(0) : Viewport{0, 0, screen.frame.width, screen.frame.height};
    presentFrameTarget(&screen.frame, source, width, height);
}

void beginWindowOverlay()
{
    if (!screen.scaled)
        return;
    scaleFrameOntoWindow();
    screen.frameOnWindow = true;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(screen.window, &width, &height);
    setDrawableSize(width, height);
    bindFrameTarget(nullptr);
}

void endWindowOverlay()
{
    if (!screen.scaled)
        return;
    bindFrameTarget(&screen.frame);
}

static void presentFrame(bool wait)
{
    scaleFrameOntoWindow();
    screen.frameOnWindow = false;
    SDL_GL_SwapWindow(screen.window);
    // The offscreen driver's swap waits for nothing, so the software renderer's queue would grow
    // frame by frame: the picture falls ever further behind the music, and the context's
    // release at the end waits for all of it (a minute and more).
    if (wait && videoDriverIs("offscreen"))
        glFinish();
    followDrawableSize();
}

void swapFrame()
{
    presentFrame(true);
}

void swapFrameWithoutWaiting()
{
    presentFrame(false);
}

bool openHiddenDisplay(int width, int height)
{
    if (!initVideo())
        return false;
    if (!createWindowAndContext(SDL_WINDOW_HIDDEN, 0, 0, width, height, 32, 32, SHOW_CAPTION))
        return false;
    setDrawableSize(width, height);
    return true;
}

void startDisplay(bool hidden)
{
    bool opened = hidden ? openHiddenDisplay(displaySettings.width, displaySettings.height)
                         : openDisplay(displaySettings.fullscreen, displaySettings.width,
                                       displaySettings.height, 32, 32, SHOW_CAPTION, 0, 0);
    if (!opened)
        fatalError("Init failed!");
    checkColourDepth();
    checkGLCapabilities();
}

void closeDisplay()
{
    screen.scaled = false;
    screen.follows = false;
    screen.frameOnWindow = false;
    if (screen.context) {
        SDL_GL_MakeCurrent(screen.window, nullptr);
        SDL_GL_DeleteContext(screen.context);
        screen.context = nullptr;
    }
    if (screen.window) {
        // Destroying the window gives the desktop its mode back.
        SDL_DestroyWindow(screen.window);
        screen.window = nullptr;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(SDL_ENABLE);
}

void checkColourDepth()
{
    // The window's own bits, not those of a frame drawn off screen for it.
    if (screen.scaled)
        bindFrameTarget(nullptr);
    GLint red = 0, green = 0, blue = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    if (screen.scaled)
        bindFrameTarget(&screen.frame);
    if (red + green + blue < 24)
        fatalError("Failed to initialize 24bpp mode, buy some decent hardware asshole!");
    recordContextFacts(clampModeForVersion((const char*)glGetString(GL_VERSION)));
}

uint32_t clampModeForVersion(const char* version)
{
    int major = 0, minor = 0;
    if (version && std::sscanf(version, "%d.%d", &major, &minor) == 2 && major * 10 + minor >= 12)
        return GL_CLAMP_TO_EDGE;
    return GL_CLAMP;
}
