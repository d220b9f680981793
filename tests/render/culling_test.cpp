// tests/render/culling_test.cpp - view-volume culling and buffer objects of the scene passes.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "engine/render/draw.h"
#include "engine/render/geometry.h"
#include "engine/render/passes.h"
#include "engine/scene/prepare.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "process.h"
#include "render_scene.h"
#include "texture_files.h"

namespace {
class Culling : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        TX_FREEALL();
    }
    void TearDown() override { TX_FREEALL(); }

    // Renders and returns the objects the passes handed to GL.
    uint64_t render(render_scene& rs, float frame = 0.0f)
    {
        uint64_t before = KST_RENDER_STATS.objects;
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(rs.s, frame);
        return KST_RENDER_STATS.objects - before;
    }
};

constexpr int cx = 320, cy = 240;

// Face normals and centres as preparation computes them, in the test's own blocks.
void face_frames(render_scene& rs, KST_OBJECT& o)
{
    if (!o.FACENORMAL) {
        o.FACENORMAL = rs.alloc<KST_VECTOR>(o.FACES);
        o.FACECENTER = rs.alloc<KST_VECTOR>(o.FACES);
    }
    for (int32_t f = 0; f < o.FACES; ++f) {
        const KST_VECTOR &a = o.VERTEX[o.FACE[f].A], &b = o.VERTEX[o.FACE[f].B], &c = o.VERTEX[o.FACE[f].C];
        KST_VECTOR u{a.X - b.X, a.Y - b.Y, a.Z - b.Z}, v{c.X - b.X, c.Y - b.Y, c.Z - b.Z};
        KST_VECTOR n{u.Y * v.Z - u.Z * v.Y, u.Z * v.X - u.X * v.Z, u.X * v.Y - u.Y * v.X};
        float l = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
        o.FACENORMAL[f] = {n.X / l, n.Y / l, n.Z / l};
        o.FACECENTER[f] = {(a.X + b.X + c.X) / 3, (a.Y + b.Y + c.Y) / 3, (a.Z + b.Z + c.Z) / 3};
    }
}
}  // namespace

// The default camera sees x and z within about +-13 at y = 0. An object wholly
// outside is skipped, one that reaches in by its geometry, its track or its
// static rotation is drawn, and the selection render draws everything.
TEST_F(Culling, OnlyObjectsWhollyOutsideTheViewAreSkipped)
{
    render_scene rs;
    int m = rs.add_material(1, 0, 0);
    rs.add_quad(-1, -1, 1, 1, 0, m);     // in view
    int away = rs.add_quad(30, -1, 32, 1, 0, m);   // right of the view
    int edge = rs.add_quad(12, -1, 40, 1, 0, m);   // reaches into the right edge
    int behind = rs.add_quad(-1, -1, 1, 1, -20, m); // behind the camera
    kst_scene_bounds(rs.s);
    EXPECT_EQ(render(rs), 2u);
    EXPECT_TRUE(pixel_near(rs_px(12.8f), cy, 255, 0, 0)) << "the reaching quad is drawn";

    // A track that brings the far quad to the middle: drawn there.
    rs.object_track(away, {{0, -31, 0, 2}, {100, -31, 0, 2}});
    EXPECT_EQ(render(rs), 3u);
    EXPECT_TRUE(pixel_near(cx, rs_py(2.0f), 255, 0, 0));
    rs.obj(away).POSKEYS = 0;

    // A static turn of 180 degrees about a pivot at x = 25 swings it to x = 18..20
    // (still outside); about x = 16 it lands on 0..2 beside the middle.
    rs.obj(away).POS = {25, 0, 0};
    rs.obj(away).STATICROTATE = {0, 180, 0};
    kst_scene_bounds(rs.s);
    EXPECT_EQ(render(rs), 2u);
    rs.obj(away).POS = {16, 0, 0};
    kst_scene_bounds(rs.s);
    EXPECT_EQ(render(rs), 3u);

    // Stale bounds (pivot moved without new bounds) never cull.
    rs.obj(behind).POS = {0, 1, 0};
    EXPECT_EQ(render(rs), 4u);
    (void)edge;

    uint64_t before = KST_RENDER_STATS.objects;
    KST_RENDER_SCENE_SELECTION(rs.s, 0);
    EXPECT_EQ(KST_RENDER_STATS.objects - before, 4u);
}

