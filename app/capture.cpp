// The offline modes: --capture (numbered PNG frames or a video through ffmpeg), --contact-sheet
// and --benchmark.
//
// Each renders the show as a live run does (the same start-up, precalculation, timeline, scenes
// and random draws), on a hidden window with no vsync and no sound device, and sets the show
// clock to the exact time of every frame. Frames are read back after the timeline has drawn them
// and handed to worker threads, so compression never holds up the renderer; the queue between
// them is bounded, so a slow disk slows the capture instead of filling memory.
#include "app/app_local.h"
#include "render/gl.h"
#include "app/offline.h"
#include "diagnostics/diagnostics.h"
#include "music/music.h"
#include "show/show.h"
#include "support/data_files.h"   // DATA_MUSIC
#include "support/support.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int CONTACT_COLUMNS = 8;
constexpr int CONTACT_ROWS = 6;
constexpr int THUMB_WIDTH = 256;
constexpr int THUMB_HEIGHT = 192;
constexpr size_t QUEUE_LIMIT = 8;   // frames waiting for a worker

// Where finished frames go: a folder of PNG files (any worker, any order) or one ffmpeg pipe
// (one worker, in order).
struct FrameSink {
    std::string path;
    bool video = false;
    int width = 0, height = 0;
    pid_t encoder = -1;
    int pipe = -1;

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<int64_t, std::vector<uint8_t>>> queue;
    bool closing = false;
    std::string failure;   // the error of the lowest failed frame, which ends the capture
    int64_t failedFrame = INT64_MAX;
    int64_t written = 0;
    std::vector<std::thread> workers;
};

FrameSink sink;

bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string parentOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void fail(const std::string& text)
{
    fatalError(text.c_str());
}

