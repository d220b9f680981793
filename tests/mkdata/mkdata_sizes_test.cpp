// tests/mkdata/mkdata_sizes_test.cpp - the show at 1440 x 1080 is the show at
// 640 x 480, drawn sharper.
//
// Everything the renderer sizes in pixels follows the picture's height: the
// starfield's points, the font's cells, line widths, the flares' points and
// read-back blocks. A frame of the generated show at 1440 x 1080, brought
// down to 640 x 480, must carry the light of the 640 x 480 frame in every
// part of the picture. The measure is the mean colour of each of 32 x 24
// regions (20 x 20 pixels at 640 x 480, 45 x 45 at 1440 x 1080, so both
// divide exactly): edges that rasterise a pixel apart barely move a region's
// mean, while stars drawn one pixel wide at 1440 x 1080 keep a fifth of
// their light, which the starfield's regions show at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "mkdata_fixture.h"
#include "process.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

constexpr int SIZES_COLUMNS = 32, SIZES_ROWS = 24;

// The mean red, green and blue of each region, row by row.
std::vector<double> sizes_region_means(const std::string& png, int expect_w, int expect_h)
{
    int w = 0, h = 0, comp = 0;
    uint8_t* px = stbi_load(png.c_str(), &w, &h, &comp, 3);
    EXPECT_TRUE(px != nullptr) << png;
    EXPECT_EQ(w, expect_w);
    EXPECT_EQ(h, expect_h);
    std::vector<double> means(SIZES_COLUMNS * SIZES_ROWS * 3, 0.0);
    if (px == nullptr || w != expect_w || h != expect_h)
        return means;
    const int bw = w / SIZES_COLUMNS, bh = h / SIZES_ROWS;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                means[((y / bh) * SIZES_COLUMNS + x / bw) * 3 + c] += px[(static_cast<size_t>(y) * w + x) * 3 + c];
    for (double& m : means)
        m /= bw * bh;
    stbi_image_free(px);
    return means;
}

struct sizes_difference {
    double mean = 0;   // over every region and channel
    double worst = 0;  // the largest region difference
};

sizes_difference sizes_compare(const std::vector<double>& a, const std::vector<double>& b)
{
    sizes_difference d;
    for (size_t i = 0; i < a.size(); ++i) {
        double e = std::abs(a[i] - b[i]);
        d.mean += e;
        d.worst = std::max(d.worst, e);
    }
    d.mean /= static_cast<double>(a.size());
    return d;
}

}  // namespace

// The middle of each segment with the benchmark line, and the earth segment's
// starfield at two moments.
TEST(MkdataSizes, The1440x1080FrameBroughtDownIsThe640x480Frame)
{
    const std::string data = mkdata_shared_dir();
    const std::string out = test_temp_dir("mkdata-sizes");
    for (int ms : {7500, 27500, 52000, 70000, 80000, 105000, 122000}) {
        SCOPED_TRACE(ms);
        const std::string small = out + "/" + std::to_string(ms) + "-640.png";
        const std::string large = out + "/" + std::to_string(ms) + "-1440.png";
        const std::vector<std::string> common = {"-bmark", "--data", data, "--seed", "1", "--frame",
                                                 std::to_string(ms), "-o"};
        std::vector<std::string> a = common, b = common;
        a.push_back(small);
        b.insert(b.end(), {large, "--size", "1440x1080"});
        program_result ra = run_program(qiv_path(), a, {}, "", 300);
        program_result rb = run_program(qiv_path(), b, {}, "", 300);
        ASSERT_EQ(ra.status, 0) << ra.err;
        ASSERT_EQ(rb.status, 0) << rb.err;
        sizes_difference d = sizes_compare(sizes_region_means(small, 640, 480), sizes_region_means(large, 1440, 1080));
        EXPECT_LT(d.mean, 1.5) << "worst region " << d.worst;
        EXPECT_LT(d.worst, 16.0) << "mean " << d.mean;
    }
}
