// The timeline: one table of scene windows over show time, the dispatch of every frame to the
// scene whose window holds it, and the film grain over the result.
#include "support/upcalls.h"
#include "music/music.h"
#include "precalc/precalc.h"   // assets.grainTexture
#include "show/show_local.h"

#include <cmath>

namespace {

// A window [start, end) of the table: which scene, and how its local time is derived from t:
// local = (t - origin) x rate + offset.
struct SceneWindow {
    double end;
    int32_t scene;
    double origin;
    double rate;
    double offset;
};

// Scene 9 counts from 28.5 although its window opens at 28.25; Scene 4's last window runs at a
// quarter speed from 38.5; Scenes 1, 4 and 5 take the show time itself.
constexpr SceneWindow SCENE_WINDOWS[] = {
    {6.0, 1, 0.0, 1.0, 0.0},     {9.5, 2, 6.0, 1.0, 0.0},    {13.75, 3, 9.5, 1.0, 0.0},
    {14.0, 4, 0.0, 1.0, 0.0},    {18.0, 5, 0.0, 1.0, 0.0},   {20.0, 6, 18.0, 1.0, 0.0},
    {22.0, 7, 20.0, 1.0, 0.0},   {28.25, 8, 22.0, 1.0, 0.0}, {32.25, 9, 28.5, 1.0, 0.0},
    {32.5, 4, 0.0, 1.0, 0.0},    {34.5, 10, 32.5, 1.0, 0.0}, {38.5, 11, 34.5, 1.0, 0.0},
    {39.5, 4, 38.5, 0.25, 38.5},
};

void drawScene(const SceneCall& call)
{
    SceneEntry entry =
        call.scene >= 1 && call.scene <= SCENE_COUNT ? sceneEntries[call.scene] : nullptr;
    if (entry)
        entry(call);
    else
        beginFrame(&defaultClearColour);   // after the show, or a scene not built
}

}   // namespace

SceneCall sceneCallAt(float t)
{
    SceneCall call{0, t, t, 0};
    if (!(t < SHOW_END))
        return call;   // also NaN
    for (const SceneWindow& w : SCENE_WINDOWS) {
        if ((double)t < w.end) {
            call.scene = w.scene;
            call.local = (float)(((double)t - w.origin) * w.rate + w.offset);
            return call;
        }
    }
    return call;
}

int32_t sceneAtTime(float t)
{
    return sceneCallAt(t).scene;
}

SceneSpan firstSceneWindow(int32_t scene)
{
    double start = 0.0;
    for (const SceneWindow& w : SCENE_WINDOWS) {
        if (w.scene == scene)
            return {(float)start, (float)w.end};
        start = w.end;
    }
    return {0.0f, 0.0f};
}

void drawShowFrame(float t)
{
    drawScene(sceneCallAt(t));
    drawFilmGrain();
}

void runTimeline()
{
    drawShowFrame(showTime());
}

void drawFilmGrain()
{
    float a = randomUnit();
    float b = randomUnit();
    if (!assets.grainTexture)
        return;
    // One texel of grain per pixel of the letterbox.
    float size = (float)assets.grainTexture->width;
    drawScreenTiles(assets.grainTexture, a, b, displaySettings.width / size,
                    displaySettings.height * 0.75f / size,
                    RENDER_NO_CULL | RENDER_NO_DEPTH | RENDER_ALPHA_BLEND);
}
