// tests/mkdata/mkdata_sound_test.cpp - the show's sound: loudness, peaks, and crashes in sync with the flashes.
//
// Loudness and true peak are measured by ffmpeg's ebur128 filter, an
// implementation independent of the generator's own meter. The sync test
// finds each crash twice, independently: its onset in the decoded music (the
// moment where the high-frequency energy of the next 60 ms rises most over
// that of the 60 ms before), and the first bright frame of its flash in a
// short capture of qiv at 30 fps around it. The two must agree within a frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <regex>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "mkdata_fixture.h"
#include "process.h"

namespace {

constexpr int    SOUND_FPS = 30;
constexpr double SOUND_FRAME_MS = 1000.0 / SOUND_FPS;
constexpr double SOUND_DRUMCRASH_MS = 131.5;   // ms per drumcrash layer frame

// The last value of a summary line "NAME: value" in ffmpeg's ebur128 report.
double sound_summary_value(const std::string& report, const std::string& name)
{
    std::regex line("\\n\\s*" + name + ":\\s+(-?[0-9.]+|-inf)");
    double value = NAN;
    for (auto it = std::sregex_iterator(report.begin(), report.end(), line); it != std::sregex_iterator(); ++it)
        value = (*it)[1] == "-inf" ? -INFINITY : std::stod((*it)[1]);
    return value;
}

// Centres (ms) of the flashes the drumcrash layer file holds: the first
// bright key of every run of bright keys.
std::vector<double> sound_flash_centres()
{
    std::string error;
    mkdata_ife f = mkdata_read_ife(mkdata_shared_dir() + "/drumcrash.ife", error);
    EXPECT_EQ(error, "");
    std::vector<double> centres;
    for (const mkdata_layer& l : f.layers) {
        if (l.blend != 1)
            continue;
        bool bright_before = false;
        for (const mkdata_key& k : l.keys) {
            bool bright = k.r > 100;
            if (bright && !bright_before)
                centres.push_back(k.frame * SOUND_DRUMCRASH_MS);
            bright_before = bright;
        }
    }
    return centres;
}

// The crash's onset in ms within [from, to]. The high-frequency energy (of the
// second difference) is taken in 5 ms windows at 1 ms steps; a crash is the
// one sound that stays loud there: its "sustain" at t, the quietest window in
// the 150 ms from t, rises at the onset from the dips between drum hits to
// the cymbal's level. The onset is the first t whose sustain reaches half the
// highest in the range, so a snare fill just before the crash does not count.
double sound_onset_ms(const std::vector<float>& pcm, long rate, double from, double to)
{
    size_t first = size_t(std::max(0.0, from) * rate / 1000.0), last = size_t((to + 160) * rate / 1000.0);
    last = std::min(last, pcm.size());
    std::vector<double> sum(1, 0.0);  // prefix sums of the squared second difference
    for (size_t i = first; i < last; ++i) {
        double d = i >= 2 ? double(pcm[i]) - 2.0 * pcm[i - 1] + pcm[i - 2] : 0.0;
        sum.push_back(sum.back() + d * d);
    }
    auto energy = [&](double ms) {  // 5 ms window from ms
        size_t a = size_t(ms * rate / 1000.0) - first, b = a + size_t(0.005 * rate);
        return b < sum.size() ? sum[b] - sum[a] : 0.0;
    };
    std::vector<double> env;
    for (double ms = from; ms <= to + 150; ms += 1.0)
        env.push_back(energy(ms));
    std::vector<double> sustain;
    for (size_t k = 0; k + 150 < env.size(); ++k)
        sustain.push_back(*std::min_element(env.begin() + long(k), env.begin() + long(k + 150)));
    double top = *std::max_element(sustain.begin(), sustain.end());
    for (size_t k = 0; k < sustain.size(); ++k)
        if (sustain[k] >= 0.5 * top)
            return from + double(k);
    return from;
}

double sound_mean_brightness(const std::string& png)
{
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(png.c_str(), &w, &h, &n, 3);
    if (!data)
        return NAN;
    double sum = 0;
    for (size_t i = 0; i < size_t(w) * h * 3; ++i)
        sum += data[i];
    stbi_image_free(data);
    return sum / (double(w) * h * 3);
}

struct sound_flash {
    double centre_ms = 0;
    double first_bright_ms = NAN;   // NAN: no flash found
    bool   washed_out = false;      // the screen was white before it: not visible
    std::string problem;
};

// Captures [centre - 300, centre + 100] ms at 30 fps and finds the first
// frame whose mean brightness jumps by more than 40 (of 255) over the last.
sound_flash sound_find_flash(double centre_ms, const std::string& out_root)
{
    sound_flash f;
    f.centre_ms = centre_ms;
    uint32_t from = uint32_t(std::max(0.0, centre_ms - 300)), to = uint32_t(centre_ms + 100);
    std::string out = out_root + "/" + std::to_string(from);
    program_result r = run_program(qiv_path(), {"--data", mkdata_shared_dir(), "--capture", out, "--fps",
                                                std::to_string(SOUND_FPS), "--from", std::to_string(from),
                                                "--to", std::to_string(to)},
                                   {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", "LIBGL_ALWAYS_SOFTWARE=1"},
                                   "", 120);
    if (r.status != 0) {
        f.problem = "capture failed: " + r.err;
        return f;
    }
    int64_t first = (int64_t(from) * SOUND_FPS + 999) / 1000, last = int64_t(to) * SOUND_FPS / 1000;
    std::vector<std::pair<double, double>> frames;  // time, brightness
    for (int64_t n = first; n <= last; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(n));
        frames.push_back({double(n * 1000 / SOUND_FPS), sound_mean_brightness(out + name)});
    }
    // The flash is a jump (0 to full in 4 ms); fades change a little per frame.
    double before = frames.front().second;
    for (size_t k = 1; k < frames.size(); ++k) {
        if (frames[k].second - frames[k - 1].second > 40) {
            f.first_bright_ms = frames[k].first;
            return f;
        }
        if (frames[k].first < centre_ms - 140)
            before = std::max(before, frames[k].second);
    }
    if (before > 200)
        f.washed_out = true;  // the picture is white already: no flash can show
    else
        f.problem = "no flash found";
    return f;
}

}  // namespace

