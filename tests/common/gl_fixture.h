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

// Leaves the pixel store and transfer as a careless caller might: alignment 8,
// row length 7, image height 5, skips 1 to 3, swapped bytes, LSB first, for
// pack and unpack alike, the red scale at 0.5, and a pixel pack and a pixel
// unpack buffer bound. Read-backs and uploads of the engine must give the
// same result as from GL's defaults.
void gl_pixel_store_scramble();
// GL's initial pixel store and transfer (alignment 4, everything else 0 or
// off, no pixel buffer bound).
void gl_pixel_store_defaults();

class gl_test : public ::testing::Test {
protected:
    void SetUp() override;
};
