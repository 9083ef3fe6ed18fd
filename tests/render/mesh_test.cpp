// Meshes: normals, bounds, generators, fatal inputs, and what the display lists send.
#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"
#include "render/render_local.h"
#include "texture/texture.h"

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

// Every corner of every face lies at distance d along the face's normal: unit, outward normals.
void expectCornersAtDistance(const Mesh* m, float d)
{
    for (int32_t f = 0; f < m->faceCount; f++)
        for (uint32_t i : m->faces[f].index) {
            const float* c = &m->positions[3 * i];
            const Vec3& n = m->faces[f].normal;
            EXPECT_FLOAT_EQ(n.x * c[0] + n.y * c[1] + n.z * c[2], d) << "face " << f;
        }
}

// One vertex as feedback mode reports it: window x, y, z, colour, texture coordinate (unit 0).
using FeedbackVertex = std::array<float, 11>;

// Calls the list, lit, and returns the triangles' vertices, three per triangle.
std::vector<FeedbackVertex> feedback(uint32_t list)
{
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
    glDisable(GL_CULL_FACE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const float light[4] = {0.3f, 0.5f, 0.8f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glCallList(list);
    glPopAttrib();
    GLint used = glRenderMode(GL_RENDER);
    std::vector<FeedbackVertex> out;
    for (GLint i = 0; i < used;) {
        EXPECT_EQ((GLint)buffer[i], GL_POLYGON_TOKEN);
        GLint n = (GLint)buffer[i + 1];
        EXPECT_EQ(n, 3);
        for (i += 2; n > 0; n--, i += 11) {
            FeedbackVertex v;
            std::copy(&buffer[i], &buffer[i + 11], v.begin());
            out.push_back(v);
        }
    }
    return out;
}

}   // namespace

TEST(MeshModel, FacesGetUnitNormalsAndSharedCornersSmoothOnes)
{
    Mesh* m = prepareMesh(sharedCubeFaces, sharedCorners, nullptr, 0, nullptr, 8, 12, 0);
    EXPECT_EQ(m->list, 0u);
    expectCornersAtDistance(m, 1);
    // Corners 0 and 6 lie in both triangles of each of their faces: the diagonal.
    const float d = 1.0f / std::sqrt(3.0f);
    expectVec(&m->normals[0], -d, -d, -d);
    expectVec(&m->normals[3 * 6], d, d, d);
    expectVec(&m->centroid.x, 0, 0, 0);
    EXPECT_FLOAT_EQ(m->radius, std::sqrt(3.0f));

    // A face counts once whatever its size: a large triangle facing +z and a tiny one facing +x
    // give their shared corner the normal halfway between.
    const float p[] = {0, 0, 0, 10, 0, 0, 0, 10, 0, 0, 0, -0.1f, 0, 0.1f, 0};
    const int32_t t[] = {0, 1, 2, 0, 3, 4};
    Mesh* w = prepareMesh(t, p, nullptr, 0, nullptr, 5, 2, 0);
    expectVec(&w->normals[0], std::sqrt(0.5f), 0, std::sqrt(0.5f));
}

TEST(MeshModel, CentroidRadiusAndDegenerateGeometry)
{
    // Triangle 0 has no area; vertex 4 is used by no triangle and is the farthest from the
    // origin, though far from the centroid too.
    const float p[] = {100, 0, 0, 101, 0, 0, 102, 0, 0, 100, 1, 0, -3, 0, -160};
    const int32_t t[] = {0, 1, 2, 0, 3, 1};
    Mesh* m = prepareMesh(t, p, nullptr, 0, nullptr, 5, 2, MESH_SPHERE_MAP);
    expectVec(&m->faces[0].normal.x, 0, 1, 0);
    expectVec(&m->normals[3 * 4], 0, 1, 0);
    for (int i = 0; i < 3 * 5; i++)
        ASSERT_TRUE(std::isfinite(m->normals[i]) && std::isfinite(m->texCoords[i]));
    EXPECT_NEAR(m->radius, std::sqrt(9.0f + 160.0f * 160.0f), 1e-3f);
    expectVec(&m->centroid.x, 80, 0.2f, -32, 1e-4f);

    Mesh* empty = prepareMesh(nullptr, nullptr, nullptr, 0, nullptr, 0, 0, MESH_NORMAL_COLOURS);
    expectVec(&empty->centroid.x, 0, 0, 0);
    EXPECT_EQ(empty->radius, 0.0f);
}

TEST(MeshModel, GeneratesCoordinatesAndColoursOnlyWhenAskedAndNoneAreGiven)
{
    const float p[] = {0, 0, 0, 0, 1, 0, 0, 0, 1};   // faces +x
    const int32_t t[] = {0, 1, 2};
    Mesh* m = prepareMesh(t, p, nullptr, 0, nullptr, 3, 1, MESH_SPHERE_MAP | MESH_NORMAL_COLOURS);
    expectVec(&m->texCoords[0], (float)(HALF_PI / TWO_PI + 0.5), 0.5f, 0.0f);
    expectVec(&m->colours[0], 1.0f, 0.5f, 0.5f);
    // Straight down -z is a hair past 1, the program's pi being a little short.
    const float down[] = {0, 0, -1};
    float* st = sphereMapTexCoords(down, 1);
    EXPECT_FLOAT_EQ(st[0], (float)(3.14159265358979323846 / TWO_PI + 0.5));
    delete[] st;

    const float uv[] = {0.1f, 0.2f, 0, 0.3f, 0.4f, 0, 0.5f, 0.6f, 0};
    const float rgb[] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Mesh* given = prepareMesh(t, p, uv, 0, rgb, 3, 1, MESH_SPHERE_MAP | MESH_NORMAL_COLOURS);
    EXPECT_EQ(given->texCoords, uv);
    EXPECT_EQ(given->colours, rgb);
    Mesh* masked = prepareMesh(t, p, nullptr, 0, nullptr, 3, 1, ~MESH_FLAG_MASK);
    EXPECT_EQ(masked->texCoords, nullptr);
    EXPECT_EQ(masked->colours, nullptr);
}

TEST(MeshModelDeathTest, NeighbourRequestsAndBadInputAreFatal)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int32_t t[] = {0, 1, 2};
    EXPECT_EXIT(prepareMesh(t, sharedCorners, nullptr, 1, nullptr, 8, 1, 0),
                testing::ExitedWithCode(1),
                "remove neighbours, you're not using shadows you idiot!");
    const int32_t bad[] = {0, 1, 8};
    EXPECT_EXIT(prepareMesh(bad, sharedCorners, nullptr, 0, nullptr, 8, 1, 0),
                testing::ExitedWithCode(1), "triangle 0 uses vertex 8 of a mesh with 8 vertices");
    EXPECT_EXIT(gridPlaneArrays(-1, 4, 1, 1), testing::ExitedWithCode(1), "negative cell count");
}

