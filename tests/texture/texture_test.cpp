// Textures: filtered levels, JPEG loading, blur atlases, generated textures, noise, bad files.
#include "app/app.h"
#include "render/gl.h"
#include "render/render_local.h"   // loadingProgress
#include "common/test_support.h"
#include "texture/texture_local.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <vector>

// A driver whose largest texture is smaller than Mesa's: while fakeMaxTextureSize is set, this
// binary's glGetIntegerv reports it as GL_MAX_TEXTURE_SIZE and passes every other query on.
static GLint fakeMaxTextureSize = 0;
extern "C" void glGetIntegerv(GLenum what, GLint* value)
{
    static auto real = (void (*)(GLenum, GLint*))dlsym(RTLD_NEXT, "glGetIntegerv");
    real(what, value);
    if (what == GL_MAX_TEXTURE_SIZE && fakeMaxTextureSize > 0)
        *value = fakeMaxTextureSize;
}

namespace {

// Writes a baseline JPEG (quality 100) from RGB rows; components 1 writes grayscale from red.
void writeJpeg(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb,
               int components = 3, bool progressive = false)
{
    std::ofstream(path, std::ios::binary) << encodeJpeg(w, h, rgb, components, progressive, 100);
}

std::vector<uint8_t> flatRGB(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> v;
    for (int i = 0; i < w * h; i++)
        v.insert(v.end(), {r, g, b});
    return v;
}

int levelCount(GLuint name)
{
    glBindTexture(GL_TEXTURE_2D, name);
    int n = 0;
    for (;; n++) {
        GLint w = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, n, GL_TEXTURE_WIDTH, &w);
        if (w == 0)
            return n;
    }
}

GLuint uploadImage(int w, int h, std::vector<uint8_t> pixels)
{
    GLuint name;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    uploadMipmapped(w, h, pixels.data());
    return name;
}

// Every level's size and texels from `first` on, hashed (FNV-1a).
uint64_t levelsHash(GLuint name, int first, int count)
{
    uint64_t h = 14695981039346656037ull;
    for (int level = first; level < count; level++) {
        int w, lh;
        std::vector<uint8_t> bytes = readTexels(name, level, &w, &lh);
        bytes.insert(bytes.end(), {(uint8_t)w, (uint8_t)lh});
        for (uint8_t b : bytes)
            h = (h ^ b) * 1099511628211ull;
    }
    return h;
}

struct TextureTest : ::testing::Test {
    void SetUp() override
    {
        ensureGLContext();
        showStarted = 1;   // no loading-screen frames in between
    }
};

}   // namespace

TEST(DownsampleKernel, WindowedSincTaps)
{
    buildDownsampleKernel();
    const float expected[8] = {-0.00039f, 0.00059f,  0.01286f, 0.00405f,
                               -0.05212f, -0.04112f, 0.16341f, 0.41273f};
    float even = 0, odd = 0;
    for (int i = 0; i < 8; i++) {
        EXPECT_NEAR(DOWNSAMPLE_KERNEL[i], expected[i], 0.00001f) << i;
        EXPECT_FLOAT_EQ(DOWNSAMPLE_KERNEL[15 - i], DOWNSAMPLE_KERNEL[i]);
    }
    for (int i = 0; i < 16; i++)
        (i % 2 ? odd : even) += DOWNSAMPLE_KERNEL[i];
    EXPECT_NEAR(even, 0.5f, 1e-5f);
    EXPECT_NEAR(odd, 0.5f, 1e-5f);
    EXPECT_EQ(sinc(0.00005f), 1.0f);
}

