// Tests of the scene passes and the camera on a real GL context: the material
// state tables (blend, depth test, depth mode, alpha test) by pixels and by GL
// state, lights, pass order and MAXPASS, the fixed 4:3 projection, the render
// variants, wireframes, camera set-ups, the mirrored render and object lookup.
#include <GL/gl.h>

#include <array>
#include <cmath>

#include "engine/render/draw.h"
#include "engine/render/passes.h"
#include "gl_fixture.h"
#include "render_scene.h"
#include "support/error.h"

namespace {

class Passes : public gl_test {
protected:
    void render(render_scene& rs, float frame = 0.0f)
    {
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(rs.s, frame);
    }
};

constexpr int cx = 320, cy = 240;

std::array<float, 16> matrix(GLenum which)
{
    std::array<float, 16> m{};
    glGetFloatv(which, m.data());
    return m;
}

// Any pixel in the square of half-size r around (x, y) brighter than 200 in red.
bool bright_near(int x, int y, int r)
{
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            if (gl_read_pixel(x + dx, y + dy).r > 200)
                return true;
    return false;
}

const char* const render_message =
    "KESTREL: Scene not renderable without camera animation target and position track";
const char* const setup_message =
    "Kestrel: Scene not renderable without camera animation target and position track";

}  // namespace

TEST_F(Passes, BlendModesAndAnUnknownModeKeepingThePrevious)
{
    render_scene rs;
    int back = rs.add_material(0.4f, 0.2f, 0.0f);
    int side = rs.add_material(0.0f, 0.0f, 0.0f);
    int over = rs.add_material(0.2f, 0.4f, 0.6f, 0.25f);
    rs.add_quad(-6, -4, 6, 4, 2, back);     // far, opaque
    rs.add_quad(8, -1, 9, 1, 0, side);      // off to the side; sets the blending before the overlay
    rs.add_quad(-2, -2, 2, 2, 0, over);     // near, blended over the background
    struct row { uint8_t blend; bool on; GLint src, dst; int r, g, b; };
    const row table[] = {
        {0, false, 0, 0, 51, 102, 153},
        {1, true, GL_ONE, GL_ONE, 153, 153, 153},
        {2, true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 89, 64, 38},
        {3, true, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, 64, 89, 115},
        {4, true, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, 92, 71, 92},
    };
    for (const row& t : table) {
        rs.mat(over).BLEND = t.blend;
        render(rs);
        EXPECT_TRUE(pixel_near(cx, cy, t.r, t.g, t.b, 4)) << int(t.blend);
        EXPECT_EQ(gl_enabled(GL_BLEND), t.on) << int(t.blend);
        if (t.on) {
            EXPECT_EQ(gl_get_int(GL_BLEND_SRC), t.src) << int(t.blend);
            EXPECT_EQ(gl_get_int(GL_BLEND_DST), t.dst) << int(t.blend);
        }
    }
    // BLEND 5 keeps what the object before it set: additive here.
    rs.mat(side).BLEND = 1;
    rs.mat(over).BLEND = 5;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 153, 153, 153, 4));
    EXPECT_TRUE(gl_enabled(GL_BLEND));
    EXPECT_EQ(gl_get_int(GL_BLEND_SRC), GL_ONE);
    rs.mat(side).BLEND = 0;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 51, 102, 153, 4));
    EXPECT_FALSE(gl_enabled(GL_BLEND));
}

