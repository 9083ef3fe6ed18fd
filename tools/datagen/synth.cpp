// Voices and effects of the music synthesizer. Envelopes are exponential decays advanced by one
// multiplication per sample; filters update their coefficients every few samples.
#include "synth.h"

#include <algorithm>
#include <cmath>

#include "image.h"   // Rng

namespace datagen::synth {

namespace {

constexpr float PI_F = 3.14159265f;
constexpr float TAU_F = 6.2831853f;
constexpr int FILTER_STEP = 16;

int64_t seconds(float s)
{
    return int64_t(s * float(RATE));
}

// Multiplier that makes a value fall to 1/e in tau seconds.
float decayFactor(float tau)
{
    return std::exp(-1.0f / (tau * float(RATE)));
}

// Six detuned square waves, the classic metallic source of hats and cymbals.
struct Metal {
    float phase[6] = {0.11f, 0.37f, 0.52f, 0.71f, 0.23f, 0.89f};
    float step[6];
    explicit Metal(float scale)
    {
        const float hz[6] = {205.3f, 304.4f, 369.6f, 522.7f, 540.0f, 800.0f};
        for (int i = 0; i < 6; ++i)
            step[i] = hz[i] * scale / float(RATE);
    }
    float next()
    {
        float sum = 0;
        for (int i = 0; i < 6; ++i) {
            phase[i] += step[i];
            if (phase[i] >= 1)
                phase[i] -= 1;
            sum += phase[i] < 0.5f ? 1.0f : -1.0f;
        }
        return sum / 6.0f;
    }
};

}   // namespace

void Stereo::add(int64_t i, float v, float pan)
{
    if (i < 0 || i >= frames())
        return;
    float angle = (std::clamp(pan, -1.0f, 1.0f) + 1) * 0.25f * PI_F;
    l[size_t(i)] += v * std::cos(angle) * 1.41421356f;
    r[size_t(i)] += v * std::sin(angle) * 1.41421356f;
}

float noteHz(float note)
{
    return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f);
}

void Svf::set(float cutoffHz, float q)
{
    float g = std::tan(PI_F * std::clamp(cutoffHz, 20.0f, float(RATE) * 0.45f) / float(RATE));
    k = 1.0f / q;
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
}

float sawStep(float& phase, float step)
{
    phase += step;
    if (phase >= 1)
        phase -= 1;
    float v = 2 * phase - 1;
    // polyBLEP: smooth the jump over one sample on each side.
    if (phase < step) {
        float t = phase / step;
        v -= t + t - t * t - 1;
    } else if (phase > 1 - step) {
        float t = (phase - 1) / step;
        v -= t * t + t + t + 1;
    }
    return v;
}

// --- Drums -----------------------------------------------------------------------------------

void kick(Stereo& out, int64_t start, float gain)
{
    const int64_t length = seconds(0.5f);
    float phase = 0, pitch = 1, amp = 1, click = 1;
    const float pitchFall = decayFactor(0.032f), ampFall = decayFactor(0.30f),
                clickFall = decayFactor(0.0025f);
    Rng rng(uint32_t(start) * 2654435761U + 1);
    for (int64_t i = 0; i < length; ++i) {
        float hz = 43.0f + 125.0f * pitch;
        phase += hz / float(RATE);
        float attack = std::min(1.0f, float(i) / 24.0f);
        float release = std::min(1.0f, float(length - i) / float(seconds(0.02f)));
        float body = std::sin(TAU_F * phase) * amp * attack * release;
        float v = body + rng.signedUnit() * click * 0.25f;
        out.add(start + i, softClip(1.15f * v) * gain);
        pitch *= pitchFall;
        amp *= ampFall;
        click *= clickFall;
    }
}

void clap(Stereo& out, int64_t start, float gain, uint32_t seed)
{
    const int64_t length = seconds(0.4f);
    Rng rng(seed);
    Svf left, right;
    left.set(1250, 1.4f);
    right.set(1400, 1.4f);
    const float burstFall = decayFactor(0.0045f), tailFall = decayFactor(0.10f);
    float burst = 1, tail = 0;
    const int64_t bursts[3] = {0, seconds(0.011f), seconds(0.022f)};
    for (int64_t i = 0; i < length; ++i) {
        if (i == bursts[1] || i == bursts[2])
            burst = 1;
        if (i == seconds(0.03f))
            tail = 0.8f;
        float env = burst + tail;
        float nl = rng.signedUnit(), nr = rng.signedUnit();
        float l = left.run(nl * env).band, r = right.run(nr * env).band;
        out.addLR(start + i, l * gain * 2.2f, r * gain * 2.2f);
        burst *= burstFall;
        tail *= tailFall;
    }
}

