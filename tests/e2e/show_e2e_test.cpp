// Whole-program runs of the show on the small generated data set: captures of
// every segment, a single frame with the benchmark line, the timedemo, video
// capture, and the failures (a missing scene, no ffmpeg, no audio output).
#include <gtest/gtest.h>

#include <filesystem>

#include "demo_data.h"
#include "e2e_data.h"
#include "process.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

const std::vector<std::string> OFFSCREEN_ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                                "QIV_NO_MESSAGE_BOX=1"};

struct png_image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
    // Pixel at (x, y) with y up from the bottom row, like GL.
    const uint8_t* at(int x, int y) const { return &rgba[((h - 1 - y) * w + x) * 4]; }
};

png_image png_read(const std::string& path)
{
    png_image img;
    int comp = 0;
    uint8_t* data = stbi_load(path.c_str(), &img.w, &img.h, &comp, 4);
    if (data) {
        img.rgba.assign(data, data + img.w * img.h * 4);
        stbi_image_free(data);
    }
    return img;
}

// True when the image shows the layer set's colour at its rectangle.
bool shows_layer(const png_image& img, const std::string& stem)
{
    int x = 0, y = 0;
    demo_data_layer_pixel(stem, x, y);
    tex_rgba c = demo_data_layer_colour(stem);
    const uint8_t* p = img.at(x, y);
    return std::abs(p[0] - c.r) < 4 && std::abs(p[1] - c.g) < 4 && std::abs(p[2] - c.b) < 4;
}

// Lit pixels in the top-left 160 x 6 pixel strip (the benchmark line's row).
int lit_in_top_row(const png_image& img)
{
    int lit = 0;
    for (int y = 474; y < 480; ++y)
        for (int x = 0; x < 160; ++x)
            lit += img.at(x, y)[0] > 100;
    return lit;
}

program_result qiv_offscreen(const std::vector<std::string>& args, const std::string& cwd = e2e_data_dir(),
                             std::vector<std::string> env = OFFSCREEN_ENV)
{
    return run_program(qiv_path(), args, env, cwd, 120);
}

}  // namespace

TEST(ShowE2E, CaptureShowsEverySegmentsLayerSets)
{
    // A few frames in each segment: three frames half a second apart.
    struct { int from; std::vector<std::string> shown, hidden; } segments[] = {
        {10000, {"crestpre", "drumcrash"}, {"part2", "loading"}},
        {20000, {"part2", "drumcrash"}, {"crestpre"}},
        {50000, {"portrait", "beauty", "blackfade", "drumcrash"}, {"part2"}},
        {70000, {"starmap", "planet", "blackfade", "drumcrash"}, {"portrait"}},
        {100000, {"hatter", "greets", "crestfade", "drumcrash"}, {"starmap"}},
        {120000, {"kekbkg", "keret", "meeting", "crestfade", "drumcrash"}, {"hatter"}},
    };
    for (auto& seg : segments) {
        std::string out = test_temp_dir("capture") + "/frames";
        program_result r = qiv_offscreen({"--capture", out, "--fps", "2", "--from", std::to_string(seg.from),
                                          "--to", std::to_string(seg.from + 1000), "--seed", "7"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("capture ["), std::string::npos);  // the progress bar
        EXPECT_NE(r.err.find("3/3 frames"), std::string::npos) << r.err;
        int files = 0;
        for (auto& e : std::filesystem::directory_iterator(out))
            files += e.path().extension() == ".png";
        EXPECT_EQ(files, 3);
        for (int n = seg.from / 500; n <= seg.from / 500 + 2; ++n) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%06d.png", n);  // frame n shows n * 500 ms
            png_image img = png_read(out + name);
            ASSERT_EQ(img.w, 640) << name;
            ASSERT_EQ(img.h, 480);
            for (auto& s : seg.shown)
                EXPECT_TRUE(shows_layer(img, s)) << seg.from << name << " should show " << s;
            for (auto& s : seg.hidden)
                EXPECT_FALSE(shows_layer(img, s)) << seg.from << name << " should not show " << s;
            EXPECT_EQ(img.at(320, 470)[3], 255);  // frames are opaque
        }
    }
}