TEST(MeshGenerators, GridPlaneFacesUpAndCubeFacesOutWithTheirOwnTextureSquares)
{
    MeshArrays one = gridPlaneArrays(1, 1, 1, 1);
    ASSERT_EQ(one.vertexCount, 4);
    ASSERT_EQ(one.faceCount, 2);
    expectVec(&one.positions[0], -0.5f, 0, -0.5f);
    expectVec(&one.positions[9], 0.5f, 0, 0.5f);

    // The show's plane: half a cell off centre towards -x and -z.
    MeshArrays show = gridPlaneArrays(16, 16, 10, 10);
    ASSERT_EQ(show.vertexCount, 289);
    ASSERT_EQ(show.faceCount, 512);
    expectVec(&show.positions[0], -85, 0, -85);
    expectVec(&show.positions[3 * 288], 75, 0, 75);
    expectVec(&show.texCoords[3 * 18], 1, 1, 0);
    expectVec(&show.texCoords[3 * 288], 16, 16, 0);
    Mesh* plane = prepareMesh(show.indices, show.positions, nullptr, 0, nullptr, 289, 512, 0);
    for (int f = 0; f < 512; f++)
        ASSERT_FLOAT_EQ(plane->faces[f].normal.y, 1.0f);
    for (int v = 0; v < 289; v++)
        ASSERT_FLOAT_EQ(plane->normals[3 * v + 1], 1.0f);
    MeshArrays cube = cubeArrays(2);
    ASSERT_EQ(cube.vertexCount, 24);
    ASSERT_EQ(cube.faceCount, 12);
    Mesh* m = prepareMesh(cube.indices, cube.positions, cube.texCoords, 0, nullptr, 24, 12, 0);
    expectCornersAtDistance(m, 2);
    const float square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int32_t v = 0; v < 24; v++)
        expectVec(&cube.texCoords[3 * v], square[v % 4][0], square[v % 4][1], 0);
}

