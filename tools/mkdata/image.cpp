// tools/mkdata/image.cpp - the texture canvas: shapes, noise, text and .raw output.
//
// Shapes are anti-aliased by coverage from the signed distance to their edge
// (one texel of feathering), which is all a 256 x 256 texture needs. Text is
// rasterised glyph by glyph with stb_truetype from the DejaVu fonts of the
// fonts-dejavu-core package into a coverage mask; a blurred copy of the mask
// can lay a dark halo under the letters so they read on any background; then
// the mask is composited in the line's colour. Pixels are floats until img_save
// rounds them to bytes, so repeated blending does not band.
#include "tools/mkdata/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>

#include "support/atomic_file.h"
#include "support/error.h"

// --- module state ----------------------------------------------------------------
static const char* IMG_FONT_BOLD    = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
static const char* IMG_FONT_REGULAR = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

struct img_font {
    std::vector<unsigned char> data;
    stbtt_fontinfo             info{};
    bool                       ready = false;
};
static img_font IMG_BOLD, IMG_REGULAR;

// --- internal helpers --------------------------------------------------------------
static float img_clamp01(float v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

static img_font& img_font_get(bool bold)
{
    img_font& f = bold ? IMG_BOLD : IMG_REGULAR;
    if (f.ready)
        return f;
    const char* path = bold ? IMG_FONT_BOLD : IMG_FONT_REGULAR;
    FILE* file = std::fopen(path, "rb");
    if (!file)
        fatal_raise(std::string(path) + ": font not found (install fonts-dejavu-core)");
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0)
        f.data.insert(f.data.end(), buf, buf + n);
    std::fclose(file);
    if (!stbtt_InitFont(&f.info, f.data.data(), stbtt_GetFontOffsetForIndex(f.data.data(), 0)))
        fatal_raise(std::string(path) + ": not a TrueType font");
    f.ready = true;
    return f;
}

// Width of a text in unscaled font units (advances plus kerning).
static float img_text_units(const stbtt_fontinfo& info, const std::string& text)
{
    float w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&info, static_cast<unsigned char>(text[i]), &adv, &lsb);
        w += adv;
        if (i + 1 < text.size())
            w += stbtt_GetCodepointKernAdvance(&info, static_cast<unsigned char>(text[i]),
                                               static_cast<unsigned char>(text[i + 1]));
    }
    return w;
}

// Rasterises one line into mask (coverage 0..1) with its baseline at y.
static void img_text_line(std::vector<float>& mask, const img_font& font, const std::string& text,
                          float sx, float sy, float x, float baseline)
{
    for (size_t i = 0; i < text.size(); ++i) {
        int cp = static_cast<unsigned char>(text[i]);
        float fx = x - std::floor(x);
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBoxSubpixel(&font.info, cp, sx, sy, fx, 0, &x0, &y0, &x1, &y1);
        int w = x1 - x0, h = y1 - y0;
        if (w > 0 && h > 0) {
            std::vector<unsigned char> glyph(static_cast<size_t>(w) * h);
            stbtt_MakeCodepointBitmapSubpixel(&font.info, glyph.data(), w, h, w, sx, sy, fx, 0, cp);
            int ox = static_cast<int>(std::floor(x)) + x0, oy = static_cast<int>(std::lround(baseline)) + y0;
            for (int gy = 0; gy < h; ++gy)
                for (int gx = 0; gx < w; ++gx) {
                    int px = ox + gx, py = oy + gy;
                    if (px < 0 || py < 0 || px >= MK_TEX || py >= MK_TEX)
                        continue;
                    float& m = mask[static_cast<size_t>(py) * MK_TEX + px];
                    m = std::max(m, glyph[static_cast<size_t>(gy) * w + gx] / 255.0f);
                }
        }
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&font.info, cp, &adv, &lsb);
        x += adv * sx;
        if (i + 1 < text.size())
            x += sx * stbtt_GetCodepointKernAdvance(&font.info, cp, static_cast<unsigned char>(text[i + 1]));
    }
}

