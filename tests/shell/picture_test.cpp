// Picture sizes, the 4:3 fit with its bars, fractional frame rates and the
// supersampling filter: the arithmetic every size of the show relies on.
#include <gtest/gtest.h>

#include "generated_data.h"
#include "platform/picture.h"
#include "shell/capture.h"

TEST(PictureSize, ParsesSizesWithinTheLimitsAndNamesThemOtherwise)
{
    int w = 0, h = 0;
    EXPECT_EQ(picture_parse_size("1920x1080", w, h), "");
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    EXPECT_EQ(picture_parse_size("160X120", w, h), "");
    EXPECT_EQ(picture_parse_size("7680x4320", w, h), "");
    EXPECT_EQ(w, 7680);
    for (const char* bad : {"0x0", "159x120", "160x119", "7681x4320", "7680x4321", "99999x99999"}) {
        SCOPED_TRACE(bad);
        std::string problem = picture_parse_size(bad, w, h);
        EXPECT_NE(problem.find("from 160x120 to 7680x4320"), std::string::npos) << problem;
    }
    for (const char* bad : {"", "x", "1920", "1920x", "x1080", "1920x1080x", "-640x480", "640 x 480", "1e3x480",
                            "1234567x480"}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(picture_parse_size(bad, w, h).find("is not a size WxH"), std::string::npos);
    }
    EXPECT_EQ(w, 7680);  // a refused size leaves the last good one
}

TEST(PictureSize, TheLargestCentred4To3RectangleLeavesEvenBars)
{
    struct fit_case {
        int fw, fh, x, y, w, h;
    };
    for (fit_case c : {fit_case{640, 480, 0, 0, 640, 480}, fit_case{1920, 1080, 240, 0, 1440, 1080},
                       fit_case{3840, 2160, 480, 0, 2880, 2160}, fit_case{1024, 1024, 0, 128, 1024, 768},
                       fit_case{1280, 1024, 0, 32, 1280, 960}, fit_case{161, 120, 0, 0, 160, 120},
                       fit_case{7680, 4320, 960, 0, 5760, 4320}, fit_case{1366, 768, 171, 0, 1024, 768}}) {
        SCOPED_TRACE(std::to_string(c.fw) + "x" + std::to_string(c.fh));
        picture_rect r = picture_fit(c.fw, c.fh);
        EXPECT_EQ(r.x, c.x);
        EXPECT_EQ(r.y, c.y);
        EXPECT_EQ(r.width, c.w);
        EXPECT_EQ(r.height, c.h);
        EXPECT_LE(r.x + r.width, c.fw);
        EXPECT_LE(r.y + r.height, c.fh);
        EXPECT_EQ(picture_has_bars(r, c.fw, c.fh), c.fw != c.w || c.fh != c.h);
    }
    EXPECT_FLOAT_EQ(picture_scale(picture_fit(1920, 1080)), 2.25f);
    EXPECT_FLOAT_EQ(picture_scale(picture_fit(640, 480)), 1.0f);
}

