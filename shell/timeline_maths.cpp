// shell/timeline_maths.cpp - segment choice, frame values and the score.
//
// All divisions run in long double (x87 extended on the machines we build
// for) and round once to a 32-bit float, so frame values do not drift with the
// compiler's choice of intermediate precision. Roundings to an integer are
// half to even (nearbyint under the default rounding mode).
#include <cmath>

#include "shell/font.h"
#include "shell/timeline.h"

// --- constants ----------------------------------------------------------------
const timeline_segment_info TIMELINE[TIMELINE_SEGMENTS + 1] = {
    {0, 0, false, 1.0L},            // slot 0: no segment
    {0, 15000, true, 7.5L},         // crest (layers at 15)
    {15000, 40000, true, 25.0L},    // part2
    {40000, 64000, false, 24.0L},   // lepke
    {64000, 96000, false, 32.0L},   // earth
    {96000, 114000, false, 18.0L},  // hipoly
    {114000, 130000, false, 16.0L}, // qorv (scene at 8, wrapped)
};

// Divisors of the score, one per segment.
static const long double TIMELINE_SCORE_DIVISORS[TIMELINE_SEGMENTS + 1] = {
    0.0L, 82.38L, 42.0L, 79.68L, 105.54L, 31.2L, 45.54L};

static constexpr int32_t TIMELINE_SPUN_OBJECTS = 5;

int32_t BENCH_SCORE;

// --- public functions ---------------------------------------------------------
int timeline_segment(uint32_t t)
{
    for (int s = 1; s <= TIMELINE_SEGMENTS; ++s) {
        const timeline_segment_info& seg = TIMELINE[s];
        bool after_start = seg.includes_start ? t >= seg.start : t > seg.start;
        if (after_start && t < seg.end)
            return s;
    }
    return 0;
}

float timeline_frame(int64_t u, long double divisor)
{
    return static_cast<float>(static_cast<long double>(u) / divisor);
}

float timeline_qorv_frame(float g)
{
    float whole = std::trunc(g);
    float frac = g - whole;
    double n = std::nearbyint(static_cast<double>(g));
    double wrapped = std::fmod(n, 1000.0);  // sign of g, like an integer mod
    return static_cast<float>(frac + wrapped);
}

int32_t timeline_bench_score(const int32_t frames[7])
{
    long double sum = 0.0L;
    for (int s = 1; s <= TIMELINE_SEGMENTS; ++s)
        sum += frames[s] / TIMELINE_SCORE_DIVISORS[s];
    return static_cast<int32_t>(std::nearbyint(sum));
}

void timeline_spin(KST_SCENE& scene, uint32_t t)
{
    int32_t count = scene.OBJECTS < TIMELINE_SPUN_OBJECTS ? scene.OBJECTS : TIMELINE_SPUN_OBJECTS;
    if (count <= 0 || scene.OBJ == nullptr)
        return;
    long double before = 114000.0L - static_cast<long double>(t);
    scene.OBJ[0].STATICROTATE.X = static_cast<float>(before / 20);
    scene.OBJ[0].STATICROTATE.Y = static_cast<float>(before / 19);
    for (int32_t i = 1; i < count; ++i) {
        KST_VECTOR& previous = scene.OBJ[i - 1].STATICROTATE;
        scene.OBJ[i].STATICROTATE.X = static_cast<float>(previous.X * 1.1L);
        scene.OBJ[i].STATICROTATE.Y = static_cast<float>(previous.Y * 1.1L);
    }
}

std::string timeline_bench_text(int32_t score)
{
    return "Benchmark :  " + INT_TO_STR(score) + " points.";
}