// Separable box blur of a mask, radius r, repeated twice (close to a Gaussian).
static std::vector<float> img_blur(const std::vector<float>& src, int r)
{
    std::vector<float> a = src, b(src.size());
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < MK_TEX; ++y)
            for (int x = 0; x < MK_TEX; ++x) {
                float s = 0;
                for (int k = -r; k <= r; ++k)
                    s += a[static_cast<size_t>(y) * MK_TEX + std::clamp(x + k, 0, MK_TEX - 1)];
                b[static_cast<size_t>(y) * MK_TEX + x] = s / (2 * r + 1);
            }
        for (int y = 0; y < MK_TEX; ++y)
            for (int x = 0; x < MK_TEX; ++x) {
                float s = 0;
                for (int k = -r; k <= r; ++k)
                    s += b[static_cast<size_t>(std::clamp(y + k, 0, MK_TEX - 1)) * MK_TEX + x];
                a[static_cast<size_t>(y) * MK_TEX + x] = s / (2 * r + 1);
            }
    }
    return a;
}

// --- public functions ------------------------------------------------------------
void img_blend(mk_image& img, int x, int y, mk_rgba c, float k)
{
    if (x < 0 || y < 0 || x >= MK_TEX || y >= MK_TEX)
        return;
    float a = img_clamp01(c.a * k);
    if (a <= 0)
        return;
    mk_rgba& d = img.at(x, y);
    float out_a = a + d.a * (1 - a);
    if (out_a <= 0)
        return;
    d.r = (c.r * a + d.r * d.a * (1 - a)) / out_a;
    d.g = (c.g * a + d.g * d.a * (1 - a)) / out_a;
    d.b = (c.b * a + d.b * d.a * (1 - a)) / out_a;
    d.a = out_a;
}

void img_fill(mk_image& img, mk_rgba c)
{
    std::fill(img.px.begin(), img.px.end(), c);
}

void img_vgradient(mk_image& img, mk_rgba top, mk_rgba bottom)
{
    for (int y = 0; y < MK_TEX; ++y) {
        float t = y / float(MK_TEX - 1);
        mk_rgba c{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                  top.b + (bottom.b - top.b) * t, top.a + (bottom.a - top.a) * t};
        for (int x = 0; x < MK_TEX; ++x)
            img.at(x, y) = c;
    }
}

void img_disc(mk_image& img, float cx, float cy, float r, mk_rgba c)
{
    int x0 = std::max(0, int(cx - r - 2)), x1 = std::min(MK_TEX - 1, int(cx + r + 2));
    int y0 = std::max(0, int(cy - r - 2)), y1 = std::min(MK_TEX - 1, int(cy + r + 2));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            img_blend(img, x, y, c, img_clamp01(r - d + 0.5f));
        }
}

void img_ring(mk_image& img, float cx, float cy, float r, float thick, mk_rgba c)
{
    int x0 = std::max(0, int(cx - r - thick - 2)), x1 = std::min(MK_TEX - 1, int(cx + r + thick + 2));
    int y0 = std::max(0, int(cy - r - thick - 2)), y1 = std::min(MK_TEX - 1, int(cy + r + thick + 2));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::fabs(std::hypot(x + 0.5f - cx, y + 0.5f - cy) - r);
            img_blend(img, x, y, c, img_clamp01(thick / 2 - d + 0.5f));
        }
}

void img_glow(mk_image& img, float cx, float cy, float r, float power, mk_rgba c)
{
    int x0 = std::max(0, int(cx - r - 1)), x1 = std::min(MK_TEX - 1, int(cx + r + 1));
    int y0 = std::max(0, int(cy - r - 1)), y1 = std::min(MK_TEX - 1, int(cy + r + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) / r;
            if (d < 1)
                img_blend(img, x, y, c, std::pow(1 - d, power));
        }
}

void img_line(mk_image& img, float x0, float y0, float x1, float y1, float width, mk_rgba c)
{
    int bx0 = std::max(0, int(std::min(x0, x1) - width - 2)), bx1 = std::min(MK_TEX - 1, int(std::max(x0, x1) + width + 2));
    int by0 = std::max(0, int(std::min(y0, y1) - width - 2)), by1 = std::min(MK_TEX - 1, int(std::max(y0, y1) + width + 2));
    float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int y = by0; y <= by1; ++y)
        for (int x = bx0; x <= bx1; ++x) {
            float px = x + 0.5f - x0, py = y + 0.5f - y0;
            float t = len2 > 0 ? img_clamp01((px * dx + py * dy) / len2) : 0;
            float d = std::hypot(px - t * dx, py - t * dy);
            img_blend(img, x, y, c, img_clamp01(width / 2 - d + 0.5f));
        }
}

