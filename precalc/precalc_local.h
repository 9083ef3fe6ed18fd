// What precalc/ and its tests share beyond precalc/precalc.h: the point-set builders and the
// grown aggregates, each a pure function of the shared random generator. Not for other folders.
#pragma once

#include "precalc/precalc.h"

#include <cstdint>

// ---- The point sets, without OpenGL ----------------------------------------------------------
//
// Each draws from the shared random generator in a fixed order; the swarm reseeds it first, the
// others continue from whatever state the previous step left.

// Fills PATH_POINT_COUNT points.
void buildPathPoints(Vec3* points);
// Fills SWARM_POINT_COUNT points; assigns randomSeed first.
void buildSwarmPoints(Vec3* points);
// Fills RAY_POINT_COUNT points.
void buildRayPoints(Vec3* points);

// The grown aggregates: walkers start on a sphere, wander inwards and freeze where they come
// within GROWTH_HIT_DISTANCE of the structure as it stood when they set off.
struct GrowthParams {
    int32_t limit;         // grow until the count reaches this
    float startRadius;     // walkers start this far from the origin
    bool flattenedStart;   // start direction's y = randomUnit - 0.5 randomUnit (the cluster)
};
constexpr GrowthParams GROWTH_AGGREGATE = {GROWTH_POINT_LIMIT, 12.0f, false};
constexpr GrowthParams CLUSTER_AGGREGATE = {CLUSTER_POINT_LIMIT, 8.0f, true};
constexpr float GROWTH_STEP = 0.075f;
constexpr float GROWTH_HIT_DISTANCE = 0.6f;

// Grows into points (room for params.limit + GROWTH_OVERSHOOT) and returns the count. onMultiple,
// if given, is called each time a walker step brings the count to a multiple of 2048 (the
// loading screen). growAggregateLiteral is the same walk with a plain scan over all candidates:
// slow, kept to check and time the fast one against.
int32_t growAggregate(Vec3* points, GrowthParams params, void (*onMultiple)());
int32_t growAggregateLiteral(Vec3* points, GrowthParams params, void (*onMultiple)());
