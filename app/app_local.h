// What app/ and its tests share beyond app/app.h: the start-up steps, the keys, the message boxes,
// the setup dialog, the window and context and the capability check.
#pragma once

#include "app/app.h"

#include <cstdint>
#include <string>
#include <vector>

struct Texture;

// Parses argv into programOptions. Returns -1 to go on, or an exit status (0 after --help or
// --version, 2 after a usage error, whose one-line message is already on the standard error).
int parseCommandLine(int argc, char** argv);
std::string usageText();
// A command line that asks for what cannot be done: "orvanti: TEXT: VALUE (see --help)" (without
// a value, "orvanti: TEXT (see --help)") on the standard error; returns the exit status, 2.
int usageError(const std::string& text, const char* value = nullptr);

// Start-up, loop and shutdown.
void initShow();
void initApplication();
void runPrecalcPhase();   // the "precalc" timed section around the precalculation
void renderFrame();
void shutdownShow();
// The loop's test: true once the show is to end. The music's end does not end a held show.
bool quitRequested();
void checkGLError();
// Windows virtual-key codes, below; shift: a Shift key is down.
void handleKeyDown(int virtualKey, bool shift = false);

constexpr int VK_TAB_KEY = 9;
constexpr int VK_PAUSE_KEY = 19;
constexpr int VK_ESCAPE_KEY = 27;
constexpr int VK_PRIOR_KEY = 33;
constexpr int VK_NEXT_KEY = 34;
constexpr int VK_HOME_KEY = 36;
constexpr int VK_LEFT_KEY = 37;
constexpr int VK_RIGHT_KEY = 39;

// Study mode (app/study.cpp), live runs only: the overlay of where the show is, frame stepping
// while held and one scene on repeat. The offline modes never come here.
enum MusicState { MUSIC_PLAYING, MUSIC_HELD, MUSIC_ENDED };

struct StudyState {
    bool overlay = false;        // Tab; off at start
    Texture* font = nullptr;     // font.jpg, loaded when the overlay is first shown
    bool fontMissing = false;    // warned once; the overlay stays empty
    double displayRate = 60.0;   // frames per second that one step moves
    float stepBase = 0.0f;       // the held time the steps count from
    float stepResult = 0.0f;     // the held time the last step set
    int64_t frameSteps = 0;      // frames and rows stepped from stepBase; counts, so that
    int64_t rowSteps = 0;        // stepping back returns exactly
    uint64_t secondStart = 0;    // performance-counter time the frame count began
    int32_t framesCounted = 0;
    float framesPerSecond = 0.0f;   // over the last whole second; 0 until there is one
    float frameMs = 0.0f;
    int32_t repeatScene = 0;   // --scene with loop: the scene whose window repeats
    float repeatStart = 0.0f, repeatEnd = 0.0f;
    bool repeatReached = false;   // the first pass, from --start, has come into the window
};
extern StudyState study;

// What the overlay tells, and its text (pure): three lines.
struct OverlayFacts {
    float time;              // show time in patterns
    float framesPerSecond;   // 0: not measured yet
    float frameMs;
    MusicState music;
    int32_t repeatScene;     // 0: none
    float reportedDelayMs;   // the sound output's delay, which the clock takes off
    float addedDelayMs;      // --audio-offset
};
std::vector<std::string> overlayLines(const OverlayFacts& facts);

// After the music opens: the display rate, the start of --scene and its repeat.
void startStudyMode();
// The show time of this frame: the clock, sent back to the start of the repeated window when it
// has left it (unless held).
float studyFrameTime();
// Draws the overlay over the finished frame when it is on; nothing at all when off.
void drawStudyOverlay(float t);
void toggleStudyOverlay();
// While held: one display frame (or, byRow, one row) on (+1) or back (-1); the music is sent
// to the new time. Does nothing when not held. Steps stop at the end of the music, or wrap
// round to its start with the loop.
void stepHeldTime(int direction, bool byRow);
// Pause: holds the picture where the clock stands (at 0 too), or lets it go on from there.
void toggleHold();
// Page Up, Page Down, Home: the music goes to that show time; while held, the hold goes with it.
void moveShowTime(double patterns);

// True when message boxes are shown (a real display); false headless, where stderr is the report.
bool messageBoxesEnabled();

// The setup dialog: 1 for Run (settings written), 0 for Exit, -1 when it cannot be shown.
int SetupDialog(DisplaySettings* settings);

// Window and context.
// The display half of start-up, for the live show and the offline modes alike: the window and
// context for displaySettings (hidden for offline work; "Init failed!" when they cannot be made),
// the colour-depth check (which reports the context's facts to render/) and the capability check.
// The drawable's size goes to render/'s frame record as the window opens and at every swap.
void startDisplay(bool hidden);
bool openDisplay(int fullscreen, int width, int height, int colourBits, int depthBits,
                 const char* title, int x, int y);
void closeDisplay();
// Around the study overlay: in a scaled full screen the frame is scaled onto the window first and
// the overlay drawn there, at the screen's own pixels (the frame record gives the window's size
// until the end call); elsewhere both do nothing and it goes over the frame as drawn.
void beginWindowOverlay();
void endWindowOverlay();
// swapFrame without its wait for the software renderer on the offscreen driver; for a capture,
// whose read-back keeps the renderer's queue short.
void swapFrameWithoutWaiting();
void checkColourDepth();
uint32_t clampModeForVersion(const char* version);   // GL_CLAMP below 1.2

// Capability check.
int hasGLExtension(const char* name);
int hasExtensionIn(const char* extensions, const char* name);
void* getGLProc(const char* name);
void checkGLCapabilities();
void loadOptionalGLProcs();   // frame and pixel buffers, null where missing
