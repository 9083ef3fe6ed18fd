// What the 28 colour images and 11 masks of the show look like (their names, sizes and masks are
// the data list's, support/data_files.h). One palette throughout: deep ink blue, teal,
// warm amber and white; one type family (DejaVu Sans). Every image is a power of two on both
// sides, because the screen passes map texture coordinates 0..1 onto the whole padded canvas.
// Images that scroll or repeat tile seamlessly in the directions they move.
#include "datagen.h"
#include "image.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace datagen {

namespace {

constexpr float TAU = 6.2831853f;
constexpr int SPRITE = 128;

const Colour INK{0.03f, 0.04f, 0.09f};
const Colour TEAL{0.22f, 0.78f, 0.88f};
const Colour DEEP_TEAL{0.05f, 0.32f, 0.45f};
const Colour AMBER{1.0f, 0.62f, 0.22f};
const Colour EMBER{0.75f, 0.22f, 0.08f};
const Colour WHITE{1.0f, 0.97f, 0.92f};
const Colour VIOLET{0.35f, 0.18f, 0.55f};

// Caption text is stored in 2:1 images that the screen passes stretch over the 16:9 letterbox;
// glyphs are drawn this much wider so that they read undistorted there.
constexpr float CAPTION_ASPECT_FIX = 2.0f / (16.0f / 9.0f);

using Maker = std::function<bool(Image& colour, Plane* mask, std::string& error)>;

// How one file of the data list is drawn; the list gives its size and whether it has a mask.
struct Job {
    DataName name;
    Maker make;
};

// Calls f(x, y, u, v, r) over a sprite with u, v in -1..1 and r the distance from the centre.
template <typename F>
void forSprite(Image& image, F f)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            float u = (float(x) + 0.5f) / float(image.width) * 2 - 1;
            float v = (float(y) + 0.5f) / float(image.height) * 2 - 1;
            f(x, y, u, v, std::hypot(u, v));
        }
}

// Goes to exactly zero before the sprite's border, so no quad edge ever shows.
float edgeFade(float r)
{
    return smoothstep(0.98f, 0.78f, r);
}

Colour clampColour(Colour c)
{
    return {clamp01(c.r), clamp01(c.g), clamp01(c.b)};
}

// --- Sprites -------------------------------------------------------------------------------

bool makeSpiral(Image& img, Plane*, std::string&)
{
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        float angle = std::atan2(v, u);
        float phase = 3 * angle + 4.5f * std::log(std::max(r, 0.02f));
        float arm = std::pow(0.5f + 0.5f * std::cos(phase), 5.0f);
        float body = std::pow(clamp01(1 - r / 0.92f), 1.3f);
        float core = std::exp(-r * r / 0.012f);
        float value = arm * body * 1.25f + core + 0.15f * body * body;
        Colour c = mix(AMBER, TEAL, clamp01(r * 1.3f)) * value + WHITE * (core * 0.8f);
        img.at(x, y) = clampColour(c * edgeFade(r));
    });
    return true;
}

bool makeStar(Image& img, Plane* mask, std::string&)
{
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        auto ray = [](float along, float across, float width) {
            return std::exp(-std::fabs(across) / width) *
                   std::pow(clamp01(1 - std::fabs(along)), 2.0f);
        };
        float du = (u + v) * 0.7071f, dv = (u - v) * 0.7071f;
        float rays = ray(u, v, 0.025f) + ray(v, u, 0.025f) +
                     0.5f * (ray(du, dv, 0.02f) + ray(dv, du, 0.02f));
        float core = std::exp(-r * r * 40);
        float halo = 0.45f * std::exp(-r * r * 7);
        float a = clamp01((core + halo + rays) * edgeFade(r));
        mask->at(x, y) = a;
        img.at(x, y) = clampColour(mix(TEAL, WHITE, clamp01(core * 1.6f + rays * 0.35f)));
    });
    return true;
}

// The flare's mask also serves the faceted sprite: a soft disc that is densest at the centre.
float flareAlpha(float r)
{
    return clamp01(std::pow(clamp01(1 - r / 0.95f), 0.55f) * 1.15f);
}

