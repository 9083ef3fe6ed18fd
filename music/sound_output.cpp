// The outputs of the sound library. Each calls the mixer for one buffer at a time on its own
// thread and tells it when that buffer will be heard, which is what the music clock follows.
//
// A sound server's stream is preferred because it reports its latency: the buffer it holds plus
// the sink's, which on Bluetooth headsets and televisions is far more than SDL's own buffer.
// SDL 2.26 reports no latency at all, so its output can only take its own buffer as the delay.
#include "music/sound_output.h"

#include <SDL.h>
#ifdef ORVANTI_HAVE_PULSE
#include <pulse/pulseaudio.h>   // the sound server's stream and its latency
#endif

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int OUTPUT_BUFFER_FRAMES = 1024;
// The clock of a device output may run on past its buffer's end by this many buffers before it
// stands: enough for a callback that comes a little late.
constexpr int DEVICE_SPAN = 2;
constexpr int NULL_OUTPUT_SPAN = 8;
// Only a stall this long (a suspended process) makes the null output drop the time it missed.
constexpr std::chrono::seconds NULL_OUTPUT_STALL{2};
// The server's buffer plus its sink's, asked of the server: short enough that a seek is heard
// at once, long enough that a busy machine's mixer thread does not run it dry (at 40 ms a loaded
// two-core machine did, several times a minute).
constexpr int SERVER_LATENCY_MS = 80;

struct SoundOutput {
    SoundMixFunction mix = nullptr;
    int mixRate = 44100;
    std::atomic<int> jitterMs{0};

    // What plays, for soundOutputNow; the delay is written on the output's thread.
    std::mutex stateLock;
    std::string outputName = "none", deviceName;
    std::atomic<double> reportedMs{0.0};
    std::atomic<int64_t> underruns{0};

    SDL_AudioDeviceID device = 0;
    bool audioSubsystem = false;
    double sdlBufferMs = 0.0;

    std::thread nullThread;
    std::mutex nullLock;
    std::condition_variable nullWake;
    bool nullStop = false;

#ifdef ORVANTI_HAVE_PULSE
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    // Mainloop thread only: the buffer, and when the next one will be heard while the server
    // has not yet told its latency.
    std::vector<int16_t> serverBuffer;
    bool nextAtKnown = false;
    SteadyClock::time_point nextAt{};
#endif
};

SoundOutput output;

void setPlaying(const std::string& name, const std::string& device, double delayMs)
{
    std::lock_guard<std::mutex> lock(output.stateLock);
    output.outputName = name;
    output.deviceName = device;
    output.reportedMs.store(delayMs);
    output.underruns.store(0);
}

// Whether SDL_AUDIODRIVER asks for an SDL driver other than a sound server's.
bool sdlDriverChosen()
{
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return driver && *driver && std::strcmp(driver, "pulseaudio") != 0 &&
           std::strcmp(driver, "pipewire") != 0;
}

// ---- the sound server -------------------------------------------------------------------------
#ifdef ORVANTI_HAVE_PULSE

void signalLoop(pa_context*, void*)
{
    pa_threaded_mainloop_signal(output.loop, 0);
}

void signalStream(pa_stream*, void*)
{
    pa_threaded_mainloop_signal(output.loop, 0);
}

void countUnderrun(pa_stream*, void*)
{
    output.underruns++;
}

// Undoes connectServer and openServerStream, also half done; the loop must not be locked.
void disconnectServer()
{
    if (!output.loop)
        return;
    pa_threaded_mainloop_lock(output.loop);
    if (output.stream) {
        pa_stream_disconnect(output.stream);
        pa_stream_unref(output.stream);
        output.stream = nullptr;
    }
    if (output.context) {
        pa_context_disconnect(output.context);
        pa_context_unref(output.context);
        output.context = nullptr;
    }
    pa_threaded_mainloop_unlock(output.loop);
    pa_threaded_mainloop_stop(output.loop);   // after this no callback runs
    pa_threaded_mainloop_free(output.loop);
    output.loop = nullptr;
}