void img_rect(mk_image& img, float x0, float y0, float x1, float y1, mk_rgba c)
{
    for (int y = std::max(0, int(y0)); y < std::min(MK_TEX, int(std::ceil(y1))); ++y)
        for (int x = std::max(0, int(x0)); x < std::min(MK_TEX, int(std::ceil(x1))); ++x) {
            float kx = img_clamp01(std::min(x + 1 - x0, x1 - x));
            float ky = img_clamp01(std::min(y + 1 - y0, y1 - y));
            img_blend(img, x, y, c, kx * ky);
        }
}

float img_hash01(int64_t x, int64_t y, uint64_t seed)
{
    uint64_t h = seed ^ (static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull) ^
                 (static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full);
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 32;
    return static_cast<float>(h & 0xFFFFFF) / float(0x1000000);
}

float img_noise(float x, float y, int period, uint64_t seed)
{
    float fx = x / period, fy = y / period;
    int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    float tx = fx - ix, ty = fy - iy;
    int cells = std::max(1, MK_TEX / period);
    auto h = [&](int a, int b) {
        return img_hash01(((a % cells) + cells) % cells, ((b % cells) + cells) % cells, seed);
    };
    float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    float top = h(ix, iy) + (h(ix + 1, iy) - h(ix, iy)) * sx;
    float bot = h(ix, iy + 1) + (h(ix + 1, iy + 1) - h(ix, iy + 1)) * sx;
    return top + (bot - top) * sy;
}

float img_fbm(float x, float y, int period, int octaves, uint64_t seed)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves && period >= 1; ++o) {
        sum += amp * img_noise(x, y, period, seed + o * 7919);
        norm += amp;
        amp *= 0.5f;
        period /= 2;
    }
    return norm > 0 ? sum / norm : 0;
}

void img_text(mk_image& img, const std::vector<mk_text_line>& lines, float aspect, float glow)
{
    // Lay the lines out: height of each line is its size times 1.25.
    float total = 0;
    for (const mk_text_line& l : lines)
        total += l.size * 1.25f;
    float y = (MK_TEX - total) / 2;
    for (const mk_text_line& l : lines) {
        const img_font& font = img_font_get(l.bold);
        float sy = stbtt_ScaleForPixelHeight(&font.info, l.size);
        float sx = sy / aspect;
        float width = img_text_units(font.info, l.text) * sx;
        float fit = width > MK_TEX - 8 ? (MK_TEX - 8) / width : 1.0f;
        sx *= fit;
        sy *= fit;
        width *= fit;
        int ascent, descent, gap;
        stbtt_GetFontVMetrics(&font.info, &ascent, &descent, &gap);
        float line_h = l.size * 1.25f;
        float baseline = y + (line_h + (ascent + descent) * sy) / 2;  // centred in its line
        std::vector<float> mask(MK_TEX * MK_TEX, 0.0f);
        img_text_line(mask, font, l.text, sx, sy, (MK_TEX - width) / 2, baseline);
        if (glow > 0) {
            std::vector<float> halo = img_blur(mask, static_cast<int>(glow));
            for (size_t i = 0; i < mask.size(); ++i)
                img_blend(img, int(i % MK_TEX), int(i / MK_TEX), mk_rgba{0, 0, 0, 0.75f}, img_clamp01(halo[i] * 3.0f));
        }
        for (size_t i = 0; i < mask.size(); ++i)
            img_blend(img, int(i % MK_TEX), int(i / MK_TEX), l.colour, mask[i]);
        y += line_h;
    }
}

void img_save(const mk_context& ctx, const mk_image& img, const std::string& name, bool alpha, bool premultiply)
{
    int ch = alpha ? 4 : 3;
    std::vector<uint8_t> bytes(static_cast<size_t>(MK_TEX) * MK_TEX * ch);
    for (size_t i = 0; i < img.px.size(); ++i) {
        const mk_rgba& p = img.px[i];
        float v[4] = {p.r, p.g, p.b, p.a};
        if (!alpha || premultiply) {  // flatten over black, or premultiply
            v[0] *= p.a;
            v[1] *= p.a;
            v[2] *= p.a;
        }
        for (int c = 0; c < ch; ++c)
            bytes[i * ch + c] = static_cast<uint8_t>(std::lround(img_clamp01(v[c]) * 255.0f));
    }
    atomic_file file(mk_path(ctx, name));
    file.write(bytes.data(), bytes.size());
    file.commit();
}
