// shell/timeline.cpp - DRAW_FRAME: what each frame of the show draws.
//
// One call draws one whole frame for the current clock: the steps of the
// segment whose window holds the time, in the score's order, then in every
// frame the closing layers and the flat text set-up with the benchmark line.
// The segment is chosen from the elapsed time alone; there is no state
// machine, so the virtual clock of capture mode can jump to any time.
// Segment frame counters only grow and feed BENCH_SCORE.
#include <GL/gl.h>

#include "engine/render/draw.h"
#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "shell/clock.h"
#include "shell/font.h"
#include "shell/shell.h"
#include "shell/starfield.h"
#include "shell/timeline.h"

// --- internal helpers ---------------------------------------------------------
static void timeline_run_step(const score_step& step, int64_t u)
{
    switch (step.kind) {
    case SCORE_CLEAR:
        KST_CLEAR_SCREEN();
        break;
    case SCORE_CLEAR_DEPTH:
        glClear(GL_DEPTH_BUFFER_BIT);
        break;
    case SCORE_LAYERS:
        IFE_DRAW(SHELL_LAYERS[step.target], step.fixed ? step.frame : timeline_frame(u, step.rate));
        break;
    case SCORE_SCENE: {
        float f = timeline_frame(u, step.rate);
        KST_RENDER_SCENE(SHELL_SCENES[step.target], step.wrap > 0 ? timeline_wrap_frame(f, step.wrap) : f);
        break;
    }
    case SCORE_PARTICLES:
        KST_PARTICLES_RENDER(SHELL_SCENES[step.target], timeline_frame(u, step.rate));
        break;
    case SCORE_RESET:
        kst_state_reset();
        break;
    case SCORE_STARFIELD:
        glDisable(GL_TEXTURE_2D);  // the particle pass may have left a texture bound
        starfield_draw();
        break;
    case SCORE_SPIN:
        timeline_spin_step(SHELL_SCENES[step.target], u, step);
        break;
    }
}

static void timeline_run_segment(int segment, uint32_t t)
{
    if (segment <= 0)
        return;
    const score_segment& seg = score_segment_at(segment);
    int64_t u = static_cast<int64_t>(t) - seg.start;
    for (const score_step& step : seg.steps)
        timeline_run_step(step, u);
    SEGMENT_FRAMES[segment] += 1;
}

// Flat text drawing: identity matrices, the font texture, colour blending.
static void timeline_text_setup()
{
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glColor3f(0.8f, 0.8f, 0.8f);
    glBindTexture(GL_TEXTURE_2D, FONT_TEXTURE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
}

static void timeline_overlay(uint32_t t)
{
    for (const score_closing& closing : SHOW.closing)
        IFE_DRAW(SHELL_LAYERS[closing.layers], timeline_frame(t, closing.rate));
    timeline_text_setup();
    BENCH_SCORE = timeline_bench_score(SEGMENT_FRAMES);
    if (SHELL_OPTIONS.bmark)
        TEXT_WRITE(timeline_bench_text(BENCH_SCORE), false, 0, 0);
}

// --- public functions ---------------------------------------------------------
void timeline_replay_frame(uint32_t t)
{
    int segment = timeline_segment(t);
    if (segment == 0)
        return;
    int64_t u = static_cast<int64_t>(t) - score_segment_at(segment).start;
    for (const score_step* step : timeline_particle_steps(segment)) {
        KST_SCENE& s = SHELL_SCENES[step->target];
        float f = timeline_frame(u, step->rate);
        kst_scene_camera(s, f);  // the particles face this frame's camera
        bool skip = kst_render_skip_draws;
        kst_render_skip_draws = true;
        KST_PARTICLES_RENDER(s, f);
        kst_render_skip_draws = skip;
    }
    SEGMENT_FRAMES[segment] += 1;
}

void timeline_draw_at(uint32_t t)
{
    timeline_run_segment(timeline_segment(t), t);
    timeline_overlay(t);
}

void DRAW_FRAME()
{
    ELAPSED_MS = clock_now_ms() - START_MS;
    timeline_draw_at(ELAPSED_MS);
}
