// The operating-system layer on POSIX (Linux): see support/os.h.
#include "support/os.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <thread>

extern char** environ;

const char* const PATH_SEPARATORS = "/";

namespace {

constexpr int BACKGROUND_NICE = 19;
int foregroundNice = 0;   // what backgroundCanBeLeft found, and threadToForeground restores

// On Linux a thread or a process (its first thread) by its id, 0 for the calling thread.
bool toBackground(pid_t thread)
{
    bool moved = setpriority(PRIO_PROCESS, (id_t)thread, BACKGROUND_NICE) == 0;
#ifdef SCHED_IDLE
    sched_param none{};
    moved = moved && sched_setscheduler(thread, SCHED_IDLE, &none) == 0;
#endif
    return moved;
}

bool toForeground(pid_t thread)
{
    bool moved = true;
#ifdef SCHED_IDLE
    sched_param none{};
    moved = sched_setscheduler(thread, SCHED_OTHER, &none) == 0;
#endif
    return setpriority(PRIO_PROCESS, (id_t)thread, foregroundNice) == 0 && moved;
}

}   // namespace

FILE* openForReading(const std::string& path, FileKind* kind, long long* size)
{
    // Non-blocking, so a pipe with no writer opens at once (and is told apart below).
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    FILE* file = nullptr;
    if (fstat(fd, &st) == 0) {
        *kind = S_ISREG(st.st_mode)                          ? FileKind::REGULAR
                : S_ISDIR(st.st_mode)                        ? FileKind::DIRECTORY
                : S_ISFIFO(st.st_mode)                       ? FileKind::PIPE
                : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? FileKind::DEVICE
                : S_ISSOCK(st.st_mode)                       ? FileKind::SOCKET
                                                             : FileKind::OTHER;
        *size = (long long)st.st_size;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = fdopen(fd, "rb");
    }
    if (!file) {
        int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

FILE* openFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

bool pathExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isReadableFile(const std::string& path)
{
    return access(path.c_str(), R_OK) == 0;
}

bool makeDirectory(const std::string& path)
{
    return mkdir(path.c_str(), 0777) == 0;
}

bool removeFile(const std::string& path)
{
    return unlink(path.c_str()) == 0;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::vector<std::string> directoryEntries(const std::string& path)
{
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(dir);
    return names;
}

bool canCreateFileIn(const std::string& directory)
{
    std::string probe = directory + "/.orvanti-write-test-XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string findProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string all = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        std::string candidate = all.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0 && !isDirectory(candidate))
            return candidate;
        start = end + 1;
    }
    return "";
}

bool startChild(const std::string& path, const std::vector<std::string>& args, size_t pipeBytes,
                bool background, ChildProcess* child)
{
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // No fork: a child of a threaded process that allocates before exec can hang on a lock
    // another thread held at the fork. Both ends are closed on exec; the read end reaches the
    // child only as its standard input.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    if (fds[0] == 0) {
        // Standard input was closed: a dup2 onto itself would keep the close-on-exec flag.
        int moved = fcntl(fds[0], F_DUPFD_CLOEXEC, 3);
        close(fds[0]);
        fds[0] = moved;
        if (moved < 0) {
            close(fds[1]);
            return false;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    pid_t pid = -1;
    int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (error != 0) {
        close(fds[1]);
        errno = error;
        return false;
    }
    // The child starts its threads after this, and they inherit it.
    if (background)
        toBackground(pid);
#ifdef F_SETPIPE_SZ
    fcntl(fds[1], F_SETPIPE_SZ, (int)pipeBytes);
#else
    (void)pipeBytes;
#endif
    child->process = pid;
    child->input = fds[1];
    return true;
}

bool writeToChild(ChildProcess* child, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t n = write((int)child->input, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

int finishChild(ChildProcess* child)
{
    if (child->input >= 0)
        close((int)child->input);
    child->input = -1;
    int status = 0;
    pid_t ended;
    while ((ended = waitpid((pid_t)child->process, &status, 0)) < 0 && errno == EINTR) {
    }
    child->process = -1;
    if (ended < 0)
        return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void killChild(intptr_t process)
{
    if (process > 0)
        kill((pid_t)process, SIGKILL);
}

bool waylandWithoutSeat()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;   // SDL cannot take Wayland either
    bool seat = false;
    static const wl_registry_listener listener = {
        [](void* found, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, wl_seat_interface.name) == 0)
                *(bool*)found = true;
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &seat);
    bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return !answered || !seat;
}

bool backgroundCanBeLeft()
{
#ifdef __linux__
    // Tried on a thread of its own, which ends with the answer.
    foregroundNice = getpriority(PRIO_PROCESS, 0);
    bool liftable = false;
    std::thread([&liftable] { liftable = toBackground(0) && toForeground(0); }).join();
    return liftable;
#else
    return false;   // elsewhere a priority names the whole process, the renderer too
#endif
}

intptr_t runInBackground()
{
#ifdef __linux__
    toBackground(0);
    return gettid();
#else
    return -1;
#endif
}

void threadToForeground(intptr_t thread)
{
    toForeground((pid_t)thread);
}

void childToForeground(const ChildProcess& child)
{
    for (const std::string& task :
         directoryEntries("/proc/" + std::to_string(child.process) + "/task"))
        toForeground((pid_t)std::atoi(task.c_str()));
}

bool desktopAvailable()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

bool isTerminal(FILE* stream)
{
    return isatty(fileno(stream));
}

void attachStandardStreams() {}

void prepareOfflineRun()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    std::signal(SIGPIPE, SIG_IGN);
    // Ignored, ffmpeg's end would go unseen (waitpid fails) and a failure pass for success.
    std::signal(SIGCHLD, SIG_DFL);
}
