// The outputs of the sound library. Each calls the mixer for one buffer at a time on its own
// thread and tells it when that buffer starts to play, which is what the music clock follows.
#include "music/sound.h"
#include "music/sound_output.h"

#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int OUTPUT_BUFFER_FRAMES = 1024;
constexpr std::chrono::milliseconds DEVICE_JITTER_SLACK{4};
constexpr int NULL_OUTPUT_SPAN = 8;
// Only a stall this long (a suspended process) makes the null output drop the time it missed.
constexpr std::chrono::seconds NULL_OUTPUT_STALL{2};

struct SoundOutput {
    SoundMixFunction mix = nullptr;
    int mixRate = 44100;

    SDL_AudioDeviceID device = 0;
    bool audioSubsystem = false;
    // Audio thread only: where the last device buffer ends on the clock.
    bool deviceBufferSeen = false;
    SteadyClock::time_point deviceBufferEnd{};

    std::thread nullThread;
    std::mutex nullLock;
    std::condition_variable nullWake;
    bool nullStop = false;
};

SoundOutput output;

// Device callbacks come with jitter. A buffer is taken to start where the previous one ended,
// unless that lies in the past (a late callback: start now, the clock stood meanwhile) or more
// than a little in the future (an early one: the clock may step by the excess).
void SDLCALL sdlAudioCallback(void*, Uint8* buffer, int bytes)
{
    int frames = bytes / 4;
    SteadyClock::time_point now = SteadyClock::now();
    SteadyClock::time_point at = now;
    if (output.deviceBufferSeen) {
        at = std::clamp(output.deviceBufferEnd, now, now + DEVICE_JITTER_SLACK);
    }
    output.deviceBufferSeen = true;
    output.deviceBufferEnd =
        at + std::chrono::duration_cast<SteadyClock::duration>(
                 std::chrono::duration<double>((double)frames / output.mixRate));
    // A device that stops taking samples stops the clock at the end of its last buffer.
    output.mix(reinterpret_cast<int16_t*>(buffer), frames, at, 1);
}

// The null output: buffers consumed on a fixed wall-clock schedule, so no drift builds up.
void runNullOutput()
{
    std::vector<int16_t> buffer(OUTPUT_BUFFER_FRAMES * 2);
    auto period = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>((double)OUTPUT_BUFFER_FRAMES / output.mixRate));
    SteadyClock::time_point next = SteadyClock::now();
    std::unique_lock<std::mutex> lock(output.nullLock);
    while (!output.nullStop) {
        if (output.nullWake.wait_until(lock, next, [] { return output.nullStop; }))
            break;
        lock.unlock();
        // The null output consumes on the schedule whether or not this thread keeps up, so the
        // clock runs on the schedule too, past a late buffer.
        output.mix(buffer.data(), OUTPUT_BUFFER_FRAMES, next, NULL_OUTPUT_SPAN);
        lock.lock();
        next += period;
        // After a stall (a suspended process) carry on from now rather than racing to catch up.
        if (SteadyClock::now() - next > NULL_OUTPUT_STALL)
            next = SteadyClock::now();
    }
}

bool startOutput(int outputType)
{
    if (outputType == FSOUND_OUTPUT_NOSOUND_NONREALTIME)
        return true;
    if (outputType == FSOUND_OUTPUT_NOSOUND) {
        output.nullStop = false;
        output.nullThread = std::thread(runNullOutput);
        return true;
    }
    if (!SDL_WasInit(SDL_INIT_AUDIO)) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        output.audioSubsystem = true;
    }
    output.deviceBufferSeen = false;
    SDL_AudioSpec want{};
    want.freq = output.mixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = OUTPUT_BUFFER_FRAMES;
    want.callback = sdlAudioCallback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device really takes.
    output.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (output.device == 0) {
        if (output.audioSubsystem)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        output.audioSubsystem = false;
        return false;
    }
    SDL_PauseAudioDevice(output.device, 0);
    return true;
}

void stopOutput()
{
    if (output.nullThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(output.nullLock);
            output.nullStop = true;
        }
        output.nullWake.notify_all();
        output.nullThread.join();
    }
    if (output.device) {
        SDL_CloseAudioDevice(output.device);   // waits for the audio thread
        output.device = 0;
    }
    if (output.audioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        output.audioSubsystem = false;
    }
}

}   // namespace

bool openSoundOutput(int outputType, int mixRate, SoundMixFunction mix)
{
    output.mix = mix;
    output.mixRate = mixRate;
    return startOutput(outputType);
}

void closeSoundOutput()
{
    stopOutput();
}
