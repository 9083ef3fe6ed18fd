// Meshes: normals, centroid and radius, generated coordinates, the generators, the fatal inputs,
// and what the compiled display lists send to OpenGL (read back through feedback mode).
#include "app/gl.h"
#include "common/test_support.h"
#include "render/geometry.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

// A cube of eight shared corners, counter-clockwise from outside.
const float sharedCorners[8 * 3] = {-1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1,
                                    -1, -1, 1,  1, -1, 1,  1, 1, 1,  -1, 1, 1};
const int32_t sharedCubeFaces[12 * 3] = {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                         3, 6, 2, 3, 7, 6, 1, 2, 6, 1, 6, 5, 0, 4, 7, 0, 7, 3};

void expectVec(const float* v, float x, float y, float z, float tolerance = 1e-6f)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

void expectVec(const Vec3& v, float x, float y, float z, float tolerance = 1e-6f)
{
    expectVec(&v.x, x, y, z, tolerance);
}

// One vertex as feedback mode reports it: window x, y, z, colour, texture coordinate (unit 0).
using FeedbackVertex = std::array<float, 11>;

// Calls the list with lighting on and returns the triangles' vertices, three per triangle.
std::vector<FeedbackVertex> feedback(uint32_t list)
{
    ensureGLContext();
    std::vector<float> buffer(1 << 16);
    glFeedbackBuffer((GLsizei)buffer.size(), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4, 4, -3, 3, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(30, 1, 0, 0);
    glRotatef(40, 0, 1, 0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    const float light[4] = {0.3f, 0.5f, 0.8f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glCallList(list);
    glPopAttrib();
    GLint used = glRenderMode(GL_RENDER);
    std::vector<FeedbackVertex> out;
    for (GLint i = 0; i < used;) {
        GLint token = (GLint)buffer[i++];
        EXPECT_EQ(token, GL_POLYGON_TOKEN);
        if (token != GL_POLYGON_TOKEN)
            break;
        GLint n = (GLint)buffer[i++];
        EXPECT_EQ(n, 3);
        for (GLint k = 0; k < n; k++, i += 11) {
            FeedbackVertex v;
            std::copy(&buffer[i], &buffer[i + 11], v.begin());
            out.push_back(v);
        }
    }
    return out;
}

float colourSpread(const FeedbackVertex& a, const FeedbackVertex& b)
{
    return std::fabs(a[3] - b[3]) + std::fabs(a[4] - b[4]) + std::fabs(a[5] - b[5]);
}

}   // namespace

TEST(MeshModel, SharedCornersGetUnitFaceNormalsAndSmoothVertexNormals)
{
    Mesh* m = prepareMesh(sharedCubeFaces, sharedCorners, nullptr, 0, nullptr, 8, 12, 0);
    EXPECT_EQ(m->list, 0u);
    for (int32_t f = 0; f < 12; f++) {
        const MeshFace& face = m->faces[f];
        for (int k = 0; k < 3; k++)
            EXPECT_EQ(face.index[k], (uint32_t)sharedCubeFaces[3 * f + k]);
        // Outward and along an axis: the face centre points the same way.
        float c[3] = {};
        for (int k = 0; k < 3; k++)
            for (int a = 0; a < 3; a++)
                c[a] += sharedCorners[3 * face.index[k] + a];
        float along = face.normal.x * c[0] + face.normal.y * c[1] + face.normal.z * c[2];
        EXPECT_GT(along, 0.0f) << "face " << f;
        EXPECT_NEAR(std::fabs(face.normal.x) + std::fabs(face.normal.y) + std::fabs(face.normal.z),
                    1.0f, 1e-6f);
    }
    // Corners 0 and 6 lie in both triangles of each of their faces: the diagonal. The others
    // lean towards the faces that split through them, but all point outwards, unit length.
    const float d = 1.0f / std::sqrt(3.0f);
    expectVec(&m->normals[0], -d, -d, -d);
    expectVec(&m->normals[3 * 6], d, d, d);
    for (int32_t v = 0; v < 8; v++) {
        const float* n = &m->normals[3 * v];
        const float* p = &sharedCorners[3 * v];
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5f);
        EXPECT_GT((n[0] * p[0] + n[1] * p[1] + n[2] * p[2]) * d, 0.9f) << "corner " << v;
    }
    expectVec(m->centroid, 0, 0, 0);
    EXPECT_NEAR(m->radius, std::sqrt(3.0f), 1e-6f);
    EXPECT_EQ(m->positions, sharedCorners);
    EXPECT_EQ(m->indices, sharedCubeFaces);
    EXPECT_EQ(m->texCoords, nullptr);
    EXPECT_EQ(m->colours, nullptr);
}

TEST(MeshModel, EveryFaceWeighsTheSameWhateverItsSize)
{
    // Vertex 0 is shared by a large triangle facing +z and a small one facing +x.
    const float p[] = {0, 0, 0, 10, 0, 0, 0, 10, 0, 0, 0, -0.1f, 0, 0.1f, 0};
    const int32_t t[] = {0, 1, 2, 0, 3, 4};
    Mesh* m = prepareMesh(t, p, nullptr, 0, nullptr, 5, 2, 0);
    expectVec(m->faces[0].normal, 0, 0, 1);
    expectVec(m->faces[1].normal, 1, 0, 0);
    const float h = std::sqrt(0.5f);
    expectVec(&m->normals[0], h, 0, h);
}

TEST(MeshModel, DegenerateGeometryFallsBackToSafeValues)
{
    // Triangle 0 has no area; vertex 4 is used by no triangle.
    const float p[] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 0, 0, 5, 7, 7, 7};
    const int32_t t[] = {0, 1, 2, 0, 3, 1};
    Mesh* m = prepareMesh(t, p, nullptr, 0, nullptr, 5, 2, MESH_SPHERE_MAP);
    expectVec(m->faces[0].normal, 0, 1, 0);
    expectVec(&m->normals[3 * 4], 0, 1, 0);
    for (int i = 0; i < 3 * 5; i++) {
        ASSERT_TRUE(std::isfinite(m->normals[i]));
        ASSERT_TRUE(std::isfinite(m->texCoords[i]));
    }

    Mesh* empty = prepareMesh(nullptr, nullptr, nullptr, 0, nullptr, 0, 0, MESH_NORMAL_COLOURS);
    expectVec(empty->centroid, 0, 0, 0);
    EXPECT_EQ(empty->radius, 0.0f);
    EXPECT_EQ(empty->faceCount, 0);
}

