// tools/mkdata/mesh.h - meshes and scenes for the default production.
//
// mk_mesh is a growable triangle mesh (positions, normals, colours, texture
// coordinates, faces) built from parametric surfaces, extruded outlines and
// small solids, then transformed, coloured and appended together. Faces turn
// counter-clockwise seen from outside and normals point outwards, which is
// what GL's default front face and lighting expect.
//
// mk_scene collects materials, objects, lights and camera keys with sensible
// defaults; mk_scene_save lays them into a KST_SCENE (arrays point into the
// builder's own vectors), checks the invariants the engine relies on (camera
// tracks, material indices, face indices, neighbours, key order) and writes
// the file with KST_SCENE_SAVE. Neighbours are found through an edge map, in
// the same pairing the engine's own neighbour search gives (per edge, faces in
// ascending order pair up two by two), at a cost that suits 100 000 faces.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "tools/mkdata/mkdata.h"

// --- meshes --------------------------------------------------------------------------
struct mk_mesh {
    std::vector<KST_VECTOR>    v;
    std::vector<KST_VECTOR>    n;
    std::vector<KST_RGB>       c;
    std::vector<KST_TEXTCOORD> uv;
    std::vector<KST_FACE>      f;
};

using mk_surface_fn = std::function<KST_VECTOR(float u, float v)>;

// A (nu + 1) x (nv + 1) vertex grid over u, v in 0..1 (seams keep their own
// vertices, so texture coordinates never wrap backwards); uv = (u * su, v * sv).
// Faces are wound so that the cross product of d/du and d/dv points outwards;
// flip reverses them.
mk_mesh mesh_surface(int nu, int nv, const mk_surface_fn& fn, float su = 1, float sv = 1, bool flip = false);
mk_mesh mesh_sphere(KST_VECTOR centre, float radius, int nu, int nv);
mk_mesh mesh_ellipsoid(KST_VECTOR centre, KST_VECTOR radii, int nu, int nv);
// Torus in the XY plane around centre: ring radius R, tube radius r.
mk_mesh mesh_torus(KST_VECTOR centre, float R, float r, int nu, int nv);
// Tube along a closed or open curve c(t), t in 0..1, with radius r(u, v)
// (u along the curve, v around it).
mk_mesh mesh_tube(const std::function<KST_VECTOR(float)>& curve, const std::function<float(float, float)>& radius,
                  int nu, int nv, bool closed);
// Gives every face vertices of its own and flat normals (faceted look).
void mesh_facet(mk_mesh& m);
// Prism from a counter-clockwise outline in the XZ plane (x, z pairs), from
// y = y0 to y = y1, with both caps (fans from the outline's centroid).
mk_mesh mesh_prism(const std::vector<std::pair<float, float>>& outline, float y0, float y1);
// Axis-aligned box.
mk_mesh mesh_box(KST_VECTOR lo, KST_VECTOR hi);

void mesh_append(mk_mesh& dst, const mk_mesh& src);
// Moves every vertex through fn (normals are recomputed afterwards).
void mesh_warp(mk_mesh& m, const std::function<KST_VECTOR(KST_VECTOR)>& fn);
// Rotation about Z then X (degrees) and a translation, normals turned along.
void mesh_place(mk_mesh& m, float rot_z, float rot_x, KST_VECTOR move);
void mesh_scale(mk_mesh& m, KST_VECTOR s);
// Smooth normals, area weighted, shared across vertices at the same position.
void mesh_normals(mk_mesh& m);
// Flat normals for meshes whose faces have vertices of their own (prisms).
void mesh_flat(mk_mesh& m);
// Colours every vertex from its position and normal.
void mesh_colour(mk_mesh& m, const std::function<KST_RGB(KST_VECTOR, KST_VECTOR)>& fn);
void mesh_flip(mk_mesh& m);
KST_VECTOR mesh_centre(const mk_mesh& m);

// Neighbour of every face edge (A: A-B, B: B-C, C: C-A), or -1.
std::vector<KST_FACE> mesh_neighbours(const std::vector<KST_FACE>& faces);

// --- scenes --------------------------------------------------------------------------------
struct mk_object {
    KST_OBJECT                 rec{};       // fields as stored; arrays are set on save
    mk_mesh                    mesh;
    std::vector<KST_KEYVECTOR> track;       // position keys (translation added to the mesh)
    std::vector<KST_FACE>      neighbour;   // filled on save
};

struct mk_light {
    KST_LIGHT                  rec{};
    std::vector<KST_KEYVECTOR> track;
};

struct mk_scene {
    std::string                name;
    int32_t                    frames = 1000;
    float                      fov = 0.8f;         // radians
    float                      znear = 5.0f, zfar = 10000.0f;
    float                      drawdistance = 100000.0f;
    std::vector<KST_MATERIAL>  materials;
    std::vector<mk_object>     objects;
    std::vector<KST_KEYVECTOR> campos, camtarget;
    mk_light                   lights[KST_LIGHTS];
};

// A material with the defaults most surfaces want: lit, opaque, depth tested
// and written, LEQUAL, untextured, white-ish. Returns its index.
int32_t scene_material(mk_scene& s, const std::string& name, KST_RGB diffuse);
KST_MATERIAL& scene_mat(mk_scene& s, int32_t index);
// A textured variant (the texture file is in the data folder).
int32_t scene_textured(mk_scene& s, const std::string& name, const std::string& texture, KST_RGB diffuse);
// Adds an object: visible, face list, back faces culled, pass 0, LOD 0, pivot
// at the mesh centre. The mesh keeps its colours/uvs if it has them.
mk_object& scene_object(mk_scene& s, const std::string& name, mk_mesh mesh, int32_t material);
// Light i: enabled, static at pos, white diffuse.
mk_light& scene_light(mk_scene& s, int i, const std::string& name, KST_VECTOR pos, KST_RGB diffuse);
// Fog for every object of the scene made so far.
void scene_fog(mk_scene& s, uint8_t mode, float density, float start, float end, KST_RGBA colour);

// Key helpers.
KST_KEYVECTOR mk_key(int32_t frame, float x, float y, float z);
KST_VECTOR    mk_vec(float x, float y, float z);

// Summary of a saved scene, for the progress line and the tests.
struct mk_scene_stats {
    int64_t faces = 0;
    int32_t objects = 0, emitters = 0;
};

// Lays the scene into a KST_SCENE, checks it and writes <name>.kst.
mk_scene_stats mk_scene_save(const mk_context& ctx, mk_scene& s);
// The checks mk_scene_save makes; fatal_error on the first broken invariant.
void mk_scene_check(const KST_SCENE& scene);
