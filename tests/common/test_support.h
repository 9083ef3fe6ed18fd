// Shared test helpers: one hidden OpenGL context per test binary, and running the real program
// in a child process.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// Opens a hidden window with an OpenGL context of the given size (once per process; later calls
// with another size resize nothing and return the first). Fills displaySettings with the size,
// the extension entry points and the clamp mode, as the start-up would.
void ensureGLContext(int width = 640, int height = 480);

struct ProcessResult {
    int status = -1;     // exit status, or 128 + signal, or -1 when it timed out
    bool timedOut = false;
    std::string out;
    std::string err;
};

// A child's time limit: the deadline that many seconds from now, and the milliseconds left to it
// (0 or less once it has passed).
inline std::chrono::steady_clock::time_point deadlineIn(double seconds)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds((long)(seconds * 1000));
}
inline long millisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(
               deadline - std::chrono::steady_clock::now())
        .count();
}

// Runs build/orvanti with the arguments, headless, and collects its output.
ProcessResult runOrvanti(const std::vector<std::string>& args, double timeoutSeconds = 60.0,
                         const std::vector<std::string>& extraEnv = {});

// Runs any program (path and arguments) the same way.
ProcessResult runProcess(const std::vector<std::string>& argv, double timeoutSeconds = 60.0,
                         const std::vector<std::string>& extraEnv = {});

// A fresh empty directory under the build tree's tmp folder.
std::string makeTempDir(const std::string& tag);

// Paths of the build.
std::string orvantiBinary();
std::string buildDir();
std::string sourceDir();