TEST(CaptureRate, FractionalRatesAreExactAndTheirFramesRoundDown)
{
    capture_rate r;
    EXPECT_EQ(capture_parse_rate("60000/1001", r), "");
    EXPECT_EQ(r.num, 60000u);
    EXPECT_EQ(r.den, 1001u);
    EXPECT_EQ(capture_rate_text(r), "60000/1001");
    // Frame n shows floor(n * 1000 * 1001 / 60000) ms: 16.683 ms apart.
    EXPECT_EQ(capture_frame_time(0, r), 0u);
    EXPECT_EQ(capture_frame_time(1, r), 16u);
    EXPECT_EQ(capture_frame_time(60, r), 1001u);
    EXPECT_EQ(capture_frame_time(7889, r), 131614u);
    int64_t first = 0, last = 0;
    capture_frame_range(r, 0, 131500, first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 7882);  // 7882 * 1001 / 60 = 131499.4 ms, 7883 is past the end
    EXPECT_LE(capture_frame_time(last, r), 131500u);
    EXPECT_GT(capture_frame_time(last + 1, r), 131500u);
    capture_frame_range(r, 1000, 2000, first, last);
    EXPECT_GE(capture_frame_time(first, r), 1000u);
    EXPECT_LT(capture_frame_time(first - 1, r), 1000u);
    EXPECT_EQ(capture_gop_frames(r), 60);

    EXPECT_EQ(capture_parse_rate("59.94", r), "");
    EXPECT_EQ(r.num, 2997u);  // the decimal as written, in lowest terms
    EXPECT_EQ(r.den, 50u);
    EXPECT_EQ(capture_parse_rate("30", r), "");
    EXPECT_EQ(capture_rate_text(r), "30");
    EXPECT_EQ(capture_frame_time(45, r), 1500u);
    EXPECT_EQ(capture_parse_rate("23.976", r), "");
    EXPECT_EQ(capture_rate_text(r), "2997/125");
    EXPECT_EQ(capture_parse_rate("1000", r), "");
    EXPECT_EQ(capture_parse_rate("2/2", r), "");
    EXPECT_EQ(capture_rate_text(r), "1");
    for (const char* bad : {"0", "0.0", "0/5", "60/0", "1000.001", "1001", "0.5", "abc", "", "30fps", "30.", ".5",
                            "59.9444", "1/2/3", "-30", "30/", "99999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(capture_parse_rate(bad, r), "");
    }
}

TEST(CaptureDownsample, EachPixelIsTheRoundedMeanOfItsSamples)
{
    // A 2 x 1 output from 3 x 3 samples per pixel: 6 x 3 RGBA samples.
    std::vector<uint8_t> px(6 * 3 * 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) {
            uint8_t* p = &px[(y * 6 + x) * 4];
            p[0] = x < 3 ? 255 : 0;                            // left pixel white, right black
            p[1] = static_cast<uint8_t>(x == 4 && y == 1 ? 255 : 0);  // one lit sample of nine
            p[2] = static_cast<uint8_t>(10 * (x + y));
            p[3] = 255;
        }
    std::vector<uint8_t> out = capture_downsample(px, 2, 1, 3);
    ASSERT_EQ(out.size(), 8u);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[4], 0);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[5], 28);  // 255 / 9 = 28.3
    EXPECT_EQ(out[2], 20);  // mean of 10 * (x + y), x and y 0..2
    EXPECT_EQ(out[6], 50);  // x 3..5
    EXPECT_EQ(out[3], 255);
    EXPECT_EQ(capture_downsample(px, 6, 3, 1), px);
}

// What ffmpeg is asked for: the music as AAC at 256 kb/s, H.264 in yuv420p at
// the rate factor, the exact rate, the index first; losslessly for a part.
TEST(CaptureVideo, TheEncoderIsAskedForUploadQuality)
{
    auto has = [](const std::vector<std::string>& args, const std::string& a, const std::string& b) {
        for (size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == a && args[i + 1] == b)
                return true;
        return false;
    };
    const std::string music = generated_data_dir() + "/music.ogg";
    std::vector<std::string> video;
    capture_video_args(video, capture_rate{60000, 1001}, 0, music, 21, "out.mp4", true);
    EXPECT_TRUE(has(video, "-i", music));
    EXPECT_TRUE(has(video, "-c:a", "aac"));
    EXPECT_TRUE(has(video, "-b:a", "256k"));
    EXPECT_TRUE(has(video, "-crf", "21"));
    EXPECT_TRUE(has(video, "-pix_fmt", "yuv420p"));
    EXPECT_TRUE(has(video, "-r", "60000/1001"));
    EXPECT_TRUE(has(video, "-movflags", "+faststart"));
    EXPECT_TRUE(has(video, "-vf", "vflip"));
    EXPECT_EQ(video.back(), "out.mp4");
    std::vector<std::string> part;
    capture_video_args(part, capture_rate{30}, 0, "", 0, "part.mp4");
    EXPECT_TRUE(has(part, "-qp", "0"));
    EXPECT_FALSE(has(part, "-vf", "vflip"));
}
