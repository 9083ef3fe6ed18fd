// Where captured frames go: read back from the frame buffer, queued, and written by worker threads
// to a folder of numbered PNG files (any worker, any order) or piped in order into one ffmpeg
// process. Compression never holds up the renderer; the queue is bounded, so a slow disk slows
// the capture instead of filling memory. Also the checks that refuse a target before anything
// renders.
#include "app/app_local.h"
#include "render/gl.h"   // the read-back
#include "app/offline.h"
#include "show/show.h"            // SHOW_TEMPO, to cut the music to the range
#include "support/data_files.h"   // DATA_MUSIC
#include "support/os.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr size_t QUEUE_LIMIT = 8;   // frames waiting for a worker
// Room for a whole frame up to 1024x680 (two at 640x480), so that ffmpeg wakes about once a frame
// instead of once every 64 KB.
constexpr size_t PIPE_BYTES = 1 << 20;

// Where the system has an idle class (Linux) and the machine has cores to spare when the capture
// starts, the workers and the encoder run in that class: they are scheduled when the renderer
// leaves a core free, and their share against it is a fraction of a per cent. The lowest priority
// alone still lets them take a slice from the renderer at every wake-up; an MP4 capture ran about
// 3 % faster in the idle class. But the class yields to every other program too, and a thread
// without privileges cannot leave it again, so on a machine that is busy already they stay at the
// lowest priority: with two rebuilds beside it, a capture took up to three times as long in the
// idle class. The bounded queue keeps them from falling behind for good: when it is full the
// renderer waits, and the cores are theirs.
bool idleClassFits()
{
    double load = 0;
    unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return systemLoad(&load) && load < 1.25 * cores;
}

// Where finished frames go: a folder of PNG files (any worker, any order) or one ffmpeg pipe
// (one worker, in order).
struct FrameSink {
    std::string path;
    bool video = false;
    int width = 0, height = 0;
    ChildProcess encoder;

    bool idleClass = false;   // decided once, as the capture starts
    int factor = 1;           // frames arrive this many times larger and are reduced by the workers

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<int64_t, std::vector<uint8_t>>> queue;   // BGRA, rows bottom first
    std::vector<std::vector<uint8_t>> spare;   // written frames' buffers, for the next reads
    bool closing = false;
    std::string failure;   // the error of the lowest failed frame, which ends the capture
    int64_t failedFrame = INT64_MAX;
    int64_t written = 0;
    std::vector<std::thread> workers;
};

FrameSink sink;

// The read-back runs one frame behind: frame n is read into a pixel buffer as soon as it is drawn
// and taken out only once frame n + 1 is drawn, so the renderer never waits for a read. Without
// pixel buffers each read waits.
struct ReadBack {
    GLuint buffers[2] = {0, 0};
    int64_t pending[2] = {-1, -1};   // the frame each buffer holds
    int width = 0, height = 0;
};

ReadBack readBack;

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

