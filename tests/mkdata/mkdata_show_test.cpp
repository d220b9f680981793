// tests/mkdata/mkdata_show_test.cpp - the whole show on the generated data, frame by frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <set>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "mkdata_fixture.h"
#include "process.h"

namespace {
struct picture {
    int                  w = 0, h = 0;
    std::vector<uint8_t> rgb;
};

picture load_png(const std::string& path)
{
    picture p;
    int n = 0;
    unsigned char* data = stbi_load(path.c_str(), &p.w, &p.h, &n, 3);
    if (data) {
        p.rgb.assign(data, data + size_t(p.w) * p.h * 3);
        stbi_image_free(data);
    }
    return p;
}

size_t distinct_colours(const picture& p)
{
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < p.rgb.size(); i += 3)
        colours.insert(uint32_t(p.rgb[i]) << 16 | uint32_t(p.rgb[i + 1]) << 8 | p.rgb[i + 2]);
    return colours.size();
}
}  // namespace

// qiv itself renders one frame from the middle of each segment on the
// generated data: none is blank or flat, and no two look alike.
TEST(MkdataShow, MiddleOfEverySegmentIsBusyAndDistinct)
{
    const std::string data = mkdata_shared_dir();
    const std::string out = test_temp_dir("mkdata-show");
    const int middles[6] = {7500, 27500, 52000, 80000, 105000, 122000};
    auto render = [&](int ms) {
        return run_program(qiv_path(), {"--data", data, "--frame", std::to_string(ms), "-o",
                                        out + "/" + std::to_string(ms) + ".png"},
                           {}, "", 120);
    };
    std::vector<program_result> results;
    for (size_t k = 0; k < 6; k += 2) {  // two at a time, one per core
        auto second = std::async(std::launch::async, render, middles[k + 1]);
        results.push_back(render(middles[k]));
        results.push_back(second.get());
    }
    std::vector<picture> shots;
    for (size_t k = 0; k < results.size(); ++k) {
        const program_result& r = results[k];
        ASSERT_EQ(r.status, 0) << middles[k] << " ms: " << r.err;
        picture p = load_png(out + "/" + std::to_string(middles[k]) + ".png");
        ASSERT_EQ(p.w, 640) << middles[k];
        ASSERT_EQ(p.h, 480);
        EXPECT_GT(distinct_colours(p), 2000u) << middles[k] << " ms looks flat";
        shots.push_back(p);
    }
    for (size_t a = 0; a < shots.size(); ++a)
        for (size_t b = a + 1; b < shots.size(); ++b) {
            size_t differ = 0;
            for (size_t i = 0; i < shots[a].rgb.size(); i += 3)
                differ += std::abs(shots[a].rgb[i] - shots[b].rgb[i]) + std::abs(shots[a].rgb[i + 1] - shots[b].rgb[i + 1]) +
                              std::abs(shots[a].rgb[i + 2] - shots[b].rgb[i + 2]) > 60;
            EXPECT_GT(differ, 640u * 480u / 4) << middles[a] << " ms and " << middles[b] << " ms look alike";
        }
}