TEST(MeshModel, RadiusIsTheFarthestVertexFromTheOrigin)
{
    // The centroid lies near (100, 0, 0); the farthest vertex from the origin still decides.
    const float p[] = {100, 0, 0, 101, 0, 0, 100, 1, 0, -3, 0, -160, 102, 0, 0};
    Mesh* m = prepareMesh(nullptr, p, nullptr, 0, nullptr, 5, 0, 0);
    EXPECT_NEAR(m->radius, std::sqrt(9.0f + 160.0f * 160.0f), 1e-3f);
    expectVec(m->centroid, 80, 0.2f, -32, 1e-4f);
}

TEST(MeshModel, GeneratesCoordinatesAndColoursFromNormalsOnlyWhenNoneAreGiven)
{
    // One triangle facing +x.
    const float p[] = {0, 0, 0, 0, 1, 0, 0, 0, 1};
    const int32_t t[] = {0, 1, 2};
    Mesh* m = prepareMesh(t, p, nullptr, 0, nullptr, 3, 1, MESH_SPHERE_MAP | MESH_NORMAL_COLOURS);
    expectVec(&m->normals[0], 1, 0, 0);
    // u = atan2(x, z) / (2 pi) + 0.5 with the program's pi.
    expectVec(&m->texCoords[0], (float)(HALF_PI / TWO_PI + 0.5), 0.5f, 0.0f);
    expectVec(&m->colours[0], 1.0f, 0.5f, 0.5f);

    const float uv[] = {0.1f, 0.2f, 0, 0.3f, 0.4f, 0, 0.5f, 0.6f, 0};
    const float rgb[] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Mesh* given = prepareMesh(t, p, uv, 0, rgb, 3, 1, MESH_SPHERE_MAP | MESH_NORMAL_COLOURS);
    EXPECT_EQ(given->texCoords, uv);
    EXPECT_EQ(given->colours, rgb);

    Mesh* masked = prepareMesh(t, p, nullptr, 0, nullptr, 3, 1, ~MESH_FLAG_MASK);
    EXPECT_EQ(masked->texCoords, nullptr);
    EXPECT_EQ(masked->colours, nullptr);

    // Straight down -z lies on the seam, a hair past 1 since the program's pi is a little short;
    // straight up gives v = 1.
    const float normals[] = {0, 0, -1, 0, 1, 0};
    float* st = sphereMapTexCoords(normals, 2);
    EXPECT_FLOAT_EQ(st[0], (float)(3.14159265358979323846 / TWO_PI + 0.5));
    EXPECT_GT(st[0], 1.0f);
    EXPECT_EQ(st[4], 1.0f);
    delete[] st;
}

