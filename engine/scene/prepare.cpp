// engine/scene/prepare.cpp - scene preparation and release (see prepare.h).
//
// After the chunks are read, preparation derives what the renderer needs:
// camera spline tangents, per-face unit normals (cross of (A - B) and (C - B))
// and centroids, the largest pass and face count, neighbours for files older
// than format 1.2, and the shadow-volume buffers: one slot of four vertices and
// two triangles (4q, 4q+1, 4q+2) and (4q+2, 4q+3, 4q) per face edge of the
// whole scene. kst_volume_slots records how many slots VOLUMEARRAY holds so the
// shadow code can refuse to write past it.
//
// Neighbours. The format defines them by a pairwise search: for every face i,
// every later face j and every edge e of i that has no neighbour yet, each edge
// g of j with the same two ORIG_FACE vertices (either direction) makes i and j
// neighbours on e and g. That search is quadratic. The same result follows
// from grouping the 3F edges by their vertex pair: within a group, the faces
// in ascending order pair up first with second, third with fourth, and so on
// (a face that already received a neighbour never takes another one on that
// edge, so it passes its turn to the face after it); every edge of a face in
// the group gets the partner, and an odd face out keeps -1. Sorting the edges
// makes this O(F log F); a test compares it with the pairwise search.
//
// Bounds. Every object gets a sphere about its pivot POS that holds all its
// vertices and the axis-aligned box of the vertices, in vertex coordinates and
// slightly enlarged so rounding never puts a vertex outside; the renderer
// moves them by the object's transform at each frame to cull whole objects
// against the view volume. They sit in kst_object_bounds beside the records
// and are not part of the file.
//
// Face indices are not trusted here either: a corner outside VERTEX gives a
// zero normal and centre instead of a read outside the array (the loader has
// already rejected such files; scenes built in memory get the same safety).
#include "engine/scene/prepare.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/scene/spline.h"
#include "engine/scene/vecmath.h"
#include "support/error.h"
#include "support/mem.h"
#include "engine/render/draw.h"

// --- internal helpers -----------------------------------------------------------------------
template <class T>
static T* kst_replace(T*& field, int64_t n, const std::string& label)
{
    mem_free_array(field);
    field = mem_array<T>(n, label);
    return field;
}

static int32_t kst_corner(const KST_FACE& f, int32_t k)
{
    switch (k % 3) {
    case 0: return f.A;
    case 1: return f.B;
    default: return f.C;
    }
}

static bool kst_vertex_ok(const KST_OBJECT& o, int32_t v)
{
    return o.VERTEX && v >= 0 && v < o.VERTICES;
}

static void kst_prepare_face(KST_OBJECT& o, int32_t j)
{
    const KST_FACE& f = o.FACE[j];
    if (!kst_vertex_ok(o, f.A) || !kst_vertex_ok(o, f.B) || !kst_vertex_ok(o, f.C))
        return;  // arrays are cleared: normal and centre stay (0, 0, 0)
    const KST_VECTOR &a = o.VERTEX[f.A], &b = o.VERTEX[f.B], &c = o.VERTEX[f.C];
    KST_VECTOR ba, bc, n;
    KST_VECTOR_SUB(a, b, ba);
    KST_VECTOR_SUB(c, b, bc);
    KST_VECTOR_CROSS(ba, bc, n);
    KST_VECTOR_NORMALIZE(n, o.FACENORMAL[j]);
    o.FACECENTER[j].X = static_cast<float>((static_cast<double>(a.X) + b.X + c.X) / 3.0);
    o.FACECENTER[j].Y = static_cast<float>((static_cast<double>(a.Y) + b.Y + c.Y) / 3.0);
    o.FACECENTER[j].Z = static_cast<float>((static_cast<double>(a.Z) + b.Z + c.Z) / 3.0);
}

