// Scene 11, 34.5 to 38.5 patterns: the nested zoom. A blob surface from eight moving blobs
// (three carving holes) drawn as a sprite cloud four times, each copy three times smaller than
// the one before, turned a quarter turn and point-mirrored on every other step, so that zooming
// the nest by powers of three dives endlessly into the shape. The camera circles at a distance
// of 64, bobbing, and cuts on the musical grid; the picture goes through the glow chain and gets
// a scrolling band, a faint backdrop, beat pulses, flashes and the caption on top. In the first
// half pattern the last picture of Scene 10 zooms in and fades out over it.
#include "show/scenes/blob_scenes.h"

#include "effects/effects.h"
#include "precalc/precalc.h"
#include "show/show_local.h"
#include "support/support.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr Vec3 ORIGIN = {0.0f, 0.0f, 0.0f};
constexpr float NEST_SCALE = 8.0f;
constexpr float COPY_ALPHA = 0.4f;
constexpr RenderFlags LAYER_FLAGS = RENDER_NO_DEPTH | RENDER_NO_CULL;

}   // namespace

NestView nestViewAt(float a, float t)
{
    NestView v;
    v.cameraChoice = (int32_t)a & 1;
    v.zoomExponent = std::fmod(a, 1.0f) < 0.5f ? 4.0f + 4.0f * (float)std::cos(PI * a) : 1.0f;

    float ph = 3.0f * (float)std::sin(PI * 0.37 * 2.0 * a - 0.1);
    float S = (float)(int32_t)(0.25f * backbeatStep(a) + 2.0f * (float)halfPatternIndex(t));
    float kick = std::pow(pulse(a + 0.0625f, 1.0f, 8.0f, 8.0f), 2.0f);
    Vec3& eye = v.eye.position;
    if (v.cameraChoice == 0) {
        eye = {64.0f * std::sin(S + ph), 50.0f * (float)std::sin(1.54 * PI * a + S),
               64.0f * std::cos(S + ph)};
        v.eye.fieldOfView = 40.0f + 10.0f * kick;
    } else {
        eye = {64.0f * std::sin(S + 2.0f * ph), 50.0f * (float)std::sin(3.0 * PI * a + S),
               64.0f * std::cos(S + 2.0f * ph)};
        v.eye.fieldOfView = 80.0f - 10.0f * kick;
    }

    // The largest copy fades out as it grows, the smallest fades in.
    int32_t whole = (int32_t)std::floor(v.zoomExponent);
    float part = std::fmod(v.zoomExponent, 1.0f);
    for (int32_t i = 0; i < NEST_COPIES; i++) {
        int32_t n = whole + 3 - i;
        v.copyNumber[i] = n;
        v.copyWeight[i] = n == whole ? 1.0f - part : n == whole + 3 ? part : 1.0f;
    }
    return v;
}

void nestBlobs(Blob* blobs, float a)
{
    blobs[0] = {3.0f * std::sin(2.291f * a),
                3.0f * std::sin(4.182f * a),
                3.0f * std::sin(3.827f * a),
                8.0f,
                0,
                0};
    blobs[1] = {3.0f * std::sin(3.172f * a),
                3.0f * std::sin(2.814f * a),
                3.0f * std::sin(4.218f * a),
                8.0f,
                0,
                0};
    for (int32_t i = 2; i < NEST_BLOB_COUNT; i++) {
        float f = (float)i;
        blobs[i] = {2.5f * std::sin(4.727f * a + 2.9f * f),
                    2.5f * std::sin(2.871f * a + 1.7f * f),
                    2.5f * std::sin(5.352f * a + 3.7f * f),
                    5.0f,
                    i % 2,
                    0};
    }
}

void drawScene11(float a, float t)
{
    const AssetTable& assetTable = assets;
    NestView view = nestViewAt(a, t);

    beginFrame(&defaultClearColour);
    camera.projectionShift = {0.5f * projectionShiftPreset.x, 0.5f * projectionShiftPreset.y, 0.0f};
    camera.nearPlane = 0.001f;
    camera.farPlane = 2048.0f;
    lookAtCamera(view.eye, ORIGIN, RENDER_TO_TEXTURE);

    std::vector<Blob> blobs(NEST_BLOB_COUNT);
    nestBlobs(blobs.data(), a);
    generateSurface(blobs.data(), NEST_BLOB_COUNT);
    float* sizes = meshToParticles(surfaceVertices, surfaceNormals, &surfaceVertexCount,
                                   surfaceTriangles, surfaceTriangleCount, 0, 0.0f, 1);
    int32_t count = surfaceVertexCount;
    std::vector<float> angles((size_t)count);
    for (int32_t i = 0; i < count; i++)
        angles[(size_t)i] = surfaceVertices[i].y - surfaceVertices[i].x;

    float scale = NEST_SCALE * std::pow(3.0f, view.zoomExponent);
    selectModelView();
    scaleModelView(scale);
    for (int32_t i = 0; i < NEST_COPIES; i++) {
        int32_t n = view.copyNumber[i];
        pushModelView();
        if (n % 2 != 0)
            scaleModelView(-1.0f);
        rotateModelViewY((float)n * 90.0f);
        float shrink = std::pow(1.0f / 3.0f, (float)n);
        scaleModelView(shrink);
        drawParticles(surfaceVertices, surfaceNormals, angles.data(), sizes, nullptr, count,
                      view.eye.position, ORIGIN, assetTable.sceneTexture2, nullptr, 0.0f, 1.0f,
                      COPY_ALPHA * view.copyWeight[i], PS_SORT | PS_ROTATE | PS_ALL, RENDER_SCREEN);
        popModelView();
    }
    std::free(sizes);

    buildGlowChainZoom(&assetTable.screenCopyChain, 1, 0.5f, greyTint);
    drawGlowChain(&assetTable.screenCopyChain, 0);

    if (a < 0.5f) {
        float grow = 2.0f * a;
        drawScreenImage(assetTable.captureTexture10, 0.0f, 0.0f, 32.0f * grow * grow * grow + 1.0f,
                        1.0f, -1.0f, 0.0f, std::sqrt(1.0f - grow), RENDER_SCREEN | LAYER_FLAGS);
    }
    float halfPatterns = (float)halfPatternIndex(t);
    drawScreenImage(assetTable.sceneTexture7, 0.16f * halfPatterns - 0.15f * a, 0.0f, 1.0f, 1.5f,
                    1.125f, 0.0f, 1.0f, RENDER_MUL | LAYER_FLAGS);
    drawScreenImage(assetTable.backdropTexture, 0.16f * halfPatterns + 0.15f * a, 0.0f, 1.0f, 0.5f,
                    0.375f, 0.0f, 0.075f, RENDER_ALPHA_BLEND | LAYER_FLAGS);
    drawBackbeatPulse(a);
    drawHalfPatternFlash(t, 0.25f);
    float margin = std::pow(0.15f * halfPatternFlash(a, 0.05f), 2.0f);
    drawScreenTextureInset(assetTable.captionTexture11, 1.0f, margin, RENDER_ALPHA_BLEND);
}
