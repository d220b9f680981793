// shell/font.h - the built-in 4 x 6 pixel font and its text drawing.
//
// The font is a 288-byte bitmap compiled into the program: a sheet of 16 x 6
// glyph cells for the codes 32..127, each 4 pixels wide and 6 high, least
// significant bit leftmost. At start-up it becomes a 64 x 64 luminance texture
// (nearest filtering, no mipmaps), so that at 640 x 480 every texel lands on
// one screen pixel. Text is drawn one textured quad per character in
// normalised device coordinates, either raw or on a 160 x 80 character grid,
// so the text follows the picture (the viewport) at every size: a glyph is
// 4 x 6 pixels at 480 lines and 9 x 13.5 at 1080, always at the picture's
// top-left for the benchmark line, never in the bars.
//
// The text operations set no GL state: the caller binds FONT_TEXTURE, enables
// texturing and blending, sets the colour and loads identity matrices first.
#pragma once

#include <cstdint>
#include <string>

constexpr int FONT_BITMAP_SIZE = 288;
extern const uint8_t FONT_BITMAP[FONT_BITMAP_SIZE];

// 255 when bit `bit` of FONT_BITMAP[position] is set, else 0.
uint8_t FONT_PIXEL(int32_t position, int32_t bit);
// Builds the 64 x 64 texture from FONT_BITMAP; returns its GL name.
uint32_t font_build_texture();
// One glyph; codes outside 32..127 draw the blank (space) cell.
void TEXT_CHAR(unsigned char character, bool raw, float x, float y);
// One glyph per character of the text (the first 255 count).
void TEXT_WRITE(const std::string& text, bool raw, float x, float y);
// Decimal form with a leading minus for negative values.
std::string INT_TO_STR(int32_t value);
