// tests/render_fx/fx_scene.h - prepared in-memory scenes for the flare and shadow tests.
//
// A thin owner over the shared scene builders: meshes are added with
// sb_add_mesh (or sb_add_cube), then KST_SCENE_PREPARE derives what the shadow
// code reads (normals, centres, neighbours, working arrays, volume buffers) just
// as loading does. The destructor frees the scene.
#pragma once

#include <string>
#include <vector>

#include "engine/scene/prepare.h"
#include "engine/scene/records.h"
#include "scene_builders.h"

struct fx_mesh {
    std::vector<KST_VECTOR> vertex;
    std::vector<KST_FACE>   face;
};

// One triangle, counter-clockwise seen from +Z.
inline fx_mesh fx_triangle(float z)
{
    return fx_mesh{{{-1, -1, z}, {1, -1, z}, {0, 1, z}}, {{0, 1, 2}}};
}

// Square in the plane Z = z, counter-clockwise seen from +Z.
inline fx_mesh fx_ground(float half, float z)
{
    return fx_mesh{{{-half, -half, z}, {half, -half, z}, {half, half, z}, {-half, half, z}},
                   {{0, 1, 2}, {0, 2, 3}}};
}

// Square in the plane Y = y, counter-clockwise seen from -Y.
inline fx_mesh fx_wall(float y, float half)
{
    return fx_mesh{{{-half, y, -half}, {half, y, -half}, {half, y, half}, {-half, y, half}},
                   {{0, 1, 2}, {0, 2, 3}}};
}

struct fx_scene {
    KST_SCENE scene{};

    explicit fx_scene(int32_t materials = 4)
    {
        sb_scene_init(scene, "fx");
        for (int32_t i = 0; i < materials; i++)
            sb_add_material(scene, "m" + std::to_string(i));
    }
    ~fx_scene() { KST_SCENE_FREE(scene); }
    fx_scene(const fx_scene&) = delete;
    fx_scene& operator=(const fx_scene&) = delete;

    int32_t add(const fx_mesh& mesh, int32_t material = 0)
    {
        return sb_add_mesh(scene, "obj" + std::to_string(scene.OBJECTS), mesh.vertex, mesh.face,
                           material);
    }
    int32_t add_cube(KST_VECTOR centre, float half, int32_t material = 0)
    {
        return sb_add_cube(scene, "cube" + std::to_string(scene.OBJECTS), centre, 2 * half, material);
    }
    // A still camera: one position key and one target key (before prepare()).
    void camera(KST_VECTOR eye, KST_VECTOR target)
    {
        sb_set_camera(scene, {{0, eye.X, eye.Y, eye.Z}}, {{0, target.X, target.Y, target.Z}});
    }
    void prepare() { KST_SCENE_PREPARE(scene); }
};
