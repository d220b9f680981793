// tools/mkdata/mesh.cpp - mesh construction and scene assembly (see mesh.h).
//
// Parametric surfaces give every curved shape of the production: spheres,
// tori, tubes along curves and the sculpture are one grid function each.
// Normals are recomputed after every warp from the faces, and vertices that
// share a position share a normal, so seams of duplicated vertices do not show
// in the lighting. Neighbours come from a hash map of undirected edges rather
// than the engine's all-pairs search, which would take minutes on the dense
// sculpture.
#include "tools/mkdata/mesh.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "engine/scene/writer.h"
#include "support/error.h"

// --- internal helpers ----------------------------------------------------------------
static constexpr float MESH_PI = 3.14159265358979f;

static KST_VECTOR mesh_sub(KST_VECTOR a, KST_VECTOR b)
{
    return {a.X - b.X, a.Y - b.Y, a.Z - b.Z};
}

static KST_VECTOR mesh_cross(KST_VECTOR a, KST_VECTOR b)
{
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

static KST_VECTOR mesh_unit(KST_VECTOR a)
{
    float l = std::sqrt(a.X * a.X + a.Y * a.Y + a.Z * a.Z);
    return l > 0 ? KST_VECTOR{a.X / l, a.Y / l, a.Z / l} : KST_VECTOR{0, 0, 1};
}

// Position key for sharing normals between coincident vertices.
static std::tuple<int64_t, int64_t, int64_t> mesh_pos_key(KST_VECTOR p)
{
    return {std::llround(p.X * 1000.0), std::llround(p.Y * 1000.0), std::llround(p.Z * 1000.0)};
}

static float mesh_length2(KST_VECTOR a)
{
    return a.X * a.X + a.Y * a.Y + a.Z * a.Z;
}

// A face with an edge a million times shorter than its longest one is a
// needle: at a pole, sin(pi) in single precision is not 0, so the corners that
// should coincide lie a few millionths apart and an absolute area test keeps
// the face. Such a needle is mirrored (front-facing from the far side) and
// spans a whole grid step of texture in no width, so the rare pixel it covers
// asks the rasteriser for an unbounded texture footprint: the anisotropic
// filter of Mesa's llvmpipe then spends minutes on one frame.
static bool mesh_face_collapsed(const mk_mesh& m, const KST_FACE& f)
{
    KST_VECTOR a = m.v[f.A], b = m.v[f.B], c = m.v[f.C];
    float e0 = mesh_length2(mesh_sub(b, a)), e1 = mesh_length2(mesh_sub(c, b)), e2 = mesh_length2(mesh_sub(a, c));
    float longest = std::max({e0, e1, e2}), shortest = std::min({e0, e1, e2});
    return longest <= 1e-12f || shortest <= longest * 1e-12f ||
           mesh_length2(mesh_cross(mesh_sub(b, a), mesh_sub(c, a))) <= 1e-12f;
}

// --- meshes ----------------------------------------------------------------------------
KST_VECTOR mk_vec(float x, float y, float z)
{
    return {x, y, z};
}

KST_KEYVECTOR mk_key(int32_t frame, float x, float y, float z)
{
    return {frame, x, y, z};
}

mk_mesh mesh_surface(int nu, int nv, const mk_surface_fn& fn, float su, float sv, bool flip)
{
    mk_mesh m;
    for (int j = 0; j <= nv; ++j)
        for (int i = 0; i <= nu; ++i) {
            float u = float(i) / nu, v = float(j) / nv;
            m.v.push_back(fn(u, v));
            m.uv.push_back({u * su, v * sv});
        }
    auto at = [nu](int i, int j) { return j * (nu + 1) + i; };
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            if (flip) {
                m.f.push_back({a, c, b});
                m.f.push_back({a, d, c});
            } else {
                m.f.push_back({a, b, c});
                m.f.push_back({a, c, d});
            }
        }
    // Drop faces that collapse to a line (at the poles of a sphere).
    std::vector<KST_FACE> keep;
    for (const KST_FACE& f : m.f)
        if (!mesh_face_collapsed(m, f))
            keep.push_back(f);
    m.f = keep;
    mesh_normals(m);
    return m;
}

