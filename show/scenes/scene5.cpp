// Scene 5, 14 to 18 patterns: the branching aggregate grown in the precalculation, darkened by
// its own particle shadows, against a dark blue sky and a large soft sun. A camera with a
// tilted up direction circles it and changes speed and direction on every half pattern, the
// field of view kicks with the beat, and a faint backdrop and the caption lie on top. No fade:
// it opens at full brightness straight after the first ray burst.
//
// With capture set (the precalculation, at 17.999) the picture goes into the 512 x 256 corner
// without the flashes, the top layer and the caption, and ends with alpha 1 there, so the corner
// can be kept as the opening picture of Scene 6.
#include "precalc/precalc.h"
#include "show/scenes/growth.h"
#include "show/show_local.h"

#include <cmath>

namespace {

// The light the shadow factors were computed for; the sun sprite sits on it.
constexpr Vec3 SUN_POSITION = {0.0f, 30.0f, 100.0f};
constexpr float SKY_COLOUR[4] = {0.1f, 0.1f, 0.2f, 1.0f};
constexpr Vec3 TILTED_UP = {0.1f, 0.9f, 0.2f};

constexpr float SUN_SIZE = 500.0f;
constexpr float STRUCTURE_SIZE = 0.45f;
constexpr float STRUCTURE_BLUR_RANGE = 0.1f;

float squared(float x)
{
    return std::pow(x, 2.0f);
}

}   // namespace

GrowthView growthViewAt(float t)
{
    GrowthView v;
    v.halfPattern = halfPatternIndex(t);
    bool odd = (v.halfPattern % 2) != 0;
    float dA = odd ? 0.25f : -2.0f;
    float dB = odd ? 2.0f : 1.0f;
    v.panDirection = dA;

    float dist = (float)(8.0 + 2.0 * std::sin(0.3 * PI * t));
    float tf = 0.5f * halfPatternFlash(t, 0.15f) + 0.48f;
    float kick =
        squared(pulse(t + 0.0625f, 1.0f, 8.0f, 8.0f)) + 20.0f * squared(halfPatternFlash(t, 0.1f));

    double d = dist - 0.05 * kick;
    double orbit = dA * t * PI * 0.245 + 1.5;
    Vec3& eye = v.eye.position;
    eye.x = (float)(d * std::sin(orbit));
    eye.y = (float)(d * 0.375 * std::sin(dB * t * PI * 0.4) - 2.25);
    eye.z = (float)(d * std::cos(orbit));
    v.eye.fieldOfView = 90.0f + kick;
    v.target = {eye.x * tf, eye.y * tf, eye.z * tf};

    // clamp01(0.1 (1 - eye.sun / eye.eye)): bright only once the eye is well round the far side
    // of the origin from the sun. The eye never comes closer than about 4.9 to the origin.
    Vec3 away = {(eye.x - SUN_POSITION.x) * 0.1f, (eye.y - SUN_POSITION.y) * 0.1f,
                 (eye.z - SUN_POSITION.z) * 0.1f};
    v.sunAlpha = clamp01((float)(dot3(&eye, &away) / dot3(&eye, &eye)));
    return v;
}

void drawScene5(float t, int32_t capture)
{
    const AssetTable& a = assets;
    RenderFlags target = capture ? RENDER_TO_TEXTURE : 0;
    GrowthView view = growthViewAt(t);

    beginFrame(&defaultClearColour);
    fillScreen(SKY_COLOUR, target);

    // The backdrop goes into the letterbox even in a capture frame.
    drawScreenImage(a.backdropTexture,
                    0.15f * t * view.panDirection + 0.27f * (float)view.halfPattern, 0.0f, 1.0f,
                    1.0f, 0.75f, 0.0f, 0.05f, RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL);

    camera.upVector = TILTED_UP;
    camera.nearPlane = 0.1f;
    camera.farPlane = 200.0f;
    camera.projectionShift = projectionShiftPreset;
    lookAtCamera(view.eye, view.target, target);

    drawParticles(&SUN_POSITION, nullptr, nullptr, nullptr, nullptr, 1, view.eye.position,
                  view.target, a.glowTexture, nullptr, 0.0f, SUN_SIZE, view.sunAlpha, 0,
                  RENDER_ADD);
    drawParticles(a.growthPoints, nullptr, nullptr, nullptr, a.growthShade, a.growthCount,
                  view.eye.position, view.target, a.spriteAtlasC, nullptr, STRUCTURE_BLUR_RANGE,
                  STRUCTURE_SIZE, 1.0f, PS_DEPTH_BLUR | PS_SORT | PS_ROTATE, RENDER_ALPHA_BLEND);

    if (capture) {
        fillAlphaChannel(RENDER_TO_TEXTURE);
        return;
    }

    drawBackbeatPulse(t);
    drawHalfPatternFlash(t, 0.25f);
    drawScreenImage(
        a.backdropTexture, 0.15f * t * view.panDirection + 0.16f * (float)view.halfPattern, 0.0f,
        1.0f, 0.5f, 0.375f, 0.0f, 0.1f, RENDER_ALPHA_BLEND | RENDER_NO_DEPTH | RENDER_NO_CULL);
    float margin = squared(0.15f * pulse(t + 0.0625f, 1.0f, 8.0f, 8.0f));
    drawScreenTextureInset(a.captionTexture5, 1.0f, margin, RENDER_ALPHA_BLEND);
}