TEST_F(TextureTest, UploadMakesEveryFilteredLevelDownToOneTexel)
{
    EXPECT_EQ(levelCount(uploadImage(1, 1, std::vector<uint8_t>(4, 77))), 1);
    // Bytes that differ in every texel and channel, on a non-square image: a shifted centre,
    // swapped passes or mixed channels all change the pinned levels.
    std::vector<uint8_t> px(32 * 8 * 4);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint8_t)((i * 2654435761u) >> 24);
    GLuint name = uploadImage(32, 8, px);
    ASSERT_EQ(levelCount(name), 6);   // 32x8 16x4 8x2 4x1 2x1 1x1
    EXPECT_EQ(readTexels(name, 0), px);
    EXPECT_EQ(levelsHash(name, 1, 6), 13750148881859754153ull);
    EXPECT_EQ(scratchUsed(), 0u);
}

TEST(HalveImage, TruncatedAverageAndZeroedTail)
{
    std::vector<uint8_t> px(16);
    // four pixels whose red bytes are 1, 2, 2, 2
    px[0] = 1;
    px[4] = 2;
    px[8] = 2;
    px[12] = 2;
    px[13] = 9;
    halveImage(px.data(), 1, 1);
    EXPECT_EQ(px[0], 1);
    for (int i = 4; i < 16; i++)
        EXPECT_EQ(px[i], 0) << i;
}

TEST(AlphaSources, TheThreeFunctions)
{
    EXPECT_EQ(alphaMean(255, 255, 254), 254);
    EXPECT_EQ(alphaDoubleSum(50, 30, 60), 255);
    EXPECT_EQ(alphaDoubleSum(10, 20, 30), 120);
    EXPECT_EQ(alphaGreyDistance(128, 128, 128), 0);
    EXPECT_EQ(alphaGreyDistance(0, 0, 0), 255);
}

TEST_F(TextureTest, LoadTexturePadsToPowersOfTwoWithOpaqueWhite)
{
    std::string dir = makeTempDir("tex_load");
    writeJpeg(dir + "/c.jpg", 200, 100, flatRGB(200, 100, 40, 80, 120));
    std::vector<uint8_t> mask = flatRGB(200, 100, 255, 0, 0);
    for (int x = 0; x < 100; x++)
        for (int y = 0; y < 100; y++)
            mask[((size_t)y * 200 + x) * 3] = 0, mask[((size_t)y * 200 + x) * 3 + 1] = 255;
    writeJpeg(dir + "/m.jpg", 200, 100, mask);

    Texture* t = loadTexture((dir + "/c.jpg").c_str(), (dir + "/m.jpg").c_str(), nullptr,
                             Vec3{2, -1, 3}, TEX_NO_MIPMAP | TEX_CLAMP);
    EXPECT_EQ(std::tuple(t->width, t->height, t->scaleS, t->scaleT, t->scaleR),
              std::tuple(256, 128, 0.78125f * 2, -0.78125f, 3.0f));
    EXPECT_EQ(t->flags, (uint32_t)TEX_NO_MIPMAP);   // the clamp bit is not kept
    EXPECT_EQ(levelCount(t->name), 1);
    std::vector<uint8_t> px = readTexels(t->name, 0);
    auto at = [&](int x, int y) { return &px[((size_t)y * 256 + x) * 4]; };
    EXPECT_NEAR(at(150, 50)[2], 120, 3);
    EXPECT_GT(at(150, 50)[3], 250);   // mask red 255
    EXPECT_LT(at(50, 50)[3], 5);      // mask red 0, whatever green says
    for (int c = 0; c < 4; c++) {
        EXPECT_EQ(at(230, 50)[c], 255);   // padding right
        EXPECT_EQ(at(10, 120)[c], 255);   // padding below
    }

    // Inverted, with no alpha source: alpha 0 becomes 255, colour flips too.
    Texture* inv = loadTexture((dir + "/c.jpg").c_str(), nullptr, nullptr, Vec3{1, 1, 1},
                               TEX_INVERT | TEX_NO_MIPMAP);
    std::vector<uint8_t> ip = readTexels(inv->name, 0);
    EXPECT_EQ(ip[3], 255);
    EXPECT_NEAR(ip[0], 255 - 40, 3);
    EXPECT_EQ(inv->flags, (uint32_t)(TEX_INVERT | TEX_NO_MIPMAP));
}

