// The fuzzers' seeds and past failing inputs, replayed; and a whole stream mixed to its end.
#include "common/test_support.h"
#include "music/sound.h"
#include "fuzz/fuzz_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> inputsOf(const std::string& target)
{
    std::vector<std::string> paths;
    for (const char* kind : {"seeds", "regressions"}) {
        fs::path dir = fs::path(sourceDir()) / "fuzz" / kind / target;
        if (fs::is_directory(dir))
            for (const fs::directory_entry& e : fs::directory_iterator(dir))
                paths.push_back(e.path().string());
    }
    return paths;
}

}   // namespace

TEST(FuzzInputs, SeedsAndFindingsOfBothTargetsRunClean)
{
    struct Target {
        const char* name;
        bool (*run)(const uint8_t*, size_t);
    } targets[] = {{"jpeg", fuzzJpegInput}, {"music", fuzzMusicInput}};
    for (const Target& t : targets) {
        std::vector<std::string> inputs = inputsOf(t.name);
        ASSERT_FALSE(inputs.empty()) << t.name;
        int accepted = 0;
        for (const std::string& path : inputs) {
            std::string text = readFile(path);
            std::vector<uint8_t> bytes(text.begin(), text.end());   // a read past its end is caught
            SCOPED_TRACE(path);
            accepted += t.run(bytes.data(), bytes.size());
        }
        EXPECT_GT(accepted, 0) << "no " << t.name
                               << " seed is taken: the fuzzer would start from nothing";
    }
}

// Mixed buffer by buffer, the show's music must last its whole length: no decoded audio may be
// dropped on the way to the output.
TEST(FuzzInputs, TheMusicMixedToItsEndLastsItsLength)
{
    std::string music = readFile(buildDir() + "/data/music.ogg");
    if (music.empty())
        GTEST_SKIP() << "no data set built";
    uint8_t once = 0;
    ASSERT_TRUE(fuzzMusicInput(&once, 1) == false);   // opens the library on the right output
    FSOUND_STREAM* stream =
        FSOUND_Stream_Open(music.data(), FSOUND_NORMAL | FSOUND_LOADMEMORY, 0, (int)music.size());
    ASSERT_NE(stream, nullptr);
    static int endCalls = 0;
    FSOUND_Stream_SetEndCallback(
        stream, [](FSOUND_STREAM*, void*, int, void*) -> signed char { return (bool)++endCalls; },
        nullptr);
    FSOUND_SetPaused(FSOUND_Stream_PlayEx(FSOUND_FREE, stream, nullptr, true), false);
    const int frames = 1024;
    std::vector<int16_t> out(frames * 2);
    long buffers = 0;
    while (endCalls == 0 && buffers < 100000) {
        soundMixForTesting(out.data(), frames);
        buffers++;
    }
    double mixedMs = buffers * frames * 1000.0 / 44100.0;
    double lengthMs = FSOUND_Stream_GetLengthMs(stream);
    EXPECT_GT(lengthMs, 300000.0);
    EXPECT_NEAR(mixedMs, lengthMs, 2 * frames * 1000.0 / 44100.0);
    FSOUND_Stream_Close(stream);
}
