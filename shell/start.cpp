// shell/start.cpp - starting the show part-way in (see start.h).
//
// The steps missed are taken at the times a steady 60 frames per second would
// have drawn them, each after a scene render that places the camera and the
// emitters for that time, with every draw call skipped (kst_render_skip_draws):
// the particles are emitted, moved and aged exactly as when drawn, and the
// screen is not touched. A real run draws as fast as it can, so its pool is
// denser or sparser than this one by the ratio of the frame rates; the shape
// and reach of the particle streams are the same.
#include "shell/start.h"

#include <algorithm>
#include <cstdio>

#include "engine/render/draw.h"
#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "shell/shell.h"
#include "shell/timeline.h"

// --- internal helpers ---------------------------------------------------------

// Draw calls stay skipped while the record lives.
struct start_skip_draws {
    start_skip_draws() { kst_render_skip_draws = true; }
    ~start_skip_draws() { kst_render_skip_draws = false; }
};

// One frame's particle steps of the segment, each after its scene's render.
static void start_step(int segment, uint32_t t)
{
    int64_t u = static_cast<int64_t>(t) - score_segment_at(segment).start;
    for (const score_step* step : timeline_particle_steps(segment)) {
        KST_SCENE& scene = SHELL_SCENES[step->target];
        float f = timeline_frame(u, step->rate);
        KST_RENDER_SCENE(scene, f);
        kst_state_reset();
        KST_PARTICLES_RENDER(scene, f);
    }
}

// --- public functions ---------------------------------------------------------
uint32_t start_particle_steps(uint32_t ms)
{
    int segment = timeline_segment(ms);
    if (ms == 0 || timeline_particle_steps(segment).empty())
        return 0;
    uint64_t span = ms - score_segment_at(segment).start;
    return static_cast<uint32_t>(std::min<uint64_t>(span * START_STEPS_PER_SECOND / 1000, START_MAX_STEPS));
}

void start_prepare(uint32_t ms)
{
    uint32_t steps = start_particle_steps(ms);
    if (ms > 0 && SHELL_OPTIONS.verbose)
        std::fprintf(stderr, "qiv: starting at %u ms in segment %d after %u particle steps\n", ms,
                     timeline_segment(ms), steps);
    if (steps == 0)
        return;
    int segment = timeline_segment(ms);
    start_skip_draws skip;
    for (uint32_t k = steps; k >= 1; --k) {
        uint32_t back = static_cast<uint32_t>(uint64_t(k) * 1000 / START_STEPS_PER_SECOND);
        if (timeline_segment(ms - back) == segment)
            start_step(segment, ms - back);
    }
}
