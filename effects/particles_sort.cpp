// Depth keys, the radix sort over their float bits, and the selection of the particles to draw.
#include "effects/effects_local.h"

#include "support/upcalls.h"

#include <cstring>

ParticleSystemState particleSystem;

namespace {

// Maps the float's bits to an unsigned value that orders like the float: negative numbers are
// flipped whole (so larger magnitudes sort lower), positive ones get the sign bit set.
inline uint32_t sortValue(float key)
{
    uint32_t k;
    std::memcpy(&k, &key, sizeof k);
    return (k & 0x80000000u) ? ~k : (k | 0x80000000u);
}

void scatter(const SortPair* from, SortPair* to, int32_t count, uint32_t* offsets, int shift)
{
    for (int32_t i = 0; i < count; i++) {
        uint32_t digit = (sortValue(from[i].key) >> shift) & 255u;
        to[offsets[digit]++] = from[i];
    }
}

}   // namespace

void radixSortKeys(int32_t count)
{
    if (count > PARTICLE_MAX)
        fatalError("dumbass");
    if (count <= 0)
        return;
    ParticleSystemState& ps = particleSystem;

    std::memset(ps.histogram, 0, sizeof ps.histogram);
    for (int32_t i = 0; i < count; i++) {
        uint32_t s = sortValue(ps.keys[i].key);
        ps.histogram[0][s & 255u]++;
        ps.histogram[1][(s >> 8) & 255u]++;
        ps.histogram[2][(s >> 16) & 255u]++;
        ps.histogram[3][s >> 24]++;
    }
    for (int b = 0; b < 4; b++) {
        uint32_t sum = 0;
        for (int d = 0; d < 256; d++) {
            uint32_t n = ps.histogram[b][d];
            ps.histogram[b][d] = sum;
            sum += n;
        }
    }
    // Each pass is stable, so equal keys keep their order; four passes end back in the key array.
    scatter(ps.keys, ps.sortBuffer, count, ps.histogram[0], 0);
    scatter(ps.sortBuffer, ps.keys, count, ps.histogram[1], 8);
    scatter(ps.keys, ps.sortBuffer, count, ps.histogram[2], 16);
    scatter(ps.sortBuffer, ps.keys, count, ps.histogram[3], 24);
}

void computeParticleKeys(const Vec3* positions, int32_t count, Vec3 eye, Vec3 target)
{
    // Depth along the viewing axis in focal distances: 1 at the target, 0 at the eye.
    float dx = target.x - eye.x, dy = target.y - eye.y, dz = target.z - eye.z;
    float focus2 = dx * dx + dy * dy + dz * dz;
    // An eye on its own target has no viewing axis: every key is 0, so nothing is in front.
    float fx = 0.0f, fy = 0.0f, fz = 0.0f;
    if (focus2 > 0.0f) {
        fx = dx / focus2;
        fy = dy / focus2;
        fz = dz / focus2;
    }
    SortPair* keys = particleSystem.keys;
    for (int32_t i = 0; i < count; i++) {
        const Vec3& p = positions[i];
        keys[i].key = fx * (p.x - eye.x) + fy * (p.y - eye.y) + fz * (p.z - eye.z);
        keys[i].index = i;
    }
}

int32_t keepParticles(const Vec3* normals, int32_t count, Vec3 eye, int32_t flags,
                      int32_t* keptIndices, float* keptKeys)
{
    const SortPair* keys = particleSystem.keys;
    int32_t kept = 0;
    // Backwards: after the sort the farthest particle comes first.
    if ((flags & PS_CULL) && normals) {
        Vec3 e = eye;
        if (e.x != 0.0f || e.y != 0.0f || e.z != 0.0f)
            normalize3(&e);
        for (int32_t i = count - 1; i >= 0; i--) {
            const Vec3& n = normals[keys[i].index];
            if (n.x * e.x + n.y * e.y + n.z * e.z >= 0.0f && keys[i].key > 0.0f) {
                keptIndices[kept] = keys[i].index;
                keptKeys[kept++] = keys[i].key;
            }
        }
    } else if ((flags & PS_ALL) && !(flags & PS_CULL)) {
        for (int32_t i = count - 1; i >= 0; i--) {
            keptIndices[kept] = keys[i].index;
            keptKeys[kept++] = keys[i].key;
        }
    } else {
        for (int32_t i = count - 1; i >= 0; i--) {
            if (keys[i].key > 0.0f) {
                keptIndices[kept] = keys[i].index;
                keptKeys[kept++] = keys[i].key;
            }
        }
    }
    return kept;
}
