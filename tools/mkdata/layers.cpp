// tools/mkdata/layers.cpp - the fifteen interface layer files and their textures.
//
// Every layer set of the show is described here as data: layers with their
// texture, blend mode and key frames in the 1024 x 768 interface space, frames
// 0 to 1000 over a segment (the loading set over frames 37 to 999, drumcrash
// over the whole run at 131.5 ms per frame). The writer turns them into the
// line-based .ife text with comment lines that say what each layer is, and
// the textures are painted alongside: backgrounds, a frame, a star chart, a
// planet reticle and text cards set in the DejaVu font.
//
// Text cards are squeezed horizontally by the aspect of the rectangle they are
// drawn on, so that a 256 x 256 texture stretched over a wide card shows
// undistorted letters. Fades use the plain white texture tinted black (alpha
// blending) or white (additive flashes).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/atomic_file.h"
#include "tools/mkdata/image.h"
#include "tools/mkdata/mkdata.h"

// --- types -------------------------------------------------------------------------
struct ly_key {
    int   frame;
    float x, y, w, h;
    float r, g, b, a;
    int   mode = 0;      // 0 linear, 1 ease-out, 2 ease-in (towards the next key)
    float angle = 0;
};

struct ly_layer {
    std::string         comment;   // what the layer is, written as a comment line
    std::string         texture;   // file in the data folder
    int                 blend;     // 0 none, 1 additive, 2 alpha
    std::vector<ly_key> keys;
};

struct ly_set {
    std::string           stem;
    std::string           what;    // comment at the top of the file
    std::vector<ly_layer> layers;
};

// --- internal helpers --------------------------------------------------------------
static std::string ly_num(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(v));
    std::string s = buf;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    return s == "-0" ? "0" : s;
}

static void ly_write(const mk_context& ctx, const ly_set& set)
{
    std::string t;
    t += "# " + set.stem + ".ife - " + set.what + "\n";
    t += "# made by qiv-mkdata. Keys: frame x y mode angle width height red green blue alpha\n";
    t += "# layer count, then a header value\n";
    t += std::to_string(set.layers.size()) + "\n0\n";
    for (size_t i = 0; i < set.layers.size(); ++i) {
        const ly_layer& l = set.layers[i];
        t += "# layer " + std::to_string(i) + ": " + l.comment + "\n";
        t += l.texture + "\n" + set.stem + "\n" + l.comment + "\n";
        t += std::to_string(l.keys.size()) + "\n" + std::to_string(l.blend) + "\n";
        for (const ly_key& k : l.keys)
            t += std::to_string(k.frame) + " " + ly_num(k.x) + " " + ly_num(k.y) + " " +
                 std::to_string(k.mode) + " " + ly_num(k.angle) + " " + ly_num(k.w) + " " +
                 ly_num(k.h) + " " + ly_num(k.r) + " " + ly_num(k.g) + " " + ly_num(k.b) + " " +
                 ly_num(k.a) + "\n";
    }
    atomic_file file(mk_path(ctx, set.stem + ".ife"));
    file.write(t);
    file.commit();
}

// A rectangle that stays put while its colour or alpha follows (frame, level)
// pairs; level scales r, g, b for additive layers, alpha for alpha layers.
static ly_layer ly_fader(const std::string& comment, const std::string& tex, int blend, float x, float y,
                         float w, float h, mk_rgba tint, const std::vector<std::pair<int, float>>& levels,
                         int mode = 0)
{
    ly_layer l{comment, tex, blend, {}};
    for (auto [frame, level] : levels) {
        float m = blend == 1 ? level : 1.0f;
        float a = blend == 1 ? 255.0f : level * 255.0f;
        l.keys.push_back({frame, x, y, w, h, tint.r * 255 * m, tint.g * 255 * m, tint.b * 255 * m, a, mode});
    }
    return l;
}

// In at [in0, in1], out at [out0, out1]: the usual level curve of a card.
static std::vector<std::pair<int, float>> ly_inout(int in0, int in1, int out0, int out1)
{
    return {{in0, 0.0f}, {in1, 1.0f}, {out0, 1.0f}, {out1, 0.0f}};
}

static const mk_rgba LY_WHITE{1, 1, 1, 1};
static const mk_rgba LY_BLACK{0, 0, 0, 1};

