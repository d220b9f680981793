// engine/scene/prepare.h - scene preparation and release.
#pragma once

#include "engine/scene/records.h"

// Second half of KST_SCENE_LOAD: ease arrays, face normals and centres, totals,
// neighbours for older files, shadow-volume buffers.
void KST_SCENE_PREPARE(KST_SCENE& scene);
void KST_SCENE_FREE(KST_SCENE& scene);
void KST_CALCNEIGHBOURS(KST_OBJECT& object);

int32_t KST_ORIGFACEVERTEX(const KST_OBJECT& object, int32_t face, int32_t corner);
int32_t KST_FACEVERTEX(const KST_OBJECT& object, int32_t face, int32_t corner);
int32_t KST_GETNEIGHBOUR(const KST_OBJECT& object, int32_t face, int32_t edge);
void    KST_SETNEIGHBOUR(KST_OBJECT& object, int32_t face, int32_t edge, int32_t value);