bool makeFlare(Image& img, Plane* mask, std::string&)
{
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        float angle = std::atan2(v, u);
        float core = std::exp(-r * r * 30);
        float ring = std::exp(-std::pow((r - 0.62f) / 0.05f, 2.0f)) * 0.6f;
        float streaks = std::pow(0.5f + 0.5f * std::cos(6 * angle), 16.0f) * (1 - r) * 0.7f;
        Colour base =
            mix(mix(WHITE, AMBER, smoothstep(0.0f, 0.35f, r)), EMBER, smoothstep(0.35f, 0.95f, r));
        Colour c = base * (0.55f + 0.45f * (1 - r)) + WHITE * (core + ring * 0.8f + streaks);
        img.at(x, y) = clampColour(c);
        if (mask)
            mask->at(x, y) = flareAlpha(r) * edgeFade(r);
    });
    return true;
}

bool makeFacet(Image& img, Plane*, std::string&)
{
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        Cells c = cells((u + 1) * 2.2f, (v + 1) * 2.2f, 64, 0xFACE7u);
        // Each facet is a flat plane tilted its own way, lit from the upper left.
        float nx = float(hash32(c.id) & 255) / 255.0f - 0.5f;
        float ny = float(hash32(c.id + 7) & 255) / 255.0f - 0.5f;
        float light = clamp01(0.55f - 0.8f * nx - 0.8f * ny + 0.25f * (1 - r));
        float edge = smoothstep(0.06f, 0.0f, c.f2 - c.f1);
        Colour tone = mix(DEEP_TEAL, TEAL, light);
        tone = mix(tone, WHITE, std::pow(light, 6.0f) * 0.8f);
        img.at(x, y) = clampColour(tone + WHITE * (edge * 0.55f));
    });
    return true;
}

bool makeOrb(Image& img, Plane* mask, std::string&)
{
    const float radius = 0.8f;
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        float s = std::min(r / radius, 1.0f);
        float nz = std::sqrt(std::max(0.0f, 1 - s * s));
        float nx = u / radius, ny = v / radius;
        float lx = -0.45f, ly = -0.55f, lz = 0.70f;
        float diffuse = clamp01(nx * lx + ny * ly + nz * lz);
        float hz = lz + 1, hl = std::sqrt(lx * lx + ly * ly + hz * hz);
        float specular = std::pow(clamp01((nx * lx + ny * ly + nz * hz) / hl), 40.0f);
        float rim = std::pow(1 - nz, 3.0f);
        Colour c = mix(DEEP_TEAL, TEAL, diffuse) + AMBER * (rim * 0.9f) + WHITE * specular;
        if (r > radius)
            c = AMBER * 0.9f;   // the glow around the ball takes the rim's colour
        img.at(x, y) = clampColour(c);
        float ball = smoothstep(radius + 0.02f, radius - 0.02f, r);
        float glow = 0.3f * std::exp(-std::pow((r - radius) / 0.08f, 2.0f));
        mask->at(x, y) = clamp01(ball + glow) * edgeFade(r);
    });
    return true;
}

bool makeRing(Image& img, Plane* mask, std::string&)
{
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        float angle = std::atan2(v, u);
        float band = std::exp(-std::pow((r - 0.62f) / 0.11f, 2.0f));
        float inner = 0.14f * smoothstep(0.7f, 0.0f, r);
        mask->at(x, y) = clamp01((band + inner) * edgeFade(r));
        Colour c = mix(WHITE, AMBER, 0.5f + 0.5f * std::sin(2 * angle + 0.7f));
        c = mix(TEAL, c, smoothstep(0.35f, 0.6f, r));
        img.at(x, y) =
            clampColour(c * (0.7f + 0.3f * band) + WHITE * (std::pow(band, 8.0f) * 0.4f));
    });
    return true;
}

bool makeBubble(Image& img, Plane*, std::string&)
{
    forSprite(img, [&](int x, int y, float u, float v, float r) {
        float angle = std::atan2(v, u);
        float rim = std::exp(-std::pow((r - 0.82f) / 0.07f, 2.0f));
        float film = 0.10f * smoothstep(0.84f, 0.2f, r);
        float spot = std::exp(-(std::pow(u + 0.33f, 2.0f) + std::pow(v + 0.36f, 2.0f)) / 0.012f);
        float spot2 =
            0.4f * std::exp(-(std::pow(u - 0.38f, 2.0f) + std::pow(v - 0.4f, 2.0f)) / 0.004f);
        Colour sheen = hsv(angle / TAU + r * 1.5f, 0.55f, 1.0f);
        Colour c = sheen * (rim * 0.95f) + TEAL * film + WHITE * (spot + spot2);
        img.at(x, y) = clampColour(c * edgeFade(r));
    });
    return true;
}

