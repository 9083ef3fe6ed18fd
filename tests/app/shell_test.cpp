// The shell: capabilities, OpenGL error names, the command line and study mode.
#include "app/app_local.h"
#include "render/gl.h"
#include "music/music.h"
#include "precalc/precalc.h"
#include "show/show.h"
#include "support/support.h"
#include "texture/texture.h"
#include "common/test_support.h"

#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

// Powers of two within the table, extensions as whole words, the clamp mode from the version.
TEST(Capabilities, PowersOfTwoExtensionsAndClampMode)
{
    for (auto [n, power] :
         {std::pair{1, 0}, {2, 2}, {256, 256}, {300, 512}, {512, 512}, {65536, 65536}, {70000, 0}})
        EXPECT_EQ(nextPowerOfTwo(n), power) << n;

    const char* list = "GL_ARB_multitexture GL_ARB_texture_env_combine GL_EXT_last";
    // Whole words only, the last one with no space after it; a prefix is no match.
    EXPECT_EQ(std::tuple(hasExtensionIn(list, "GL_ARB_multitexture"),
                         hasExtensionIn(list, "GL_ARB_texture_env"),
                         hasExtensionIn(list, "GL_EXT_last"), hasExtensionIn(list, "GL_EXT_las"),
                         hasExtensionIn(list, "multitexture"), hasExtensionIn("A  B ", "B")),
              std::tuple(1, 0, 1, 0, 0, 1));
    EXPECT_FALSE(hasExtensionIn(nullptr, "GL_EXT_last") || hasExtensionIn(list, nullptr) ||
                 hasExtensionIn("", "GL_EXT_last"));

    for (auto [version, mode] : {std::pair<const char*, int>{"1.1.0 Vendor", GL_CLAMP},
                                 {"1.2.1", GL_CLAMP_TO_EDGE},
                                 {"2.0", GL_CLAMP_TO_EDGE},
                                 {"garbage", GL_CLAMP},
                                 {nullptr, GL_CLAMP}})
        EXPECT_EQ(clampModeForVersion(version), (uint32_t)mode) << (version ? version : "null");
}

