// engine/scene/spline.cpp - key-frame interpolation (see spline.h).
//
// Camera position and target follow cubic Bezier segments whose inner control
// points are P[k] + E[k] and P[k+1] - E[k+1], with tangents E[k] =
// (P[k+1] - P[k-1]) / 6 (a uniform Catmull-Rom curve; the end tangents come
// from the first and last pair of keys). Objects and lights move linearly.
//
// Segment search is a forward scan in which the last matching segment wins; it
// assumes keys in non-decreasing frame order. For keys out of order the scan
// may find nothing: the camera then reuses the segment of the previous call
// (POS_ACT / TAR_ACT), the linear operations use segment 0. Either index is
// clamped to the current array before use, and a segment of zero frames gives
// its first key, so unordered keys and indices left from another scene never
// read outside the arrays or divide by zero.
//
// Rotation tracks (unit quaternions) are interpolated spherically between
// their keys, along the shorter of the two arcs (q and -q are the same
// rotation), in double; scale tracks linearly, like positions.
//
// The motion matrix turns a quaternion and three scale factors into the 3 x 3
// matrix the renderer multiplies by. Scale tracks hold factors along the
// object's own axes at frame 0, so a non-uniform scale is applied in the
// frame of INITMATRIX (made orthonormal; the world axes when it is singular
// or not finite) and then turned with the object.
//
// Precision: DELTA and the four weights are held as floats between steps; the
// weighted sums (and the linear blends) are formed in double and rounded to
// float once per component.
#include "engine/scene/spline.h"

#include <cmath>

// --- unit state (shared by every scene) --------------------------------------------
int32_t POS_KEYS = 0, TAR_KEYS = 0;
float   POS_KEYMIN = 0.0f, POS_KEYMAX = 0.0f, TAR_KEYMIN = 0.0f, TAR_KEYMAX = 0.0f;
int32_t POS_ACT = 0, TAR_ACT = 0;
float   DELTA = 0.0f, B0 = 0.0f, B1 = 0.0f, B2 = 0.0f, B3 = 0.0f;
int32_t I = 0;

// --- internal helpers --------------------------------------------------------------
static KST_VECTOR spline_key_vector(const KST_KEYVECTOR& k)
{
    return KST_VECTOR{k.X, k.Y, k.Z};
}

// Last segment a in 0..n-2 with K[a].KEY <= f < K[a+1].KEY, or `keep` when none.
static int32_t spline_find_segment(const KST_KEYVECTOR* keys, int32_t n, float frame, int32_t keep)
{
    int32_t act = keep;
    for (I = 0; I <= n - 2; ++I)
        if (static_cast<float>(keys[I].KEY) <= frame && frame < static_cast<float>(keys[I + 1].KEY))
            act = I;
    return act;
}

static int32_t spline_clamp_segment(int32_t act, int32_t n)
{
    if (act < 0)
        return 0;
    return act > n - 2 ? n - 2 : act;
}

// Frame span of segment a as a float (integer difference, no overflow).
static float spline_span(const KST_KEYVECTOR* keys, int32_t a)
{
    return static_cast<float>(static_cast<int64_t>(keys[a + 1].KEY) - keys[a].KEY);
}

static void spline_set_weights(float d)
{
    DELTA = d;
    double e = 1.0 - static_cast<double>(d);
    B0 = static_cast<float>(e * e * e);
    B1 = static_cast<float>(3.0 * d * e * e);
    B2 = static_cast<float>(3.0 * d * d * e);
    B3 = static_cast<float>(static_cast<double>(d) * d * d);
}

static float spline_bezier(float p0, float e0, float p1, float e1)
{
    double sum = static_cast<double>(B0) * p0 + static_cast<double>(B1) * (static_cast<double>(p0) + e0) +
                 static_cast<double>(B2) * (static_cast<double>(p1) - e1) + static_cast<double>(B3) * p1;
    return static_cast<float>(sum);
}

