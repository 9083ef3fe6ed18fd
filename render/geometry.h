// Meshes (model, normals, display lists, generators) and the blob surface generator.
//
// Meshes: buildMesh takes the caller's positions and triangle indices (optionally texture
// coordinates and colours), derives unit face normals, smooth vertex normals, the centroid and the
// radius, and compiles one display list, either from vertex arrays with one glDrawElements or in
// immediate mode (flat shading, texture-seam repair). The mesh keeps the caller's arrays by
// reference; nothing is ever freed. Needs the OpenGL context; precalculation only.
// Safe results where the geometry gives none: a zero-area triangle and a vertex that no triangle
// uses get the normal (0, 1, 0); a mesh without vertices has the centroid (0, 0, 0).
//
// Blob surfaces: generateSurface samples the blobs' summed field on a fixed 32^3 lattice (an
// octree skips empty space), extracts the iso-surface at SURFACE_ISO_LEVEL by marching
// tetrahedra (five per cube, mirrored in alternate cubes), shares vertices through a stamped
// edge cache that is never cleared, smooths once and takes gradient normals. It makes no OpenGL
// call. The results stay in surfaceVertices / surfaceNormals / surfaceTriangles until the next
// call. Emission stops at SURFACE_MAX_TRIANGLES (and SURFACE_MAX_VERTICES): the arrays are never
// overrun. A vertex is made at most once per lattice edge, so the vertex count stays below
// SURFACE_EDGE_CACHE_SIZE and the vertex arrays always have room for one more particle per
// triangle (meshToParticles appends those).
#pragma once

#include "render/render.h"
#include "support/support.h"

#include <cstdint>

// ---- Mesh model ----------------------------------------------------------------------------

struct MeshFace {
    uint32_t index[3];   // in the caller's order
    Vec3 normal;         // unit length
};

struct Mesh {
    uint32_t list;            // display list holding the compiled triangles
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

// A cube of half edge size: 24 vertices (four per face), 12 triangles, each face textured 0..1.
Mesh* makeCube(float size, RenderFlags flags);
// A flat grid in the x-z plane, (cellsX + 1) x (cellsZ + 1) vertices, one texture repeat per
// cell, facing +y. spacingY is not used.
Mesh* makeGridPlane(int32_t cellsX, int32_t cellsZ, float spacingX, float spacingY,
                    float spacingZ, RenderFlags flags);

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

struct Blob {
    float x, y, z;      // centre in lattice units around the lattice centre (-16 .. 15)
    float radius;
    int32_t negative;   // non-zero: the field is subtracted
    int32_t shape;      // 0 round, 1 rounded cube, anything else contributes nothing
};

constexpr int32_t SURFACE_LATTICE_SIZE = 32;
constexpr int32_t SURFACE_LATTICE_POINTS = 32768;
constexpr float SURFACE_ISO_LEVEL = 0.12f;
constexpr int32_t SURFACE_MAX_VERTICES = 491520;
constexpr int32_t SURFACE_MAX_TRIANGLES = 163840;
constexpr int32_t SURFACE_EDGE_CACHE_SIZE = 262144;

// One lattice point, index x + 32 y + 1024 z.
struct FieldCell {
    float value;
    int32_t px, py, pz;   // coordinates - 16
    int32_t index;
    int32_t inside;       // value >= SURFACE_ISO_LEVEL
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

// Outputs of the last generation, in lattice units around the centre (as the blob centres).
// The normals point outwards and are not of unit length.
extern Vec3 surfaceVertices[SURFACE_MAX_VERTICES];
extern Vec3 surfaceNormals[SURFACE_MAX_VERTICES];
extern int32_t surfaceTriangles[SURFACE_MAX_TRIANGLES * 3];
extern int32_t surfaceVertexCount;
extern int32_t surfaceTriangleCount;

void generateSurface(const Blob* blobs, int32_t blobCount);

// The summed field of all blobs at a point in lattice coordinates (0 .. 31 per axis).
float surfaceField(const Blob* blobs, int32_t blobCount, float x, float y, float z);
