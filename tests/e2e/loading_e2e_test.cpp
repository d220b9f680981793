// The loading sequence and audio start-up as a user meets them: Escape on the
// loading screen in a real X window (Xvfb), a show without its music, and no
// audio output at all.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "demo_data.h"
#include "e2e_data.h"
#include "process.h"
#include "xvfb.h"

namespace {

// Runs qiv in cwd under its own Xvfb and presses Escape as soon as its window
// appears. With `modes` the run is a full-screen one: Escape waits until the
// screen shows the show's mode, and modes receives the mode then and after the run.
struct loading_modes {
    std::string during, after, screen_after;  // screen_after: xdpyinfo's report
};

program_result loading_run_and_escape(const std::vector<std::string>& args, const std::string& cwd,
                                      loading_modes* modes = nullptr)
{
    xvfb_server x;
    EXPECT_TRUE(x.ok());
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                                    "QIV_NO_MESSAGE_BOX=1"};
    std::atomic<bool> done{false};
    std::thread presser([&] {
        bool pressed = false;
        while (!done && !pressed) {
            if (modes && modes->during.rfind("640x480", 0) != 0) {
                modes->during = x.mode();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            program_result r = run_program("/usr/bin/xdotool",
                {"search", "--name", "^qiv$", "windowfocus", "--sync", "key", "Escape"}, env, "", 10);
            pressed = r.status == 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    program_result r = run_program(qiv_path(), args, env, cwd, 60);
    done = true;
    presser.join();
    if (modes) {
        modes->after = x.mode();
        modes->screen_after = run_program("/usr/bin/xdpyinfo", {}, env, "", 10).out;
    }
    return r;
}

}  // namespace

TEST(LoadingE2E, EscapeOnTheLoadingScreenFinishesLoadingAndDrawsNoFrame)
{
    loading_modes modes;
    // Each of the 27 steps is held for 400 ms, so Escape lands on the loading
    // screen even when finding the window takes seconds (a busy machine, a
    // sanitizer build: 150 ms a step was not always enough there).
    program_result r = loading_run_and_escape({"--loading-pace", "400", "--verbose"}, e2e_data_dir(), &modes);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("qiv: loading data/qorv.kst"), std::string::npos) << r.err;  // the last file
    EXPECT_NE(r.err.find("qiv: 27 loading steps, 0 frames drawn"), std::string::npos) << r.err;
    EXPECT_EQ(modes.during, "640x480+0+0");  // the loading screen ran in the show's mode
    EXPECT_EQ(modes.after, "1024x768+0+0");  // and the display was restored
    EXPECT_NE(modes.screen_after.find("dimensions:    1024x768 pixels"), std::string::npos) << modes.screen_after;
}

TEST(LoadingE2E, MissingMusicPlaysInSilenceWithOneLine)
{
    std::string dir = test_temp_dir("no-music");
    demo_data_write(dir + "/data", {false, ""});
    program_result r = loading_run_and_escape({"--windowed"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string line = "qiv: data/music.ogg could not be played; the show runs in silence\n";
    size_t at = r.err.find(line);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(line, at + 1), std::string::npos);

    write_file(dir + "/data/music.ogg", "this is no Ogg Vorbis stream");  // undecodable
    r = loading_run_and_escape({"--windowed"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
}

TEST(LoadingE2E, FatalErrorWithAudioRunningEndsWithStatusOne)
{
    std::string dir = test_temp_dir("missing-scene-audio");
    demo_data_write(dir + "/data", {true, "hipoly.kst"});
    program_result r = run_program(qiv_path(), {"--windowed"},
        {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"}, dir, 30);
    EXPECT_EQ(r.status, 1);  // the audio thread is stopped first: no abort
    EXPECT_NE(r.err.find("data/hipoly.kst"), std::string::npos) << r.err;
}

TEST(LoadingE2E, NoAudioOutputEndsWithAMessageAndStatusOne)
{
    program_result r = run_program(qiv_path(), {"--windowed"},
        {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=no-such-driver", "QIV_NO_MESSAGE_BOX=1"},
        e2e_data_dir(), 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no audio output could be opened"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("SDL_AUDIODRIVER=dummy"), std::string::npos) << r.err;
}