static ly_layer ly_fullscreen(const std::string& comment, const std::string& tex, int blend)
{
    return ly_layer{comment, tex, blend, {{0, 512, 384, 1024, 768, 255, 255, 255, 255}}};
}

// --- textures ------------------------------------------------------------------------
static void ly_text_card(const mk_context& ctx, const std::string& name, const std::vector<mk_text_line>& lines,
                         float aspect, float glow = 0)
{
    mk_image img;
    img_text(img, lines, aspect, glow);
    img_save(ctx, img, name, true, true);
}

static void ly_paint_basics(const mk_context& ctx)
{
    mk_image white;
    img_fill(white, {1, 1, 1, 1});
    img_save(ctx, white, "white.raw", false);

    mk_image vignette;
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float dx = (x + 0.5f) / 128 - 1, dy = (y + 0.5f) / 128 - 1;
            float d = std::sqrt(dx * dx + dy * dy) / 1.414f;
            vignette.at(x, y) = {0, 0, 0, std::pow(std::min(1.0f, d * 1.1f), 2.2f) * 0.85f};
        }
    img_save(ctx, vignette, "vignette.raw", true, true);

    mk_image fill;  // loading bar: a bright band with a glossy highlight
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float v = y / 255.0f, gloss = v < 0.45f ? 0.35f * (1 - v / 0.45f) : 0;
            float stripe = ((x + y) / 16) % 2 ? 0.08f : 0;
            fill.at(x, y) = {0.15f + gloss + stripe, 0.55f + gloss + stripe, 0.95f, 1};
        }
    img_save(ctx, fill, "barfill.raw", false);

    mk_image frame;  // loading bar outline on a wide card (aspect 20:1)
    img_rect(frame, 0, 0, 256, 26, {0.8f, 0.9f, 1, 1});
    img_rect(frame, 0, 230, 256, 256, {0.8f, 0.9f, 1, 1});
    img_rect(frame, 0, 0, 3, 256, {0.8f, 0.9f, 1, 1});
    img_rect(frame, 253, 0, 256, 256, {0.8f, 0.9f, 1, 1});
    img_save(ctx, frame, "barframe.raw", true, true);
}

static void ly_paint_backgrounds(const mk_context& ctx)
{
    uint64_t seed = mk_seed(ctx, "backgrounds");

    mk_image load;  // deep blue with a faint grid and clouds
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float n = img_fbm(x, y, 64, 4, seed);
            float grid = (x % 32 == 0 || y % 32 == 0) ? 0.08f : 0;
            load.at(x, y) = {0.02f + 0.1f * n + grid * 0.5f, 0.04f + 0.12f * n + grid, 0.12f + 0.25f * n + grid * 1.5f, 1};
        }
    img_save(ctx, load, "loadbg.raw", false);

    mk_image portrait;  // warm summer sky, blurred meadow and flowers for the butterfly
    img_vgradient(portrait, {0.35f, 0.55f, 0.85f, 1}, {0.98f, 0.78f, 0.55f, 1});
    for (int y = 150; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float hill = 175 + 18 * std::sin(x * 0.025f) + 10 * img_fbm(x, 0, 32, 3, seed + 1) * 3;
            if (y > hill) {
                float n = img_fbm(x, y, 16, 3, seed + 2);
                img_blend(portrait, x, y, {0.25f + 0.2f * n, 0.5f + 0.25f * n, 0.15f, 1}, std::min(1.0f, (y - hill) / 3));
            }
        }
    for (int i = 0; i < 60; ++i) {
        float fx = img_hash01(i, 1, seed) * 256, fy = 190 + img_hash01(i, 2, seed) * 66;
        float hue = img_hash01(i, 3, seed);
        mk_rgba c = hue < 0.33f ? mk_rgba{0.95f, 0.3f, 0.4f, 0.9f}
                  : hue < 0.66f ? mk_rgba{1.0f, 0.85f, 0.3f, 0.9f} : mk_rgba{0.75f, 0.45f, 0.95f, 0.9f};
        img_disc(portrait, fx, fy, 2 + img_hash01(i, 4, seed) * 3, c);
    }
    img_glow(portrait, 200, 60, 60, 1.5f, {1, 0.95f, 0.8f, 0.9f});
    img_save(ctx, portrait, "portrait.raw", false);

    mk_image bokeh;  // soft light spots on black, for additive drifting layers
    img_fill(bokeh, {0, 0, 0, 1});
    for (int i = 0; i < 26; ++i) {
        float x = img_hash01(i, 5, seed) * 256, y = img_hash01(i, 6, seed) * 256;
        float r = 8 + img_hash01(i, 7, seed) * 18;
        img_glow(bokeh, x, y, r, 0.7f, {1, 0.9f, 0.6f + 0.4f * img_hash01(i, 8, seed), 0.35f});
    }
    img_save(ctx, bokeh, "bokeh.raw", false);

    mk_image hatter;  // the hatter's tartan: crossing bands in plum, green and gold
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            auto band = [](int v) {
                int m = v % 64;
                return m < 20 ? 0.0f : m < 24 ? 1.0f : m < 44 ? 0.5f : m < 46 ? 0.9f : 0.2f;
            };
            float a = band(x), b = band(y);
            float twill = ((x + y) % 4 < 2) ? a : b;
            float n = 0.85f + 0.15f * img_noise(x, y, 4, seed + 9);
            hatter.at(x, y) = {(0.25f + 0.45f * twill) * n, (0.05f + 0.25f * (1 - twill) * twill * 2) * n,
                               (0.12f + 0.15f * twill) * n, 1};
        }
    img_save(ctx, hatter, "hatter.raw", false);

    mk_image kek;  // blue backdrop with rays from the centre
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float dx = x - 128 + 0.5f, dy = y - 128 + 0.5f;
            float d = std::sqrt(dx * dx + dy * dy) / 181, ang = std::atan2(dy, dx);
            float ray = 0.5f + 0.5f * std::sin(ang * 12);
            float v = 1 - d;
            kek.at(x, y) = {0.02f + 0.1f * v * ray, 0.08f + 0.25f * v + 0.08f * ray * v, 0.25f + 0.55f * v, 1};
        }
    img_save(ctx, kek, "kekbkg.raw", false);
}