TEST(MeshDisplayList, FaceNormalsGiveHardEdgesAndSharedNormalsSmoothShading)
{
    ensureGLContext();
    Mesh* flat =
        buildMesh(sharedCubeFaces, sharedCorners, nullptr, 0, nullptr, 8, 12, MESH_FACE_NORMALS);
    Mesh* smooth = buildMesh(sharedCubeFaces, sharedCorners, nullptr, 0, nullptr, 8, 12, 0);
    std::vector<FeedbackVertex> a = feedback(flat->list), b = feedback(smooth->list);
    ASSERT_EQ(a.size(), 36u);
    ASSERT_EQ(b.size(), 36u);
    float flatSpread = 0, smoothSpread = 0;
    for (size_t v = 0; v < 36; v++)
        for (int k = 3; k < 6; k++) {
            flatSpread = std::max(flatSpread, std::fabs(a[v][k] - a[v / 3 * 3][k]));
            smoothSpread = std::max(smoothSpread, std::fabs(b[v][k] - b[v / 3 * 3][k]));
        }
    EXPECT_LT(flatSpread, 1e-5f) << "one colour per triangle";
    EXPECT_GT(smoothSpread, 0.05f) << "colours vary across triangles";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(MeshDisplayList, ArraysAndImmediateModeSendTheSameTriangles)
{
    ensureGLContext();
    MeshArrays g = gridPlaneArrays(3, 2, 1.5f, 1.0f);
    std::vector<float> sink(16);
    glFeedbackBuffer((GLsizei)sink.size(), GL_3D, sink.data());
    glRenderMode(GL_FEEDBACK);
    showStarted = 1;   // keep the loading screen out of the feedback
    // Flat, so face and vertex normals agree; bits outside the mesh's mask change nothing.
    Mesh* arrays = buildMesh(g.indices, g.positions, g.texCoords, 0, nullptr, g.vertexCount,
                             g.faceCount, 0x1 | RENDER_ADD);
    Mesh* immediate = buildMesh(g.indices, g.positions, g.texCoords, 0, nullptr, g.vertexCount,
                                g.faceCount, MESH_FACE_NORMALS | RENDER_NO_CULL);
    EXPECT_EQ(glRenderMode(GL_RENDER), 0) << "the lists are compiled, not executed";
    showStarted = 0;
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));

    std::vector<FeedbackVertex> a = feedback(arrays->list), b = feedback(immediate->list);
    ASSERT_EQ(a.size(), 36u);
    ASSERT_EQ(b.size(), a.size());
    for (size_t i = 0; i < a.size(); i++)
        for (int k = 0; k < 11; k++)
            ASSERT_NEAR(a[i][k], b[i][k], 1e-4f) << "vertex " << i << " value " << k;
    EXPECT_FLOAT_EQ(a[5][7], 1.0f);   // u of the second triangle's last corner
}

TEST(MeshDisplayList, SeamRepairLiftsTheLowCornersOfAWrappingTriangleOnly)
{
    ensureGLContext();
    const float p[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0, 3, 0, 0, 2, 1, 0};
    const int32_t t[] = {0, 1, 2, 3, 4, 5};
    // u 0.95, 0.05, 0.10 wraps; 0.3, 0.5, 0.9 does not; the v values wrap nowhere.
    const float uv[] = {0.95f, 0.5f, 0, 0.05f, 0.5f, 0, 0.10f, 0.6f, 0,
                        0.3f,  0.1f, 0, 0.5f,  0.2f, 0, 0.9f,  0.3f, 0};
    Mesh* fixed = buildMesh(t, p, uv, 0, nullptr, 6, 2, MESH_FIX_SEAMS);
    Mesh* plain = buildMesh(t, p, uv, 0, nullptr, 6, 2, 0);
    std::vector<FeedbackVertex> a = feedback(fixed->list), b = feedback(plain->list);
    ASSERT_EQ(a.size(), 6u);
    ASSERT_EQ(b.size(), 6u);
    const float repaired[6] = {0.95f, 1.05f, 1.10f, 0.3f, 0.5f, 0.9f};
    for (int k = 0; k < 6; k++) {
        EXPECT_NEAR(a[k][7], repaired[k], 1e-6f);
        EXPECT_NEAR(a[k][8], uv[3 * k + 1], 1e-6f);
        EXPECT_NEAR(b[k][7], uv[3 * k], 1e-6f);
    }
    EXPECT_EQ(uv[3], 0.05f) << "the caller's array is never changed";
}
