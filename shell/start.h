// shell/start.h - starting the show part-way in (qiv --start MS).
//
// The timeline picks what to draw from the elapsed time alone, so a show can
// begin at any moment once the clock says so; the music is started at the
// same moment by the player (bass_play_music_from). What the time alone does
// not give is the particle pools: in a show played from the beginning, the
// segment's scene has been emitting since the segment began. start_prepare
// runs the particle steps that segment would have taken by then, without
// drawing, so the first frame shows the pool as it would have been.
#pragma once

#include <cstdint>

constexpr uint32_t START_STEPS_PER_SECOND = 60;   // the frame rate assumed for the steps missed
constexpr uint32_t START_MAX_STEPS        = 600;  // far beyond any particle's life

// Particle steps start_prepare runs for a start at ms (0 for segments without particles).
uint32_t start_particle_steps(uint32_t ms);
// Brings the particle pool of the segment running at ms to where the show
// would have it; nothing for ms 0 or a segment without particles. Needs the
// GL context (the scene's camera is set up for every step).
void     start_prepare(uint32_t ms);
