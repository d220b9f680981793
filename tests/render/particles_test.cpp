// Tests of the particle pool on a real GL context: emission order and slot
// choice, the full pool, ageing and the colour and size flags seen in pixels,
// the camera-facing square and its texture, the degenerate view, the jitter and
// its random order, and the choices for unusable data.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/textures/texture_manager.h"
#include "gl_fixture.h"
#include "process.h"
#include "render_scene.h"
#include "support/random.h"
#include "texture_files.h"

namespace {

// Camera at (-10, 0, 0) looking at the origin: a point (0, Y, Z) lands at
// pixel (320 - 24 Y, 240 + 24 Z); the squares face -X.
class Particles : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        rs.camera({-10, 0, 0}, {0, 0, 0});
        rs.s.MAXPASS = 0;
        emitter = rs.add_empty({0, 0, 0});
        KST_PARTICLEDATA& d = data();
        d.ENABLED = true;
        d.NEWPARTICLE = 1;
        d.POWER = 10;
        d.DELTAPOWER = 1;
        d.COLOR = {1, 1, 1};
        d.SIZE = 1;
    }
    void TearDown() override { KST_PARTICLES_FREE(rs.s); }

    KST_PARTICLEDATA& data(int i = 0) { return rs.obj(i).PARTICLE; }
    KST_PARTICLE&     slot(int j) { return rs.s.PARTICLE[j]; }

    // One frame: clear, scene, particles.
    void step(float frame = 0.0f)
    {
        KST_CLEAR_SCREEN();
        KST_RENDER_SCENE(rs.s, frame);
        KST_PARTICLES_RENDER(rs.s, frame);
    }
    // Emits one particle in one step, then stops the emitter.
    void emit_one()
    {
        step();
        data().ENABLED = false;
    }
    int live()
    {
        int n = 0;
        for (int j = 0; j < rs.s.PARTICLES; ++j)
            n += rs.s.PARTICLE[j].DELETED ? 0 : 1;
        return n;
    }
    int red(int x = 320, int y = 240) { return gl_read_pixel(x, y).r; }

    render_scene rs;
    int          emitter = 0;
};

}  // namespace

TEST_F(Particles, FirstEmissionFillsTheLowestSlotsFromTheEmitterPosition)
{
    KST_PARTICLES_INIT(rs.s, 10);
    ASSERT_EQ(rs.s.PARTICLES, 10);
    for (int j = 0; j < 10; ++j)
        EXPECT_TRUE(slot(j).DELETED);
    data().NEWPARTICLE = 3;
    data().COLORATTRIB = 9;
    data().DELTAVECTOR = {0, 0.5f, 0};
    rs.obj(emitter).POS = {0, 1, 0};
    rs.object_track(emitter, {{0, 0, 0, 2}});  // the track adds to POS
    step();
    for (int j = 0; j < 3; ++j) {
        EXPECT_FALSE(slot(j).DELETED) << j;
        EXPECT_EQ(slot(j).SOURCE, emitter);
        EXPECT_EQ(slot(j).COLORATTRIB, 9);
        EXPECT_FLOAT_EQ(slot(j).POWER, 9.0f);  // drawn, then aged once
        EXPECT_FLOAT_EQ(slot(j).DELTAPOWER, 1.0f);
        EXPECT_FLOAT_EQ(slot(j).POS.Y, 1.5f);  // emitted at (0, 1, 2), then moved
        EXPECT_FLOAT_EQ(slot(j).POS.Z, 2.0f);
    }
    EXPECT_EQ(live(), 3);
    step();
    EXPECT_EQ(live(), 6);
    EXPECT_FLOAT_EQ(slot(3).POWER, 9.0f);
    EXPECT_FLOAT_EQ(slot(0).POWER, 8.0f);

    // Emitters in object order: one from object 1, then two from object 2.
    KST_PARTICLES_INIT(rs.s, 10);
    data().ENABLED = false;
    for (int n = 1; n <= 2; ++n) {
        int e = rs.add_empty({0, 0, 0});
        data(e) = data(emitter);
        data(e).ENABLED = true;
        data(e).NEWPARTICLE = n;
    }
    step();
    EXPECT_EQ(slot(0).SOURCE, 1);
    EXPECT_EQ(slot(1).SOURCE, 2);
    EXPECT_EQ(slot(2).SOURCE, 2);
    EXPECT_TRUE(slot(3).DELETED);
}

