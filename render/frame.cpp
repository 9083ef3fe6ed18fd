// The frame: the record of its sizes, off-screen frames on frame buffer objects (make one, draw
// into it, scale it onto the window) and reading the frame back.
#include "render/gl.h"   // the frame buffer entry points
#include "render/render.h"

#include <algorithm>
#include <cstring>

namespace {

struct FrameState {
    FrameRecord record;
    bool offScreen;   // a frame target is bound: the draw size is its own
};
FrameState frame;

// The read-back one frame behind: two pixel buffers, each holding the frame it was last given;
// without pixel buffers, the one frame read at once.
struct ReadBack {
    GLuint buffers[2] = {0, 0};
    int64_t pending[2] = {READ_BACK_NONE, READ_BACK_NONE};
    int32_t width = 0, height = 0;
    std::vector<uint8_t> direct;
};
ReadBack readBack;

}   // namespace

const FrameRecord& frameRecord = frame.record;

void setDrawableSize(int32_t width, int32_t height)
{
    frame.record.drawableWidth = width;
    frame.record.drawableHeight = height;
    if (frame.offScreen || (width == frame.record.width && height == frame.record.height))
        return;
    frame.record.width = width;
    frame.record.height = height;
    renderPresets.fullWindowClears = 0;
}

void recordContextFacts(uint32_t clampMode)
{
    clampWrapMode = clampMode;
    renderTargetWidth = nextPowerOfTwo(512);
    renderTargetHeight = nextPowerOfTwo(256);
}

int32_t largestViewportSide()
{
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min(viewport[0], viewport[1]);
}

int32_t largestFrameSide()
{
    if (!glext.glGenFramebuffers || !glext.glBlitFramebuffer)
        return 0;
    GLint renderbuffer = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    return std::min(renderbuffer, largestViewportSide());
}

bool createFrameTarget(FrameTarget* target, int32_t width, int32_t height)
{
    int32_t largest = largestFrameSide();
    if (largest == 0 || width > largest || height > largest || width <= 0 || height <= 0)
        return false;
    // The window's depth, so that depth tests round as they do there.
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    GLenum depthFormat = depthBits >= 32   ? GL_DEPTH_COMPONENT32
                         : depthBits >= 24 ? GL_DEPTH_COMPONENT24
                                           : GL_DEPTH_COMPONENT16;
    *target = {0, 0, 0, width, height};
    glext.glGenFramebuffers(1, &target->framebuffer);
    glext.glGenRenderbuffers(1, &target->colour);
    glext.glGenRenderbuffers(1, &target->depth);
    glext.glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
    glext.glBindRenderbuffer(GL_RENDERBUFFER, target->colour);
    glext.glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    glext.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                    target->colour);
    glext.glBindRenderbuffer(GL_RENDERBUFFER, target->depth);
    glext.glRenderbufferStorage(GL_RENDERBUFFER, depthFormat, width, height);
    glext.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                    target->depth);
    bool complete = glext.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glext.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    // A refused size leaves GL_OUT_OF_MEMORY behind, which the frame check would report.
    while (glGetError() != GL_NO_ERROR)
        complete = false;
    return complete;
}

void bindFrameTarget(const FrameTarget* target)
{
    glext.glBindFramebuffer(GL_FRAMEBUFFER, target ? target->framebuffer : 0);
    frame.offScreen = target != nullptr;
    frame.record.width = target ? target->width : frame.record.drawableWidth;
    frame.record.height = target ? target->height : frame.record.drawableHeight;
}

void presentFrameTarget(const FrameTarget* target, Viewport source, int32_t windowWidth,
                        int32_t windowHeight)
{
    // The blit obeys the scissor test; nothing else of the frame's state touches it.
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glext.glBindFramebuffer(GL_READ_FRAMEBUFFER, target->framebuffer);
    glext.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glext.glBlitFramebuffer(source.x, source.y, source.x + source.width, source.y + source.height,
                            0, 0, windowWidth, windowHeight, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glext.glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
}

std::vector<uint8_t> readFrameRGB(int32_t width, int32_t height)
{
    std::vector<uint8_t> bottomUp((size_t)width * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<uint8_t> rows(bottomUp.size());
    size_t stride = (size_t)width * 3;
    for (int32_t y = 0; y < height; y++)
        std::memcpy(&rows[(size_t)y * stride], &bottomUp[(size_t)(height - 1 - y) * stride],
                    stride);
    return rows;
}

namespace {

// As the frame buffer holds it: a copy, not a conversion, for the renderer.
void readPixelsBGRA(int32_t width, int32_t height, void* to)
{
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, to);
}

bool pixelBuffers()
{
    return glext.glGenBuffers && glext.glMapBuffer;
}

}   // namespace

void startReadBack(int64_t index, int32_t width, int32_t height)
{
    size_t size = (size_t)width * height * 4;
    readBack.width = width;
    readBack.height = height;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!pixelBuffers()) {
        readBack.direct.resize(size);
        readPixelsBGRA(width, height, readBack.direct.data());
        readBack.pending[0] = index;
        return;
    }
    if (!readBack.buffers[0]) {
        glext.glGenBuffers(2, readBack.buffers);
        for (GLuint buffer : readBack.buffers) {
            glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            glext.glBufferData(GL_PIXEL_PACK_BUFFER, (GLsizeiptr)size, nullptr, GL_STREAM_READ);
        }
    }
    int slot = (int)(index & 1);
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, readBack.buffers[slot]);
    readPixelsBGRA(width, height, nullptr);
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    readBack.pending[slot] = index;
}

namespace {

// The slot of the oldest frame held, or -1.
int oldestSlot()
{
    int64_t first = readBack.pending[0], second = readBack.pending[1];
    if (first == READ_BACK_NONE && second == READ_BACK_NONE)
        return -1;
    return first != READ_BACK_NONE && (second == READ_BACK_NONE || first < second) ? 0 : 1;
}

}   // namespace

int64_t readBackWaiting(bool all)
{
    int slot = oldestSlot();
    if (slot < 0)
        return READ_BACK_NONE;
    // Read at once without pixel buffers; with them, the newest waits for the next frame.
    bool held = !pixelBuffers() || all || readBack.pending[1 - slot] != READ_BACK_NONE;
    return held ? readBack.pending[slot] : READ_BACK_NONE;
}

bool takeReadBack(uint8_t* to)
{
    int slot = oldestSlot();
    if (slot < 0)
        return false;
    readBack.pending[slot] = READ_BACK_NONE;
    size_t size = (size_t)readBack.width * readBack.height * 4;
    if (!pixelBuffers()) {
        std::memcpy(to, readBack.direct.data(), size);
        return true;
    }
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, readBack.buffers[slot]);
    const void* pixels = glext.glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    if (pixels) {
        std::memcpy(to, pixels, size);
        glext.glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    }
    glext.glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    return pixels != nullptr;
}
