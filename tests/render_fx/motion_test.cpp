// Every render path follows an object's rotation and scale tracks when its
// scene asks for them. A bar pivoted at one end carries a position, a rotation
// and a scale track; the same bar with its vertices moved by the test itself
// (Rodrigues' formula for the turn, the scale factors along the world axes,
// about the pivot, then the position track) and no tracks is the reference.
// The scene render, the selection render's wireframe, the mirrored render, the
// stencil shadow and the flare occluders must give the reference's pixels (up
// to rasterisation rounding along edges), and must not without the request.
// A mirroring scale track keeps a caster's stencil shadow whole.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/render/flares.h"
#include "engine/render/passes.h"
#include "engine/render/shadows.h"
#include "fx_scene.h"
#include "gl_fixture.h"

namespace {

constexpr float motion_frame = 50.0f;
constexpr double motion_angle = 1.2;      // radians at frame 100, about motion_axis
const double motion_axis[3] = {0.0, 0.6, 0.8};
const KST_VECTOR motion_pivot{-2.0f, 0.0f, 1.0f};
const KST_VECTOR motion_light{-6.0f, -2.0f, 12.0f};

// Where the tracks put a bar vertex at motion_frame, computed here: half the
// turn (slerp from the identity), scale (1, 1, 1) -> (1.5, 1, 0.5) halfway,
// about the pivot, then position (0, 0, 0) -> (2, 0, 1) halfway.
KST_VECTOR motion_expected(const KST_VECTOR& v)
{
    const double a = motion_angle * 0.5, c = std::cos(a), s = std::sin(a);
    const double* k = motion_axis;
    const double d[3] = {(v.X - motion_pivot.X) * 1.25, (v.Y - motion_pivot.Y) * 1.0, (v.Z - motion_pivot.Z) * 0.75};
    const double kd = k[0] * d[0] + k[1] * d[1] + k[2] * d[2];
    const double cross[3] = {k[1] * d[2] - k[2] * d[1], k[2] * d[0] - k[0] * d[2], k[0] * d[1] - k[1] * d[0]};
    double r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = d[i] * c + cross[i] * s + k[i] * kd * (1 - c);
    return {static_cast<float>(r[0] + motion_pivot.X + 1.0), static_cast<float>(r[1] + motion_pivot.Y),
            static_cast<float>(r[2] + motion_pivot.Z + 0.5)};
}

// Ground, the bar (a cube stretched to 4 x 1 x 1, from x = -2 to 2 and z =
// 0.5 to 1.5; with tracks, or its vertices moved here) and a flare just
// behind the bar as it would stand without the turn, seen from the camera.
struct motion_stage {
    fx_scene s{3};
    int32_t  ground, bar, flare;

    motion_stage(bool tracks, uint8_t motion)
    {
        KST_SCENE& sc = s.scene;
        for (int m = 0; m < 3; ++m)
            sc.MATERIAL[m].RECEIVELIGHT = 0;
        sc.MATERIAL[0].AMBIENT = {0.3f, 0.3f, 0.3f};
        sc.MATERIAL[1].AMBIENT = {1.0f, 0.5f, 0.0f};
        sc.MATERIAL[2].AMBIENT = {0.0f, 1.0f, 1.0f};
        sc.MATERIAL[2].FLARESIZE = 1.0f;
        ground = s.add(fx_ground(20, 0), 0);
        bar = s.add_cube({0, 0, 1}, 0.5f, 1);
        for (int i = 0; i < 8; ++i) {
            KST_VECTOR& v = sc.OBJ[bar].VERTEX[i];
            v.X *= 4.0f;   // the cube stretched into the bar, its faces kept
            if (!tracks)
                v = motion_expected(v);
        }
        sc.OBJ[bar].CASTSHADOW = 1;
        sc.OBJ[bar].POS = tracks ? motion_pivot : KST_VECTOR{0, 0, 0};
        if (tracks) {
            const double h = motion_angle / 2;
            const float q[3] = {static_cast<float>(motion_axis[0] * std::sin(h)),
                                static_cast<float>(motion_axis[1] * std::sin(h)),
                                static_cast<float>(motion_axis[2] * std::sin(h))};
            sb_object_keys(sc, bar, {{0, 0, 0, 0}, {100, 2, 0, 1}},
                           {{0, 0, 0, 0, 1}, {100, q[0], q[1], q[2], static_cast<float>(std::cos(h))}},
                           {{0, 1, 1, 1}, {100, 1.5f, 1, 0.5f}});
        }
        sc.MOTION = motion;
        flare = s.add(fx_triangle(0), 2);
        sc.OBJ[flare].POS = {2.5f, 0.6f, 1.2f};   // behind the bar where it would stand unturned
        s.camera({1, -14, 9}, {0, 0, 1});
        sb_set_light(sc, 0, "sun", motion_light);
        s.prepare();
    }
};

std::vector<uint8_t> motion_read(GLenum format)
{
    std::vector<uint8_t> p(640 * 480 * (format == GL_RGBA ? 4 : 1));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, format, GL_UNSIGNED_BYTE, p.data());
    return p;
}

