// tools/kestrel/scene_view.h - a scene on screen for the render and view commands.
//
// `kestrel render` and `kestrel view` show a scene the way the demo does: load
// and prepare it, apply a configuration file when one is given, bind its
// textures from the data folder, give it a particle pool, and draw a frame as
// the demo's timeline does (clear, scene, the small state reset, particles).
// The records here own the GL context and the scene and release them in the
// right order (textures while the context lives), also when a fatal error
// unwinds.
//
// A scene is built whole or not at all (kview_scene_build): when any step
// fails, what the earlier steps acquired (textures, pool, arrays) is given back
// before the error goes on, so the viewer's watch loop can try a new version of
// the files and keep the scene it shows when the new one is broken.
// kview_scene_replace is the one place where a shown scene gives way to a new
// one.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "platform/glcontext.h"
#include "platform/picture.h"
#include "platform/render_target.h"

namespace CLI {
class App;
}

// A GL context for a width x height frame (640 x 480 by default), closed when
// the record goes. The picture is the frame's largest centred 4:3 rectangle;
// off screen, a frame of another size is a framebuffer object.
struct kview_context {
    gl_context    ctx;
    render_target target;
    int           width = 640, height = 480;
    picture_rect  picture;
    // Opens it (off screen or as a visible window titled `title`); fatal on failure.
    kview_context(bool offscreen, const std::string& title, int width = 640, int height = 480);
    ~kview_context();
    // Swaps a window's buffers and paints the new back buffer's bars black.
    void present();
    kview_context(const kview_context&) = delete;
    kview_context& operator=(const kview_context&) = delete;
};

// Registers --size WxH on a command; width and height get the parsed size.
void kview_add_size_option(CLI::App* cmd, int& width, int& height);

// What a scene on screen is built from.
struct kview_source {
    std::string file;         // the .kst file
    std::string data;         // texture folder; "" = the file's folder
    std::string config;       // configuration file applied after loading; "" = none
    int         particles = 0;  // particle pool size (0: none)
};

// A loaded scene with its textures and particle pool, released when the record goes.
struct kview_scene {
    KST_SCENE scene{};
    // Called by kview_scene_replace once the new scene is in place, before it
    // is drawn: the point where anything derived from the scene's arrays (GL
    // buffers, caches) must be made again.
    std::function<void(KST_SCENE&)> replaced;
    // Builds the scene from `source` (kview_scene_build); fatal on failure.
    explicit kview_scene(const kview_source& source);
    // Loads and prepares `file`, binds its textures from `data` ("" = the
    // file's folder) and creates a pool of `particles` (0: none).
    kview_scene(const std::string& file, const std::string& data, int particles);
    ~kview_scene();
    kview_scene(const kview_scene&) = delete;
    kview_scene& operator=(const kview_scene&) = delete;
};

// The data folder of a scene file: its folder, "." for a bare name.
std::string kview_data_dir(const std::string& file);
// The data folder a source binds its textures from.
std::string kview_source_data(const kview_source& source);

// Loads, prepares and configures a scene from `source` into `scene` (a zeroed
// record) and binds its textures and pool. On a fatal error everything it
// acquired is released, `scene` is left cleared, and the error goes on.
// `textures`, when given, receives the scene's texture requests as soon as the
// configuration is applied (also when the binding then fails).
void kview_scene_build(KST_SCENE& scene, const kview_source& source,
                       std::vector<std::string>* textures = nullptr);
// Releases what kview_scene_build acquired and clears the record.
void kview_scene_release(KST_SCENE& scene);

// Puts `fresh` (built by kview_scene_build) on screen in place of the view's
// scene, which is released; the particles in flight carry over when both pools
// have the same size. `fresh` is left cleared. Calls view.replaced.
void kview_scene_replace(kview_scene& view, KST_SCENE& fresh);

// One demo-style frame: clear, render the scene, state reset, and with
// `particles` one particle step.
void kview_draw_frame(KST_SCENE& scene, float frame, bool particles);
