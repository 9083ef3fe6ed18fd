// The setup dialog's choices, the same on every system: the preset from the command line and
// what Run writes.
#include "app/setup_dialog.h"

SetupChoices presetSetupChoices(const ProgramOptions& options)
{
    SetupChoices choices;
    if (options.fullscreen >= 0)
        choices.fullscreen = options.fullscreen;
    if (options.loop >= 0)
        choices.loop = options.loop;
    if (options.vsync >= 0)
        choices.vsync = options.vsync;
    if (options.modeGiven) {
        choices.mode640 = options.width == 640 && options.height == 480;
        choices.mode800 = options.width == 800 && options.height == 600;
        choices.mode1024 = options.width == 1024 && options.height == 768;
    }
    return choices;
}

void applySetupChoices(const SetupChoices& choices, DisplaySettings* settings)
{
    settings->fullscreen = choices.fullscreen;
    settings->vsync = choices.vsync;
    settings->loop = choices.loop;
    if (choices.mode640) {
        settings->width = 640;
        settings->height = 480;
    }
    if (choices.mode800) {
        settings->width = 800;
        settings->height = 600;
    }
    if (choices.mode1024) {
        settings->width = 1024;
        settings->height = 768;
    }
}
