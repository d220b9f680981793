// Tests of one object's draw on a real GL context: pixels read back and the GL
// state each draw leaves behind (fog, distance culling, transform, texture
// tiling, scrolling and wrap, environment layer, lighting, the shadowed variant).
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>

#include "engine/render/draw.h"
#include "engine/render/passes.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "process.h"
#include "render_scene.h"
#include "texture_files.h"

namespace {

class Draw : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        TX_FREEALL();
        dir = test_temp_dir("draw");
    }
    void TearDown() override { TX_FREEALL(); }

    void render(render_scene& rs, float frame = 0.0f)
    {
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(rs.s, frame);
    }

    // Four stripes red, green, blue, white across s; nearest filtering.
    uint32_t stripes()
    {
        std::string name = texture_file_write(
            dir + "/stripes.jpg",
            tex_stripes({{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}}, false));
        return TX_LOAD(name, 0);
    }

    uint32_t white()
    {
        return TX_LOAD(texture_file_write(dir + "/white.jpg", tex_solid({255, 255, 255, 255}, false)), 3);
    }

    std::string dir;
};

std::array<float, 16> matrix(GLenum which)
{
    std::array<float, 16> m{};
    glGetFloatv(which, m.data());
    return m;
}

// Colour at the centre of the frame.
constexpr int cx = 320, cy = 240;

}  // namespace

TEST_F(Draw, OutOfRangeIndexOrMaterialMakesNoGlCall)
{
    render_scene rs;
    int m = rs.add_material(1, 0, 0);
    rs.add_quad(-4, -2, 4, 2, 0, m);
    render(rs);
    glEnable(GL_FOG);  // any GL call of the draw would turn fog off
    glMatrixMode(GL_PROJECTION);
    GLint depth = gl_get_int(GL_MODELVIEW_STACK_DEPTH);
    KST_DRAW_OBJECT(rs.s, 1, 0);
    KST_DRAW_OBJECT(rs.s, -1, 0);
    KST_DRAW_OBJECT_SHADOWED(rs.s, 1, 0);
    rs.obj(0).MATERIAL = 1;  // a configuration file can set any material index
    KST_DRAW_OBJECT(rs.s, 0, 0);
    EXPECT_TRUE(gl_enabled(GL_FOG));
    EXPECT_EQ(gl_get_int(GL_MATRIX_MODE), GL_PROJECTION);
    EXPECT_EQ(gl_get_int(GL_MODELVIEW_STACK_DEPTH), depth);
    rs.obj(0).MATERIAL = -5;
    render(rs);  // the scene render skips it too
    EXPECT_TRUE(pixel_black(cx, cy));
}

