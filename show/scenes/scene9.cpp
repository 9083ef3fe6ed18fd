// Scene 9, 28.25 to 32.25 patterns: the 6000-sprite cluster grown in the precalculation, circled
// by a camera that reverses and jumps on every half pattern and tilts its up direction with the
// beat, over four rippling, scrolling layers of an image. On every half pattern each point of
// the cluster flashes with a large additive sprite. The scene opens with a zoom out from a
// closed field of view in the quarter pattern before local time 0; two faint additive layers and
// the caption lie on top. It draws straight into the letterbox, without the glow chain.
//
// With capture set (the precalculation) only the two particle passes go into the 512 x 256
// corner, which then gets alpha 1.
#include "precalc/precalc.h"
#include "show/scenes/growth.h"
#include "show/show_local.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int32_t GRID_COLUMNS = 16;
constexpr int32_t GRID_ROWS = 9;
constexpr float FOG_COLOUR[4] = {0.0f, 0.0f, 0.0f, 1.0f};

constexpr float CLUSTER_SIZE = 0.4f;
constexpr float CLUSTER_BLUR_RANGE = 0.1f;
constexpr float FLASH_SIZE = 0.4f;
constexpr float FLASH_BLUR_RANGE = 0.2f;
constexpr float FLASH_ALPHA = 0.5f;

float squared(float x)
{
    return std::pow(x, 2.0f);
}

// Four layers of one image a little apart in time: plain, screened, then multiplied twice.
void drawRipplingLayers(const Texture* texture, float local)
{
    const struct {
        float delay;
        RenderFlags flags;
    } layers[] = {{0.0f, 0}, {0.15f, RENDER_SCREEN}, {0.3f, RENDER_MUL}, {0.45f, RENDER_MUL}};
    for (const auto& layer : layers)
        drawGridWarp(texture, GRID_COLUMNS, GRID_ROWS, local + layer.delay, rippleWarpScrollHalf,
                     1.0f, 1.0f, layer.flags);
}

}   // namespace

ClusterView clusterViewAt(float local, float t)
{
    ClusterView v;
    v.halfPattern = halfPatternIndex(t);
    double h = v.halfPattern;
    double dir = (v.halfPattern % 2) != 0 ? 1.0 : -0.5;
    v.flash = halfPatternFlash(local, 0.05f);

    float r = (float)(3.0 + 2.2 * std::sin(PI * local)) + squared(v.flash);
    // The opening zoom; a time before the window's start is held at its closed view.
    float z = local < 0.0f ? std::sqrt(std::max(0.0f, 4.0f * (local + 0.25f)))
                           : 1.0f + 0.1f * squared(halfPatternFlash(t, 0.05f));

    Vec3& eye = v.eye.position;
    eye.x = (float)(r * std::sin(0.5 * PI * local * dir + h));
    eye.y = (float)(0.5 * r * std::cos(0.4 * PI * local * dir + h) + 2.0);
    eye.z = (float)(r * std::cos(0.7 * PI * local * dir + h));
    // A field of view of 0 at the very start: the camera takes that as 90.
    v.eye.fieldOfView = 90.0f * z;
    v.up = {0.5f * squared(halfPatternFlash(t, 0.05f)), 1.0f,
            (float)(0.2 * std::cos(0.2 * PI * local))};
    return v;
}

void clusterSizes(float local, float* sizes, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        sizes[i] = (float)(1.0 + 0.6 * std::sin(8.0 * PI * local + 0.3 * i));
}

void drawScene9(float local, float t, int32_t capture)
{
    const AssetTable& a = assets;
    RenderFlags target = capture ? RENDER_TO_TEXTURE : 0;
    ClusterView view = clusterViewAt(local, t);
    const Vec3 origin = {0.0f, 0.0f, 0.0f};
    // The growth can overshoot its limit by a few points; the scene draws the first 6000.
    int32_t count = std::clamp(a.clusterCount, 0, CLUSTER_POINT_LIMIT);

    beginFrame(&defaultClearColour);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);
    if (!capture)
        drawRipplingLayers(a.warpTexture2, local);
    setColour(1.0f, 1.0f, 1.0f, 1.0f);

    camera.upVector = view.up;
    camera.nearPlane = 0.01f;
    camera.farPlane = 60.0f;
    camera.projectionShift.x = -projectionShiftPreset.x;
    lookAtCamera(view.eye, origin, target);
    linearFog(FOG_COLOUR, camera.nearPlane, camera.farPlane);

    float sizes[CLUSTER_POINT_LIMIT];
    clusterSizes(local, sizes, count);
    drawParticles(a.clusterPoints, nullptr, nullptr, sizes, nullptr, count, view.eye.position,
                  origin, a.spriteAtlasA, nullptr, CLUSTER_BLUR_RANGE, CLUSTER_SIZE, 1.0f,
                  PS_DEPTH_BLUR | PS_SORT, RENDER_ALPHA_BLEND);

    // Reset the state and the shared camera values, keep the matrices.
    beginFrame(nullptr);
    // The flash sprites shrink to nothing 10 rows after each half pattern; they are drawn at
    // size 0 too, so every frame's timing log has the same sections.
    drawParticles(a.clusterPoints, nullptr, nullptr, nullptr, nullptr, count, view.eye.position,
                  origin, a.spiralTexture, nullptr, FLASH_BLUR_RANGE,
                  FLASH_SIZE * squared(view.flash), FLASH_ALPHA, PS_ROTATE, RENDER_ADD);

    if (capture) {
        fillAlphaChannel(RENDER_TO_TEXTURE);
        return;
    }

    drawBackbeatPulse(local);
    drawHalfPatternFlash(t, 0.25f);
    float h = (float)view.halfPattern;
    drawScreenImage(a.layerTextureA, 0.15f * local + 0.16f * h, 0.0f, 1.0f, 1.0f, 0.75f, 0.0f,
                    0.075f, RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL);
    drawScreenImage(a.layerTextureB, 0.25f * local + 0.16f * h, 0.0f, 1.0f, 0.75f, 0.5625f, 0.0f,
                    0.075f, RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL);
    drawScreenTexture(a.captionTexture9, 1.0f, RENDER_ALPHA_BLEND);
}
