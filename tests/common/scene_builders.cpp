// tests/common/scene_builders.cpp - small in-memory scenes (see scene_builders.h).
#include "scene_builders.h"

#include <cstring>

#include "engine/scene/prepare.h"
#include "support/mem.h"

// --- internal helpers -----------------------------------------------------------------------
template <class T>
static T* sb_copy(const std::vector<T>& v, const std::string& label)
{
    T* a = mem_array<T>(static_cast<int64_t>(v.size()), label);
    if (!v.empty())
        std::memcpy(static_cast<void*>(a), v.data(), v.size() * sizeof(T));
    return a;
}

// Grows a record array by one cleared element and returns the new index.
template <class T>
static int32_t sb_append(T*& array, int32_t& count, const std::string& label)
{
    T* grown = mem_array<T>(count + 1, label);
    if (array && count > 0)
        std::memcpy(static_cast<void*>(grown), array, sizeof(T) * static_cast<size_t>(count));
    mem_release(array);
    array = grown;
    return count++;
}

static void sb_identity(KST_MATRIX& m)
{
    std::memset(&m, 0, sizeof m);
    for (int i = 0; i < 4; ++i)
        m.m[i][i] = 1.0f;
}

// --- public functions ----------------------------------------------------------------------------
void sb_scene_init(KST_SCENE& scene, const std::string& name)
{
    std::memset(static_cast<void*>(&scene), 0, sizeof scene);
    kst_name_set(scene.NAME, name);
    scene.MAJORVERSION = 1;
    scene.MINORVERSION = 2;
    scene.FRAMES = 100;
    scene.CAMFOV = 0.785398163f;
    scene.CAMNEAR = 1.0f;
    scene.CAMFAR = 1000.0f;
    scene.DRAWDISTANCE = 1000.0f;
    scene.SHADOWVALUE = 0.5f;
    sb_set_camera(scene, {{0, 0, -10, 0}, {100, 0, -10, 0}}, {{0, 0, 0, 0}, {100, 0, 0, 0}});
    for (int32_t l = 0; l < KST_LIGHTS; ++l)
        kst_name_set(scene.LIGHT[l].NAME, "light" + std::to_string(l));
}

int32_t sb_add_material(KST_SCENE& scene, const std::string& name)
{
    int32_t i = sb_append(scene.MATERIAL, scene.MATERIALS, "test materials");
    KST_MATERIAL& m = scene.MATERIAL[i];
    kst_name_set(m.NAME, name);
    m.UTILE = m.VTILE = 1.0f;
    m.TEXTURETYPE = 24;
    m.AMBIENT = {0.2f, 0.2f, 0.2f};
    m.DIFFUSE = {1.0f, 1.0f, 1.0f};
    m.RECEIVELIGHT = 1;
    m.CONSTANTALPHA = 1.0f;
    m.MAGTYPE = 1;
    m.ENVMAPCOLOR = {1.0f, 1.0f, 1.0f};
    m.ENVMAPALPHA = 1.0f;
    return i;
}

int32_t sb_add_mesh(KST_SCENE& scene, const std::string& name, const std::vector<KST_VECTOR>& vertices,
                    const std::vector<KST_FACE>& faces, int32_t material)
{
    int32_t i = sb_append(scene.OBJ, scene.OBJECTS, "test objects");
    KST_OBJECT& o = scene.OBJ[i];
    kst_name_set(o.NAME, name);
    o.VISIBLE = 1;
    o.BACKFACECULL = 1;
    o.MATERIAL = material;
    sb_identity(o.INITMATRIX);
    o.VERTICES = static_cast<int32_t>(vertices.size());
    o.FACES = static_cast<int32_t>(faces.size());
    o.VERTEX = sb_copy(vertices, name + " vertex vectors");
    o.FACE = sb_copy(faces, name + " face list");
    o.ORIG_FACE = sb_copy(faces, name + " orignal face list");
    o.NEIGHBOUR = mem_array<KST_FACE>(o.FACES, name + " connectivity list");
    KST_CALCNEIGHBOURS(o);
    std::vector<uint16_t> strip;
    for (const KST_FACE& f : faces)
        for (int32_t v : {f.A, f.B, f.C})
            strip.push_back(static_cast<uint16_t>(v));
    o.STRIPLENGTH = static_cast<int32_t>(strip.size());
    o.STRIP = sb_copy(strip, name + " triangle strip");
    return i;
}

