// shell/loading.cpp - the loading sequence and the loading screen.
//
// Content loads in the score's order from the data folder: every layer set
// (the loading screen's first), then every scene, each followed by its
// texture binding and particle pool when the score asks for them (the default
// show: fifteen layer sets, six scenes, four of them with textures and a
// pool). After every operation but the first two the loading screen advances
// one step: the loading layer set drawn at frame 999 / steps x step (integer
// division), so the default show's 27 steps show its frames 37, 74, ..., 999. A quit request during loading does not
// stop it (the remaining files still load, and a broken one still ends the
// program); it only keeps the main loop from drawing any frame.
//
// A close request destroys the window at once (the display gets its mode
// back), and with it the GL context - but texture uploads still need one (GLU
// reads the GL version, and crashes without a context). So when the window
// goes during loading, the rest of the loading runs in a hidden stand-in
// context (titled "qiv loading", never shown), released at shutdown.
#include <GL/gl.h>
#include <cstdio>
#include <vector>

#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/scene/loader.h"
#include "engine/scene/textures.h"
#include "platform/glcontext.h"
#include "platform/os.h"
#include "shell/shell.h"
#include "support/error.h"
#include "shell/window.h"

// --- the loading sequence -------------------------------------------------------
enum loading_kind { LOADING_LAYERS, LOADING_SCENE, LOADING_TEXTURES, LOADING_PARTICLES };

struct loading_op {
    loading_kind kind;
    int          target;     // layer set or scene slot
    int32_t      particles;  // pool size for LOADING_PARTICLES
};

constexpr int LOADING_UNSTEPPED = 2;  // the first two operations draw no step

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
        os_sleep_ms(100);
    if (!loading_standin.context)
        fatal_raise("the window was closed during loading and no GL context is left to finish it (" +
                    error + ")");
}

static void loading_note(const std::string& what)
{
    if (SHELL_OPTIONS.verbose)
        std::fprintf(stderr, "qiv: %s\n", what.c_str());
}

// The score's load operations in order.
static std::vector<loading_op> loading_sequence(const show_score& score)
{
    std::vector<loading_op> ops;
    for (size_t i = 0; i < score.layer_sets.size(); ++i)
        ops.push_back({LOADING_LAYERS, static_cast<int>(i), 0});
    for (size_t i = 0; i < score.scenes.size(); ++i) {
        const score_scene& scene = score.scenes[i];
        ops.push_back({LOADING_SCENE, static_cast<int>(i), 0});
        if (scene.textures)
            ops.push_back({LOADING_TEXTURES, static_cast<int>(i), 0});
        if (scene.particles > 0)
            ops.push_back({LOADING_PARTICLES, static_cast<int>(i), scene.particles});
    }
    return ops;
}

static const char* loading_scene_stem(int slot)
{
    return SHOW.scenes[static_cast<size_t>(slot)].stem.c_str();
}

static void loading_run(const loading_op& op)
{
    const std::string& dir = SHELL_OPTIONS.data_dir;
    switch (op.kind) {
    case LOADING_LAYERS: {
        std::string file = dir + "/" + SHOW.layer_sets[static_cast<size_t>(op.target)] + ".ife";
        loading_note("loading " + file);
        IFE_LOAD(SHELL_LAYERS[op.target], file, dir);
        break;
    }
    case LOADING_SCENE: {
        std::string file = dir + "/" + loading_scene_stem(op.target) + ".kst";
        loading_note("loading " + file);
        KST_SCENE_LOAD(SHELL_SCENES[op.target], file);
        break;
    }
    case LOADING_TEXTURES:
        loading_note(std::string("binding the textures of ") + loading_scene_stem(op.target));
        KST_SCENE_TEXTURES(SHELL_SCENES[op.target], dir);
        break;
    case LOADING_PARTICLES:
        loading_note(std::string("particle pool of ") + std::to_string(op.particles) + " for " +
                     loading_scene_stem(op.target));
        KST_PARTICLES_INIT(SHELL_SCENES[op.target], op.particles);
        break;
    }
}

// --- public functions ---------------------------------------------------------
void LOADING_STEP()
{
    LOAD_STEP += 1;
    KST_CLEAR_SCREEN();
    int32_t steps = score_loading_steps(SHOW);
    int32_t per_step = steps > 0 && steps < 999 ? 999 / steps : 1;
    IFE_DRAW(SHELL_LAYERS[0], static_cast<float>(LOAD_STEP * per_step));
    QUIT_REQUESTED = WINDOW_UPDATE();
    if (SHELL_OPTIONS.loading_pace_ms > 0 && QUIT_REQUESTED == 0)
        os_sleep_ms(SHELL_OPTIONS.loading_pace_ms);
}

void shell_load_content()
{
    const std::vector<loading_op> ops = loading_sequence(SHOW);
    for (size_t i = 0; i < ops.size(); ++i) {
        loading_run(ops[i]);
        if (i >= static_cast<size_t>(LOADING_UNSTEPPED))
            LOADING_STEP();
        loading_keep_context();
    }
    loading_note("loaded everything in " + std::to_string(LOAD_STEP) + " loading steps");
}

void shell_release_loading_context()
{
    gl_context_close(loading_standin);
}
