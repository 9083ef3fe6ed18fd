// Shared test helpers: one hidden OpenGL context per test binary, running the real program in a
// child process, and reading back what it wrote.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Opens a hidden window with an OpenGL context of the given size (once per process; later calls
// with another size resize nothing and return the first). Fills the frame record with the size,
// the extension entry points and the clamp mode, as the start-up would.
void ensureGLContext(int width = 640, int height = 480);

struct ProcessResult {
    int status = -1;   // exit status, or 128 + signal, or -1 when it timed out
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs any program (path and arguments) headless, from workDir when one is given, and collects
// its output; killed once the time is up.
ProcessResult runProcess(const std::vector<std::string>& argv, double timeoutSeconds = 60.0,
                         const std::vector<std::string>& extraEnv = {},
                         const std::string& workDir = "");

// The same with build/orvanti and these arguments.
ProcessResult runOrvanti(const std::vector<std::string>& args, double timeoutSeconds = 60.0,
                         const std::vector<std::string>& extraEnv = {},
                         const std::string& workDir = "");

// build/orvanti with its standard output on a terminal that leaves "\n" as it is (the standard
// error thrown away): out holds the bytes the terminal received.
ProcessResult runOrvantiOnTerminal(const std::vector<std::string>& args, double timeoutSeconds);

// Whether the program is on the PATH.
bool haveProgram(const char* name);

// A fresh empty directory under the build tree's tmp folder.
std::string makeTempDir(const std::string& tag);

// Whether the data set has been generated into build/data.
bool haveDataSet();
#define SKIP_WITHOUT_DATA_SET()                                                                    \
    if (!haveDataSet())                                                                            \
    GTEST_SKIP() << "no data set built"

// A fresh directory of links to every file of the built data set, for breaking some of them.
std::string linkedDataSet();

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// A PNG file as RGB bytes, or one grey byte a pixel.
struct PngImage {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};
PngImage readPng(const std::string& path, bool grey = false);

// A JPEG of RGB rows (3 bytes a pixel); components 1 writes grey from red, 4 writes CMYK.
std::string encodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int components = 3,
                       bool progressive = false, int quality = 95);

// A texture of the given RGBA texels, row 0 at t = 0, sampled without mipmaps; and a 4 x 4 one
// whose texel (i, j) is red 30 + 60 i, green 30 + 60 j, blue 200.
struct Texture;
Texture* textureFromTexels(int width, int height, const std::vector<uint8_t>& rgba);
Texture* texelGridTexture();

// The OpenGL state and pictures, read back: an integer state, whether a capability is on, a
// rectangle of the frame (RGBA, or RGB with 3 channels, bottom row first), one pixel's RGB, and
// a texture level's RGBA texels (its size in width and height when asked).
int glInteger(unsigned what);
bool glEnabled(unsigned cap);
std::vector<uint8_t> readPixels(int x, int y, int width, int height, int channels = 4);
std::array<int, 3> pixelRGB(int x, int y);
std::vector<uint8_t> readTexels(unsigned name, int level = 0, int* width = nullptr,
                                int* height = nullptr);

// Paths of the build.
std::string buildDir();
std::string sourceDir();
