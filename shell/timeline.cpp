// shell/timeline.cpp - DRAW_FRAME: what each frame of the show draws.
//
// One call draws one whole frame for the current clock: the segment's clear,
// scene, particles and layer sets in its fixed order, then in every frame the
// closing drumcrash layers and the flat text set-up with the benchmark line.
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
static KST_SCENE& timeline_scene(shell_scene_id id)
{
    return SHELL_SCENES[id];
}

static void timeline_layers(shell_layers_id id, float frame)
{
    IFE_DRAW(SHELL_LAYERS[id], frame);
}

static void timeline_clear_depth()
{
    glClear(GL_DEPTH_BUFFER_BIT);
}

static void timeline_segment1(int64_t u)
{
    float f = timeline_frame(u, 7.5L);
    float g = timeline_frame(u, 15.0L);
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(timeline_scene(SCENE_CREST), f);
    timeline_layers(LAYERS_CRESTPRE, g);
}

static void timeline_segment2(int64_t u)
{
    float f = timeline_frame(u, TIMELINE[2].divisor);
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(timeline_scene(SCENE_PART2), f);
    kst_state_reset();
    KST_PARTICLES_RENDER(timeline_scene(SCENE_PART2), f);
    timeline_layers(LAYERS_PART2, f);
}

// Segments 3 and 5: a background layer set, the scene and its particles each
// on a cleared depth buffer (so nothing hides the particles), then two layer
// sets in front.
static void timeline_framed_scene(shell_layers_id back, shell_scene_id scene, shell_layers_id front1,
                                  shell_layers_id front2, float f)
{
    KST_CLEAR_SCREEN();
    timeline_layers(back, f);
    timeline_clear_depth();
    KST_RENDER_SCENE(timeline_scene(scene), f);
    timeline_clear_depth();
    kst_state_reset();
    KST_PARTICLES_RENDER(timeline_scene(scene), f);
    kst_state_reset();
    timeline_clear_depth();
    timeline_layers(front1, f);
    timeline_layers(front2, f);
}

static void timeline_segment3(int64_t u)
{
    float f = timeline_frame(u, TIMELINE[3].divisor);
    timeline_framed_scene(LAYERS_PORTRAIT, SCENE_LEPKE, LAYERS_BEAUTY, LAYERS_BLACKFADE, f);
}

static void timeline_segment4(int64_t u)
{
    float f = timeline_frame(u, TIMELINE[4].divisor);
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(timeline_scene(SCENE_EARTH), f);
    kst_state_reset();
    KST_PARTICLES_RENDER(timeline_scene(SCENE_EARTH), f);
    glDisable(GL_TEXTURE_2D);
    starfield_draw();
    timeline_layers(LAYERS_STARMAP, f);
    timeline_layers(LAYERS_PLANET, f);
    timeline_layers(LAYERS_BLACKFADE, f);
}

static void timeline_segment5(int64_t u)
{
    float f = timeline_frame(u, TIMELINE[5].divisor);
    timeline_framed_scene(LAYERS_HATTER, SCENE_HIPOLY, LAYERS_GREETS, LAYERS_CRESTFADE, f);
}

static void timeline_segment6(int64_t u, uint32_t t)
{
    float f = timeline_frame(u, TIMELINE[6].divisor);
    KST_CLEAR_SCREEN();
    timeline_layers(LAYERS_KEKBKG, 0.0f);
    timeline_clear_depth();
    timeline_spin(timeline_scene(SCENE_QORV), t);
    float g = timeline_frame(u, 8.0L);
    KST_RENDER_SCENE(timeline_scene(SCENE_QORV), timeline_qorv_frame(g));
    timeline_layers(LAYERS_KERET, f);
    timeline_layers(LAYERS_MEETING, f);
    timeline_layers(LAYERS_CRESTFADE, f);
}

static void timeline_run_segment(int segment, uint32_t t)
{
    int64_t u = static_cast<int64_t>(t) - TIMELINE[segment].start;
    switch (segment) {
    case 1: timeline_segment1(u); break;
    case 2: timeline_segment2(u); break;
    case 3: timeline_segment3(u); break;
    case 4: timeline_segment4(u); break;
    case 5: timeline_segment5(u); break;
    case 6: timeline_segment6(u, t); break;
    default: return;
    }
    SEGMENT_FRAMES[segment] += 1;
}

// The scene whose particles segment s draws (the segment functions above), or -1.
int timeline_particle_scene(int segment)
{
    switch (segment) {
    case 2: return SCENE_PART2;
    case 3: return SCENE_LEPKE;
    case 4: return SCENE_EARTH;
    case 5: return SCENE_HIPOLY;
    default: return -1;
    }
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
    timeline_layers(LAYERS_DRUMCRASH, static_cast<float>(static_cast<long double>(t) / 131.5L));
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
    int scene = timeline_particle_scene(segment);
    if (scene >= 0) {
        KST_SCENE& s = timeline_scene(static_cast<shell_scene_id>(scene));
        float f = timeline_frame(static_cast<int64_t>(t) - TIMELINE[segment].start, TIMELINE[segment].divisor);
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
