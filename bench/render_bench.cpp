// bench/render_bench.cpp - frame time of the scene render plus particles.
//
// One off-screen 640 x 480 frame of a 200 000-face scene drawn the way the demo
// draws a frame: clear, KST_RENDER_SCENE (50 lit or textured grid objects of
// 4000 faces, two lights, one moving object, fog on some), the state reset,
// and KST_PARTICLES_RENDER over a full pool of 2000 particles from four
// emitters; glFinish closes the frame so the driver's work is inside the time.
//
// BM_Frame/0 draws everything. BM_Frame/1 runs the same frame with the mesh and
// particle draw calls skipped (kst_render_skip_draws): camera, lights, state,
// matrices, animation and the particle simulation still run, so its time is
// the engine's own share of a frame; the rest of BM_Frame/0 is the GL driver
// (Mesa llvmpipe here) transforming and rasterising.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/render/draw.h"
#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "engine/scene/prepare.h"
#include "engine/textures/texture_manager.h"
#include "bench/bench_gl.h"
#include "platform/glcontext.h"
#include "support/mem.h"

namespace {

constexpr int bench_objects = 50;
constexpr int bench_cols = 40, bench_rows = 50;   // 2000 cells, 4000 faces per object
constexpr int bench_pool = 2000;

// --- scene building -------------------------------------------------------------
std::string bench_texture()
{
    std::string path = (std::filesystem::temp_directory_path() / "kestrel_render_bench.raw").string();
    std::string bytes(256 * 256 * 3, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i / 3 % 256) ^ (i / 768));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path.substr(0, path.size() - 3) + "jpg";
}

void bench_material(KST_MATERIAL& m, int i, uint32_t texture)
{
    m.AMBIENT = {0.2f, 0.2f, 0.2f};
    m.DIFFUSE = {0.3f + 0.1f * i, 0.8f, 0.5f};
    m.SPECULAR = {0.5f, 0.5f, 0.5f};
    m.SHINE = 20;
    m.UTILE = m.VTILE = 2.0f;
    m.CONSTANTALPHA = 1.0f;
    m.RECEIVELIGHT = i % 2 == 0;
    m.TEXTURED = i >= 2;
    m.TEXTURE = static_cast<int32_t>(texture);
    m.TEXTURETYPE = 24;
}

// A grid of cells facing the camera (-Y), `size` units wide, centred at c.
void bench_grid(KST_OBJECT& o, const KST_VECTOR& c, float size, int material)
{
    const int nv = (bench_cols + 1) * (bench_rows + 1), nf = bench_cols * bench_rows * 2;
    o.VISIBLE = o.NORMALS = o.TEXTURE = 1;
    o.MATERIAL = material;
    o.BACKFACECULL = 1;
    o.VERTICES = nv;
    o.FACES = nf;
    o.POS = c;
    o.VERTEX = mem_array<KST_VECTOR>(nv, "bench");
    o.VERTEXNORMAL = mem_array<KST_VECTOR>(nv, "bench");
    o.TEXCOORD = mem_array<KST_TEXTCOORD>(nv, "bench");
    o.FACE = mem_array<KST_FACE>(nf, "bench");
    o.ORIG_FACE = mem_array<KST_FACE>(nf, "bench");
    for (int r = 0; r <= bench_rows; ++r) {
        for (int k = 0; k <= bench_cols; ++k) {
            int v = r * (bench_cols + 1) + k;
            float u = static_cast<float>(k) / bench_cols, w = static_cast<float>(r) / bench_rows;
            float bump = 0.1f * std::sin(u * 12.0f) * std::cos(w * 9.0f);
            o.VERTEX[v] = {c.X + (u - 0.5f) * size, c.Y + bump, c.Z + (w - 0.5f) * size};
            o.VERTEXNORMAL[v] = {0.0f, -1.0f, 0.0f};
            o.TEXCOORD[v] = {u, w};
        }
    }
    int f = 0;
    for (int r = 0; r < bench_rows; ++r) {
        for (int k = 0; k < bench_cols; ++k) {
            int a = r * (bench_cols + 1) + k, b = a + 1, d = a + bench_cols + 1, e = d + 1;
            o.FACE[f++] = {a, b, e};
            o.FACE[f++] = {a, e, d};
        }
    }
    for (int i = 0; i < nf; ++i)
        o.ORIG_FACE[i] = o.FACE[i];
}

void bench_emitter(KST_OBJECT& o, const KST_VECTOR& at)
{
    o.POS = at;
    KST_PARTICLEDATA& p = o.PARTICLE;
    p.ENABLED = 1;
    p.NEWPARTICLE = 10;
    p.POWER = 50;
    p.DELTAPOWER = 1;
    p.COLOR = {0.6f, 0.3f, 0.1f};
    p.COLORSPREAD = {0.2f, 0.2f, 0.1f};
    p.DELTAVECTOR = {0.0f, 0.0f, 0.05f};
    p.DELTAVECTORSPREAD = {0.05f, 0.05f, 0.05f};
    p.COLORATTRIB = 1 | 8;
    p.SIZE = 0.3f;
}

