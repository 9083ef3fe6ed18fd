// Textures made without a file: one colour, grey noise (the film grain), and the empty
// screen-copy targets of the snapshots and the glow chain.
#include "support/upcalls.h"
#include "render/gl.h"
#include "texture/texture_local.h"

#include <vector>

static Texture* newGeneratedTexture(int32_t width, int32_t height, TextureFlags flags, Vec3 scale)
{
    Texture* texture = new Texture{};
    texture->flags = flags & TEX_CREATE_MASK;
    texture->width = width;
    texture->height = height;
    texture->scaleS = scale.x;
    texture->scaleT = scale.y;
    texture->scaleR = scale.z;
    texture->spriteCount = 1;
    glGenTextures(1, &texture->name);
    glBindTexture(GL_TEXTURE_2D, texture->name);
    return texture;
}

static void uploadGenerated(const Texture* texture, std::vector<uint8_t>& pixels)
{
    if (texture->flags & TEX_NO_MIPMAP) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture->width, texture->height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, pixels.data());
    } else {
        uploadMipmapped(texture->width, texture->height, pixels.data());
    }
    drawLoadingScreen();
}

Texture* makeSolidTexture(int32_t width, int32_t height, uint8_t red, uint8_t green, uint8_t blue,
                          uint8_t alpha, Vec3 scale, TextureFlags flags)
{
    Texture* texture = newGeneratedTexture(width, height, flags, scale);
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = red;
        pixels[i + 1] = green;
        pixels[i + 2] = blue;
        pixels[i + 3] = alpha;
    }
    uploadGenerated(texture, pixels);
    return texture;
}

Texture* makeNoiseTexture(int32_t width, int32_t height, TextureFlags flags)
{
    Texture* texture = newGeneratedTexture(width, height, flags, Vec3{1, 1, 1});
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        uint8_t g = (uint8_t)(randomInt15() & 255);
        pixels[i] = pixels[i + 1] = pixels[i + 2] = g;
        pixels[i + 3] = 12;
    }
    uploadGenerated(texture, pixels);
    return texture;
}

static void uploadEmptyLevel(uint32_t format, int32_t width, int32_t height)
{
    std::vector<uint8_t> zeros((size_t)width * height * 4, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, (GLint)format, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 zeros.data());
}

Texture* makeScreenCopyTarget()
{
    uint32_t format = colourTextureFormat();
    int32_t W = renderTargetWidth, H = renderTargetHeight;
    Texture* texture = new Texture{};
    texture->flags = TEX_CLAMP | TEX_NO_MIPMAP;
    texture->width = W;
    texture->height = H;
    texture->scaleS = 512.0f / W;
    texture->scaleT = 256.0f / H;
    texture->scaleR = 1.0f;
    texture->spriteCount = 1;
    glGenTextures(1, &texture->name);
    glBindTexture(GL_TEXTURE_2D, texture->name);
    uploadEmptyLevel(format, W, H);
    drawLoadingScreen();
    return texture;
}

ScreenChain makeScreenCopyChain()
{
    uint32_t format = colourTextureFormat();
    ScreenChain chain;
    chain.textures = new Texture[16]{};
    int32_t w = renderTargetWidth, h = renderTargetHeight, k = 0;
    while (w + h >= 6 && k < 16) {
        Texture& level = chain.textures[k];
        level.flags = TEX_NO_MIPMAP;
        level.width = w;
        level.height = h;
        level.scaleS = 512.0f / renderTargetWidth;
        level.scaleT = 256.0f / renderTargetHeight;
        level.scaleR = 1.0f;
        level.spriteCount = 1;
        glGenTextures(1, &level.name);
        glBindTexture(GL_TEXTURE_2D, level.name);
        uploadEmptyLevel(format, w, h);
        w /= 2;
        h /= 2;
        k++;
    }
    chain.count = k;
    return chain;
}