TEST_F(TextureTest, JpegVariantsDecodeAsRGB)
{
    std::string dir = makeTempDir("tex_variants");
    writeJpeg(dir + "/grey.jpg", 16, 8, flatRGB(16, 8, 90, 90, 90), 1);
    writeJpeg(dir + "/prog.jpg", 16, 8, flatRGB(16, 8, 10, 200, 30), 3, true);
    int32_t w, h;
    uint8_t* grey = loadJpeg((dir + "/grey.jpg").c_str(), &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(16, 8));
    EXPECT_NEAR(grey[0], 90, 2);
    EXPECT_NEAR(grey[2], 90, 2);
    std::free(grey);
    uint8_t* prog = loadJpeg((dir + "/prog.jpg").c_str(), &w, &h);
    EXPECT_NEAR(prog[1], 200, 3);
    std::free(prog);
}

TEST_F(TextureTest, BlurAtlasLevelsAndPairs)
{
    std::string dir = makeTempDir("tex_atlas");
    // A bright dot in a dark field, so every blur level differs.
    std::vector<uint8_t> dot = flatRGB(64, 64, 0, 0, 0);
    for (int y = 24; y < 40; y++)
        for (int x = 24; x < 40; x++)
            for (int c = 0; c < 3; c++)
                dot[((size_t)y * 64 + x) * 3 + c] = 255;
    writeJpeg(dir + "/dot.jpg", 64, 64, dot);
    writeJpeg(dir + "/tiny.jpg", 4, 4, flatRGB(4, 4, 200, 200, 200));
    writeJpeg(dir + "/half.jpg", 64, 32, flatRGB(64, 32, 9, 9, 9));

    Texture* atlas = loadBlurAtlas((dir + "/dot.jpg").c_str(), nullptr, alphaMean, TEX_NO_MIPMAP);
    EXPECT_EQ(std::tuple(atlas->width, atlas->height, atlas->scaleS, atlas->spriteCount),
              std::tuple(128, 128, 0.5f, 1));
    std::vector<uint8_t> px = readTexels(atlas->name, 0);
    int32_t w, h;
    uint8_t* src = loadJpeg((dir + "/dot.jpg").c_str(), &w, &h);
    // Level 0 at cell 0 is the decoded sprite, texel for texel.
    auto texel = [&](int x, int y) { return &px[((size_t)y * 128 + x) * 4]; };
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            for (int c = 0; c < 3; c++)
                ASSERT_EQ(texel(x, y)[c], src[((size_t)y * 64 + x) * 3 + c]);
    // Level 9 (a quarter copy at 112, 112, the widest blur): the dot at 6..9 has spread out.
    EXPECT_GT(texel(112 + 5, 112 + 7)[0], 10);
    // Level 3 (half size, at 64, 64) comes from the 2x2 average: 32x32, the dot at 12..19.
    EXPECT_GT(texel(64 + 15, 64 + 15)[0], 200);
    EXPECT_LT(texel(64 + 2, 64 + 2)[0], 20);
    std::free(src);
    // A sprite so small that the narrow blurs reach no neighbour keeps sharp copies.
    Texture* tiny = loadBlurAtlas((dir + "/tiny.jpg").c_str(), nullptr, nullptr, TEX_NO_MIPMAP);
    std::vector<uint8_t> tp = readTexels(tiny->name, 0);
    EXPECT_NEAR(tp[((size_t)1 * 8 + 4 + 1) * 4], 200, 3);   // level 1, not black

    Texture* pair =
        loadBlurAtlasPair((dir + "/dot.jpg").c_str(), nullptr, nullptr, (dir + "/dot.jpg").c_str(),
                          nullptr, alphaDoubleSum, TEX_NO_MIPMAP);
    EXPECT_EQ(std::tuple(pair->width, pair->height, pair->scaleS, pair->spriteCount),
              std::tuple(256, 128, 0.25f, 2));
    std::vector<uint8_t> pp = readTexels(pair->name, 0);
    EXPECT_EQ(pp[((size_t)30 * 256 + 30) * 4 + 3], 0);           // sprite 1: no alpha source
    EXPECT_EQ(pp[((size_t)30 * 256 + 128 + 30) * 4 + 3], 255);   // sprite 2: doubled sum

    EXPECT_EXIT(loadBlurAtlasPair((dir + "/dot.jpg").c_str(), nullptr, nullptr,
                                  (dir + "/half.jpg").c_str(), nullptr, nullptr, 0),
                ::testing::ExitedWithCode(1), "erikokosii texturei: .*half.jpg");
    writeJpeg(dir + "/odd.jpg", 24, 24, flatRGB(24, 24, 9, 9, 9));
    writeJpeg(dir + "/two.jpg", 2, 2, flatRGB(2, 2, 9, 9, 9));
    for (auto [name, size] : {std::pair{"half", "64x32"}, {"odd", "24x24"}, {"two", "2x2"}})
        EXPECT_EXIT(loadBlurAtlas((dir + "/" + name + ".jpg").c_str(), nullptr, nullptr, 0),
                    ::testing::ExitedWithCode(1),
                    std::string(name) + ".jpg: a sprite must be a square power of two .*" + size);
}