struct bench_scene {
    KST_SCENE scene{};

    bench_scene()
    {
        uint32_t texture = TX_LOAD(bench_texture(), 3);
        kst_name_set(scene.NAME, "bench");
        scene.MATERIALS = 4;
        scene.MATERIAL = mem_array<KST_MATERIAL>(scene.MATERIALS, "bench");
        for (int i = 0; i < scene.MATERIALS; ++i)
            bench_material(scene.MATERIAL[i], i, texture);
        scene.OBJECTS = bench_objects + 4;
        scene.OBJ = mem_array<KST_OBJECT>(scene.OBJECTS, "bench");
        for (int i = 0; i < bench_objects; ++i)
            bench_grid(scene.OBJ[i], {-22.5f + 5.0f * (i % 10), 0.0f, -10.0f + 5.0f * (i / 10)}, 4.5f, i % 4);
        for (int i = 0; i < bench_objects; i += 7)
            scene.OBJ[i].USEFOG = 1, scene.OBJ[i].FOGPARAM = {0.02f, 10.0f, 80.0f};
        for (int i = 0; i < 4; ++i)
            bench_emitter(scene.OBJ[bench_objects + i], {-15.0f + 10.0f * i, -2.0f, -5.0f});
        bench_camera();
        for (int l = 0; l < 2; ++l) {
            scene.LIGHT[l].ENABLED = 1;
            scene.LIGHT[l].POS = {l ? 30.0f : -30.0f, -40.0f, 20.0f};
            scene.LIGHT[l].DIFFUSE = {0.8f, 0.8f, 0.8f};
            scene.LIGHT[l].SPECULAR = {1, 1, 1};
        }
        scene.CAMFOV = 1.0f;
        scene.CAMNEAR = 1.0f;
        scene.CAMFAR = 500.0f;
        scene.DRAWDISTANCE = 1000.0f;
        scene.FRAMES = 100;
        KST_SCENE_PREPARE(scene);
        KST_PARTICLES_INIT(scene, bench_pool);
    }
    ~bench_scene()
    {
        KST_PARTICLES_FREE(scene);
        KST_SCENE_FREE(scene);
    }

    void bench_camera()
    {
        scene.CAMPOSKEYS = scene.CAMTARGETKEYS = 2;
        scene.CAMPOSITION = mem_array<KST_KEYVECTOR>(2, "bench");
        scene.CAMTARGET = mem_array<KST_KEYVECTOR>(2, "bench");
        scene.CAMPOSITION[0] = {0, -8.0f, -45.0f, 6.0f};
        scene.CAMPOSITION[1] = {100, 8.0f, -45.0f, 2.0f};
        scene.CAMTARGET[0] = {0, 0.0f, 0.0f, 0.0f};
        scene.CAMTARGET[1] = {100, 0.0f, 0.0f, 0.0f};
    }
};

// One demo-style frame: clear, scene, state reset, particles, finish.
void bench_frame(KST_SCENE& scene, float frame)
{
    KST_CLEAR_SCREEN();
    KST_RENDER_SCENE(scene, frame);
    kst_state_reset();
    KST_PARTICLES_RENDER(scene, frame);
    glFinish();
}

// Share of the frame's pixels that are not black (a check that the scene is in view).
double bench_coverage()
{
    std::vector<unsigned char> px(640 * 480 * 4);
    glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    int lit = 0;
    for (size_t i = 0; i < px.size(); i += 4)
        lit += (px[i] | px[i + 1] | px[i + 2]) ? 1 : 0;
    return lit / (640.0 * 480.0);
}

// --- benchmarks -------------------------------------------------------------------
void BM_Frame(benchmark::State& state)
{
    gl_context ctx;
    if (!bench_gl_open(state, ctx))
        return;
    glViewport(0, 0, 640, 480);
    {
        bench_scene b;
        kst_render_skip_draws = state.range(0) != 0;
        float frame = 0.0f;
        for (int i = 0; i < 60; ++i)  // fill the particle pool
            bench_frame(b.scene, frame);
        for (auto _ : state) {
            bench_frame(b.scene, frame);
            frame = std::fmod(frame + 0.5f, 100.0f);
        }
        kst_render_skip_draws = false;
        bench_frame(b.scene, frame);
        state.counters["coverage"] = bench_coverage();
        int live = 0;
        for (int j = 0; j < b.scene.PARTICLES; ++j)
            live += b.scene.PARTICLE[j].DELETED ? 0 : 1;
        state.counters["faces"] = static_cast<double>(kst_scene_total_faces(b.scene));
        state.counters["particles"] = live;
        state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    }
    TX_FREEALL();
    gl_context_close(ctx);
}
BENCHMARK(BM_Frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
