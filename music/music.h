// Music and clock: the one music stream and the show clock in patterns.
//
// The show has no clock of its own: the play position of the music is the clock. openMusic reads
// the music file whole into memory and plays it through our sound library (music/sound.h);
// showTime turns the stream position into patterns (one pattern is 16 beats, 7680 ms at 125
// beats per minute). Everything here runs on the main thread; only musicCallback is called on
// the sound library's thread, and it touches nothing but quitRequests.
//
// Failures are fatal: library too old, no sound device, the file missing ("<path> not found"),
// or a file that is no playable stream ("<path>: not a playable music stream").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern float heldTime;   // the Pause hold: 0 = not held, else the time that stands
// Set by the program before openMusic (--mute): play into the null output instead of a device.
extern bool musicMuted;
// Set before openMusic: the sound device by the name the system gives it ("" for the default),
// and milliseconds by which the clock reads behind what is heard (-1000 to 1000; positive
// delays the picture), for delays no interface reports.
extern std::string musicDevice;
extern double musicOffsetMs;

// Loads, opens and starts the stream; returns once its first sound is heard (3 s at most)
// and puts one line on the standard error stream: the output, the device and the delay. A
// device that is not there is fatal. With musicMuted the
// stream plays into a null output that consumes samples at the wall clock's pace: no sound, but
// the clock, seeking, looping and the end of the music behave as with a device.
void openMusic(const char* fileName, float tempo, int loop);
// The current show time in patterns. While held it sleeps 1 to 201 ms, throws the music back
// to the held time and returns it.
float showTime();
// Moves the stream to the start of that show time (whole milliseconds, truncated toward zero).
void seekShowTime(float patterns);
void closeMusic();

// Frame capture. openMusicForCapture opens the stream exactly as openMusic does (same checks,
// same messages) but no output consumes it. From then on showTime returns the capture clock
// (0 until setCaptureTime; no hold, no sleep) until closeMusic.
void openMusicForCapture(const char* fileName, float tempo);
void setCaptureTime(double patterns);
// Length of the open stream in patterns at the tempo it was opened with (0 when none is open).
double musicLengthPatterns();

// The output a live run plays through ("PulseAudio", or "SDL <driver>" where no sound server
// answers) and its devices. Before openMusic only.
struct MusicDevice {
    std::string name, description;
    bool isDefault;
};
std::string listMusicDevices(std::vector<MusicDevice>* devices);
// The delay the clock takes off: the output's report (0 without an output) and musicOffsetMs.
struct MusicDelay {
    double reportedMs, addedMs;
};
MusicDelay musicDelay();

// Show time against clock time at a tempo in beats per minute, one pattern being 16 beats:
// patterns = milliseconds / 60000 x tempo / 16, and back in the reverse order, each evaluated in
// that order in double precision (so the clock and a seek round as they always have). The one
// conversion between the two; seconds are milliseconds / 1000.
double patternsFromMilliseconds(double milliseconds, double tempo);
double millisecondsFromPatterns(double patterns, double tempo);
