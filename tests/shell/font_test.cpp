// The built-in font (bitmap, texture, glyph placement), INT_TO_STR and the
// starfield, against the font sheet as drawn by hand and real GL read-back.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cmath>
#include <vector>

#include "gl_fixture.h"
#include "shell/font.h"
#include "shell/starfield.h"
#include "support/random.h"

namespace {

// The 64 x 36 sheet, row 0 at the top, "X" a set pixel.
const char* const FONT_SHEET[36] = {
    "......X..X.X.X.X..X..X....X..XX...X..X...X.X...................X",
    "......X..X.X.XXX..XX...X.X.X.X...X....X...X...X................X",
    "......X......X.X.XX...X...XX.....X....X..XXX.XXX.....XXX......X.",
    ".............XXX..XX.X...X.X.....X....X...X...X..............X..",
    "......X......X.X.XX....X.XXX......X..X...X.X.....XX.......X..X..",
    "..................X..............................X..............",
    "..XX..X..XX..XX....X.XXX..X..XXX..X...X............X.....X...XX.",
    ".X.X.XX....X...X.X.X.X...X.....X.X.X.X.X..........X.......X....X",
    ".X.X..X...X...X..XXX.XX..XX...XX..X...XX..X...X..X...XXX...X..X.",
    ".X.X..X..X.....X...X...X.X.X..X..X.X...X..........X.......X.....",
    ".XX..XXX.XXX.XX....X.XX...X...X...X...X...X..XX....X.XXX.X....X.",
    ".............................................X..................",
    ".XXX..X..XX...XX.XX..XXX.XXX..XX.X.X.XXX...X.X.X.X...X.X.X.X..X.",
    ".X.X.X.X.X.X.X...X.X.X...X...X...X.X..X....X.X.X.X...XXX.XXX.X.X",
    ".X.X.XXX.XX..X...X.X.XX..XX..X.X.XXX..X....X.XX..X...XXX.X.X.X.X",
    ".X...X.X.X.X.X...X.X.X...X...X.X.X.X..X..X.X.X.X.X...X.X.X.X.X.X",
    ".XXX.X.X.XX...XX.XX..XXX.X....XX.X.X.XXX..X..X.X.XXX.X.X.X.X..X.",
    "................................................................",
    ".XX...X..XX...XX.XXX.X.X.X.X.X.X.X.X.X.X.XXX.XX..X...XX...X.....",
    ".X.X.X.X.X.X.X....X..X.X.X.X.X.X.X.X.X.X...X.X...X....X..X.X....",
    ".XX..X.X.XX..XXX..X..X.X.X.X.XXX..X...X...X..X....X...X.........",
    ".X...XXX.X.X...X..X..X.X.X.X.XXX.X.X..X..X...X.....X..X.........",
    ".X....XX.X.X.XX...X..XXX..X..X.X.X.X..X..XXX.XX....X.XX.........",
    "............................................................XXXX",
    ".XX......X.........X.......X.....X....X...X..X....X.............",
    "..X......X.........X......X......X...........X....X.............",
    "......XX.XX...XX..XX.XXX.XXX.XXX.XX...X...X..X.X..X..XXX.XX...X.",
    ".....X.X.X.X.X...X.X.XX...X..X.X.X.X..X...X..XX...X..XXX.X.X.X.X",
    ".....XXX.XX...XX..XX..XX..X....X.X.X..X...X..X.X..X..X.X.X.X..X.",
    ".............................XXX.........XX.....................",
    "..............................................XX..X..XX.....XXXX",
    "..................X...........................X...X...X.....XXXX",
    ".XX...XX.XX...XX.XXX.X.X.X.X.X.X.X.X.X.X.XX..XX...X...XX....XXXX",
    ".X.X.X.X.X....X...X..X.X.X.X.XXX..X..X.X..X...X...X...X.....XXXX",
    ".XX...XX.X...XX...XX.XXX..X..XXX.X.X..X...XX..XX..X..XX.....XXXX",
    ".X.....X.............................X......................XXXX",
};

class Font : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        if (texture == 0)
            texture = font_build_texture();
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture);
        glColor3f(1, 1, 1);
    }
    static GLuint texture;
};
GLuint Font::texture = 0;

bool lit(int x, int y) { return gl_read_pixel(x, y).r > 200; }

}  // namespace

TEST(FontBitmap, MatchesTheSheetBitByBit)
{
    for (int row = 0; row < 36; ++row)
        for (int col = 0; col < 64; ++col) {
            int position = row * 8 + col / 8, bit = col % 8;
            uint8_t expected = FONT_SHEET[row][col] == 'X' ? 255 : 0;
            ASSERT_EQ(FONT_PIXEL(position, bit), expected) << "row " << row << " column " << col;
        }
    EXPECT_EQ(FONT_PIXEL(-1, 0), 0);
    EXPECT_EQ(FONT_PIXEL(288, 0), 0);
}

