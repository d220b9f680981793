// Tests of scene preparation: normals and centres, totals, the shadow-volume
// index buffer, and the fast neighbour search against a literal transcription
// of the pairwise first-come search on random meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/scene/prepare.h"
#include "scene_builders.h"
#include "support/mem.h"

namespace {

// The pairwise search exactly as the format defines it (quadratic).
void neighbours_reference(KST_OBJECT& o)
{
    int32_t F = o.FACES;
    for (int32_t f = 0; f < F; ++f)
        o.NEIGHBOUR[f] = KST_FACE{-1, -1, -1};
    for (int32_t i = 0; i <= F - 2; ++i)
        for (int32_t j = i + 1; j <= F - 1; ++j)
            for (int32_t e = 0; e <= 2; ++e) {
                if (KST_GETNEIGHBOUR(o, i, e) != -1)
                    continue;
                for (int32_t g = 0; g <= 2; ++g) {
                    int32_t p1 = KST_ORIGFACEVERTEX(o, i, e), p2 = KST_ORIGFACEVERTEX(o, i, (e + 1) % 3);
                    int32_t q1 = KST_ORIGFACEVERTEX(o, j, g), q2 = KST_ORIGFACEVERTEX(o, j, (g + 1) % 3);
                    if (std::min(p1, p2) == std::min(q1, q2) && std::max(p1, p2) == std::max(q1, q2)) {
                        KST_SETNEIGHBOUR(o, i, e, j);
                        KST_SETNEIGHBOUR(o, j, g, i);
                    }
                }
            }
}

std::vector<KST_FACE> neighbours_of(std::vector<KST_FACE> orig, bool reference)
{
    KST_OBJECT o{};
    o.FACES = static_cast<int32_t>(orig.size());
    o.ORIG_FACE = orig.data();
    std::vector<KST_FACE> n(orig.size());
    o.NEIGHBOUR = n.data();
    if (reference)
        neighbours_reference(o);
    else
        KST_CALCNEIGHBOURS(o);
    return n;
}

bool same(const std::vector<KST_FACE>& a, const std::vector<KST_FACE>& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].A != b[i].A || a[i].B != b[i].B || a[i].C != b[i].C)
            return false;
    return a.size() == b.size();
}

}  // namespace

TEST(Neighbours, FormatCases)
{
    auto n = neighbours_of({{0, 1, 2}, {2, 1, 3}}, false);  // edge (1,2) vs (2,1)
    EXPECT_EQ(n[0].B, 1);
    EXPECT_EQ(n[1].A, 0);
    EXPECT_EQ(n[0].A, -1);
    EXPECT_EQ(n[0].C, -1);
    EXPECT_EQ(n[1].B, -1);
    EXPECT_EQ(n[1].C, -1);
    n = neighbours_of({{5, 6, 7}, {6, 5, 8}, {5, 6, 9}}, false);  // three faces on one edge
    EXPECT_EQ(n[0].A, 1);
    EXPECT_EQ(n[1].A, 0);
    EXPECT_EQ(n[2].A, -1);
    // FACE is ignored: only ORIG_FACE numbering counts
    KST_OBJECT o{};
    std::vector<KST_FACE> face = {{0, 1, 2}, {2, 1, 3}}, orig = {{0, 1, 2}, {4, 5, 6}}, out(2);
    o.FACES = 2;
    o.FACE = face.data();
    o.ORIG_FACE = orig.data();
    o.NEIGHBOUR = out.data();
    KST_CALCNEIGHBOURS(o);
    EXPECT_EQ(out[0].B, -1);
}

