// tests/audio/player_test.cpp - the music list and wave player over the real output.
#include <cstring>
#include <filesystem>
#include <set>

#include "audio_fixture.h"
#include "support/random.h"

namespace {

class player_test : public audio_test {
protected:
    void start()
    {
        ASSERT_EQ(BASSINIT(0, nullptr), 0);
        ASSERT_FALSE(BASSNOSOUND);
    }

    // Adds an Ogg file of the given bytes; returns its index.
    int32_t add(const std::string& name, const std::string& bytes)
    {
        return BASSADDMUSIC(file(name, bytes));
    }

    static bool music_active()
    {
        return soundlib_channel_is_active(audio_played()) > 0;
    }
};

}  // namespace

TEST_F(player_test, ListsHandOutIndicesAndRefuseWhatTheyCannotHold)
{
    EXPECT_EQ(BASSNUMBEROFMUSICS, 0xFFFFFFFFu);
    EXPECT_EQ(BASSGETMUSICNAME(0), nullptr);  // empty list: every index names nothing
    EXPECT_FALSE(BASSPLAYMUSIC(0));
    EXPECT_FALSE(BASSPLAYWAVEID(0));
    EXPECT_FALSE(BASSPLAYWAVENAME("boom.wav"));

    EXPECT_EQ(BASSADDMUSIC("data/music.ogg"), 0);
    EXPECT_EQ(BASSADDMUSIC(""), 1);
    EXPECT_EQ(BASSNUMBEROFMUSICS, 1u);
    EXPECT_STREQ(BASSGETMUSICNAME(0), "data/music.ogg");
    EXPECT_EQ(BASSGETMUSICNAME(1), nullptr);  // an empty name keeps no copy
    EXPECT_FALSE(BASSMUSICS[0].FROM);
    EXPECT_EQ(BASSMUSICS[0].SIZE, 0u);
    EXPECT_EQ(BASSGETMUSICNAME(2), nullptr);
    EXPECT_FALSE(BASSPLAYMUSIC(5));
    EXPECT_EQ(BASSCURRENTMUSIC, 0xFFFFFFFFu);
    EXPECT_EQ(BASSPLAYEDMUSIC, 0u);

    static const char block[] = "encoded music";
    EXPECT_EQ(BASSADDMUSICFROMMEM(block, sizeof block), 2);
    EXPECT_TRUE(BASSMUSICS[2].FROM);
    EXPECT_EQ(BASSMUSICS[2].SIZE, sizeof block);
    EXPECT_EQ(BASSGETMUSICNAME(2), block);  // the caller's block, not a copy

    std::string long_name(300, 'x');
    EXPECT_EQ(BASSADDMUSIC(long_name), 3);
    EXPECT_EQ(std::strlen(BASSGETMUSICNAME(3)), 255u);

    // The 33rd music and the 129th wave are refused and nothing is written.
    while (BASSNUMBEROFMUSICS < 31)
        BASSADDMUSIC("more.ogg");
    BASSENTRY last = BASSMUSICS[31];
    EXPECT_EQ(BASSADDMUSIC("one too many.ogg"), -1);
    EXPECT_EQ(BASSADDMUSICFROMMEM(block, 4), -1);
    EXPECT_EQ(BASSNUMBEROFMUSICS, 31u);
    EXPECT_EQ(std::memcmp(&last, &BASSMUSICS[31], sizeof last), 0);
    for (int i = 0; i < 128; i++)
        EXPECT_EQ(BASSADDWAVE("missing.wav"), static_cast<uint32_t>(i));
    EXPECT_EQ(BASSADDWAVE("one too many.wav"), 0xFFFFFFFFu);
    EXPECT_EQ(BASSNUMBEROFWAVES, 127u);

    BASSFREEMUSICLIST();
    EXPECT_EQ(BASSNUMBEROFMUSICS, 0xFFFFFFFFu);
    EXPECT_EQ(BASSGETMUSICNAME(0), nullptr);
    EXPECT_EQ(BASSADDMUSIC("again.ogg"), 0);
}

