// engine/scene/prepare.h - scene preparation and release.
#pragma once

#include "engine/scene/records.h"

// Second half of KST_SCENE_LOAD: ease arrays, face normals and centres, totals,
// neighbours for older files, shadow-volume buffers. Arrays it replaces are
// freed first, so preparing a scene twice leaks nothing.
void KST_SCENE_PREPARE(KST_SCENE& scene);
// Frees every array loading and preparation allocated (ORIG_FACE included)
// and clears the references; counts keep their values. The particle pool and
// the textures have their own release operations.
void KST_SCENE_FREE(KST_SCENE& scene);
// Fills NEIGHBOUR (allocated, FACES entries) from ORIG_FACE: the face across
// each edge or -1, exactly as the pairwise first-come search gives it, in
// O(F log F) time.
void KST_CALCNEIGHBOURS(KST_OBJECT& object);

int32_t KST_ORIGFACEVERTEX(const KST_OBJECT& object, int32_t face, int32_t corner);
int32_t KST_FACEVERTEX(const KST_OBJECT& object, int32_t face, int32_t corner);
int32_t KST_GETNEIGHBOUR(const KST_OBJECT& object, int32_t face, int32_t edge);
void    KST_SETNEIGHBOUR(KST_OBJECT& object, int32_t face, int32_t edge, int32_t value);

// Per-object bounds (sphere about POS, box of the vertices) into
// kst_object_bounds, one entry per object; preparation calls it, and so does
// anything that changes vertices or pivots afterwards.
void kst_scene_bounds(KST_SCENE& scene);
// The bounds of one object again (after its vertices moved in place).
void kst_object_bounds_update(KST_SCENE& scene, int32_t index);
// FACENORMAL and FACECENTER again from the present VERTEX (after it moved in
// place); objects without those arrays are left alone.
void kst_object_faces_update(KST_OBJECT& object);
// True when the bounds were computed from the object's present vertices and pivot.
bool kst_bounds_current(const kst_bounds& bounds, const KST_OBJECT& object);

// Frees every array hanging from one object and clears the references.
void kst_object_free(KST_OBJECT& object);
