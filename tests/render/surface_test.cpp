// The blob surface generator: sampling, shape and topology, repeatability, the full stop.
#include "render/render_local.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace {

Blob roundBlob(float x, float y, float z, float r, int32_t negative = 0)
{
    return Blob{x, y, z, r, negative, 0};
}

float length(const Vec3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// The largest (sign 1) or smallest (sign -1) vertex coordinate along an axis.
float extreme(float Vec3::*axis, float sign)
{
    float best = -1e9f;
    for (int32_t i = 0; i < surfaceVertexCount; i++)
        best = std::max(best, sign * (surfaceVertices[i].*axis));
    return sign * best;
}

// Every edge appears exactly once in each direction (closed, consistently wound), and the
// winding (counter-clockwise seen from the front) agrees with the gradient normals.
void expectClosedAndWoundOutwards()
{
    std::map<std::pair<int32_t, int32_t>, int> directed;
    int against = 0;
    for (int32_t t = 0; t < surfaceTriangleCount; t++) {
        const int32_t* tri = &surfaceTriangles[3 * t];
        for (int k = 0; k < 3; k++)
            directed[{tri[k], tri[(k + 1) % 3]}]++;
        Vec3 n;
        triangleNormal(&surfaceVertices[tri[0]], &surfaceVertices[tri[1]], &surfaceVertices[tri[2]],
                       &n);
        const Vec3& m = surfaceNormals[tri[0]];
        against += n.x * m.x + n.y * m.y + n.z * m.z < 0;
    }
    int unpaired = 0;
    for (const auto& [edge, n] : directed) {
        auto back = directed.find({edge.second, edge.first});
        unpaired += n != 1 || back == directed.end() || back->second != 1;
    }
    EXPECT_EQ(unpaired, 0) << "edges not shared by exactly two oppositely wound triangles";
    EXPECT_EQ(against, 0) << "triangles wound against the normals";
}

// Everything one generation leaves behind.
std::vector<float> snapshot()
{
    std::vector<float> s((const float*)surfaceVertices,
                         (const float*)(surfaceVertices + surfaceVertexCount));
    s.insert(s.end(), (const float*)surfaceNormals,
             (const float*)(surfaceNormals + surfaceVertexCount));
    for (int32_t i = 0; i < 3 * surfaceTriangleCount; i++)
        s.push_back((float)surfaceTriangles[i]);
    return s;
}

// A mixed set like the opening scene's: round and rounded-cube blobs, some carving.
std::vector<Blob> mixedBlobs(float time)
{
    std::vector<Blob> blobs;
    for (int i = 0; i < 24; i++)
        blobs.push_back(Blob{
            5.0f * std::sin(0.175f * time + 2.7f * i), 5.0f * std::sin(0.271f * time + 1.3f * i),
            5.0f * std::sin(0.152f * time + 8.7f * i), 6.0f, i % 4 == 0, i % 5 == 0});
    return blobs;
}

}   // namespace

TEST(SurfaceGenerator, NothingToExtractGivesAnEmptySurface)
{
    generateSurface(nullptr, 0);
    EXPECT_EQ(surfaceVertexCount, 0);
    EXPECT_EQ(surfaceTriangleCount, 0);

    // Zero radii (the opening scene's first frame), unknown shapes and carving alone add nothing.
    std::vector<Blob> blobs = {roundBlob(0, 0, 0, 0), Blob{1, 1, 1, 10, 0, 2},
                               roundBlob(2, 0, 0, 10, 1)};
    generateSurface(blobs.data(), (int32_t)blobs.size());
    EXPECT_EQ(surfaceVertexCount, 0);
    EXPECT_EQ(surfaceTriangleCount, 0);
    for (const FieldCell& cell : surfaceState.lattice)
        ASSERT_EQ(cell.inside, 0);
}

TEST(SurfaceGenerator, OneRoundBlobGivesAClosedSphere)
{
    Blob blob = roundBlob(0, 0, 0, 10);
    generateSurface(&blob, 1);
    ASSERT_GT(surfaceTriangleCount, 100);
    expectClosedAndWoundOutwards();
    for (int32_t i = 0; i < surfaceVertexCount; i++) {
        const Vec3& v = surfaceVertices[i];
        // The iso-level lies 3.92 from the centre; smoothing pulls the surface in a little.
        ASSERT_GT(length(v), 3.4f);
        ASSERT_LT(length(v), 3.95f);
        const Vec3& n = surfaceNormals[i];
        ASSERT_GT((v.x * n.x + v.y * n.y + v.z * n.z) / (length(v) * length(n)), 0.95f);
    }
}