mk_mesh mesh_ellipsoid(KST_VECTOR c, KST_VECTOR r, int nu, int nv)
{
    return mesh_surface(nu, nv, [=](float u, float v) {
        float th = u * 2 * MESH_PI, ph = (1 - v) * MESH_PI;   // v = 0 at the south pole
        return KST_VECTOR{c.X + r.X * std::sin(ph) * std::cos(th), c.Y + r.Y * std::sin(ph) * std::sin(th),
                          c.Z + r.Z * std::cos(ph)};
    });
}

mk_mesh mesh_sphere(KST_VECTOR c, float radius, int nu, int nv)
{
    return mesh_ellipsoid(c, {radius, radius, radius}, nu, nv);
}

mk_mesh mesh_torus(KST_VECTOR c, float R, float r, int nu, int nv)
{
    return mesh_surface(nu, nv, [=](float u, float v) {
        float th = u * 2 * MESH_PI, ph = v * 2 * MESH_PI;
        float rr = R + r * std::cos(ph);
        return KST_VECTOR{c.X + rr * std::cos(th), c.Y + rr * std::sin(th), c.Z + r * std::sin(ph)};
    });
}

mk_mesh mesh_tube(const std::function<KST_VECTOR(float)>& curve, const std::function<float(float, float)>& radius,
                  int nu, int nv, bool closed)
{
    // Frame along the curve: tangent from finite differences, a fixed helper
    // axis for the normal (the curves used here never run along it).
    auto frame = [&](float t, KST_VECTOR& p, KST_VECTOR& nrm, KST_VECTOR& bin) {
        float e = 1e-3f;
        float t0 = closed ? t - e : std::max(0.0f, t - e), t1 = closed ? t + e : std::min(1.0f, t + e);
        p = curve(t);
        KST_VECTOR tan = mesh_unit(mesh_sub(curve(t1), curve(t0)));
        KST_VECTOR helper = std::fabs(tan.Z) < 0.9f ? KST_VECTOR{0, 0, 1} : KST_VECTOR{1, 0, 0};
        nrm = mesh_unit(mesh_cross(tan, helper));
        bin = mesh_cross(tan, nrm);
    };
    return mesh_surface(nu, nv, [&](float u, float v) {
        KST_VECTOR p, n, b;
        frame(u, p, n, b);
        float ph = v * 2 * MESH_PI, r = radius(u, v);
        return KST_VECTOR{p.X + r * (n.X * std::cos(ph) + b.X * std::sin(ph)),
                          p.Y + r * (n.Y * std::cos(ph) + b.Y * std::sin(ph)),
                          p.Z + r * (n.Z * std::cos(ph) + b.Z * std::sin(ph))};
    }, 1, 1, true);
}

mk_mesh mesh_prism(const std::vector<std::pair<float, float>>& outline, float y0, float y1)
{
    mk_mesh m;
    size_t n = outline.size();
    float cx = 0, cz = 0;
    for (auto [x, z] : outline)
        cx += x, cz += z;
    cx /= n;
    cz /= n;
    // Caps: the front (y0, facing -Y) and the back (y1, facing +Y).
    for (int side = 0; side < 2; ++side) {
        float y = side == 0 ? y0 : y1;
        int32_t base = static_cast<int32_t>(m.v.size());
        m.v.push_back({cx, y, cz});
        for (auto [x, z] : outline)
            m.v.push_back({x, y, z});
        for (size_t i = 0; i < n; ++i) {
            int32_t a = base + 1 + int32_t(i), b = base + 1 + int32_t((i + 1) % n);
            // The outline runs counter-clockwise in x-z seen from -Y.
            if (side == 0)
                m.f.push_back({base, a, b});
            else
                m.f.push_back({base, b, a});
        }
    }
    // Sides: one quad per outline edge with its own vertices (sharp edges).
    for (size_t i = 0; i < n; ++i) {
        auto [xa, za] = outline[i];
        auto [xb, zb] = outline[(i + 1) % n];
        int32_t base = static_cast<int32_t>(m.v.size());
        m.v.push_back({xa, y0, za});
        m.v.push_back({xb, y0, zb});
        m.v.push_back({xb, y1, zb});
        m.v.push_back({xa, y1, za});
        m.f.push_back({base, base + 2, base + 1});
        m.f.push_back({base, base + 3, base + 2});
    }
    m.uv.assign(m.v.size(), {0, 0});
    mesh_flat(m);
    return m;
}

