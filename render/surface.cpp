// Blob surface generator: the blobs' summed field on a 32^3 lattice, polygonised by marching
// tetrahedra into the shared surface arrays, smoothed once, with gradient normals.
//
// Every generation, in order: sample the lattice (only the 4^3 leaves that a blob reaches), march
// the cubes inside the bounding box of the inside points, smooth, take normals, bump the
// generation stamp. No OpenGL here.
//
// Speed: each leaf of the lattice gets the list of blobs whose field can be non-zero in it, built
// once per generation in blob order. Both the lattice sampling and the normal evaluation sum only
// those blobs, which gives exactly the all-blob sum (the others add nothing) at a fraction of the
// cost.
#include "render/render_local.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

SurfaceGeneratorState surfaceState;
int32_t surfaceGeneration = 0;

Vec3 surfaceVertices[SURFACE_MAX_VERTICES];
Vec3 surfaceNormals[SURFACE_MAX_VERTICES];
int32_t surfaceTriangles[SURFACE_MAX_TRIANGLES * 3];
int32_t surfaceVertexCount = 0;
int32_t surfaceTriangleCount = 0;

namespace {

constexpr int32_t N = SURFACE_LATTICE_SIZE;
constexpr int32_t LEAF = 4;
constexpr int32_t LEAVES = N / LEAF;   // per axis
constexpr int32_t LEAF_COUNT = LEAVES * LEAVES * LEAVES;

// How far a blob reaches from its centre along an axis, in radii, for the octree test. A round
// blob adds nothing beyond sqrt(0.5) R. A rounded cube's q is a sum of fourth powers, so its
// field reaches 0.5^(1/4) R along the axes; any shorter reach (half the radius, say) would
// slice its inside, which extends to 0.626 R, off flat at leaf boundaries.
constexpr double ROUND_REACH = 0.707;
constexpr double CUBE_REACH = 0.8409;
// Slightly wider bounds for the leaf lists, so that no blob with a non-zero term is ever left
// out of a sum, plus room for the normals' sample offset.
constexpr float ROUND_SUPPORT = 0.7072f;
constexpr float CUBE_SUPPORT = 0.8410f;
constexpr float LIST_MARGIN = 0.05f;

constexpr float NORMAL_STEP = 0.01f;
constexpr double NORMAL_SCALE = 100.00000223517422904;   // 1 / NORMAL_STEP as a float

struct PreparedBlob {
    float cx, cy, cz;   // centre in lattice coordinates (0 .. 31)
    float inverse;      // 1 / R^2 (round) or 1 / R^4 (cube)
    float sign;
    int32_t shape;
    double reach;
    float support;
};

struct Workspace {
    std::vector<PreparedBlob> blobs;
    std::vector<int32_t> leafStart;   // LEAF_COUNT + 1 offsets into leafBlobs
    std::vector<int32_t> leafBlobs;
    std::vector<uint8_t> leafReached;
    std::vector<uint8_t> leafIsZero;   // the leaf's points already hold value 0, inside 0
    std::vector<float> smoothSum;      // 3 per vertex
    std::vector<int32_t> smoothCount;
};
Workspace work;

// The lattice's inside flags packed one byte a point, for the marching loops.
uint8_t insideFlags[SURFACE_LATTICE_POINTS];

// key = keyPart[a] + keyPart[b] is the edge key of the lattice edge a-b: the doubled midpoint
// packed 6 bits per axis.
int32_t keyPart[SURFACE_LATTICE_POINTS];

// One tetrahedron's emission for each pattern of inside corners (bit i: corner Ti inside): the
// corner pairs (inside, outside) whose edge vertices are made, in order, and the triangles over
// them.
struct TetraCase {
    int8_t edgeCount;
    int8_t triangleCount;
    int8_t edge[4][2];
    int8_t triangle[2][3];
};
TetraCase tetraCases[16];

// The five tetrahedra of a cube as lattice-index offsets from the cube's base point, for each
// parity class (x & 1) | (y & 1) << 1 | (z & 1) << 2.
int32_t tetraCorners[8][5][4];

inline float blobTerm(const PreparedBlob& b, float x, float y, float z)
{
    float dx = x - b.cx, dy = y - b.cy, dz = z - b.cz;
    float q;
    if (b.shape == 0) {
        q = (dx * dx + dy * dy + dz * dz) * b.inverse;
    } else {
        float xx = dx * dx, yy = dy * dy, zz = dz * dz;
        q = (xx * xx + yy * yy + zz * zz) * b.inverse;
    }
    return q < 0.5f ? (q * q - q + 0.25f) * b.sign : 0.0f;
}

bool prepareBlob(const Blob& in, PreparedBlob* out)
{
    if (in.shape != 0 && in.shape != 1)
        return false;
    float r = std::fabs(in.radius);
    if (!(r > 0.0f))   // a zero radius (or NaN) adds nothing anywhere
        return false;
    out->cx = in.x + 16.0f;
    out->cy = in.y + 16.0f;
    out->cz = in.z + 16.0f;
    float r2 = r * r;
    out->inverse = in.shape == 0 ? 1.0f / r2 : 1.0f / (r2 * r2);
    out->sign = in.negative != 0 ? -1.0f : 1.0f;
    out->shape = in.shape;
    out->reach = (double)r * (in.shape == 0 ? ROUND_REACH : CUBE_REACH);
    out->support = r * (in.shape == 0 ? ROUND_SUPPORT : CUBE_SUPPORT);
    return std::isfinite(out->cx) && std::isfinite(out->cy) && std::isfinite(out->cz);
}

// The leaves, per axis, whose box [4i - margin, 4i + 4 + margin] the interval c +- s touches.
void leafSpan(float c, float s, int32_t* first, int32_t* last)
{
    double lo = std::floor(((double)c - s - LIST_MARGIN) / LEAF);
    double hi = std::floor(((double)c + s + LIST_MARGIN) / LEAF);
    *first = (int32_t)std::clamp(lo, 0.0, (double)LEAVES);
    *last = (int32_t)std::clamp(hi, -1.0, (double)(LEAVES - 1));
}

void buildTables()
{
    for (int32_t i = 0; i < SURFACE_LATTICE_POINTS; i++) {
        int32_t x = i & 31, y = (i >> 5) & 31, z = i >> 10;
        keyPart[i] = x + 64 * y + 4096 * z;
    }

    // Corners Cabc; a, b, c pick the first or second offset of each axis.
    static const int8_t tetra[5][4][3] = {
        {{1, 1, 1}, {1, 0, 1}, {1, 1, 0}, {0, 1, 1}}, {{1, 0, 0}, {1, 0, 1}, {0, 0, 0}, {1, 1, 0}},
        {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {0, 0, 0}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 0}, {0, 0, 0}},
        {{0, 0, 0}, {0, 1, 1}, {1, 1, 0}, {1, 0, 1}},
    };
    for (int32_t cls = 0; cls < 8; cls++) {
        // An odd coordinate mirrors that axis, so that neighbouring cubes cut their shared face
        // along the same diagonal.
        int32_t odd[3] = {cls & 1, (cls >> 1) & 1, (cls >> 2) & 1};
        int32_t parity = odd[0] ^ odd[1] ^ odd[2];
        for (int32_t t = 0; t < 5; t++) {
            for (int32_t k = 0; k < 4; k++) {
                int32_t off[3];
                for (int32_t axis = 0; axis < 3; axis++)
                    off[axis] = odd[axis] ? 1 - tetra[t][k][axis] : tetra[t][k][axis];
                int32_t slot = k;
                if (parity && k >= 2)
                    slot = 5 - k;   // a mirrored cube turns the tetrahedra inside out
                tetraCorners[cls][t][slot] = off[0] + 32 * off[1] + 1024 * off[2];
            }
        }
    }

