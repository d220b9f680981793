// qiv with a show.toml in its data folder: a two-segment show of its own
// plays as the file says (capture, timedemo, -bmark and --start follow its
// segments and length), and a broken file ends qiv with status 1 and one
// line naming the file, the line and the key before any frame is drawn.
#include <gtest/gtest.h>

#include <filesystem>

#include "demo_data.h"
#include "process.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

const std::vector<std::string> SF_ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                         "QIV_NO_MESSAGE_BOX=1"};

const std::string TWO_SEGMENTS = R"(length = 4000
loading = "loading"
closing = [{ layers = "meeting", rate = 4 }]

[[scenes]]
name = "part2"
particles = 100

[[segments]]
name = "title"
start = 0
end = 2000
weight = 10
steps = ["clear", { layers = "crestpre", rate = 2 }]

[[segments]]
name = "model"
start = 2000
end = 4000
weight = 20
steps = ["clear", { scene = "part2", rate = 2 }, "reset", { particles = "part2", rate = 2 },
         { layers = "part2", frame = 500 }]
)";

// A working folder whose data/ holds the demo data set and the given show.toml.
std::string show_dir(const std::string& name, const std::string& show)
{
    std::string dir = test_temp_dir(name);
    demo_data_write(dir + "/data");
    write_file(dir + "/data/show.toml", show);
    return dir;
}

bool shows_layer(const std::string& png, const std::string& stem)
{
    int w = 0, h = 0, n = 0;
    uint8_t* data = stbi_load(png.c_str(), &w, &h, &n, 3);
    if (!data)
        return false;
    int x = 0, y = 0;
    demo_data_layer_pixel(stem, x, y);
    const uint8_t* p = data + ((h - 1 - y) * w + x) * 3;
    tex_rgba c = demo_data_layer_colour(stem);
    bool match = std::abs(p[0] - c.r) < 4 && std::abs(p[1] - c.g) < 4 && std::abs(p[2] - c.b) < 4;
    stbi_image_free(data);
    return match;
}

}  // namespace

TEST(ShowFileE2E, AShowOfItsOwnPlaysAsTheFileSays)
{
    std::string dir = show_dir("show-file-own", TWO_SEGMENTS);
    program_result r = run_program(qiv_path(), {"-bmark", "--capture", "frames", "--fps", "1", "--seed", "2"},
                                   SF_ENV, dir, 120);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("5/5 frames"), std::string::npos) << r.err;  // 0 to 4000 ms: the show's length
    EXPECT_TRUE(shows_layer(dir + "/frames/frame_000001.png", "crestpre"));
    EXPECT_FALSE(shows_layer(dir + "/frames/frame_000001.png", "part2"));
    EXPECT_TRUE(shows_layer(dir + "/frames/frame_000003.png", "part2"));
    EXPECT_FALSE(shows_layer(dir + "/frames/frame_000003.png", "crestpre"));
    for (const char* frame : {"frame_000000.png", "frame_000002.png", "frame_000003.png"}) {
        EXPECT_TRUE(shows_layer(dir + "/frames/" + frame, "meeting")) << frame;     // the closing layers
        EXPECT_FALSE(shows_layer(dir + "/frames/" + frame, "drumcrash")) << frame;  // not the default's
    }
    // Two frames in each segment: 2 / 10 + 2 / 20 points, rounded.
    EXPECT_NE(r.out.find("segment 1: 2 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("segment 2: 2 frames"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("segment 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("score: 0 points"), std::string::npos) << r.out;

    program_result demo = run_program(qiv_path(), {"--timedemo", "--frames", "2"}, SF_ENV, dir, 120);
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_NE(demo.out.find("segment 2:"), std::string::npos) << demo.out;
    EXPECT_EQ(demo.out.find("segment 3:"), std::string::npos) << demo.out;

    // --start is checked against the file's length, and works inside it.
    EXPECT_EQ(run_program(qiv_path(), {"--start", "4000"}, SF_ENV, dir, 60).status, 2);
    program_result late = run_program(qiv_path(), {"--windowed", "--start", "3500", "--verbose"}, SF_ENV, dir, 60);
    EXPECT_EQ(late.status, 0) << late.err;
    EXPECT_NE(late.err.find("in segment 2 after"), std::string::npos) << late.err;
}

TEST(ShowFileE2E, ABrokenShowFileEndsQivBeforeAnyFrame)
{
    struct { std::string from, to, message; } cases[] = {
        {"rate = 2 }]", "rat = 2 }]", "data/show.toml:14: segments[1].steps[2].rat: unknown key; did you mean \"rate\"?"},
        {"name = \"part2\"", "name = \"gone\"", "data/gone.kst: missing; data/show.toml:6: scenes[1].name names it"},
        {"start = 2000", "start = 1999", "data/show.toml:18: segments[2].start: overlaps segments[1] \"title\""},
        {"length = 4000", "length = = 4000", "data/show.toml:1: not valid TOML"},
    };
    for (const auto& c : cases) {
        std::string show = TWO_SEGMENTS;
        show.replace(show.find(c.from), c.from.size(), c.to);
        std::string dir = show_dir("show-file-broken", show);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--frame", "1000", "-o", "shot.png"}, std::vector<std::string>{"--windowed"}}) {
            program_result r = run_program(qiv_path(), args, SF_ENV, dir, 60);
            EXPECT_EQ(r.status, 1) << c.to;
            std::string expected = "qiv: " + c.message;
            EXPECT_EQ(r.err.rfind(expected, 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;  // one message, nothing else
            EXPECT_FALSE(std::filesystem::exists(dir + "/shot.png"));
        }
    }
}
