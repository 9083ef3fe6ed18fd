// The whole show, as the real program plays it: every frame of a run through all windows draws
// without an OpenGL error, the middle of every window is a picture, the end is black with grain,
// and the live show ends with the music or, looping, plays on.
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

namespace {

// Mean grey of the letterbox of a 640 x 480 frame (rows 60 to 419), or -1 when unreadable.
double letterboxMean(const std::string& path)
{
    PngImage grey = readPng(path, true);
    if (!grey.ok || grey.width != 640)
        return -1.0;
    double sum = 0;
    for (size_t i = 60 * 640; i < 420 * 640; i++)
        sum += grey.pixels[i];
    return sum / (640.0 * 360.0);
}

TEST(WholeShow, EveryFrameDrawsWithoutAnOpenGLError)
{
    if (!haveDataSet())
        GTEST_SKIP() << "no data set built";
    // The benchmark renders exactly the capture's frames and checks the error state after each.
    ProcessResult r = runOrvanti(
        {"--benchmark", "--from", "0", "--to", "39.6", "--fps", "10", "--mode", "640x480"}, 1800);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("scene 11"), std::string::npos) << r.out;
}

TEST(WholeShow, TheMiddleOfEveryWindowIsAPictureAndTheEndIsBlackWithGrain)
{
    if (!haveDataSet())
        GTEST_SKIP() << "no data set built";
    // The middle of each of the thirteen windows, and two frames after the show.
    const double middles[] = {3.0,    7.75,   11.625, 13.875, 16.0, 19.0, 21.0,
                              25.125, 30.375, 32.375, 33.5,   36.5, 39.0};
    std::string dir = makeTempDir("whole_show");
    for (double t : middles) {
        std::ostringstream from, to;
        from << t;
        to << t + 0.01;
        std::string frames = dir + "/" + from.str();
        ProcessResult r = runOrvanti({"--capture", frames, "--from", from.str(), "--to", to.str(),
                                      "--fps", "60", "--mode", "640x480"},
                                     300);
        ASSERT_EQ(r.status, 0) << t << ": " << r.err;
        double mean = letterboxMean(frames + "/000000.png");
        EXPECT_GT(mean, 12.0) << "the frame at " << t << " is black";
    }
    std::string end = dir + "/end";
    ProcessResult r = runOrvanti(
        {"--capture", end, "--from", "39.55", "--to", "39.58", "--fps", "60", "--mode", "640x480"},
        300);
    ASSERT_EQ(r.status, 0) << r.err;
    double first = letterboxMean(end + "/000000.png");
    EXPECT_GE(first, 0.0);
    EXPECT_LT(first, 12.0);
    EXPECT_LT(letterboxMean(end + "/000001.png"), 12.0);
}

TEST(WholeShow, LiveShowEndsWithTheMusicAndLoopingPlaysOn)
{
    if (!haveDataSet())
        GTEST_SKIP() << "no data set built";
    std::vector<std::string> live = {"--no-setup", "--windowed", "--mute",
                                     "--mode",     "640x480",    "--start"};
    auto seconds = [start = std::chrono::steady_clock::now()] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // From 40, one pattern (7.68 s) of music is left: the show plays it, after its start-up,
    // and ends by itself.
    live.push_back("40");
    ProcessResult ends = runOrvanti(live, 120);
    EXPECT_FALSE(ends.timedOut);
    EXPECT_EQ(ends.status, 0) << ends.err;
    EXPECT_GT(seconds(), 7.0);

    // From 40.5 half of it is left; with the loop the show is still playing well after that,
    // from its start again.
    live.back() = "40.5";
    live.push_back("--loop");
    double loopStart = seconds();
    ProcessResult loops = runOrvanti(live, 12);
    EXPECT_TRUE(loops.timedOut) << "status " << loops.status << ": " << loops.err;
    EXPECT_GE(seconds() - loopStart, 11.0);
}

}   // namespace
