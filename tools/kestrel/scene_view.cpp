// tools/kestrel/scene_view.cpp - a scene on screen for render and view (see scene_view.h).
#include "scene_view.h"

#include <GL/gl.h>

#include <filesystem>

#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/textures.h"
#include "support/error.h"

// --- public functions ---------------------------------------------------------
kview_context::kview_context(bool offscreen, const std::string& title)
{
    gl_context_options options;
    options.offscreen = offscreen;
    options.visible = !offscreen;
    options.title = title;
    std::string error;
    if (!gl_context_open(ctx, options, error))
        fatal_raise("cannot open a 640 x 480 GL context: " + error);
    glViewport(0, 0, 640, 480);
}

kview_context::~kview_context()
{
    gl_context_close(ctx);
}

std::string kview_data_dir(const std::string& file)
{
    std::string dir = std::filesystem::path(file).parent_path().string();
    return dir.empty() ? "." : dir;
}

kview_scene::kview_scene(const std::string& file, const std::string& data, int particles)
{
    try {
        KST_SCENE_LOAD(scene, file);
        KST_SCENE_TEXTURES(scene, data.empty() ? kview_data_dir(file) : data);
        textured = true;
        if (particles > 0)
            KST_PARTICLES_INIT(scene, particles);
    } catch (...) {
        KST_PARTICLES_FREE(scene);
        KST_SCENE_FREE(scene);
        throw;
    }
}

kview_scene::~kview_scene()
{
    if (textured)
        KST_SCENE_FREETEXTURES(scene);
    KST_PARTICLES_FREE(scene);
    KST_SCENE_FREE(scene);
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