bool makeCloudDot(Image& img, Plane*, std::string&)
{
    forSprite(img, [&](int x, int y, float, float, float r) {
        // Thousands of these are screen-blended over each other and then glowed: a small, dim
        // dot keeps the nested cloud from burning out to white.
        float value = std::exp(-r * r * 16) * 0.45f + 0.05f * std::pow(clamp01(1 - r), 2.0f);
        img.at(x, y) =
            clampColour(mix(WHITE, Colour{0.55f, 0.8f, 1.0f}, r) * (value * edgeFade(r)));
    });
    return true;
}

bool makeGlow(Image& img, Plane*, std::string&)
{
    forSprite(img, [&](int x, int y, float, float, float r) {
        // A small hot core in a wide halo: drawn huge, most of the sprite is halo.
        float value = 0.6f * std::exp(-r * r * 40) + 0.4f * std::exp(-r * r * 6) +
                      0.25f * std::pow(clamp01(1 - r), 2.0f);
        Colour c =
            mix(mix(WHITE, AMBER, smoothstep(0.0f, 0.35f, r)), EMBER, smoothstep(0.3f, 0.9f, r));
        img.at(x, y) = clampColour(c * (value * edgeFade(r)));
    });
    return true;
}

// --- Full-screen layers ----------------------------------------------------------------------

// Calls f(x, y, s, t) with s, t in 0..1 over the image.
template <typename F>
void forImage(Image& image, F f)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            f(x, y, float(x) / float(image.width), float(y) / float(image.height));
}

bool makeWarp1(Image& img, Plane*, std::string&)
{
    Noise noise(101);
    const std::vector<Colour> stops{INK, DEEP_TEAL, TEAL, WHITE, AMBER, EMBER, VIOLET, INK};
    forImage(img, [&](int x, int y, float s, float t) {
        // Domain warping: the noise is sampled where another noise field pushes it.
        float px = s * 4, py = t * 2;
        float qx = noise.fbm(px, py, 4, 2, 4), qy = noise.fbm(px + 5.2f, py + 1.3f, 4, 2, 4);
        float n = noise.fbm(px + 2.5f * qx, py + 2.5f * qy, 4, 2, 5);
        float m = noise.fbm(px * 2 + 1.7f, py * 2 + 9.2f, 8, 4, 3);
        Colour c = ramp(stops, clamp01((n - 0.25f) * 1.9f));
        img.at(x, y) = clampColour(c * (0.7f + 0.6f * m));
    });
    return true;
}

bool makeWarp2(Image& img, Plane*, std::string&)
{
    Noise noise(202);
    const std::vector<Colour> stops{INK,   VIOLET, Colour{0.2f, 0.35f, 0.85f}, TEAL, WHITE,
                                    AMBER, INK};
    forImage(img, [&](int x, int y, float s, float t) {
        float n = noise.fbm(s * 4, t * 2, 4, 2, 5);
        // Flowing contour bands of the noise field.
        float bands = 0.5f + 0.5f * std::sin(TAU * (n * 6 + t));
        float glow = std::pow(bands, 6.0f);
        Colour c = ramp(stops, clamp01(bands * 0.85f + (n - 0.5f) * 0.6f));
        img.at(x, y) = clampColour(c * (0.6f + 0.5f * bands) + WHITE * (glow * 0.25f));
    });
    return true;
}

