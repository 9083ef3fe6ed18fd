// The command line. With no arguments the program is the plain show: setup dialog, then the show.
#include "app/app_local.h"
#include "show/show.h"   // SCENE_COUNT

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

ProgramOptions programOptions;

std::string usageText()
{
    return "Usage: orvanti [options]\n"
           "Plays the show from the start of the music. Without options the setup dialog asks\n"
           "for the display mode, full screen, loop and vertical sync.\n"
           "\n"
           "Options:\n"
           "  --help               show this text and exit\n"
           "  --version            show the version and exit\n"
           "  --no-setup           skip the setup dialog and use the settings as given\n"
           "  --mode WxH           display mode, e.g. 640x480, 800x600, 1024x768 (at least "
           "512x256);\n"
           "                       full screen without that mode scales it to the display\n"
           "  --mode desktop       full screen at the display's own size\n"
           "  --windowed           run in a window\n"
           "  --fullscreen         run in full screen (the default)\n"
           "  --loop               start the show again when the music ends\n"
           "  --vsync              wait for the vertical retrace (the setup dialog's default)\n"
           "  --no-vsync           do not wait for it (the default with --no-setup)\n"
           "  --data DIR           read the data files from DIR (default: data/ beside the "
           "program)\n"
           "  --start PATTERNS     once the music plays, seek to this show time\n"
           "  --scene N            start at scene N's first window (1 to 11); with --loop play\n"
           "                       that window again and again\n"
           "  --mute               no sound device: the clock runs on the wall clock\n"
           "  --capture PATH       render frames offline to PATH (a folder of PNGs, or a video\n"
           "                       file ending in .mp4, .mkv, .webm or .mov)\n"
           "  --fps N              frames per second of --capture and --benchmark\n"
           "  --from T, --to T     show-time range in patterns of --capture and --benchmark\n"
           "  --contact-sheet FILE render 48 thumbnails of the show into one PNG\n"
           "  --benchmark          render the show as fast as possible and print frame times\n"
           "  --supersample N      --capture draws each frame at N times the mode's size (1 to\n"
           "                       4) and averages it down, for smoother edges\n"
           "  --overwrite          let --capture and --contact-sheet replace existing files\n"
           "\n"
           "Keys during the show: Pause holds, Page Up goes one pattern back, Page Down one on,\n"
           "Home restarts, Escape quits, Tab shows or hides the study overlay. While held, Right\n"
           "and Left step one display frame on or back, with Shift one row.\n";
}

static int usageError(const char* text, const char* value)
{
    if (value)
        std::fprintf(stderr, "orvanti: %s: %s (see --help)\n", text, value);
    else
        std::fprintf(stderr, "orvanti: %s (see --help)\n", text);
    return 2;
}

static bool parseNumber(const char* text, double* out)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

// Show times are held as milliseconds in an int and counted out in frames: beyond this many
// patterns (21 hours) those counts would overflow, and no show or capture comes near it.
constexpr double SHOW_TIME_LIMIT = 10000.0;

static bool parseShowTime(const char* text, double* out)
{
    return parseNumber(text, out) && std::fabs(*out) <= SHOW_TIME_LIMIT;
}

static bool parseMode(const char* text, int32_t* width, int32_t* height)
{
    if (!text)
        return false;
    if (!std::strcmp(text, "desktop")) {
        *width = *height = 0;   // the display's own size, known once it is open
        return true;
    }
    char* end = nullptr;
    long w = std::strtol(text, &end, 10);
    if (end == text || *end != 'x')
        return false;
    const char* rest = end + 1;
    long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0')
        return false;
    if (w < 512 || h < 256 || w > 16384 || h > 16384)
        return false;
    *width = (int32_t)w;
    *height = (int32_t)h;
    return true;
}

static std::string executableDirectory()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return "./";
    path[n] = '\0';
    char* slash = std::strrchr(path, '/');
    if (!slash)
        return "./";
    slash[1] = '\0';
    return path;
}

