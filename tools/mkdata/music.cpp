// tools/mkdata/music.cpp - the soundtrack: a small synthesiser and the Ogg Vorbis encoder.
//
// FEATURES: six sections at 120 beats per minute that start where the show's
// segments start (0, 15, 40, 64, 96, 114 s) and a closing chord at 130 s; each
// section has its own chords, drum pattern, bass line, lead and arpeggio, so
// every segment of the show has its own part. The crash cymbal strikes at
// mk_crash_times(), the same list the drumcrash layer flashes on. A pad holds
// a chord under every bar, so the music is never silent before the end.
//
// INSTRUMENTS, all synthesised here (no samples): kick (swept sine), snare
// (tone plus filtered noise), hi-hat and crash (high-passed noise with a
// metallic square cluster), bass (band-limited saw through a resonant
// low-pass), pad (three detuned saws per chord note, slow envelope), lead
// (pulse with vibrato, fed to an echo) and bell (two-operator FM).
//
// OUTPUT: mono 44.1 kHz, soft-clipped, brought to -14 LUFS integrated loudness
// (measured with libebur128) under a peak limiter, encoded with libvorbisenc
// (VBR quality 0.4) into music.ogg. The noise comes from a generator local to
// this file, seeded from the run seed: the music is made on its own thread
// and must not touch the program-wide generator.
#include <ebur128.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/atomic_file.h"
#include "support/error.h"
#include "tools/mkdata/mkdata.h"

// --- types and module constants ---------------------------------------------------
constexpr int    MU_RATE = 44100;
constexpr double MU_BEAT = 0.5;            // 120 bpm
constexpr double MU_STEP = MU_BEAT / 4;    // a sixteenth
constexpr double MU_BAR  = MU_BEAT * 4;
constexpr double MU_PI   = 3.14159265358979323846;
// Loudness of the master: -14 LUFS integrated, sample peaks at -4 dBFS, which
// leaves room for the peaks between samples and the encoder's overshoot, so
// the decoded file's true peak mostly stays below -1 dBTP (mu_master_and_encode
// checks it and lowers the ceiling where it does not).
constexpr double MU_TARGET_LUFS = -14.0;
constexpr float  MU_CEILING     = 0.63f;
constexpr double MU_MAX_TRUE_PEAK_DB = -1.3;  // of the decoded file, with a margin under -1

struct mu_noise {             // xorshift64*: the music's own noise source
    uint64_t s;
    float next()
    {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return static_cast<float>(((s * 0x2545F4914F6CDD1Dull) >> 40) & 0xFFFFFF) / 8388608.0f - 1.0f;
    }
};

struct mu_song {
    std::vector<float> dry;    // drums, bass, pads, bells
    std::vector<float> echo;   // lead bus, fed through the echo
    mu_noise           noise;
};

// One section of the score. Strings are 16-step patterns ("x" hit, "o" accent
// for the hat: open hat); chords and leads are MIDI note numbers.
struct mu_section {
    const char*      kick;
    const char*      snare;
    const char*      hat;
    std::vector<int> chords;     // root note per bar (chord quality below)
    std::vector<int> quality;    // 0 minor, 1 major per bar
    std::vector<int> lead;       // eighth notes over four bars, -1 rest
    const char*      bass;       // 16-step pattern: x root, o octave, . rest
    float            drums;      // drum level
    float            lead_vol;
    float            bell_vol;
    float            cutoff;     // bass filter, Hz
    int              drum_from;  // first bar with drums
};