TEST(MeshModel, SeamRepairLiftsTheLowCornersOfAWrappingTriangle)
{
    // u 0.95, 0.05, 0.10 and v 0.3, 0.5, 0.9 (no v pair wraps).
    const float tex[] = {0.95f, 0.3f, 0, 0.05f, 0.5f, 0, 0.10f, 0.9f, 0};
    TriangleUV fixed = seamCorrectedUV(tex, 0, 1, 2, true);
    EXPECT_FLOAT_EQ(fixed.u[0], 0.95f);
    EXPECT_FLOAT_EQ(fixed.u[1], 1.05f);
    EXPECT_FLOAT_EQ(fixed.u[2], 1.10f);
    EXPECT_FLOAT_EQ(fixed.v[0], 0.3f);
    EXPECT_FLOAT_EQ(fixed.v[1], 0.5f);
    EXPECT_FLOAT_EQ(fixed.v[2], 0.9f);

    // Corners in another order, and v wrapping on its own.
    const float across[] = {0.3f, 0.1f, 0, 0.5f, 0.97f, 0, 0.9f, 0.15f, 0};
    TriangleUV v = seamCorrectedUV(across, 2, 0, 1, true);
    EXPECT_FLOAT_EQ(v.u[0], 0.9f);
    EXPECT_FLOAT_EQ(v.u[1], 0.3f);
    EXPECT_FLOAT_EQ(v.u[2], 0.5f);
    EXPECT_FLOAT_EQ(v.v[0], 1.15f);
    EXPECT_FLOAT_EQ(v.v[1], 1.1f);
    EXPECT_FLOAT_EQ(v.v[2], 0.97f);

    TriangleUV asGiven = seamCorrectedUV(tex, 0, 1, 2, false);
    EXPECT_FLOAT_EQ(asGiven.u[1], 0.05f);
    EXPECT_FLOAT_EQ(tex[3], 0.05f) << "the stored array is never changed";
}

TEST(MeshModelDeathTest, NeighbourRequestsAndBadIndicesAreFatal)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int32_t t[] = {0, 1, 2};
    EXPECT_EXIT(prepareMesh(t, sharedCorners, nullptr, 1, nullptr, 8, 1, 0),
                testing::ExitedWithCode(1),
                "remove neighbours, you're not using shadows you idiot!");
    const int32_t bad[] = {0, 1, 8};
    EXPECT_EXIT(prepareMesh(bad, sharedCorners, nullptr, 0, nullptr, 8, 1, 0),
                testing::ExitedWithCode(1), "triangle 0 uses vertex 8 of a mesh with 8 vertices");
    EXPECT_EXIT(gridPlaneArrays(-1, 4, 1, 1), testing::ExitedWithCode(1),
                "negative cell count");
}

