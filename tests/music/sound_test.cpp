// The sound library: streams, the play position on both outputs, seeking, pausing, the end, and
// the clock against a sound server's own report of its latency.
#include "music/music_local.h"
#include "music/sound.h"
#include "common/test_support.h"
#include "ogg_maker.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <numeric>
#include <regex>
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

// The clock read once a display frame (60 Hz): how each step strays from the wall clock's.
struct Watched {
    int backwards = 0;      // readings below the one before
    int bufferSteps = 0;    // steps half a buffer (11.6 ms) or more off the wall clock
    int strays = 0;         // steps more than 2 ms off
    double worstMs = 0.0;   // the largest stray
    double clockMs = 0.0, wallMs = 0.0;   // how far each went in all
    std::vector<double> delaysMs;         // the delay the clock applied at each frame
};

// How closely the clock follows the wall clock is a figure of a plain build: a sanitizer's
// slowed mixer runs its output dry. Backwards it must never go.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif

void expectSmooth(const Watched& w, int strays, const std::string& what)
{
    EXPECT_EQ(w.backwards, 0) << what;
    if (SANITIZED)
        return;
    EXPECT_EQ(w.bufferSteps, 0) << what;
    EXPECT_LE(w.strays, strays) << what << ", worst " << w.worstMs << " ms";
    EXPECT_NEAR(w.clockMs, w.wallMs, w.wallMs * 0.05) << what;
}

Watched watchClock(FSOUND_STREAM* stream, int frames)
{
    Watched w;
    Clock::time_point next = Clock::now(), start = next, previousAt = next;
    int first = FSOUND_Stream_GetTime(stream), previous = first;
    for (int i = 0; i < frames; i++) {
        next += std::chrono::microseconds(16667);
        std::this_thread::sleep_until(next);
        // Taken either side of the reading: a reader preempted in between says nothing.
        Clock::time_point before = Clock::now();
        int t = FSOUND_Stream_GetTime(stream);
        Clock::time_point after = Clock::now();
        w.delaysMs.push_back(soundClockDelayForTesting(stream));
        if (after - before > std::chrono::microseconds(500))
            continue;
        Clock::time_point at = before + (after - before) / 2;
        double stray =
            t - previous - std::chrono::duration<double, std::milli>(at - previousAt).count();
        w.backwards += t < previous;
        w.bufferSteps += std::fabs(stray) >= 11.6;
        w.strays += std::fabs(stray) > 2.0;
        w.worstMs = std::max(w.worstMs, std::fabs(stray));
        previous = t;
        previousAt = at;
    }
    w.clockMs = previous - first;
    w.wallMs = std::chrono::duration<double, std::milli>(previousAt - start).count();
    return w;
}

struct Tone {
    double hz;       // the strongest frequency
    double spurDb;   // the strongest component more than 30 Hz from it, against it
    double spurHz;
    double rms;
};

void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    if (n < 2)
        return;
    std::vector<std::complex<double>> even(n / 2), odd(n / 2);
    for (size_t i = 0; i < n / 2; i++) {
        even[i] = a[2 * i];
        odd[i] = a[2 * i + 1];
    }
    fft(even);
    fft(odd);
    for (size_t k = 0; k < n / 2; k++) {
        std::complex<double> t = std::polar(1.0, -2 * M_PI * (double)k / (double)n) * odd[k];
        a[k] = even[k] + t;
        a[k + n / 2] = even[k] - t;
    }
}

// One side of 65536 stereo frames at 44.1 kHz, Hann-windowed, through the FFT.
Tone analyse(const int16_t* frames, int side)
{
    const size_t n = 1 << 16;
    std::vector<std::complex<double>> a(n);
    double power = 0.0;
    for (size_t i = 0; i < n; i++) {
        double v = frames[2 * i + side];
        power += v * v;
        a[i] = v * (0.5 - 0.5 * std::cos(2 * M_PI * (double)i / n));
    }
    fft(a);
    size_t peak = 1;
    for (size_t k = 1; k < n / 2; k++)
        if (std::abs(a[k]) > std::abs(a[peak]))
            peak = k;
    const double binHz = 44100.0 / n, hz = peak * binHz;
    size_t spur = 0;
    for (size_t k = 0; k < n / 2; k++)
        if (std::fabs(k * binHz - hz) > 30.0 && std::abs(a[k]) > std::abs(a[spur]))
            spur = k;
    return {hz, 20 * std::log10(std::abs(a[spur]) / std::abs(a[peak])), spur * binHz,
            std::sqrt(power / n)};
}

