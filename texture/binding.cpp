// Texture binding: filtering, wrap and coordinate generation from the flag word, the plain bind on
// unit 0, the two-unit crossfade bind, and the copy of the frame buffer's corner into a texture.
#include "texture/texture_local.h"

#include "support/upcalls.h"
#include "render/gl.h"

#include <algorithm>

TextureBindingState textureBinding = {
    {1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 1.0f, 0.0f},
};

namespace {

void setFilterAndWrap(TextureFlags f)
{
    GLint minification, magnification;
    if (f & TEX_NEAREST) {
        magnification = GL_NEAREST;
        minification = (f & TEX_NO_MIPMAP) ? GL_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else {
        magnification = GL_LINEAR;
        if (f & TEX_NO_MIPMAP)
            minification = GL_LINEAR;
        else if (f & TEX_TRILINEAR)
            minification = GL_LINEAR_MIPMAP_LINEAR;
        else
            minification = GL_LINEAR_MIPMAP_NEAREST;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minification);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magnification);

    GLint wrap = (f & TEX_CLAMP) ? (GLint)clampWrapMode : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

void enableGenST()
{
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisable(GL_TEXTURE_GEN_Q);
}

void generate(GLint mode)
{
    enableGenST();
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, mode);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, mode);
}

void generatePlanar(const float* planeS, const float* planeT)
{
    generate(GL_OBJECT_LINEAR);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, planeS);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, planeT);
}

void setCoordinateGeneration(TextureFlags f)
{
    const TextureBindingState& b = textureBinding;
    if (f & TEX_SPHERE_MAP) {
        generate(GL_SPHERE_MAP);
    } else if (f & TEX_PLANAR_YZ) {
        generatePlanar(b.planeY, b.planeZ);
    } else if (f & TEX_PLANAR_XZ) {
        generatePlanar(b.planeX, b.planeZ);
    } else if (f & TEX_PLANAR_XY) {
        generatePlanar(b.planeX, b.planeY);
    } else if (f & TEX_PLANAR_DIAGONAL) {
        generatePlanar(b.planeYZ, b.planeXZ);
    } else if (f & TEX_EYE_LINEAR) {
        generate(GL_EYE_LINEAR);   // with whatever eye planes OpenGL holds
    } else if (f & TEX_REFLECTION) {
        generate(GL_SPHERE_MAP);
    } else {
        glDisable(GL_TEXTURE_GEN_S);
        glDisable(GL_TEXTURE_GEN_T);
        glDisable(GL_TEXTURE_GEN_R);
        glDisable(GL_TEXTURE_GEN_Q);
    }
}

void setCrossfadeCombiner(int unit)
{
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    if (unit == 0) {
        // texel x vertex colour, texel alpha
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_PRIMARY_COLOR_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA_ARB, GL_PRIMARY_COLOR_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA_ARB, GL_SRC_ALPHA);
    } else {
        // previous x vertex alpha + texel x (1 - vertex alpha)
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_INTERPOLATE_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA_ARB, GL_INTERPOLATE_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_PREVIOUS_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA_ARB, GL_PREVIOUS_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA_ARB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA_ARB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_RGB_ARB, GL_PRIMARY_COLOR_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB_ARB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE2_ALPHA_ARB, GL_PRIMARY_COLOR_ARB);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_ALPHA_ARB, GL_SRC_ALPHA);
    }
}

}   // namespace

void applyTextureFlags(TextureFlags flags)
{
    TextureFlags f = flags & TEX_BIND_MASK;
    setFilterAndWrap(f);
    setCoordinateGeneration(f);
}

void bindTexture(const Texture* texture, TextureFlags flags)
{
    glext.glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
    glDisable(GL_TEXTURE_1D);

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture->name);
    applyTextureFlags(texture->flags | flags);

    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, textureBinding.textureEnvColour);

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(texture->scaleS, texture->scaleT, texture->scaleR);
    glMatrixMode(GL_MODELVIEW);
}

void bindTextureCrossfade(const Texture* texture, TextureFlags flags)
{
    const GLenum units[2] = {GL_TEXTURE0_ARB, GL_TEXTURE1_ARB};
    for (int unit = 0; unit < 2; ++unit) {
        glext.glActiveTextureARB(units[unit]);
        glDisable(GL_TEXTURE_1D);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture->name);
        applyTextureFlags(texture->flags | flags);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, textureBinding.textureEnvColour);
        setCrossfadeCombiner(unit);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }
    glext.glActiveTextureARB(GL_TEXTURE0_ARB);
}

void copyScreenToTexture(const Texture* texture)
{
    copyScreenToTextureSized(texture, texture->width, texture->height);
}

void copyScreenToTextureSized(const Texture* texture, int32_t width, int32_t height)
{
    bindTexture(texture, 0);
    // A request beyond the texture would be an OpenGL error, which ends the show at the frame's
    // error check: copy the part that fits.
    width = std::clamp(width, 0, (int32_t)texture->width);
    height = std::clamp(height, 0, (int32_t)texture->height);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
}
