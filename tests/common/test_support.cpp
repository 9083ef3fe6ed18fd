// Shared test helpers.
#include "common/test_support.h"

#include "app/app_local.h"
#include "render/gl.h"
#include "texture/texture.h"

#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

void ensureGLContext(int width, int height)
{
    static bool opened = false;
    if (opened)
        return;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("ORVANTI_NO_MESSAGE_BOX", "1", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS), 0) << SDL_GetError();
    displaySettings.fullscreen = 0;
    ASSERT_TRUE(openHiddenDisplay(width, height)) << SDL_GetError();
    checkColourDepth();
    glext.glMultiTexCoord2fARB = (PFNGLMULTITEXCOORD2FARBPROC)getGLProc("glMultiTexCoord2fARB");
    glext.glActiveTextureARB = (PFNGLACTIVETEXTUREARBPROC)getGLProc("glActiveTextureARB");
    glext.glClientActiveTextureARB =
        (PFNGLCLIENTACTIVETEXTUREARBPROC)getGLProc("glClientActiveTextureARB");
    glViewport(0, 0, width, height);
    opened = true;
}

int glInteger(unsigned what)
{
    GLint v = 0;
    glGetIntegerv(what, &v);
    return v;
}

bool glEnabled(unsigned cap)
{
    return glIsEnabled(cap) == GL_TRUE;
}

std::vector<uint8_t> readPixels(int x, int y, int width, int height, int channels)
{
    std::vector<uint8_t> px((size_t)width * height * channels);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, channels == 3 ? GL_RGB : GL_RGBA, GL_UNSIGNED_BYTE,
                 px.data());
    return px;
}

std::array<int, 3> pixelRGB(int x, int y)
{
    glFinish();
    std::vector<uint8_t> p = readPixels(x, y, 1, 1);
    return {p[0], p[1], p[2]};
}

std::vector<uint8_t> readTexels(unsigned name, int level, int* width, int* height)
{
    glBindTexture(GL_TEXTURE_2D, name);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    std::vector<uint8_t> px((size_t)w * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (w > 0 && h > 0)
        glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    if (width)
        *width = w;
    if (height)
        *height = h;
    return px;
}

std::string buildDir()
{
    return ORVANTI_BUILD_DIR;
}
std::string sourceDir()
{
    return ORVANTI_SOURCE_DIR;
}

std::string makeTempDir(const std::string& tag)
{
    static int counter = 0;
    std::filesystem::path dir =
        std::filesystem::path(buildDir()) / "tmp" /
        (tag + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

bool haveDataSet()
{
    return std::filesystem::exists(buildDir() + "/data/music.ogg");
}

std::string linkedDataSet()
{
    namespace fs = std::filesystem;
    std::string dir = makeTempDir("data");
    for (const fs::directory_entry& e : fs::directory_iterator(buildDir() + "/data"))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.')
            fs::create_symlink(e.path(), fs::path(dir) / e.path().filename());
    return dir;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string encodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int components,
                       bool progressive, int quality)
{
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row((size_t)width * components);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++)
            for (int k = 0; k < components; k++)
                row[(size_t)x * components + k] = rgb[((size_t)y * width + x) * 3 + (k % 3)];
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes((const char*)out, size);
    std::free(out);
    return bytes;
}

Texture* textureFromTexels(int width, int height, const std::vector<uint8_t>& rgba)
{
    Texture* t = new Texture{};
    glGenTextures(1, &t->name);
    glBindTexture(GL_TEXTURE_2D, t->name);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data());
    t->width = width;
    t->height = height;
    t->scaleS = t->scaleT = t->scaleR = 1;
    t->flags = TEX_NO_MIPMAP;
    t->spriteCount = 1;
    return t;
}

Texture* texelGridTexture()
{
    std::vector<uint8_t> rgba;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            rgba.insert(rgba.end(), {(uint8_t)(30 + 60 * i), (uint8_t)(30 + 60 * j), 200, 255});
    return textureFromTexels(4, 4, rgba);
}

PngImage readPng(const std::string& path, bool grey)
{
    PngImage info;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return info;
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    info.pixels.resize(PNG_IMAGE_SIZE(image));
    info.width = (int)image.width;
    info.height = (int)image.height;
    info.ok = png_image_finish_read(&image, nullptr, info.pixels.data(), 0, nullptr) != 0;
    return info;
}

bool haveProgram(const char* name)
{
    return runProcess({"/bin/sh", "-c", std::string("command -v ") + name}, 10).status == 0;
}

namespace {

// In the forked child: the headless drivers, the extra variables, the working directory, then
// the program.
[[noreturn]] void execHeadless(const std::vector<std::string>& argv,
                               const std::vector<std::string>& extraEnv, const std::string& workDir)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("ORVANTI_NO_MESSAGE_BOX", "1", 1);
    for (const std::string& e : extraEnv)
        putenv(strdup(e.c_str()));
    if (!workDir.empty() && chdir(workDir.c_str()) != 0)
        _exit(127);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// Reads every descriptor into its string until each has ended (closed, or EIO on a terminal),
// then waits for the child; kills it when the time runs out first.
void collect(pid_t pid, std::vector<std::pair<int, std::string*>> sources, double timeoutSeconds,
             ProcessResult* result)
{
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(timeoutSeconds * 1000));
    while (!sources.empty()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            kill(pid, SIGKILL);
            result->timedOut = true;
            break;
        }
        std::vector<pollfd> fds;
        for (const auto& s : sources)
            fds.push_back({s.first, POLLIN, 0});
        if (poll(fds.data(), fds.size(), (int)std::min<long>(left, 1000)) <= 0)
            continue;
        for (size_t i = fds.size(); i-- > 0;) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
                sources[i].second->append(buffer, (size_t)n);
            else
                sources.erase(sources.begin() + (long)i);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (result->timedOut)
        result->status = -1;
    else if (WIFEXITED(status))
        result->status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result->status = 128 + WTERMSIG(status);
}

}   // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, double timeoutSeconds,
                         const std::vector<std::string>& extraEnv, const std::string& workDir)
{
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        execHeadless(argv, extraEnv, workDir);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    collect(pid, {{outPipe[0], &result.out}, {errPipe[0], &result.err}}, timeoutSeconds, &result);
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
}

ProcessResult runOrvanti(const std::vector<std::string>& args, double timeoutSeconds,
                         const std::vector<std::string>& extraEnv, const std::string& workDir)
{
    std::vector<std::string> argv = {ORVANTI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, timeoutSeconds, extraEnv, workDir);
}

ProcessResult runOrvantiOnTerminal(const std::vector<std::string>& args, double timeoutSeconds)
{
    ProcessResult result;
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0)
        return result;
    if (pid == 0) {
        termios mode;
        if (tcgetattr(1, &mode) == 0) {
            mode.c_oflag &= ~(tcflag_t)OPOST;   // "\n" stays "\n"
            tcsetattr(1, TCSANOW, &mode);
        }
        dup2(open("/dev/null", O_WRONLY), 2);
        std::vector<std::string> argv = {ORVANTI_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        execHeadless(argv, {}, "");
    }
    collect(pid, {{master, &result.out}}, timeoutSeconds, &result);
    close(master);
    return result;
}
