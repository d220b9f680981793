// tests/audio/audio_fixture.h - shared set-up for the audio tests.
//
// Every test starts with the player and the sound library in their initial
// state and SDL's dummy audio driver (time passes in real time, nothing is
// heard); tests that must hear the output switch to the disk driver, which
// writes the mixed samples to a file. The test sounds are synthesised once per
// process and kept short, so that a track ends within a few tenths of a second.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "audio/player.h"
#include "audio/soundlib.h"
#include "audio_files.h"
#include "process.h"

// Polls pred every 5 ms until it holds or `seconds` have passed.
inline bool audio_wait_for(const std::function<bool()>& pred, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

// The player's globals read under the player's lock.
inline uint32_t audio_played()
{
    auto lock = bass_lock();
    return BASSPLAYEDMUSIC;
}

inline uint32_t audio_current()
{
    auto lock = bass_lock();
    return BASSCURRENTMUSIC;
}

// Short test sounds, made once: a loud 440 Hz tone of 0.25 s and of 0.6 s.
inline const std::string& audio_short_ogg()
{
    static const std::string bytes = audio_ogg_bytes(audio_tone(0.25, 440.0, 0.8));
    return bytes;
}

inline const std::string& audio_long_ogg()
{
    static const std::string bytes = audio_ogg_bytes(audio_tone(0.6, 440.0, 0.8));
    return bytes;
}

class audio_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        bass_reset();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = test_temp_dir(std::string("audio_") + info->name());
    }

    void TearDown() override
    {
        BASSDONE();
        soundlib_free();
        bass_reset();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SDL_DISKAUDIOFILE");
    }

    std::string file(const std::string& name, const std::string& bytes)
    {
        std::string path = dir + "/" + name;
        write_file(path, bytes);
        return path;
    }

    std::string dir;
};
