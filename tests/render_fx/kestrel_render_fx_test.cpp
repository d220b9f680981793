// tests/render_fx/kestrel_render_fx_test.cpp - `kestrel render --shadows L` and `--flares`.
#include <GL/glu.h>
#include <gtest/gtest.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "fx_scene.h"
#include "gl_fixture.h"
#include "process.h"

namespace {

// Pixel (x, y) of a PNG, y counted from the bottom row as GL counts it.
std::array<int, 3> fx_png_pixel(const std::string& path, int x, int y)
{
    int w = 0, h = 0, n = 0;
    unsigned char* data = stbi_load(path.c_str(), &w, &h, &n, 3);
    std::array<int, 3> p{-1, -1, -1};
    if (data != nullptr && x >= 0 && x < w && y >= 0 && y < h) {
        const unsigned char* q = data + (static_cast<size_t>(h - 1 - y) * w + x) * 3;
        p = {q[0], q[1], q[2]};
    }
    stbi_image_free(data);
    return p;
}

// Window position of a world point seen by the scene's still camera (45 degrees, 4:3).
std::array<int, 2> fx_project(KST_VECTOR eye, KST_VECTOR target, KST_VECTOR p)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, 4.0 / 3.0, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.X, eye.Y, eye.Z, target.X, target.Y, target.Z, 0, 0, 1);
    GLdouble mv[16], pr[16], x, y, z;
    GLint vp[4] = {0, 0, 640, 480};
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    gluProject(p.X, p.Y, p.Z, mv, pr, vp, &x, &y, &z);
    return {static_cast<int>(x), static_cast<int>(y)};
}

program_result fx_render(const std::string& scene, const std::string& out,
                         const std::vector<std::string>& extra)
{
    std::vector<std::string> args = {"render", scene, "--frame", "0", "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_program(kestrel_path(), args, {"SDL_VIDEODRIVER=offscreen"});
}

const KST_VECTOR fx_eye{0, -15, 10}, fx_target{2, 0, 0};

// A lit ground square receiving shadows and a cube casting one from light 0.
std::string fx_shadow_file(const std::string& dir)
{
    fx_scene s(1);
    s.camera(fx_eye, fx_target);
    s.scene.CAMFOV = 0.785398163f;
    int32_t ground = s.add(fx_ground(20, 0));
    s.scene.OBJ[ground].RECEIVESHADOW = true;
    int32_t cube = s.add_cube({0, 0, 2}, 1);
    s.scene.OBJ[cube].CASTSHADOW = true;
    s.scene.OBJ[cube].RECEIVESHADOW = true;
    sb_set_light(s.scene, 0, "sun", {-6, 0, 8});
    s.scene.SHADOWVALUE = 0.25f;
    s.prepare();
    std::string file = dir + "/shadow.kst";
    KST_SCENE_SAVE(s.scene, file);
    return file;
}

// A flare at the origin (its mesh far out of view) and, optionally, a mesh in
// front of it (in a flat blue), saved as dir/name.
std::string fx_flare_file(const std::string& dir, const std::string& name, const fx_mesh* cover)
{
    fx_scene s(2);
    s.camera({0, -10, 3}, {0, 0, 0});
    s.scene.CAMFOV = 0.785398163f;
    KST_MATERIAL& glow = s.scene.MATERIAL[1];
    glow.FLARESIZE = 1.0f;
    glow.AMBIENT = {1.0f, 0.5f, 0.0f};
    glow.RECEIVELIGHT = false;
    fx_mesh far = fx_triangle(0);
    for (KST_VECTOR& v : far.vertex)
        v.Z -= 400;
    s.add(far, 1);
    if (cover != nullptr) {
        s.add(*cover, 0);
        s.scene.MATERIAL[0].RECEIVELIGHT = false;
        s.scene.MATERIAL[0].AMBIENT = {0.2f, 0.2f, 0.6f};
    }
    s.prepare();
    std::string file = dir + "/" + name;
    KST_SCENE_SAVE(s.scene, file);
    return file;
}

}  // namespace

