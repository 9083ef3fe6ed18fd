// Scene 4, the ray-burst interlude: a quarter pattern at 13.75 and at 32.25, and a whole pattern
// from 38.5 in which its time runs at a quarter speed (the timeline hands it 38.5 to 38.75).
//
// The 40 rays twist into spirals and sway while a camera circles them at radius 10, over four
// rippling layers of the bubble image whose brightness pulses four times a pattern; all drawn
// into the 512 x 256 corner and laid back through the glow chain, with beat pulses and one faint
// additive layer on top. The scene knows its window only through the time.
#include "precalc/precalc.h"
#include "show/scenes/rays.h"
#include "show/show_local.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t WARP_COLUMNS = 16;
constexpr int32_t WARP_ROWS = 9;
// The first window shows layerTextureA, the two later ones layerTextureB.
constexpr float SECOND_LAYER_FROM = 14.0f;

// The burst of this frame; allocated on the first draw and kept for the run.
struct InterludeState {
    Vec3* burst;
};
InterludeState interlude;

}   // namespace

void drawScene4(float t)
{
    if (!interlude.burst)
        interlude.burst = (Vec3*)std::malloc(sizeof(Vec3) * RAY_POINT_COUNT);
    computeInterludeBurst(interlude.burst, assets.rayPoints, t);

    const double T = t;
    beginFrame(&defaultClearColour);

    // Dark at every quarter pattern, full two beats later.
    const float f = (float)(1 - (0.5 * std::cos(8 * PI * T) + 0.5));
    setColour(f, f, f, 1);
    const Texture* bubbles = assets.bubbleAtlas;
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, t, rippleWarp, 1, 1, RENDER_TO_TEXTURE);
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, (float)(T + 0.15), rippleWarp, 1, 1,
                 RENDER_SCREEN | RENDER_TO_TEXTURE);
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, (float)(T + 0.3), rippleWarp, 1, 1,
                 RENDER_MUL | RENDER_TO_TEXTURE);
    drawGridWarp(bubbles, WARP_COLUMNS, WARP_ROWS, (float)(T + 0.45), rippleWarp, 1, 1,
                 RENDER_SCREEN | RENDER_TO_TEXTURE);

    CameraEye eye;
    eye.position = {(float)(10 * std::sin(0.5 * PI * T)), (float)(2 * std::sin(0.25 * PI * T)),
                    (float)(10 * std::cos(0.5 * PI * T))};
    eye.fieldOfView = 90;
    const Vec3 target = {0, 0, 0};
    camera.nearPlane = 0.1f;
    camera.farPlane = 1000;
    lookAtCamera(eye, target, RENDER_TO_TEXTURE);

    generateTexture(assets.generatedTexture, t);
    drawParticles(interlude.burst, nullptr, nullptr, nullptr, nullptr, RAY_POINT_COUNT,
                  eye.position, target, assets.generatedTexture, nullptr, 0.6f, 0.75f, 1.0f,
                  PS_SORT | PS_ROTATE, RENDER_ALPHA_BLEND);

    buildGlowChainZoom(&assets.screenCopyChain, 1, 1.0f, whiteTint);
    drawGlowChain(&assets.screenCopyChain, 0);

    drawBackbeatPulse(t);
    drawHalfPatternFlash(t, 0.25f);

    const Texture* layer = t < SECOND_LAYER_FROM ? assets.layerTextureA : assets.layerTextureB;
    drawScreenImage(layer, 0, 0, 1, 1, 0.75f, 0, 0.25f * f,
                    RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL);
}