TEST_F(player_test, NoSoundModeAfterAFailedStartLeavesEverythingAlone)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(BASSINIT(0, nullptr), 2);
    EXPECT_TRUE(BASSNOSOUND);
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    EXPECT_EQ(BASSADDMUSIC(file("a.ogg", audio_short_ogg())), -1);
    EXPECT_EQ(BASSADDMUSICFROMMEM(audio_short_ogg().data(), 100), -1);
    EXPECT_EQ(BASSNUMBEROFMUSICS, 0xFFFFFFFFu);
    EXPECT_FALSE(BASSPLAYMUSIC(0));
    EXPECT_EQ(BASSADDWAVE("x.wav"), 0xFFFFFFFFu);
    EXPECT_EQ(BASSNUMBEROFWAVES, 0xFFFFFFFFu);
    BASSSETPLAYMODE(2);
    EXPECT_EQ(BASSPLAYMODE, 1u);
    EXPECT_EQ(BASSPLAYEDMUSIC, 0u);
    EXPECT_EQ(BASSINIT(0, nullptr), 2);  // stays silent
    EXPECT_EQ(BASSMUSICPOSITION(), SOUNDLIB_ERROR);  // no stream: the library says so
    BASSDONE();
}

TEST_F(player_test, ModeOneRestartsTheTrackWithANewEndHandler)
{
    std::string out = dir + "/out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    start();
    // One second: the test must set mode 0 within the second play, a wide margin.
    std::vector<float> tone = audio_tone(1.0, 440.0, 0.5);
    ASSERT_EQ(add("loop.ogg", audio_ogg_bytes(tone)), 0);
    ASSERT_TRUE(BASSPLAYMUSIC(0));
    uint32_t first = audio_played();

    // The end handler starts a second stream of the same track ...
    ASSERT_TRUE(audio_wait_for([&] { return audio_played() != first; }, 4.0));
    EXPECT_NE(audio_played(), 0u);
    EXPECT_EQ(audio_current(), 0u);
    EXPECT_EQ(soundlib_stream_count(), 1u);  // the ended stream was freed
    BASSSETPLAYMODE(0);                      // ... and that one is the last
    ASSERT_TRUE(audio_wait_for([] { return !music_active(); }, 4.0));
    BASSDONE();

    std::vector<int16_t> samples = audio_read_s16(out);
    int loud = audio_loud_blocks(samples, 441, 8000);  // 100 loud 10 ms blocks per play
    EXPECT_GE(loud, 197);
    EXPECT_LE(loud, 202);
}

TEST_F(player_test, ModeTwoPicksAnotherTrackAndGivesUpWhenNoneStarts)
{
    start();
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(add("t" + std::to_string(i) + ".ogg", audio_long_ogg()), i);
    BASSSETPLAYMODE(2);
    random_seed(7);

    // The handler, run for the current stream, never picks the current track.
    std::set<uint32_t> picked;
    for (int round = 0; round < 20; round++) {
        ASSERT_TRUE(BASSPLAYMUSIC(1));
        BASSLOOPSYNC(0, audio_played(), 0, 0);
        picked.insert(audio_current());
    }
    EXPECT_EQ(picked, (std::set<uint32_t>{0, 2}));

    // A track that ends by itself goes on to another one.
    BASSFREEMUSICLIST();
    ASSERT_EQ(add("a.ogg", audio_long_ogg()), 0);
    ASSERT_EQ(add("b.ogg", audio_short_ogg()), 1);
    ASSERT_TRUE(BASSPLAYMUSIC(1));
    ASSERT_TRUE(audio_wait_for([] { return audio_current() == 0; }, 2.0));
    BASSSETPLAYMODE(0);

    // When no other track can start, the handler tries each once and returns.
    BASSFREEMUSICLIST();
    add("bad0.ogg", "not music");
    ASSERT_EQ(add("good.ogg", audio_long_ogg()), 1);
    add("bad2.ogg", "not music either");
    BASSSETPLAYMODE(2);
    ASSERT_TRUE(BASSPLAYMUSIC(1));
    BASSLOOPSYNC(0, audio_played(), 0, 0);
    EXPECT_EQ(audio_played(), 0u);
    EXPECT_EQ(audio_current(), 1u);

    // A single track that cannot start is tried once.
    BASSFREEMUSICLIST();
    add("gone.ogg", audio_long_ogg());
    ASSERT_TRUE(BASSPLAYMUSIC(0));
    std::filesystem::remove(dir + "/gone.ogg");
    BASSLOOPSYNC(0, audio_played(), 0, 0);
    EXPECT_EQ(audio_played(), 0u);
}