// Connects to the server without starting one. Returns with the loop locked; false (and
// everything released) where no server answers.
bool connectServer()
{
    output.loop = pa_threaded_mainloop_new();
    if (!output.loop)
        return false;
    output.context = pa_context_new(pa_threaded_mainloop_get_api(output.loop), "orvanti");
    if (output.context) {
        pa_context_set_state_callback(output.context, signalLoop, nullptr);
        if (pa_context_connect(output.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
            pa_threaded_mainloop_start(output.loop) >= 0) {
            pa_threaded_mainloop_lock(output.loop);
            for (;;) {
                pa_context_state_t state = pa_context_get_state(output.context);
                if (state == PA_CONTEXT_READY)
                    return true;
                if (!PA_CONTEXT_IS_GOOD(state))
                    break;
                pa_threaded_mainloop_wait(output.loop);
            }
            pa_threaded_mainloop_unlock(output.loop);
        }
    }
    disconnectServer();
    return false;
}

// The server asks for `bytes`: mixed a buffer at a time, each told when it will be heard. The
// latency the server reports is the time until a frame written now is played: what it holds
// plus its sink's delay. Before its first report each buffer follows the one before.
void writeToServer(pa_stream* stream, size_t bytes, void*)
{
    int frames = (int)(bytes / 4);
    while (frames > 0) {
        int n = std::min(frames, OUTPUT_BUFFER_FRAMES);
        SteadyClock::time_point now = SteadyClock::now(), at = now;
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
            double ms = (negative ? -1.0 : 1.0) * (double)latency / 1000.0;
            at = now + msDuration(ms);
            output.reportedMs.store(ms);
        } else if (output.nextAtKnown) {
            at = std::max(output.nextAt, now);
        }
        output.nextAt = at + msDuration(n * 1000.0 / output.mixRate);
        output.nextAtKnown = true;
        output.mix(output.serverBuffer.data(), n, at, DEVICE_SPAN);
        pa_stream_write(stream, output.serverBuffer.data(), (size_t)n * 4, nullptr, 0,
                        PA_SEEK_RELATIVE);
        frames -= n;
    }
}

bool openServerStream(const std::string& device)
{
    if (!connectServer())
        return false;   // nothing is locked or left
    pa_sample_spec format{PA_SAMPLE_S16NE, (uint32_t)output.mixRate, 2};
    output.stream = pa_stream_new(output.context, "music", &format, nullptr);
    bool ready = false;
    if (output.stream) {
        output.serverBuffer.assign(OUTPUT_BUFFER_FRAMES * 2, 0);
        output.nextAtKnown = false;
        pa_stream_set_state_callback(output.stream, signalStream, nullptr);
        pa_stream_set_write_callback(output.stream, writeToServer, nullptr);
        pa_stream_set_underflow_callback(output.stream, countUnderrun, nullptr);
        // The whole latency asked for; PULSE_LATENCY_MSEC overrides it, as for every client.
        pa_buffer_attr attr{(uint32_t)-1,
                            (uint32_t)pa_usec_to_bytes(SERVER_LATENCY_MS * 1000, &format),
                            (uint32_t)-1, (uint32_t)-1, (uint32_t)-1};
        auto flags = (pa_stream_flags_t)(PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(output.stream, device.empty() ? nullptr : device.c_str(),
                                       &attr, flags, nullptr, nullptr) >= 0) {
            for (;;) {
                pa_stream_state_t state = pa_stream_get_state(output.stream);
                if (state == PA_STREAM_READY) {
                    ready = true;
                    break;
                }
                if (!PA_STREAM_IS_GOOD(state))
                    break;
                pa_threaded_mainloop_wait(output.loop);
            }
        }
    }
    const char* sinkName = ready ? pa_stream_get_device_name(output.stream) : nullptr;
    std::string sink = sinkName ? sinkName : "";
    pa_threaded_mainloop_unlock(output.loop);
    if (!ready) {
        disconnectServer();
        return false;
    }
    setPlaying("PulseAudio", sink, output.reportedMs.load());
    return true;
}

struct SinkList {
    std::vector<SoundDevice>* devices = nullptr;
    std::string defaultSink;
    bool done = false;
};

void addSink(pa_context*, const pa_sink_info* info, int last, void* list)
{
    SinkList* sinks = static_cast<SinkList*>(list);
    if (last) {
        sinks->done = true;
        pa_threaded_mainloop_signal(output.loop, 0);
        return;
    }
    sinks->devices->push_back(
        {info->name, info->description ? info->description : "", sinks->defaultSink == info->name});
}

void noteDefaultSink(pa_context*, const pa_server_info* info, void* list)
{
    SinkList* sinks = static_cast<SinkList*>(list);
    sinks->defaultSink = info && info->default_sink_name ? info->default_sink_name : "";
    sinks->done = true;
    pa_threaded_mainloop_signal(output.loop, 0);
}

// Waits for an operation of the locked loop; false when the connection failed meanwhile.
bool await(pa_operation* operation, const bool& done)
{
    if (!operation)
        return false;
    while (!done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(output.loop);
    pa_operation_unref(operation);
    return done;
}

// The server's sinks; false where no server answers. Only while no output plays.
bool listServerSinks(std::vector<SoundDevice>* devices)
{
    if (output.loop || !connectServer())
        return false;
    SinkList sinks;
    sinks.devices = devices;
    bool listed =
        await(pa_context_get_server_info(output.context, noteDefaultSink, &sinks), sinks.done);
    sinks.done = false;
    listed =
        listed && await(pa_context_get_sink_info_list(output.context, addSink, &sinks), sinks.done);
    pa_threaded_mainloop_unlock(output.loop);
    disconnectServer();
    return listed;
}

#else
bool openServerStream(const std::string&)
{
    return false;
}
bool listServerSinks(std::vector<SoundDevice>*)
{
    return false;
}
void disconnectServer() {}
#endif

// ---- SDL's audio ------------------------------------------------------------------------------

// SDL hands over a buffer when its device wants one and plays it after the one it holds.
void SDLCALL sdlAudioCallback(void*, Uint8* buffer, int bytes)
{
    SteadyClock::time_point at = SteadyClock::now() + msDuration(output.sdlBufferMs);
    output.mix(reinterpret_cast<int16_t*>(buffer), bytes / 4, at, DEVICE_SPAN);
}

bool startSdlAudio()
{
    if (!SDL_WasInit(SDL_INIT_AUDIO)) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        output.audioSubsystem = true;
    }
    return true;
}

