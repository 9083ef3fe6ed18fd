// The setup dialog's window and controls, open to the tests, which drive it without a user.
#pragma once

#include "app/app_local.h"

class Fl_Window;
class Fl_Button;
class Fl_Check_Button;
class Fl_Round_Button;

struct SetupDialogWindow {
    Fl_Window* window;
    Fl_Button* run;   // the default button (Enter)
    Fl_Check_Button* fullscreen;
    Fl_Round_Button* mode640;
    Fl_Round_Button* mode800;
    Fl_Round_Button* mode1024;
    Fl_Button* exit;
    Fl_Check_Button* loop;
    Fl_Check_Button* vsync;
    int result;   // 1 Run, 0 Exit
};

// Connects to the X display; false when there is none (start-up then goes on with the defaults).
bool openDialogDisplay();

// The dialog in its initial state: Fullscreen, 640x480 and VSync checked, Loop not.
SetupDialogWindow* createSetupDialog();
void destroySetupDialog(SetupDialogWindow* dialog);
// Sets the controls the command line gave (--mode, --windowed, --loop, --vsync, ...).
void presetSetupDialog(SetupDialogWindow* dialog, const ProgramOptions& options);
// Writes the choices into settings after Run; returns the dialog's result (1 Run, 0 Exit).
int applySetupDialog(const SetupDialogWindow* dialog, DisplaySettings* settings);
