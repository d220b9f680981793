// tools/kestrel/scene_view.h - a scene on screen for the render and view commands.
//
// `kestrel render` and `kestrel view` show a scene the way the demo does: load
// and prepare it, bind its textures from the data folder, give it a particle
// pool, and draw a frame as the demo's timeline does (clear, scene, the small
// state reset, particles). The records here own the GL context and the scene
// and release them in the right order (textures while the context lives), also
// when a fatal error unwinds.
#pragma once

#include <string>

#include "engine/scene/records.h"
#include "platform/glcontext.h"

// A 640 x 480 GL context, closed when the record goes.
struct kview_context {
    gl_context ctx;
    // Opens it (off screen or as a visible window titled `title`); fatal on failure.
    kview_context(bool offscreen, const std::string& title);
    ~kview_context();
    kview_context(const kview_context&) = delete;
    kview_context& operator=(const kview_context&) = delete;
};

// A loaded scene with its textures and particle pool, released when the record goes.
struct kview_scene {
    KST_SCENE scene{};
    bool      textured = false;
    // Loads and prepares `file`, binds its textures from `data` ("" = the
    // file's folder) and creates a pool of `particles` (0: none).
    kview_scene(const std::string& file, const std::string& data, int particles);
    ~kview_scene();
    kview_scene(const kview_scene&) = delete;
    kview_scene& operator=(const kview_scene&) = delete;
};

// The data folder of a scene file: its folder, "." for a bare name.
std::string kview_data_dir(const std::string& file);

// One demo-style frame: clear, render the scene, state reset, and with
// `particles` one particle step.
void kview_draw_frame(KST_SCENE& scene, float frame, bool particles);
