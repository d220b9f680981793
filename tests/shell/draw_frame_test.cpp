// DRAW_FRAME's drawing paths, seen in pixels: the order of the scene, its
// particles and the layer sets within a segment (segments 2 and 3), the
// starfield of segment 4 drawn with texturing off and tested against the
// scene's depth, and the frame at which the closing drumcrash layers are drawn.
//
// The scene slots get a small in-memory scene: a red quad at Y = 0 facing the
// camera at (0, -10, 0.01) (45 degrees, so at distance d one pixel is
// d tan(22.5) / 240 units) and one ever-living green particle; the layer sets
// get one opaque rectangle each. Everything is given back after each test.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "engine/render/particles.h"
#include "engine/scene/prepare.h"
#include "gl_fixture.h"
#include "scene_builders.h"
#include "shell/clock.h"
#include "shell/shell.h"
#include "shell/starfield.h"
#include "shell/timeline.h"
#include "support/mem.h"

namespace {

class DrawFramePaths : public gl_test {
protected:
    void SetUp() override
    {
        gl_test::SetUp();
        glGenTextures(1, &white);
        glBindTexture(GL_TEXTURE_2D, white);
        uint32_t texel = 0xFFFFFFFFu;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glGenTextures(1, &black);
        glBindTexture(GL_TEXTURE_2D, black);
        texel = 0xFF000000u;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        clock_set_virtual(true);
        START_MS = 0;
        for (int32_t& f : SEGMENT_FRAMES)
            f = 0;
    }
    void TearDown() override
    {
        for (KST_SCENE& s : SHELL_SCENES) {
            KST_PARTICLES_FREE(s);
            KST_SCENE_FREE(s);
            s = KST_SCENE{};
        }
        for (ife_interface& l : SHELL_LAYERS) {
            for (int32_t i = 0; i < l.layercount; ++i)
                mem_free_array(l.layers[i].keys);
            mem_free_array(l.layers);
            l = ife_interface{};
        }
        for (int32_t& f : SEGMENT_FRAMES)
            f = 0;
        clock_set_virtual(false);
        glDeleteTextures(1, &white);
        glDeleteTextures(1, &black);
    }

    // The red quad x, z in -2..2 at Y = 0, and one particle (half-diagonal 1)
    // emitted at (0, particle_y, 0) on the first step, living for ever.
    void scene(shell_scene_id id, float particle_y, GLuint particle_texture)
    {
        KST_SCENE& s = SHELL_SCENES[id];
        sb_scene_init(s, "draw-frame");
        int32_t m = sb_add_material(s, "red");
        s.MATERIAL[m].RECEIVELIGHT = 0;
        s.MATERIAL[m].AMBIENT = {0.5f, 0, 0};
        int32_t q = sb_add_mesh(s, "quad", {{-2, 0, -2}, {2, 0, -2}, {2, 0, 2}, {-2, 0, 2}},
                                {{0, 1, 2}, {0, 2, 3}}, m);
        s.OBJ[q].BACKFACECULL = false;
        // A hair above the Y axis: a view straight along Y has no camera-facing basis.
        sb_set_camera(s, {{0, 0, -10, 0.01f}, {100, 0, -10, 0.01f}}, {{0, 0, 0, 0}, {100, 0, 0, 0}});
        KST_SCENE_PREPARE(s);
        KST_OBJECT& o = s.OBJ[q];
        o.POS = {0, particle_y, 0};  // the emitter's place (and the quad's unused pivot)
        o.PARTICLE.ENABLED = true;
        o.PARTICLE.NEWPARTICLE = 1;
        o.PARTICLE.POWER = 10;
        o.PARTICLE.DELTAPOWER = 0;
        o.PARTICLE.COLOR = {0, 0.5f, 0};
        o.PARTICLE.SIZE = 1;
        o.PARTICLE.TEXTURE = static_cast<int32_t>(particle_texture);
        KST_PARTICLES_INIT(s, 1);
    }
    // One opaque rectangle (1024 x 768 units) of colour c, or keys moving it.
    void layer(shell_layers_id id, float x, float y, float w, float h, gl_rgba c,
               std::vector<ife_keys> keys = {})
    {
        ife_interface& l = SHELL_LAYERS[id];
        l.layercount = 1;
        l.layers = mem_array<ife_layer>(1, "test layers");
        l.layers[0].texture = white;
        l.layers[0].blend = 0;
        if (keys.empty())
            keys = {ife_keys{0, x, y, 0, 0, w, h, float(c.r), float(c.g), float(c.b), 255}};
        l.layers[0].keycount = static_cast<int32_t>(keys.size());
        l.layers[0].keys = mem_array<ife_keys>(static_cast<int64_t>(keys.size()), "test keys");
        for (size_t i = 0; i < keys.size(); ++i)
            l.layers[0].keys[i] = keys[i];
    }
    void draw_at(uint32_t t)
    {
        clock_set_virtual_ms(t);
        DRAW_FRAME();
    }

    GLuint white = 0, black = 0;
};

bool near_rgb(gl_rgba p, int r, int g, int b)
{
    return std::abs(p.r - r) <= 3 && std::abs(p.g - g) <= 3 && std::abs(p.b - b) <= 3;
}

// The brightest pixel of the 3 x 3 block around (x, y), by its red + green + blue.
gl_rgba brightest(int x, int y)
{
    gl_rgba best{0, 0, 0, 0};
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            gl_rgba p = gl_read_pixel(x + dx, y + dy);
            if (p.r + p.g + p.b > best.r + best.g + best.b)
                best = p;
        }
    return best;
}

