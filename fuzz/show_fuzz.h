// fuzz/show_fuzz.h - one run of the show-file fuzz target.
//
// Shared by the libFuzzer target (fuzz/show_fuzz.cpp) and the test that runs
// the seed corpus (tests/shell/show_fuzz_corpus_test.cpp). The bytes are read
// as a show file without a data folder (no file checks); a fatal error is the
// expected answer to bad input and must leave the score given in untouched.
// Whatever reads must hold what the director and the loading sequence rely
// on: every slot a step or closing layer names exists, the loading screen's
// layer set is slot 0, counts are within the shell's capacities, segments are
// inside the show and share no millisecond, and every rate, wrap and weight
// is in its range. A broken expectation aborts, which both the fuzzer and
// the test report.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/score.h"
#include "shell/show_file.h"
#include "support/error.h"

inline void show_fuzz_require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "show file fuzz: %s\n", what);
        std::abort();
    }
}

inline void show_fuzz_check_step(const show_score& s, const score_step& step)
{
    size_t scenes = s.scenes.size(), layers = s.layer_sets.size();
    switch (step.kind) {
    case SCORE_LAYERS:
        show_fuzz_require(step.target >= 0 && size_t(step.target) < layers, "layer step outside the layer sets");
        show_fuzz_require(step.fixed ? std::isfinite(step.frame) && step.frame >= 0 : step.rate >= 0.001L,
                          "layer step frame or rate out of range");
        break;
    case SCORE_SCENE:
    case SCORE_PARTICLES:
    case SCORE_SPIN:
        show_fuzz_require(step.target >= 0 && size_t(step.target) < scenes, "scene step outside the scenes");
        if (step.kind != SCORE_SPIN)
            show_fuzz_require(step.rate >= 0.001L && step.rate <= 1e9L, "rate out of range");
        if (step.kind == SCORE_PARTICLES)
            show_fuzz_require(s.scenes[size_t(step.target)].particles > 0, "particles of a scene without a pool");
        show_fuzz_require(step.wrap >= 0, "negative wrap");
        show_fuzz_require(step.objects >= 0 && std::fabs(step.spin_x) >= 0.001L && std::fabs(step.spin_y) >= 0.001L,
                          "spin parameters out of range");
        break;
    default:
        break;
    }
}

inline void show_fuzz_check(const show_score& s)
{
    show_fuzz_require(!s.layer_sets.empty(), "no loading screen layer set");
    show_fuzz_require(s.layer_sets.size() <= size_t(SCORE_MAX_LAYER_SETS) && s.scenes.size() <= size_t(SCORE_MAX_SCENES) &&
                          !s.segments.empty() && s.segments.size() <= size_t(SCORE_MAX_SEGMENTS),
                      "counts beyond the capacities");
    show_fuzz_require(s.length > 0, "a show of no length");
    for (size_t a = 0; a < s.segments.size(); ++a) {
        const score_segment& x = s.segments[a];
        uint64_t first = uint64_t(x.start) + (x.includes_start ? 0 : 1);
        show_fuzz_require(first < x.end && x.end <= s.length, "segment empty or past the show's end");
        show_fuzz_require(x.weight == 0 || x.weight >= 0.001L, "weight out of range");
        for (size_t b = 0; b < a; ++b) {
            const score_segment& y = s.segments[b];
            uint64_t y_first = uint64_t(y.start) + (y.includes_start ? 0 : 1);
            show_fuzz_require(std::max(first, y_first) >= std::min<uint64_t>(x.end, y.end), "segments overlap");
        }
        for (const score_step& step : x.steps)
            show_fuzz_check_step(s, step);
    }
    for (const score_closing& c : s.closing)
        show_fuzz_require(c.layers >= 0 && size_t(c.layers) < s.layer_sets.size() && c.rate >= 0.001L,
                          "closing layers out of range");
    for (const score_scene& scene : s.scenes)
        show_fuzz_require(!scene.stem.empty() && scene.particles >= 0, "bad scene entry");
}

inline int show_fuzz_one(const uint8_t* data, size_t size)
{
    show_score score;
    score.length = 12345;  // a refused file must leave this alone
    try {
        show_file_parse(std::string_view(reinterpret_cast<const char*>(data), size), "show.toml", "", score);
        show_fuzz_check(score);
    } catch (const fatal_error&) {
        show_fuzz_require(score.length == 12345 && score.segments.empty(), "a refused file changed the score");
    }
    return 0;
}
