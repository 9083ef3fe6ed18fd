// The sprite trail of Scenes 2 and 10: the tables, the drawn window, the drift of the side points
// and the two scenes' camera travel, all without OpenGL.
#include "show/scenes/trail.h"

#include "show/show_local.h"

#include <algorithm>
#include <cmath>

namespace {

// Travel to spline parameter, and the window's lag behind the camera in entries.
constexpr double TRAIL_TRAVEL_SCALE = 0.05 * 0.25;
constexpr double TRAIL_WINDOW_LAG = 10.0;

}   // namespace

void fillTrailTables(TrailTables* tables, const Vec3* path, float sideSize, int32_t hiddenThrough)
{
    for (int32_t i = 0; i < TRAIL_KEY_COUNT; ++i) {
        Splinept& key = tables->keys[i];
        key.key = i;
        key.x = path[2 * i].x;
        key.y = path[2 * i].y;
        key.z = path[2 * i].z;
    }
    for (int32_t i = 0; i < TRAIL_ENTRY_COUNT; ++i)
        tables->randomValues[i] = randomUnit();
    for (int32_t i = 0; i < TRAIL_ENTRY_COUNT; ++i) {
        bool onCurve = (i & 1) == 0;
        tables->sprites[i] = onCurve ? 1 : 0;
        if (onCurve)
            tables->sizes[i] = 1.0f;
        else
            tables->sizes[i] = i <= hiddenThrough ? 0.0f : sideSize;
    }
    tables->ready = true;
}

int32_t trailFirstIndex(float travel)
{
    double entry = (double)travel * TRAIL_ENTRY_COUNT * TRAIL_TRAVEL_SCALE - TRAIL_WINDOW_LAG;
    return (int32_t)std::trunc(entry) & (TRAIL_ENTRY_COUNT / 2 - 1);
}

int32_t trailDrawCount(int32_t first, int32_t count)
{
    // Inside the scenes' windows the travel keeps the window far from the copy's end; a time
    // outside them must not read past it.
    return std::max(0, std::min(count, TRAIL_COPY_COUNT - first));
}

float trailSplineParameter(float travel)
{
    return (float)((double)travel * TRAIL_TRAVEL_SCALE);
}

void displaceTrail(Vec3* copy, const Vec3* path, float local, bool shiver, float jitter)
{
    for (int32_t i = 0; i < TRAIL_COPY_COUNT; i += 2)
        copy[i] = path[i];
    for (int32_t i = 1; i < TRAIL_COPY_COUNT; i += 2) {
        Vec3 p;
        p.x = (float)(path[i].x + 0.1 * std::sin(2.481 * local + i));
        p.y = (float)(path[i].y + 0.1 * std::sin(1.927 * local + i));
        p.z = (float)(path[i].z + 0.1 * std::sin(3.871 * local + i));
        if (shiver) {
            float* axes[3] = {&p.x, &p.y, &p.z};
            for (float* axis : axes) {
                float added = randomUnit();
                float taken = randomUnit();
                *axis += (added - taken) * jitter;
            }
        }
        copy[i] = p;
    }
}

Scene2Frame scene2Frame(float local)
{
    Scene2Frame frame;
    frame.step = backbeatStep(local);
    float v = local < 2.0f ? frame.step : -frame.step;
    double out = (double)local - 2.0;
    frame.travel = (float)(4.0 - out * out + 0.25 + 0.05 * v);
    if (local < 0.5f)
        frame.fade = 2.0f * local;
    else if (local >= 3.0f)
        frame.fade = (float)(1.0 - 2.0 * ((double)local - 3.0));
    else
        frame.fade = 1.0f;
    frame.parameter = trailSplineParameter(frame.travel);
    frame.first = trailFirstIndex(frame.travel);
    return frame;
}

float scene2FieldOfView(float local)
{
    float kick = halfPatternFlash(local, 0.05f);
    return 90.0f + 40.0f * kick * kick + 1.5f * pulse(local + 0.0625f, 1.0f, 8.0f, 8.0f);
}

Scene10Frame scene10Frame(float local)
{
    Scene10Frame frame;
    frame.travel = 2.0f * local + 4.0f;
    frame.parameter = trailSplineParameter(frame.travel);
    frame.open = 1.0f - clamp01((float)std::pow(2.0 * local, 0.3));
    frame.shift = (float)(1.0 - std::pow(local / 2.0, 3.0));
    frame.first = trailFirstIndex(frame.travel);
    return frame;
}

float scene10FieldOfView(float local, float open)
{
    float kick = halfPatternFlash(local, 0.05f);
    return 90.0f + 40.0f * kick * kick - 90.0f * open;
}

void trailAngles(float* angles, const float* randomValues, int32_t count, float local)
{
    for (int32_t i = 0; i < count; ++i)
        angles[i] = (float)(randomValues[i] + std::sin(local + 0.15 * i));
}