void snare(Stereo& out, int64_t start, float gain, uint32_t seed)
{
    const int64_t length = seconds(0.35f);
    Rng rng(seed);
    Svf high;
    high.set(1800, 0.8f);
    float phase = 0, toneAmp = 0.7f, noiseAmp = 1;
    const float toneFall = decayFactor(0.055f), noiseFall = decayFactor(0.13f);
    for (int64_t i = 0; i < length; ++i) {
        phase += (175.0f + 40.0f * toneAmp) / float(RATE);
        float noise = high.run(rng.signedUnit()).high * noiseAmp;
        float v = std::sin(TAU_F * phase) * toneAmp + noise * 0.8f;
        out.add(start + i, softClip(v * 1.3f) * gain);
        toneAmp *= toneFall;
        noiseAmp *= noiseFall;
    }
}

void hat(Stereo& out, int64_t start, float gain, bool open, float pan, uint32_t seed)
{
    const int64_t length = seconds(open ? 0.7f : 0.14f);
    Rng rng(seed);
    Metal metal(1.0f);
    Svf filter;
    filter.set(7500, 0.7f);
    float amp = 1;
    const float fall = decayFactor(open ? 0.21f : 0.032f);
    for (int64_t i = 0; i < length; ++i) {
        float src = metal.next() * 0.6f + rng.signedUnit() * 0.5f;
        float v = filter.run(src).high * amp;
        out.add(start + i, v * gain, pan);
        amp *= fall;
    }
}

void crash(Stereo& out, int64_t start, float gain, uint32_t seed)
{
    const int64_t length = seconds(3.0f);
    Rng rng(seed);
    Metal metalL(1.71f), metalR(1.83f);
    Svf left, right;
    left.set(3800, 0.6f);
    right.set(4100, 0.6f);
    float amp = 1;
    const float fall = decayFactor(1.0f);
    for (int64_t i = 0; i < length; ++i) {
        float attack = std::min(1.0f, float(i) / 40.0f);
        float release = std::min(1.0f, float(length - i) / float(seconds(0.3f)));
        float env = amp * attack * release;
        float l = left.run(rng.signedUnit() * 0.7f + metalL.next() * 0.5f).high * env;
        float r = right.run(rng.signedUnit() * 0.7f + metalR.next() * 0.5f).high * env;
        out.addLR(start + i, l * gain, r * gain);
        amp *= fall;
    }
}

void impact(Stereo& out, int64_t start, float gain, uint32_t seed)
{
    const int64_t length = seconds(2.5f);
    Rng rng(seed);
    Svf dark;
    float phase = 0, pitch = 1, boomAmp = 1, noiseAmp = 1, sweep = 1;
    const float pitchFall = decayFactor(0.16f), boomFall = decayFactor(0.7f);
    const float noiseFall = decayFactor(0.35f), sweepFall = decayFactor(0.22f);
    for (int64_t i = 0; i < length; ++i) {
        if (i % FILTER_STEP == 0)
            dark.set(250.0f + 9000.0f * sweep, 0.9f);
        phase += (30.0f + 70.0f * pitch) / float(RATE);
        float attack = std::min(1.0f, float(i) / 30.0f);
        float release = std::min(1.0f, float(length - i) / float(seconds(0.2f)));
        float boom = std::sin(TAU_F * phase) * boomAmp;
        float noise = dark.run(rng.signedUnit()).low * noiseAmp;
        float v = (softClip(boom * 1.2f) * 0.8f + noise * 0.5f) * attack * release;
        out.add(start + i, v * gain);
        pitch *= pitchFall;
        boomAmp *= boomFall;
        noiseAmp *= noiseFall;
        sweep *= sweepFall;
    }
    crash(out, start, gain * 0.55f, seed ^ 0x5A5A5A5Au);
}

// --- Tonal voices ----------------------------------------------------------------------------

void bassNote(Stereo& out, int64_t start, int64_t length, float note, float gain,
              const BassParams& p)
{
    const int64_t release = seconds(0.02f), total = length + release;
    const float hz = noteHz(note), step = hz / float(RATE);
    Svf filter;
    float saw = 0, sub = 0, env = 1;
    const float envFall = decayFactor(p.decay);
    for (int64_t i = 0; i < total; ++i) {
        if (i % FILTER_STEP == 0)
            filter.set(p.cutoff + p.envelope * env, p.q);
        float osc = sawStep(saw, step) * 0.7f;
        sub += step;
        if (sub >= 1)
            sub -= 1;
        osc += std::sin(TAU_F * sub) * p.sub;
        float attack = std::min(1.0f, float(i) / float(seconds(0.003f)));
        float gate = i < length ? 1.0f : 1.0f - float(i - length) / float(release);
        float v = filter.run(osc).low * attack * gate;
        out.add(start + i, softClip(v * 1.4f) * gain);
        env *= envFall;
    }
}

