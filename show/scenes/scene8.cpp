// Scene 8, 22 to 28.25 patterns: the endless zoom into the precomputed fractal. Four nested
// copies of the same 2048 sprites, each a quarter the size of the one before and turned a
// quarter turn, are scaled up continuously so that a new copy grows out of the centre while the
// outermost fades away, four copies a pattern. The camera swings round the origin at 64; the
// picture goes into the corner on a dark brown ground and comes back through the glow chain in
// a warm tint. The ticks widen the view, blur the glow and flash white; a shade image multiplies
// the result and the credits scroll up across the screen.
#include "show/scenes/fractal_scenes.h"

#include "effects/effects.h"
#include "precalc/precalc.h"
#include "show/show_local.h"
#include "support/support.h"

#include <cmath>

namespace {

constexpr float GROUND_COLOUR[4] = {0.1f, 0.05f, 0.0f, 1.0f};
constexpr float GLOW_TINT[4] = {0.95f, 0.85f, 0.675f, 1.0f};
constexpr float FOG_COLOUR[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float COPY_RATIO = 4.0f;
constexpr Vec3 ORIGIN = {0.0f, 0.0f, 0.0f};

}   // namespace

FractalZoomView fractalZoomViewAt(float L, float t)
{
    FractalZoomView v;
    float u = L + 14.65f;
    v.zoomPosition = std::fmod(4.0f * u, 8.0f);
    float angle = 4.0f * (float)std::sin(0.47 * PI * u - 0.1);

    float tick = std::pow(tickFlash(t, 0.05f), 2.0f);
    if (L < 0.25f)
        v.glow = 1.0f - std::pow(4.0f * L, 0.5f);
    else if (L < 5.75f)
        v.glow = 0.0f;
    else
        v.glow = std::pow(2.0f * (L - 5.75f), 2.0f);
    v.glow += 0.25f * tick;

    v.eye.position = {64.0f * std::sin(angle), 50.0f * (float)std::sin(0.77 * PI * u),
                      64.0f * std::cos(angle)};
    v.eye.fieldOfView = 30.0f + 10.0f * tick;

    float s = v.zoomPosition;
    v.firstCopy = (int32_t)std::floor(s);
    int32_t end = (int32_t)std::floor(s + (float)ZOOM_COPIES);
    float part = std::fmod(s, 1.0f);
    for (int32_t i = 0; i < ZOOM_COPIES; i++) {
        int32_t m = v.firstCopy + i;
        v.copyAlpha[i] = m == v.firstCopy ? 1.0f - part : m == end - 1 ? part : 1.0f;
    }
    return v;
}

void drawScene8(float L, float t)
{
    const AssetTable& a = assets;
    FractalZoomView view = fractalZoomViewAt(L, t);

    beginFrame(&defaultClearColour);
    fillScreen(GROUND_COLOUR, RENDER_TO_TEXTURE);

    camera.projectionShift = {0.5f * projectionShiftPreset.x, 0.5f * projectionShiftPreset.y, 0.0f};
    camera.nearPlane = 0.001f;
    camera.farPlane = 2048.0f;
    lookAtCamera(view.eye, ORIGIN, RENDER_TO_TEXTURE);
    linearFog(FOG_COLOUR, 0.0f, 115.0f);

    float grow = std::pow(COPY_RATIO, view.zoomPosition);
    selectModelView();
    scaleModelView(grow);
    for (int32_t i = 0; i < ZOOM_COPIES; i++) {
        int32_t m = view.firstCopy + i;
        pushModelView();
        rotateModelViewY((float)m * 360.0f / (float)ZOOM_COPIES);
        float shrink = std::pow(1.0f / COPY_RATIO, (float)m);
        scaleModelView(shrink);
        drawParticles(fractalPoints, nullptr, nullptr, fractalSizes, nullptr, FRACTAL_POINT_COUNT,
                      view.eye.position, ORIGIN, a.spiralTexture, nullptr, 0.0f, view.glow + 1.5f,
                      view.copyAlpha[i], PS_ROTATE | PS_ALL, RENDER_SCREEN);
        popModelView();
    }

    if (view.glow > 0.0f)
        buildGlowChainZoom(&a.screenCopyChain, 1, view.glow, GLOW_TINT);
    else
        buildGlowChainDisc(&a.screenCopyChain, 1, 1.0f, GLOW_TINT);
    drawGlowChainFrom(&a.screenCopyChain, std::pow(view.glow, 3.0f), 0);

    drawScreenTexture(a.shadeTexture2, 1.0f, RENDER_MUL);
    drawScreenImage(a.creditsTexture, 0.0f, 0.5f * L - 1.5f, 1.5f, 2.0f, 1.125f, 0.0f, 1.0f,
                    RENDER_ALPHA_BLEND | RENDER_NO_DEPTH | RENDER_NO_CULL | TEX_CLAMP);
    if (L < 0.25f)
        drawHalfPatternFlash(L, 0.25f);
    drawTickFlash(t, 0.25f);
}
