// Every test binary runs headless: no window on the screen and no sound device, whether it is
// started by ctest or by hand. Compiled into each test binary, so it runs before main().
#include <cstdlib>

namespace {

struct Headless {
    Headless()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
} headless;

}   // namespace
