// tests/render_fx/fx_scene.h - small in-memory scenes for the flare and shadow tests.
//
// Builds prepared scenes without a file: meshes (cube, triangle, ground square)
// with the per-face data the shadow code reads (normals and centres as
// preparation computes them, neighbours matched by vertex index, working
// arrays), the volume buffers with their index triangles, and a camera of one
// key each. Everything is allocated with the engine's allocators and released
// by fx_scene's destructor.
#pragma once

#include <array>
#include <vector>

#include "engine/scene/records.h"
#include "engine/scene/vecmath.h"
#include "support/mem.h"

struct fx_mesh {
    std::vector<KST_VECTOR> vertex;
    std::vector<KST_FACE>   face;
};

// Axis-aligned cube, 8 shared corners, 12 triangles wound counter-clockwise seen from outside.
inline fx_mesh fx_cube(KST_VECTOR c, float half)
{
    fx_mesh m;
    for (int i = 0; i < 8; i++)
        m.vertex.push_back({c.X + (i & 1 ? half : -half), c.Y + (i & 2 ? half : -half),
                            c.Z + (i & 4 ? half : -half)});
    for (int axis = 0; axis < 3; axis++) {
        for (int side = 0; side < 2; side++) {
            int u = 1 << ((axis + 1) % 3), v = 1 << ((axis + 2) % 3), w = side ? 1 << axis : 0;
            std::array<int32_t, 4> q = {w, w | u, w | u | v, w | v};
            if (side == 0)  // the -side sees the cycle the other way round
                q = {q[0], q[3], q[2], q[1]};
            m.face.push_back({q[0], q[1], q[2]});
            m.face.push_back({q[0], q[2], q[3]});
        }
    }
    return m;
}

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

struct fx_scene {
    KST_SCENE scene{};
    std::vector<void*> blocks;

    template <class T>
    T* alloc(int64_t n)
    {
        T* p = mem_array<T>(n, "fx scene");
        blocks.push_back(p);
        return p;
    }

    explicit fx_scene(int32_t materials = 4)
    {
        scene.MATERIALS = materials;
        scene.MATERIAL = alloc<KST_MATERIAL>(materials);
        for (int32_t i = 0; i < materials; i++)
            scene.MATERIAL[i].CONSTANTALPHA = 1.0f;
        scene.OBJ = alloc<KST_OBJECT>(64);
        scene.INFINITY = 1000.0f;
    }
    ~fx_scene()
    {
        for (void* p : blocks)
            mem_release(p);
    }
    fx_scene(const fx_scene&) = delete;
    fx_scene& operator=(const fx_scene&) = delete;

    // Adds an object with its prepared per-face data; returns its index.
    int32_t add(const fx_mesh& mesh, int32_t material = 0)
    {
        int32_t k = scene.OBJECTS++;
        KST_OBJECT& o = scene.OBJ[k];
        kst_name_set(o.NAME, "obj" + std::to_string(k));
        o.VISIBLE = true;
        o.MATERIAL = material;
        o.VERTICES = static_cast<int32_t>(mesh.vertex.size());
        o.FACES = static_cast<int32_t>(mesh.face.size());
        o.VERTEX = alloc<KST_VECTOR>(o.VERTICES);
        o.FACE = alloc<KST_FACE>(o.FACES);
        o.ORIG_FACE = alloc<KST_FACE>(o.FACES);
        o.FACENORMAL = alloc<KST_VECTOR>(o.FACES);
        o.FACECENTER = alloc<KST_VECTOR>(o.FACES);
        o.NEIGHBOUR = alloc<KST_FACE>(o.FACES);
        o.LIGHTVISIBLE = alloc<KST_BOOL>(o.FACES);
        o.CONTOUR = alloc<KST_BOOL>(3 * static_cast<int64_t>(o.FACES));
        for (int32_t i = 0; i < o.VERTICES; i++)
            o.VERTEX[i] = mesh.vertex[i];
        for (int32_t f = 0; f < o.FACES; f++) {
            o.FACE[f] = o.ORIG_FACE[f] = mesh.face[f];
            prepare_face(o, f);
        }
        link_neighbours(o);
        return k;
    }

    // Volume buffers for 3 quads per face of every object, as preparation sizes them.
    void prepare_volumes()
    {
        int64_t slots = 3 * kst_scene_total_faces(scene);
        volumes(slots);
    }
    // Volume buffers of exactly `slots` quads.
    void volumes(int64_t slots)
    {
        scene.kst_volume_slots = slots;
        scene.VOLUMEARRAY = alloc<KST_VECTOR>(4 * slots);
        scene.VOLUMEARRAYINDEX = alloc<KST_FACE>(2 * slots);
        for (int64_t q = 0; q < slots; q++) {
            int32_t b = static_cast<int32_t>(4 * q);
            scene.VOLUMEARRAYINDEX[2 * q] = {b, b + 1, b + 2};
            scene.VOLUMEARRAYINDEX[2 * q + 1] = {b + 2, b + 3, b};
        }
    }

    // A still camera: one position key and one target key.
    void camera(KST_VECTOR eye, KST_VECTOR target, float fov = 0.8f)
    {
        scene.CAMPOSKEYS = scene.CAMTARGETKEYS = 1;
        scene.CAMPOSITION = alloc<KST_KEYVECTOR>(1);
        scene.CAMTARGET = alloc<KST_KEYVECTOR>(1);
        scene.CAMPOSEASE = alloc<KST_VECTOR>(1);
        scene.CAMTARGETEASE = alloc<KST_VECTOR>(1);
        scene.CAMPOSITION[0] = {0, eye.X, eye.Y, eye.Z};
        scene.CAMTARGET[0] = {0, target.X, target.Y, target.Z};
        scene.CAMFOV = fov;
        scene.CAMNEAR = 0.5f;
        scene.CAMFAR = 500.0f;
    }

private:
    static void prepare_face(KST_OBJECT& o, int32_t f)
    {
        const KST_VECTOR &a = o.VERTEX[o.FACE[f].A], &b = o.VERTEX[o.FACE[f].B],
                         &c = o.VERTEX[o.FACE[f].C];
        KST_VECTOR ba, bc, n;
        KST_VECTOR_SUB(a, b, ba);
        KST_VECTOR_SUB(c, b, bc);
        KST_VECTOR_CROSS(ba, bc, n);
        KST_VECTOR_NORMALIZE(n, o.FACENORMAL[f]);
        o.FACECENTER[f] = {(a.X + b.X + c.X) / 3.0f, (a.Y + b.Y + c.Y) / 3.0f, (a.Z + b.Z + c.Z) / 3.0f};
    }
    static int32_t& edge_slot(KST_FACE& n, int k) { return k == 0 ? n.A : (k == 1 ? n.B : n.C); }
    static int32_t corner(const KST_FACE& f, int k) { return k == 0 ? f.A : (k == 1 ? f.B : f.C); }
    static void link_neighbours(KST_OBJECT& o)
    {
        for (int32_t f = 0; f < o.FACES; f++)
            o.NEIGHBOUR[f] = {-1, -1, -1};
        for (int32_t i = 0; i < o.FACES; i++)
            for (int32_t j = 0; j < o.FACES; j++)
                for (int e = 0; e < 3 && i != j; e++)
                    for (int g = 0; g < 3; g++)
                        if (corner(o.FACE[i], e) == corner(o.FACE[j], (g + 1) % 3) &&
                            corner(o.FACE[i], (e + 1) % 3) == corner(o.FACE[j], g))
                            edge_slot(o.NEIGHBOUR[i], e) = j;
    }
};