// Grey technical structure: panels, rules, rings and dot grids on a tiling 8 × 8 cell layout.
bool makeBackdrop(Image& img, Plane*, std::string&)
{
    Noise noise(303);
    const int cellsPerSide = 8;
    const float cell = float(img.width) / float(cellsPerSide);
    forImage(img, [&](int x, int y, float s, float t) {
        float g = 0.06f + 0.06f * noise.fbm(s * 8, t * 8, 8, 8, 4);
        int cx = int(float(x) / cell), cy = int(float(y) / cell);
        float lx = float(x) - float(cx) * cell, ly = float(y) - float(cy) * cell;
        uint32_t kind = hash32(uint32_t(cx * 31 + cy * 7 + 1)) % 6;
        float border = std::min(std::min(lx, cell - 1 - lx), std::min(ly, cell - 1 - ly));
        g += 0.22f * smoothstep(1.5f, 0.0f, border);
        float mx = lx - cell * 0.5f, my = ly - cell * 0.5f, mr = std::hypot(mx, my);
        switch (kind) {
        case 0:   // ring with ticks
            g += 0.45f * smoothstep(1.6f, 0.4f, std::fabs(mr - cell * 0.32f));
            if (std::fabs(mr - cell * 0.4f) < 3 &&
                std::fmod(std::atan2(my, mx) + 10 * TAU, TAU / 24) < 0.08f)
                g += 0.4f;
            break;
        case 1:   // hatching
            g += 0.18f * smoothstep(0.9f, 0.2f, std::fabs(std::fmod(lx + ly, 8.0f) - 4));
            break;
        case 2:   // dot grid
            g += 0.5f * smoothstep(1.6f, 0.6f,
                                   std::hypot(std::fmod(lx, 8.0f) - 4, std::fmod(ly, 8.0f) - 4));
            break;
        case 3:   // filled panel with a bar
            g += 0.12f +
                 0.3f * float(ly > cell * 0.7f && ly < cell * 0.8f && lx > 8 && lx < cell - 8);
            break;
        case 4:   // cross
            g += 0.35f * smoothstep(1.2f, 0.2f, std::min(std::fabs(mx), std::fabs(my))) *
                 float(mr < cell * 0.3f);
            break;
        default: break;
        }
        img.at(x, y) = Colour{g, g, g * 1.04f};
    });
    return true;
}

// Light cells with darker walls and nuclei; multiplies the picture, so it stays mostly light.
bool makeTissue2(Image& img, Plane*, std::string&)
{
    Noise noise(404);
    forImage(img, [&](int x, int y, float s, float t) {
        Cells c = cells(s * 7, t * 7, 7, 0x7155u);
        float wall = smoothstep(0.10f, 0.0f, c.f2 - c.f1);
        float nucleus = smoothstep(0.16f, 0.1f, c.f1) * 0.6f;
        float grain = noise.fbm(s * 16, t * 16, 16, 16, 3);
        Colour cellTone = mix(Colour{0.97f, 0.93f, 0.86f}, Colour{0.86f, 0.93f, 0.95f},
                              float(hash32(c.id) & 255) / 255.0f);
        Colour wallTone{0.52f, 0.40f, 0.38f};
        Colour col = mix(cellTone, wallTone, wall * 0.85f);
        col = mix(col, Colour{0.7f, 0.6f, 0.62f}, nucleus);
        img.at(x, y) = clampColour(col * (0.92f + 0.1f * grain));
    });
    return true;
}

// Bright fibres on black; laid on with screen blending.
bool makeTissue1(Image& img, Plane*, std::string&)
{
    Noise noise(505);
    forImage(img, [&](int x, int y, float s, float t) {
        float warp = noise.fbm(s * 4, t * 4, 4, 4, 4);
        float fibre = std::pow(1 - std::fabs(std::sin(TAU * (t * 6 + warp * 2.5f))), 10.0f);
        float fine = std::pow(1 - std::fabs(std::sin(TAU * (t * 18 + warp * 5.0f + s * 1))), 16.0f);
        float tone = noise.fbm(s * 2 + 3, t * 2 + 7, 2, 2, 3);
        float pulse = noise.fbm(s * 8, t * 8, 8, 8, 2);
        Colour c = mix(TEAL, AMBER, smoothstep(0.35f, 0.65f, tone));
        img.at(x, y) = clampColour(c * (fibre * (0.4f + 0.8f * pulse) + fine * 0.35f) + INK);
    });
    return true;
}

// Soft horizontal light streaks; added faintly, and also laid on inverted as a darkening overlay.
bool makeLayerA(Image& img, Plane*, std::string&)
{
    Noise noise(606);
    forImage(img, [&](int x, int y, float s, float t) {
        float streak = noise.fbm(s * 2, t * 24, 2, 24, 4);
        float nebula = noise.fbm(s * 4, t * 4, 4, 4, 5);
        float v =
            std::pow(clamp01((streak - 0.35f) * 2.2f), 2.0f) * 0.8f + std::pow(nebula, 3.0f) * 0.5f;
        Colour c = mix(AMBER, WHITE, clamp01(v)) * v;
        img.at(x, y) = clampColour(c);
    });
    return true;
}