static void kst_prepare_object(KST_OBJECT& o)
{
    int64_t faces = o.FACES > 0 ? o.FACES : 0;
    o.STATICROTATE = KST_VECTOR{0.0f, 0.0f, 0.0f};
    kst_replace(o.PLANE, faces, " planecalc      ");
    kst_replace(o.LIGHTVISIBLE, faces, " lightvisible calc ");
    kst_replace(o.CONTOUR, 3 * faces, " contour calc ");
    kst_replace(o.FACECENTER, faces, " face center stored ");
    kst_replace(o.FACENORMAL, faces, " face normal precalc ");
    for (int32_t j = 0; o.FACE && j < o.FACES; ++j)
        kst_prepare_face(o, j);
}

static void kst_prepare_bounds(kst_bounds& b, const KST_OBJECT& o)
{
    b = kst_bounds{o.POS, 0.0f, o.POS, o.POS, o.VERTEX, o.VERTICES};
    double r2 = 0.0;
    double lo[3] = {o.POS.X, o.POS.Y, o.POS.Z}, hi[3] = {o.POS.X, o.POS.Y, o.POS.Z};
    for (int32_t v = 0; o.VERTEX && v < o.VERTICES; ++v) {
        const KST_VECTOR& p = o.VERTEX[v];
        const double c[3] = {p.X, p.Y, p.Z};
        double dx = c[0] - o.POS.X, dy = c[1] - o.POS.Y, dz = c[2] - o.POS.Z;
        r2 = std::max(r2, dx * dx + dy * dy + dz * dz);
        for (int k = 0; k < 3; ++k) {
            lo[k] = v == 0 ? c[k] : std::min(lo[k], c[k]);
            hi[k] = v == 0 ? c[k] : std::max(hi[k], c[k]);
        }
    }
    // A relative and an absolute slack keep the float bounds outside every vertex.
    double r = std::sqrt(r2);
    double slack = 1e-5 * (r + std::fabs(o.POS.X) + std::fabs(o.POS.Y) + std::fabs(o.POS.Z)) + 1e-6;
    b.radius = static_cast<float>(r + slack);
    b.lo = KST_VECTOR{static_cast<float>(lo[0] - slack), static_cast<float>(lo[1] - slack),
                      static_cast<float>(lo[2] - slack)};
    b.hi = KST_VECTOR{static_cast<float>(hi[0] + slack), static_cast<float>(hi[1] + slack),
                      static_cast<float>(hi[2] + slack)};
}

static void kst_prepare_camera(KST_SCENE& scene)
{
    mem_free_array(scene.CAMPOSEASE);
    mem_free_array(scene.CAMTARGETEASE);
    if (scene.CAMPOSKEYS <= 0 || scene.CAMTARGETKEYS <= 0)
        return;
    std::string name = kst_name_get(scene.NAME);
    scene.CAMPOSEASE = mem_array<KST_VECTOR>(scene.CAMPOSKEYS, "scene." + name + ".camera position ease");
    scene.CAMTARGETEASE =
        mem_array<KST_VECTOR>(scene.CAMTARGETKEYS, "scene." + name + ".camera target ease");
    SPLINE_INITIALIZE(scene);
}

static void kst_prepare_volumes(KST_SCENE& scene, int64_t total)
{
    int64_t slots = 3 * total;
    if (4 * slots > INT32_MAX)
        fatal_raise("scene \"" + kst_name_get(scene.NAME) + "\" has too many faces (" +
                    std::to_string(total) + ") for its shadow-volume index buffer");
    kst_replace(scene.VOLUMEARRAY, 4 * slots, " volume array ");
    kst_replace(scene.VOLUMEARRAYINDEX, 2 * slots, " volume array index");
    for (int64_t q = 0; q < slots; ++q) {
        int32_t v = static_cast<int32_t>(4 * q);
        scene.VOLUMEARRAYINDEX[2 * q] = KST_FACE{v, v + 1, v + 2};
        scene.VOLUMEARRAYINDEX[2 * q + 1] = KST_FACE{v + 2, v + 3, v};
    }
    scene.kst_volume_slots = slots;
}

// One edge of one face, keyed by its unordered pair of ORIG_FACE vertices.
struct kst_edge_entry {
    uint64_t key;
    int32_t  face;
    int32_t  edge;
};

