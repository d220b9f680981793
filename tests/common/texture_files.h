// tests/common/texture_files.h - .raw texture images for tests.
//
// The texture manager reads headerless 256 x 256 images: 196608 bytes of RGB or
// 262144 bytes of RGBA, first row at t = 0. These helpers build such images
// (one solid colour, a checker board, a gradient, vertical stripes) and write
// them, so that texture, scene, renderer and interface tests share one way of
// making texture files. A texture requested as "dir/name.jpg" is read from
// "dir/name.raw": texture_file_path gives that file name for a request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct tex_rgba {
    uint8_t r, g, b, a;
};

constexpr int tex_size = 256;   // width and height of every texture

// Pixel bytes of a 256 x 256 image, 3 bytes per pixel (alpha false) or 4.
std::string tex_solid(tex_rgba colour, bool alpha);
// Squares of `cell` pixels, colour a where (column / cell + row / cell) is even.
std::string tex_checker(tex_rgba a, tex_rgba b, int cell, bool alpha);
// Linear blend from `from` at the first column (or row) to `to` at the last.
std::string tex_gradient(tex_rgba from, tex_rgba to, bool along_rows, bool alpha);
// Vertical stripes of equal width across s, one per colour, left to right.
std::string tex_stripes(const std::vector<tex_rgba>& colours, bool alpha);

// The .raw file a texture request reads ("x/a.jpg" -> "x/a.raw").
std::string texture_file_path(const std::string& request);
// Writes the bytes to the .raw file of the request and returns the request.
std::string texture_file_write(const std::string& request, const std::string& bytes);
