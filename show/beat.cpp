// Beat envelopes, counters and flashes, and the ripple warps for the grid pass. All are
// functions of show time alone; the passes draw one additive grey quad over the letterbox.
#include "show/show_local.h"

#include <cmath>
#include <limits>

float tickEnvelope(float time, const int32_t* table, int32_t count, float decay)
{
    float r = time * 64.0f;
    float sum = 0.0f;
    for (int32_t i = 0; i < count; i++) {
        float start = (float)table[i];
        float next = i < count - 1 ? (float)table[i + 1] : std::numeric_limits<float>::infinity();
        if (start <= r && r < next)
            sum += clamp01(1.0f - (r - start) * decay);
    }
    return sum;
}

int32_t ticksReached(float time, const int32_t* table, int32_t count)
{
    float r = time * 64.0f;
    int32_t n = 0;
    for (int32_t i = 0; i < count; i++)
        if ((float)table[i] <= r)
            n++;
    return n;
}

float tickFlash(float time, float decay)
{
    return tickEnvelope(time, ticktable, TICK_COUNT, decay);
}

int32_t tickCount(float time)
{
    return ticksReached(time, ticktable, TICK_COUNT);
}

int32_t halfPatternIndex(float time)
{
    return (int32_t)std::floor(2.0 * (double)time);
}

float halfPatternFlash(float time, float decay)
{
    return clamp01(1.0f - (2.0f * time - (float)halfPatternIndex(time)) * decay * 64.0f);
}

float pulse(float time, float strength, float rate, float decay)
{
    float phase = std::fmod(time, 1.0f / rate);
    return clamp01(1.0f - rate * phase * decay) * strength;
}

float backbeatStep(float time)
{
    float x = time + 0.0625f;
    return (x - std::fmod(x, 0.125f)) * 8.0f;
}

void drawTickFlash(float time, float strength)
{
    addScreenGrey(tickFlash(time, 0.1f) * strength);
}

void drawHalfPatternFlash(float time, float strength)
{
    addScreenGrey(halfPatternFlash(time, 0.1f) * strength);
}

void drawPulse(float time, float strength, float rate, float decay)
{
    addScreenGrey(pulse(time, strength, rate, decay));
}

void drawBackbeatPulse(float time)
{
    drawPulse(time + 0.0625f, 0.075f, 8.0f, 4.0f);
}

void fillAlphaChannel(RenderFlags flags)
{
    fillScreenAlpha(flags);
}

// s and t ripple on crossed sines of the grid position and time; the three warps differ only
// in how s drifts.
static Vec3* ripple(Vec3* out, double time, const Vec3* v, double amplitude, double drift)
{
    double x = v->x, y = v->y;
    double s = 0.8 * x + 0.1 +
               0.04 * amplitude *
                   std::sin(2.0 * std::sin(4.1982 * time - 8.182 * x) + 8.172 * y + 3.929 * time);
    double t = 0.8 * y + 0.1 +
               0.04 * amplitude *
                   std::sin(3.0 * std::sin(3.8129 * time - 5.812 * y) + 9.071 * x + 5.381 * time);
    out->x = (float)(s + drift);
    out->y = (float)t;
    out->z = v->z;
    return out;
}

Vec3* rippleWarp(Vec3* out, float time, const Vec3* vertex, const Vec3*, float, float amplitude)
{
    return ripple(out, time, vertex, amplitude, 0.0);
}

Vec3* rippleWarpScrollBack(Vec3* out, float time, const Vec3* vertex, const Vec3*, float,
                           float amplitude)
{
    return ripple(out, time, vertex, amplitude, -(double)time);
}

Vec3* rippleWarpScrollHalf(Vec3* out, float time, const Vec3* vertex, const Vec3*, float,
                           float amplitude)
{
    return ripple(out, time, vertex, amplitude, 0.5 * time);
}
