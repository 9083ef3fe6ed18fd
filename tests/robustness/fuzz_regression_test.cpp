// The fuzzers' seeds and every input that once made a fuzzer fail, replayed through the same
// code as the fuzz targets; and a whole stream mixed buffer by buffer, as the music fuzzer does.
#include "common/test_support.h"
#include "music/sound.h"
#include "robustness/fuzz_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

std::vector<uint8_t> readInput(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

int endCalls = 0;

signed char countEnd(FSOUND_STREAM*, void*, int, void*)
{
    endCalls++;
    return true;
}

}   // namespace

TEST(FuzzInputs, JpegSeedsAndFindingsRunClean)
{
    std::vector<std::string> inputs = inputsOf("jpeg");
    ASSERT_FALSE(inputs.empty());
    int decoded = 0;
    for (const std::string& path : inputs) {
        std::vector<uint8_t> bytes = readInput(path);
        SCOPED_TRACE(path);
        decoded += fuzzJpegInput(bytes.data(), bytes.size());
    }
    EXPECT_GT(decoded, 0) << "no seed decodes: the fuzzer would start from nothing";
}

TEST(FuzzInputs, MusicSeedsAndFindingsRunClean)
{
    std::vector<std::string> inputs = inputsOf("music");
    ASSERT_FALSE(inputs.empty());
    int opened = 0;
    for (const std::string& path : inputs) {
        std::vector<uint8_t> bytes = readInput(path);
        SCOPED_TRACE(path);
        opened += fuzzMusicInput(bytes.data(), bytes.size());
    }
    EXPECT_GT(opened, 0) << "no seed opens: the fuzzer would start from nothing";
}

// Mixed buffer by buffer, the show's music must last its whole length: no decoded audio may be
// dropped on the way to the output.
TEST(FuzzInputs, TheMusicMixedToItsEndLastsItsLength)
{
    std::vector<uint8_t> music = readInput(buildDir() + "/data/music.ogg");
    if (music.empty())
        GTEST_SKIP() << "no data set built";
    uint8_t once = 0;
    ASSERT_TRUE(fuzzMusicInput(&once, 1) == false);   // opens the library on the right output
    FSOUND_STREAM* stream = FSOUND_Stream_Open(reinterpret_cast<const char*>(music.data()),
                                               FSOUND_NORMAL | FSOUND_LOADMEMORY, 0,
                                               (int)music.size());
    ASSERT_NE(stream, nullptr);
    endCalls = 0;
    FSOUND_Stream_SetEndCallback(stream, countEnd, nullptr);
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