TEST_F(Passes, DepthTestTableWithKeptValues)
{
    render_scene rs;
    int near_m = rs.add_material(1, 0, 0);
    int other_m = rs.add_material(1, 0, 0);
    int far_m = rs.add_material(0, 1, 0);
    rs.add_quad(-4, -1, -1, 1, -2, near_m);   // near, left
    rs.add_quad(1, -1, 4, 1, -2, other_m);    // near, right
    rs.add_quad(-6, -3, 6, 3, 2, far_m);      // far, drawn last over both
    const int left = 320 - 75, right = 320 + 75;  // x = -2.5 and 2.5 at distance 8
    auto far_seen = [&](int x) { return gl_read_pixel(x, cy).g > 200; };

    // Writes decide whether the later, farther quad still shows. GL writes no
    // depth while the test is off, so DEPTHTEST 2 (mask on) leaves none either.
    const bool far_visible[4] = {false, true, true, true};
    for (uint8_t d = 0; d < 4; ++d) {
        rs.mat(near_m).DEPTHTEST = d;
        rs.mat(other_m).DEPTHTEST = d;
        render(rs);
        EXPECT_EQ(far_seen(left), far_visible[d]) << int(d);
        EXPECT_TRUE(gl_get_int(GL_DEPTH_WRITEMASK));  // back on after the render
    }
    // Tests decide whether the farther quad, drawn later, lands over the near one.
    rs.mat(near_m).DEPTHTEST = 0;
    rs.mat(other_m).DEPTHTEST = 0;
    for (uint8_t d = 0; d < 4; ++d) {
        rs.mat(far_m).DEPTHTEST = d;
        render(rs);
        EXPECT_EQ(far_seen(left), d >= 2) << int(d);
        EXPECT_EQ(gl_enabled(GL_DEPTH_TEST), d <= 1) << int(d);
    }
    rs.mat(far_m).DEPTHTEST = 0;

    // DEPTHTEST 4 keeps the mask and test of the object before it.
    rs.mat(near_m).DEPTHTEST = 1;
    rs.mat(other_m).DEPTHTEST = 4;
    render(rs);
    EXPECT_TRUE(far_seen(left));
    EXPECT_TRUE(far_seen(right));  // the right quad did not write depth either
    rs.mat(near_m).DEPTHTEST = 0;
    render(rs);
    EXPECT_FALSE(far_seen(right));
    rs.mat(other_m).DEPTHTEST = 3;
    rs.mat(far_m).DEPTHTEST = 4;  // the last object keeps the disabled test
    render(rs);
    EXPECT_FALSE(gl_enabled(GL_DEPTH_TEST));  // kept from the object before it
}

TEST_F(Passes, DepthModeTable)
{
    render_scene rs;
    int far_m = rs.add_material(0, 0, 1);
    int near_m = rs.add_material(1, 0, 0);
    rs.add_quad(-6, -3, 6, 3, 2, far_m);    // far, drawn first
    rs.add_quad(-2, -1, 2, 1, -2, near_m);  // nearer, drawn second
    const GLenum functions[5] = {GL_LESS, GL_LEQUAL, GL_EQUAL, GL_GREATER, GL_GEQUAL};
    const bool drawn[5] = {true, true, false, false, false};
    for (uint8_t mode = 0; mode < 5; ++mode) {
        rs.mat(near_m).DEPTHMODE = mode;
        render(rs);
        EXPECT_EQ(gl_read_pixel(cx, cy).r > 200, drawn[mode]) << int(mode);
        EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), static_cast<GLint>(functions[mode])) << int(mode);
    }
    rs.mat(far_m).DEPTHMODE = 3;
    for (uint8_t mode : {5, 200}) {  // outside the table: GL_LESS, whatever came before
        rs.mat(near_m).DEPTHMODE = mode;
        render(rs);
        EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LESS) << int(mode);
        EXPECT_GT(gl_read_pixel(cx, cy).r, 200) << int(mode);
    }
    // GL_GREATER draws what lies behind what is already there.
    rs.mat(far_m).DEPTHMODE = 0;
    rs.obj(1).VERTEX[0].Y = rs.obj(1).VERTEX[1].Y = rs.obj(1).VERTEX[2].Y = rs.obj(1).VERTEX[3].Y = 4;
    kst_render_geometry_changed(rs.s);
    rs.mat(near_m).DEPTHMODE = 3;
    render(rs);
    EXPECT_GT(gl_read_pixel(cx, cy).r, 200);
}

