// bench/skin_bench.cpp - posing a skinned mesh on the processor.
//
// Target: skinning a 10 000-vertex mesh for one frame costs under 1 ms.
// The mesh is a 100 x 100 grid with normals, skinned to 24 joints (the Fox's
// count) with four weights on every vertex, sampled for 100 frames; the frame
// asked for lies between two samples, so the joint matrices are blended too.
// BM_SkinCompute times the skinning alone (kst_skin_compute: joints, weights,
// positions and normals); BM_SkinPose what the renderer pays before its
// buffer update (kst_skin_pose: the same plus face normals and centres of the
// 19 602 faces). BM_SkinMorph adds four morph targets to the same mesh.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/scene/prepare.h"
#include "engine/scene/skin.h"
#include "support/mem.h"

// --- fixtures ------------------------------------------------------------------------------
static void bench_skin_grid(KST_OBJECT& o, int32_t side, int32_t joints, int32_t frames, int32_t morphs)
{
    o = KST_OBJECT{};
    o.VERTICES = side * side;
    o.NORMALS = 1;
    o.VERTEX = mem_array<KST_VECTOR>(o.VERTICES, "bench skin vertices");
    o.VERTEXNORMAL = mem_array<KST_VECTOR>(o.VERTICES, "bench skin normals");
    o.SKINJOINT = mem_array<KST_JOINTSET>(o.VERTICES, "bench skin joints");
    o.SKINWEIGHT = mem_array<KST_WEIGHTSET>(o.VERTICES, "bench skin weights");
    for (int32_t v = 0; v < o.VERTICES; ++v) {
        float x = static_cast<float>(v % side), y = static_cast<float>(v / side);
        o.VERTEX[v] = {x, y, 0.0f};
        o.VERTEXNORMAL[v] = {0, 0, 1};
        int32_t j = static_cast<int32_t>(y) * joints / side;
        o.SKINJOINT[v] = {j, (j + 1) % joints, (j + 2) % joints, (j + 3) % joints};
        o.SKINWEIGHT[v] = {0.4f, 0.3f, 0.2f, 0.1f};
    }
    o.FACES = 2 * (side - 1) * (side - 1);
    o.FACE = mem_array<KST_FACE>(o.FACES, "bench skin faces");
    for (int32_t f = 0; f < o.FACES; ++f) {
        int32_t cell = f / 2, x = cell % (side - 1), y = cell / (side - 1);
        int32_t a = y * side + x, b = a + 1, d = a + side, e = d + 1;
        o.FACE[f] = f % 2 == 0 ? KST_FACE{a, b, e} : KST_FACE{a, e, d};
    }
    o.FACENORMAL = mem_array<KST_VECTOR>(o.FACES, "bench skin face normals");
    o.FACECENTER = mem_array<KST_VECTOR>(o.FACES, "bench skin face centres");
    o.JOINTS = joints;
    o.SKINFRAMES = frames;
    o.JOINTBIND = mem_array<KST_MATRIX>(joints, "bench skin binds");
    o.JOINTMATRIX = mem_array<KST_MATRIX>(static_cast<int64_t>(joints) * frames, "bench skin joint matrices");
    for (int32_t k = 0; k < joints * (frames + 1); ++k) {
        KST_MATRIX& m = k < joints ? o.JOINTBIND[k] : o.JOINTMATRIX[k - joints];
        float a = 0.01f * static_cast<float>(k);
        m.m[0][0] = std::cos(a), m.m[0][1] = -std::sin(a), m.m[1][0] = std::sin(a), m.m[1][1] = std::cos(a);
        m.m[2][2] = m.m[3][3] = 1.0f;
        m.m[0][3] = 0.1f * static_cast<float>(k % joints);
    }
    if (morphs > 0) {
        o.MORPHS = morphs;
        o.MORPHVERTEX = mem_array<KST_VECTOR>(static_cast<int64_t>(morphs) * o.VERTICES, "bench morph offsets");
        o.MORPHNORMAL = mem_array<KST_VECTOR>(static_cast<int64_t>(morphs) * o.VERTICES, "bench morph normals");
        o.MORPHWEIGHT = mem_array<float>(static_cast<int64_t>(morphs) * frames, "bench morph weights");
        for (int64_t i = 0; i < static_cast<int64_t>(morphs) * o.VERTICES; ++i)
            o.MORPHVERTEX[i] = {0.0f, 0.0f, 0.01f * static_cast<float>(i % 7)};
        for (int64_t i = 0; i < static_cast<int64_t>(morphs) * frames; ++i)
            o.MORPHWEIGHT[i] = 0.25f;
    }
}

// --- benchmarks ----------------------------------------------------------------------------
static void BM_SkinCompute(benchmark::State& state)
{
    KST_OBJECT o;
    bench_skin_grid(o, 100, 24, 100, 0);
    std::vector<KST_VECTOR> vertex(static_cast<size_t>(o.VERTICES)), normal(vertex.size());
    float frame = 0.5f;
    for (auto _ : state) {
        kst_skin_compute(o, o.VERTEX, o.VERTEXNORMAL, frame, vertex.data(), normal.data());
        benchmark::DoNotOptimize(vertex.data());
        frame = frame > 98.0f ? 0.5f : frame + 1.0f;
    }
    state.counters["vertices"] = o.VERTICES;
    kst_object_free(o);
}
BENCHMARK(BM_SkinCompute)->Unit(benchmark::kMicrosecond);

static void BM_SkinPose(benchmark::State& state)
{
    KST_OBJECT o;
    bench_skin_grid(o, 100, 24, 100, static_cast<int32_t>(state.range(0)));
    float frame = 0.5f;
    for (auto _ : state) {
        kst_skin_pose(o, frame);
        benchmark::DoNotOptimize(o.VERTEX);
        frame = frame > 98.0f ? 0.5f : frame + 1.0f;
    }
    state.counters["vertices"] = o.VERTICES;
    state.counters["faces"] = o.FACES;
    kst_object_free(o);
}
BENCHMARK(BM_SkinPose)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SkinPose)->Name("BM_SkinMorph")->Arg(4)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
