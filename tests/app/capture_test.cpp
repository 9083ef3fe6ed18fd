// The offline modes: frame timing and naming, the thumbnail filter, and the real program writing
// PNG frames, a video, a contact sheet and the benchmark table.
#include "app/offline.h"
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

struct PngInfo {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

PngInfo readPng(const std::string& path)
{
    PngInfo info;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return info;
    image.format = PNG_FORMAT_RGB;
    info.rgb.resize(PNG_IMAGE_SIZE(image));
    info.width = (int)image.width;
    info.height = (int)image.height;
    info.ok = png_image_finish_read(&image, nullptr, info.rgb.data(), 0, nullptr) != 0;
    return info;
}

bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int countFrames(const std::string& folder)
{
    int n = 0;
    while (exists(folder + "/" + frameFileName(n)))
        n++;
    return n;
}

}   // namespace

TEST(CaptureClock, FramesFallOnExactShowTimes)
{
    // 125 beats a minute: 7.68 frames of 1/fps seconds make a pattern at 1 fps.
    EXPECT_DOUBLE_EQ(captureFrameTime(10.0, 60.0, 125.0, 0), 10.0);
    EXPECT_NEAR(captureFrameTime(0.0, 60.0, 125.0, 1), 1.0 / (7.68 * 60.0), 1e-15);
    EXPECT_EQ(captureFrameCount(10.0, 10.0125, 60.0, 125.0), 6);
    // A frame exactly on `to` is not taken: 7.68 x 25 = 192 frames span one pattern.
    EXPECT_EQ(captureFrameCount(0.0, 1.0, 25.0, 125.0), 192);
    EXPECT_EQ(captureFrameCount(5.0, 5.0, 60.0, 125.0), 0);
    EXPECT_EQ(captureFrameCount(5.0, 4.0, 60.0, 125.0), 0);
    for (int64_t n : {0, 1, 500, 18000})
        EXPECT_LT(captureFrameTime(0.0, 60.0, 125.0, n), captureFrameTime(0.0, 60.0, 125.0, n + 1));
}

TEST(CaptureTargets, VideoPathsAndFrameNames)
{
    for (const char* video : {"a.mp4", "dir/b.mkv", "c.webm", "d.mov"})
        EXPECT_TRUE(isVideoPath(video)) << video;
    for (const char* folder : {"frames", "a.png", "mp4", ".mp4x", "x.mp4/"})
        EXPECT_FALSE(isVideoPath(folder)) << folder;
    EXPECT_EQ(frameFileName(0), "000000.png");
    EXPECT_EQ(frameFileName(1234567), "1234567.png");

    std::string dir = makeTempDir("holds_frames");
    EXPECT_FALSE(folderHoldsFrames(dir));
    std::ofstream(dir + "/notes.png") << "x";
    std::ofstream(dir + "/12.png") << "x";
    EXPECT_FALSE(folderHoldsFrames(dir));
    std::ofstream(dir + "/000003.png") << "x";
    EXPECT_TRUE(folderHoldsFrames(dir));
}

TEST(Thumbnails, AreaAverageKeepsFlatAreasAndMeans)
{
    // A flat image stays flat at any ratio, including 2.5 to 1.
    std::vector<uint8_t> flat(640 * 480 * 3, 77), small(256 * 192 * 3, 0);
    resizeAreaRGB(flat.data(), 640, 480, small.data(), 256, 192);
    for (uint8_t v : small)
        ASSERT_EQ(v, 77);
    // Stripes of 0 and 255 one pixel wide average to the middle when halved.
    std::vector<uint8_t> stripes(4 * 2 * 3);
    for (int x = 0; x < 4; x++)
        for (int y = 0; y < 2; y++)
            for (int c = 0; c < 3; c++)
                stripes[(y * 4 + x) * 3 + c] = (x % 2) ? 255 : 0;
    std::vector<uint8_t> half(2 * 1 * 3);
    resizeAreaRGB(stripes.data(), 4, 2, half.data(), 2, 1);
    for (uint8_t v : half)
        EXPECT_EQ(v, 128);
    // 5 pixels to 2: the middle one is shared half and half.
    uint8_t row[15] = {0, 0, 0, 0, 0, 0, 250, 250, 250, 100, 100, 100, 100, 100, 100};
    uint8_t two[6];
    resizeAreaRGB(row, 5, 1, two, 2, 1);
    EXPECT_EQ(two[0], 50);    // (0 + 0 + 0.5 x 250) / 2.5
    EXPECT_EQ(two[3], 130);   // (0.5 x 250 + 100 + 100) / 2.5
}

TEST(BenchmarkStatistics, NearestRankPercentiles)
{
    EXPECT_EQ(percentileOf({}, 0.5), 0.0);
    EXPECT_EQ(percentileOf({4, 1, 3, 2}, 0.5), 2.0);
    EXPECT_EQ(percentileOf({4, 1, 3, 2}, 0.95), 4.0);
    EXPECT_EQ(percentileOf({7}, 0.95), 7.0);
}

TEST(PngFrames, WrittenWholeOrNotAtAll)
{
    std::string dir = makeTempDir("png_write");
    uint8_t rgb[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
    std::string error;
    ASSERT_TRUE(writePngRGB(dir + "/a.png", rgb, 2, 2, &error)) << error;
    PngInfo back = readPng(dir + "/a.png");
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 12), back.rgb);
    EXPECT_FALSE(exists(dir + "/a.png.tmp"));
    EXPECT_FALSE(writePngRGB(dir + "/missing/b.png", rgb, 2, 2, &error));
    EXPECT_NE(error.find(dir + "/missing/b.png"), std::string::npos) << error;
}