TEST(IntToStr, DecimalForms)
{
    EXPECT_EQ(INT_TO_STR(0), "0");
    EXPECT_EQ(INT_TO_STR(-5), "-5");
    EXPECT_EQ(INT_TO_STR(1234), "1234");
    EXPECT_EQ(INT_TO_STR(INT32_MIN), "-2147483648");
}

TEST_F(Font, TextureHoldsTheSheetAsLuminance)
{
    std::vector<uint8_t> pixels(64 * 64);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels.data());
    for (int row = 0; row < 36; ++row)
        for (int col = 0; col < 64; ++col)
            ASSERT_EQ(pixels[row * 64 + col], FONT_SHEET[row][col] == 'X' ? 255 : 0) << row << "," << col;
    GLint w = 0, mag = 0, wrap = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(mag, GL_NEAREST);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
}

TEST_F(Font, GridGlyphsSitOnFourBySixCellsFromTheTopLeft)
{
    TEXT_WRITE("\x7f\x7f", false, 0, 0);  // code 127 is a solid 4 x 6 block
    for (int x = 0; x < 8; ++x) {
        EXPECT_TRUE(lit(x, 479)) << x;
        EXPECT_TRUE(lit(x, 474)) << x;
        EXPECT_FALSE(lit(x, 473)) << x;
    }
    EXPECT_FALSE(lit(8, 479));

    glClear(GL_COLOR_BUFFER_BIT);
    TEXT_WRITE("\x7f", false, 10, 2);  // column 10, row 2: pixels 40..43, rows 12..17 from the top
    EXPECT_TRUE(lit(40, 479 - 12));
    EXPECT_TRUE(lit(43, 479 - 17));
    EXPECT_FALSE(lit(39, 479 - 12));
    EXPECT_FALSE(lit(40, 479 - 11));

    glClear(GL_COLOR_BUFFER_BIT);
    TEXT_WRITE("\x7f\x7f", true, -1, 1);  // raw advance 0.01: the glyphs overlap
    EXPECT_TRUE(lit(6, 479));
    EXPECT_FALSE(lit(7, 479));
    glClear(GL_COLOR_BUFFER_BIT);
    TEXT_WRITE("", false, 0, 0);
    EXPECT_EQ(gl_distinct_colours(), 1);
}

TEST_F(Font, CodesOutsideTheSheetDrawTheBlankCell)
{
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    TEXT_CHAR(10, false, 0, 0);
    TEXT_CHAR(200, false, 1, 0);
    gl_rgba p = gl_read_pixel(1, 477), q = gl_read_pixel(5, 477), r = gl_read_pixel(9, 477);
    EXPECT_LT(p.r, 5);    // the quad was drawn, with the space glyph
    EXPECT_LT(q.r, 5);
    EXPECT_GT(r.r, 250);  // beyond the two cells the clear colour stays
    glClearColor(0, 0, 0, 0);
}

TEST(Starfield, RangesAndReproducibleDrawOrder)
{
    random_seed(42);
    starfield_fill();
    for (const TStar& s : STARS) {
        ASSERT_GE(s.X, -5000); ASSERT_LE(s.X, 4999);
        ASSERT_GE(s.Y, -5000); ASSERT_LE(s.Y, 4999);
        ASSERT_GE(s.Z, -2000); ASSERT_LE(s.Z, 1999);
        ASSERT_GE(s.BRIGHTNESS, 0.5f); ASSERT_LE(s.BRIGHTNESS, 1.48f + 1e-6f);
        float steps = (s.BRIGHTNESS - 0.5f) * 50;
        ASSERT_NEAR(steps, std::round(steps), 1e-3);
    }
    TStar first = STARS[0], last = STARS[STAR_COUNT - 1];
    random_seed(42);
    EXPECT_EQ(static_cast<float>(static_cast<int>(random_int(10000)) - 5000), first.X);
    EXPECT_EQ(static_cast<float>(static_cast<int>(random_int(10000)) - 5000), first.Y);
    EXPECT_EQ(static_cast<float>(static_cast<int>(random_int(4000)) - 2000), first.Z);
    random_seed(42);
    starfield_fill();
    EXPECT_EQ(STARS[STAR_COUNT - 1].X, last.X);
    EXPECT_EQ(STARS[STAR_COUNT - 1].BRIGHTNESS, last.BRIGHTNESS);
}
