// The offline modes: --capture (numbered PNG frames or a video through ffmpeg), --contact-sheet
// and --benchmark.
//
// Each renders the show as a live run does (the same start-up, precalculation, timeline, scenes
// and random draws), on a hidden window with no vsync and no sound device, and sets the show
// clock to the exact time of every frame. Captured frames go to the frame sink (frame_sink.cpp).
#include "app/app_local.h"
#include "app/offline.h"
#include "diagnostics/diagnostics.h"
#include "music/music.h"
#include "render/render.h"   // the frame record, off-screen frames, the read-back
#include "show/show.h"
#include "support/data_files.h"   // DATA_MUSIC
#include "support/os.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int CONTACT_COLUMNS = 8;
constexpr int CONTACT_ROWS = 6;
constexpr int THUMB_WIDTH = 256;
constexpr int THUMB_HEIGHT = 192;

double threadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double wallMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

FrameTarget supersampledFrame;

// The start-up of a live run, on a hidden window; returns the precalculation's wall time in s.
// With a factor above 1 the show is then drawn off screen at that many times the size. A size
// the driver cannot draw is refused before anything renders, naming the driver's limit.
double startOffline(int width, int height, int factor = 1)
{
    displaySettings.width = width;
    displaySettings.height = height;
    displaySettings.fullscreen = 0;
    displaySettings.loop = 0;
    displaySettings.vsync = 0;
    startDisplay(true);
    // A window larger than the driver draws would be cut off.
    int largest = factor > 1 ? largestFrameSide() : largestViewportSide();
    char text[256];
    if (factor > 1)
        std::snprintf(text, sizeof text,
                      "--supersample %d: a %dx%d mode is drawn at %dx%d, beyond this driver's "
                      "largest frame of %dx%d",
                      factor, width, height, width * factor, height * factor, largest, largest);
    else
        std::snprintf(text, sizeof text,
                      "--mode %dx%d: beyond this driver's largest frame of %dx%d", width, height,
                      largest, largest);
    if (width * factor > largest || height * factor > largest)
        fatalError(text);
    if (factor > 1) {
        if (!createFrameTarget(&supersampledFrame, width * factor, height * factor)) {
            std::snprintf(text, sizeof text,
                          "--supersample %d: the driver cannot make a frame of %dx%d", factor,
                          width * factor, height * factor);
            fatalError(text);
        }
    }
    double start = wallMs();
    runPrecalcPhase();
    double precalcSeconds = (wallMs() - start) / 1000.0;
    if (factor > 1) {
        // After the precalculation, whose snapshots come out as at the mode's own size.
        bindFrameTarget(&supersampledFrame);
    }
    showStarted = 1;
    return precalcSeconds;
}

// Renders the frame for show time t into the back buffer (not yet swapped).
void drawFrameAt(double t)
{
    SDL_PumpEvents();
    setCaptureTime(t);
    runTimeline();
}

void finishFrame()
{
    checkGLError();
    swapFrame();
}

void printProgress(int64_t done, int64_t total, double startedMs, bool final)
{
    static bool terminal = isTerminal(stdout);
    static double lastMs = 0;
    double now = wallMs();
    if (!final && now - lastMs < 250)
        return;
    lastMs = now;
    double elapsed = (now - startedMs) / 1000.0;
    double rate = elapsed > 0 ? done / elapsed : 0.0;
    double left = rate > 0 ? (total - done) / rate : 0.0;
    // On a terminal the line is rewritten in place, and cleared to its end so that a shorter
    // update leaves nothing of a longer one behind.
    std::printf("%sframe %lld/%lld  %.1f fps  %.0f s left%s%s", terminal ? "\r" : "",
                (long long)done, (long long)total, rate, left, terminal ? "\033[K" : "",
                terminal && !final ? "" : "\n");
    std::fflush(stdout);
}

std::string patterns(double t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", t);
    return text;
}

// The frames of the range, or 0 after saying that it holds none; `end` names a default end.
int64_t framesOfRange(double from, double to, double fps, const char* end, int* status)
{
    int64_t total = captureFrameCount(from, to, fps, SHOW_TEMPO);
    if (total == 0)
        *status = usageError("the range from " + patterns(from) + " to " + patterns(to) +
                             " patterns" + end + " holds no frame");
    return total;
}

