// The command line. With no arguments the program is the plain show: setup dialog, then the show.
#include "app/app_local.h"
#include "diagnostics/diagnostics.h"   // setTimingLog
#include "music/music.h"               // the sound devices
#include "show/show.h"                 // SCENE_COUNT

#include <cxxopts.hpp>

#include <algorithm>
#include <cerrno>
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
           "Options (a value follows its option or an equals sign: --mode 800x600 or\n"
           "--mode=800x600):\n"
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
           "  --data DIR           read the data files from DIR (default: data/ beside the\n"
           "                       program, else ../share/orvanti/data from it)\n"
           "  --start PATTERNS     once the music plays, seek to this show time\n"
           "  --scene N            start at scene N's first window (1 to 11); with --loop play\n"
           "                       that window again and again\n"
           "  --mute               no sound device: the clock runs on the wall clock\n"
           "  --audio-device NAME  play on this sound device (see --list-audio-devices)\n"
           "  --list-audio-devices list the sound devices by name and exit\n"
           "  --audio-offset MS    delay the picture by MS milliseconds against the sound\n"
           "                       (-1000 to 1000; negative brings it forward)\n"
           "  --quiet              leave out the timing log\n"
           "  --capture PATH       render frames offline to PATH (a folder of PNGs, or a video\n"
           "                       file ending in .mp4, .mkv, .webm or .mov)\n"
           "  --fps N              frames per second of --capture and --benchmark\n"
           "  --from T, --to T     show-time range in patterns of --capture and --benchmark\n"
           "  --contact-sheet FILE render 48 thumbnails of the show into one PNG\n"
           "  --benchmark          render the show as fast as possible and print frame times\n"
           "  --supersample N      --capture draws each frame at N times the mode's size (1 to\n"
           "                       4) and averages it down, for smoother edges\n"
           "  --lossless           --capture FILE.mkv holds every frame exactly (FFV1, RGB) and\n"
           "                       the music as FLAC: a master to keep\n"
           "  --overwrite          let --capture and --contact-sheet replace existing files\n"
           "\n"
           "With ORVANTI_NO_MESSAGE_BOX set in the environment (to anything), errors and warnings\n"
           "go to the standard error stream only, never into a message box.\n"
           "\n"
           "Keys during the show: Pause holds, Page Up goes one pattern back, Page Down one on,\n"
           "Home restarts, Escape quits, Tab shows or hides the study overlay. While held, Right\n"
           "and Left step one display frame on or back, with Shift one row.\n";
}

int usageError(const std::string& text, const char* value)
{
    if (value)
        std::fprintf(stderr, "orvanti: %s: %s (see --help)\n", text.c_str(), value);
    else
        std::fprintf(stderr, "orvanti: %s (see --help)\n", text.c_str());
    return 2;
}

