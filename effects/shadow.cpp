// Particle shadowing under a point light, and particles made from a triangle mesh.
//
// Every occluder is a sphere; a receiver behind it (inside its cone from the light and farther
// than its far side) is darkened by the factor once. The all-pairs test is quadratic, so the
// directions from the light are split recursively by planes through the light, and each group is
// tested only against the occluders whose sphere reaches its half-space. All work lists come from
// the scratch pool, released level by level.
#include "effects/effects_local.h"

#include "diagnostics/diagnostics.h"

#include <cmath>
#include <cstdlib>

namespace {

// Stores the length in distance before dividing by it.
void normaliseKeepLength(ShadowDir* d)
{
    d->distance = std::sqrt(d->x * d->x + d->y * d->y + d->z * d->z);
    if (d->distance > 0.0f) {
        d->x /= d->distance;
        d->y /= d->distance;
        d->z /= d->distance;
    }
}

}   // namespace

void directionTo(ShadowDir* out, const Vec3* light, const Vec3* point)
{
    out->x = light->x - point->x;
    out->y = light->y - point->y;
    out->z = light->z - point->z;
    normaliseKeepLength(out);
}

float dirDot(const ShadowDir* a, const ShadowDir* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

void shadowLeaf(const ShadowDir* receiverDirs, int32_t receiverCount, const ShadowDir* occluderDirs,
                int32_t occluderCount, float* factors, float radius, float factor)
{
    float radius2 = radius * radius;
    for (int32_t o = 0; o < occluderCount; o++) {
        const ShadowDir& occ = occluderDirs[o];
        float c = occ.distance;
        float c2 = c * c;
        float cone = c2 + radius2;   // inside when c^2 < (c^2 + r^2) * cos
        float farSide = c + radius;
        for (int32_t r = 0; r < receiverCount; r++) {
            const ShadowDir& rec = receiverDirs[r];
            if (c2 < cone * dirDot(&rec, &occ) && farSide < rec.distance)
                factors[r] *= factor;
        }
    }
}

void shadowSplit(const ShadowDir* receiverDirs, int32_t receiverCount,
                 const ShadowDir* occluderDirs, int32_t occluderCount, float* factors, float radius,
                 int32_t depth, float factor)
{
    if (depth <= 0 || receiverCount <= SHADOW_LEAF_SIZE) {
        shadowLeaf(receiverDirs, receiverCount, occluderDirs, occluderCount, factors, radius,
                   factor);
        return;
    }

    // The plane through the light that contains the group's mean direction; its normal turns
    // with the depth so that successive splits cut across each other.
    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (int32_t r = 0; r < receiverCount; r++) {
        sx += receiverDirs[r].x;
        sy += receiverDirs[r].y;
        sz += receiverDirs[r].z;
    }
    double nx, ny, nz;
    if (depth & 1) {
        nx = sy;
        ny = -sx;
        nz = 0.0;
    } else {
        nx = 0.0;
        ny = sz;
        nz = -sy;
    }
    double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0)) {
        // No plane: the two components used sum to zero. Test the group directly.
        shadowLeaf(receiverDirs, receiverCount, occluderDirs, occluderCount, factors, radius,
                   factor);
        return;
    }
    ShadowDir n = {(float)(nx / length), (float)(ny / length), (float)(nz / length), 0.0f};

    // One block for both sides; the mark is its start.
    ShadowDir* block =
        (ShadowDir*)tempmalloc(sizeof(ShadowDir) * (uint32_t)(2 * occluderCount + receiverCount));
    ShadowDir* positiveOccluders = block;
    ShadowDir* negativeOccluders = block + occluderCount;
    ShadowDir* positiveReceivers = block + 2 * occluderCount;
    float* positiveFactors = (float*)tempmalloc(sizeof(float) * (uint32_t)receiverCount);

    // An occluder goes to every side its shadow cone reaches, so one near the plane goes to both.
    // The cone is the leaf test's: cos = c^2 / (c^2 + r^2), whose sine is
    // r sqrt(2c^2 + r^2) / (c^2 + r^2), about 1.41 r / c. Taking only the sphere's reach r / c
    // loses the shadows of occluders just beside the plane: in a dense cloud, split twenty
    // times, that is one receiver in eight.
    int32_t positiveOccluderCount = 0, negativeOccluderCount = 0;
    float radius2 = radius * radius;
    for (int32_t o = 0; o < occluderCount; o++) {
        float c = occluderDirs[o].distance;
        float s = c * dirDot(&occluderDirs[o], &n);
        float margin = c * radius * std::sqrt(2.0f * c * c + radius2) / (c * c + radius2);
        if (s >= -margin)
            positiveOccluders[positiveOccluderCount++] = occluderDirs[o];
        if (s <= margin)
            negativeOccluders[negativeOccluderCount++] = occluderDirs[o];
    }

    // Receivers: the positive side fills the list from the front, the negative from the back,
    // reversed, so one array of receiverCount holds both.
    int32_t positiveCount = 0, negativeCount = 0;
    for (int32_t r = 0; r < receiverCount; r++) {
        if (dirDot(&receiverDirs[r], &n) >= 0.0f) {
            positiveReceivers[positiveCount] = receiverDirs[r];
            positiveFactors[positiveCount++] = factors[r];
        } else {
            negativeCount++;
            positiveReceivers[receiverCount - negativeCount] = receiverDirs[r];
            positiveFactors[receiverCount - negativeCount] = factors[r];
        }
    }
    ShadowDir* negativeReceivers = positiveReceivers + positiveCount;
    float* negativeFactors = positiveFactors + positiveCount;
    // Back into input order.
    for (int32_t i = 0, j = negativeCount - 1; i < j; i++, j--) {
        ShadowDir d = negativeReceivers[i];
        negativeReceivers[i] = negativeReceivers[j];
        negativeReceivers[j] = d;
        float f = negativeFactors[i];
        negativeFactors[i] = negativeFactors[j];
        negativeFactors[j] = f;
    }

    shadowSplit(positiveReceivers, positiveCount, positiveOccluders, positiveOccluderCount,
                positiveFactors, radius, depth - 1, factor);
    shadowSplit(negativeReceivers, negativeCount, negativeOccluders, negativeOccluderCount,
                negativeFactors, radius, depth - 1, factor);

    int32_t p = 0, q = 0;
    for (int32_t r = 0; r < receiverCount; r++) {
        if (dirDot(&receiverDirs[r], &n) >= 0.0f)
            factors[r] = positiveFactors[p++];
        else
            factors[r] = negativeFactors[q++];
    }
    tmpfree(block);
}