    static const int8_t oneInside[4][3] = {{3, 2, 1}, {0, 2, 3}, {3, 1, 0}, {0, 1, 2}};
    static const int8_t oneOutside[4][3] = {{1, 2, 3}, {3, 2, 0}, {0, 1, 3}, {2, 1, 0}};
    for (int32_t mask = 0; mask < 16; mask++) {
        TetraCase& tc = tetraCases[mask];
        tc = TetraCase{};
        int8_t in[4], out[4];
        int32_t nIn = 0, nOut = 0;
        for (int8_t k = 0; k < 4; k++) {
            if (mask & (1 << k))
                in[nIn++] = k;
            else
                out[nOut++] = k;
        }
        if (nIn == 1) {
            tc.edgeCount = 3;
            tc.triangleCount = 1;
            for (int32_t e = 0; e < 3; e++) {
                tc.edge[e][0] = in[0];
                tc.edge[e][1] = oneInside[in[0]][e];
                tc.triangle[0][e] = (int8_t)e;
            }
        } else if (nIn == 3) {
            tc.edgeCount = 3;
            tc.triangleCount = 1;
            for (int32_t e = 0; e < 3; e++) {
                tc.edge[e][0] = oneOutside[out[0]][e];
                tc.edge[e][1] = out[0];
                tc.triangle[0][e] = (int8_t)e;
            }
        } else if (nIn == 2) {
            int32_t k = ((mask & 1) == 0) + ((mask & 4) == 0);
            tc.edgeCount = 4;
            tc.triangleCount = 2;
            const int8_t oddOrder[4][2] = {
                {in[0], out[0]}, {in[1], out[0]}, {in[0], out[1]}, {in[1], out[1]}};
            const int8_t evenOrder[4][2] = {
                {in[0], out[0]}, {in[0], out[1]}, {in[1], out[0]}, {in[1], out[1]}};
            for (int32_t e = 0; e < 4; e++) {
                tc.edge[e][0] = (k & 1) ? oddOrder[e][0] : evenOrder[e][0];
                tc.edge[e][1] = (k & 1) ? oddOrder[e][1] : evenOrder[e][1];
            }
            const int8_t tris[2][3] = {{0, 1, 2}, {1, 3, 2}};
            for (int32_t t = 0; t < 2; t++)
                for (int32_t c = 0; c < 3; c++)
                    tc.triangle[t][c] = tris[t][c];
        }
    }
}