TEST_F(Passes, AlphaTestOnAndOff)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1, 0.3f);  // fragments of alpha 0.3
    rs.add_quad(-2, -2, 2, 2, 0, m);
    rs.mat(m).ALPHATEST = 0.5f;
    render(rs);
    EXPECT_TRUE(pixel_black(cx, cy));
    EXPECT_FALSE(gl_enabled(GL_ALPHA_TEST));  // turned off after the passes
    EXPECT_EQ(gl_get_int(GL_ALPHA_TEST_FUNC), GL_GREATER);
    EXPECT_FLOAT_EQ(gl_get_float(GL_ALPHA_TEST_REF), 0.5f);
    rs.mat(m).ALPHATEST = 0.2f;
    render(rs);
    EXPECT_FALSE(pixel_black(cx, cy));
    rs.mat(m).CONSTANTALPHA = 0.0f;
    rs.mat(m).ALPHATEST = 0.0f;  // no test: even alpha 0 is drawn
    render(rs);
    EXPECT_FALSE(pixel_black(cx, cy));
}

TEST_F(Passes, LightsWithAndWithoutPositionTracks)
{
    render_scene rs;
    int m = rs.add_material(0, 0, 0);
    rs.mat(m).DIFFUSE = {1, 1, 1};
    rs.mat(m).RECEIVELIGHT = true;
    rs.add_quad(-4, -2, 4, 2, 0, m);
    rs.light(7, {0, -1000, 0}, 1, 0, 0);  // in front of the quad
    glEnable(GL_LIGHT3);  // left on by an earlier scene
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 0, 0));
    EXPECT_TRUE(gl_enabled(GL_LIGHT7));
    EXPECT_FALSE(gl_enabled(GL_LIGHT3));
    EXPECT_FALSE(gl_enabled(GL_LIGHT0));
    GLfloat v[4];
    glGetLightfv(GL_LIGHT7, GL_POSITION, v);  // eye coordinates: 990 behind the camera
    EXPECT_NEAR(v[0], 0, 1e-3); EXPECT_NEAR(v[1], 0, 1e-3);
    EXPECT_NEAR(v[2], 990, 1e-2); EXPECT_FLOAT_EQ(v[3], 1);
    glGetLightfv(GL_LIGHT7, GL_SPOT_CUTOFF, v);
    EXPECT_FLOAT_EQ(v[0], 180);
    glGetLightfv(GL_LIGHT7, GL_CONSTANT_ATTENUATION, v);
    EXPECT_FLOAT_EQ(v[0], 1);

    // A track overrides POS: behind the quad at frame 0, in front at frame 10.
    rs.light_track(7, {{0, 0, 1000, 0}, {10, 0, -1000, 0}});
    render(rs, 0);
    EXPECT_TRUE(pixel_black(cx, cy));
    render(rs, 10);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 0, 0));

    rs.s.LIGHT[7].ENABLED = false;
    render(rs, 10);
    EXPECT_TRUE(pixel_black(cx, cy));
    EXPECT_FALSE(gl_enabled(GL_LIGHT7));
}

TEST_F(Passes, PassOrderAndMaxPass)
{
    render_scene rs;
    int green = rs.add_material(0, 1, 0);
    int red = rs.add_material(1, 0, 0);
    rs.mat(green).DEPTHTEST = 3;               // no depth test: lands over what is there
    int late = rs.add_quad(-4, -2, 4, 2, 2, green);   // index 0, far, pass 1
    rs.add_quad(-4, -2, 4, 2, 0, red);                // index 1, near, pass 0
    rs.obj(late).PASSNO = 1;
    rs.s.MAXPASS = 1;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 0, 255, 0));  // pass 1 after pass 0, whatever the index
    rs.s.MAXPASS = 0;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 0, 0));
    rs.obj(late).PASSNO = -1;
    rs.s.MAXPASS = 5;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 0, 0));
    rs.obj(late).PASSNO = 1;
    rs.obj(late).VISIBLE = false;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 0, 0));
    // Pass numbers far apart (a huge PASSNO from a file or a configuration):
    // the order holds and the frame does not walk two billion empty passes.
    rs.obj(late).VISIBLE = true;
    rs.obj(late).PASSNO = 2147483647;
    rs.s.MAXPASS = 2147483647;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 0, 255, 0));
}