void mesh_facet(mk_mesh& m)
{
    mk_mesh out;
    bool colours = m.c.size() == m.v.size(), uvs = m.uv.size() == m.v.size();
    for (const KST_FACE& f : m.f) {
        int32_t base = static_cast<int32_t>(out.v.size());
        for (int32_t k : {f.A, f.B, f.C}) {
            out.v.push_back(m.v[k]);
            if (colours)
                out.c.push_back(m.c[k]);
            out.uv.push_back(uvs ? m.uv[k] : KST_TEXTCOORD{0, 0});
        }
        out.f.push_back({base, base + 1, base + 2});
    }
    mesh_flat(out);
    m = std::move(out);
}

void mesh_flat(mk_mesh& m)
{
    // Every cap and side has vertices of its own, so a vertex takes the
    // normal of (any of) its faces.
    m.n.assign(m.v.size(), {0, 0, 1});
    for (const KST_FACE& f : m.f) {
        KST_VECTOR fn = mesh_unit(mesh_cross(mesh_sub(m.v[f.B], m.v[f.A]), mesh_sub(m.v[f.C], m.v[f.A])));
        for (int32_t k : {f.A, f.B, f.C})
            m.n[k] = fn;
    }
}

mk_mesh mesh_box(KST_VECTOR lo, KST_VECTOR hi)
{
    return mesh_prism({{lo.X, lo.Z}, {hi.X, lo.Z}, {hi.X, hi.Z}, {lo.X, hi.Z}}, lo.Y, hi.Y);
}

void mesh_append(mk_mesh& dst, const mk_mesh& src)
{
    int32_t base = static_cast<int32_t>(dst.v.size());
    bool colours = !dst.c.empty() || !src.c.empty();
    if (colours) {
        dst.c.resize(dst.v.size(), {1, 1, 1});
    }
    dst.v.insert(dst.v.end(), src.v.begin(), src.v.end());
    dst.n.insert(dst.n.end(), src.n.begin(), src.n.end());
    dst.uv.insert(dst.uv.end(), src.uv.begin(), src.uv.end());
    dst.uv.resize(dst.v.size(), {0, 0});
    if (colours) {
        dst.c.insert(dst.c.end(), src.c.begin(), src.c.end());
        dst.c.resize(dst.v.size(), {1, 1, 1});
    }
    for (KST_FACE f : src.f)
        dst.f.push_back({f.A + base, f.B + base, f.C + base});
}

void mesh_warp(mk_mesh& m, const std::function<KST_VECTOR(KST_VECTOR)>& fn)
{
    for (KST_VECTOR& p : m.v)
        p = fn(p);
    mesh_normals(m);
}

static KST_VECTOR mesh_rotate(KST_VECTOR p, float rot_z, float rot_x)
{
    float cz = std::cos(rot_z * MESH_PI / 180), sz = std::sin(rot_z * MESH_PI / 180);
    float cx = std::cos(rot_x * MESH_PI / 180), sx = std::sin(rot_x * MESH_PI / 180);
    KST_VECTOR q{p.X * cz - p.Y * sz, p.X * sz + p.Y * cz, p.Z};
    return {q.X, q.Y * cx - q.Z * sx, q.Y * sx + q.Z * cx};
}