TEST(CommandLine, HelpListsEveryOptionAndVersionIsOneLine)
{
    ProcessResult help = runOrvanti({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--help",         "--version",       "--no-setup",     "--mode",      "--windowed",
          "--fullscreen",   "--loop",          "--vsync",        "--no-vsync",  "--data",
          "--start",        "--mute",          "--capture",      "--fps",       "--from",
          "--to",           "--contact-sheet", "--benchmark",    "--overwrite", "--scene",
          "--audio-device", "--quiet",         "--audio-offset", "--list"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    ProcessResult version = runOrvanti({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orvanti ", 0), 0u);
    EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
}

// Every malformed value ends the program with status 2 and one line that names it, before any
// window or precalculation.
TEST(CommandLine, UsageErrorsExitWithStatus2AndNameTheValue)
{
    const char* const cases[] = {
        // The arguments split at each space; the message names the last one that is not empty,
        // or what follows a bar.
        "--no-such-option", "--mode 320x200",
        "--mode 640by480",  "--mode 511x256",
        "--mode 512x255",   "--mode x480",
        "--mode 640x",      "--mode 640x480x2",
        "--mode -640x480",  "--mode 99999999999x480",
        "--fps fast",       "--fps 0",
        "--fps -30",        "--fps nan",
        "--fps 1e999",      "--fps ",
        "--start 1.2.3",    "--start inf",
        "--start -1e40",    "--from abc",
        "--from -20000",    "--to 1,5",
        "--to 1e300",       "--from 20 --to 10|--from",
        "--data",           "--scene 0",
        "--scene 12",       "--scene 9x",
        "--windowed=1",     "-h",
        "--capture ",       "--mode=320x200|320x200",
        "--audio-device",   "--audio-offset -1001",
        "--quiet=1",        "--audio-device nope"};
    for (std::string line : cases) {
        size_t bar = std::min(line.find('|'), line.size());
        std::string named = line.substr(std::min(bar + 1, line.size()));
        line.resize(bar);
        std::vector<std::string> c;
        for (size_t space; (space = line.find(' ')) != std::string::npos; line.erase(0, space + 1))
            c.push_back(line.substr(0, space));
        c.push_back(line);
        ProcessResult r = runOrvanti(c, 20);
        if (named.empty())
            named = c.back().empty() ? c[c.size() - 2] : c.back();
        EXPECT_EQ(r.status, 2) << named;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
}

// A value after "=" as after a space; of two contrary flags the last holds.
TEST(CommandLine, TakesGnuFormsAndTheLastOfContraryFlags)
{
    const char* argv[] = {"orvanti",    "--mode=800x600", "--windowed", "--fullscreen",
                          "--no-vsync", "--data",         "d",          "--fps=30"};
    programOptions = ProgramOptions{};
    EXPECT_EQ(parseCommandLine(8, (char**)argv), -1);
    const ProgramOptions& o = programOptions;
    EXPECT_EQ(std::tuple(o.width, o.height, o.fullscreen, o.vsync, o.dataDir, o.fps),
              std::tuple(800, 600, 1, 0, std::string("d/"), 30.0));
    programOptions = ProgramOptions{};
}

TEST(CommandLine, WithoutADisplayForTheDialogTheShowGoesOn)
{
    // No dialog can open, so start-up carries on with the defaults as far as the first data
    // file, rather than ending as Exit would. A --data directory that is not there ends it
    // before any of that.
    std::string empty = makeTempDir("no-data-files");
    for (const std::string& data : {empty, std::string("/nonexistent")}) {
        ProcessResult r = runOrvanti({"--mute", "--data", data}, 60, {"DISPLAY="});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(data + "/"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("not found"), std::string::npos) << r.err;
    }
}

TEST(CheckGLError, NamesThePendingErrorAndEndsWithStatus1)
{
    // Each case opens its own context in a fresh process.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ensureGLContext();
    checkGLError();   // nothing pending: goes on
    struct Case {
        void (*provoke)();
        const char* name;
    } cases[] = {
        {[] { glEnable(0x7fff); }, "GL_INVALID_ENUM"},
        {[] { glViewport(0, 0, -1, -1); }, "GL_INVALID_VALUE"},
        {[] { glEnd(); }, "GL_INVALID_OPERATION"},
        {[] { glPopMatrix(); }, "GL_STACK_UNDERFLOW"},
        {[] {
             for (int i = 0; i < 256; i++)
                 glPushMatrix();
         },
         "GL_STACK_OVERFLOW"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(
            {
                ensureGLContext();
                glMatrixMode(GL_MODELVIEW);
                c.provoke();
                checkGLError();
            },
            testing::ExitedWithCode(1), std::string("error: ") + c.name + "\n")
            << c.name;
}

TEST(StudyOverlay, TextSaysWhereTheShowIs)
{
    struct Case {
        OverlayFacts facts;
        std::vector<std::string> lines;
    } cases[] = {
        {{28.3f, 59.94f, 16.68f, MUSIC_PLAYING, 0, 43.4f, 0.0f},
         {"show 28.300 patterns  217.344 s  delay 43+0 ms",
          "pattern 28 row 19  scene 9  local -0.200", "59.9 fps  16.7 ms  music playing"}},
        // Before the show the row still counts up within the pattern.
        {{-0.5f, 0.0f, 0.0f, MUSIC_HELD, 9, 23.2f, -40.0f},
         {"show -0.500 patterns  -3.840 s  delay 23-40 ms",
          "pattern -1 row 32  scene 1  local -0.500",
          "-- fps  -- ms  music held  repeating scene 9"}},
        // Scene 4's last window runs at a quarter speed: the overlay tells the time it draws.
        {{39.0f, 30.0f, 33.33f, MUSIC_PLAYING, 0, 0.0f, 120.0f},
         {"show 39.000 patterns  299.520 s  delay 0+120 ms",
          "pattern 39 row 0  scene 4  local 38.625", "30.0 fps  33.3 ms  music playing"}},
        {{40.25f, 60.0f, 16.67f, MUSIC_ENDED, 0, 0.0f, 0.0f},
         {"show 40.250 patterns  309.120 s  delay 0+0 ms", "pattern 40 row 16  after the show",
          "60.0 fps  16.7 ms  music ended"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(overlayLines(c.facts), c.lines) << c.facts.time;
}

TEST(FrameStepping, WhileHeldStepsFramesAndRowsAndReturnsExactly)
{
    for (double rate : {60.0, 144.0}) {
        study = StudyState{};
        study.displayRate = rate;
        heldTime = 0.0f;
        handleKeyDown(VK_RIGHT_KEY);
        EXPECT_EQ(heldTime, 0.0f) << "not held: no step";

        heldTime = 28.3f;
        for (int i = 0; i < (int)rate; i++)
            handleKeyDown(VK_RIGHT_KEY);
        EXPECT_NEAR(heldTime, 28.3 + SHOW_TEMPO / 960.0, 1e-5) << "a second on at " << rate;
        for (int i = 0; i < (int)rate; i++)
            handleKeyDown(VK_LEFT_KEY);
        EXPECT_EQ(heldTime, 28.3f) << rate;
        for (int i = 0; i < 64; i++)
            handleKeyDown(VK_RIGHT_KEY, true);
        EXPECT_EQ(heldTime, 29.3f) << "64 rows are a pattern";
        handleKeyDown(VK_LEFT_KEY);
        for (int i = 0; i < 64; i++)
            handleKeyDown(VK_LEFT_KEY, true);
        handleKeyDown(VK_RIGHT_KEY);
        EXPECT_EQ(heldTime, 28.3f) << "rows and frames in any order";
    }
    heldTime = 0.0f;
}

// Scene 9's window is 28.25 to 32.25. --start chooses where the first pass begins, inside the
// window or not; once the clock has come into it, its end sends it back to the start.
TEST(SceneRepeat, FirstPassFromTheStartThenTheWindowAgainAndAgain)
{
    SKIP_WITHOUT_DATA_SET();
    for (float start : {-1.0f, 27.0f, 35.0f}) {   // -1: no --start
        programOptions = ProgramOptions{};
        programOptions.scene = 9;
        programOptions.startGiven = start >= 0.0f;
        displaySettings.loop = 1;
        study = StudyState{};
        musicMuted = true;
        openMusic((buildDir() + "/data/music.ogg").c_str(), SHOW_TEMPO, 1);
        if (programOptions.startGiven)
            seekShowTime(start);
        startStudyMode();
        EXPECT_NEAR(studyFrameTime(), start < 0.0f ? 28.25f : start, 0.01f);

        // A little before the window's end: within about a second the clock reaches it and the
        // frame after is back at the start, the music with it.
        seekShowTime(32.1f);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
        float last = 32.1f, back = 0.0f;
        while (back == 0.0f && std::chrono::steady_clock::now() < deadline) {
            float t = studyFrameTime();
            ASSERT_LT(t, 32.25f) << "a frame past the window";
            if (t < last - 1.0f)
                back = t;
            last = t;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_NEAR(back, 28.25f, 0.01f) << "never went back from " << start;
        EXPECT_NEAR(showTime(), 28.25f, 0.05f);
        closeMusic();
    }
}

// Pause at 0 holds; the Page keys and Home move the hold; steps stop at the music's end (wrap with
// the loop), whose notification does not end a held show; letting go there does.
TEST(Hold, HoldsAtZeroMovesWithTheKeysAndOutlastsTheEndOfTheMusic)
{
    SKIP_WITHOUT_DATA_SET();
    for (int loop : {0, 1}) {
        study = StudyState{};
        displaySettings.loop = loop;
        musicMuted = true;
        openMusic((buildDir() + "/data/music.ogg").c_str(), SHOW_TEMPO, loop);
        std::vector<float> held;
        for (int key :
             {VK_HOME_KEY, VK_PAUSE_KEY, VK_NEXT_KEY, VK_NEXT_KEY, VK_PRIOR_KEY, VK_HOME_KEY}) {
            handleKeyDown(key);
            held.push_back(heldTime);
        }
        EXPECT_TRUE(held[1] > 0.0f && held[1] < 1e-3f && held[5] > 0.0f && held[5] < 1e-30f);
        EXPECT_EQ(std::vector(held.begin() + 2, held.begin() + 5), std::vector({1.0f, 2.0f, 1.0f}));

        for (int i = 0; i < 41 * 64 + 6; i++)
            handleKeyDown(VK_RIGHT_KEY, true);
        EXPECT_NEAR(heldTime, loop ? 6.0 / 64 : musicLengthPatterns(), 1e-4) << loop;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));   // the end comes, held
        bool ended = quitRequests.load() > 0;
        EXPECT_EQ(std::tuple(ended, quitRequested()), std::tuple(!loop, false))
            << "held at the end";
        handleKeyDown(VK_PAUSE_KEY);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(quitRequested(), !loop) << "let go at the end";
        quitRequests = 0;
        closeMusic();
    }
    displaySettings.loop = 0;
}

TEST(StudyOverlay, OnlyTheLiveWindowShowsItInItsCornerAndTheNextFrameIsUntouched)
{
    SKIP_WITHOUT_DATA_SET();
    ensureGLContext(640, 480);
    programOptions = ProgramOptions{};
    programOptions.dataDir = buildDir() + "/data/";
    showStarted = 1;
    assets.grainTexture = makeNoiseTexture(256, 256, TEX_NO_MIPMAP);
    auto window = [] { return readPixels(0, 0, 640, 480, 3); };
    struct Frames {
        std::vector<uint8_t> captured, shown, next;
    };
    auto frames = [&](bool overlay) {
        study = StudyState{};
        if (overlay)
            handleKeyDown(VK_TAB_KEY);
        Frames f;
        randomSeed = 42;
        drawShowFrame(39.7f);   // what the offline modes read back
        f.captured = window();
        drawStudyOverlay(39.7f);   // what the live loop then shows
        f.shown = window();
        randomSeed = 7;
        drawShowFrame(39.6f);
        f.next = window();
        return f;
    };
    Frames off = frames(false), on = frames(true);
    EXPECT_TRUE(on.captured == off.captured);
    EXPECT_TRUE(on.next == off.next);
    EXPECT_TRUE(off.shown == off.captured) << "drawn while off";
    // Every change lies in the bar above the letterbox (rows 420 to 479 from the bottom), left.
    int inCorner = 0, elsewhere = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            for (int c = 0; c < 3; c++) {
                size_t i = ((size_t)y * 640 + x) * 3 + c;
                if (on.shown[i] == on.captured[i])
                    continue;
                (y >= 420 && x < 400 ? inCorner : elsewhere)++;
            }
    EXPECT_GT(inCorner, 1000);
    EXPECT_EQ(elsewhere, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    study = StudyState{};
    assets.grainTexture = nullptr;
}

// The live show, looping, plays on past the end of the music. (Every window's picture is
// checked by the scene tests, every frame's OpenGL errors by the benchmark run.)
TEST(WholeShow, LiveShowLoopingPlaysOnPastTheEndOfTheMusic)
{
    SKIP_WITHOUT_DATA_SET();
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
