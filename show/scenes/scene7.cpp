// Scene 7, 20 to 22 patterns: the animated fractal. The iterated function system is recomputed
// every frame for a parameter that creeps with time and jumps on every half pattern and every
// second beat, and drawn as 8192 spinning bubbles by a camera orbiting at 40 that jumps round
// the orbit on each half pattern and zooms in hard over the last one. Rippling image layers lie
// behind, the glow chain blurs the picture at the start and the end, two screen-blended layers
// brighten it; Scene 6's last picture fades out over the first half pattern.
#include "show/scenes/fractal_scenes.h"

#include "effects/effects.h"
#include "precalc/precalc.h"
#include "show/show_local.h"
#include "support/support.h"

#include <cmath>

namespace {

constexpr int32_t RANDOM_ANGLE_COUNT = 1024;
constexpr Vec3 LEANING_UP = {-0.5f, 1.0f, 0.0f};
constexpr int32_t WARP_COLUMNS = 16;
constexpr int32_t WARP_ROWS = 9;

// Starting angles of the sprites, drawn once on the scene's first frame, and the frame's angles
// (kept here so a frame allocates nothing).
struct FractalSceneState {
    bool ready = false;
    float randomAngles[RANDOM_ANGLE_COUNT];
    float angles[IFS_POINT_COUNT];
};
FractalSceneState scene7;

}   // namespace

FractalView fractalViewAt(float L, float t)
{
    FractalView v;
    v.halfPattern = halfPatternIndex(t);
    float h = (float)v.halfPattern;
    v.zoom = L >= 1.5f ? std::pow(2.0f * (L - 1.5f), 2.0f) : 0.0f;
    v.fade = L < 0.5f ? 2.0f * L : L <= 1.5f ? 1.0f : 1.0f - 2.0f * (L - 1.5f);
    v.fractalTime = 4.0f * L + (4.0f * h + 4.0f) + 0.15f * backbeatStep(L);

    Vec3& eye = v.eye.position;
    eye.x = 40.0f * (float)std::sin(0.5 * PI * L + h);
    eye.y = 20.0f * std::sin(0.9f * L + h);
    eye.z = 40.0f * (float)std::cos(0.5 * PI * L + h);
    v.eye.fieldOfView = 80.0f - 70.0f * v.zoom - 1.5f * pulse(L + 0.0625f, 1.0f, 8.0f, 8.0f);
    v.target = {eye.x * 0.666f, eye.y * 0.666f, eye.z * 0.666f};
    return v;
}

void drawScene7(float L, float t)
{
    const AssetTable& a = assets;
    FractalView view = fractalViewAt(L, t);

    animateIfs(view.fractalTime);
    if (!scene7.ready) {
        for (float& angle : scene7.randomAngles)
            angle = randomUnit();
        scene7.ready = true;
    }

    beginFrame(&defaultClearColour);
    drawGridWarp(a.warpTexture1, WARP_COLUMNS, WARP_ROWS, L, rippleWarp, 1.0f, 1.0f,
                 RENDER_SCREEN | RENDER_TO_TEXTURE);
    drawGridWarp(a.warpTexture2, WARP_COLUMNS, WARP_ROWS, L + 0.5f, rippleWarp, 1.0f, 1.0f,
                 RENDER_SCREEN | RENDER_TO_TEXTURE);
    drawGridWarp(a.warpTexture1, WARP_COLUMNS, WARP_ROWS, L + 0.25f, rippleWarp, 1.0f, 1.0f,
                 RENDER_MUL | RENDER_TO_TEXTURE);
    drawGridWarp(a.warpTexture2, WARP_COLUMNS, WARP_ROWS, L + 0.75f, rippleWarp, 1.0f, 1.0f,
                 RENDER_MUL | RENDER_TO_TEXTURE);

    camera.upVector = LEANING_UP;
    camera.nearPlane = 0.1f;
    camera.farPlane = 256.0f;
    camera.projectionShift = {projectionShiftPreset.x, -projectionShiftPreset.y, 0.0f};
    // Two turns a pattern from random starting angles.
    for (int32_t i = 0; i < IFS_POINT_COUNT; i++)
        scene7.angles[i] = scene7.randomAngles[i & (RANDOM_ANGLE_COUNT - 1)] + 2.0f * L;
    lookAtCamera(view.eye, view.target, RENDER_TO_TEXTURE);

    drawParticles(ifsPoints, nullptr, scene7.angles, nullptr, nullptr, IFS_POINT_COUNT,
                  view.eye.position, view.target, a.bubbleAtlas, nullptr, 0.2f, 1.25f, 1.0f,
                  PS_SORT | PS_ROTATE, RENDER_ALPHA_BLEND);

    float blur = 1.0f - view.fade;
    buildGlowChainZoom(&a.screenCopyChain, 1, 0.25f * std::pow(blur, 2.0f), whiteTint);
    drawGlowChainFrom(&a.screenCopyChain, 0.25f * std::pow(blur, 5.0f), 0);

    // Two screen-blended layers of the tissue, scrolling one image height a pattern.
    float g = 0.2f + 0.2f * halfPatternFlash(L, 0.05f);
    ScreenCorner layers[4 * SCROLLING_LAYER_QUADS];
    scrollingLayerCorners(layers, L, false);
    drawScreenQuads(a.tissueTexture1, layers, SCROLLING_LAYER_QUADS, g, RENDER_SCREEN);

    if (L < 0.5f)
        drawScreenTexture(a.captureTexture6, 1.0f - 2.0f * L, RENDER_ALPHA_BLEND);
    drawBackbeatPulse(L);
    drawHalfPatternFlash(t, 0.25f);
    drawScreenImage(a.backdropTexture, 0.15f * L + 0.16f * (float)halfPatternIndex(L), 0.0f, 1.0f,
                    0.5f, 0.375f, 0.0f, 0.05f, RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL);
    float margin = std::pow(0.15f * halfPatternFlash(L, 0.05f), 2.0f);
    drawScreenTextureInset(a.captionTexture7, 1.0f, margin, RENDER_ALPHA_BLEND);
}
