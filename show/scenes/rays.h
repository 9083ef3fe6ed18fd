// The ray bursts of Scenes 4 and 6: the three rotations about the axes, and the per-frame poses
// of the 40 rays of 50 points (rayPoints of the asset table) that both scenes twist, sway and
// draw as sprites.
//
// Everything here is pure (no OpenGL). Each ring of points (the same distance along every ray)
// turns by the same angles and sways by the same offset, so a pose is a rigid motion per ring:
// the angles differ from ring to ring, and that bends the rays into spirals.
#pragma once

#include "support/support.h"

#include <cstdint>

// Rotations by a radians, right-handed about each axis, in double precision and stored as
// floats. They return out; v is taken by value, so out may be the source.
Vec3* rotateAboutX(Vec3* out, Vec3 v, float a);
Vec3* rotateAboutY(Vec3* out, Vec3 v, float a);
Vec3* rotateAboutZ(Vec3* out, Vec3 v, float a);

// Scene 4's burst at show time T into out (RAY_POINT_COUNT points): the motion jumps ahead by
// one unit of time at every half pattern, the rings turn about Z, then Y, then X, and sway by
// up to 3 units.
void computeInterludeBurst(Vec3* out, const Vec3* rays, float time);

// Scene 6's burst (rayBurst) for local time local and show time t: the pose follows
// halfPatternIndex(t) + local, so it snaps on every half pattern, and a bump runs out along
// every ray in y on each odd beat of the local time.
void computeRayBurst(Vec3* out, const Vec3* rays, float local, float t);
