// Float images, JPEG output, noise and text for the data generator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datagen {

struct Colour {
    float r = 0, g = 0, b = 0;
};

Colour operator+(Colour a, Colour b);
Colour operator*(Colour a, float k);
Colour mix(Colour a, Colour b, float t);

// An RGB image with channels in 0..1, top row first.
struct Image {
    int width = 0, height = 0;
    std::vector<Colour> px;
    Image(int w, int h)
        : width(w)
        , height(h)
        , px(size_t(w) * size_t(h))
    {
    }
    Colour& at(int x, int y) { return px[size_t(y) * size_t(width) + size_t(x)]; }
    const Colour& at(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

// A one-channel coverage image (masks, glyphs), 0..1.
struct Plane {
    int width = 0, height = 0;
    std::vector<float> v;
    Plane(int w, int h)
        : width(w)
        , height(h)
        , v(size_t(w) * size_t(h), 0.0f)
    {
    }
    float& at(int x, int y) { return v[size_t(y) * size_t(width) + size_t(x)]; }
    float at(int x, int y) const { return v[size_t(y) * size_t(width) + size_t(x)]; }
};

constexpr int JPEG_QUALITY = 95;

// Baseline three-component JPEG, no chroma subsampling. Returns false with a reason.
bool writeJpeg(const std::string& path, const Image& image, std::string& error);
Image planeToImage(const Plane& plane);
// 8-bit RGBA PNG (straight alpha, top row first). Returns false with a reason.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string& error);

// Gaussian blur in place (separable, wrapping when tile is set, else zero outside).
void blurPlane(Plane& plane, float sigma, bool tile);

// Value noise on a lattice that repeats every periodX by periodY cells, so that an image
// sampling one period in each direction tiles seamlessly.
class Noise {
public:
    explicit Noise(uint32_t seed);
    float value(float x, float y, int periodX, int periodY) const;   // 0..1
    // Octaves double the frequency and the periods; the result stays in 0..1.
    float fbm(float x, float y, int periodX, int periodY, int octaves, float gain = 0.5f) const;

private:
    uint8_t perm_[512];
};

// Cellular noise over a tiling grid of jittered points (period cells in each direction).
struct Cells {
    float f1 = 0, f2 = 0;   // distances to the nearest and second nearest point, in cells
    float dx = 0, dy = 0;   // offset from the nearest point to the sample
    uint32_t id = 0;        // a hash of the nearest point's cell
};
Cells cells(float x, float y, int period, uint32_t seed);

uint32_t hash32(uint32_t v);
float clamp01(float v);
float smoothstep(float edge0, float edge1, float x);
Colour hsv(float h, float s, float v);
// Piecewise linear colour ramp over evenly spaced stops, t in 0..1.
Colour ramp(const std::vector<Colour>& stops, float t);
// Distance from p to the segment a..b.
float segmentDistance(float px, float py, float ax, float ay, float bx, float by);
void blurImage(Image& image, float sigma, bool tile);

// A small deterministic generator for the data set (independent of the show's own).
class Rng {
public:
    explicit Rng(uint32_t seed)
        : s_(seed ? seed : 1)
    {
    }
    uint32_t next()
    {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    float unit() { return float(next() >> 8) / 16777216.0f; }   // [0, 1)
    float signedUnit() { return unit() * 2.0f - 1.0f; }

private:
    uint32_t s_;
};

// Text through FreeType. Draws the string centred on cx with its baseline at baseline, into
// the coverage plane (max with what is there). xScale and yScale stretch the glyphs, for images
// that are shown at another aspect than they are stored. Returns false with a reason.
struct TextStyle {
    std::string font;   // file under the DejaVu folder, e.g. "DejaVuSans-Bold.ttf"
    float pixelSize = 32;
    float xScale = 1.0f;   // > 1 widens the glyphs, for images shown squeezed horizontally
    float yScale = 1.0f;
    float tracking = 0.0f;   // extra advance per glyph in pixels
};
bool drawText(Plane& plane, const TextStyle& style, const std::string& utf8, float cx,
              float baseline, std::string& error);
// Width of the string in pixels in that style.
float textWidth(const TextStyle& style, const std::string& utf8);

std::string fontPath(const std::string& file);

}   // namespace datagen