static void ly_paint_overlays(const mk_context& ctx)
{
    uint64_t seed = mk_seed(ctx, "overlays");
    mk_rgba gold{0.95f, 0.78f, 0.35f, 1};

    mk_image keret;  // picture frame: gilded border with corner ornaments
    img_rect(keret, 0, 0, 256, 14, {0.18f, 0.1f, 0.04f, 1});
    img_rect(keret, 0, 242, 256, 256, {0.18f, 0.1f, 0.04f, 1});
    img_rect(keret, 0, 0, 14, 256, {0.18f, 0.1f, 0.04f, 1});
    img_rect(keret, 242, 0, 256, 256, {0.18f, 0.1f, 0.04f, 1});
    for (float inset : {4.0f, 11.0f}) {
        img_line(keret, inset, inset, 256 - inset, inset, 1.5f, gold);
        img_line(keret, inset, 256 - inset, 256 - inset, 256 - inset, 1.5f, gold);
        img_line(keret, inset, inset, inset, 256 - inset, 1.5f, gold);
        img_line(keret, 256 - inset, inset, 256 - inset, 256 - inset, 1.5f, gold);
    }
    for (float cx : {14.0f, 242.0f})
        for (float cy : {14.0f, 242.0f}) {
            img_disc(keret, cx, cy, 12, {0.25f, 0.14f, 0.05f, 1});
            img_ring(keret, cx, cy, 9, 2, gold);
            img_disc(keret, cx, cy, 4, gold);
        }
    img_save(ctx, keret, "keret.raw", true, true);

    mk_image chart;  // star chart: rings, meridians, stars and constellation lines
    mk_rgba cyan{0.4f, 0.85f, 1.0f, 1};
    for (float r : {40.0f, 80.0f, 120.0f})
        img_ring(chart, 128, 128, r, 1.2f, {cyan.r, cyan.g, cyan.b, 0.5f});
    for (int k = 0; k < 12; ++k) {
        float a = k * 3.14159265f / 6;
        img_line(chart, 128, 128, 128 + 122 * std::cos(a), 128 + 122 * std::sin(a), 0.8f, {cyan.r, cyan.g, cyan.b, 0.35f});
    }
    std::vector<std::pair<float, float>> stars;
    for (int i = 0; i < 40; ++i) {
        float a = img_hash01(i, 1, seed) * 6.2832f, r = 10 + img_hash01(i, 2, seed) * 105;
        stars.push_back({128 + r * std::cos(a), 128 + r * std::sin(a)});
        img_glow(chart, stars.back().first, stars.back().second, 3 + 4 * img_hash01(i, 3, seed), 1.2f, {1, 1, 1, 1});
    }
    for (int i = 0; i + 1 < 14; ++i)
        if (i % 5 != 4)
            img_line(chart, stars[i].first, stars[i].second, stars[i + 1].first, stars[i + 1].second, 1.0f, {1, 0.8f, 0.4f, 0.8f});
    img_save(ctx, chart, "starmap.raw", true, true);

    mk_image reticle;  // planet scanner: rings with tick marks
    img_ring(reticle, 128, 128, 118, 2.5f, cyan);
    img_ring(reticle, 128, 128, 100, 1.0f, {cyan.r, cyan.g, cyan.b, 0.6f});
    for (int k = 0; k < 72; ++k) {
        float a = k * 3.14159265f / 36, len = k % 6 == 0 ? 14.0f : 6.0f;
        img_line(reticle, 128 + 118 * std::cos(a), 128 + 118 * std::sin(a), 128 + (118 - len) * std::cos(a),
                 128 + (118 - len) * std::sin(a), 1.2f, cyan);
    }
    for (int k = 0; k < 4; ++k) {
        float a = k * 3.14159265f / 2 + 0.785f;
        img_line(reticle, 128 + 60 * std::cos(a), 128 + 60 * std::sin(a), 128 + 90 * std::cos(a),
                 128 + 90 * std::sin(a), 3.0f, {1, 0.6f, 0.3f, 1});
    }
    img_save(ctx, reticle, "reticle.raw", true, true);

    mk_image mark;  // small crest emblem for the fades: shield with a star
    for (int y = 20; y < 236; ++y)
        for (int x = 20; x < 236; ++x) {
            float u = (x - 128) / 108.0f, v = (y - 20) / 216.0f;
            float half = v < 0.5f ? 1.0f : std::sqrt(std::max(0.0f, 1 - (v - 0.5f) * (v - 0.5f) * 4));
            if (std::fabs(u) < half * 0.95f)
                img_blend(mark, x, y, {0.9f, 0.75f, 0.3f, 1}, std::min(1.0f, (half * 0.95f - std::fabs(u)) * 40));
        }
    img_text(mark, {{"Q", 140, {0.15f, 0.08f, 0.3f, 1}}}, 1.0f);
    img_save(ctx, mark, "crestmark.raw", true, true);
}