TEST_F(Particles, AFullPoolReplacesOnlyTheLastSlot)
{
    KST_PARTICLES_INIT(rs.s, 3);
    data().NEWPARTICLE = 3;
    data().POWER = 100;
    data().DELTAVECTOR = {0, 0, 0.25f};
    step();
    step();  // no slot is free: all three new particles go to slot 2 in turn
    EXPECT_FLOAT_EQ(slot(0).POWER, 98.0f);
    EXPECT_FLOAT_EQ(slot(1).POWER, 98.0f);
    EXPECT_FLOAT_EQ(slot(2).POWER, 99.0f);
    EXPECT_FLOAT_EQ(slot(0).POS.Z, 0.5f);
    EXPECT_FLOAT_EQ(slot(2).POS.Z, 0.25f);
    EXPECT_EQ(live(), 3);
}

TEST_F(Particles, TenStepLifeFadingOutAndTheFlags)
{
    KST_PARTICLES_INIT(rs.s, 4);
    data().COLORATTRIB = 1;  // fades out: f = 1.0, 0.9, ... 0.1
    emit_one();
    EXPECT_NEAR(red(), 255, 2);
    for (int n = 2; n <= 10; ++n) {
        ASSERT_EQ(live(), 1) << n;
        step();
        EXPECT_NEAR(red(), std::lround(255 * (11 - n) / 10.0), 2) << n;
    }
    EXPECT_EQ(live(), 0);  // freed after its tenth draw
    step();
    EXPECT_EQ(red(), 0);

    // COLORATTRIB 5 (flags 1 and 4): fades in. 0: constant.
    for (uint8_t flags : {5, 4, 0}) {
        data().ENABLED = true;
        data().COLORATTRIB = flags;
        data().POWER = 4;
        emit_one();
        std::vector<int> seen{red()};
        for (int n = 0; n < 3; ++n) {
            step();
            seen.push_back(red());
        }
        std::vector<int> want = flags ? std::vector<int>{0, 64, 128, 191} : std::vector<int>{255, 255, 255, 255};
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_NEAR(seen[i], want[i], 2) << int(flags) << " step " << i;
        step();
        EXPECT_EQ(live(), 0);
    }

    // Flag 2 shrinks the square, flag 8 grows it (precedence over 2).
    data().SIZE = 2;  // half-diagonal 48 pixels
    const int probe = 240 + 40;
    for (uint8_t flags : {2, 10}) {
        data().ENABLED = true;
        data().COLORATTRIB = flags;
        emit_one();
        bool first = red(320, probe) > 0;
        step();  // size x 0.75 (flag 2) or x 0.25 (flag 8)
        bool second = red(320, probe) > 0;
        EXPECT_EQ(first, flags == 2) << int(flags);
        EXPECT_FALSE(second) << int(flags);
        step();
        step();
        step();
    }
}

TEST_F(Particles, DeltaPowerZeroNeverDiesAndKeepsDrifting)
{
    KST_PARTICLES_INIT(rs.s, 2);
    data().DELTAPOWER = 0;
    data().DELTAVECTOR = {0, 0.01f, 0};
    emit_one();
    for (int n = 0; n < 199; ++n)
        KST_PARTICLES_RENDER(rs.s, 0);
    EXPECT_EQ(live(), 1);
    EXPECT_FLOAT_EQ(slot(0).POWER, 10.0f);
    EXPECT_NEAR(slot(0).POS.Y, 2.0f, 1e-3);
    step();  // drawn 2 units to the side: 48 pixels left of centre
    EXPECT_GT(red(320 - 48, 240), 200);
    EXPECT_EQ(red(), 0);
}

