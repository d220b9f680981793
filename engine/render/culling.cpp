// engine/render/culling.cpp - view-volume culling and grazing faces of object draws.
//
// The scene passes cull whole objects against the frame's view volume: the
// six planes come from projection x model-view as GL holds them when the
// passes start, and an object is skipped only when its bounding sphere (about
// the pivot, moved by the track) or all eight corners of its box (moved by the
// full transform, static rotation included) lie beyond one plane by more than
// a margin. For objects whose rotation and scale tracks play, only the box
// counts: a scale can carry vertices outside the sphere. Everything is computed in double precision and the margin is a
// thousandth of the object's size plus a thousandth of the plane's offset, far
// more than GL's single-precision transform can move a vertex, so no object
// that could touch one pixel is ever skipped.
//
// Grazing faces: Mesa's llvmpipe samples an anisotropic texture with an
// elliptical filter whose footprint it does not bound; a face seen almost
// exactly edge on (a sliver at a sphere's limb, one pixel or less) gets
// derivatives so large that this one pixel can take minutes: seen from the
// camera, the vanishing line of the face's plane passes a few pixels from it,
// and the 2 x 2 pixel quads the rasteriser differentiates over reach towards
// it. The object draw asks kst_cull_face_grazing for every face of a textured
// mesh and draws those whose vanishing line is within 3.5 pixels (measured:
// 2.6 pixels took 6 to 160 s) with anisotropy 1; the other faces keep their
// filtering and their order, so only the sliver pixels of such faces can change.
#include "engine/render/culling.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "engine/render/draw.h"
#include "engine/scene/prepare.h"
#include "engine/scene/spline.h"

// --- module state -------------------------------------------------------------
struct kst_frustum {
    bool   camera = false;   // inside the scene passes: KST_CAMERAPOS is the camera
    bool   active = false;   // culling on
    float  grazing_cos = 0.0f;   // faces below this |cos| graze (0: none)
    double plane[6][4];   // a x + b y + c z + d >= 0 inside, (a, b, c) of unit length
};
static kst_frustum kst_cull_frustum;

static bool kst_cull_disabled()
{
    static const bool disabled = std::getenv("KESTREL_NO_CULLING") != nullptr;
    return disabled;
}

// --- internal helpers ---------------------------------------------------------
static constexpr double kst_cull_pi = 3.14159265358979323846;

// Row-major 3x4 product a . b (both affine).
static kst_cull_transform kst_cull_mul(const kst_cull_transform& a, const kst_cull_transform& b)
{
    kst_cull_transform r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) {
            double v = j == 3 ? a.m[i][3] : 0.0;
            for (int k = 0; k < 3; ++k)
                v += a.m[i][k] * b.m[k][j];
            r.m[i][j] = v;
        }
    return r;
}

static kst_cull_transform kst_cull_translate(double x, double y, double z)
{
    return kst_cull_transform{{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}}};
}

// glRotate about one coordinate axis (0 X, 1 Y, 2 Z) by `degrees`.
static kst_cull_transform kst_cull_rotate(int axis, double degrees)
{
    double a = degrees * kst_cull_pi / 180.0, c = std::cos(a), s = std::sin(a);
    int p = (axis + 1) % 3, q = (axis + 2) % 3;
    kst_cull_transform r = kst_cull_translate(0, 0, 0);
    r.m[p][p] = c;
    r.m[p][q] = -s;
    r.m[q][p] = s;
    r.m[q][q] = c;
    return r;
}

static double kst_cull_plane_distance(const double* plane, double x, double y, double z)
{
    return plane[0] * x + plane[1] * y + plane[2] * z + plane[3];
}

static bool kst_cull_sphere_outside(const double* plane, const double* c, double radius)
{
    double margin = 1e-3 * radius + 1e-3 * std::fabs(plane[3]) + 1e-3;
    return kst_cull_plane_distance(plane, c[0], c[1], c[2]) < -(radius + margin);
}

static bool kst_cull_box_outside(const double* plane, const kst_cull_transform& t, const kst_bounds& b,
                                 double size)
{
    double margin = 1e-3 * size + 1e-3 * std::fabs(plane[3]) + 1e-3;
    for (int corner = 0; corner < 8; ++corner) {
        double v[3] = {corner & 1 ? b.hi.X : b.lo.X, corner & 2 ? b.hi.Y : b.lo.Y, corner & 4 ? b.hi.Z : b.lo.Z};
        double w[3];
        for (int i = 0; i < 3; ++i)
            w[i] = t.m[i][0] * v[0] + t.m[i][1] * v[1] + t.m[i][2] * v[2] + t.m[i][3];
        if (kst_cull_plane_distance(plane, w[0], w[1], w[2]) >= -margin)
            return false;
    }
    return true;
}

