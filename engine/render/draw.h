// engine/render/draw.h - drawing one object of a prepared scene.
#pragma once

#include "engine/scene/records.h"

void KST_DRAW_OBJECT(const KST_SCENE& scene, int32_t index, float frame);
void KST_DRAW_OBJECT_SHADOWED(const KST_SCENE& scene, int32_t index, float frame);

// Measuring switch for the render benchmark: when true, the mesh and particle
// draw calls are skipped while everything else (state, matrices, animation,
// particle simulation) runs, so the engine's own share of a frame can be told
// from the GL driver's. Always false in the engine's normal use.
extern bool kst_render_skip_draws;