static void ly_paint_text(const mk_context& ctx)
{
    mk_rgba white{1, 1, 1, 1}, ice{0.75f, 0.9f, 1, 1}, warm{1, 0.9f, 0.7f, 1};
    ly_text_card(ctx, "txt_qiv.raw", {{"qiv", 150, {1, 1, 1, 1}}}, 2.0f, 6);
    ly_text_card(ctx, "txt_loading.raw", {{"loading", 150, ice, false}}, 6.0f, 3);
    ly_text_card(ctx, "txt_presents.raw", {{"the kestrel engine", 52, ice}, {"presents", 40, white, false}}, 3.0f, 3);
    ly_text_card(ctx, "txt_part2.raw", {{"part two", 60, warm}, {"the crystal valley", 44, white, false}}, 3.0f, 3);
    ly_text_card(ctx, "txt_credit1.raw", {{"eight lights, fog, particles", 110, white, false}}, 7.2f, 3);
    ly_text_card(ctx, "txt_credit2.raw", {{"music synthesised by qiv-mkdata", 110, white, false}}, 7.2f, 3);
    ly_text_card(ctx, "txt_lepke.raw", {{"lepke", 110, {1, 1, 1, 1}}}, 2.0f, 4);
    ly_text_card(ctx, "txt_beauty.raw", {{"beauty in motion", 70, {1, 0.95f, 0.85f, 1}, false}}, 5.0f, 2);
    ly_text_card(ctx, "txt_summer.raw", {{"a thousand frames of summer", 70, white, false}}, 7.0f, 2);
    ly_text_card(ctx, "txt_earth.raw", {{"EARTH", 110, ice}}, 3.0f, 3);
    ly_text_card(ctx, "txt_earth2.raw", {{"third planet from the sun", 110, ice, false}}, 7.1f, 3);
    ly_text_card(ctx, "txt_earth3.raw", {{"clouds 67 %   oceans 71 %", 110, {1, 0.75f, 0.5f, 1}, false}}, 7.1f, 3);
    ly_text_card(ctx, "txt_thanks.raw", {{"we stand on the shoulders of", 100, warm, false}}, 6.4f, 3);
    ly_text_card(ctx, "txt_meeting.raw", {{"see you at the next meeting", 64, white}}, 7.0f, 2);
    ly_text_card(ctx, "txt_end.raw", {{"made with kestrel", 48, ice}, {"thanks for watching", 40, white, false}}, 3.5f, 2);
}

