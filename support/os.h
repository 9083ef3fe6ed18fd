// The operating system beneath the program: files by UTF-8 name, the running program's directory,
// a child process fed through a pipe, background scheduling and the standard streams. The build
// picks one implementation (os_posix.cpp or os_win32.cpp); everything above calls these and
// includes no system header of its own. Failures set errno, so callers report std::strerror.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Characters that end a directory name in a path: "/" on POSIX, "/\\" on Windows.
extern const char* const PATH_SEPARATORS;

// Files by UTF-8 name.
FILE* openFile(const std::string& path, const char* mode);
// What the data-file check needs to know of a file before it reads a byte.
enum class FileKind { REGULAR, DIRECTORY, PIPE, DEVICE, SOCKET, OTHER };
// Opens a file for reading in binary mode without waiting (a pipe without a writer, a device),
// and says what it is and how large; reads wait as usual. Null with errno set when it cannot be
// opened (EISDIR for a directory where it cannot be opened at all).
FILE* openForReading(const std::string& path, FileKind* kind, long long* size);
bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isReadableFile(const std::string& path);
bool makeDirectory(const std::string& path);   // one level; true when it was made
bool removeFile(const std::string& path);
bool replaceFile(const std::string& from, const std::string& to);   // renames over `to`
// The names in a directory, without "." and ".."; empty when it cannot be read.
std::vector<std::string> directoryEntries(const std::string& path);
// Creates a file of a fresh name in the directory and removes it again: whether one can write
// there, which permissions alone do not tell.
bool canCreateFileIn(const std::string& directory);

// The full path of an executable program found on the PATH, or "" when there is none.
std::string findProgram(const std::string& name);

// A child process whose standard input is a pipe that only the parent writes.
struct ChildProcess {
    intptr_t process = -1;   // the process id or handle
    intptr_t input = -1;     // the pipe's write end
};
// Starts the program at `path` with args (args[0] names it), its standard input the read end of
// a pipe of about pipeBytes; that end, and the standard output and error, are the only handles it
// inherits. With `background` the child runs in the background (see runInBackground), else as
// the caller does. False with errno set.
bool startChild(const std::string& path, const std::vector<std::string>& args, size_t pipeBytes,
                bool background, ChildProcess* child);
// Writes every byte; false (errno set) once the child stops reading.
bool writeToChild(ChildProcess* child, const uint8_t* data, size_t size);
// Closes the pipe, waits for the child and returns its exit status; -1 when it did not exit on
// its own (killed by a signal), -2 when how it ended cannot be learnt (errno set).
int finishChild(ChildProcess* child);
// Ends a child (its `process`) at once, without waiting for it; safe in a signal handler.
void killChild(intptr_t process);

// Background work: threads and children at the lowest priority, in the idle scheduling class
// where the system has one, so that they take only what the renderer leaves; and back again.
// Whether this process may bring such work back to the calling thread's priority (Linux's idle
// class cannot be left without privileges): only then is it worth sending there.
bool backgroundCanBeLeft();
// The calling thread to the background; returns what threadToForeground takes.
intptr_t runInBackground();
// Back to the priority backgroundCanBeLeft found: a thread, or a child and every thread of it.
void threadToForeground(intptr_t thread);
void childToForeground(const ChildProcess& child);

// Whether a Wayland compositor answers and lists no seat (no keyboard or pointer), or cannot be
// asked once reached; false without one (and on systems without Wayland).
bool waylandWithoutSeat();
// Whether a desktop can show windows and message boxes.
bool desktopAvailable();
// Whether the stream is a terminal, where a progress line can be rewritten in place.
bool isTerminal(FILE* stream);
// The standard streams of a program without a console of its own: joined to the console of the
// program that started it where there is one. Called first thing.
void attachStandardStreams();
// Before an offline run: the video driver that needs no screen where the system has one, a
// closed pipe reported as a failed write instead of a signal, and the end of a child seen even
// where whoever started the program had it ignored.
void prepareOfflineRun();