// Out-of-focus light discs, wrapping at the borders.
bool makeLayerB(Image& img, Plane*, std::string&)
{
    Rng rng(707);
    struct Disc {
        float x, y, r, b;
        Colour c;
    };
    std::vector<Disc> discs;
    for (int i = 0; i < 60; ++i) {
        Disc d;
        d.x = rng.unit();
        d.y = rng.unit();
        d.r = 0.015f + 0.11f * std::pow(rng.unit(), 2.0f);
        d.b = 0.25f + 0.75f * rng.unit();
        float pick = rng.unit();
        d.c = pick < 0.45f ? TEAL : pick < 0.8f ? AMBER : WHITE;
        discs.push_back(d);
    }
    forImage(img, [&](int x, int y, float s, float t) {
        Colour c{0, 0, 0};
        for (const Disc& d : discs) {
            float dx = std::fabs(s - d.x), dy = std::fabs(t - d.y);
            dx = std::min(dx, 1 - dx);
            dy = std::min(dy, 1 - dy);
            float r = std::hypot(dx, dy) / d.r;
            float disc = smoothstep(1.0f, 0.9f, r) * (0.55f + 0.45f * r * r);   // brighter rim
            c = c + d.c * (disc * d.b * 0.6f);
        }
        img.at(x, y) = clampColour(c);
    });
    return true;
}

// A light band that darkens towards the top and bottom; repeats horizontally.
bool makeBand(Image& img, Plane*, std::string&)
{
    Noise noise(808);
    forImage(img, [&](int x, int y, float s, float t) {
        float profile = smoothstep(0.0f, 0.3f, t) * smoothstep(1.0f, 0.7f, t);
        float streaks = noise.fbm(s * 2, t * 40, 2, 40, 3);
        float seam = smoothstep(2.0f, 0.0f, std::fabs(std::fmod(float(x), 64.0f) - 32)) *
                     (hash32(uint32_t(x / 64)) & 1 ? 0.25f : 0.0f);
        float v = 0.18f + 0.8f * profile * (0.8f + 0.25f * streaks) - seam * profile;
        img.at(x, y) = clampColour(Colour{v, v * 0.98f, v * 0.95f});
    });
    return true;
}

// Vignette with diagonal streaks, cool; multiplies the glowing swarm.
bool makeShade1(Image& img, Plane*, std::string&)
{
    Noise noise(909);
    forImage(img, [&](int x, int y, float s, float t) {
        float dx = (s - 0.5f) * 2, dy = (t - 0.5f) * 2;
        float vignette = 1 - 0.8f * smoothstep(0.45f, 1.45f, std::hypot(dx, dy * 0.9f));
        float n = noise.fbm(s * 4, t * 2, 4, 2, 3);
        float streak = std::pow(0.5f + 0.5f * std::sin(TAU * ((s * 2 + t) * 3 + n)), 6.0f);
        float v = vignette * (1 - 0.22f * streak);
        img.at(x, y) = clampColour(Colour{v * 0.94f, v * 0.98f, v});
    });
    return true;
}

// Stronger top and bottom vignette with horizontal streaks, warm; multiplies the fractal zoom.
bool makeShade2(Image& img, Plane*, std::string&)
{
    Noise noise(1010);
    forImage(img, [&](int x, int y, float s, float t) {
        float dx = (s - 0.5f) * 2, dy = (t - 0.5f) * 2;
        float vignette = (1 - 0.55f * smoothstep(0.5f, 1.5f, std::hypot(dx, dy))) *
                         (1 - 0.6f * smoothstep(0.55f, 1.0f, std::fabs(dy)));
        float streak = noise.fbm(s * 3, t * 24, 3, 24, 3);
        float v = vignette * (0.88f + 0.16f * streak);
        img.at(x, y) = clampColour(Colour{v, v * 0.93f, v * 0.82f});
    });
    return true;
}

// --- Text ------------------------------------------------------------------------------------

const char* SANS = "DejaVuSans.ttf";
const char* SANS_BOLD = "DejaVuSans-Bold.ttf";
const char* SANS_LIGHT = "DejaVuSans-ExtraLight.ttf";