// The libraries the project stands on, one greeting card each.
static const std::vector<std::pair<std::string, std::string>> LY_GREETS = {
    {"SDL", "windows, input and sound"},     {"Mesa", "OpenGL everywhere"},
    {"zlib", "every scene chunk"},           {"libvorbis", "the music you hear"},
    {"stb", "fonts and images"},             {"GoogleTest", "keeping us honest"},
    {"CLI11", "command lines"},              {"nlohmann-json", "JSON for modern C++"},
    {"Google Benchmark", "counting every frame"}, {"Debian", "and all its packagers"},
};

static void ly_paint_greets(const mk_context& ctx)
{
    for (size_t i = 0; i < LY_GREETS.size(); ++i)
        ly_text_card(ctx, "txt_greet" + std::to_string(i) + ".raw",
                     {{LY_GREETS[i].first, 80, {1, 0.95f, 0.8f, 1}}, {LY_GREETS[i].second, 46, {0.8f, 0.9f, 1, 1}, false}},
                     3.6f, 3);
}

// --- the layer sets ----------------------------------------------------------------------
static ly_set ly_loading()
{
    ly_set s{"loading", "the loading screen, shown at frames 37, 74, ... 999", {}};
    s.layers.push_back(ly_fullscreen("background: deep blue with a faint grid", "loadbg.raw", 0));
    s.layers.push_back({"the qiv logo, growing a little while loading", "txt_qiv.raw", 2,
                        {{0, 512, 470, 560, 280, 255, 255, 255, 255}, {999, 512, 470, 620, 310, 255, 255, 255, 255}}});
    s.layers.push_back({"progress bar fill, from empty at frame 0 to full at frame 999", "barfill.raw", 0,
                        {{0, 112, 250, 0, 24, 255, 255, 255, 255}, {999, 512, 250, 800, 24, 255, 255, 255, 255}}});
    s.layers.push_back({"progress bar outline", "barframe.raw", 2, {{0, 512, 250, 816, 40, 255, 255, 255, 255}}});
    s.layers.push_back({"the word loading, breathing", "txt_loading.raw", 2,
                        {{0, 512, 185, 540, 90, 255, 255, 255, 150}, {500, 512, 185, 540, 90, 255, 255, 255, 255},
                         {999, 512, 185, 540, 90, 255, 255, 255, 170}}});
    return s;
}

static ly_set ly_crestpre()
{
    ly_set s{"crestpre", "title cards over the crest scene (segment 1)", {}};
    s.layers.push_back(ly_fullscreen("vignette darkening the corners", "vignette.raw", 2));
    s.layers.push_back(ly_fader("fade in from black", "white.raw", 2, 512, 384, 1024, 768, LY_BLACK,
                                {{0, 1.0f}, {70, 0.0f}}, 1));
    s.layers.push_back(ly_fader("title: the kestrel engine presents", "txt_presents.raw", 1, 512, 150, 600, 200,
                                LY_WHITE, ly_inout(100, 180, 380, 450)));
    ly_layer logo = ly_fader("title: the qiv logo", "txt_qiv.raw", 1, 512, 150, 520, 260, LY_WHITE,
                             ly_inout(520, 640, 860, 940));
    for (ly_key& k : logo.keys)
        k.w = 520 + (k.frame - 520) * 0.4f, k.h = k.w / 2;
    s.layers.push_back(logo);
    s.layers.push_back(ly_fader("white flash into segment 2", "white.raw", 1, 512, 384, 1024, 768, LY_WHITE,
                                {{0, 0.0f}, {970, 0.0f}, {1000, 1.0f}}, 2));
    return s;
}

