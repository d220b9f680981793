// engine/import/import_view.cpp - lights, camera and key tracks.
//
// Bounds: the bounding box of every object's vertices over the whole
// animation as the renderer plays it (frame 0, and each animated object's
// frame-0 box moved by its position track at up to 100 frames); its centre and half diagonal are the
// bounding sphere that the framing camera, the placed lights and the
// clipping planes are derived from, so an animated model stays in the
// picture. With --camera auto the file's cameras are ignored and the model
// is framed as for a file without any.
//
// Camera: the chosen camera's node gives the eye and the viewing direction;
// the target is placed along that direction at the distance of the model's
// centre. Its horizontal field of view becomes the vertical one for its aspect
// (4/3 when the file gives none). Without a camera, the camera orbits the
// bounding sphere at 20 degrees elevation, starting 30 degrees off the front
// of the model (the engine's -Y side, which is the front, +Z, of a Y-up file;
// the -X side for a model deeper than it is wide), at the
// distance where the whole sphere fits a 45-degree view, turning at most one
// full circle in ten seconds over FRAMES.
//
// Lights: up to eight, point and spot lights at their node's position,
// directional lights far out along their direction (the engine's lights are
// all positional). glTF lights, in physical units, are mapped by what of
// them reaches the model (view_light_reach), all by one factor; the others
// keep their colours cut to 1. No light brings an ambient above 0.5 (a glTF
// light one of a tenth of its diffuse). Without lights a key and a fill
// light are placed around the bounding sphere.
//
// Tracks: every animated object, light and the camera are sampled at every
// frame 0..FRAMES. Object tracks hold the motion of the node relative to frame
// 0, to which the vertices are baked: POSITION the offset of its origin,
// ROTATE the rotation since frame 0 (X, Y, Z, W), SCALE the scale factors
// since frame 0 along the node's own frame-0 axes. Tracks that never change
// are left out; a scene with rotation or scale tracks asks the renderer to
// play them (MOTION), about each object's pivot, its node's origin.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "engine/import/import_internal.h"
#include "support/error.h"
#include "support/mem.h"