TEST_F(Particles, CameraFacingSquareTextureDepthAndState)
{
    TX_FREEALL();
    std::string dir = test_temp_dir("particles");
    std::string name = texture_file_write(
        dir + "/spark.jpg",
        tex_stripes({{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}}, false));
    data().TEXTURE = static_cast<int32_t>(TX_LOAD(name, 0));
    KST_PARTICLES_INIT(rs.s, 4);
    emit_one();
    // A square with half-diagonal SIZE, turned 45 degrees: s runs 0..1 from the
    // left corner to the right one.
    gl_rgba left = gl_read_pixel(320 - 20, 240), right = gl_read_pixel(320 + 20, 240);
    EXPECT_TRUE(left.r > 200 && left.g < 50 && left.b < 50);
    EXPECT_TRUE(right.r > 200 && right.g > 200 && right.b > 200);
    EXPECT_EQ(red(320, 240 + 26), 0);  // outside the corner at 24 pixels
    EXPECT_EQ(red(320 - 17, 240 + 17), 0);  // outside the diamond's edge
    EXPECT_FALSE(gl_enabled(GL_CULL_FACE));
    EXPECT_TRUE(gl_enabled(GL_DEPTH_TEST));
    EXPECT_TRUE(gl_get_int(GL_DEPTH_WRITEMASK));
    EXPECT_TRUE(gl_enabled(GL_BLEND));
    EXPECT_EQ(gl_get_int(GL_BLEND_SRC), GL_ONE);
    EXPECT_EQ(gl_get_int(GL_BLEND_DST), GL_ONE);
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_EQ(gl_get_int(GL_TEXTURE_BINDING_2D), data().TEXTURE);
    TX_FREEALL();

    // Untextured (texture 0): two particles in one place add up, without depth writes.
    data().TEXTURE = 0;
    data().COLOR = {0.3f, 0, 0};
    data().ENABLED = true;
    data().NEWPARTICLE = 2;
    data().DELTAPOWER = 0;
    KST_PARTICLES_INIT(rs.s, 4);
    emit_one();
    EXPECT_NEAR(red(), 153, 3);
    // An opaque surface in front of them hides them.
    int m = rs.add_material(0, 0, 1);
    int wall = rs.add_quad(-1, -1, 1, 1, 0, m);
    for (int v = 0; v < 4; ++v)  // turned to face the camera at x = -5
        rs.obj(wall).VERTEX[v] = {-5, v == 0 || v == 3 ? 1.0f : -1.0f, v < 2 ? -1.0f : 1.0f};
    rs.obj(wall).VISIBLE = true;
    step();
    EXPECT_EQ(red(), 0);
}

// With the camera off every axis no term of the basis vanishes: the square's
// corners p - sR, p - sU, p + sU, p + sR (R = (-vz, 0, vx) / h, U along
// (-vx vy, vx^2 + vz^2, -vz vy)) must land where their projections say, with
// texture coordinates (0, 0), (1, 0), (0, 1), (1, 1).
TEST_F(Particles, CameraFacingSquareFromAnObliqueCamera)
{
    TX_FREEALL();
    std::string dir = test_temp_dir("particles");
    std::string name = texture_file_write(
        dir + "/spark.jpg",
        tex_stripes({{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}}, false));
    data().TEXTURE = static_cast<int32_t>(TX_LOAD(name, 0));
    rs.camera({-6, -4, 5}, {0.5f, 1, -0.5f});
    rs.obj(emitter).POS = {0.5f, 1, -0.5f};
    data().SIZE = 1.5f;
    KST_PARTICLES_INIT(rs.s, 4);
    emit_one();
    const double vx = -6.5, vy = -5, vz = 5.5, h = std::sqrt(vx * vx + vz * vz);
    const double r[3] = {-vz / h, 0, vx / h};
    double u[3] = {-vx * vy, vx * vx + vz * vz, -vz * vy};
    double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u)
        c /= ul;
    GLdouble mv[16], pr[16];
    GLint vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    // The pixel at fraction k of the way from the centre to a corner along axis a.
    auto colour_toward = [&](const double* a, double sign, double k) {
        GLdouble x, y, z;
        gluProject(0.5 + sign * k * 1.5 * a[0], 1 + sign * k * 1.5 * a[1], -0.5 + sign * k * 1.5 * a[2], mv,
                   pr, vp, &x, &y, &z);
        gl_rgba p = gl_read_pixel(static_cast<int>(x), static_cast<int>(y));
        return (p.r > 128 ? 1 : 0) | (p.g > 128 ? 2 : 0) | (p.b > 128 ? 4 : 0);
    };
    const int R = 1, W = 7;
    EXPECT_EQ(colour_toward(r, -1, 0.7), R);  // s = 0 corner
    EXPECT_EQ(colour_toward(r, 1, 0.7), W);   // s = 1 corner
    EXPECT_EQ(colour_toward(u, -1, 0.7), W);  // (1, 0)
    EXPECT_EQ(colour_toward(u, 1, 0.7), R);   // (0, 1)
    for (const double* a : {r, static_cast<const double*>(u)})
        for (double sign : {-1.0, 1.0})
            EXPECT_EQ(colour_toward(a, sign, 1.25), 0);  // beyond each corner: nothing
    TX_FREEALL();
}

