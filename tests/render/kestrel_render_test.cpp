// Whole-program tests of `kestrel render` (off screen, PNG read back) and
// `kestrel view` (a real window under Xvfb driven by xdotool).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <thread>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "process.h"
#include "scene_builders.h"
#include "texture_files.h"
#include "xvfb.h"

namespace {

struct png_image {
    int                        w = 0, h = 0;
    std::vector<unsigned char> rgb;
    // Pixel (x, y) with y counted from the top row, as the PNG stores it.
    std::array<int, 3> at(int x, int y) const
    {
        size_t i = (static_cast<size_t>(y) * w + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

png_image png_read(const std::string& path)
{
    png_image img;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &img.w, &img.h, &channels, 3);
    if (data) {
        img.rgb.assign(data, data + static_cast<size_t>(img.w) * img.h * 3);
        stbi_image_free(data);
    }
    return img;
}

// A green textured quad in the upper half of the view and an emitter of red
// particles at the origin drifting down; the camera looks from (0, -10, 1).
std::string tool_scene(const std::string& dir)
{
    KST_SCENE scene{};
    sb_scene_init(scene, "tool");
    sb_set_camera(scene, {{0, 0, -10, 1}, {100, 0, -10, 1}}, {{0, 0, 0, 0}, {100, 0, 0, 0}});
    int32_t m = sb_add_material(scene, "grass");
    KST_MATERIAL& mat = scene.MATERIAL[m];
    mat.RECEIVELIGHT = false;
    mat.AMBIENT = {1, 1, 1};
    mat.TEXTURED = true;
    mat.MAGTYPE = 0;
    kst_name_set(mat.TEXTNAME, "grass.jpg");
    int32_t q = sb_add_mesh(scene, "quad", {{-2, 0, 1}, {2, 0, 1}, {2, 0, 3}, {-2, 0, 3}},
                            {{0, 1, 2}, {0, 2, 3}}, m);
    sb_object_texcoords(scene, q, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    int32_t e = sb_add_triangle(scene, "emitter", m, {0, 0, -50});
    KST_OBJECT& em = scene.OBJ[e];
    em.VISIBLE = false;
    em.POS = {0, 0, 0};
    em.PARTICLE.ENABLED = true;
    em.PARTICLE.NEWPARTICLE = 2;
    em.PARTICLE.POWER = 20;
    em.PARTICLE.DELTAPOWER = 1;
    em.PARTICLE.COLOR = {0.8f, 0, 0};
    em.PARTICLE.DELTAVECTOR = {0, 0, -0.2f};
    em.PARTICLE.DELTAVECTORSPREAD = {0.1f, 0, 0.1f};
    em.PARTICLE.SIZE = 0.3f;
    KST_SCENE_PREPARE(scene);
    std::string file = dir + "/tool.kst";
    KST_SCENE_SAVE(scene, file);
    KST_SCENE_FREE(scene);
    return file;
}

bool reddish(const std::array<int, 3>& p)
{
    return p[0] > 100 && p[1] < 40;
}

int red_pixels(const png_image& img, int top)
{
    int n = 0;
    for (int y = top; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x)
            n += reddish(img.at(x, y)) ? 1 : 0;
    return n;
}

}  // namespace

TEST(KestrelRender, WritesTheFrameAsAPngTopRowFirst)
{
    std::string dir = test_temp_dir("krender");
    std::string scene = tool_scene(dir);
    texture_file_write(dir + "/grass.jpg", tex_solid({0, 200, 0, 0}, false));
    std::string out = dir + "/frame.png";
    program_result r = run_program(kestrel_path(), {"render", scene, "--frame", "0", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    png_image img = png_read(out);
    ASSERT_EQ(img.w, 640);
    ASSERT_EQ(img.h, 480);
    // The quad spans z = 1..3, above the centre: the upper half of the picture.
    EXPECT_NEAR(img.at(320, 140)[1], 200, 3);
    EXPECT_EQ(img.at(320, 140)[0], 0);
    EXPECT_EQ(img.at(320, 340)[1], 0);
    EXPECT_EQ(img.at(5, 5)[1], 0);
    EXPECT_EQ(red_pixels(img, 0), 0);  // no particles without --particles

    // Particles: the image of the K-th step, reproducible run after run.
    std::string a = dir + "/a.png", b = dir + "/b.png";
    r = run_program(kestrel_path(), {"render", scene, "--frame", "0", "-o", a, "--particles", "100", "--steps", "8"});
    ASSERT_EQ(r.status, 0) << r.err;
    run_program(kestrel_path(), {"render", scene, "--frame", "0", "-o", b, "--particles", "100", "--steps", "8"});
    png_image pa = png_read(a);
    EXPECT_GT(red_pixels(pa, 240), 50);  // drifting down from the origin
    EXPECT_EQ(read_file(a), read_file(b));
    EXPECT_NEAR(pa.at(320, 140)[1], 200, 3);

    // Textures from another folder.
    std::string other = test_temp_dir("krender-data");
    texture_file_write(other + "/grass.jpg", tex_solid({0, 0, 250, 0}, false));
    r = run_program(kestrel_path(), {"render", scene, "--frame", "0", "-o", out, "--data", other});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(png_read(out).at(320, 140)[2], 250, 3);
}

TEST(KestrelRender, BadInputAndUsageErrors)
{
    std::string dir = test_temp_dir("krender-bad");
    std::string scene = tool_scene(dir);
    std::string out = dir + "/frame.png";
    program_result r = run_program(kestrel_path(), {"render", scene, "--frame", "0", "-o", out});
    EXPECT_EQ(r.status, 1);  // the texture file is missing
    EXPECT_NE(r.err.find(dir + "/grass.raw"), std::string::npos) << r.err;
    EXPECT_TRUE(read_file(out).empty());

    write_file(dir + "/broken.kst", "not a scene");
    r = run_program(kestrel_path(), {"render", dir + "/broken.kst", "--frame", "0", "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("broken.kst"), std::string::npos) << r.err;

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", scene, "-o", out},
          std::vector<std::string>{"render", scene, "--frame", "0"},
          std::vector<std::string>{"render", scene, "--frame", "0", "-o", out, "--particles", "5"},
          std::vector<std::string>{"render", scene, "--frame", "x", "-o", out}}) {
        EXPECT_EQ(run_program(kestrel_path(), args).status, 2) << args.back();
    }
    r = run_program(kestrel_path(), {"render", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--particles"), std::string::npos);
}

TEST(KestrelView, PlaysPausesStepsRestartsAndQuitsWithEscape)
{
    xvfb_server x;
    ASSERT_TRUE(x.ok());
    std::string dir = test_temp_dir("kview");
    std::string scene = tool_scene(dir);
    texture_file_write(dir + "/grass.jpg", tex_solid({0, 200, 0, 0}, false));
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11"};
    auto xdo = [&](const std::vector<std::string>& args) { return xvfb_window_do(x, "^kestrel view", args); };
    auto title = [&] { return xdo({"getwindowname"}).out; };
    // The first title may wait for the window to open; later ones about 7 s.
    auto wait_title = [&](const std::string& part, double timeout_s = 7) {
        return !xvfb_wait_title(x, "^kestrel view",
                                [&](const std::string& t) { return t.find(part) != std::string::npos; }, timeout_s)
                    .empty();
    };
    auto frame_of = [](const std::string& t) {
        size_t p = t.find("- frame ");
        return p == std::string::npos ? -999 : std::atoi(t.c_str() + p + 8);
    };
    std::string t_paused, t_step, t_back, t_home;
    // Presses keys and waits (up to 5 s) for the title the viewer should show.
    auto press = [&](std::vector<std::string> keys, int frame, std::string& seen) {
        keys.insert(keys.begin(), {"windowfocus", "--sync", "key"});
        xdo(keys);
        wait_title(" frame " + std::to_string(frame) + " (paused)");
        seen = title();
    };
    std::thread driver([&] {
        if (!wait_title("- frame ", 27))
            return;
        xdo({"windowfocus", "--sync", "key", "space"});
        wait_title("(paused)");
        t_paused = title();
        int paused = frame_of(t_paused);
        press({"Right"}, (paused + 1) % 100, t_step);  // the scene has 100 frames
        press({"Left", "Left"}, (paused + 99) % 100, t_back);
        press({"Home"}, 0, t_home);
        xdo({"windowfocus", "--sync", "key", "Escape"});
    });
    program_result r = run_program(kestrel_path(), {"view", scene}, env, "", 60);
    driver.join();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_NE(t_paused.find("kestrel view - tool - frame "), std::string::npos) << t_paused;
    int paused = frame_of(t_paused);
    EXPECT_EQ(frame_of(t_step), (paused + 1) % 100) << t_step;
    EXPECT_NE(t_step.find("(paused)"), std::string::npos);
    EXPECT_EQ(frame_of(t_back), (paused + 99) % 100) << t_back;
    EXPECT_EQ(frame_of(t_home), 0) << t_home;
}

TEST(KestrelView, WatchReportsABrokenConfigInTheTitleAndKeepsFrameAndPause)
{
    xvfb_server x;
    ASSERT_TRUE(x.ok());
    std::string dir = test_temp_dir("kview-watch");
    std::string scene = tool_scene(dir);
    std::string cfg = dir + "/tool.cfg";
    texture_file_write(dir + "/grass.jpg", tex_solid({0, 200, 0, 0}, false));
    write_file(cfg, "camerafov=0.8\n");
    std::vector<std::string> env = {x.env(), "SDL_VIDEODRIVER=x11"};
    auto xdo = [&](const std::vector<std::string>& args) { return xvfb_window_do(x, "^kestrel view", args); };
    auto title = [&] { return xdo({"getwindowname"}).out; };
    // The first title may wait for the window to open; later ones about 14 s.
    auto wait_title = [&](const std::function<bool(const std::string&)>& ok, double timeout_s = 14) {
        return !xvfb_wait_title(x, "^kestrel view", ok, timeout_s).empty();
    };
    auto save = [](const std::string& path, const std::string& text) {
        write_file(path + ".part", text);
        std::rename((path + ".part").c_str(), path.c_str());
    };
    std::string t_paused, t_broken, t_mended;
    std::thread driver([&] {
        if (!wait_title([](const std::string& t) { return t.find("- frame ") != std::string::npos; }, 34))
            return;
        xdo({"windowfocus", "--sync", "key", "space"});
        wait_title([](const std::string& t) { return t.find("(paused)") != std::string::npos; });
        t_paused = title();
        save(cfg, "object(quad).passno=x\n");
        wait_title([](const std::string& t) { return t.find("tool.cfg") != std::string::npos; });
        t_broken = title();
        save(cfg, "camerafov=0.7\n");
        wait_title([](const std::string& t) { return t.find("tool.cfg") == std::string::npos; });
        t_mended = title();
        xdo({"windowfocus", "--sync", "key", "Escape"});
    });
    program_result r = run_program(kestrel_path(), {"view", scene, "--config", cfg, "--watch"}, env, "", 60);
    driver.join();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_NE(t_paused.find("(paused)"), std::string::npos) << t_paused;
    std::string paused = t_paused.substr(0, t_paused.find("(paused)") + 8);
    EXPECT_EQ(t_broken.rfind(paused, 0), 0u) << t_broken;  // same frame, still paused
    EXPECT_NE(t_broken.find("tool.cfg"), std::string::npos) << t_broken;
    EXPECT_EQ(t_mended.rfind(paused, 0), 0u) << t_mended;
    EXPECT_EQ(t_mended.find("tool.cfg"), std::string::npos) << t_mended;
    EXPECT_NE(r.err.find("tool.cfg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the last good scene stays on screen"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("kestrel: reloaded " + scene), std::string::npos) << r.err;
}