TEST_F(player_test, ModeZeroStopsAndStaleEndsStartNothing)
{
    start();
    ASSERT_EQ(add("short.ogg", audio_short_ogg()), 0);
    ASSERT_EQ(add("long.ogg", audio_long_ogg()), 1);
    BASSSETPLAYMODE(0);
    ASSERT_TRUE(BASSPLAYMUSIC(0));
    uint32_t stream = audio_played();
    ASSERT_TRUE(audio_wait_for([] { return !music_active(); }, 4.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(audio_played(), stream);
    EXPECT_EQ(audio_current(), 0u);
    EXPECT_EQ(BASSMUSICPOSITION(), soundlib_channel_get_position(stream));
    EXPECT_EQ(BASSGETLEVEL(), 0u);

    // The end of a stream that has been replaced since restarts nothing.
    BASSSETPLAYMODE(1);
    ASSERT_TRUE(BASSPLAYMUSIC(1));
    uint32_t current = audio_played();
    BASSLOOPSYNC(0, stream, 0, 0);
    EXPECT_EQ(audio_played(), current);
    EXPECT_EQ(audio_current(), 1u);
}

TEST_F(player_test, MemoryStreamsPlayAndUndecodableFilesFail)
{
    start();
    ASSERT_EQ(BASSADDMUSICFROMMEM(audio_long_ogg().data(), static_cast<uint32_t>(audio_long_ogg().size())), 0);
    ASSERT_EQ(add("broken.ogg", "OggS this is no vorbis"), 1);
    ASSERT_TRUE(BASSPLAYMUSIC(0));
    ASSERT_TRUE(audio_wait_for([] { return BASSMUSICPOSITION() > 0; }, 1.0));

    // The failure stops and frees the playing track and keeps the current index.
    EXPECT_FALSE(BASSPLAYMUSIC(1));
    EXPECT_EQ(audio_played(), 0u);
    EXPECT_EQ(audio_current(), 0u);
    EXPECT_EQ(soundlib_stream_count(), 0u);
}

TEST_F(player_test, PositionGrowsAndLevelShowsALoudPassage)
{
    start();
    std::vector<float> music = audio_silence(0.15);
    std::vector<float> loud = audio_tone(0.45, 330.0, 0.9);
    music.insert(music.end(), loud.begin(), loud.end());
    ASSERT_EQ(add("music.ogg", audio_ogg_bytes(music)), 0);
    BASSSETPLAYMODE(0);
    ASSERT_TRUE(BASSPLAYMUSIC(0));

    uint32_t early = BASSMUSICPOSITION();
    uint32_t level = 0;
    ASSERT_TRUE(audio_wait_for([&] { return ((level = BASSGETLEVEL()) & 0xFFFF) > 20000; }, 2.0));
    EXPECT_EQ(level >> 16, level & 0xFFFF);
    EXPECT_GT(BASSMUSICPOSITION(), early);
    EXPECT_GE(BASSMUSICPOSITION(), 0.15 * 44100 * 2);  // the loud part comes after the silence
}

TEST_F(player_test, WavesFromADirectoryPlayByNameInAnyCase)
{
    start();
    std::string waves = dir + "/waves";
    std::filesystem::create_directories(waves);
    std::string boom = audio_wav_bytes(audio_tone(2.0, 110.0, 0.5));  // long enough to overlap
    write_file(waves + "/boom.wav", boom);
    write_file(waves + "/CLICK.WAV", audio_wav_bytes(audio_tone(0.05, 2000.0, 0.5)));
    write_file(waves + "/broken.Wav", "RIFF and nothing more");
    write_file(waves + "/notes.txt", "not a wave");

    BASSADDWAVESFROMDIR(waves.c_str());
    BASSADDWAVESFROMDIR((dir + "/no such folder").c_str());
    ASSERT_EQ(BASSNUMBEROFWAVES, 2u);
    std::set<std::string> names;
    for (uint32_t i = 0; i <= BASSNUMBEROFWAVES; i++)
        names.insert(BASSWAVES[i].FNAME);
    EXPECT_EQ(names, (std::set<std::string>{waves + "/boom.wav", waves + "/CLICK.WAV", waves + "/broken.Wav"}));

    EXPECT_TRUE(BASSPLAYWAVENAME("boom.wav"));
    EXPECT_TRUE(BASSPLAYWAVENAME("BoOm.WAV"));
    EXPECT_TRUE(BASSPLAYWAVENAME("click.wav"));
    EXPECT_FALSE(BASSPLAYWAVENAME("broken.wav"));  // listed, but it did not load
    EXPECT_FALSE(BASSPLAYWAVENAME("notes.txt"));
    EXPECT_FALSE(BASSPLAYWAVENAME("boom"));

    // A wave that fails to load still takes its index and will not play.
    uint32_t missing = BASSADDWAVE((dir + "/missing.wav").c_str());
    EXPECT_EQ(missing, 3u);
    EXPECT_EQ(BASSWAVES[missing].SAMPLE, 0u);
    EXPECT_FALSE(BASSPLAYWAVEID(missing));
    EXPECT_FALSE(BASSPLAYWAVEID(4));

    // Playing a wave again while it sounds restarts it: one play at a time,
    // never two overlapping, however often it is started.
    uint32_t boom_id = 0;
    while (std::string(BASSWAVES[boom_id].FNAME) != waves + "/boom.wav")
        boom_id++;
    const uint32_t boom_sample = BASSWAVES[boom_id].SAMPLE;
    ASSERT_TRUE(BASSPLAYWAVEID(boom_id));
    EXPECT_EQ(soundlib_sample_plays(boom_sample), 1u);
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(BASSPLAYWAVEID(boom_id));
        EXPECT_EQ(soundlib_sample_plays(boom_sample), 1u) << i;
    }
    EXPECT_EQ(soundlib_channel_is_active(boom_sample), SOUNDLIB_ACTIVE_PLAYING);
    // The count itself sees overlap: two plays started directly sound together.
    soundlib_sample_stop(boom_sample);
    EXPECT_EQ(soundlib_sample_plays(boom_sample), 0u);
    soundlib_sample_play(boom_sample);
    soundlib_sample_play(boom_sample);
    EXPECT_EQ(soundlib_sample_plays(boom_sample), 2u);
}

TEST_F(player_test, ReverbPresetsComeFromTheTable)
{
    int32_t env;
    float   vol, decay, damp;
    BASS_EAXPRESET(8);
    soundlib_get_eax_parameters(env, vol, decay, damp);
    EXPECT_EQ(env, 8);
    EXPECT_FLOAT_EQ(vol, 0.5f);
    EXPECT_FLOAT_EQ(decay, 2.886f);
    EXPECT_FLOAT_EQ(damp, 1.304f);
    BASS_EAXPRESET(25);
    soundlib_get_eax_parameters(env, vol, decay, damp);
    EXPECT_EQ(env, 25);
    EXPECT_FLOAT_EQ(decay, 7.563f);
    BASS_EAXPRESET(26);  // off: the volume drops, the rest stays
    soundlib_get_eax_parameters(env, vol, decay, damp);
    EXPECT_EQ(env, 25);
    EXPECT_FLOAT_EQ(vol, 0.0f);
    EXPECT_FLOAT_EQ(decay, 7.563f);
}

TEST_F(player_test, MusicStartsPartWayInAndWrapsThroughRepeats)
{
    start();
    ASSERT_EQ(add("long.ogg", audio_long_ogg()), 0);  // 0.6 s
    ASSERT_TRUE(bass_play_music_from(0, 250));
    uint32_t at = BASSMUSICPOSITION();
    EXPECT_GE(at, 2u * 11025u);   // 0.25 s in (it may have played on a little)
    EXPECT_LT(at, 2u * 22050u);
    // Mode 1 repeats the track: 1.3 s into the show is 0.1 s into its third play.
    ASSERT_TRUE(bass_play_music_from(0, 1300));
    at = BASSMUSICPOSITION();
    EXPECT_GE(at, 2u * 4410u);
    EXPECT_LT(at, 2u * 15435u);
    EXPECT_TRUE(music_active());
    // Without repeats the track is over by then: nothing sounds.
    BASSSETPLAYMODE(0);
    EXPECT_FALSE(bass_play_music_from(0, 1300));
    EXPECT_FALSE(music_active());
    EXPECT_TRUE(bass_play_music_from(0, 0));  // from the start, as BASSPLAYMUSIC
    EXPECT_TRUE(music_active());
}