TEST_F(Particles, DegenerateViewSkipsTheWholeStep)
{
    KST_PARTICLES_INIT(rs.s, 4);
    emit_one();
    KST_PARTICLE before = slot(0);
    data().ENABLED = true;
    for (KST_VECTOR eye : {KST_VECTOR{0, -10, 0}, KST_VECTOR{0, 0, 0}}) {  // along Y, and on the target
        rs.camera(eye, {0, 0, 0});
        glDepthMask(GL_FALSE);
        step();
        EXPECT_EQ(gl_distinct_colours(), 1);  // nothing drawn
        EXPECT_EQ(live(), 1);                 // nothing emitted
        EXPECT_FLOAT_EQ(slot(0).POWER, before.POWER);  // nothing aged or moved
        EXPECT_FLOAT_EQ(slot(0).POS.Y, before.POS.Y);
        EXPECT_TRUE(gl_get_int(GL_DEPTH_WRITEMASK));
        EXPECT_TRUE(gl_enabled(GL_BLEND));
    }
}

TEST_F(Particles, JitterFormulaAndRandomOrder)
{
    KST_PARTICLES_INIT(rs.s, 1);
    data().COLOR = {0.5f, 0.5f, 0.5f};
    data().COLORSPREAD = {1.0f, 0.2f, -0.3f};  // a negative spread jitters like its magnitude
    data().DELTAVECTOR = {0, 0, 0};
    data().DELTAVECTORSPREAD = {2.0f, 0.0f, 0.00004f};
    data().DELTAPOWER = 0;
    random_seed(1234);
    step();
    random_seed(1234);
    auto jitter = [](double s) {
        int64_t range = std::llrint(std::fabs(s) * 10000), half = std::llrint(std::fabs(s) * 5000);
        return static_cast<float>((static_cast<int64_t>(random_int(static_cast<uint32_t>(range))) - half) / 10000.0);
    };
    float r = 0.5f + jitter(1.0), g = 0.5f + jitter(0.2), b = 0.5f + jitter(0.3);
    float x = jitter(2.0), y = jitter(0.0), z = jitter(0.00004);
    EXPECT_FLOAT_EQ(slot(0).COLOR.R, r);
    EXPECT_FLOAT_EQ(slot(0).COLOR.G, g);
    EXPECT_FLOAT_EQ(slot(0).COLOR.B, b);
    EXPECT_FLOAT_EQ(slot(0).DELTAVECTOR.X, x);
    EXPECT_EQ(slot(0).DELTAVECTOR.Y, y);  // spread 0: no jitter
    EXPECT_EQ(slot(0).DELTAVECTOR.Z, z);  // rounds to a range of 0
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(z, 0.0f);
    EXPECT_LE(std::fabs(slot(0).COLOR.R - 0.5f), 0.5f);
    EXPECT_LE(std::fabs(slot(0).DELTAVECTOR.X), 1.0f);
    EXPECT_EQ(KST_RANDOM(0), 0);
    for (int i = 0; i < 100; ++i) {
        int32_t v = KST_RANDOM(3);
        EXPECT_TRUE(v >= 0 && v < 3);
    }
}

TEST_F(Particles, UnusableDataIsSteppedOverSafely)
{
    // An emitter without life emits nothing (no division by zero).
    KST_PARTICLES_INIT(rs.s, 4);
    for (float power : {0.0f, -1.0f, NAN}) {
        data().POWER = power;
        step();
        EXPECT_EQ(live(), 0) << power;
    }
    // A particle whose emitter has lost its life since is drawn fully aged.
    data().POWER = 10;
    data().DELTAPOWER = 0;
    data().COLORATTRIB = 1;
    emit_one();
    data().POWER = 0;
    step();
    EXPECT_EQ(red(), 0);
    data().COLORATTRIB = 4;
    slot(0).COLORATTRIB = 4;
    step();
    EXPECT_NEAR(red(), 255, 2);
    // A particle naming no object of the scene is freed, not drawn.
    slot(0).SOURCE = 99;
    step();
    EXPECT_EQ(red(), 0);
    EXPECT_TRUE(slot(0).DELETED);

    // Empty and released pools.
    KST_PARTICLES_INIT(rs.s, -5);
    EXPECT_EQ(rs.s.PARTICLES, 0);
    data().POWER = 10;
    data().ENABLED = true;
    step();
    EXPECT_EQ(gl_distinct_colours(), 1);
    KST_PARTICLES_FREE(rs.s);
    EXPECT_EQ(rs.s.PARTICLE, nullptr);
    EXPECT_EQ(rs.s.PARTICLES, 0);
    step();  // a released pool is an empty one
}

