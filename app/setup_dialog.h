// The setup dialog: the state of its controls, shared by both dialogs (FLTK on Linux, the Win32
// dialog on Windows), and the FLTK dialog's window and controls, open to the tests, which drive
// it without a user.
#pragma once

#include "app/app_local.h"

// What the controls show: the initial state, or what the user left them at.
struct SetupChoices {
    bool fullscreen = true;
    bool mode640 = true, mode800 = false, mode1024 = false;
    bool loop = false;
    bool vsync = true;
};

// The initial state (Fullscreen, 640x480 and VSync checked, Loop not) with what the command line
// gave (--mode, --windowed, --loop, --vsync, ...); a size of no mode of the dialog checks none.
SetupChoices presetSetupChoices(const ProgramOptions& options);
// Run: the choices into settings. The modes in order, a later checked one overriding an earlier
// one; with none checked the size stays.
void applySetupChoices(const SetupChoices& choices, DisplaySettings* settings);

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