TEST_F(Passes, ProjectionIsFourToThreeWhateverTheViewport)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    rs.add_quad(-1, -1, 1, 1, 0, m);  // a 2 x 2 square at distance 10: 48 x 48 pixels
    render(rs);
    std::array<float, 16> p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[5], 1.0f, 1e-5);  // 90 degrees vertical
    EXPECT_NEAR(p[5] / p[0], 4.0f / 3.0f, 1e-5);
    EXPECT_FALSE(pixel_black(rs_px(0.9f), cy));
    EXPECT_TRUE(pixel_black(rs_px(1.1f), cy));
    EXPECT_FALSE(pixel_black(cx, rs_py(0.9f)));
    EXPECT_TRUE(pixel_black(cx, rs_py(1.1f)));
    EXPECT_EQ(gl_get_int(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_TRUE(gl_enabled(GL_DEPTH_TEST));

    glViewport(0, 0, 320, 480);  // half as wide: the square is squeezed, not kept square
    render(rs);
    EXPECT_FALSE(pixel_black(160 + 10, cy));
    EXPECT_TRUE(pixel_black(160 + 14, cy));
    EXPECT_FALSE(pixel_black(160, cy + 22));
    glViewport(0, 0, 640, 480);
}

TEST_F(Passes, CameraFromTracksAndTheMissingTrackMessage)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    rs.add_quad(-1, -1, 1, 1, 0, m);
    rs.camera({3, -10, 1}, {3, 0, 1});  // moved 3 right and 1 up: the square appears left and down
    render(rs);
    EXPECT_FLOAT_EQ(KST_CAMERAPOS.X, 3);
    EXPECT_FLOAT_EQ(KST_CAMERATARGET.Y, 0);
    EXPECT_FALSE(pixel_black(rs_px(-3), rs_py(-1)));
    EXPECT_TRUE(pixel_black(cx, cy));

    error_report_capture reports;
    rs.s.CAMTARGETKEYS = 0;
    render(rs);
    ASSERT_EQ(reports.messages().size(), 1u);
    EXPECT_EQ(reports.messages()[0], render_message);
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SELECTION(rs.s, 0);
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    EXPECT_EQ(reports.messages().size(), 3u);
    KST_CAMERA_SETUP(rs.s, 0);
    ASSERT_EQ(reports.messages().size(), 4u);
    EXPECT_EQ(reports.messages()[3], setup_message);
    KST_CAMERA_SETUP_AT(rs.s, {0, -10, 0}, {0, 0, 0});
    EXPECT_EQ(reports.messages().size(), 5u);
    KST_RENDER_MIRRORED(rs.s, 0, 0, 1, 1, -1);  // checks, then KST_CAMERA_SETUP checks again
    EXPECT_EQ(reports.messages().size(), 7u);
}

TEST_F(Passes, FindShowAndHideByExactName)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    for (int i = 0; i < 3; ++i)
        rs.add_quad(0, 0, 1, 1, 0, m);
    kst_name_set(rs.obj(0).NAME, "ship");
    kst_name_set(rs.obj(1).NAME, "rock");
    kst_name_set(rs.obj(2).NAME, "ship");
    EXPECT_EQ(KST_FIND_OBJECT(rs.s, "ship"), 2);  // the last of two
    EXPECT_EQ(KST_FIND_OBJECT(rs.s, "rock"), 1);
    EXPECT_EQ(KST_FIND_OBJECT(rs.s, "Ship"), 65535);
    EXPECT_EQ(KST_FIND_OBJECT(rs.s, ""), 65535);
    KST_HIDE_OBJECT(rs.s, "SHIP");
    EXPECT_TRUE(rs.obj(0).VISIBLE && rs.obj(2).VISIBLE);
    KST_HIDE_OBJECT(rs.s, "ship");
    EXPECT_FALSE(rs.obj(0).VISIBLE);
    EXPECT_TRUE(rs.obj(1).VISIBLE);
    EXPECT_FALSE(rs.obj(2).VISIBLE);
    KST_SHOW_OBJECT(rs.s, "ship");
    EXPECT_TRUE(rs.obj(0).VISIBLE && rs.obj(2).VISIBLE);
    kst_name_set(rs.obj(1).NAME, std::string(255, 'x'));
    EXPECT_EQ(KST_FIND_OBJECT(rs.s, std::string(300, 'x')), 1);  // the first 255 characters count
    KST_SCENE empty{};
    EXPECT_EQ(KST_FIND_OBJECT(empty, "ship"), 65535);
}

