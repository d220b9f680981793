// shell/loading.cpp - the loading sequence and the loading screen.
//
// Content loads in one fixed order from the data folder: fifteen layer sets,
// then six scenes, four of which also bind their textures and get a particle
// pool. After every operation but the first two the loading screen advances
// one step: the "loading" layer set drawn at frame 37 x step, so the 27 steps
// show its frames 37, 74, ..., 999. A quit request during loading does not
// stop it (the remaining files still load, and a broken one still ends the
// program); it only keeps the main loop from drawing any frame.
//
// A close request destroys the window at once (the display gets its mode
// back), and with it the GL context - but texture uploads still need one (GLU
// reads the GL version, and crashes without a context). So when the window
// goes during loading, the rest of the loading runs in a hidden stand-in
// context (titled "qiv loading", never shown), released at shutdown.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <cstdio>

#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/scene/loader.h"
#include "engine/scene/textures.h"
#include "platform/glcontext.h"
#include "shell/shell.h"
#include "support/error.h"
#include "shell/window.h"

// --- the loading table ----------------------------------------------------------
enum loading_kind { LOADING_LAYERS, LOADING_SCENE, LOADING_TEXTURES, LOADING_PARTICLES };

struct loading_op {
    loading_kind kind;
    int          target;     // shell_layers_id or shell_scene_id
    int32_t      particles;  // pool size for LOADING_PARTICLES
};

static const loading_op LOADING_TABLE[] = {
    {LOADING_LAYERS, LAYERS_LOADING, 0},    {LOADING_LAYERS, LAYERS_MEETING, 0},
    {LOADING_LAYERS, LAYERS_CRESTPRE, 0},   {LOADING_LAYERS, LAYERS_PART2, 0},
    {LOADING_LAYERS, LAYERS_BLACKFADE, 0},  {LOADING_LAYERS, LAYERS_STARMAP, 0},
    {LOADING_LAYERS, LAYERS_PORTRAIT, 0},   {LOADING_LAYERS, LAYERS_DRUMCRASH, 0},
    {LOADING_LAYERS, LAYERS_HATTER, 0},     {LOADING_LAYERS, LAYERS_CRESTFADE, 0},
    {LOADING_LAYERS, LAYERS_BEAUTY, 0},     {LOADING_LAYERS, LAYERS_PLANET, 0},
    {LOADING_LAYERS, LAYERS_KEKBKG, 0},     {LOADING_LAYERS, LAYERS_KERET, 0},
    {LOADING_LAYERS, LAYERS_GREETS, 0},
    {LOADING_SCENE, SCENE_CREST, 0},
    {LOADING_SCENE, SCENE_PART2, 0},  {LOADING_TEXTURES, SCENE_PART2, 0},  {LOADING_PARTICLES, SCENE_PART2, 2000},
    {LOADING_SCENE, SCENE_HIPOLY, 0}, {LOADING_TEXTURES, SCENE_HIPOLY, 0}, {LOADING_PARTICLES, SCENE_HIPOLY, 2000},
    {LOADING_SCENE, SCENE_LEPKE, 0},  {LOADING_TEXTURES, SCENE_LEPKE, 0},  {LOADING_PARTICLES, SCENE_LEPKE, 10},
    {LOADING_SCENE, SCENE_EARTH, 0},  {LOADING_TEXTURES, SCENE_EARTH, 0},  {LOADING_PARTICLES, SCENE_EARTH, 200},
    {LOADING_SCENE, SCENE_QORV, 0},
};
constexpr int LOADING_OPS = sizeof LOADING_TABLE / sizeof LOADING_TABLE[0];
constexpr int LOADING_UNSTEPPED = 2;  // the first two operations draw no step
static_assert(LOADING_OPS - LOADING_UNSTEPPED == SHELL_LOADING_STEPS);

// --- module state -------------------------------------------------------------
static gl_context loading_standin;  // hidden context after a close during loading

// --- internal helpers ---------------------------------------------------------
// Keeps a current GL context for the remaining loads once the window is gone.
static void loading_keep_context()
{
    if (QUIT_REQUESTED == 0 || window_exists() || loading_standin.context)
        return;
    gl_context_options options;
    options.visible = false;
    options.title = "qiv loading";
    options.offscreen = WINDOW_OPTIONS.offscreen;
    std::string error;
    // A busy display server can refuse one connection; try a few times.
    for (int attempt = 0; attempt < 5 && !gl_context_open(loading_standin, options, error); ++attempt)
        SDL_Delay(100);
    if (!loading_standin.context)
        fatal_raise("the window was closed during loading and no GL context is left to finish it (" +
                    error + ")");
}

static void loading_note(const std::string& what)
{
    if (SHELL_OPTIONS.verbose)
        std::fprintf(stderr, "qiv: %s\n", what.c_str());
}

static void loading_run(const loading_op& op)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    switch (op.kind) {
    case LOADING_LAYERS: {
        std::string file = dir + "/" + SHELL_LAYERS_STEMS[op.target] + ".ife";
        loading_note("loading " + file);
        IFE_LOAD(SHELL_LAYERS[op.target], file, dir);
        break;
    }
    case LOADING_SCENE: {
        std::string file = dir + "/" + SHELL_SCENE_STEMS[op.target] + ".kst";
        loading_note("loading " + file);
        KST_SCENE_LOAD(SHELL_SCENES[op.target], file);
        break;
    }
    case LOADING_TEXTURES:
        loading_note(std::string("binding the textures of ") + SHELL_SCENE_STEMS[op.target]);
        KST_SCENE_TEXTURES(SHELL_SCENES[op.target], dir);
        break;
    case LOADING_PARTICLES:
        loading_note(std::string("particle pool of ") + std::to_string(op.particles) + " for " +
                     SHELL_SCENE_STEMS[op.target]);
        KST_PARTICLES_INIT(SHELL_SCENES[op.target], op.particles);
        break;
    }
}

// --- public functions ---------------------------------------------------------
void LOADING_STEP()
{
    LOAD_STEP += 1;
    KST_CLEAR_SCREEN();
    IFE_DRAW(SHELL_LAYERS[LAYERS_LOADING], static_cast<float>(LOAD_STEP * 37));
    QUIT_REQUESTED = WINDOW_UPDATE();
    if (SHELL_OPTIONS.loading_pace_ms > 0 && QUIT_REQUESTED == 0)
        SDL_Delay(SHELL_OPTIONS.loading_pace_ms);
}

void shell_load_content()
{
    for (int i = 0; i < LOADING_OPS; ++i) {
        loading_run(LOADING_TABLE[i]);
        if (i >= LOADING_UNSTEPPED)
            LOADING_STEP();
        loading_keep_context();
    }
    loading_note("loaded everything in " + std::to_string(LOAD_STEP) + " loading steps");
}

void shell_release_loading_context()
{
    gl_context_close(loading_standin);
}
