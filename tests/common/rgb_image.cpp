// tests/common/rgb_image.cpp - pictures as RGB bytes (see rgb_image.h).
#include "rgb_image.h"

#include <gtest/gtest.h>

#include <algorithm>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "process.h"

rgb_image rgb_image_read(const std::string& png)
{
    rgb_image img;
    int comp = 0;
    uint8_t* px = stbi_load(png.c_str(), &img.w, &img.h, &comp, 3);
    if (px) {
        img.rgb.assign(px, px + static_cast<size_t>(img.w) * img.h * 3);
        stbi_image_free(px);
    } else {
        img.w = img.h = 0;
    }
    return img;
}

rgb_image rgb_image_render(const std::string& scene, const std::string& png, int frame)
{
    program_result r = run_program(kestrel_path(), {"render", scene, "--frame", std::to_string(frame), "-o", png});
    EXPECT_EQ(r.status, 0) << r.err;
    return rgb_image_read(png);
}

int rgb_image_brightest(const rgb_image& img, int x0, int y0, int x1, int y1)
{
    int most = 0;
    for (int y = std::max(0, y0); y < std::min(img.h, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(img.w, x1); ++x)
            for (int c = 0; c < 3; ++c)
                most = std::max<int>(most, img.at(x, y)[c]);
    return most;
}