void initialise()
{
    SurfaceGeneratorState& s = surfaceState;
    for (int32_t i = 0; i < SURFACE_LATTICE_POINTS; i++) {
        FieldCell& cell = s.lattice[i];
        cell.px = (i & 31) - 16;
        cell.py = ((i >> 5) & 31) - 16;
        cell.pz = (i >> 10) - 16;
        cell.index = i;
        cell.value = 0.0f;
        cell.inside = 0;
    }
    for (EdgeCacheEntry& e : s.edgeCache)
        e = EdgeCacheEntry{0, -1};
    buildTables();
    work.leafStart.assign(LEAF_COUNT + 1, 0);
    work.leafReached.assign(LEAF_COUNT, 0);
    work.leafIsZero.assign(LEAF_COUNT, 1);
    s.ready = true;
}

// Sorts the usable blobs into the leaves where their field can be non-zero (keeping blob order
// within each leaf) and marks the leaves that some blob reaches.
void binBlobs(const Blob* blobs, int32_t blobCount)
{
    work.blobs.clear();
    for (int32_t i = 0; i < blobCount; i++) {
        PreparedBlob b;
        if (prepareBlob(blobs[i], &b))
            work.blobs.push_back(b);
    }
    std::vector<int32_t>& start = work.leafStart;
    std::fill(start.begin(), start.end(), 0);
    std::fill(work.leafReached.begin(), work.leafReached.end(), 0);

    for (int32_t pass = 0; pass < 2; pass++) {
        if (pass == 1) {
            int32_t total = 0;
            for (int32_t l = 0; l <= LEAF_COUNT; l++) {
                int32_t n = start[l];
                start[l] = total;
                total += n;
            }
            work.leafBlobs.resize(total);
        }
        for (int32_t bi = 0; bi < (int32_t)work.blobs.size(); bi++) {
            const PreparedBlob& b = work.blobs[bi];
            int32_t x0, x1, y0, y1, z0, z1;
            leafSpan(b.cx, b.support, &x0, &x1);
            leafSpan(b.cy, b.support, &y0, &y1);
            leafSpan(b.cz, b.support, &z0, &z1);
            for (int32_t lz = z0; lz <= z1; lz++)
                for (int32_t ly = y0; ly <= y1; ly++)
                    for (int32_t lx = x0; lx <= x1; lx++) {
                        int32_t leaf = lx + LEAVES * ly + LEAVES * LEAVES * lz;
                        if (pass == 0) {
                            start[leaf]++;
                            continue;
                        }
                        work.leafBlobs[start[leaf]++] = bi;
                        // The octree's verdict for this leaf: a blob reaches a block when its
                        // reach box meets the block's bounds, upper ends included. A blob that
                        // reaches a leaf reaches every block around it, so testing the leaves
                        // alone decides the same as descending from the whole lattice.
                        double bx0 = lx * LEAF, by0 = ly * LEAF, bz0 = lz * LEAF;
                        if (bx0 <= b.cx + b.reach && bx0 + LEAF >= b.cx - b.reach &&
                            by0 <= b.cy + b.reach && by0 + LEAF >= b.cy - b.reach &&
                            bz0 <= b.cz + b.reach && bz0 + LEAF >= b.cz - b.reach)
                            work.leafReached[leaf] = 1;
                    }
        }
    }
    // The fill pass left each start at the next leaf's beginning: shift back.
    for (int32_t l = LEAF_COUNT; l > 0; l--)
        start[l] = start[l - 1];
    start[0] = 0;
}

