// The operating-system layer on Windows: see support/os.h. Names are UTF-8 in the program and
// UTF-16 at the system's interface; the C runtime's wide calls keep errno as on POSIX.
#include "support/os.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>

const char* const PATH_SEPARATORS = "/\\";

namespace {

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return L"";
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring out((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), out.data(), n);
    return out;
}

std::string utf8(const wchar_t* text, size_t length)
{
    if (length == 0)
        return "";
    int n = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, nullptr, 0, nullptr, nullptr);
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, (int)length, out.data(), n, nullptr, nullptr);
    return out;
}

// The errno closest to a system error, so that callers report it as on POSIX.
void setErrnoFromLastError()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: errno = EACCES; break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: errno = EEXIST; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: errno = EPIPE; break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: errno = ENOMEM; break;
    case ERROR_BAD_EXE_FORMAT: errno = ENOEXEC; break;
    default: errno = EIO; break;
    }
}

DWORD attributesOf(const std::string& path)
{
    return GetFileAttributesW(wide(path).c_str());
}

// One argument of a command line, quoted so that the C runtime's parser gives it back whole:
// backslashes count only before a quote.
void appendQuoted(std::wstring* line, const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *line += arg;
        return;
    }
    *line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            backslashes++;
            continue;
        }
        line->append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        *line += c;
    }
    line->append(2 * backslashes, L'\\');
    *line += L'"';
}

// A copy of one of our standard handles that a child can inherit; null where there is none.
HANDLE inheritableCopy(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle && handle != INVALID_HANDLE_VALUE &&
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                        DUPLICATE_SAME_ACCESS))
        return copy;
    return nullptr;
}

}   // namespace

FILE* openForReading(const std::string& path, FileKind* kind, long long* size)
{
    std::wstring name = wide(path);
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return nullptr;
    }
    // Pipes and devices open without waiting; their type tells them from a file.
    int fd = _wopen(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return nullptr;
    DWORD type = GetFileType((HANDLE)_get_osfhandle(fd));
    *kind = type == FILE_TYPE_DISK   ? FileKind::REGULAR
            : type == FILE_TYPE_PIPE ? FileKind::PIPE
            : type == FILE_TYPE_CHAR ? FileKind::DEVICE
                                     : FileKind::OTHER;
    struct _stat64 st {};
    FILE* file = nullptr;
    if (_fstat64(fd, &st) == 0) {
        *size = (long long)st.st_size;
        file = _fdopen(fd, "rb");
    }
    if (!file) {
        int error = errno;
        _close(fd);
        errno = error;
    }
    return file;
}

FILE* openFile(const std::string& path, const char* mode)
{
    return _wfopen(wide(path).c_str(), wide(mode).c_str());
}