void mesh_place(mk_mesh& m, float rot_z, float rot_x, KST_VECTOR move)
{
    for (KST_VECTOR& p : m.v) {
        p = mesh_rotate(p, rot_z, rot_x);
        p = {p.X + move.X, p.Y + move.Y, p.Z + move.Z};
    }
    for (KST_VECTOR& n : m.n)
        n = mesh_rotate(n, rot_z, rot_x);
}

void mesh_scale(mk_mesh& m, KST_VECTOR s)
{
    for (KST_VECTOR& p : m.v)
        p = {p.X * s.X, p.Y * s.Y, p.Z * s.Z};
    mesh_normals(m);
}

void mesh_normals(mk_mesh& m)
{
    std::map<std::tuple<int64_t, int64_t, int64_t>, KST_VECTOR> acc;
    std::vector<KST_VECTOR> fn(m.f.size());
    for (size_t i = 0; i < m.f.size(); ++i) {
        const KST_FACE& f = m.f[i];
        fn[i] = mesh_cross(mesh_sub(m.v[f.B], m.v[f.A]), mesh_sub(m.v[f.C], m.v[f.A]));
        for (int32_t k : {f.A, f.B, f.C}) {
            KST_VECTOR& a = acc[mesh_pos_key(m.v[k])];
            a = {a.X + fn[i].X, a.Y + fn[i].Y, a.Z + fn[i].Z};
        }
    }
    m.n.resize(m.v.size());
    for (size_t k = 0; k < m.v.size(); ++k) {
        auto it = acc.find(mesh_pos_key(m.v[k]));
        m.n[k] = it == acc.end() ? KST_VECTOR{0, 0, 1} : mesh_unit(it->second);
    }
}

void mesh_colour(mk_mesh& m, const std::function<KST_RGB(KST_VECTOR, KST_VECTOR)>& fn)
{
    m.c.resize(m.v.size());
    for (size_t k = 0; k < m.v.size(); ++k)
        m.c[k] = fn(m.v[k], m.n[k]);
}

void mesh_flip(mk_mesh& m)
{
    for (KST_FACE& f : m.f)
        std::swap(f.B, f.C);
    for (KST_VECTOR& n : m.n)
        n = {-n.X, -n.Y, -n.Z};
}

KST_VECTOR mesh_centre(const mk_mesh& m)
{
    if (m.v.empty())
        return {0, 0, 0};
    KST_VECTOR lo = m.v[0], hi = m.v[0];
    for (const KST_VECTOR& p : m.v) {
        lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)};
        hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
    }
    return {(lo.X + hi.X) / 2, (lo.Y + hi.Y) / 2, (lo.Z + hi.Z) / 2};
}

std::vector<KST_FACE> mesh_neighbours(const std::vector<KST_FACE>& faces)
{
    std::vector<KST_FACE> nb(faces.size(), KST_FACE{-1, -1, -1});
    // Per undirected edge: the face and edge still waiting for a partner.
    std::unordered_map<uint64_t, std::pair<int32_t, int32_t>> open;
    open.reserve(faces.size() * 2);
    auto corner = [&](size_t f, int k) { return k == 0 ? faces[f].A : k == 1 ? faces[f].B : faces[f].C; };
    auto set = [&](size_t f, int e, int32_t v) { (e == 0 ? nb[f].A : e == 1 ? nb[f].B : nb[f].C) = v; };
    for (size_t f = 0; f < faces.size(); ++f)
        for (int e = 0; e < 3; ++e) {
            uint32_t p = static_cast<uint32_t>(corner(f, e)), q = static_cast<uint32_t>(corner(f, (e + 1) % 3));
            uint64_t key = (uint64_t(std::min(p, q)) << 32) | std::max(p, q);
            auto it = open.find(key);
            if (it == open.end()) {
                open.emplace(key, std::make_pair(int32_t(f), e));
            } else if (it->second.first != int32_t(f)) {
                set(it->second.first, it->second.second, int32_t(f));
                set(f, e, it->second.first);
                open.erase(it);
            }
        }
    return nb;
}

