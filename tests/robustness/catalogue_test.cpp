// One run of the real program for each kind of broken data file (the full tables are in-process
// in the loaders' and the clock's tests): status 1, one message naming file and problem, in time.
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

// What a directory holds: names, sizes and modification times.
using Listing = std::map<std::string, std::pair<uintmax_t, fs::file_time_type>>;
Listing snapshot(const std::string& dir)
{
    Listing entries;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        entries[e.path().filename().string()] = {e.is_regular_file() ? fs::file_size(e.path()) : 0,
                                                 fs::last_write_time(e.path())};
    return entries;
}

// A data directory of links to the built data set, some of them to be replaced, and the live
// show run on it from an empty working directory, which must write nothing anywhere.
struct BrokenData {
    std::string dir = linkedDataSet(), work = makeTempDir("broken_work");
    Listing before;

    ProcessResult run(double timeout = 60.0)
    {
        before = snapshot(dir);
        return runOrvanti(
            {"--no-setup", "--windowed", "--mute", "--mode", "640x480", "--data", dir}, timeout, {},
            work);
    }
    void expectNothingWritten(const std::string& label) const
    {
        EXPECT_EQ(snapshot(dir), before) << label << ": the data directory changed";
        EXPECT_TRUE(fs::is_empty(work)) << label << ": files left in the working directory";
    }
};

// The files the loaders read first, in each role.
const char* const COLOUR = "spiral.jpg";   // a padded image, and later a sprite pair
const char* const MUSIC = "music.ogg";

}   // namespace

TEST(Catalogue, EachKindOfBadFileIsNamedWithTheProblem)
{
    SKIP_WITHOUT_DATA_SET();
    std::string good = readFile(buildDir() + "/data/" + COLOUR);
    std::string noise(20000, 0);
    std::mt19937 random(11);
    for (char& c : noise)
        c = (char)random();
    struct Case {
        const char* label;
        const char* name;
        enum { MISSING, BYTES, PIPE } kind;
        std::string bytes;
        const char* problem;
    } cases[] = {
        {"missing image", COLOUR, Case::MISSING, "", "not found"},
        {"image cut in the scan", COLOUR, Case::BYTES, good.substr(0, good.size() * 2 / 3),
         "not a usable JPEG image"},
        {"pipe as an image", COLOUR, Case::PIPE, "",
         "cannot be read: a named pipe, not a regular file"},
        {"random bytes as music", MUSIC, Case::BYTES, noise, "not a playable music stream"},
    };
    for (const Case& c : cases) {
        BrokenData data;
        std::string path = data.dir + "/" + c.name;
        fs::remove(path);
        if (c.kind == Case::BYTES)
            std::ofstream(path, std::ios::binary) << c.bytes;
        if (c.kind == Case::PIPE) {
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << c.label;
        }
        auto start = std::chrono::steady_clock::now();
        ProcessResult r = data.run();
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.status, 1) << c.label << "\n" << r.err;
        // One error message, naming the file and saying what is wrong with it.
        size_t at = r.err.find("error: ");
        ASSERT_NE(at, std::string::npos) << c.label << ": no error message\n" << r.err;
        std::string message = r.err.substr(at, r.err.find('\n', at) - at);
        EXPECT_NE(message.find(path), std::string::npos) << c.label << ": " << message;
        EXPECT_NE(message.find(c.problem), std::string::npos) << c.label << ": " << message;
        EXPECT_EQ(r.err.find("error: ", at + 1), std::string::npos) << c.label << ": two messages";
        // A pipe is refused at once, not waited on.
        EXPECT_TRUE(c.kind != Case::PIPE || took.count() < 10.0) << c.label;
        data.expectNothingWritten(c.label);
    }
}

TEST(Catalogue, CutMusicPlaysWhatItHasAndEnds)
{
    SKIP_WITHOUT_DATA_SET();
    // About 5 s of the music: the show plays it and ends by itself, as at the real end.
    std::string music = readFile(buildDir() + "/data/" + MUSIC);
    BrokenData data;
    fs::remove(data.dir + "/" + MUSIC);
    std::ofstream(data.dir + "/" + MUSIC, std::ios::binary) << music.substr(0, music.size() / 60);
    ProcessResult r = data.run(90.0);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("error: "), std::string::npos) << r.err;
    data.expectNothingWritten("cut music");
}
