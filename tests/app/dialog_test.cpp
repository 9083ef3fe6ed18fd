// The setup dialog, driven without a user: its initial state, what Run and Exit give, and the
// real program leaving through it. Needs an X display (the test script runs the suite under Xvfb).
#include "app/setup_dialog.h"
#include "common/test_support.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace {

#define REQUIRE_DISPLAY()                                                                          \
    if (!openDialogDisplay())                                                                      \
    GTEST_SKIP() << "no X display"

DisplaySettings startSettings()
{
    return DisplaySettings{640, 480, 1, 0, 0};
}

}   // namespace

TEST(SetupDialog, OpensWithFullscreen640AndVSyncChecked)
{
    REQUIRE_DISPLAY();
    SetupDialogWindow* d = createSetupDialog();
    EXPECT_STREQ(d->window->label(), "MOXI");
    EXPECT_EQ(d->fullscreen->value(), 1);
    EXPECT_EQ(d->mode640->value(), 1);
    EXPECT_EQ(d->mode800->value(), 0);
    EXPECT_EQ(d->mode1024->value(), 0);
    EXPECT_EQ(d->vsync->value(), 1);
    EXPECT_EQ(d->loop->value(), 0);
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

TEST(SetupDialog, RunWritesTheChosenModeAndOptions)
{
    REQUIRE_DISPLAY();
    struct Case {
        int which;
        int width, height;
    } cases[] = {{0, 640, 480}, {1, 800, 600}, {2, 1024, 768}};
    for (const Case& c : cases) {
        SetupDialogWindow* d = createSetupDialog();
        Fl_Round_Button* modes[] = {d->mode640, d->mode800, d->mode1024};
        modes[c.which]->setonly();
        d->fullscreen->value(0);
        d->loop->value(1);
        d->vsync->value(0);
        d->run->do_callback();
        DisplaySettings s = startSettings();
        EXPECT_EQ(applySetupDialog(d, &s), 1);
        EXPECT_EQ(s.width, c.width);
        EXPECT_EQ(s.height, c.height);
        EXPECT_EQ(s.fullscreen, 0);
        EXPECT_EQ(s.loop, 1);
        EXPECT_EQ(s.vsync, 0);
        destroySetupDialog(d);
    }
}

TEST(SetupDialog, RunWithNoModeCheckedKeepsTheSizeGiven)
{
    REQUIRE_DISPLAY();
    SetupDialogWindow* d = createSetupDialog();
    ProgramOptions given;
    given.modeGiven = true;
    given.width = 720;
    given.height = 400;
    given.fullscreen = 0;
    given.loop = 1;
    presetSetupDialog(d, given);
    EXPECT_EQ(d->vsync->value(), 1);   // not given: stays at its default
    EXPECT_EQ(d->mode640->value() + d->mode800->value() + d->mode1024->value(), 0);
    EXPECT_EQ(d->fullscreen->value(), 0);
    EXPECT_EQ(d->loop->value(), 1);
    d->run->do_callback();
    DisplaySettings s{720, 400, 1, 0, 0};
    EXPECT_EQ(applySetupDialog(d, &s), 1);
    EXPECT_EQ(s.width, 720);
    EXPECT_EQ(s.height, 400);
    EXPECT_EQ(s.fullscreen, 0);
    EXPECT_EQ(s.loop, 1);
    destroySetupDialog(d);
}

TEST(SetupDialog, ExitAndTheCloseBoxChangeNothing)
{
    REQUIRE_DISPLAY();
    for (int viaWindow = 0; viaWindow < 2; viaWindow++) {
        SetupDialogWindow* d = createSetupDialog();
        d->mode1024->setonly();
        if (viaWindow)
            d->window->do_callback();   // Escape and the close box
        else
            d->exit->do_callback();
        DisplaySettings s = startSettings();
        EXPECT_EQ(applySetupDialog(d, &s), 0);
        EXPECT_EQ(s.width, 640);
        EXPECT_EQ(s.fullscreen, 1);
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