int parseCommandLine(int argc, char** argv)
{
    ProgramOptions& o = programOptions;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                usageError("missing value for", name);
                return nullptr;
            }
            return argv[++i];
        };
        double number = 0.0;
        if (!std::strcmp(arg, "--help")) {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        } else if (!std::strcmp(arg, "--version")) {
            std::printf("orvanti %s\n", ORVANTI_VERSION);
            return 0;
        } else if (!std::strcmp(arg, "--no-setup")) {
            o.noSetup = true;
        } else if (!std::strcmp(arg, "--mode")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!parseMode(v, &o.width, &o.height))
                return usageError("--mode wants WxH of at least 512x256 or desktop, not", v);
            o.modeGiven = true;
        } else if (!std::strcmp(arg, "--windowed")) {
            o.fullscreen = 0;
        } else if (!std::strcmp(arg, "--fullscreen")) {
            o.fullscreen = 1;
        } else if (!std::strcmp(arg, "--loop")) {
            o.loop = 1;
        } else if (!std::strcmp(arg, "--vsync")) {
            o.vsync = 1;
        } else if (!std::strcmp(arg, "--no-vsync")) {
            o.vsync = 0;
        } else if (!std::strcmp(arg, "--data")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!*v)
                return usageError("--data wants a directory", nullptr);
            o.dataDir = v;
            if (o.dataDir.back() != '/')
                o.dataDir += '/';
        } else if (!std::strcmp(arg, "--start")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!parseShowTime(v, &number))
                return usageError("--start wants a show time of -10000 to 10000 patterns, not", v);
            o.startGiven = true;
            o.start = (float)number;
        } else if (!std::strcmp(arg, "--scene")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            char* end = nullptr;
            long scene = std::strtol(v, &end, 10);
            if (end == v || *end != '\0' || scene < 1 || scene > SCENE_COUNT)
                return usageError("--scene wants a scene number from 1 to 11, not", v);
            o.scene = (int32_t)scene;
        } else if (!std::strcmp(arg, "--mute")) {
            o.mute = true;
        } else if (!std::strcmp(arg, "--capture")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!*v)
                return usageError("--capture wants a path", nullptr);
            o.capturePath = v;
        } else if (!std::strcmp(arg, "--contact-sheet")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!*v)
                return usageError("--contact-sheet wants a file name", nullptr);
            o.contactSheetPath = v;
        } else if (!std::strcmp(arg, "--benchmark")) {
            o.benchmark = true;
        } else if (!std::strcmp(arg, "--supersample")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!parseNumber(v, &number) || number != std::floor(number) || number < 1 ||
                number > 4)
                return usageError("--supersample wants a factor of 1 to 4, not", v);
            o.supersample = (int)number;
        } else if (!std::strcmp(arg, "--overwrite")) {
            o.overwrite = true;
        } else if (!std::strcmp(arg, "--fps")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!parseNumber(v, &number) || number <= 0.0 || number > 1000.0)
                return usageError("--fps wants a number of frames per second, not", v);
            o.fpsGiven = true;
            o.fps = number;
        } else if (!std::strcmp(arg, "--from")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!parseShowTime(v, &number))
                return usageError("--from wants a show time of -10000 to 10000 patterns, not", v);
            o.fromGiven = true;
            o.from = number;
        } else if (!std::strcmp(arg, "--to")) {
            const char* v = value(arg);
            if (!v)
                return 2;
            if (!parseShowTime(v, &number))
                return usageError("--to wants a show time of -10000 to 10000 patterns, not", v);
            o.toGiven = true;
            o.to = number;
        } else {
            return usageError("unknown option", arg);
        }
    }
    bool offline = !o.capturePath.empty() || !o.contactSheetPath.empty() || o.benchmark;
    if (o.supersample > 1 && o.capturePath.empty())
        return usageError("--supersample is for", "--capture");
    if (offline && o.modeGiven && o.width == 0)
        return usageError("--mode desktop is for the show on a display, not for", "offline modes");
    if (o.fromGiven && o.toGiven && o.from > o.to)
        return usageError("--from lies after --to", nullptr);
    if (o.dataDir.empty())
        o.dataDir = executableDirectory() + "data/";
    return -1;
}

std::string dataPath(const char* name)
{
    return programOptions.dataDir + name;
}