const gl_rgba blue{0, 0, 255, 255}, grey{64, 64, 64, 255}, white_c{255, 255, 255, 255};

}  // namespace

// Segment 2: clear, scene, state reset, particles, layers. The particle in
// front of the quad adds green to its red; the layer over the left half is
// drawn last and covers both.
TEST_F(DrawFramePaths, SegmentTwoDrawsSceneThenParticlesThenLayers)
{
    scene(SCENE_PART2, -1, white);
    layer(LAYERS_PART2, 256, 384, 512, 768, blue);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_at(20000);
    EXPECT_TRUE(near_rgb(gl_read_pixel(340, 240), 128, 128, 0));  // quad + particle
    EXPECT_TRUE(near_rgb(gl_read_pixel(380, 300), 128, 0, 0));    // quad alone
    EXPECT_TRUE(near_rgb(gl_read_pixel(600, 240), 0, 0, 0));      // cleared
    EXPECT_TRUE(near_rgb(gl_read_pixel(310, 240), 0, 0, 255));    // the layer over both
    EXPECT_TRUE(near_rgb(gl_read_pixel(10, 10), 0, 0, 255));
    EXPECT_EQ(SEGMENT_FRAMES[2], 1);
    glClearColor(0, 0, 0, 0);
}

// Segment 3: background layer, cleared depth, scene, cleared depth, particles
// (so the particle behind the quad still shows), then beauty and blackfade,
// blackfade over beauty where they overlap.
TEST_F(DrawFramePaths, SegmentThreeFramesTheSceneBetweenLayerSets)
{
    scene(SCENE_LEPKE, 3, white);  // behind the quad
    layer(LAYERS_PORTRAIT, 512, 384, 1024, 768, grey);
    layer(LAYERS_BEAUTY, 100, 100, 200, 200, blue);
    layer(LAYERS_BLACKFADE, 150, 100, 100, 200, white_c);
    draw_at(50000);
    EXPECT_TRUE(near_rgb(gl_read_pixel(600, 400), 64, 64, 64));   // background
    EXPECT_TRUE(near_rgb(gl_read_pixel(380, 300), 128, 0, 0));    // the quad over it
    EXPECT_TRUE(near_rgb(gl_read_pixel(323, 242), 128, 128, 0));  // particle behind the quad, not hidden
    EXPECT_TRUE(near_rgb(gl_read_pixel(20, 60), 0, 0, 255));      // beauty
    EXPECT_TRUE(near_rgb(gl_read_pixel(110, 60), 255, 255, 255)); // blackfade over beauty
    EXPECT_EQ(SEGMENT_FRAMES[3], 1);
}

// Segment 4: the stars are drawn after the particles, with texturing off (the
// particle pass left its black texture bound, which would blacken them),
// additively, and hidden where the earth scene lies in front of them.
TEST_F(DrawFramePaths, SegmentFourStarsAreUntexturedAndDepthTested)
{
    scene(SCENE_EARTH, -1, black);
    const float px9 = 9 * std::tan(0.3926991f) / 240, px13 = 13 * std::tan(0.3926991f) / 240;
    for (int i = 0; i < STAR_COUNT; ++i)
        STARS[i] = i % 2 ? TStar{0.5f * px9, -1, 0.5f * px9, 1.0f}          // in front: pixel (320, 240)
                         : TStar{40.5f * px13, 3, 0.5f * px13, 1.0f};      // behind: pixel (360, 240)
    draw_at(70000);
    gl_rgba front = brightest(320, 240), behind = brightest(360, 240);
    EXPECT_TRUE(near_rgb(front, 255, 255, 255)) << int(front.r) << " " << int(front.g) << " " << int(front.b);
    EXPECT_TRUE(near_rgb(behind, 128, 0, 0)) << int(behind.r) << " " << int(behind.g) << " " << int(behind.b);
    EXPECT_EQ(SEGMENT_FRAMES[4], 1);
    starfield_fill();
}

// The closing layers run at t / 131.5 over the whole show, in a segment or
// not: a bar moving one unit per frame from x 0 sits at x t / 131.5 (at
// 131000 ms a divisor of 131 would put it 2.4 pixels to the right).
TEST_F(DrawFramePaths, DrumcrashLayersAtTimeOver131AndAHalf)
{
    layer(LAYERS_DRUMCRASH, 0, 0, 0, 0, white_c,
          {ife_keys{0, 0, 384, 0, 0, 8, 768, 255, 255, 255, 255},
           ife_keys{1000, 1000, 384, 0, 0, 8, 768, 255, 255, 255, 255}});
    for (uint32_t t : {40000u, 100000u, 131000u}) {
        glClear(GL_COLOR_BUFFER_BIT);
        draw_at(t);
        const double x = t / 131.5 * 0.625;  // window pixel of the bar's centre
        EXPECT_GT(gl_read_pixel(static_cast<int>(x), 240).r, 250) << t;
        // The bar is 5 pixels wide: 4 pixels off its centre on either side is dark.
        EXPECT_LT(gl_read_pixel(static_cast<int>(x + 4), 240).r, 5) << t;
        EXPECT_LT(gl_read_pixel(static_cast<int>(x - 4), 240).r, 5) << t;
    }
}