// --- internal helpers --------------------------------------------------------------
static double mu_freq(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

static size_t mu_index(double t)
{
    return static_cast<size_t>(std::max(0.0, t) * MU_RATE);
}

// Band-limited step correction for the saw and pulse oscillators.
static double mu_polyblep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

// Chamberlin state-variable low-pass, one sample.
struct mu_svf {
    double low = 0, band = 0;
    double run(double x, double cutoff, double q)
    {
        double f = 2.0 * std::sin(MU_PI * std::min(cutoff, MU_RATE / 6.0) / MU_RATE);
        low += f * band;
        double high = x - low - q * band;
        band += f * high;
        return low;
    }
};

static void mu_kick(mu_song& s, double t0, float vel)
{
    double phase = 0;
    size_t i0 = mu_index(t0), n = mu_index(0.45);
    for (size_t i = 0; i < n && i0 + i < s.dry.size(); ++i) {
        double t = double(i) / MU_RATE;
        double f = 45.0 + 110.0 * std::exp(-t * 30.0);
        phase += 2 * MU_PI * f / MU_RATE;
        s.dry[i0 + i] += vel * 0.9f * float(std::sin(phase) * std::exp(-t * 7.0));
    }
}

static void mu_snare(mu_song& s, double t0, float vel)
{
    mu_svf hp;
    size_t i0 = mu_index(t0), n = mu_index(0.3);
    for (size_t i = 0; i < n && i0 + i < s.dry.size(); ++i) {
        double t = double(i) / MU_RATE;
        double x = s.noise.next();
        double high = x - hp.run(x, 1500, 1.0);
        double tone = std::sin(2 * MU_PI * 185.0 * t) * std::exp(-t * 25.0);
        s.dry[i0 + i] += vel * float(0.45 * high * std::exp(-t * 14.0) + 0.35 * tone);
    }
}

static void mu_metal(mu_song& s, double t0, float vel, double decay, double len, double hp_cut)
{
    static const double ratios[6] = {1.0, 1.342, 1.2312, 1.6532, 1.9523, 2.1523};
    mu_svf hp;
    size_t i0 = mu_index(t0), n = mu_index(len);
    for (size_t i = 0; i < n && i0 + i < s.dry.size(); ++i) {
        double t = double(i) / MU_RATE;
        double sq = 0;
        for (double r : ratios)
            sq += std::fmod(t * 470.0 * r, 1.0) < 0.5 ? 1.0 : -1.0;
        double x = 0.6 * s.noise.next() + 0.08 * sq;
        double high = x - hp.run(x, hp_cut, 0.8);
        s.dry[i0 + i] += vel * float(high * std::exp(-t * decay));
    }
}

static void mu_hat(mu_song& s, double t0, float vel, bool open)
{
    mu_metal(s, t0, vel * 0.16f, open ? 10.0 : 55.0, open ? 0.3 : 0.09, 8000);
}

static void mu_crash(mu_song& s, double t0, float vel)
{
    mu_metal(s, t0, vel * 0.7f, 1.6, 2.8, 4000);
}

static void mu_bass(mu_song& s, double t0, double dur, int midi, float vel, double cutoff)
{
    double f = mu_freq(midi), dt = f / MU_RATE, ph = 0;
    mu_svf lp;
    size_t i0 = mu_index(t0), n = mu_index(dur + 0.05);
    for (size_t i = 0; i < n && i0 + i < s.dry.size(); ++i) {
        double t = double(i) / MU_RATE;
        double saw = 2 * ph - 1 - mu_polyblep(ph, dt);
        ph += dt;
        if (ph >= 1)
            ph -= 1;
        double env = std::min(1.0, t / 0.005) * (t < dur ? 1.0 : std::max(0.0, 1 - (t - dur) / 0.05));
        double cut = cutoff * (1 + 3 * std::exp(-t * 18));
        s.dry[i0 + i] += vel * 0.32f * float(std::tanh(1.5 * lp.run(saw, cut, 0.4)) * env);
    }
}

static void mu_pad_note(mu_song& s, double t0, double dur, int midi, float vel)
{
    static const double detune[3] = {-0.09, 0.0, 0.11};
    double f = mu_freq(midi);
    double ph[3] = {0.1, 0.4, 0.7};
    mu_svf lp;
    size_t i0 = mu_index(t0), n = mu_index(dur + 0.6);
    for (size_t i = 0; i < n && i0 + i < s.dry.size(); ++i) {
        double t = double(i) / MU_RATE;
        double x = 0;
        for (int k = 0; k < 3; ++k) {
            double dt = f * std::pow(2.0, detune[k] / 12.0) / MU_RATE;
            x += 2 * ph[k] - 1 - mu_polyblep(ph[k], dt);
            ph[k] += dt;
            if (ph[k] >= 1)
                ph[k] -= 1;
        }
        double env = std::min(1.0, t / 0.25) * (t < dur ? 1.0 : std::max(0.0, 1 - (t - dur) / 0.6));
        double cut = 900 + 500 * std::sin(2 * MU_PI * 0.25 * (t0 + t));
        s.dry[i0 + i] += vel * 0.06f * float(lp.run(x, cut, 0.7) * env);
    }
}

static void mu_lead(mu_song& s, double t0, double dur, int midi, float vel)
{
    double f = mu_freq(midi), ph = 0;
    mu_svf lp;
    size_t i0 = mu_index(t0), n = mu_index(dur + 0.15);
    for (size_t i = 0; i < n && i0 + i < s.echo.size(); ++i) {
        double t = double(i) / MU_RATE;
        double vib = 1 + 0.006 * std::sin(2 * MU_PI * 5.5 * t) * std::min(1.0, t / 0.3);
        double dt = f * vib / MU_RATE;
        double pulse = (ph < 0.35 ? 1.0 : -1.0) + mu_polyblep(ph, dt) - mu_polyblep(std::fmod(ph + 0.65, 1.0), dt);
        ph += dt;
        if (ph >= 1)
            ph -= 1;
        double env = std::min(1.0, t / 0.01) * (t < dur ? 0.7 + 0.3 * std::exp(-t * 6) : 0.7 * std::max(0.0, 1 - (t - dur) / 0.15));
        s.echo[i0 + i] += vel * 0.16f * float(lp.run(pulse, 2500 + 2000 * std::exp(-t * 8), 0.6) * env);
    }
}

static void mu_bell(mu_song& s, double t0, double dur, int midi, float vel)
{
    double f = mu_freq(midi);
    size_t i0 = mu_index(t0), n = mu_index(dur);
    for (size_t i = 0; i < n && i0 + i < s.dry.size(); ++i) {
        double t = double(i) / MU_RATE;
        double mod = 2.2 * std::exp(-t * 6) * std::sin(2 * MU_PI * f * 3.5 * t);
        s.dry[i0 + i] += vel * 0.12f * float(std::sin(2 * MU_PI * f * t + mod) * std::exp(-t * 4.5));
    }
}

// The chord of a bar: root, third, fifth (and the octave) around middle C.
static std::vector<int> mu_chord(int root, int quality)
{
    return {root, root + (quality ? 4 : 3), root + 7, root + 12};
}

// The score, section by section.
static std::vector<mu_section> mu_score()
{
    std::vector<int> theme = {69, -1, 72, 76, 74, -1, 72, 69,   72, -1, 69, -1, 65, 67, 69, 72,
                              67, -1, 72, -1, 76, -1, 79, 76,   74, -1, 71, -1, 67, -1, 71, 74};
    std::vector<int> soft  = {-1, -1, 74, -1, 77, -1, 76, -1,   72, -1, -1, -1, 69, -1, -1, -1,
                              70, -1, 74, -1, 77, -1, 74, -1,   72, -1, 69, -1, 65, -1, -1, -1};
    std::vector<int> space = {76, -1, -1, -1, -1, -1, 79, -1,   71, -1, -1, -1, -1, -1, -1, -1,
                              72, -1, -1, -1, 76, -1, -1, -1,   74, -1, -1, -1, -1, -1, 72, -1};
    std::vector<int> drive = {76, 76, -1, 79, -1, 76, 74, -1,   72, -1, 72, 74, 76, -1, 72, -1,
                              74, 74, -1, 78, -1, 74, 73, -1,   71, -1, 74, -1, 78, -1, 83, -1};
    return {
        // 0-15 s: intro, pads and bells, drums enter for the last bars
        {"x.......x.......", "................", "..x...x...x...x.", {57, 53, 48, 55}, {0, 1, 1, 1},
         std::vector<int>(32, -1), "x...............", 0.6f, 0.0f, 0.8f, 300, 5},
        // 15-40 s: the groove
        {"x...x...x...x...", "....x.......x...", "x.x.x.x.x.x.x.xo", {57, 53, 48, 55}, {0, 1, 1, 1},
         theme, "x.x.o.x.x.x.o.x.", 1.0f, 1.0f, 0.5f, 500, 0},
        // 40-64 s: lighter, half time, bells
        {"x.........x.....", "........x.......", "x...x...x...x...", {50, 57, 46, 53}, {0, 0, 1, 1},
         soft, "x.......x...o...", 0.7f, 0.8f, 1.0f, 380, 0},
        // 64-96 s: space, long bass and wide pads
        {"x.......x.......", "........x.......", "..x...x...x...x.", {57, 52, 53, 48}, {0, 0, 1, 1},
         space, "x...............", 0.6f, 0.9f, 0.7f, 250, 2},
        // 96-114 s: the dense part, driving bass
        {"x...x...x...x...", "....x.......x.x.", "xxxxxxxxxxxxxxxo", {52, 48, 50, 47}, {0, 1, 1, 0},
         drive, "xxoxxxoxxxoxxxox", 1.1f, 1.0f, 0.4f, 700, 0},
        // 114-130 s: the finale, the theme again over everything
        {"x...x...x...x...", "....x.......x...", "x.xox.x.x.xox.x.", {57, 53, 48, 55}, {0, 1, 1, 1},
         theme, "x.x.o.x.x.x.o.x.", 1.0f, 1.1f, 0.7f, 600, 0},
    };
}

static void mu_play_section(mu_song& s, const mu_section& sec, double start, double end)
{
    int bars = static_cast<int>(std::ceil((end - start) / MU_BAR));
    for (int bar = 0; bar < bars; ++bar) {
        double tb = start + bar * MU_BAR;
        size_t ci = bar % sec.chords.size();
        std::vector<int> chord = mu_chord(sec.chords[ci], sec.quality[ci]);
        double pad_len = std::min(MU_BAR, end - tb);
        for (int k = 0; k < 3; ++k)
            mu_pad_note(s, tb, pad_len, chord[k], 1.0f);
        for (int step = 0; step < 16; ++step) {
            double t = tb + step * MU_STEP;
            if (t >= end - 1e-9)
                break;
            bool drums = bar >= sec.drum_from;
            if (drums && sec.kick[step] == 'x')
                mu_kick(s, t, sec.drums);
            if (drums && sec.snare[step] == 'x')
                mu_snare(s, t, sec.drums * 0.8f);
            if (drums && sec.hat[step] != '.')
                mu_hat(s, t, sec.drums * (step % 4 == 0 ? 1.0f : 0.7f), sec.hat[step] == 'o');
            if (sec.bass[step] != '.')
                mu_bass(s, t, MU_STEP * 1.6, chord[0] - 24 + (sec.bass[step] == 'o' ? 12 : 0), 1.0f, sec.cutoff);
            if (sec.bell_vol > 0 && step % 2 == 0)
                mu_bell(s, t, 0.6, chord[(step / 2) % 4] + 12, sec.bell_vol * (step % 8 == 0 ? 1.0f : 0.6f));
            if (step % 2 == 0) {
                int note = sec.lead[(bar % 4) * 8 + step / 2];
                if (note >= 0 && sec.lead_vol > 0)
                    mu_lead(s, t, MU_STEP * 1.7, note, sec.lead_vol);
            }
        }
        // A snare fill leads into the next section.
        if (bar == bars - 1 && end - tb >= MU_BAR - 1e-9 && sec.drums > 0)
            for (int step = 8; step < 16; ++step)
                mu_snare(s, tb + step * MU_STEP, sec.drums * (0.3f + 0.05f * step));
    }
}

// Feedback echo of the lead bus (dotted eighth), mixed into the dry bus.
static void mu_mix_echo(mu_song& s)
{
    size_t d = mu_index(MU_BEAT * 0.75);
    for (size_t i = d; i < s.echo.size(); ++i)
        s.echo[i] += 0.38f * s.echo[i - d];
    for (size_t i = 0; i < s.dry.size(); ++i)
        s.dry[i] += s.echo[i];
}

// Integrated loudness (EBU R128 / ITU-R BS.1770) of a mono 44.1 kHz signal, in LUFS.
static double mu_loudness(const std::vector<float>& x)
{
    ebur128_state* st = ebur128_init(1, MU_RATE, EBUR128_MODE_I);
    if (!st)
        fatal_raise("music.ogg: cannot start the loudness meter");
    double lufs = -70.0;
    bool ok = ebur128_add_frames_float(st, x.data(), x.size()) == EBUR128_SUCCESS &&
              ebur128_loudness_global(st, &lufs) == EBUR128_SUCCESS;
    ebur128_destroy(&st);
    if (!ok)
        fatal_raise("music.ogg: the loudness meter failed");
    return lufs;
}

// Minimum of r over [i - half, i + half] for every i (monotonic deque, O(n)).
static std::vector<float> mu_window_min(const std::vector<float>& r, size_t half)
{
    std::vector<float> out(r.size());
    std::vector<size_t> q(r.size() + 1);
    size_t head = 0, tail = 0, next = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        for (; next < r.size() && next <= i + half; ++next) {
            while (tail > head && r[q[tail - 1]] >= r[next])
                --tail;
            q[tail++] = next;
        }
        while (q[head] + half < i)
            ++head;
        out[i] = r[q[head]];
    }
    return out;
}

