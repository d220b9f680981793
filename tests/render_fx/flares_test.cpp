// tests/render_fx/flares_test.cpp - flare visibility read-back, occluders and the flare draw.
#include <GL/glu.h>
#include <gtest/gtest.h>

#include "engine/render/flares.h"
#include "engine/render/passes.h"
#include "fx_scene.h"
#include "gl_fixture.h"
#include "support/error.h"

namespace {

// A camera in front of the origin, a flare at the origin (material 1, AMBIENT
// (1, 0.5, 0), FLARESIZE 0.5) and an opaque wall between them (material 0).
struct fx_flare_stage {
    fx_scene s;
    int32_t flare, wall;
    fx_flare_stage()
    {
        s.camera({0, -10, 2}, {0, 0, 0});
        s.scene.CAMFOV = 0.8f;
        s.scene.MATERIAL[1].FLARESIZE = 0.5f;
        s.scene.MATERIAL[1].AMBIENT = {1.0f, 0.5f, 0.0f};
        s.scene.MATERIAL[2].FLARESIZE = -1.0f;
        flare = s.add(fx_triangle(0), 1);
        wall = s.add(fx_wall(-3, 2), 0);
        s.prepare();
    }
    KST_RGB tempcolor() const { return s.scene.OBJ[flare].TEMPCOLOR; }
};

void fx_expect_rgb(KST_RGB c, float r, float g, float b)
{
    EXPECT_NEAR(c.R, r, 0.01f);
    EXPECT_NEAR(c.G, g, 0.01f);
    EXPECT_NEAR(c.B, b, 0.01f);
}

// Window position of the origin under the camera the visibility step set.
std::array<int, 2> fx_origin_pixel()
{
    GLdouble mv[16], pr[16], x, y, z;
    GLint vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    gluProject(0, 0, 0, mv, pr, vp, &x, &y, &z);
    return {static_cast<int>(x), static_cast<int>(y)};
}

void fx_clear()
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

}  // namespace

TEST_F(gl_test, flare_in_the_open_reads_its_colour_and_draws_it)
{
    fx_flare_stage st;
    st.s.scene.OBJ[st.wall].VISIBLE = false;
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);
    EXPECT_FALSE(st.s.scene.OBJ[st.flare].VISIBLE);  // the mesh is off the scene passes now
    EXPECT_FLOAT_EQ(KST_CAMERAPOS.Y, -10.0f);
    EXPECT_FLOAT_EQ(KST_CAMERAPOS.Z, 2.0f);
    EXPECT_FALSE(gl_enabled(GL_ALPHA_TEST));
    EXPECT_EQ(gl_get_int(GL_DEPTH_WRITEMASK), GL_TRUE);

    // The draw ignores depth: a grey wall drawn in front does not hide the flare,
    // which is added onto it.
    auto px = fx_origin_pixel();
    fx_clear();
    glEnable(GL_DEPTH_TEST);
    glColor3f(0.25f, 0.25f, 0.25f);
    glBegin(GL_QUADS);
    for (const KST_VECTOR& v : fx_wall(-3, 2).vertex)
        glVertex3f(v.X, v.Y, v.Z);
    glEnd();
    KST_FLARES_RENDER(st.s.scene, 0);
    auto c = gl_read_pixel_f(px[0], px[1]);
    EXPECT_NEAR(c[0], 1.0f, 0.01f);
    EXPECT_NEAR(c[1], 0.75f, 0.02f);
    EXPECT_NEAR(c[2], 0.25f, 0.02f);
    EXPECT_FALSE(gl_enabled(GL_DEPTH_TEST));
    EXPECT_EQ(gl_get_int(GL_BLEND_DST), GL_ONE);
    EXPECT_EQ(gl_get_int(GL_DEPTH_WRITEMASK), GL_TRUE);
}

TEST_F(gl_test, covered_flare_reads_black_and_adds_nothing)
{
    fx_flare_stage st;
    st.s.scene.OBJ[st.flare].TEMPCOLOR = {1, 1, 1};
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 0, 0, 0);
    auto px = fx_origin_pixel();
    fx_clear();
    KST_FLARES_RENDER(st.s.scene, 0);
    EXPECT_EQ(gl_distinct_colours(), 1);
    auto c = gl_read_pixel(px[0], px[1]);
    EXPECT_EQ(c.r + c.g + c.b, 0);
}