// One camera track: keys P with tangents E (E may be absent: zero tangents).
static void spline_track(KST_VECTOR& out, const KST_KEYVECTOR* p, const KST_VECTOR* e, int32_t n,
                         float keymin, float keymax, int32_t& act, float frame)
{
    if (n <= 0 || !p)
        return;
    if (frame <= keymin) {
        out = spline_key_vector(p[0]);
        return;
    }
    if (frame >= keymax || n == 1) {
        out = spline_key_vector(p[n - 1]);
        return;
    }
    act = spline_find_segment(p, n, frame, act);
    int32_t a = spline_clamp_segment(act, n);
    float span = spline_span(p, a);
    spline_set_weights(span != 0.0f ? (frame - static_cast<float>(p[a].KEY)) / span : 0.0f);
    const KST_VECTOR zero{0.0f, 0.0f, 0.0f};
    const KST_VECTOR& e0 = e ? e[a] : zero;
    const KST_VECTOR& e1 = e ? e[a + 1] : zero;
    out.X = spline_bezier(p[a].X, e0.X, p[a + 1].X, e1.X);
    out.Y = spline_bezier(p[a].Y, e0.Y, p[a + 1].Y, e1.Y);
    out.Z = spline_bezier(p[a].Z, e0.Z, p[a + 1].Z, e1.Z);
}

static void spline_init_track(const KST_KEYVECTOR* p, KST_VECTOR* e, int32_t n)
{
    if (n <= 0 || !p || !e)
        return;
    if (n == 1) {
        e[0] = KST_VECTOR{0.0f, 0.0f, 0.0f};  // a single key is a constant
        return;
    }
    SPLINE_INIT_EASE(e[0], p[0], p[1]);
    SPLINE_INIT_EASE(e[n - 1], p[n - 2], p[n - 1]);
    for (I = 1; I <= n - 2; ++I)
        SPLINE_INIT_EASE(e[I], p[I - 1], p[I + 1]);
}

static void spline_load_ranges(const KST_SCENE& scene)
{
    POS_KEYS = scene.CAMPOSKEYS;
    TAR_KEYS = scene.CAMTARGETKEYS;
    bool pos = POS_KEYS > 0 && scene.CAMPOSITION;
    bool tar = TAR_KEYS > 0 && scene.CAMTARGET;
    POS_KEYMIN = pos ? static_cast<float>(scene.CAMPOSITION[0].KEY) : 0.0f;
    POS_KEYMAX = pos ? static_cast<float>(scene.CAMPOSITION[POS_KEYS - 1].KEY) : 0.0f;
    TAR_KEYMIN = tar ? static_cast<float>(scene.CAMTARGET[0].KEY) : 0.0f;
    TAR_KEYMAX = tar ? static_cast<float>(scene.CAMTARGET[TAR_KEYS - 1].KEY) : 0.0f;
}

// Linear interpolation over keys k[0..n-1]; out unchanged when there are none.
static void spline_linear(KST_VECTOR& out, const KST_KEYVECTOR* k, int32_t n, float frame)
{
    if (n <= 0 || !k)
        return;
    if (frame <= static_cast<float>(k[0].KEY)) {
        out = spline_key_vector(k[0]);
        return;
    }
    if (frame >= static_cast<float>(k[n - 1].KEY) || n == 1) {
        out = spline_key_vector(k[n - 1]);
        return;
    }
    int32_t a = spline_clamp_segment(spline_find_segment(k, n, frame, 0), n);
    float span = spline_span(k, a);
    if (span == 0.0f) {
        out = spline_key_vector(k[a]);
        return;
    }
    double t = static_cast<double>(frame - static_cast<float>(k[a].KEY)) / span;
    out.X = static_cast<float>((static_cast<double>(k[a + 1].X) - k[a].X) * t + k[a].X);
    out.Y = static_cast<float>((static_cast<double>(k[a + 1].Y) - k[a].Y) * t + k[a].Y);
    out.Z = static_cast<float>((static_cast<double>(k[a + 1].Z) - k[a].Z) * t + k[a].Z);
}

// Segment a of quaternion keys k[0..n-1] holding `frame` (k[a].KEY <= frame <
// k[a+1].KEY, the last such), or 0; the same forward scan as the vector keys.
static int32_t spline_quat_segment(const KST_KEYQUAT* k, int32_t n, float frame)
{
    int32_t act = 0;
    for (int32_t a = 0; a <= n - 2; ++a)
        if (static_cast<float>(k[a].KEY) <= frame && frame < static_cast<float>(k[a + 1].KEY))
            act = a;
    return act;
}

// Unit quaternion of a key (the identity for a zero or non-finite one).
static void spline_quat_unit(const KST_KEYQUAT& k, double q[4])
{
    q[0] = k.X, q[1] = k.Y, q[2] = k.Z, q[3] = k.W;
    double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    if (!(len > 0.0) || !std::isfinite(len)) {
        q[0] = q[1] = q[2] = 0.0, q[3] = 1.0;
        return;
    }
    for (int i = 0; i < 4; ++i)
        q[i] /= len;
}

