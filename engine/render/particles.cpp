// engine/render/particles.cpp - the particle pool of a scene.
//
// Any object can emit particles (its PARTICLE record); the particles of a scene
// live in one fixed pool, KST_SCENE.PARTICLE, allocated once by
// KST_PARTICLES_INIT. Each KST_PARTICLES_RENDER call is one step: every enabled
// emitter puts NEWPARTICLE new particles into the lowest free slots (when the
// pool is full, into the last slot, so only that one particle is ever cut
// short), then every live particle is drawn as an additive camera-facing square
// with its emitter's texture, and moved and aged. The step does not depend on
// the frame number, which only places the emitters on their tracks, so the
// particles run at the rate frames are drawn.
//
// Squares are drawn in immediate mode, one texture bind each, depth-tested
// against the scene without writing depth, so they add up where they overlap.
// The camera-facing basis (R, U) comes from the camera of the last scene render;
// a view whose direction has no X or Z component has no such basis and the step
// is skipped whole (nothing emitted, drawn, moved or aged).
//
// Colour and velocity spread come from the program-wide generator
// (support/random.h) in a fixed order (red, green, blue, X, Y, Z), so a seeded
// run is reproducible. Once the pool is full every further emission of the
// step lands in the last slot and replaces the one before it, so the last of
// them is made for real and the others only skip the generator ahead by their
// draws (support/random.h jumps in bounded time): a step costs the same
// whatever NEWPARTICLE is, with the pool and generator left exactly as one
// emission after another would leave them.
//
// Choices of this engine where the data is unusable: an emitter whose POWER is 0 or less emits nothing (its particles would be dead
// on arrival, and the life fraction would divide by zero); a particle whose
// emitter's POWER has since become 0 or less is drawn fully aged (life fraction
// 0); a negative spread jitters like its magnitude; spreads are limited to the
// range the 32-bit generator can serve (about 429496); a particle whose SOURCE
// names no object of the scene is freed without being drawn.
#include "engine/render/particles.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/render/draw.h"
#include "engine/render/passes.h"
#include "engine/render/render_common.h"
#include "support/mem.h"
#include "support/random.h"

// --- internal helpers ---------------------------------------------------------
// x rounded to the nearest integer, ties to even, held within 0 .. 2^32 - 1.
static int64_t kst_particle_round(double x)
{
    if (!(x > 0.0))
        return 0;
    if (x >= 4294967295.0)
        return 4294967295LL;
    return static_cast<int64_t>(std::nearbyint(x));
}

// A value between about -s/2 and +s/2 in steps of 0.0001; one random draw.
static float kst_particle_jitter(float spread)
{
    double s = std::fabs(static_cast<double>(spread));
    int64_t range = kst_particle_round(s * 10000.0);
    int64_t half = kst_particle_round(s * 5000.0);
    int64_t r = static_cast<uint32_t>(KST_RANDOM(static_cast<uint32_t>(range)));
    return static_cast<float>(static_cast<double>(r - half) / 10000.0);
}

// Lowest free slot from `from` on, or -1 when none is free. Emission only
// fills slots, so within one step the lowest free slot never moves down and
// each search can start where the previous one ended.
static int32_t kst_particle_free_slot(const KST_SCENE& scene, int32_t from)
{
    for (int32_t j = from; j < scene.PARTICLES; ++j)
        if (scene.PARTICLE[j].DELETED)
            return j;
    return -1;
}

static void kst_particle_emit(KST_SCENE& scene, int32_t j, int32_t source, const KST_VECTOR& at)
{
    const KST_PARTICLEDATA& d = scene.OBJ[source].PARTICLE;
    KST_PARTICLE& p = scene.PARTICLE[j];
    p.DELETED = false;
    p.COLORATTRIB = d.COLORATTRIB;
    p.POWER = d.POWER;
    p.DELTAPOWER = d.DELTAPOWER;
    p.SOURCE = source;
    p.POS = at;
    p.COLOR.R = d.COLOR.R + kst_particle_jitter(d.COLORSPREAD.R);
    p.COLOR.G = d.COLOR.G + kst_particle_jitter(d.COLORSPREAD.G);
    p.COLOR.B = d.COLOR.B + kst_particle_jitter(d.COLORSPREAD.B);
    p.DELTAVECTOR.X = d.DELTAVECTOR.X + kst_particle_jitter(d.DELTAVECTORSPREAD.X);
    p.DELTAVECTOR.Y = d.DELTAVECTOR.Y + kst_particle_jitter(d.DELTAVECTORSPREAD.Y);
    p.DELTAVECTOR.Z = d.DELTAVECTOR.Z + kst_particle_jitter(d.DELTAVECTORSPREAD.Z);
}

// Random draws one emission makes: one per spread whose range is not 0.
static uint64_t kst_particle_draws(const KST_PARTICLEDATA& d)
{
    uint64_t n = 0;
    for (float s : {d.COLORSPREAD.R, d.COLORSPREAD.G, d.COLORSPREAD.B, d.DELTAVECTORSPREAD.X,
                    d.DELTAVECTORSPREAD.Y, d.DELTAVECTORSPREAD.Z})
        n += static_cast<uint32_t>(kst_particle_round(std::fabs(static_cast<double>(s)) * 10000.0)) != 0;
    return n;
}