TEST_F(Draw, StateLeftBehindAndMaterial)
{
    render_scene rs;
    int lit = rs.add_material(0.1f, 0.2f, 0.3f);
    rs.mat(lit).DIFFUSE = {0.4f, 0.5f, 0.6f};
    rs.mat(lit).SPECULAR = {0.7f, 0.8f, 0.9f};
    rs.mat(lit).SHINE = 17;
    rs.mat(lit).RECEIVELIGHT = true;
    rs.mat(lit).TEXTURED = true;
    rs.mat(lit).TEXTURE = static_cast<int32_t>(white());
    int plain = rs.add_material(1, 1, 1);
    int a = rs.add_quad(-4, -2, 4, 2, 0, lit);
    rs.obj(a).BACKFACECULL = true;
    rs.obj(a).COLOR = true;
    rs.s.MAXPASS = 0;
    render(rs);

    EXPECT_EQ(gl_get_int(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(gl_get_int(GL_MODELVIEW_STACK_DEPTH), 1);
    EXPECT_TRUE(gl_enabled(GL_CULL_FACE));
    EXPECT_EQ(gl_get_int(GL_CULL_FACE_MODE), GL_BACK);
    EXPECT_TRUE(gl_enabled(GL_LIGHTING));
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_EQ(gl_get_int(GL_TEXTURE_BINDING_2D), rs.mat(lit).TEXTURE);
    EXPECT_FALSE(gl_enabled(GL_FOG));
    for (GLenum array : {GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_COLOR_ARRAY})
        EXPECT_FALSE(gl_enabled(array)) << array;
    EXPECT_EQ(gl_get_int(GL_SHADE_MODEL), GL_SMOOTH);
    GLfloat v[4];
    glGetMaterialfv(GL_FRONT, GL_AMBIENT, v);
    EXPECT_FLOAT_EQ(v[0], 0.1f); EXPECT_FLOAT_EQ(v[2], 0.3f); EXPECT_FLOAT_EQ(v[3], 1.0f);
    glGetMaterialfv(GL_BACK, GL_DIFFUSE, v);
    EXPECT_FLOAT_EQ(v[0], 0.4f); EXPECT_FLOAT_EQ(v[3], 1.0f);
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, v);
    EXPECT_FLOAT_EQ(v[1], 0.8f);
    glGetMaterialfv(GL_FRONT, GL_SHININESS, v);
    EXPECT_FLOAT_EQ(v[0], 17.0f);
    // Maximum anisotropy on every textured object's texture.
    GLfloat most = 0, set = 0;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &set);
    EXPECT_GE(most, 1.0f);
    EXPECT_FLOAT_EQ(set, most);

    rs.obj(a).BACKFACECULL = false;
    rs.obj(a).MATERIAL = plain;
    render(rs);
    EXPECT_FALSE(gl_enabled(GL_CULL_FACE));
    EXPECT_FALSE(gl_enabled(GL_LIGHTING));
    EXPECT_FALSE(gl_enabled(GL_TEXTURE_2D));
}

TEST_F(Draw, FogModesAndAnUnknownModeKeepingThePrevious)
{
    render_scene rs;
    int m = rs.add_material(1, 0, 0);
    int left = rs.add_quad(-3, -1, -1, 1, 0, m);
    int right = rs.add_quad(1, -1, 3, 1, 0, m);
    for (int i : {left, right}) {
        KST_OBJECT& o = rs.obj(i);
        o.USEFOG = true;
        o.FOGPARAM = {0.05f, 0.0f, 20.0f};
        o.FOGCOLOR = {0, 0, 1, 1};
    }
    // Fog factors at eye distance 10: linear 0.5, exp e^-0.5, exp2 e^-0.25.
    auto expect_fog = [](int x, double f) {
        EXPECT_TRUE(pixel_near(x, cy, int(std::lround(255 * f)), 0, int(std::lround(255 * (1 - f))), 4));
    };
    const double linear = 0.5, exp1 = std::exp(-0.5), exp2 = std::exp(-0.25);

    rs.obj(left).FOGMODE = 1;
    rs.obj(right).FOGMODE = 2;
    render(rs);
    expect_fog(rs_px(-2), exp1);
    expect_fog(rs_px(2), exp2);
    EXPECT_EQ(gl_get_int(GL_FOG_MODE), GL_EXP2);
    EXPECT_FALSE(gl_enabled(GL_FOG));  // each draw turns fog off at its end
    EXPECT_FLOAT_EQ(gl_get_float(GL_FOG_END), 20.0f);

    rs.obj(right).FOGMODE = 3;  // keeps the mode of the object before it
    render(rs);
    expect_fog(rs_px(2), exp1);
    EXPECT_EQ(gl_get_int(GL_FOG_MODE), GL_EXP);
    rs.obj(left).FOGMODE = 0;
    render(rs);
    expect_fog(rs_px(-2), linear);
    expect_fog(rs_px(2), linear);
    EXPECT_EQ(gl_get_int(GL_FOG_MODE), GL_LINEAR);
    GLfloat colour[4];
    glGetFloatv(GL_FOG_COLOR, colour);
    EXPECT_FLOAT_EQ(colour[2], 1.0f);

    rs.obj(left).USEFOG = false;
    render(rs);
    EXPECT_TRUE(pixel_near(rs_px(-2), cy, 255, 0, 0));
}

