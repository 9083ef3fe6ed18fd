// The scenes the timeline calls, and the snapshot step of the precalculation. A scene joins the
// show by taking its slot here; each entry hands its scene the arguments it takes.
#include "precalc/precalc.h"   // assets: the snapshot targets
#include "show/show_local.h"

namespace {

void scene1(const SceneCall& c)
{
    drawScene1(c.local);
}
void scene2(const SceneCall& c)
{
    drawScene2(c.local, c.time);
}
void scene3(const SceneCall& c)
{
    drawScene3(c.local, c.time);
}
void scene4(const SceneCall& c)
{
    drawScene4(c.local);
}
void scene5(const SceneCall& c)
{
    drawScene5(c.local, c.capture);
}
void scene6(const SceneCall& c)
{
    drawScene6(c.local, c.time, c.capture);
}
void scene7(const SceneCall& c)
{
    drawScene7(c.local, c.time);
}
void scene8(const SceneCall& c)
{
    drawScene8(c.local, c.time);
}
void scene9(const SceneCall& c)
{
    drawScene9(c.local, c.time, c.capture);
}
void scene10(const SceneCall& c)
{
    drawScene10(c.local, c.time, c.capture);
}
void scene11(const SceneCall& c)
{
    drawScene11(c.local, c.time);
}

// Renders one capture frame of a scene into the 512 x 256 corner and keeps it.
void snapshot(int32_t scene, float local, float time, Texture* target)
{
    if (!sceneEntries[scene])
        return;
    sceneEntries[scene]({scene, local, time, 1});
    copyScreenToTexture(target);
}

}   // namespace

const SceneEntry sceneEntries[SCENE_COUNT + 1] = {
    nullptr, scene1, scene2, scene3, scene4,  scene5,
    scene6,  scene7, scene8, scene9, scene10, scene11,
};

void captureSnapshots()
{
    // The last moments of Scenes 5, 6 and 10, so the scene after each can start from its
    // picture; Scene 9 at the moment given, not its last.
    snapshot(5, 17.999f, 17.999f, assets.captureTexture5);
    snapshot(6, 1.999f, 19.999f, assets.captureTexture6);
    snapshot(9, 3.999f, 30.499f, assets.captureTexture9);
    snapshot(10, 1.999f, 34.499f, assets.captureTexture10);
}
