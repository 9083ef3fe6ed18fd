// The live show in a real X window (windowed and resized, full screen without the mode, too few
// colour bits) and as a Wayland client of Weston. Skips without X, xdotool, Weston or the data.
#include "app/app_local.h"
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>
// After the test framework: the X headers define None, Bool and Status as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
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

// The show's window of our own child (another run may share the display), or 0.
Window findShowWindow(Clock::time_point deadline)
{
    std::string name = std::string("^") + SHOW_CAPTION + "$";
    while (Clock::now() < deadline) {
        std::istringstream ids(runProcess({XDOTOOL, "search", "--name", name}, 10).out);
        for (std::string id; ids >> id;) {
            std::string pid = runProcess({XDOTOOL, "getwindowpid", id}, 10).out;
            std::ifstream status("/proc/" + std::to_string(std::atol(pid.c_str())) + "/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("PPid:", 0) == 0 && std::stol(line.substr(5)) == getpid())
                    return (Window)std::stoul(id);
        }
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

double mean(const std::vector<uint8_t>& values)
{
    double sum = 0;
    for (uint8_t v : values)
        sum += v;
    return values.empty() ? 0.0 : sum / (double)values.size();
}

// Polls every quarter second until done() holds or the seconds are up.
template <typename Done>
void waitFor(int seconds, Done done)
{
    auto until = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < until && !done())
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
}

// Weston's X11 backend takes keys only while its window has the focus.
void press(Window window, const char* key)
{
    runProcess({XDOTOOL, "windowfocus", std::to_string(window)}, 10);
    runProcess({XDOTOOL, "key", "--window", std::to_string(window), key}, 10);
}

// Holds the picture, then presses Tab: how many pixels of the top left corner (the bar above the
// letterbox, or the picture where no bar is seen) the overlay changed by more than grain does.
int overlayChange(Display* display, Window window)
{
    press(window, "Pause");
    std::this_thread::sleep_for(std::chrono::seconds(3));   // the held picture on the screen
    std::vector<uint8_t> held = greyOf(display, window, 0, 0, 400, 100), now;
    press(window, "Tab");
    int changed = 0;
    waitFor(30, [&] {
        now = greyOf(display, window, 0, 0, 400, 100);
        changed = 0;
        for (size_t i = 0; i < now.size() && i < held.size(); i++)
            changed += std::abs(now[i] - held[i]) > 96;
        return changed >= 300;
    });
    return changed;
}

// Plays the show on the display, looping from the middle of the first scene so that the first
// frames are a picture and only Escape ends it; look() sees its window, then Escape is pressed.
ProcessResult playOn(const std::string& displayName, std::vector<std::string> args,
                     const std::function<void(Display*, Window)>& look,
                     std::vector<std::string> env = {"SDL_VIDEODRIVER=x11"},
                     Window (*find)(Clock::time_point) = findShowWindow)
{
    Display* display = XOpenDisplay(displayName.c_str());
    EXPECT_TRUE(display) << displayName;
    if (!display)
        return {};
    XErrorHandler previousHandler = XSetErrorHandler(ignoreXError);
    ProcessResult result;
    args.insert(args.end(), {"--mute", "--loop", "--start", "3"});
    env.insert(env.end(), {"SDL_AUDIODRIVER=dummy", "DISPLAY=" + displayName});
    std::thread show([&] { result = runOrvanti(args, 240, env); });
    Window window = find(Clock::now() + std::chrono::seconds(120));
    EXPECT_NE(window, 0u) << "no window to watch";
    if (window) {
        look(display, window);
        press(window, "Escape");
    }
    show.join();   // without a window to press Escape in, the run's time limit ends it
    XSetErrorHandler(previousHandler);
    XCloseDisplay(display);
    EXPECT_FALSE(result.timedOut) << "still running after Escape";
    size_t tail = result.err.size() > 2000 ? result.err.size() - 2000 : 0;
    EXPECT_EQ(result.status, 0) << result.err.substr(tail);
    return result;
}

TEST(LiveWindow, WindowedShowDrawsUntilEscapeAndEndsWithStatus0)
{
    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || !*displayName)
        GTEST_SKIP() << "no X display";
    if (access(XDOTOOL, X_OK) != 0)
        GTEST_SKIP() << "xdotool missing";
    SKIP_WITHOUT_DATA_SET();
    playOn(displayName, {"--no-setup", "--windowed"}, [](Display* display, Window window) {
        XWindowAttributes attributes{};
        EXPECT_TRUE(XGetWindowAttributes(display, window, &attributes));
        EXPECT_EQ(attributes.width, 640);
        EXPECT_EQ(attributes.height, 480);

        // The loading screen's bars are far too small to pass for a picture; then, rendering on,
        // the frames keep changing. The letterbox is read left of where a dialog centred on a
        // 1280-wide screen could lie.
        std::vector<uint8_t> first, later;
        waitFor(120, [&] { return mean(first = greyOf(display, window, 0, 60, 560, 360)) > 12.0; });
        EXPECT_GT(mean(first), 12.0) << "the window shows no picture";
        waitFor(20, [&] { return (later = greyOf(display, window, 0, 60, 560, 360)) != first; });
        EXPECT_TRUE(later != first) << "the picture stands still";

        EXPECT_GE(overlayChange(display, window), 300) << "no overlay after Tab";
        // Made larger, the held window gets the show at its new size: the letterbox of 800 x 600
        // reaches to the right edge, where the 640-wide picture never drew.
        runProcess({XDOTOOL, "windowsize", std::to_string(window), "800", "600"}, 10);
        auto right = [&] { return mean(greyOf(display, window, 660, 90, 140, 420)); };
        waitFor(20, [&] { return right() > 12.0; });
        EXPECT_GT(right(), 12.0) << "the show does not follow the window's new size";
    });
}

// A server of the test's own, started by a shell line ending in exec, fd3 its descriptor 3.
struct Server {
    pid_t pid = -1;
    Server(const std::string& line, int fd3 = -1)
    {
        if ((pid = fork()) == 0) {
            dup2(fd3, 3);
            execl("/bin/sh", "sh", "-c", line.c_str(), (char*)nullptr);
            _exit(127);
        }
    }
    ~Server()
    {
        if (pid > 0 && kill(pid, SIGTERM) == 0)
            waitpid(pid, nullptr, 0);
    }
};

// Xvfb, by default 1920 x 1080: its one mode, so 640 x 480 is not among them. No name: no Xvfb.
struct PrivateDisplay {
    std::string name;
    std::unique_ptr<Server> server;
    explicit PrivateDisplay(const std::string& screen = "1920x1080x24")
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        server = std::make_unique<Server>(
            "exec Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 " + screen, fds[1]);
        close(fds[1]);
        char number[16] = {};
        if (read(fds[0], number, sizeof number - 1) > 0)
            name = ":" + std::string(number, strcspn(number, "\n"));
        close(fds[0]);
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

// Full screen without a mode change: the picture fills the screen; Tab shows the overlay.
std::function<void(Display*, Window)> fillsTheScreen(int width, int height)
{
    return [=](Display* display, Window window) {
        XWindowAttributes attributes{};
        EXPECT_TRUE(XGetWindowAttributes(display, window, &attributes));
        EXPECT_EQ(std::vector({attributes.x, attributes.y, attributes.width, attributes.height}),
                  std::vector({0, 0, width, height}));
        std::vector<uint8_t> grey;
        waitFor(120,
                [&] { return mean(grey = greyOf(display, window, 0, 0, width, height)) > 12.0; });
        EXPECT_GT(mean(grey), 12.0) << "the screen shows no picture";
        for (int edge = 0; edge < 4 && mean(grey) > 12.0; edge++)
            EXPECT_LE(blackBand(grey, width, height, edge), 4) << "black band at edge " << edge;
        EXPECT_GE(overlayChange(display, window), 300) << "no overlay after Tab";
    };
}

TEST(LiveWindow, FullScreenWithoutTheModeFillsTheDisplayScaled)
{
    if (access(XDOTOOL, X_OK) != 0 || !haveProgram("Xvfb"))
        GTEST_SKIP() << "xdotool or Xvfb missing";
    SKIP_WITHOUT_DATA_SET();
    PrivateDisplay screen;
    ASSERT_FALSE(screen.name.empty()) << "Xvfb did not start";
    setenv("DISPLAY", screen.name.c_str(), 1);   // for xdotool too
    ProcessResult result = playOn(screen.name, {"--no-setup", "--fullscreen", "--mode", "640x480"},
                                  fillsTheScreen(1920, 1080));
    EXPECT_NE(result.err.find("warning: the display has no 640x480 mode"), std::string::npos);
}

// Without the composite extension a 16-bit Xvfb offers no deeper visual.
TEST(LiveWindow, ADisplayOfFewerThan24ColourBitsGetsTheColourDepthMessage)
{
    PrivateDisplay screen("1024x768x16 -extension Composite");
    ProcessResult r = runOrvanti({"--no-setup", "--windowed", "--mute"}, 60,
                                 {"SDL_VIDEODRIVER=x11", "DISPLAY=" + screen.name});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("error: Failed to initialize 24bpp mode"), std::string::npos) << r.err;
}

TEST(Wayland, NativeClientOfWestonAndX11WhereTheCompositorHasNoSeat)
{
    if (access(XDOTOOL, X_OK) != 0 || !haveProgram("weston"))
        GTEST_SKIP() << "xdotool or weston missing";
    SKIP_WITHOUT_DATA_SET();
    PrivateDisplay screen;
    std::string dir = makeTempDir("weston");
    setenv("DISPLAY", screen.name.c_str(), 1);   // for xdotool and Weston too
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    std::vector<std::string> env = {"SDL_VIDEODRIVER=wayland", "WAYLAND_DISPLAY=wayland-test"};
    // The kiosk shell: a black desktop and no helper programs.
    auto weston = [&](const std::string& backend) {
        auto server = std::make_unique<Server>(
            "chmod 700 " + dir + "; exec weston --no-config --backend=" + backend +
            "-backend.so --shell=kiosk-shell.so --socket=wayland-test --idle-time=0 --use-pixman " +
            "--width=800 --height=600 >/dev/null 2>&1");
        waitFor(20, [&] { return access((dir + "/wayland-test").c_str(), F_OK) == 0; });
        return server;
    };
    {
        // Headless, Weston has no seat (SDL's Wayland driver crashes): X11, the music's last bar.
        auto headless = weston("headless");
        ProcessResult r =
            runOrvanti({"--no-setup", "--windowed", "--mute", "--start", "40.9"}, 120, env);
        EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
        EXPECT_NE(r.err.find("warning: the Wayland compositor offers no seat"), std::string::npos);
    }
    auto x11 = weston("x11");
    playOn(
        screen.name, {"--no-setup", "--fullscreen", "--mode", "640x480"}, fillsTheScreen(800, 600),
        env, [](Clock::time_point) {   // Weston's window, the only one on its display
            std::string id = runProcess({XDOTOOL, "search", "--sync", "--class", "weston"}, 60).out;
            return (Window)std::strtoul(id.c_str(), nullptr, 10);
        });
}

}   // namespace