void padChord(Stereo& out, int64_t start, int64_t length, const float* notes, int count, float gain,
              float cutoff, float attack, float release, uint32_t seed)
{
    constexpr int VOICES = 5, MAX = 4 * VOICES;
    const float detune[VOICES] = {-0.13f, -0.06f, 0.0f, 0.07f, 0.12f};
    const float spread[VOICES] = {0.08f, 0.72f, 0.5f, 0.3f,
                                  0.9f};   // share of each voice on the right
    Rng rng(seed);
    float phase[MAX], step[MAX], right[MAX];
    const int n = std::min(count, 4) * VOICES;
    for (int i = 0; i < n; ++i) {
        phase[i] = rng.unit();
        step[i] = noteHz(notes[i / VOICES] + detune[i % VOICES]) / float(RATE);
        right[i] = spread[(i + i / VOICES) % VOICES];
    }
    const int64_t attackLen = std::max<int64_t>(1, seconds(attack));
    const int64_t releaseLen = std::max<int64_t>(1, seconds(release));
    const int64_t total = length + releaseLen;
    Svf left, rightFilter;
    const float lfoStep = 0.17f / float(RATE);
    float lfo = rng.unit();
    for (int64_t i = 0; i < total; ++i) {
        if (i % FILTER_STEP == 0) {
            float c = cutoff * (1.0f + 0.25f * std::sin(TAU_F * lfo));
            left.set(c, 0.8f);
            rightFilter.set(c * 1.05f, 0.8f);
        }
        lfo += lfoStep;
        float l = 0, r = 0;
        for (int v = 0; v < n; ++v) {
            float s = sawStep(phase[v], step[v]);
            l += s * (1 - right[v]);
            r += s * right[v];
        }
        float env = std::min(1.0f, float(i) / float(attackLen));
        if (i >= length)
            env *= 1.0f - float(i - length) / float(releaseLen);
        float g = env * gain * 0.2f;
        out.addLR(start + i, left.run(l).low * g, rightFilter.run(r).low * g);
    }
}

void pluckNote(Stereo& out, int64_t start, float note, float gain, float cutoff, float decay,
               float pan)
{
    const int64_t total = seconds(std::min(decay * 5.0f, 2.0f));
    const float hz = noteHz(note);
    float a = 0.0f, b = 0.5f;
    Svf filter;
    float env = 1, amp = 1;
    const float envFall = decayFactor(decay), ampFall = decayFactor(decay * 2.5f);
    for (int64_t i = 0; i < total; ++i) {
        if (i % FILTER_STEP == 0)
            filter.set(180.0f + cutoff * env, 1.1f);
        float osc =
            sawStep(a, hz / float(RATE)) * 0.6f + sawStep(b, hz * 1.004f / float(RATE)) * 0.4f;
        float attack = std::min(1.0f, float(i) / 40.0f);
        float release = std::min(1.0f, float(total - i) / float(seconds(0.05f)));
        out.add(start + i, filter.run(osc).low * amp * attack * release * gain, pan);
        env *= envFall;
        amp *= ampFall;
    }
}

void leadNote(Stereo& out, int64_t start, int64_t length, float note, float gain, float cutoff)
{
    const int64_t release = seconds(0.09f), total = length + release;
    float a = 0.0f, b = 0.33f, c = 0.66f, vib = 0;
    Svf filter;
    float env = 1;
    const float envFall = decayFactor(0.09f);
    for (int64_t i = 0; i < total; ++i) {
        float t = float(i) / float(RATE);
        vib += 5.5f / float(RATE);
        float depth = 0.16f * smoothstep(0.15f, 0.45f, t);
        float hz = noteHz(note + depth * std::sin(TAU_F * vib));
        if (i % FILTER_STEP == 0)
            filter.set(cutoff * (1.0f + 1.8f * env), 1.3f);
        float osc = sawStep(a, hz * 0.996f / float(RATE)) * 0.45f +
                    sawStep(b, hz * 1.004f / float(RATE)) * 0.45f +
                    sawStep(c, hz * 0.5f / float(RATE)) * 0.25f;
        float attack = std::min(1.0f, float(i) / float(seconds(0.006f)));
        float sustain = 0.78f + 0.22f * env;
        float gate = i < length ? 1.0f : 1.0f - float(i - length) / float(release);
        out.add(start + i, filter.run(osc).low * attack * sustain * gate * gain);
        env *= envFall;
    }
}

