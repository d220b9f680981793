// bench/bench_gl.h - the off-screen GL context the drawing benchmarks run in.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

#include "platform/glcontext.h"

// Opens a hidden off-screen context; false (the benchmark marked skipped with
// the reason) when there is none.
inline bool bench_gl_open(benchmark::State& state, gl_context& ctx)
{
    gl_context_options options;
    options.offscreen = true;
    options.visible = false;
    std::string error;
    if (gl_context_open(ctx, options, error))
        return true;
    state.SkipWithError(("no GL context: " + error).c_str());
    return false;
}
