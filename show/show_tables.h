// The show's times: the tempo, the scene windows and the accent ticks. This is the one copy of
// them: the timeline and the beat envelopes draw by them, the data generator (tools/datagen)
// writes the music to them, and the music's tests listen for them.
//
// Header-only and constexpr, with no engine types, so tools/ can include it.
#pragma once

#include <cstdint>
#include <iterator>

constexpr float SHOW_TEMPO = 125.0f;   // beats per minute of the music, which the clock follows
constexpr int32_t SCENE_COUNT = 11;
constexpr float SHOW_END = 39.5f;   // patterns

// A window [start, end) of the show, its start the end of the one before (the first opens at 0
// and also takes the times before it): which scene, and how its local time is derived from the
// show time t: local = (t - origin) x rate + offset.
struct SceneWindow {
    double end;   // patterns
    int32_t scene;
    double origin;
    double rate;
    double offset;
};

// Scene 9 counts from 28.5 although its window opens at 28.25; Scene 4's last window runs at a
// quarter speed from 38.5; Scenes 1, 4 and 5 take the show time itself.
inline constexpr SceneWindow SCENE_WINDOWS[] = {
    {6.0, 1, 0.0, 1.0, 0.0},     {9.5, 2, 6.0, 1.0, 0.0},    {13.75, 3, 9.5, 1.0, 0.0},
    {14.0, 4, 0.0, 1.0, 0.0},    {18.0, 5, 0.0, 1.0, 0.0},   {20.0, 6, 18.0, 1.0, 0.0},
    {22.0, 7, 20.0, 1.0, 0.0},   {28.25, 8, 22.0, 1.0, 0.0}, {32.25, 9, 28.5, 1.0, 0.0},
    {32.5, 4, 0.0, 1.0, 0.0},    {34.5, 10, 32.5, 1.0, 0.0}, {38.5, 11, 34.5, 1.0, 0.0},
    {39.5, 4, 38.5, 0.25, 38.5},
};
static_assert(std::end(SCENE_WINDOWS)[-1].end == SHOW_END, "the last window ends the show");

// The accent ticks in rows, 64 x pattern + row, ascending: the flashes and counts of Scenes 1 and
// 8, and the music's big hits. The last two lie long after the music.
constexpr int32_t TICK_COUNT = 12;
inline constexpr int32_t ticktable[TICK_COUNT] = {48,   56,   208,  216,  400,  408,
                                                  1552, 1560, 1680, 1688, 6400, 6464};
