// Starting the show part-way in: the particle steps the segment would have
// taken by then are run on its scene's pool, without drawing anything.
#include <gtest/gtest.h>

#include "engine/render/particles.h"
#include "engine/scene/prepare.h"
#include "gl_fixture.h"
#include "scene_builders.h"
#include "shell/shell.h"
#include "shell/start.h"

namespace {

class StartPrepare : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        KST_SCENE& s = SHELL_SCENES[SCENE_PART2];
        sb_scene_init(s, "part2");
        sb_set_camera(s, {{0, 0, -10, 1}, {100, 0, -10, 1}}, {{0, 0, 0, 0}, {100, 0, 0, 0}});
        int32_t m = sb_add_material(s, "white");
        int32_t e = sb_add_triangle(s, "emitter", m);
        KST_PARTICLEDATA& p = s.OBJ[e].PARTICLE;
        p.ENABLED = true;
        p.NEWPARTICLE = 2;
        p.POWER = 20;  // each particle lives 20 steps
        p.DELTAPOWER = 1;
        p.SIZE = 0.5f;
        p.COLOR = {1, 1, 1};
        KST_SCENE_PREPARE(s);
        KST_PARTICLES_INIT(s, 100);
    }
    void TearDown() override
    {
        KST_PARTICLES_FREE(SHELL_SCENES[SCENE_PART2]);
        KST_SCENE_FREE(SHELL_SCENES[SCENE_PART2]);
        SHELL_SCENES[SCENE_PART2] = KST_SCENE{};
    }
    static int live()
    {
        const KST_SCENE& s = SHELL_SCENES[SCENE_PART2];
        int n = 0;
        for (int32_t i = 0; i < s.PARTICLES; ++i)
            n += s.PARTICLE[i].DELETED ? 0 : 1;
        return n;
    }
};

}  // namespace

TEST_F(StartPrepare, RunsTheStepsMissedWithoutDrawing)
{
    EXPECT_EQ(start_particle_steps(0), 0u);
    EXPECT_EQ(start_particle_steps(10000), 0u);   // segment 1 has no particles
    EXPECT_EQ(start_particle_steps(15000), 0u);   // the first moment of segment 2
    EXPECT_EQ(start_particle_steps(15100), 6u);   // 0.1 s at 60 steps a second
    EXPECT_EQ(start_particle_steps(39999), START_MAX_STEPS);
    EXPECT_EQ(start_particle_steps(40000), 0u);   // no segment runs
    EXPECT_EQ(start_particle_steps(120000), 0u);  // segment 6 has no particles

    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    gl_rgba before = gl_read_pixel(320, 240);
    start_prepare(15100);
    EXPECT_EQ(live(), 12);  // six steps of two, none old enough to die
    gl_rgba after = gl_read_pixel(320, 240);
    EXPECT_EQ(after.r, before.r);
    EXPECT_EQ(after.g, before.g);
    EXPECT_EQ(after.b, before.b);

    start_prepare(30000);   // deep in the segment: the pool has reached its steady state
    EXPECT_EQ(live(), 38);  // two new a step; the 20th ageing frees a particle, so 19 steps' worth stand
}
