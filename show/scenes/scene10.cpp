// Scene 10: the return along the sprite trail.
//
// The camera flies on along Scene 2's curve, further out, in white fog, its field of view opening
// over the first half pattern. Four rippling image layers lie behind; the picture, drawn into the
// 512 x 256 corner, goes through the glow chain in a cool tint; mirrored screen-blended layers
// brighten it and the caption kicks on every half pattern.
//
// With the capture flag set (the precalculation's snapshot of the scene's last moment, which opens
// Scene 11) the picture stays in the corner with its alpha filled, without the flashes, the
// layers and the caption. The trail tables are filled on the first call, which is that capture.
#include "precalc/precalc.h"
#include "show/scenes/trail.h"
#include "show/show_local.h"

#include <cmath>

namespace {

struct Scene10State {
    TrailTables tables;
    float angles[TRAIL_ENTRY_COUNT];   // rewritten every frame
};
Scene10State scene10;

constexpr int32_t SCENE10_SPRITES = 120;
constexpr float SCENE10_SIDE_SIZE = 0.5f;
constexpr float SCENE10_FOG[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr float SCENE10_GLOW_TINT[4] = {0.45f, 0.5f, 0.55f, 1.0f};

void drawWarpLayers(float local)
{
    const RenderFlags screen = RENDER_SCREEN | RENDER_TO_TEXTURE;
    const RenderFlags multiply = RENDER_MUL | RENDER_TO_TEXTURE;
    drawGridWarp(assets.warpTexture1, 16, 9, local, rippleWarp, 1.0f, 1.0f, screen);
    drawGridWarp(assets.warpTexture2, 16, 9, local + 0.5f, rippleWarp, 1.0f, 1.0f, screen);
    drawGridWarp(assets.warpTexture1, 16, 9, local + 0.25f, rippleWarp, 1.0f, 1.0f, multiply);
    drawGridWarp(assets.warpTexture2, 16, 9, local + 0.75f, rippleWarp, 1.0f, 1.0f, multiply);
}

// The image faintly over the right half at full height and over the whole frame at half height,
// mirrored left to right, scrolling one image height a pattern.
void drawScreenLayers(float local)
{
    ScreenCorner corners[4 * SCROLLING_LAYER_QUADS];
    scrollingLayerCorners(corners, local, true);
    drawScreenQuads(assets.tissueTexture1, corners, SCROLLING_LAYER_QUADS, 0.2f, RENDER_SCREEN);
}

}   // namespace

void drawScene10(float local, float t, int32_t capture)
{
    (void)t;
    if (!scene10.tables.ready)
        fillTrailTables(&scene10.tables, assets.pathPoints, SCENE10_SIDE_SIZE, -1);
    const TrailTables& tables = scene10.tables;
    Scene10Frame frame = scene10Frame(local);

    trailAngles(scene10.angles, tables.randomValues, TRAIL_ENTRY_COUNT, local);
    Vec3 copy[TRAIL_COPY_COUNT];
    displaceTrail(copy, assets.pathPoints, local, false, 0.0f);

    beginFrame(&defaultClearColour);
    drawWarpLayers(local);

    Vec3 p;
    splinePoint(&p, frame.parameter, tables.keys, TRAIL_KEY_COUNT);
    CameraEye eye;
    // The shake's two random values are drawn x first, then y.
    float shakeX = randomUnit();
    eye.position.x = (float)(p.x + 0.025 * std::sin(3.38172 * local) +
                             0.01 * shakeX * halfPatternFlash(local, 0.05f));
    float shakeY = randomUnit();
    eye.position.y = (float)(p.y + 0.025 * std::sin(4.71652 * local) +
                             0.01 * shakeY * halfPatternFlash(local, 0.05f));
    eye.position.z = p.z;
    eye.fieldOfView = scene10FieldOfView(local, frame.open);
    Vec3 target;
    splinePoint(&target, frame.parameter + 0.00175f, tables.keys, TRAIL_KEY_COUNT);
    camera.nearPlane = 0.001f;
    camera.farPlane = 5.0f;
    camera.projectionShift = {-projectionShiftPreset.x * frame.shift,
                              -projectionShiftPreset.y * frame.shift, 0.0f};
    lookAtCamera(eye, target, RENDER_TO_TEXTURE);

    linearFog(SCENE10_FOG, 0.15f, 1.1f);

    int32_t f0 = frame.first;
    drawParticles(copy + f0, nullptr, scene10.angles + f0, tables.sizes + f0, nullptr,
                  trailDrawCount(f0, SCENE10_SPRITES), eye.position, target,
                  assets.spritePairAtlas2, tables.sprites + f0, 1.5f, 0.5f, 1.0f,
                  PS_DEPTH_BLUR | PS_ROTATE, RENDER_ALPHA_BLEND | RENDER_NO_DEPTH);

    buildGlowChainDisc(&assets.screenCopyChain, 1, 1.0f, SCENE10_GLOW_TINT);
    drawGlowChain(&assets.screenCopyChain, capture ? RENDER_TO_TEXTURE : 0);

    if (capture) {
        fillAlphaChannel(RENDER_TO_TEXTURE);
        return;
    }
    drawBackbeatPulse(local);
    drawHalfPatternFlash(local, 0.25f);
    drawScreenLayers(local);
    float kick = 0.15f * halfPatternFlash(local, 0.05f);
    drawScreenTextureInset(assets.captionTexture10, 1.0f, (float)std::pow(kick, 2.0),
                           RENDER_ALPHA_BLEND);
}
