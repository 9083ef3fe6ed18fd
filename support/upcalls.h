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

// Upcall, defined in app/shell.cpp. Shows the message (a box where a display can show one, and
// always the standard error stream), restores the display and exits with status 1. Every loader
// and builder ends the program through it on bad input; an upcall because the failure lies deep
// inside them, and only the program can take the display down before it exits.
[[noreturn]] void fatalError(const char* text);

// Upcall, defined in app/shell.cpp. Shows the message the same way and returns; for the same
// reason (a loader's warning must reach the message box only the program can show).
void warningMessage(const char* text);

// Upcall, defined in app/display.cpp. Presents the finished frame; the loading screen, drawn from
// inside the loaders as they finish, needs it, and the window is the platform layer's.
void swapFrame();

// Upcall, defined in app/shell.cpp. Every request to end the show adds 1; the loop ends when it is
// non-zero. The music's end arrives on the sound library's thread, where nothing can be handed
// in; hence an upcall, and the atomic.
extern std::atomic<int32_t> quitRequests;
