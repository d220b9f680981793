// shell/timeline.h - the director: what each frame of the score draws, and the score's maths.
//
// The segment is chosen from the elapsed time t on every frame: the first of
// the score's segments whose window holds t (a segment may include or
// exclude its start; the default show's segment 2 includes it, 3 to 6
// exclude theirs, so at exactly 40000, 64000, 96000 and 114000 ms and from
// 130000 ms on no segment runs and only the closing layers are drawn). Frame
// values are (t - start) divided by a step's rate in extended precision and
// rounded to a 32-bit float. These pure parts are kept apart from DRAW_FRAME
// so they can be checked alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "shell/score.h"

extern int32_t BENCH_SCORE;  // recomputed every frame

// The number of segments of the score playing.
int   timeline_segments();
// The segment (1-based) whose window holds t, or 0 when none does.
int   timeline_segment(uint32_t t);
// The particle steps of segment s (none for 0).
std::vector<const score_step*> timeline_particle_steps(int segment);
// u / rate in extended precision, as a 32-bit float.
float timeline_frame(int64_t u, long double rate);
// A wrapped scene frame: frac(g) + (n mod wrap), n = g rounded half to even.
float timeline_wrap_frame(float g, int32_t wrap);
// The default show's segment 6 frame: wrapped at 1000.
float timeline_qorv_frame(float g);
// The score from the per-segment frame counters (slots 1..), rounded half to even.
int32_t timeline_bench_score(const int32_t* frames);
// The spin effect at u ms into its segment: the first `objects` objects of the
// scene (fewer when it has fewer) turn through their STATICROTATE vectors.
void  timeline_spin_step(KST_SCENE& scene, int64_t u, const score_step& spin);
// The default show's ring spin of segment 6 at show time t.
void  timeline_spin(KST_SCENE& scene, uint32_t t);
// What drawing the frame at t leaves for later frames, without drawing it: the
// particle steps of the segment (with their random draws, under that frame's
// camera) and the segment's frame counter. A run that starts late replays the
// frames before its start with it to reach the same state.
void  timeline_replay_frame(uint32_t t);
// Draws the frame of show time t (DRAW_FRAME without reading the clock).
void  timeline_draw_at(uint32_t t);
// The benchmark line drawn at the top-left with "-bmark".
std::string timeline_bench_text(int32_t score);
