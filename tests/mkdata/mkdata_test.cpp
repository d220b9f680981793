// tests/mkdata/mkdata_test.cpp - the generated production: files, layers, music, determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "mkdata_fixture.h"
#include "process.h"

namespace fs = std::filesystem;

static uintmax_t file_size_or_zero(const std::string& path)
{
    std::error_code ec;
    uintmax_t n = fs::file_size(path, ec);
    return ec ? 0 : n;
}

// Every file the shell opens is there, and every layer file reads strictly,
// comments and all, names textures of a valid size, and keeps its keys in
// frame order within the segment's frames.
TEST(Mkdata, LayerFilesAreCompleteAndNameValidTextures)
{
    std::string dir = mkdata_shared_dir();
    for (const std::string& stem : MKDATA_SCENE_STEMS)
        EXPECT_GT(file_size_or_zero(dir + "/" + stem + ".kst"), 0u) << stem;
    EXPECT_GT(file_size_or_zero(dir + "/music.ogg"), 100000u);
    for (const std::string& stem : MKDATA_LAYER_STEMS) {
        std::string error;
        mkdata_ife f = mkdata_read_ife(dir + "/" + stem + ".ife", error);
        ASSERT_EQ(error, "") << stem;
        EXPECT_FALSE(f.layers.empty()) << stem;
        EXPECT_GT(f.comments, int(f.layers.size())) << stem << ": every layer says what it is";
        for (const mkdata_layer& l : f.layers) {
            uintmax_t size = file_size_or_zero(dir + "/" + mkdata_raw_name(l.texture));
            EXPECT_TRUE(size == 196608 || size == 262144) << stem << ": " << l.texture << " has " << size << " bytes";
            EXPECT_GE(l.blend, 0);
            EXPECT_LE(l.blend, 4);
            for (size_t k = 0; k < l.keys.size(); ++k) {
                EXPECT_GE(l.keys[k].frame, -1) << stem;
                EXPECT_LE(l.keys[k].frame, 1000) << stem;
                EXPECT_LE(l.keys[k].mode, 2);
                if (k > 0) {
                    EXPECT_LT(l.keys[k - 1].frame, l.keys[k].frame) << stem << ": keys out of order";
                }
                // The drumcrash flash alone runs its colour past 0 and 255 (GL
                // clamps it) so that it lights up between two whole key frames.
                bool flash = stem == "drumcrash" && l.blend == 1;
                for (float c : {l.keys[k].r, l.keys[k].g, l.keys[k].b}) {
                    EXPECT_GE(c, flash ? -1e5f : 0.0f) << stem;
                    EXPECT_LE(c, flash ? 1e5f : 255.0f) << stem;
                }
                EXPECT_GE(l.keys[k].a, 0.0f);
                EXPECT_LE(l.keys[k].a, 255.0f);
            }
        }
    }
}

// The loading screen moves over its 27 steps: some layer grows from the first
// step (frame 37) to the last (frame 999).
TEST(Mkdata, LoadingScreenShowsProgressOverItsSteps)
{
    std::string error;
    mkdata_ife f = mkdata_read_ife(mkdata_shared_dir() + "/loading.ife", error);
    ASSERT_EQ(error, "");
    auto width_at = [](const mkdata_layer& l, float frame) {
        const mkdata_key* a = &l.keys.front();
        const mkdata_key* b = &l.keys.back();
        for (const mkdata_key& k : l.keys) {
            if (k.frame <= frame)
                a = &k;
        }
        for (auto it = l.keys.rbegin(); it != l.keys.rend(); ++it)
            if (it->frame >= frame)
                b = &*it;
        float t = b->frame == a->frame ? 0 : (frame - a->frame) / float(b->frame - a->frame);
        return a->w + (b->w - a->w) * t;
    };
    bool progress = false;
    for (const mkdata_layer& l : f.layers) {
        float first = width_at(l, 37), last = width_at(l, 999);
        bool growing = true;
        for (int step = 2; step <= 27; ++step)
            growing = growing && width_at(l, step * 37.0f) > width_at(l, (step - 1) * 37.0f);
        if (growing && first > 0 && last >= 700)
            progress = true;
    }
    EXPECT_TRUE(progress);
}

