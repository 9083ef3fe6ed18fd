// Geometry and rendering: the render-state presets and the frame clear, the camera and
// projection, the fog preset, the loading screen, the two mesh generators and the blob surface
// generator. The OpenGL layer itself is render/gl.h; the mesh model and the generators' internals
// are in render/render_local.h.
//
// RenderFlags is the one flag word that scenes hand, unchanged, to every drawing operation; each
// consumer masks its own bits. The whole layout lives here, texture and mesh bits included.
#pragma once

#include "support/support.h"

#include <cstdint>
#include <vector>

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

// ---- Render-state presets --------------------------------------------------------------------
//
// beginFrame resets the whole pipeline (and, given a record, clears the frame); applyRenderFlags
// turns the RENDER_* bits into culling, depth, blending, shading and stencil state; beginScreenPass
// sets up a full-screen 2D pass. pushRenderState / popRenderState bracket a drawing operation:
// they save the enables, the texture and model-view matrices and most attribute groups, but NOT
// the colour-buffer group (blend and alpha functions, colour mask) nor the projection, so those
// stay as set inside the bracket.

// The attribute groups pushRenderState saves: current, point, polygon, polygon stipple, pixel
// mode, lighting, fog, depth, accumulation, stencil, viewport, enable, hint, list and texture.
constexpr uint32_t RENDER_STATE_ATTRIBUTES = 438267;

// The first show frames that also wipe the whole window (the loading screen's remains lie outside
// the letterbox).
constexpr int32_t FULL_WINDOW_CLEAR_FRAMES = 8;

struct RenderPresetState {
    int32_t fullWindowClears;   // clearFrame calls counted since the show started
};
extern RenderPresetState renderPresets;

// clear may be null: reset only.
void beginFrame(const ClearColour* clear);
// Clears the letterbox; any record but defaultClearColour is then added as the background.
void clearFrame(const ClearColour* colour);
void applyRenderFlags(RenderFlags flags);
// Whether a fragment of this colour (red, green, blue, alpha, as it reaches the blend) leaves the
// frame as it was under the blend applyRenderFlags(flags) picks: adding, screening or
// inverse-multiplying nothing, or alpha-blending at alpha 0. A fragment alpha added to a frame
// with an alpha channel (frameAlpha) is a change; so is any stencil mark. For passes drawn
// without depth test: they leave out draws that cannot change a pixel, keeping their state.
bool blendLeavesFrame(RenderFlags flags, const float* colour, bool frameAlpha);
void beginScreenPass(RenderFlags flags);
void pushRenderState();
void popRenderState();
// The current colour, taken by the passes that set none of their own (the grid warps): four
// channels, or three with alpha 1.
void setColour(float red, float green, float blue, float alpha);
void setColour(float red, float green, float blue);

// ---- Camera and projection -------------------------------------------------------------------
//
// All drawing goes into the letterbox (full window width, three quarters of its height, centred),
// or with RENDER_TO_TEXTURE into the 512 x 256 corner at the origin. The perspective aspect is
// always 1.6. nearPlane and farPlane at or below 0 (both) mean "derive them": setOrthoView takes
// 0.1 and 10, lookAtCamera twice and 0.002 times the eye-target distance.

constexpr int32_t RENDER_TO_TEXTURE_WIDTH = 512;
constexpr int32_t RENDER_TO_TEXTURE_HEIGHT = 256;
constexpr float PERSPECTIVE_ASPECT = 1.6f;

// The shared camera values; beginFrame and beginScreenPass reset them, scenes set them between
// the reset and the camera call.
struct CameraState {
    float nearPlane;
    float farPlane;
    Vec3 projectionShift;   // x and y shift the projection, in normalised device units
    Vec3 upVector;
};
extern CameraState camera;

// Where scenes take their projection shift from, to push the vanishing point off-centre.
extern const Vec3 projectionShiftPreset;   // (0.236, -0.236, 0)

struct Viewport {
    int32_t x, y, width, height;
};
// The viewport the camera operations set, for the frame's size in frameRecord.
Viewport viewportFor(RenderFlags flags);
Viewport viewportFor(int32_t windowWidth, int32_t windowHeight, RenderFlags flags);

// ---- The frame record ------------------------------------------------------------------------
//
// What the renderer knows of the frame it draws into. render/ owns it and changes it only through
// the calls below: the platform layer reports the drawable when the window opens or its size
// changes, binding an off-screen frame draws at that frame's size until the window is bound
// again. Every viewport, the letterbox and the screen passes take their size from here.

struct FrameRecord {
    int32_t drawableWidth, drawableHeight;   // the window's drawable, in pixels
    int32_t width, height;                   // the frame the show draws into now
};
extern const FrameRecord& frameRecord;

// The window's drawable has this size. While the window is drawn into, the show follows it; a
// new size wipes the whole window again for the first frames (the bands outside the letterbox
// hold nothing of it yet).
void setDrawableSize(int32_t width, int32_t height);

// The facts of a new context: the clamp mode its version allows (clampWrapMode) and the size of
// the render targets (renderTargetWidth and renderTargetHeight, 512 x 256).
void recordContextFacts(uint32_t clampMode);

// 0 during the precalculation, 1 once the show runs: the loading screen stops drawing and the
// frame clear starts counting. The application sets it when its start-up pause is over.
extern int32_t showStarted;

// One black picture over the whole window, depth cleared too: the pause before the show, after a
// loading screen that reached outside the letterbox.
void clearWholeWindow();
// The name of the OpenGL error pending since the last call, or null when there is none.
const char* takeGLError();
// Waits until the driver has drawn everything asked of it (the benchmark's frame times).
void finishDrawing();

