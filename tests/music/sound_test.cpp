// The sound library: opening streams, the play position on both outputs, seeking, pausing and
// the end of a stream.
#include "music/sound.h"
#include "ogg_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> endCalls{0};
std::atomic<bool> endBufferWasNull{true};

signed char countEnd(FSOUND_STREAM*, void* buffer, int, void*)
{
    if (buffer)
        endBufferWasNull = false;
    endCalls++;
    return true;
}

// One initialised library and one playing stream, closed again at the end of the test.
struct Playing {
    std::vector<unsigned char> bytes;
    FSOUND_STREAM* stream = nullptr;
    int channel = -1;

    Playing(int output, double seconds, bool loop, long rate = 44100, int channels = 2)
        : bytes(makeClickStream(seconds, rate, channels))
    {
        endCalls = 0;
        FSOUND_SetOutput(output);
        EXPECT_TRUE(FSOUND_Init(44100, 32, FSOUND_INIT_ACCURATEVULEVELS)) << FSOUND_GetError();
        unsigned mode = FSOUND_LOADMEMORY | (loop ? FSOUND_LOOP_NORMAL : FSOUND_NORMAL);
        stream = FSOUND_Stream_Open(reinterpret_cast<const char*>(bytes.data()), mode, 0,
                                    (int)bytes.size());
        EXPECT_NE(stream, nullptr) << FSOUND_GetError();
        FSOUND_Stream_SetEndCallback(stream, countEnd, nullptr);
        channel = FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, true);
        EXPECT_GE(channel, 0);
        FSOUND_SetPaused(channel, false);
    }
    ~Playing()
    {
        FSOUND_Stream_Close(stream);
        FSOUND_Close();
    }
};

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class BothOutputs : public ::testing::TestWithParam<int> {};

}   // namespace

INSTANTIATE_TEST_SUITE_P(Sound, BothOutputs,
                         ::testing::Values((int)FSOUND_OUTPUT_NOSOUND, (int)FSOUND_OUTPUT_DSOUND),
                         [](const auto& info) { return info.param == 0 ? "NullOutput" : "Device"; });

TEST(SoundLibrary, RefusesCallsOutOfOrderAndBadStreams)
{
    std::vector<unsigned char> good = makeClickStream(1.0);
    const char* data = reinterpret_cast<const char*>(good.data());
    EXPECT_EQ(FSOUND_Stream_Open(data, FSOUND_LOADMEMORY, 0, (int)good.size()), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_UNINITIALIZED);

    FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND_NONREALTIME);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    EXPECT_FALSE(FSOUND_Init(44100, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_BUSY);
    EXPECT_FALSE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND));

    std::vector<unsigned char> noise(20000);
    for (size_t i = 0; i < noise.size(); i++)
        noise[i] = (unsigned char)(i * 2654435761u >> 13);
    std::vector<unsigned char> truncated(good.begin(), good.begin() + 200);
    for (const std::vector<unsigned char>* bytes : {&noise, &truncated}) {
        EXPECT_EQ(FSOUND_Stream_Open(reinterpret_cast<const char*>(bytes->data()),
                                     FSOUND_LOADMEMORY, 0, (int)bytes->size()),
                  nullptr);
        int error = FSOUND_GetError();
        EXPECT_TRUE(error == FMOD_ERR_FILE_FORMAT || error == FMOD_ERR_FILE_BAD) << error;
    }
    EXPECT_EQ(FSOUND_Stream_Open(data, FSOUND_LOADMEMORY, 0, 0), nullptr);
    EXPECT_EQ(FSOUND_Stream_Open(data, FSOUND_LOADMEMORY, 10, 5), nullptr);
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INVALID_PARAM);

    FSOUND_STREAM* s = FSOUND_Stream_Open(data, FSOUND_LOADMEMORY, 0, (int)good.size());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(FSOUND_Stream_GetLengthMs(s), 1000);
    EXPECT_TRUE(FSOUND_Stream_Close(s));
    FSOUND_Close();
}

// No device to be had: Init fails with error 3 and leaves the library closed, so that it can be
// set up again; the null output needs no device at all.
TEST(SoundLibrary, InitWithoutADeviceFailsAndLeavesTheLibraryClosed)
{
    const std::string driver = std::getenv("SDL_AUDIODRIVER");   // every test binary sets one
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
    EXPECT_FALSE(FSOUND_Init(44100, 32, FSOUND_INIT_ACCURATEVULEVELS));
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INIT);
    EXPECT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND)) << "left initialised";
    EXPECT_TRUE(FSOUND_Init(44100, 32, 0)) << FSOUND_GetError();
    FSOUND_Close();
    setenv("SDL_AUDIODRIVER", driver.c_str(), 1);
    FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
    EXPECT_TRUE(FSOUND_Init(44100, 32, 0)) << FSOUND_GetError();
    FSOUND_Close();
}