TEST_F(gl_test, kestrel_render_shadows_darkens_only_the_shadow)
{
    std::string dir = test_temp_dir("render_fx_shadows");
    std::string scene = fx_shadow_file(dir);
    program_result plain = fx_render(scene, dir + "/plain.png", {});
    ASSERT_EQ(plain.status, 0) << plain.err;
    program_result shadowed = fx_render(scene, dir + "/shadow.png", {"--shadows", "0"});
    ASSERT_EQ(shadowed.status, 0) << shadowed.err;

    auto in = fx_project(fx_eye, fx_target, {4, 0, 0});
    auto out = fx_project(fx_eye, fx_target, {-4, 0, 0});
    auto lit = fx_png_pixel(dir + "/plain.png", in[0], in[1]);
    auto dark = fx_png_pixel(dir + "/shadow.png", in[0], in[1]);
    EXPECT_GT(lit[0], 60);
    EXPECT_LT(dark[0], lit[0] - 30) << "the shadowed ground is dimmed";
    auto a = fx_png_pixel(dir + "/plain.png", out[0], out[1]);
    auto b = fx_png_pixel(dir + "/shadow.png", out[0], out[1]);
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(a[c], b[c], 2) << "outside the shadow nothing changes";

    program_result bad = fx_render(scene, dir + "/bad.png", {"--shadows", "8"});
    EXPECT_EQ(bad.status, 2);
}

TEST(kestrel_render_fx, flares_glow_in_the_open_and_vanish_behind_a_wall)
{
    std::string dir = test_temp_dir("render_fx_flares");
    std::string open = fx_flare_file(dir, "flare.kst", nullptr);
    ASSERT_EQ(fx_render(open, dir + "/dark.png", {}).status, 0);
    program_result r = fx_render(open, dir + "/glow.png", {"--flares"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto dark = fx_png_pixel(dir + "/dark.png", 320, 240);
    auto glow = fx_png_pixel(dir + "/glow.png", 320, 240);
    EXPECT_EQ(dark[0] + dark[1] + dark[2], 0);
    EXPECT_NEAR(glow[0], 255, 2);
    EXPECT_NEAR(glow[1], 128, 3);
    EXPECT_NEAR(glow[2], 0, 2);

    const fx_mesh cover = fx_wall(-3, 2);
    std::string hidden = fx_flare_file(dir, "flare_wall.kst", &cover);
    ASSERT_EQ(fx_render(hidden, dir + "/wall.png", {}).status, 0);
    ASSERT_EQ(fx_render(hidden, dir + "/wall_flares.png", {"--flares"}).status, 0);
    auto wall = fx_png_pixel(dir + "/wall.png", 320, 240);
    auto both = fx_png_pixel(dir + "/wall_flares.png", 320, 240);
    EXPECT_GT(wall[2], 100);
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(both[c], wall[c], 2) << "a covered flare adds nothing";
}

// A flare behind a bar two pixels wide at 640 x 480: the read-back block sees
// past it, so the flare glows. At 1440 x 1080 the bar is four and a half
// pixels wide; the flare's point and block grow with the picture, so it
// glows alike there (a 3 x 3 block would see only the bar, and the flare
// would vanish).
TEST(kestrel_render_fx, flares_measure_the_same_at_every_picture_size)
{
    std::string dir = test_temp_dir("render_fx_flare_sizes");
    const float half = 0.0125f;  // about one pixel either side at 640 x 480, 3 m in front
    const fx_mesh bar{{{-half, -3, -1}, {half, -3, -1}, {half, -3, 1}, {-half, -3, 1}}, {{0, 1, 2}, {0, 2, 3}}};
    std::string file = fx_flare_file(dir, "bar.kst", &bar);
    ASSERT_EQ(fx_render(file, dir + "/small.png", {"--flares"}).status, 0);
    program_result large = fx_render(file, dir + "/large.png", {"--flares", "--size", "1440x1080"});
    ASSERT_EQ(large.status, 0) << large.err;
    auto small_px = fx_png_pixel(dir + "/small.png", 330, 240);   // beside the bar, inside the flare
    auto large_px = fx_png_pixel(dir + "/large.png", 742, 540);
    EXPECT_GT(small_px[0], 100) << "the flare glows past the thin bar";
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(large_px[c], small_px[c], 8) << "channel " << c;
}