void sampleLattice()
{
    SurfaceGeneratorState& s = surfaceState;
    for (int32_t leaf = 0; leaf < LEAF_COUNT; leaf++) {
        int32_t x0 = (leaf % LEAVES) * LEAF;
        int32_t y0 = (leaf / LEAVES % LEAVES) * LEAF;
        int32_t z0 = (leaf / (LEAVES * LEAVES)) * LEAF;
        float acc[LEAF][LEAF][LEAF] = {};
        if (!work.leafReached[leaf]) {
            if (work.leafIsZero[leaf])   // empty space stays empty: nothing to rewrite
                continue;
            work.leafIsZero[leaf] = 1;
        } else {
            work.leafIsZero[leaf] = 0;
            for (int32_t k = work.leafStart[leaf]; k < work.leafStart[leaf + 1]; k++) {
                const PreparedBlob& b = work.blobs[work.leafBlobs[k]];
                float dx[LEAF], dy[LEAF], dz[LEAF];
                for (int32_t i = 0; i < LEAF; i++) {
                    float ex = (float)(x0 + i) - b.cx;
                    float ey = (float)(y0 + i) - b.cy;
                    float ez = (float)(z0 + i) - b.cz;
                    dx[i] = ex * ex;
                    dy[i] = ey * ey;
                    dz[i] = ez * ez;
                    if (b.shape != 0) {
                        dx[i] *= dx[i];
                        dy[i] *= dy[i];
                        dz[i] *= dz[i];
                    }
                }
                for (int32_t z = 0; z < LEAF; z++)
                    for (int32_t y = 0; y < LEAF; y++)
                        for (int32_t x = 0; x < LEAF; x++) {
                            float q = (dx[x] + dy[y] + dz[z]) * b.inverse;
                            acc[z][y][x] += q < 0.5f ? (q * q - q + 0.25f) * b.sign : 0.0f;
                        }
            }
        }
        for (int32_t z = 0; z < LEAF; z++)
            for (int32_t y = 0; y < LEAF; y++) {
                FieldCell* row = &s.lattice[x0 + N * (y0 + y) + N * N * (z0 + z)];
                for (int32_t x = 0; x < LEAF; x++) {
                    float v = acc[z][y][x];
                    row[x].value = v;
                    int32_t inside = v >= SURFACE_ISO_LEVEL;
                    row[x].inside = inside;
                    insideFlags[row[x].index] = (uint8_t)inside;
                    s.occupancyX[x0 + x] += inside;
                    s.occupancyY[y0 + y] += inside;
                    s.occupancyZ[z0 + z] += inside;
                }
            }
    }
}

