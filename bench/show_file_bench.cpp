// bench/show_file_bench.cpp - what reading the default show file adds to loading.
//
// qiv reads show.toml once before it loads anything; these measure that read
// (the file from disk, toml++'s parse and the checks, the data folder's files
// included) against taking the built-in score, the whole cost of playing the
// default show from its file instead of from code. The data folder is
// QIV_BENCH_DATA, else ./data (make one with qiv-mkdata data).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "shell/score.h"
#include "shell/show_file.h"

static std::string show_bench_data()
{
    const char* dir = std::getenv("QIV_BENCH_DATA");
    return dir && *dir ? dir : "data";
}

static void BM_ShowFileDefaultRead(benchmark::State& state)
{
    std::string dir = show_bench_data();
    for (auto _ : state) {
        if (!show_file_load(dir)) {
            state.SkipWithError((dir + "/show.toml is missing").c_str());
            break;
        }
        benchmark::DoNotOptimize(SHOW.segments.data());
    }
}
BENCHMARK(BM_ShowFileDefaultRead)->Unit(benchmark::kMicrosecond);

static void BM_ShowBuiltInScore(benchmark::State& state)
{
    for (auto _ : state) {
        SHOW = score_builtin();
        benchmark::DoNotOptimize(SHOW.segments.data());
    }
}
BENCHMARK(BM_ShowBuiltInScore)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
