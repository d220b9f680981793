// tools/kestrel/cmd_render.cpp - "kestrel render": one frame of a scene to a PNG.
//
//     kestrel render SCENE.kst --frame F -o OUT.png [--data DIR] [--particles N --steps K]
//
// Renders one 640 x 480 frame off screen (SDL's offscreen driver, no display
// needed), exactly as the demo draws a frame of that scene: clear, the scene
// at frame F with its textures from DIR (default: the scene file's folder) and,
// with --particles, a pool of N particles run for K steps at frame F, each step
// a full frame (clear, scene, state reset, particles) so the image is the K-th
// frame as the demo would show it. The particle jitter uses the program-wide
// generator with its fixed start seed, so the same command gives the same image.
// GL's rows run bottom-up; the PNG's top-down, so rows are flipped on the way
// out. The file is written atomically.
//
// Options that draw more (flares, stencil shadows) hang off render_settings and
// render_frame below.
#include <GL/gl.h>

#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "registry.h"
#include "scene_view.h"
#include "support/atomic_file.h"
#include "support/error.h"

namespace {

// --- types --------------------------------------------------------------------
struct render_settings {
    std::string scene;           // the .kst file
    std::string out;             // the PNG
    std::string data;            // texture folder; "" = the scene's folder
    float       frame = 0.0f;    // animation frame
    int         particles = 0;   // pool size; 0 = no particles
    int         steps = 0;       // particle steps before the image
};

constexpr int render_width = 640;
constexpr int render_height = 480;

// --- internal helpers ---------------------------------------------------------
// The frame's pixels, top row first, RGB.
std::vector<unsigned char> render_read_pixels()
{
    const size_t row = render_width * 3;
    std::vector<unsigned char> gl_rows(row * render_height), png_rows(gl_rows.size());
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, render_width, render_height, GL_RGB, GL_UNSIGNED_BYTE, gl_rows.data());
    for (int y = 0; y < render_height; ++y)
        std::copy_n(&gl_rows[row * (render_height - 1 - y)], row, &png_rows[row * y]);
    return png_rows;
}

void render_collect(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

void render_write_png(const std::string& path, const std::vector<unsigned char>& rgb)
{
    std::string png;
    if (!stbi_write_png_to_func(render_collect, &png, render_width, render_height, 3, rgb.data(),
                                render_width * 3))
        fatal_raise(path + ": cannot encode the PNG image");
    atomic_file file(path);
    file.write(png);
    file.commit();
}

// The frame: plain, or after the particle steps.
void render_frame(KST_SCENE& scene, const render_settings& s)
{
    if (s.particles <= 0 || s.steps <= 0) {
        kview_draw_frame(scene, s.frame, false);
        return;
    }
    for (int k = 0; k < s.steps; ++k)
        kview_draw_frame(scene, s.frame, true);
}

void render_run(const render_settings& s)
{
    kview_context context(true, "kestrel render");
    kview_scene view(s.scene, s.data, s.particles);
    render_frame(view.scene, s);
    render_write_png(s.out, render_read_pixels());
}

// --- registration ---------------------------------------------------------------
const kcmd_register render_command{"render", [](CLI::App& app, int&) {
    auto settings = std::make_shared<render_settings>();
    CLI::App* cmd = app.add_subcommand(
        "render", "Render one 640x480 frame of a scene off screen and write it as a PNG");
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
    cmd->callback([settings] { render_run(*settings); });
}};

}  // namespace