struct MixCase {
    const char* name;
    StreamRecipe recipe;   // a 1 kHz tone
    bool loop;
    bool left, right;   // the sides the tone must come out on
};

class MixedStreams : public ::testing::TestWithParam<MixCase> {};

}   // namespace

// Below quality 0 the encoder uses long blocks of 4096 samples, up to 2048 frames a packet.
// Vorbis orders six channels front left, centre, front right, rear left, rear right, LFE.
INSTANTIATE_TEST_SUITE_P(
    Sound, MixedStreams,
    ::testing::Values(
        MixCase{"StereoLowest", {10.0, 44100, 2, -0.1f, 1000.0}, false, true, true},
        MixCase{"StereoLow", {10.0, 44100, 2, -0.05f, 1000.0}, false, true, true},
        MixCase{"Stereo", {10.0, 44100, 2, 0.4f, 1000.0}, false, true, true},
        MixCase{"MonoLowest", {10.0, 44100, 1, -0.1f, 1000.0}, false, true, true},
        MixCase{"MonoLow", {10.0, 44100, 1, -0.05f, 1000.0}, false, true, true},
        MixCase{"Mono", {10.0, 44100, 1, 0.4f, 1000.0}, false, true, true},
        MixCase{"Stereo48k", {3.0, 48000, 2, 0.4f, 1000.0}, false, true, true},
        MixCase{"Stereo22k", {3.0, 22050, 2, 0.4f, 1000.0}, false, true, true},
        MixCase{"Mono48k", {3.0, 48000, 1, 0.4f, 1000.0}, false, true, true},
        MixCase{"SixFrontRight", {3.0, 44100, 6, 0.4f, 1000.0, 1u << 2}, false, false, true},
        MixCase{"SixCentre48k", {3.0, 48000, 6, 0.4f, 1000.0, 1u << 1}, false, true, true},
        // Whole cycles in one pass, so the restart is seamless when nothing is lost on the way.
        MixCase{"Stereo48kLooping", {1.0, 48000, 2, 0.4f, 1000.0}, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Mixed buffer by buffer: every frame of the stream, at the stream's own pace, the tone at its
// own pitch, clean, and on the sides it belongs to.
TEST_P(MixedStreams, PlayWholeAtTheirPitchOnTheirSides)
{
    const MixCase& c = GetParam();
    const int buffer = 1024;
    std::vector<unsigned char> bytes = makeStream(c.recipe);
    const int64_t total = streamFrames(bytes);
    const double expected = (double)total * 44100.0 / (double)c.recipe.rate;   // output frames
    endCalls = 0;
    FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND_NONREALTIME);
    ASSERT_TRUE(FSOUND_Init(44100, 32, 0));
    unsigned mode = FSOUND_LOADMEMORY | (c.loop ? FSOUND_LOOP_NORMAL : FSOUND_NORMAL);
    FSOUND_STREAM* s =
        FSOUND_Stream_Open(reinterpret_cast<const char*>(bytes.data()), mode, 0, (int)bytes.size());
    ASSERT_NE(s, nullptr) << FSOUND_GetError();
    FSOUND_Stream_SetEndCallback(s, countEnd, nullptr);
    FSOUND_SetPaused(FSOUND_Stream_PlayEx(FSOUND_FREE, s, nullptr, true), false);

    const long buffers = c.loop ? 3 * 44100 / buffer : (long)(expected / buffer) + 8;
    std::vector<int16_t> out((size_t)buffers * buffer * 2);
    long endAt = -1, wraps = 0;
    int previousMs = 0;
    double lastMixMs = 0.0;   // from the start of the last mix to the clock's reading after it
    for (long b = 0; b < buffers; b++) {
        Clock::time_point mixed = Clock::now();
        soundMixForTesting(&out[(size_t)b * buffer * 2], buffer);
        if (endCalls > 0 && endAt < 0)
            endAt = b * buffer;
        int ms = FSOUND_Stream_GetTime(s);
        lastMixMs = std::chrono::duration<double, std::milli>(Clock::now() - mixed).count();
        wraps += ms < previousMs;
        previousMs = ms;
    }
    if (c.loop) {
        EXPECT_EQ(endCalls.load(), 0);
        EXPECT_EQ(wraps, (long)(buffers * buffer / expected));
        // The clock reads the start of the last buffer mixed, advanced by the wall time since
        // then, which a busy machine makes more than a few microseconds.
        double heard = std::fmod((double)(buffers - 1) * buffer, expected) * 1000.0 / 44100.0;
        EXPECT_GE(previousMs, heard - 1.0);
        EXPECT_LE(previousMs, heard + lastMixMs + 1.0);
    } else {
        SoundStreamCounts counts = soundStreamCountsForTesting(s);
        EXPECT_EQ(counts.decodedFrames, total);
        if (c.recipe.rate == 44100) {
            EXPECT_EQ(counts.mixedFrames, total);
        } else {
            EXPECT_NEAR((double)counts.mixedFrames, expected, 2.0);
        }
        EXPECT_EQ(endCalls.load(), 1);
        EXPECT_GE(endAt, expected);
        EXPECT_LT(endAt, expected + buffer);
        EXPECT_EQ(FSOUND_Stream_GetTime(s), FSOUND_Stream_GetLengthMs(s));
    }
    FSOUND_Stream_Close(s);
    FSOUND_Close();

    Tone side[2] = {analyse(&out[22050 * 2], 0), analyse(&out[22050 * 2], 1)};
    for (int i = 0; i < 2; i++) {
        if (!(i == 0 ? c.left : c.right))
            continue;
        EXPECT_NEAR(side[i].hz, 1000.0, 2.0) << "side " << i;
        // Below quality 0 the coding itself leaves sidebands at -36 dB.
        if (c.recipe.quality >= 0.0f) {
            EXPECT_LT(side[i].spurDb, -40.0) << "side " << i << " at " << side[i].spurHz << " Hz";
        }
    }
    double balanceDb = 20 * std::log10(side[0].rms / side[1].rms);
    if (c.left && c.right)
        EXPECT_NEAR(balanceDb, 0.0, 0.1);
    else
        EXPECT_LT(c.left ? -balanceDb : balanceDb, -30.0);
}

INSTANTIATE_TEST_SUITE_P(Sound, BothOutputs,
                         ::testing::Values((int)FSOUND_OUTPUT_NOSOUND, (int)FSOUND_OUTPUT_DSOUND),
                         [](const auto& info) {
                             return info.param == 0 ? "NullOutput" : "Device";
                         });

TEST(SoundLibrary, RefusesCallsOutOfOrderBadStreamsAndAMissingDevice)
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

    // No device to be had: Init fails with error 3 and leaves the library closed, so that it can
    // be set up again; the null output needs no device at all.
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

TEST_P(BothOutputs, SeekIsReadBackAtOnceAndClampedAndPauseHolds)
{
    // The added delay holds the clock back by as much; SDL takes its own buffer as the delay.
    for (int added : {200, 0}) {
        soundSetAddedDelay(added);
        Playing p(GetParam(), 3.0, false);
        FSOUND_Stream_SetTime(p.stream, 1500);
        sleepMs(300);
        int later = FSOUND_Stream_GetTime(p.stream);
        EXPECT_GT(later, 1600 - added) << added;
        EXPECT_LT(later, 1900 - added) << added;
        SoundOutputState out = soundOutputState();
        EXPECT_EQ(out.addedMs, added);
        EXPECT_NEAR(out.reportedMs, GetParam() == FSOUND_OUTPUT_NOSOUND ? 0.0 : 1024 / 44.1, 0.1);
    }
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
    // Paused, the stream stands still; played on, it moves again.
    EXPECT_TRUE(FSOUND_SetPaused(p.channel, true));
    int held = FSOUND_Stream_GetTime(p.stream);
    sleepMs(200);
    EXPECT_EQ(FSOUND_Stream_GetTime(p.stream), held);
    FSOUND_SetPaused(p.channel, false);
    sleepMs(200);
    EXPECT_GT(FSOUND_Stream_GetTime(p.stream), held + 100);
    EXPECT_FALSE(FSOUND_SetPaused(p.channel + 7, true));
}

// Frames read the clock at every turn; it must move with the wall clock without steps, also when
// the output's buffers come early or late against its schedule.
TEST_P(BothOutputs, TimeAdvancesSmoothlyWithTheWallClock)
{
    for (long rate : {44100L, 22050L}) {
        for (int jitter : {0, 8}) {
            if (jitter && GetParam() != FSOUND_OUTPUT_NOSOUND)
                continue;   // only the null output's schedule can be shaken
            soundOutputJitterForTesting(jitter);
            Playing p(GetParam(), 4.0, false, rate, rate == 44100 ? 2 : 1);
            sleepMs(50);
            Watched w = watchClock(p.stream, 150);
            soundOutputJitterForTesting(0);
            std::string what = std::to_string(rate) + " Hz, jitter " + std::to_string(jitter);
            // SDL's dummy device sleeps between buffers and falls behind on a busy machine;
            // the clock then stands a moment with it, as it does for a real device.
            expectSmooth(w, GetParam() == FSOUND_OUTPUT_NOSOUND ? 0 : 2, what);
        }
    }
}

// A stream that does not loop ends once, with a null buffer, and again after a seek back; a
// looping one restarts at 0 without ending.
TEST_P(BothOutputs, StreamsEndOnceOrLoopBackToZero)
{
    endBufferWasNull = true;
    {
        Playing p(GetParam(), 2.0, false);
        sleepMs(2600);
        EXPECT_EQ(endCalls.load(), 1);
        EXPECT_TRUE(endBufferWasNull.load());
        EXPECT_EQ(FSOUND_Stream_GetTime(p.stream), 2000);
        FSOUND_Stream_SetTime(p.stream, 1800);
        sleepMs(500);
        EXPECT_EQ(endCalls.load(), 2);
    }
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

namespace {

// A PulseAudio daemon of the suite's own with two null sinks, in a runtime directory of its own;
// the library reaches it through PULSE_SERVER, and nothing of the machine's is touched.
class SoundLibraryServer : public ::testing::Test {
protected:
    static inline pid_t daemon = -1;
    static inline std::string dir, skipReason, sdlDriver;

    static void SetUpTestSuite()
    {
        if (access("/usr/bin/pulseaudio", X_OK) != 0 || access("/usr/bin/pactl", X_OK) != 0) {
            skipReason = "pulseaudio or pactl missing (tools/deps.sh installs them)";
            return;
        }
        dir = makeTempDir("pulse");
        std::string socket =
            "module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/native";
        daemon = fork();
        if (daemon == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);   // gone with the test, however that ends
            for (const char* v :
                 {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
                setenv(v, dir.c_str(), 1);
            if (!std::freopen((dir + "/log").c_str(), "w", stderr))
                _exit(127);
            execl("/usr/bin/pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no",
                  "--exit-idle-time=-1", "-L", "module-null-sink sink_name=null", "-L",
                  "module-null-sink sink_name=other", "-L", socket.c_str(), (char*)nullptr);
            _exit(127);
        }
        struct stat st;
        for (int i = 0; i < 200 && stat((dir + "/native").c_str(), &st) != 0; i++)
            sleepMs(50);
        if (stat((dir + "/native").c_str(), &st) != 0) {
            skipReason = "pulseaudio did not start: " + readFile(dir + "/log");
            TearDownTestSuite();
            return;
        }
        setenv("PULSE_SERVER", ("unix:" + dir + "/native").c_str(), 1);
        setenv("PULSE_COOKIE", (dir + "/cookie").c_str(), 1);
        sdlDriver = std::getenv("SDL_AUDIODRIVER");   // the sound server instead of SDL's dummy
        unsetenv("SDL_AUDIODRIVER");
    }
    static void TearDownTestSuite()
    {
        if (daemon > 0) {
            kill(daemon, SIGTERM);
            waitpid(daemon, nullptr, 0);
            setenv("SDL_AUDIODRIVER", sdlDriver.c_str(), 1);
        }
        daemon = -1;
    }
    void SetUp() override
    {
        if (daemon < 0)
            GTEST_SKIP() << skipReason;
    }
};

// The server's own report of its one stream's latency, buffer plus sink, in ms; -1 without.
// Asked through popen, which spawns without copying this process: a fork would stall its
// threads, the mixer's among them, while the copy is made.
double serverLatencyMs()
{
    FILE* pactl = popen("/usr/bin/pactl list sink-inputs", "r");
    if (!pactl)
        return -1.0;
    double buffer = -1.0, sink = -1.0;
    for (char line[256]; std::fgets(line, sizeof line, pactl);) {
        std::sscanf(line, " Buffer Latency: %lf usec", &buffer);
        std::sscanf(line, " Sink Latency: %lf usec", &sink);
    }
    pclose(pactl);
    return buffer < 0.0 || sink < 0.0 ? -1.0 : (buffer + sink) / 1000.0;
}

double mean(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / (double)v.size();
}

}   // namespace

// Over five seconds of play, at the default latency and at a latency raised by the server's
// client setting, the delay the clock takes off agrees with what the server says it holds
// (single readings move by several ms, so both are averaged); and the clock stays smooth.
TEST_F(SoundLibraryServer, ClockTakesOffTheLatencyTheServerReportsAndStaysSmooth)
{
    for (const char* latency : {"", "150"}) {
        setenv("PULSE_LATENCY_MSEC", latency, 1);
        if (!*latency)
            unsetenv("PULSE_LATENCY_MSEC");
        Playing p(FSOUND_OUTPUT_DSOUND, 20.0, false);
        EXPECT_EQ(soundOutputState().output, "PulseAudio");
        // An idle null sink takes a while to start and to come down to the latency asked for,
        // and the clock a while to follow.
        for (int i = 0; i < 600 && FSOUND_Stream_GetTime(p.stream) < 3000; i++)
            sleepMs(10);
        // A mixer thread starved on a busy machine lets the server run dry: the sound stops,
        // and the clock with it, which says nothing of the clock. Such a window is measured
        // again.
        for (int attempt = 0; attempt < 3; attempt++) {
            std::vector<double> server;
            std::atomic<bool> done{false};
            std::thread ask([&] {
                for (double ms; !done.load(); sleepMs(50))
                    if ((ms = serverLatencyMs()) >= 0)
                        server.push_back(ms);
            });
            int64_t underruns = soundOutputState().underruns;
            Watched w = watchClock(p.stream, 300);
            underruns = soundOutputState().underruns - underruns;
            done = true;
            ask.join();
            double reported = mean(server), applied = mean(w.delaysMs);
            std::printf(
                "PULSE_LATENCY_MSEC=%s: server %.1f ms (%zu readings), clock %.1f ms, output "
                "%.1f ms; worst step %.2f ms off the wall clock, %d over 2 ms; %lld underruns\n",
                latency, reported, server.size(), applied, soundOutputState().reportedMs, w.worstMs,
                w.strays, (long long)underruns);
            if (underruns > 0 && attempt < 2)
                continue;
            EXPECT_GE(server.size(), 10u);
            if (!SANITIZED) {   // a slowed mixer runs the server dry, and both figures with it
                EXPECT_EQ(underruns, 0) << latency << ": the machine is too busy to tell";
                EXPECT_NEAR(applied, reported, std::max(5.0, reported * 0.1)) << latency;
            }
            expectSmooth(w, 0, latency);
            break;
        }
    }
    unsetenv("PULSE_LATENCY_MSEC");
}

// The server's sinks by their names, a device chosen by name, one that is not there refused,
// and the line at the start of the music: output, device and delay.
TEST_F(SoundLibraryServer, DevicesGoByTheServersNamesAndTheStartIsReported)
{
    std::vector<SoundDevice> devices;
    EXPECT_EQ(soundListDevices(&devices), "PulseAudio");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(
        std::tuple(devices[0].name, devices[0].isDefault, devices[1].name, devices[1].isDefault),
        std::tuple("null", true, "other", false));

    soundSetDevice("no-such-sink");
    FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
    EXPECT_FALSE(FSOUND_Init(44100, 32, 0));
    EXPECT_EQ(FSOUND_GetError(), FMOD_ERR_INIT);
    soundSetDevice("other");
    {
        Playing p(FSOUND_OUTPUT_DSOUND, 2.0, false);
        EXPECT_EQ(soundOutputState().device, "other");
        std::string inputs = runProcess({"/usr/bin/pactl", "list", "short", "sink-inputs"}, 10).out;
        std::string sinks = runProcess({"/usr/bin/pactl", "list", "short", "sinks"}, 10).out;
        std::smatch input;
        ASSERT_TRUE(std::regex_search(inputs, input, std::regex("^\\d+\\t(\\d+)\\t"))) << inputs;
        EXPECT_NE(sinks.find(input[1].str() + "\tother\t"), std::string::npos) << sinks;
    }
    soundSetDevice("");
    // The program lists them as the system names them.
    ProcessResult list = runOrvanti({"--list-audio-devices"}, 20, {"SDL_AUDIODRIVER=pulseaudio"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out,
              "PulseAudio output:\n  null  Null Output  (default)\n  other  Null Output\n");

    std::string path = writeFile(makeTempDir("pulse-music") + "/music.ogg", makeClickStream(2.0));
    musicMuted = false;
    musicOffsetMs = 25.0;
    ::testing::internal::CaptureStderr();
    openMusic(path.c_str(), 125.0f, 0);
    std::string line = ::testing::internal::GetCapturedStderr();
    int heard = FSOUND_Stream_GetTime(musicStream);
    closeMusic();
    musicOffsetMs = 0.0;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m,
                                 std::regex("sound: PulseAudio output, device \"null\", "
                                            "delay ([0-9.]+) ms \\(([0-9.]+) reported, "
                                            "\\+25 added\\)\n")))
        << line;
    EXPECT_NEAR(std::stod(m[1]), std::stod(m[2]) + 25.0, 0.11);
    EXPECT_GT(std::stod(m[2]), 1.0);
    EXPECT_LT(std::stod(m[2]), 100.0);
    EXPECT_GT(heard, 0) << "openMusic returns once the music is heard";
}
