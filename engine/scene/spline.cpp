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
// Precision: DELTA and the four weights are held as floats between steps; the
// weighted sums (and the linear blends) are formed in double and rounded to
// float once per component.
#include "engine/scene/spline.h"

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
