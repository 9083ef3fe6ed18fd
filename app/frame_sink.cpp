// Where captured frames go: as read back from the frame buffer, queued, and written by worker
// threads to a folder of numbered PNG files (any worker, any order) or piped in order into one
// ffmpeg process. Compression never holds up the renderer; the queue is bounded, so a slow disk
// slows the capture instead of filling memory. Also the checks that refuse a target before anything
// renders.
#include "app/app_local.h"
#include "app/offline.h"
#include "music/music.h"          // the pattern/time conversion, to cut the music to the range
#include "show/show.h"            // SHOW_TEMPO
#include "support/data_files.h"   // DATA_MUSIC
#include "support/os.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr size_t QUEUE_LIMIT = 8;   // frames waiting for a worker
// Bytes of read-back frames alive at once (queued, in a worker's hands or kept for reuse), but
// always room for one: eight 4x supersampled 4K frames would be 4 GB.
constexpr size_t QUEUE_BYTES = size_t(256) << 20;
// Room for a whole frame up to 1024x680 (two at 640x480), so that ffmpeg wakes about once a frame
// instead of once every 64 KB.
constexpr size_t PIPE_BYTES = 1 << 20;
// A renderer that has waited this long for room has workers that cannot keep up.
constexpr auto LIFT_AFTER = std::chrono::milliseconds(250);

// Where finished frames go: a folder of PNG files (any worker, any order) or one ffmpeg pipe
// (one worker, in order).
struct FrameSink {
    std::string path;
    const char* container = nullptr;   // the video's, or null for PNG frames
    bool lossless = false;
    int width = 0, height = 0;
    ChildProcess encoder;
    std::string temporary;   // the video as it is written, beside the target; renamed at the end

    // The workers and the encoder run in the background (the idle scheduling class), where they
    // take only a core the renderer leaves free: an MP4 capture ran about 3 % faster so. But the
    // class yields to every other program too: on a machine that is busy, or gets busy later,
    // they would starve and the capture stand still (PNG frames beside two busy loops took 40
    // times as long). So as soon as the renderer has to wait for them they come back to its
    // priority; and where they could not come back (Linux without privileges), they never go.
    bool background = false;
    std::vector<intptr_t> workerThreads;
    int factor = 1;   // frames arrive this many times larger and are reduced by the workers

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<int64_t, std::vector<uint8_t>>> queue;   // BGRA, rows bottom first
    std::vector<std::vector<uint8_t>> spare;   // written frames' buffers, for the next reads
    size_t bytesHeld = 0;                      // of every frame buffer: queued, in work or spare
    bool closing = false;
    std::string failure;   // the error of the lowest failed frame, which ends the capture
    int64_t failedFrame = INT64_MAX;
    std::vector<std::thread> workers;
};

FrameSink sink;

// What a fatal error or a signal must clean up (abandonCapture): plain storage, for a signal
// handler to read.
struct Unfinished {
    char video[4096] = "";            // the temporary file
    volatile intptr_t encoder = -1;   // ffmpeg, still writing it
};

Unfinished unfinished;

std::string parentOf(const std::string& path)
{
    size_t slash = path.find_last_of(PATH_SEPARATORS);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}   // namespace

void fatalErrorText(const std::string& text)
{
    fatalError(text.c_str());
}

// mkdir -p
void makeFolder(const std::string& folder)
{
    std::string partial;
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find_first_of(PATH_SEPARATORS, at + 1);
        partial = folder.substr(0, at);
        if (partial.empty() || pathExists(partial))
            continue;
        if (!makeDirectory(partial) && errno != EEXIST)
            fatalErrorText(folder + ": cannot create the folder: " + std::strerror(errno));
    }
    if (!isDirectory(folder))
        fatalErrorText(folder + ": not a folder");
    if (!canCreateFileIn(folder))
        fatalErrorText(folder + ": cannot write there: " + std::strerror(errno));
}

void checkFileTarget(const std::string& path)
{
    bool existed = pathExists(path);
    if (existed && !programOptions.overwrite)
        fatalErrorText(path + ": exists already (give --overwrite to replace it)");
    std::string parent = parentOf(path);
    makeFolder(parent);
    // Permissions say little (root may write anywhere, /proc refuses everyone): try it.
    FILE* file = openFile(path, "ab");
    if (!file)
        fatalErrorText(path + ": cannot write there: " + std::strerror(errno));
    std::fclose(file);
    if (!existed)
        removeFile(path);
}

