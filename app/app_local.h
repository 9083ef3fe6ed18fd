// What app/ and its tests share beyond app/app.h: the start-up steps, the keys, the message boxes,
// the setup dialog, the window and context and the capability check.
#pragma once

#include "app/app.h"

#include <cstdint>
#include <string>

// Parses argv into programOptions. Returns -1 to go on, or an exit status (0 after --help or
// --version, 2 after a usage error, whose one-line message is already on the standard error).
int parseCommandLine(int argc, char** argv);
std::string usageText();

// Start-up, loop and shutdown.
void initShow();
void initApplication();
void runPrecalcPhase();   // the "precalc" timed section around the precalculation
void renderFrame();
void shutdownShow();
void checkGLError();
void handleKeyDown(int virtualKey);   // Windows virtual-key codes: 19, 27, 33, 34, 36

constexpr int VK_PAUSE_KEY = 19;
constexpr int VK_ESCAPE_KEY = 27;
constexpr int VK_PRIOR_KEY = 33;
constexpr int VK_NEXT_KEY = 34;
constexpr int VK_HOME_KEY = 36;

// True when message boxes are shown (a real display); false headless, where stderr is the report.
bool messageBoxesEnabled();

// The setup dialog: 1 for Run (settings written), 0 for Exit, -1 when it cannot be shown.
int SetupDialog(DisplaySettings* settings);

// Window and context.
// The display half of start-up, for the live show and the offline modes alike: the window and
// context for displaySettings (hidden for offline work; "Init failed!" when they cannot be made),
// the render-target size, the colour-depth and capability checks.
void startDisplay(bool hidden);
bool openDisplay(int fullscreen, int width, int height, int colourBits, int depthBits,
                 const char* title, int x, int y);
void closeDisplay();
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