TEST_F(gl_test, only_visible_sound_objects_of_size_zero_occlude)
{
    fx_flare_stage st;
    KST_OBJECT& wall = st.s.scene.OBJ[st.wall];
    wall.VISIBLE = false;  // hidden
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);
    EXPECT_FALSE(wall.VISIBLE);

    fx_clear();
    wall.VISIBLE = true;
    wall.MATERIAL = 2;  // negative FLARESIZE: neither flare nor occluder
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);
    EXPECT_TRUE(wall.VISIBLE);

    fx_clear();
    wall.MATERIAL = 0;
    wall.FACE[1].C = 4000;  // an index past the vertex array: the occluder is not drawn
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);

    fx_clear();
    wall.MATERIAL = 99;  // no such material
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);
}

TEST_F(gl_test, flares_and_occluders_follow_their_position_tracks)
{
    fx_flare_stage st;
    KST_OBJECT& flare = st.s.scene.OBJ[st.flare];
    flare.POS = {0, 0, -1};  // the flare sits at POS plus its track: the origin
    sb_object_keys(st.s.scene, st.flare, {{0, 0, 0, 1}});
    sb_object_keys(st.s.scene, st.wall, {{0, 0, 0, 50}});  // the occluder moves away
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);

    fx_clear();
    sb_object_keys(st.s.scene, st.wall, {{0, 0, 0, 0}});
    st.s.scene.OBJ[st.wall].VISIBLE = true;
    st.s.scene.OBJ[st.wall].POS = {0, 0, 50};  // the occluder ignores POS
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 0, 0, 0);
}

TEST_F(gl_test, flare_outside_the_window_reads_black_and_at_the_edge_stays_inside)
{
    fx_flare_stage st;
    st.s.scene.OBJ[st.wall].VISIBLE = false;
    KST_OBJECT& flare = st.s.scene.OBJ[st.flare];
    flare.POS = {0, -20, 0};  // behind the camera
    flare.TEMPCOLOR = {1, 1, 1};
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 0, 0, 0);

    // A flare on the window's left and bottom edges: half its block lies outside.
    GLdouble mv[16], pr[16], x, y, z;
    GLint vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    gluUnProject(0.5, 0.5, 0.9, mv, pr, vp, &x, &y, &z);
    flare.POS = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    fx_clear();
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);
}

TEST_F(gl_test, flare_visibility_reports_a_scene_without_camera_tracks)
{
    fx_flare_stage st;
    st.s.scene.CAMTARGETKEYS = 0;
    error_report_capture capture;
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    EXPECT_TRUE(capture.contains(
        "KESTREL: Scene not renderable without camera animation target and position track"));
}

// The 3 x 3 read-back fills exactly its 27 floats whatever pixel store the
// caller left: with a pack alignment of 8 alone the rows land shifted (and
// past the buffer), with a row length or skips further still, and a red scale
// dims what is read.
TEST_F(gl_test, flare_read_back_ignores_the_pack_state_the_caller_left)
{
    fx_flare_stage st;
    st.s.scene.OBJ[st.wall].VISIBLE = false;
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);

    fx_clear();
    gl_pixel_store_scramble();
    KST_FLARES_VISIBILITY(st.s.scene, 0);
    fx_expect_rgb(st.tempcolor(), 1.0f, 0.5f, 0.0f);
    // The read-back leaves its own state behind, as every renderer step does.
    EXPECT_EQ(gl_get_int(GL_PACK_ALIGNMENT), 1);
    for (GLenum zero : {GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS,
                        GL_PACK_IMAGE_HEIGHT, GL_PACK_SKIP_IMAGES, GL_PACK_SWAP_BYTES,
                        GL_PACK_LSB_FIRST})
        EXPECT_EQ(gl_get_int(zero), 0) << zero;
    EXPECT_FLOAT_EQ(gl_get_float(GL_RED_SCALE), 1.0f);
}
