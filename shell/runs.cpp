// shell/runs.cpp - playing the loaded show: real time, capture, one frame, timedemo.
//
// The real-time loop has no frame limit and no sleep; its end test looks at
// the frame drawn last, so the final frame is the first one at or past the
// score's length (131500 ms in the default show). The other runs set the virtual clock before each frame
// (START_MS is 0 there), so a frame shows exactly the time asked for. Every
// run times each frame (draw and swap) with the monotonic clock and books it
// to the frame's segment; the timedemo also waits for the GPU (glFinish) so
// its figures measure rendering, not queueing. A capture that is one part of
// a split run (shell/capture_jobs.h) first catches up with the frames before
// its part and reports its progress to the parent instead of drawing a bar.
#include "shell/runs.h"

#include <GL/gl.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "audio/player.h"
#include "shell/capture.h"
#include "shell/capture_jobs.h"
#include "shell/clock.h"
#include "shell/shell.h"
#include "shell/timeline.h"
#include "shell/window.h"
#include "engine/render/draw.h"
#include "support/child.h"
#include "support/error.h"

double   SEGMENT_SECONDS[SCORE_MAX_SEGMENTS + 1];
uint32_t FRAMES_DRAWN;

// --- internal helpers ---------------------------------------------------------
static double runs_now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Draws one frame at the current clock and books its real time to its segment.
static void runs_draw(bool finish)
{
    double start = runs_now();
    DRAW_FRAME();
    FRAMES_DRAWN += 1;
    if (finish)
        glFinish();
    SEGMENT_SECONDS[timeline_segment(ELAPSED_MS)] += runs_now() - start;
}

static void runs_present()
{
    double start = runs_now();
    QUIT_REQUESTED = WINDOW_UPDATE();
    SEGMENT_SECONDS[timeline_segment(ELAPSED_MS)] += runs_now() - start;
}

static void runs_virtual_frame(uint32_t t)
{
    clock_set_virtual_ms(START_MS + t);
    runs_draw(false);
}

static void runs_capture_progress(const capture_sink& sink, uint32_t total)
{
    static uint32_t shown = UINT32_MAX;
    if (sink.frames == shown)
        return;
    shown = sink.frames;
    if (capture_part_active())
        capture_part_progress(sink.frames);
    else
        capture_progress(sink.frames, total);
}

// Brings a part that starts at frame `start` of a capture whose first frame is
// `first` to the state a whole run has there: the frames before the last are
// replayed without drawing, the last is drawn and presented but not written.
static void runs_catch_up(int64_t first, int64_t start)
{
    capture_rate fps = SHELL_OPTIONS.fps;
    for (int64_t n = first; n < start - 1 && QUIT_REQUESTED == 0; ++n)
        timeline_replay_frame(capture_frame_time(n, fps));
    if (start > first) {
        runs_virtual_frame(capture_frame_time(start - 1, fps));
        runs_present();
    }
}

// --loop: the show from the start again, with its music and empty particle
// pools, as it began the first time.
static void runs_restart()
{
    for (KST_SCENE& scene : SHELL_SCENES)
        for (int32_t j = 0; scene.PARTICLE != nullptr && j < scene.PARTICLES; ++j)
            scene.PARTICLE[j].DELETED = true;
    bass_play_music_from(0, 0);
    START_MS = clock_now_ms();
    ELAPSED_MS = 0;
}

// --- public functions ---------------------------------------------------------
void shell_run_show()
{
    for (;;) {
        if (QUIT_REQUESTED != 0)
            break;
        if (ELAPSED_MS >= SHOW.length && SHELL_OPTIONS.loop)
            runs_restart();
        if (ELAPSED_MS >= SHOW.length)
            break;
        ELAPSED_MS = clock_now_ms() - START_MS;
        runs_draw(false);
        runs_present();
    }
}

void shell_run_capture()
{
    const shell_options& o = SHELL_OPTIONS;
    int64_t first = 0, last = 0;
    capture_frame_range(o.fps, o.from_ms, o.to_ms, first, last);
    bool part = capture_part_active();
    if (part) {
        runs_catch_up(first, capture_part_range().first);
        first = capture_part_range().first;
        last = capture_part_range().last;
    }
    uint32_t total = last >= first ? static_cast<uint32_t>(last - first + 1) : 0;
    child_scope encoder_waits;  // ffmpeg stays until waited for, whatever SIGCHLD was
    capture_sink sink;
    if (part)
        capture_open(sink, capture_part_out(), o.fps, o.from_ms, "", 0);  // lossless: coded again when joined
    else
        capture_open(sink, o.capture_out, o.fps, o.from_ms, o.data_dir + "/" + SHOW.music, o.crf);
    try {
        for (int64_t n = first; n <= last && QUIT_REQUESTED == 0; ++n) {
            runs_virtual_frame(capture_frame_time(n, o.fps));
            capture_frame(sink, n);
            runs_present();
            runs_capture_progress(sink, total);
        }
        if (part && QUIT_REQUESTED != 0)
            fatal_raise(o.capture_out + ": the capture of frames " + std::to_string(first) + " to " +
                        std::to_string(last) + " was stopped");
        capture_close(sink);
        runs_capture_progress(sink, total);
    } catch (...) {
        capture_abort(sink);
        throw;
    }
    if (sink.frames < total)
        std::fprintf(stderr, "\nqiv: capture stopped after %u of %u frames\n", sink.frames, total);
}

