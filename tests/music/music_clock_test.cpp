// The show clock on the music stream: patterns, seeks, Pause, the end, and fatal music files.
#include "app/app_local.h"
#include "common/test_support.h"
#include "music/music_local.h"
#include "support/support.h"
#include "music/sound.h"
#include "ogg_maker.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int PAUSE_KEY = 19;

// A long, cheap stream (mono, low rate) so that show times up to 12 patterns exist in it.
const std::string& longStreamPath()
{
    static const std::string path =
        writeFile(makeTempDir("music") + "/long.ogg", makeClickStream(100.0, 11025, 1));
    return path;
}

// Opens the long stream on the null output, stands it still, and closes it again afterwards.
struct OpenMusic {
    OpenMusic()
    {
        musicMuted = true;
        heldTime = 0.0f;
        openMusic(longStreamPath().c_str(), 125.0f, 0);
        FSOUND_SetPaused(musicChannel, true);
    }
    ~OpenMusic()
    {
        heldTime = 0.0f;
        closeMusic();
    }
};

TEST(ShowClock, PatternsFollowTheStreamSeeksTruncateAndPageKeysStepPatterns)
{
    OpenMusic music;
    EXPECT_GE(musicChannel, 0);
    FSOUND_Stream_SetTime(musicStream, 7680);
    EXPECT_FLOAT_EQ(showTime(), 1.0f);
    FSOUND_Stream_SetTime(musicStream, 46080);
    EXPECT_FLOAT_EQ(showTime(), 6.0f);
    FSOUND_Stream_SetTime(musicStream, 480);
    EXPECT_FLOAT_EQ(showTime(), 0.0625f);   // one beat

    seekShowTime(1.5f);
    EXPECT_EQ(FSOUND_Stream_GetTime(musicStream), 11520);
    seekShowTime(0.0001f);   // 0.768 ms, truncated
    EXPECT_EQ(FSOUND_Stream_GetTime(musicStream), 0);
    seekShowTime(-2.0f);   // Page Up at the start: the stream stays at its start
    EXPECT_EQ(FSOUND_Stream_GetTime(musicStream), 0);

    seekShowTime(3.7f);
    handleKeyDown(34);   // Page Down: to the start of the next pattern
    EXPECT_FLOAT_EQ(showTime(), 4.0f);
    handleKeyDown(33);   // Page Up
    handleKeyDown(33);
    EXPECT_FLOAT_EQ(showTime(), 2.0f);
    handleKeyDown(36);   // Home
    EXPECT_FLOAT_EQ(showTime(), 0.0f);
}

// Unheld, a read does not wait; Pause holds the time, each read a short sleep, and releases
// where it stood. (A hold at 0: the app tests.)
TEST(ShowClock, PauseHoldsTheTimeWithShortSleepsAndReleasesWhereItStood)
{
    OpenMusic music;
    auto msOfShowTime = [] {
        auto before = Clock::now();
        showTime();
        return std::chrono::duration<double, std::milli>(Clock::now() - before).count();
    };
    EXPECT_LT(msOfShowTime(), 1.0);

    FSOUND_SetPaused(musicChannel, false);
    seekShowTime(10.3f);
    handleKeyDown(PAUSE_KEY);
    float held = heldTime;
    EXPECT_NEAR(held, 10.3f, 0.01f);
    for (int i = 0; i < 6; ++i) {
        double ms = msOfShowTime();
        EXPECT_EQ(showTime(), held);
        EXPECT_GE(ms, 1.0);
        EXPECT_LE(ms, 240.0);   // at most 201 ms of sleep, with room for a loaded machine
    }
    handleKeyDown(PAUSE_KEY);
    EXPECT_EQ(heldTime, 0.0f);
    // The music runs on from the held time: a few milliseconds of play later, not far from it.
    float after = showTime();
    EXPECT_GE(after, held - 0.001f);
    EXPECT_LT(after, held + 0.1f);
}

