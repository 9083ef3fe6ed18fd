// Scene 1, 0 to 6 patterns: the opening. A churning blob surface, rebuilt every frame from 24
// moving blobs (every fourth carving, every fifth a rounded cube), drawn as depth-blurred
// sprites on its vertices and triangle centres in front of a large soft glow, between two faint
// scrolling backdrop layers. The makers' logo and then the title flash in on the ticks, the
// camera cuts on the same ticks, and in the last half pattern it zooms in with a stepped jitter.
// Everything is a function of the show time; nothing is kept between frames.
#include "show/scenes/blob_scenes.h"

#include "effects/effects.h"
#include "precalc/precalc.h"
#include "show/show_local.h"
#include "support/support.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr Vec3 GLOW_POSITION = {0.0f, 0.0f, -20.0f};
constexpr float GLOW_SIZE = 150.0f;
constexpr float SURFACE_BLUR_RANGE = 0.2f;
constexpr float SURFACE_SPRITE_SIZE = 1.5f;
constexpr RenderFlags BACKDROP_FLAGS = RENDER_ADD | RENDER_NO_DEPTH | RENDER_NO_CULL;
constexpr RenderFlags CAPTION_FLAGS =
    RENDER_ALPHA_BLEND | RENDER_NO_DEPTH | RENDER_NO_CULL | TEX_CLAMP;

}   // namespace

OpeningView openingViewAt(float t)
{
    OpeningView v;
    v.ticks = tickCount(t);
    v.fade = clamp01(2.0f * t);
    v.blobRadius = clamp01(t / 2.0f) * 3.5f;

    int32_t row = (int32_t)std::floor(std::fmod(t, 1.0f) * 64.0f);
    int32_t jitter = t >= 5.75f ? (row & 15) : 0;
    double zoom = t >= 5.5f ? std::pow(((double)t - 5.5) * 2.0, 3.0) * 58.0 + 2.0 * jitter : 0.0;
    v.fieldOfView = (float)(90.0 - zoom);

    // The whole tick count goes into the phases, so the camera jumps on every tick.
    float k = (float)v.ticks;
    Vec3& eye = v.eye.position;
    eye.x = 5.0f * (float)std::sin(0.39 * PI * t + k);
    eye.y = 4.0f * (float)std::sin(0.31 * PI * t + k);
    eye.z = 6.0f;
    v.eye.fieldOfView = v.fieldOfView;
    float toward = 0.5f + 0.4f * (float)std::sin(2.0 * PI * t);
    v.target = {eye.x * toward, eye.y * toward, eye.z * toward};

    v.title = t >= 3.0f;
    v.captionPan = (v.title ? 0.1f - 0.1f * t : 0.3f - 0.1f * t) + ((v.ticks & 1) ? 0.1f : 0.0f);
    v.captionAlpha = tickFlash(t, 0.01f);
    return v;
}

void openingBlobs(Blob* blobs, float t, float radius)
{
    for (int32_t i = 0; i < OPENING_BLOB_COUNT; i++) {
        Blob& b = blobs[i];
        b.x = 5.0f * std::sin(0.175f * t + 2.7f * (float)i);
        b.y = 5.0f * std::sin(0.271f * t + 1.3f * (float)i);
        b.z = 5.0f * std::sin(0.152f * t + 8.7f * (float)i);
        b.radius = radius;
        b.negative = i % 4 == 0 ? 1 : 0;
        b.shape = i % 5 == 0 ? 1 : 0;
    }
}

void drawScene1(float t)
{
    const AssetTable& a = assets;
    OpeningView view = openingViewAt(t);
    float k = (float)view.ticks;

    beginFrame(&defaultClearColour);
    drawScreenImage(a.backdropTexture, 0.15f * t + 0.27f * k, 0.0f, 1.0f, 1.0f, 0.75f, 0.0f,
                    0.05f * view.fade, BACKDROP_FLAGS);

    camera.projectionShift = {-projectionShiftPreset.x, 0.0f, 0.0f};
    camera.nearPlane = 0.01f;
    camera.farPlane = 100.0f;
    lookAtCamera(view.eye, view.target, 0);

    std::vector<Blob> blobs(OPENING_BLOB_COUNT);
    openingBlobs(blobs.data(), t, view.blobRadius);
    generateSurface(blobs.data(), OPENING_BLOB_COUNT);

    // A particle on every vertex and one under every triangle's centre; each turns with its
    // position and is brightest where the surface faces the glow.
    float* sizes = meshToParticles(surfaceVertices, surfaceNormals, &surfaceVertexCount,
                                   surfaceTriangles, surfaceTriangleCount, 0, 0.0f, 1);
    int32_t count = surfaceVertexCount;
    std::vector<float> angles((size_t)count), brightness((size_t)count);
    Vec3 towardGlow = GLOW_POSITION;
    normalize3(&towardGlow);
    for (int32_t i = 0; i < count; i++) {
        const Vec3& p = surfaceVertices[i];
        angles[(size_t)i] = (p.x + p.y + p.z) * 0.2f;
        brightness[(size_t)i] = 0.5f + 0.5f * (float)dot3(&towardGlow, &surfaceNormals[i]);
    }

    drawParticles(&GLOW_POSITION, nullptr, nullptr, nullptr, nullptr, 1, view.eye.position,
                  view.target, a.glowTexture, nullptr, 0.0f, GLOW_SIZE, view.fade * 1.0f, 0,
                  RENDER_ADD);
    drawParticles(surfaceVertices, surfaceNormals, angles.data(), sizes, brightness.data(), count,
                  view.eye.position, view.target, a.spriteAtlasB, nullptr, SURFACE_BLUR_RANGE,
                  SURFACE_SPRITE_SIZE, 1.0f, PS_DEPTH_BLUR | PS_SORT | PS_ROTATE,
                  RENDER_ALPHA_BLEND);
    std::free(sizes);

    drawScreenImage(a.backdropTexture, 0.15f * t + 0.16f * k, 0.0f, 1.0f, 0.5f, 0.375f, 0.0f,
                    0.05f * view.fade, BACKDROP_FLAGS);
    drawTickFlash(t, 0.25f);

    drawScreenImage(view.title ? a.titleTexture : a.logoTexture, view.captionPan, -1.0f, 1.5f, 2.0f,
                    4.5f, 0.0f, view.captionAlpha, CAPTION_FLAGS);
}