static ly_set ly_part2()
{
    ly_set s{"part2", "overlays of segment 2, the crystal valley", {}};
    s.layers.push_back(ly_fader("flash out of the white", "white.raw", 1, 512, 384, 1024, 768, LY_WHITE,
                                {{0, 1.0f}, {30, 0.0f}}, 1));
    s.layers.push_back({"letterbox bar, top", "white.raw", 0,
                        {{0, 512, 808, 1024, 80, 0, 0, 0, 255, 1}, {60, 512, 728, 1024, 80, 0, 0, 0, 255}}});
    s.layers.push_back({"letterbox bar, bottom", "white.raw", 0,
                        {{0, 512, -40, 1024, 80, 0, 0, 0, 255, 1}, {60, 512, 40, 1024, 80, 0, 0, 0, 255}}});
    s.layers.push_back(ly_fader("title: part two, the crystal valley", "txt_part2.raw", 2, 512, 560, 600, 200,
                                LY_WHITE, ly_inout(60, 120, 300, 360)));
    s.layers.push_back(ly_fader("credit: what the engine shows", "txt_credit1.raw", 2, 400, 130, 720, 100,
                                LY_WHITE, ly_inout(400, 450, 600, 650)));
    s.layers.push_back(ly_fader("credit: the music", "txt_credit2.raw", 2, 624, 130, 720, 100, LY_WHITE,
                                ly_inout(650, 700, 850, 900)));
    s.layers.push_back(ly_fader("fade to black", "white.raw", 2, 512, 384, 1024, 768, LY_BLACK,
                                {{0, 0.0f}, {955, 0.0f}, {1000, 1.0f}}));
    return s;
}

static ly_set ly_blackfade()
{
    ly_set s{"blackfade", "fade in from black and out to black (segments 3 and 4)", {}};
    s.layers.push_back(ly_fader("black: out at the start, in at the end", "white.raw", 2, 512, 384, 1024, 768,
                                LY_BLACK, {{0, 1.0f}, {50, 0.0f}, {950, 0.0f}, {1000, 1.0f}}, 1));
    return s;
}

static ly_set ly_portrait()
{
    ly_set s{"portrait", "background of segment 3: a summer meadow", {}};
    s.layers.push_back({"the meadow, slowly zooming", "portrait.raw", 0,
                        {{0, 512, 384, 1100, 825, 255, 255, 255, 255}, {1000, 500, 400, 1220, 915, 255, 255, 255, 255}}});
    s.layers.push_back({"drifting light spots", "bokeh.raw", 1,
                        {{0, 470, 384, 1300, 975, 200, 200, 200, 255, 0, 0}, {1000, 560, 400, 1300, 975, 200, 200, 200, 255, 0, 12}}});
    s.layers.push_back({"a second, smaller layer of light spots", "bokeh.raw", 1,
                        {{0, 600, 300, 900, 900, 120, 110, 90, 255, 0, 40}, {1000, 420, 420, 900, 900, 120, 110, 90, 255, 0, 10}}});
    return s;
}

static ly_set ly_beauty()
{
    ly_set s{"beauty", "titles over the butterfly (segment 3)", {}};
    s.layers.push_back(ly_fullscreen("vignette", "vignette.raw", 2));
    s.layers.push_back(ly_fader("title: lepke", "txt_lepke.raw", 2, 260, 620, 400, 200, LY_WHITE,
                                ly_inout(80, 150, 350, 420)));
    s.layers.push_back(ly_fader("subtitle: beauty in motion", "txt_beauty.raw", 2, 300, 530, 500, 100, LY_WHITE,
                                ly_inout(150, 220, 350, 420)));
    s.layers.push_back(ly_fader("line: a thousand frames of summer", "txt_summer.raw", 2, 512, 90, 700, 100,
                                LY_WHITE, ly_inout(550, 620, 800, 870)));
    return s;
}

static ly_set ly_starmap()
{
    ly_set s{"starmap", "star chart sliding in over the planet (segment 4)", {}};
    ly_layer chart{"the star chart, sliding in from the right and out again", "starmap.raw", 1, {}};
    chart.keys = {{0, 1250, 590, 330, 330, 230, 230, 230, 255, 1, 0},
                  {60, 1250, 590, 330, 330, 230, 230, 230, 255, 1, 0},
                  {150, 860, 590, 330, 330, 230, 230, 230, 255, 0, -10},
                  {860, 860, 590, 330, 330, 230, 230, 230, 255, 2, -80},
                  {950, 1250, 590, 330, 330, 230, 230, 230, 255, 0, -90}};
    s.layers.push_back(chart);
    return s;
}