// Only the end of the stream asks to quit, not a sync point; the error texts of the table, and
// past its end.
TEST(ShowClock, OnlyTheEndOfTheStreamAsksToQuitAndErrorTextsComeFromTheTable)
{
    int before = quitRequests;
    char sample = 0;
    EXPECT_TRUE(musicCallback(nullptr, &sample, 1, nullptr));
    EXPECT_EQ(quitRequests, before);
    EXPECT_TRUE(musicCallback(nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(quitRequests, before + 1);
    quitRequests = before;

    EXPECT_STREQ(soundErrorText(0), "No errors");
    EXPECT_STREQ(soundErrorText(18), "Required Mediaplayer codec is not installed");
    EXPECT_STREQ(soundErrorText(19), "Unknown error");
    EXPECT_STREQ(soundErrorText(0xffffffffu), "Unknown error");
}

TEST(ShowClock, NonLoopingMusicEndsOnceAndLoopingMusicStartsOver)
{
    std::string path = writeFile(makeTempDir("music") + "/short.ogg", makeClickStream(1.0));
    musicMuted = true;
    int before = quitRequests;

    openMusic(path.c_str(), 125.0f, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    EXPECT_EQ(quitRequests, before + 1);
    closeMusic();

    quitRequests = before;
    openMusic(path.c_str(), 125.0f, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(quitRequests, before);
    EXPECT_LT(showTime(), 1000.0f / 7680.0f);   // back near the start
    closeMusic();
    quitRequests = before;
}

// One Ogg page holding a single packet that is not Vorbis.
std::vector<unsigned char> oggWithoutVorbis()
{
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);
    std::string head = "OpusHead\x01\x02\x38\x01\x80\xbb\x00\x00\x00\x00\x00";
    ogg_packet packet{};
    packet.packet = (unsigned char*)head.data();
    packet.bytes = (long)head.size();
    packet.b_o_s = 1;
    ogg_stream_packetin(&stream, &packet);
    std::vector<unsigned char> bytes;
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) {
        bytes.insert(bytes.end(), page.header, page.header + page.header_len);
        bytes.insert(bytes.end(), page.body, page.body + page.body_len);
    }
    ogg_stream_clear(&stream);
    return bytes;
}

// Each case runs in a child of its own; the message box stays shut.
class ShowClockDeathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        setenv("ORVANTI_NO_MESSAGE_BOX", "1", 1);
    }
};

TEST_F(ShowClockDeathTest, MusicThatCannotPlayEndsTheProgramNamingTheFileOrTheLibrary)
{
    musicMuted = true;
    std::string dir = makeTempDir("badmusic");
    std::vector<unsigned char> noise(20000);
    std::mt19937 random(7);
    for (auto& byte : noise)
        byte = (unsigned char)random();
    writeFile(dir + "/empty.ogg", {});
    writeFile(dir + "/noise.ogg", noise);
    std::vector<unsigned char> cut = makeClickStream(1.0);
    cut.resize(100);   // inside the second header page
    writeFile(dir + "/cut.ogg", cut);
    writeFile(dir + "/opus.ogg", oggWithoutVorbis());
    // There, but not to be read: a folder in its place, or a file without read permission (which
    // does not stop root, so that case is left out when the file reads anyway).
    std::filesystem::create_directory(dir + "/folder.ogg");
    std::string locked = writeFile(dir + "/locked.ogg", makeClickStream(1.0));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const bool lockedReads = (bool)std::ifstream(locked);
    // A pipe with no writer must not block the open; a file over the limit is not read.
    ASSERT_EQ(mkfifo((dir + "/pipe.ogg").c_str(), 0644), 0);
    std::filesystem::resize_file(writeFile(dir + "/huge.ogg", {}), DATA_FILE_LIMIT + 1);
    const char* const cases[][2] = {
        {"missing", "missing\\.ogg not found"},
        {"empty", "empty\\.ogg: not a playable music stream"},
        {"noise", "noise\\.ogg: not a playable music stream"},
        {"cut", "cut\\.ogg: not a playable music stream"},
        {"opus", "opus\\.ogg: not a playable music stream"},
        {"folder",
         "folder\\.ogg: not a playable music stream \\(cannot be read: Is a directory\\)"},
        {"locked", "locked\\.ogg: not a playable music stream \\(cannot be read: Permission"},
        {"pipe",
         "pipe\\.ogg: not a playable music stream \\(cannot be read: a named pipe, not a regular"},
        {"huge",
         "huge\\.ogg: not a playable music stream \\(cannot be read: 67108865 bytes, over the"},
    };
    for (auto [name, message] : cases) {
        if (std::string(name) == "locked" && lockedReads)
            continue;
        std::string path = dir + "/" + name + ".ogg";
        EXPECT_EXIT(openMusic(path.c_str(), 125.0f, 0), ::testing::ExitedWithCode(1), message)
            << name;
    }
    // Without a sound device the library's own text ends the program, before the file is looked
    // at; an old sound library is refused before any sound.
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
            musicMuted = false;
            openMusic((dir + "/missing.ogg").c_str(), 125.0f, 0);
        },
        ::testing::ExitedWithCode(1), "Error initializing output device\\.");
    EXPECT_EXIT(
        {
            soundReportVersionForTesting(3.70f);
            openMusic(longStreamPath().c_str(), 125.0f, 0);
        },
        ::testing::ExitedWithCode(1), "FMOD: Wrong DLL version!");
}

}   // namespace
