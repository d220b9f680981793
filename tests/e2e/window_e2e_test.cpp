// Whole-program tests of qiv's window: a real X window under Xvfb, closed by
// Escape through xdotool or by SIGTERM; the command line; no display at all.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

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

// Runs qiv --windowed under Xvfb in the data folder and lets `act` close it.
program_result e2e_run_and_close(const std::string& how)
{
    xvfb_server x;
    EXPECT_TRUE(x.ok());
    std::string dir = e2e_data_dir();
    std::vector<std::string> env = e2e_env(x);
    std::atomic<bool> done{false};
    std::thread closer([&] {
        // Wait for the window to appear, then close it the chosen way.
        while (!done) {
            program_result r = run_program("/usr/bin/xdotool", {"search", "--name", "^qiv$"}, env, "", 10);
            if (r.status == 0) {
                if (how == "escape")
                    run_program("/usr/bin/xdotool",
                                {"search", "--name", "^qiv$", "windowfocus", "--sync", "key", "Escape"},
                                env, "", 10);
                else
                    e2e_terminate_window_owner(env);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    program_result r = run_program(qiv_path(), {"--windowed"}, env, dir, 60);
    done = true;
    closer.join();
    return r;
}

}  // namespace

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

TEST(WindowE2E, NoDisplayIsAClearErrorWithStatusOne)
{
    program_result r = run_program(qiv_path(), {"--windowed"},
        {"DISPLAY=:199", "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "QIV_NO_MESSAGE_BOX=1"},
        e2e_data_dir(), 30);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
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