TEST_F(TextureTest, BadFilesEndWithTheirName)
{
    std::string dir = makeTempDir("tex_bad");
    writeJpeg(dir + "/good.jpg", 64, 32, flatRGB(64, 32, 1, 2, 3));
    writeJpeg(dir + "/small.jpg", 32, 32, flatRGB(32, 32, 1, 2, 3));
    std::ifstream in(dir + "/good.jpg", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(dir + "/header_cut.jpg", std::ios::binary) << bytes.substr(0, 100);
    std::ofstream(dir + "/scan_cut.jpg", std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 3);
    std::ofstream(dir + "/empty.jpg", std::ios::binary);
    std::ofstream(dir + "/text.jpg") << "this is not an image\n";
    std::ofstream(dir + "/png.jpg", std::ios::binary) << std::string("\x89PNG\r\n\x1a\n", 8);

    // libjpeg cannot turn CMYK into RGB: an error naming the file, not four bytes read as three.
    writeJpeg(dir + "/cmyk.jpg", 16, 16, flatRGB(16, 16, 1, 2, 3), 4);
    // A pipe with no writer is refused, not waited on.
    ASSERT_EQ(mkfifo((dir + "/pipe.jpg").c_str(), 0644), 0);
    const char* const unusable = ": not a usable JPEG image";
    for (auto [name, problem] :
         {std::pair{"cmyk.jpg", unusable},
          {"header_cut.jpg", unusable},
          {"scan_cut.jpg", unusable},
          {"empty.jpg", ": not a usable JPEG image: empty file"},
          {"text.jpg", unusable},
          {"png.jpg", unusable},
          {"missing.jpg", " not found"},
          {"pipe.jpg", ": cannot be read: a named pipe, not a regular file"}}) {
        std::string path = dir + "/" + name;
        EXPECT_EXIT(loadTexture(path.c_str(), nullptr, nullptr, Vec3{1, 1, 1}, 0),
                    ::testing::ExitedWithCode(1), std::string("error: .*") + name + problem)
            << name;
    }
    // Only regular files up to the limit are read: one byte over is refused unread, the limit
    // itself goes on to the decoder.
    std::ofstream(dir + "/over.jpg");
    std::ofstream(dir + "/limit.jpg");
    std::filesystem::resize_file(dir + "/over.jpg", DATA_FILE_LIMIT + 1);
    std::filesystem::resize_file(dir + "/limit.jpg", DATA_FILE_LIMIT);
    for (auto [name, message] :
         {std::pair{"over.jpg", "over\\.jpg: cannot be read: 67108865 bytes"},
          std::pair{"limit.jpg", "limit\\.jpg: not a usable JPEG image"}})
        EXPECT_EXIT(loadTexture((dir + "/" + name).c_str(), nullptr, nullptr, Vec3{1, 1, 1}, 0),
                    ::testing::ExitedWithCode(1), message)
            << name;
    EXPECT_EXIT(loadTexture((dir + "/good.jpg").c_str(), (dir + "/small.jpg").c_str(), nullptr,
                            Vec3{1, 1, 1}, 0),
                ::testing::ExitedWithCode(1), "small.jpg: mask is 32x32 but .*good.jpg is 64x32");
    char error[1024];
    int32_t w, h;
    // A header that claims a huge image is refused before anything is allocated.
    std::string huge = bytes;
    size_t sof = huge.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    huge[sof + 5] = (char)0xff, huge[sof + 6] = (char)0xdc;   // height 65500
    huge[sof + 7] = (char)0xff, huge[sof + 8] = (char)0xdc;   // width 65500
    EXPECT_EQ(decodeJpegMemory((const uint8_t*)huge.data(), huge.size(), &w, &h, error), nullptr);
    EXPECT_NE(std::strstr(error, "65500"), nullptr) << error;
}

TEST_F(TextureTest, TexturesBeyondTheDriverLimitAreRefused)
{
    std::string dir = makeTempDir("tex_limit");
    writeJpeg(dir + "/wide.jpg", 200, 100, flatRGB(200, 100, 1, 2, 3));
    writeJpeg(dir + "/tall.jpg", 100, 200, flatRGB(100, 200, 1, 2, 3));
    writeJpeg(dir + "/sprite.jpg", 64, 64, flatRGB(64, 64, 1, 2, 3));
    std::string wide = dir + "/wide.jpg", tall = dir + "/tall.jpg", sprite = dir + "/sprite.jpg";
    // Padded to 256x128 it loads on a driver whose limit is 256; padded to 128x256, not.
    fakeMaxTextureSize = 256;
    Texture* fits = loadTexture(wide.c_str(), nullptr, nullptr, Vec3{1, 1, 1}, TEX_NO_MIPMAP);
    fakeMaxTextureSize = 0;
    EXPECT_EQ(levelCount(fits->name), 1);
    EXPECT_EXIT(
        (fakeMaxTextureSize = 128, loadTexture(tall.c_str(), nullptr, nullptr, Vec3{1, 1, 1}, 0)),
        ::testing::ExitedWithCode(1), "tall.jpg: a 128x256 texture .* 128");
    // A 64x64 sprite makes a 128x128 atlas, a pair of them 256x128.
    EXPECT_EXIT((fakeMaxTextureSize = 64, loadBlurAtlas(sprite.c_str(), nullptr, nullptr, 0)),
                ::testing::ExitedWithCode(1), "sprite.jpg: a 128x128 texture .* 64");
    EXPECT_EXIT((fakeMaxTextureSize = 128, loadBlurAtlasPair(sprite.c_str(), nullptr, nullptr,
                                                             sprite.c_str(), nullptr, nullptr, 0)),
                ::testing::ExitedWithCode(1), "sprite.jpg: a 256x128 texture .* 128");
}

// The noise texture is pinned by value with the rest of the precalculation.
TEST_F(TextureTest, GeneratedTexturesAndTheChain)
{
    Texture* solid = makeSolidTexture(8, 4, 10, 20, 30, 40, Vec3{1, 2, 3}, TEX_CLAMP);
    EXPECT_EQ(levelCount(solid->name), 4);
    EXPECT_EQ(readTexels(solid->name, 0)[1], 20);
    EXPECT_EQ(solid->flags, 0u);

    Texture* target = makeScreenCopyTarget();
    EXPECT_EQ(target->flags, (uint32_t)(TEX_CLAMP | TEX_NO_MIPMAP));
    EXPECT_EQ(levelCount(target->name), 1);
    ScreenChain chain = makeScreenCopyChain();
    ASSERT_EQ(chain.count, 8);
    EXPECT_EQ(std::pair(chain.textures[7].width, chain.textures[7].height), std::pair(4, 2));
    for (int k = 0; k < chain.count; k++) {
        EXPECT_EQ(levelCount(chain.textures[k].name), 1);
        EXPECT_EQ(chain.textures[k].flags, (uint32_t)TEX_NO_MIPMAP);
    }
}

TEST(LatticeNoise, HashAndLatticePoints)
{
    for (int i = 0; i < 1024; i++)
        noisePermutation[i] = i;
    EXPECT_EQ(latticeHash(1, 2, 3), 6);
    EXPECT_EQ(latticeHash(1000, 20, 10), (1000 + 20 + 10) & 1023);
    randomSeed = 99;
    shuffleNoisePermutation();
    std::vector<int> seen(1024, 0);
    for (int v : noisePermutation)
        seen[v]++;
    for (int c : seen)
        ASSERT_EQ(c, 1);
    for (int p : {0, 1, 7, -3})
        EXPECT_EQ(valueNoise(p * 1024, 2048, p * -1024), latticeHash(p, 2, -p));
    // Between lattice points the value lies between the corners' extremes.
    int v = valueNoise(512, 300, 700);
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 1024);
}

