// tools/kestrel/cmd_view.cpp - "kestrel view": a window that plays a scene.
//
//     kestrel view SCENE.kst [--data DIR] [--config FILE.cfg] [--watch]
//
// Plays the scene's animation in real time in a 640 x 480 window, with a
// particle pool of 2000 (the size the demo gives its busiest scenes), drawing
// each frame as the demo does. Time runs at 40 animation frames per second
// (25 ms a frame, the rate of the demo's second segment) and wraps at the
// scene's FRAMES. Keys: Space pauses and resumes, Left and Right step one frame
// back or forward (and pause; Right also moves the particles one step), Home
// restarts from frame 0 with an empty particle pool, Escape or closing the
// window quits. While paused the particles are drawn as they stand: the pool is
// copied before the particle pass and put back after it. The window title shows the
// scene, the frame and whether playback is paused, so scripts (and tests) can
// follow it with xdotool.
//
// --config applies a configuration file to the scene after loading, before
// its textures are bound (the file may rename them). --watch keeps the scene in
// step with its files (scene_watch.h): an edited scene, configuration or
// texture file shows as soon as it has settled, at the same frame and with the
// same pause state. A broken file is reported on stderr once per failed
// reload and stays in the window title until a reload succeeds; the scene
// shown is the last good one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/render/particles.h"
#include "platform/os.h"
#include "registry.h"
#include "scene_view.h"
#include "scene_watch.h"

namespace {

// --- types --------------------------------------------------------------------
struct view_settings {
    std::string scene;   // the .kst file
    std::string data;    // texture folder; "" = the scene's folder
    std::string config;  // configuration file; "" = none
    bool        watch = false;
    int         width = 640;   // --size
    int         height = 480;
};

// Playback state: frame = base + (now - start) / 25 while playing.
struct view_clock {
    float    base = 0.0f;     // frame at `start`
    uint32_t start = 0;       // os_ticks_ms when playback last (re)started
    bool     paused = false;
    float    frames = 0.0f;   // length; 0 or less: no wrapping
    int      steps = 0;       // particle steps asked for while paused
};

constexpr int   view_pool = 2000;
constexpr float view_ms_per_frame = 25.0f;

// --- internal helpers ---------------------------------------------------------
float view_frame(const view_clock& c, uint32_t now)
{
    float f = c.base;
    if (!c.paused)
        f += static_cast<float>(now - c.start) / view_ms_per_frame;
    if (c.frames > 0.0f)
        f = std::fmod(f, c.frames);
    if (f < 0.0f)
        f += c.frames > 0.0f ? c.frames : 0.0f;
    return f;
}

// Holds the clock at frame f (paused or not) from `now` on.
void view_set(view_clock& c, float f, uint32_t now, bool paused)
{
    c.base = f;
    c.start = now;
    c.paused = paused;
}

void view_restart_particles(KST_SCENE& scene)
{
    KST_PARTICLES_INIT(scene, view_pool);
}

// Handles one input event; false when the viewer should close.
bool view_event(const gl_input& e, view_clock& c, KST_SCENE& scene)
{
    if (e.quit || e.key == GL_KEY_ESCAPE)
        return false;
    uint32_t now = os_ticks_ms();
    float f = view_frame(c, now);
    switch (e.key) {
    case GL_KEY_SPACE:
        view_set(c, f, now, !c.paused);
        c.steps = 0;
        break;
    case GL_KEY_RIGHT:
        view_set(c, std::floor(f) + 1.0f, now, true);
        c.steps += 1;
        break;
    case GL_KEY_LEFT: view_set(c, std::ceil(f) - 1.0f, now, true); break;
    case GL_KEY_HOME:
        view_set(c, 0.0f, now, c.paused);
        view_restart_particles(scene);
        break;
    default: break;
    }
    return true;
}

void view_title(gl_context& ctx, std::string& shown, const std::string& name, const view_clock& c, float f,
                const std::string& error)
{
    char text[600];
    std::snprintf(text, sizeof text, "kestrel view - %s - frame %d%s%s%.300s", name.c_str(),
                  static_cast<int>(std::floor(f)), c.paused ? " (paused)" : "",
                  error.empty() ? "" : " - ", error.c_str());
    if (shown != text) {
        shown = text;
        gl_context_set_title(ctx, shown);
    }
}

// One frame; paused, the particles stand still unless a step is pending.
void view_draw(KST_SCENE& scene, view_clock& c, float f)
{
    if (!c.paused || c.steps > 0) {
        c.steps = c.steps > 0 ? c.steps - 1 : 0;
        kview_draw_frame(scene, f, true);
        return;
    }
    std::vector<KST_PARTICLE> pool(scene.PARTICLE, scene.PARTICLE + scene.PARTICLES);
    kview_draw_frame(scene, f, true);
    std::copy(pool.begin(), pool.end(), scene.PARTICLE);
}

// One look at the watched files; a reload keeps the clock, a failure is told once.
void view_watch(kwatch_state& watch, kview_scene& view, view_clock& clock, std::string& name)
{
    kwatch_result r = kwatch_step(watch, view, os_ticks_ms());
    if (r == KWATCH_RELOADED) {
        name = kst_name_get(view.scene.NAME);
        clock.frames = static_cast<float>(view.scene.FRAMES);
        std::fprintf(stderr, "kestrel: reloaded %s\n", watch.source.file.c_str());
    } else if (r == KWATCH_TEXTURES && watch.error.empty()) {
        std::fprintf(stderr, "kestrel: reloaded the textures of %s\n", watch.source.file.c_str());
    }
    if (r == KWATCH_FAILED)
        std::fprintf(stderr, "kestrel: %s (the last good scene stays on screen)\n", watch.error.c_str());
}

void view_run(const view_settings& s)
{
    kview_context context(false, "kestrel view", s.width, s.height);
    kview_source source{s.scene, s.data, s.config, view_pool};
    kview_scene view(source);
    kwatch_state watch;
    if (s.watch)
        kwatch_begin(watch, source, view.scene);
    std::string name = kst_name_get(view.scene.NAME);
    bool vsync = gl_context_set_swap_interval(1);
    view_clock clock;
    clock.frames = static_cast<float>(view.scene.FRAMES);
    clock.start = os_ticks_ms();
    std::string title;
    for (;;) {
        gl_input e;
        while (gl_context_poll(e))
            if (!view_event(e, clock, view.scene))
                return;
        if (s.watch)
            view_watch(watch, view, clock, name);
        float f = view_frame(clock, os_ticks_ms());
        view_title(context.ctx, title, name, clock, f, watch.error);
        view_draw(view.scene, clock, f);
        context.present();
        if (!vsync)
            os_sleep_ms(10);
    }
}

// --- registration ---------------------------------------------------------------
const kcmd_register view_command{"view", [](CLI::App& app, int&) {
    auto settings = std::make_shared<view_settings>();
    CLI::App* cmd = app.add_subcommand(
        "view", "Play a scene's animation in a window, with particles "
                "(Space pause, Left/Right step, Home restart, Escape quit)");
    cmd->add_option("scene", settings->scene, "Scene file (.kst)")->required();
    cmd->add_option("--data", settings->data, "Folder of the scene's textures (default: the scene's folder)");
    cmd->add_option("--config", settings->config, "Configuration file applied to the scene after loading");
    kview_add_size_option(cmd, settings->width, settings->height);
    cmd->add_flag("--watch", settings->watch,
                  "Reload the scene, the configuration file and the textures when they change on disk");
    cmd->callback([settings] { view_run(*settings); });
}};

}  // namespace