TEST_P(BothOutputs, SeekIsReadBackAtOnceAndClamped)
{
    Playing p(GetParam(), 3.0, false);
    sleepMs(100);
    for (int ms : {1500, 10, 2999}) {
        FSOUND_Stream_SetTime(p.stream, ms);
        int got = FSOUND_Stream_GetTime(p.stream);
        EXPECT_GE(got, ms);
        EXPECT_LE(got, ms + 1);
    }
    FSOUND_Stream_SetTime(p.stream, -500);
    EXPECT_LE(FSOUND_Stream_GetTime(p.stream), 1);
    FSOUND_Stream_SetTime(p.stream, 1500);
    sleepMs(300);
    int later = FSOUND_Stream_GetTime(p.stream);
    EXPECT_GT(later, 1600) << "plays on from the seek";
    EXPECT_LT(later, 1900);
}

// Frames read the clock at every turn; it must move smoothly with the wall clock.
TEST_P(BothOutputs, TimeAdvancesSmoothlyWithTheWallClock)
{
    for (long rate : {44100L, 22050L}) {
        Playing p(GetParam(), 4.0, false, rate, rate == 44100 ? 2 : 1);
        sleepMs(50);
        Clock::time_point start = Clock::now(), previousAt = start;
        int first = FSOUND_Stream_GetTime(p.stream), previous = first;
        int backwards = 0, jumps = 0;
        double worst = 0.0;
        while (Clock::now() - start < std::chrono::seconds(2)) {
            sleepMs(1);
            Clock::time_point at = Clock::now();
            int t = FSOUND_Stream_GetTime(p.stream);
            double wall = std::chrono::duration<double, std::milli>(at - previousAt).count();
            if (t < previous)
                backwards++;
            if (t - previous > wall + 3.0)
                jumps++;
            worst = std::max(worst, t - previous - wall);
            previous = t;
            previousAt = at;
        }
        double wall = std::chrono::duration<double, std::milli>(previousAt - start).count();
        EXPECT_EQ(backwards, 0) << rate;
        EXPECT_EQ(jumps, 0) << rate << " Hz, worst step beyond the wall clock " << worst << " ms";
        EXPECT_NEAR(previous - first, wall, wall * 0.05) << rate;
    }
}

TEST_P(BothOutputs, NonLoopingStreamEndsOnceWithANullBuffer)
{
    endBufferWasNull = true;
    Playing p(GetParam(), 2.0, false);
    sleepMs(2600);
    EXPECT_EQ(endCalls.load(), 1);
    EXPECT_TRUE(endBufferWasNull.load());
    EXPECT_EQ(FSOUND_Stream_GetTime(p.stream), 2000);

    // Played to its end again after a seek back: one more notification.
    FSOUND_Stream_SetTime(p.stream, 1800);
    sleepMs(500);
    EXPECT_EQ(endCalls.load(), 2);
}

TEST_P(BothOutputs, LoopingStreamRestartsAtZeroWithoutEnding)
{
    Playing p(GetParam(), 2.0, true);
    int highest = 0, afterRestart = -1;
    Clock::time_point start = Clock::now();
    while (Clock::now() - start < std::chrono::milliseconds(2600)) {
        sleepMs(5);
        int t = FSOUND_Stream_GetTime(p.stream);
        if (t < highest && afterRestart < 0)
            afterRestart = t;
        highest = std::max(highest, t);
    }
    // Sampled every few milliseconds, or less often on a busy machine: near the end, then near 0.
    EXPECT_GE(highest, 1800);
    EXPECT_LE(highest, 2000);
    EXPECT_GE(afterRestart, 0) << "never restarted";
    EXPECT_LT(afterRestart, 300);
    EXPECT_EQ(endCalls.load(), 0);
}

TEST(SoundLibrary, PausedStreamStandsStill)
{
    Playing p(FSOUND_OUTPUT_NOSOUND, 3.0, false);
    sleepMs(200);
    EXPECT_TRUE(FSOUND_SetPaused(p.channel, true));
    int held = FSOUND_Stream_GetTime(p.stream);
    EXPECT_GT(held, 100);
    sleepMs(200);
    EXPECT_EQ(FSOUND_Stream_GetTime(p.stream), held);
    FSOUND_SetPaused(p.channel, false);
    sleepMs(200);
    EXPECT_GT(FSOUND_Stream_GetTime(p.stream), held + 100);
    EXPECT_FALSE(FSOUND_SetPaused(p.channel + 7, true));
}
