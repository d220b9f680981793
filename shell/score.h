// shell/score.h - the score of a show as data: what plays when.
//
// A show is a list of segments, each a window of the elapsed time with its
// steps in drawing order (clears, layer sets, scenes, particles, the state
// reset, the starfield, effects), plus the layer sets drawn over the whole
// run, the loading screen's layer set, the music and the show's length. The
// director (shell/timeline.cpp) runs whichever segment's window holds the
// time; the loading sequence loads what the score names, once each.
//
// Scenes and layer sets are slots in SHELL_SCENES and SHELL_LAYERS, in load
// order: the loading screen's layer set is always slot 0. Rates and weights
// are kept in long double, the precision the frame maths runs in, so that a
// rate written as 82.38 in a show file is the same number as the built-in
// score's 82.38L.
//
// The built-in score is the default show as code; qiv plays it when the data
// folder holds no show.toml, and the default show.toml reproduces it exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// --- capacities -----------------------------------------------------------------
constexpr int SCORE_MAX_SCENES     = 32;   // scene slots the shell holds
constexpr int SCORE_MAX_LAYER_SETS = 64;   // layer set slots the shell holds
constexpr int SCORE_MAX_SEGMENTS   = 64;   // segments a show may have

// --- types ------------------------------------------------------------------------
enum score_step_kind : uint8_t {
    SCORE_CLEAR,        // KST_CLEAR_SCREEN
    SCORE_CLEAR_DEPTH,  // clear the depth buffer
    SCORE_LAYERS,       // IFE_DRAW of a layer set at rate or at a fixed frame
    SCORE_SCENE,        // KST_RENDER_SCENE at rate, optionally wrapped
    SCORE_PARTICLES,    // KST_PARTICLES_RENDER at rate
    SCORE_RESET,        // the state reset after a scene
    SCORE_STARFIELD,    // texturing off, then the starfield under the scene's camera
    SCORE_SPIN,         // effect "spin": turn a scene's first objects as time goes on
};

struct score_step {
    score_step_kind kind   = SCORE_CLEAR;
    int32_t     target     = -1;      // layer set or scene slot
    long double rate       = 1.0L;    // ms of show time per animation frame
    bool        fixed      = false;   // SCORE_LAYERS: drawn at `frame`, not at a rate
    float       frame      = 0.0f;    // the fixed frame
    int32_t     wrap       = 0;       // SCORE_SCENE: frames wrap at this count (0: none)
    int32_t     objects    = 5;       // SCORE_SPIN: objects turned
    long double spin_x     = 20.0L;   // SCORE_SPIN: object 0's X angle = -u / spin_x
    long double spin_y     = 19.0L;   // SCORE_SPIN: object 0's Y angle = -u / spin_y
    long double growth     = 1.1L;    // SCORE_SPIN: each next object turns this much more
    int32_t     line       = 0;       // line in the show file (0: built in)
};

struct score_segment {
    std::string             name;
    uint32_t                start = 0;       // ms
    uint32_t                end   = 0;       // ms, exclusive
    bool                    includes_start = true;
    long double             weight = 0.0L;   // -bmark: frames per point (0: not counted)
    std::vector<score_step> steps;
};

struct score_scene {
    std::string stem;              // file stem: STEM.kst in the data folder
    bool        textures  = true;  // bind the scene's textures after loading
    int32_t     particles = 0;     // particle pool size (0: no pool)
};

struct score_closing {
    int32_t     layers = 0;        // layer set slot
    long double rate   = 1.0L;     // ms of show time per frame, from t = 0
};

struct show_score {
    std::string                source;      // the show file, or "" for the built-in score
    std::string                music = "music.ogg";  // in the data folder
    uint32_t                   length = 0;  // ms: the show ends at this elapsed time
    double                     bpm = 0;     // beats per minute (0: times were given in ms)
    std::vector<std::string>   layer_sets;  // stems in load order; [0] is the loading screen's
    std::vector<score_scene>   scenes;      // in load order
    std::vector<score_segment> segments;    // segment s (1-based) is segments[s - 1]
    std::vector<score_closing> closing;     // drawn in every frame after the segment
};

// --- the current score --------------------------------------------------------------
extern show_score SHOW;  // what plays; the built-in score until a show file is read

// The default show as code.
const show_score& score_builtin();
// Segment s, 1-based (s from 1 to SHOW.segments.size()).
const score_segment& score_segment_at(int segment);
// The operations the loading sequence runs for the score: every layer set,
// then every scene with its texture binding and particle pool.
int32_t score_load_operations(const show_score& score);
// Loading-screen steps: one after every load operation but the first two.
int32_t score_loading_steps(const show_score& score);