// About -14 LUFS integrated, true peak at or below -1 dBTP, as ffmpeg measures
// the file qiv plays.
TEST(MkdataSound, MusicIsAtMinus14LufsWithTruePeakBelowMinus1)
{
    program_result r = run_program("/usr/bin/ffmpeg", {"-hide_banner", "-nostats", "-i",
                                                       mkdata_shared_dir() + "/music.ogg", "-af",
                                                       "ebur128=peak=true", "-f", "null", "-"},
                                   {}, "", 120);
    ASSERT_EQ(r.status, 0) << r.err.substr(0, 2000);
    size_t summary = r.err.rfind("Summary:");
    ASSERT_NE(summary, std::string::npos) << r.err.substr(0, 2000);
    std::string report = r.err.substr(summary);
    double integrated = sound_summary_value(report, "I"), peak = sound_summary_value(report, "Peak");
    EXPECT_NEAR(integrated, -14.0, 0.5) << report;
    EXPECT_LE(peak, -1.0) << report;
}

// Each crash cymbal and the first bright frame of its flash are within one
// frame at 30 fps of each other.
TEST(MkdataSound, EveryCrashFlashesWithinAFrameOfItsCymbal)
{
    long rate = 0;
    int channels = 0;
    std::vector<float> pcm = mkdata_decode_ogg(mkdata_shared_dir() + "/music.ogg", rate, channels);
    ASSERT_EQ(rate, 44100);
    std::vector<double> centres = sound_flash_centres();
    ASSERT_GE(centres.size(), 6u);
    std::string out = test_temp_dir("mkdata-sync");
    std::vector<sound_flash> flashes;
    for (size_t k = 0; k < centres.size(); k += 2) {  // two captures at a time, one per core
        std::future<sound_flash> second;
        if (k + 1 < centres.size())
            second = std::async(std::launch::async, sound_find_flash, centres[k + 1], out);
        flashes.push_back(sound_find_flash(centres[k], out));
        if (second.valid())
            flashes.push_back(second.get());
    }
    size_t checked = 0;
    for (const sound_flash& f : flashes) {
        SCOPED_TRACE("flash near " + std::to_string(f.centre_ms) + " ms");
        ASSERT_EQ(f.problem, "");
        if (f.washed_out)
            continue;  // the end of segment 1 fades to white into its crash
        ++checked;
        double onset = sound_onset_ms(pcm, rate, f.centre_ms - 300, f.centre_ms + 100);
        // One frame, and 4 ms for the flash's rise and the onset's 1 ms steps.
        EXPECT_LE(std::fabs(f.first_bright_ms - onset), SOUND_FRAME_MS + 4.0)
            << "crash at " << onset << " ms, first bright frame at " << f.first_bright_ms << " ms";
    }
    EXPECT_GE(checked, flashes.size() - 1) << "more than one flash hidden by a white screen";
}
