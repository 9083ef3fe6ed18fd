// The outputs of the sound library: a sound server's stream (the PulseAudio API, which PipeWire
// serves too), SDL's audio as the fallback where no server answers, a null output that consumes
// buffers on the wall clock on a thread of ours, and a non-real-time output that consumes
// nothing. Private to the sound library.
//
// Each output tells the mixer when the first frame of every buffer will be heard: the server's
// stream from the latency the server reports, SDL from its own buffer (it reports nothing more),
// the null output from its schedule.
#pragma once

#include "music/sound.h"   // SoundDevice, SoundOutputState

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using SteadyClock = std::chrono::steady_clock;

// A span of milliseconds on the steady clock.
inline SteadyClock::duration msDuration(double ms)
{
    return std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

// Fills one buffer of 16-bit stereo frames whose first frame is heard at `at`; the clock may run
// on for `span` buffers past its start before the next buffer. Called on the output's own thread.
using SoundMixFunction = void (*)(int16_t* out, int frames, SteadyClock::time_point at, int span);

// Starts the output for an FSOUND_OUTPUT_ word (the non-real-time one starts nothing) on the
// named device ("" for the system's default). False if the device cannot be opened.
bool openSoundOutput(int outputType, int mixRate, const std::string& device, SoundMixFunction mix);
// Stops it; no mix call runs after this returns.
void closeSoundOutput();
// What plays now; "none" before openSoundOutput.
SoundOutputState soundOutputNow();
// The device output that openSoundOutput would start, and its devices.
std::string soundOutputDevices(std::vector<SoundDevice>* devices);
