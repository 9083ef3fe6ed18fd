// Upcalls: the few services that the lower layers need from the program above them. Each entry is
// declared here, low in the tree, and defined by the application shell (app/), so that support/,
// render/, music/, texture/, effects/ and precalc/ can fail cleanly, show a frame or ask the show
// to end without including anything of app/. Tests link the real definitions from the engine.
//
// An entry belongs here only when a lower layer cannot be handed the service as an argument or a
// hook instead (it is needed deep inside a loader, or on the sound thread); say why beside it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Upcall, defined in app/shell.cpp. Shows the message (a box where a display can show one, and
// always the standard error stream), restores the display and exits with status 1. Every loader
// and builder ends the program through it on bad input.
[[noreturn]] void fatalError(const char* text);

// Upcall, defined in app/shell.cpp. Shows the message the same way and returns.
void warningMessage(const char* text);

// Upcall, defined in app/display.cpp. Presents the finished frame; the loading screen, drawn from
// inside the loaders as they finish, needs it.
void swapFrame();

// Upcall, defined in app/shell.cpp. Every request to end the show adds 1; the loop ends when it is
// non-zero. The music's end arrives on the sound library's thread, hence the atomic.
extern std::atomic<int32_t> quitRequests;

// Upcall, defined in app/shell.cpp. 0 during the precalculation, 1 once the show runs: the
// loading screen stops drawing and the frame clear starts counting.
extern int32_t showStarted;

// Upcall, defined in app/shell.cpp. The display mode in use; its size is the window's, from which
// the camera and the screen passes take their viewports.
struct DisplaySettings {
    int32_t width;
    int32_t height;
    int32_t fullscreen;
    int32_t loop;
    int32_t vsync;
};
extern DisplaySettings displaySettings;

// Upcall, defined in app/options.cpp. The path of a data file: the data directory (beside the
// program or in the installed tree, or --data) followed by the name.
std::string dataPath(const char* name);
