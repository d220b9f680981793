// Interface animation and drawing: easing, the bracketing keys, and what lands
// in the frame buffer, read back pixel by pixel from a real GL context.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "gl_fixture.h"
#include "ife/ife.h"
#include "support/mem.h"

namespace {

// One-layer interface drawing the given texture, with keys filled by the caller.
struct one_layer {
    ife_interface record{};
    explicit one_layer(int32_t keys, uint8_t blend, GLuint texture)
    {
        record.layercount = 1;
        record.layers = mem_array<ife_layer>(1, "test layers");
        record.layers[0].keycount = keys;
        record.layers[0].blend = blend;
        record.layers[0].texture = texture;
        record.layers[0].keys = mem_array<ife_keys>(keys, "test keys");
    }
    ~one_layer()
    {
        mem_free_array(record.layers[0].keys);
        mem_free_array(record.layers);
    }
    ife_keys& key(int i) { return record.layers[0].keys[i]; }
};

ife_keys key_at(int32_t frame, float x, float y, float w, float h, float alpha = 255, uint8_t mode = 0)
{
    return ife_keys{frame, x, y, mode, 0, w, h, 255, 255, 255, alpha};
}

// A nearest-filtered texture from rows of RGBA pixels, row 0 first.
GLuint make_texture(int w, int h, const std::vector<uint32_t>& pixels)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return name;
}

GLuint white_texture()
{
    return make_texture(1, 1, {0xFFFFFFFFu});
}

bool is_white(gl_rgba p) { return p.r > 250 && p.g > 250 && p.b > 250; }
bool is_black(gl_rgba p) { return p.r < 5 && p.g < 5 && p.b < 5; }

class IfeDraw : public gl_test {};

}  // namespace

TEST(IfeInterpolate, ModesAtHalfWayAndEnds)
{
    EXPECT_FLOAT_EQ(IFE_INTERPOLATE(0, 0, 100, 0.5f), 50.0f);
    EXPECT_NEAR(IFE_INTERPOLATE(1, 0, 100, 0.5f), 70.7107f, 1e-3);
    EXPECT_NEAR(IFE_INTERPOLATE(2, 0, 100, 0.5f), 29.2893f, 1e-3);
    EXPECT_FLOAT_EQ(IFE_INTERPOLATE(7, 0, 100, 0.5f), 50.0f);  // unknown modes are linear
    for (uint8_t mode : {0, 1, 2}) {
        EXPECT_NEAR(IFE_INTERPOLATE(mode, 3, 9, 0), 3.0f, 1e-5);
        EXPECT_NEAR(IFE_INTERPOLATE(mode, 3, 9, 1), 9.0f, 1e-5);
    }
    EXPECT_FLOAT_EQ(IFE_INTERPOLATE(0, 100, 0, 0.25f), 75.0f);
}

TEST(IfeInterpolate, BracketingKeys)
{
    one_layer l(3, 0, 0);
    l.key(0).frame = 10;
    l.key(1).frame = 20;
    l.key(2).frame = 30;
    int32_t a = -1, b = -1;
    ife_bracket(l.record.layers[0], 5, a, b);
    EXPECT_EQ(a, 0); EXPECT_EQ(b, 0);
    ife_bracket(l.record.layers[0], 40, a, b);
    EXPECT_EQ(a, 2); EXPECT_EQ(b, 2);
    ife_bracket(l.record.layers[0], 20, a, b);
    EXPECT_EQ(a, 1); EXPECT_EQ(b, 1);
    ife_bracket(l.record.layers[0], 12.5f, a, b);
    EXPECT_EQ(a, 0); EXPECT_EQ(b, 1);
    l.key(1).frame = 10;  // two keys at one frame: they cross there
    ife_bracket(l.record.layers[0], 10, a, b);
    EXPECT_EQ(a, 1); EXPECT_EQ(b, 0);
}

TEST_F(IfeDraw, FullScreenLayerFillsTheFrameAndLeavesItsState)
{
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_ALPHA_TEST);
    one_layer l(1, 0, white_texture());
    l.key(0) = key_at(0, 512, 384, 1024, 768);
    IFE_DRAW(l.record, 3.0f);
    EXPECT_TRUE(is_white(gl_read_pixel(0, 0)));
    EXPECT_TRUE(is_white(gl_read_pixel(639, 479)));
    EXPECT_TRUE(is_white(gl_read_pixel(0, 479)));
    EXPECT_EQ(gl_distinct_colours(), 1);
    for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_CULL_FACE, GL_BLEND})
        EXPECT_FALSE(gl_enabled(cap)) << cap;
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_EQ(gl_get_int(GL_MATRIX_MODE), GL_PROJECTION);
    EXPECT_EQ(static_cast<GLuint>(gl_get_int(GL_TEXTURE_BINDING_2D)), l.record.layers[0].texture);
}

