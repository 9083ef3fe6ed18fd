// Scene 6, the pulsing ray burst (show time 18 to 20).
//
// The 40 rays, depth-blurred, bend and wobble; a bright bump runs out along every ray on each odd
// beat and the whole burst snaps to a new pose on every half pattern. Four rippling layers lie
// behind it and three multiplied copies of an inverted image drift in front; on top come the
// fading last picture of Scene 5 (first quarter pattern), beat pulses, a band that jumps every
// half pattern and a faint additive image. The precalculation renders the last frame once with
// the capture flag, into the 512 x 256 corner and without the top layers, as Scene 7's opening.
#include "precalc/precalc.h"
#include "show/scenes/rays.h"
#include "show/show_local.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t WARP_COLUMNS = 16;
constexpr int32_t WARP_ROWS = 9;
// Scene 5's last picture fades out over this much local time.
constexpr float OPENING_FADE = 0.25f;

// The burst of this frame; allocated on the first call (the capture during the precalculation)
// and kept for the run.
struct PulsingBurstState {
    Vec3* rayBurst;
};
PulsingBurstState pulsing;

// The inverted image drifting in front of the burst: pan s, pan t, zoom s, zoom t.
struct Overlay {
    float panS, panT, zoomS, zoomT;
};

}   // namespace

void drawScene6(float local, float t, int32_t capture)
{
    if (!pulsing.rayBurst)
        pulsing.rayBurst = (Vec3*)std::malloc(sizeof(Vec3) * RAY_POINT_COUNT);
    computeRayBurst(pulsing.rayBurst, assets.rayPoints, local, t);

    // Any non-zero flag is a capture: multiplying it into the flag word would reach other bits.
    const RenderFlags target = capture ? RENDER_TO_TEXTURE : 0;
    const double a = local;

    beginFrame(&defaultClearColour);

    const Texture* bubbles = assets.bubbleAtlas;
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, local, rippleWarp, 1, 1, target);
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, (float)(a + 0.15), rippleWarp, 1, 1,
                 RENDER_SCREEN | target);
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, (float)(a + 0.3), rippleWarp, 1, 1,
                 RENDER_MUL | target);
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, (float)(a + 0.45), rippleWarp, 1, 1,
                 RENDER_SCREEN | target);

    // Half a turn round the burst during the scene, looking at a point halfway to the centre.
    CameraEye eye;
    eye.position = {(float)(10 * std::sin(a * PI * 0.5)), (float)(2 * std::sin(a * PI * 0.25)),
                    (float)(10 * std::cos(a * PI * 0.5))};
    eye.fieldOfView = 90;
    const Vec3 focus = {eye.position.x * 0.5f, eye.position.y * 0.5f, eye.position.z * 0.5f};
    camera.nearPlane = 0.1f;
    camera.farPlane = 1000;
    camera.projectionShift = projectionShiftPreset;
    lookAtCamera(eye, focus, target);

    drawParticles(pulsing.rayBurst, nullptr, nullptr, nullptr, nullptr, RAY_POINT_COUNT,
                  eye.position, focus, assets.spriteAtlasB, nullptr, 0.15f, 0.75f, 1.0f,
                  PS_DEPTH_BLUR | PS_SORT | PS_ROTATE, RENDER_ALPHA_BLEND);

    const Overlay overlays[3] = {
        {0.8f, (float)(0.2 - 0.2 * a), 1.5f, 0.84375f},
        {0.6f, (float)(0.1 * a - 0.2), 1.75f, 0.984375f},
        {0.8f, (float)(0.15 * a), 2.0f, 1.125f},
    };
    for (const Overlay& o : overlays)
        drawScreenImage(assets.sceneTexture8, o.panS, o.panT, 1, o.zoomS, o.zoomT, 0, 1,
                        RENDER_MUL | RENDER_NO_DEPTH | RENDER_NO_CULL | TEX_CLAMP | target);

    if (capture) {
        fillAlphaChannel(RENDER_TO_TEXTURE);
        return;
    }

    if (local < OPENING_FADE)
        drawScreenTexture(assets.captureTexture5, (float)(1 - 4 * a), RENDER_ALPHA_BLEND);
    drawBackbeatPulse(local);
    drawHalfPatternFlash(t, 0.25f);

    // The band jumps on the half patterns of the local time.
    const double step = 0.16 * halfPatternIndex(local);
    drawScreenImage(assets.sceneTexture7, (float)(step - 0.15 * a), 0, 1, 1.25f, 0.9375f, 0, 1,
                    RENDER_MUL | RENDER_NO_DEPTH | RENDER_NO_CULL);
    drawScreenImage(assets.layerTextureB, (float)(step - 0.25 * a), 0, 1, 0.75f, 0.5625f, 0, 0.1f,
                    RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL);
}