TEST_F(Passes, WireframeDrawsTheFaceListOfAStripObject)
{
    render_scene rs;
    int m = rs.add_material(0, 0, 1);
    int q = rs.add_quad(-4, -2, 4, 2, 0, m);
    KST_OBJECT& o = rs.obj(q);
    o.RENDERMODE = 1;
    o.STRIPLENGTH = 3;  // the strip is one triangle; the face list is two
    rs.s.MAXPASS = -1;  // camera only
    render(rs);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    KST_DRAW_WIREFRAME(rs.s, q, 0, 1.0f);
    EXPECT_TRUE(bright_near(rs_px(2), rs_py(2), 2));   // top edge: only in the face list
    EXPECT_TRUE(bright_near(rs_px(4), rs_py(1), 2));   // right edge
    EXPECT_TRUE(bright_near(cx, cy, 2));               // the shared diagonal
    EXPECT_FALSE(bright_near(rs_px(2), rs_py(-1), 2)); // inside a face: lines only
    EXPECT_FLOAT_EQ(gl_get_float(GL_LINE_WIDTH), 2.0f);
    EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_FALSE(gl_enabled(GL_LIGHTING));
    EXPECT_FALSE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_FALSE(gl_enabled(GL_CULL_FACE));
    EXPECT_EQ(gl_get_int(GL_MODELVIEW_STACK_DEPTH), 1);

    glLineWidth(1.0f);
    glDepthFunc(GL_ALWAYS);
    KST_DRAW_WIREFRAME(rs.s, 99, 0, 1.0f);  // out of range: width and depth function still set
    EXPECT_FLOAT_EQ(gl_get_float(GL_LINE_WIDTH), 2.0f);
    EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LESS);
}

TEST_F(Passes, SelectionAndShadowedVariants)
{
    render_scene rs;
    int m = rs.add_material(0.2f, 0.2f, 0.2f);
    rs.mat(m).DEPTHMODE = 3;
    int q = rs.add_quad(-4, -2, 4, 2, 0, m);
    // The selection render sets no depth function per object.
    glDepthFunc(GL_LEQUAL);
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SELECTION(rs.s, 0);
    EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(pixel_near(cx, cy, 51, 51, 51));
    // Selected objects get a white wireframe first (and its GL_LESS).
    rs.obj(q).SELECTED = true;
    rs.mat(m).DEPTHMODE = 0;
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SELECTION(rs.s, 0);
    EXPECT_TRUE(bright_near(rs_px(2), rs_py(2), 2));
    EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LESS);
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(rs.s, 0);  // the plain render draws no wireframe
    EXPECT_FALSE(bright_near(rs_px(2), rs_py(2), 2));

    // The shadowed render sets depth functions and gives the lights under the
    // caller's model-view matrix: after a render of the same frame they land
    // where that render put them.
    rs.light(0, {1, -20, 3}, 1, 1, 1);
    rs.obj(q).SELECTED = false;
    rs.mat(m).DEPTHMODE = 1;
    KST_RENDER_SCENE(rs.s, 0);
    GLfloat plain[4], shadowed[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, plain);
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    glGetLightfv(GL_LIGHT0, GL_POSITION, shadowed);
    EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LEQUAL);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(plain[i], shadowed[i], 1e-4) << i;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    glGetLightfv(GL_LIGHT0, GL_POSITION, shadowed);
    EXPECT_FLOAT_EQ(shadowed[0], 1);
    EXPECT_FLOAT_EQ(shadowed[1], -20);
    EXPECT_FLOAT_EQ(shadowed[2], 3);
}

