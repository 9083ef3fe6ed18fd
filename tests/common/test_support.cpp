// Shared test helpers.
#include "common/test_support.h"

#include "app/app.h"
#include "app/gl.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

void ensureGLContext(int width, int height)
{
    static bool opened = false;
    if (opened)
        return;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("ORVANTI_NO_MESSAGE_BOX", "1", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS), 0) << SDL_GetError();
    displaySettings.width = width;
    displaySettings.height = height;
    displaySettings.fullscreen = 0;
    ASSERT_TRUE(openHiddenDisplay(width, height)) << SDL_GetError();
    renderTargetWidth = 512;
    renderTargetHeight = 256;
    checkColourDepth();
    glext.glMultiTexCoord2fARB = (PFNGLMULTITEXCOORD2FARBPROC)getGLProc("glMultiTexCoord2fARB");
    glext.glActiveTextureARB = (PFNGLACTIVETEXTUREARBPROC)getGLProc("glActiveTextureARB");
    glext.glClientActiveTextureARB =
        (PFNGLCLIENTACTIVETEXTUREARBPROC)getGLProc("glClientActiveTextureARB");
    glViewport(0, 0, width, height);
    opened = true;
}

std::string orvantiBinary() { return ORVANTI_BINARY; }
std::string buildDir() { return ORVANTI_BUILD_DIR; }
std::string sourceDir() { return ORVANTI_SOURCE_DIR; }

std::string makeTempDir(const std::string& tag)
{
    static int counter = 0;
    std::filesystem::path dir = std::filesystem::path(buildDir()) / "tmp" /
                                (tag + "-" + std::to_string(getpid()) + "-" +
                                 std::to_string(counter++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

static void drain(int fd, std::string* into, bool* open)
{
    char buffer[4096];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0)
        into->append(buffer, (size_t)n);
    else
        *open = false;
}

ProcessResult runProcess(const std::vector<std::string>& argv, double timeoutSeconds,
                         const std::vector<std::string>& extraEnv)
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
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("ORVANTI_NO_MESSAGE_BOX", "1", 1);
        for (const std::string& e : extraEnv)
            putenv(strdup(e.c_str()));
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    bool outOpen = true, errOpen = true;
    auto deadline = deadlineIn(timeoutSeconds);
    while (outOpen || errOpen) {
        long left = millisecondsLeft(deadline);
        if (left <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        if (poll(fds, 2, (int)std::min<long>(left, 1000)) <= 0)
            continue;
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP)))
            drain(outPipe[0], &result.out, &outOpen);
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP)))
            drain(errPipe[0], &result.err, &errOpen);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (result.timedOut)
        result.status = -1;
    else if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    return result;
}

ProcessResult runOrvanti(const std::vector<std::string>& args, double timeoutSeconds,
                         const std::vector<std::string>& extraEnv)
{
    std::vector<std::string> argv = {orvantiBinary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, timeoutSeconds, extraEnv);
}
