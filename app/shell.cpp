// The process: start-up order, the message loop, the keys, the fatal and warning messages and
// the shutdown.
#include "app/app_local.h"
#include "app/offline.h"
#include "app/platform.h"
#include "diagnostics/diagnostics.h"
#include "music/music.h"
#include "precalc/precalc.h"
#include "render/render.h"
#include "show/show.h"
#include "support/data_files.h"   // DATA_MUSIC
#include "support/os.h"           // desktopAvailable

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

DisplaySettings displaySettings;
std::atomic<int32_t> quitRequests{0};

bool messageBoxesEnabled()
{
    if (std::getenv("ORVANTI_NO_MESSAGE_BOX"))
        return false;
    if (!programOptions.capturePath.empty() || !programOptions.contactSheetPath.empty() ||
        programOptions.benchmark)
        return false;
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
        return false;
    return desktopAvailable();
}

static void showMessageBox(Uint32 kind, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", kind == SDL_MESSAGEBOX_ERROR ? "error" : "warning", text);
    std::fflush(stderr);
    if (messageBoxesEnabled())
        SDL_ShowSimpleMessageBox(kind, SHOW_CAPTION, text, nullptr);
}

void fatalError(const char* text)
{
    abandonCapture();   // no half-made video left behind
    showMessageBox(SDL_MESSAGEBOX_ERROR, text);
    closeDisplay();
    // A fatal end is a failure: status 1, so scripts and launchers can tell.
    std::_Exit(1);
}

void warningMessage(const char* text)
{
    showMessageBox(SDL_MESSAGEBOX_WARNING, text);
}

void checkGLError()
{
    if (const char* error = takeGLError())
        fatalError(error);
}

void initApplication()
{
    displaySettings.fullscreen = 1;
    displaySettings.width = 640;
    displaySettings.height = 480;
    const ProgramOptions& o = programOptions;
    if (o.modeGiven) {
        displaySettings.width = o.width;
        displaySettings.height = o.height;
    }
    if (o.fullscreen >= 0)
        displaySettings.fullscreen = o.fullscreen;
    if (o.loop >= 0)
        displaySettings.loop = o.loop;
    if (o.vsync >= 0)
        displaySettings.vsync = o.vsync;

    if (!o.noSetup) {
        int result = SetupDialog(&displaySettings);
        if (result == 0)
            std::exit(0);
    }

    startDisplay(false);
}

// The timed precalculation; shared by the live show and the offline modes.
void runPrecalcPhase()
{
    TimedSection* precalc = beginTimedSection("precalc");
    precalculate(programOptions.dataDir, captureSnapshots);
    endTimedSection(precalc);
}

void initShow()
{
    initApplication();
    runPrecalcPhase();

    // One black picture during the pause. The loading bar reaches outside the letterbox, which
    // beginFrame alone would leave standing, so the whole window is wiped first.
    clearWholeWindow();
    beginFrame(&defaultClearColour);
    swapFrame();
    SDL_Delay(2000);
    showStarted = 1;
    musicMuted = programOptions.mute;
    musicDevice = programOptions.audioDevice;
    musicOffsetMs = programOptions.audioOffsetMs;
    openMusic(dataPath(DATA_MUSIC.name).c_str(), SHOW_TEMPO, displaySettings.loop);
    if (programOptions.startGiven)
        seekShowTime(programOptions.start);
    startStudyMode();
}

// The timeline's frame at the study clock, with the overlay (when on) over it.
void renderFrame()
{
    float t = studyFrameTime();
    drawShowFrame(t);
    drawStudyOverlay(t);
    swapFrame();
    checkGLError();
}

void shutdownShow()
{
    closeMusic();
    closeDisplay();
}

// The quit requests made here (Escape, closing the window); any others came with the music's end.
static int32_t ownQuitRequests = 0;

static void requestQuit()
{
    ownQuitRequests++;
    quitRequests++;
}

// The held sound runs out at the end of the music, and the end notification comes all the same:
// a held show stands. Letting go seeks back to the held time, so the end comes again then.
bool quitRequested()
{
    int32_t fromMusic = quitRequests.load() - ownQuitRequests;
    if (fromMusic > 0 && heldTime != 0.0f)
        quitRequests -= fromMusic;
    return quitRequests.load() != 0;
}

// The pattern the show stands in: the held one without waiting on the hold's clock.
static double currentPattern()
{
    return std::floor((double)(heldTime != 0.0f ? heldTime : showTime()));
}

void handleKeyDown(int virtualKey, bool shift)
{
    switch (virtualKey) {
    case VK_PAUSE_KEY: toggleHold(); break;
    case VK_ESCAPE_KEY: requestQuit(); break;
    case VK_PRIOR_KEY: moveShowTime(currentPattern() - 1.0); break;
    case VK_NEXT_KEY: moveShowTime(currentPattern() + 1.0); break;
    case VK_HOME_KEY: moveShowTime(0.0); break;
    case VK_TAB_KEY: toggleStudyOverlay(); break;
    case VK_RIGHT_KEY: stepHeldTime(1, shift); break;
    case VK_LEFT_KEY: stepHeldTime(-1, shift); break;
    default: break;
    }
}

static int virtualKeyOf(SDL_Keycode key)
{
    switch (key) {
    case SDLK_PAUSE: return VK_PAUSE_KEY;
    case SDLK_ESCAPE: return VK_ESCAPE_KEY;
    case SDLK_PAGEUP: return VK_PRIOR_KEY;
    case SDLK_PAGEDOWN: return VK_NEXT_KEY;
    case SDLK_HOME: return VK_HOME_KEY;
    case SDLK_TAB: return VK_TAB_KEY;
    case SDLK_RIGHT: return VK_RIGHT_KEY;
    case SDLK_LEFT: return VK_LEFT_KEY;
    default: return 0;
    }
}

// One event per turn; a frame whenever the queue is empty. Never blocks.
static void runMessageLoop()
{
    while (!quitRequested()) {
        SDL_Event event;
        if (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT)
                requestQuit();
            else if (event.type == SDL_KEYDOWN &&
                     !(event.key.repeat && event.key.keysym.sym == SDLK_TAB))
                handleKeyDown(virtualKeyOf(event.key.keysym.sym),
                              (event.key.keysym.mod & KMOD_SHIFT) != 0);
        } else {
            renderFrame();
        }
    }
}

int runProgram(int argc, char** argv)
{
    int status = parseCommandLine(argc, argv);
    if (status >= 0)
        return status;
    locateDataDirectory();
    if (!programOptions.capturePath.empty() || !programOptions.contactSheetPath.empty() ||
        programOptions.benchmark)
        return runOfflineMode();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "orvanti: SDL could not start: %s\n", SDL_GetError());
        return 1;
    }
    initShow();
    runMessageLoop();
    shutdownShow();
    SDL_Quit();
    return 0;
}
