// tests/common/scene_builders.h - small in-memory Kestrel scenes for tests.
//
// Tests of the loader, writer, renderer, configuration file and shadows need
// scenes with known contents. These helpers build them directly in a
// KST_SCENE record, with every array allocated through the engine's own
// allocator (support/mem.h), so KST_SCENE_FREE releases them and the writer
// and preparation treat them like loaded scenes.
//
// Typical use:
//
//     KST_SCENE scene{};                       // always start from a zeroed record
//     sb_scene_init(scene, "demo");            // version 1.2, 100 frames, camera on +Y
//     int32_t m = sb_add_material(scene, "red");
//     scene.MATERIAL[m].DIFFUSE = {1, 0, 0};
//     int32_t o = sb_add_cube(scene, "box", {0, 0, 0}, 2.0f, m);
//     sb_set_light(scene, 0, "sun", {0, 0, 10});
//     KST_SCENE_PREPARE(scene);                // normals, centres, volume buffers
//     ...
//     KST_SCENE_FREE(scene);
//
// What the builders set:
//  - sb_scene_init: NAME, version 1.2, FRAMES 100, CAMFOV 0.785 (45 degrees),
//    CAMNEAR 1, CAMFAR 1000, DRAWDISTANCE 1000, SHADOWVALUE 0.5, two camera keys
//    (frames 0 and 100) looking from (0, -10, 0) at the origin (Z is up).
//  - sb_add_material: a lit, untextured white material (ambient 0.2, diffuse 1,
//    specular 0, SHINE 0, UTILE/VTILE 1, CONSTANTALPHA 1, depth test and write,
//    no blending).
//  - sb_add_mesh and the shapes built on it: a visible object using FACE
//    (RENDERMODE 0), ORIG_FACE equal to FACE, NEIGHBOUR computed from it, a
//    STRIP listing every face's corners in order, an identity INITMATRIX,
//    back-face culling on, pass 0, LOD 0, no colours, texture coordinates or
//    normals and no keys (add them with the sb_object_* helpers).
// Materials and objects are appended: the record's arrays are reallocated.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/scene/records.h"

// A fresh scene (the record must be zeroed or freed before).
void sb_scene_init(KST_SCENE& scene, const std::string& name = "test");

// Appends a material or object and returns its index.
int32_t sb_add_material(KST_SCENE& scene, const std::string& name);
int32_t sb_add_mesh(KST_SCENE& scene, const std::string& name, const std::vector<KST_VECTOR>& vertices,
                    const std::vector<KST_FACE>& faces, int32_t material = 0);

// One triangle (0,0,0), (1,0,0), (0,1,0) moved by `offset` (normal 0,0,-1).
int32_t sb_add_triangle(KST_SCENE& scene, const std::string& name, int32_t material = 0,
                        KST_VECTOR offset = {0, 0, 0});
// An axis-aligned cube of edge `size` centred at `centre`: 8 vertices, 12
// faces wound counter-clockwise seen from outside (GL front faces, so back-face
// culling keeps the outside), closed, so every edge has a neighbour. Note that
// preparation's (A - B) x (C - B) rule makes FACENORMAL of such faces point
// inwards; that is the engine's convention, which the shadow code follows.
int32_t sb_add_cube(KST_SCENE& scene, const std::string& name, KST_VECTOR centre, float size,
                    int32_t material = 0);
// A flat grid in the XY plane (z = 0) with exactly `faces` triangles (two per
// square cell, rows of up to `row_cells` cells; an odd count ends with one
// triangle), cells of `cell` units starting at the origin.
int32_t sb_add_grid(KST_SCENE& scene, const std::string& name, int32_t faces, int32_t material = 0,
                    int32_t row_cells = 64, float cell = 1.0f);

// Optional per-vertex arrays (set the flag and fill; sizes must be VERTICES).
void sb_object_colors(KST_SCENE& scene, int32_t object, const std::vector<KST_RGB>& colors);
void sb_object_texcoords(KST_SCENE& scene, int32_t object, const std::vector<KST_TEXTCOORD>& uv);
void sb_object_normals(KST_SCENE& scene, int32_t object, const std::vector<KST_VECTOR>& normals);
// Key arrays (replace the old ones; an empty list removes them).
void sb_object_keys(KST_SCENE& scene, int32_t object, const std::vector<KST_KEYVECTOR>& position,
                    const std::vector<KST_KEYQUAT>& rotate = {},
                    const std::vector<KST_KEYVECTOR>& scale = {});
void sb_set_camera(KST_SCENE& scene, const std::vector<KST_KEYVECTOR>& position,
                   const std::vector<KST_KEYVECTOR>& target);
// Light l (0..7): name, static position, white diffuse, enabled; optional keys.
void sb_set_light(KST_SCENE& scene, int32_t l, const std::string& name, KST_VECTOR pos,
                  const std::vector<KST_KEYVECTOR>& keys = {});

// A scene in which every stored field of every record holds a distinct,
// non-default value: two materials, two objects (one with colours, texture
// coordinates, normals and all three key arrays), camera keys, eight named
// lights, one of them with keys. Round-trip and configuration tests use it.
void sb_full_scene(KST_SCENE& scene);

// Raw .kst chunk bytes: tag, type, id, count, size, packed size, index, data.
// `size` SB_DATA_SIZE stores data.size(); any other value is stored as given
// (negative and mismatching sizes included). Packed data is passed ready-made.
constexpr int32_t SB_DATA_SIZE = INT32_MIN;
std::string sb_chunk(uint8_t type, uint8_t id, int32_t count, const std::string& data,
                     int32_t index = 0, int32_t packed = 0, int32_t size = SB_DATA_SIZE);
// Little-endian bytes of one int32 / float.
std::string sb_int32(int32_t v);
std::string sb_float(float v);