TEST(MeshGenerators, GridPlaneSpansItsCellsFacingUp)
{
    MeshArrays one = gridPlaneArrays(1, 1, 1, 1);
    ASSERT_EQ(one.vertexCount, 4);
    ASSERT_EQ(one.faceCount, 2);
    expectVec(&one.positions[0], -0.5f, 0, -0.5f);
    expectVec(&one.positions[9], 0.5f, 0, 0.5f);
    Mesh* m = prepareMesh(one.indices, one.positions, one.texCoords, 0, nullptr, 4, 2, 0);
    for (int f = 0; f < 2; f++)
        expectVec(m->faces[f].normal, 0, 1, 0);
    for (int v = 0; v < 4; v++)
        expectVec(&m->normals[3 * v], 0, 1, 0);

    // The show's plane: half a cell off centre towards -x and -z.
    MeshArrays show = gridPlaneArrays(16, 16, 10, 10);
    ASSERT_EQ(show.vertexCount, 289);
    ASSERT_EQ(show.faceCount, 512);
    expectVec(&show.positions[0], -85, 0, -85);
    expectVec(&show.positions[3 * 288], 75, 0, 75);
    expectVec(&show.texCoords[0], 0, 0, 0);
    expectVec(&show.texCoords[3 * 288], 16, 16, 0);
    expectVec(&show.texCoords[3 * 18], 1, 1, 0);   // row 1, column 1
    const int32_t firstCell[6] = {0, 17, 18, 0, 18, 1};
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(show.indices[k], firstCell[k]);
    Mesh* plane = prepareMesh(show.indices, show.positions, nullptr, 0, nullptr, 289, 512, 0);
    for (int f = 0; f < 512; f++)
        ASSERT_NEAR(plane->faces[f].normal.y, 1.0f, 1e-6f);
}

TEST(MeshGenerators, CubeFacesPointOutwardsWithTheirOwnTextureSquares)
{
    MeshArrays cube = cubeArrays(2);
    ASSERT_EQ(cube.vertexCount, 24);
    ASSERT_EQ(cube.faceCount, 12);
    Mesh* m = prepareMesh(cube.indices, cube.positions, cube.texCoords, 0, nullptr, 24, 12, 0);
    for (int32_t f = 0; f < 12; f++) {
        const MeshFace& face = m->faces[f];
        // Every corner of the face lies on the plane at distance 2 along the normal.
        for (int k = 0; k < 3; k++) {
            const float* c = &cube.positions[3 * face.index[k]];
            EXPECT_NEAR(face.normal.x * c[0] + face.normal.y * c[1] + face.normal.z * c[2], 2.0f,
                        1e-6f);
        }
    }
    // Not shared, so the vertex normals are the face normals.
    for (int32_t v = 0; v < 24; v++) {
        const MeshFace& face = m->faces[v / 4 * 2];
        expectVec(&m->normals[3 * v], face.normal.x, face.normal.y, face.normal.z);
        for (int a = 0; a < 3; a++)
            EXPECT_EQ(std::fabs(cube.positions[3 * v + a]), 2.0f);
    }
    const float square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int32_t v = 0; v < 24; v++)
        expectVec(&cube.texCoords[3 * v], square[v % 4][0], square[v % 4][1], 0);
    EXPECT_NEAR(m->radius, 2.0f * std::sqrt(3.0f), 1e-5f);
}

