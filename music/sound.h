// Our sound library: the small FSOUND call set the music clock is written against, on
// libvorbisfile and SDL2 audio. Private to music/ (and its tests).
//
// - Output: 16-bit stereo at the mix rate given to FSOUND_Init. FSOUND_OUTPUT_NOSOUND plays into
//   a null output that consumes samples at the wall clock's pace on a thread of ours;
//   FSOUND_OUTPUT_NOSOUND_NONREALTIME consumes nothing (the position moves only by seeking); every
//   other output word means a device: a stream of the PulseAudio sound server (which PipeWire
//   serves too) where one answers, else SDL's audio. SDL_AUDIODRIVER set to another SDL driver
//   than pulseaudio or pipewire chooses SDL. The device is the system's default unless
//   soundSetDevice names one.
// - Clock: the position being heard, that is the position mixed less the delay the output
//   reports and less the delay added with soundSetAddedDelay. It follows the output gently, at
//   most a few percent faster or slower than the wall clock, so that it stays smooth when the
//   output's reports wobble; it never runs backwards except after a seek or a loop restart.
// - Streams: Ogg Vorbis from the caller's memory block (FSOUND_LOADMEMORY), which must outlive the
//   stream. Any channel count: mono goes to both sides, 3 to 8 channels are downmixed from the
//   Vorbis channel order, wider streams play their first two. Any rate within a factor of 256 of
//   the mix rate (converted by libsamplerate when it differs). Positions are in the stream's own
//   samples, so seeking is sample-accurate.
// - Threads: decoding and mixing run on the output's thread (SDL's audio thread or the null
//   output's). The end callback runs there too; it must not open, play or close streams.
//   FSOUND_Stream_GetTime and FSOUND_Stream_SetTime never wait on decoding.
// - Errors: a failing call returns false / null / -1 and FSOUND_GetError gives its code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FSOUND_STREAM;
struct FSOUND_DSPUNIT;

typedef signed char (*FSOUND_STREAMCALLBACK)(FSOUND_STREAM* stream, void* buffer, int length,
                                             void* userData);

enum FSOUND_OUTPUTTYPES {
    FSOUND_OUTPUT_NOSOUND = 0,
    FSOUND_OUTPUT_WINMM = 1,
    FSOUND_OUTPUT_DSOUND = 2,
    FSOUND_OUTPUT_NOSOUND_NONREALTIME = 12,
};

enum FMOD_ERRORS {
    FMOD_ERR_NONE,
    FMOD_ERR_BUSY,
    FMOD_ERR_UNINITIALIZED,
    FMOD_ERR_INIT,
    FMOD_ERR_ALLOCATED,
    FMOD_ERR_PLAY,
    FMOD_ERR_OUTPUT_FORMAT,
    FMOD_ERR_COOPERATIVELEVEL,
    FMOD_ERR_CREATEBUFFER,
    FMOD_ERR_FILE_NOTFOUND,
    FMOD_ERR_FILE_FORMAT,
    FMOD_ERR_FILE_BAD,
    FMOD_ERR_MEMORY,
    FMOD_ERR_VERSION,
    FMOD_ERR_INVALID_PARAM,
    FMOD_ERR_NO_EAX,
    FMOD_ERR_CHANNEL_ALLOC,
    FMOD_ERR_RECORD,
    FMOD_ERR_MEDIAPLAYER,
};

// Mode bits of FSOUND_Stream_Open.
constexpr unsigned FSOUND_LOOP_OFF = 0x00000001;
constexpr unsigned FSOUND_LOOP_NORMAL = 0x00000002;
constexpr unsigned FSOUND_8BITS = 0x00000008;
constexpr unsigned FSOUND_16BITS = 0x00000010;
constexpr unsigned FSOUND_MONO = 0x00000020;
constexpr unsigned FSOUND_STEREO = 0x00000040;
constexpr unsigned FSOUND_UNSIGNED = 0x00000080;
constexpr unsigned FSOUND_SIGNED = 0x00000100;
constexpr unsigned FSOUND_LOADMEMORY = 0x00008000;
constexpr unsigned FSOUND_MPEGACCURATE = 0x00020000;
constexpr unsigned FSOUND_NORMAL = FSOUND_16BITS | FSOUND_SIGNED | FSOUND_MONO;