bool kst_particles_stepwise = false;

// `count` emissions of emitter i into a full pool: each replaces the particle
// in the last slot, so only the last one stays; the ones before it only
// advance the generator, which is skipped ahead by their draws.
static void kst_particles_emit_into_last(KST_SCENE& scene, int32_t i, const KST_VECTOR& at, int64_t count)
{
    const int32_t last = scene.PARTICLES - 1;
    if (kst_particles_stepwise) {
        for (int64_t n = 0; n < count; ++n)
            kst_particle_emit(scene, last, i, at);
        return;
    }
    random_skip(static_cast<uint64_t>(count - 1) * kst_particle_draws(scene.OBJ[i].PARTICLE));
    kst_particle_emit(scene, last, i, at);
}

static void kst_particles_emit(KST_SCENE& scene, float frame)
{
    if (scene.PARTICLES < 1 || !scene.PARTICLE)
        return;
    int32_t from = 0;  // no slot below this one is free
    for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i) {
        const KST_OBJECT& o = scene.OBJ[i];
        if (!o.PARTICLE.ENABLED || !(o.PARTICLE.POWER > 0.0f))
            continue;
        KST_VECTOR at = kst_object_position(scene, i, frame);
        int64_t n = 0;
        for (; n < o.PARTICLE.NEWPARTICLE; ++n) {
            int32_t j = from < 0 ? -1 : kst_particle_free_slot(scene, from);
            from = j;
            if (j < 0)
                break;
            kst_particle_emit(scene, j, i, at);
        }
        if (n < o.PARTICLE.NEWPARTICLE)
            kst_particles_emit_into_last(scene, i, at, o.PARTICLE.NEWPARTICLE - n);
    }
}

static void kst_particle_draw(const KST_PARTICLE& p, const KST_PARTICLEDATA& d, const KST_VECTOR& right,
                              const KST_VECTOR& up)
{
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(d.TEXTURE));
    float s = d.SIZE;
    glColor4f(p.COLOR.R, p.COLOR.G, p.COLOR.B, 1.0f);
    float f = d.POWER > 0.0f ? p.POWER / d.POWER : 0.0f;
    float g = 1.0f - f;
    if (p.COLORATTRIB & 1)
        glColor3f(p.COLOR.R * f, p.COLOR.G * f, p.COLOR.B * f);
    if (p.COLORATTRIB & 2)
        s = d.SIZE * f;
    if (p.COLORATTRIB & 4)
        glColor3f(p.COLOR.R * g, p.COLOR.G * g, p.COLOR.B * g);
    if (p.COLORATTRIB & 8)
        s = d.SIZE * g;
    if (kst_render_skip_draws)
        return;
    kst_billboard_draw(p.POS, s, right, up);
}

static void kst_particle_age(KST_PARTICLE& p)
{
    p.POWER = p.POWER - p.DELTAPOWER;
    p.POS = KST_VECTOR{p.POS.X + p.DELTAVECTOR.X, p.POS.Y + p.DELTAVECTOR.Y, p.POS.Z + p.DELTAVECTOR.Z};
    if (p.POWER <= 0.0f)
        p.DELETED = true;
}

static void kst_particles_draw_and_age(KST_SCENE& scene, const KST_VECTOR& right, const KST_VECTOR& up)
{
    for (int32_t j = 0; scene.PARTICLE && j < scene.PARTICLES; ++j) {
        KST_PARTICLE& p = scene.PARTICLE[j];
        if (p.DELETED)
            continue;
        if (p.SOURCE < 0 || p.SOURCE >= scene.OBJECTS || !scene.OBJ) {
            p.DELETED = true;
            continue;
        }
        kst_particle_draw(p, scene.OBJ[p.SOURCE].PARTICLE, right, up);
        kst_particle_age(p);
    }
}

// --- public functions ---------------------------------------------------------
void KST_PARTICLES_INIT(KST_SCENE& scene, int32_t count)
{
    KST_PARTICLES_FREE(scene);
    int32_t n = count > 0 ? count : 0;
    scene.PARTICLE = mem_array<KST_PARTICLE>(n, kst_name_get(scene.NAME) + " particles");
    scene.PARTICLES = n;
    for (int32_t j = 0; j < n; ++j)
        scene.PARTICLE[j].DELETED = true;
}

void KST_PARTICLES_FREE(KST_SCENE& scene)
{
    mem_free_array(scene.PARTICLE);
    scene.PARTICLES = 0;
}

void kst_particles_carry(KST_SCENE& fresh, const KST_SCENE& old)
{
    if (old.PARTICLE && fresh.PARTICLE && old.PARTICLES == fresh.PARTICLES)
        std::copy(old.PARTICLE, old.PARTICLE + old.PARTICLES, fresh.PARTICLE);
}

void KST_PARTICLES_RENDER(KST_SCENE& scene, float frame)
{
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    KST_VECTOR right{}, up{};
    if (kst_billboard_basis(right, up)) {
        kst_particles_emit(scene, frame);
        kst_particles_draw_and_age(scene, right, up);
    }
    glDepthMask(GL_TRUE);
}

int32_t KST_RANDOM(uint32_t n)
{
    if (n == 0)
        return 0;
    return static_cast<int32_t>(random_int(n));
}
