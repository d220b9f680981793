// qiv --edit in a real X window under Xvfb, keys pressed with xdotool: once
// the window's title says the edit loop runs, Space pauses, Right seeks one
// second exactly, Page Down lands on the next segment's first millisecond,
// [ and L loop that segment, Home goes back to the loop's start (the show's
// without a loop), and Escape ends
// with status 0. --verbose logs the overlay line after every key.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <chrono>
#include <thread>

#include "demo_data.h"
#include "e2e_data.h"
#include "edit_walk.h"
#include "process.h"
#include "rgb_image.h"
#include "xvfb.h"

TEST(EditE2E, KeysPauseSeekJumpAndLoopInTheWindow)
{
    xvfb_server x;
    ASSERT_TRUE(x.ok());
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
    std::atomic<bool> done{false};
    std::thread keys([&] { edit_walk_press(env, done, 150); });
    program_result r = run_program(qiv_path(), {"--edit", "--verbose", "--start", "20000"}, env, e2e_data_dir(), 90);
    done = true;
    keys.join();
    ASSERT_EQ(r.status, 0) << r.err;
    edit_walk_expect(r.err);
}

// A show file changed while --edit plays: a broken version is told on stderr
// and the last good show plays on; the mended one replaces it at the same
// time position (the paused time stays, the new segment name shows).
TEST(EditE2E, AChangedShowFileIsReloadedAndABrokenOneIsTold)
{
    xvfb_server x;
    ASSERT_TRUE(x.ok());
    std::string dir = test_temp_dir("edit-reload");
    demo_data_write(dir + "/data");
    const std::string show = "length = 20000\nloading = \"loading\"\n\n[[segments]]\nname = \"first\"\nstart = 0\n"
                             "end = 20000\nsteps = [\"clear\", { layers = \"part2\", rate = 20 }]\n";
    write_file(dir + "/data/show.toml", show);
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
    auto key = [&](const std::string& k) {
        run_program("/usr/bin/xdotool", {"search", "--name", "^qiv edit", "windowfocus", "--sync", "key", k}, env, "", 20);
    };
    std::atomic<bool> done{false};
    std::thread author([&] {
        while (!done && run_program("/usr/bin/xdotool", {"search", "--name", "^qiv edit"}, env, "", 10).status != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        key("space");
        std::string broken = show;
        broken.replace(broken.find("rate = 20"), 9, "rate = 0");
        write_file(dir + "/data/show.toml", broken);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::string mended = show;
        mended.replace(mended.find("\"first\""), 7, "\"second\"");
        write_file(dir + "/data/show.toml", mended);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        key("Right");
        key("Escape");
    });
    program_result r = run_program(qiv_path(), {"--edit", "--verbose", "--start", "5000"}, env, dir, 90);
    done = true;
    author.join();
    ASSERT_EQ(r.status, 0) << r.err;
    size_t told = r.err.find("show.toml:8: segments[1].steps[2].rate: a rate must be more than 0");
    size_t reloaded = r.err.find("qiv: reloaded the show");
    EXPECT_NE(told, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(the last good show keeps playing)"), std::string::npos) << r.err;
    ASSERT_NE(reloaded, std::string::npos) << r.err;
    EXPECT_LT(told, reloaded);
    std::vector<std::string> lines = edit_walk_lines(r.err);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_NE(lines[0].find("segment 1 first"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("segment 1 second"), std::string::npos) << lines[1];
    EXPECT_EQ(edit_walk_ms(lines[1]), edit_walk_ms(lines[0]) + 1000) << lines[1];  // the same position, one second on
}

// Only what changed is read again: an edited image shows at once in the
// layer that uses it without any file being loaded again, and a rewritten
// scene file replaces that scene alone (the show is not rebuilt).
TEST(EditE2E, AnEditedImageOrSceneIsReadAgainAlone)
{
    xvfb_server x;  // 1024 x 768: with --desktop the picture fills it
    ASSERT_TRUE(x.ok());
    std::string dir = test_temp_dir("edit-images");
    demo_data_write(dir + "/data");
    write_file(dir + "/data/show.toml",
               "length = 20000\nloading = \"loading\"\n\n[[segments]]\nname = \"only\"\nstart = 0\nend = 20000\n"
               "steps = [\"clear\", { scene = \"crest\", rate = 20 }, { layers = \"part2\", rate = 20 }]\n");
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
    int px = 0, py = 0;
    demo_data_layer_pixel("part2", px, py);
    auto pixel = [&] {
        int w = 0, h = 0;
        std::vector<uint8_t> shot = x.screenshot(w, h);
        if (w != 1024 || h != 768)
            return tex_rgba{0, 0, 0, 0};
        const rgb_image screen{w, h, shot};
        const uint8_t* at = screen.at(px * 1024 / 640, (479 - py) * 768 / 480);
        return tex_rgba{at[0], at[1], at[2], 255};
    };
    auto near = [](tex_rgba a, tex_rgba b) {
        return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
    };
    const tex_rgba before = demo_data_layer_colour("part2"), after{255, 0, 255, 255};
    bool saw_before = false, saw_after = false;
    std::atomic<bool> done{false};
    std::thread author([&] {
        while (!done && run_program("/usr/bin/xdotool", {"search", "--name", "^qiv edit"}, env, "", 10).status != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto until = [&](tex_rgba want) {
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (std::chrono::steady_clock::now() < end) {
                if (near(pixel(), want))
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
            return false;
        };
        saw_before = until(before);
        texture_file_write(dir + "/data/part2.jpg", tex_solid(after, false));
        saw_after = until(after);
        std::string scene = read_file(dir + "/data/crest.kst");
        std::filesystem::remove(dir + "/data/crest.kst");
        write_file(dir + "/data/crest.kst", scene);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        run_program("/usr/bin/xdotool", {"search", "--name", "^qiv edit", "windowfocus", "--sync", "key", "Escape"},
                    env, "", 20);
    });
    program_result r = run_program(qiv_path(), {"--edit", "--desktop", "--start", "5000"}, env, dir, 120);
    done = true;
    author.join();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(saw_before) << "the layer never showed its first colour";
    EXPECT_TRUE(saw_after) << "the edited image never showed";
    EXPECT_NE(r.err.find("qiv: reloaded the image data/part2.raw"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("qiv: reloaded data/crest.kst"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("qiv: reloaded the show"), std::string::npos) << r.err;
}