TEST(Smoke, CircleDensityAndRandomDraws)
{
    randomSeed = 5;
    shuffleNoisePermutation();
    std::vector<uint8_t> px(128 * 128 * 4);
    uint32_t before = randomSeed;
    computeSmokeImage(0.37f, px.data());
    // Exactly 16384 draws: replay them.
    uint32_t replay = before;
    for (int i = 0; i < 16384; i++)
        replay = replay * 69069u + 1u;
    EXPECT_EQ(randomSeed, replay);
    long sum = 0;
    for (int i = 0; i < 128; i++)
        for (int j = 0; j < 128; j++) {
            float x = (j - 64) / 64.0f, y = (i - 64) / 64.0f;
            uint8_t a = px[((size_t)i * 128 + j) * 4 + 3];
            if (x * x + y * y >= 1.0f) {
                ASSERT_EQ(a, 0) << i << "," << j;
            }
            sum += a;
            ASSERT_EQ(px[((size_t)i * 128 + j) * 4], 0);
        }
    double mean = sum / 16384.0;
    EXPECT_GT(mean, 30);
    EXPECT_LT(mean, 90);
}

TEST_F(TextureTest, SmokeLevelsAreBoxFilteredFromTheImage)
{
    randomSeed = 21;
    shuffleNoisePermutation();
    Texture* t = makeSolidTexture(128, 128, 9, 9, 9, 255, Vec3{1, 1, 1}, 0);
    uint32_t seed = randomSeed;
    std::vector<uint8_t> image(128 * 128 * 4);
    computeSmokeImage(1.5f, image.data());
    randomSeed = seed;
    generateTexture(t, 1.5f);
    EXPECT_EQ(t->flags, 0u);
    ASSERT_EQ(levelCount(t->name), 8);
    EXPECT_EQ(readTexels(t->name, 0), image);
    EXPECT_EQ(levelsHash(t->name, 1, 8),
              1420759070802761718ull);   // each level the truncated 2x2 mean
}

