// Mesh model: face and vertex normals, centroid and radius, generated texture coordinates and
// colours, and the display list (vertex arrays, or immediate mode for flat shading and seam
// repair).
#include "support/upcalls.h"
#include "render/gl.h"
#include "render/render_local.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// What a normal falls back to when the geometry has none: a zero-area triangle, a vertex no
// triangle uses, or faces that cancel out.
constexpr Vec3 FALLBACK_NORMAL = {0.0f, 1.0f, 0.0f};

// Two corners whose texture coordinate differs by more than this straddle the wrap seam.
constexpr float SEAM_GAP = 0.8f;

void normaliseOrFallBack(Vec3* v)
{
    if (v->x == 0.0f && v->y == 0.0f && v->z == 0.0f) {
        *v = FALLBACK_NORMAL;
        return;
    }
    normalize3(v);
    if (!std::isfinite(v->x) || !std::isfinite(v->y) || !std::isfinite(v->z))
        *v = FALLBACK_NORMAL;
}

Vec3 faceNormal(const float* positions, const int32_t* tri)
{
    const float* a = &positions[3 * tri[0]];
    const float* b = &positions[3 * tri[1]];
    const float* c = &positions[3 * tri[2]];
    Vec3 pa = {a[0], a[1], a[2]}, pb = {b[0], b[1], b[2]}, pc = {c[0], c[1], c[2]};
    Vec3 n;
    triangleNormal(&pa, &pb, &pc, &n);
    if (!std::isfinite(n.x) || !std::isfinite(n.y) || !std::isfinite(n.z))
        n = FALLBACK_NORMAL;   // zero area: the cross product has no direction
    return n;
}

[[noreturn]] void meshError(const std::string& text)
{
    fatalError(text.c_str());
}

void checkMeshInput(const int32_t* indices, const float* positions, int32_t vertexCount,
                    int32_t faceCount)
{
    if (vertexCount < 0 || faceCount < 0)
        meshError("buildMesh: negative count (" + std::to_string(vertexCount) + " vertices, " +
                  std::to_string(faceCount) + " triangles)");
    if ((vertexCount > 0 && positions == nullptr) || (faceCount > 0 && indices == nullptr))
        meshError("buildMesh: missing position or index array");
    for (int32_t i = 0; i < 3 * faceCount; i++)
        if (indices[i] < 0 || indices[i] >= vertexCount)
            meshError("buildMesh: triangle " + std::to_string(i / 3) + " uses vertex " +
                      std::to_string(indices[i]) + " of a mesh with " +
                      std::to_string(vertexCount) + " vertices");
}

// The (u, v) of one triangle's corners as sent. With fixSeams, a triangle that wraps around the
// texture seam (two corners more than SEAM_GAP apart in u, or in v) has that coordinate raised
// by 1 on its corners below 1 - SEAM_GAP.
struct TriangleUV {
    float u[3], v[3];
};

TriangleUV seamCorrectedUV(const float* texCoords, uint32_t a, uint32_t b, uint32_t c,
                           bool fixSeams)
{
    TriangleUV uv;
    const uint32_t corner[3] = {a, b, c};
    for (int32_t k = 0; k < 3; k++) {
        uv.u[k] = texCoords[3 * corner[k]];
        uv.v[k] = texCoords[3 * corner[k] + 1];
    }
    if (!fixSeams)
        return uv;
    // A triangle across the seam has corners near 1 and near 0: lift the low ones past 1 so the
    // texture runs on instead of back across the whole image. u and v are repaired separately.
    for (float* w : {uv.u, uv.v}) {
        bool wraps = std::fabs(w[0] - w[1]) > SEAM_GAP || std::fabs(w[1] - w[2]) > SEAM_GAP ||
                     std::fabs(w[2] - w[0]) > SEAM_GAP;
        if (wraps)
            for (int32_t k = 0; k < 3; k++)
                if (w[k] < 1.0f - SEAM_GAP)
                    w[k] += 1.0f;
    }
    return uv;
}

void compileImmediate(const Mesh* mesh, RenderFlags flags)
{
    bool faceNormals = (flags & MESH_FACE_NORMALS) != 0;
    bool fixSeams = (flags & MESH_FIX_SEAMS) != 0;
    glNewList(mesh->list, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (int32_t f = 0; f < mesh->faceCount; f++) {
        const MeshFace& face = mesh->faces[f];
        if (faceNormals)
            glNormal3f(face.normal.x, face.normal.y, face.normal.z);
        TriangleUV uv{};
        if (mesh->texCoords)
            uv = seamCorrectedUV(mesh->texCoords, face.index[0], face.index[1], face.index[2],
                                 fixSeams);
        for (int32_t k = 0; k < 3; k++) {
            uint32_t v = face.index[k];
            if (!faceNormals)
                glNormal3fv(&mesh->normals[3 * v]);
            if (mesh->texCoords) {
                glext.glMultiTexCoord2fARB(GL_TEXTURE0_ARB, uv.u[k], uv.v[k]);
                glext.glMultiTexCoord2fARB(GL_TEXTURE1_ARB, uv.u[k], uv.v[k]);
            }
            if (mesh->colours)
                glColor3fv(&mesh->colours[3 * v]);
            glVertex3fv(&mesh->positions[3 * v]);
        }
    }
    glEnd();
    glEndList();
}

}   // namespace

