// tests/audio/soundlib_test.cpp - the sound library over SDL2_mixer, on its own.
#include <atomic>
#include <mutex>
#include <vector>

#include "audio_fixture.h"

namespace {

struct sync_call {
    uint32_t        handle, channel, data, user;
    std::thread::id thread;
};

std::mutex             sync_mutex;
std::vector<sync_call> sync_calls;
std::atomic<int>       sync_replays{0};  // how many more times the procedure restarts its stream

void record_sync(uint32_t handle, uint32_t channel, uint32_t data, uint32_t user)
{
    {
        std::lock_guard<std::mutex> lock(sync_mutex);
        sync_calls.push_back({handle, channel, data, user, std::this_thread::get_id()});
    }
    if (sync_replays.fetch_sub(1) > 0)
        soundlib_stream_play(channel, true, 0);  // calling back in from the procedure
}

size_t sync_count()
{
    std::lock_guard<std::mutex> lock(sync_mutex);
    return sync_calls.size();
}

class soundlib_test : public audio_test {
protected:
    void SetUp() override
    {
        audio_test::SetUp();
        std::lock_guard<std::mutex> lock(sync_mutex);
        sync_calls.clear();
        sync_replays = 0;
    }

    void open()
    {
        ASSERT_TRUE(soundlib_init(0, 44100, SOUNDLIB_DEVICE_MONO, nullptr));
        ASSERT_TRUE(soundlib_start());
    }
};

}  // namespace

TEST_F(soundlib_test, OpensTheOutputOnlyOnceAndOnlyWhereItCan)
{
    EXPECT_EQ(soundlib_get_version(), 0x00050001u);
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(soundlib_init(0, 44100, SOUNDLIB_DEVICE_MONO, nullptr));
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_FALSE(soundlib_init(4000, 44100, SOUNDLIB_DEVICE_MONO, nullptr));  // no such device
    EXPECT_EQ(soundlib_stream_create_file(true, audio_short_ogg().data(), 0, 1000, 0), 0u);  // not open

    ASSERT_TRUE(soundlib_init(0, 44100, SOUNDLIB_DEVICE_MONO, nullptr));
    EXPECT_FALSE(soundlib_init(0, 44100, SOUNDLIB_DEVICE_MONO, nullptr));
    EXPECT_TRUE(soundlib_free());
    EXPECT_FALSE(soundlib_free());
    ASSERT_TRUE(soundlib_init(0, 44100, SOUNDLIB_DEVICE_MONO, nullptr));  // and again after a release
}

TEST_F(soundlib_test, StreamsDecodeFromFilesAndMemoryAndRefuseTheRest)
{
    open();
    std::vector<float> tone = audio_tone(0.1, 440.0, 0.5);
    std::string        wav = file("tone.wav", audio_wav_bytes(tone));
    std::string        ogg = file("tone.ogg", audio_short_ogg());
    std::string        bad = file("bad.ogg", "OggS but not really a Vorbis stream at all");

    uint32_t from_wav = soundlib_stream_create_file(false, wav.c_str(), 0, 0, 0);
    uint32_t from_ogg = soundlib_stream_create_file(false, ogg.c_str(), 0, 0, 0);
    uint32_t from_mem = soundlib_stream_create_file(true, audio_short_ogg().data(), 0,
                                                    static_cast<uint32_t>(audio_short_ogg().size()), 0);
    EXPECT_NE(from_wav, 0u);
    EXPECT_NE(from_ogg, 0u);
    EXPECT_NE(from_mem, 0u);
    EXPECT_EQ(soundlib_stream_count(), 3u);
    EXPECT_EQ(soundlib_stream_create_file(false, bad.c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(soundlib_stream_create_file(false, (dir + "/missing.ogg").c_str(), 0, 0, 0), 0u);
    EXPECT_EQ(soundlib_stream_create_file(false, nullptr, 0, 0, 0), 0u);
    EXPECT_EQ(soundlib_stream_create_file(true, audio_short_ogg().data(), 0, 0, 0), 0u);  // no length
    EXPECT_EQ(soundlib_stream_count(), 3u);

    // Nothing plays before it is asked to; position counts output bytes.
    EXPECT_EQ(soundlib_channel_is_active(from_wav), SOUNDLIB_ACTIVE_STOPPED);
    EXPECT_EQ(soundlib_channel_get_position(from_wav), 0u);
    EXPECT_EQ(soundlib_channel_get_position(12345678), SOUNDLIB_ERROR);
    ASSERT_TRUE(soundlib_stream_play(from_wav, true, 0));
    EXPECT_EQ(soundlib_channel_is_active(from_wav), SOUNDLIB_ACTIVE_PLAYING);
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_is_active(from_wav) == 0; }, 2.0));
    EXPECT_EQ(soundlib_channel_get_position(from_wav), tone.size() * 2);  // 16-bit mono
    EXPECT_EQ(soundlib_channel_get_level(from_wav), 0u);                  // silent once ended

    EXPECT_TRUE(soundlib_stream_free(from_ogg));
    EXPECT_FALSE(soundlib_stream_free(from_ogg));
    EXPECT_EQ(soundlib_stream_count(), 2u);
}

