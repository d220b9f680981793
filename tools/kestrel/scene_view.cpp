// tools/kestrel/scene_view.cpp - a scene on screen for render and view (see scene_view.h).
#include "scene_view.h"

#include <CLI/CLI.hpp>
#include <GL/gl.h>

#include <algorithm>
#include <filesystem>

#include "engine/config/config.h"
#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "support/error.h"

// --- public functions ---------------------------------------------------------
kview_context::kview_context(bool offscreen, const std::string& title, int w, int h) : width(w), height(h)
{
    const bool fbo = offscreen && (w != 640 || h != 480 || gl_context_offscreen_needs_target());
    gl_context_options options;
    options.offscreen = offscreen;
    options.visible = !offscreen;
    options.title = title;
    options.width = fbo ? 640 : w;
    options.height = fbo ? 480 : h;
    std::string error;
    const std::string size = std::to_string(w) + " x " + std::to_string(h);
    if (!gl_context_open(ctx, options, error))
        fatal_raise("cannot open a " + size + " GL context: " + error);
    if (fbo && !render_target_open(target, w, h, error)) {
        gl_context_close(ctx);
        fatal_raise("cannot draw a " + size + " picture off screen: " + error);
    }
    if (!offscreen)
        gl_context_drawable_size(ctx, width, height);
    picture = picture_fit(width, height);
    picture_apply(picture, width, height);
}

kview_context::~kview_context()
{
    render_target_close(target);
    gl_context_close(ctx);
}

void kview_context::present()
{
    gl_context_swap(ctx);
    picture_clear_bars(picture, width, height);
}

void kview_add_size_option(CLI::App* cmd, int& width, int& height)
{
    cmd->add_option_function<std::string>(
           "--size",
           [&width, &height](const std::string& text) {
               std::string problem = picture_parse_size(text, width, height);
               if (!problem.empty())
                   throw CLI::ValidationError("--size", problem);
           },
           "Size of the frame WxH, from 160x120 to 7680x4320 (default 640x480); "
           "the 4:3 picture is centred between black bars at other shapes");
}

std::string kview_data_dir(const std::string& file)
{
    std::string dir = std::filesystem::path(file).parent_path().string();
    return dir.empty() ? "." : dir;
}

std::string kview_source_data(const kview_source& source)
{
    return source.data.empty() ? kview_data_dir(source.file) : source.data;
}

void kview_scene_build(KST_SCENE& scene, const kview_source& source, std::vector<std::string>* textures)
{
    bool bound = false;
    try {
        KST_SCENE_LOAD(scene, source.file);
        if (!source.config.empty())
            CONFIG_READ(scene, source.config);
        if (textures)
            *textures = kst_scene_texture_names(scene, kview_source_data(source));
        KST_SCENE_TEXTURES(scene, kview_source_data(source));
        bound = true;
        if (source.particles > 0)
            KST_PARTICLES_INIT(scene, source.particles);
    } catch (...) {
        if (bound)   // a failed binding gave back its own textures
            KST_SCENE_FREETEXTURES(scene);
        KST_PARTICLES_FREE(scene);
        KST_SCENE_FREE(scene);
        scene = KST_SCENE{};
        throw;
    }
}

void kview_scene_release(KST_SCENE& scene)
{
    KST_SCENE_FREETEXTURES(scene);
    KST_PARTICLES_FREE(scene);
    KST_SCENE_FREE(scene);
    scene = KST_SCENE{};
}

void kview_scene_replace(kview_scene& view, KST_SCENE& fresh)
{
    KST_SCENE& old = view.scene;
    kst_particles_carry(fresh, old);
    kview_scene_release(old);
    view.scene = fresh;
    fresh = KST_SCENE{};
    // The scene replaced: its arrays are new from here on.
    if (view.replaced)
        view.replaced(view.scene);
}

kview_scene::kview_scene(const kview_source& source)
{
    kview_scene_build(scene, source);
}

kview_scene::kview_scene(const std::string& file, const std::string& data, int particles)
    : kview_scene(kview_source{file, data, "", particles})
{
}

kview_scene::~kview_scene()
{
    kview_scene_release(scene);
}

void kview_draw_frame(KST_SCENE& scene, float frame, bool particles)
{
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(scene, frame);
    if (!particles)
        return;
    // The state reset the demo makes between a scene and its particles.
    kst_state_reset();
    KST_PARTICLES_RENDER(scene, frame);
}