TEST_F(Draw, DistanceCullingByLodFromThePivot)
{
    render_scene rs;
    int m = rs.add_material(0, 1, 0);
    int q = rs.add_quad(-2, -2, 2, 2, 0, m);  // pivot (0, 0, 0): 10 from the camera
    KST_OBJECT& o = rs.obj(q);
    auto drawn = [&] {
        render(rs);
        return !pixel_black(cx, cy);
    };
    o.LOD = 0;
    rs.s.DRAWDISTANCE = 0.0f;
    EXPECT_TRUE(drawn());
    o.LOD = 1;
    rs.s.DRAWDISTANCE = 10.0f;
    EXPECT_TRUE(drawn());  // exactly at the limit
    rs.s.DRAWDISTANCE = 9.99f;
    EXPECT_FALSE(drawn());
    o.LOD = 2;
    rs.s.DRAWDISTANCE = 1e9f;
    EXPECT_FALSE(drawn());
    o.LOD = 255;
    EXPECT_FALSE(drawn());

    // A culled object still sets its fog and leaves the matrix stack balanced.
    o.USEFOG = true;
    o.FOGMODE = 2;
    render(rs);
    EXPECT_EQ(gl_get_int(GL_FOG_MODE), GL_EXP2);
    EXPECT_EQ(gl_get_int(GL_MODELVIEW_STACK_DEPTH), 1);
    o.USEFOG = false;

    // An animated object is culled by its pivot, not by where its track moved it.
    o.LOD = 1;
    rs.s.DRAWDISTANCE = 10.0f;
    rs.object_track(q, {{0, 0, 40, 0}});  // moved 40 away from the camera
    render(rs);
    EXPECT_FALSE(pixel_black(cx, cy));  // far away but still drawn (small)
    o.POSITION[0] = {0, 0, 0, 0};
    o.POS = {0, 30, 0};  // pivot far away, geometry still at the origin
    EXPECT_FALSE(drawn());
}

TEST_F(Draw, TransformIsTrackThenStaticRotationAboutThePivot)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 0);
    int q = rs.add_quad(0, -1, 4, 1, 0, m);
    KST_OBJECT& o = rs.obj(q);
    o.POS = {0, 0, 0};
    o.STATICROTATE = {0, 90, 0};  // about Y: (x, z) -> (z, -x)
    render(rs);
    EXPECT_FALSE(pixel_black(rs_px(0), rs_py(-2)));
    EXPECT_TRUE(pixel_black(rs_px(2), rs_py(0)));
    o.POS = {2, 0, 0};  // the same turn about another pivot
    render(rs);
    EXPECT_FALSE(pixel_black(rs_px(2), rs_py(1.5f)));
    EXPECT_TRUE(pixel_black(rs_px(0), rs_py(-2)));
    rs.object_track(q, {{0, -3, 0, 0}, {10, 3, 0, 0}});  // track translation at frame 5: none
    render(rs, 5.0f);
    EXPECT_FALSE(pixel_black(rs_px(2), rs_py(1.5f)));
    render(rs, 10.0f);  // three units to the right
    EXPECT_FALSE(pixel_black(rs_px(5), rs_py(1.5f)));
    EXPECT_TRUE(pixel_black(rs_px(2), rs_py(1.5f)));
}