namespace {

bool parseNumber(const char* text, double* out)
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

bool parseShowTime(const char* text, double* out)
{
    return parseNumber(text, out) && std::fabs(*out) <= SHOW_TIME_LIMIT;
}

bool parseMode(const char* text, int32_t* width, int32_t* height)
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

// What a bare flag reads as: no argument can hold a NUL byte, so "--loop=1" and "--loop=" are
// told apart from "--loop" and refused.
const std::string BARE_FLAG(1, '\0');

// The options without a value, and those with one (names without their leading "--").
const char* const FLAG_OPTIONS[] = {
    "help", "version",   "no-setup",  "windowed", "fullscreen",         "loop", "vsync", "no-vsync",
    "mute", "benchmark", "overwrite", "lossless", "list-audio-devices", "quiet"};
const char* const VALUE_OPTIONS[] = {"mode",          "data",        "start", "scene", "capture",
                                     "contact-sheet", "supersample", "fps",   "from",  "to",
                                     "audio-device",  "audio-offset"};

// Applies one option; returns -1 to go on, or an exit status.
int applyOption(ProgramOptions& o, const std::string& name, const std::string& value)
{
    const char* v = value.c_str();
    std::string option = "--" + name;
    auto showTime = [&](double* out) {
        if (parseShowTime(v, out))
            return true;
        usageError(option + " wants a show time of -10000 to 10000 patterns, not", v);
        return false;
    };
    double number = 0.0;
    if (name == "help") {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    } else if (name == "version") {
        std::printf("orvanti %s\n", ORVANTI_VERSION);
        return 0;
    } else if (name == "no-setup") {
        o.noSetup = true;
    } else if (name == "mode") {
        if (!parseMode(v, &o.width, &o.height))
            return usageError("--mode wants WxH of at least 512x256 or desktop, not", v);
        o.modeGiven = true;
    } else if (name == "windowed") {
        o.fullscreen = 0;
    } else if (name == "fullscreen") {
        o.fullscreen = 1;
    } else if (name == "loop") {
        o.loop = 1;
    } else if (name == "vsync") {
        o.vsync = 1;
    } else if (name == "no-vsync") {
        o.vsync = 0;
    } else if (name == "data") {
        if (value.empty())
            return usageError("--data wants a directory", nullptr);
        o.dataDir = value;
        if (o.dataDir.back() != '/')
            o.dataDir += '/';
    } else if (name == "start") {
        if (!showTime(&number))
            return 2;
        o.startGiven = true;
        o.start = (float)number;
    } else if (name == "scene") {
        char* end = nullptr;
        long scene = std::strtol(v, &end, 10);
        if (end == v || *end != '\0' || scene < 1 || scene > SCENE_COUNT)
            return usageError("--scene wants a scene number from 1 to 11, not", v);
        o.scene = (int32_t)scene;
    } else if (name == "mute") {
        o.mute = true;
    } else if (name == "audio-device") {
        if (value.empty())
            return usageError("--audio-device wants a device name", nullptr);
        o.audioDevice = value;
    } else if (name == "list-audio-devices") {
        o.listAudioDevices = true;
    } else if (name == "audio-offset") {
        if (!parseNumber(v, &number) || std::fabs(number) > 1000.0)
            return usageError("--audio-offset wants milliseconds from -1000 to 1000, not", v);
        o.audioOffsetMs = number;
    } else if (name == "quiet") {
        o.quiet = true;
    } else if (name == "capture") {
        if (value.empty())
            return usageError("--capture wants a path", nullptr);
        o.capturePath = value;
    } else if (name == "contact-sheet") {
        if (value.empty())
            return usageError("--contact-sheet wants a file name", nullptr);
        o.contactSheetPath = value;
    } else if (name == "benchmark") {
        o.benchmark = true;
    } else if (name == "supersample") {
        if (!parseNumber(v, &number) || number != std::floor(number) || number < 1 || number > 4)
            return usageError("--supersample wants a factor of 1 to 4, not", v);
        o.supersample = (int)number;
    } else if (name == "overwrite") {
        o.overwrite = true;
    } else if (name == "lossless") {
        o.lossless = true;
    } else if (name == "fps") {
        if (!parseNumber(v, &number) || number <= 0.0 || number > 1000.0)
            return usageError("--fps wants a number of frames per second, not", v);
        o.fpsGiven = true;
        o.fps = number;
    } else if (name == "from") {
        if (!showTime(&o.from))
            return 2;
        o.fromGiven = true;
    } else if (name == "to") {
        if (!showTime(&o.to))
            return 2;
        o.toGiven = true;
    } else {
        return usageError("unknown option", option.c_str());
    }
    return -1;
}

// --list-audio-devices prints the devices and ends; a device asked for must be one of them.
int checkAudioDevice()
{
    const ProgramOptions& o = programOptions;
    if (!o.listAudioDevices && o.audioDevice.empty())
        return -1;
    std::vector<MusicDevice> devices;
    std::string output = listMusicDevices(&devices);
    if (o.listAudioDevices) {
        std::printf("%s output:\n", output.c_str());
        for (const MusicDevice& d : devices)
            std::printf("  %s%s%s%s\n", d.name.c_str(), d.description.empty() ? "" : "  ",
                        d.description.c_str(), d.isDefault ? "  (default)" : "");
        return 0;
    }
    for (const MusicDevice& d : devices)
        if (d.name == o.audioDevice)
            return -1;
    return usageError("--audio-device names no device that --list-audio-devices shows",
                      o.audioDevice.c_str());
}

}   // namespace

// The parser splits the arguments (GNU's "--mode 800x600" and "--mode=800x600" alike) and hands
// them back in their order, so that the last of --windowed and --fullscreen wins and the first
// bad value is the one named; the values are checked here.
int parseCommandLine(int argc, char** argv)
{
    cxxopts::Options parser("orvanti");
    parser.allow_unrecognised_options();   // named by our own message below
    cxxopts::OptionAdder add = parser.add_options();
    for (const char* name : FLAG_OPTIONS)
        add(name, "", cxxopts::value<std::string>()->implicit_value(BARE_FLAG));
    for (const char* name : VALUE_OPTIONS)
        add(name, "", cxxopts::value<std::string>());
    cxxopts::ParseResult parsed;
    try {
        parsed = parser.parse(argc, argv);
    } catch (const cxxopts::exceptions::missing_argument&) {
        // Only the last argument can be without its value.
        return usageError("missing value for", argv[argc - 1]);
    } catch (const cxxopts::exceptions::exception& e) {
        return usageError(e.what(), nullptr);
    }
    if (!parsed.unmatched().empty())
        return usageError("unknown option", parsed.unmatched().front().c_str());
    ProgramOptions& o = programOptions;
    for (const cxxopts::KeyValue& given : parsed.arguments()) {
        bool flag = std::find(std::begin(FLAG_OPTIONS), std::end(FLAG_OPTIONS), given.key()) !=
                    std::end(FLAG_OPTIONS);
        if (flag && given.value() != BARE_FLAG)
            return usageError("--" + given.key() + " takes no value, not",
                              ("--" + given.key() + "=" + given.value()).c_str());
        int status = applyOption(o, given.key(), given.value());
        if (status >= 0)
            return status;
    }
    bool offline = !o.capturePath.empty() || !o.contactSheetPath.empty() || o.benchmark;
    if (o.supersample > 1 && o.capturePath.empty())
        return usageError("--supersample is for", "--capture");
    if (o.lossless && o.capturePath.empty())
        return usageError("--lossless is for", "--capture FILE.mkv");
    if (offline && o.modeGiven && o.width == 0)
        return usageError("--mode desktop is for the show on a display, not for", "offline modes");
    if (o.fromGiven && o.toGiven && o.from > o.to)
        return usageError("--from lies after --to", nullptr);
    setTimingLog(!o.quiet);
    return checkAudioDevice();
}

std::string dataPath(const char* name)
{
    return programOptions.dataDir + name;
}