void bellNote(Stereo& out, int64_t start, float note, float gain, float pan)
{
    const int64_t total = seconds(3.0f);
    const float hz = noteHz(note);
    float carrier = 0, modulator = 0, index = 2.6f, amp = 1;
    const float indexFall = decayFactor(0.35f), ampFall = decayFactor(1.1f);
    for (int64_t i = 0; i < total; ++i) {
        modulator += hz * 3.5f / float(RATE);
        carrier += hz / float(RATE);
        float v = std::sin(TAU_F * carrier + index * std::sin(TAU_F * modulator));
        float attack = std::min(1.0f, float(i) / 60.0f);
        float release = std::min(1.0f, float(total - i) / float(seconds(0.2f)));
        out.add(start + i, v * amp * attack * release * gain, pan);
        index *= indexFall;
        amp *= ampFall;
    }
}

void riser(Stereo& out, int64_t start, int64_t length, float gain, bool down, uint32_t seed)
{
    Rng rng(seed);
    Svf left, right;
    float phase = 0;
    for (int64_t i = 0; i < length; ++i) {
        float x = float(i) / float(length);
        float p = down ? 1 - x : x;
        if (i % FILTER_STEP == 0) {
            float c = 250.0f * std::pow(36.0f, p);
            left.set(c, 2.2f);
            right.set(c * 1.07f, 2.2f);
        }
        phase += (180.0f * std::pow(8.0f, p)) / float(RATE);
        float level = down ? (1 - x) * (1 - x) : x * x;
        float fade = std::min(1.0f, float(length - i) / 200.0f) * std::min(1.0f, float(i) / 200.0f);
        float tone = std::sin(TAU_F * phase) * 0.15f;
        float l = left.run(rng.signedUnit()).band + tone,
              r = right.run(rng.signedUnit()).band + tone;
        out.addLR(start + i, l * level * fade * gain, r * level * fade * gain);
    }
}

// --- Effects ---------------------------------------------------------------------------------

namespace {
struct Comb {
    std::vector<float> buf;
    size_t idx = 0;
    float store = 0;
    explicit Comb(size_t n)
        : buf(n, 0.0f)
    {
    }
    float run(float in, float feedback, float damp)
    {
        float y = buf[idx];
        store = y * (1 - damp) + store * damp;
        buf[idx] = in + store * feedback;
        if (++idx == buf.size())
            idx = 0;
        return y;
    }
};
struct Allpass {
    std::vector<float> buf;
    size_t idx = 0;
    explicit Allpass(size_t n)
        : buf(n, 0.0f)
    {
    }
    float run(float in)
    {
        float b = buf[idx];
        buf[idx] = in + b * 0.5f;
        if (++idx == buf.size())
            idx = 0;
        return b - in;
    }
};
}   // namespace

void reverb(const Stereo& in, Stereo& out, float room, float damping, float level)
{
    const size_t combLen[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    const size_t allLen[4] = {556, 441, 341, 225};
    const size_t spread = 23;
    std::vector<Comb> combL, combR;
    std::vector<Allpass> allL, allR;
    for (size_t n : combLen) {
        combL.emplace_back(n);
        combR.emplace_back(n + spread);
    }
    for (size_t n : allLen) {
        allL.emplace_back(n);
        allR.emplace_back(n + spread);
    }
    const int64_t frames = std::min(in.frames(), out.frames());
    for (int64_t i = 0; i < frames; ++i) {
        float x = (in.l[size_t(i)] + in.r[size_t(i)]) * 0.015f;
        float l = 0, r = 0;
        for (int c = 0; c < 8; ++c) {
            l += combL[size_t(c)].run(x, room, damping);
            r += combR[size_t(c)].run(x, room, damping);
        }
        for (int a = 0; a < 4; ++a) {
            l = allL[size_t(a)].run(l);
            r = allR[size_t(a)].run(r);
        }
        out.l[size_t(i)] += l * level;
        out.r[size_t(i)] += r * level;
    }
}

void pingPongDelay(const Stereo& in, Stereo& out, int64_t delay, float feedback, float level)
{
    std::vector<float> dl(size_t(delay), 0.0f), dr(size_t(delay), 0.0f);
    size_t idx = 0;
    float toneL = 0, toneR = 0;
    const int64_t frames = std::min(in.frames(), out.frames());
    for (int64_t i = 0; i < frames; ++i) {
        float yl = dl[idx], yr = dr[idx];
        // A one-pole low-pass in the loop darkens every repeat.
        toneL += (yr - toneL) * 0.45f;
        toneR += (yl - toneR) * 0.45f;
        dl[idx] = (in.l[size_t(i)] + in.r[size_t(i)]) * 0.5f + toneL * feedback;
        dr[idx] = toneR * feedback;
        if (++idx == dl.size())
            idx = 0;
        out.l[size_t(i)] += yl * level;
        out.r[size_t(i)] += yr * level;
    }
}

}   // namespace datagen::synth
