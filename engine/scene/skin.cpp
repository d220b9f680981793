// engine/scene/skin.cpp - skinned and morphed objects posed on the processor
// (see skin.h).
//
// Linear blend skinning, as glTF and assimp define it: a vertex goes to
// sum_k w_k * JOINTMATRIX[j_k] * JOINTBIND[j_k] * v, its normal through the
// same blended matrix (upper 3 x 3) and renormalised. Morph targets come
// first: v + sum_m weight_m * MORPHVERTEX[m], and likewise the normals. The
// joint matrices are stored frame by frame at the import's frame rate, so a
// frame between two samples blends their matrices linearly; at the sampling
// rates used (24 to 60 a second) the difference from interpolating the joints'
// rotations is far below a pixel, and it costs 16 multiplications per joint.
//
// The work per frame is one 3 x 4 product per joint, then per vertex a blend
// of at most four 3 x 4 matrices and two products: about 80 multiplications,
// with no allocation once the scratch space has grown (it belongs to the
// thread). A vertex whose weights sum to 0 keeps its rest position; indices
// and counts have been checked by the loader, and every access is bounded by
// the object's own counts, so a scene built in memory cannot make it read
// outside its arrays either (joint indices outside the joints are skipped).
//
// Posing keeps the rest shape in kst_rest_vertex / kst_rest_normal the first
// time and overwrites VERTEX / VERTEXNORMAL, so the arrays' addresses (and
// with them the renderer's buffer objects and bounds) stay the same; the
// writer stores the rest shape, never a pose.
#include "engine/scene/skin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/scene/prepare.h"
#include "support/mem.h"

// --- types -------------------------------------------------------------------------
struct skin_affine {
    float m[3][4];   // rows of a 3 x 4 column-vector transform
};

// --- module state --------------------------------------------------------------------
static thread_local std::vector<skin_affine> skin_joint_scratch;
static thread_local std::vector<float>       skin_weight_scratch;

// --- internal helpers ----------------------------------------------------------------
// The two samples around `frame` and the share of the second.
static void skin_samples(const KST_OBJECT& o, float frame, int32_t& s0, int32_t& s1, float& t)
{
    float last = static_cast<float>(std::max(o.SKINFRAMES - 1, 0));
    float f = std::isfinite(frame) ? std::clamp(frame, 0.0f, last) : 0.0f;
    s0 = static_cast<int32_t>(std::floor(f));
    s1 = std::min(s0 + 1, std::max(o.SKINFRAMES - 1, 0));
    t = f - static_cast<float>(s0);
}

// (a + (b - a) t) * bind, the top three rows.
static skin_affine skin_joint(const KST_MATRIX& a, const KST_MATRIX& b, float t, const KST_MATRIX& bind)
{
    skin_affine out{};
    for (int r = 0; r < 3; ++r) {
        float row[4];
        for (int c = 0; c < 4; ++c)
            row[c] = a.m[r][c] + (b.m[r][c] - a.m[r][c]) * t;
        for (int c = 0; c < 4; ++c)
            out.m[r][c] = row[0] * bind.m[0][c] + row[1] * bind.m[1][c] + row[2] * bind.m[2][c] +
                          row[3] * bind.m[3][c];
    }
    return out;
}

static void skin_joints_at(const KST_OBJECT& o, float frame)
{
    int32_t s0, s1;
    float t;
    skin_samples(o, frame, s0, s1, t);
    size_t n = static_cast<size_t>(o.JOINTS);
    skin_joint_scratch.resize(n);
    const KST_MATRIX* m0 = o.JOINTMATRIX + static_cast<size_t>(s0) * n;
    const KST_MATRIX* m1 = o.JOINTMATRIX + static_cast<size_t>(s1) * n;
    for (size_t j = 0; j < n; ++j)
        skin_joint_scratch[j] = skin_joint(m0[j], m1[j], t, o.JOINTBIND[j]);
}

// Morph weights at the frame, blended between samples like the joints.
static void skin_weights_at(const KST_OBJECT& o, float frame)
{
    int32_t s0, s1;
    float t;
    skin_samples(o, frame, s0, s1, t);
    size_t n = static_cast<size_t>(o.MORPHS);
    skin_weight_scratch.resize(n);
    const float* w0 = o.MORPHWEIGHT + static_cast<size_t>(s0) * n;
    const float* w1 = o.MORPHWEIGHT + static_cast<size_t>(s1) * n;
    for (size_t m = 0; m < n; ++m)
        skin_weight_scratch[m] = w0[m] + (w1[m] - w0[m]) * t;
}