// Look-ahead peak limiter: x times a gain that never lets |x| pass ceiling.
// The gain needed at each sample is held over +-2 ms, released over 80 ms and
// smoothed by a centred 2 ms average, which stays at or below the need at
// every peak (every sample of the average is held at or below it).
static std::vector<float> mu_limit(const std::vector<float>& x, float ceiling)
{
    const size_t half = MU_RATE / 500;  // 2 ms
    std::vector<float> need(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        need[i] = std::fabs(x[i]) > ceiling ? ceiling / std::fabs(x[i]) : 1.0f;
    std::vector<float> gain = mu_window_min(need, half);
    const float release = static_cast<float>(std::exp(-1.0 / (0.08 * MU_RATE)));
    for (size_t i = 1; i < gain.size(); ++i)
        gain[i] = std::min(gain[i], 1.0f - (1.0f - gain[i - 1]) * release);
    std::vector<float> out(x.size());
    const size_t h = half / 2;
    double sum = 0;
    for (size_t i = 0; i < x.size() + h; ++i) {  // running centred mean of gain
        if (i < x.size())
            sum += gain[i];
        if (i >= 2 * h + 1)
            sum -= gain[i - 2 * h - 1];
        if (i >= h) {
            size_t c = i - h;
            size_t first = c >= h ? c - h : 0, last = std::min(c + h, x.size() - 1);
            out[c] = x[c] * static_cast<float>(sum / double(last - first + 1));
        }
    }
    return out;
}

// Master bus: a gentle saturation, then loudness to MU_TARGET_LUFS with peaks
// held at MU_CEILING by the limiter. The limiter takes a little loudness away,
// so the gain is corrected from a measurement of the limited mix, five times.
static void mu_master(std::vector<float>& x, float ceiling)
{
    for (float& v : x)
        v = std::tanh(v * 1.1f);
    const std::vector<float> soft = x;
    double gain_db = MU_TARGET_LUFS - mu_loudness(soft);
    for (int pass = 0; pass < 5; ++pass) {
        float g = static_cast<float>(std::pow(10.0, gain_db / 20.0));
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = soft[i] * g;
        x = mu_limit(x, ceiling);
        gain_db += MU_TARGET_LUFS - mu_loudness(x);
    }
}

static std::string mu_encode(const std::vector<float>& pcm, uint64_t seed)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 1, MU_RATE, 0.4f) != 0)
        fatal_raise("music.ogg: the Vorbis encoder refused mono 44100 Hz");
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", "qiv");
    vorbis_comment_add_tag(&vc, "ENCODER", "qiv-mkdata");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, static_cast<int>(seed & 0x7FFFFFFF));
    std::string out;
    ogg_page og;
    ogg_packet op, oc, ocode;
    auto flush_pages = [&](bool force) {
        while (force ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) {
            out.append(reinterpret_cast<const char*>(og.header), og.header_len);
            out.append(reinterpret_cast<const char*>(og.body), og.body_len);
        }
    };
    vorbis_analysis_headerout(&vd, &vc, &op, &oc, &ocode);
    ogg_stream_packetin(&os, &op);
    ogg_stream_packetin(&os, &oc);
    ogg_stream_packetin(&os, &ocode);
    flush_pages(true);
    const size_t chunk = 4096;
    for (size_t pos = 0; pos <= pcm.size(); pos += chunk) {
        size_t n = std::min(chunk, pcm.size() - std::min(pos, pcm.size()));
        if (n > 0) {
            float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            std::memcpy(buf[0], pcm.data() + pos, n * sizeof(float));
        }
        vorbis_analysis_wrote(&vd, static_cast<int>(n));  // 0 marks the end
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                flush_pages(false);
            }
        }
        if (n == 0)
            break;
    }
    flush_pages(true);
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

