// shell/edit.cpp - qiv --edit (see edit.h).
//
// The edit clock is an anchor (a real time and the show time it stood for)
// plus whether it runs: every seek, pause, resume and loop sets a new anchor,
// so show time never drifts from what the keys asked for. The music is told
// at the same moments; between them it runs on its own, as in the show.
#include "shell/edit.h"


#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <vector>

#include "audio/player.h"
#include "audio/soundlib.h"
#include "shell/clock.h"
#include "shell/font.h"
#include "shell/runs.h"
#include "shell/shell.h"
#include "shell/timeline.h"
#include "shell/window.h"

edit_state EDIT;

// --- internal helpers ---------------------------------------------------------
static uint32_t edit_last_ms()
{
    return SHOW.length > 0 ? SHOW.length - 1 : 0;
}

// The music at show time t, playing or held.
static void edit_music(uint32_t t)
{
    if (EDIT.paused)
        soundlib_stop();
    else
        bass_play_music_from(0, t);
}

static void edit_anchor(uint32_t now, int64_t show)
{
    if (show < 0)
        show = 0;
    if (show > edit_last_ms())
        show = edit_last_ms();
    EDIT.anchor_real = now;
    EDIT.anchor_show = show;
}

static void edit_seek(uint32_t now, int64_t show)
{
    edit_anchor(now, show);
    edit_music(static_cast<uint32_t>(EDIT.anchor_show));
}

// The start of the segment before (direction -1) or after (+1) time t.
static int64_t edit_segment_start(uint32_t t, int direction)
{
    int64_t best = direction < 0 ? 0 : -1;
    for (const score_segment& seg : SHOW.segments) {
        int64_t first = int64_t(seg.start) + (seg.includes_start ? 0 : 1);
        if (direction < 0 && first < t && first > best)
            best = first;
        if (direction > 0 && first > t && (best < 0 || first < best))
            best = first;
    }
    return best < 0 ? t : best;
}

// The scene frame of the segment's first scene step at t, or -1.
static double edit_scene_frame(int segment, uint32_t t)
{
    if (segment <= 0)
        return -1;
    const score_segment& seg = score_segment_at(segment);
    for (const score_step& step : seg.steps)
        if (step.kind == SCORE_SCENE) {
            float f = timeline_frame(int64_t(t) - seg.start, step.rate);
            return step.wrap > 0 ? timeline_wrap_frame(f, step.wrap) : f;
        }
    return -1;
}

static void edit_key_event(int key, bool shift)
{
    uint32_t now = clock_now_ms();
    switch (key) {
    case WINDOW_KEY_SPACE: edit_key(EDIT_KEY_SPACE, shift, now); break;
    case WINDOW_KEY_LEFT: edit_key(EDIT_KEY_LEFT, shift, now); break;
    case WINDOW_KEY_RIGHT: edit_key(EDIT_KEY_RIGHT, shift, now); break;
    case WINDOW_KEY_PAGE_UP: edit_key(EDIT_KEY_PAGE_UP, shift, now); break;
    case WINDOW_KEY_PAGE_DOWN: edit_key(EDIT_KEY_PAGE_DOWN, shift, now); break;
    case WINDOW_KEY_HOME: edit_key(EDIT_KEY_HOME, shift, now); break;
    case WINDOW_KEY_LEFT_BRACKET: edit_key(EDIT_KEY_LOOP_IN, shift, now); break;
    case WINDOW_KEY_RIGHT_BRACKET: edit_key(EDIT_KEY_LOOP_OUT, shift, now); break;
    case WINDOW_KEY_L: edit_key(EDIT_KEY_LOOP, shift, now); break;
    default: return;
    }
    if (SHELL_OPTIONS.verbose)  // the author's log of every key, and what tests read
        std::fprintf(stderr, "qiv: edit: %s\n", edit_overlay(edit_time(now)).c_str());
}

static std::string edit_seconds(uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return text;
}

static void edit_count_frame(uint32_t now)
{
    static uint32_t since = 0, frames = 0;
    if (frames == 0)
        since = now;
    frames += 1;
    if (now - since >= 1000) {
        EDIT.fps = frames * 1000.0 / (now - since);
        frames = 0;
    }
}

// The frame costs around a reload (--verbose): the frames before it, the
// reload frame, and the frames after it once there are as many.
namespace {
struct edit_costs {
    std::deque<double>  before;
    std::vector<double> after;
    double              reload_ms = -1;  // < 0: no reload being measured
};
edit_costs edit_reload_costs;
constexpr size_t EDIT_COST_FRAMES = 60;
}  // namespace

static double edit_median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

static void edit_cost(double ms, bool reloaded)
{
    edit_costs& c = edit_reload_costs;
    if (reloaded) {
        c.reload_ms = ms;
        c.after.clear();
        return;
    }
    if (c.reload_ms < 0) {
        c.before.push_back(ms);
        if (c.before.size() > EDIT_COST_FRAMES)
            c.before.pop_front();
        return;
    }
    c.after.push_back(ms);
    if (c.after.size() < EDIT_COST_FRAMES)
        return;
    std::vector<double> around(c.before.begin(), c.before.end());
    around.insert(around.end(), c.after.begin(), c.after.end());
    double median = edit_median(around);
    double worst = *std::max_element(around.begin(), around.end());
    size_t over = static_cast<size_t>(std::count_if(around.begin(), around.end(),
                                                    [&](double v) { return v > 3 * median; }));
    if (SHELL_OPTIONS.verbose)
        std::fprintf(stderr, "qiv: frames around the reload: median %.2f ms, worst %.2f ms, %zu of %zu "
                     "above 3 x median; the reload frame %.1f ms\n", median, worst, over, around.size(), c.reload_ms);
    c.before.assign(c.after.begin(), c.after.end());
    c.reload_ms = -1;
}

