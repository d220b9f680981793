// The score of the show: segment windows, frame maths, segment 6's spin and
// wrap, the benchmark score, and what DRAW_FRAME leaves where no segment runs.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include "gl_fixture.h"
#include "shell/clock.h"
#include "shell/shell.h"
#include "shell/timeline.h"
#include "support/mem.h"

TEST(Timeline, SegmentWindowsAndTheirEnds)
{
    struct { uint32_t t; int segment; } cases[] = {
        {0, 1}, {14999, 1}, {15000, 2}, {39999, 2}, {40000, 0}, {40001, 3}, {63999, 3},
        {64000, 0}, {64001, 4}, {96000, 0}, {96001, 5}, {114000, 0}, {114001, 6},
        {129999, 6}, {130000, 0}, {131500, 0}, {0xFFFFFFFFu, 0}};
    for (auto c : cases)
        EXPECT_EQ(timeline_segment(c.t), c.segment) << c.t;
}

TEST(Timeline, FrameValuesAndSegmentSixWrap)
{
    EXPECT_FLOAT_EQ(timeline_frame(15000, 7.5L), 2000.0f);   // crest over segment 1
    EXPECT_FLOAT_EQ(timeline_frame(15000, 15.0L), 1000.0f);
    EXPECT_FLOAT_EQ(timeline_frame(25000, score_segment_at(2).steps[1].rate), 1000.0f);
    EXPECT_FLOAT_EQ(timeline_frame(1, 24.0L), static_cast<float>(1.0L / 24));
    // Segment 6: g = u / 8, frame = frac(g) + (round-half-even(g) mod 1000).
    struct { uint32_t t; float frame; } six[] = {{114004, 0.5f}, {114008, 1.0f}, {114012, 2.5f}, {114020, 2.5f}, {114028, 4.5f}};
    for (auto c : six)
        EXPECT_FLOAT_EQ(timeline_qorv_frame(timeline_frame(c.t - 114000, 8.0L)), c.frame) << c.t;
    EXPECT_FLOAT_EQ(timeline_qorv_frame(1000.25f), 0.25f);
    EXPECT_FLOAT_EQ(timeline_qorv_frame(1999.5f), 0.5f);  // n = 2000 (even) -> 0, plus .5
    EXPECT_FLOAT_EQ(timeline_qorv_frame(999.75f), 0.75f);  // n = 1000 wraps to 0
}

TEST(Timeline, BenchmarkScoreAndText)
{
    int32_t frames[7] = {99, 8238, 4200, 7968, 10554, 3120, 4554};
    EXPECT_EQ(timeline_bench_score(frames), 600);  // 100 per segment, slot 0 unused
    int32_t none[7] = {};
    EXPECT_EQ(timeline_bench_score(none), 0);
    int32_t half[7] = {0, 0, 21, 0, 0, 0, 0};      // 0.5 rounds to 0
    EXPECT_EQ(timeline_bench_score(half), 0);
    half[2] = 63;                                  // 1.5 rounds to 2
    EXPECT_EQ(timeline_bench_score(half), 2);
    EXPECT_EQ(timeline_bench_text(0), "Benchmark :  0 points.");
    EXPECT_EQ(timeline_bench_text(1234), "Benchmark :  1234 points.");
}

TEST(Timeline, SpinTurnsTheFirstFiveObjectsOrFewer)
{
    KST_SCENE scene{};
    scene.OBJECTS = 7;
    scene.OBJ = mem_array<KST_OBJECT>(7, "test objects");
    for (int i = 0; i < 7; ++i)
        scene.OBJ[i].STATICROTATE.Z = 9;
    timeline_spin(scene, 114200);
    EXPECT_FLOAT_EQ(scene.OBJ[0].STATICROTATE.X, -10.0f);
    EXPECT_FLOAT_EQ(scene.OBJ[0].STATICROTATE.Y, static_cast<float>(-200.0L / 19));
    for (int i = 1; i < 5; ++i) {
        EXPECT_FLOAT_EQ(scene.OBJ[i].STATICROTATE.X, scene.OBJ[i - 1].STATICROTATE.X * 1.1f);
        EXPECT_FLOAT_EQ(scene.OBJ[i].STATICROTATE.Y, scene.OBJ[i - 1].STATICROTATE.Y * 1.1f);
    }
    EXPECT_FLOAT_EQ(scene.OBJ[5].STATICROTATE.X, 0.0f);
    for (int i = 0; i < 7; ++i)
        EXPECT_FLOAT_EQ(scene.OBJ[i].STATICROTATE.Z, 9.0f);
    scene.OBJECTS = 2;  // a smaller scene: only what exists turns
    scene.OBJ[2].STATICROTATE.X = 0;
    timeline_spin(scene, 115000);
    EXPECT_FLOAT_EQ(scene.OBJ[0].STATICROTATE.X, -50.0f);
    EXPECT_FLOAT_EQ(scene.OBJ[2].STATICROTATE.X, 0.0f);
    scene.OBJECTS = 0;
    timeline_spin(scene, 115000);
    mem_free_array(scene.OBJ);
}

