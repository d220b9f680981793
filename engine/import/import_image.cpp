// engine/import/import_image.cpp - texture images for the importer and the exporter.
//
// The texture manager reads headerless 256 x 256 RGB or RGBA files whose first
// row is the row at texture coordinate t = 0. Assimp hands texture coordinates
// over with t = 0 at the bottom of the image, and decoders give the top row
// first, so an imported image is resized to 256 x 256 (stb's resampler, which
// filters properly when shrinking) and flipped on the way in; the exporter
// flips back before encoding a PNG. Images with an alpha channel keep it (RGBA,
// 32 bits); all others become RGB. stb is compiled here with static linkage so
// that it cannot clash with other copies in the program.
#include <algorithm>
#include <cstring>
#include <string>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "engine/import/import.h"

namespace {

constexpr int image_side = 256;

void image_flip_rows(std::vector<uint8_t>& pixels, int channels)
{
    const size_t row = static_cast<size_t>(image_side) * channels;
    std::vector<uint8_t> tmp(row);
    for (int y = 0; y < image_side / 2; ++y) {
        uint8_t* a = &pixels[row * y];
        uint8_t* b = &pixels[row * (image_side - 1 - y)];
        std::memcpy(tmp.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, tmp.data(), row);
    }
}

void image_collect(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

}  // namespace

void kst_import_resize_image(const uint8_t* pixels, int width, int height, int channels,
                             kst_import_texture& texture)
{
    texture.channels = channels;
    texture.pixels.assign(static_cast<size_t>(image_side) * image_side * channels, 0);
    stbir_resize_uint8(pixels, width, height, 0, texture.pixels.data(), image_side, image_side, 0, channels);
    image_flip_rows(texture.pixels, channels);
}

bool kst_import_decode_image(const uint8_t* data, size_t size, kst_import_texture& texture)
{
    if (size == 0 || size > static_cast<size_t>(INT32_MAX))
        return false;
    int w = 0, h = 0, n = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &n) || w <= 0 || h <= 0)
        return false;
    // Grey with alpha and RGBA keep their alpha; everything else is RGB.
    const int channels = (n == 2 || n == 4) ? 4 : 3;
    stbi_uc* pixels = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &n, channels);
    if (!pixels)
        return false;
    kst_import_resize_image(pixels, w, h, channels, texture);
    stbi_image_free(pixels);
    return true;
}

std::string kst_export_png(const uint8_t* raw, int channels)
{
    kst_import_texture t;
    t.channels = channels;
    t.pixels.assign(raw, raw + static_cast<size_t>(image_side) * image_side * channels);
    image_flip_rows(t.pixels, channels);
    std::string png;
    stbi_write_png_to_func(image_collect, &png, image_side, image_side, channels, t.pixels.data(),
                           image_side * channels);
    return png;
}
