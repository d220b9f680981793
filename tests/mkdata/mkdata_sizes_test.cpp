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
//
// The same frames show the bars of other shapes (black, beside or above and
// below the picture) and supersampling (the same picture, smoother edges).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "mkdata_fixture.h"
#include "process.h"
#include "rgb_image.h"

namespace {

constexpr int SIZES_COLUMNS = 32, SIZES_ROWS = 24;

// The mean red, green and blue of each region, row by row.
std::vector<double> sizes_region_means(const std::string& png, int expect_w, int expect_h)
{
    rgb_image img = rgb_image_read(png);
    EXPECT_EQ(img.w, expect_w) << png;
    EXPECT_EQ(img.h, expect_h) << png;
    std::vector<double> means(SIZES_COLUMNS * SIZES_ROWS * 3, 0.0);
    if (img.w != expect_w || img.h != expect_h)
        return means;
    const int bw = img.w / SIZES_COLUMNS, bh = img.h / SIZES_ROWS;
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x)
            for (int c = 0; c < 3; ++c)
                means[((y / bh) * SIZES_COLUMNS + x / bw) * 3 + c] += img.at(x, y)[c];
    for (double& m : means)
        m /= bw * bh;
    return means;
}

struct sizes_difference {
    double mean = 0;   // over every region and channel
    double worst = 0;  // the largest region difference
    double dark_light = 1;  // light of the large frame over the small one's, in the dark regions
};

// Pixels whose red or green differs from their right neighbour's.
int sizes_varied(const rgb_image& img)
{
    int n = 0;
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x + 1 < img.w; ++x)
            n += img.at(x, y)[0] != img.at(x + 1, y)[0] || img.at(x, y)[1] != img.at(x + 1, y)[1];
    return n;
}

program_result sizes_frame(const std::string& data, const std::string& png, std::vector<std::string> extra)
{
    std::vector<std::string> args = {"--data", data, "--seed", "1", "--frame", "80000", "-o", png};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program(qiv_path(), args, {}, "", 300);
}

sizes_difference sizes_compare(const std::vector<double>& a, const std::vector<double>& b)
{
    sizes_difference d;
    for (size_t i = 0; i < a.size(); ++i) {
        double e = std::abs(a[i] - b[i]);
        d.mean += e;
        d.worst = std::max(d.worst, e);
    }
    d.mean /= static_cast<double>(a.size());
    // Where the small frame is nearly black (space, with its stars), the two
    // frames' light must match: thin things drawn in pixels live there.
    double small = 0, large = 0;
    for (size_t r = 0; r + 2 < a.size(); r += 3)
        if (a[r] + a[r + 1] + a[r + 2] < 3 * 24.0) {
            small += a[r] + a[r + 1] + a[r + 2];
            large += b[r] + b[r + 1] + b[r + 2];
        }
    d.dark_light = small > 0 ? large / small : 1.0;
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
        EXPECT_LT(d.mean, 0.4) << "worst region " << d.worst;
        EXPECT_LT(d.worst, 16.0) << "mean " << d.mean;
        EXPECT_NEAR(d.dark_light, 1.0, 0.1) << "the light of the dark regions, mean " << d.mean;
    }
}

// A 1920 x 1080 frame holds the 1440 x 1080 picture between black bars, a
// 1024 x 1024 frame the 1024 x 768 one; supersampling smooths the edges of
// the same picture.
TEST(MkdataSizes, OtherShapesGetBlackBarsAndSupersamplingSmoothsTheSamePicture)
{
    const std::string data = mkdata_shared_dir();
    const std::string out = test_temp_dir("mkdata-sizes-bars");
    program_result wide = sizes_frame(data, out + "/wide.png", {"--size", "1920x1080"});
    ASSERT_EQ(wide.status, 0) << wide.err;
    rgb_image w = rgb_image_read(out + "/wide.png");
    ASSERT_EQ(w.w, 1920);
    ASSERT_EQ(w.h, 1080);
    EXPECT_EQ(rgb_image_brightest(w, 0, 0, 240, 1080), 0) << "the left bar is black";
    EXPECT_EQ(rgb_image_brightest(w, 1680, 0, 1920, 1080), 0) << "the right bar is black";
    EXPECT_GT(rgb_image_brightest(w, 240, 0, 960, 1080), 100) << "the picture fills the middle";
    EXPECT_GT(rgb_image_brightest(w, 960, 0, 1680, 1080), 100);

    program_result tall = sizes_frame(data, out + "/tall.png", {"--size", "1024x1024"});
    ASSERT_EQ(tall.status, 0) << tall.err;
    rgb_image t = rgb_image_read(out + "/tall.png");
    ASSERT_EQ(t.h, 1024);
    EXPECT_EQ(rgb_image_brightest(t, 0, 0, 1024, 128), 0) << "the top bar is black";
    EXPECT_EQ(rgb_image_brightest(t, 0, 896, 1024, 1024), 0) << "the bottom bar is black";
    EXPECT_GT(rgb_image_brightest(t, 0, 128, 1024, 512), 100);

    ASSERT_EQ(sizes_frame(data, out + "/one.png", {}).status, 0);
    program_result ss = sizes_frame(data, out + "/ssaa.png", {"--ssaa", "3"});
    ASSERT_EQ(ss.status, 0) << ss.err;
    rgb_image one = rgb_image_read(out + "/one.png"), smooth = rgb_image_read(out + "/ssaa.png");
    ASSERT_EQ(smooth.w, 640);
    ASSERT_EQ(smooth.h, 480);
    sizes_difference d = sizes_compare(sizes_region_means(out + "/one.png", 640, 480),
                                       sizes_region_means(out + "/ssaa.png", 640, 480));
    EXPECT_LT(d.mean, 1.5) << "the same picture";
    EXPECT_NE(one.rgb, smooth.rgb) << "supersampling changes the edges";
    EXPECT_GT(sizes_varied(smooth), sizes_varied(one)) << "averaged edges have more in-between colours";
}