// A caption: one word low on the left (or high on the right), a scene number above it and a
// thin rule. Colour is light text inside a dark halo; the mask covers both.
Maker caption(const char* word, const char* number, bool right)
{
    return [=](Image& img, Plane* mask, std::string& error) {
        int w = img.width, h = img.height;
        Plane text(w, h), rule(w, h);
        TextStyle big{SANS_LIGHT, float(h) * 0.16f, CAPTION_ASPECT_FIX, 1.0f, 6.0f};
        TextStyle small{SANS_BOLD, float(h) * 0.045f, CAPTION_ASPECT_FIX, 1.0f, 3.0f};
        float wordWidth = textWidth(big, word);
        float left = right ? float(w) * 0.93f - wordWidth : float(w) * 0.07f;
        float baseline = right ? float(h) * 0.30f : float(h) * 0.86f;
        if (!drawText(text, big, word, left + wordWidth * 0.5f, baseline, error))
            return false;
        float numberWidth = textWidth(small, number);
        float numberY = baseline - big.pixelSize * 0.95f;
        if (!drawText(text, small, number, left + numberWidth * 0.5f + 4, numberY, error))
            return false;
        float ruleY = numberY - small.pixelSize * 0.35f;
        float ruleX0 = left + numberWidth + 24, ruleX1 = left + wordWidth;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float d = segmentDistance(float(x), float(y), ruleX0, ruleY, ruleX1, ruleY);
                rule.at(x, y) = smoothstep(1.6f, 0.4f, d);
            }
        Plane halo = text;
        blurPlane(halo, float(h) * 0.012f, false);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float tv = text.at(x, y), rv = rule.at(x, y) * 0.8f;
                float ink = std::max(tv, rv);
                float a = clamp01(std::max(ink, halo.at(x, y) * 1.2f * 0.55f));
                mask->at(x, y) = a;
                Colour lit = rv > tv ? TEAL : WHITE;
                img.at(x, y) = clampColour(mix(INK, lit, a > 0 ? clamp01(ink / a) : 0.0f));
            }
        return true;
    };
}

// The makers' logo on mid-grey: alpha comes from the distance to grey, so white letters with a
// dark shadow show and the grey ground vanishes.
bool makeLogo(Image& img, Plane*, std::string& error)
{
    int w = img.width, h = img.height;
    Plane text(w, h), shadow(w, h);
    TextStyle style{SANS_BOLD, float(h) * 0.52f, 1.0f, 1.0f, float(h) * 0.05f};
    float baseline = float(h) * 0.70f;
    if (!drawText(text, style, "Droblin", float(w) * 0.5f, baseline, error))
        return false;
    if (!drawText(shadow, style, "Droblin", float(w) * 0.5f + 6, baseline + 6, error))
        return false;
    blurPlane(shadow, 3.0f, false);
    float barY = float(h) * 0.82f, barHalf = textWidth(style, "Droblin") * 0.5f;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float bar = smoothstep(2.5f, 1.0f,
                                   segmentDistance(float(x), float(y), float(w) * 0.5f - barHalf,
                                                   barY, float(w) * 0.5f + barHalf, barY));
            float grey = 128.0f / 255.0f;
            float v = grey * (1 - shadow.at(x, y) * 0.9f);   // shadow darkens the grey
            v = v + (1 - v) * std::max(text.at(x, y), bar);
            img.at(x, y) = Colour{v, v, v};
        }
    return true;
}

// The title on black: alpha comes from brightness, so the glow around the letters fades out.
bool makeTitle(Image& img, Plane*, std::string& error)
{
    int w = img.width, h = img.height;
    Plane text(w, h);
    TextStyle style{SANS_LIGHT, float(h) * 0.55f, 1.0f, 1.0f, float(h) * 0.08f};
    if (!drawText(text, style, "Orvanti", float(w) * 0.5f, float(h) * 0.68f, error))
        return false;
    Plane glow = text, wide = text;
    blurPlane(glow, 4.0f, false);
    blurPlane(wide, 14.0f, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float s = float(x) / float(w);
            Colour tint = mix(TEAL, AMBER, smoothstep(0.2f, 0.8f, s));
            Colour c = WHITE * text.at(x, y) + tint * (glow.at(x, y) * 1.2f + wide.at(x, y) * 0.9f);
            img.at(x, y) = clampColour(c);
        }
    return true;
}

