// tests/render_fx/shadows_test.cpp - silhouettes, volume quads and stencil counting.
#include <GL/glu.h>
#include <gtest/gtest.h>

#include "engine/render/passes.h"
#include "engine/render/shadows.h"
#include "fx_scene.h"
#include "gl_fixture.h"

namespace {

// Silhouette quads of object k for a light, built on the processor alone.
int32_t fx_build(fx_scene& s, int32_t k, KST_VECTOR light, float extrude = 1000.0f)
{
    KST_SHADOWEXTRUDE = extrude;
    s.scene.VOLUMEARRAYLENGTH = 0;
    KST_VECTOR none{0, 0, 0};
    KST_SHADOW_LIGHTVISIBLE(s.scene.OBJ[k], light, none);
    KST_SHADOW_CONTOUR(s.scene.OBJ[k]);
    KST_SHADOW_BUILDVOLUME(s.scene, s.scene.OBJ[k], light, none);
    return s.scene.VOLUMEARRAYLENGTH;
}

int fx_stencil_nonzero()
{
    std::vector<GLubyte> st(640 * 480);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, st.data());
    int n = 0;
    for (GLubyte v : st)
        n += v != 0;
    return n;
}

void fx_draw_mesh(const KST_OBJECT& o)
{
    glBegin(GL_TRIANGLES);
    for (int32_t f = 0; f < o.FACES; f++)
        for (int32_t v : {o.FACE[f].A, o.FACE[f].B, o.FACE[f].C})
            glVertex3f(o.VERTEX[v].X, o.VERTEX[v].Y, o.VERTEX[v].Z);
    glEnd();
}

// Window position of a world point under the current matrices.
std::array<int, 2> fx_project(KST_VECTOR p)
{
    GLdouble mv[16], pr[16], x, y, z;
    GLint vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    gluProject(p.X, p.Y, p.Z, mv, pr, vp, &x, &y, &z);
    return {static_cast<int>(x), static_cast<int>(y)};
}

// Ground square at Z = 0 and a cube floating above it; the camera looks down
// at the ground from the front, the scene's depths are in the depth buffer.
struct fx_shadow_stage {
    fx_scene s;
    int32_t ground, cube;
    fx_shadow_stage()
    {
        ground = s.add(fx_ground(20, 0));
        cube = s.add_cube({0, 0, 2}, 1);
        s.scene.OBJ[cube].CASTSHADOW = true;
        s.prepare();
        glMatrixMode(GL_PROJECTION);
        gluPerspective(45, 4.0 / 3.0, 0.5, 200);
        glMatrixMode(GL_MODELVIEW);
        gluLookAt(0, -15, 10, 2, 0, 0, 0, 0, 1);
        glEnable(GL_DEPTH_TEST);
        fx_draw_mesh(s.scene.OBJ[ground]);
        fx_draw_mesh(s.scene.OBJ[cube]);
    }
};

}  // namespace

TEST(shadow_volume, closed_cube_builds_one_quad_per_silhouette_edge)
{
    fx_scene s;
    int32_t cube = s.add_cube({0, 0, 0}, 1);
    s.prepare();
    EXPECT_FLOAT_EQ(s.scene.INFINITY, 1000.0f);
    EXPECT_EQ(fx_build(s, cube, {5, 0.3f, 0.2f}), 4);  // one side lit: a square outline
    EXPECT_EQ(fx_build(s, cube, {5, 5, 0.2f}), 6);     // two sides lit
    EXPECT_EQ(fx_build(s, cube, {5, 5, 5}), 6);        // three sides lit: a hexagon
    EXPECT_EQ(fx_build(s, cube, {0, 0, 0}), 0);        // light inside: nothing faces it

    // Quad layout: near start, far start, far end, near end; far = near + E (near - L).
    fx_build(s, cube, {5, 0.3f, 0.2f}, 2.0f);
    for (int32_t q = 0; q < 4; q++) {
        const KST_VECTOR* v = s.scene.VOLUMEARRAY + 4 * q;
        EXPECT_FLOAT_EQ(v[0].X, 1.0f);  // edge of the lit +X side
        EXPECT_FLOAT_EQ(v[3].X, 1.0f);
        EXPECT_FLOAT_EQ(v[1].X, v[0].X + 2.0f * (v[0].X - 5.0f));
        EXPECT_FLOAT_EQ(v[1].Y, v[0].Y + 2.0f * (v[0].Y - 0.3f));
        EXPECT_FLOAT_EQ(v[2].Z, v[3].Z + 2.0f * (v[3].Z - 0.2f));
    }
}

TEST(shadow_volume, open_triangle_builds_three_quads_only_when_facing_the_light)
{
    fx_scene s;
    int32_t tri = s.add(fx_triangle(0));
    s.prepare();
    EXPECT_EQ(fx_build(s, tri, {0, 0, 5}), 3);
    EXPECT_TRUE(s.scene.OBJ[tri].LIGHTVISIBLE[0]);
    for (int k = 0; k < 3; k++)
        EXPECT_TRUE(s.scene.OBJ[tri].CONTOUR[k]);
    EXPECT_EQ(fx_build(s, tri, {0, 0, -5}), 0);
    EXPECT_FALSE(s.scene.OBJ[tri].LIGHTVISIBLE[0]);
    // The test is strict: a light in the face's plane does not light it.
    EXPECT_EQ(fx_build(s, tri, {7, 3, 0}), 0);
}

