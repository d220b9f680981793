// Whole-program runs of the show at other sizes: the picture options'
// usage errors, the desktop window of a 1920 x 1080 screen under Xvfb (no
// mode switch, black bars, Escape), and --loop playing past the end of the
// show. The pictures at other sizes are checked on the generated show
// (tests/mkdata/mkdata_sizes_test.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "e2e_data.h"
#include "process.h"
#include "rgb_image.h"
#include "xvfb.h"

namespace {

const std::vector<std::string> OFFSCREEN = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                            "QIV_NO_MESSAGE_BOX=1"};

program_result size_qiv(const std::vector<std::string>& args, const std::string& cwd = e2e_data_dir())
{
    return run_program(qiv_path(), args, OFFSCREEN, cwd, 120);
}

// Waits until the window titled "qiv" exists under x, or `seconds` pass.
bool size_wait_for_window(const xvfb_server& x, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (!x.window_geometry("qiv").empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Runs qiv with args under x; once its window exists, calls look (on another
// thread), then presses Escape until the run has ended.
program_result size_run_in_window(const xvfb_server& x, const std::vector<std::string>& args,
                                  const std::function<void()>& look)
{
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        if (size_wait_for_window(x, 50))
            look();
        while (!done) {
            run_program("/usr/bin/xdotool", {"search", "--name", "^qiv$", "windowfocus", "--sync", "key", "Escape"},
                        env, "", 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    });
    program_result r = run_program(qiv_path(), args, env, e2e_data_dir(), 90);
    done = true;
    watcher.join();
    return r;
}

}  // namespace

// Each bad value is a usage error: status 2, a message naming the option and
// its limits, and nothing written.
TEST(SizeE2E, BadPictureOptionsAreUsageErrorsNamingTheirLimits)
{
    struct bad_case {
        std::vector<std::string> args;
        std::string says;
    };
    const bad_case cases[] = {
        {{"--size", "0x0", "--frame", "1000", "-o", "x.png"}, "from 160x120 to 7680x4320"},
        {{"--size", "7681x4320", "--frame", "1000", "-o", "x.png"}, "from 160x120 to 7680x4320"},
        {{"--size", "wide", "--frame", "1000", "-o", "x.png"}, "--size"},
        {{"--size", "641x480", "--capture", "x.mp4"}, "even width and height"},
        {{"--size", "640x481", "--capture", "x.mp4"}, "even width and height"},
        {{"--ssaa", "0", "--frame", "1000", "-o", "x.png"}, "--ssaa"},
        {{"--ssaa", "5", "--capture", "x"}, "--ssaa"},
        {{"--ssaa", "2"}, "needs --capture or --frame"},
        {{"--fps", "0", "--capture", "x"}, "from 1 to 1000"},
        {{"--fps", "60/0", "--capture", "x"}, "from 1 to 1000"},
        {{"--fps", "29.97fps", "--capture", "x"}, "from 1 to 1000"},
        {{"--crf", "52", "--capture", "x.mp4"}, "--crf"},
        {{"--crf", "20", "--capture", "x"}, "video file"},
        {{"--desktop", "--size", "800x600"}, "--size"},
        {{"--loop", "--capture", "x"}, "--loop"},
    };
    for (const bad_case& c : cases) {
        std::string dir = test_temp_dir("size-usage");
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        program_result r = size_qiv(c.args, dir);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(std::filesystem::is_empty(dir)) << "nothing is written";
    }
    // A GL without framebuffer objects (Mesa told to offer GL 2.1 without
    // them) draws 640 x 480 as before, and says why it cannot draw another size.
    std::vector<std::string> old_gl = OFFSCREEN;
    old_gl.insert(old_gl.end(), {"MESA_GL_VERSION_OVERRIDE=2.1",
                                 "MESA_EXTENSION_OVERRIDE=-GL_ARB_framebuffer_object -GL_EXT_framebuffer_object"});
    std::string dir = test_temp_dir("size-old-gl");
    program_result large = run_program(qiv_path(), {"--frame", "1000", "-o", dir + "/large.png", "--size", "1280x960"},
                                       old_gl, e2e_data_dir(), 60);
    EXPECT_EQ(large.status, 1);
    EXPECT_NE(large.err.find("no 1280x960 off-screen picture could be drawn (the GL has no framebuffer objects"),
              std::string::npos) << large.err;
    EXPECT_FALSE(std::filesystem::exists(dir + "/large.png"));
    program_result plain = run_program(qiv_path(), {"--frame", "1000", "-o", dir + "/plain.png"}, old_gl,
                                       e2e_data_dir(), 60);
    EXPECT_EQ(plain.status, 0) << plain.err;

    program_result render = run_program(kestrel_path(), {"render", "x.kst", "--frame", "0", "-o", "x.png",
                                                         "--size", "100x100"}, OFFSCREEN);
    EXPECT_EQ(render.status, 2);
    EXPECT_NE(render.err.find("from 160x120 to 7680x4320"), std::string::npos) << render.err;
}

// --desktop on a 1920 x 1080 screen: no mode switch before, during or after,
// the picture centred between black bars, Escape ends with status 0.
TEST(SizeE2E, DesktopWindowKeepsTheScreenModeAndPillarboxes)
{
    xvfb_server x("1920x1080x24");
    ASSERT_TRUE(x.ok());
    ASSERT_EQ(x.mode(), "1920x1080+0+0");
    std::string during, geometry;
    std::vector<uint8_t> shot;
    int sw = 0, sh = 0;
    program_result r = size_run_in_window(x, {"--desktop", "--seed", "2", "--start", "20000"}, [&] {
        // Screenshots until the picture shows something (a busy machine loads slowly).
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            during = x.mode();
            geometry = x.window_geometry("qiv");
            shot = x.screenshot(sw, sh);
        } while (std::chrono::steady_clock::now() < end &&
                 (sw != 1920 || sh != 1080 || rgb_image_brightest(rgb_image{sw, sh, shot}, 240, 0, 960, 1080) == 0 ||
                  rgb_image_brightest(rgb_image{sw, sh, shot}, 960, 0, 1680, 1080) == 0));
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(during, "1920x1080+0+0") << "no mode switch";
    EXPECT_EQ(geometry, "1920x1080+0+0");
    EXPECT_EQ(x.mode(), "1920x1080+0+0");
    ASSERT_EQ(sw, 1920);
    ASSERT_EQ(sh, 1080);
    rgb_image screen{sw, sh, shot};
    EXPECT_EQ(rgb_image_brightest(screen, 0, 0, 240, 1080), 0) << "the left bar is black";
    EXPECT_EQ(rgb_image_brightest(screen, 1680, 0, 1920, 1080), 0) << "the right bar is black";
    EXPECT_GT(rgb_image_brightest(screen, 240, 0, 960, 1080), 0) << "the picture is in the middle";
    EXPECT_GT(rgb_image_brightest(screen, 960, 0, 1680, 1080), 0);
}

// --loop: started a second before the end, the show is still playing five
// seconds later, and Escape ends it with status 0.
TEST(SizeE2E, LoopPlaysTheShowAgainUntilEscape)
{
    xvfb_server x;
    ASSERT_TRUE(x.ok());
    bool alive_after_end = false;
    program_result r = size_run_in_window(x, {"--windowed", "--loop", "--start", "130500"}, [&] {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        alive_after_end = !x.window_geometry("qiv").empty();
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(alive_after_end) << "the show went on past its end";
}