TEST(MeshDisplayList, FaceNormalsGiveHardEdgesAndSharedNormalsSmoothShading)
{
    ensureGLContext();
    Mesh* flat = buildMesh(sharedCubeFaces, sharedCorners, nullptr, 0, nullptr, 8, 12,
                           MESH_FACE_NORMALS);
    Mesh* smooth = buildMesh(sharedCubeFaces, sharedCorners, nullptr, 0, nullptr, 8, 12, 0);
    ASSERT_NE(flat->list, 0u);
    ASSERT_NE(flat->list, smooth->list);
    std::vector<FeedbackVertex> a = feedback(flat->list), b = feedback(smooth->list);
    ASSERT_EQ(a.size(), 36u);
    ASSERT_EQ(b.size(), 36u);
    float flatSpread = 0, smoothSpread = 0;
    for (size_t t = 0; t < 36; t += 3) {
        flatSpread = std::max({flatSpread, colourSpread(a[t], a[t + 1]), colourSpread(a[t], a[t + 2])});
        smoothSpread =
            std::max({smoothSpread, colourSpread(b[t], b[t + 1]), colourSpread(b[t], b[t + 2])});
    }
    EXPECT_LT(flatSpread, 1e-5f) << "one colour per triangle";
    EXPECT_GT(smoothSpread, 0.1f) << "colours vary across triangles";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(MeshDisplayList, ArraysAndImmediateModeSendTheSameTriangles)
{
    ensureGLContext();
    MeshArrays g = gridPlaneArrays(3, 2, 1.5f, 1.0f);
    // A flat plane has the same face and vertex normals, so the two routes must agree.
    std::vector<float> sink(16);
    glFeedbackBuffer((GLsizei)sink.size(), GL_3D, sink.data());
    glRenderMode(GL_FEEDBACK);   // compiling must not draw anything
    Mesh* arrays = buildMesh(g.indices, g.positions, g.texCoords, 0, nullptr, g.vertexCount,
                             g.faceCount, 0x1 | RENDER_ADD);
    Mesh* immediate = buildMesh(g.indices, g.positions, g.texCoords, 0, nullptr, g.vertexCount,
                                g.faceCount, MESH_FACE_NORMALS | RENDER_NO_CULL);
    EXPECT_EQ(glRenderMode(GL_RENDER), 0) << "the lists are compiled, not executed";

    // compileMeshArrays leaves the client state as it found it.
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    GLint unit = 0;
    glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE_ARB, &unit);
    EXPECT_EQ(unit, GL_TEXTURE0_ARB);

    std::vector<FeedbackVertex> a = feedback(arrays->list), b = feedback(immediate->list);
    ASSERT_EQ(a.size(), 36u);
    ASSERT_EQ(b.size(), a.size());
    for (size_t i = 0; i < a.size(); i++)
        for (int k = 0; k < 11; k++)
            ASSERT_NEAR(a[i][k], b[i][k], 1e-4f) << "vertex " << i << " value " << k;
    EXPECT_FLOAT_EQ(a[5][7], 1.0f);   // texture u of the second triangle's last corner
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(MeshDisplayList, SeamRepairReachesTheTextureCoordinates)
{
    ensureGLContext();
    const float p[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const int32_t t[] = {0, 1, 2};
    const float uv[] = {0.95f, 0.5f, 0, 0.05f, 0.5f, 0, 0.10f, 0.6f, 0};
    Mesh* fixed = buildMesh(t, p, uv, 0, nullptr, 3, 1, MESH_FIX_SEAMS);
    Mesh* plain = buildMesh(t, p, uv, 0, nullptr, 3, 1, 0);
    std::vector<FeedbackVertex> a = feedback(fixed->list), b = feedback(plain->list);
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 3u);
    const float repaired[3] = {0.95f, 1.05f, 1.10f};
    for (int k = 0; k < 3; k++) {
        EXPECT_NEAR(a[k][7], repaired[k], 1e-6f);
        EXPECT_NEAR(b[k][7], uv[3 * k], 1e-6f);
        EXPECT_NEAR(a[k][8], uv[3 * k + 1], 1e-6f);
    }
}