// Cube indices from one below the first occupied plane to one above the last; false when
// nothing is inside.
bool cubeRange(const int32_t* occupancy, int32_t* first, int32_t* end)
{
    int32_t lo = -1, hi = -1;
    for (int32_t i = 0; i < N; i++)
        if (occupancy[i] != 0) {
            if (lo < 0)
                lo = i;
            hi = i;
        }
    if (lo < 0)
        return false;
    *first = std::max(lo - 1, 0);
    *end = std::min(hi + 1, N - 1);   // a cube spans its index and the next
    return true;
}

// The vertex on the lattice edge from inside point a to outside point b, made once per
// generation.
inline int32_t edgeVertex(int32_t a, int32_t b)
{
    SurfaceGeneratorState& s = surfaceState;
    EdgeCacheEntry& entry = s.edgeCache[keyPart[a] + keyPart[b]];
    if (entry.stamp == surfaceGeneration)
        return entry.vertex;
    const FieldCell& ca = s.lattice[a];
    const FieldCell& cb = s.lattice[b];
    float t = (ca.value - SURFACE_ISO_LEVEL) / (ca.value - cb.value);
    int32_t v = surfaceVertexCount++;
    surfaceVertices[v] =
        Vec3{(float)ca.px + (float)(cb.px - ca.px) * t, (float)ca.py + (float)(cb.py - ca.py) * t,
             (float)ca.pz + (float)(cb.pz - ca.pz) * t};
    entry = EdgeCacheEntry{v, surfaceGeneration};
    return v;
}

void marchTetrahedra()
{
    SurfaceGeneratorState& s = surfaceState;
    int32_t x0, x1, y0, y1, z0, z1;
    if (!cubeRange(s.occupancyX, &x0, &x1) || !cubeRange(s.occupancyY, &y0, &y1) ||
        !cubeRange(s.occupancyZ, &z0, &z1))
        return;
    const uint8_t* in = insideFlags;
    for (int32_t z = z0; z < z1; z++)
        for (int32_t y = y0; y < y1; y++)
            for (int32_t x = x0; x < x1; x++) {
                int32_t base = x + N * y + N * N * z;
                int32_t inside = in[base] + in[base + 1] + in[base + N] + in[base + N + 1] +
                                 in[base + N * N] + in[base + N * N + 1] + in[base + N * N + N] +
                                 in[base + N * N + N + 1];
                if (inside == 0 || inside == 8)
                    continue;
                const int32_t(*tetras)[4] = tetraCorners[(x & 1) | (y & 1) << 1 | (z & 1) << 2];
                for (int32_t t = 0; t < 5; t++) {
                    int32_t corner[4];
                    int32_t mask = 0;
                    for (int32_t k = 0; k < 4; k++) {
                        corner[k] = base + tetras[t][k];
                        mask |= in[corner[k]] << k;
                    }
                    const TetraCase& tc = tetraCases[mask];
                    if (tc.triangleCount == 0)
                        continue;
                    // Full arrays end the emission; what was emitted so far stays.
                    if (surfaceTriangleCount + tc.triangleCount > SURFACE_MAX_TRIANGLES ||
                        surfaceVertexCount + tc.edgeCount > SURFACE_MAX_VERTICES)
                        return;
                    int32_t v[4];
                    for (int32_t e = 0; e < tc.edgeCount; e++)
                        v[e] = edgeVertex(corner[tc.edge[e][0]], corner[tc.edge[e][1]]);
                    for (int32_t tri = 0; tri < tc.triangleCount; tri++) {
                        int32_t* out = &surfaceTriangles[3 * surfaceTriangleCount++];
                        out[0] = v[tc.triangle[tri][0]];
                        out[1] = v[tc.triangle[tri][1]];
                        out[2] = v[tc.triangle[tri][2]];
                    }
                }
            }
}

