// A small synthesizer for the show's music: drum voices, a few tonal voices and the effects
// (state-variable filter, reverb, ping-pong delay). Every voice renders one note additively into
// a stereo buffer from a start sample; nothing here knows about the arrangement. All noise comes
// from seeded generators, so the same calls give the same samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace datagen::synth {

constexpr int RATE = 44100;

struct Stereo {
    std::vector<float> l, r;
    explicit Stereo(size_t frames)
        : l(frames, 0.0f)
        , r(frames, 0.0f)
    {
    }
    int64_t frames() const { return int64_t(l.size()); }
    // Adds a sample at frame i with a constant-power pan (-1 left .. 1 right); ignores frames
    // outside the buffer.
    void add(int64_t i, float v, float pan = 0.0f);
    void addLR(int64_t i, float left, float right)
    {
        if (i >= 0 && i < frames()) {
            l[size_t(i)] += left;
            r[size_t(i)] += right;
        }
    }
};

// MIDI note number to frequency (A4 = 69 = 440 Hz).
float noteHz(float note);

// Topology-preserving state-variable filter (low, band and high pass at once).
struct Svf {
    float ic1 = 0, ic2 = 0, a1 = 0, a2 = 0, a3 = 0, k = 1;
    void set(float cutoffHz, float q);
    struct Out {
        float low, band, high;
    };
    Out run(float in)
    {
        float v3 = in - ic2;
        float v1 = a1 * ic1 + a2 * v3;
        float v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        return {v2, v1, in - k * v1 - v2};
    }
};

// tanh-like saturation, exact at 0 and reaching ±1 at ±3.
inline float softClip(float x)
{
    if (x <= -3)
        return -1;
    if (x >= 3)
        return 1;
    float x2 = x * x;
    return x * (27 + x2) / (27 + 9 * x2);
}

// Band-limited sawtooth (polyBLEP), phase in 0..1, advanced by step per sample.
float sawStep(float& phase, float step);

// Drum voices. gain is the peak level, pan -1..1.
void kick(Stereo& out, int64_t start, float gain);
void clap(Stereo& out, int64_t start, float gain, uint32_t seed);
void snare(Stereo& out, int64_t start, float gain, uint32_t seed);
void hat(Stereo& out, int64_t start, float gain, bool open, float pan, uint32_t seed);
void crash(Stereo& out, int64_t start, float gain, uint32_t seed);
// A big accent: low boom, burst of noise and a bright chord hit.
void impact(Stereo& out, int64_t start, float gain, uint32_t seed);

// Tonal voices. length in samples (the note's gate); notes ring out a little after it.
struct BassParams {
    float cutoff = 400, envelope = 1200, q = 0.9f, decay = 0.12f, sub = 0.6f;
};
void bassNote(Stereo& out, int64_t start, int64_t length, float note, float gain,
              const BassParams& p);
// A chord of detuned saws through one filter per side; notes are MIDI numbers.
void padChord(Stereo& out, int64_t start, int64_t length, const float* notes, int count, float gain,
              float cutoff, float attack, float release, uint32_t seed);
void pluckNote(Stereo& out, int64_t start, float note, float gain, float cutoff, float decay,
               float pan);
void leadNote(Stereo& out, int64_t start, int64_t length, float note, float gain, float cutoff);
void bellNote(Stereo& out, int64_t start, float note, float gain, float pan);
// Noise sweep rising in pitch and level over length samples (falling when down is set).
void riser(Stereo& out, int64_t start, int64_t length, float gain, bool down, uint32_t seed);

// Effects over whole buffers.
void reverb(const Stereo& in, Stereo& out, float room, float damping, float level);
void pingPongDelay(const Stereo& in, Stereo& out, int64_t delay, float feedback, float level);

}   // namespace datagen::synth
