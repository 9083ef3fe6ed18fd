// The two blob-surface scenes: the opening (Scene 1) and the nested zoom (Scene 11). What each
// frame's picture depends on is worked out by pure functions here, so tests can check the
// camera, the cuts and the captions without drawing.
#pragma once

#include "render/render.h"
#include "texture/texture.h"

#include <cstdint>

// ---- Scene 1 ---------------------------------------------------------------------------------

constexpr int32_t OPENING_BLOB_COUNT = 24;

struct OpeningView {
    int32_t ticks;       // ticks reached: the camera and the layers jump on each
    float fade;          // 0 ... 1 over the first half pattern
    float blobRadius;    // grows to 3.5 over two patterns
    float fieldOfView;   // 90, narrowing in the last half pattern
    CameraEye eye;
    Vec3 target;
    // The caption: the logo, then the title, flashing in on the ticks.
    bool title;
    float captionPan;
    float captionAlpha;
};
OpeningView openingViewAt(float t);

// The 24 blobs at show time t with the given radius.
void openingBlobs(Blob* blobs, float t, float radius);

// ---- Scene 11 --------------------------------------------------------------------------------

constexpr int32_t NEST_BLOB_COUNT = 8;
constexpr int32_t NEST_COPIES = 4;

struct NestView {
    int32_t cameraChoice;   // 0 in the scene's patterns 0 and 2, 1 in 1 and 3
    float zoomExponent;     // X: the nest is scaled by 8 x 3^X
    CameraEye eye;          // looking at the origin
    // Copy i (0 = smallest) is copy number n = floor(X) + 3 - i, drawn at weight[i].
    int32_t copyNumber[NEST_COPIES];
    float copyWeight[NEST_COPIES];
};
NestView nestViewAt(float a, float t);

// The 8 blobs at local time a.
void nestBlobs(Blob* blobs, float a);