namespace {

void recordFailure(int64_t index, const std::string& text)
{
    std::lock_guard<std::mutex> guard(sink.lock);
    if (index < sink.failedFrame) {
        sink.failedFrame = index;
        sink.failure = text;
    }
    sink.changed.notify_all();
}

std::string outOfMemory(int width, int height)
{
    return sink.path + ": out of memory for a frame of " + std::to_string(width) + "x" +
           std::to_string(height);
}

// One frame, from the read-back's layout to what the sink takes; false with the reason in *error.
bool writeFrame(int64_t index, const std::vector<uint8_t>& bgra, std::string* error)
{
    // Read back as the frame buffer holds it (a copy, not a conversion, for the renderer);
    // converted here.
    int readWidth = sink.width * sink.factor, readHeight = sink.height * sink.factor;
    PixelLayout layout = {
        &bgra[(size_t)(readHeight - 1) * readWidth * 4], -(ptrdiff_t)readWidth * 4, 4, 2, 1, 0};
    std::vector<uint8_t> rgb;
    if (!sink.container || sink.factor > 1) {
        rgb.resize((size_t)readWidth * readHeight * 3);
        for (int y = 0; y < readHeight; y++) {
            const uint8_t* from = layout.top + y * layout.rowStep;
            uint8_t* to = &rgb[(size_t)y * readWidth * 3];
            for (int x = 0; x < readWidth; x++, from += 4, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
        }
        if (sink.factor > 1) {
            std::vector<uint8_t> reduced((size_t)sink.width * sink.height * 3);
            resizeAreaRGB(rgb.data(), readWidth, readHeight, reduced.data(), sink.width,
                          sink.height);
            rgb.swap(reduced);
        }
        layout = {rgb.data(), (ptrdiff_t)sink.width * 3, 3, 0, 1, 2};
    }
    if (!sink.container)
        return writePngRGB(sink.path + "/" + frameFileName(index), rgb.data(), sink.width,
                           sink.height, error);
    // Half the bytes of RGB through the pipe, and ffmpeg has nothing to convert; a lossless
    // master takes the pixels as they are.
    std::vector<uint8_t> frame = sink.lossless ? toBgr0(layout, sink.width, sink.height)
                                               : toYuv420(layout, sink.width, sink.height);
    if (writeToChild(&sink.encoder, frame.data(), frame.size()))
        return true;
    *error = sink.path + ": ffmpeg stopped taking frames (" + std::strerror(errno) + ")";
    return false;
}

void runWorker()
{
    {
        // Under the lock, so that a lift cannot come between.
        std::lock_guard<std::mutex> guard(sink.lock);
        if (sink.background)
            sink.workerThreads.push_back(runInBackground());
    }
    for (;;) {
        std::pair<int64_t, std::vector<uint8_t>> job;
        bool wanted;
        {
            std::unique_lock<std::mutex> guard(sink.lock);
            sink.changed.wait(guard, [] { return !sink.queue.empty() || sink.closing; });
            if (sink.queue.empty())
                return;
            job = std::move(sink.queue.front());
            sink.queue.pop_front();
            sink.changed.notify_all();
            // Frames before a failed one are still written, so that all of them are on disk.
            wanted = job.first < sink.failedFrame;
        }
        std::string error;
        bool ok = true;
        try {
            ok = !wanted || writeFrame(job.first, job.second, &error);
        } catch (const std::bad_alloc&) {
            ok = false;
            error = outOfMemory(sink.width * sink.factor, sink.height * sink.factor);
        }
        if (!ok)
            recordFailure(job.first, error);
        std::lock_guard<std::mutex> guard(sink.lock);
        // Kept for the next read-back while the frames alive stay within their bytes.
        if (sink.bytesHeld <= QUEUE_BYTES) {
            sink.spare.push_back(std::move(job.second));
        } else {
            sink.bytesHeld -= job.second.size();
            job.second = {};
        }
        sink.changed.notify_all();
    }
}

// Back to the renderer's priority: the workers, ffmpeg and every thread of it.
void liftWorkers()
{
    if (!sink.background)
        return;
    sink.background = false;
    for (intptr_t thread : sink.workerThreads)
        threadToForeground(thread);
    if (sink.encoder.process != -1)
        childToForeground(sink.encoder);
}

// The audio of the frames' time: the music from the range's start for as long as the frames
// last, with silence where the range reaches beyond it. Cut by the count of samples decoded from
// the music's beginning: the Ogg stream's timestamps (and so a seek) are some milliseconds off,
// by an amount that changes along the music.
std::string audioFilter(double from, int64_t frames, double fps)
{
    double start = millisecondsFromPatterns(from, SHOW_TEMPO) / 1000.0;
    double length = (double)frames / fps;
    char filter[256];
    if (start >= 0)
        std::snprintf(filter, sizeof filter,
                      "asettb=1/sr,asetpts=N,atrim=start=%.6f:end=%.6f,asetpts=PTS-STARTPTS,"
                      "apad=whole_dur=%.6f",
                      start, start + length, length);
    else   // before the music starts
        std::snprintf(filter, sizeof filter,
                      "asettb=1/sr,asetpts=N,atrim=end=%.6f,adelay=delays=%.3f:all=1,"
                      "apad=whole_dur=%.6f,atrim=end=%.6f",
                      std::max(0.0, start + length), -start * 1000.0, length, length);
    return filter;
}

void endBySignal(int signal)
{
    abandonCapture();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void startEncoder(double from, int64_t frames, double fps)
{
    // Written under a name of its own beside the target (".show.mp4.part") and renamed into place
    // at the end, so that a failed capture leaves no truncated video and the file it replaces is
    // kept until then. One name a target: a capture cut short by a kill leaves one, not many.
    size_t slash = sink.path.find_last_of(PATH_SEPARATORS);
    slash = slash == std::string::npos ? 0 : slash + 1;
    sink.temporary = sink.path.substr(0, slash) + "." + sink.path.substr(slash) + ".part";
    errno = ENAMETOOLONG;
    FILE* file =
        sink.temporary.size() < sizeof unfinished.video ? openFile(sink.temporary, "wb") : nullptr;
    if (!file)
        fatalErrorText(sink.temporary + ": cannot write there: " + std::strerror(errno));
    std::fclose(file);
    std::strcpy(unfinished.video, sink.temporary.c_str());
    for (int signal : {SIGINT, SIGTERM})
        std::signal(signal, endBySignal);
#ifdef SIGHUP
    std::signal(SIGHUP, endBySignal);
#endif

    char size[32], rate[32];
    std::snprintf(size, sizeof size, "%dx%d", sink.width, sink.height);
    std::snprintf(rate, sizeof rate, "%.9g", fps);
    std::string music = dataPath(DATA_MUSIC.name);
    std::vector<std::string> args = {"ffmpeg",    "-hide_banner",
                                     "-loglevel", "error",
                                     "-nostdin",  "-y",
                                     "-f",        "rawvideo",
                                     "-pix_fmt",  sink.lossless ? "bgr0" : "yuv420p",
                                     "-s",        size,
                                     "-r",        rate,
                                     "-i",        "-",
                                     "-i",        "file:" + music,
                                     "-map",      "0:v",
                                     "-map",      "1:a",
                                     "-af",       audioFilter(from, frames, fps)};
    // The colours described in the stream and in the container alike: BT.709 primaries and
    // transfer, as the frames are drawn for an sRGB display, the matrix and range of the
    // conversion (none for the master's RGB).
    for (const char* a : {"-color_primaries", "bt709", "-color_trc", "bt709"})
        args.push_back(a);
    if (sink.lossless)
        args.insert(args.end(), {"-colorspace", "rgb", "-color_range", "pc", "-c:v", "ffv1",
                                 "-level", "3", "-g", "1", "-slices", "4", "-slicecrc", "1", "-c:a",
                                 "flac", "-sample_fmt", "s16"});
    else if (std::strcmp(sink.container, "webm") == 0)
        args.insert(args.end(),
                    {"-colorspace", "bt709", "-color_range", "tv", "-c:v",      "libvpx-vp9",
                     "-b:v",        "0",     "-crf",         "31", "-deadline", "realtime",
                     "-cpu-used",   "8",     "-row-mt",      "1",  "-c:a",      "libopus",
                     "-b:a",        "160k"});
    else
        args.insert(args.end(), {"-colorspace", "bt709", "-color_range", "tv", "-c:v", "libx264",
                                 "-preset", "ultrafast", "-crf", "18", "-pix_fmt", "yuv420p",
                                 "-c:a", "aac", "-aac_coder", "fast", "-b:a", "192k"});
    // A plain file, whatever its name holds: "take-12:30.mp4" is no protocol, "-a.mp4" no option.
    args.insert(args.end(), {"-f", sink.container, "file:" + sink.temporary});

    std::string ffmpeg = findProgram("ffmpeg");
    if (ffmpeg.empty() || !startChild(ffmpeg, args, PIPE_BYTES, sink.background, &sink.encoder))
        fatalErrorText(sink.path + ": cannot start ffmpeg: " + std::strerror(errno));
    unfinished.encoder = sink.encoder.process;
}

// How ffmpeg ended, as the capture's failure; empty when it succeeded.
std::string encoderFailure()
{
    unfinished.encoder = -1;   // killed or reaped from here on
    int status = finishChild(&sink.encoder);
    if (status == -2)
        return sink.path + ": cannot learn how ffmpeg ended (" + std::strerror(errno) + ")";
    if (status != 0)
        return sink.path + ": ffmpeg failed (" +
               (status < 0 ? std::string("killed") : "status " + std::to_string(status)) + ")";
    return "";
}

}   // namespace

void openSink(const CaptureSetup& setup)
{
    sink.factor = setup.factor;
    sink.background = backgroundCanBeLeft();
    sink.path = setup.path;
    sink.container = videoContainer(setup.path);
    sink.lossless = setup.lossless;
    sink.width = setup.width;
    sink.height = setup.height;
    // A worker holds a frame and about as much again while it converts one.
    size_t frameBytes = (size_t)setup.width * setup.height * setup.factor * setup.factor * 4;
    unsigned workers = 1;
    if (sink.container)
        startEncoder(setup.from, setup.frames, setup.fps);
    else
        workers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    workers = (unsigned)std::clamp<size_t>(QUEUE_BYTES / (2 * frameBytes), 1, workers);
    try {
        for (unsigned i = 0; i < workers; i++)
            sink.workers.emplace_back(runWorker);
    } catch (const std::system_error& e) {
        fatalErrorText(sink.path + ": cannot start a worker: " + e.what());
    }
}

bool sinkBuffer(size_t size, std::vector<uint8_t>* buffer)
{
    {
        std::unique_lock<std::mutex> guard(sink.lock);
        auto room = [size] {
            return !sink.failure.empty() || (sink.queue.size() < QUEUE_LIMIT &&
                                             (!sink.spare.empty() || sink.bytesHeld == 0 ||
                                              sink.bytesHeld + size <= QUEUE_BYTES));
        };
        if (!sink.changed.wait_for(guard, LIFT_AFTER, room)) {
            liftWorkers();
            sink.changed.wait(guard, room);
        }
        if (!sink.failure.empty())
            return false;
        buffer->clear();
        // A written frame's, which spares the renderer the allocation and the zeroing of a
        // megabyte or more every frame.
        if (!sink.spare.empty()) {
            buffer->swap(sink.spare.back());
            sink.spare.pop_back();
            sink.bytesHeld -= buffer->size();
        }
        sink.bytesHeld += size;
    }
    try {
        buffer->resize(size);
    } catch (const std::bad_alloc&) {
        fatalErrorText(outOfMemory(sink.width * sink.factor, sink.height * sink.factor));
    }
    return true;
}

void submitFrame(int64_t index, std::vector<uint8_t>&& bgra)
{
    std::lock_guard<std::mutex> guard(sink.lock);
    sink.queue.emplace_back(index, std::move(bgra));
    sink.changed.notify_all();
}

std::string closeSink()
{
    {
        std::lock_guard<std::mutex> guard(sink.lock);
        sink.closing = true;
        sink.changed.notify_all();
    }
    for (std::thread& worker : sink.workers)
        worker.join();
    sink.workers.clear();
    sink.spare.clear();
    if (sink.container) {
        std::string failure = encoderFailure();
        if (sink.failure.empty())
            sink.failure = failure;
        if (sink.failure.empty() && !replaceFile(sink.temporary, sink.path))
            sink.failure = sink.path + ": " + std::strerror(errno);
        if (sink.failure.empty())
            unfinished.video[0] = '\0';
    }
    return sink.failure;
}

void abandonCapture()
{
    killChild(unfinished.encoder);
    if (unfinished.video[0])
        std::remove(unfinished.video);   // no allocation: a signal handler may call it too
}