static ly_set ly_planet()
{
    ly_set s{"planet", "planet scanner and labels (segment 4)", {}};
    ly_layer ret{"scanner reticle, turning and closing in", "reticle.raw", 1, {}};
    ret.keys = {{0, 512, 384, 760, 760, 0, 0, 0, 255, 0, 0},     {120, 512, 384, 760, 760, 0, 0, 0, 255, 1, 0},
                {220, 512, 384, 560, 560, 200, 220, 255, 255, 0, 45}, {500, 512, 384, 540, 540, 200, 220, 255, 255, 0, 120},
                {600, 512, 384, 900, 900, 0, 0, 0, 255, 0, 160}};
    s.layers.push_back(ret);
    s.layers.push_back(ly_fader("label: EARTH", "txt_earth.raw", 1, 220, 150, 330, 110, LY_WHITE,
                                ly_inout(200, 260, 700, 760)));
    s.layers.push_back(ly_fader("label: third planet from the sun", "txt_earth2.raw", 1, 330, 80, 640, 90,
                                LY_WHITE, ly_inout(240, 300, 700, 760)));
    s.layers.push_back(ly_fader("label: clouds and oceans", "txt_earth3.raw", 1, 380, 715, 640, 90, LY_WHITE,
                                ly_inout(420, 480, 820, 880)));
    return s;
}

static ly_set ly_hatter()
{
    ly_set s{"hatter", "background of segment 5: the hatter's tartan", {}};
    s.layers.push_back({"tartan, slowly turning", "hatter.raw", 0,
                        {{0, 512, 384, 1400, 1400, 255, 255, 255, 255, 0, 0}, {1000, 512, 384, 1500, 1500, 255, 255, 255, 255, 0, 35}}});
    s.layers.push_back(ly_fader("darkening so the sculpture stands out", "white.raw", 2, 512, 384, 1024, 768,
                                LY_BLACK, {{0, 0.45f}}));
    s.layers.push_back(ly_fullscreen("vignette", "vignette.raw", 2));
    return s;
}

static ly_set ly_greets()
{
    ly_set s{"greets", "greetings to the libraries the project stands on (segment 5)", {}};
    s.layers.push_back(ly_fader("header: we stand on the shoulders of", "txt_thanks.raw", 2, 512, 700, 700, 110,
                                LY_WHITE, ly_inout(20, 60, 930, 970)));
    for (size_t i = 0; i < LY_GREETS.size(); ++i) {
        int t0 = 40 + static_cast<int>(i) * 90;
        ly_layer card{"greeting: " + LY_GREETS[i].first, "txt_greet" + std::to_string(i) + ".raw", 2, {}};
        card.keys = {{t0, 1450, 150, 720, 200, 255, 255, 255, 0, 1},
                     {t0 + 30, 512, 150, 720, 200, 255, 255, 255, 255, 0},
                     {t0 + 90, 512, 150, 720, 200, 255, 255, 255, 255, 2},
                     {t0 + 120, -450, 150, 720, 200, 255, 255, 255, 0, 0}};
        s.layers.push_back(card);
    }
    return s;
}

static ly_set ly_crestfade()
{
    ly_set s{"crestfade", "flash in, crest mark and fade out (segments 5 and 6)", {}};
    s.layers.push_back(ly_fader("white flash at the start", "white.raw", 1, 512, 384, 1024, 768, LY_WHITE,
                                {{0, 1.0f}, {30, 0.0f}}, 1));
    s.layers.push_back(ly_fader("the crest mark in the corner", "crestmark.raw", 2, 940, 90, 60, 60, LY_WHITE,
                                {{0, 0.0f}, {80, 0.6f}, {900, 0.6f}, {960, 0.0f}}));
    s.layers.push_back(ly_fader("fade to black at the end", "white.raw", 2, 512, 384, 1024, 768, LY_BLACK,
                                {{0, 0.0f}, {955, 0.0f}, {1000, 1.0f}}));
    return s;
}

static ly_set ly_kekbkg()
{
    ly_set s{"kekbkg", "still blue background of segment 6 (drawn at frame 0)", {}};
    s.layers.push_back(ly_fullscreen("blue rays", "kekbkg.raw", 0));
    s.layers.push_back({"soft light behind the rings", "bokeh.raw", 1, {{0, 512, 384, 1200, 900, 90, 110, 160, 255}}});
    return s;
}