// Ogg Vorbis, mono, 44.1 kHz, long enough for the whole show, audible in every
// segment (no quiet stretch over half a second before 130 s), and with a part
// of its own per section.
TEST(Mkdata, MusicIsLongMonoAndNeverSilentBeforeTheEnd)
{
    long rate = 0;
    int channels = 0;
    std::vector<float> pcm = mkdata_decode_ogg(mkdata_shared_dir() + "/music.ogg", rate, channels);
    ASSERT_EQ(rate, 44100);
    EXPECT_EQ(channels, 1);
    EXPECT_GE(pcm.size(), size_t(131.5 * 44100));
    size_t window = 441, quiet = 0, longest = 0;
    for (size_t i = 0; i + window <= size_t(130.0 * rate); i += window) {
        double e = 0;
        for (size_t k = i; k < i + window; ++k)
            e += double(pcm[k]) * pcm[k];
        quiet = std::sqrt(e / window) < 1e-3 ? quiet + 1 : 0;
        longest = std::max(longest, quiet);
    }
    EXPECT_LE(longest * window, size_t(0.5 * rate)) << "silent stretch of " << longest * 10 << " ms";

    const double starts[7] = {0, 15, 40, 64, 96, 114, 130};
    std::vector<double> rms;
    for (int s = 0; s < 6; ++s) {
        double e = 0;
        size_t a = size_t(starts[s] * rate), b = size_t(starts[s + 1] * rate);
        for (size_t k = a; k < b; ++k)
            e += double(pcm[k]) * pcm[k];
        rms.push_back(std::sqrt(e / (b - a)));
    }
    for (int s = 1; s < 6; ++s)
        EXPECT_GT(std::fabs(rms[s] - rms[s - 1]), 0.03 * std::max(rms[s], rms[s - 1]))
            << "sections " << s - 1 << " and " << s << " sound alike";
}

// The drumcrash layer flashes over the whole run, and every flash lands on a
// crash hit of the music: a burst of high-frequency energy within a frame of
// the flash's peak.
TEST(Mkdata, DrumcrashFlashesFallOnTheMusicsCrashHits)
{
    std::string error;
    mkdata_ife f = mkdata_read_ife(mkdata_shared_dir() + "/drumcrash.ife", error);
    ASSERT_EQ(error, "");
    long rate = 0;
    int channels = 0;
    std::vector<float> pcm = mkdata_decode_ogg(mkdata_shared_dir() + "/music.ogg", rate, channels);
    ASSERT_EQ(rate, 44100);
    auto hf = [&](double t0, double t1) {  // mean energy of the first difference
        double e = 0;
        size_t a = size_t(std::max(0.0, t0) * rate) + 1, b = size_t(t1 * rate);
        for (size_t k = a; k < b && k < pcm.size(); ++k)
            e += double(pcm[k] - pcm[k - 1]) * (pcm[k] - pcm[k - 1]);
        return e / double(b - a);
    };
    std::vector<int> peaks;
    for (const mkdata_layer& l : f.layers)
        if (l.blend == 1)
            for (const mkdata_key& k : l.keys)
                if (k.r > 100)
                    peaks.push_back(k.frame);
    ASSERT_GE(peaks.size(), 6u);
    EXPECT_LT(peaks.front(), 200);
    EXPECT_GT(peaks.back(), 900);
    for (int p : peaks) {
        double t = p * 131.5 / 1000.0;
        // Against the same beat one bar (2 s) earlier, which has the same drums but no crash.
        double at = hf(t - 0.07, t + 0.3), bar_before = hf(t - 2.07, t - 1.7);
        EXPECT_GT(at, 1.5 * bar_before) << "no crash near flash frame " << p << " (" << t << " s)";
    }
}

// Same seed, same bytes: a second run gives the shared set again, file for
// file. Also: progress on stderr, and a usage error without an output folder.
TEST(Mkdata, SameSeedGivesTheSameBytes)
{
    std::string shared = mkdata_shared_dir();
    std::string again = test_temp_dir("mkdata-again");
    program_result r = run_program(mkdata_path(), {again, "--seed", "1"}, {}, "", 120);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("qiv-mkdata: "), std::string::npos);
    EXPECT_NE(r.err.find("scene hipoly"), std::string::npos);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(again))
        names.insert(e.path().filename().string());
    for (const auto& e : fs::directory_iterator(shared))
        if (e.path().filename() != ".stamp")
            names.insert(e.path().filename().string());
    EXPECT_GE(names.size(), 15u + 6u + 1u);
    for (const std::string& n : names) {
        std::string fa = read_file(again + "/" + n), fb = read_file(shared + "/" + n);
        EXPECT_FALSE(fa.empty()) << n;
        EXPECT_TRUE(fa == fb) << n << " differs between two runs with the same seed";
    }

    program_result usage = run_program(mkdata_path(), {}, {}, "", 30);
    EXPECT_EQ(usage.status, 2);
}