// A turn about all three axes: X then Y then Z as applied to the matrix, so a
// vertex goes through Rz first. The bar from (2, 0, -0.25) to (4, 0, 0.25)
// turned by Rx(90) Ry(90) Rz(90) stands upright at (0, 0, 3); the other order,
// Rz Ry Rx, would stand it at (0, 0, -3). Both keep it facing the camera.
TEST_F(Draw, StaticRotationAboutAllThreeAxesInOrderXYZ)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 0);
    int q = rs.add_quad(2, -0.25f, 4, 0.25f, 0, m);
    KST_OBJECT& o = rs.obj(q);
    o.POS = {0, 0, 0};
    o.STATICROTATE = {90, 90, 90};
    render(rs);
    EXPECT_FALSE(pixel_black(rs_px(0), rs_py(3)));
    EXPECT_FALSE(pixel_black(rs_px(0), rs_py(2.2f)));  // upright: along Z, not X
    EXPECT_FALSE(pixel_black(rs_px(0), rs_py(3.8f)));
    EXPECT_TRUE(pixel_black(rs_px(0.6f), rs_py(3)));
    EXPECT_TRUE(pixel_black(rs_px(0), rs_py(-3)));      // where Rz Ry Rx would put it
    EXPECT_TRUE(pixel_black(rs_px(3), rs_py(0)));       // where no turn leaves it
}

TEST_F(Draw, StripOrFaceListByRenderMode)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    int q = rs.add_quad(-4, -2, 4, 2, 0, m);
    KST_OBJECT& o = rs.obj(q);
    o.STRIPLENGTH = 3;  // the strip covers the lower left triangle only
    const int upper_right_x = rs_px(3), upper_right_y = rs_py(1.5f);
    const int lower_left_x = rs_px(-3), lower_left_y = rs_py(-1.5f);
    for (uint8_t mode : {0, 2, 7}) {
        o.RENDERMODE = mode;
        render(rs);
        EXPECT_FALSE(pixel_black(upper_right_x, upper_right_y)) << int(mode);
    }
    o.RENDERMODE = 1;
    render(rs);
    EXPECT_TRUE(pixel_black(upper_right_x, upper_right_y));
    EXPECT_FALSE(pixel_black(lower_left_x, lower_left_y));
}

TEST_F(Draw, TextureTilingFrameScrollingAndWrap)
{
    render_scene rs;
    int m = rs.add_material(1, 1, 1);
    rs.mat(m).TEXTURED = true;
    rs.mat(m).TEXTURE = static_cast<int32_t>(stripes());
    int q = rs.add_quad(-4, -2, 4, 2, 0, m);  // s runs 0..1 over x = -4..4
    auto colour_at = [](float x) {
        gl_rgba p = gl_read_pixel(rs_px(x), cy);
        return (p.r > 128 ? 1 : 0) | (p.g > 128 ? 2 : 0) | (p.b > 128 ? 4 : 0);
    };
    const int R = 1, G = 2, B = 4, W = 7;
    render(rs);
    EXPECT_EQ(colour_at(-3), R);
    EXPECT_EQ(colour_at(-1), G);
    EXPECT_EQ(colour_at(1), B);
    EXPECT_EQ(colour_at(3), W);

    rs.mat(m).UTILE = 2.0f;  // two repeats across the quad
    render(rs);
    EXPECT_EQ(colour_at(-3.5f), R);
    EXPECT_EQ(colour_at(-2.5f), G);
    EXPECT_EQ(colour_at(0.5f), R);
    EXPECT_EQ(colour_at(1.5f), G);
    rs.mat(m).UTILE = 1.0f;

    rs.obj(q).UVDELTA = {0.25f, 0.0f, 0.0f};  // a quarter of the texture per frame
    render(rs, 1.0f);
    EXPECT_EQ(colour_at(-3), G);
    EXPECT_EQ(colour_at(3), R);
    render(rs, 2.0f);
    EXPECT_EQ(colour_at(-3), B);
    std::array<float, 16> t = matrix(GL_TEXTURE_MATRIX);
    EXPECT_FLOAT_EQ(t[0], 1.0f);
    EXPECT_FLOAT_EQ(t[12], 0.5f);
    rs.mat(m).VTILE = 3.0f;
    render(rs, 2.0f);
    t = matrix(GL_TEXTURE_MATRIX);
    EXPECT_FLOAT_EQ(t[5], 3.0f);
    // The shadowed render tiles but never scrolls.
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SHADOWED(rs.s, 2.0f);
    EXPECT_EQ(colour_at(-3), R);
    t = matrix(GL_TEXTURE_MATRIX);
    EXPECT_FLOAT_EQ(t[12], 0.0f);
    EXPECT_FLOAT_EQ(t[5], 3.0f);
    rs.obj(q).UVDELTA = {0, 0, 0};
    rs.mat(m).VTILE = 1.0f;

    // Texture coordinates 0..2: clamp (TEXTUREWRAP 1) repeats the last column.
    rs.obj(q).TEXCOORD[1].U = rs.obj(q).TEXCOORD[2].U = 2.0f;
    kst_render_geometry_changed(rs.s);  // arrays edited in place: upload again
    for (uint8_t wrap : {0, 1, 2}) {
        rs.mat(m).TEXTUREWRAP = wrap;
        render(rs);
        EXPECT_EQ(colour_at(1.5f), wrap == 1 ? W : G) << int(wrap);
        GLint s = 0, tw = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &tw);
        EXPECT_EQ(s, wrap == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT);
        EXPECT_EQ(tw, s);
    }

    // Texture coordinates of an untextured material are not used.
    rs.mat(m).TEXTURED = false;
    render(rs);
    EXPECT_TRUE(pixel_near(rs_px(-3), cy, 255, 255, 255));
}