TEST(shadow_volume, building_never_leaves_the_prepared_buffers)
{
    fx_scene s;
    int32_t tri = s.add(fx_triangle(0));
    s.prepare();
    ASSERT_EQ(s.scene.kst_volume_slots, 3);
    s.scene.kst_volume_slots = 2;  // room for two of the three quads
    EXPECT_EQ(fx_build(s, tri, {0, 0, 5}), 2);
    for (int i = 8; i < 12; i++)  // the third slot stays as preparation left it
        EXPECT_FLOAT_EQ(s.scene.VOLUMEARRAY[i].Z, 0.0f);
    s.scene.VOLUMEARRAYLENGTH = -5;  // a corrupt count writes nothing either
    KST_SHADOW_BUILDVOLUME(s.scene, s.scene.OBJ[tri], {0, 0, 5}, {0, 0, 0});
    EXPECT_EQ(s.scene.VOLUMEARRAYLENGTH, -5);

    // Indices that name no face or vertex: the neighbour counts as absent,
    // the edge with a bad corner builds nothing.
    fx_scene h;
    int32_t a = h.add(fx_triangle(0));
    h.prepare();
    h.scene.OBJ[a].NEIGHBOUR[0] = {99, -7, 1 << 30};
    EXPECT_EQ(fx_build(h, a, {0, 0, 5}), 3);
    h.scene.OBJ[a].FACE[0].C = 1000;  // edges B-C and C-A touch it
    EXPECT_EQ(fx_build(h, a, {0, 0, 5}), 1);
    KST_FACE* neighbours = h.scene.OBJ[a].NEIGHBOUR;
    h.scene.OBJ[a].NEIGHBOUR = nullptr;  // no neighbour list: every edge is open
    h.scene.OBJ[a].FACE[0].C = 2;
    EXPECT_EQ(fx_build(h, a, {0, 0, 5}), 3);
    h.scene.OBJ[a].NEIGHBOUR = neighbours;
}

