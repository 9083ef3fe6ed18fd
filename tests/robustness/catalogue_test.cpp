// Bad inputs against the real program, headless in a child process: every data file broken in
// its own way, the music file too, and bad command lines. Each must end with status 1 (2 for a
// usage error) and one message that names the file or value and the problem, in time, leaving
// nothing behind; the odd-but-valid images must load.
#include "app/app.h"
#include "app/offline.h"
#include "common/test_support.h"
#include "texture/texture_local.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
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

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Image decodeDataFile(const std::string& name)
{
    Bytes bytes = readFile(dataSet() + "/" + name);
    Image image;
    char error[1024];
    uint8_t* rgb = decodeJpegMemory((const uint8_t*)bytes.data(), bytes.size(), &image.width,
                                    &image.height, error);
    EXPECT_NE(rgb, nullptr) << name << ": " << error;
    if (rgb)
        image.rgb.assign(rgb, rgb + (size_t)image.width * image.height * 3);
    std::free(rgb);
    return image;
}

Image flatImage(int width, int height)
{
    return Image{width, height, std::vector<uint8_t>((size_t)width * height * 3, 128)};
}

Bytes encodeJpeg(const Image& image, int components = 3, bool progressive = false)
{
    return ::encodeJpeg(image.width, image.height, image.rgb, components, progressive);
}

// One Ogg page holding a single packet that is not Vorbis.
Bytes oggWithoutVorbis()
{
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);
    std::string head = "OpusHead\x01\x02\x38\x01\x80\xbb\x00\x00\x00\x00\x00";
    ogg_packet packet{};
    packet.packet = (unsigned char*)head.data();
    packet.bytes = (long)head.size();
    packet.b_o_s = 1;
    ogg_stream_packetin(&stream, &packet);
    Bytes bytes;
    ogg_page page;
    while (ogg_stream_flush(&stream, &page)) {
        bytes.append((const char*)page.header, page.header_len);
        bytes.append((const char*)page.body, page.body_len);
    }
    ogg_stream_clear(&stream);
    return bytes;
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
const char* const COLOUR = "spiral.jpg";         // a padded image, and later a sprite pair
const char* const MASK = "sprite_star_a.jpg";    // the mask of the first atlas
const char* const SPRITE = "bubble.jpg";         // an atlas with no mask
const char* const LAST_MASK = "credits_a.jpg";   // the last file the precalculation reads
const char* const MUSIC = "music.ogg";

}   // namespace

TEST_F(Catalogue, EachKindOfMissingFileIsNamed)
{
    for (const char* name : {COLOUR, MASK, SPRITE, LAST_MASK, MUSIC}) {
        BrokenData data;
        data.remove(name);
        ProcessResult r = data.run({});
        expectFatal(r, data.dir() + "/" + name, "not found", name);
        data.expectNothingWritten(name);
    }
}

TEST_F(Catalogue, DamagedAndForeignImagesAreNamedWithTheProblem)
{
    Bytes good = readFile(dataSet() + "/" + COLOUR);
    Bytes huge = good;
    size_t sof = huge.find("\xff\xc0");
    ASSERT_NE(sof, Bytes::npos);
    huge[sof + 5] = huge[sof + 7] = (char)0xff;   // 65500 x 65500
    huge[sof + 6] = huge[sof + 8] = (char)0xdc;
    std::string pngPath = makeTempDir("png") + "/image.png", error;
    Image small = flatImage(16, 16);
    ASSERT_TRUE(writePngRGB(pngPath, small.rgb.data(), 16, 16, &error)) << error;

    struct Case {
        const char* label;
        Bytes bytes;
        const char* problem;
    } cases[] = {
        {"empty file", "", "empty file"},
        {"cut in the header", good.substr(0, 120), "not a usable JPEG image"},
        {"cut in the scan", good.substr(0, good.size() * 2 / 3), "not a usable JPEG image"},
        {"text named .jpg", "just some words, no picture\n", "not a usable JPEG image"},
        {"PNG named .jpg", readFile(pngPath), "not a usable JPEG image"},
        {"CMYK", encodeJpeg(decodeDataFile(COLOUR), 4), "not a usable JPEG image"},
        {"65500 x 65500 header", huge, "65500x65500 is larger than"},
    };
    for (const Case& c : cases) {
        BrokenData data;
        data.replace(COLOUR, c.bytes);
        ProcessResult r = data.run({});
        expectFatal(r, data.dir() + "/" + COLOUR, c.problem, c.label);
        data.expectNothingWritten(c.label);
    }
}