TEST_F(Passes, CameraSetupsLeaveTheWholeCameraInTheProjection)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    rs.add_quad(-1, -1, 1, 1, 0, m);
    rs.s.CAMNEAR = 1e-6f;  // the camera set-up scales the scene by 0.00001
    rs.s.CAMFAR = 1.0f;
    KST_CAMERAPOS = {7, 7, 7};
    KST_CLEAR_SCREEN();
    KST_CAMERA_SETUP(rs.s, 0);
    EXPECT_EQ(gl_get_int(GL_MATRIX_MODE), GL_PROJECTION);
    std::array<float, 16> mv = matrix(GL_MODELVIEW_MATRIX);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(mv[i], i % 5 == 0 ? 1.0f : 0.0f);
    EXPECT_FLOAT_EQ(KST_CAMERAPOS.X, 7);  // camera set-ups do not touch the render's camera
    rs.obj(0).LOD = 0;
    KST_DRAW_OBJECT(rs.s, 0, 0);
    EXPECT_FALSE(pixel_black(cx, cy));
    EXPECT_TRUE(pixel_black(rs_px(1.2f), cy));

    KST_CLEAR_SCREEN();
    KST_CAMERA_SETUP_AT(rs.s, {-3, -10, 0}, {-3, 0, 0});
    KST_DRAW_OBJECT(rs.s, 0, 0);
    EXPECT_FALSE(pixel_black(rs_px(3), cy));
    EXPECT_TRUE(pixel_black(cx - 30, cy));
}

TEST_F(Passes, MirroredRenderReflectsAddsTheMirrorAndDrawsTheScene)
{
    render_scene rs;
    int red = rs.add_material(1, 0, 0);
    int blue = rs.add_material(0, 0, 0.5f);
    rs.add_quad(-1, 1, 1, 3, 0, red);             // above the ground plane
    int mirror = rs.add_quad(-4, -4, 4, 0, -1, blue);  // in front, below the plane
    rs.obj(0).VISIBLE = false;  // the mirrored render ignores visibility
    rs.s.CAMNEAR = 1e-6f;
    rs.s.CAMFAR = 1.0f;
    KST_CLEAR_SCREEN();
    KST_RENDER_MIRRORED(rs.s, mirror, 0, 1, 1, -1);
    EXPECT_TRUE(pixel_near(cx, rs_py(2), 255, 0, 0));           // the object itself
    EXPECT_TRUE(pixel_near(cx, cy - 57, 255, 0, 128));           // its reflection under the mirror
    EXPECT_TRUE(pixel_near(rs_px(3) + 5, cy - 27, 0, 0, 128));   // the mirror alone
    EXPECT_FALSE(gl_enabled(GL_BLEND));
}

TEST_F(Passes, ClearScreenAndStateAfterTheRender)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    rs.mat(m).DEPTHTEST = 1;       // depth writes off
    rs.mat(m).ALPHATEST = 0.01f;   // alpha test on
    rs.add_quad(-1, -1, 1, 1, 0, m);
    render(rs);
    EXPECT_FALSE(gl_enabled(GL_ALPHA_TEST));
    EXPECT_TRUE(gl_get_int(GL_DEPTH_WRITEMASK));
    std::array<float, 16> t = matrix(GL_TEXTURE_MATRIX);
    EXPECT_FLOAT_EQ(t[0], 1.0f);

    glClearColor(1, 1, 1, 1);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearStencil(7);
    glClear(GL_STENCIL_BUFFER_BIT);
    glClearStencil(0);
    KST_CLEAR_SCREEN();
    gl_rgba p = gl_read_pixel(cx, cy);
    EXPECT_EQ(p.r + p.g + p.b + p.a, 0);
    EXPECT_EQ(gl_read_stencil(cx, cy), 0);
    GLfloat depth = 0;
    glReadPixels(cx, cy, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0] + clear[1] + clear[2] + clear[3], 0.0f);
}