TEST_F(gl_test, shadow_render_marks_the_cube_shadow_on_the_ground)
{
    fx_shadow_stage st;
    const KST_VECTOR light{-6, 0, 8};
    KST_SHADOW_RENDER(st.s.scene, light, 0);
    // (4, 0, 0) lies behind the cube seen from the light; (-4, 0, 0) and (4, 4, 0) do not.
    auto in = fx_project({4, 0, 0}), front = fx_project({-4, 0, 0}), side = fx_project({4, 4, 0});
    EXPECT_NE(gl_read_stencil(in[0], in[1]), 0);
    EXPECT_EQ(gl_read_stencil(front[0], front[1]), 0);
    EXPECT_EQ(gl_read_stencil(side[0], side[1]), 0);
    EXPECT_GT(st.s.scene.VOLUMEARRAYLENGTH, 0);

    // State left for the caller: stencil test on with GL_ALWAYS, writes back on.
    EXPECT_TRUE(gl_enabled(GL_STENCIL_TEST));
    EXPECT_EQ(gl_get_int(GL_STENCIL_FUNC), GL_ALWAYS);
    EXPECT_EQ(gl_get_int(GL_STENCIL_PASS_DEPTH_PASS), GL_KEEP);
    EXPECT_EQ(gl_get_int(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_EQ(gl_get_int(GL_DEPTH_WRITEMASK), GL_TRUE);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_TRUE(mask[0] && mask[1] && mask[2] && mask[3]);
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_FLOAT_EQ(KST_SHADOWEXTRUDE, 1000.0f);
}

TEST_F(gl_test, shadow_render_leaves_the_stencil_alone_without_a_real_volume)
{
    // INFINITY 0: the quads have no extent.
    {
        fx_shadow_stage st;
        st.s.scene.INFINITY = 0.0f;
        KST_SHADOW_RENDER(st.s.scene, {-6, 0, 8}, 0);
        EXPECT_EQ(st.s.scene.VOLUMEARRAYLENGTH, 6);  // top and -X side lit
        EXPECT_EQ(fx_stencil_nonzero(), 0);
    }
    // A hidden caster throws nothing; objects that cast nothing keep their working flags.
    {
        fx_shadow_stage st;
        KST_OBJECT& cube = st.s.scene.OBJ[st.cube];
        KST_OBJECT& ground = st.s.scene.OBJ[st.ground];
        cube.VISIBLE = false;
        ground.LIGHTVISIBLE[0] = 7;
        ground.CONTOUR[4] = 9;
        KST_SHADOW_RENDER(st.s.scene, {-6, 0, 8}, 0);
        EXPECT_EQ(st.s.scene.VOLUMEARRAYLENGTH, 0);
        EXPECT_EQ(fx_stencil_nonzero(), 0);
        EXPECT_EQ(cube.LIGHTVISIBLE[0], 0);
        EXPECT_EQ(ground.LIGHTVISIBLE[0], 7);
        EXPECT_EQ(ground.CONTOUR[4], 9);
    }
}

namespace {

// The shadowed frame as an application draws it: the scene, the volumes of
// light 0, then the shadowed render where the stencil counts. Returns the
// colour at each world point; `plain` gets the scene alone.
struct fx_shadow_frame {
    fx_scene s;
    int32_t ground, cube, plate;
    const KST_VECTOR light{-6, 0, 8};
    fx_shadow_frame()
    {
        s.camera({0, -15, 10}, {2, 0, 0});
        s.scene.CAMFOV = 0.785398163f;
        ground = s.add(fx_ground(20, 0), 0);
        s.scene.OBJ[ground].RECEIVESHADOW = true;
        cube = s.add_cube({0, 0, 2}, 1, 0);
        s.scene.OBJ[cube].CASTSHADOW = true;
        fx_mesh small = fx_ground(0.5f, 0.05f);  // a plate lying in the shadow, not receiving it
        for (KST_VECTOR& v : small.vertex)
            v.X += 4.2f;
        plate = s.add(small, 1);
        s.scene.MATERIAL[1].DIFFUSE = {0.2f, 1.0f, 0.4f};
        sb_set_light(s.scene, 0, "sun", light);
        s.scene.SHADOWVALUE = 0.25f;
        s.prepare();
    }
    std::vector<gl_rgba> draw(float frame, bool shadows, const std::vector<KST_VECTOR>& at)
    {
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(s.scene, frame);
        if (shadows) {
            KST_SHADOW_RENDER(s.scene, light, frame);
            glClear(GL_DEPTH_BUFFER_BIT);
            glStencilFunc(GL_NOTEQUAL, 0, ~0u);
            KST_RENDER_SCENE_SHADOWED(s.scene, frame);
            glStencilFunc(GL_ALWAYS, 0, ~0u);
            glDisable(GL_STENCIL_TEST);
        }
        std::vector<gl_rgba> px;
        for (const KST_VECTOR& p : at) {
            auto w = fx_project(p);
            px.push_back(gl_read_pixel(w[0], w[1]));
        }
        return px;
    }
};

bool fx_same(gl_rgba a, gl_rgba b)
{
    return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
}

bool fx_dimmed(gl_rgba shadowed, gl_rgba lit)
{
    return lit.r > 60 && shadowed.r < lit.r - 30;
}

}  // namespace

// Inside the cube's shadow the receiving ground is dimmed and the plate, which
// does not receive shadows, keeps its colour; outside the shadow nothing changes.
TEST_F(gl_test, shadowed_frame_dims_receivers_only)
{
    fx_shadow_frame f;
    const std::vector<KST_VECTOR> at = {{2.5f, 0, 0}, {4.2f, 0, 0.05f}, {-4, 0, 0}, {4, 5, 0}};
    std::vector<gl_rgba> plain = f.draw(0, false, at), shadowed = f.draw(0, true, at);
    EXPECT_TRUE(fx_dimmed(shadowed[0], plain[0]));  // ground in the shadow
    EXPECT_GT(plain[1].g, 100);                     // the plate is there ...
    EXPECT_TRUE(fx_same(shadowed[1], plain[1]));    // ... and not dimmed
    EXPECT_TRUE(fx_same(shadowed[2], plain[2]));    // ground outside the shadow
    EXPECT_TRUE(fx_same(shadowed[3], plain[3]));
    // A plate that does receive shadows is dimmed where it lies.
    f.s.scene.OBJ[f.plate].RECEIVESHADOW = true;
    shadowed = f.draw(0, true, at);
    EXPECT_LT(shadowed[1].g, plain[1].g - 30);
}

// A caster on a position track throws its shadow from where the track puts it:
// the cube moving from Y 0 at frame 0 to Y 6 at frame 10. Seen from the light,
// its centre (0, Y, 2) falls on the ground at (2, 4/3 Y, 0).
TEST_F(gl_test, shadow_follows_the_casters_position_track)
{
    fx_shadow_frame f;
    sb_object_keys(f.s.scene, f.cube, {{0, 0, 0, 0}, {10, 0, 6, 0}});
    const std::vector<KST_VECTOR> at = {{2, 0, 0}, {2, 4, 0}, {2, 8, 0}};
    for (int frame : {0, 5, 10}) {
        std::vector<gl_rgba> plain = f.draw(static_cast<float>(frame), false, at);
        std::vector<gl_rgba> shadowed = f.draw(static_cast<float>(frame), true, at);
        for (int i = 0; i < 3; i++) {
            bool in_shadow = i == frame / 5;
            EXPECT_EQ(fx_dimmed(shadowed[i], plain[i]), in_shadow) << "frame " << frame << " point " << i;
            if (!in_shadow) {
                EXPECT_TRUE(fx_same(shadowed[i], plain[i])) << "frame " << frame << " point " << i;
            }
        }
    }
}