TEST(ShowE2E, SingleFrameWithBenchmarkLineAndSummary)
{
    std::string shot = test_temp_dir("frame") + "/shot.png";
    program_result r = qiv_offscreen({"-bmark", "--frame", "20000", "-o", shot});
    ASSERT_EQ(r.status, 0) << r.err;
    png_image img = png_read(shot);
    ASSERT_EQ(img.w, 640);
    EXPECT_GT(lit_in_top_row(img), 40);  // "Benchmark :  0 points." in the font
    EXPECT_TRUE(shows_layer(img, "part2"));
    EXPECT_NE(r.out.find("segment 2: 1 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("score: 0 points"), std::string::npos) << r.out;

    program_result plain = qiv_offscreen({"--frame", "20000", "-o", shot});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(lit_in_top_row(png_read(shot)), 0);
    EXPECT_EQ(plain.out, "");  // the summary only comes with -bmark
}

TEST(ShowE2E, SeedFixesTheStarfieldAndParticles)
{
    // Segment 4 draws the random starfield and particles: a seed gives the same picture.
    std::string dir = test_temp_dir("seed");
    auto shot = [&](const std::string& seed, const std::string& name) {
        program_result r = qiv_offscreen({"--frame", "80000", "-o", dir + "/" + name, "--seed", seed});
        EXPECT_EQ(r.status, 0) << r.err;
        return read_file(dir + "/" + name);
    };
    std::string a = shot("5", "a.png"), b = shot("5", "b.png"), c = shot("6", "c.png");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(ShowE2E, TimedemoPrintsMillisecondsPerFramePerSegment)
{
    program_result r = qiv_offscreen({"--timedemo", "--frames", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int s = 1; s <= 6; ++s)
        EXPECT_NE(r.out.find("segment " + std::to_string(s) + ":"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ms/frame"), std::string::npos);
    EXPECT_NE(r.out.find("objects/frame"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("triangles/frame"), std::string::npos) << r.out;
}

TEST(ShowE2E, FrameCostsPrintMedianAndWorstPerSegment)
{
    // Two frames per second over the first two segments' border.
    program_result r = qiv_offscreen({"--frame-costs", "--fps", "2", "--from", "14000", "--to", "16000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("segment 1:     2 frames, median"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("segment 2:     3 frames, median"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("worst"), std::string::npos);
    EXPECT_NE(r.out.find("frames above 3 x their segment's median:"), std::string::npos);
    EXPECT_EQ(qiv_offscreen({"--frame-costs", "--timedemo"}).status, 2);
}

TEST(ShowE2E, VideoCaptureThroughFfmpeg)
{
    std::string dir = test_temp_dir("video");
    program_result r = qiv_offscreen({"--capture", dir + "/clip.mp4", "--fps", "10", "--from", "15000",
                                      "--to", "15400"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bytes = read_file(dir + "/clip.mp4");
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(bytes.substr(4, 4), "ftyp");
    EXPECT_FALSE(std::filesystem::exists(dir + "/clip.mp4.part"));
    program_result probe = run_program("/usr/bin/ffprobe", {"-v", "error", "-show_entries",
        "stream=codec_type,width,height", "-of", "csv=p=0", dir + "/clip.mp4"});
    EXPECT_NE(probe.out.find("video,640,480"), std::string::npos) << probe.out << probe.err;
    EXPECT_NE(probe.out.find("audio"), std::string::npos) << probe.out;  // the music is muxed in

    std::vector<std::string> env = OFFSCREEN_ENV;
    env.push_back("PATH=/nonexistent");
    program_result none = qiv_offscreen({"--capture", dir + "/none.mp4"}, e2e_data_dir(), env);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("ffmpeg"), std::string::npos) << none.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/none.mp4"));
}

TEST(ShowE2E, MissingSceneIsAClearFatalError)
{
    std::string dir = test_temp_dir("missing-scene");
    demo_data_write(dir + "/data", {true, "qorv.kst"});
    program_result r = qiv_offscreen({"--frame", "1000", "-o", dir + "/x.png"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("data/qorv.kst"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.png"));
}

TEST(ShowE2E, UsageErrors)
{
    EXPECT_EQ(qiv_offscreen({"--frame", "100"}).status, 2);               // needs -o
    EXPECT_EQ(qiv_offscreen({"--fps", "10"}).status, 2);                  // needs --capture or --frame-costs
    EXPECT_EQ(qiv_offscreen({"--from", "10"}).status, 2);
    EXPECT_EQ(qiv_offscreen({"--capture", "x", "--fps", "0"}).status, 2);
    EXPECT_EQ(qiv_offscreen({"--capture", "x", "--from", "5", "--to", "4"}).status, 2);
    EXPECT_EQ(qiv_offscreen({"--capture", "x", "--timedemo"}).status, 2);
    program_result help = qiv_offscreen({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* opt : {"--capture", "--fps", "--from", "--to", "--seed", "--frame", "--timedemo", "--data",
                            "--frame-costs"})
        EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
}
