// tools/kestrel/cmd_render.cpp - "kestrel render": one frame of a scene to a PNG.
//
//     kestrel render SCENE.kst --frame F -o OUT.png [--data DIR] [--particles N --steps K]
//                    [--flares] [--shadows L]
//
// Renders one 640 x 480 frame off screen (SDL's offscreen driver, no display
// needed), exactly as the demo draws a frame of that scene: clear, the scene
// at frame F with its textures from DIR (default: the scene file's folder) and,
// with --particles, a pool of N particles run for K steps at frame F, each step
// a full frame (clear, scene, state reset, particles) so the image is the K-th
// frame as the demo would show it. The particle jitter uses the program-wide
// generator with its fixed start seed, so the same command gives the same image.
// GL's rows run bottom-up; the PNG's top-down, so rows are flipped on the way
// out (platform/snapshot). The file is written atomically.
//
// --flares and --shadows L add the engine's flares and stencil shadows to the
// frame, in this order: flare visibility (on a cleared frame, lighting off, so
// each flare point shows its material's ambient colour), clear, the scene;
// then, with --shadows, the shadow volumes of the visible casters from light
// L's position at frame F, and the shadowed render drawn only where the
// stencil is non-zero; then particles; the flares last, added over everything.
// The depth buffer is cleared before the shadowed render: it redraws the same
// surfaces with GL_LESS, which would fail against their own depths.
#include <GL/gl.h>

#include <string>
#include <vector>

#include "engine/render/flares.h"
#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "engine/render/shadows.h"
#include "engine/scene/spline.h"
#include "platform/snapshot.h"
#include "registry.h"
#include "scene_view.h"
#include "support/error.h"
#include "support/folders.h"

namespace {

// --- types --------------------------------------------------------------------
struct render_settings {
    std::string scene;           // the .kst file
    std::string out;             // the PNG
    std::string data;            // texture folder; "" = the scene's folder
    float       frame = 0.0f;    // animation frame
    int         particles = 0;   // pool size; 0 = no particles
    int         steps = 0;       // particle steps before the image
    bool        flares = false;  // measure and draw the scene's flares
    int         shadows = -1;    // light whose shadows are drawn; -1 = none
    int         width = 640;     // --size
    int         height = 480;
};

// --- internal helpers ---------------------------------------------------------
// Shadow volumes from light L, then the shadowed scene where the stencil counts.
void render_shadows(KST_SCENE& scene, const render_settings& s)
{
    const KST_LIGHT& light = scene.LIGHT[s.shadows];
    KST_VECTOR pos = light.POS;
    if (light.POSKEYS > 0)
        SPLINE_LIGHT_POS(pos, scene, s.shadows, s.frame);
    KST_SHADOW_RENDER(scene, pos, s.frame);
    glClear(GL_DEPTH_BUFFER_BIT);
    glStencilFunc(GL_NOTEQUAL, 0, ~0u);
    KST_RENDER_SCENE_SHADOWED(scene, s.frame);
    glStencilFunc(GL_ALWAYS, 0, ~0u);
    glDisable(GL_STENCIL_TEST);
}

// One frame with flares and shadows around the demo's frame.
void render_fx_frame(KST_SCENE& scene, const render_settings& s, bool particles)
{
    if (s.flares) {
        KST_CLEAR_SCREEN();
        glDisable(GL_LIGHTING);
        KST_FLARES_VISIBILITY(scene, s.frame);
    }
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(scene, s.frame);
    if (s.shadows >= 0)
        render_shadows(scene, s);
    if (particles) {
        // The same state reset as the demo's frame.
        kst_state_reset();
        KST_PARTICLES_RENDER(scene, s.frame);
    }
    if (s.flares)
        KST_FLARES_RENDER(scene, s.frame);
}

// The frame: plain, or after the particle steps.
void render_frame(KST_SCENE& scene, const render_settings& s)
{
    if (s.flares || s.shadows >= 0) {
        bool particles = s.particles > 0 && s.steps > 0;
        for (int k = 0; k < (particles ? s.steps : 1); ++k)
            render_fx_frame(scene, s, particles);
        return;
    }
    if (s.particles <= 0 || s.steps <= 0) {
        kview_draw_frame(scene, s.frame, false);
        return;
    }
    for (int k = 0; k < s.steps; ++k)
        kview_draw_frame(scene, s.frame, true);
}

void render_run(const render_settings& s)
{
    folders_made made;
    folders_make_parent(made, s.out);
    kview_context context(true, "kestrel render", s.width, s.height);
    kview_scene view(s.scene, s.data, s.particles);
    render_frame(view.scene, s);
    snapshot_write_png(s.out, snapshot_read_rgb(s.width, s.height), s.width, s.height);
    folders_keep(made);
}

// --- registration ---------------------------------------------------------------
const kcmd_register render_command{"render", [](CLI::App& app, int&) {
    auto settings = std::make_shared<render_settings>();
    CLI::App* cmd = app.add_subcommand(
        "render", "Render one frame of a scene off screen (640x480, or --size) and write it as a PNG");
    kview_add_size_option(cmd, settings->width, settings->height);
    cmd->add_option("scene", settings->scene, "Scene file (.kst)")->required();
    cmd->add_option("--frame", settings->frame, "Animation frame to render")->required();
    cmd->add_option("-o,--output", settings->out, "PNG file to write")->required();
    cmd->add_option("--data", settings->data, "Folder of the scene's textures (default: the scene's folder)");
    CLI::Option* particles = cmd->add_option("--particles", settings->particles, "Particle pool size")
                                 ->check(CLI::PositiveNumber);
    CLI::Option* steps = cmd->add_option("--steps", settings->steps, "Particle steps run before the image")
                             ->check(CLI::PositiveNumber);
    particles->needs(steps);
    steps->needs(particles);
    cmd->add_flag("--flares", settings->flares, "Measure the flares' visibility and draw them over the frame");
    cmd->add_option("--shadows", settings->shadows,
                    "Draw the stencil shadows of the casting objects from this light (0 to 7)")
        ->check(CLI::Range(0, KST_LIGHTS - 1));
    cmd->callback([settings] { render_run(*settings); });
}};

}  // namespace
