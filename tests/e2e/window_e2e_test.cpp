// Whole-program tests of qiv's window: a real X window under Xvfb, closed by
// Escape through xdotool or by SIGTERM; the full-screen mode switch and its
// undoing however the show ends; the command line; no display at all.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "demo_data.h"
#include "e2e_data.h"
#include "process.h"
#include "xvfb.h"

namespace {

std::vector<std::string> e2e_env(const xvfb_server& x)
{
    return {x.env(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
}

// Sends SIGTERM to the process that owns the qiv window (by its pid, nothing broader).
void e2e_terminate_window_owner(const std::vector<std::string>& env)
{
    program_result pid = run_program("/usr/bin/xdotool", {"search", "--name", "^qiv$", "getwindowpid"}, env, "", 10);
    if (pid.status == 0 && std::atoi(pid.out.c_str()) > 0)
        kill(std::atoi(pid.out.c_str()), SIGTERM);
}

// Runs qiv --windowed under Xvfb in the data folder and closes it by Escape
// or by SIGTERM, as `how` says.
program_result e2e_run_and_close(const std::string& how)
{
    xvfb_server x;
    EXPECT_TRUE(x.ok());
    std::string dir = e2e_data_dir();
    std::vector<std::string> env = e2e_env(x);
    if (how == "escape")
        return xvfb_run_with_escape(x, qiv_path(), {"--windowed"}, env, dir, 60, 0.0);
    std::atomic<bool> done{false};
    std::thread closer([&] {
        // Wait for the window to appear, then close it the chosen way.
        while (!done) {
            program_result r = run_program("/usr/bin/xdotool", {"search", "--name", "^qiv$"}, env, "", 10);
            if (r.status == 0)
                e2e_terminate_window_owner(env);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    program_result r = run_program(qiv_path(), {"--windowed"}, env, dir, 60);
    done = true;
    closer.join();
    return r;
}

// What a full-screen run showed while it ran.
struct e2e_full_screen_seen {
    std::string mode;    // the output's mode once the show switched it
    std::string window;  // the window's geometry in that mode
};

// Ends the run the chosen way: "escape", "close" (a window manager's close
// request) or "sigterm"; "fatal" runs end by themselves.
void e2e_end_run(const xvfb_server& x, const std::vector<std::string>& env, const std::string& how)
{
    if (how == "escape")
        run_program("/usr/bin/xdotool", {"search", "--name", "^qiv$", "windowfocus", "--sync", "key", "Escape"},
                    env, "", 10);
    else if (how == "close")
        x.close_request("qiv");
    else if (how == "sigterm")
        e2e_terminate_window_owner(env);
}

// Runs qiv full screen under x in cwd; once the screen shows 640 x 480 (and
// the window is placed), ends the run as `how` says, again every half second
// until it has ended.
program_result e2e_run_full_screen(const xvfb_server& x, const std::string& how, const std::string& cwd,
                                   const std::vector<std::string>& args, e2e_full_screen_seen& seen)
{
    std::vector<std::string> env = e2e_env(x);
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        using clock = std::chrono::steady_clock;
        auto last = clock::now() - std::chrono::seconds(1);
        clock::time_point switched{};
        // The window is moved and sized after the mode switch; on a busy
        // machine the first look may come between the two, so look again
        // until it is in place (or give up after ten seconds and report it).
        while (!done) {
            bool placed = seen.window == "640x480+0+0" ||
                          (switched != clock::time_point{} && clock::now() - switched > std::chrono::seconds(10));
            if (!placed) {
                std::string mode = x.mode();
                if (mode.rfind("640x480", 0) == 0) {
                    if (switched == clock::time_point{})
                        switched = clock::now();
                    seen.mode = mode;
                    seen.window = x.window_geometry("qiv");
                }
            } else if (clock::now() - last > std::chrono::milliseconds(500)) {
                e2e_end_run(x, env, how);
                last = clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    program_result r = run_program(qiv_path(), args, env, cwd, 60);
    done = true;
    watcher.join();
    return r;
}

}  // namespace

// The show switches the screen to 640 x 480 with its window covering it, and
// every way it ends gives the screen back its 1024 x 768: Escape, a close
// request and SIGTERM with status 0, a missing data file with status 1 and the
// file named.
TEST(WindowE2E, FullScreenSwitchesTo640x480AndEveryEndRestoresTheMode)
{
    std::string fatal_dir = test_temp_dir("full-screen-fatal");
    demo_data_write(fatal_dir + "/data", {true, "qorv.kst"});  // the last file loaded
    for (std::string how : {"escape", "close", "sigterm", "fatal"}) {
        SCOPED_TRACE(how);
        xvfb_server x;
        ASSERT_TRUE(x.ok());
        ASSERT_EQ(x.mode(), "1024x768+0+0");
        e2e_full_screen_seen seen;
        bool fatal = how == "fatal";
        // The missing file is met at the end of a paced loading, so there is time to look.
        program_result r = fatal ? e2e_run_full_screen(x, how, fatal_dir, {"--loading-pace", "100"}, seen)
                                 : e2e_run_full_screen(x, how, e2e_data_dir(), {}, seen);
        EXPECT_FALSE(r.timed_out);
        EXPECT_EQ(r.status, fatal ? 1 : 0) << r.err;
        if (fatal) {
            EXPECT_NE(r.err.find("qorv.kst"), std::string::npos) << r.err;
        }
        EXPECT_EQ(seen.mode, "640x480+0+0");
        EXPECT_EQ(seen.window, "640x480+0+0");
        EXPECT_EQ(x.mode(), "1024x768+0+0");  // the display restored
    }
}

TEST(WindowE2E, EscapeEndsTheRunWithStatusZero)
{
    program_result r = e2e_run_and_close("escape");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(WindowE2E, SigtermEndsTheRunWithStatusZero)
{
    program_result r = e2e_run_and_close("sigterm");
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
}

// Without a display the window programs stop and say so, whether the video
// driver is named or SDL picks one itself (it would fall back to its
// off-screen driver and play where nobody sees).
TEST(WindowE2E, NoDisplayIsAClearErrorWithStatusOne)
{
    program_result r = run_program(qiv_path(), {"--windowed"},
        {"DISPLAY=:199", "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"},
        e2e_data_dir(), 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;

    std::string runtime = test_temp_dir("no-display-runtime");  // no Wayland socket in it
    const std::vector<std::string> unnamed = {"DISPLAY=:199", "WAYLAND_DISPLAY=", "XDG_RUNTIME_DIR=" + runtime,
                                              "SDL_VIDEODRIVER=", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"};
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--windowed"}, {"--desktop"}, {}}) {
        r = run_program(qiv_path(), args, unnamed, e2e_data_dir(), 30);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("no X11 or Wayland display answered (DISPLAY is ':199', WAYLAND_DISPLAY is not set)"),
                  std::string::npos) << r.err;
    }
    r = run_program(kestrel_path(), {"view", e2e_data_dir() + "/crest.kst"}, unnamed, e2e_data_dir(), 30);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no X11 or Wayland display answered"), std::string::npos) << r.err;
}

TEST(CommandLine, HelpVersionAndUsageErrors)
{
    program_result help = run_program(qiv_path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--windowed"), std::string::npos);
    program_result version = run_program(qiv_path(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find("qiv"), std::string::npos);
    program_result bad = run_program(qiv_path(), {"--no-such-option"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_FALSE(bad.err.empty());
}
