// shell/timeline.h - the score of the show: segments, frame maths, benchmark.
//
// The show is six segments chosen from the elapsed time t on every frame:
//   1: t < 15000      2: 15000 <= t < 40000   3: 40000 < t < 64000
//   4: 64000 < t < 96000   5: 96000 < t < 114000   6: 114000 < t < 130000
// Segment 2 includes its start, segments 3 to 6 exclude theirs, so at exactly
// 40000, 64000, 96000 and 114000 ms and from 130000 ms on no segment runs and
// only the closing layers are drawn. Frame values are (t - start) divided by a
// per-segment divisor in extended precision and rounded to a 32-bit float.
// These pure parts are kept apart from DRAW_FRAME so they can be checked alone.
#pragma once

#include <cstdint>
#include <string>

#include "engine/scene/records.h"

struct timeline_segment_info {
    uint32_t    start;         // ms
    uint32_t    end;           // ms, exclusive
    bool        includes_start;
    long double divisor;       // frame = (t - start) / divisor
};

constexpr int TIMELINE_SEGMENTS = 6;
extern const timeline_segment_info TIMELINE[TIMELINE_SEGMENTS + 1];  // [1..6]

extern int32_t BENCH_SCORE;  // recomputed every frame

// The segment (1..6) whose window holds t, or 0 when none does.
int   timeline_segment(uint32_t t);
// The scene (SCENE_*) whose particles segment s draws, or -1 when it draws none.
int   timeline_particle_scene(int segment);
// u / divisor in extended precision, as a 32-bit float.
float timeline_frame(int64_t u, long double divisor);
// Segment 6's scene frame: frac(g) + (n mod 1000), n = g rounded half to even.
float timeline_qorv_frame(float g);
// The score from the per-segment frame counters (slots 1..6), rounded half to even.
int32_t timeline_bench_score(const int32_t frames[7]);
// Segment 6's spin of the first five objects (fewer when the scene has fewer).
void  timeline_spin(KST_SCENE& scene, uint32_t t);
// What drawing the frame at t leaves for later frames, without drawing it: the
// particle step of the segment's scene (with its random draws, under that
// frame's camera) and the segment's frame counter. A run that starts late
// replays the frames before its start with it to reach the same state.
void  timeline_replay_frame(uint32_t t);
// Draws the frame of show time t (DRAW_FRAME without reading the clock).
void  timeline_draw_at(uint32_t t);
// The benchmark line drawn at the top-left with "-bmark".
std::string timeline_bench_text(int32_t score);
