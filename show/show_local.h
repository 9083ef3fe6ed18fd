// Show internals, for the scenes and the tests: the film grain, the scene entries and what the
// scenes share. Envelopes, counters and warps make no OpenGL call; the passes need the context.
#pragma once

#include "effects/effects.h"
#include "show/show.h"
#include "support/support.h"

#include <cstdint>

// ---- Scenes
// ---------------------------------------------------------------------------------------

// The noise layer over every frame; two new random offsets each call.
void drawFilmGrain();

// The scene entries, one file each in show/scenes/. Scenes 5, 6, 9 and 10 also take the capture
// flag that the precalculation sets to render their last picture into the 512 x 256 corner.
void drawScene1(float t);
void drawScene2(float local, float t);
void drawScene3(float local, float t);
void drawScene4(float t);
void drawScene5(float t, int32_t capture);
void drawScene6(float local, float t, int32_t capture);
void drawScene7(float local, float t);
void drawScene8(float local, float t);
void drawScene9(float local, float t, int32_t capture);
void drawScene10(float local, float t, int32_t capture);
void drawScene11(float local, float t);

// The entries the timeline calls, one shape for all: each draws the frame a SceneCall describes,
// handing its scene the arguments that scene takes. sceneEntries[n] is Scene n's; entry 0 (after
// the show) and a scene not built yet are null, which draws a cleared black frame. Filled in
// show/scene_entries.cpp, one line a scene.
using SceneEntry = void (*)(const SceneCall& call);
extern const SceneEntry sceneEntries[SCENE_COUNT + 1];

// ---- Beat envelopes and counters (pure) ----------------------------------------------------
//
// Row tables hold ascending positions in rows, 64 x pattern + row. An envelope jumps to 1 at each
// entry and falls linearly by decay per row until the next entry starts afresh; the last entry
// falls for ever.

// ticktable and TICK_COUNT are in show/show_tables.h.
float tickEnvelope(float time, const int32_t* table, int32_t count, float decay);
int32_t ticksReached(float time, const int32_t* table, int32_t count);
float tickFlash(float time, float decay);   // over ticktable
int32_t tickCount(float time);              // over ticktable
// floor(2 x time): the half pattern the time falls in (negative before 0).
int32_t halfPatternIndex(float time);
// 1 at every half pattern, falling by 2 x decay per row.
float halfPatternFlash(float time, float decay);
// rate pulses a pattern, each jumping to strength and gone after 1 / decay of the period.
// Negative times give the full strength.
float pulse(float time, float strength, float rate, float decay);
// The number of whole two-beat steps in time + one beat: it advances on the odd beats.
float backbeatStep(float time);

// ---- Full-screen passes ----------------------------------------------------------------------
//
// An additive grey quad over the letterbox. They leave blending on and depth test, fog, culling,
// lighting and texturing off: call them last or reset the state after them.

void drawTickFlash(float time, float strength);
void drawHalfPatternFlash(float time, float strength);
void drawPulse(float time, float strength, float rate, float decay);
// A pulse on every odd beat, peak grey 0.075.
void drawBackbeatPulse(float time);
// Writes alpha 1 over the pass area, colour untouched (the last step of a capture frame).
void fillAlphaChannel(RenderFlags flags);

// ---- Warps for drawGridWarp (pure) -----------------------------------------------------------
//
// They map the 0 ... 1 grid onto the middle 80 % of the texture and ripple it by up to
// 0.04 x amplitude; the centre and the parameter are ignored, r passes through.

Vec3* rippleWarp(Vec3* out, float time, const Vec3* vertex, const Vec3* centre, float parameter,
                 float amplitude);
// The same, drifting towards +x by one texture width a pattern.
Vec3* rippleWarpScrollBack(Vec3* out, float time, const Vec3* vertex, const Vec3* centre,
                           float parameter, float amplitude);
// The same, drifting towards -x by half a texture width a pattern.
Vec3* rippleWarpScrollHalf(Vec3* out, float time, const Vec3* vertex, const Vec3* centre,
                           float parameter, float amplitude);