int32_t sb_add_triangle(KST_SCENE& scene, const std::string& name, int32_t material, KST_VECTOR d)
{
    return sb_add_mesh(scene, name, {{d.X, d.Y, d.Z}, {d.X + 1, d.Y, d.Z}, {d.X, d.Y + 1, d.Z}},
                       {{0, 1, 2}}, material);
}

int32_t sb_add_cube(KST_SCENE& scene, const std::string& name, KST_VECTOR c, float size, int32_t material)
{
    float h = size / 2;
    std::vector<KST_VECTOR> v;
    for (int i = 0; i < 8; ++i)  // bit 0: +X, bit 1: +Y, bit 2: +Z
        v.push_back({c.X + ((i & 1) ? h : -h), c.Y + ((i & 2) ? h : -h), c.Z + ((i & 4) ? h : -h)});
    // two triangles per side, counter-clockwise seen from outside
    std::vector<KST_FACE> f = {
        {0, 2, 3}, {0, 3, 1},  // -Z
        {4, 5, 7}, {4, 7, 6},  // +Z
        {0, 1, 5}, {0, 5, 4},  // -Y
        {2, 6, 7}, {2, 7, 3},  // +Y
        {0, 4, 6}, {0, 6, 2},  // -X
        {1, 3, 7}, {1, 7, 5},  // +X
    };
    return sb_add_mesh(scene, name, v, f, material);
}

int32_t sb_add_grid(KST_SCENE& scene, const std::string& name, int32_t faces, int32_t material,
                    int32_t row_cells, float cell)
{
    int32_t cells = (faces + 1) / 2;
    int32_t cols = cells < row_cells ? (cells > 0 ? cells : 1) : row_cells;
    int32_t rows = (cells + cols - 1) / cols;
    std::vector<KST_VECTOR> v;
    for (int32_t y = 0; y <= rows; ++y)
        for (int32_t x = 0; x <= cols; ++x)
            v.push_back({x * cell, y * cell, 0.0f});
    std::vector<KST_FACE> f;
    for (int32_t k = 0; static_cast<int32_t>(f.size()) < faces; ++k) {
        int32_t x = k % cols, y = k / cols;
        int32_t a = y * (cols + 1) + x, b = a + 1, d = a + cols + 1, e = d + 1;
        f.push_back({a, b, e});
        if (static_cast<int32_t>(f.size()) < faces)
            f.push_back({a, e, d});
    }
    return sb_add_mesh(scene, name, v, f, material);
}

void sb_object_colors(KST_SCENE& scene, int32_t object, const std::vector<KST_RGB>& colors)
{
    KST_OBJECT& o = scene.OBJ[object];
    mem_free_array(o.CVERTEX);
    o.CVERTEX = sb_copy(colors, "test vertex color list");
    o.COLOR = 1;
}

void sb_object_texcoords(KST_SCENE& scene, int32_t object, const std::vector<KST_TEXTCOORD>& uv)
{
    KST_OBJECT& o = scene.OBJ[object];
    mem_free_array(o.TEXCOORD);
    o.TEXCOORD = sb_copy(uv, "test UV coordinates");
    o.TEXTURE = 1;
}

void sb_object_normals(KST_SCENE& scene, int32_t object, const std::vector<KST_VECTOR>& normals)
{
    KST_OBJECT& o = scene.OBJ[object];
    mem_free_array(o.VERTEXNORMAL);
    o.VERTEXNORMAL = sb_copy(normals, "test vertex normals");
    o.NORMALS = 1;
}

void sb_object_keys(KST_SCENE& scene, int32_t object, const std::vector<KST_KEYVECTOR>& position,
                    const std::vector<KST_KEYQUAT>& rotate, const std::vector<KST_KEYVECTOR>& scale)
{
    KST_OBJECT& o = scene.OBJ[object];
    mem_free_array(o.POSITION);
    mem_free_array(o.ROTATE);
    mem_free_array(o.SCALE);
    o.POSKEYS = static_cast<int32_t>(position.size());
    o.ROTKEYS = static_cast<int32_t>(rotate.size());
    o.SCALEKEYS = static_cast<int32_t>(scale.size());
    if (!position.empty())
        o.POSITION = sb_copy(position, "test position vectors");
    if (!rotate.empty())
        o.ROTATE = sb_copy(rotate, "test rotation quats");
    if (!scale.empty())
        o.SCALE = sb_copy(scale, "test scale vectors");
}

