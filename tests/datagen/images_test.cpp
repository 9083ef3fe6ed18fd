// The generated images: what the loaders rely on (JPEG kind, sizes, masks) and what the scenes
// rely on (invisible borders where quads show, seamless tiling where images scroll).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <jpeglib.h>

#include "common/test_support.h"
#include "show/show_tables.h"   // SHOW_TEMPO, for the music's length
#include "support/data_files.h"

namespace {

struct Decoded {
    bool ok = false;
    std::string error;
    int width = 0, height = 0, components = 0;
    bool progressive = false, arithmetic = false;
    int largestLumaQuant = 0;
    std::vector<unsigned char> rgb;
    int r(int x, int y) const { return rgb[size_t(y * width + x) * 3]; }
    int mean(int x, int y) const
    {
        const unsigned char* p = &rgb[size_t(y * width + x) * 3];
        return (p[0] + p[1] + p[2]) / 3;
    }
};

// A broken file ends the test process through libjpeg's own error exit, with its message.
Decoded decode(const std::string& name)
{
    Decoded d;
    std::string bytes = readFile(buildDir() + "/data/" + name);
    if (bytes.empty()) {
        d.error = name + " missing";
        return d;
    }
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, (const unsigned char*)bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    d.components = cinfo.num_components;
    d.progressive = cinfo.progressive_mode;
    d.arithmetic = cinfo.arith_code;
    for (int i = 0; i < DCTSIZE2 && cinfo.quant_tbl_ptrs[0]; ++i)
        d.largestLumaQuant =
            std::max(d.largestLumaQuant, int(cinfo.quant_tbl_ptrs[0]->quantval[i]));
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    d.width = int(cinfo.output_width);
    d.height = int(cinfo.output_height);
    d.rgb.resize(size_t(d.width) * size_t(d.height) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &d.rgb[size_t(cinfo.output_scanline) * size_t(d.width) * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    d.ok = true;
    return d;
}

bool powerOfTwo(int v)
{
    return v >= 4 && (v & (v - 1)) == 0;
}

// Largest value of f over the outermost ring of texels.
template <typename F>
int borderMax(const Decoded& d, F f)
{
    int m = 0;
    for (int x = 0; x < d.width; ++x)
        m = std::max({m, f(x, 0), f(x, d.height - 1)});
    for (int y = 0; y < d.height; ++y)
        m = std::max({m, f(0, y), f(d.width - 1, y)});
    return m;
}

// Mean step across the wrap (last column to first) against the mean step between columns.
double wrapSeam(const Decoded& d, bool horizontal)
{
    double seam = 0, inside = 0;
    int n = horizontal ? d.width : d.height, m = horizontal ? d.height : d.width;
    for (int i = 0; i < m; ++i) {
        auto at = [&](int k) { return horizontal ? d.mean(k, i) : d.mean(i, k); };
        seam += std::abs(at(n - 1) - at(0));
        for (int k = 1; k < n; ++k)
            inside += std::abs(at(k) - at(k - 1));
    }
    return (seam / m) / std::max(1e-6, inside / (double(m) * (n - 1)));
}

// Baseline three-component JPEGs of high quality and power-of-two sides; sprites equal squares;
// each mask its image's size, grey, opaque somewhere, clear at the edges.
TEST(Images, BaselineJpegsOfPowerOfTwoSizesWithEqualSpritesAndMatchingMasks)
{
    auto expectBaseline = [](const Decoded& d, const char* name) {
        EXPECT_EQ(d.components, 3) << name;
        EXPECT_FALSE(d.progressive) << name;
        EXPECT_FALSE(d.arithmetic) << name;
        // Quality 90 scales the standard luminance table (largest entry 121) to 24.
        EXPECT_LE(d.largestLumaQuant, 24) << name;
        EXPECT_TRUE(powerOfTwo(d.width) && powerOfTwo(d.height))
            << name << " " << d.width << "x" << d.height;
    };
    int spriteSize = 0;
    for (const DataImage& e : DATA_IMAGES) {
        Decoded c = decode(e.name);
        ASSERT_TRUE(c.ok) << c.error;
        expectBaseline(c, e.name);
        if (e.kind == DATA_SPRITE) {
            EXPECT_EQ(c.width, c.height) << e.name;
            if (!spriteSize)
                spriteSize = c.width;
            EXPECT_EQ(c.width, spriteSize) << e.name;   // the pair atlases need equal sizes
        }
        if (!e.mask)
            continue;
        Decoded m = decode(e.mask);
        ASSERT_TRUE(m.ok) << m.error;
        expectBaseline(m, e.mask);
        EXPECT_EQ(m.width, c.width) << e.mask;
        EXPECT_EQ(m.height, c.height) << e.mask;
        int lo = 255, hi = 0;
        for (size_t i = 0; i < m.rgb.size(); i += 3) {
            lo = std::min<int>(lo, m.rgb[i]);
            hi = std::max<int>(hi, m.rgb[i]);
        }
        EXPECT_LE(lo, 3) << e.mask;
        EXPECT_GE(hi, 240) << e.mask;
        EXPECT_LE(borderMax(m, [&](int x, int y) { return m.r(x, y); }), 4) << e.mask;
    }
}

TEST(Images, SpriteAndTextBordersAreInvisible)
{
    // Additive sprites and those with alpha from brightness must be black at the border,
    // or the square of every quad would show.
    for (const char* name :
         {"spiral.jpg", "cloud_dot.jpg", "bubble.jpg", "glow.jpg", "title.jpg"}) {
        Decoded d = decode(name);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_LE(borderMax(d, [&](int x, int y) { return d.mean(x, y); }), 4) << name;
    }
    // The logo's alpha is the distance to mid-grey: its border must be that grey.
    Decoded logo = decode("logo.jpg");
    ASSERT_TRUE(logo.ok) << logo.error;
    EXPECT_LE(borderMax(logo,
                        [&](int x, int y) {
                            const unsigned char* p = &logo.rgb[size_t(y * logo.width + x) * 3];
                            return std::abs(p[0] - 128) + std::abs(p[1] - 128) +
                                   std::abs(p[2] - 128);
                        }),
              12);
    // ... and its letters far from it (alpha near 255).
    int farthest = 0;
    for (size_t i = 0; i < logo.rgb.size(); i += 3)
        farthest = std::max(farthest, std::abs(logo.rgb[i] - 128) * 3);
    EXPECT_GE(farthest, 350);
}

TEST(Images, ScrollingLayersTileSeamlessly)
{
    // Images that the scenes pan sideways or repeat with wrapping.
    for (const char* name : {"warp1.jpg", "warp2.jpg", "backdrop.jpg", "tissue1.jpg", "tissue2.jpg",
                             "layer_a.jpg", "layer_b.jpg", "band.jpg"}) {
        Decoded d = decode(name);
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_LT(wrapSeam(d, true), 3.0) << name;
    }
    // The tissues also scroll vertically.
    for (const char* name : {"tissue1.jpg", "tissue2.jpg", "layer_a.jpg", "layer_b.jpg"}) {
        Decoded d = decode(name);
        EXPECT_LT(wrapSeam(d, false), 3.0) << name;
    }
}

// The generator's output pinned by value, file by file: a change to how any image or the music
// is made, or a run that differs from the last, shows here. Nothing else is in the data folder.
TEST(Images, TheDataSetIsTheSameBytesAsEver)
{
    uint64_t digest = 14695981039346656037ull;
    std::string sizes;
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(buildDir() + "/data"))
        files += entry.path().filename().string()[0] != '.';
    std::vector<std::string> names = {DATA_MUSIC.name};
    for (size_t i = 0; i < DATA_IMAGE_COUNT; ++i) {
        names.push_back(DATA_IMAGES[i].name);
        if (DATA_IMAGES[i].mask)
            names.push_back(DATA_IMAGES[i].mask);
    }
    for (const std::string& name : names) {
        std::string bytes = readFile(buildDir() + "/data/" + name);
        sizes += name + " " + std::to_string(bytes.size()) + "\n";
        for (unsigned char c : bytes)
            digest = (digest ^ c) * 1099511628211ull;
    }
    EXPECT_EQ(files, names.size());
    EXPECT_EQ(digest, 13378070563400467274ull) << sizes;
}

// README.md's data-file table names every file of the data list, in its order, with its mask,
// asset number and size, and nothing else; so the documentation cannot drift from the list.
TEST(Images, ReadmeTableListsExactlyTheDataFiles)
{
    std::istringstream readme(readFile(sourceDir() + "/README.md"));
    std::string listed;
    bool inSection = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0)
            inSection = line == "## Data files";
        // | file | mask | asset | size | use |; a mask in parentheses is borrowed, not the file's.
        static const std::regex row(
            R"(\| *(`[^|]*`) *\| *([^|]*?) *\| *([^|]*?) *\| *([^|]*?) *\|.*)");
        std::smatch m;
        if (!inSection || !std::regex_match(line, m, row))
            continue;
        std::string mask = m[2].str().rfind("`", 0) == 0 ? m[2].str() : "-";
        listed += m[1].str() + " | " + mask + " | " + m[3].str() + " | " + m[4].str() + "\n";
    }
    std::string expected;   // one row a line, so that a failure shows the difference
    for (size_t i = 0; i < DATA_IMAGE_COUNT; ++i) {
        const DataImage& e = DATA_IMAGES[i];
        std::string asset = "C" + std::to_string(i + 1);
        if (e.mask)
            asset += ", M" + std::to_string(dataMaskNumber(i));
        expected += "`" + std::string(e.name) + "` | " +
                    (e.mask ? "`" + std::string(e.mask) + "`" : "-") + " | " + asset + " | " +
                    std::to_string(e.width) + " \u00d7 " + std::to_string(e.height) + "\n";
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", DATA_MUSIC.patterns * 16 * 60.0 / SHOW_TEMPO);
    expected += "`" + std::string(DATA_MUSIC.name) + "` | - | music | " + seconds + "\n";
    EXPECT_EQ(listed, expected);
}

TEST(Images, GeneratorReportsAnUnwritableDirectory)
{
    std::string dir = makeTempDir("datagen_blocked");
    std::ofstream(dir + "/file") << "x";
    ProcessResult run =
        runProcess({buildDir() + "/tools/orvanti_datagen", dir + "/file/data"}, 60.0);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(dir + "/file/data"), std::string::npos) << run.err;
    std::filesystem::remove_all(dir);
}

}   // namespace