// --- scenes ------------------------------------------------------------------------------
int32_t scene_material(mk_scene& s, const std::string& name, KST_RGB diffuse)
{
    KST_MATERIAL m{};
    kst_name_set(m.NAME, name);
    m.UTILE = m.VTILE = 1;
    m.TEXTURETYPE = 24;
    m.AMBIENT = {diffuse.R * 0.25f, diffuse.G * 0.25f, diffuse.B * 0.25f};
    m.DIFFUSE = diffuse;
    m.SPECULAR = {0.5f, 0.5f, 0.5f};
    m.SHINE = 30;
    m.MAGTYPE = 3;
    m.RECEIVELIGHT = 1;
    m.DEPTHMODE = 1;
    m.CONSTANTALPHA = 1;
    m.ENVMAPCOLOR = {1, 1, 1};
    m.ENVMAPALPHA = 1;
    s.materials.push_back(m);
    return static_cast<int32_t>(s.materials.size() - 1);
}

KST_MATERIAL& scene_mat(mk_scene& s, int32_t index)
{
    return s.materials.at(static_cast<size_t>(index));
}

int32_t scene_textured(mk_scene& s, const std::string& name, const std::string& texture, KST_RGB diffuse)
{
    int32_t i = scene_material(s, name, diffuse);
    kst_name_set(s.materials[i].TEXTNAME, texture);
    s.materials[i].TEXTURED = 1;
    return i;
}

mk_object& scene_object(mk_scene& s, const std::string& name, mk_mesh mesh, int32_t material)
{
    mk_object o;
    kst_name_set(o.rec.NAME, name);
    o.rec.VISIBLE = 1;
    o.rec.BACKFACECULL = 1;
    o.rec.MATERIAL = material;
    o.rec.POS = mesh_centre(mesh);
    for (int i = 0; i < 4; ++i)
        o.rec.INITMATRIX.m[i][i] = 1;
    o.mesh = std::move(mesh);
    s.objects.push_back(std::move(o));
    return s.objects.back();
}

mk_light& scene_light(mk_scene& s, int i, const std::string& name, KST_VECTOR pos, KST_RGB diffuse)
{
    mk_light& l = s.lights[i];
    kst_name_set(l.rec.NAME, name);
    l.rec.ENABLED = 1;
    l.rec.POS = pos;
    l.rec.AMBIENT = {0, 0, 0};
    l.rec.DIFFUSE = diffuse;
    l.rec.SPECULAR = diffuse;
    return l;
}

void scene_fog(mk_scene& s, uint8_t mode, float density, float start, float end, KST_RGBA colour)
{
    for (mk_object& o : s.objects) {
        o.rec.USEFOG = 1;
        o.rec.FOGMODE = mode;
        o.rec.FOGPARAM = {density, start, end};
        o.rec.FOGCOLOR = colour;
    }
}

static void mk_check_keys(const KST_KEYVECTOR* keys, int32_t n, const std::string& what)
{
    for (int32_t i = 1; i < n; ++i)
        if (keys[i].KEY < keys[i - 1].KEY)
            fatal_raise(what + ": keys out of frame order");
}

void mk_scene_check(const KST_SCENE& sc)
{
    std::string name = kst_name_get(sc.NAME);
    if (sc.CAMPOSKEYS < 2 || sc.CAMTARGETKEYS < 2)
        fatal_raise(name + ": the camera needs at least two position and two target keys");
    mk_check_keys(sc.CAMPOSITION, sc.CAMPOSKEYS, name + " camera");
    mk_check_keys(sc.CAMTARGET, sc.CAMTARGETKEYS, name + " camera target");
    for (int32_t i = 0; i < sc.OBJECTS; ++i) {
        const KST_OBJECT& o = sc.OBJ[i];
        std::string what = name + " object " + kst_name_get(o.NAME);
        if (o.MATERIAL < 0 || o.MATERIAL >= sc.MATERIALS)
            fatal_raise(what + ": material index out of range");
        for (int32_t f = 0; f < o.FACES; ++f) {
            for (int32_t k : {o.FACE[f].A, o.FACE[f].B, o.FACE[f].C})
                if (k < 0 || k >= o.VERTICES)
                    fatal_raise(what + ": face index out of range");
            for (int32_t k : {o.NEIGHBOUR[f].A, o.NEIGHBOUR[f].B, o.NEIGHBOUR[f].C})
                if (k < -1 || k >= o.FACES)
                    fatal_raise(what + ": neighbour out of range");
        }
        mk_check_keys(o.POSITION, o.POSKEYS, what);
    }
    for (int32_t l = 0; l < KST_LIGHTS; ++l)
        mk_check_keys(sc.LIGHT[l].POSITION, sc.LIGHT[l].POSKEYS, name + " light");
}

