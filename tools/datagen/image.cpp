#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <png.h>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace datagen {

Colour operator+(Colour a, Colour b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Colour operator*(Colour a, float k)
{
    return {a.r * k, a.g * k, a.b * k};
}
Colour mix(Colour a, Colour b, float t)
{
    return a * (1.0f - t) + b * t;
}

static uint8_t toByte(float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return uint8_t(std::lround(v * 255.0f));
}

bool writeJpeg(const std::string& path, const Image& image, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = path + ": cannot open for writing";
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(image.width);
    cinfo.image_height = JDIMENSION(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, JPEG_QUALITY, TRUE);
    for (int c = 0; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(image.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = int(cinfo.next_scanline);
        for (int x = 0; x < image.width; ++x) {
            const Colour& c = image.at(x, y);
            row[size_t(x) * 3 + 0] = toByte(c.r);
            row[size_t(x) * 3 + 1] = toByte(c.g);
            row[size_t(x) * 3 + 2] = toByte(c.b);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    bool ok = std::fflush(file) == 0;
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        error = path + ": write failed";
    return ok;
}

bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba,
              std::string& error)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(width);
    png.height = png_uint_32(height);
    png.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        error = path + ": " + png.message;
        return false;
    }
    return true;
}

Image planeToImage(const Plane& plane)
{
    Image image(plane.width, plane.height);
    for (size_t i = 0; i < plane.v.size(); ++i)
        image.px[i] = {plane.v[i], plane.v[i], plane.v[i]};
    return image;
}

static void blurLine(const float* in, float* out, int n, int stride, const std::vector<float>& k,
                     bool tile)
{
    int r = int(k.size() / 2);
    for (int i = 0; i < n; ++i) {
        float sum = 0;
        for (int j = -r; j <= r; ++j) {
            int p = i + j;
            if (tile)
                p = ((p % n) + n) % n;
            else if (p < 0 || p >= n)
                continue;
            sum += in[size_t(p) * size_t(stride)] * k[size_t(j + r)];
        }
        out[i] = sum;
    }
}

void blurPlane(Plane& plane, float sigma, bool tile)
{
    int r = std::max(1, int(std::ceil(sigma * 3.0f)));
    std::vector<float> k(size_t(2 * r + 1));
    float total = 0;
    for (int i = -r; i <= r; ++i)
        total += k[size_t(i + r)] = std::exp(-0.5f * float(i * i) / (sigma * sigma));
    for (float& w : k)
        w /= total;
    std::vector<float> line(size_t(std::max(plane.width, plane.height)));
    for (int y = 0; y < plane.height; ++y) {
        blurLine(&plane.at(0, y), line.data(), plane.width, 1, k, tile);
        std::copy(line.begin(), line.begin() + plane.width, &plane.at(0, y));
    }
    for (int x = 0; x < plane.width; ++x) {
        blurLine(&plane.at(x, 0), line.data(), plane.height, plane.width, k, tile);
        for (int y = 0; y < plane.height; ++y)
            plane.at(x, y) = line[size_t(y)];
    }
}

Noise::Noise(uint32_t seed)
{
    Rng rng(seed);
    for (int i = 0; i < 256; ++i)
        perm_[i] = uint8_t(i);
    for (int i = 255; i > 0; --i)
        std::swap(perm_[i], perm_[rng.next() % uint32_t(i + 1)]);
    for (int i = 0; i < 256; ++i)
        perm_[256 + i] = perm_[i];
}

static int wrapIndex(int v, int period)
{
    return (((v % period) + period) % period) & 255;
}

float Noise::value(float x, float y, int periodX, int periodY) const
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    auto h = [&](int a, int b) {
        return float(perm_[perm_[wrapIndex(a, periodX)] + wrapIndex(b, periodY)]) / 255.0f;
    };
    float a = h(ix, iy), b = h(ix + 1, iy), c = h(ix, iy + 1), d = h(ix + 1, iy + 1);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float Noise::fbm(float x, float y, int periodX, int periodY, int octaves, float gain) const
{
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        // Each octave is shifted so that lattice points of different octaves do not line up.
        sum += value(x + 17.3f * float(o), y + 9.1f * float(o), periodX, periodY) * amp;
        norm += amp;
        amp *= gain;
        x *= 2;
        y *= 2;
        periodX *= 2;
        periodY *= 2;
    }
    return sum / norm;
}

uint32_t hash32(uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

static float hashUnit(uint32_t v)
{
    return float(hash32(v) >> 8) / 16777216.0f;
}

Cells cells(float x, float y, int period, uint32_t seed)
{
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    Cells out;
    out.f1 = out.f2 = 1e9f;
    for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i) {
            int cx = ix + i, cy = iy + j;
            uint32_t key = hash32(seed ^ hash32(uint32_t(wrapIndex(cx, period)) * 73856093U ^
                                                uint32_t(wrapIndex(cy, period)) * 19349663U));
            float px = float(cx) + 0.1f + 0.8f * hashUnit(key);
            float py = float(cy) + 0.1f + 0.8f * hashUnit(key + 1);
            float d = std::hypot(x - px, y - py);
            if (d < out.f1) {
                out.f2 = out.f1;
                out.f1 = d;
                out.dx = x - px;
                out.dy = y - py;
                out.id = key;
            } else if (d < out.f2) {
                out.f2 = d;
            }
        }
    return out;
}