bool findOnPath(const char* program)
{
    return !findProgram(program).empty();
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

void runWorker()
{
    runInBackground(sink.idleClass);
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
        // Read back as the frame buffer holds it (a copy, not a conversion, for the renderer);
        // converted here.
        const std::vector<uint8_t>& bgra = job.second;
        int readWidth = sink.width * sink.factor, readHeight = sink.height * sink.factor;
        PixelLayout layout = {
            &bgra[(size_t)(readHeight - 1) * readWidth * 4], -(ptrdiff_t)readWidth * 4, 4, 2, 1, 0};
        std::vector<uint8_t> rgb;
        if (!sink.video || sink.factor > 1) {
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
        std::string error;
        bool ok;
        if (sink.video) {
            // Half the bytes of RGB through the pipe, and ffmpeg has nothing to convert.
            std::vector<uint8_t> yuv = toYuv420(layout, sink.width, sink.height);
            ok = writeToChild(&sink.encoder, yuv.data(), yuv.size());
            if (!ok)
                error = sink.path + ": ffmpeg stopped taking frames (" + std::strerror(errno) + ")";
        } else {
            ok = writePngRGB(sink.path + "/" + frameFileName(job.first), rgb.data(), sink.width,
                             sink.height, &error);
        }
        if (!ok) {
            recordFailure(job.first, error);
            continue;
        }
        std::lock_guard<std::mutex> guard(sink.lock);
        sink.written++;
        sink.spare.push_back(std::move(job.second));
        sink.changed.notify_all();
    }
}

// A buffer for the next read-back: a written frame's if there is one, which spares the renderer
// the allocation and the zeroing of a megabyte or more every frame.
std::vector<uint8_t> frameBuffer(size_t size)
{
    std::vector<uint8_t> buffer;
    {
        std::lock_guard<std::mutex> guard(sink.lock);
        if (!sink.spare.empty()) {
            buffer = std::move(sink.spare.back());
            sink.spare.pop_back();
        }
    }
    buffer.resize(size);
    return buffer;
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
        "-pix_fmt", "yuv420p",      "-s",        size,    "-r",       rate,  "-i",   "-",
        "-ss",      start,          "-t",        length,  "-i",       music, "-map", "0:v",
        "-map",     "1:a"};
    if (webm) {
        for (const char* a :
             {"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "31", "-deadline", "realtime", "-cpu-used",
              "8", "-row-mt", "1", "-c:a", "libopus", "-b:a", "160k"})
            args.push_back(a);
    } else {
        for (const char* a : {"-c:v", "libx264", "-preset", "ultrafast", "-crf", "18", "-pix_fmt",
                              "yuv420p", "-c:a", "aac", "-aac_coder", "fast", "-b:a", "192k"})
            args.push_back(a);
    }
    args.push_back(sink.path);

    std::string ffmpeg = findProgram("ffmpeg");
    if (ffmpeg.empty() || !startChild(ffmpeg, args, PIPE_BYTES, sink.idleClass, &sink.encoder))
        fatalErrorText(sink.path + ": cannot start ffmpeg: " + std::strerror(errno));
}

}   // namespace

void openSink(const std::string& path, int width, int height, double from, double to, double fps,
              int factor)
{
    sink.factor = factor;
    sink.idleClass = idleClassFits();
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
    sink.spare.clear();
    if (sink.video) {
        int status = finishChild(&sink.encoder);
        if (sink.failure.empty() && status != 0)
            sink.failure = sink.path + ": ffmpeg failed (status " +
                           std::to_string(status < 0 ? 128 : status) + ")";
    }
    if (!sink.failure.empty())
        fatalErrorText(sink.failure);
}

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

namespace {

void takeReadBack(int slot)
{
    std::vector<uint8_t> bgra = frameBuffer((size_t)readBack.width * readBack.height * 4);
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, readBack.buffers[slot]);
    const void* pixels = glext.glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    if (!pixels)
        fatalErrorText(sink.path + ": cannot read the frame back");
    std::memcpy(bgra.data(), pixels, bgra.size());
    glext.glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    int64_t index = readBack.pending[slot];
    readBack.pending[slot] = -1;
    submitFrame(index, std::move(bgra));
}

void readPixelsBGRA(int width, int height, void* to)
{
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, to);
}

}   // namespace

void readBackFrame(int64_t index, int width, int height)
{
    size_t size = (size_t)width * height * 4;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!glext.glGenBuffers || !glext.glMapBuffer) {
        std::vector<uint8_t> bgra = frameBuffer(size);
        readPixelsBGRA(width, height, bgra.data());
        submitFrame(index, std::move(bgra));
        return;
    }
    if (!readBack.buffers[0]) {
        readBack.width = width;
        readBack.height = height;
        glext.glGenBuffers(2, readBack.buffers);
        for (GLuint buffer : readBack.buffers) {
            glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            glext.glBufferData(GL_PIXEL_PACK_BUFFER, (GLsizeiptr)size, nullptr, GL_STREAM_READ);
        }
    }
    int slot = (int)(index & 1);
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, readBack.buffers[slot]);
    readPixelsBGRA(width, height, nullptr);
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    readBack.pending[slot] = index;
    if (readBack.pending[1 - slot] >= 0)
        takeReadBack(1 - slot);
}

void finishReadBack()
{
    for (int i = 0; i < 2; i++) {
        int slot = readBack.pending[0] >= 0 &&
                           (readBack.pending[1] < 0 || readBack.pending[0] < readBack.pending[1])
                       ? 0
                       : 1;
        if (readBack.pending[slot] >= 0)
            takeReadBack(slot);
    }
}
