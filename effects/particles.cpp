// Drawing particle systems: the camera axes from the model-view matrix, the depth sort, and the
// batches sent through client vertex arrays with one glDrawElements each.
#include "effects/effects_local.h"

#include "support/upcalls.h"
#include "render/gl.h"
#include "diagnostics/diagnostics.h"
#include "support/support.h"

#include <cstdlib>

namespace {

// The index list only grows; a batch never needs more than 4 * PARTICLE_BATCH entries.
void growQuadIndices(int32_t needed)
{
    ParticleSystemState& ps = particleSystem;
    if (ps.quadIndexCount >= needed)
        return;
    std::free(ps.quadIndices);
    ps.quadIndices = (uint32_t*)std::malloc(sizeof(uint32_t) * (size_t)needed);
    for (int32_t i = 0; i < needed; i++)
        ps.quadIndices[i] = (uint32_t)i;
    ps.quadIndexCount = needed;
}

Vec3 normalised(float x, float y, float z)
{
    Vec3 v = {x, y, z};
    if (x != 0.0f || y != 0.0f || z != 0.0f)
        normalize3(&v);
    return v;
}

// Whether the batch can change a pixel. Quads of size 0 cover none. Particles of base alpha 0 are
// black (fog aside) and texel-alpha'd, unless PS_ALPHA without depth blur gives them alpha 0.
bool particlesChangeFrame(const float* sizes, const float* alphas, float baseSize, float baseAlpha,
                          int32_t flags, RenderFlags renderFlags)
{
    if (baseSize == 0.0f && !sizes)
        return false;
    if (baseAlpha != 0.0f || alphas)
        return true;
    if (glIsEnabled(GL_FOG)) {
        float fog[4];
        glGetFloatv(GL_FOG_COLOR, fog);
        if (fog[0] != 0.0f || fog[1] != 0.0f || fog[2] != 0.0f)
            return true;
    }
    const float colour[4] = {0, 0, 0, (flags & PS_ALPHA) && !(flags & PS_DEPTH_BLUR) ? 0.0f : 1.0f};
    return !blendLeavesFrame(renderFlags, colour, frameHasAlpha());
}

}   // namespace

void drawQuadBatch(const float* corners, const float* texCoords, const float* colours,
                   const uint32_t* indexList, int32_t indexCount)
{
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, corners);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, 0, colours);
    glext.glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    TimedSection* section = beginTimedSection("glDrawElements");
    glDrawElements(GL_QUADS, indexCount, GL_UNSIGNED_INT, indexList);
    endTimedSection(section);
    glPopClientAttrib();
}

void drawQuadBatchDual(const float* corners, const float* texCoords0, const float* texCoords1,
                       const float* colours, const uint32_t* indexList, int32_t indexCount)
{
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, corners);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, 0, colours);
    glext.glClientActiveTextureARB(GL_TEXTURE1_ARB);
    glext.glActiveTextureARB(GL_TEXTURE1_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords1);
    glext.glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords0);
    TimedSection* section = beginTimedSection("glDrawElements");
    glDrawElements(GL_QUADS, indexCount, GL_UNSIGNED_INT, indexList);
    endTimedSection(section);
    glPopClientAttrib();
}

void drawParticleBatch(const Vec3* positions, const Vec3* /*normals*/, const float* angles,
                       const float* sizes, const float* alphas, const float* keys,
                       const int32_t* indices, int32_t n, Vec3 right, Vec3 up,
                       const Texture* texture, const uint8_t* sprites, float blurRange,
                       float baseSize, float baseAlpha, int32_t flags, RenderFlags renderFlags)
{
    if (n <= 0)
        return;
    if (!particleSystem.rotationReady)
        fillRotationTables();
    ParticleQuads quads;
    quads.corners = (float*)tempmalloc(sizeof(float) * 12u * (uint32_t)n);
    quads.texCoords0 = (float*)tempmalloc(sizeof(float) * 8u * (uint32_t)n);
    quads.texCoords1 = (float*)tempmalloc(sizeof(float) * 8u * (uint32_t)n);
    quads.colours = (float*)tempmalloc(sizeof(float) * 16u * (uint32_t)n);

    TimedSection* section = beginTimedSection("wtf");
    fillParticleQuads(positions, angles, sizes, alphas, keys, indices, n, right, up, texture,
                      sprites, blurRange, baseSize, baseAlpha, flags, &quads);
    endTimedSection(section);

    growQuadIndices(4 * n);
    pushRenderState();
    applyRenderFlags(renderFlags | RENDER_NO_DEPTH | RENDER_NO_CULL);
    glDisable(GL_LIGHTING);
    // A batch that cannot change a pixel is sent empty: the state and the timing log stay the same.
    int32_t indexCount =
        particlesChangeFrame(sizes, alphas, baseSize, baseAlpha, flags, renderFlags) ? 4 * n : 0;
    if (flags & PS_DEPTH_BLUR) {
        bindTextureCrossfade(texture, renderFlags);
        drawQuadBatchDual(quads.corners, quads.texCoords0, quads.texCoords1, quads.colours,
                          particleSystem.quadIndices, indexCount);
    } else {
        bindTexture(texture, renderFlags);
        drawQuadBatch(quads.corners, quads.texCoords0, quads.colours, particleSystem.quadIndices,
                      indexCount);
    }
    popRenderState();
    tmpfree(quads.corners);
}

void drawParticles(const Vec3* positions, const Vec3* normals, const float* angles,
                   const float* sizes, const float* alphas, int32_t count, Vec3 eye, Vec3 target,
                   const Texture* texture, const uint8_t* sprites, float blurRange, float baseSize,
                   float baseAlpha, int32_t flags, RenderFlags renderFlags)
{
    if (count > PARTICLE_MAX) {
        // The sort cannot take more than the key array holds; an unsorted draw shows the first
        // PARTICLE_MAX rather than writing past it.
        if (flags & PS_SORT)
            fatalError("dumbass");
        count = PARTICLE_MAX;
    }
    if (count <= 0 || !positions || !texture)
        return;

    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    Vec3 right = normalised(m[0], m[4], m[8]);
    Vec3 up = normalised(m[1], m[5], m[9]);

    computeParticleKeys(positions, count, eye, target);
    if (flags & PS_SORT) {
        TimedSection* section = beginTimedSection("moxiRadixsort");
        radixSortKeys(count);
        endTimedSection(section);
    }

    int32_t* keptIndices = (int32_t*)tempmalloc(sizeof(int32_t) * (uint32_t)count);
    float* keptKeys = (float*)tempmalloc(sizeof(float) * (uint32_t)count);
    int32_t kept = keepParticles(normals, count, eye, flags, keptIndices, keptKeys);
    for (int32_t first = 0; first < kept; first += PARTICLE_BATCH) {
        int32_t n = kept - first < PARTICLE_BATCH ? kept - first : PARTICLE_BATCH;
        drawParticleBatch(positions, normals, angles, sizes, alphas, keptKeys + first,
                          keptIndices + first, n, right, up, texture, sprites, blurRange, baseSize,
                          baseAlpha, flags, renderFlags);
    }
    tmpfree(keptIndices);
}
