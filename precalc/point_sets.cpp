// The point sets of the precalculation: the trail, the swarm, the rays and the grown aggregates.
// Pure computations over the shared random generator; the order of draws inside each is part of
// the show (the assets must come out the same on every run), so it is kept exactly.
#include "precalc/precalc_local.h"

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace {

// Unit length, or left at zero: a zero vector (two equal draws) must not turn into NaNs that
// would poison every later point.
void normaliseOrZero(Vec3* v)
{
    if (v->x == 0.0f && v->y == 0.0f && v->z == 0.0f)
        return;
    normalize3(v);
}

float randomDifference()
{
    float a = randomUnit();
    return a - randomUnit();
}

float length3(Vec3 v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

}   // namespace

void buildPathPoints(Vec3* points)
{
    for (int32_t i = 0; i < 4; i++)
        points[i] = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 2; i < PATH_POINT_COUNT / 2; i++) {
        Vec3 d = {(float)(std::sin(0.0738121 * i) + std::sin(0.0567182 * i)),
                  (float)(std::sin(0.0517018 * i) + std::sin(0.0708197 * i)), 1.0f};
        normalize3(&d);
        Vec3 e;
        e.y = randomDifference();
        e.x = randomDifference();
        e.z = 0.0f;
        normaliseOrZero(&e);
        float length = (randomUnit() + 2.0f) * 0.1f;
        const Vec3& previous = points[2 * i - 2];
        Vec3& curve = points[2 * i];
        curve = {previous.x + 0.05f * d.x, previous.y + 0.05f * d.y, previous.z + 0.05f * d.z};
        points[2 * i + 1] = {curve.x + length * e.x, curve.y + length * e.y, curve.z};
    }
}

void buildSwarmPoints(Vec3* points)
{
    randomSeed = 17532592;
    float p[3] = {0, 0, 0};
    float v[3] = {0, 0, 0};
    float m[3] = {0, 0, 0};
    for (int32_t i = 0; i < SWARM_POINT_COUNT; i++) {
        if (length3({p[0], p[1], p[2]}) > 8.0f)
            for (float& c : p)
                c = randomUnit() - 0.5f;
        for (int axis = 0; axis < 3; axis++)
            v[axis] = 0.85f * v[axis] + 0.15f * (randomUnit() - 0.5f);
        for (int axis = 0; axis < 3; axis++) {
            p[axis] = 0.99f * p[axis] + 0.075f * v[axis];
            m[axis] += p[axis] / SWARM_POINT_COUNT;
        }
        points[i] = {20.0f * p[0], 20.0f * p[1], 20.0f * p[2]};
    }
    for (int32_t i = 0; i < SWARM_POINT_COUNT; i++) {
        points[i].x -= 20.0f * m[0];
        points[i].y -= 20.0f * m[1];
        points[i].z -= 20.0f * m[2];
    }
}

void buildRayPoints(Vec3* points)
{
    for (int32_t ray = 0; ray < RAY_COUNT; ray++) {
        Vec3 d;
        float length;
        // A direction uniform over the sphere: rejection from the cube. A zero draw is rejected
        // too, as it has no direction.
        do {
            d.x = 2.0f * randomUnit() - 1.0f;
            d.y = 2.0f * randomUnit() - 1.0f;
            d.z = 2.0f * randomUnit() - 1.0f;
            length = length3(d);
        } while (length > 1.0f || length == 0.0f);
        normalize3(&d);
        // k d / 5, product first: (k / 5) d rounds differently in about a third of the points.
        for (int32_t k = 0; k < RAY_POINTS_PER_RAY; k++) {
            float f = (float)k;
            points[RAY_POINTS_PER_RAY * ray + k] = {f * d.x / 5.0f, f * d.y / 5.0f, f * d.z / 5.0f};
        }
    }
}

// ---- Grown aggregates ------------------------------------------------------------------------

namespace {

bool within(Vec3 a, Vec3 b, float distance)
{
    return length3({a.x - b.x, a.y - b.y, a.z - b.z}) <= distance;
}

// The plain scan: the first j below limit within reach.
struct LinearSearch {
    const Vec3* points;
    int32_t limit = 1;

    void setLimit(int32_t newLimit) { limit = newLimit; }
    int32_t firstHit(Vec3 p) const
    {
        for (int32_t j = 0; j < limit; j++)
            if (within(p, points[j], GROWTH_HIT_DISTANCE))
                return j;
        return -1;
    }
};

// The same answer from a hashed grid of cells a little wider than the reach, so every point in
// reach lies in the 27 cells around the walker despite rounding. Each cell lists its points in
// index order, so the first hit in a cell is its lowest, and the lowest over the cells is the
// scan's first.
struct GridSearch {
    static constexpr float CELL = 0.65f;
    const Vec3* points;
    int32_t limit = 0;
    std::unordered_map<uint64_t, std::vector<int32_t>> cells;

