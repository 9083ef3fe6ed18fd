// The live show in a real X window: `--no-setup --windowed` opens a 640 x 480 window, draws the
// show into it frame after frame, Tab shows the study overlay, the show follows the window to a
// new size, and Escape ends it with status 0; full screen on a 1920 x 1080 display without a
// 640 x 480 mode fills the screen. Needs an X display, Xvfb, xdotool and the data set (the test
// script runs the suite under Xvfb); skips
// without them.
#include "app/app_local.h"
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>
// After the test framework: the X headers define None, Bool and Status as macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

const char* const XDOTOOL = "/usr/bin/xdotool";

// Reading a window that has just gone is not worth ending the test process over.
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

pid_t parentOf(long pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("PPid:", 0) == 0)
            return (pid_t)std::stol(line.substr(5));
    return -1;
}

long windowPid(Display* display, Window window)
{
    Atom atom = XInternAtom(display, "_NET_WM_PID", True);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (atom == None || XGetWindowProperty(display, window, atom, 0, 1, False, XA_CARDINAL, &type,
                                           &format, &count, &after, &data) != Success)
        return -1;
    long pid = data && count ? *(long*)data : -1;
    if (data)
        XFree(data);
    return pid;
}

// The show's window of our own child (another run may share the display), or 0.
Window findShowWindow(Display* display, Clock::time_point deadline)
{
    std::string name = std::string("^") + SHOW_CAPTION + "$";
    while (Clock::now() < deadline) {
        std::istringstream ids(runProcess({XDOTOOL, "search", "--name", name}, 10).out);
        unsigned long id;
        while (ids >> id)
            if (parentOf(windowPid(display, (Window)id)) == getpid())
                return (Window)id;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return 0;
}

// A rectangle of the window as grey values, rows top first; empty when it cannot be read.
std::vector<uint8_t> greyOf(Display* display, Window window, int x0, int y0, int width, int height)
{
    std::vector<uint8_t> grey;
    XImage* image = XGetImage(display, window, x0, y0, width, height, AllPlanes, ZPixmap);
    if (!image)
        return grey;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            unsigned long p = XGetPixel(image, x, y);   // 8-8-8 true colour
            grey.push_back((uint8_t)((((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255)) / 3));
        }
    XDestroyImage(image);
    return grey;
}

// The letterbox of a 640 x 480 window, left of where a dialog centred on a 1280-wide screen
// could lie.
std::vector<uint8_t> letterbox(Display* display, Window window)
{
    return greyOf(display, window, 0, 60, 560, 360);
}

// The top left corner of the bar above the letterbox, where the study overlay goes.
std::vector<uint8_t> overlayCorner(Display* display, Window window)
{
    return greyOf(display, window, 0, 0, 320, 56);
}

int brightPixels(const std::vector<uint8_t>& values)
{
    int n = 0;
    for (uint8_t v : values)
        n += v > 128;
    return n;
}

double mean(const std::vector<uint8_t>& values)
{
    double sum = 0;
    for (uint8_t v : values)
        sum += v;
    return values.empty() ? 0.0 : sum / (double)values.size();
}

TEST(LiveWindow, WindowedShowDrawsUntilEscapeAndEndsWithStatus0)
{
    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName)
        GTEST_SKIP() << "no X display";
    if (access(XDOTOOL, X_OK) != 0)
        GTEST_SKIP() << "xdotool missing";
    if (!haveDataSet())
        GTEST_SKIP() << "no data set built";
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        GTEST_SKIP() << "cannot open the X display " << displayName;
    XErrorHandler previousHandler = XSetErrorHandler(ignoreXError);

    // From the middle of the first scene, so the first frames are a picture, not black; looping,
    // so that only Escape ends it.
    ProcessResult result;
    std::thread show([&result] {
        result = runOrvanti({"--no-setup", "--windowed", "--mute", "--loop", "--start", "3"}, 240,
                            {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"});
    });

    auto deadline = Clock::now() + std::chrono::seconds(120);
    Window window = findShowWindow(display, deadline);
    EXPECT_NE(window, 0u) << "no window named " << SHOW_CAPTION;
    if (window) {
        XWindowAttributes attributes{};
        EXPECT_TRUE(XGetWindowAttributes(display, window, &attributes));
        EXPECT_EQ(attributes.width, 640);
        EXPECT_EQ(attributes.height, 480);

        // The loading screen's bars are far too small to pass for a picture; then, rendering
        // on, the frames keep changing.
        std::vector<uint8_t> first, later;
        while (Clock::now() < deadline && mean(first = letterbox(display, window)) <= 12.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_GT(mean(first), 12.0) << "the window shows no picture";
        auto changeDeadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < changeDeadline && (later = letterbox(display, window)) == first)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_TRUE(later != first) << "the picture stands still";

        // Tab shows the study overlay in the bar's top left corner, black until then.
        std::vector<uint8_t> corner = overlayCorner(display, window);
        EXPECT_LT(brightPixels(corner), 10) << "the corner shows something before Tab";
        runProcess({XDOTOOL, "key", "--window", std::to_string(window), "Tab"}, 10);
        auto overlayDeadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < overlayDeadline &&
               brightPixels(corner = overlayCorner(display, window)) < 300)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_GE(brightPixels(corner), 300) << "no overlay in the corner after Tab";

        // Made larger, the window gets the show at its new size: the letterbox of 800 x 600
        // reaches to the right edge, where the 640-wide picture never drew.
        std::string id = std::to_string(window);
        runProcess({XDOTOOL, "windowsize", id, "800", "600"}, 10);
        std::vector<uint8_t> grown;
        auto growDeadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < growDeadline &&
               mean(grown = greyOf(display, window, 660, 90, 140, 420)) <= 12.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_GT(mean(grown), 12.0) << "the show does not follow the window's new size";

        runProcess({XDOTOOL, "key", "--window", std::to_string(window), "Escape"}, 10);
    }
    show.join();   // without a window to press Escape in, the run's time limit ends it
    XSetErrorHandler(previousHandler);
    XCloseDisplay(display);
    EXPECT_FALSE(result.timedOut) << "still running after Escape";
    size_t tail = result.err.size() > 2000 ? result.err.size() - 2000 : 0;
    EXPECT_EQ(result.status, 0) << result.err.substr(tail);
}

// Its own 1920 x 1080 screen: Xvfb offers that one mode only, so 640 x 480 is not among them.
struct PrivateDisplay {
    pid_t server = -1;
    std::string name;
    PrivateDisplay()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        server = fork();
        if (server == 0) {
            dup2(fds[1], 3);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1920x1080x24", "-nolisten",
                   "tcp", "-noreset", (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char number[16] = {};
        ssize_t n = read(fds[0], number, sizeof number - 1);
        close(fds[0]);
        if (n > 0)
            name = ":" + std::string(number, strcspn(number, "\n"));
    }
    ~PrivateDisplay()
    {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
    }
};

// How many rows or columns in from an edge the picture stays black.
int blackBand(const std::vector<uint8_t>& grey, int width, int height, int edge)
{
    bool vertical = edge < 2;   // 0 top, 1 bottom: rows; 2 left, 3 right: columns
    int lines = vertical ? height : width, length = vertical ? width : height;
    for (int i = 0; i < lines; i++) {
        int line = edge % 2 ? lines - 1 - i : i;
        int brightest = 0;
        for (int k = 0; k < length; k++)
            brightest = std::max<int>(brightest, vertical ? grey[(size_t)line * width + k]
                                                          : grey[(size_t)k * width + line]);
        if (brightest > 24)
            return i;
    }
    return lines;
}

TEST(LiveWindow, FullScreenWithoutTheModeFillsTheDisplayScaled)
{
    if (access(XDOTOOL, X_OK) != 0 || !haveProgram("Xvfb"))
        GTEST_SKIP() << "xdotool or Xvfb missing";
    if (!haveDataSet())
        GTEST_SKIP() << "no data set built";
    PrivateDisplay screen;
    ASSERT_FALSE(screen.name.empty()) << "Xvfb did not start";
    setenv("DISPLAY", screen.name.c_str(), 1);   // for xdotool too
    Display* display = XOpenDisplay(screen.name.c_str());
    ASSERT_TRUE(display) << screen.name;
    XErrorHandler previousHandler = XSetErrorHandler(ignoreXError);

    ProcessResult result;
    std::thread show([&result, &screen] {
        result = runOrvanti(
            {"--no-setup", "--fullscreen", "--mode", "640x480", "--mute", "--loop", "--start", "3"},
            240, {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "DISPLAY=" + screen.name});
    });
    auto deadline = Clock::now() + std::chrono::seconds(120);
    Window window = findShowWindow(display, deadline);
    EXPECT_NE(window, 0u) << "no window named " << SHOW_CAPTION;
    if (window) {
        XWindowAttributes attributes{};
        EXPECT_TRUE(XGetWindowAttributes(display, window, &attributes));
        EXPECT_EQ(attributes.x, 0);
        EXPECT_EQ(attributes.y, 0);
        EXPECT_EQ(attributes.width, 1920);
        EXPECT_EQ(attributes.height, 1080);
        std::vector<uint8_t> grey;
        while (Clock::now() < deadline &&
               mean(grey = greyOf(display, window, 0, 0, 1920, 1080)) <= 12.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_GT(mean(grey), 12.0) << "the screen shows no picture";
        for (int edge = 0; edge < 4 && mean(grey) > 12.0; edge++)
            EXPECT_LE(blackBand(grey, 1920, 1080, edge), 4) << "black band at edge " << edge;
        runProcess({XDOTOOL, "key", "--window", std::to_string(window), "Escape"}, 10);
    }
    show.join();
    XSetErrorHandler(previousHandler);
    XCloseDisplay(display);
    EXPECT_FALSE(result.timedOut) << "still running after Escape";
    EXPECT_EQ(result.status, 0) << result.err.substr(0, 400);
    EXPECT_NE(result.err.find("warning: the display has no 640x480 mode"), std::string::npos);
}

}   // namespace