TEST_F(IfeDraw, TextureShowsUprightAndUnmirrored)
{
    // Row 0: red, green; row 1: blue, white (ABGR words, little-endian RGBA).
    GLuint tex = make_texture(2, 2, {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu});
    one_layer l(1, 0, tex);
    l.key(0) = key_at(0, 512, 384, 1024, 768);
    IFE_DRAW(l.record, 0);
    gl_rgba top_left = gl_read_pixel(10, 470), top_right = gl_read_pixel(630, 470);
    gl_rgba bottom_left = gl_read_pixel(10, 10), bottom_right = gl_read_pixel(630, 10);
    EXPECT_GT(top_left.r, 250); EXPECT_LT(top_left.g, 5);
    EXPECT_GT(top_right.g, 250); EXPECT_LT(top_right.r, 5);
    EXPECT_GT(bottom_left.b, 250); EXPECT_LT(bottom_left.r, 5);
    EXPECT_TRUE(is_white(bottom_right));
}

TEST_F(IfeDraw, AlphaAndBlendModes)
{
    one_layer l(1, 2, white_texture());
    l.key(0) = key_at(0, 512, 384, 1024, 768, 0);
    IFE_DRAW(l.record, 0);
    EXPECT_TRUE(is_black(gl_read_pixel(320, 240)));  // alpha 0, alpha blending: invisible
    l.record.layers[0].blend = 0;
    IFE_DRAW(l.record, 0);
    EXPECT_TRUE(is_white(gl_read_pixel(320, 240)));  // no blending: opaque whatever the alpha

    glClear(GL_COLOR_BUFFER_BIT);
    l.key(0) = key_at(0, 512, 384, 1024, 768, 255);
    l.key(0).red = 128, l.key(0).green = 0, l.key(0).blue = 64;
    l.record.layers[0].blend = 1;
    IFE_DRAW(l.record, 0);
    IFE_DRAW(l.record, 0);  // additive: twice the colour
    gl_rgba p = gl_read_pixel(320, 240);
    EXPECT_NEAR(p.r, 255, 2);
    EXPECT_NEAR(p.b, 128, 2);
    EXPECT_EQ(gl_get_int(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(gl_get_int(GL_BLEND_DST), GL_ONE);
    l.record.layers[0].blend = 9;  // unknown: blending stays as it is
    IFE_DRAW(l.record, 0);
    EXPECT_TRUE(gl_enabled(GL_BLEND));
    EXPECT_EQ(gl_get_int(GL_BLEND_SRC), GL_ONE);
}

TEST_F(IfeDraw, MovingRotatedLayersAndScrubbingBackwards)
{
    // 100 x 100 square moving from x 100 to x 900 over frames 0..100.
    one_layer l(2, 0, white_texture());
    l.key(0) = key_at(0, 100, 384, 100, 100);
    l.key(1) = key_at(100, 900, 384, 100, 100);
    l.key(1).mode = 2;  // the later key's mode plays no part
    IFE_DRAW(l.record, 50);
    EXPECT_TRUE(is_white(gl_read_pixel(312, 240)));   // x 500 -> pixel 312.5
    EXPECT_TRUE(is_black(gl_read_pixel(62, 240)));
    glClear(GL_COLOR_BUFFER_BIT);
    IFE_DRAW(l.record, 0);  // backwards
    EXPECT_TRUE(is_white(gl_read_pixel(62, 240)));
    EXPECT_TRUE(is_black(gl_read_pixel(312, 240)));
    glClear(GL_COLOR_BUFFER_BIT);
    IFE_DRAW(l.record, 500);  // past the last key: the last key's values
    EXPECT_TRUE(is_white(gl_read_pixel(562, 240)));

    // A 400 x 20 bar turned by 90 degrees stands upright.
    glClear(GL_COLOR_BUFFER_BIT);
    l.key(0) = key_at(0, 512, 384, 400, 20);
    l.key(0).angle = 90;
    l.record.layers[0].keycount = 1;
    IFE_DRAW(l.record, 0);
    EXPECT_TRUE(is_white(gl_read_pixel(320, 240 + 100)));
    EXPECT_TRUE(is_black(gl_read_pixel(320 + 100, 240)));
    l.record.layers[0].keycount = 2;
}

TEST_F(IfeDraw, LayersWithoutKeysAndEmptyInterfacesDrawNothing)
{
    one_layer l(0, 0, white_texture());
    IFE_DRAW(l.record, 0);
    EXPECT_EQ(gl_distinct_colours(), 1);
    EXPECT_TRUE(is_black(gl_read_pixel(320, 240)));
    ife_interface empty{};
    glEnable(GL_DEPTH_TEST);
    IFE_DRAW(empty, 0);
    EXPECT_FALSE(gl_enabled(GL_DEPTH_TEST));
    EXPECT_TRUE(is_black(gl_read_pixel(320, 240)));
}

// A bar with a red left half and a green right half, turned by 30 degrees
// about its centre (512, 384): counter-clockwise, the green end rises to the
// right. Clockwise, or with the halves swapped, the colours land elsewhere.
TEST_F(IfeDraw, RotationIsCounterClockwise)
{
    GLuint tex = make_texture(2, 1, {0xFF0000FFu, 0xFF00FF00u});
    one_layer l(1, 0, tex);
    l.key(0) = key_at(0, 512, 384, 400, 40);
    l.key(0).angle = 30;
    IFE_DRAW(l.record, 0);
    auto window = [](double x, double y) { return gl_read_pixel(int(x * 0.625), int(y * 0.625)); };
    const double c = std::cos(M_PI / 6) * 150, s = std::sin(M_PI / 6) * 150;
    gl_rgba up_right = window(512 + c, 384 + s), down_left = window(512 - c, 384 - s);
    EXPECT_GT(up_right.g, 250);
    EXPECT_LT(up_right.r, 5);
    EXPECT_GT(down_left.r, 250);
    EXPECT_LT(down_left.g, 5);
    EXPECT_TRUE(is_black(window(512 + c, 384 - s)));  // where a clockwise turn would put it
    EXPECT_TRUE(is_black(window(512 - c, 384 + s)));
}

// Each layer starts from identity texture and model-view matrices: whatever a
// 3D render left there (a tiled or scrolled texture matrix) does not reach it.
TEST_F(IfeDraw, EachLayerResetsTheTextureAndModelViewMatrices)
{
    GLuint tex = make_texture(2, 1, {0xFF0000FFu, 0xFF00FF00u});
    one_layer l(1, 0, tex);
    l.key(0) = key_at(0, 512, 384, 1024, 768);
    glMatrixMode(GL_TEXTURE);
    glTranslatef(0.5f, 0, 0);  // would swap the halves
    glScalef(3, 1, 1);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.5f, 0.5f, 0);  // would move the layer off by a quarter of the window
    IFE_DRAW(l.record, 0);
    gl_rgba left = gl_read_pixel(100, 240), right = gl_read_pixel(540, 240);
    EXPECT_GT(left.r, 250);
    EXPECT_LT(left.g, 5);
    EXPECT_GT(right.g, 250);
    EXPECT_LT(right.r, 5);
    EXPECT_FALSE(is_black(gl_read_pixel(5, 5)));  // the whole window is covered
    GLfloat m[16];
    glGetFloatv(GL_TEXTURE_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 1.0f);
    EXPECT_FLOAT_EQ(m[12], 0.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_FLOAT_EQ(m[12], 0.0f);
}

// Blend 3 is (1 - alpha) source + alpha destination; blend 4 is source x
// source + (1 - source) x destination, over a (0.2, 0.4, 0.8) background.
TEST_F(IfeDraw, InvertedAlphaAndColourBlendModes)
{
    one_layer l(1, 3, white_texture());
    l.key(0) = key_at(0, 512, 384, 1024, 768, 64);
    l.key(0).red = 255, l.key(0).green = 128, l.key(0).blue = 0;
    const float a = 64 / 255.0f, g = 128 / 255.0f;
    const float bg[3] = {0.2f, 0.4f, 0.8f};
    struct { uint8_t blend; GLenum src, dst; float r, g, b; } modes[] = {
        {3, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, (1 - a) + a * bg[0], (1 - a) * g + a * bg[1], a * bg[2]},
        {4, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, 1.0f, g * g + (1 - g) * bg[1], bg[2]},
    };
    for (auto& m : modes) {
        glClearColor(bg[0], bg[1], bg[2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
        l.record.layers[0].blend = m.blend;
        IFE_DRAW(l.record, 0);
        gl_rgba p = gl_read_pixel(320, 240);
        EXPECT_NEAR(p.r, m.r * 255, 3) << int(m.blend);
        EXPECT_NEAR(p.g, m.g * 255, 3) << int(m.blend);
        EXPECT_NEAR(p.b, m.b * 255, 3) << int(m.blend);
        EXPECT_TRUE(gl_enabled(GL_BLEND));
        EXPECT_EQ(gl_get_int(GL_BLEND_SRC), static_cast<GLint>(m.src));
        EXPECT_EQ(gl_get_int(GL_BLEND_DST), static_cast<GLint>(m.dst));
    }
    glClearColor(0, 0, 0, 0);
}
