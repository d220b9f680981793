// qiv --start: the show played from the middle, in real time, off screen.
// The benchmark summary shows which segments drew frames, so a start late in
// the show must leave every earlier segment at 0 frames; SDL's disk audio
// driver records what was heard, so the music can be checked to start at the
// same moment.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "audio_files.h"
#include "demo_data.h"
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

TEST(StartE2E, TheMusicStartsAtTheSameMoment)
{
    // Ten seconds of music, loud for five, then soft for five; it repeats
    // through the show, so 127 s in is 7 s into it: what sounds first is 3 s
    // of the soft part, then the loud part (from the start it would be loud at once).
    std::string dir = test_temp_dir("start-music");
    demo_data_write(dir + "/data");
    std::vector<float> music = audio_tone(5.0, 440.0, 0.8);
    std::vector<float> soft = audio_tone(5.0, 440.0, 0.1);
    music.insert(music.end(), soft.begin(), soft.end());
    audio_write_wav(dir + "/data/music.ogg", music);  // WAV data decodes too, to the exact length
    std::string out = dir + "/sound.raw";
    std::vector<std::string> env = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=disk",
                                    "SDL_DISKAUDIOFILE=" + out, "QIV_NO_MESSAGE_BOX=1"};
    program_result r = run_program(qiv_path(), {"--windowed", "--start", "127000"}, env, dir, 60);
    ASSERT_EQ(r.status, 0) << r.err;
    // The file holds what was mixed, silence while loading included; count in 10 ms blocks.
    std::vector<int16_t> sound = audio_read_s16(out);
    auto first_block = [&](int threshold) {
        for (size_t b = 0; (b + 1) * 441 <= sound.size(); ++b)
            for (size_t i = b * 441; i < (b + 1) * 441; ++i)
                if (std::abs(sound[i]) >= threshold)
                    return static_cast<int>(b);
        return -1;
    };
    int music_start = first_block(1000), loud = first_block(12000);
    ASSERT_GE(music_start, 0);
    ASSERT_GT(loud, 0) << "the run ended before the music came round";
    EXPECT_NEAR(loud - music_start, 300, 8);
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
