// The offline modes: frame timing, names and conversions, and the real program capturing.
#include "app/offline.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>
#include <thread>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace {

using std::filesystem::exists;

int countFrames(const std::string& folder)
{
    int n = 0;
    while (exists(folder + "/" + frameFileName(n)))
        n++;
    return n;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> plus(std::vector<std::string> args,
                              std::initializer_list<std::string> more)
{
    args.insert(args.end(), more);
    return args;
}

const std::regex PROGRESS(R"(frame (\d+)/(\d+)  \d+\.\d fps  \d+ s left)");

// What ffmpeg decodes from a file, with these output options and format.
std::string decoded(const std::string& path, std::vector<std::string> how)
{
    std::vector<std::string> argv = {"/usr/bin/ffmpeg", "-v", "error", "-i", path};
    argv.insert(argv.end(), how.begin(), how.end());
    argv.push_back("-");
    ProcessResult r = runProcess(argv, 120);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// The kick drum's onsets in mono 16-bit sound at 44.1 kHz, in seconds, to 1 ms: where the low
// band's energy quadruples, at the steepest rise of the whole band's peaks (the attack's click).
std::vector<double> kickOnsets(const std::string& pcm)
{
    const size_t hop = 44, count = pcm.size() / 2 / hop;
    std::vector<double> low(count), peak(count);
    double lowPass = 0, a = 1 - std::exp(-2 * M_PI * 150 / 44100.0);
    for (size_t k = 0; k < count; k++)
        for (size_t i = k * hop; i < (k + 1) * hop; i++) {
            int16_t x = (int16_t)((uint8_t)pcm[2 * i] | (uint8_t)pcm[2 * i + 1] << 8);
            lowPass += a * (x - lowPass);
            low[k] += lowPass * lowPass;
            peak[k] = std::max(peak[k], std::abs((double)x));
        }
    auto mean = [](const std::vector<double>& v, size_t from, size_t n) {
        return std::accumulate(v.begin() + from, v.begin() + from + n, 0.0) / n;
    };
    std::vector<double> onsets;
    for (size_t k = 40; k + 10 < count; k++) {
        if (mean(low, k, 10) <= 4 * mean(low, k - 40, 40))
            continue;
        auto rise = [&](size_t j) { return mean(peak, j, 5) - mean(peak, j - 10, 10); };
        size_t at = k;
        for (size_t j = k - 30; j < k + 5; j++)
            at = rise(j) > rise(at) ? j : at;
        onsets.push_back(at * hop / 44100.0);
        k += 200;   // one beat is 480 ms
    }
    return onsets;
}

}   // namespace

TEST(CaptureUnits, FrameTimesTargetsThumbnailsPercentilesAndPngFiles)
{
    // 125 beats a minute: 7.68 frames of 1/fps seconds make a pattern at 1 fps.
    EXPECT_DOUBLE_EQ(captureFrameTime(10.0, 60.0, 125.0, 0), 10.0);
    EXPECT_EQ(captureFrameCount(10.0, 10.0125, 60.0, 125.0), 6);
    // A frame exactly on `to` is not taken: 7.68 x 25 = 192 frames span one pattern.
    EXPECT_EQ(captureFrameCount(0.0, 1.0, 25.0, 125.0), 192);
    EXPECT_EQ(captureFrameCount(5.0, 5.0, 60.0, 125.0), 0);
    EXPECT_EQ(captureFrameCount(5.0, 4.0, 60.0, 125.0), 0);
    for (int64_t n : {0, 1, 500, 18000})
        EXPECT_LT(captureFrameTime(0.0, 60.0, 125.0, n), captureFrameTime(0.0, 60.0, 125.0, n + 1));

    for (const char* video : {"a.mp4", "dir/b.mkv", "c.webm", "d.mov", "e.MP4", "f.WebM"})
        EXPECT_NE(videoContainer(video), nullptr) << video;
    for (const char* folder : {"frames", "a.png", "mp4", ".mp4x", "x.mp4/"})
        EXPECT_EQ(videoContainer(folder), nullptr) << folder;
    EXPECT_EQ(frameFileName(0), "000000.png");
    EXPECT_EQ(frameFileName(1234567), "1234567.png");
    std::string dir = makeTempDir("holds_frames"), error;
    EXPECT_FALSE(folderHoldsFrames(dir));
    std::ofstream(dir + "/notes.png") << "x";
    std::ofstream(dir + "/12.png") << "x";
    EXPECT_FALSE(folderHoldsFrames(dir));
    std::ofstream(dir + "/000003.png") << "x";
    EXPECT_TRUE(folderHoldsFrames(dir));
    // Replacing a capture takes every frame of ours, and a frame cut short, but nothing else.
    std::ofstream(dir + "/000004.png.tmp") << "x";
    ASSERT_TRUE(removeFrames(dir, &error)) << error;
    EXPECT_TRUE(exists(dir + "/notes.png") && exists(dir + "/12.png") &&
                !exists(dir + "/000003.png") && !exists(dir + "/000004.png.tmp"));

    // Area average: a flat image stays flat at 2.5 to 1; 5 pixels to 2 share the middle one.
    std::vector<uint8_t> flat(640 * 480 * 3, 77), small(256 * 192 * 3, 0);
    resizeAreaRGB(flat.data(), 640, 480, small.data(), 256, 192);
    EXPECT_EQ(std::count(small.begin(), small.end(), 77), (long)small.size());
    uint8_t stripes[12] = {0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255}, half[6];
    resizeAreaRGB(stripes, 4, 1, half, 2, 1);
    EXPECT_EQ(half[3], 128);   // 127.5 rounds up
    uint8_t row[15] = {0, 0, 0, 0, 0, 0, 250, 250, 250, 100, 100, 100, 100, 100, 100};
    uint8_t two[6];
    resizeAreaRGB(row, 5, 1, two, 2, 1);
    EXPECT_EQ(two[0], 50);    // (0 + 0 + 0.5 x 250) / 2.5
    EXPECT_EQ(two[3], 130);   // (0.5 x 250 + 100 + 100) / 2.5

    // Nearest-rank percentiles of the benchmark.
    EXPECT_EQ(percentileOf({}, 0.5), 0.0);
    EXPECT_EQ(percentileOf({4, 1, 3, 2}, 0.5), 2.0);
    EXPECT_EQ(percentileOf({4, 1, 3, 2}, 0.95), 4.0);
    EXPECT_EQ(percentileOf({7}, 0.95), 7.0);

    // PNG frames are written whole (through a temporary file) or not at all.
    uint8_t rgb[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    ASSERT_TRUE(writePngRGB(dir + "/a.png", rgb, 2, 2, &error)) << error;
    PngImage back = readPng(dir + "/a.png");
    EXPECT_TRUE(back.ok && std::vector<uint8_t>(rgb, rgb + 12) == back.pixels);
    EXPECT_FALSE(exists(dir + "/a.png.tmp"));
    EXPECT_FALSE(writePngRGB(dir + "/missing/b.png", rgb, 2, 2, &error));
    EXPECT_NE(error.find(dir + "/missing/b.png"), std::string::npos) << error;

    // Video frames: 3 x 3 BGRA read back bottom row first, white over red over black; BT.709 in
    // studio range, the odd column and row in chroma samples of their own.
    std::vector<uint8_t> bgra;
    for (uint32_t pixel : {0xff000000u, 0xffff0000u, 0xffffffffu})
        for (int i = 0; i < 12; i++)
            bgra.push_back((uint8_t)(pixel >> (i % 4 * 8)));
    EXPECT_EQ(toYuv420({&bgra[24], -12, 4, 2, 1, 0}, 3, 3),
              (std::vector<uint8_t>{235, 235, 235, 63, 63, 63, 16, 16, 16, 115, 115, 128, 128, 184,
                                    184, 128, 128}));
    // The same turned on its side, top row first, as RGB and as RGBX, a layout of no fast path.
    std::vector<uint8_t> rgbSide, rgbxSide;
    for (int i = 0; i < 9; i++)
        for (int c = 0; c < 4; c++) {
            uint8_t level = i % 3 == 2 || (i % 3 == 1 && c > 0) ? 0 : 255;
            rgbxSide.push_back(level);
            if (c < 3)
                rgbSide.push_back(level);
        }
    const std::vector<uint8_t> side = {235, 63,  16,  235, 63,  16,  235, 63, 16,
                                       115, 128, 115, 128, 184, 128, 184, 128};
    EXPECT_EQ(toYuv420({rgbSide.data(), 9, 3, 0, 1, 2}, 3, 3), side);
    EXPECT_EQ(toYuv420({rgbxSide.data(), 12, 4, 0, 1, 2}, 3, 3), side);
}

// The sink is an encoder and needs no context: frames go in as read back (BGRA, bottom row first,
// supersampled ones averaged down) and come out as files, top row first. A failed write stops the
// taking of frames and comes back from closeSink with the frames before it on disk; nothing exits.
TEST(CaptureUnits, SinkWritesFramesTopRowFirstAndReturnsItsFailure)
{
    std::string dir = makeTempDir("sink");
    ASSERT_EQ(symlink("/dev/full", (dir + "/000001.png.tmp").c_str()), 0);
    openSink({dir, 2, 2, 2, 0.0, 60.0, 100, false});
    // 4x4 as read back, twice the size written: the bottom half blue and green, the top red and
    // white.
    const std::vector<uint8_t> bgra = {
        255, 0, 0,   255, 255, 0, 0,   255, 0,   255, 0,   255, 0,   255, 0,   255,
        255, 0, 0,   255, 255, 0, 0,   255, 0,   255, 0,   255, 0,   255, 0,   255,
        0,   0, 255, 255, 0,   0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
        0,   0, 255, 255, 0,   0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    int64_t n = 0;
    for (std::vector<uint8_t> frame; n < 10000 && sinkBuffer(bgra.size(), &frame); n++) {
        ASSERT_EQ(frame.size(), bgra.size());
        frame = bgra;
        submitFrame(n, std::move(frame));
    }
    EXPECT_LT(n, 10000) << "the sink kept taking frames after a failed write";
    EXPECT_EQ(closeSink(), dir + "/000001.png: No space left on device");
    PngImage png = readPng(dir + "/000000.png");
    EXPECT_EQ(png.width, 2);
    EXPECT_EQ(png.height, 2);
    EXPECT_EQ(png.pixels, (std::vector<uint8_t>{255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0}));
}

// The real program. These render the show from its precalculation on, so they are few.
TEST(CaptureProgram, SameArgumentsGiveSameFramesOfTheRightSize)
{
    std::string a = makeTempDir("capture_a");
    // In the sprite cluster, whose sprites and caption have hard edges.
    std::vector<std::string> args = {"--from", "29",     "--to",    "29.0125",   "--fps",
                                     "60",     "--mode", "640x480", "--capture", a};
    ProcessResult first = runOrvanti(args, 240);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(countFrames(a), 6);
    std::vector<PngImage> frames;
    for (int n = 0; n < 6; n++) {
        frames.push_back(readPng(a + "/" + frameFileName(n)));
        ASSERT_TRUE(frames[n].ok && frames[n].width == 640 && frames[n].height == 480);
    }

    // The frames are there now: a second capture into the same folder is refused ...
    ProcessResult again = runOrvanti(args, 60);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find(a), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("--overwrite"), std::string::npos) << again.err;
    // ... unless asked to overwrite, and then it writes the same frames again.
    ASSERT_EQ(runOrvanti(plus(args, {"--overwrite"}), 240).status, 0);
    EXPECT_EQ(countFrames(a), 6);
    for (int n = 0; n < 6; n++)
        EXPECT_TRUE(readPng(a + "/" + frameFileName(n)).pixels == frames[n].pixels)
            << "frame " << n << " differs between runs";
    // Supersampled, the first frame keeps its colour and loses its hard edges: fewer
    // neighbours more than 64 levels apart. The frames after it, of the capture it replaces, go.
    ProcessResult rs =
        runOrvanti(plus(args, {"--overwrite", "--supersample", "2", "--to", "29.002"}), 240);
    ASSERT_EQ(rs.status, 0) << rs.err;
    EXPECT_EQ(countFrames(a), 1);
    auto measure = [](const PngImage& image) {
        std::array<double, 4> m{};
        const std::vector<uint8_t>& p = image.pixels;
        for (size_t i = 0, w = 3 * (size_t)image.width; i + w + 3 < p.size(); i++) {
            m[i % 3] += p[i];
            m[3] += std::abs(p[i] - p[i + 3]) > 64 || std::abs(p[i] - p[i + w]) > 64;
        }
        return m;
    };
    std::array<double, 4> plain = measure(frames[0]), smooth = measure(readPng(a + "/000000.png"));
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(smooth[c] / (640 * 480), plain[c] / (640 * 480), 2.0) << "channel " << c;
    EXPECT_LT(smooth[3], plain[3]);
}

TEST(CaptureProgram, TargetsThatCannotBeWrittenFailBeforeRendering)
{
    // Places the system refuses, a video already there, a plain file where the frames' folder or
    // the folder above a video would have to be, a supersampled frame larger than the driver can
    // draw, a video (in any case) without ffmpeg on the PATH (nothing may be left of it), and
    // command lines that ask for nothing or the impossible.
    std::string dir = makeTempDir("unwritable");
    std::string file = dir + "/plain", video = dir + "/show.mp4";
    std::ofstream(file) << "keep me";
    std::ofstream(video) << "not a video";
    std::string noPath = "PATH=" + dir + "/nothing";
    struct Case {
        std::vector<std::string> args;
        std::string named, problem = "", env = "";
    } cases[] = {
        {{"--capture", "/proc/orvanti_frames"}, "/proc"},
        {{"--capture", "/proc/orvanti.mp4"}, "/proc"},
        {{"--capture", video}, video},
        {{"--capture", file}, file},
        {{"--capture", file + "/frames"}, file},
        {{"--capture", file + "/show.mp4"}, file},
        {{"--contact-sheet", "/proc/orvanti_sheet.png"}, "/proc"},
        {{"--contact-sheet", file}, file},
        {{"--capture", dir + "/big", "--mode", "16384x16384", "--supersample", "2"},
         "--supersample 2: a 16384x16384 mode"},
        {{"--capture", dir + "/a.mp4"}, dir + "/a.mp4: ", "ffmpeg", noPath},
        {{"--capture", dir + "/a.webm"}, dir + "/a.webm: ", "PATH", noPath},
        {{"--capture", dir + "/A.MKV"}, dir + "/A.MKV: ", "ffmpeg", noPath},
        // Usage errors: nothing to capture, or not in that container.
        {{"--capture", dir + "/e", "--from", "45"},
         "orvanti: the range from 45 to 41 patterns (the end of the music) holds no frame"},
        {{"--capture", dir + "/e", "--to", "-1"}, "orvanti: the range from 0 to -1 patterns"},
        {{"--capture", dir + "/e", "--from", "5", "--to", "5"}, "orvanti: the range from 5 to 5"},
        {{"--capture", dir + "/odd.mp4", "--mode", "1023x767"},
         "orvanti: " + dir + "/odd.mp4: H.264 wants an even width and height"},
        {{"--capture", dir + "/a.mp4", "--lossless"}, "orvanti: --lossless writes a .mkv video"},
    };
    for (const Case& c : cases) {
        bool usage = c.named.rfind("orvanti: ", 0) == 0;   // their own range, or none rendered
        ProcessResult r =
            runOrvanti(usage ? c.args : plus(c.args, {"--to", "0.01"}), 60,
                       c.env.empty() ? std::vector<std::string>{} : std::vector{c.env});
        EXPECT_EQ(r.status, usage ? 2 : 1) << c.named;
        size_t at = r.err.find(usage ? c.named : "error: " + c.named);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_NE(r.err.substr(at, r.err.find('\n', at) - at).find(c.problem), std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("precalc in"), std::string::npos) << "rendered anyway: " << r.err;
    }
    EXPECT_EQ(readFile(file), "keep me");
    EXPECT_EQ(readFile(video), "not a video");
    for (const char* made : {"a.mp4", "a.webm", "A.MKV", "e", "odd.mp4"})
        EXPECT_FALSE(exists(dir + "/" + made)) << made;
}

TEST(CaptureProgram, AFailedWriteEndsTheCaptureAndKeepsTheFramesBefore)
{
    // Frame 3's temporary file leads to a full device: the disk fills in the middle of a capture.
    std::string dir = makeTempDir("disk_full");
    ASSERT_EQ(symlink("/dev/full", (dir + "/000003.png.tmp").c_str()), 0);
    ProcessResult r =
        runOrvanti({"--capture", dir, "--from", "10", "--to", "10.0125", "--mode", "512x256"}, 120);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("error: " + dir + "/000003.png: No space left on device"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(exists(dir + "/000003.png"));
    // The frames before it were written long before; whatever frame is there is whole.
    for (int n = 0; n < 6; n++) {
        std::string frame = dir + "/" + frameFileName(n);
        EXPECT_TRUE(n >= 3 || exists(frame)) << frame;
        if (!exists(frame))
            continue;
        PngImage png = readPng(frame);
        EXPECT_TRUE(png.ok && png.width == 512 && png.height == 256) << frame;
    }

    // Memory that runs out among the workers (a 4x supersampled 4K frame is 530 MB; here the
    // address space is limited, as no sanitizer can be) ends the capture with a message.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    std::string limited = "ulimit -v 3200000 && exec \"$@\"", huge = dir + "/huge";
    r = runProcess({"/bin/sh", "-c", limited, "sh", ORVANTI_BINARY, "--capture", huge, "--mode",
                    "3840x2160", "--supersample", "4", "--from", "33", "--to", "33.002"},
                   240, {"LP_NUM_THREADS=2", "MALLOC_ARENA_MAX=2"});
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << r.err;
#endif

    // A video on a full device: ffmpeg gives up, and the capture with it, leaving nothing.
    if (!haveProgram("ffmpeg"))
        return;
    std::string video = dir + "/full.mp4";
    ASSERT_EQ(symlink("/dev/full", (dir + "/.full.mp4.part").c_str()), 0);
    r = runOrvanti({"--capture", video, "--from", "10", "--to", "10.0125", "--mode", "512x256"},
                   120);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("error: " + video + ": ffmpeg"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(video) || std::filesystem::is_symlink(dir + "/.full.mp4.part"));
    // An ffmpeg that fails after writing half a video fails the capture even where its end is
    // ignored (SIGCHLD), and the video it would have replaced is kept.
    std::string bin = makeTempDir("failing_ffmpeg"), kept = dir + "/kept.mp4";
    std::ofstream(bin + "/ffmpeg")
        << "#!/bin/sh\neval out=\\${$#}\necho half >\"${out#file:}\"\ncat >/dev/null\nexit 3\n";
    std::filesystem::permissions(bin + "/ffmpeg", std::filesystem::perms::owner_all);
    std::ofstream(kept) << "the last good take";
    r = runProcess({"/usr/bin/env", "--ignore-signal=CHLD", ORVANTI_BINARY, "--capture", kept,
                    "--overwrite", "--from", "10", "--to", "10.0125", "--mode", "512x256"},
                   120, {"PATH=" + bin + ":/usr/bin:/bin"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("error: " + kept + ": ffmpeg failed (status 3)"), std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(kept), "the last good take");
    EXPECT_FALSE(exists(dir + "/.kept.mp4.part"));
}

TEST(CaptureProgram, ProgressLineOnTheStandardOutput)
{
    // Three frames: 0.0125 patterns at 24 fps.
    std::vector<std::string> args = {"--from", "10",     "--to",    "10.0125",  "--fps",
                                     "24",     "--mode", "512x256", "--capture"};
    auto expectUpdates = [](const std::vector<std::string>& updates, const std::string& all) {
        ASSERT_FALSE(updates.empty()) << all;
        int done = 0;
        for (const std::string& u : updates) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(u, m, PROGRESS)) << "[" << u << "] in\n" << all;
            EXPECT_GE(std::stoi(m[1]), done) << all;
            EXPECT_EQ(m[2].str(), "3") << all;
            done = std::stoi(m[1]);
        }
        EXPECT_EQ(updates.back().substr(0, 10), "frame 3/3 ") << all;
        EXPECT_EQ(updates.back().substr(updates.back().size() - 9), " 0 s left") << all;
    };

    // Into a pipe or a file: a line for every update.
    ProcessResult piped = runOrvanti(plus(args, {makeTempDir("progress_piped")}), 120);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.find('\r'), std::string::npos) << piped.out;
    expectUpdates(linesOf(piped.out), piped.out);
    EXPECT_EQ(piped.err.find("frame 3/3"), std::string::npos) << "progress on stderr";
    // The whole precalculation runs first, its timed sections logged in order.
    size_t noise = piped.err.find("precalc_noise in "), ifs = piped.err.find("\nprecalc_ifs in ");
    size_t whole = piped.err.find("\nprecalc in ");
    EXPECT_TRUE(noise < ifs && ifs < whole && whole != std::string::npos) << piped.err;

    // On a terminal: one line rewritten in place, ended once the capture is done.
    ProcessResult tty = runOrvantiOnTerminal(plus(args, {makeTempDir("progress_tty")}), 120);
    ASSERT_EQ(tty.status, 0);
    ASSERT_FALSE(tty.out.empty());
    EXPECT_EQ(tty.out.find('\n'), tty.out.size() - 1) << tty.out;
    EXPECT_EQ(tty.out[0], '\r') << tty.out;
    std::vector<std::string> updates;
    std::istringstream in(tty.out.substr(1, tty.out.size() - 2));
    const std::string clearToEnd = "\033[K";
    for (std::string u; std::getline(in, u, '\r');) {
        ASSERT_GE(u.size(), clearToEnd.size()) << tty.out;
        EXPECT_EQ(u.substr(u.size() - clearToEnd.size()), clearToEnd) << "update not cleared";
        updates.push_back(u.substr(0, u.size() - clearToEnd.size()));
    }
    EXPECT_GE(updates.size(), 2u) << "frame 1 and the end";
    expectUpdates(updates, tty.out);
}

TEST(CaptureProgram, MusicThatCannotPlayFailsAsInALiveRun)
{
    SKIP_WITHOUT_DATA_SET();
    bool ffmpeg = haveProgram("ffmpeg");
    struct Case {
        const char* label;
        bool missing;
        const char* target;
        const char* problem;
    } cases[] = {
        {"missing", true, "frames", " not found"},
        {"not music, into a video", false, "show.mkv", ": not a playable music stream"},
    };
    for (const Case& c : cases) {
        if (!ffmpeg && videoContainer(c.target))
            continue;
        std::string data = linkedDataSet();
        std::filesystem::remove(data + "/music.ogg");
        if (!c.missing)
            std::ofstream(data + "/music.ogg") << "words, not a sound\n";
        std::string target = makeTempDir("no_music") + "/" + c.target;
        ProcessResult r = runOrvanti({"--capture", target, "--to", "0.01", "--data", data}, 120);
        EXPECT_EQ(r.status, 1) << c.label << "\n" << r.err;
        EXPECT_NE(r.err.find("error: " + data + "/music.ogg" + c.problem), std::string::npos)
            << c.label << "\n"
            << r.err;
        EXPECT_FALSE(exists(target + "/" + frameFileName(0))) << c.label;
        EXPECT_FALSE(videoContainer(target) && exists(target)) << c.label << ": left the video";
    }
}

// Every container with its own codecs; short, for the encoders are slow here. Without a mode
// the video is 640 x 480. The names are plain files, whatever they look like to ffmpeg.
struct Container {
    const char* name;
    const char* video;
    const char* audio;
    const char* mode;
};

class CaptureVideo : public ::testing::TestWithParam<Container> {};

TEST_P(CaptureVideo, HoldsItsFramesAndTheSoundOfTheirRange)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg or ffprobe missing";
    const Container& c = GetParam();
    std::string dir = makeTempDir("container"), path = dir + "/" + c.name;
    // 0.0105 patterns at 25 fps: frames 0 to 2, 0.08 s of the music.
    std::vector<std::string> args = {"--capture", c.name,   "--from", "1",
                                     "--to",      "1.0105", "--fps",  "25"};
    if (c.mode)
        args.insert(args.end(), {"--mode", c.mode});
    ProcessResult r = runOrvanti(args, 120, {}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string size = c.mode ? std::string(c.mode) : "640x480";
    size.replace(size.find('x'), 1, "|height=");
    ProcessResult probe =
        runProcess({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
                    "stream=codec_type,codec_name,width,height,nb_read_frames:format=duration",
                    "-of", "compact", path},
                   60);
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_NE(probe.out.find(std::string("codec_name=") + c.video +
                             "|codec_type=video|width=" + size + "|nb_read_frames=3"),
              std::string::npos)
        << probe.out;
    EXPECT_NE(probe.out.find(std::string("codec_name=") + c.audio + "|codec_type=audio"),
              std::string::npos)
        << probe.out;
    // The sound is cut to the frames' range, not the whole music.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(probe.out, m, std::regex(R"(format\|duration=([\d.]+))")))
        << probe.out;
    EXPECT_LT(std::stod(m[1]), 1.0) << probe.out;
}

INSTANTIATE_TEST_SUITE_P(Containers, CaptureVideo,
                         ::testing::Values(Container{"take-12:30.mp4", "h264", "aac", nullptr},
                                           Container{"-short.mkv", "h264", "aac", "512x256"},
                                           Container{"short.webm", "vp9", "opus", "512x256"},
                                           Container{"short.MOV", "h264", "aac", "512x256"}),
                         [](const ::testing::TestParamInfo<Container>& info) {
                             std::string name = info.param.name;
                             return name.substr(name.find('.') + 1);
                         });

// Saturated colour as PNG and as every kind of video, up to 4K. Each video says how its colours
// are coded; decoded so, it holds the PNG's frame within 2 levels a channel on average (VP9 at its
// speed loses more) without a shift of colour; the master holds both frames and the music exactly.
TEST(CaptureColours, VideosDescribeTheirColoursAndHoldThePngFrames)
{
    if (!haveProgram("ffmpeg") || !haveProgram("ffprobe"))
        GTEST_SKIP() << "ffmpeg or ffprobe missing";
    const char *yuv = "tv,bt709,bt709,bt709", *rgb = "pc,gbr,bt709,bt709";
    struct Case {
        const char *mode, *from, *file, *colours;
        double within;   // mean error a channel; none for the lossless master
    } cases[] = {
        {"640x480", "33", "a.mp4", yuv, 2},     {"1280x720", "21", "a.mp4", yuv, 2},
        {"1280x720", "21", "a.webm", yuv, 3.5}, {"1280x720", "21", "a.mkv", rgb, 0},
        {"3840x2160", "33", "a.mp4", yuv, 2},   {"3840x2160", "33", "a.mkv", rgb, 0},
    };
    std::string dir = makeTempDir("colours"), framesOf, frames;
    std::string music = decoded(buildDir() + "/data/music.ogg", {"-f", "s16le"});
    for (const Case& c : cases) {
        std::vector<std::string> range = {"--fps",  "30",   "--mode", c.mode,
                                          "--from", c.from, "--to",   std::string(c.from) + ".005"};
        if (framesOf != std::string(c.mode) + c.from) {
            framesOf = std::string(c.mode) + c.from;
            ASSERT_EQ(runOrvanti(plus(range, {"--capture", dir + "/" + framesOf}), 300).status, 0);
            frames = decoded(dir + "/" + framesOf + "/%06d.png",
                             {"-f", "rawvideo", "-pix_fmt", "rgb24"});
        }
        bool lossless = c.within == 0;
        std::string video = dir + "/" + c.mode + c.file;
        range.insert(range.end(), {"--capture", video});
        if (lossless)
            range.push_back("--lossless");
        ASSERT_EQ(runOrvanti(range, 300).status, 0) << video;
        ProcessResult probe =
            runProcess({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                        "stream=color_range,color_space,color_transfer,color_primaries", "-of",
                        "csv=p=0", video});
        EXPECT_EQ(probe.out, std::string(c.colours) + "\n") << video;
        std::string as = lossless ? "" : ":in_color_matrix=bt709:in_range=tv";
        std::string back = decoded(video, {"-vf", "scale=flags=accurate_rnd+full_chroma_int" + as,
                                           "-f", "rawvideo", "-pix_fmt", "rgb24"});
        ASSERT_EQ(back.size(), frames.size()) << video;
        // The master's two frames; the first of the others (the second, predicted, loses more).
        size_t n = lossless ? frames.size() : frames.size() / 2;
        double error[3] = {0, 0, 0}, shift[3] = {0, 0, 0};
        for (size_t i = 0; i < n; i++) {
            error[i % 3] += std::abs((uint8_t)back[i] - (uint8_t)frames[i]) * 3.0 / n;
            shift[i % 3] += ((uint8_t)back[i] - (uint8_t)frames[i]) * 3.0 / n;
        }
        for (int channel = 0; channel < 3; channel++) {
            EXPECT_LE(error[channel], c.within) << video << " channel " << channel;
            EXPECT_LE(std::abs(shift[channel]), std::min(c.within, 0.5)) << video << " " << channel;
        }
        // 2/30 s of stereo 16-bit samples from the range's start, 338688 samples a pattern.
        EXPECT_TRUE(!lossless ||
                    decoded(video, {"-map", "0:a", "-f", "s16le"}) ==
                        music.substr((size_t)std::stoi(c.from) * 338688 * 4, 2940 * 4));
    }
}

// Sound and picture in step, early in the show and late (where a drift would have built up):
// every beat flash of the pictures as decoded falls on the first frame at or after a kick's
// onset in the sound as stored, and the sound lasts as long as the pictures.
TEST(CaptureInStep, BeatFlashesOnTheFirstFrameOfTheirKick)
{
    if (!haveProgram("ffmpeg"))
        GTEST_SKIP() << "ffmpeg missing";
    const double fps = 30;
    for (std::string from : {"9.5", "36"}) {
        std::string video = makeTempDir("in_step") + "/step.mp4",
                    to = std::to_string(stod(from) + 2);
        ProcessResult r = runOrvanti(
            {"--capture", video, "--from", from, "--to", to, "--fps", "30", "--mode", "512x256"},
            300);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string pcm = decoded(video, {"-map", "0:a", "-ac", "1", "-f", "s16le"});
        std::string grey = decoded(video, {"-map", "0:v", "-f", "rawvideo", "-pix_fmt", "gray"});
        std::vector<double> onsets = kickOnsets(pcm), bright;
        bright.resize(grey.size() / (512 * 256));
        for (size_t i = 0; i < grey.size(); i++)
            bright[i / (512 * 256)] += (uint8_t)grey[i] / (512.0 * 256);
        EXPECT_NEAR(pcm.size() / 2 / 44100.0, bright.size() / fps, 1 / fps) << from;
        int flashes = 0;
        for (size_t i = 2; i + 1 < bright.size(); i++) {
            // A step up that lasts: not a flicker of one frame, nor a slow brightening.
            double jump = bright[i] - bright[i - 1];
            if (jump <= 6 || jump <= 2 * (bright[i - 1] - bright[i - 2]) ||
                bright[i + 1] - bright[i - 1] <= jump / 2)
                continue;
            flashes++;
            // The onset's place is known to a few milliseconds.
            auto onset = std::upper_bound(onsets.begin(), onsets.end(), i / fps + 0.004);
            ASSERT_NE(onset, onsets.begin()) << from << ": frame " << i;
            EXPECT_LT((i / fps - onset[-1]) * 1000, 1000 / fps - 3) << from << ": frame " << i;
        }
        EXPECT_GE(flashes, 8) << from;
    }
}

// A machine that gets busy while a capture runs (every core taken by a loop as it starts) slows
// the capture, but it goes on: here PNG frames of the film grain after the show's end, cheap to
// draw and dear to compress. It takes some 3 s here; workers starved of the cores, over 100 s.
TEST(CaptureUnderLoad, MakesProgressBesideBusyLoops)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> loops;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); i++)
        loops.emplace_back([&stop] {
            while (!stop)
                ;
        });
    ProcessResult r = runOrvanti({"--capture", makeTempDir("under_load"), "--mode", "1920x1080",
                                  "--from", "39.6", "--to", "39.7"},
                                 60);
    stop = true;
    for (std::thread& loop : loops)
        loop.join();
    EXPECT_EQ(r.status, 0) << (r.timedOut ? "no end within 60 s" : r.err);
}