namespace {

// The whole pool as numbers, for comparing two runs.
std::vector<float> pt_pool(const KST_SCENE& s)
{
    std::vector<float> v;
    for (int j = 0; j < s.PARTICLES; ++j) {
        const KST_PARTICLE& p = s.PARTICLE[j];
        v.insert(v.end(), {p.DELETED ? 1.0f : 0.0f, p.POS.X, p.POS.Y, p.POS.Z, p.COLOR.R, p.COLOR.G,
                           p.COLOR.B, p.DELTAVECTOR.X, p.DELTAVECTOR.Y, p.DELTAVECTOR.Z,
                           static_cast<float>(p.COLORATTRIB), p.POWER, p.DELTAPOWER,
                           static_cast<float>(p.SOURCE)});
    }
    return v;
}

std::vector<uint8_t> pt_frame()
{
    std::vector<uint8_t> px(640 * 480 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

}  // namespace

// Once the pool is full, the emissions that follow are folded into one: the
// pool, every frame's pixels and the generator afterwards must be exactly what
// one emission after another gives, for pools and counts on both sides of
// "full", with emitters that draw six, three or no random numbers.
TEST_F(Particles, FullPoolShortcutMatchesEmissionOneByOne)
{
    int second = rs.add_empty({0, 2, 1}, "second");
    data().COLORSPREAD = {0.4f, 0.3f, 0.2f};
    data().DELTAVECTORSPREAD = {0, 0.2f, 0.1f};
    data().COLORATTRIB = 1;
    data().POWER = 6;
    KST_PARTICLEDATA& d2 = data(second);
    d2 = data();
    d2.COLORSPREAD = {0, 0, 0};
    d2.DELTAVECTORSPREAD = {0.5f, 0.5f, 0.5f};
    d2.DELTAVECTOR = {0, -0.3f, 0};
    d2.COLOR = {0.2f, 0.4f, 0.9f};
    for (int pool : {1, 7, 60}) {
        for (int32_t first_count : {1, 6, 7, 8, 61, 5000}) {
            for (bool second_draws : {true, false}) {
                d2.DELTAVECTORSPREAD = second_draws ? KST_VECTOR{0.5f, 0.5f, 0.5f} : KST_VECTOR{0, 0, 0};
                std::vector<float> pools[2];
                std::vector<uint8_t> frames[2];
                std::vector<uint32_t> after[2];
                for (int path = 0; path < 2; ++path) {
                    kst_particles_stepwise = path == 0;
                    KST_PARTICLES_INIT(rs.s, pool);
                    random_seed(4242);
                    data().NEWPARTICLE = first_count;
                    d2.NEWPARTICLE = 3;
                    for (int k = 0; k < 4; ++k) {  // fills, ages and frees along the way
                        step(static_cast<float>(k));
                        if (k == 2)
                            data().NEWPARTICLE = first_count / 2;
                    }
                    pools[path] = pt_pool(rs.s);
                    frames[path] = pt_frame();
                    for (int i = 0; i < 8; ++i)
                        after[path].push_back(random_int(0xFFFFFFFFu));
                }
                kst_particles_stepwise = false;
                SCOPED_TRACE(testing::Message() << "pool " << pool << " count " << first_count
                                                << " second draws " << second_draws);
                EXPECT_TRUE(pools[0] == pools[1]);
                EXPECT_TRUE(frames[0] == frames[1]);
                EXPECT_EQ(after[0], after[1]);
            }
        }
    }
    // The largest count finishes in one step, leaving the last emission in the last slot.
    KST_PARTICLES_INIT(rs.s, 3);
    data().NEWPARTICLE = 2147483647;
    d2.NEWPARTICLE = 2147483647;
    step();
    EXPECT_EQ(live(), 3);
    EXPECT_EQ(slot(0).SOURCE, emitter);
    EXPECT_EQ(slot(2).SOURCE, second);
    EXPECT_FLOAT_EQ(slot(2).COLOR.B, 0.9f);
}
