// tests/common/rgb_image.h - pictures as RGB bytes, for tests that look at them.
//
// PNG files written by the programs and screenshots of an X server come in
// as one record, top row first, so that a test can ask what a region of the
// picture holds (its brightest value, say) wherever the picture came from.
// The picture `kestrel render` draws of a scene is one call away, since many
// tests want to look at a scene file as its users would see it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct rgb_image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;  // top row first, three bytes a pixel
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
};

// A PNG file's pixels; an empty record when it cannot be read.
rgb_image rgb_image_read(const std::string& png);
// The picture `kestrel render` draws of the scene at a frame, written to png
// and read back; a failed run is a test failure and gives an empty record.
rgb_image rgb_image_render(const std::string& scene, const std::string& png, int frame = 0);
// The brightest channel value in [x0, x1) x [y0, y1).
int rgb_image_brightest(const rgb_image& img, int x0, int y0, int x1, int y1);