bool pathExists(const std::string& path)
{
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path)
{
    DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isReadableFile(const std::string& path)
{
    return _waccess(wide(path).c_str(), 4) == 0;
}

bool makeDirectory(const std::string& path)
{
    return _wmkdir(wide(path).c_str()) == 0;
}

bool removeFile(const std::string& path)
{
    return _wremove(wide(path).c_str()) == 0;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    setErrnoFromLastError();
    return false;
}

std::vector<std::string> directoryEntries(const std::string& path)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((wide(path) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = utf8(found.cFileName, std::wcslen(found.cFileName));
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool canCreateFileIn(const std::string& directory)
{
    std::string stem = directory + "/.orvanti-write-test-" + std::to_string(GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; attempt++) {
        std::wstring probe = wide(stem + "-" + std::to_string(attempt));
        int fd = _wopen(probe.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            _close(fd);
            _wremove(probe.c_str());
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

std::string findProgram(const std::string& name)
{
    const wchar_t* path = _wgetenv(L"PATH");
    if (!path)
        return "";
    std::wstring all = path, file = wide(name);
    if (file.find(L'.') == std::wstring::npos)
        file += L".exe";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(L';', start);
        if (end == std::wstring::npos)
            end = all.size();
        std::wstring directory = all.substr(start, end - start);
        start = end + 1;
        if (directory.size() >= 2 && directory.front() == L'"' && directory.back() == L'"')
            directory = directory.substr(1, directory.size() - 2);
        if (directory.empty())
            continue;
        std::wstring candidate = directory + L"\\" + file;
        DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return utf8(candidate.data(), candidate.size());
    }
    return "";
}

bool startChild(const std::string& path, const std::vector<std::string>& args, size_t pipeBytes,
                bool background, ChildProcess* child)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, (DWORD)pipeBytes)) {
        setErrnoFromLastError();
        return false;
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    // The child inherits exactly these: its end of the pipe and our output streams, so that no
    // other handle (our end of the pipe above all) keeps the pipe open after we close it.
    HANDLE output = inheritableCopy(STD_OUTPUT_HANDLE), errors = inheritableCopy(STD_ERROR_HANDLE);
    HANDLE handles[3] = {readEnd};
    DWORD count = 1;
    for (HANDLE h : {output, errors})
        if (h)
            handles[count++] = h;
    SIZE_T listBytes = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listBytes);
    std::vector<char> listMemory(listBytes);
    LPPROC_THREAD_ATTRIBUTE_LIST list = (LPPROC_THREAD_ATTRIBUTE_LIST)listMemory.data();
    bool ok = InitializeProcThreadAttributeList(list, 1, 0, &listBytes) &&
              UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                        count * sizeof(HANDLE), nullptr, nullptr);

    STARTUPINFOEXW start{};
    start.StartupInfo.cb = sizeof start;
    start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    start.StartupInfo.hStdInput = readEnd;
    start.StartupInfo.hStdOutput = output;
    start.StartupInfo.hStdError = errors;
    start.lpAttributeList = list;
    std::wstring line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += L' ';
        appendQuoted(&line, wide(arg));
    }
    // No console window for a console program started from one without a console; in the
    // background, the idle priority class.
    DWORD flags =
        EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW | (background ? IDLE_PRIORITY_CLASS : 0);
    PROCESS_INFORMATION started{};
    ok = ok && CreateProcessW(wide(path).c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                              nullptr, nullptr, &start.StartupInfo, &started);
    if (!ok)
        setErrnoFromLastError();
    int error = errno;
    if (listBytes)
        DeleteProcThreadAttributeList(list);
    for (HANDLE h : {readEnd, output, errors})
        if (h)
            CloseHandle(h);
    if (!ok) {
        CloseHandle(writeEnd);
        errno = error;
        return false;
    }
    CloseHandle(started.hThread);
    child->process = (intptr_t)started.hProcess;
    child->input = (intptr_t)writeEnd;
    return true;
}

bool writeToChild(ChildProcess* child, const uint8_t* data, size_t size)
{
    while (size > 0) {
        DWORD chunk = (DWORD)std::min<size_t>(size, 1u << 30), written = 0;
        if (!WriteFile((HANDLE)child->input, data, chunk, &written, nullptr) || written == 0) {
            setErrnoFromLastError();
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

int finishChild(ChildProcess* child)
{
    if (child->input != -1)
        CloseHandle((HANDLE)child->input);
    child->input = -1;
    HANDLE process = (HANDLE)child->process;
    DWORD status = 1;
    bool learnt = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                  GetExitCodeProcess(process, &status);
    if (!learnt)
        setErrnoFromLastError();
    CloseHandle(process);
    child->process = -1;
    // A process ended by an exception has its code (0xC0000005 and the like) as status.
    return !learnt ? -2 : status > 255 ? -1 : (int)status;
}

void killChild(intptr_t process)
{
    if (process != -1)
        TerminateProcess((HANDLE)process, 1);
}

bool waylandWithoutSeat()
{
    return false;
}

bool backgroundCanBeLeft()
{
    return true;   // a thread's priority and a child's class may be raised again
}

intptr_t runInBackground()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
    return (intptr_t)GetCurrentThreadId();
}

void threadToForeground(intptr_t thread)
{
    if (HANDLE handle = OpenThread(THREAD_SET_INFORMATION, FALSE, (DWORD)thread)) {
        SetThreadPriority(handle, THREAD_PRIORITY_NORMAL);
        CloseHandle(handle);
    }
}

void childToForeground(const ChildProcess& child)
{
    SetPriorityClass((HANDLE)child.process, NORMAL_PRIORITY_CLASS);
}

bool desktopAvailable()
{
    return true;
}

bool isTerminal(FILE* stream)
{
    return _isatty(_fileno(stream));
}

void attachStandardStreams()
{
    // A program of the GUI subsystem started from a console gets no streams of its own; one whose
    // streams were redirected (to a file, a pipe) keeps them.
    auto missing = [](DWORD which) {
        HANDLE handle = GetStdHandle(which);
        return !handle || handle == INVALID_HANDLE_VALUE;
    };
    bool output = missing(STD_OUTPUT_HANDLE), errors = missing(STD_ERROR_HANDLE);
    if (!(output || errors) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (output)
        (void)std::freopen("CONOUT$", "w", stdout);
    if (errors)
        (void)std::freopen("CONOUT$", "w", stderr);
}

void prepareOfflineRun() {}