// The scrolling credits: shown at a square aspect, top and bottom rows empty (the pass clamps).
bool makeCredits(Image& img, Plane* mask, std::string& error)
{
    int w = img.width, h = img.height;
    Plane text(w, h), accent(w, h);
    struct Line {
        const char* text;
        const char* font;
        float size;
        bool teal;
        float gap;
    };
    const Line lines[] = {
        {"Orvanti", SANS_LIGHT, 96, false, 0},
        {"a real-time show by Droblin", SANS, 34, true, 70},
        {"code", SANS_BOLD, 22, true, 150},
        {"Droblin", SANS, 36, false, 44},
        {"images and music", SANS_BOLD, 22, true, 90},
        {"generated by our own tools", SANS, 36, false, 44},
        {"made with", SANS_BOLD, 22, true, 90},
        {"C++20  \xC2\xB7  OpenGL 1.1  \xC2\xB7  SDL2", SANS, 32, false, 44},
        {"libvorbis  \xC2\xB7  libjpeg  \xC2\xB7  FreeType  \xC2\xB7  DejaVu", SANS, 32, false, 42},
        {"thanks", SANS_BOLD, 22, true, 90},
        {"to everyone watching", SANS, 36, false, 44},
    };
    float y = 170;
    for (const Line& line : lines) {
        y += line.gap;
        TextStyle style{line.font, line.size, 1.0f, 1.0f, line.font == SANS_BOLD ? 6.0f : 1.0f};
        if (!drawText(line.teal ? accent : text, style, line.text, float(w) * 0.5f, y, error))
            return false;
    }
    Plane halo = text;
    for (size_t i = 0; i < halo.v.size(); ++i)
        halo.v[i] = std::max(halo.v[i], accent.v[i]);
    blurPlane(halo, 5.0f, false);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            float tv = text.at(px, py), av = accent.at(px, py);
            float ink = std::max(tv, av);
            float a = clamp01(std::max(ink, halo.at(px, py) * 0.6f));
            mask->at(px, py) = a;
            Colour lit = av > tv ? TEAL : WHITE;
            img.at(px, py) = clampColour(mix(INK, lit, a > 0 ? clamp01(ink / a) : 0.0f));
        }
    return true;
}

// The overlay's font: white monospaced glyphs inside a dark halo (so they read over any picture),
// one per cell of the data list's grid; the mask covers glyph and halo. Each cell keeps a clear
// border two texels wide, so that neither filtering nor the JPEG's ringing pulls in a neighbour.
bool makeFont(Image& img, Plane* mask, std::string& error)
{
    int w = img.width, h = img.height;
    int cellWidth = w / FONT_COLUMNS, cellHeight = h / FONT_ROWS;
    Plane text(w, h);
    TextStyle style{"DejaVuSansMono.ttf", float(cellHeight) * 0.65f, 1.0f, 1.0f, 0.0f};
    for (int code = 33; code < 127; ++code) {
        float cx = (float(code % FONT_COLUMNS) + 0.5f) * float(cellWidth);
        float baseline = (float(code / FONT_COLUMNS) + 0.7f) * float(cellHeight);
        if (!drawText(text, style, std::string(1, char(code)), cx, baseline, error))
            return false;
    }
    Plane halo = text;
    blurPlane(halo, float(cellHeight) * 0.04f, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int cx = x % cellWidth, cy = y % cellHeight;
            bool border = cx < 2 || cx >= cellWidth - 2 || cy < 2 || cy >= cellHeight - 2;
            float ink = border ? 0.0f : text.at(x, y);
            float a = border ? 0.0f : clamp01(std::max(ink, halo.at(x, y) * 2.5f));
            mask->at(x, y) = a;
            img.at(x, y) = mix(INK, WHITE, a > 0 ? clamp01(ink / a) : 0.0f);
        }
    return true;
}

const std::vector<Job>& jobs()
{
    static const std::vector<Job> table = {
        {"spiral.jpg", makeSpiral},
        {"sprite_star.jpg", makeStar},
        {"sprite_flare.jpg", makeFlare},
        {"sprite_facet.jpg", makeFacet},
        {"sprite_orb.jpg", makeOrb},
        {"cloud_dot.jpg", makeCloudDot},
        {"sprite_ring.jpg", makeRing},
        {"bubble.jpg", makeBubble},
        {"glow.jpg", makeGlow},
        {"warp1.jpg", makeWarp1},
        {"warp2.jpg", makeWarp2},
        {"backdrop.jpg", makeBackdrop},
        {"tissue2.jpg", makeTissue2},
        {"tissue1.jpg", makeTissue1},
        {"layer_a.jpg", makeLayerA},
        {"layer_b.jpg", makeLayerB},
        {"band.jpg", makeBand},
        {"caption_cluster.jpg", caption("cluster", "09", false)},
        {"caption_drift.jpg", caption("drift", "02", false)},
        {"caption_iterate.jpg", caption("iterate", "07", true)},
        {"caption_growth.jpg", caption("growth", "05", false)},
        {"shade1.jpg", makeShade1},
        {"shade2.jpg", makeShade2},
        {"caption_return.jpg", caption("return", "10", true)},
        {"caption_within.jpg", caption("within", "11", false)},
        {"logo.jpg", makeLogo},
        {"title.jpg", makeTitle},
        {"credits.jpg", makeCredits},
        {"font.jpg", makeFont},
    };
    return table;
}

