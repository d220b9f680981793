// engine/scene/skin.h - skinned and morphed objects posed on the processor.
//
// An object with JOINTS or MORPHS stores its rest shape in VERTEX and
// VERTEXNORMAL, and frame-by-frame samples of its joint matrices and morph
// weights. kst_skin_pose writes the shape at a frame into VERTEX and
// VERTEXNORMAL (keeping the rest shape aside), so that every piece of the
// renderer that reads those arrays (the draws, shadow volumes, flare
// occluders, wireframes) sees the pose without knowing about skins.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

// True when the object has a skin or morph targets with sampled frames.
bool kst_skin_deforms(const KST_OBJECT& object);

// The shape of `object` at `frame` from the rest shape `rest_vertex` (and
// `rest_normal`, may be null) into `vertex` (and `normal`, may be null), all
// VERTICES long: morph offsets at the frame's weights first, then the
// weighted joint matrices. Frames between samples blend the two samples
// around them; frames outside 0..SKINFRAMES-1 hold the first or last sample.
// `vertex` may be `rest_vertex` itself (and `normal` `rest_normal`).
void kst_skin_compute(const KST_OBJECT& object, const KST_VECTOR* rest_vertex, const KST_VECTOR* rest_normal,
                      float frame, KST_VECTOR* vertex, KST_VECTOR* normal);

// Poses the object in place at `frame` (see above) and recomputes its face
// normals and centres. False when nothing changed: the object does not deform
// or already holds this frame.
bool kst_skin_pose(KST_OBJECT& object, float frame);

// Puts the rest shape back into VERTEX and VERTEXNORMAL.
void kst_skin_rest(KST_OBJECT& object);

// The rest shape: kst_rest_vertex while posed, VERTEX otherwise.
const KST_VECTOR* kst_skin_rest_vertex(const KST_OBJECT& object);
const KST_VECTOR* kst_skin_rest_normal(const KST_OBJECT& object);
