// The glow chain (the 512 x 256 corner copied into a chain of halving textures, each blurred on
// the way down through eight averaged taps, then added back full-screen) and colour fills.
#include "render/gl.h"
#include "effects/effects_local.h"

#include <cmath>

const float whiteTint[4] = {1, 1, 1, 1};
const float greyTint[4] = {0.5f, 0.5f, 0.5f, 1};

namespace {

float passDepth()
{
    return camera.nearPlane + 0.001f;
}

void screenQuad(float s0, float t0, float s1, float t1)
{
    float z = passDepth();
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex3f(-1, -1, z);
    glTexCoord2f(s1, t0);
    glVertex3f(1, -1, z);
    glTexCoord2f(s1, t1);
    glVertex3f(1, 1, z);
    glTexCoord2f(s0, t1);
    glVertex3f(-1, 1, z);
    glEnd();
}

enum class GlowTaps { Disc, Zoom };

void buildGlowChain(const ScreenChain* chain, int32_t square, float spread, const float* tint,
                    GlowTaps kind)
{
    copyScreenToTextureSized(&chain->textures[0], RENDER_TO_TEXTURE_WIDTH,
                             RENDER_TO_TEXTURE_HEIGHT);
    pushRenderState();
    for (int32_t i = 0; i + 1 < chain->count; i++) {
        const Texture* source = &chain->textures[i];
        const Texture* target = &chain->textures[i + 1];
        int32_t w = RENDER_TO_TEXTURE_WIDTH >> (i + 1), h = RENDER_TO_TEXTURE_HEIGHT >> (i + 1);
        setOrthoView(0);
        glViewport(0, 0, w, h);
        bindTexture(source, TEX_CLAMP);
        glDisable(GL_LIGHTING);
        glDisable(GL_FOG);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        if (i == 0)
            glColor4f(tint[0] * 0.125f, tint[1] * 0.125f, tint[2] * 0.125f, tint[3] * 0.125f);
        else
            glColor4f(0.125f, 0.125f, 0.125f, 0.125f);
        for (int32_t j = 0; j < GLOW_TAPS; j++) {
            if (j == 0) {
                glDisable(GL_BLEND);
            } else {
                glEnable(GL_BLEND);
                glBlendFunc(GL_ONE, GL_ONE);
            }
            if (kind == GlowTaps::Disc) {
                float s, t;
                glowDiscTapOffset(j, spread, target->width, target->height, &s, &t);
                screenQuad(s, t, 1 + s, 1 + t);
            } else {
                float c = glowZoomTapExtent(j, spread);
                screenQuad(0.5f - c, 0.5f - c, 0.5f + c, 0.5f + c);
            }
        }
        copyScreenToTextureSized(target, w, h);
        if (i == 0 && square) {
            // Multiply the reduced picture by itself: the highlights carry the glow.
            bindTexture(target, 0);
            glColor4f(1, 1, 1, 1);
            glEnable(GL_BLEND);
            glBlendFunc(GL_ZERO, GL_SRC_COLOR);
            screenQuad(0, 0, 1, 1);
            copyScreenToTextureSized(target, w, h);
        }
    }
    popRenderState();
}

void drawLevels(const ScreenChain* chain, int32_t first, float firstWeight, RenderFlags flags)
{
    pushRenderState();
    beginFrame(&defaultClearColour);
    setOrthoView(flags);
    for (int32_t k = first; k < chain->count; k++) {
        bindTexture(&chain->textures[k], TEX_CLAMP);
        applyRenderFlags(flags | RENDER_NO_CULL | RENDER_NO_DEPTH | RENDER_ADD);
        float c = k == first ? firstWeight : 1.0f;
        glColor4f(c, c, c, c);
        screenQuad(0, 0, 1, 1);
    }
    popRenderState();
}

}   // namespace

void glowDiscTapOffset(int32_t tap, float radius, int32_t width, int32_t height, float* s, float* t)
{
    double theta = TWO_PI * tap / GLOW_TAPS;
    *s = (float)(std::sin(theta) * radius / width);
    *t = (float)(std::cos(theta) * radius / height);
}

float glowZoomTapExtent(int32_t tap, float zoom)
{
    if (tap == 0)
        return 0.5f;
    return 0.5f / ((float)tap * zoom / GLOW_TAPS + 1.0f);
}

GlowLevels glowLevelsFrom(int32_t count, float start)
{
    float a = clamp01(start);
    float x = a * (float)count;
    int32_t first = (int32_t)x;
    float e = std::fmod(x, 1.0f);
    return GlowLevels{first, 1.0f - e};
}

void buildGlowChainDisc(const ScreenChain* chain, int32_t square, float radius, const float* tint)
{
    buildGlowChain(chain, square, radius, tint, GlowTaps::Disc);
}

void buildGlowChainZoom(const ScreenChain* chain, int32_t square, float zoom, const float* tint)
{
    buildGlowChain(chain, square, zoom, tint, GlowTaps::Zoom);
}

void drawGlowChain(const ScreenChain* chain, RenderFlags flags)
{
    drawLevels(chain, 0, 1.0f, flags);
}

void drawGlowChainFrom(const ScreenChain* chain, float start, RenderFlags flags)
{
    GlowLevels levels = glowLevelsFrom(chain->count, start);
    drawLevels(chain, levels.first, levels.firstWeight, flags);
}

void fillScreen(const float* colour, RenderFlags flags)
{
    pushRenderState();
    beginScreenPass(flags);
    glColor4f(colour[0], colour[1], colour[2], colour[3]);
    float z = passDepth();
    glBegin(GL_QUADS);
    glVertex3f(-1, 1, z);
    glVertex3f(1, 1, z);
    glVertex3f(1, -1, z);
    glVertex3f(-1, -1, z);
    glEnd();
    popRenderState();
}
