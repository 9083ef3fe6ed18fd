// The setup dialog "MOXI": display mode, full screen, loop and vertical sync, then Run or Exit.
//
// The layout is kept in dialog units, as the dialog was first drawn, and converted to pixels the
// way the original toolkit does: x by a quarter of the font's average character width, y by an
// eighth of its height. The font is DejaVu Sans at 8 points, the nearest face Debian has to the
// one the dialog was drawn with (the same design family); the push buttons and the frame are flat.
#include "app/app_local.h"
#include "app/setup_dialog.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <FL/x.H>

#include <cstdlib>
#include <cstring>

namespace {

// 8 points at the 96 dots per inch the dialog units were laid out at: an 11-pixel em, as the
// original toolkit rounds it.
constexpr int DIALOG_FONT_SIZE = (8 * 96 + 36) / 72;
constexpr Fl_Font DIALOG_FONT = FL_FREE_FONT;
// FLTK's name for the plain style of a face: a leading space.
constexpr const char* DIALOG_FACE = " DejaVu Sans";

struct DialogUnits {
    int charWidth;   // average of the 52 letters, rounded as the original toolkit rounds it
    int charHeight;

    // Rounded halves away from zero, as that toolkit's multiply-divide does.
    int x(int units) const { return (units * charWidth * 2 + 4) / 8; }
    int y(int units) const { return (units * charHeight * 2 + 8) / 16; }
};

DialogUnits measureDialogFont()
{
    Fl::set_font(DIALOG_FONT, DIALOG_FACE);
    fl_font(DIALOG_FONT, DIALOG_FONT_SIZE);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int width = (int)(fl_width(alphabet) + 0.5);
    return {(width / 26 + 1) / 2, fl_height()};
}

// A flat push button: one dark line round the face; the default button has a second inside it
// and takes the Enter key.
class FlatButton : public Fl_Button {
public:
    FlatButton(int x, int y, int w, int h, const char* text, bool isDefault)
        : Fl_Button(x, y, w, h, text)
        , isDefault(isDefault)
    {
        box(FL_BORDER_BOX);
        down_box(FL_BORDER_BOX);
        selection_color(FL_DARK2);
    }
    int handle(int event) override
    {
        if (isDefault && event == FL_SHORTCUT &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            simulate_key_action();
            do_callback();
            return 1;
        }
        return Fl_Button::handle(event);
    }

protected:
    void draw() override
    {
        Fl_Button::draw();
        if (isDefault) {
            fl_color(FL_BLACK);
            fl_rect(x() + 1, y() + 1, w() - 2, h() - 2);
        }
    }

private:
    bool isDefault;
};

// A flat group frame: one line, its caption standing on the top edge one character in.
class FlatFrame : public Fl_Box {
public:
    FlatFrame(int x, int y, int w, int h, const char* text, int indent)
        : Fl_Box(FL_BORDER_FRAME, x, y, w, h, text)
        , indent(indent)
    {
    }

protected:
    void draw() override
    {
        fl_font(labelfont(), labelsize());
        int top = y() + fl_height() / 2;
        fl_color(FL_DARK3);
        fl_rect(x(), top, w(), y() + h() - top);
        int textWidth = (int)(fl_width(label()) + 0.5);
        fl_color(color());
        fl_rectf(x() + indent - 1, y(), textWidth + 2, fl_height());
        fl_color(labelcolor());
        fl_draw(label(), x() + indent, y() + fl_height() - fl_descent());
    }

private:
    int indent;
};

template <typename Widget, typename... More>
Widget* place(const DialogUnits& du, int x, int y, int w, int h, const char* text, More... more)
{
    Widget* widget = new Widget(du.x(x), du.y(y), du.x(w), du.y(h), text, more...);
    widget->labelfont(DIALOG_FONT);
    widget->labelsize(DIALOG_FONT_SIZE);
    return widget;
}

void onRun(Fl_Widget*, void* data)
{
    SetupDialogWindow* dialog = (SetupDialogWindow*)data;
    dialog->result = 1;
    dialog->window->hide();
}

void onExit(Fl_Widget*, void* data)
{
    SetupDialogWindow* dialog = (SetupDialogWindow*)data;
    dialog->result = 0;
    dialog->window->hide();
}

void showSetupChoices(SetupDialogWindow* dialog, const SetupChoices& choices)
{
    dialog->fullscreen->value(choices.fullscreen);
    dialog->mode640->value(choices.mode640);
    dialog->mode800->value(choices.mode800);
    dialog->mode1024->value(choices.mode1024);
    dialog->loop->value(choices.loop);
    dialog->vsync->value(choices.vsync);
}

}   // namespace