TEST_F(TextureTest, ThinSmokeIsEmpty)
{
    // At time 0 only the first two lattice cells are dense: from column 64 on the noise less
    // the grain is zero or negative, which must give nothing, not a hard speck.
    std::fill(std::begin(noisePermutation), std::end(noisePermutation), 0);
    noisePermutation[0] = noisePermutation[1] = 100;
    std::fill(noisePermutation + 100, noisePermutation + 134, 200);
    noisePermutation[200] = noisePermutation[201] = 1023;
    std::vector<uint8_t> px(128 * 128 * 4);
    randomSeed = 8;
    computeSmokeImage(0.0f, px.data());
    int densest = 0;
    for (int i = 0; i < 128; i++)
        for (int j = 0; j < 128; j++) {
            uint8_t a = px[((size_t)i * 128 + j) * 4 + 3];
            if (j >= 64) {
                ASSERT_EQ(a, 0) << i << "," << j;
            }
            densest = std::max<int>(densest, a);
        }
    EXPECT_EQ(densest, 255);

    // Noise 80 everywhere is far too little for the normalisation: empty, every level.
    std::fill(std::begin(noisePermutation), std::end(noisePermutation), 80);
    Texture* t = makeSolidTexture(128, 128, 9, 9, 9, 255, Vec3{1, 1, 1}, 0);
    generateTexture(t, 0.5f);
    for (int level = 0; level < 8; level++)
        for (uint8_t b : readTexels(t->name, level))
            ASSERT_EQ(b, 0) << "level " << level;
    randomSeed = 1;
    shuffleNoisePermutation();
}