void sb_set_camera(KST_SCENE& scene, const std::vector<KST_KEYVECTOR>& position,
                   const std::vector<KST_KEYVECTOR>& target)
{
    mem_free_array(scene.CAMPOSITION);
    mem_free_array(scene.CAMTARGET);
    scene.CAMPOSKEYS = static_cast<int32_t>(position.size());
    scene.CAMTARGETKEYS = static_cast<int32_t>(target.size());
    if (!position.empty())
        scene.CAMPOSITION = sb_copy(position, "test camera positions");
    if (!target.empty())
        scene.CAMTARGET = sb_copy(target, "test camera target positions");
}

void sb_set_light(KST_SCENE& scene, int32_t l, const std::string& name, KST_VECTOR pos,
                  const std::vector<KST_KEYVECTOR>& keys)
{
    KST_LIGHT& light = scene.LIGHT[l];
    kst_name_set(light.NAME, name);
    light.POS = pos;
    light.AMBIENT = {0.0f, 0.0f, 0.0f};
    light.DIFFUSE = {1.0f, 1.0f, 1.0f};
    light.SPECULAR = {1.0f, 1.0f, 1.0f};
    light.ENABLED = 1;
    mem_free_array(light.POSITION);
    light.POSKEYS = static_cast<int32_t>(keys.size());
    if (!keys.empty())
        light.POSITION = sb_copy(keys, "test light positions");
}

// Every field of a material gets a value derived from `k` (distinct per material).
static void sb_fill_material(KST_MATERIAL& m, int k)
{
    float f = static_cast<float>(k);
    kst_name_set(m.TEXTNAME, "tex" + std::to_string(k) + ".raw");
    kst_name_set(m.ENVTEXTNAME, "env" + std::to_string(k) + ".raw");
    m.TRANSPARENCY = 0.25f + f;
    m.UTILE = 2.0f + f;
    m.VTILE = 3.0f + f;
    m.TEXTURETYPE = 32;
    m.TEXTURED = 1;
    m.AMBIENT = {0.1f, 0.2f, 0.3f + f};
    m.DIFFUSE = {0.4f, 0.5f, 0.6f + f};
    m.SPECULAR = {0.7f, 0.8f, 0.9f + f};
    m.SHINE = 17 + k;
    m.ENVMAP = 1;
    m.MAGTYPE = 3;
    m.RECEIVELIGHT = 1;
    m.ALPHATEST = 0.5f + f;
    m.DEPTHTEST = 1;
    m.BLEND = 2;
    m.TEXTUREWRAP = 1;
    m.CONSTANTALPHA = 0.75f + f;
    m.FLARESIZE = 4.5f + f;
    m.DEPTHMODE = 3;
    m.ENVMAPCOLOR = {0.11f, 0.22f, 0.33f + f};
    m.ENVMAPALPHA = 0.44f + f;
    m.ENVMODE = 1;
}

static void sb_fill_object(KST_OBJECT& o, int k)
{
    float f = static_cast<float>(k);
    o.RENDERMODE = 1;
    o.VISIBLE = 1;
    o.PASSNO = 2 - k;
    o.LOD = 1;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            o.INITMATRIX.m[r][c] = static_cast<float>(r * 4 + c) + f;
    o.POS = {1.5f, -2.5f, 3.5f + f};
    o.PARTICLE.ENABLED = 1;
    o.PARTICLE.DELTAVECTOR = {0.1f, 0.2f, 0.3f + f};
    o.PARTICLE.DELTAVECTORSPREAD = {0.4f, 0.5f, 0.6f + f};
    o.PARTICLE.COLOR = {0.7f, 0.8f, 0.9f + f};
    o.PARTICLE.COLORSPREAD = {0.05f, 0.06f, 0.07f + f};
    o.PARTICLE.COLORATTRIB = 5;
    o.PARTICLE.POWER = 100.0f + f;
    o.PARTICLE.DELTAPOWER = -1.5f - f;
    o.PARTICLE.NEWPARTICLE = 7 + k;
    kst_name_set(o.PARTICLE.TEXTURENAME, "spark" + std::to_string(k) + ".raw");
    o.PARTICLE.SIZE = 0.125f + f;
    o.SELECTED = 0;  // never stored
    o.PICKED = 0;
    o.UVDELTA = {0.01f, 0.02f, 0.03f + f};
    o.CASTSHADOW = 1;
    o.RECEIVESHADOW = 1;
    o.USEFOG = 1;
    o.FOGMODE = 2;
    o.FOGPARAM = {0.05f, 10.0f, 200.0f + f};
    o.FOGCOLOR = {0.3f, 0.4f, 0.5f, 0.6f + f};
}