    static int32_t cellOf(float c) { return (int32_t)std::floor(c / CELL); }
    static uint64_t key(int32_t x, int32_t y, int32_t z)
    {
        return ((uint64_t)(uint32_t)(x & 0x1FFFFF) << 42) |
               ((uint64_t)(uint32_t)(y & 0x1FFFFF) << 21) | (uint64_t)(uint32_t)(z & 0x1FFFFF);
    }

    void setLimit(int32_t newLimit)
    {
        for (int32_t j = limit; j < newLimit; j++) {
            const Vec3& q = points[j];
            cells[key(cellOf(q.x), cellOf(q.y), cellOf(q.z))].push_back(j);
        }
        limit = newLimit;
    }

    int32_t firstHit(Vec3 p) const
    {
        if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)))
            return -1;
        int32_t cx = cellOf(p.x), cy = cellOf(p.y), cz = cellOf(p.z);
        int32_t best = -1;
        for (int32_t x = cx - 1; x <= cx + 1; x++)
            for (int32_t y = cy - 1; y <= cy + 1; y++)
                for (int32_t z = cz - 1; z <= cz + 1; z++) {
                    auto found = cells.find(key(x, y, z));
                    if (found == cells.end())
                        continue;
                    for (int32_t j : found->second) {
                        if (best >= 0 && j >= best)
                            break;
                        if (within(p, points[j], GROWTH_HIT_DISTANCE)) {
                            best = j;
                            break;
                        }
                    }
                }
        return best;
    }
};

Vec3 startDirection(bool flattened)
{
    Vec3 s;
    s.x = randomDifference();
    if (flattened) {
        float a = randomUnit();
        s.y = a - 0.5f * randomUnit();
    } else {
        s.y = randomDifference();
    }
    s.z = randomDifference();
    normaliseOrZero(&s);
    return s;
}

template <typename Search>
int32_t grow(Vec3* points, GrowthParams params, void (*onMultiple)(), Search& search)
{
    int32_t count = 1;
    points[0] = {0.0f, 0.0f, 0.0f};
    search.setLimit(1);

    float radius = params.startRadius;
    Vec3 s = startDirection(params.flattenedStart);
    Vec3 p = {radius * s.x, radius * s.y, radius * s.z};
    Vec3 v = {-s.x, -s.y, -s.z};   // the first walker only; later ones head along -p

    while (count < params.limit) {
        int32_t j = search.firstHit(p);
        if (j >= 0) {
            // Fill the gap between the walker and the point it touched, then send a new one.
            Vec3 q = points[j];
            for (int32_t k = 1; k <= 7; k++) {
                float f = (float)k / 8.0f;
                points[count++] = {p.x * f + q.x * (1.0f - f), p.y * f + q.y * (1.0f - f),
                                   p.z * f + q.z * (1.0f - f)};
            }
            // The new heading is -p normalised afresh, which is not always -s to the last bit.
            s = startDirection(params.flattenedStart);
            p = {radius * s.x, radius * s.y, radius * s.z};
            v = {-p.x, -p.y, -p.z};
            normaliseOrZero(&v);
            search.setLimit(count);
        } else {
            p = {p.x + GROWTH_STEP * v.x, p.y + GROWTH_STEP * v.y, p.z + GROWTH_STEP * v.z};
            v.x = 0.6f * v.x + 0.4f * randomDifference() - 0.01f * p.x;
            v.y = 0.6f * v.y + 0.4f * randomDifference() - 0.01f * p.y;
            v.z = 0.6f * v.z + 0.4f * randomDifference() - 0.01f * p.z;
            normaliseOrZero(&v);
        }
        points[count++] = p;
        if (count % 2048 == 0 && onMultiple)
            onMultiple();
    }
    return count;
}

}   // namespace

int32_t growAggregate(Vec3* points, GrowthParams params, void (*onMultiple)())
{
    GridSearch search;
    search.points = points;
    search.cells.reserve(8192);
    return grow(points, params, onMultiple, search);
}

int32_t growAggregateLiteral(Vec3* points, GrowthParams params, void (*onMultiple)())
{
    LinearSearch search;
    search.points = points;
    return grow(points, params, onMultiple, search);
}