// Moves every vertex to the mean of the corners of the triangles that use it, itself included.
void smoothVertices()
{
    int32_t n = surfaceVertexCount;
    work.smoothSum.assign(3 * (size_t)n, 0.0f);
    work.smoothCount.assign(n, 0);
    float* sum = work.smoothSum.data();
    int32_t* count = work.smoothCount.data();
    for (int32_t t = 0; t < surfaceTriangleCount; t++) {
        const int32_t* tri = &surfaceTriangles[3 * t];
        const Vec3& a = surfaceVertices[tri[0]];
        const Vec3& b = surfaceVertices[tri[1]];
        const Vec3& c = surfaceVertices[tri[2]];
        float sx = a.x + b.x + c.x, sy = a.y + b.y + c.y, sz = a.z + b.z + c.z;
        for (int32_t k = 0; k < 3; k++) {
            float* acc = &sum[3 * tri[k]];
            acc[0] += sx;
            acc[1] += sy;
            acc[2] += sz;
            count[tri[k]] += 3;
        }
    }
    for (int32_t i = 0; i < n; i++) {
        if (count[i] == 0)   // only after a stopped emission; keep the vertex where it is
            continue;
        float k = 1.0f / (float)count[i];
        surfaceVertices[i] = Vec3{sum[3 * i] * k, sum[3 * i + 1] * k, sum[3 * i + 2] * k};
    }
}

// The outward normal: minus the field's forward-difference gradient.
void computeNormals()
{
    for (int32_t i = 0; i < surfaceVertexCount; i++) {
        float px = surfaceVertices[i].x + 16.0f;
        float py = surfaceVertices[i].y + 16.0f;
        float pz = surfaceVertices[i].z + 16.0f;
        float qx = px + NORMAL_STEP, qy = py + NORMAL_STEP, qz = pz + NORMAL_STEP;
        int32_t lx = std::clamp((int32_t)std::floor(px * 0.25f), 0, LEAVES - 1);
        int32_t ly = std::clamp((int32_t)std::floor(py * 0.25f), 0, LEAVES - 1);
        int32_t lz = std::clamp((int32_t)std::floor(pz * 0.25f), 0, LEAVES - 1);
        int32_t leaf = lx + LEAVES * ly + LEAVES * LEAVES * lz;
        float f = 0.0f, fx = 0.0f, fy = 0.0f, fz = 0.0f;
        for (int32_t k = work.leafStart[leaf]; k < work.leafStart[leaf + 1]; k++) {
            const PreparedBlob& b = work.blobs[work.leafBlobs[k]];
            f += blobTerm(b, px, py, pz);
            fx += blobTerm(b, qx, py, pz);
            fy += blobTerm(b, px, qy, pz);
            fz += blobTerm(b, px, py, qz);
        }
        surfaceNormals[i] = Vec3{(float)((f - fx) * NORMAL_SCALE), (float)((f - fy) * NORMAL_SCALE),
                                 (float)((f - fz) * NORMAL_SCALE)};
    }
}

}   // namespace

float surfaceField(const Blob* blobs, int32_t blobCount, float x, float y, float z)
{
    float sum = 0.0f;
    for (int32_t i = 0; i < blobCount; i++) {
        PreparedBlob b;
        if (prepareBlob(blobs[i], &b))
            sum += blobTerm(b, x, y, z);
    }
    return sum;
}

void generateSurface(const Blob* blobs, int32_t blobCount)
{
    SurfaceGeneratorState& s = surfaceState;
    if (!s.ready)
        initialise();
    if (surfaceGeneration == INT32_MAX) {   // stamps would repeat: start the cache afresh
        for (EdgeCacheEntry& e : s.edgeCache)
            e = EdgeCacheEntry{0, -1};
        surfaceGeneration = 0;
    }
    std::fill(std::begin(s.occupancyX), std::end(s.occupancyX), 0);
    std::fill(std::begin(s.occupancyY), std::end(s.occupancyY), 0);
    std::fill(std::begin(s.occupancyZ), std::end(s.occupancyZ), 0);
    surfaceVertexCount = 0;
    surfaceTriangleCount = 0;

    binBlobs(blobs, std::max(blobCount, 0));
    sampleLattice();
    marchTetrahedra();
    smoothVertices();
    computeNormals();
    surfaceGeneration++;
}