mk_scene_stats mk_scene_save(const mk_context& ctx, mk_scene& s)
{
    KST_SCENE sc{};
    kst_name_set(sc.NAME, s.name);
    sc.MAJORVERSION = 1;
    sc.MINORVERSION = 2;
    sc.FRAMES = s.frames;
    sc.CAMFOV = s.fov;
    sc.CAMNEAR = s.znear;
    sc.CAMFAR = s.zfar;
    sc.DRAWDISTANCE = s.drawdistance;
    sc.SHADOWVALUE = 0.5f;
    sc.MATERIALS = static_cast<int32_t>(s.materials.size());
    sc.MATERIAL = s.materials.data();
    sc.CAMPOSKEYS = static_cast<int32_t>(s.campos.size());
    sc.CAMPOSITION = s.campos.data();
    sc.CAMTARGETKEYS = static_cast<int32_t>(s.camtarget.size());
    sc.CAMTARGET = s.camtarget.data();
    std::vector<KST_OBJECT> objs;
    mk_scene_stats st;
    for (mk_object& o : s.objects) {
        KST_OBJECT r = o.rec;
        mk_mesh& m = o.mesh;
        o.neighbour = mesh_neighbours(m.f);
        r.VERTICES = static_cast<int32_t>(m.v.size());
        r.FACES = static_cast<int32_t>(m.f.size());
        r.VERTEX = m.v.data();
        r.FACE = m.f.data();
        r.ORIG_FACE = m.f.data();
        r.NEIGHBOUR = o.neighbour.data();
        r.NORMALS = m.n.size() == m.v.size();
        r.VERTEXNORMAL = r.NORMALS ? m.n.data() : nullptr;
        r.COLOR = !m.c.empty() && m.c.size() == m.v.size();
        r.CVERTEX = r.COLOR ? m.c.data() : nullptr;
        r.TEXTURE = s.materials.at(r.MATERIAL).TEXTURED && m.uv.size() == m.v.size();
        r.TEXCOORD = r.TEXTURE ? m.uv.data() : nullptr;
        r.POSKEYS = static_cast<int32_t>(o.track.size());
        r.POSITION = o.track.empty() ? nullptr : o.track.data();
        objs.push_back(r);
        st.faces += r.FACES;
        st.emitters += r.PARTICLE.ENABLED ? 1 : 0;
    }
    sc.OBJECTS = static_cast<int32_t>(objs.size());
    sc.OBJ = objs.data();
    for (int i = 0; i < KST_LIGHTS; ++i) {
        sc.LIGHT[i] = s.lights[i].rec;
        sc.LIGHT[i].POSKEYS = static_cast<int32_t>(s.lights[i].track.size());
        sc.LIGHT[i].POSITION = s.lights[i].track.empty() ? nullptr : s.lights[i].track.data();
    }
    st.objects = sc.OBJECTS;
    mk_scene_check(sc);
    KST_SCENE_SAVE(sc, mk_path(ctx, s.name + ".kst"));
    mk_progress(ctx, "scene " + s.name + ": " + std::to_string(st.objects) + " objects, " +
                         std::to_string(st.faces) + " triangles, " + std::to_string(st.emitters) + " emitters");
    return st;
}
