// Geometry and rendering: the render-state presets and the frame clear, the camera and
// projection, the fog preset, the mesh model and its generators, and the blob surface generator.
//
// RenderFlags is the one flag word that scenes hand, unchanged, to every drawing operation; each
// consumer masks its own bits. The whole layout lives here, texture and mesh bits included.
#pragma once

#include "support/support.h"

#include <cstdint>

using RenderFlags = uint32_t;

constexpr RenderFlags TEX_NEAREST = 0x1;
constexpr RenderFlags TEX_CLAMP = 0x2;
constexpr RenderFlags TEX_SPHERE_MAP = 0x4;
constexpr RenderFlags TEX_EYE_LINEAR = 0x8;
constexpr RenderFlags TEX_PLANAR_YZ = 0x10;
constexpr RenderFlags TEX_NO_MIPMAP = 0x20;
constexpr RenderFlags RENDER_NO_CULL = 0x40;
constexpr RenderFlags RENDER_CULL_FRONT = 0x80;
constexpr RenderFlags RENDER_NO_DEPTH = 0x100;
constexpr RenderFlags RENDER_NO_DEPTH_WRITE = 0x200;
constexpr RenderFlags RENDER_ADD = 0x400;
constexpr RenderFlags RENDER_MUL_INVERSE = 0x800;
constexpr RenderFlags RENDER_MUL = 0x1000;
constexpr RenderFlags RENDER_ALPHA_BLEND = 0x2000;
constexpr RenderFlags RENDER_TO_TEXTURE = 0x4000;
constexpr RenderFlags RENDER_FLAT = 0x8000;
constexpr RenderFlags MESH_FACE_NORMALS = 0x8000;   // the same bit, read by the mesh builder
constexpr RenderFlags RENDER_SCREEN = 0x40000;
constexpr RenderFlags TEX_PLANAR_XZ = 0x80000;
constexpr RenderFlags TEX_PLANAR_XY = 0x100000;
constexpr RenderFlags RENDER_STENCIL_MARK = 0x200000;
constexpr RenderFlags TEX_PLANAR_DIAGONAL = 0x400000;
constexpr RenderFlags MESH_FIX_SEAMS = 0x800000;
constexpr RenderFlags MESH_NORMAL_COLOURS = 0x1000000;
constexpr RenderFlags MESH_SPHERE_MAP = 0x2000000;
constexpr RenderFlags TEX_TRILINEAR = 0x4000000;
constexpr RenderFlags TEX_REFLECTION = 0x8000000;
constexpr RenderFlags TEX_INVERT = 0x10000000;

// The bits applyRenderFlags obeys.
constexpr RenderFlags RENDER_FLAG_MASK = 0x24BFC0;

// The default clear record: opaque black, recognised by its address.
struct ClearColour {
    float r, g, b, a;
};
extern const ClearColour defaultClearColour;

// The eye of lookAtCamera: a position and a vertical field of view in degrees (0 means 90).
struct CameraEye {
    Vec3 position;
    float fieldOfView;
};

#include "render/geometry.h"