TEST(Neighbours, MatchesThePairwiseSearchOnRandomMeshes)
{
    std::mt19937 rng(1234);
    for (int round = 0; round < 400; ++round) {
        int faces = 1 + static_cast<int>(rng() % 60);
        int verts = 2 + static_cast<int>(rng() % 8);  // few vertices: shared, repeated and degenerate edges
        std::vector<KST_FACE> orig;
        for (int f = 0; f < faces; ++f) {
            KST_FACE t{int32_t(rng() % verts), int32_t(rng() % verts), int32_t(rng() % verts)};
            if (rng() % 8 == 0)
                t.C = t.A;  // degenerate
            if (rng() % 16 == 0)
                t.A = -int32_t(rng() % 3);  // negative indices compare too
            orig.push_back(t);
        }
        ASSERT_TRUE(same(neighbours_of(orig, true), neighbours_of(orig, false)))
            << "round " << round;
    }
}

TEST(Prepare, NormalsCentresTotalsAndVolumeSlots)
{
    KST_SCENE s{};
    sb_scene_init(s);
    sb_add_material(s, "m");
    sb_add_triangle(s, "tri");
    s.OBJ[0].PASSNO = 2;
    s.OBJ[0].STATICROTATE = {1, 2, 3};
    s.MATERIAL[0].TEXTURETYPE = 32;
    KST_SCENE_PREPARE(s);
    const KST_OBJECT& t = s.OBJ[0];
    EXPECT_FLOAT_EQ(t.FACENORMAL[0].Z, -1.0f);
    EXPECT_FLOAT_EQ(t.FACENORMAL[0].X, 0.0f);
    EXPECT_FLOAT_EQ(t.FACECENTER[0].X, 1.0f / 3);
    EXPECT_FLOAT_EQ(t.FACECENTER[0].Y, 1.0f / 3);
    EXPECT_EQ(t.STATICROTATE.X, 0.0f);
    EXPECT_EQ(s.MAXPASS, 2);
    EXPECT_EQ(s.MAXFACES, 1);
    EXPECT_EQ(s.MATERIAL[0].TEXTURETYPE, 24);
    EXPECT_EQ(s.INFINITY, 1000.0f);
    EXPECT_NE(s.CAMPOSEASE, nullptr);
    // one face: three slots, two triangles each
    ASSERT_EQ(s.kst_volume_slots, 3);
    const int32_t want[6][3] = {{0, 1, 2}, {2, 3, 0}, {4, 5, 6}, {6, 7, 4}, {8, 9, 10}, {10, 11, 8}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(s.VOLUMEARRAYINDEX[k].A, want[k][0]);
        EXPECT_EQ(s.VOLUMEARRAYINDEX[k].B, want[k][1]);
        EXPECT_EQ(s.VOLUMEARRAYINDEX[k].C, want[k][2]);
    }
    // preparing twice replaces the arrays (ASan builds would see a leak otherwise)
    KST_SCENE_PREPARE(s);
    EXPECT_EQ(s.kst_volume_slots, 3);
    KST_SCENE_FREE(s);
    EXPECT_EQ(s.OBJ, nullptr);
    EXPECT_EQ(s.VOLUMEARRAY, nullptr);
    EXPECT_EQ(s.OBJECTS, 1);  // counts keep their values
    KST_SCENE_FREE(s);        // a second release is harmless
}

TEST(Prepare, EmptyAndDegenerateScenes)
{
    KST_SCENE s{};
    KST_SCENE_PREPARE(s);  // never loaded: nothing to do, empty buffers
    EXPECT_EQ(s.MAXFACES, 0);
    EXPECT_EQ(s.kst_volume_slots, 0);
    EXPECT_EQ(s.CAMPOSEASE, nullptr);
    KST_SCENE_FREE(s);

    sb_scene_init(s);
    sb_add_material(s, "m");
    sb_add_mesh(s, "flat", {{0, 0, 0}, {1, 1, 1}, {1, 1, 1}}, {{0, 1, 2}, {0, 0, 1}});
    sb_add_mesh(s, "nothing", {}, {});
    sb_add_grid(s, "grid", 5);
    s.CAMTARGETKEYS = 0;  // one track missing: no ease arrays
    KST_SCENE_PREPARE(s);
    EXPECT_EQ(s.OBJ[0].FACENORMAL[0].X, 0.0f);
    EXPECT_EQ(s.OBJ[0].FACENORMAL[1].Z, 0.0f);
    EXPECT_NE(s.OBJ[1].FACENORMAL, nullptr);
    EXPECT_EQ(s.MAXFACES, 5);
    EXPECT_EQ(s.kst_volume_slots, 3 * 7);
    EXPECT_EQ(s.CAMPOSEASE, nullptr);
    s.CAMTARGETKEYS = 2;
    // a face index outside VERTEX in a scene built in memory: zero normal, no read
    s.OBJ[0].FACE[1].C = 99;
    KST_SCENE_PREPARE(s);
    EXPECT_EQ(s.OBJ[0].FACENORMAL[1].X, 0.0f);
    KST_SCENE_FREE(s);
}