float clamp01(float v)
{
    return std::clamp(v, 0.0f, 1.0f);
}

float smoothstep(float edge0, float edge1, float x)
{
    float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

Colour hsv(float h, float s, float v)
{
    h = (h - std::floor(h)) * 6.0f;
    auto channel = [&](float offset) {
        float k = std::fmod(offset + h, 6.0f);
        return v - v * s * clamp01(std::min(k, 4.0f - k));
    };
    return {channel(5), channel(3), channel(1)};
}

Colour ramp(const std::vector<Colour>& stops, float t)
{
    float p = clamp01(t) * float(stops.size() - 1);
    size_t i = std::min(size_t(p), stops.size() - 2);
    return mix(stops[i], stops[i + 1], p - float(i));
}

float segmentDistance(float px, float py, float ax, float ay, float bx, float by)
{
    float vx = bx - ax, vy = by - ay;
    float len2 = vx * vx + vy * vy;
    float t = len2 > 0 ? clamp01(((px - ax) * vx + (py - ay) * vy) / len2) : 0.0f;
    return std::hypot(px - ax - t * vx, py - ay - t * vy);
}

void blurImage(Image& image, float sigma, bool tile)
{
    Plane channel(image.width, image.height);
    for (int c = 0; c < 3; ++c) {
        auto get = [c](Colour& px) -> float& { return c == 0 ? px.r : c == 1 ? px.g : px.b; };
        for (size_t i = 0; i < image.px.size(); ++i)
            channel.v[i] = get(image.px[i]);
        blurPlane(channel, sigma, tile);
        for (size_t i = 0; i < image.px.size(); ++i)
            get(image.px[i]) = channel.v[i];
    }
}

std::string fontPath(const std::string& file)
{
    return "/usr/share/fonts/truetype/dejavu/" + file;
}

// Decodes UTF-8 into code points (the captions use Latin text with a few accented letters).
static std::vector<uint32_t> codePoints(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra)
            cp = c & (0x3F >> extra);
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
        out.push_back(cp);
    }
    return out;
}

namespace {
struct FreeTypeFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~FreeTypeFace()
    {
        if (face)
            FT_Done_Face(face);
        if (library)
            FT_Done_FreeType(library);
    }
    bool open(const TextStyle& style, std::string& error)
    {
        if (FT_Init_FreeType(&library)) {
            error = "FreeType cannot start";
            return false;
        }
        std::string path = fontPath(style.font);
        if (FT_New_Face(library, path.c_str(), 0, &face)) {
            error = path + ": cannot load font";
            return false;
        }
        // Separate character width and height scale outlines, advances and kerning alike.
        FT_Set_Char_Size(face, FT_F26Dot6(std::lround(style.pixelSize * style.xScale * 64.0f)),
                         FT_F26Dot6(std::lround(style.pixelSize * style.yScale * 64.0f)), 72, 72);
        return true;
    }
};

// Walks the glyphs; calls draw for each rendered bitmap at its pen position (26.6 units).
template <typename F>
float layout(FreeTypeFace& ft, const TextStyle& style, const std::string& text, F draw)
{
    float pen = 0;
    FT_UInt previous = 0;
    bool kerning = FT_HAS_KERNING(ft.face);
    for (uint32_t cp : codePoints(text)) {
        FT_UInt index = FT_Get_Char_Index(ft.face, cp);
        if (kerning && previous && index) {
            FT_Vector delta;
            FT_Get_Kerning(ft.face, previous, index, FT_KERNING_DEFAULT, &delta);
            pen += float(delta.x) / 64.0f;
        }
        if (FT_Load_Glyph(ft.face, index, FT_LOAD_RENDER | FT_LOAD_NO_HINTING))
            continue;
        draw(ft.face->glyph, pen);
        pen += float(ft.face->glyph->advance.x) / 64.0f + style.tracking;
        previous = index;
    }
    return pen - style.tracking;
}
}   // namespace

float textWidth(const TextStyle& style, const std::string& utf8)
{
    FreeTypeFace ft;
    std::string error;
    if (!ft.open(style, error))
        return 0;
    return layout(ft, style, utf8, [](FT_GlyphSlot, float) {});
}

bool drawText(Plane& plane, const TextStyle& style, const std::string& utf8, float cx,
              float baseline, std::string& error)
{
    FreeTypeFace ft;
    if (!ft.open(style, error))
        return false;
    float width = layout(ft, style, utf8, [](FT_GlyphSlot, float) {});
    float left = std::round(cx - width * 0.5f);
    int base = int(std::lround(baseline));
    layout(ft, style, utf8, [&](FT_GlyphSlot g, float pen) {
        const FT_Bitmap& bm = g->bitmap;
        int x0 = int(std::lround(left + pen)) + g->bitmap_left;
        int y0 = base - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col) {
                int x = x0 + int(col), y = y0 + int(row);
                if (x < 0 || y < 0 || x >= plane.width || y >= plane.height)
                    continue;
                float v = float(bm.buffer[int(row) * bm.pitch + int(col)]) / 255.0f;
                plane.at(x, y) = std::max(plane.at(x, y), v);
            }
    });
    return true;
}

}   // namespace datagen
