// tests/common/texture_files.cpp - .raw texture images for tests (see texture_files.h).
#include "texture_files.h"

#include <functional>

#include "process.h"

// --- internal helpers ---------------------------------------------------------
static std::string tex_build(bool alpha, const std::function<tex_rgba(int x, int y)>& pixel)
{
    std::string bytes;
    bytes.reserve(tex_size * tex_size * 4);
    for (int y = 0; y < tex_size; ++y) {
        for (int x = 0; x < tex_size; ++x) {
            tex_rgba c = pixel(x, y);
            bytes.push_back(static_cast<char>(c.r));
            bytes.push_back(static_cast<char>(c.g));
            bytes.push_back(static_cast<char>(c.b));
            if (alpha)
                bytes.push_back(static_cast<char>(c.a));
        }
    }
    return bytes;
}

static uint8_t tex_mix(uint8_t a, uint8_t b, int i)
{
    return static_cast<uint8_t>((a * (tex_size - 1 - i) + b * i + (tex_size - 1) / 2) / (tex_size - 1));
}

// --- public functions ---------------------------------------------------------
std::string tex_solid(tex_rgba colour, bool alpha)
{
    return tex_build(alpha, [&](int, int) { return colour; });
}

std::string tex_checker(tex_rgba a, tex_rgba b, int cell, bool alpha)
{
    return tex_build(alpha, [&](int x, int y) { return (x / cell + y / cell) % 2 == 0 ? a : b; });
}

std::string tex_gradient(tex_rgba from, tex_rgba to, bool along_rows, bool alpha)
{
    return tex_build(alpha, [&](int x, int y) {
        int i = along_rows ? y : x;
        return tex_rgba{tex_mix(from.r, to.r, i), tex_mix(from.g, to.g, i), tex_mix(from.b, to.b, i),
                        tex_mix(from.a, to.a, i)};
    });
}

std::string tex_stripes(const std::vector<tex_rgba>& colours, bool alpha)
{
    int n = static_cast<int>(colours.size());
    return tex_build(alpha, [&](int x, int) { return colours[static_cast<size_t>(x * n / tex_size)]; });
}

std::string texture_file_path(const std::string& request)
{
    if (request.size() < 3)
        return "raw";
    return request.substr(0, request.size() - 3) + "raw";
}

std::string texture_file_write(const std::string& request, const std::string& bytes)
{
    write_file(texture_file_path(request), bytes);
    return request;
}
