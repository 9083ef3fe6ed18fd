// The outputs of the sound library: SDL's default audio device, a null output that consumes
// buffers on the wall clock on a thread of ours, and a non-real-time output that consumes
// nothing. Private to the sound library.
#pragma once

#include <chrono>
#include <cstdint>

using SteadyClock = std::chrono::steady_clock;

// Fills one buffer of 16-bit stereo frames that starts to play at `at`; the clock may run on for
// `span` buffers past its start before the next buffer. Called on the output's own thread.
using SoundMixFunction = void (*)(int16_t* out, int frames, SteadyClock::time_point at, int span);

// Starts the output for an FSOUND_OUTPUT_ word (the non-real-time one starts nothing). False if
// the device cannot be opened.
bool openSoundOutput(int outputType, int mixRate, SoundMixFunction mix);
// Stops it; no mix call runs after this returns.
void closeSoundOutput();
