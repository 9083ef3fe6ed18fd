// The sprite trail that Scenes 2 and 10 fly along.
//
// The trail is the path point set of the asset table: 4096 pairs, each a point on a smooth
// wandering curve and a side point a short way off it. Both scenes steer the camera along a
// closed spline through the curve points, draw only a short window of sprites starting ten points
// behind the camera, and let the side points drift about their place. Each scene keeps its own
// tables (filled once, on its first frame, from the shared random generator), so the two scenes
// differ only in the numbers below, never in the walk itself.
//
// Everything here but the tables' owners is pure: no OpenGL call, so the tests check the camera
// travel, the drawn window and the drift without a context.
#pragma once

#include "support/support.h"

#include <cstdint>

constexpr int32_t TRAIL_ENTRY_COUNT = 8192;   // the whole path point set
constexpr int32_t TRAIL_KEY_COUNT = 4096;     // its curve points, the spline's control points
constexpr int32_t TRAIL_COPY_COUNT = 4096;    // the entries copied and displaced every frame

// The tables a scene fills once from the path: the spline keys over the curve points, one random
// value per entry (in entry order), the sprite of the pair atlas (1 on the curve, 0 beside it)
// and a size factor per entry.
struct TrailTables {
    bool ready;
    Splinept keys[TRAIL_KEY_COUNT];
    float randomValues[TRAIL_ENTRY_COUNT];
    uint8_t sprites[TRAIL_ENTRY_COUNT];
    float sizes[TRAIL_ENTRY_COUNT];
};

// Scene 2 leaves out the side points up to and including this entry, the stretch of the trail
// where the camera sets off.
constexpr int32_t TRAIL_HIDDEN_SIDE_ENTRIES = 300;

// Curve entries get size 1; side entries sideSize, or 0 when their index is at most hiddenThrough
// (-1 hides none). Draws TRAIL_ENTRY_COUNT random values and marks the tables ready.
void fillTrailTables(TrailTables* tables, const Vec3* path, float sideSize, int32_t hiddenThrough);

// The first entry of the drawn window: ten points behind the camera's place on the curve for the
// travel r, wrapped into the point set.
int32_t trailFirstIndex(float travel);
// How many of count sprites from first still lie inside the per-frame copy.
int32_t trailDrawCount(int32_t first, int32_t count);
// The camera's place along the spline (a fraction of the key table) for the travel r.
float trailSplineParameter(float travel);

// The per-frame copy: the curve entries as they are, the side entries drifting about their place
// by up to 0.1. When shiver is set every side coordinate also gets (randomUnit - randomUnit) x
// jitter, drawn x, y, z in turn, the first value added and the second subtracted; the draws are
// made even when jitter is 0, so the random sequence does not depend on the beat.
void displaceTrail(Vec3* copy, const Vec3* path, float local, bool shiver, float jitter);

// ---- Scene 2: out along the trail and back -------------------------------------------------

struct Scene2Frame {
    float step;        // backbeat steps so far
    float travel;      // r: out to 5.05 just before L = 2, then a cut back and a slow return
    float fade;        // in over the first half pattern, out over the last
    float parameter;   // the camera's place along the spline
    int32_t first;     // first drawn entry
};
Scene2Frame scene2Frame(float local);
// The widening kick on each half pattern and the one-row kick on every odd beat, in degrees.
float scene2FieldOfView(float local);

// ---- Scene 10: further out, in white fog -----------------------------------------------------

struct Scene10Frame {
    float travel;   // r = 2L + 4
    float parameter;
    float open;    // 1 at L = 0, gone by L = 0.5: the field of view opens
    float shift;   // the projection shift's scale, 1 down to 0
    int32_t first;
};
Scene10Frame scene10Frame(float local);
// In degrees; the camera takes a field of view of 0 as 90.
float scene10FieldOfView(float local, float open);
// Fills count angles: random value + sin(L + 0.15 i).
void trailAngles(float* angles, const float* randomValues, int32_t count, float local);