// The maker of a listed file; nullptr when there is none.
const Maker* makerOf(const DataImage& file)
{
    for (const Job& job : jobs())
        if (std::strcmp(job.name.name, file.name) == 0)
            return &job.make;
    return nullptr;
}

bool writeOne(const std::string& dir, const DataImage& file, const Maker& make, std::string& error)
{
    Image colour(file.width, file.height);
    Plane mask(file.width, file.height);
    if (!make(colour, file.mask ? &mask : nullptr, error))
        return false;
    if (!writeJpeg(dir + "/" + file.name, colour, error))
        return false;
    if (file.mask && !writeJpeg(dir + "/" + file.mask, planeToImage(mask), error))
        return false;
    return true;
}

// One icon: the spiral with alpha from its brightness (as the show blends it) over a disc of ink,
// so that it reads on light panels and dark ones alike. Drawn at ICON_OVERSAMPLE times the size
// and averaged down (premultiplied), so that the small sizes keep smooth edges.
constexpr int ICON_OVERSAMPLE = 4;

std::vector<uint8_t> iconPixels(int size)
{
    const int n = ICON_OVERSAMPLE;
    Image art(size * n, size * n);
    std::string unused;
    makeSpiral(art, nullptr, unused);
    std::vector<float> sum(size_t(size) * size_t(size) * 4, 0.0f);
    forSprite(art, [&](int x, int y, float, float, float r) {
        Colour c = art.at(x, y);
        float a = std::max({c.r, c.g, c.b});
        float disc = smoothstep(0.97f, 0.93f, r) * (1 - a);
        float* out = &sum[(size_t(y / n) * size_t(size) + size_t(x / n)) * 4];
        out[0] += c.r + INK.r * disc;
        out[1] += c.g + INK.g * disc;
        out[2] += c.b + INK.b * disc;
        out[3] += a + disc;
    });
    std::vector<uint8_t> rgba(sum.size());
    for (size_t i = 0; i < sum.size(); i += 4) {
        float a = sum[i + 3] / float(n * n);
        for (size_t k = 0; k < 3; ++k)
            rgba[i + k] = uint8_t(std::lround(a > 0 ? clamp01(sum[i + k] / sum[i + 3]) * 255 : 0));
        rgba[i + 3] = uint8_t(std::lround(clamp01(a) * 255));
    }
    return rgba;
}

}   // namespace

bool writeIcons(const std::string& dir, std::string& error)
{
    for (int size : ICON_SIZES) {
        std::string sized = std::to_string(size);
        std::filesystem::path apps = std::filesystem::path(dir) / (sized + "x" + sized) / "apps";
        std::error_code ec;
        std::filesystem::create_directories(apps, ec);
        if (ec) {
            error = apps.string() + ": cannot create the directory (" + ec.message() + ")";
            return false;
        }
        if (!writePng((apps / "orvanti.png").string(), size, size, iconPixels(size), error))
            return false;
    }
    return true;
}

bool writeImages(const std::string& dir, int threads, std::string& error)
{
    // Every listed file needs a maker, and every maker a listed file (the names are checked
    // against the list when this compiles).
    const Maker* makers[DATA_IMAGE_COUNT];
    for (size_t i = 0; i < DATA_IMAGE_COUNT; ++i)
        if (!(makers[i] = makerOf(DATA_IMAGES[i]))) {
            error = std::string(DATA_IMAGES[i].name) +
                    ": the generator has no maker for this data file";
            return false;
        }
    if (jobs().size() != DATA_IMAGE_COUNT) {
        error = "the generator has makers for files that are not in the data list";
        return false;
    }
    std::atomic<size_t> next{0};
    std::mutex lock;
    std::string firstError;
    auto worker = [&] {
        for (size_t i; (i = next++) < DATA_IMAGE_COUNT;) {
            std::string e;
            if (!writeOne(dir, DATA_IMAGES[i], *makers[i], e)) {
                std::lock_guard<std::mutex> guard(lock);
                if (firstError.empty())
                    firstError = e;
            }
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i)
        pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool)
        t.join();
    error = firstError;
    return firstError.empty();
}

}   // namespace datagen