// True peak (ITU-R BS.1770, 4x oversampled) of encoded Ogg Vorbis bytes, in dBTP.
struct mu_memory_file {
    const std::string* bytes;
    size_t             pos;
};

static size_t mu_memory_read(void* ptr, size_t size, size_t count, void* source)
{
    auto* m = static_cast<mu_memory_file*>(source);
    size_t n = std::min(size * count, m->bytes->size() - m->pos);
    std::memcpy(ptr, m->bytes->data() + m->pos, n);
    m->pos += n;
    return size ? n / size : 0;
}

static double mu_true_peak_db(const std::string& ogg)
{
    mu_memory_file m{&ogg, 0};
    ov_callbacks io{mu_memory_read, nullptr, nullptr, nullptr};
    OggVorbis_File vf;
    if (ov_open_callbacks(&m, &vf, nullptr, 0, io) != 0)
        fatal_raise("music.ogg: the encoded music does not decode");
    ebur128_state* st = ebur128_init(1, MU_RATE, EBUR128_MODE_TRUE_PEAK);
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n <= 0)
            break;
        if (st)
            ebur128_add_frames_float(st, pcm[0], static_cast<size_t>(n));
    }
    ov_clear(&vf);
    double peak = 1.0;
    if (!st || ebur128_true_peak(st, 0, &peak) != EBUR128_SUCCESS)
        fatal_raise("music.ogg: the true-peak meter failed");
    ebur128_destroy(&st);
    return 20.0 * std::log10(std::max(peak, 1e-9));
}

