// bench/scene_bench.cpp - scene loading, preparation and neighbour search.
//
// BM_SceneLoadPrepare loads and prepares a file of about 200 000 faces (a
// grid object with normals and texture coordinates, written by the engine's
// writer); BM_SceneReadInflate only reads the same file and inflates its
// packed chunks, the floor any loader pays. Their ratio is the loader's
// overhead; BM_ScenePrepare isolates the preparation share. BM_Neighbours times KST_CALCNEIGHBOURS at 10 000 and 200 000
// faces; BM_NeighboursPairwise the quadratic search it replaces, at sizes
// where that still finishes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "engine/scene/writer.h"
#include "support/mem.h"
#include "support/zpack.h"

// --- fixtures ------------------------------------------------------------------------------
// A grid of `faces` triangles in rows of 256 cells (two triangles per cell).
static void bench_grid(KST_OBJECT& o, int32_t faces)
{
    const int32_t cols = 256;
    int32_t rows = (faces / 2 + cols - 1) / cols + 1;
    o.VERTICES = (cols + 1) * (rows + 1);
    o.FACES = faces;
    o.VERTEX = mem_array<KST_VECTOR>(o.VERTICES, "bench vertex vectors");
    o.VERTEXNORMAL = mem_array<KST_VECTOR>(o.VERTICES, "bench vertex normals");
    o.TEXCOORD = mem_array<KST_TEXTCOORD>(o.VERTICES, "bench UV coordinates");
    o.NORMALS = o.TEXTURE = 1;
    for (int32_t v = 0; v < o.VERTICES; ++v) {
        float x = float(v % (cols + 1)), y = float(v / (cols + 1));
        o.VERTEX[v] = {x, y, (v * 7919 % 13) * 0.01f};
        o.VERTEXNORMAL[v] = {0, 0, 1};
        o.TEXCOORD[v] = {x / cols, y / rows};
    }
    o.FACE = mem_array<KST_FACE>(faces, "bench face list");
    for (int32_t f = 0; f < faces; ++f) {
        int32_t cell = f / 2, x = cell % cols, y = cell / cols;
        int32_t a = y * (cols + 1) + x, b = a + 1, d = a + cols + 1, e = d + 1;
        o.FACE[f] = (f % 2 == 0) ? KST_FACE{a, b, e} : KST_FACE{a, e, d};
    }
    o.ORIG_FACE = mem_array<KST_FACE>(faces, "bench orignal face list");
    for (int32_t f = 0; f < faces; ++f)
        o.ORIG_FACE[f] = o.FACE[f];
    o.NEIGHBOUR = mem_array<KST_FACE>(faces, "bench connectivity list");
}

static std::string bench_scene_file()
{
    static std::string path;
    if (!path.empty())
        return path;
    KST_SCENE s{};
    kst_name_set(s.NAME, "bench");
    s.MAJORVERSION = 1;
    s.MINORVERSION = 2;
    s.MATERIALS = 1;
    s.MATERIAL = mem_array<KST_MATERIAL>(1, "bench materials");
    s.OBJECTS = 1;
    s.OBJ = mem_array<KST_OBJECT>(1, "bench objects");
    bench_grid(s.OBJ[0], 200000);
    KST_CALCNEIGHBOURS(s.OBJ[0]);
    path = "/tmp/kestrel_scene_bench.kst";
    KST_SCENE_SAVE(s, path);
    KST_SCENE_FREE(s);
    return path;
}

static std::string bench_read(const std::string& path)
{
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    char block[1 << 16];
    size_t n;
    while (f && (n = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.append(block, n);
    if (f)
        std::fclose(f);
    return bytes;
}

// --- benchmarks ------------------------------------------------------------------------------
static void BM_SceneLoadPrepare(benchmark::State& state)
{
    std::string path = bench_scene_file();
    for (auto _ : state) {
        KST_SCENE s{};
        KST_SCENE_LOAD(s, path);
        benchmark::DoNotOptimize(s.VOLUMEARRAYINDEX);
        KST_SCENE_FREE(s);
    }
    state.SetLabel("200000 faces");
}
BENCHMARK(BM_SceneLoadPrepare)->Unit(benchmark::kMillisecond);

// Preparation alone (derived arrays replaced each time), to split the figure above.
static void BM_ScenePrepare(benchmark::State& state)
{
    KST_SCENE s{};
    KST_SCENE_LOAD(s, bench_scene_file());
    for (auto _ : state) {
        KST_SCENE_PREPARE(s);
        benchmark::DoNotOptimize(s.VOLUMEARRAYINDEX);
    }
    KST_SCENE_FREE(s);
}
BENCHMARK(BM_ScenePrepare)->Unit(benchmark::kMillisecond);

static void BM_SceneReadInflate(benchmark::State& state)
{
    std::string path = bench_scene_file();
    for (auto _ : state) {
        std::string bytes = bench_read(path);
        kst_scanner scan = kst_scan_begin(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        kst_chunk_header h{};
        const uint8_t* payload;
        size_t n;
        while (kst_scan_next(scan, h, payload, n) == KST_SCAN_CHUNK) {
            if (h.packed <= 0)
                continue;
            uint8_t* out = nullptr;
            int32_t length = h.size;
            ZUNCOMPRESS(out, length, payload, h.packed);
            benchmark::DoNotOptimize(out);
            mem_release(out);
        }
    }
}
BENCHMARK(BM_SceneReadInflate)->Unit(benchmark::kMillisecond);

static void BM_Neighbours(benchmark::State& state)
{
    KST_OBJECT o{};
    bench_grid(o, static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        KST_CALCNEIGHBOURS(o);
        benchmark::DoNotOptimize(o.NEIGHBOUR);
    }
    kst_object_free(o);
}
BENCHMARK(BM_Neighbours)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The pairwise search as the format defines it, for comparison.
static void bench_pairwise(KST_OBJECT& o)
{
    for (int32_t f = 0; f < o.FACES; ++f)
        o.NEIGHBOUR[f] = KST_FACE{-1, -1, -1};
    for (int32_t i = 0; i <= o.FACES - 2; ++i)
        for (int32_t j = i + 1; j <= o.FACES - 1; ++j)
            for (int32_t e = 0; e <= 2; ++e) {
                if (KST_GETNEIGHBOUR(o, i, e) != -1)
                    continue;
                int32_t p1 = KST_ORIGFACEVERTEX(o, i, e), p2 = KST_ORIGFACEVERTEX(o, i, e + 1);
                for (int32_t g = 0; g <= 2; ++g) {
                    int32_t q1 = KST_ORIGFACEVERTEX(o, j, g), q2 = KST_ORIGFACEVERTEX(o, j, g + 1);
                    if (std::min(p1, p2) == std::min(q1, q2) && std::max(p1, p2) == std::max(q1, q2)) {
                        KST_SETNEIGHBOUR(o, i, e, j);
                        KST_SETNEIGHBOUR(o, j, g, i);
                    }
                }
            }
}

static void BM_NeighboursPairwise(benchmark::State& state)
{
    KST_OBJECT o{};
    bench_grid(o, static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        bench_pairwise(o);
        benchmark::DoNotOptimize(o.NEIGHBOUR);
    }
    kst_object_free(o);
}
BENCHMARK(BM_NeighboursPairwise)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
