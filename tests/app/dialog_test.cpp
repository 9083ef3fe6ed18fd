// The setup dialog, driven without a user: its initial state, what Run and Exit give, and the
// real program leaving through it. Needs an X display (the test script runs the suite under Xvfb).
#include "app/setup_dialog.h"
#include "common/test_support.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>
// After the test framework: through the X headers it defines None as a macro.
#include <FL/Fl_Image_Surface.H>

#include <tuple>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

#define REQUIRE_DISPLAY()                                                                          \
    if (!openDialogDisplay())                                                                      \
    GTEST_SKIP() << "no X display"

}   // namespace

TEST(SetupDialog, OpensWithFullscreen640AndVSyncChecked)
{
    REQUIRE_DISPLAY();
    SetupDialogWindow* d = createSetupDialog();
    EXPECT_STREQ(d->window->label(), "MOXI");
    // Fullscreen, 640, 800, 1024, vsync, loop.
    EXPECT_EQ(std::tuple(d->fullscreen->value(), d->mode640->value(), d->mode800->value(),
                         d->mode1024->value(), d->vsync->value(), d->loop->value()),
              std::tuple(1, 1, 0, 0, 1, 0));
    // Buttons and check boxes take the keyboard focus; the radio buttons do not.
    EXPECT_TRUE(d->run->visible_focus());
    EXPECT_TRUE(d->loop->visible_focus());
    EXPECT_FALSE(d->mode800->visible_focus());
    // Template order: Run first, VSync last.
    EXPECT_EQ(d->window->find(d->run) < d->window->find(d->fullscreen), 1);
    EXPECT_EQ(d->window->find(d->vsync), d->window->children() - 1);
    // 90 x 121 dialog units: taller than wide.
    EXPECT_GT(d->window->h(), d->window->w());
    destroySetupDialog(d);
}

// DejaVu Sans at 8 points (an 11-pixel em) on every label. Drawn flat: one dark line round a
// button's face, alike at top and bottom, and a frame of one line with the grey either side.
TEST(SetupDialog, DejaVuSansAt8PointsWithFlatButtonsAndFrame)
{
    REQUIRE_DISPLAY();
    SetupDialogWindow* d = createSetupDialog();
    for (int i = 0; i < d->window->children(); i++)
        EXPECT_EQ(std::tuple(std::string(Fl::get_font_name(d->window->child(i)->labelfont())),
                             d->window->child(i)->labelsize()),
                  std::tuple("DejaVu Sans", 11));
    d->window->show();
    Fl::check();
    Fl_Image_Surface surface(d->window->w(), d->window->h());
    surface.set_current();
    surface.draw(d->window);
    Fl_RGB_Image* image = surface.image();
    Fl_Display_Device::display_device()->set_current();
    auto grey = [&](int x, int y) { return image->array[(y * image->w() + x) * 3]; };
    Fl_Widget* f = d->window->child(0);
    int middle = f->y() + f->h() / 2, dialog = grey(1, middle);
    for (Fl_Button* b : {d->run, d->exit})
        EXPECT_EQ(std::tuple(grey(b->x() + 3, b->y() + 3), grey(b->x(), b->y() + 3) < dialog - 64),
                  std::tuple(grey(b->x() + 3, b->y() + b->h() - 4), true))
            << b->label();
    EXPECT_EQ(std::tuple(grey(f->x() - 1, middle), grey(f->x(), middle) < dialog - 64,
                         grey(f->x() + 1, middle)),
              std::tuple(dialog, true, dialog));
    delete image;
    destroySetupDialog(d);
    Fl::check();   // gone from the display before a later test looks for a dialog
}

// Run writes the checked mode and boxes; with the size given on the command line (720 x 400, no
// mode of the dialog) none is checked and Run keeps it, VSync at its default. Exit, Escape and
// the close box change nothing.
TEST(SetupDialog, RunWritesTheChoiceAndExitChangesNothing)
{
    REQUIRE_DISPLAY();
    struct Case {
        int mode;   // the radio button checked; -1: the size given
        char how;   // 'r' Run, 'e' Exit, 'w' the window's own callback (Escape, the close box)
        DisplaySettings after;
    } cases[] = {
        {0, 'r', {640, 480, 0, 1, 0}},  {1, 'r', {800, 600, 0, 1, 0}},
        {2, 'r', {1024, 768, 0, 1, 0}}, {-1, 'r', {720, 400, 0, 1, 1}},
        {2, 'e', {640, 480, 1, 0, 0}},  {2, 'w', {640, 480, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SetupDialogWindow* d = createSetupDialog();
        DisplaySettings s{640, 480, 1, 0, 0};
        if (c.mode < 0) {
            ProgramOptions given;
            given.modeGiven = true;
            given.width = s.width = 720;
            given.height = s.height = 400;
            given.fullscreen = 0;
            given.loop = 1;
            presetSetupDialog(d, given);
            EXPECT_EQ(d->mode640->value() + d->mode800->value() + d->mode1024->value(), 0);
        } else {
            Fl_Round_Button* modes[] = {d->mode640, d->mode800, d->mode1024};
            modes[c.mode]->setonly();
            d->fullscreen->value(0);
            d->loop->value(1);
            d->vsync->value(0);
        }
        (c.how == 'r'   ? (Fl_Widget*)d->run
         : c.how == 'e' ? (Fl_Widget*)d->exit
                        : d->window)
            ->do_callback();
        EXPECT_EQ(applySetupDialog(d, &s), c.how == 'r') << c.mode << c.how;
        EXPECT_EQ(std::vector({s.width, s.height, s.fullscreen, s.loop, s.vsync}),
                  std::vector({c.after.width, c.after.height, c.after.fullscreen, c.after.loop,
                               c.after.vsync}))
            << c.mode << c.how;
        destroySetupDialog(d);
    }
}

// The real program: Escape in the dialog ends it with status 0 before any window opens.
TEST(SetupDialog, EscapeEndsTheProgramCleanly)
{
    REQUIRE_DISPLAY();
    if (!haveProgram("xdotool"))
        GTEST_SKIP() << "xdotool missing";
    std::thread press([] {
        runProcess({"/usr/bin/xdotool", "search", "--sync", "--name", "^MOXI$", "key", "--window",
                    "%1", "Escape"},
                   30);
    });
    std::string display = std::string("DISPLAY=") + std::getenv("DISPLAY");
    ProcessResult r = runOrvanti({"--mute"}, 40, {display, "SDL_VIDEODRIVER=offscreen"});
    press.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("precalc"), std::string::npos) << "the show started: " << r.err;
}
