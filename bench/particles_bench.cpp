// bench/particles_bench.cpp - cost of one particle step against NEWPARTICLE.
//
// A pool of 3000 slots, already full, and one emitter with colour and
// velocity spread (six random draws per particle) asking for NEWPARTICLE new
// particles in the step. Every emission past the free slots lands in the last
// slot, and the step folds them into one emission plus a jump of the random
// generator, so BM_ParticleStep should cost about the same from 1 000 to
// 2 147 483 647. BM_ParticleStepOneByOne emits them one after another (the
// reference the shortcut is tested against) and grows with the count. Draw
// calls are skipped: the figures are the simulation's, not the driver's.
// BM_RandomJumpNewLength is the one-off cost of a jump of a new length.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <string>

#include "engine/render/draw.h"
#include "engine/render/particles.h"
#include "engine/render/passes.h"
#include "bench/bench_gl.h"
#include "platform/glcontext.h"
#include "support/mem.h"
#include "support/random.h"

namespace {

constexpr int32_t bench_pool = 3000;

struct bench_particles {
    KST_SCENE scene{};
    bench_particles(int32_t count)
    {
        scene.OBJECTS = 1;
        scene.OBJ = mem_array<KST_OBJECT>(1, "bench");
        KST_PARTICLEDATA& d = scene.OBJ[0].PARTICLE;
        d.ENABLED = true;
        d.NEWPARTICLE = count;
        d.POWER = 1000;
        d.DELTAPOWER = 1;
        d.COLOR = {0.5f, 0.5f, 0.5f};
        d.COLORSPREAD = {0.2f, 0.2f, 0.2f};
        d.DELTAVECTORSPREAD = {0.1f, 0.1f, 0.1f};
        d.SIZE = 0.1f;
        KST_PARTICLES_INIT(scene, bench_pool);
    }
    ~bench_particles()
    {
        KST_PARTICLES_FREE(scene);
        mem_free_array(scene.OBJ);
    }
};

// The camera the steps face: off the Y axis, so the view is not degenerate.
void bench_camera()
{
    KST_CAMERAPOS = {-10, -10, 3};
    KST_CAMERATARGET = {0, 0, 0};
}

void bench_steps(benchmark::State& state, bool one_by_one)
{
    gl_context ctx;
    if (!bench_gl_open(state, ctx))
        return;
    {
        bench_particles b(static_cast<int32_t>(state.range(0)));
        kst_render_skip_draws = true;
        bench_camera();
        KST_PARTICLES_RENDER(b.scene, 0);  // fills the pool
        kst_particles_stepwise = one_by_one;
        for (auto _ : state)
            KST_PARTICLES_RENDER(b.scene, 0);
        kst_particles_stepwise = false;
        kst_render_skip_draws = false;
        state.counters["newparticle"] = static_cast<double>(state.range(0));
    }
    gl_context_close(ctx);
}

void BM_ParticleStep(benchmark::State& state)
{
    bench_steps(state, false);
}

void BM_ParticleStepOneByOne(benchmark::State& state)
{
    bench_steps(state, true);
}

// A jump of a length not seen just before: x^n mod phi is computed afresh
// (the cost of the first step at a new count; later steps reuse it).
void BM_RandomJumpNewLength(benchmark::State& state)
{
    uint64_t n = static_cast<uint64_t>(state.range(0));
    random_jump(n);  // finds the polynomial once
    for (auto _ : state)
        random_jump(n++);
}

BENCHMARK(BM_RandomJumpNewLength)->Arg(1 << 20)->Arg(12884901882)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParticleStep)
    ->Arg(1000)->Arg(100000)->Arg(10000000)->Arg(2147483647)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParticleStepOneByOne)
    ->Arg(1000)->Arg(100000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