static uint64_t kst_edge_key(const KST_OBJECT& o, int32_t f, int32_t e)
{
    int32_t p = KST_ORIGFACEVERTEX(o, f, e), q = KST_ORIGFACEVERTEX(o, f, e + 1);
    int32_t lo = std::min(p, q), hi = std::max(p, q);
    return static_cast<uint64_t>(static_cast<uint32_t>(lo)) << 32 | static_cast<uint32_t>(hi);
}

// End of the run of entries of one face starting at `from`, inside [from, end).
static size_t kst_face_run(const std::vector<kst_edge_entry>& edges, size_t from, size_t end)
{
    size_t to = from + 1;
    while (to < end && edges[to].face == edges[from].face)
        ++to;
    return to;
}

static void kst_pair_runs(KST_OBJECT& o, const std::vector<kst_edge_entry>& edges, size_t a0, size_t a1,
                          size_t b0, size_t b1)
{
    for (size_t k = a0; k < a1; ++k)
        KST_SETNEIGHBOUR(o, edges[k].face, edges[k].edge, edges[b0].face);
    for (size_t k = b0; k < b1; ++k)
        KST_SETNEIGHBOUR(o, edges[k].face, edges[k].edge, edges[a0].face);
}

// One group of edges with the same vertex pair, faces ascending: pair them up.
static void kst_pair_group(KST_OBJECT& o, const std::vector<kst_edge_entry>& edges, size_t begin,
                           size_t end)
{
    size_t pending = end, pending_end = end;  // a face waiting for the next one
    for (size_t run = begin; run < end;) {
        size_t run_end = kst_face_run(edges, run, end);
        if (pending == end) {
            pending = run;
            pending_end = run_end;
        } else {
            kst_pair_runs(o, edges, pending, pending_end, run, run_end);
            pending = end;
        }
        run = run_end;
    }
}

// --- public functions ------------------------------------------------------------------------
int32_t KST_ORIGFACEVERTEX(const KST_OBJECT& object, int32_t face, int32_t corner)
{
    return kst_corner(object.ORIG_FACE[face], corner);
}

int32_t KST_FACEVERTEX(const KST_OBJECT& object, int32_t face, int32_t corner)
{
    return kst_corner(object.FACE[face], corner);
}

int32_t KST_GETNEIGHBOUR(const KST_OBJECT& object, int32_t face, int32_t edge)
{
    return kst_corner(object.NEIGHBOUR[face], edge);
}

void KST_SETNEIGHBOUR(KST_OBJECT& object, int32_t face, int32_t edge, int32_t value)
{
    KST_FACE& n = object.NEIGHBOUR[face];
    switch (edge % 3) {
    case 0: n.A = value; break;
    case 1: n.B = value; break;
    default: n.C = value; break;
    }
}

void KST_CALCNEIGHBOURS(KST_OBJECT& object)
{
    if (!object.NEIGHBOUR || object.FACES <= 0)
        return;
    for (int32_t f = 0; f < object.FACES; ++f)
        object.NEIGHBOUR[f] = KST_FACE{-1, -1, -1};
    if (!object.ORIG_FACE)
        return;
    std::vector<kst_edge_entry> edges;
    edges.reserve(3 * static_cast<size_t>(object.FACES));
    for (int32_t f = 0; f < object.FACES; ++f)
        for (int32_t e = 0; e < 3; ++e)
            edges.push_back({kst_edge_key(object, f, e), f, e});
    std::sort(edges.begin(), edges.end(), [](const kst_edge_entry& x, const kst_edge_entry& y) {
        if (x.key != y.key)
            return x.key < y.key;
        return x.face != y.face ? x.face < y.face : x.edge < y.edge;
    });
    for (size_t g = 0; g < edges.size();) {
        size_t end = g + 1;
        while (end < edges.size() && edges[end].key == edges[g].key)
            ++end;
        kst_pair_group(object, edges, g, end);
        g = end;
    }
}

