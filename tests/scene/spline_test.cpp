// Tests of key-frame interpolation: the camera curve with its worked example,
// clamping at both ends, linear object and light motion, single keys, and
// stale or unordered segment indices that must never leave the key arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/scene/spline.h"

namespace {

// A scene record that only carries camera keys and their tangent arrays.
struct camera_scene {
    std::vector<KST_KEYVECTOR> pos, tar;
    std::vector<KST_VECTOR>    pos_ease, tar_ease;
    KST_SCENE                  scene{};

    camera_scene(std::vector<KST_KEYVECTOR> p, std::vector<KST_KEYVECTOR> t)
        : pos(std::move(p)), tar(std::move(t)), pos_ease(pos.size()), tar_ease(tar.size())
    {
        scene.CAMPOSKEYS = static_cast<int32_t>(pos.size());
        scene.CAMTARGETKEYS = static_cast<int32_t>(tar.size());
        scene.CAMPOSITION = pos.data();
        scene.CAMTARGET = tar.data();
        scene.CAMPOSEASE = pos_ease.data();
        scene.CAMTARGETEASE = tar_ease.data();
        SPLINE_INITIALIZE(scene);
    }
    KST_VECTOR at(float f)
    {
        KST_VECTOR p{-99, -99, -99}, t{-99, -99, -99};
        SPLINE_CAMVECTORS(p, t, scene, f);
        return p;
    }
};

void expect_vec(const KST_VECTOR& v, float x, float y, float z)
{
    EXPECT_NEAR(v.X, x, 1e-5f);
    EXPECT_NEAR(v.Y, y, 1e-5f);
    EXPECT_NEAR(v.Z, z, 1e-5f);
}

// Within float rounding of the exact value (a few units in the last place).
void expect_exact(const KST_VECTOR& v, double x, double y, double z)
{
    auto tol = [](double e) { return 4e-7 * std::max(1.0, std::fabs(e)) * 8; };
    EXPECT_NEAR(v.X, x, tol(x));
    EXPECT_NEAR(v.Y, y, tol(y));
    EXPECT_NEAR(v.Z, z, tol(z));
}

}  // namespace

TEST(Spline, WorkedExampleSwingsOutsideTheKeys)
{
    camera_scene c({{0, 0, 0, 0}, {10, 6, 0, 0}, {20, 6, 6, 0}}, {{0, 1, 2, 3}, {20, 4, 5, 6}});
    expect_vec(c.pos_ease[0], 1, 0, 0);
    expect_vec(c.pos_ease[1], 1, 1, 0);
    expect_vec(c.pos_ease[2], 0, 1, 0);
    expect_exact(c.at(5), 3, -0.375f, 0);
    expect_exact(c.at(10), 6, 0, 0);   // an inner key is hit exactly
    expect_exact(c.at(15), 6.375f, 3, 0);
    EXPECT_EQ(POS_ACT, 1);
    EXPECT_EQ(POS_KEYS, 3);
    EXPECT_EQ(TAR_KEYS, 2);
    EXPECT_FLOAT_EQ(POS_KEYMAX, 20.0f);
    // ends and beyond clamp to the end keys; negative frames are valid
    expect_vec(c.at(0), 0, 0, 0);
    expect_vec(c.at(-50.5f), 0, 0, 0);
    expect_vec(c.at(20), 6, 6, 0);
    expect_vec(c.at(1e9f), 6, 6, 0);
}