// --- public functions ---------------------------------------------------------
kst_cull_transform kst_cull_object_transform(const KST_SCENE& scene, int32_t index, float frame)
{
    const KST_OBJECT& o = scene.OBJ[index];
    KST_VECTOR track{0.0f, 0.0f, 0.0f};
    if (o.POSKEYS != 0)
        SPLINE_LINEAR_POS(track, scene, index, frame);
    kst_cull_transform t = kst_cull_translate(static_cast<double>(track.X) + o.POS.X,
                                              static_cast<double>(track.Y) + o.POS.Y,
                                              static_cast<double>(track.Z) + o.POS.Z);
    t = kst_cull_mul(t, kst_cull_rotate(0, o.STATICROTATE.X));
    t = kst_cull_mul(t, kst_cull_rotate(1, o.STATICROTATE.Y));
    t = kst_cull_mul(t, kst_cull_rotate(2, o.STATICROTATE.Z));
    kst_cull_transform motion = kst_cull_translate(0, 0, 0);
    double linear[3][3];
    const bool moves = kst_spline_motion(linear, scene, index, frame);
    if (moves) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                motion.m[r][c] = linear[r][c];
        t = kst_cull_mul(t, motion);
    }
    t = kst_cull_mul(t, kst_cull_translate(-o.POS.X, -o.POS.Y, -o.POS.Z));
    t.motion = moves;
    return t;
}

KST_VECTOR kst_cull_eye_in_object(const kst_cull_transform& t, const KST_VECTOR& eye)
{
    double d[3] = {eye.X - t.m[0][3], eye.Y - t.m[1][3], eye.Z - t.m[2][3]};
    double inv[3][3];
    if (t.motion) {
        const double linear[3][3] = {{t.m[0][0], t.m[0][1], t.m[0][2]},
                                     {t.m[1][0], t.m[1][1], t.m[1][2]},
                                     {t.m[2][0], t.m[2][1], t.m[2][2]}};
        if (!kst_spline_invert(linear, inv))
            return eye;   // flattened by a scale of 0: nothing to see edge on
    } else {
        // The linear part is a rotation: its inverse is its transpose.
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 3; ++k)
                inv[i][k] = t.m[k][i];
    }
    double r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = inv[i][0] * d[0] + inv[i][1] * d[1] + inv[i][2] * d[2];
    return KST_VECTOR{static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2])};
}

bool kst_cull_face_grazing(const KST_OBJECT& o, int32_t face, const KST_VECTOR& eye)
{
    const KST_VECTOR& n = o.FACENORMAL[face];
    const KST_VECTOR& c = o.FACECENTER[face];
    float dx = eye.X - c.X, dy = eye.Y - c.Y, dz = eye.Z - c.Z;
    float dot = n.X * dx + n.Y * dy + n.Z * dz;
    float nn = n.X * n.X + n.Y * n.Y + n.Z * n.Z;
    float dd = dx * dx + dy * dy + dz * dz;
    const float limit = kst_cull_frustum.grazing_cos * kst_cull_frustum.grazing_cos;
    return nn > 0.0f && dot * dot < limit * nn * dd;
}

void kst_render_cull_begin()
{
    kst_cull_frustum.active = false;
    kst_cull_frustum.camera = true;
    GLfloat p[16], mv[16];
    GLint viewport[4] = {0, 0, 0, 0};
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Pixels per radian near the middle of the view: cot(fov / 2) x half the height.
    double per_radian = static_cast<double>(p[5]) * viewport[3] / 2.0;
    kst_cull_frustum.grazing_cos =
        per_radian > 0.0 && std::isfinite(per_radian) ? static_cast<float>(KST_GRAZING_PIXELS / per_radian) : 0.0f;
    if (kst_cull_disabled())
        return;
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    double m[4][4];   // clip = P . MV, m[row][column]
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double v = 0.0;
            for (int k = 0; k < 4; ++k)
                v += static_cast<double>(p[k * 4 + r]) * mv[c * 4 + k];
            m[r][c] = v;
        }
    for (int i = 0; i < 6; ++i) {
        int axis = i / 2;
        double sign = i % 2 == 0 ? 1.0 : -1.0;
        double* pl = kst_cull_frustum.plane[i];
        for (int c = 0; c < 4; ++c)
            pl[c] = m[3][c] + sign * m[axis][c];
        double len = std::sqrt(pl[0] * pl[0] + pl[1] * pl[1] + pl[2] * pl[2]);
        if (!(len > 0.0) || !std::isfinite(len))
            return;   // a degenerate camera: cull nothing
        for (int c = 0; c < 4; ++c)
            pl[c] /= len;
    }
    kst_cull_frustum.active = true;
}

void kst_render_cull_end()
{
    kst_cull_frustum.active = false;
    kst_cull_frustum.camera = false;
    kst_cull_frustum.grazing_cos = 0.0f;
}

bool kst_render_camera_known()
{
    return kst_cull_frustum.camera;
}

bool kst_render_culled(const KST_SCENE& scene, int32_t index, float frame)
{
    if (!kst_cull_frustum.active || index < 0 || index >= scene.kst_bounds_count || !scene.kst_object_bounds)
        return false;
    const KST_OBJECT& o = scene.OBJ[index];
    const kst_bounds& b = scene.kst_object_bounds[index];
    if (!kst_bounds_current(b, o) || !std::isfinite(b.radius))
        return false;
    kst_cull_transform t = kst_cull_object_transform(scene, index, frame);
    double c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = t.m[i][0] * o.POS.X + t.m[i][1] * o.POS.Y + t.m[i][2] * o.POS.Z + t.m[i][3];
    // A scale track can stretch the object beyond its sphere; its box, moved
    // corner by corner, still holds it.
    for (const auto& plane : kst_cull_frustum.plane)
        if ((!t.motion && kst_cull_sphere_outside(plane, c, b.radius)) ||
            kst_cull_box_outside(plane, t, b, b.radius))
            return true;
    return false;
}
