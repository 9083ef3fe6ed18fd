// Every caption, the logo, the title and the credits, as the show draws them, read upright and
// unstretched in the letterbox: the coverage against the image laid out upright and mirrored.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "app/app.h"
#include "render/gl.h"
#include "common/test_support.h"
#include "effects/effects.h"
#include "render/render.h"
#include "texture/texture_local.h"

namespace {

constexpr int WIDTH = 1024, HEIGHT = 768;
constexpr int BOX_Y = HEIGHT / 8, BOX_H = HEIGHT * 3 / 4;   // the letterbox

std::string data(const char* name)
{
    return buildDir() + "/data/" + name;
}

// The letterbox's grey level per pixel, top row first.
std::vector<float> readLetterbox()
{
    std::vector<uint8_t> rgba = readPixels(0, BOX_Y, WIDTH, BOX_H);
    std::vector<float> grey(size_t(WIDTH) * BOX_H);
    for (int y = 0; y < BOX_H; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            const unsigned char* p = &rgba[(size_t(BOX_H - 1 - y) * WIDTH + x) * 4];
            grey[size_t(y) * WIDTH + x] = (p[0] + p[1] + p[2]) / 765.0f;
        }
    return grey;
}

// Pearson correlation of the rendered picture with an expected coverage sampled per pixel.
double correlation(const std::vector<float>& picture,
                   const std::function<float(float, float)>& expected)
{
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
    for (int y = 0; y < BOX_H; y += 2)
        for (int x = 0; x < WIDTH; x += 2) {
            double a = picture[size_t(y) * WIDTH + x];
            double b = expected((x + 0.5f) / WIDTH, (y + 0.5f) / BOX_H);
            sa += a;
            sb += b;
            saa += a * a;
            sbb += b * b;
            sab += a * b;
            n += 1;
        }
    double cov = sab / n - sa / n * sb / n;
    return cov /
           std::sqrt(std::max(1e-12, (saa / n - sa * sa / n / n) * (sbb / n - sb * sb / n / n)));
}

// Coverage of a decoded image (red byte or a function of the pixel) at s, t (t = 0 is its top),
// zero outside.
struct Coverage {
    int w = 0, h = 0;
    std::vector<float> v;
    Coverage(const char* name, AlphaFunction alpha)
    {
        uint8_t* rgb = loadJpeg(data(name).c_str(), &w, &h);
        v.resize(size_t(w) * h);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = float(alpha ? alpha(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]) : rgb[i * 3]) /
                   255.0f;
        std::free(rgb);
    }
    float at(float s, float t) const
    {
        if (s < 0 || t < 0 || s >= 1 || t >= 1)
            return 0;
        return v[size_t(int(t * h)) * w + size_t(int(s * w))];
    }
};

// drawScreenImage maps screen u, v (v = 0 at the top) to pan + 0.5 + (u - 0.5) * zoom / divisor.
std::function<float(float, float)> imageLayout(const Coverage& c, float panS, float panT,
                                               float divisor, float zoomS, float zoomT, bool mirror)
{
    return [=, &c](float u, float v) {
        float s = panS + 0.5f + (u - 0.5f) * zoomS / divisor;
        float t = panT + 0.5f + (v - 0.5f) * zoomT / divisor;
        return c.at(s, mirror ? 1 - t : t);
    };
}

TEST(RenderedText, CaptionsLogoTitleAndCreditsReadUprightWhereTheScenesPutThem)
{
    ensureGLContext(WIDTH, HEIGHT);
    struct Case {
        const char* colour;
        const char* mask;
        AlphaFunction alpha;
        bool caption;   // over the whole letterbox as the asset table loads it: flipped, inset
        float panS, panT, divisor, zoomS, zoomT;
    } cases[] = {
        {"caption_cluster.jpg", "caption_cluster_a.jpg", nullptr, true, 0, 0, 1, 1, 1},
        {"caption_drift.jpg", "caption_drift_a.jpg", nullptr, true, 0, 0, 1, 1, 1},
        {"caption_iterate.jpg", "caption_iterate_a.jpg", nullptr, true, 0, 0, 1, 1, 1},
        {"caption_growth.jpg", "caption_growth_a.jpg", nullptr, true, 0, 0, 1, 1, 1},
        {"caption_return.jpg", "caption_return_a.jpg", nullptr, true, 0, 0, 1, 1, 1},
        {"caption_within.jpg", "caption_within_a.jpg", nullptr, true, 0, 0, 1, 1, 1},
        // The opening's caption at its first tick of each image, and the credits half way up.
        {"logo.jpg", nullptr, alphaGreyDistance, false, 0.325f, -1, 1.5f, 2, 4.5f},
        {"title.jpg", nullptr, alphaMean, false, -0.125f, -1, 1.5f, 2, 4.5f},
        {"credits.jpg", "credits_a.jpg", nullptr, false, 0, 0.5f * 3 - 1.5f, 1.5f, 2, 1.125f},
    };
    for (const Case& c : cases) {
        Texture* t = loadTexture(data(c.colour).c_str(), c.mask ? data(c.mask).c_str() : nullptr,
                                 c.alpha, Vec3{1, c.caption ? -1.0f : 1.0f, 1}, TEX_NO_MIPMAP);
        beginFrame(&defaultClearColour);
        if (c.caption)
            drawScreenTextureInset(t, 1.0f, 0.0f, RENDER_ALPHA_BLEND);
        else
            drawScreenImage(t, c.panS, c.panT, c.divisor, c.zoomS, c.zoomT, 0, 1.0f,
                            RENDER_ALPHA_BLEND | RENDER_NO_DEPTH | RENDER_NO_CULL | TEX_CLAMP);
        std::vector<float> picture = readLetterbox();
        Coverage cover(c.mask ? c.mask : c.colour, c.mask ? nullptr : c.alpha);
        double upright = correlation(
            picture, imageLayout(cover, c.panS, c.panT, c.divisor, c.zoomS, c.zoomT, false));
        double mirrored = correlation(
            picture, imageLayout(cover, c.panS, c.panT, c.divisor, c.zoomS, c.zoomT, true));
        EXPECT_GT(upright, 0.8) << c.colour;
        // A line of text is nearly symmetric top to bottom; upright must still fit clearly better.
        if (c.caption)
            EXPECT_LT(mirrored, 0.3) << c.colour;
        else
            EXPECT_GT(upright - mirrored, 0.2)
                << c.colour << " upright " << upright << " mirrored " << mirrored;
    }
}

}   // namespace