TEST_F(soundlib_test, EndSyncRunsOncePerEndOnTheLibrarysThread)
{
    open();
    uint32_t stream = soundlib_stream_create_file(true, audio_short_ogg().data(), 0,
                                                  static_cast<uint32_t>(audio_short_ogg().size()), 0);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(soundlib_channel_set_sync(stream, 1, 0, record_sync, 0), 0u);  // only end syncs
    uint32_t sync = soundlib_channel_set_sync(stream, SOUNDLIB_SYNC_END, 0, record_sync, 77);
    ASSERT_NE(sync, 0u);

    sync_replays = 1;  // the procedure restarts the stream once: two ends in all
    ASSERT_TRUE(soundlib_stream_play(stream, true, 0));
    ASSERT_TRUE(audio_wait_for([] { return sync_count() >= 2; }, 3.0));
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_is_active(stream) == 0; }, 1.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    std::lock_guard<std::mutex> lock(sync_mutex);
    ASSERT_EQ(sync_calls.size(), 2u);
    for (const sync_call& c : sync_calls) {
        EXPECT_EQ(c.handle, sync);
        EXPECT_EQ(c.channel, stream);
        EXPECT_EQ(c.data, 0u);
        EXPECT_EQ(c.user, 77u);
        EXPECT_NE(c.thread, std::this_thread::get_id());
    }
}

TEST_F(soundlib_test, StopSilencesEverythingWithoutEndSyncsAndStartResumes)
{
    open();
    uint32_t stream = soundlib_stream_create_file(true, audio_long_ogg().data(), 0,
                                                  static_cast<uint32_t>(audio_long_ogg().size()), 0);
    ASSERT_NE(stream, 0u);
    soundlib_channel_set_sync(stream, SOUNDLIB_SYNC_END, 0, record_sync, 0);
    std::string wav = file("click.wav", audio_wav_bytes(audio_tone(0.5, 880.0, 0.5)));
    uint32_t    sample = soundlib_sample_load(false, wav.c_str(), 0, 0, 10, 0);
    ASSERT_NE(sample, 0u);

    ASSERT_TRUE(soundlib_stream_play(stream, true, 0));
    ASSERT_NE(soundlib_sample_play(sample), 0u);
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_get_position(stream) > 0; }, 1.0));
    ASSERT_TRUE(soundlib_stop());
    EXPECT_EQ(soundlib_channel_is_active(stream), SOUNDLIB_ACTIVE_STOPPED);
    EXPECT_EQ(soundlib_channel_is_active(sample), SOUNDLIB_ACTIVE_STOPPED);
    uint32_t stopped_at = soundlib_channel_get_position(stream);

    // While the output is stopped nothing advances, even a stream told to play.
    ASSERT_TRUE(soundlib_stream_play(stream, false, 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(soundlib_channel_get_position(stream), stopped_at);

    ASSERT_TRUE(soundlib_start());
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_get_position(stream) > stopped_at; }, 1.0));
    ASSERT_TRUE(soundlib_stop());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // longer than the stream
    EXPECT_EQ(sync_count(), 0u);
}

