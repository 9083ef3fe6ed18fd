// The timeline: one table of scene windows over show time, the dispatch of every frame to the
// scene whose window holds it, and the film grain over the result.
#include "app/app.h"
#include "app/gl.h"
#include "music/music.h"
#include "show/show.h"

#include <cmath>

Texture* grainTexture = nullptr;

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
    {6.0, 1, 0.0, 1.0, 0.0},      {9.5, 2, 6.0, 1.0, 0.0},     {13.75, 3, 9.5, 1.0, 0.0},
    {14.0, 4, 0.0, 1.0, 0.0},     {18.0, 5, 0.0, 1.0, 0.0},    {20.0, 6, 18.0, 1.0, 0.0},
    {22.0, 7, 20.0, 1.0, 0.0},    {28.25, 8, 22.0, 1.0, 0.0},  {32.25, 9, 28.5, 1.0, 0.0},
    {32.5, 4, 0.0, 1.0, 0.0},     {34.5, 10, 32.5, 1.0, 0.0},  {38.5, 11, 34.5, 1.0, 0.0},
    {39.5, 4, 38.5, 0.25, 38.5},
};

void drawScene(const SceneCall& call)
{
    const SceneEntries& e = sceneEntries;
    switch (call.scene) {
    case 1: if (e.scene1) return e.scene1(call.local); break;
    case 2: if (e.scene2) return e.scene2(call.local, call.time); break;
    case 3: if (e.scene3) return e.scene3(call.local, call.time); break;
    case 4: if (e.scene4) return e.scene4(call.local); break;
    case 5: if (e.scene5) return e.scene5(call.local, call.capture); break;
    case 6: if (e.scene6) return e.scene6(call.local, call.time, call.capture); break;
    case 7: if (e.scene7) return e.scene7(call.local, call.time); break;
    case 8: if (e.scene8) return e.scene8(call.local, call.time); break;
    case 9: if (e.scene9) return e.scene9(call.local, call.time, call.capture); break;
    case 10: if (e.scene10) return e.scene10(call.local, call.time, call.capture); break;
    case 11: if (e.scene11) return e.scene11(call.local, call.time); break;
    default: break;
    }
    // After the show, or a scene not built: a black frame.
    beginFrame(&defaultClearColour);
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
    if (!grainTexture)
        return;
    setOrthoView(0);
    bindTexture(grainTexture, 0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    float size = (float)grainTexture->width;
    glScalef(displaySettings.width / size, displaySettings.height * 0.75f / size, 1);
    glMatrixMode(GL_MODELVIEW);
    applyRenderFlags(RENDER_NO_CULL | RENDER_NO_DEPTH | RENDER_ALPHA_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glColor4f(1, 1, 1, 1);
    float z = camera.nearPlane + 0.001f;
    glBegin(GL_POLYGON);
    glTexCoord2f(a, b + 1);
    glVertex3f(-1, -1, z);
    glTexCoord2f(a + 1, b + 1);
    glVertex3f(1, -1, z);
    glTexCoord2f(a + 1, b);
    glVertex3f(1, 1, z);
    glTexCoord2f(a, b);
    glVertex3f(-1, 1, z);
    glEnd();
}