// An off-screen frame (frame.cpp): 8-8-8 colour without alpha and a depth buffer as deep
// as the window's, drawn into in place of the window while bound. For a picture scaled onto the
// screen afterwards (full screen without the exact mode) or one larger than the window
// (supersampled capture).
struct FrameTarget {
    uint32_t framebuffer, colour, depth;
    int32_t width, height;
};
// The largest side the driver draws into (render-buffer and viewport limits); 0 without frame
// buffer objects.
int32_t largestFrameSide();
// The largest side of a viewport the driver draws: the most a window's frame can have.
int32_t largestViewportSide();
// False when the driver cannot make it (no frame buffer objects, too large, out of memory).
bool createFrameTarget(FrameTarget* target, int32_t width, int32_t height);
// Draws into the target from now on, at its size (frameRecord); nullptr: the window again, at
// the drawable's size.
void bindFrameTarget(const FrameTarget* target);
// Scales the source rectangle of the bound target onto the whole window, linearly filtered; the
// target stays bound for drawing.
void presentFrameTarget(const FrameTarget* target, Viewport source, int32_t windowWidth,
                        int32_t windowHeight);

// Reading the frame back, from the origin of the bound frame buffer (the window's back buffer or
// an off-screen frame). readFrameRGB waits for the driver: top row first, 3 bytes a pixel.
std::vector<uint8_t> readFrameRGB(int32_t width, int32_t height);
// A capture's read-back runs one frame behind, so that the renderer never waits for a read:
// startReadBack reads the frame just drawn into a pixel buffer, and it is taken out only once the
// next one has been started. readBackWaiting names the frame to take next, the older of two held
// (with `all`, the oldest held, for the end of a capture), or READ_BACK_NONE; takeReadBack copies
// it into `to`, width x height x 4 bytes (BGRA, bottom row first, as the frame buffer holds it),
// and is false when its pixel buffer could not be mapped. Without pixel buffers startReadBack
// waits for the read and the frame is waiting at once. Every frame of one capture has one size.
constexpr int64_t READ_BACK_NONE = -1;
void startReadBack(int64_t index, int32_t width, int32_t height);
int64_t readBackWaiting(bool all);
bool takeReadBack(uint8_t* to);

// All three leave the model-view matrix current and (before the look-at) identity.
void setOrthoView(RenderFlags flags);
// The orthographic view with fog, texturing, culling, depth test and lighting off and blending
// on (one, one): the set-up of an untextured additive quad over the screen. Not bracketed.
void beginAdditiveFlat();
void setPerspectiveView(float fieldOfView, RenderFlags flags);
// With the eye on the target (or an up vector along the view) there is no look-at transform:
// the projection is set and the model-view stays identity.
void lookAtCamera(const CameraEye& eye, const Vec3& target, RenderFlags flags);

// Copies of a model under the camera: these act on the model-view matrix, which the camera
// operations leave current and selectModelView makes current.
void selectModelView();
void pushModelView();
void popModelView();
void scaleModelView(float factor);      // the same on all three axes
void rotateModelViewY(float degrees);   // about the y axis

// ---- Loading screen --------------------------------------------------------------------------

// One frame of the loading screen, shown at once; nothing once the show has started. Every call
// grows the progress bar by a tenth; the loaders, generators and mesh builders call it as each
// asset is ready.
void drawLoadingScreen();

// ---- Fog ------------------------------------------------------------------------------------

// Linear fog from start to end (eye-space distances) towards colour (four floats). Lasts until the
// next beginFrame.
void linearFog(const float* colour, float start, float end);

// ---- Meshes ---------------------------------------------------------------------------------

struct Mesh;   // a compiled mesh (render/render_local.h); made once, never freed

// A cube of half edge size: 24 vertices (four per face), 12 triangles, each face textured 0..1.
Mesh* makeCube(float size, RenderFlags flags);
// A flat grid in the x-z plane, (cellsX + 1) x (cellsZ + 1) vertices, one texture repeat per
// cell, facing +y. spacingY is not used.
Mesh* makeGridPlane(int32_t cellsX, int32_t cellsZ, float spacingX, float spacingY, float spacingZ,
                    RenderFlags flags);

// ---- Blob surface generator ------------------------------------------------------------------
//
// generateSurface samples the blobs' summed field on a fixed 32^3 lattice (an octree skips empty
// space), extracts the iso-surface by marching tetrahedra (five per cube, mirrored in alternate
// cubes), shares vertices through a stamped edge cache that is never cleared, smooths once and
// takes gradient normals. It makes no OpenGL call. The results stay in surfaceVertices /
// surfaceNormals / surfaceTriangles until the next call. Emission stops at SURFACE_MAX_TRIANGLES
// (and SURFACE_MAX_VERTICES): the arrays are never overrun. A vertex is made at most once per
// lattice edge, so the vertex count stays below the edge cache's size (262144) and the vertex
// arrays always have room for one more particle per triangle (meshToParticles appends those).

struct Blob {
    float x, y, z;   // centre in lattice units around the lattice centre (-16 .. 15)
    float radius;
    int32_t negative;   // non-zero: the field is subtracted
    int32_t shape;      // 0 round, 1 rounded cube, anything else contributes nothing
};

constexpr int32_t SURFACE_MAX_VERTICES = 491520;
constexpr int32_t SURFACE_MAX_TRIANGLES = 163840;

// Outputs of the last generation, in lattice units around the centre (as the blob centres).
// The normals point outwards and are not of unit length.
extern Vec3 surfaceVertices[SURFACE_MAX_VERTICES];
extern Vec3 surfaceNormals[SURFACE_MAX_VERTICES];
extern int32_t surfaceTriangles[SURFACE_MAX_TRIANGLES * 3];
extern int32_t surfaceVertexCount;
extern int32_t surfaceTriangleCount;

void generateSurface(const Blob* blobs, int32_t blobCount);
