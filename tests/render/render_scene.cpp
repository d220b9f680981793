// tests/render/render_scene.cpp - in-memory scenes for the renderer tests (see render_scene.h).
#include "render_scene.h"

#include <cmath>
#include <cstdlib>

#include "engine/render/draw.h"
#include "gl_fixture.h"

render_scene::render_scene()
{
    kst_name_set(s.NAME, "rendertest");
    s.MATERIAL = alloc<KST_MATERIAL>(capacity);
    s.OBJ = alloc<KST_OBJECT>(capacity);
    s.CAMFOV = static_cast<float>(M_PI / 2.0);
    s.CAMNEAR = 1.0f;
    s.CAMFAR = 100.0f;
    s.DRAWDISTANCE = 1000.0f;
    s.SHADOWVALUE = 1.0f;
    s.FRAMES = 100;
    camera({0, -10, 0}, {0, 0, 0});
}

render_scene::~render_scene()
{
    kst_render_release_geometry(s);   // buffer objects and bounds the renderer made
    mem_free_array(s.kst_object_bounds);
    for (void* block : blocks_)
        mem_release(block);
}

int render_scene::add_material(float r, float g, float b, float a)
{
    int i = s.MATERIALS++;
    KST_MATERIAL& m = s.MATERIAL[i];
    kst_name_set(m.NAME, "mat" + std::to_string(i));
    m.AMBIENT = {r, g, b};
    m.DIFFUSE = {r, g, b};
    m.CONSTANTALPHA = a;
    m.UTILE = 1.0f;
    m.VTILE = 1.0f;
    m.TEXTURETYPE = 24;
    m.ENVMAPALPHA = 1.0f;
    return i;
}

int render_scene::add_quad(float x0, float z0, float x1, float z1, float y, int material, float tmax)
{
    int i = s.OBJECTS++;
    KST_OBJECT& o = s.OBJ[i];
    kst_name_set(o.NAME, "quad" + std::to_string(i));
    o.VISIBLE = true;
    o.MATERIAL = material;
    o.NORMALS = true;
    o.TEXTURE = true;
    o.VERTICES = 4;
    o.FACES = 2;
    o.VERTEX = alloc<KST_VECTOR>(4);
    o.VERTEX[0] = {x0, y, z0};
    o.VERTEX[1] = {x1, y, z0};
    o.VERTEX[2] = {x1, y, z1};
    o.VERTEX[3] = {x0, y, z1};
    o.VERTEXNORMAL = alloc<KST_VECTOR>(4);
    o.TEXCOORD = alloc<KST_TEXTCOORD>(4);
    o.CVERTEX = alloc<KST_RGB>(4);
    const KST_TEXTCOORD uv[4] = {{0, 0}, {tmax, 0}, {tmax, tmax}, {0, tmax}};
    for (int v = 0; v < 4; ++v) {
        o.VERTEXNORMAL[v] = {0, -1, 0};
        o.TEXCOORD[v] = uv[v];
        o.CVERTEX[v] = {1, 1, 1};
    }
    o.FACE = alloc<KST_FACE>(2);
    o.FACE[0] = {0, 1, 2};
    o.FACE[1] = {0, 2, 3};
    o.ORIG_FACE = alloc<KST_FACE>(2);
    o.ORIG_FACE[0] = o.FACE[0];
    o.ORIG_FACE[1] = o.FACE[1];
    o.STRIPLENGTH = 4;
    o.STRIP = alloc<uint16_t>(4);
    const uint16_t strip[4] = {0, 1, 3, 2};
    for (int v = 0; v < 4; ++v)
        o.STRIP[v] = strip[v];
    o.POS = {(x0 + x1) / 2, y, (z0 + z1) / 2};
    return i;
}

int render_scene::add_empty(const KST_VECTOR& pos, const std::string& name)
{
    int i = s.OBJECTS++;
    KST_OBJECT& o = s.OBJ[i];
    kst_name_set(o.NAME, name);
    o.POS = pos;
    return i;
}

void render_scene::camera(const KST_VECTOR& eye, const KST_VECTOR& target)
{
    s.CAMPOSKEYS = 2;
    s.CAMTARGETKEYS = 2;
    s.CAMPOSITION = alloc<KST_KEYVECTOR>(2);
    s.CAMTARGET = alloc<KST_KEYVECTOR>(2);
    s.CAMPOSEASE = alloc<KST_VECTOR>(2);
    s.CAMTARGETEASE = alloc<KST_VECTOR>(2);
    for (int k = 0; k < 2; ++k) {
        s.CAMPOSITION[k] = {k * 100, eye.X, eye.Y, eye.Z};
        s.CAMTARGET[k] = {k * 100, target.X, target.Y, target.Z};
    }
}

void render_scene::object_track(int i, const std::vector<KST_KEYVECTOR>& keys)
{
    KST_OBJECT& o = s.OBJ[i];
    o.POSKEYS = static_cast<int32_t>(keys.size());
    o.POSITION = alloc<KST_KEYVECTOR>(o.POSKEYS);
    for (size_t k = 0; k < keys.size(); ++k)
        o.POSITION[k] = keys[k];
}

void render_scene::light_track(int l, const std::vector<KST_KEYVECTOR>& keys)
{
    KST_LIGHT& light = s.LIGHT[l];
    light.POSKEYS = static_cast<int32_t>(keys.size());
    light.POSITION = alloc<KST_KEYVECTOR>(light.POSKEYS);
    for (size_t k = 0; k < keys.size(); ++k)
        light.POSITION[k] = keys[k];
}

void render_scene::light(int l, const KST_VECTOR& pos, float r, float g, float b)
{
    KST_LIGHT& light = s.LIGHT[l];
    kst_name_set(light.NAME, "light" + std::to_string(l));
    light.ENABLED = true;
    light.POS = pos;
    light.DIFFUSE = {r, g, b};
}

::testing::AssertionResult pixel_near(int x, int y, int r, int g, int b, int tolerance)
{
    gl_rgba p = gl_read_pixel(x, y);
    if (std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << int(p.r) << ", "
                                         << int(p.g) << ", " << int(p.b) << "), expected (" << r << ", "
                                         << g << ", " << b << ")";
}

bool pixel_black(int x, int y)
{
    gl_rgba p = gl_read_pixel(x, y);
    return p.r == 0 && p.g == 0 && p.b == 0;
}