TEST_F(Draw, EnvironmentLayerLandsOnlyOnTheObject)
{
    render_scene rs;
    int occ = rs.add_material(0.6f, 0, 0);
    int env = rs.add_material(0.2f, 0.2f, 0.2f);
    KST_MATERIAL& e = rs.mat(env);
    e.ENVMAP = true;
    e.ENVTEXTURE = static_cast<int32_t>(white());
    e.ENVMAPCOLOR = {0, 0, 0.5f};
    e.ENVMAPALPHA = 0.5f;
    rs.add_quad(-8, -1, -2, 1, -2, occ);  // nearer, drawn first, covers part of the object
    rs.add_quad(-4, -2, 4, 2, 0, env);
    const int object_x = rs_px(2), occluded_x = 320 - 90;  // x = -3 at distance 8

    e.ENVMODE = false;  // added
    render(rs);
    EXPECT_TRUE(pixel_near(object_x, cy, 51, 51, 51 + 128));
    EXPECT_TRUE(pixel_near(occluded_x, cy, 153, 0, 0));
    EXPECT_TRUE(pixel_black(10, 10));
    EXPECT_EQ(gl_get_int(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_FALSE(gl_enabled(GL_BLEND));
    EXPECT_FALSE(gl_enabled(GL_TEXTURE_GEN_S));
    EXPECT_FALSE(gl_enabled(GL_TEXTURE_GEN_T));
    GLint gen = 0;
    glGetTexGeniv(GL_S, GL_TEXTURE_GEN_MODE, &gen);
    EXPECT_EQ(gen, GL_SPHERE_MAP);

    e.ENVMODE = true;  // alpha-blended with ENVMAPALPHA
    render(rs);
    EXPECT_TRUE(pixel_near(object_x, cy, 26, 26, 26 + 64));
    EXPECT_TRUE(pixel_near(occluded_x, cy, 153, 0, 0));

    // Shadowed render: always added, in the colour of the base draw.
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    EXPECT_TRUE(pixel_near(object_x, cy, 102, 102, 102));
    EXPECT_TRUE(pixel_near(occluded_x, cy, 153, 0, 0));
}

// The sphere-map coordinates pass through the texture matrix too. Seen from
// the camera, the quad's generated s runs from about 0.407 at x = -4 to 0.593
// at x = 4 (0.453 at x = -2, 0.547 at x = 2); the stripes texture shows R, G,
// B, W in quarters of s, so tiling and scrolling move the stripes predictably.
TEST_F(Draw, SphereMapCoordinatesFollowTheTilingAndScrolling)
{
    render_scene rs;
    int env = rs.add_material(0, 0, 0);  // black base: the pixels are the layer alone
    KST_MATERIAL& e = rs.mat(env);
    e.ENVMAP = true;
    e.ENVTEXTURE = static_cast<int32_t>(stripes());
    e.ENVMAPCOLOR = {1, 1, 1};
    e.ENVMAPALPHA = 1;
    e.ENVMODE = false;
    int q = rs.add_quad(-4, -2, 4, 2, 0, env);
    auto colour_at = [](float x) {
        gl_rgba p = gl_read_pixel(rs_px(x), cy);
        return (p.r > 128 ? 1 : 0) | (p.g > 128 ? 2 : 0) | (p.b > 128 ? 4 : 0);
    };
    const int R = 1, G = 2, B = 4, W = 7;
    render(rs);
    EXPECT_EQ(colour_at(-2), G);  // s 0.453
    EXPECT_EQ(colour_at(2), B);   // s 0.547
    e.UTILE = 2.0f;               // s' = 2 s: 0.906 and 1.094
    render(rs);
    EXPECT_EQ(colour_at(-2), W);
    EXPECT_EQ(colour_at(2), R);
    e.UTILE = 1.0f;
    rs.obj(q).UVDELTA = {0.25f, 0, 0};  // s' = s + 0.25 at frame 1: 0.703 and 0.797
    render(rs, 1.0f);
    EXPECT_EQ(colour_at(-2), B);
    EXPECT_EQ(colour_at(2), W);
    e.UTILE = 2.0f;  // scale after the scroll: s' = 2 (s + 0.25), 1.406 and 1.594
    render(rs, 1.0f);
    EXPECT_EQ(colour_at(-2), G);
    EXPECT_EQ(colour_at(2), B);
}

TEST_F(Draw, VertexColoursAndTheShadowedVariantsDimming)
{
    render_scene rs;
    int m = rs.add_material(0, 0, 0.4f);
    KST_MATERIAL& mat = rs.mat(m);
    mat.DIFFUSE = {1, 1, 1};
    mat.RECEIVELIGHT = true;
    int q = rs.add_quad(-4, -2, 4, 2, 0, m);
    rs.light(0, {0, -1000, 0}, 1.0f, 0.5f, 0.0f);
    rs.s.LIGHT[0].AMBIENT = {0, 0, 1};
    rs.s.SHADOWVALUE = 0.5f;
    // Blue: material ambient 0.4 under light ambient 1 plus GL's global 0.2 x 0.4.
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 128, 122));
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    EXPECT_TRUE(pixel_near(cx, cy, 255, 128, 122));  // not a receiver: as stored
    rs.obj(q).RECEIVESHADOW = true;
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    EXPECT_TRUE(pixel_near(cx, cy, 128, 64, 122));  // half the diffuse, full ambient
    GLfloat d[4];
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, d);
    EXPECT_FLOAT_EQ(d[0], 0.5f);
    EXPECT_FLOAT_EQ(d[3], 1.0f);

    // Unlit: vertex colours win over the current colour; a receiver in the
    // shadowed render takes its undimmed diffuse colour and no colour array.
    mat.RECEIVELIGHT = false;
    mat.DIFFUSE = {0.8f, 0.4f, 0.2f};
    mat.AMBIENT = {0.1f, 0.1f, 0.1f};
    KST_OBJECT& o = rs.obj(q);
    o.COLOR = true;
    for (int v = 0; v < 4; ++v)
        o.CVERTEX[v] = {0, 1, 0};
    kst_render_geometry_changed(rs.s);
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 0, 255, 0));
    o.COLOR = false;
    render(rs);
    EXPECT_TRUE(pixel_near(cx, cy, 26, 26, 26));  // the ambient colour, not the diffuse
    o.COLOR = true;
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE_SHADOWED(rs.s, 0);
    EXPECT_TRUE(pixel_near(cx, cy, 204, 102, 51));
    EXPECT_FALSE(gl_enabled(GL_COLOR_ARRAY));
}