constexpr unsigned FSOUND_INIT_ACCURATEVULEVELS = 0x0008;
constexpr int FSOUND_FREE = -1;

constexpr float SOUND_LIBRARY_VERSION = 3.75f;

float FSOUND_GetVersion();
signed char FSOUND_SetOutput(int outputType);
signed char FSOUND_SetDriver(int driver);
signed char FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned flags);
void FSOUND_Close();
int FSOUND_GetError();

FSOUND_STREAM* FSOUND_Stream_Open(const char* data, unsigned mode, int offset, int length);
signed char FSOUND_Stream_Close(FSOUND_STREAM* stream);
signed char FSOUND_Stream_SetEndCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                         void* userData);
// Sync points are not supported by Ogg streams: the callback is kept and never called.
signed char FSOUND_Stream_SetSyncCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                          void* userData);
int FSOUND_Stream_PlayEx(int channel, FSOUND_STREAM* stream, FSOUND_DSPUNIT* dsp,
                         signed char startPaused);
signed char FSOUND_SetPaused(int channel, signed char paused);
// The position of the sample being heard, in milliseconds from the start of the stream. Between
// two buffers of the output it advances with a high-resolution clock, so it moves smoothly; it
// never runs backwards except after a seek or a loop restart. After a seek it reads the new
// position at once and stands there until the sound from it is heard.
int FSOUND_Stream_GetTime(FSOUND_STREAM* stream);
// Sample-accurate seek; the next GetTime reads the new position. Negative times seek to 0.
signed char FSOUND_Stream_SetTime(FSOUND_STREAM* stream, int ms);
int FSOUND_Stream_GetLengthMs(FSOUND_STREAM* stream);

// Devices, by the names the system gives them (a sound server's sink names, or SDL's device
// names), with a description where the system has one. Returns the output a device run plays
// through ("PulseAudio" or "SDL <driver>"). Works before and after FSOUND_Init.
struct SoundDevice {
    std::string name, description;
    bool isDefault = false;
};
std::string soundListDevices(std::vector<SoundDevice>* devices);
// Before FSOUND_Init: the device to play on ("" for the default). FSOUND_Init fails with
// FMOD_ERR_INIT when there is no such device.
void soundSetDevice(const std::string& name);
// Milliseconds the clock reads behind what is heard, on top of the output's delay (-1000 to
// 1000; negative reads ahead). Takes effect from the next buffer.
void soundSetAddedDelay(double ms);
// What plays: the output and device, the delay the output reported at its last buffer, the
// delay added to it, and how often the output ran dry (a busy machine's mixer came too late).
struct SoundOutputState {
    std::string output = "none", device;
    double reportedMs = 0.0, addedMs = 0.0;
    int64_t underruns = 0;   // times the server ran out of sound since the output opened
};
SoundOutputState soundOutputState();

// For tests: the version FSOUND_GetVersion reports (0 restores the real one).
void soundReportVersionForTesting(float version);
// For tests and fuzzing with FSOUND_OUTPUT_NOSOUND_NONREALTIME: mixes one output buffer of
// `frames` stereo frames into out at once, as an output's thread would (end callback included).
void soundMixForTesting(int16_t* out, int frames);
// For tests and fuzzing: since the stream's last seek (or its opening), the frames its decoder
// has delivered and the output frames it has put into the mix; and its sample rate.
struct SoundStreamCounts {
    int64_t decodedFrames;
    int64_t mixedFrames;
    long rate;
};
SoundStreamCounts soundStreamCountsForTesting(FSOUND_STREAM* stream);
// For tests: the null output calls the mixer up to `ms` early or late against its schedule and
// takes each buffer to be heard when it is called, as a device output that cannot see its delay.
void soundOutputJitterForTesting(int ms);
// For tests: the delay the clock applies now, in ms: the end of what has been mixed less the
// position GetTime reads.
double soundClockDelayForTesting(FSOUND_STREAM* stream);
