// The show, the one header other folders include: the scene windows over show time, the frame
// for a show time, and the snapshot step of the precalculation. The scenes and what they share
// (beat envelopes, flashes, warps, the scene entries) are in show_local.h.
//
// Show time is a float count of patterns: 16 beats or 64 rows a pattern, 7680 ms at 125 beats
// per minute. The show runs from 0 to 39.5; later frames are black with grain. Every frame is a
// function of show time alone, so a seek shows the right picture at once. The window lookup makes
// no OpenGL call; the frame functions need the context current.
#pragma once

#include "show/show_tables.h"   // the tempo, the scene windows, the ticks

#include <cstdint>

// ---- Timeline --------------------------------------------------------------------------------

// What one frame draws: the scene (1 ... 11, or 0 for the black frame after the show) and the
// arguments it is called with. Scenes that take the show time only get it in local; the capture
// flag is always 0 from the timeline.
struct SceneCall {
    int32_t scene;
    float local;   // local time, or the scene's own show time for Scenes 1, 4 and 5
    float time;    // the show time
    int32_t capture;
};

// The window of the table that contains show time t, and its arguments. Local times are worked
// out in double precision from t. Before 0 is Scene 1; from SHOW_END on (and for NaN) scene 0.
SceneCall sceneCallAt(float t);
// The scene number alone (1 ... 11, 0 after the show), for capture and benchmark reports.
int32_t sceneAtTime(float t);
// The first window [start, end) of scene n in the table, in patterns; Scene 1's opens at 0, where
// the show starts. {0, 0} for a number outside 1 ... 11.
struct SceneSpan {
    float start, end;
};
SceneSpan firstSceneWindow(int32_t scene);

// Reads the show clock, draws that frame's scene (a scene not yet built draws a cleared black
// frame) and lays the film grain (assets.grainTexture; left out until it is made) over it.
void runTimeline();
// Draws the frame for show time t as runTimeline would; the capture and benchmark modes use it.
void drawShowFrame(float t);

// The precalculation's snapshot step: renders the capture frames of Scenes 5, 6, 9 and 10 into
// their snapshot textures (assets.captureTexture5 ...), each read by the scene that follows. A
// scene without an entry is skipped.
void captureSnapshots();