// Reads one pixel of the picture just shown (front buffer) or being drawn (back buffer).
static std::vector<uint8_t> pixelAt(GLenum buffer, int x, int y)
{
    glReadBuffer(buffer);
    std::vector<uint8_t> p = readPixels(x, y, 1, 1);
    glReadBuffer(GL_BACK);
    return p;
}

TEST_F(TextureTest, LoadingScreenDrawsBarsUntilTheShowStarts)
{
    setDrawableSize(640, 480);
    showStarted = 0;
    // Bar 0 at x 32..48, y 36..72; bar 1's column rises from y 72 at x 64..80; base at y 24..36.
    loadingProgress = 0.0f;
    drawLoadingScreen();
    EXPECT_FLOAT_EQ(loadingProgress, 0.1f);
    EXPECT_EQ(pixelAt(GL_FRONT, 40, 54)[0], 255);   // bar 0
    EXPECT_EQ(pixelAt(GL_FRONT, 56, 54)[0], 0);     // the gap after it
    EXPECT_EQ(pixelAt(GL_FRONT, 60, 30)[0], 255);   // base bar
    EXPECT_EQ(pixelAt(GL_FRONT, 72, 90)[0], 0);     // no progress yet
    loadingProgress = 2.0f;                         // column top at y 102
    drawLoadingScreen();
    EXPECT_EQ(pixelAt(GL_FRONT, 72, 90)[0], 255);
    EXPECT_EQ(pixelAt(GL_FRONT, 72, 110)[0], 0);

    showStarted = 1;
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    drawLoadingScreen();
    EXPECT_FLOAT_EQ(loadingProgress, 2.1f);
    std::vector<uint8_t> p = pixelAt(GL_BACK, 40, 54);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[2], 255);   // nothing drawn over the blue
}

TEST(ApertureBlur, SameBytesOnAnyNumberOfThreads)
{
    int w = 64, h = 64;
    std::vector<uint8_t> src((size_t)w * h * 4);
    for (size_t i = 0; i < src.size(); i++)
        src[i] = (uint8_t)((i * 2654435761u) >> 24);
    auto blur = [&](int threads) {
        apertureBlurThreads = threads;
        std::vector<uint8_t> out(src.size(), 7);
        apertureBlur(src.data(), out.data(), 0.0867f, w, h);
        apertureBlurThreads = 0;
        return out;
    };
    std::vector<uint8_t> one = blur(1);
    EXPECT_EQ(blur(2), one);
    EXPECT_EQ(blur(3), one);
    EXPECT_EQ(blur(0), one);
    EXPECT_NE(one, src);
}