namespace {

constexpr float view_fov = 0.785398163f;   // 45 degrees, the framing view
constexpr float view_elevation = 0.34906585f;
constexpr float view_pi = 3.14159265358979f;

aiVector3D view_v(const KST_VECTOR& v)
{
    return {v.X, v.Y, v.Z};
}

// Index of the node named `name`, or -1.
int32_t view_node(const imp_state& st, const aiString& name)
{
    for (size_t i = 0; i < st.nodes.size(); ++i)
        if (st.nodes[i].node->mName == name)
            return static_cast<int32_t>(i);
    return -1;
}

KST_RGB view_light_colour(const aiColor3D& c, float scale)
{
    auto ok = [](float v) { return std::isfinite(v) ? std::max(v, 0.0f) : 0.0f; };
    return {std::min(1.0f, ok(c.r) * scale), std::min(1.0f, ok(c.g) * scale), std::min(1.0f, ok(c.b) * scale)};
}

aiVector3D view_light_pos(const imp_state& st, size_t l, const std::vector<aiMatrix4x4>& world)
{
    const aiLight& light = *st.ai.mLights[l];
    int32_t n = st.light_node[l];
    aiMatrix4x4 m = n >= 0 ? world[n] : st.axis;
    if (light.mType == aiLightSource_DIRECTIONAL) {
        aiVector3D d = aiMatrix3x3(m) * light.mDirection;
        if (!(d.Length() > 0.0f) || !std::isfinite(d.Length()))
            d = aiVector3D(0, 0, -1);
        return st.centre - d.Normalize() * (st.radius * 4.0f);
    }
    aiVector3D p = m * light.mPosition;
    return std::isfinite(p.x + p.y + p.z) ? p : st.centre;
}

void view_placed_lights(imp_state& st, KST_SCENE& scene)
{
    const float r = st.radius;
    const aiVector3D c = st.centre;
    const aiVector3D at[2] = {c + aiVector3D(2.0f, -3.0f, 3.0f) * r, c + aiVector3D(-3.0f, -1.0f, 1.0f) * r};
    const char* names[2] = {"key", "fill"};
    const float diffuse[2] = {0.9f, 0.4f};
    for (int i = 0; i < 2; ++i) {
        KST_LIGHT& l = scene.LIGHT[i];
        kst_name_set(l.NAME, names[i]);
        l.ENABLED = 1;
        l.POS = imp_vec(at[i]);
        l.AMBIENT = i == 0 ? KST_RGB{0.25f, 0.25f, 0.25f} : KST_RGB{0, 0, 0};
        l.DIFFUSE = {diffuse[i], diffuse[i], diffuse[i]};
        l.SPECULAR = i == 0 ? KST_RGB{0.5f, 0.5f, 0.5f} : KST_RGB{0, 0, 0};
    }
}

// A light's colour and how strongly it lights the model.
struct view_light {
    aiColor3D colour{0, 0, 0};   // unit colour: brightest channel 1
    float     reach = 0.0f;      // what reaches the model's centre, in the file's units
    bool      physical = false;  // intensities in physical units (glTF, KHR lights)
};

float view_top(const aiColor3D& c)
{
    float top = std::max({c.r, c.g, c.b});
    return std::isfinite(top) ? std::max(top, 0.0f) : 0.0f;
}

// glTF lights (KHR_lights_punctual) come from assimp as colour times
// intensity in every channel (ambient too) with an inverse-square falloff:
// candela for point and spot lights, lux for directional ones. What reaches
// the model is the intensity over the squared distance to its centre (the
// bounding sphere's radius at least) for the former, the intensity for the
// latter. Lights of the other formats keep their colours as they are.
view_light view_light_reach(const imp_state& st, size_t l)
{
    const aiLight& light = *st.ai.mLights[l];
    view_light v;
    const float top = view_top(light.mColorDiffuse);
    v.colour = top > 0.0f ? light.mColorDiffuse * (1.0f / top) : aiColor3D(0, 0, 0);
    v.physical = light.mAttenuationQuadratic > 0.0f && light.mAttenuationConstant == 0.0f &&
                 light.mAttenuationLinear == 0.0f;
    v.reach = top;
    if (v.physical && light.mType != aiLightSource_DIRECTIONAL) {
        float d = std::max((view_light_pos(st, l, st.world0) - st.centre).Length(), st.radius);
        v.reach = top / (d * d * light.mAttenuationQuadratic);
    }
    if (!std::isfinite(v.reach))
        v.reach = 0.0f;
    return v;
}

// GL colours of a light. Physical lights are scaled together, so that the
// one lighting the model most gets diffuse 1 and the others keep their
// share of it, with an ambient of a tenth of the diffuse (the files have no
// ambient of their own; assimp's copy of the diffuse would wash the scene
// out). The others keep their colours, the brightest channel cut to 1, and
// an ambient of at most 0.5.
void view_light_colours(const aiLight& light, const view_light& v, float brightest, KST_LIGHT& k)
{
    if (v.physical) {
        const float share = brightest > 0.0f ? v.reach / brightest : 0.0f;
        const aiColor3D d = v.colour * share;
        k.DIFFUSE = k.SPECULAR = view_light_colour(d, 1.0f);
        k.AMBIENT = view_light_colour(d, 0.1f);
        return;
    }
    const float top = std::max(view_top(light.mColorDiffuse), view_top(light.mColorSpecular));
    const float scale = top > 1.0f ? 1.0f / top : 1.0f;
    k.DIFFUSE = view_light_colour(light.mColorDiffuse, scale);
    k.SPECULAR = view_light_colour(light.mColorSpecular, scale);
    k.AMBIENT = view_light_colour(light.mColorAmbient, 1.0f);
    k.AMBIENT = {std::min(k.AMBIENT.R, 0.5f), std::min(k.AMBIENT.G, 0.5f), std::min(k.AMBIENT.B, 0.5f)};
}

// The camera's position in its node's space. The 3DS reader stores the
// position both as the node's translation and as the camera's own offset,
// which would count it twice; an offset equal to the translation is dropped.
aiVector3D view_camera_offset(const imp_state& st)
{
    const aiVector3D& p = st.camera->mPosition;
    if (st.camera_node < 0)
        return p;
    const aiMatrix4x4& m = st.nodes[st.camera_node].node->mTransformation;
    aiVector3D t(m.a4, m.b4, m.c4);
    return (p - t).Length() <= 1e-5f * (1.0f + p.Length()) && p.Length() > 0.0f ? aiVector3D(0, 0, 0) : p;
}

// Camera eye and target from the chosen camera under the given transforms.
// A camera that does not face the model at all (beyond 60 degrees off its
// centre; the 3DS reader drops the target of target cameras) is aimed at the
// model's centre instead.
bool view_camera_at(const imp_state& st, const std::vector<aiMatrix4x4>& world, aiVector3D& eye,
                    aiVector3D& target)
{
    const aiCamera& cam = *st.camera;
    aiMatrix4x4 m = st.camera_node >= 0 ? world[st.camera_node] : st.axis;
    eye = m * view_camera_offset(st);
    aiVector3D dir = aiMatrix3x3(m) * cam.mLookAt;
    float len = dir.Length();
    if (!(len > 0.0f) || !std::isfinite(len))
        dir = aiVector3D(0, 1, 0), len = 1.0f;
    if (!std::isfinite(eye.x + eye.y + eye.z))
        eye = st.centre - aiVector3D(0, 3 * st.radius, 0);
    aiVector3D to_centre = st.centre - eye;
    float d = to_centre.Length();
    if (!(d > 0.0f) || !std::isfinite(d))
        d = st.radius;
    target = eye + dir / len * d;
    if (d > st.radius && (dir / len) * (to_centre / d) < 0.5f) {
        target = st.centre;
        return false;
    }
    return true;
}

KST_KEYVECTOR view_key(int32_t frame, const aiVector3D& v)
{
    return {frame, v.x, v.y, v.z};
}

void view_orbit(imp_state& st, KST_SCENE& scene)
{
    const float d = st.radius / std::sin(view_fov / 2.0f) * 1.1f;
    const int32_t frames = std::max(st.frames, 1);
    const float turn = std::min(2.0f * view_pi, 2.0f * view_pi * frames / (10.0f * st.opt.fps));
    const int32_t keys = std::clamp(frames, 2, 37);
    // A three-quarter view of the broad side: from the front (-Y) unless the
    // model is deeper than wide, then from the side (-X), turned 30 degrees.
    const float start = (st.extent.x >= st.extent.y ? -0.5f * view_pi : view_pi) - view_pi / 6.0f;
    scene.CAMPOSKEYS = keys;
    scene.CAMPOSITION = mem_array<KST_KEYVECTOR>(keys, "import camera position");
    for (int32_t k = 0; k < keys; ++k) {
        float a = start + turn * k / (keys - 1);
        aiVector3D p = st.centre + aiVector3D(std::cos(a) * std::cos(view_elevation),
                                              std::sin(a) * std::cos(view_elevation), std::sin(view_elevation)) * d;
        scene.CAMPOSITION[k] = view_key(static_cast<int32_t>(std::lround(1.0 * frames * k / (keys - 1))), p);
    }
    scene.CAMTARGETKEYS = 2;
    scene.CAMTARGET = mem_array<KST_KEYVECTOR>(2, "import camera target");
    scene.CAMTARGET[0] = view_key(0, st.centre);
    scene.CAMTARGET[1] = view_key(frames, st.centre);
    scene.CAMFOV = view_fov;
    scene.CAMNEAR = std::max((d - st.radius) * 0.5f, d * 1e-4f);
    scene.CAMFAR = (d + st.radius) * 2.0f;
}

void view_camera_static(imp_state& st, KST_SCENE& scene)
{
    aiVector3D eye, target;
    if (!view_camera_at(st, st.world0, eye, target))
        st.warn("camera " + std::string(st.camera->mName.C_Str()) + " does not face the model; aimed at its centre");
    const int32_t last = std::max(st.frames, 1);
    scene.CAMPOSKEYS = scene.CAMTARGETKEYS = 2;
    scene.CAMPOSITION = mem_array<KST_KEYVECTOR>(2, "import camera position");
    scene.CAMTARGET = mem_array<KST_KEYVECTOR>(2, "import camera target");
    scene.CAMPOSITION[0] = view_key(0, eye), scene.CAMPOSITION[1] = view_key(last, eye);
    scene.CAMTARGET[0] = view_key(0, target), scene.CAMTARGET[1] = view_key(last, target);
}

void view_camera_lens(const imp_state& st, KST_SCENE& scene)
{
    const aiCamera& cam = *st.camera;
    float aspect = cam.mAspect > 0.0f && std::isfinite(cam.mAspect) ? cam.mAspect : 4.0f / 3.0f;
    float h = cam.mHorizontalFOV;
    float v = (std::isfinite(h) && h > 0.0f && h < view_pi) ? 2.0f * std::atan(std::tan(h / 2.0f) / aspect)
                                                           : view_fov;
    scene.CAMFOV = std::clamp(v, 0.05f, 3.0f);
    float scale = st.opt.scale > 0.0f ? st.opt.scale : 1.0f;
    float n = cam.mClipPlaneNear * scale, f = cam.mClipPlaneFar * scale;
    aiVector3D eye, target;
    view_camera_at(st, st.world0, eye, target);
    float reach = (st.centre - eye).Length() + st.radius;
    if (!(n > 0.0f) || !std::isfinite(n))
        n = std::max(reach * 1e-3f, 1e-4f);
    if (!(f > n) || !std::isfinite(f))
        f = std::max(reach * 2.0f, n * 10.0f);
    // Clip planes that cut the model away (files whose units were scaled on
    // the way in keep their camera's planes in the old units) are widened so
    // that the whole bounding sphere lies between them.
    float gap = (st.centre - eye).Length() - st.radius;
    n = std::min(n, std::max(gap * 0.5f, reach * 1e-4f));
    f = std::max(f, reach * 1.5f);
    scene.CAMNEAR = n;
    scene.CAMFAR = f;
}

// Values that differ by no more than rounding noise of the sampling.
bool view_differs(float a, float b)
{
    return std::fabs(a - b) > 1e-6f * (1.0f + std::fabs(a) + std::fabs(b));
}

// The samples of one vector track, and whether it ever leaves its first value.
struct view_track {
    std::vector<KST_KEYVECTOR> keys;
    bool                       varies = false;
    void add(int32_t k, const aiVector3D& v)
    {
        if (!keys.empty() && (view_differs(keys[0].X, v.x) || view_differs(keys[0].Y, v.y) ||
                              view_differs(keys[0].Z, v.z)))
            varies = true;
        keys.push_back(view_key(k, v));
    }
};

template <class Key>
Key* view_copy(const std::vector<Key>& keys, int32_t& count, const char* label)
{
    count = static_cast<int32_t>(keys.size());
    Key* out = mem_array<Key>(count, label);
    std::copy(keys.begin(), keys.end(), out);
    return out;
}

struct view_object_tracks {
    view_track pos, scale;
    std::vector<KST_KEYQUAT> rot;
    bool rot_varies = false;
};

void view_object_sample(const imp_state& st, size_t i, int32_t k, const std::vector<aiMatrix4x4>& world,
                        view_object_tracks& t)
{
    aiVector3D s0, p0, s, p;
    aiQuaternion r0, r;
    st.world0[st.object_node[i]].Decompose(s0, r0, p0);
    world[st.object_node[i]].Decompose(s, r, p);
    t.pos.add(k, p - p0);
    auto ratio = [](float a, float b) { return b != 0.0f ? a / b : 1.0f; };
    t.scale.add(k, aiVector3D(ratio(s.x, s0.x), ratio(s.y, s0.y), ratio(s.z, s0.z)));
    aiQuaternion q = r * aiQuaternion(r0.w, -r0.x, -r0.y, -r0.z);
    q.Normalize();
    if (!t.rot.empty() && (view_differs(q.x, t.rot[0].X) || view_differs(q.y, t.rot[0].Y) ||
                           view_differs(q.z, t.rot[0].Z) || view_differs(q.w, t.rot[0].W)))
        t.rot_varies = true;
    t.rot.push_back({k, q.x, q.y, q.z, q.w});
}

void view_object_store(KST_OBJECT& o, const view_object_tracks& t)
{
    if (t.pos.varies)
        o.POSITION = view_copy(t.pos.keys, o.POSKEYS, "import position keys");
    if (t.rot_varies)
        o.ROTATE = view_copy(t.rot, o.ROTKEYS, "import rotation keys");
    if (t.scale.varies)
        o.SCALE = view_copy(t.scale.keys, o.SCALEKEYS, "import scale keys");
}

// A node's motion since frame 0: now . first^-1; its origin's move alone
// when it is flat at frame 0 (no inverse).
aiMatrix4x4 view_since_first(const aiMatrix4x4& now, const aiMatrix4x4& first)
{
    if (first.Determinant() == 0.0f) {
        aiMatrix4x4 move;
        aiMatrix4x4::Translation(aiVector3D(now.a4 - first.a4, now.b4 - first.b4, now.c4 - first.c4), move);
        return move;
    }
    return now * aiMatrix4x4(first).Inverse();
}

// The framing covers the model over its whole animation as the renderer
// plays it: at up to 100 frames spread over FRAMES, the eight corners of the
// frame-0 box of every animated object are carried by its node's motion
// since frame 0 (position, rotation and scale tracks), and join the bounds.
template <class Add>
void view_bounds_animated(const imp_state& st, const std::vector<aiVector3D>& box_lo,
                          const std::vector<aiVector3D>& box_hi, Add add)
{
    if (!st.any_animation || st.frames <= 0)
        return;
    const int32_t samples = std::min(st.frames, 100);
    std::vector<aiMatrix4x4> world = st.world0;
    for (int32_t s = 1; s <= samples; ++s) {
        const double frame = static_cast<double>(st.frames) * s / samples;
        imp_world_at(st, frame / st.opt.fps, world);
        for (size_t i = 0; i < st.objects.size(); ++i) {
            const int32_t n = st.object_node[i];
            if (!st.nodes[n].animated || st.objects[i].VERTICES <= 0)
                continue;
            const aiMatrix4x4 since = view_since_first(world[n], st.world0[n]);
            const aiVector3D& lo = box_lo[i];
            const aiVector3D& hi = box_hi[i];
            for (int corner = 0; corner < 8; ++corner)
                add(since * aiVector3D(corner & 1 ? hi.x : lo.x, corner & 2 ? hi.y : lo.y, corner & 4 ? hi.z : lo.z));
        }
    }
}

}  // namespace

