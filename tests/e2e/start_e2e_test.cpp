// qiv --start: the show played from the middle, in real time, off screen.
// The benchmark summary shows which segments drew frames, so a start late in
// the show must leave every earlier segment at 0 frames.
#include <gtest/gtest.h>

#include <chrono>

#include "e2e_data.h"
#include "process.h"

namespace {

const std::vector<std::string> START_ENV = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                            "QIV_NO_MESSAGE_BOX=1"};

// Frames the "-bmark" summary gives segment s, or -1 when its line is missing.
int summary_frames(const std::string& out, int s)
{
    std::string key = "segment " + std::to_string(s) + ": ";
    size_t at = out.find(key);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
}

}  // namespace

TEST(StartE2E, ALateStartDrawsOnlyTheSegmentsFromThere)
{
    auto begin = std::chrono::steady_clock::now();
    program_result r = run_program(qiv_path(), {"-bmark", "--windowed", "--start", "127500", "--verbose"},
                                   START_ENV, e2e_data_dir(), 60);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ASSERT_EQ(r.status, 0) << r.err;
    for (int s = 1; s <= 5; ++s)
        EXPECT_EQ(summary_frames(r.out, s), 0) << r.out;
    EXPECT_GT(summary_frames(r.out, 6), 0) << r.out;
    EXPECT_NE(r.err.find("qiv: starting at 127500 ms in segment 6"), std::string::npos) << r.err;
    EXPECT_LT(seconds, 30.0);  // four seconds of show, not the whole of it
}

TEST(StartE2E, StartCombinesOnlyWithTheRealTimeShow)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--start", "131500"}, std::vector<std::string>{"--start", "x"},
          std::vector<std::string>{"--start", "1000", "--capture", "out"},
          std::vector<std::string>{"--start", "1000", "--frame", "5", "-o", "x.png"},
          std::vector<std::string>{"--start", "1000", "--timedemo"}})
        EXPECT_EQ(run_program(qiv_path(), args, START_ENV, e2e_data_dir(), 30).status, 2) << args[1];
    program_result help = run_program(qiv_path(), {"--help"}, START_ENV, "", 30);
    EXPECT_NE(help.out.find("--start"), std::string::npos);
}