static void skin_morph(const KST_OBJECT& o, KST_VECTOR* vertex, KST_VECTOR* normal)
{
    size_t n = static_cast<size_t>(o.VERTICES);
    for (size_t m = 0; m < skin_weight_scratch.size(); ++m) {
        float w = skin_weight_scratch[m];
        if (w == 0.0f)
            continue;
        const KST_VECTOR* dv = o.MORPHVERTEX + m * n;
        for (size_t v = 0; v < n; ++v) {
            vertex[v].X += w * dv[v].X;
            vertex[v].Y += w * dv[v].Y;
            vertex[v].Z += w * dv[v].Z;
        }
        if (!normal || !o.MORPHNORMAL)
            continue;
        const KST_VECTOR* dn = o.MORPHNORMAL + m * n;
        for (size_t v = 0; v < n; ++v) {
            normal[v].X += w * dn[v].X;
            normal[v].Y += w * dn[v].Y;
            normal[v].Z += w * dn[v].Z;
        }
    }
}

static void skin_unit(KST_VECTOR& n)
{
    float len = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
    if (len > 0.0f && std::isfinite(len)) {
        n.X /= len;
        n.Y /= len;
        n.Z /= len;
    }
}

// One vertex (and its normal) through its blended joint matrix.
static void skin_vertex(const KST_OBJECT& o, int32_t v, KST_VECTOR& p, KST_VECTOR* n)
{
    const KST_JOINTSET& js = o.SKINJOINT[v];
    const KST_WEIGHTSET& ws = o.SKINWEIGHT[v];
    const int32_t j[4] = {js.A, js.B, js.C, js.D};
    const float w[4] = {ws.A, ws.B, ws.C, ws.D};
    float m[3][4] = {};
    float total = 0.0f;
    for (int k = 0; k < 4; ++k) {
        if (w[k] == 0.0f || j[k] < 0 || j[k] >= o.JOINTS)
            continue;
        const skin_affine& a = skin_joint_scratch[static_cast<size_t>(j[k])];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                m[r][c] += w[k] * a.m[r][c];
        total += w[k];
    }
    if (total == 0.0f)
        return;
    const KST_VECTOR q = p;
    p.X = m[0][0] * q.X + m[0][1] * q.Y + m[0][2] * q.Z + m[0][3];
    p.Y = m[1][0] * q.X + m[1][1] * q.Y + m[1][2] * q.Z + m[1][3];
    p.Z = m[2][0] * q.X + m[2][1] * q.Y + m[2][2] * q.Z + m[2][3];
    if (!n)
        return;
    const KST_VECTOR r = *n;
    n->X = m[0][0] * r.X + m[0][1] * r.Y + m[0][2] * r.Z;
    n->Y = m[1][0] * r.X + m[1][1] * r.Y + m[1][2] * r.Z;
    n->Z = m[2][0] * r.X + m[2][1] * r.Y + m[2][2] * r.Z;
    skin_unit(*n);
}

// Face normals and centres of the pose: preparation's formulas (the unit
// cross product of A - B and C - B, its length and the centre in double),
// written out here so that they compile inline; a face with a corner outside
// the vertices keeps what it had.
static void skin_faces(KST_OBJECT& o)
{
    if (!o.FACENORMAL || !o.FACECENTER || !o.FACE)
        return;
    for (int32_t f = 0; f < o.FACES; ++f) {
        const KST_FACE& t = o.FACE[f];
        if (t.A < 0 || t.B < 0 || t.C < 0 || t.A >= o.VERTICES || t.B >= o.VERTICES || t.C >= o.VERTICES)
            continue;
        const KST_VECTOR a = o.VERTEX[t.A], b = o.VERTEX[t.B], c = o.VERTEX[t.C];
        const float ux = a.X - b.X, uy = a.Y - b.Y, uz = a.Z - b.Z;
        const float vx = c.X - b.X, vy = c.Y - b.Y, vz = c.Z - b.Z;
        const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        const double dx = nx, dy = ny, dz = nz;
        const float len = static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
        o.FACENORMAL[f] = len != 0.0f ? KST_VECTOR{nx / len, ny / len, nz / len} : KST_VECTOR{0.0f, 0.0f, 0.0f};
        o.FACECENTER[f] = {static_cast<float>((static_cast<double>(a.X) + b.X + c.X) / 3.0),
                           static_cast<float>((static_cast<double>(a.Y) + b.Y + c.Y) / 3.0),
                           static_cast<float>((static_cast<double>(a.Z) + b.Z + c.Z) / 3.0)};
    }
}