// A culled object leaves the GL state as a drawn one would: the last object
// here is culled, and culling, lighting, texturing and the texture matrix are
// what it set.
TEST_F(Culling, CulledObjectLeavesTheSameStateBehind)
{
    render_scene rs;
    std::string dir = test_temp_dir("culling");
    int lit = rs.add_material(1, 1, 1);
    rs.mat(lit).RECEIVELIGHT = true;
    rs.mat(lit).TEXTURED = true;
    rs.mat(lit).TEXTURE = static_cast<int32_t>(
        TX_LOAD(texture_file_write(dir + "/white.jpg", tex_solid({255, 255, 255, 255}, false)), 3));
    rs.mat(lit).UTILE = 2.0f;
    int plain = rs.add_material(0, 1, 0);
    rs.add_quad(-1, -1, 1, 1, 0, plain);
    int far = rs.add_quad(50, -1, 52, 1, 0, lit);
    rs.obj(far).BACKFACECULL = true;
    kst_scene_bounds(rs.s);
    EXPECT_EQ(render(rs), 1u);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, rs.mat(lit).TEXTURE);
    GLfloat t[16];
    glGetFloatv(GL_TEXTURE_MATRIX, t);
    EXPECT_FLOAT_EQ(t[0], 2.0f);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
}

// Buffer objects: made by the first draw, released by kst_render_geometry_changed
// and made again; an index outside the vertices keeps the client arrays.
TEST_F(Culling, BufferObjectsFollowTheArrays)
{
    render_scene rs;
    int m = rs.add_material(0, 0, 1);
    int q = rs.add_quad(-1, -1, 1, 1, 0, m);
    render(rs);
    ASSERT_NE(rs.s.kst_gpu, nullptr);
    EXPECT_TRUE(pixel_near(cx, cy, 0, 0, 255));
    for (int v = 0; v < 4; ++v)
        rs.obj(q).VERTEX[v].X += 5.0f;   // moved in place, announced
    kst_render_geometry_changed(rs.s);
    EXPECT_EQ(rs.s.kst_gpu, nullptr);
    render(rs);
    EXPECT_TRUE(pixel_black(cx, cy));
    EXPECT_TRUE(pixel_near(rs_px(5.0f), cy, 0, 0, 255));
    kst_render_release_geometry(rs.s);
    EXPECT_EQ(rs.s.kst_gpu, nullptr);
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
}

// An error flag left set by an unrelated earlier call (here an unknown
// capability) does not make the upload look failed: the object still draws
// from its buffer objects.
TEST_F(Culling, AnEarlierErrorFlagLeavesTheBufferObjectsOn)
{
    render_scene rs;
    int m = rs.add_material(0, 0, 1);
    int q = rs.add_quad(-1, -1, 1, 1, 0, m);
    glEnable(0x7fff);
    render(rs);
    const kst_gpu_object* g = kst_geometry_for(rs.s, q);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->usable);
    EXPECT_TRUE(pixel_near(cx, cy, 0, 0, 255));
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
}

// A textured face seen within a fraction of a degree of edge on is drawn with
// anisotropy 1; the texture keeps the maximum afterwards and the face-on quad
// in the same list draws as before.
TEST_F(Culling, GrazingFacesLeaveTheTexturesAnisotropy)
{
    render_scene rs;
    std::string dir = test_temp_dir("culling-grazing");
    int m = rs.add_material(1, 1, 1);
    rs.mat(m).TEXTURED = true;
    rs.mat(m).TEXTURE = static_cast<int32_t>(
        TX_LOAD(texture_file_write(dir + "/white.jpg", tex_solid({255, 255, 255, 255}, false)), 3));
    int q = rs.add_quad(-1, -1, 1, 1, 0, m);
    rs.obj(q).TEXTURE = true;
    KST_OBJECT& o = rs.obj(q);
    face_frames(rs, o);
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 255, 255));
    GLfloat most = 0, set = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &set);
    EXPECT_EQ(set, most);
    // Turn the second face (0 2 3) almost edge on to the camera at (0, -10, 0):
    // corner 3 a hundredth off the plane through corners 0, 2 and the eye.
    o.VERTEX[3] = {-0.5f + 0.00707f, -5.0f, -0.5f - 0.00707f};
    face_frames(rs, o);
    kst_render_geometry_changed(rs.s);
    render(rs);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &set);
    EXPECT_EQ(set, most);
    EXPECT_TRUE(pixel_near(rs_px(0.5f), rs_py(-0.5f), 255, 255, 255));
    EXPECT_EQ(glGetError(), GL_NO_ERROR);
}
