// shell/runs.h - the ways a loaded show can be played.
//
// The show itself (real clock, until the score's length or a quit), capture (virtual
// clock, every frame written), a single frame, and the timedemo (virtual
// clock, a fixed number of frames per segment as fast as possible, timed).
// Each counts the real seconds spent drawing per segment for the "-bmark"
// summary.
#pragma once

#include <cstdint>

#include "shell/score.h"

extern double   SEGMENT_SECONDS[SCORE_MAX_SEGMENTS + 1];  // real time spent drawing each segment's frames
extern uint32_t FRAMES_DRAWN;        // every frame drawn by the run, in a segment or not

void shell_run_show();
void shell_run_capture();
void shell_run_frame();
void shell_run_timedemo();
// Renders every frame of the show (or of --from/--to) at --fps off screen,
// each waited for, and prints per segment the median and worst frame time with
// the worst frame's time stamp and the frames above 3 x the median.
void shell_run_frame_costs();
// The frame times the timedemo draws in segment s (count of them, spread inside its window).
uint32_t timedemo_frame_time(int segment, uint32_t k, uint32_t count);
