// tests/common/gl_fixture.h - a real GL context for tests, off screen.
//
// One 640 x 480 double-buffered RGBA context with 24 depth and 8 stencil bits,
// opened once per test process through SDL's offscreen driver (EGL, Mesa
// llvmpipe) and kept current for every test. gl_test resets the state a test is
// likely to touch, so tests do not leak into each other.
#pragma once

#include <GL/gl.h>
#include <array>
#include <cstdint>
#include <gtest/gtest.h>

// Opens the shared context on first use; fails the test when it cannot.
void gl_test_context_require();

struct gl_rgba {
    uint8_t r, g, b, a;
};

// Pixel at window coordinates (x, y), y up from the bottom row.
gl_rgba gl_read_pixel(int x, int y);
// Pixel as floats 0..1.
std::array<float, 4> gl_read_pixel_f(int x, int y);
GLint  gl_get_int(GLenum what);
float  gl_get_float(GLenum what);
bool   gl_enabled(GLenum what);
// Number of distinct colours in the whole 640 x 480 frame.
int    gl_distinct_colours();
// Stencil value at (x, y).
int    gl_read_stencil(int x, int y);

class gl_test : public ::testing::Test {
protected:
    void SetUp() override;
};
