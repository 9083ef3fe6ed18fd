// The music stream and the show clock: opening and playing the one stream, the play position as
// show time in patterns, seeking, the Pause hold, the end-of-music notification and the capture
// clock of the offline modes.
#include "music/music_local.h"

#include "support/upcalls.h"
#include "music/sound.h"
#include "support/support.h"

#include <SDL.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

float musicTempo = 0.0f;
FSOUND_STREAM* musicStream = nullptr;
int32_t musicChannel = -1;
unsigned char* musicData = nullptr;
float heldTime = 0.0f;
bool musicMuted = false;
std::string musicDevice;
double musicOffsetMs = 0.0;

namespace {

constexpr float MINIMUM_LIBRARY_VERSION = 3.71f;
constexpr int MIX_RATE = 44100;
constexpr int SOFTWARE_CHANNELS = 32;
constexpr unsigned LOOPING_MODE = FSOUND_LOOP_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;
constexpr unsigned ONCE_MODE = FSOUND_NORMAL | FSOUND_LOADMEMORY | FSOUND_MPEGACCURATE;
// openMusic waits at most this long for the first sound to be heard (an idle sink may take more
// than a second to start).
constexpr int FIRST_SOUND_WAIT_MS = 3000;
// The server's buffer fills for a while after that; its delay is told once it has.
constexpr int DELAY_SETTLE_MS = 200;
static_assert(LOOPING_MODE == 163842 && ONCE_MODE == 164144);

struct CaptureClock {
    bool active = false;
    double patterns = 0.0;
};
CaptureClock captureClock;

[[noreturn]] void failWithPath(const char* format, const char* fileName)
{
    FSOUND_Close();
    char text[1024];
    std::snprintf(text, sizeof text, format, fileName);
    fatalError(text);
}

[[noreturn]] void failUnreadable(const char* fileName, const std::string& problem)
{
    FSOUND_Close();
    char text[1024];
    std::snprintf(text, sizeof text, "%s: not a playable music stream (cannot be read: %s)",
                  fileName, problem.c_str());
    fatalError(text);
}

// The whole file into musicData; returns its length. A missing file is "not found"; one that is
// there but cannot be read (no permission, a folder, a pipe, a device, an outsized file, a
// failing read) says why. All are fatal.
long readMusicFile(const char* fileName)
{
    long length = 0;
    std::string problem;
    FILE* file = openDataFile(fileName, &length, &problem);
    if (!file) {
        if (errno == ENOENT || errno == ENOTDIR)
            failWithPath("%s not found", fileName);
        failUnreadable(fileName, problem);
    }
    // The previous block goes only once its stream is closed; a stream may still play from it.
    if (!musicStream)
        std::free(musicData);
    musicData = static_cast<unsigned char*>(std::malloc(length > 0 ? (size_t)length : 1));
    if (!musicData) {
        std::fclose(file);
        failUnreadable(fileName, std::strerror(ENOMEM));
    }
    errno = 0;
    size_t got = length > 0 ? std::fread(musicData, 1, (size_t)length, file) : 0;
    int error = std::ferror(file) ? (errno ? errno : EIO) : 0;
    std::fclose(file);
    if (error)
        failUnreadable(fileName, std::strerror(error));
    return (long)got;   // a file cut short meanwhile: the stream decides what it is worth
}

void openStream(const char* fileName, float tempo, int loop, int outputType)
{
    musicTempo = tempo;
    captureClock = CaptureClock{};
    if (FSOUND_GetVersion() < MINIMUM_LIBRARY_VERSION)
        fatalError("FMOD: Wrong DLL version!");
    FSOUND_SetOutput(outputType);
    FSOUND_SetDriver(0);
    soundSetDevice(outputType == FSOUND_OUTPUT_DSOUND ? musicDevice : "");
    soundSetAddedDelay(musicOffsetMs);
    if (!FSOUND_Init(MIX_RATE, SOFTWARE_CHANNELS, FSOUND_INIT_ACCURATEVULEVELS)) {
        int error = FSOUND_GetError();
        FSOUND_Close();
        fatalError(soundErrorText((unsigned)error));
    }
    long length = readMusicFile(fileName);
    musicStream = FSOUND_Stream_Open(reinterpret_cast<const char*>(musicData),
                                     loop ? LOOPING_MODE : ONCE_MODE, 0, (int)length);
    // Without a stream the show would stand at time 0 for ever, in silence.
    if (!musicStream)
        failWithPath("%s: not a playable music stream", fileName);
    FSOUND_Stream_SetEndCallback(musicStream, musicCallback, nullptr);
    FSOUND_Stream_SetSyncCallback(musicStream, musicCallback, nullptr);
    if (musicChannel < 0) {
        musicChannel = FSOUND_Stream_PlayEx(FSOUND_FREE, musicStream, nullptr, true);
        FSOUND_SetPaused(musicChannel, false);
    }
}

}   // namespace