static ly_set ly_keret()
{
    ly_set s{"keret", "the picture frame around segment 6", {}};
    s.layers.push_back({"gilded frame, settling onto the screen edge", "keret.raw", 2,
                        {{0, 512, 384, 1400, 1050, 255, 255, 255, 0, 1}, {70, 512, 384, 1024, 768, 255, 255, 255, 255}}});
    return s;
}

static ly_set ly_meeting()
{
    ly_set s{"meeting", "closing words of segment 6", {}};
    s.layers.push_back(ly_fader("see you at the next meeting", "txt_meeting.raw", 2, 512, 110, 700, 100, LY_WHITE,
                                ly_inout(80, 140, 420, 480)));
    s.layers.push_back(ly_fader("the qiv logo once more", "txt_qiv.raw", 1, 512, 620, 420, 210, LY_WHITE,
                                ly_inout(520, 600, 880, 940)));
    s.layers.push_back(ly_fader("made with kestrel, thanks for watching", "txt_end.raw", 2, 512, 110, 620, 180,
                                LY_WHITE, ly_inout(560, 620, 880, 940)));
    return s;
}

// Keys of one flash that lights up at t seconds exactly, though key frames are
// whole layer frames of 131.5 ms: the colour runs linearly from a negative
// value at the whole frame before t (drawn as black, colours clamp at 0) to a
// value past full at the frame after, crossing 0 about 4 ms (1/32 of a
// layer frame) before t and reaching full at t, so a frame drawn at the
// crash's own millisecond already shows it. From there it holds full for a frame
// and eases out to black over six more.
static void ly_flash_keys(ly_layer& flash, double t)
{
    const float full = 235.0f, slope = full * 32.0f;  // colour per layer frame on the rise
    double tf = t * 1000.0 / MK_DRUMCRASH_MS - 1.0 / 32;  // full at t itself
    int a = static_cast<int>(std::floor(tf)), b = a + 1;
    float rise = std::max(full, slope * static_cast<float>(b - tf));
    float start = -rise * static_cast<float>(tf - a) / static_cast<float>(b - tf);
    flash.keys.push_back({a, 512, 384, 1024, 768, start, start, start, 255});
    flash.keys.push_back({b, 512, 384, 1024, 768, rise, rise, rise, 255});
    flash.keys.push_back({b + 1, 512, 384, 1024, 768, full, full, full, 255, 1});
    flash.keys.push_back({b + 7, 512, 384, 1024, 768, 0, 0, 0, 255});
}

static ly_set ly_drumcrash()
{
    ly_set s{"drumcrash", "flashes on the music's crash hits, over the whole run (frame = ms / 131.5)", {}};
    ly_layer flash{"white flash on every crash cymbal", "white.raw", 1, {}};
    flash.keys.push_back({0, 512, 384, 1024, 768, 0, 0, 0, 255});
    for (double t : mk_crash_times())
        ly_flash_keys(flash, t);
    flash.keys.push_back({1000, 512, 384, 1024, 768, 0, 0, 0, 255});
    s.layers.push_back(flash);
    s.layers.push_back(ly_fader("the end: black over everything", "white.raw", 2, 512, 384, 1024, 768, LY_BLACK,
                                {{0, 0.0f}, {990, 0.0f}, {998, 1.0f}}));
    return s;
}

// --- public function -----------------------------------------------------------------
void mk_make_layers(const mk_context& ctx)
{
    mk_progress(ctx, "layers: painting textures");
    ly_paint_basics(ctx);
    ly_paint_backgrounds(ctx);
    ly_paint_overlays(ctx);
    ly_paint_text(ctx);
    ly_paint_greets(ctx);
    mk_progress(ctx, "layers: writing the fifteen layer files");
    // The order the shell loads them in.
    for (const ly_set& set : {ly_loading(), ly_meeting(), ly_crestpre(), ly_part2(), ly_blackfade(), ly_starmap(),
                              ly_portrait(), ly_drumcrash(), ly_hatter(), ly_crestfade(), ly_beauty(), ly_planet(),
                              ly_kekbkg(), ly_keret(), ly_greets()})
        ly_write(ctx, set);
}
