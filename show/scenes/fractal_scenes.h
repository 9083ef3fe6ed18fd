// The two fractal scenes: the animated fractal (Scene 7) and the endless zoom with the credits
// (Scene 8). Their per-frame quantities are pure functions, so tests check them without drawing.
#pragma once

#include "render/render.h"

#include <cstdint>

struct FractalView {
    int32_t halfPattern;   // of the show time: the camera jumps round the orbit on each
    float zoom;            // 0 until the last half pattern, then rising to 1
    float fade;            // 0 ... 1 ... 0: how sharp the glow chain leaves the picture
    float fractalTime;     // the parameter animateIfs is called with
    CameraEye eye;
    Vec3 target;
};
FractalView fractalViewAt(float L, float t);

constexpr int32_t ZOOM_COPIES = 4;

struct FractalZoomView {
    float zoomPosition;   // s: four copies a pattern, wrapping every two patterns
    float glow;           // b: how far the glow chain blurs the picture
    CameraEye eye;        // looking at the origin
    int32_t firstCopy;    // m of the largest copy; copies firstCopy ... firstCopy + 3
    float copyAlpha[ZOOM_COPIES];
};
FractalZoomView fractalZoomViewAt(float L, float t);