void shell_run_frame()
{
    runs_virtual_frame(*SHELL_OPTIONS.frame_ms);
    capture_write_png(SHELL_OPTIONS.frame_out, capture_read_frame(), CAPTURE_WIDTH, CAPTURE_HEIGHT);
    runs_present();
}

uint32_t timedemo_frame_time(int segment, uint32_t k, uint32_t count)
{
    const score_segment& seg = score_segment_at(segment);
    uint64_t span = seg.end - seg.start;
    return seg.start + static_cast<uint32_t>((k + 1) * span / (uint64_t(count) + 1));
}

void shell_run_timedemo()
{
    uint32_t count = SHELL_OPTIONS.timedemo_frames;
    std::printf("timedemo: %u frames per segment, %dx%d\n", count, CAPTURE_WIDTH, CAPTURE_HEIGHT);
    double total = 0;
    int segments = timeline_segments();
    for (int s = 1; s <= segments && QUIT_REQUESTED == 0; ++s) {
        double before = SEGMENT_SECONDS[s];
        kst_render_stats stats_before = KST_RENDER_STATS;
        for (uint32_t k = 0; k < count && QUIT_REQUESTED == 0; ++k) {
            clock_set_virtual_ms(START_MS + timedemo_frame_time(s, k, count));
            runs_draw(true);
            runs_present();
        }
        double spent = SEGMENT_SECONDS[s] - before;
        total += spent;
        double n = count ? count : 1;
        std::printf("segment %d: %8.3f ms/frame %8.1f objects/frame %10.0f triangles/frame\n", s,
                    count ? spent * 1000.0 / count : 0.0,
                    static_cast<double>(KST_RENDER_STATS.objects - stats_before.objects) / n,
                    static_cast<double>(KST_RENDER_STATS.triangles - stats_before.triangles) / n);
    }
    std::printf("all:       %8.3f ms/frame\n", count ? total * 1000.0 / (double(segments) * count) : 0.0);
    std::fflush(stdout);
}

// --- frame costs ----------------------------------------------------------------
struct runs_cost {
    double   ms;       // wall clock
    uint32_t t;
    double   cpu_ms;   // processor time of the whole process (the driver's threads too)
};

static double runs_cpu_now()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

static double runs_median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

// Prints one segment's line; returns the frames above 3 x its median.
static uint32_t runs_cost_report(int s, const std::vector<runs_cost>& costs)
{
    std::vector<double> wall, cpu;
    for (const runs_cost& c : costs) {
        wall.push_back(c.ms);
        cpu.push_back(c.cpu_ms);
    }
    double median = runs_median(wall), cpu_median = runs_median(cpu);
    runs_cost worst{0.0, 0, 0.0}, cpu_worst{0.0, 0, 0.0};
    uint32_t over = 0;
    for (const runs_cost& c : costs) {
        if (c.ms > worst.ms)
            worst = c;
        if (c.cpu_ms > cpu_worst.cpu_ms)
            cpu_worst = c;
        if (c.ms > 3.0 * median)
            over += 1;
    }
    std::printf("segment %d: %5zu frames, median %8.3f ms, worst %9.3f ms at %6u ms (%.1f x median), "
                "%u above 3 x median; processor time: median %8.3f ms, worst %9.3f ms at %6u ms\n",
                s, costs.size(), median, worst.ms, worst.t, median > 0 ? worst.ms / median : 0.0, over,
                cpu_median, cpu_worst.cpu_ms, cpu_worst.t);
    return over;
}

void shell_run_frame_costs()
{
    const shell_options& o = SHELL_OPTIONS;
    int64_t first = 0, last = 0;
    capture_frame_range(o.fps, o.from_ms, o.to_ms, first, last);
    std::printf("frame costs: %s frames per second, %dx%d\n", capture_rate_text(o.fps).c_str(), CAPTURE_WIDTH,
                CAPTURE_HEIGHT);
    std::vector<std::vector<runs_cost>> costs(static_cast<size_t>(timeline_segments()) + 1);
    for (int64_t n = first; n <= last && QUIT_REQUESTED == 0; ++n) {
        uint32_t t = capture_frame_time(n, o.fps);
        double start = runs_now(), cpu_start = runs_cpu_now();
        runs_virtual_frame(t);
        glFinish();
        double ms = (runs_now() - start) * 1000.0, cpu_ms = (runs_cpu_now() - cpu_start) * 1000.0;
        runs_present();
        int s = timeline_segment(t);
        if (s > 0)
            costs[static_cast<size_t>(s)].push_back({ms, t, cpu_ms});
        if (ms > 1000.0)
            std::fprintf(stderr, "qiv: the frame at %u ms took %.0f ms\n", t, ms);
    }
    uint32_t over = 0;
    for (int s = 1; s <= timeline_segments(); ++s)
        over += runs_cost_report(s, costs[static_cast<size_t>(s)]);
    std::printf("frames above 3 x their segment's median: %u\n", over);
    std::fflush(stdout);
}