TEST(SceneBuilders, ShapesAreClosedAndConsistent)
{
    KST_SCENE s{};
    sb_scene_init(s);
    sb_add_material(s, "m");
    int32_t cube = sb_add_cube(s, "cube", {0, 0, 0}, 2.0f);
    int32_t grid = sb_add_grid(s, "grid", 9, 0, 2);
    KST_SCENE_PREPARE(s);
    const KST_OBJECT& c = s.OBJ[cube];
    EXPECT_EQ(c.FACES, 12);
    for (int32_t f = 0; f < c.FACES; ++f) {
        for (int e = 0; e < 3; ++e)
            EXPECT_NE(KST_GETNEIGHBOUR(c, f, e), -1);
        // inward-pointing FACENORMAL (the engine's rule) = outward GL front face
        const KST_VECTOR& n = c.FACENORMAL[f];
        const KST_VECTOR& m = c.FACECENTER[f];
        EXPECT_LT(n.X * m.X + n.Y * m.Y + n.Z * m.Z, 0.0f);
    }
    EXPECT_EQ(s.OBJ[grid].FACES, 9);
    for (int32_t f = 0; f < 9; ++f)
        EXPECT_EQ(s.OBJ[grid].FACENORMAL[f].Z, -1.0f);
    KST_SCENE_FREE(s);
}

// Bounds: a sphere about the pivot that holds every vertex and the vertices'
// box, both just outside the vertices; stale once the pivot or the vertex
// array changes; released with the scene.
TEST(Prepare, BoundsAboutThePivotAndTheBox)
{
    KST_SCENE s{};
    sb_scene_init(s);
    sb_add_material(s, "m");
    sb_add_triangle(s, "tri");                      // (0,0,0) (1,0,0) (0,1,0)
    sb_add_triangle(s, "far", 0, {100, -50, 3});
    s.OBJ[1].POS = {0, 0, 0};                       // pivot far from the geometry
    KST_SCENE_PREPARE(s);
    ASSERT_EQ(s.kst_bounds_count, 2);
    const kst_bounds& a = s.kst_object_bounds[0];
    EXPECT_GE(a.radius, 1.0f);
    EXPECT_LT(a.radius, 1.001f);
    EXPECT_LE(a.lo.X, 0.0f);
    EXPECT_GT(a.lo.X, -0.001f);
    EXPECT_GE(a.hi.Y, 1.0f);
    EXPECT_LT(a.hi.Y, 1.001f);
    EXPECT_GE(a.hi.Z, 0.0f);
    const kst_bounds& b = s.kst_object_bounds[1];
    float reach = std::sqrt(101.0f * 101.0f + 50.0f * 50.0f + 9.0f);
    EXPECT_GE(b.radius, reach);
    EXPECT_LT(b.radius, reach * 1.001f);
    EXPECT_TRUE(kst_bounds_current(b, s.OBJ[1]));
    s.OBJ[1].POS.X = 1.0f;
    EXPECT_FALSE(kst_bounds_current(b, s.OBJ[1]));
    kst_scene_bounds(s);
    EXPECT_TRUE(kst_bounds_current(s.kst_object_bounds[1], s.OBJ[1]));
    KST_SCENE_FREE(s);
    EXPECT_EQ(s.kst_object_bounds, nullptr);
    EXPECT_EQ(s.kst_bounds_count, 0);
}