TEST(Spline, TwoKeysEaseAlongAStraightLineAndTargetHasItsOwnSegment)
{
    camera_scene c({{0, 0, 0, 0}, {10, 10, 0, 0}}, {{0, 0, 0, 0}, {4, 0, 8, 0}, {100, 0, 8, 100}});
    expect_vec(c.pos_ease[0], 10.0f / 6, 0, 0);
    expect_vec(c.pos_ease[1], 10.0f / 6, 0, 0);
    expect_vec(c.at(5), 5, 0, 0);
    // A quarter of the way in time: d = 0.25, B1 = 27/64, B2 = 9/64, B3 = 1/64,
    // so X = 27/64 * 10/6 + 9/64 * 50/6 + 10/64 = 2.03125 (eased, on the line).
    expect_exact(c.at(2.5f), 2.03125f, 0, 0);
    expect_exact(c.at(7.5f), 10.0f - 2.03125f, 0, 0);  // ease-out mirrors ease-in
    KST_VECTOR p{}, t{};
    SPLINE_CAMVECTORS(p, t, c.scene, 2.0f);
    EXPECT_EQ(TAR_ACT, 0);
    EXPECT_FLOAT_EQ(DELTA, 0.5f);  // the target's segment overwrote the position's
    // The middle of the target's first segment: B = (1, 3, 3, 1)/8, and the
    // second key's tangent (0, 8, 100)/6 pulls Z below both keys: -3/8 * 100/6.
    expect_exact(t, 0, 4, -6.25);
    SPLINE_CAMVECTORS(p, t, c.scene, 50.0f);
    EXPECT_EQ(TAR_ACT, 1);
    // d = 46/96 = 23/48 in the segment from (0, 8, 0) to (0, 8, 100), whose
    // tangents are (0, 8, 100)/6 and (0, 0, 100)/6: Y = 8 + 8/6 B1 =
    // 235559/27648 and Z = 100 (B1/6 + 5/6 B2 + B3) = 1310425/27648.
    expect_exact(t, 0, 235559.0 / 27648.0, 1310425.0 / 27648.0);
    EXPECT_FLOAT_EQ(DELTA, 23.0f / 48.0f);
}

TEST(Spline, SingleKeyIsAConstantAndEmptyTracksLeaveOutputAlone)
{
    camera_scene c({{7, 1, 2, 3}}, {});
    expect_vec(c.pos_ease[0], 0, 0, 0);
    for (float f : {-5.0f, 7.0f, 8.0f, 1000.0f})
        expect_vec(c.at(f), 1, 2, 3);
    KST_VECTOR p{}, t{9, 9, 9};
    SPLINE_CAMVECTORS(p, t, c.scene, 3.0f);
    expect_vec(t, 9, 9, 9);
}

TEST(Spline, StaleOrUnorderedSegmentIndexStaysInsideTheArrays)
{
    // A long track leaves POS_ACT high ...
    std::vector<KST_KEYVECTOR> many;
    for (int i = 0; i < 50; ++i)
        many.push_back({i * 10, float(i), 0, 0});
    camera_scene big(many, many);
    big.at(475);
    EXPECT_EQ(POS_ACT, 47);
    // ... and a short track evaluated at a frame no segment matches (NaN fails
    // every comparison) reuses the stale index, clamped to its own keys.
    camera_scene small({{0, 0, 0, 0}, {10, 10, 0, 0}, {20, 20, 0, 0}}, {{0, 0, 0, 0}, {1, 0, 0, 0}});
    KST_VECTOR v = small.at(std::nanf(""));
    EXPECT_EQ(POS_ACT, 47);  // kept, never used unclamped (ASan would catch a read)
    (void)v;
    // Unordered keys: a segment is always found between the end keys, and
    // end keys out of order clamp rather than search.
    camera_scene odd({{0, 0, 0, 0}, {5, 5, 0, 0}, {5, 7, 0, 0}, {4, 9, 0, 0}, {9, 1, 0, 0}}, {{0, 0, 0, 0}});
    v = odd.at(4.5f);
    EXPECT_TRUE(std::isfinite(v.X) && std::isfinite(v.Y));
    camera_scene backwards({{10, 1, 0, 0}, {0, 2, 0, 0}}, {{0, 0, 0, 0}});
    expect_vec(backwards.at(5), 1, 0, 0);
    expect_vec(backwards.at(20), 2, 0, 0);
}