TEST(BenchmarkProgram, PrintsOnlyItsTableWithARowForEveryScene)
{
    // One frame every 2 s fills every row; the benchmark checks the OpenGL error state after
    // each, so these frames across the whole show draw cleanly. From an empty working folder:
    // nothing may appear there.
    std::string work = makeTempDir("benchmark_work");
    ProcessResult r =
        runOrvanti({"--benchmark", "--fps", "0.5", "--mode", "512x256"}, 300, {}, work);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(work)) << "the benchmark wrote a file";

    // A line of column names may head the table. Nothing else is there.
    std::vector<std::string> lines = linesOf(r.out);
    size_t first = !lines.empty() && lines[0].rfind("scene ", 0) != 0 &&
                   lines[0].find(" fps") == std::string::npos;
    ASSERT_EQ(lines.size(), first + 14) << r.out;
    const std::regex row(
        R"((scene \d+|show) +(\d+) +([\d.]+) +([\d.]+) +([\d.]+) +([\d.]+) fps +([\d.]+))");
    int sceneFrames = 0;
    for (int i = 0; i < 12; i++) {
        const std::string& line = lines[first + i];
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, row)) << line;
        EXPECT_EQ(m[1].str(), i < 11 ? "scene " + std::to_string(i + 1) : "show");
        int frames = std::stoi(m[2]);
        double median = std::stod(m[3]), p95 = std::stod(m[4]), max = std::stod(m[5]);
        double rate = std::stod(m[6]), cpu = std::stod(m[7]);
        EXPECT_GT(frames, 0) << line;
        EXPECT_LE(median, p95) << line;
        EXPECT_LE(p95, max) << line;
        EXPECT_NEAR(rate, 1000.0 / median, 0.06 + rate * 0.001) << line;
        // The CPU time is spent inside each frame's time.
        EXPECT_LE(cpu, median + 0.01) << line;
        if (i < 11)
            sceneFrames += frames;
        else   // 0 to 39.5 by default, and every one of its frames lies in one scene
            EXPECT_EQ(frames, captureFrameCount(0.0, 39.5, 0.5, 125.0)) << line;
    }
    EXPECT_EQ(sceneFrames, captureFrameCount(0.0, 39.5, 0.5, 125.0));
    EXPECT_TRUE(std::regex_match(lines[first + 12], std::regex(R"(precalc +\d+\.\d+ s)")))
        << lines[first + 12];
    EXPECT_TRUE(std::regex_match(
        lines[first + 13], std::regex(R"(all frames \d+ in \d+\.\d+ s, frames a second \d+\.\d+)")))
        << lines[first + 13];
}

TEST(ContactSheetProgram, FortyEightThumbnailsInOneImage)
{
    std::string dir = makeTempDir("sheet");
    std::string path = dir + "/sheet.png";
    ProcessResult r = runOrvanti({"--contact-sheet", path}, 300);
    ASSERT_EQ(r.status, 0) << r.err;
    PngImage sheet = readPng(path);
    ASSERT_TRUE(sheet.ok);
    EXPECT_EQ(sheet.width, 8 * 256);
    EXPECT_EQ(sheet.height, 6 * 192);
    int lines = 0;
    for (char c : r.out)
        lines += c == '\n';
    EXPECT_EQ(lines, 48);
    EXPECT_NE(r.out.find("38.6771"), std::string::npos);              // 47 x 39.5 / 48
    EXPECT_EQ(runOrvanti({"--contact-sheet", path}, 60).status, 1);   // no --overwrite
}