// A pipe with no writer in an image's place, or a file far too large to be one, is refused by
// name at once: the program neither waits on the pipe nor reads the terabyte.
TEST_F(Catalogue, PipesAndOutsizedFilesAreRefusedUnread)
{
    struct Case {
        const char* label;
        const char* name;
        bool pipe;
        const char* problem;
    } cases[] = {
        {"pipe as an image", COLOUR, true, "cannot be read: a named pipe, not a regular file"},
        {"pipe as a mask", MASK, true, "cannot be read: a named pipe, not a regular file"},
        {"terabyte image", COLOUR, false, "cannot be read: 1099511627776 bytes, over the limit"},
    };
    for (const Case& c : cases) {
        BrokenData data;
        std::string path = data.dir() + "/" + c.name;
        data.remove(c.name);
        if (c.pipe) {
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << c.label;
        } else {
            writeBytes(path, "");
            fs::resize_file(path, 1ull << 40);
        }
        auto start = std::chrono::steady_clock::now();
        ProcessResult r = data.run({}, 20.0);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        expectFatal(r, path, c.problem, c.label);
        EXPECT_LT(took.count(), 10.0) << c.label;
        data.expectNothingWritten(c.label);
    }
}

TEST_F(Catalogue, GreyAndProgressiveImagesLoad)
{
    for (const char* name : {COLOUR, MASK, SPRITE}) {
        Image original = decodeDataFile(name);
        for (bool progressive : {false, true}) {
            BrokenData data;
            data.replace(name, encodeJpeg(original, progressive ? 3 : 1, progressive));
            std::string label = std::string(name) + (progressive ? " progressive" : " grey");
            ProcessResult r = data.run({"--benchmark", "--from", "0", "--to", "0.01"});
            EXPECT_EQ(r.status, 0) << label << "\n" << r.err;
            EXPECT_EQ(r.err.find("error: "), std::string::npos) << label << "\n" << r.err;
            data.expectNothingWritten(label);
        }
    }
}

TEST_F(Catalogue, ImagesOfTheWrongSizeAreNamed)
{
    Image star = decodeDataFile("sprite_star.jpg");
    Image ring = decodeDataFile("sprite_ring.jpg");
    ASSERT_GT(ring.width, 8);
    {
        BrokenData data;
        data.replace(MASK, encodeJpeg(flatImage(star.width / 2, star.height)));
        expectFatal(data.run({}), data.dir() + "/" + MASK, "mask is", "mask of the wrong size");
    }
    for (auto [w, h] : {std::pair{48, 32}, std::pair{24, 24}, std::pair{2, 2}}) {
        BrokenData data;
        data.replace(SPRITE, encodeJpeg(flatImage(w, h)));
        std::string size = std::to_string(w) + "x" + std::to_string(h);
        expectFatal(data.run({}), data.dir() + "/" + SPRITE, "square power of two", size);
        data.expectNothingWritten(size);
    }
    // The second sprite of a pair of another size than the first.
    BrokenData data;
    Image half = flatImage(ring.width / 2, ring.height / 2);
    data.replace("sprite_ring.jpg", encodeJpeg(half));
    data.replace("sprite_ring_a.jpg", encodeJpeg(half));
    expectFatal(data.run({}), data.dir() + "/sprite_ring.jpg", "erikokosii texturei",
                "pair of two sizes");
}