void sb_full_scene(KST_SCENE& scene)
{
    sb_scene_init(scene, "full scene \xe9t\xe9");  // Latin-1 bytes in the name
    scene.FRAMES = 1234;
    scene.CAMFOV = 0.9f;
    scene.CAMNEAR = 0.5f;
    scene.CAMFAR = 5000.0f;
    scene.DRAWDISTANCE = 321.5f;
    scene.SHADOWVALUE = 0.3f;
    sb_set_camera(scene, {{0, 0, -10, 1}, {50, 5, -10, 2}, {100, 5, 5, 3}}, {{0, 0, 0, 0}, {100, 1, 2, 3}});
    for (int k = 0; k < 2; ++k) {
        int32_t m = sb_add_material(scene, "mat" + std::to_string(k));  // reallocates MATERIAL
        sb_fill_material(scene.MATERIAL[m], k);
    }
    int32_t cube = sb_add_cube(scene, "cube", {1, 2, 3}, 2.0f, 1);
    int32_t grid = sb_add_grid(scene, "grid", 7, 0, 3);
    sb_fill_object(scene.OBJ[cube], 0);
    sb_fill_object(scene.OBJ[grid], 1);
    KST_OBJECT& c = scene.OBJ[cube];
    std::vector<KST_RGB> colors;
    std::vector<KST_TEXTCOORD> uv;
    std::vector<KST_VECTOR> normals;
    for (int32_t v = 0; v < c.VERTICES; ++v) {
        colors.push_back({v / 8.0f, 1 - v / 8.0f, 0.5f});
        uv.push_back({v * 0.125f, 1 - v * 0.125f});
        normals.push_back({c.VERTEX[v].X - 1, c.VERTEX[v].Y - 2, c.VERTEX[v].Z - 3});
    }
    sb_object_colors(scene, cube, colors);
    sb_object_texcoords(scene, cube, uv);
    sb_object_normals(scene, cube, normals);
    sb_object_keys(scene, cube, {{0, 1, 2, 3}, {60, 4, 5, 6}}, {{0, 0, 0, 0, 1}, {30, 0.5f, 0.5f, 0.5f, 0.5f}},
                   {{0, 1, 1, 1}, {90, 2, 2, 2}});
    for (int32_t l = 0; l < KST_LIGHTS; ++l) {
        sb_set_light(scene, l, "lamp " + std::to_string(l), {float(l), 2.0f * l, 10.0f});
        scene.LIGHT[l].AMBIENT = {0.01f * l, 0.02f, 0.03f};
        scene.LIGHT[l].ENABLED = l % 2;
    }
    sb_set_light(scene, 3, "moving lamp", {0, 0, 20}, {{0, 0, 0, 20}, {100, 10, 0, 20}});
}

std::string sb_int32(int32_t v)
{
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}

std::string sb_float(float v)
{
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}

std::string sb_chunk(uint8_t type, uint8_t id, int32_t count, const std::string& data, int32_t index,
                     int32_t packed, int32_t size)
{
    std::string c = "F!";
    c += static_cast<char>(type);
    c += static_cast<char>(id);
    c += sb_int32(count);
    c += sb_int32(size == SB_DATA_SIZE ? static_cast<int32_t>(data.size()) : size);
    c += sb_int32(packed);
    c += sb_int32(index);
    return c + data;
}