// Hands the frames read back to the sink: the older of two held, or with `all` every one left.
// False once the sink has failed and the capture stops.
bool handOverFrames(bool all, size_t frameBytes, const std::string& path)
{
    for (int64_t index; (index = readBackWaiting(all)) != READ_BACK_NONE;) {
        std::vector<uint8_t> bgra;
        if (!sinkBuffer(frameBytes, &bgra))
            return false;
        if (!takeReadBack(bgra.data()))
            fatalErrorText(path + ": cannot read the frame back");
        submitFrame(index, std::move(bgra));
    }
    return true;
}

int runCapture()
{
    const ProgramOptions& o = programOptions;
    CaptureSetup setup = {o.capturePath,
                          o.modeGiven ? o.width : 640,
                          o.modeGiven ? o.height : 480,
                          o.supersample,
                          o.fromGiven ? o.from : 0.0,
                          o.fpsGiven ? o.fps : 60.0,
                          0,
                          o.lossless};
    const std::string& path = setup.path;
    const char* container = videoContainer(path);
    double to = o.toGiven ? o.to : musicLengthPatterns();
    int status = 0;
    setup.frames = framesOfRange(setup.from, to, setup.fps,
                                 o.toGiven ? "" : " (the end of the music)", &status);
    if (status)
        return status;
    if (o.lossless && (!container || std::strcmp(container, "matroska") != 0))
        return usageError("--lossless writes a .mkv video, not " + path);
    // x264 takes 4:2:0 pictures of whole chroma samples only; VP9 and the RGB master take any size.
    if (container && !o.lossless && std::strcmp(container, "webm") != 0 &&
        (setup.width % 2 || setup.height % 2))
        return usageError(path + ": H.264 wants an even width and height, not " +
                          std::to_string(setup.width) + "x" + std::to_string(setup.height) +
                          " (or capture to .webm, or --lossless to .mkv)");

    if (container) {
        checkFileTarget(path);
        if (findProgram("ffmpeg").empty())
            fatalErrorText(path + ": writing a video needs ffmpeg, which is not on the PATH");
    } else {
        makeFolder(path);
        std::string error;
        if (folderHoldsFrames(path) && !o.overwrite)
            fatalErrorText(path + ": holds frames already (give --overwrite to replace them)");
        // Every old frame goes, not only those this range writes again: a folder never holds
        // frames of two captures.
        if (o.overwrite && !removeFrames(path, &error))
            fatalErrorText(error);
    }

    startOffline(setup.width, setup.height, setup.factor);
    openSink(setup);
    // Read back as drawn: a supersampled frame at its full size.
    const size_t frameBytes = (size_t)frameRecord.width * frameRecord.height * 4;
    double started = wallMs();
    bool taking = true;
    for (int64_t n = 0; n < setup.frames && taking; n++) {
        drawFrameAt(captureFrameTime(setup.from, setup.fps, SHOW_TEMPO, n));
        startReadBack(n, frameRecord.width, frameRecord.height);
        taking = handOverFrames(false, frameBytes, path);
        checkGLError();
        // The read-back, one frame behind, keeps the renderer's queue short.
        swapFrameWithoutWaiting();
        printProgress(n + 1, setup.frames, started, false);
    }
    if (taking)
        handOverFrames(true, frameBytes, path);
    std::string failure = closeSink();
    if (!failure.empty())
        fatalErrorText(failure);
    printProgress(setup.frames, setup.frames, started, true);
    return 0;
}

int runContactSheet()
{
    const std::string& path = programOptions.contactSheetPath;
    checkFileTarget(path);
    const int width = 640, height = 480;
    startOffline(width, height);

    int sheetWidth = CONTACT_COLUMNS * THUMB_WIDTH, sheetHeight = CONTACT_ROWS * THUMB_HEIGHT;
    std::vector<uint8_t> sheet((size_t)sheetWidth * sheetHeight * 3);
    std::vector<uint8_t> thumb((size_t)THUMB_WIDTH * THUMB_HEIGHT * 3);
    int count = CONTACT_COLUMNS * CONTACT_ROWS;
    for (int i = 0; i < count; i++) {
        double t = i * SHOW_END / count;
        drawFrameAt(t);
        std::vector<uint8_t> rgb = readFrameRGB(width, height);
        finishFrame();
        resizeAreaRGB(rgb.data(), width, height, thumb.data(), THUMB_WIDTH, THUMB_HEIGHT);
        int x0 = (i % CONTACT_COLUMNS) * THUMB_WIDTH, y0 = (i / CONTACT_COLUMNS) * THUMB_HEIGHT;
        for (int y = 0; y < THUMB_HEIGHT; y++)
            std::memcpy(&sheet[((size_t)(y0 + y) * sheetWidth + x0) * 3],
                        &thumb[(size_t)y * THUMB_WIDTH * 3], (size_t)THUMB_WIDTH * 3);
        std::printf("%2d  %.4f\n", i + 1, t);
        std::fflush(stdout);
    }
    std::string error;
    if (!writePngRGB(path, sheet.data(), sheetWidth, sheetHeight, &error))
        fatalErrorText(error);
    return 0;
}

