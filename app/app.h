// Application shell: the process. Start-up order, the message loop that renders a frame whenever
// the event queue is empty, the keys, the fatal and warning messages, the setup dialog, the window
// and OpenGL context, the capability checks and the command line.
//
// Platform calls (SDL2 for the window, context, events and message boxes; FLTK for the setup
// dialog) stay inside app/. Everything else talks to the shell through this header.
//
// fatalError shows the message (a box where a display can show one, and always the standard error
// stream), restores the display and exits with status 1. warningMessage shows it and returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

struct DisplaySettings {
    int32_t width;
    int32_t height;
    int32_t fullscreen;
    int32_t loop;
    int32_t vsync;
};

extern DisplaySettings displaySettings;

// Every request to end the show adds 1; the loop ends when it is non-zero. The sound library's
// thread adds to it too, hence the atomic.
extern std::atomic<int32_t> quitRequests;
extern int32_t showStarted;
extern int32_t renderTargetWidth;
extern int32_t renderTargetHeight;
extern uint32_t clampWrapMode;   // GL_CLAMP or GL_CLAMP_TO_EDGE, chosen from the GL version

// What the command line asked for. With no arguments the program behaves as the plain show.
struct ProgramOptions {
    bool noSetup = false;
    bool modeGiven = false;
    int32_t width = 640;
    int32_t height = 480;
    int fullscreen = -1;   // -1: not given
    int loop = -1;
    int vsync = -1;
    std::string dataDir;   // with a trailing slash
    bool startGiven = false;
    float start = 0.0f;
    bool mute = false;
    std::string capturePath;
    std::string contactSheetPath;
    bool benchmark = false;
    bool overwrite = false;
    bool fpsGiven = false;
    double fps = 60.0;
    bool fromGiven = false;
    double from = 0.0;
    bool toGiven = false;
    double to = 0.0;
};

extern ProgramOptions programOptions;

// Parses argv into programOptions. Returns -1 to go on, or an exit status (0 after --help or
// --version, 2 after a usage error, whose one-line message is already on the standard error).
int parseCommandLine(int argc, char** argv);
std::string usageText();

// The path of a data file: the data directory followed by the name.
std::string dataPath(const char* name);

// Data files are read whole into memory, so only a regular file of at most this size is opened:
// a pipe would block for ever, a device or an outsized file would be read without end.
constexpr long long DATA_FILE_LIMIT = 64ll << 20;
// Opens a data file for reading from its start, with its size in *size. Anything else is refused
// before a byte is read: null, with errno set (ENOENT when it is missing) and the reason in
// *problem ("Is a directory", "a named pipe, not a regular file", "... over the limit of ...").
FILE* openDataFile(const char* path, long* size, std::string* problem);

// Start-up, loop and shutdown.
int runProgram(int argc, char** argv);
void initShow();
void initApplication();
void runPrecalcPhase();   // the "precalc" timed section around the precalculation
void renderFrame();
void shutdownShow();
void swapFrame();
void checkGLError();
void handleKeyDown(int virtualKey);   // Windows virtual-key codes: 19, 27, 33, 34, 36

constexpr int VK_PAUSE_KEY = 19;
constexpr int VK_ESCAPE_KEY = 27;
constexpr int VK_PRIOR_KEY = 33;
constexpr int VK_NEXT_KEY = 34;
constexpr int VK_HOME_KEY = 36;

[[noreturn]] void fatalError(const char* text);
void warningMessage(const char* text);
// True when message boxes are shown (a real display); false headless, where stderr is the report.
bool messageBoxesEnabled();

// The setup dialog: 1 for Run (settings written), 0 for Exit, -1 when it cannot be shown.
int SetupDialog(DisplaySettings* settings);

// Window and context.
bool openDisplay(int fullscreen, int width, int height, int colourBits, int depthBits,
                 const char* title, int x, int y);
void closeDisplay();
void checkColourDepth();
uint32_t clampModeForVersion(const char* version);   // GL_CLAMP below 1.2
int32_t nextPowerOfTwo(int32_t n);
// Makes an OpenGL context without a visible window (frame capture, benchmark, tests).
bool openHiddenDisplay(int width, int height);

// Capability check.
int hasGLExtension(const char* name);
int hasExtensionIn(const char* extensions, const char* name);
void* getGLProc(const char* name);
void checkGLCapabilities();
uint32_t colourTextureFormat();

constexpr const char* SHOW_CAPTION = "Orvanti by Droblin";