// The real program. These render the show from its precalculation on, so they are few.
TEST(CaptureProgram, SameArgumentsGiveSameFramesOfTheRightSize)
{
    std::string a = makeTempDir("capture_a"), b = makeTempDir("capture_b");
    std::vector<std::string> args = {"--from", "10", "--to", "10.0125", "--fps", "60", "--mode",
                                     "640x480", "--capture"};
    ProcessResult ra = runOrvanti([&] { auto v = args; v.push_back(a); return v; }(), 240);
    ASSERT_EQ(ra.status, 0) << ra.err;
    ProcessResult rb = runOrvanti([&] { auto v = args; v.push_back(b); return v; }(), 240);
    ASSERT_EQ(rb.status, 0) << rb.err;
    EXPECT_EQ(countFrames(a), 6);
    EXPECT_EQ(countFrames(b), 6);
    for (int n = 0; n < 6; n++) {
        PngInfo fa = readPng(a + "/" + frameFileName(n)), fb = readPng(b + "/" + frameFileName(n));
        ASSERT_TRUE(fa.ok && fb.ok);
        EXPECT_EQ(fa.width, 640);
        EXPECT_EQ(fa.height, 480);
        EXPECT_TRUE(fa.rgb == fb.rgb) << "frame " << n << " differs between runs";
    }

    // The frames are there now: a second capture into the same folder is refused.
    ProcessResult again = runOrvanti([&] { auto v = args; v.push_back(a); return v; }(), 60);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find(a), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("--overwrite"), std::string::npos) << again.err;
    // ... unless asked to overwrite.
    std::vector<std::string> over = args;
    over.push_back(a);
    over.push_back("--overwrite");
    EXPECT_EQ(runOrvanti(over, 240).status, 0);
}

TEST(CaptureProgram, UnwritableTargetsFailBeforeRendering)
{
    for (std::string target : {"/proc/orvanti_frames", "/proc/orvanti.mp4"}) {
        ProcessResult r = runOrvanti({"--capture", target, "--to", "0.01"}, 60);
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_NE(r.err.find("/proc"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("precalc in"), std::string::npos) << "rendered anyway: " << r.err;
    }
    std::string dir = makeTempDir("existing_video");
    std::ofstream(dir + "/show.mp4") << "not a video";
    ProcessResult r = runOrvanti({"--capture", dir + "/show.mp4", "--to", "0.01"}, 60);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir + "/show.mp4"), std::string::npos) << r.err;
}

TEST(CaptureProgram, VideoHasItsFramesAndSound)
{
    if (runProcess({"/bin/sh", "-c", "command -v ffprobe"}, 10).status != 0)
        GTEST_SKIP() << "ffprobe missing";
    std::string dir = makeTempDir("video");
    std::string path = dir + "/two_seconds.mp4";
    // Two seconds at 25 fps: 2 / 7.68 = 0.260416.. patterns, so frames 0 to 49 lie below 1.2604.
    ProcessResult r =
        runOrvanti({"--capture", path, "--from", "1", "--to", "1.2604", "--fps", "25"}, 300);
    ASSERT_EQ(r.status, 0) << r.err;
    ProcessResult probe = runProcess(
        {"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-show_entries",
         "stream=codec_type,width,height,nb_read_frames", "-of", "compact", path},
        60);
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_NE(probe.out.find("codec_type=video|width=640|height=480|nb_read_frames=50"),
              std::string::npos)
        << probe.out;
    EXPECT_NE(probe.out.find("codec_type=audio"), std::string::npos) << probe.out;
}

TEST(BenchmarkProgram, PrintsARowForEveryScene)
{
    // One frame a scene is enough to fill every row.
    ProcessResult r = runOrvanti({"--benchmark", "--fps", "0.2"}, 300);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int scene = 1; scene <= 11; scene++) {
        std::string row = "\nscene " + std::to_string(scene) + " ";
        EXPECT_NE(r.out.find(row), std::string::npos) << row << " in\n" << r.out;
    }
    EXPECT_NE(r.out.find("\nshow "), std::string::npos);
    EXPECT_NE(r.out.find(" fps"), std::string::npos);
    EXPECT_NE(r.out.find("\nprecalc "), std::string::npos);
}

TEST(ContactSheetProgram, FortyEightThumbnailsInOneImage)
{
    std::string dir = makeTempDir("sheet");
    std::string path = dir + "/sheet.png";
    ProcessResult r = runOrvanti({"--contact-sheet", path}, 300);
    ASSERT_EQ(r.status, 0) << r.err;
    PngInfo sheet = readPng(path);
    ASSERT_TRUE(sheet.ok);
    EXPECT_EQ(sheet.width, 8 * 256);
    EXPECT_EQ(sheet.height, 6 * 192);
    int lines = 0;
    for (char c : r.out)
        lines += c == '\n';
    EXPECT_EQ(lines, 48);
    EXPECT_NE(r.out.find("38.6771"), std::string::npos);   // 47 x 39.5 / 48
    EXPECT_EQ(runOrvanti({"--contact-sheet", path}, 60).status, 1);   // no --overwrite
}
