// Mesh generators: a cube with its own texture square on every face, and a flat grid plane.
// The arrays are the mesh's for good (buildMesh keeps them by reference).
#include "support/upcalls.h"
#include "render/render_local.h"

#include <string>

MeshArrays cubeArrays(float size)
{
    const float s = size;
    // Four vertices per face, none shared, so each face has its own texture square and, with
    // face normals, hard edges.
    static const float corner[24][3] = {
        {-1, 1, -1},  {1, 1, -1},  {1, 1, 1},  {-1, 1, 1},    // top, y = +s
        {-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1},   // bottom, y = -s
        {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},   // back, z = -s
        {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1},    // front, z = +s
        {1, -1, -1},  {1, -1, 1},  {1, 1, 1},  {1, 1, -1},    // right, x = +s
        {-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1},   // left, x = -s
    };
    // Counter-clockwise seen from outside.
    static const int32_t triangle[12][3] = {
        {0, 2, 1},    {0, 3, 2},    {4, 5, 6},    {4, 6, 7},    {8, 10, 9},   {8, 11, 10},
        {12, 13, 14}, {12, 14, 15}, {16, 18, 17}, {16, 19, 18}, {20, 21, 22}, {20, 22, 23},
    };
    static const float square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

    MeshArrays m;
    m.vertexCount = 24;
    m.faceCount = 12;
    m.positions = new float[3 * 24];
    m.texCoords = new float[3 * 24];
    m.indices = new int32_t[3 * 12];
    for (int32_t v = 0; v < 24; v++) {
        for (int32_t k = 0; k < 3; k++)
            m.positions[3 * v + k] = corner[v][k] * s;
        m.texCoords[3 * v] = square[v % 4][0];
        m.texCoords[3 * v + 1] = square[v % 4][1];
        m.texCoords[3 * v + 2] = 0.0f;
    }
    for (int32_t t = 0; t < 12; t++)
        for (int32_t k = 0; k < 3; k++)
            m.indices[3 * t + k] = triangle[t][k];
    return m;
}

MeshArrays gridPlaneArrays(int32_t cellsX, int32_t cellsZ, float spacingX, float spacingZ)
{
    if (cellsX < 0 || cellsZ < 0)
        fatalError(("makeGridPlane: negative cell count (" + std::to_string(cellsX) + " x " +
                    std::to_string(cellsZ) + ")")
                       .c_str());
    const int32_t w = cellsX + 1;
    MeshArrays m;
    m.vertexCount = w * (cellsZ + 1);
    m.faceCount = 2 * cellsX * cellsZ;
    m.positions = new float[3 * (size_t)m.vertexCount];
    m.texCoords = new float[3 * (size_t)m.vertexCount];
    m.indices = new int32_t[3 * (size_t)m.faceCount];
    // Centred on a half-cell offset: exact for odd counts, half a cell towards -x and -z for
    // even ones.
    const float offsetX = (float)(cellsX / 2) + 0.5f;
    const float offsetZ = (float)(cellsZ / 2) + 0.5f;
    for (int32_t i = 0; i <= cellsZ; i++)
        for (int32_t j = 0; j <= cellsX; j++) {
            int32_t v = j + w * i;
            m.positions[3 * v] = ((float)j - offsetX) * spacingX;
            m.positions[3 * v + 1] = 0.0f;
            m.positions[3 * v + 2] = ((float)i - offsetZ) * spacingZ;
            m.texCoords[3 * v] = (float)j;
            m.texCoords[3 * v + 1] = (float)i;
            m.texCoords[3 * v + 2] = 0.0f;
        }
    int32_t* out = m.indices;
    for (int32_t i = 0; i < cellsZ; i++)
        for (int32_t j = 0; j < cellsX; j++) {
            int32_t e = j + w * i;
            const int32_t cell[6] = {e, e + w, e + w + 1, e, e + w + 1, e + 1};
            for (int32_t k = 0; k < 6; k++)
                *out++ = cell[k];
        }
    return m;
}

Mesh* makeCube(float size, RenderFlags flags)
{
    MeshArrays m = cubeArrays(size);
    return buildMesh(m.indices, m.positions, m.texCoords, 0, nullptr, m.vertexCount, m.faceCount,
                     flags);
}

Mesh* makeGridPlane(int32_t cellsX, int32_t cellsZ, float spacingX, float spacingY, float spacingZ,
                    RenderFlags flags)
{
    (void)spacingY;   // the plane is flat
    MeshArrays m = gridPlaneArrays(cellsX, cellsZ, spacingX, spacingZ);
    return buildMesh(m.indices, m.positions, m.texCoords, 0, nullptr, m.vertexCount, m.faceCount,
                     flags);
}
