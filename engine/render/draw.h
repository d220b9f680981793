// engine/render/draw.h - drawing one object of a prepared scene.
#pragma once

#include "engine/scene/records.h"

void KST_DRAW_OBJECT(const KST_SCENE& scene, int32_t index, float frame);
void KST_DRAW_OBJECT_SHADOWED(const KST_SCENE& scene, int32_t index, float frame);