class DrawFrame : public gl_test {};

TEST_F(DrawFrame, NoSegmentDrawsOnlyTheClosingLayersAndTextSetUp)
{
    clock_set_virtual(true);
    START_MS = 1000;
    for (int32_t& f : SEGMENT_FRAMES)
        f = 0;
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    for (uint32_t t : {40000u, 64000u, 130000u}) {
        clock_set_virtual_ms(START_MS + t);
        DRAW_FRAME();
        EXPECT_EQ(ELAPSED_MS, t);
        EXPECT_GT(gl_read_pixel(320, 240).b, 250) << "no clear at " << t;
    }
    for (int s = 0; s < 7; ++s)
        EXPECT_EQ(SEGMENT_FRAMES[s], 0);
    EXPECT_FALSE(gl_enabled(GL_DEPTH_TEST));
    EXPECT_FALSE(gl_enabled(GL_LIGHTING));
    EXPECT_TRUE(gl_enabled(GL_TEXTURE_2D));
    EXPECT_TRUE(gl_enabled(GL_BLEND));
    EXPECT_EQ(gl_get_int(GL_BLEND_SRC), GL_SRC_COLOR);
    EXPECT_EQ(gl_get_int(GL_BLEND_DST), GL_ONE_MINUS_SRC_COLOR);
    EXPECT_EQ(gl_get_int(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(static_cast<uint32_t>(gl_get_int(GL_TEXTURE_BINDING_2D)), FONT_TEXTURE);
    EXPECT_NEAR(gl_get_float(GL_CURRENT_COLOR), 0.8f, 1e-6);

    // The clock wraps: an unsigned difference still gives the elapsed time.
    START_MS = 0xFFFFFF00u;
    clock_set_virtual_ms(0x100);
    DRAW_FRAME();
    EXPECT_EQ(ELAPSED_MS, 0x200u);
    EXPECT_EQ(SEGMENT_FRAMES[1], 1);
    clock_set_virtual(false);
    glClearColor(0, 0, 0, 0);
}

TEST_F(DrawFrame, LoadingStepDrawsTheLoadingLayersAtThirtySevenFramesPerStep)
{
    // A square sliding from x 0 at frame 0 to x 999 at frame 999 (one unit per frame).
    ife_interface& loading = SHELL_LAYERS[LAYERS_LOADING];
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    uint32_t white = 0xFFFFFFFFu;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    loading.layercount = 1;
    loading.layers = mem_array<ife_layer>(1, "test layers");
    loading.layers[0].texture = tex;
    loading.layers[0].keycount = 2;
    loading.layers[0].keys = mem_array<ife_keys>(2, "test keys");
    loading.layers[0].keys[0] = {0, 0, 384, 0, 0, 16, 768, 255, 255, 255, 255};
    loading.layers[0].keys[1] = {999, 999, 384, 0, 0, 16, 768, 255, 255, 255, 255};
    LOAD_STEP = 9;
    LOADING_STEP();  // step 10: frame 370, the square's centre at x 370 -> pixel 231.25
    EXPECT_EQ(LOAD_STEP, 10);
    EXPECT_GT(gl_read_pixel(231, 240).r, 250);
    EXPECT_LT(gl_read_pixel(236, 240).r, 5);
    EXPECT_LT(gl_read_pixel(225, 240).r, 5);
    EXPECT_LT(gl_read_pixel(208, 240).r, 5);  // where step 9 (frame 333) would be
    mem_free_array(loading.layers[0].keys);
    mem_free_array(loading.layers);
    loading.layercount = 0;
    LOAD_STEP = 0;
    QUIT_REQUESTED = 0;
}
