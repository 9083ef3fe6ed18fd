// What render/ and its tests share beyond render/render.h: the loading screen's progress, the mesh
// model and its builder, the generators' arrays, and the blob surface generator's lattice and edge
// cache. Not for other folders.
//
// Meshes: buildMesh takes the caller's positions and triangle indices (optionally texture
// coordinates and colours), derives unit face normals, smooth vertex normals, the centroid and the
// radius, and compiles one display list, either from vertex arrays with one glDrawElements or in
// immediate mode (flat shading, texture-seam repair). The mesh keeps the caller's arrays by
// reference; nothing is ever freed. Needs the OpenGL context; precalculation only.
// Safe results where the geometry gives none: a zero-area triangle and a vertex that no triangle
// uses get the normal (0, 1, 0); a mesh without vertices has the centroid (0, 0, 0).
#pragma once

#include "render/render.h"

#include <cstdint>

// The loading screen's bar: a tenth longer with every drawLoadingScreen.
extern float loadingProgress;

// ---- Mesh model ----------------------------------------------------------------------------

struct MeshFace {
    uint32_t index[3];   // in the caller's order
    Vec3 normal;         // unit length
};

struct Mesh {
    uint32_t list;   // display list holding the compiled triangles
    int32_t vertexCount;
    int32_t faceCount;
    MeshFace* faces;          // owned
    const float* positions;   // caller's, 3 per vertex
    float* normals;           // owned, smooth vertex normals, 3 per vertex
    const float* texCoords;   // caller's or generated (u, v, w), or null
    const float* colours;     // caller's or generated (r, g, b), or null
    const int32_t* indices;   // caller's, 3 per face
    Vec3 centroid;            // mean of the positions
    float radius;             // largest distance of a vertex from the origin
};

// The only flag bits the mesh builder reads.
constexpr RenderFlags MESH_FLAG_MASK =
    MESH_FACE_NORMALS | MESH_FIX_SEAMS | MESH_NORMAL_COLOURS | MESH_SPHERE_MAP;

// wantNeighbours must be 0: there is no edge-adjacency stage, and asking for one is fatal.
// Advances the loading screen by one step.
Mesh* buildMesh(const int32_t* indices, const float* positions, const float* texCoords,
                int32_t wantNeighbours, const float* colours, int32_t vertexCount,
                int32_t faceCount, RenderFlags flags);

// The context-free part of buildMesh: everything but the display list (list stays 0) and the
// loading-screen step. Also fatal on a neighbour request.
Mesh* prepareMesh(const int32_t* indices, const float* positions, const float* texCoords,
                  int32_t wantNeighbours, const float* colours, int32_t vertexCount,
                  int32_t faceCount, RenderFlags flags);

// Compiles (does not execute) the list from vertex arrays with one glDrawElements. Texture
// coordinates go to units 0 and 1.
void compileMeshArrays(uint32_t list, const float* positions, const float* normals,
                       const float* texCoords, const float* colours, const int32_t* indices,
                       int32_t vertexCount, int32_t faceCount);

// New heap arrays of count triples, from unit normals.
float* sphereMapTexCoords(const float* normals, int32_t count);   // (u, v, 0)
float* normalColours(const float* normals, int32_t count);        // 0.5 n + 0.5

// ---- Mesh generators -------------------------------------------------------------------------

// The heap arrays the generators hand to buildMesh (never freed: the mesh keeps them).
struct MeshArrays {
    float* positions;
    float* texCoords;
    int32_t* indices;
    int32_t vertexCount;
    int32_t faceCount;
};
MeshArrays cubeArrays(float size);
MeshArrays gridPlaneArrays(int32_t cellsX, int32_t cellsZ, float spacingX, float spacingZ);

// ---- Blob surface generator ------------------------------------------------------------------

constexpr int32_t SURFACE_LATTICE_SIZE = 32;
constexpr int32_t SURFACE_LATTICE_POINTS = 32768;
constexpr float SURFACE_ISO_LEVEL = 0.12f;
constexpr int32_t SURFACE_EDGE_CACHE_SIZE = 262144;

// One lattice point, index x + 32 y + 1024 z.
struct FieldCell {
    float value;
    int32_t px, py, pz;   // coordinates - 16
    int32_t index;
    int32_t inside;   // value >= SURFACE_ISO_LEVEL
};

struct EdgeCacheEntry {
    int32_t vertex;
    int32_t stamp;   // valid only when equal to the current generation
};

// The generator's fixed storage, kept for the whole run.
struct SurfaceGeneratorState {
    bool ready;
    FieldCell lattice[SURFACE_LATTICE_POINTS];
    int32_t occupancyX[SURFACE_LATTICE_SIZE];   // inside points per plane
    int32_t occupancyY[SURFACE_LATTICE_SIZE];
    int32_t occupancyZ[SURFACE_LATTICE_SIZE];
    EdgeCacheEntry edgeCache[SURFACE_EDGE_CACHE_SIZE];
};
extern SurfaceGeneratorState surfaceState;

// Counts generations; the edge cache's stamps compare against it.
extern int32_t surfaceGeneration;

// The summed field of all blobs at a point in lattice coordinates (0 .. 31 per axis).
float surfaceField(const Blob* blobs, int32_t blobCount, float x, float y, float z);
