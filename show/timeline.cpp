// The timeline: the dispatch of every frame to the scene whose window (show/show_tables.h) holds
// it, and the film grain over the result.
#include "music/music.h"
#include "precalc/precalc.h"   // assets.grainTexture
#include "show/show_local.h"

#include <cmath>

namespace {

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
    drawScreenTiles(assets.grainTexture, a, b, frameRecord.width / size,
                    frameRecord.height * 0.75f / size,
                    RENDER_NO_CULL | RENDER_NO_DEPTH | RENDER_ALPHA_BLEND);
}