TEST_F(Catalogue, UnplayableMusicIsNamed)
{
    Bytes music = readFile(dataSet() + "/" + MUSIC);
    Bytes noise(20000, 0);
    std::mt19937 random(11);
    for (char& c : noise)
        c = (char)random();
    struct Case {
        const char* label;
        Bytes bytes;
    } cases[] = {
        {"empty", ""},
        {"random bytes", noise},
        {"Ogg without Vorbis", oggWithoutVorbis()},
        {"cut in its headers", music.substr(0, 3000)},
    };
    for (const Case& c : cases) {
        BrokenData data;
        data.replace(MUSIC, c.bytes);
        ProcessResult r = data.run({});
        expectFatal(r, data.dir() + "/" + MUSIC, "not a playable music stream", c.label);
        data.expectNothingWritten(c.label);
    }
    // A folder in its place opens, but cannot be read.
    BrokenData data;
    data.remove(MUSIC);
    fs::create_directory(data.dir() + "/" + MUSIC);
    expectFatal(data.run({}), data.dir() + "/" + MUSIC, "cannot be read: Is a directory", "folder");
    data.expectNothingWritten("folder");
}

TEST_F(Catalogue, CutMusicPlaysWhatItHasAndEnds)
{
    // About 10 s of the music: the show plays it and ends by itself, as at the real end.
    Bytes music = readFile(dataSet() + "/" + MUSIC);
    BrokenData data;
    data.replace(MUSIC, music.substr(0, music.size() / 30));
    ProcessResult r = data.run({}, 90.0);
    EXPECT_FALSE(r.timedOut) << "the show did not end";
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("error: "), std::string::npos) << r.err;
    data.expectNothingWritten("cut music");
}

// Usage errors beyond those of the shell's own tests: every malformed value ends the program
// with status 2 and names itself, before any window or precalculation.
TEST(CatalogueCommandLine, MalformedValuesAreUsageErrors)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--mode", "511x256"},
        {"--mode", "512x255"},
        {"--mode", "x480"},
        {"--mode", "640x"},
        {"--mode", "640x480x2"},
        {"--mode", "-640x480"},
        {"--mode", "99999999999x480"},
        {"--fps", "0"},
        {"--fps", "-30"},
        {"--fps", "nan"},
        {"--fps", "1e999"},
        {"--fps", ""},
        {"--from", "abc"},
        {"--to", "1,5"},
        {"--start", "inf"},
        {"--start", "-1e40"},
        {"--to", "1e300"},
        {"--from", "-20000"},
        {"--windowed=1"},
        {"-h"},
        {"--capture", ""},
    };
    for (const std::vector<std::string>& args : cases) {
        ProcessResult r = runOrvanti(args, 20);
        std::string label = args[0] + " " + (args.size() > 1 ? args[1] : "");
        EXPECT_EQ(r.status, 2) << label << "\n" << r.err;
        EXPECT_NE(r.err.find(args.back().empty() ? args[0] : args.back()), std::string::npos)
            << label << ": " << r.err;
        EXPECT_EQ(r.err.find("precalc"), std::string::npos) << label << ": started anyway";
    }
}

TEST(CatalogueCommandLine, SheetsThatCannotBeWrittenFailBeforeRendering)
{
    std::string dir = makeTempDir("targets");
    writeBytes(dir + "/sheet.png", "an older sheet\n");
    for (auto [sheet, named] : {std::pair{dir + "/sheet.png", dir + "/sheet.png"},
                                {std::string("/proc/orvanti_sheet.png"), std::string("/proc")}}) {
        ProcessResult r = runOrvanti({"--contact-sheet", sheet, "--to", "0.01"}, 60);
        expectFatal(r, named, "", named);
        EXPECT_EQ(r.err.find("precalc in"), std::string::npos) << named << ": rendered anyway";
    }
    EXPECT_EQ(readFile(dir + "/sheet.png"), "an older sheet\n");
}