SetupDialogWindow* createSetupDialog()
{
    SetupDialogWindow* dialog = new SetupDialogWindow{};
    DialogUnits du = measureDialogFont();

    dialog->window = new Fl_Window(du.x(90), du.y(121), "MOXI");
    // Template order; the group box frames the mode and option controls.
    dialog->run = place<FlatButton>(du, 10, 99, 30, 15, "Run", true);
    dialog->fullscreen = place<Fl_Check_Button>(du, 18, 54, 48, 10, "Fullscreen");
    dialog->mode640 = place<Fl_Round_Button>(du, 18, 20, 47, 10, "640x480");
    dialog->mode800 = place<Fl_Round_Button>(du, 18, 31, 47, 10, "800x600");
    dialog->mode1024 = place<Fl_Round_Button>(du, 18, 41, 51, 10, "1024x768");
    Fl_Box* group = place<FlatFrame>(du, 9, 5, 74, 90, "Display mode", du.charWidth);
    dialog->exit = place<FlatButton>(du, 49, 99, 30, 15, "Exit", false);
    dialog->loop = place<Fl_Check_Button>(du, 18, 66, 48, 10, "Loop");
    dialog->vsync = place<Fl_Check_Button>(du, 18, 78, 48, 10, "VSync");
    dialog->window->end();

    for (Fl_Round_Button* mode : {dialog->mode640, dialog->mode800, dialog->mode1024}) {
        mode->type(FL_RADIO_BUTTON);
        mode->visible_focus(0);   // the radio buttons are not tab stops
    }
    // The frame is drawn behind the controls it surrounds.
    dialog->window->insert(*group, 0);

    dialog->run->callback(onRun, dialog);
    dialog->exit->callback(onExit, dialog);
    // Escape and the close box both end the dialog as Exit does.
    dialog->window->callback(onExit, dialog);

    showSetupChoices(dialog, SetupChoices{});
    dialog->result = 0;
    return dialog;
}

void destroySetupDialog(SetupDialogWindow* dialog)
{
    delete dialog->window;
    delete dialog;
}

int applySetupDialog(const SetupDialogWindow* dialog, DisplaySettings* settings)
{
    if (dialog->result != 1)
        return 0;
    SetupChoices choices;
    choices.fullscreen = dialog->fullscreen->value();
    choices.mode640 = dialog->mode640->value();
    choices.mode800 = dialog->mode800->value();
    choices.mode1024 = dialog->mode1024->value();
    choices.loop = dialog->loop->value();
    choices.vsync = dialog->vsync->value();
    applySetupChoices(choices, settings);
    return 1;
}

void presetSetupDialog(SetupDialogWindow* dialog, const ProgramOptions& options)
{
    showSetupChoices(dialog, presetSetupChoices(options));
}

bool openDialogDisplay()
{
    // FLTK ends the process when it cannot reach the display: ask first.
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    fl_open_display();
    return true;
}

int SetupDialog(DisplaySettings* settings)
{
    if (!openDialogDisplay())
        return -1;
    SetupDialogWindow* dialog = createSetupDialog();
    presetSetupDialog(dialog, programOptions);
    dialog->window->set_modal();
    // Centred on the screen and brought to the front.
    int sx, sy, sw, sh;
    Fl::screen_work_area(sx, sy, sw, sh);
    dialog->window->position(sx + (sw - dialog->window->w()) / 2,
                             sy + (sh - dialog->window->h()) / 2);
    dialog->window->show();
    while (dialog->window->shown())
        Fl::wait();
    int result = applySetupDialog(dialog, settings);
    destroySetupDialog(dialog);
    // Let the window manager see the dialog go before the show's own window opens.
    Fl::check();
    return result;
}
