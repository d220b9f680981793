// shell/timeline_maths.cpp - segment choice, frame values and the score.
//
// All divisions run in long double (x87 extended on the machines we build
// for) and round once to a 32-bit float, so frame values do not drift with the
// compiler's choice of intermediate precision. Roundings to an integer are
// half to even (nearbyint under the default rounding mode).
#include <cmath>
#include <cstdint>

#include "shell/font.h"
#include "shell/timeline.h"

int32_t BENCH_SCORE;

// --- public functions ---------------------------------------------------------
int timeline_segments()
{
    return static_cast<int>(SHOW.segments.size());
}

int timeline_segment(uint32_t t)
{
    for (size_t s = 0; s < SHOW.segments.size(); ++s) {
        const score_segment& seg = SHOW.segments[s];
        bool after_start = seg.includes_start ? t >= seg.start : t > seg.start;
        if (after_start && t < seg.end)
            return static_cast<int>(s + 1);
    }
    return 0;
}

std::vector<const score_step*> timeline_particle_steps(int segment)
{
    std::vector<const score_step*> steps;
    if (segment <= 0 || segment > timeline_segments())
        return steps;
    for (const score_step& step : score_segment_at(segment).steps)
        if (step.kind == SCORE_PARTICLES)
            steps.push_back(&step);
    return steps;
}

float timeline_frame(int64_t u, long double rate)
{
    return static_cast<float>(static_cast<long double>(u) / rate);
}

float timeline_wrap_frame(float g, int32_t wrap)
{
    float whole = std::trunc(g);
    float frac = g - whole;
    double n = std::nearbyint(static_cast<double>(g));
    double wrapped = std::fmod(n, static_cast<double>(wrap));  // sign of g, like an integer mod
    return static_cast<float>(frac + wrapped);
}

float timeline_qorv_frame(float g)
{
    return timeline_wrap_frame(g, 1000);
}

int32_t timeline_bench_score(const int32_t* frames)
{
    long double sum = 0.0L;
    for (int s = 1; s <= timeline_segments(); ++s) {
        long double weight = score_segment_at(s).weight;
        if (weight > 0.0L)
            sum += frames[s] / weight;
    }
    sum = std::nearbyint(sum);
    return sum < 2147483647.0L ? static_cast<int32_t>(sum) : INT32_MAX;  // a show file's tiny weights
}

void timeline_spin_step(KST_SCENE& scene, int64_t u, const score_step& spin)
{
    int32_t count = scene.OBJECTS < spin.objects ? scene.OBJECTS : spin.objects;
    if (count <= 0 || scene.OBJ == nullptr)
        return;
    long double before = -static_cast<long double>(u);
    scene.OBJ[0].STATICROTATE.X = static_cast<float>(before / spin.spin_x);
    scene.OBJ[0].STATICROTATE.Y = static_cast<float>(before / spin.spin_y);
    for (int32_t i = 1; i < count; ++i) {
        KST_VECTOR& previous = scene.OBJ[i - 1].STATICROTATE;
        scene.OBJ[i].STATICROTATE.X = static_cast<float>(previous.X * spin.growth);
        scene.OBJ[i].STATICROTATE.Y = static_cast<float>(previous.Y * spin.growth);
    }
}

void timeline_spin(KST_SCENE& scene, uint32_t t)
{
    score_step ring;  // the defaults are the ring spin's
    ring.kind = SCORE_SPIN;
    timeline_spin_step(scene, static_cast<int64_t>(t) - 114000, ring);
}

std::string timeline_bench_text(int32_t score)
{
    return "Benchmark :  " + INT_TO_STR(score) + " points.";
}