// Masters and encodes the mix. The encoder can raise peaks by a few dB (its
// filtering of the cymbals' noise), so the decoded file is measured and, while
// its true peak is above MU_MAX_TRUE_PEAK_DB, mastered again with the limiter
// ceiling lowered by the excess. Every step is deterministic.
static std::string mu_master_and_encode(const std::vector<float>& mix, uint64_t seed)
{
    float ceiling = MU_CEILING;
    std::string ogg;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<float> x = mix;
        mu_master(x, ceiling);
        ogg = mu_encode(x, seed);
        double excess = mu_true_peak_db(ogg) - MU_MAX_TRUE_PEAK_DB;
        if (excess <= 0)
            return ogg;
        ceiling *= static_cast<float>(std::pow(10.0, -(excess + 0.05) / 20.0));
    }
    return ogg;
}

// --- public function -----------------------------------------------------------------
void mk_make_music(const mk_context& ctx)
{
    mk_progress(ctx, "music: synthesising " + std::to_string(int(MK_MUSIC_SECONDS)) + " s");
    mu_song s;
    size_t n = mu_index(MK_MUSIC_SECONDS);
    s.dry.assign(n, 0.0f);
    s.echo.assign(n, 0.0f);
    s.noise.s = mk_seed(ctx, "music") | 1;
    std::vector<mu_section> score = mu_score();
    for (size_t k = 0; k < score.size(); ++k)
        mu_play_section(s, score[k], MK_SECTION_START[k], MK_SECTION_START[k + 1]);
    // Coda: the tonic chord rings out after the last crash.
    for (int note : mu_chord(57, 0)) {
        mu_pad_note(s, MK_SECTION_START[6], 1.2, note, 1.3f);
        mu_bell(s, MK_SECTION_START[6], 1.8, note + 12, 0.8f);
    }
    mu_kick(s, MK_SECTION_START[6], 1.0f);
    mu_bass(s, MK_SECTION_START[6], 1.0, 33, 1.0f, 400);
    for (double t : mk_crash_times())
        mu_crash(s, t, 1.0f);
    mu_mix_echo(s);
    mk_progress(ctx, "music: mastering and encoding music.ogg");
    std::string ogg = mu_master_and_encode(s.dry, mk_seed(ctx, "ogg"));
    atomic_file file(mk_path(ctx, "music.ogg"));
    file.write(ogg);
    file.commit();
}
