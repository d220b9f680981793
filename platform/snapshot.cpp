// platform/snapshot.cpp - frame read-back and PNG writing (see snapshot.h).
#include "platform/snapshot.h"

#include <GL/gl.h>

#include <algorithm>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "engine/render/render_common.h"
#include "support/atomic_file.h"
#include "support/error.h"

// --- internal helpers ---------------------------------------------------------
static void snapshot_collect(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

// --- public functions ---------------------------------------------------------
std::vector<unsigned char> snapshot_read_rgb(int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> gl_rows(row * static_cast<size_t>(height)), png_rows(gl_rows.size());
    glFinish();
    kst_pixel_pack_tight();
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, gl_rows.data());
    for (int y = 0; y < height; ++y)
        std::copy_n(&gl_rows[row * static_cast<size_t>(height - 1 - y)], row, &png_rows[row * static_cast<size_t>(y)]);
    return png_rows;
}

void snapshot_write_png(const std::string& path, const std::vector<unsigned char>& rgb, int width,
                        int height)
{
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
        fatal_raise(path + ": the picture has no pixels or the wrong size");
    std::string png;
    if (!stbi_write_png_to_func(snapshot_collect, &png, width, height, 3, rgb.data(), width * 3))
        fatal_raise(path + ": cannot encode the PNG image");
    atomic_file file(path);
    file.write(png);
    file.commit();
}