void openMusic(const char* fileName, float tempo, int loop)
{
    openStream(fileName, tempo, loop, musicMuted ? FSOUND_OUTPUT_NOSOUND : FSOUND_OUTPUT_DSOUND);
    // A device's delay is known once its first buffer is on its way; the clock moves once that
    // is heard.
    int start = FSOUND_Stream_GetTime(musicStream);
    for (int waited = 0; !musicMuted && waited < FIRST_SOUND_WAIT_MS; waited++) {
        if (FSOUND_Stream_GetTime(musicStream) != start) {
            SDL_Delay(DELAY_SETTLE_MS);
            break;
        }
        SDL_Delay(1);
    }
    if (musicMuted) {
        std::fprintf(stderr, "sound: muted, the clock runs on the wall clock\n");
        return;
    }
    SoundOutputState out = soundOutputState();
    std::fprintf(stderr,
                 "sound: %s output, device \"%s\", delay %.1f ms (%.1f reported, %+.0f added)\n",
                 out.output.c_str(), out.device.c_str(), out.reportedMs + out.addedMs,
                 out.reportedMs, out.addedMs);
}

std::string listMusicDevices(std::vector<MusicDevice>* devices)
{
    std::vector<SoundDevice> found;
    std::string output = soundListDevices(&found);
    devices->clear();
    for (const SoundDevice& d : found)
        devices->push_back({d.name, d.description, d.isDefault});
    return output;
}

MusicDelay musicDelay()
{
    SoundOutputState out = soundOutputState();
    return {out.reportedMs, out.addedMs};
}

void openMusicForCapture(const char* fileName, float tempo)
{
    openStream(fileName, tempo, 0, FSOUND_OUTPUT_NOSOUND_NONREALTIME);
    captureClock.active = true;
}

void setCaptureTime(double patterns)
{
    captureClock.active = true;
    captureClock.patterns = patterns;
}

double musicLengthPatterns()
{
    if (!musicStream)
        return 0.0;
    return patternsFromMilliseconds(FSOUND_Stream_GetLengthMs(musicStream), musicTempo);
}

float showTime()
{
    if (captureClock.active)
        return (float)captureClock.patterns;
    if (heldTime == 0.0f) {
        int ms = FSOUND_Stream_GetTime(musicStream);
        return (float)patternsFromMilliseconds(ms, musicTempo);
    }
    // The hold: the picture stands while the sound repeats fragments of varying length.
    Uint32 c = SDL_GetTicks();
    SDL_Delay((Uint32)(int)(std::sin((double)c * PI) * 100.0 + 101.0));
    seekShowTime(heldTime);
    return heldTime;
}

void seekShowTime(float p)
{
    if (!musicStream)
        return;   // no tempo to convert with before the music opens
    FSOUND_Stream_SetTime(musicStream, (int)millisecondsFromPatterns(p, musicTempo));
}

double patternsFromMilliseconds(double milliseconds, double tempo)
{
    return milliseconds / 60000.0 * tempo / 16.0;
}

double millisecondsFromPatterns(double patterns, double tempo)
{
    return patterns * 16.0 / tempo * 60000.0;
}

void closeMusic()
{
    FSOUND_Stream_Close(musicStream);
    FSOUND_Close();
    musicStream = nullptr;
    musicChannel = -1;
    captureClock = CaptureClock{};
}

signed char musicCallback(FSOUND_STREAM*, void* buffer, int, void*)
{
    if (!buffer)
        quitRequests++;
    return true;
}

const char* soundErrorText(unsigned code)
{
    switch (code) {
    case 0: return "No errors";
    case 1: return "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.";
    case 2: return "This command failed because FSOUND_Init was not called";
    case 3: return "Error initializing output device.";
    case 4: return "The output device is already in use and cannot be reused.";
    case 5: return "Playing the sound failed.";
    case 6:
        return "Soundcard does not support the features needed for this soundsystem (16bit "
               "stereo output)";
    case 7: return "Error setting cooperative level for hardware.";
    case 8: return "Error creating hardware sound buffer.";
    case 9: return "File not found";
    case 10: return "Unknown file format";
    case 11: return "Error loading file";
    case 12: return "Not enough memory ";
    case 13: return "The version number of this file format is not supported";
    case 14: return "An invalid parameter was passed to this function";
    case 15: return "Tried to use an EAX command on a non EAX enabled channel or output.";
    case 16: return "Failed to allocate a new channel";
    case 17: return "Recording not supported on this device";
    case 18: return "Required Mediaplayer codec is not installed";
    default: return "Unknown error";
    }
}