// Pixels whose values differ: colours by more than a rounding step, stencil
// counts at all.
int motion_differ(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int channels)
{
    const int step = channels == 1 ? 0 : 8;
    int n = 0;
    for (size_t i = 0; i < a.size(); i += channels)
        for (int c = 0; c < channels; ++c)
            if (std::abs(a[i + c] - b[i + c]) > step) {
                ++n;
                break;
            }
    return n;
}

enum class motion_path { scene, selection, mirrored, shadow, occluder };

std::vector<uint8_t> motion_picture(motion_stage& st, motion_path path)
{
    KST_SCENE& s = st.s.scene;
    KST_CLEAR_SCREEN();
    glStencilMask(~0u);
    glClearStencil(0);
    glClear(GL_STENCIL_BUFFER_BIT);
    switch (path) {
    case motion_path::scene:
        KST_RENDER_SCENE(s, motion_frame);
        return motion_read(GL_RGBA);
    case motion_path::selection:
        s.OBJ[st.bar].SELECTED = 1;
        s.OBJ[st.bar].VISIBLE = 0;   // the wireframe alone
        KST_RENDER_SCENE_SELECTION(s, motion_frame);
        return motion_read(GL_RGBA);
    case motion_path::mirrored:
        // The camera set-up shrinks the world by 100000 inside the
        // projection: its clipping planes come along.
        s.CAMNEAR = 1e-5f;
        s.CAMFAR = 1e-2f;
        KST_RENDER_MIRRORED(s, st.ground, motion_frame, 1, 1, -1);
        return motion_read(GL_RGBA);
    case motion_path::shadow:
        KST_RENDER_SCENE(s, motion_frame);
        KST_SHADOW_RENDER(s, motion_light, motion_frame);
        return motion_read(GL_STENCIL_INDEX);
    case motion_path::occluder:
        KST_FLARES_VISIBILITY(s, motion_frame);
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        s.CAMNEAR = 1e-5f;
        s.CAMFAR = 1e-2f;
        KST_CAMERA_SETUP(s, motion_frame);
        KST_DRAW_OCCLUDER(s, st.bar, motion_frame);
        return motion_read(GL_RGBA);
    }
    return {};
}

}  // namespace

TEST_F(gl_test, rotation_and_scale_tracks_move_every_render_path)
{
    const motion_path paths[] = {motion_path::scene, motion_path::selection, motion_path::mirrored,
                                 motion_path::shadow, motion_path::occluder};
    const char* names[] = {"scene", "selection", "mirrored", "shadow", "occluder"};
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(names[k]);
        const int channels = paths[k] == motion_path::shadow ? 1 : 4;
        motion_stage played(true, KST_MOTION_ROTATE | KST_MOTION_SCALE);
        motion_stage reference(false, 0);
        motion_stage ignored(true, 0);
        std::vector<uint8_t> a = motion_picture(played, paths[k]);
        std::vector<uint8_t> b = motion_picture(reference, paths[k]);
        std::vector<uint8_t> c = motion_picture(ignored, paths[k]);
        const int close = motion_differ(a, b, channels), apart = motion_differ(c, b, channels);
        EXPECT_LE(close, 20) << "pixels apart from the reference: " << close;
        EXPECT_GT(apart, 1000) << "without the request the bar should stand still";
        if (paths[k] == motion_path::occluder) {
            // The flare the unturned bar would hide is seen once the bar has turned away.
            EXPECT_GT(played.s.scene.OBJ[played.flare].TEMPCOLOR.G, 0.5f);
            EXPECT_GT(reference.s.scene.OBJ[reference.flare].TEMPCOLOR.G, 0.5f);
            const KST_RGB& hidden = ignored.s.scene.OBJ[ignored.flare].TEMPCOLOR;
            EXPECT_EQ(hidden.R + hidden.G + hidden.B, 0.0f);
        }
    }
}

// A cube mirrored about its own centre by a scale track of (-1, 1, 1) is the
// same cube, and throws the same stencil shadow as without the track: the
// mirrored placement turns the volume's quads round, which keeps their front
// faces outside (otherwise the counting would cancel to nothing).
TEST_F(gl_test, a_mirroring_scale_track_keeps_the_shadow)
{
    std::vector<uint8_t> stencil[2];
    for (int mirrored = 0; mirrored < 2; ++mirrored) {
        fx_scene s(1);
        s.scene.MATERIAL[0].RECEIVELIGHT = 0;
        s.add(fx_ground(20, 0));
        int32_t cube = s.add_cube({0, 0, 2}, 1);
        s.scene.OBJ[cube].CASTSHADOW = 1;
        s.scene.OBJ[cube].BACKFACECULL = 0;
        if (mirrored) {
            s.scene.OBJ[cube].POS = {0, 0, 2};
            sb_object_keys(s.scene, cube, {}, {}, {{0, -1, 1, 1}});
            s.scene.MOTION = KST_MOTION_SCALE;
        }
        s.camera({0, -15, 10}, {2, 0, 0});
        s.prepare();
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(s.scene, 0);
        KST_SHADOW_RENDER(s.scene, {-6, 0, 8}, 0);
        stencil[mirrored] = motion_read(GL_STENCIL_INDEX);
    }
    int shadowed = 0;
    for (uint8_t v : stencil[0])
        shadowed += v != 0;
    EXPECT_GT(shadowed, 1000);
    EXPECT_EQ(motion_differ(stencil[0], stencil[1], 1), 0);
}