TEST(SurfaceGenerator, RoundedCubeKeepsItsWholeShapeWhereverItSits)
{
    // Half a leaf off the lattice grid: the cube's inside reaches 0.626 R from its centre, past
    // half its radius, on both sides.
    Blob blob{2.5f, 0.0f, 0.0f, 10.0f, 0, 1};
    generateSurface(&blob, 1);
    expectClosedAndWoundOutwards();
    float right = extreme(&Vec3::x, 1) - 2.5f;
    EXPECT_NEAR(right, 2.5f - extreme(&Vec3::x, -1), 0.5f);
    EXPECT_NEAR(right, extreme(&Vec3::y, 1), 0.5f);
    EXPECT_GT(right, 5.5f);
}

TEST(SurfaceGenerator, NegativeBlobCarvesAHollow)
{
    std::vector<Blob> blobs = {roundBlob(0, 0, 0, 12), roundBlob(0, 0, 0, 6, 1)};
    generateSurface(blobs.data(), 2);
    expectClosedAndWoundOutwards();
    int32_t centre = 16 + 32 * 16 + 1024 * 16;
    EXPECT_EQ(surfaceState.lattice[centre].inside, 0);
    int inner = 0, outer = 0;
    for (int32_t i = 0; i < surfaceVertexCount; i++) {
        const Vec3& v = surfaceVertices[i];
        const Vec3& n = surfaceNormals[i];
        float outward = v.x * n.x + v.y * n.y + v.z * n.z;
        if (length(v) < 3.5f) {
            inner++;
            EXPECT_LT(outward, 0.0f) << "the hollow's wall faces its centre";
        } else {
            outer++;
            EXPECT_GT(outward, 0.0f);
        }
    }
    EXPECT_GT(inner, 20);
    EXPECT_GT(outer, inner);

    // Moved aside, the carving blob takes a bite out of one side only.
    blobs[1].x = 4.5f;
    generateSurface(blobs.data(), 2);
    EXPECT_LT(extreme(&Vec3::x, 1), -extreme(&Vec3::x, -1) - 0.5f);
}

TEST(SurfaceGenerator, RepeatsExactlyAcrossGenerations)
{
    std::vector<Blob> a = mixedBlobs(1.0f), b = mixedBlobs(2.5f);
    generateSurface(a.data(), (int32_t)a.size());
    std::vector<float> first = snapshot();
    int32_t generation = surfaceGeneration;
    generateSurface(a.data(), (int32_t)a.size());
    EXPECT_EQ(surfaceGeneration, generation + 1);
    EXPECT_EQ(snapshot(), first);

    // A different shape in between leaves nothing stale behind in the edge cache.
    generateSurface(b.data(), (int32_t)b.size());
    EXPECT_NE(snapshot(), first);
    generateSurface(a.data(), (int32_t)a.size());
    EXPECT_EQ(snapshot(), first);
}

TEST(SurfaceGenerator, StopsAtTheTriangleCapacity)
{
    // A tiny blob on every fourth diagonal plane of lattice points: far more triangles than the
    // arrays hold.
    std::vector<Blob> blobs;
    for (int z = 0; z < 32; z++)
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++)
                if ((x + y + z) % 4 == 0)
                    blobs.push_back(roundBlob(x - 16.0f, y - 16.0f, z - 16.0f, 1.2f));
    generateSurface(blobs.data(), (int32_t)blobs.size());
    EXPECT_LE(surfaceTriangleCount, SURFACE_MAX_TRIANGLES);
    EXPECT_GE(surfaceTriangleCount, SURFACE_MAX_TRIANGLES - 1);
    for (int32_t i = 0; i < 3 * surfaceTriangleCount; i++)
        ASSERT_TRUE(surfaceTriangles[i] >= 0 && surfaceTriangles[i] < surfaceVertexCount);
    for (int32_t i = 0; i < surfaceVertexCount; i++)
        ASSERT_TRUE(std::isfinite(surfaceVertices[i].x) && std::isfinite(surfaceNormals[i].x));
    // Room is left for one particle per triangle behind the vertices.
    EXPECT_LE(surfaceVertexCount + surfaceTriangleCount, SURFACE_MAX_VERTICES);

    // The next ordinary generation is whole again.
    Blob blob = roundBlob(0, 0, 0, 10);
    generateSurface(&blob, 1);
    expectClosedAndWoundOutwards();
}
