// The growth scenes: Scene 5 (the shadowed aggregate under a soft sun) and Scene 9 (the sprite
// cluster with its half-pattern flashes). What each frame's camera is, worked out from the show
// time without OpenGL, so it can be checked on its own; the scene files draw with it.
#pragma once

#include "render/render.h"

#include <cstdint>

// Scene 5's camera for show time t. The orbit changes speed and direction on every half
// pattern; the field of view kicks on the odd beats and harder after each half pattern.
struct GrowthView {
    CameraEye eye;
    Vec3 target;          // a fraction of the eye position, between 0.48 and 0.98
    float sunAlpha;       // 0 while the eye stands on the sun's side of the origin
    float panDirection;   // the orbit's speed factor, which the backdrop pans with too
    int32_t halfPattern;
};
GrowthView growthViewAt(float t);

// Scene 9's camera for local time L (from -0.25) and show time t. Before L = 0 the field of view
// opens from 0 to 90 degrees; on every half pattern the orbit reverses and jumps.
struct ClusterView {
    CameraEye eye;   // looking at the origin
    Vec3 up;
    int32_t halfPattern;
    float flash;   // the half-pattern envelope the flash sprites swell with
};
ClusterView clusterViewAt(float local, float t);

// The cluster's per-particle size factors: a wave that runs along the point order and beats
// four times a pattern.
void clusterSizes(float local, float* sizes, int32_t count);