static bool skin_has_joints(const KST_OBJECT& o)
{
    return o.JOINTS > 0 && o.SKINJOINT && o.SKINWEIGHT && o.JOINTBIND && o.JOINTMATRIX;
}

static bool skin_has_morphs(const KST_OBJECT& o)
{
    return o.MORPHS > 0 && o.MORPHVERTEX && o.MORPHWEIGHT;
}

// --- public functions ------------------------------------------------------------------
bool kst_skin_deforms(const KST_OBJECT& o)
{
    return o.SKINFRAMES > 0 && o.VERTICES > 0 && (skin_has_joints(o) || skin_has_morphs(o));
}

void kst_skin_compute(const KST_OBJECT& o, const KST_VECTOR* rest_vertex, const KST_VECTOR* rest_normal,
                      float frame, KST_VECTOR* vertex, KST_VECTOR* normal)
{
    if (!rest_vertex || !vertex || o.VERTICES <= 0)
        return;
    size_t n = static_cast<size_t>(o.VERTICES);
    if (vertex != rest_vertex)
        std::memmove(vertex, rest_vertex, n * sizeof(KST_VECTOR));
    if (normal && rest_normal && normal != rest_normal)
        std::memmove(normal, rest_normal, n * sizeof(KST_VECTOR));
    if (!rest_normal)
        normal = nullptr;
    if (!kst_skin_deforms(o))
        return;
    if (skin_has_morphs(o)) {
        skin_weights_at(o, frame);
        skin_morph(o, vertex, normal);
    }
    if (skin_has_joints(o)) {
        skin_joints_at(o, frame);
        for (int32_t v = 0; v < o.VERTICES; ++v)
            skin_vertex(o, v, vertex[v], normal ? normal + v : nullptr);
    } else if (normal) {
        for (size_t v = 0; v < n; ++v)
            skin_unit(normal[v]);
    }
}

bool kst_skin_pose(KST_OBJECT& o, float frame)
{
    if (!kst_skin_deforms(o) || !o.VERTEX)
        return false;
    if (o.kst_rest_vertex && o.kst_posed_frame == frame)
        return false;
    size_t n = static_cast<size_t>(o.VERTICES);
    if (!o.kst_rest_vertex) {
        o.kst_rest_vertex = mem_array<KST_VECTOR>(o.VERTICES, "skin rest vertices");
        std::memcpy(o.kst_rest_vertex, o.VERTEX, n * sizeof(KST_VECTOR));
        if (o.VERTEXNORMAL) {
            o.kst_rest_normal = mem_array<KST_VECTOR>(o.VERTICES, "skin rest normals");
            std::memcpy(o.kst_rest_normal, o.VERTEXNORMAL, n * sizeof(KST_VECTOR));
        }
    }
    kst_skin_compute(o, o.kst_rest_vertex, o.kst_rest_normal, frame, o.VERTEX,
                     o.kst_rest_normal ? o.VERTEXNORMAL : nullptr);
    o.kst_posed_frame = frame;
    skin_faces(o);
    return true;
}

void kst_skin_rest(KST_OBJECT& o)
{
    if (!o.kst_rest_vertex)
        return;
    size_t n = static_cast<size_t>(std::max(o.VERTICES, 0));
    if (o.VERTEX)
        std::memcpy(o.VERTEX, o.kst_rest_vertex, n * sizeof(KST_VECTOR));
    if (o.VERTEXNORMAL && o.kst_rest_normal)
        std::memcpy(o.VERTEXNORMAL, o.kst_rest_normal, n * sizeof(KST_VECTOR));
    mem_free_array(o.kst_rest_vertex);
    mem_free_array(o.kst_rest_normal);
    kst_object_faces_update(o);
}

const KST_VECTOR* kst_skin_rest_vertex(const KST_OBJECT& o)
{
    return o.kst_rest_vertex ? o.kst_rest_vertex : o.VERTEX;
}

const KST_VECTOR* kst_skin_rest_normal(const KST_OBJECT& o)
{
    return o.kst_rest_vertex ? o.kst_rest_normal : o.VERTEXNORMAL;
}