void KST_SCENE_PREPARE(KST_SCENE& scene)
{
    kst_prepare_camera(scene);
    for (int32_t i = 0; scene.MATERIAL && i < scene.MATERIALS; ++i)
        scene.MATERIAL[i].TEXTURETYPE = 24;
    scene.MAXPASS = 0;
    scene.MAXFACES = 0;
    int64_t total = 0;
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i) {
        KST_OBJECT& o = scene.OBJ[i];
        total += o.FACES > 0 ? o.FACES : 0;
        scene.MAXFACES = std::max(scene.MAXFACES, o.FACES);
        scene.MAXPASS = std::max(scene.MAXPASS, o.PASSNO);
        kst_prepare_object(o);
    }
    if (scene.MAJORVERSION == 1 && scene.MINORVERSION < 2) {
        for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i) {
            KST_OBJECT& o = scene.OBJ[i];
            kst_replace(o.NEIGHBOUR, o.FACES > 0 ? o.FACES : 0, " neighbour calc  ");
            KST_CALCNEIGHBOURS(o);
        }
    }
    kst_prepare_volumes(scene, total);
    scene.INFINITY = 1000.0f;
    kst_scene_bounds(scene);
}

void kst_scene_bounds(KST_SCENE& scene)
{
    int32_t n = scene.OBJ && scene.OBJECTS > 0 ? scene.OBJECTS : 0;
    kst_replace(scene.kst_object_bounds, n, " object bounds ");
    scene.kst_bounds_count = n;
    for (int32_t i = 0; i < n; ++i)
        kst_prepare_bounds(scene.kst_object_bounds[i], scene.OBJ[i]);
}

void kst_object_bounds_update(KST_SCENE& scene, int32_t index)
{
    if (scene.kst_object_bounds && scene.OBJ && index >= 0 && index < scene.kst_bounds_count &&
        index < scene.OBJECTS)
        kst_prepare_bounds(scene.kst_object_bounds[index], scene.OBJ[index]);
}

void kst_object_faces_update(KST_OBJECT& object)
{
    if (!object.FACENORMAL || !object.FACECENTER)
        return;
    for (int32_t j = 0; object.FACE && j < object.FACES; ++j)
        kst_prepare_face(object, j);
}

bool kst_bounds_current(const kst_bounds& b, const KST_OBJECT& o)
{
    return b.vertex == o.VERTEX && b.vertices == o.VERTICES && b.pivot.X == o.POS.X && b.pivot.Y == o.POS.Y &&
           b.pivot.Z == o.POS.Z;
}

void kst_object_free(KST_OBJECT& o)
{
    mem_free_array(o.STRIP);
    mem_free_array(o.VERTEX);
    mem_free_array(o.FACE);
    mem_free_array(o.FACECENTER);
    mem_free_array(o.PLANE);
    mem_free_array(o.LIGHTVISIBLE);
    mem_free_array(o.CONTOUR);
    mem_free_array(o.NEIGHBOUR);
    mem_free_array(o.FACENORMAL);
    mem_free_array(o.CVERTEX);
    mem_free_array(o.TEXCOORD);
    mem_free_array(o.VERTEXNORMAL);
    mem_free_array(o.POSITION);
    mem_free_array(o.ROTATE);
    mem_free_array(o.SCALE);
    mem_free_array(o.ORIG_FACE);
    mem_free_array(o.SKINJOINT);
    mem_free_array(o.SKINWEIGHT);
    mem_free_array(o.JOINTBIND);
    mem_free_array(o.JOINTMATRIX);
    mem_free_array(o.MORPHVERTEX);
    mem_free_array(o.MORPHNORMAL);
    mem_free_array(o.MORPHWEIGHT);
    mem_free_array(o.kst_rest_vertex);
    mem_free_array(o.kst_rest_normal);
}

void KST_SCENE_FREE(KST_SCENE& scene)
{
    kst_render_release_geometry(scene);
    for (KST_LIGHT& l : scene.LIGHT)
        mem_free_array(l.POSITION);
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i)
        kst_object_free(scene.OBJ[i]);
    mem_free_array(scene.CAMPOSITION);
    mem_free_array(scene.CAMTARGET);
    mem_free_array(scene.CAMPOSEASE);
    mem_free_array(scene.CAMTARGETEASE);
    mem_free_array(scene.MATERIAL);
    mem_free_array(scene.OBJ);
    mem_free_array(scene.VOLUMEARRAY);
    mem_free_array(scene.VOLUMEARRAYINDEX);
    mem_free_array(scene.kst_object_bounds);
    scene.kst_bounds_count = 0;
}