// Spherical linear interpolation from a to b by t, along the shorter arc.
static void spline_slerp(const double a[4], const double b_in[4], double t, double out[4])
{
    double b[4] = {b_in[0], b_in[1], b_in[2], b_in[3]};
    double c = a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
    if (c < 0.0) {
        for (double& v : b)
            v = -v;
        c = -c;
    }
    double wa = 1.0 - t, wb = t;
    if (c < 0.9999) {   // nearly equal keys: the straight blend is as good
        double angle = std::acos(c), s = std::sin(angle);
        wa = std::sin((1.0 - t) * angle) / s;
        wb = std::sin(t * angle) / s;
    }
    double len = 0.0;
    for (int i = 0; i < 4; ++i) {
        out[i] = wa * a[i] + wb * b[i];
        len += out[i] * out[i];
    }
    len = std::sqrt(len);
    for (int i = 0; i < 4; ++i)
        out[i] /= len;
}

static void spline_identity(double m[3][3])
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = r == c ? 1.0 : 0.0;
}

// Rotation matrix of a unit quaternion (X, Y, Z, W).
static void spline_quat_matrix(const KST_KEYQUAT& q, double m[3][3])
{
    const double x = q.X, y = q.Y, z = q.Z, w = q.W;
    m[0][0] = 1 - 2 * (y * y + z * z); m[0][1] = 2 * (x * y - z * w);     m[0][2] = 2 * (x * z + y * w);
    m[1][0] = 2 * (x * y + z * w);     m[1][1] = 1 - 2 * (x * x + z * z); m[1][2] = 2 * (y * z - x * w);
    m[2][0] = 2 * (x * z - y * w);     m[2][1] = 2 * (y * z + x * w);     m[2][2] = 1 - 2 * (x * x + y * y);
}

// The columns of INITMATRIX's 3 x 3 block made orthonormal (Gram-Schmidt);
// false when they are not independent or not finite.
static bool spline_init_axes(const KST_MATRIX& init, double b[3][3])
{
    double col[3][3];
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r)
            col[c][r] = init.m[r][c];
        for (int k = 0; k < c; ++k) {
            double d = col[c][0] * col[k][0] + col[c][1] * col[k][1] + col[c][2] * col[k][2];
            for (int r = 0; r < 3; ++r)
                col[c][r] -= d * col[k][r];
        }
        double len = std::sqrt(col[c][0] * col[c][0] + col[c][1] * col[c][1] + col[c][2] * col[c][2]);
        if (!(len > 1e-12) || !std::isfinite(len))
            return false;
        for (int r = 0; r < 3; ++r)
            col[c][r] /= len;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            b[r][c] = col[c][r];
    return true;
}

static void spline_mul3(const double a[3][3], const double b[3][3], double out[3][3])
{
    double t[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = t[r][c];
}

// B . diag(s) . B^T: the scale along the object's frame-0 axes.
static void spline_scale_matrix(const KST_OBJECT& o, const KST_VECTOR& s, double m[3][3])
{
    const double f[3] = {s.X, s.Y, s.Z};
    double b[3][3];
    if (!spline_init_axes(o.INITMATRIX, b))
        spline_identity(b);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] = b[r][0] * f[0] * b[c][0] + b[r][1] * f[1] * b[c][1] + b[r][2] * f[2] * b[c][2];
}

// --- public functions ----------------------------------------------------------------
void SPLINE_INIT_EASE(KST_VECTOR& ease, const KST_KEYVECTOR& k1, const KST_KEYVECTOR& k2)
{
    ease.X = (k2.X - k1.X) / 6.0f;
    ease.Y = (k2.Y - k1.Y) / 6.0f;
    ease.Z = (k2.Z - k1.Z) / 6.0f;
}

void SPLINE_INITIALIZE(KST_SCENE& scene)
{
    spline_load_ranges(scene);
    spline_init_track(scene.CAMPOSITION, scene.CAMPOSEASE, scene.CAMPOSKEYS);
    spline_init_track(scene.CAMTARGET, scene.CAMTARGETEASE, scene.CAMTARGETKEYS);
}

void SPLINE_CAMVECTORS(KST_VECTOR& pos, KST_VECTOR& target, const KST_SCENE& scene, float frame)
{
    spline_load_ranges(scene);
    spline_track(pos, scene.CAMPOSITION, scene.CAMPOSEASE, POS_KEYS, POS_KEYMIN, POS_KEYMAX, POS_ACT,
                 frame);
    spline_track(target, scene.CAMTARGET, scene.CAMTARGETEASE, TAR_KEYS, TAR_KEYMIN, TAR_KEYMAX,
                 TAR_ACT, frame);
}