KST_VECTOR imp_vec(const aiVector3D& v)
{
    return {v.x, v.y, v.z};
}

std::string imp_lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string imp_lower_ext(const std::string& path)
{
    return imp_lower(std::filesystem::path(path).extension().string());
}

std::string imp_unique_name(imp_names& names, const std::string& base_in)
{
    std::string base = base_in.substr(0, 255);
    std::string name = base;
    int& i = names.next[base];
    if (i < 2)
        i = 2;
    while (names.used.count(name)) {
        std::string suffix = "#" + std::to_string(i++);
        name = base.substr(0, 255 - suffix.size()) + suffix;
    }
    names.used.insert(name);
    return name;
}

void imp_bounds(imp_state& st)
{
    aiVector3D lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    auto add = [&](const aiVector3D& v) {
        if (!std::isfinite(v.x + v.y + v.z))
            return;
        lo = aiVector3D(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
        hi = aiVector3D(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
    };
    std::vector<aiVector3D> box_lo, box_hi;   // per object, frame 0
    for (const KST_OBJECT& o : st.objects) {
        aiVector3D olo(1e30f, 1e30f, 1e30f), ohi(-1e30f, -1e30f, -1e30f);
        for (int32_t i = 0; i < o.VERTICES; ++i) {
            aiVector3D v = view_v(o.VERTEX[i]);
            olo = aiVector3D(std::min(olo.x, v.x), std::min(olo.y, v.y), std::min(olo.z, v.z));
            ohi = aiVector3D(std::max(ohi.x, v.x), std::max(ohi.y, v.y), std::max(ohi.z, v.z));
        }
        box_lo.push_back(olo);
        box_hi.push_back(ohi);
        if (o.VERTICES > 0)
            add(olo), add(ohi);
    }
    view_bounds_animated(st, box_lo, box_hi, add);
    imp_skin_bounds(st, add);
    if (lo.x > hi.x) {
        lo = hi = aiVector3D(0, 0, 0);
    }
    st.centre = (lo + hi) * 0.5f;
    st.extent = hi - lo;
    st.radius = (hi - lo).Length() * 0.5f;
    if (!(st.radius > 1e-6f) || !std::isfinite(st.radius))
        st.radius = 1.0f;
}

void imp_lights_map(imp_state& st, KST_SCENE& scene)
{
    unsigned n = st.ai.mLights ? st.ai.mNumLights : 0;
    if (n > static_cast<unsigned>(KST_LIGHTS))
        st.warn(std::to_string(n - KST_LIGHTS) + " lights beyond the eighth dropped");
    n = std::min(n, static_cast<unsigned>(KST_LIGHTS));
    st.light_node.assign(n, -1);
    std::vector<view_light> mapped(n);
    float brightest = 0.0f;
    for (unsigned l = 0; l < n; ++l) {
        if (!st.ai.mLights[l])
            continue;
        st.light_node[l] = view_node(st, st.ai.mLights[l]->mName);
        mapped[l] = view_light_reach(st, l);
        if (mapped[l].physical)
            brightest = std::max(brightest, mapped[l].reach);
    }
    int32_t used = 0;
    for (unsigned l = 0; l < n; ++l) {
        const aiLight* light = st.ai.mLights[l];
        if (!light)
            continue;
        KST_LIGHT& k = scene.LIGHT[used++];
        kst_name_set(k.NAME, light->mName.length ? light->mName.C_Str() : "light" + std::to_string(l));
        k.ENABLED = 1;
        k.POS = imp_vec(view_light_pos(st, l, st.world0));
        view_light_colours(*light, mapped[l], brightest, k);
    }
    st.summary.lights = used;
    if (used == 0) {
        view_placed_lights(st, scene);
        st.summary.lights = 2;
    }
}

void imp_camera_map(imp_state& st, KST_SCENE& scene)
{
    st.camera = nullptr;
    for (unsigned c = 0; st.ai.mCameras && c < st.ai.mNumCameras; ++c) {
        const aiCamera* cam = st.ai.mCameras[c];
        if (st.opt.camera == "auto")
            break;
        if (cam && (st.opt.camera.empty() || st.opt.camera == cam->mName.C_Str())) {
            st.camera = cam;
            break;
        }
    }
    if (!st.camera && !st.opt.camera.empty() && st.opt.camera != "auto")
        fatal_raise(st.source + ": no camera named " + st.opt.camera);
    if (!st.frames)
        st.frames = st.camera ? 1 : static_cast<int32_t>(std::lround(10.0f * st.opt.fps));
    if (!st.camera) {
        view_orbit(st, scene);
        return;
    }
    st.camera_node = view_node(st, st.camera->mName);
    st.summary.camera_imported = true;
    view_camera_lens(st, scene);
    view_camera_static(st, scene);
}

void imp_frames_budget(imp_state& st)
{
    if (!st.any_animation)
        return;
    // Every animated object costs three keys a frame: a very long animation
    // over many objects is cut to the options' budget of keys rather than
    // exhausting memory. The cut comes before the camera and the lights are
    // keyed, so that none of their keys lies past FRAMES.
    int64_t animated = 1;
    for (size_t i = 0; i < st.objects.size(); ++i)
        animated += st.nodes[st.object_node[i]].animated ? 3 : 0;
    const int64_t budget = std::max<int64_t>(st.opt.key_budget, 2 * animated);
    if ((st.frames + 1) * animated > budget) {
        st.frames = static_cast<int32_t>(std::max<int64_t>(1, budget / animated - 1));
        st.warn("animation cut to " + std::to_string(st.frames) + " frames to keep the tracks in memory");
    }
}

void imp_tracks_sample(imp_state& st, KST_SCENE& scene)
{
    if (!st.any_animation)
        return;
    std::vector<view_object_tracks> objects(st.objects.size());
    std::vector<view_track> lights(st.light_node.size());
    view_track eye, target;
    std::vector<aiMatrix4x4> world = st.world0;
    for (int32_t k = 0; k <= st.frames; ++k) {
        imp_world_at(st, k / static_cast<double>(st.opt.fps), world);
        for (size_t i = 0; i < st.objects.size(); ++i)
            if (st.nodes[st.object_node[i]].animated && st.objects[i].JOINTS == 0)  // skins move by joints
                view_object_sample(st, i, k, world, objects[i]);
        for (size_t l = 0; l < lights.size(); ++l)
            if (st.light_node[l] >= 0 && st.nodes[st.light_node[l]].animated)
                lights[l].add(k, view_light_pos(st, l, world));
        if (st.camera && st.camera_node >= 0 && st.nodes[st.camera_node].animated) {
            aiVector3D e, t;
            view_camera_at(st, world, e, t);
            eye.add(k, e);
            target.add(k, t);
        }
    }
    for (size_t i = 0; i < st.objects.size(); ++i)
        view_object_store(st.objects[i], objects[i]);
    int32_t slot = 0;
    for (size_t l = 0; l < lights.size(); ++l) {
        if (!st.ai.mLights[l])
            continue;
        KST_LIGHT& k = scene.LIGHT[slot++];
        if (lights[l].varies)
            k.POSITION = view_copy(lights[l].keys, k.POSKEYS, "import light keys");
    }
    if (eye.varies || target.varies) {
        mem_free_array(scene.CAMPOSITION);
        mem_free_array(scene.CAMTARGET);
        scene.CAMPOSITION = view_copy(eye.keys, scene.CAMPOSKEYS, "import camera position");
        scene.CAMTARGET = view_copy(target.keys, scene.CAMTARGETKEYS, "import camera target");
    }
}
