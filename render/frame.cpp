// The frame: the record of its sizes, and off-screen frames on frame buffer objects (make one,
// draw into it, scale it onto the window).
#include "render/gl.h"   // the frame buffer entry points
#include "render/render.h"

#include <algorithm>

namespace {

struct FrameState {
    FrameRecord record;
    bool offScreen;   // a frame target is bound: the draw size is its own
};
FrameState frame;

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

int32_t largestFrameSide()
{
    if (!glext.glGenFramebuffers || !glext.glBlitFramebuffer)
        return 0;
    GLint renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min({renderbuffer, viewport[0], viewport[1]});
}

int32_t largestViewportSide()
{
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min(viewport[0], viewport[1]);
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