void SPLINE_LINEAR_POS(KST_VECTOR& pos, const KST_SCENE& scene, int32_t index, float frame)
{
    if (!scene.OBJ || index < 0 || index >= scene.OBJECTS)
        return;
    const KST_OBJECT& o = scene.OBJ[index];
    spline_linear(pos, o.POSITION, o.POSKEYS, frame);
}

void SPLINE_LIGHT_POS(KST_VECTOR& pos, const KST_SCENE& scene, int32_t light, float frame)
{
    if (light < 0 || light >= KST_LIGHTS)
        return;
    const KST_LIGHT& l = scene.LIGHT[light];
    spline_linear(pos, l.POSITION, l.POSKEYS, frame);
}

void kst_spline_rotation(KST_KEYQUAT& rot, const KST_SCENE& scene, int32_t index, float frame)
{
    rot = KST_KEYQUAT{0, 0.0f, 0.0f, 0.0f, 1.0f};
    if (!scene.OBJ || index < 0 || index >= scene.OBJECTS)
        return;
    const KST_OBJECT& o = scene.OBJ[index];
    const int32_t n = o.ROTKEYS;
    if (n <= 0 || !o.ROTATE)
        return;
    double q[4];
    int32_t a = spline_quat_segment(o.ROTATE, n, frame);
    float span = n > 1 ? static_cast<float>(static_cast<int64_t>(o.ROTATE[a + 1].KEY) - o.ROTATE[a].KEY) : 0.0f;
    if (n == 1 || frame <= static_cast<float>(o.ROTATE[0].KEY)) {
        spline_quat_unit(o.ROTATE[0], q);
    } else if (frame >= static_cast<float>(o.ROTATE[n - 1].KEY)) {
        spline_quat_unit(o.ROTATE[n - 1], q);
    } else if (span == 0.0f) {
        spline_quat_unit(o.ROTATE[a], q);
    } else {
        double qa[4], qb[4];
        spline_quat_unit(o.ROTATE[a], qa);
        spline_quat_unit(o.ROTATE[a + 1], qb);
        spline_slerp(qa, qb, static_cast<double>(frame - static_cast<float>(o.ROTATE[a].KEY)) / span, q);
    }
    rot = KST_KEYQUAT{0, static_cast<float>(q[0]), static_cast<float>(q[1]), static_cast<float>(q[2]),
                      static_cast<float>(q[3])};
}

void kst_spline_scale(KST_VECTOR& scale, const KST_SCENE& scene, int32_t index, float frame)
{
    scale = KST_VECTOR{1.0f, 1.0f, 1.0f};
    if (!scene.OBJ || index < 0 || index >= scene.OBJECTS)
        return;
    const KST_OBJECT& o = scene.OBJ[index];
    spline_linear(scale, o.SCALE, o.SCALEKEYS, frame);
}

bool kst_spline_motion(double linear[3][3], const KST_SCENE& scene, int32_t index, float frame)
{
    spline_identity(linear);
    if (!scene.OBJ || index < 0 || index >= scene.OBJECTS)
        return false;
    const KST_OBJECT& o = scene.OBJ[index];
    const bool rotate = (scene.MOTION & KST_MOTION_ROTATE) && o.ROTKEYS > 0 && o.ROTATE;
    const bool scale = (scene.MOTION & KST_MOTION_SCALE) && o.SCALEKEYS > 0 && o.SCALE;
    if (!rotate && !scale)
        return false;
    if (scale) {
        KST_VECTOR s{};
        kst_spline_scale(s, scene, index, frame);
        spline_scale_matrix(o, s, linear);
    }
    if (rotate) {
        KST_KEYQUAT q{};
        kst_spline_rotation(q, scene, index, frame);
        double r[3][3];
        spline_quat_matrix(q, r);
        spline_mul3(r, linear, linear);
    }
    return true;
}

bool kst_spline_invert(const double m[3][3], double inv[3][3])
{
    double c[3][3];
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, k1 = (k + 1) % 3, k2 = (k + 2) % 3;
            c[k][r] = m[r1][k1] * m[r2][k2] - m[r1][k2] * m[r2][k1];   // adjugate: transposed cofactors
        }
    const double det = m[0][0] * c[0][0] + m[0][1] * c[1][0] + m[0][2] * c[2][0];
    if (det == 0.0 || !std::isfinite(det))
        return false;
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            inv[r][k] = c[r][k] / det;
    return true;
}