// mkdir -p
void makeFolder(const std::string& folder)
{
    std::string partial;
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        partial = folder.substr(0, at);
        if (partial.empty() || fileExists(partial))
            continue;
        if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST)
            fail(folder + ": cannot create the folder: " + std::strerror(errno));
    }
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        fail(folder + ": not a folder");
    std::string probe = folder + "/.orvanti-write-test-XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0)
        fail(folder + ": cannot write there: " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

// A target is refused before anything renders: no silent overwrite, no unwritable place.
void checkFileTarget(const std::string& path)
{
    bool existed = fileExists(path);
    if (existed && !programOptions.overwrite)
        fail(path + ": exists already (give --overwrite to replace it)");
    std::string parent = parentOf(path);
    makeFolder(parent);
    // Permissions say little (root may write anywhere, /proc refuses everyone): try it.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0666);
    if (fd < 0)
        fail(path + ": cannot write there: " + std::strerror(errno));
    close(fd);
    if (!existed)
        unlink(path.c_str());
}

bool findOnPath(const char* program)
{
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        std::string candidate = all.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

void recordFailure(int64_t index, const std::string& text)
{
    std::lock_guard<std::mutex> guard(sink.lock);
    if (index < sink.failedFrame) {
        sink.failedFrame = index;
        sink.failure = text;
    }
    sink.changed.notify_all();
}

bool writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

void runWorker()
{
    for (;;) {
        std::pair<int64_t, std::vector<uint8_t>> job;
        {
            std::unique_lock<std::mutex> guard(sink.lock);
            sink.changed.wait(guard, [] { return !sink.queue.empty() || sink.closing; });
            if (sink.queue.empty())
                return;
            job = std::move(sink.queue.front());
            sink.queue.pop_front();
            sink.changed.notify_all();
            // Frames before a failed one are still written, so that all of them are on disk.
            if (job.first > sink.failedFrame)
                continue;
        }
        std::string error;
        bool ok;
        if (sink.video) {
            ok = writeAll(sink.pipe, job.second.data(), job.second.size());
            if (!ok)
                error = sink.path + ": ffmpeg stopped taking frames (" + std::strerror(errno) + ")";
        } else {
            ok = writePngRGB(sink.path + "/" + frameFileName(job.first), job.second.data(),
                             sink.width, sink.height, &error);
        }
        if (!ok) {
            recordFailure(job.first, error);
            continue;
        }
        std::lock_guard<std::mutex> guard(sink.lock);
        sink.written++;
        sink.changed.notify_all();
    }
}

void startEncoder(double from, double to, double fps)
{
    double startSeconds = from * 60.0 * 16.0 / SHOW_TEMPO;
    double seconds = (to - from) * 60.0 * 16.0 / SHOW_TEMPO;
    bool webm = sink.path.size() > 5 && sink.path.compare(sink.path.size() - 5, 5, ".webm") == 0;
    char size[32], rate[32], start[32], length[32];
    std::snprintf(size, sizeof size, "%dx%d", sink.width, sink.height);
    std::snprintf(rate, sizeof rate, "%.9g", fps);
    std::snprintf(start, sizeof start, "%.6f", startSeconds);
    std::snprintf(length, sizeof length, "%.6f", seconds);
    std::string music = dataPath(DATA_MUSIC.name);
    std::vector<std::string> args = {
        "ffmpeg",   "-hide_banner", "-loglevel", "error", "-nostdin", "-y",  "-f",   "rawvideo",
        "-pix_fmt", "rgb24",        "-s",        size,    "-r",       rate,  "-i",   "-",
        "-ss",      start,          "-t",        length,  "-i",       music, "-map", "0:v",
        "-map",     "1:a"};
    if (webm) {
        for (const char* a :
             {"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "31", "-deadline", "realtime", "-cpu-used",
              "8", "-row-mt", "1", "-c:a", "libopus", "-b:a", "160k"})
            args.push_back(a);
    } else {
        for (const char* a : {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt",
                              "yuv420p", "-c:a", "aac", "-b:a", "192k"})
            args.push_back(a);
    }
    args.push_back(sink.path);

    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // No fork: a child of a threaded process that allocates before exec can hang on a lock
    // another thread held at the fork.
    int fds[2];
    if (::pipe(fds) != 0)
        fail(sink.path + ": cannot start ffmpeg: " + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fds[0] != 0) {
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
    }
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    pid_t pid = -1;
    int error = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (error != 0)
        fail(sink.path + ": cannot start ffmpeg: " + std::strerror(error));
    sink.encoder = pid;
    sink.pipe = fds[1];
}

void openSink(const std::string& path, int width, int height, double from, double to, double fps)
{
    sink.path = path;
    sink.video = isVideoPath(path);
    sink.width = width;
    sink.height = height;
    int workers = 1;
    if (sink.video) {
        startEncoder(from, to, fps);
    } else {
        unsigned cores = std::thread::hardware_concurrency();
        workers = (int)std::clamp(cores, 1u, 4u);
    }
    for (int i = 0; i < workers; i++)
        sink.workers.emplace_back(runWorker);
}

void closeSink();

// Queues one frame; waits while the workers are behind. A worker's failure ends the program once
// the frames before the failed one are written.
void submitFrame(int64_t index, std::vector<uint8_t>&& rgb)
{
    std::unique_lock<std::mutex> guard(sink.lock);
    sink.changed.wait(guard,
                      [] { return sink.queue.size() < QUEUE_LIMIT || !sink.failure.empty(); });
    if (!sink.failure.empty()) {
        guard.unlock();
        closeSink();
    }
    sink.queue.emplace_back(index, std::move(rgb));
    sink.changed.notify_all();
}

void closeSink()
{
    {
        std::lock_guard<std::mutex> guard(sink.lock);
        sink.closing = true;
        sink.changed.notify_all();
    }
    for (std::thread& worker : sink.workers)
        worker.join();
    sink.workers.clear();
    if (sink.video) {
        close(sink.pipe);
        int status = 0;
        waitpid(sink.encoder, &status, 0);
        if (sink.failure.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            sink.failure = sink.path + ": ffmpeg failed (status " +
                           std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128) + ")";
    }
    if (!sink.failure.empty())
        fail(sink.failure);
}

// The frame buffer, top row first, 3 bytes a pixel.
std::vector<uint8_t> readFrame(int width, int height)
{
    std::vector<uint8_t> bottomUp((size_t)width * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<uint8_t> rows(bottomUp.size());
    size_t stride = (size_t)width * 3;
    for (int y = 0; y < height; y++)
        std::memcpy(&rows[(size_t)y * stride], &bottomUp[(size_t)(height - 1 - y) * stride],
                    stride);
    return rows;
}

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

// The start-up of a live run, on a hidden window; returns the precalculation's wall time in s.
double startOffline(int width, int height)
{
    displaySettings.width = width;
    displaySettings.height = height;
    displaySettings.fullscreen = 0;
    displaySettings.loop = 0;
    displaySettings.vsync = 0;
    if (!openHiddenDisplay(width, height))
        fatalError("Init failed!");
    renderTargetWidth = nextPowerOfTwo(512);
    renderTargetHeight = nextPowerOfTwo(256);
    checkColourDepth();
    checkGLCapabilities();
    double start = wallMs();
    runPrecalcPhase();
    double precalcSeconds = (wallMs() - start) / 1000.0;
    showStarted = 1;
    openMusicForCapture(dataPath(DATA_MUSIC.name).c_str(), (float)SHOW_TEMPO);
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
    static bool terminal = isatty(1);
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

double rangeEnd()
{
    return programOptions.toGiven ? programOptions.to : musicLengthPatterns();
}

int runCapture()
{
    const ProgramOptions& o = programOptions;
    double fps = o.fpsGiven ? o.fps : 60.0;
    double from = o.fromGiven ? o.from : 0.0;
    int width = o.modeGiven ? o.width : 640;
    int height = o.modeGiven ? o.height : 480;
    const std::string& path = o.capturePath;

    if (isVideoPath(path)) {
        checkFileTarget(path);
        if (!findOnPath("ffmpeg"))
            fail(path + ": writing a video needs ffmpeg, which is not on the PATH");
    } else {
        makeFolder(path);
        if (folderHoldsFrames(path) && !o.overwrite)
            fail(path + ": holds frames already (give --overwrite to replace them)");
    }

    startOffline(width, height);
    double to = rangeEnd();
    int64_t total = captureFrameCount(from, to, fps, SHOW_TEMPO);
    openSink(path, width, height, from, to, fps);
    double started = wallMs();
    for (int64_t n = 0; n < total; n++) {
        drawFrameAt(captureFrameTime(from, fps, SHOW_TEMPO, n));
        std::vector<uint8_t> rgb = readFrame(width, height);
        finishFrame();
        submitFrame(n, std::move(rgb));
        printProgress(n + 1, total, started, false);
    }
    closeSink();
    printProgress(total, total, started, true);
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
        std::vector<uint8_t> rgb = readFrame(width, height);
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
        fail(error);
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

    double precalcSeconds = startOffline(width, height);
    int64_t total = captureFrameCount(from, to, fps, SHOW_TEMPO);
    std::vector<FrameSample> perScene[SCENE_COUNT + 1];
    std::vector<FrameSample> all;
    for (int64_t n = 0; n < total; n++) {
        double t = captureFrameTime(from, fps, SHOW_TEMPO, n);
        double wall0 = wallMs(), cpu0 = threadCpuMs();
        drawFrameAt(t);
        double cpu1 = threadCpuMs();
        glFinish();
        FrameSample sample{wallMs() - wall0, cpu1 - cpu0};
        finishFrame();
        int scene = sceneAtTime((float)t);
        if (scene >= 1 && scene <= SCENE_COUNT)
            perScene[scene].push_back(sample);
        all.push_back(sample);
    }

    std::printf("%-10s %7s %10s %9s %9s %13s %9s\n", "", "frames", "median ms", "p95 ms", "max ms",
                "median rate", "cpu ms");
    for (int scene = 1; scene <= SCENE_COUNT; scene++) {
        char name[16];
        std::snprintf(name, sizeof name, "scene %d", scene);
        printBenchmarkRow(name, perScene[scene]);
    }
    printBenchmarkRow("show", all);
    std::printf("precalc    %.4f s\n", precalcSeconds);
    return 0;
}

}   // namespace

int runOfflineMode()
{
    // Offline work needs no screen: without a choice of driver, take the one that needs none.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::signal(SIGPIPE, SIG_IGN);
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "orvanti: SDL could not start: %s\n", SDL_GetError());
        return 1;
    }
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
