// Private to app/: the SDL window that the shell's parts share.
#pragma once

#include <cstdint>

struct SDL_Window;
SDL_Window* platformWindow();
