// Application shell: the process. Start-up order, the message loop that renders a frame whenever
// the event queue is empty, the keys, the fatal and warning messages, the setup dialog, the window
// and OpenGL context, the capability checks and the command line.
//
// Platform calls (SDL2 for the window, context, events and message boxes; FLTK for the setup
// dialog) stay inside app/. Only main.cpp, the tests and the benchmarks include this header; the
// shell's own parts (the loop, the keys, the dialog, the window, the capability check) are in
// app/app_local.h.
//
// The services the lower layers call upward (fatalError, warningMessage, swapFrame, quitRequests)
// are declared in support/upcalls.h and defined here.
#pragma once

#include "support/upcalls.h"   // the services app/ defines for the layers below

#include <cstdint>
#include <string>

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
    int32_t scene = 0;   // --scene: 1 ... 11, 0 when not given
    bool mute = false;
    std::string audioDevice;      // --audio-device; "" for the default
    double audioOffsetMs = 0.0;   // --audio-offset
    bool listAudioDevices = false;
    bool quiet = false;   // --quiet: no timing log
    std::string capturePath;
    std::string contactSheetPath;
    bool benchmark = false;
    bool overwrite = false;
    int supersample = 1;     // --capture draws at this many times the mode's size, then reduces
    bool lossless = false;   // --capture to .mkv: FFV1 (RGB) and FLAC
    bool fpsGiven = false;
    double fps = 60.0;
    bool fromGiven = false;
    double from = 0.0;
    bool toGiven = false;
    double to = 0.0;
};

extern ProgramOptions programOptions;

// The display mode and options chosen in the setup dialog (or on the command line). The size is
// the mode asked for; what the show draws at is render/'s frame record.
struct DisplaySettings {
    int32_t width;
    int32_t height;
    int32_t fullscreen;
    int32_t loop;
    int32_t vsync;
};
extern DisplaySettings displaySettings;

// The path of a data file: the data directory (beside the program or in the installed tree, or
// --data) followed by the name.
std::string dataPath(const char* name);

// The program: start-up, the show and shutdown; returns the exit status.
int runProgram(int argc, char** argv);

// Makes an OpenGL context without a visible window (frame capture, benchmark, tests).
bool openHiddenDisplay(int width, int height);

constexpr const char* SHOW_CAPTION = "Orvanti by Droblin";
