// shell/score.cpp - the built-in score and the score helpers (see score.h).
//
// The built-in score is the default show: six segments, fifteen layer sets and
// six scenes. Its slot numbers are the shell's SCENE_* and LAYERS_* names, so
// code and tests that reach for "the part2 scene" keep doing so; the segment
// windows, rates and -bmark weights are the show's fixed table.
#include "shell/score.h"

#include "shell/shell.h"

const char* const SHELL_LAYERS_STEMS[LAYERS_COUNT] = {
    "loading", "meeting", "crestpre", "part2", "blackfade", "starmap", "portrait", "drumcrash",
    "hatter", "crestfade", "beauty", "planet", "kekbkg", "keret", "greets"};

// --- internal helpers ---------------------------------------------------------
static score_step score_plain(score_step_kind kind)
{
    score_step s;
    s.kind = kind;
    return s;
}

static score_step score_layers(shell_layers_id id, long double rate)
{
    score_step s = score_plain(SCORE_LAYERS);
    s.target = id;
    s.rate = rate;
    return s;
}

static score_step score_layers_still(shell_layers_id id, float frame)
{
    score_step s = score_plain(SCORE_LAYERS);
    s.target = id;
    s.fixed = true;
    s.frame = frame;
    return s;
}

static score_step score_scene_at(shell_scene_id id, long double rate, int32_t wrap = 0)
{
    score_step s = score_plain(SCORE_SCENE);
    s.target = id;
    s.rate = rate;
    s.wrap = wrap;
    return s;
}

static score_step score_particles(shell_scene_id id, long double rate)
{
    score_step s = score_plain(SCORE_PARTICLES);
    s.target = id;
    s.rate = rate;
    return s;
}

static score_step score_spin(shell_scene_id id)
{
    score_step s = score_plain(SCORE_SPIN);
    s.target = id;
    return s;  // five objects, -u / 20 and -u / 19, each next one 1.1 times more
}

// Segments 3 and 5: a background layer set, the scene and its particles each
// on a cleared depth buffer (so nothing hides the particles), then two layer
// sets in front.
static std::vector<score_step> score_framed(shell_layers_id back, shell_scene_id scene, shell_layers_id front1,
                                            shell_layers_id front2, long double rate)
{
    return {score_plain(SCORE_CLEAR),       score_layers(back, rate),     score_plain(SCORE_CLEAR_DEPTH),
            score_scene_at(scene, rate),    score_plain(SCORE_CLEAR_DEPTH), score_plain(SCORE_RESET),
            score_particles(scene, rate),   score_plain(SCORE_RESET),     score_plain(SCORE_CLEAR_DEPTH),
            score_layers(front1, rate),     score_layers(front2, rate)};
}

static show_score score_make_builtin()
{
    show_score s;
    s.length = 131500;
    for (int i = 0; i < LAYERS_COUNT; ++i)
        s.layer_sets.push_back(SHELL_LAYERS_STEMS[i]);
    s.scenes = {{"crest", false, 0},  {"part2", true, 2000}, {"hipoly", true, 2000},
                {"lepke", true, 10},  {"earth", true, 200},  {"qorv", false, 0}};
    const score_step clear = score_plain(SCORE_CLEAR), depth = score_plain(SCORE_CLEAR_DEPTH),
                     reset = score_plain(SCORE_RESET);
    s.segments = {
        {"crest", 0, 15000, true, 82.38L,
         {clear, score_scene_at(SCENE_CREST, 7.5L), score_layers(LAYERS_CRESTPRE, 15.0L)}},
        {"part2", 15000, 40000, true, 42.0L,
         {clear, score_scene_at(SCENE_PART2, 25.0L), reset, score_particles(SCENE_PART2, 25.0L),
          score_layers(LAYERS_PART2, 25.0L)}},
        {"lepke", 40000, 64000, false, 79.68L,
         score_framed(LAYERS_PORTRAIT, SCENE_LEPKE, LAYERS_BEAUTY, LAYERS_BLACKFADE, 24.0L)},
        {"earth", 64000, 96000, false, 105.54L,
         {clear, score_scene_at(SCENE_EARTH, 32.0L), reset, score_particles(SCENE_EARTH, 32.0L),
          score_plain(SCORE_STARFIELD), score_layers(LAYERS_STARMAP, 32.0L), score_layers(LAYERS_PLANET, 32.0L),
          score_layers(LAYERS_BLACKFADE, 32.0L)}},
        {"hipoly", 96000, 114000, false, 31.2L,
         score_framed(LAYERS_HATTER, SCENE_HIPOLY, LAYERS_GREETS, LAYERS_CRESTFADE, 18.0L)},
        {"qorv", 114000, 130000, false, 45.54L,
         {clear, score_layers_still(LAYERS_KEKBKG, 0.0f), depth, score_spin(SCENE_QORV),
          score_scene_at(SCENE_QORV, 8.0L, 1000), score_layers(LAYERS_KERET, 16.0L),
          score_layers(LAYERS_MEETING, 16.0L), score_layers(LAYERS_CRESTFADE, 16.0L)}},
    };
    s.closing = {{LAYERS_DRUMCRASH, 131.5L}};
    return s;
}

// --- public functions ---------------------------------------------------------
const show_score& score_builtin()
{
    static const show_score builtin = score_make_builtin();
    return builtin;
}

show_score SHOW = score_builtin();

const score_segment& score_segment_at(int segment)
{
    return SHOW.segments[static_cast<size_t>(segment - 1)];
}

int32_t score_load_operations(const show_score& score)
{
    int32_t ops = static_cast<int32_t>(score.layer_sets.size());
    for (const score_scene& scene : score.scenes)
        ops += 1 + (scene.textures ? 1 : 0) + (scene.particles > 0 ? 1 : 0);
    return ops;
}

int32_t score_loading_steps(const show_score& score)
{
    int32_t ops = score_load_operations(score);
    return ops > 2 ? ops - 2 : 0;
}