// --- public functions ---------------------------------------------------------
void edit_restart_music(uint32_t t)
{
    edit_music(t);
}

void edit_begin(uint32_t now, uint32_t start)
{
    EDIT = edit_state{};
    edit_anchor(now, start);
}

uint32_t edit_time(uint32_t now)
{
    int64_t t = EDIT.anchor_show + (EDIT.paused ? 0 : int64_t(uint32_t(now - EDIT.anchor_real)));
    if (EDIT.looping) {
        uint32_t in = 0, out = 0;
        edit_loop_range(static_cast<uint32_t>(EDIT.anchor_show), in, out);
        if (t >= out || t < in) {
            edit_seek(now, in);
            return in;
        }
    }
    if (t > edit_last_ms()) {
        edit_seek(now, 0);  // past the end: from the start again
        return 0;
    }
    return static_cast<uint32_t>(t);
}

uint32_t edit_step_ms(bool shift)
{
    if (SHOW.bpm > 0)
        return static_cast<uint32_t>(std::lround(60000.0 / SHOW.bpm));
    return shift ? 100 : 1000;
}

void edit_loop_range(uint32_t t, uint32_t& in, uint32_t& out)
{
    if (EDIT.range_set) {
        in = EDIT.loop_in;
        out = EDIT.loop_out;
        return;
    }
    int segment = timeline_segment(t);
    if (segment == 0) {
        in = 0;
        out = SHOW.length;
        return;
    }
    const score_segment& seg = score_segment_at(segment);
    in = seg.start + (seg.includes_start ? 0 : 1);
    out = seg.end;
}

void edit_key(edit_key_name key, bool shift, uint32_t now)
{
    uint32_t t = edit_time(now);
    switch (key) {
    case EDIT_KEY_SPACE:
        EDIT.paused = !EDIT.paused;
        edit_seek(now, t);
        break;
    case EDIT_KEY_LEFT: edit_seek(now, int64_t(t) - edit_step_ms(shift)); break;
    case EDIT_KEY_RIGHT: edit_seek(now, int64_t(t) + edit_step_ms(shift)); break;
    case EDIT_KEY_PAGE_UP: edit_seek(now, edit_segment_start(t, -1)); break;
    case EDIT_KEY_PAGE_DOWN: edit_seek(now, edit_segment_start(t, +1)); break;
    case EDIT_KEY_HOME: edit_seek(now, 0); break;
    case EDIT_KEY_LOOP_IN:
    case EDIT_KEY_LOOP_OUT: {
        uint32_t in = 0, out = 0;
        edit_loop_range(t, in, out);
        if (key == EDIT_KEY_LOOP_IN)
            in = t;
        else
            out = t;
        if (out <= in && key == EDIT_KEY_LOOP_IN)  // a range the wrong way round: the other end goes
            out = SHOW.length;
        else if (out <= in)
            in = 0;
        EDIT.loop_in = in;
        EDIT.loop_out = out;
        EDIT.range_set = true;
        break;
    }
    case EDIT_KEY_LOOP: {
        uint32_t in = 0, out = 0;
        edit_loop_range(t, in, out);
        if (!EDIT.range_set) {  // the segment playing now, kept while looping
            EDIT.loop_in = in;
            EDIT.loop_out = out;
            EDIT.range_set = true;
        }
        EDIT.looping = !EDIT.looping;
        edit_anchor(now, t);
        break;
    }
    }
}

std::string edit_overlay(uint32_t t)
{
    int segment = timeline_segment(t);
    std::string text = edit_seconds(t) + " s  ";
    text += segment > 0 ? "segment " + std::to_string(segment) + " " + score_segment_at(segment).name : "no segment";
    double frame = edit_scene_frame(segment, t);
    if (frame >= 0) {
        char f[32];
        std::snprintf(f, sizeof f, "  frame %.1f", frame);
        text += f;
    }
    uint32_t in = 0, out = 0;
    edit_loop_range(t, in, out);
    text += "  loop " + edit_seconds(in) + "-" + edit_seconds(out) + (EDIT.looping ? " on" : " off");
    char fps[32];
    std::snprintf(fps, sizeof fps, "  %.0f fps", EDIT.fps);
    return text + fps + (EDIT.paused ? "  paused" : "");
}

void shell_run_edit()
{
    window_key_hook = edit_key_event;
    window_set_title("qiv edit: " + (SHOW.source.empty() ? std::string("the built-in show") : SHOW.source));
    edit_begin(clock_now_ms(), SHELL_OPTIONS.start_ms);
    edit_watch_begin();
    while (QUIT_REQUESTED == 0) {
        auto began = std::chrono::steady_clock::now();
        uint32_t now = clock_now_ms();
        bool reloaded = edit_watch_step(now, edit_time(now));
        uint32_t t = edit_time(now);
        START_MS = now - t;  // DRAW_FRAME reads the same time
        DRAW_FRAME();
        TEXT_WRITE(edit_overlay(t), false, 0, 79);
        if (!edit_watch_error().empty())
            TEXT_WRITE(edit_watch_error(), false, 0, 78);
        edit_count_frame(now);
        FRAMES_DRAWN += 1;
        QUIT_REQUESTED = WINDOW_UPDATE();
        edit_cost(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count(),
                  reloaded);
    }
    window_key_hook = nullptr;
}
