// Bad inputs against the real program, headless in a child process: one run for each kind of
// broken data file, so the message reaches the real program's standard error. Each must end with
// status 1 and one message that names the file and the problem, in time, leaving nothing behind.
// The loaders' and the clock's own tests hold the full tables of bad files in-process.
#include "common/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

std::string dataSet()
{
    return buildDir() + "/data";
}

void writeBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// What a directory holds: names, sizes and modification times.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> snapshot(const std::string& dir)
{
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        entries[e.path().filename().string()] = {e.is_regular_file() ? fs::file_size(e.path()) : 0,
                                                 fs::last_write_time(e.path())};
    return entries;
}

// A data directory of links to the built data set, with some files replaced or removed.
class BrokenData {
public:
    BrokenData()
        : dir_(linkedDataSet())
        , work_(makeTempDir("broken_work"))
    {
    }
    void replace(const std::string& name, const Bytes& bytes)
    {
        remove(name);
        writeBytes(dir_ + "/" + name, bytes);
    }
    void remove(const std::string& name) { fs::remove(fs::path(dir_) / name); }

    // The live show (or another mode), from an empty working directory.
    ProcessResult run(std::vector<std::string> args, double timeout = 60.0)
    {
        before_ = snapshot(dir_);
        if (args.empty())
            args = {"--no-setup", "--windowed", "--mute", "--mode", "640x480"};
        args.insert(args.end(), {"--data", dir_});
        return runOrvanti(args, timeout, {}, work_);
    }
    // Nothing was written: the data untouched, the working directory empty.
    void expectNothingWritten(const std::string& label) const
    {
        EXPECT_EQ(snapshot(dir_), before_) << label << ": the data directory changed";
        EXPECT_TRUE(fs::is_empty(work_)) << label << ": files left in the working directory";
    }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_, work_;
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> before_;
};

// Status 1 with one error message that names the file and says what is wrong with it.
void expectFatal(const ProcessResult& r, const std::string& named, const std::string& problem,
                 const std::string& label)
{
    EXPECT_FALSE(r.timedOut) << label;
    EXPECT_EQ(r.status, 1) << label << "\n" << r.err;
    size_t at = r.err.find("error: ");
    ASSERT_NE(at, std::string::npos) << label << ": no error message\n" << r.err;
    std::string message = r.err.substr(at, r.err.find('\n', at) - at);
    EXPECT_NE(message.find(named), std::string::npos) << label << ": " << message;
    EXPECT_NE(message.find(problem), std::string::npos) << label << ": " << message;
    EXPECT_EQ(r.err.find("error: ", at + 1), std::string::npos) << label << ": two messages";
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveDataSet())
            GTEST_SKIP() << "no data set built";
    }
};

// The files the loaders read first, in each role.
const char* const COLOUR = "spiral.jpg";   // a padded image, and later a sprite pair
const char* const MUSIC = "music.ogg";

}   // namespace

TEST_F(Catalogue, EachKindOfBadFileIsNamedWithTheProblem)
{
    Bytes good = readFile(dataSet() + "/" + COLOUR);
    Bytes noise(20000, 0);
    std::mt19937 random(11);
    for (char& c : noise)
        c = (char)random();
    struct Case {
        const char* label;
        const char* name;
        enum { MISSING, BYTES, PIPE } kind;
        Bytes bytes;
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
        std::string path = data.dir() + "/" + c.name;
        data.remove(c.name);
        if (c.kind == Case::BYTES)
            writeBytes(path, c.bytes);
        if (c.kind == Case::PIPE) {
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << c.label;
        }
        auto start = std::chrono::steady_clock::now();
        ProcessResult r = data.run({});
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        expectFatal(r, path, c.problem, c.label);
        // A pipe is refused at once, not waited on.
        EXPECT_TRUE(c.kind != Case::PIPE || took.count() < 10.0) << c.label;
        data.expectNothingWritten(c.label);
    }
}

TEST_F(Catalogue, CutMusicPlaysWhatItHasAndEnds)
{
    // About 5 s of the music: the show plays it and ends by itself, as at the real end.
    Bytes music = readFile(dataSet() + "/" + MUSIC);
    BrokenData data;
    data.replace(MUSIC, music.substr(0, music.size() / 60));
    ProcessResult r = data.run({}, 90.0);
    EXPECT_FALSE(r.timedOut) << "the show did not end";
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("error: "), std::string::npos) << r.err;
    data.expectNothingWritten("cut music");
}
