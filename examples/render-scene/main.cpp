// render-scene - load a Kestrel scene, render one frame off screen, write a PNG.
//
//     render-scene SCENE.kst OUT.png [--frame F] [--data DIR]
//
// The smallest whole program on the installed engine: the platform module
// opens a 640 x 480 GL context through SDL's offscreen driver (no display
// needed), the engine loads and prepares the scene, binds its textures from
// DIR (default: the scene file's folder), clears and renders frame F, and the
// platform module reads the frame back and writes it as a PNG. Every engine
// failure is a fatal_error whose message names the file; it ends the program
// with status 1, a usage error with status 2.
#include <kestrel/kestrel.h>

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/glcontext.h"
#include "platform/snapshot.h"

namespace {

struct render_args {
    std::string scene;
    std::string out;
    std::string data;    // "" = the scene file's folder
    float       frame = 0.0f;
};

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

// Fills args from argv; false on a usage error.
bool render_parse(int argc, char** argv, render_args& args)
{
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if ((a == "--frame" || a == "--data") && i + 1 < argc) {
            std::string value = argv[++i];
            if (a == "--data") {
                args.data = value;
                continue;
            }
            char* end = nullptr;
            args.frame = std::strtof(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0')
                return false;
        } else if (positional == 0 && a[0] != '-') {
            args.scene = a, ++positional;
        } else if (positional == 1 && a[0] != '-') {
            args.out = a, ++positional;
        } else {
            return false;
        }
    }
    return positional == 2;
}

std::string render_scene_folder(const std::string& file)
{
    std::string dir = std::filesystem::path(file).parent_path().string();
    return dir.empty() ? "." : dir;
}

void render_run(const render_args& args)
{
    gl_context ctx;
    gl_context_options options;
    options.width = WIDTH;
    options.height = HEIGHT;
    options.offscreen = true;
    options.visible = false;
    options.title = "render-scene";
    std::string error;
    if (!gl_context_open(ctx, options, error))
        fatal_raise("cannot open an off-screen GL context: " + error);

    KST_SCENE scene{};
    bool textured = false;
    // Textures go while the context lives, also when a fatal error unwinds.
    auto release = [&] {
        if (textured)
            KST_SCENE_FREETEXTURES(scene);
        KST_SCENE_FREE(scene);
        gl_context_close(ctx);
    };
    try {
        TX_INIT();
        glViewport(0, 0, WIDTH, HEIGHT);
        KST_SCENE_LOAD(scene, args.scene);
        KST_SCENE_TEXTURES(scene, args.data.empty() ? render_scene_folder(args.scene) : args.data);
        textured = true;
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(scene, args.frame);
        snapshot_write_png(args.out, snapshot_read_rgb(WIDTH, HEIGHT), WIDTH, HEIGHT);
    } catch (...) {
        release();
        throw;
    }
    release();
}

}  // namespace

int main(int argc, char** argv)
{
    render_args args;
    if (!render_parse(argc, argv, args)) {
        std::fprintf(stderr, "usage: render-scene SCENE.kst OUT.png [--frame F] [--data DIR]\n"
                             "(Kestrel %s)\n", KESTREL_VERSION);
        return 2;
    }
    try {
        render_run(args);
    } catch (const fatal_error& e) {
        std::fprintf(stderr, "render-scene: %s\n", e.what());
        return 1;
    }
    return 0;
}