TEST(Spline, LinearObjectAndLightMotion)
{
    KST_KEYVECTOR keys[3] = {{0, 0, 0, 0}, {10, 10, 20, 30}, {10, 50, 50, 50}};
    KST_OBJECT obj{};
    obj.POSKEYS = 2;
    obj.POSITION = keys;
    KST_SCENE scene{};
    scene.OBJECTS = 1;
    scene.OBJ = &obj;
    KST_VECTOR p{};
    SPLINE_LINEAR_POS(p, scene, 0, 5.0f);
    expect_vec(p, 5, 10, 15);
    SPLINE_LINEAR_POS(p, scene, 0, -1.0f);
    expect_vec(p, 0, 0, 0);
    SPLINE_LINEAR_POS(p, scene, 0, 10.0f);
    expect_vec(p, 10, 20, 30);
    // repeated frame numbers: a zero-frame segment never divides by zero
    obj.POSKEYS = 3;
    keys[2].KEY = 20;
    keys[1].KEY = 0;
    SPLINE_LINEAR_POS(p, scene, 0, 5.0f);
    EXPECT_TRUE(std::isfinite(p.X));
    // out-of-range object index: nothing happens
    KST_VECTOR q{1, 2, 3};
    SPLINE_LINEAR_POS(q, scene, 1, 5.0f);
    SPLINE_LINEAR_POS(q, scene, -1, 5.0f);
    expect_vec(q, 1, 2, 3);

    keys[1] = {10, 10, 20, 30};
    scene.LIGHT[7].POSKEYS = 2;
    scene.LIGHT[7].POSITION = keys;
    SPLINE_LIGHT_POS(p, scene, 7, 2.5f);
    expect_vec(p, 2.5f, 5, 7.5f);
    SPLINE_LIGHT_POS(q, scene, 8, 2.5f);
    expect_vec(q, 1, 2, 3);
    scene.LIGHT[0].POSKEYS = 1;
    scene.LIGHT[0].POSITION = &keys[1];
    SPLINE_LIGHT_POS(p, scene, 0, 99.0f);
    expect_vec(p, 10, 20, 30);
}

// Rotation keys: a half turn about Z from frame 0 to 20 is a quarter turn at
// frame 10 (the angle grows linearly, the axis stays); a key written as -q
// is the same rotation and is reached the short way; outside the keys the
// end keys hold, and without keys the identity. Scale keys are linear and
// (1, 1, 1) without keys.
TEST(Spline, RotationIsSphericalAndScaleLinear)
{
    const double pi = 3.14159265358979323846;
    auto about_z = [](int32_t key, double angle, double sign = 1.0) {
        return KST_KEYQUAT{key, 0.0f, 0.0f, static_cast<float>(sign * std::sin(angle / 2)),
                           static_cast<float>(sign * std::cos(angle / 2))};
    };
    KST_KEYQUAT rot[3] = {about_z(0, 0.0), about_z(20, pi * 0.9), about_z(40, pi * 1.0, -1.0)};
    KST_KEYVECTOR scale[2] = {{0, 1, 1, 1}, {20, 3, 1, 0.5f}};
    KST_OBJECT obj{};
    KST_SCENE scene{};
    scene.OBJECTS = 1;
    scene.OBJ = &obj;
    KST_KEYQUAT q{};
    KST_VECTOR s{};
    kst_spline_rotation(q, scene, 0, 7.0f);
    EXPECT_EQ(q.W, 1.0f);
    kst_spline_scale(s, scene, 0, 7.0f);
    expect_vec(s, 1, 1, 1);

    obj.ROTKEYS = 3;
    obj.ROTATE = rot;
    for (float f : {0.0f, 5.0f, 10.0f, 15.0f, 20.0f}) {
        kst_spline_rotation(q, scene, 0, f);
        double angle = pi * 0.9 * f / 20.0;   // spherical: the angle is linear in the frame
        EXPECT_NEAR(q.Z, std::sin(angle / 2), 1e-6) << f;
        EXPECT_NEAR(q.W, std::cos(angle / 2), 1e-6) << f;
        EXPECT_NEAR(q.X * q.X + q.Y * q.Y + q.Z * q.Z + q.W * q.W, 1.0, 1e-6);
    }
    // From 0.9 to 1.0 of a half turn, the second key written negated: the
    // short way, through 0.95.
    kst_spline_rotation(q, scene, 0, 30.0f);
    double sign = q.W < 0 ? -1.0 : 1.0;
    EXPECT_NEAR(sign * q.Z, std::sin(pi * 0.95 / 2), 1e-6);
    EXPECT_NEAR(sign * q.W, std::cos(pi * 0.95 / 2), 1e-6);
    kst_spline_rotation(q, scene, 0, -5.0f);
    EXPECT_NEAR(q.W, 1.0f, 1e-6f);
    kst_spline_rotation(q, scene, 0, 99.0f);
    EXPECT_NEAR(std::fabs(q.Z), 1.0f, 1e-6f);
    kst_spline_rotation(q, scene, 3, 5.0f);
    EXPECT_EQ(q.W, 1.0f) << "an index outside the objects gives the identity";

    obj.SCALEKEYS = 2;
    obj.SCALE = scale;
    kst_spline_scale(s, scene, 0, 10.0f);
    expect_vec(s, 2, 1, 0.75f);
    kst_spline_scale(s, scene, 0, 50.0f);
    expect_vec(s, 3, 1, 0.5f);
}