float* sphereMapTexCoords(const float* normals, int32_t count)
{
    float* out = new float[3 * (size_t)count];
    for (int32_t i = 0; i < count; i++) {
        const float* n = &normals[3 * i];
        out[3 * i] = (float)(std::atan2((double)n[0], (double)n[2]) / TWO_PI + 0.5);
        out[3 * i + 1] = 0.5f * n[1] + 0.5f;
        out[3 * i + 2] = 0.0f;
    }
    return out;
}

float* normalColours(const float* normals, int32_t count)
{
    float* out = new float[3 * (size_t)count];
    for (int32_t i = 0; i < 3 * count; i++)
        out[i] = 0.5f * normals[i] + 0.5f;
    return out;
}

Mesh* prepareMesh(const int32_t* indices, const float* positions, const float* texCoords,
                  int32_t wantNeighbours, const float* colours, int32_t vertexCount,
                  int32_t faceCount, RenderFlags flags)
{
    checkMeshInput(indices, positions, vertexCount, faceCount);
    flags &= MESH_FLAG_MASK;

    Mesh* mesh = new Mesh{};
    mesh->vertexCount = vertexCount;
    mesh->faceCount = faceCount;
    mesh->faces = new MeshFace[faceCount];
    mesh->normals = new float[3 * (size_t)vertexCount];
    mesh->positions = positions;
    mesh->texCoords = texCoords;
    mesh->colours = colours;
    mesh->indices = indices;

    Vec3 sum = {0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < vertexCount; i++) {
        const float* p = &positions[3 * i];
        mesh->normals[3 * i] = mesh->normals[3 * i + 1] = mesh->normals[3 * i + 2] = 0.0f;
        sum.x += p[0];
        sum.y += p[1];
        sum.z += p[2];
        float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        if (length >= mesh->radius)
            mesh->radius = length;
    }
    if (vertexCount > 0)
        mesh->centroid = Vec3{sum.x / vertexCount, sum.y / vertexCount, sum.z / vertexCount};

    // Every face adds its unit normal with weight 1, whatever its size.
    for (int32_t f = 0; f < faceCount; f++) {
        const int32_t* tri = &indices[3 * f];
        MeshFace& face = mesh->faces[f];
        face.normal = faceNormal(positions, tri);
        for (int32_t k = 0; k < 3; k++) {
            face.index[k] = (uint32_t)tri[k];
            float* n = &mesh->normals[3 * tri[k]];
            n[0] += face.normal.x;
            n[1] += face.normal.y;
            n[2] += face.normal.z;
        }
    }
    for (int32_t i = 0; i < vertexCount; i++) {
        float* n = &mesh->normals[3 * i];
        Vec3 v = {n[0], n[1], n[2]};
        normaliseOrFallBack(&v);
        n[0] = v.x;
        n[1] = v.y;
        n[2] = v.z;
    }

    if (!texCoords && (flags & MESH_SPHERE_MAP))
        mesh->texCoords = sphereMapTexCoords(mesh->normals, vertexCount);
    if (!colours && (flags & MESH_NORMAL_COLOURS))
        mesh->colours = normalColours(mesh->normals, vertexCount);

    if (wantNeighbours != 0)
        fatalError("remove neighbours, you're not using shadows you idiot!");
    return mesh;
}

Mesh* buildMesh(const int32_t* indices, const float* positions, const float* texCoords,
                int32_t wantNeighbours, const float* colours, int32_t vertexCount,
                int32_t faceCount, RenderFlags flags)
{
    Mesh* mesh = prepareMesh(indices, positions, texCoords, wantNeighbours, colours, vertexCount,
                             faceCount, flags);
    flags &= MESH_FLAG_MASK;
    mesh->list = glGenLists(1);
    if (flags & (MESH_FIX_SEAMS | MESH_FACE_NORMALS))
        compileImmediate(mesh, flags);
    else
        compileMeshArrays(mesh->list, mesh->positions, mesh->normals, mesh->texCoords,
                          mesh->colours, mesh->indices, vertexCount, faceCount);
    drawLoadingScreen();
    return mesh;
}

void compileMeshArrays(uint32_t list, const float* positions, const float* normals,
                       const float* texCoords, const float* colours, const int32_t* indices,
                       int32_t vertexCount, int32_t faceCount)
{
    (void)vertexCount;   // the indices say how far the arrays are read
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, positions);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, normals);
    if (texCoords) {
        for (GLenum unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {   // unit 0 stays selected
            glext.glClientActiveTextureARB(unit);
            glext.glActiveTextureARB(unit);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(3, GL_FLOAT, 0, texCoords);
        }
    }
    if (colours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, colours);
    }
    glNewList(list, GL_COMPILE);
    glDrawElements(GL_TRIANGLES, 3 * faceCount, GL_UNSIGNED_INT, indices);
    glEndList();
    glPopClientAttrib();
    glPopAttrib();
}
