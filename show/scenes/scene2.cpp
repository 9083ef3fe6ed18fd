// Scene 2: the flight along the sprite trail.
//
// The camera flies out along the trail's curve for two patterns and cuts back, with a small step
// on every second beat; 200 sprites from just behind it are drawn in black fog, the side points
// shivering on each half pattern. Two layers of an image multiply the frame, scrolling with the
// travel, and the caption fades in and out with a little zoom on every odd beat.
//
// The trail tables are filled on the scene's first frame and kept for the run.
#include "precalc/precalc.h"
#include "show/scenes/trail.h"
#include "show/show_local.h"

#include <cmath>

namespace {

TrailTables scene2Tables;

constexpr int32_t SCENE2_SPRITES = 200;
constexpr float SCENE2_SIDE_SIZE = 0.04f;
constexpr float SCENE2_FOG[4] = {0.0f, 0.0f, 0.0f, 1.0f};

// The image over the frame's left half at full height, and over the whole frame at half height,
// both scrolled by half the travel.
void drawMultiplyingLayers(float travel)
{
    ScreenCorner corners[4 * SCROLLING_LAYER_QUADS];
    scrollingLayerCorners(corners, 0.5f * travel, false);
    drawScreenQuads(assets.tissueTexture2, corners, SCROLLING_LAYER_QUADS, 1.0f, RENDER_MUL);
}

}   // namespace

void drawScene2(float local, float t)
{
    if (!scene2Tables.ready)
        fillTrailTables(&scene2Tables, assets.pathPoints, SCENE2_SIDE_SIZE,
                        TRAIL_HIDDEN_SIDE_ENTRIES);
    const TrailTables& tables = scene2Tables;
    Scene2Frame frame = scene2Frame(local);

    float jitter = halfPatternFlash(t, 0.05f) * 0.02f;
    Vec3 copy[TRAIL_COPY_COUNT];
    displaceTrail(copy, assets.pathPoints, local, true, jitter);

    beginFrame(&defaultClearColour);

    CameraEye eye;
    splinePoint(&eye.position, frame.parameter, tables.keys, TRAIL_KEY_COUNT);
    eye.position.x += (float)(0.1 * std::sin(3.38172 * local));
    eye.position.y += (float)(0.1 * std::sin(4.71652 * local));
    eye.fieldOfView = scene2FieldOfView(local);
    Vec3 target;
    splinePoint(&target, frame.parameter + frame.fade * 0.007f * 0.35f, tables.keys,
                TRAIL_KEY_COUNT);
    camera.nearPlane = 0.001f;
    camera.farPlane = 5.0f;
    camera.projectionShift = projectionShiftPreset;
    lookAtCamera(eye, target, 0);

    linearFog(SCENE2_FOG, 0.01f, 2.0f);

    int32_t f0 = frame.first;
    float blurRange = 0.4f - 0.2f * halfPatternFlash(t, 0.05f);
    drawParticles(copy + f0, nullptr, tables.randomValues + f0, tables.sizes + f0, nullptr,
                  trailDrawCount(f0, SCENE2_SPRITES), eye.position, target, assets.spritePairAtlas1,
                  tables.sprites + f0, blurRange, 1.5f, frame.fade, PS_DEPTH_BLUR | PS_ROTATE,
                  RENDER_ALPHA_BLEND | RENDER_NO_DEPTH);

    drawBackbeatPulse(local);
    drawHalfPatternFlash(t, 0.25f);

    drawMultiplyingLayers(frame.travel);

    float zoom = 0.15f * pulse(local + 0.0625f, 1.0f, 8.0f, 8.0f);
    drawScreenTextureInset(assets.captionTexture2, frame.fade, (float)std::pow(zoom, 2.0),
                           RENDER_ALPHA_BLEND);
}