TEST_F(soundlib_test, SamplesSoundManyTimesAtOnceUpToTheirLimit)
{
    open();
    std::string wav = file("boom.wav", audio_wav_bytes(audio_tone(0.5, 220.0, 0.3)));
    uint32_t    limited = soundlib_sample_load(false, wav.c_str(), 0, 0, 3, 0);
    uint32_t    many = soundlib_sample_load(false, wav.c_str(), 0, 0, 65535, 0);
    ASSERT_NE(limited, 0u);
    ASSERT_NE(many, 0u);
    EXPECT_EQ(soundlib_sample_load(false, wav.c_str(), 0, 0, 0, 0), 0u);  // no plays allowed at all
    EXPECT_EQ(soundlib_sample_load(false, (dir + "/none.wav").c_str(), 0, 0, 5, 0), 0u);
    EXPECT_EQ(soundlib_sample_play(0), 0u);

    std::vector<uint32_t> plays;
    for (int i = 0; i < 3; i++)
        plays.push_back(soundlib_sample_play(limited));
    EXPECT_EQ(soundlib_sample_play(limited), 0u);
    for (int i = 0; i < 500; i++)
        plays.push_back(soundlib_sample_play(many));
    std::sort(plays.begin(), plays.end());
    EXPECT_EQ(plays.front() != 0 && std::adjacent_find(plays.begin(), plays.end()) == plays.end(), true);
    EXPECT_EQ(soundlib_channel_is_active(plays.back()), SOUNDLIB_ACTIVE_PLAYING);

    EXPECT_TRUE(soundlib_sample_stop(limited));
    EXPECT_EQ(soundlib_channel_is_active(limited), SOUNDLIB_ACTIVE_STOPPED);
    EXPECT_EQ(soundlib_channel_is_active(many), SOUNDLIB_ACTIVE_PLAYING);
    EXPECT_NE(soundlib_sample_play(limited), 0u);  // room again
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_is_active(many) == 0; }, 3.0));
}

TEST_F(soundlib_test, DiskOutputHoldsTheMixAndTheLevelFollowsIt)
{
    std::string out = dir + "/out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    open();
    std::vector<float> tone = audio_tone(0.3, 440.0, 0.5);
    std::string        wav = audio_wav_bytes(tone);
    uint32_t stream = soundlib_stream_create_file(true, wav.data(), 0, static_cast<uint32_t>(wav.size()), 0);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(soundlib_stream_play(stream, true, 0));
    uint32_t level = 0;
    ASSERT_TRUE(audio_wait_for([&] { return (level = soundlib_channel_get_level(stream)) > 0; }, 1.0));
    EXPECT_EQ(level & 0xFFFF, level >> 16);  // mono: both sides alike
    EXPECT_NEAR(static_cast<double>(level & 0xFFFF), 0.5 * 32767, 300.0);
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_is_active(stream) == 0; }, 2.0));
    soundlib_free();

    std::vector<int16_t> samples = audio_read_s16(out);
    int loud = audio_loud_blocks(samples, 441, 8000);  // 10 ms blocks
    EXPECT_GE(loud, 28);
    EXPECT_LE(loud, 31);
}

TEST_F(soundlib_test, SetPositionPlaysAStreamFromTheMiddle)
{
    std::string out = dir + "/seek.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    open();
    // 0.4 s loud, then 0.4 s quiet: played from 0.4 s, only the quiet part sounds.
    std::vector<float> signal = audio_tone(0.4, 440.0, 0.8);
    std::vector<float> quiet = audio_tone(0.4, 440.0, 0.2);
    signal.insert(signal.end(), quiet.begin(), quiet.end());
    std::string wav = audio_wav_bytes(signal);
    uint32_t stream = soundlib_stream_create_file(true, wav.data(), 0, static_cast<uint32_t>(wav.size()), 0);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(soundlib_channel_get_length(stream), 2u * 35280u);  // mono 16-bit, 0.8 s
    EXPECT_EQ(soundlib_channel_seconds2bytes(stream, 0.4), 35280u);
    EXPECT_EQ(soundlib_channel_seconds2bytes(stream, 1e12), 0xFFFFFFFEu);
    EXPECT_EQ(soundlib_channel_seconds2bytes(0, 0.4), SOUNDLIB_ERROR);
    EXPECT_FALSE(soundlib_channel_set_position(stream, 2u * 35280u + 2u));  // past the end
    EXPECT_FALSE(soundlib_channel_set_position(0, 0));
    ASSERT_TRUE(soundlib_channel_set_position(stream, 35281u));  // rounded to a whole sample
    EXPECT_EQ(soundlib_channel_get_position(stream), 35280u);
    ASSERT_TRUE(soundlib_stream_play(stream, false, 0));
    ASSERT_TRUE(audio_wait_for([&] { return soundlib_channel_is_active(stream) == 0; }, 2.0));
    soundlib_free();

    std::vector<int16_t> samples = audio_read_s16(out);
    EXPECT_EQ(audio_loud_blocks(samples, 441, 12000), 0);  // nothing of the loud part
    int heard = audio_loud_blocks(samples, 441, 4000);      // the quiet part, 40 blocks of 10 ms
    EXPECT_GE(heard, 38);
    EXPECT_LE(heard, 41);
}