void stopSdlAudio()
{
    if (output.device) {
        SDL_CloseAudioDevice(output.device);   // waits for the audio thread
        output.device = 0;
    }
    if (output.audioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        output.audioSubsystem = false;
    }
}

bool openSdlDevice(const std::string& device)
{
    if (!startSdlAudio())
        return false;
    SDL_AudioSpec want{};
    want.freq = output.mixRate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = OUTPUT_BUFFER_FRAMES;
    want.callback = sdlAudioCallback;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the device really takes.
    output.device =
        SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 0, &want, &have, 0);
    if (output.device == 0) {
        stopSdlAudio();
        return false;
    }
    output.sdlBufferMs = have.samples * 1000.0 / have.freq;
    setPlaying(std::string("SDL ") + SDL_GetCurrentAudioDriver(),
               device.empty() ? "default" : device, output.sdlBufferMs);
    SDL_PauseAudioDevice(output.device, 0);
    return true;
}

// ---- the null output --------------------------------------------------------------------------

// Buffers consumed on a fixed wall-clock schedule, so no drift builds up.
void runNullOutput()
{
    std::vector<int16_t> buffer(OUTPUT_BUFFER_FRAMES * 2);
    SteadyClock::duration period = msDuration(OUTPUT_BUFFER_FRAMES * 1000.0 / output.mixRate);
    SteadyClock::time_point next = SteadyClock::now();
    uint32_t random = 1;
    std::unique_lock<std::mutex> lock(output.nullLock);
    while (!output.nullStop) {
        SteadyClock::time_point call = next;
        if (int jitter = output.jitterMs.load()) {
            random = random * 69069 + 1;
            call += msDuration((double)((int)(random >> 16) % (2 * jitter + 1) - jitter));
        }
        if (output.nullWake.wait_until(lock, call, [] { return output.nullStop; }))
            break;
        lock.unlock();
        // The null output consumes on the schedule whether or not this thread keeps up, so the
        // clock runs on the schedule too, past a late buffer.
        output.mix(buffer.data(), OUTPUT_BUFFER_FRAMES, call, NULL_OUTPUT_SPAN);
        lock.lock();
        next += period;
        // After a stall (a suspended process) carry on from now rather than racing to catch up.
        if (SteadyClock::now() - next > NULL_OUTPUT_STALL)
            next = SteadyClock::now();
    }
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
    disconnectServer();
    stopSdlAudio();
    setPlaying("none", "", 0.0);
}

}   // namespace

bool openSoundOutput(int outputType, int mixRate, const std::string& device, SoundMixFunction mix)
{
    output.mix = mix;
    output.mixRate = mixRate;
    if (outputType == FSOUND_OUTPUT_NOSOUND_NONREALTIME) {
        setPlaying("none (not in real time)", "", 0.0);
        return true;
    }
    if (outputType == FSOUND_OUTPUT_NOSOUND) {
        setPlaying("none (muted)", "", 0.0);
        output.nullStop = false;
        output.nullThread = std::thread(runNullOutput);
        return true;
    }
    if (!sdlDriverChosen() && openServerStream(device))
        return true;
    return openSdlDevice(device);
}

void closeSoundOutput()
{
    stopOutput();
}

SoundOutputState soundOutputNow()
{
    std::lock_guard<std::mutex> lock(output.stateLock);
    SoundOutputState state;
    state.output = output.outputName;
    state.device = output.deviceName;
    state.reportedMs = output.reportedMs.load();
    state.underruns = output.underruns.load();
    return state;
}

std::string soundOutputDevices(std::vector<SoundDevice>* devices)
{
    devices->clear();
    if (!sdlDriverChosen() && listServerSinks(devices))
        return "PulseAudio";
    devices->clear();
    bool started = !SDL_WasInit(SDL_INIT_AUDIO);
    if (started && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return "SDL";
    std::string name = std::string("SDL ") + SDL_GetCurrentAudioDriver();
    for (int i = 0, n = SDL_GetNumAudioDevices(0); i < n; i++)
        if (const char* device = SDL_GetAudioDeviceName(i, 0))
            devices->push_back({device, "", false});
    if (started)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return name;
}

void soundOutputJitterForTesting(int ms)
{
    output.jitterMs.store(ms);
}