struct FrameSample {
    double wallMs;
    double cpuMs;
};

void printBenchmarkRow(const char* name, const std::vector<FrameSample>& samples)
{
    std::vector<double> wall, cpu;
    for (const FrameSample& s : samples) {
        wall.push_back(s.wallMs);
        cpu.push_back(s.cpuMs);
    }
    double median = percentileOf(wall, 0.5);
    double rate = median > 0 ? 1000.0 / median : 0.0;
    std::printf("%-10s %7zu %10.2f %9.2f %9.2f %9.1f fps %9.2f\n", name, samples.size(), median,
                percentileOf(wall, 0.95),
                wall.empty() ? 0.0 : *std::max_element(wall.begin(), wall.end()), rate,
                percentileOf(cpu, 0.5));
}

int runBenchmark()
{
    const ProgramOptions& o = programOptions;
    double fps = o.fpsGiven ? o.fps : 30.0;
    double from = o.fromGiven ? o.from : 0.0;
    double to = o.toGiven ? o.to : SHOW_END;
    int width = o.modeGiven ? o.width : 640;
    int height = o.modeGiven ? o.height : 480;

    int status = 0;
    int64_t total =
        framesOfRange(from, to, fps, o.toGiven ? "" : " (the end of the show)", &status);
    if (status)
        return status;
    double precalcSeconds = startOffline(width, height);
    std::vector<FrameSample> perScene[SCENE_COUNT + 1];
    std::vector<FrameSample> all;
    double loopStart = wallMs();
    for (int64_t n = 0; n < total; n++) {
        double t = captureFrameTime(from, fps, SHOW_TEMPO, n);
        double wall0 = wallMs(), cpu0 = threadCpuMs();
        drawFrameAt(t);
        double cpu1 = threadCpuMs();
        finishDrawing();
        FrameSample sample{wallMs() - wall0, cpu1 - cpu0};
        finishFrame();
        int scene = sceneAtTime((float)t);
        if (scene >= 1 && scene <= SCENE_COUNT)
            perScene[scene].push_back(sample);
        all.push_back(sample);
    }
    double loopSeconds = (wallMs() - loopStart) / 1000.0;

    std::printf("%-10s %7s %10s %9s %9s %13s %9s\n", "", "frames", "median ms", "p95 ms", "max ms",
                "median rate", "cpu ms");
    for (int scene = 1; scene <= SCENE_COUNT; scene++) {
        char name[16];
        std::snprintf(name, sizeof name, "scene %d", scene);
        printBenchmarkRow(name, perScene[scene]);
    }
    printBenchmarkRow("show", all);
    std::printf("precalc    %.4f s\n", precalcSeconds);
    // Over the whole loop, swaps included: what a capture's rate compares with.
    std::printf("all frames %lld in %.2f s, frames a second %.2f\n", (long long)total, loopSeconds,
                loopSeconds > 0 ? total / loopSeconds : 0.0);
    return 0;
}

}   // namespace

int runOfflineMode()
{
    // Offline work needs no screen: without a choice of driver, take the one that needs none.
    prepareOfflineRun();
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "orvanti: SDL could not start: %s\n", SDL_GetError());
        return 1;
    }
    // First, for the range's end: the music fails as in a live run, before anything renders.
    openMusicForCapture(dataPath(DATA_MUSIC.name).c_str(), (float)SHOW_TEMPO);
    int status;
    if (!programOptions.capturePath.empty())
        status = runCapture();
    else if (!programOptions.contactSheetPath.empty())
        status = runContactSheet();
    else
        status = runBenchmark();
    closeMusic();
    closeDisplay();
    SDL_Quit();
    return status;
}
