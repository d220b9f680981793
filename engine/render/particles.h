// engine/render/particles.h - the particle pool of a scene.
#pragma once

#include "engine/scene/records.h"

// Gives the scene a pool of `count` free slots (none for count <= 0); a pool the
// scene already has is released first, so the record must hold a pool or null.
void    KST_PARTICLES_INIT(KST_SCENE& scene, int32_t count);
// Releases the pool and leaves the scene with an empty one (null, 0 entries).
void    KST_PARTICLES_FREE(KST_SCENE& scene);
// A scene built again takes over the particles in flight of the scene it
// replaces when both pools have the same size (otherwise its pool stays empty);
// particles of emitters that no longer exist are skipped when drawn.
void    kst_particles_carry(KST_SCENE& fresh, const KST_SCENE& old);
// One step after the scene render of the same frame: emit, draw, move and age.
void    KST_PARTICLES_RENDER(KST_SCENE& scene, float frame);
// A uniform integer in 0..n-1 from the program-wide generator; 0 for n = 0.
int32_t KST_RANDOM(uint32_t n);
// Test hook: emissions into a full pool one by one instead of the last one
// alone, as the reference the shortcut must match.
extern bool kst_particles_stepwise;
