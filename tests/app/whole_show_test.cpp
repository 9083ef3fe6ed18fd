// The live show, as the real program plays it: looping, it plays on past the end of the music.
// (Every window's picture and the black end are checked in-process by the scene tests, every
// frame's OpenGL errors by the benchmark run, the end of the music by the cut-music run.)
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TEST(WholeShow, LiveShowLoopingPlaysOnPastTheEndOfTheMusic)
{
    if (!haveDataSet())
        GTEST_SKIP() << "no data set built";
    // From 40.5 half a pattern (3.84 s) of music is left: with the loop the show is still
    // playing well after that, from its start again.
    auto start = std::chrono::steady_clock::now();
    ProcessResult loops = runOrvanti(
        {"--no-setup", "--windowed", "--mute", "--mode", "640x480", "--start", "40.5", "--loop"},
        12);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(loops.timedOut) << "status " << loops.status << ": " << loops.err;
    EXPECT_GE(took.count(), 11.0);
}

}   // namespace
