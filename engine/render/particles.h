// engine/render/particles.h - the particle pool of a scene.
#pragma once

#include "engine/scene/records.h"

void    KST_PARTICLES_INIT(KST_SCENE& scene, int32_t count);
void    KST_PARTICLES_FREE(KST_SCENE& scene);
void    KST_PARTICLES_RENDER(KST_SCENE& scene, float frame);
int32_t KST_RANDOM(uint32_t n);
