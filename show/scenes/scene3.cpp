// Scene 3, the glowing sprite swarm (show time 9.5 to 13.75).
//
// Drawn small, into the 512 x 256 corner: three rippling, scrolling layers of an image, then the
// 4096-point swarm as smoke sprites, seen from a camera that circles the origin and kicks back
// (forward after 2.5 patterns) on every half pattern, in black fog. The glow chain lays that
// picture back full-screen, blurred at the start of every second pattern; beat pulses, two faint
// additive layers and a multiplying shade layer go on top, the shade layer carrying the fade.
#include "precalc/precalc.h"
#include "show/show_local.h"

#include <cmath>

namespace {

constexpr int32_t WARP_COLUMNS = 16;
constexpr int32_t WARP_ROWS = 9;
constexpr float SWARM_NEAR = 0.5f;
constexpr float SWARM_FAR = 60.0f;
constexpr float fogBlack[4] = {0, 0, 0, 1};

// Per-frame sprite sizes and angles, rewritten completely every frame.
struct SwarmFrame {
    float sizes[SWARM_POINT_COUNT];
    float angles[SWARM_POINT_COUNT];
};
SwarmFrame swarmFrame;

// In at the start, out over the last half pattern of the window.
float sceneFade(float local)
{
    if (local < 0.5f)
        return clamp01(2 * local);
    if (local < 3.75f)
        return 1;
    return clamp01(1 - 2 * (local - 3.75f));
}

}   // namespace

void drawScene3(float local, float t)
{
    const double L = local;
    const float h = (float)halfPatternIndex(t);
    float swing = (float)(std::pow(halfPatternFlash(local, 0.05f), 2) * 1.2);
    if (local >= 2.5f)
        swing = -swing;
    const float fade = sceneFade(local);

    beginFrame(&defaultClearColour);

    setColour(fade, fade, fade);
    const Texture* warp = assets.warpTexture2;
    drawGridWarp(warp, WARP_COLUMNS, WARP_ROWS, local, rippleWarpScrollBack, 1, 1,
                 RENDER_SCREEN | RENDER_TO_TEXTURE);
    drawGridWarp(warp, WARP_COLUMNS, WARP_ROWS, (float)(L + 0.15), rippleWarpScrollBack, 1, 1,
                 RENDER_MUL | RENDER_TO_TEXTURE);
    drawGridWarp(warp, WARP_COLUMNS, WARP_ROWS, (float)(L + 0.3), rippleWarpScrollBack, 1, 1,
                 RENDER_SCREEN | RENDER_TO_TEXTURE);
    setColour(1, 1, 1);

    // Circling at radius 1; adding h turns the camera a radian on every half pattern.
    double a = L * PI * 0.75 + PI + h - swing;
    double b = L * PI * 0.5 + PI + h - swing;
    CameraEye eye;
    eye.position = {(float)std::sin(a), (float)(0.4 * std::sin(b)), (float)std::cos(a)};
    eye.fieldOfView = 90 - 2 * pulse((float)(L + 0.0625), 1, 8, 8);
    const Vec3 target = {0, 0, 0};
    camera.nearPlane = SWARM_NEAR;
    camera.farPlane = SWARM_FAR;
    lookAtCamera(eye, target, RENDER_TO_TEXTURE);
    linearFog(fogBlack, SWARM_NEAR, SWARM_FAR);

    for (int32_t i = 0; i < SWARM_POINT_COUNT; i++) {
        swarmFrame.sizes[i] = (float)(1 + 0.3 * std::sin(L * PI * 4 + 0.3 * i));
        swarmFrame.angles[i] = (float)std::sin(0.2 * i + L * PI);
    }
    generateTexture(assets.generatedTexture, local);
    drawParticles(assets.swarmPoints, nullptr, swarmFrame.angles, swarmFrame.sizes, nullptr,
                  SWARM_POINT_COUNT, eye.position, target, assets.generatedTexture, nullptr, 0,
                  0.4f, 1.0f, PS_SORT | PS_ROTATE, RENDER_ALPHA_BLEND);

    // Blurred at the start of every second pattern, sharpening within it.
    float glow = (float)(std::pow(1 - std::fmod((double)t, 2.0) * 0.5, 12) * 0.35);
    buildGlowChainZoom(&assets.screenCopyChain, 1, 1.0f, whiteTint);
    drawGlowChainFrom(&assets.screenCopyChain, glow, 0);

    drawBackbeatPulse(local);
    drawHalfPatternFlash(local, 0.25f);

    const RenderFlags layer = RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL;
    drawScreenImage(assets.layerTextureA, (float)(0.15 * L + 0.16 * h), 0, 1, 1, 0.75f, 0,
                    0.075f * fade, layer);
    drawScreenImage(assets.layerTextureB, (float)(0.25 * L + 0.16 * h), 0, 1, 0.75f, 0.5625f, 0,
                    0.075f * fade, layer);
    drawScreenTexture(assets.shadeTexture1, fade, RENDER_MUL);
}
