// tools/mkdata/image.h - painting 256 x 256 textures for the default production.
//
// An mk_image is a 256 x 256 canvas of float RGBA pixels that the generator
// paints with a few primitives (fills, gradients, discs, rings, lines, value
// noise) and with text set in a TrueType font, then writes as the headerless
// .raw file the texture manager reads: RGB (196608 bytes) when the texture
// has no use for alpha, RGBA (262144 bytes) when it has. Row 0 of the canvas
// is the first row of the file, which is the top of an interface layer.
//
// Value noise is hashed from integer lattice points and a seed, so painting
// needs no shared random state and is the same on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mkdata/mkdata.h"

constexpr int MK_TEX = 256;

struct mk_rgba {
    float r, g, b, a;
};

struct mk_image {
    std::vector<mk_rgba> px = std::vector<mk_rgba>(MK_TEX * MK_TEX, mk_rgba{0, 0, 0, 0});
    mk_rgba& at(int x, int y) { return px[static_cast<size_t>(y) * MK_TEX + x]; }
};

// Blends colour c over pixel (x, y) with coverage k (0..1), alpha compositing.
void img_blend(mk_image& img, int x, int y, mk_rgba c, float k);
void img_fill(mk_image& img, mk_rgba c);
// Vertical gradient from top colour to bottom colour.
void img_vgradient(mk_image& img, mk_rgba top, mk_rgba bottom);
// Anti-aliased disc and ring (centre, radius, ring thickness), blended over.
void img_disc(mk_image& img, float cx, float cy, float r, mk_rgba c);
void img_ring(mk_image& img, float cx, float cy, float r, float thick, mk_rgba c);
// Soft glow: c with coverage (1 - d / r)^power inside radius r.
void img_glow(mk_image& img, float cx, float cy, float r, float power, mk_rgba c);
// Anti-aliased line segment of the given width.
void img_line(mk_image& img, float x0, float y0, float x1, float y1, float width, mk_rgba c);
// Axis-aligned rectangle (pixel units), blended over.
void img_rect(mk_image& img, float x0, float y0, float x1, float y1, mk_rgba c);

// Value noise in 0..1 at (x, y) with the given lattice period (tileable over
// 256 pixels when 256 is a multiple of the period); fbm sums octaves.
float img_noise(float x, float y, int period, uint64_t seed);
float img_fbm(float x, float y, int period, int octaves, uint64_t seed);
// Hash of integers to 0..1, the noise's building block.
float img_hash01(int64_t x, int64_t y, uint64_t seed);

// One line of text for img_text.
struct mk_text_line {
    std::string text;
    float       size;       // glyph height in texels (before the aspect squeeze)
    mk_rgba     colour;
    bool        bold = true;
};
// Sets the lines centred on the canvas, one under the other. aspect is the
// width / height of the rectangle the texture will be drawn on: glyphs are
// squeezed horizontally by 1 / aspect so that they look right once stretched.
// Lines wider than the canvas are scaled down to fit.
void img_text(mk_image& img, const std::vector<mk_text_line>& lines, float aspect,
              float glow = 0.0f);

// Writes the canvas as name (with ".raw" in the output folder): RGB (flattened
// over black) or RGBA. premultiply stores colour times alpha, so that a layer
// drawn additively adds nothing where the texture is transparent.
void img_save(const mk_context& ctx, const mk_image& img, const std::string& name, bool alpha,
              bool premultiply = false);