float* shadowParticles(const Vec3* receivers, int32_t receiverCount, const Vec3* occluders,
                       int32_t occluderCount, Vec3 light, float radius, float factor)
{
    if (receiverCount < 0)
        receiverCount = 0;
    if (occluderCount < 0)
        occluderCount = 0;
    float* factors = (float*)std::malloc(sizeof(float) * (size_t)(receiverCount + 1));
    for (int32_t r = 0; r < receiverCount; r++)
        factors[r] = 1.0f;

    ShadowDir* receiverDirs = (ShadowDir*)tempmalloc(sizeof(ShadowDir) * (uint32_t)receiverCount);
    ShadowDir* occluderDirs = (ShadowDir*)tempmalloc(sizeof(ShadowDir) * (uint32_t)occluderCount);
    for (int32_t r = 0; r < receiverCount; r++)
        directionTo(&receiverDirs[r], &light, &receivers[r]);
    for (int32_t o = 0; o < occluderCount; o++)
        directionTo(&occluderDirs[o], &light, &occluders[o]);

    TimedSection* section = beginTimedSection("ps_xrecurse");
    shadowSplit(receiverDirs, receiverCount, occluderDirs, occluderCount, factors, radius,
                SHADOW_DEPTH, factor);
    endTimedSection(section);

    for (int32_t r = 0; r < receiverCount; r++)
        factors[r] = clamp01(factors[r]);
    tmpfree(receiverDirs);
    return factors;
}

float* meshToParticles(Vec3* positions, Vec3* normals, int32_t* vertexCount,
                       const int32_t* triangles, int32_t triangleCount, int32_t extraCount,
                       float extraSize, int32_t addCentres)
{
    int32_t vertices = *vertexCount;
    int32_t total = addCentres ? vertices + triangleCount : vertices;
    struct Accumulator {
        float count, sum;
    };
    Accumulator* acc = (Accumulator*)tempmalloc(sizeof(Accumulator) * (uint32_t)total);
    for (int32_t k = 0; k < total; k++)
        acc[k] = {0.0f, 0.0f};
    if (extraCount < 0)
        extraCount = 0;
    float* sizes = (float*)std::malloc(sizeof(float) * (size_t)(total + extraCount + 1));

    for (int32_t q = 0; q < triangleCount; q++) {
        int32_t a = triangles[3 * q], b = triangles[3 * q + 1], c = triangles[3 * q + 2];
        const Vec3 &pa = positions[a], &pb = positions[b], &pc = positions[c];
        auto distance = [](const Vec3& u, const Vec3& v) {
            float dx = u.x - v.x, dy = u.y - v.y, dz = u.z - v.z;
            return std::sqrt(dx * dx + dy * dy + dz * dz);
        };
        float s = (distance(pb, pa) + distance(pc, pb) + distance(pa, pc)) / 4.0f;
        if (addCentres) {
            Vec3 n;
            triangleNormal(&pa, &pb, &pc, &n);
            // A degenerate triangle has no normal; give it the up vector rather than NaN.
            if (!(std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z)))
                n = {0.0f, 1.0f, 0.0f};
            int32_t k = vertices + q;
            positions[k] = {(pa.x + pb.x + pc.x) / 3.0f - 0.3f * n.x,
                            (pa.y + pb.y + pc.y) / 3.0f - 0.3f * n.y,
                            (pa.z + pb.z + pc.z) / 3.0f - 0.3f * n.z};
            normals[k] = n;
            acc[k] = {1.0f, s};
        }
        acc[a].count += 1.0f;
        acc[a].sum += s;
        acc[b].count += 1.0f;
        acc[b].sum += s;
        acc[c].count += 1.0f;
        acc[c].sum += s;
    }
    if (addCentres)
        *vertexCount += triangleCount;

    // A vertex that no triangle uses gets size 0: it is not drawn as anything.
    for (int32_t k = 0; k < total; k++)
        sizes[k] = acc[k].count > 0.0f ? acc[k].sum / acc[k].count : 0.0f;
    for (int32_t k = 0; k < extraCount; k++)
        sizes[total + k] = extraSize;
    tmpfree(acc);
    return sizes;
}
