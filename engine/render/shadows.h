// engine/render/shadows.h - stencil shadow volumes from a point light.
//
// Objects marked CASTSHADOW throw shadows by the shadow-volume technique,
// counted the depth-pass (z-pass) way. For each caster the processor finds the
// faces that look towards the light (LIGHTVISIBLE), the edges where a lit face
// meets an unlit one or no face at all (CONTOUR), and extrudes each such edge
// away from the light into a quad (VOLUMEARRAY). The quads go into the stencil
// buffer only: front faces increment and back faces decrement where they pass
// the depth test against the scene already drawn, so a visible surface inside
// a volume ends with a non-zero stencil value. Silhouettes are recomputed every
// call from per-face data prepared once at load (centres, normals, neighbours),
// so only contour edges are extruded; each caster costs two indexed draws from
// the scene's shared volume buffers. A caster is placed by its position
// track and, in scenes that ask for them, by its rotation and scale tracks
// about its pivot, as the object draw places it. A skinned or morphed caster
// is posed at the frame first (kst_render_pose), which recomputes its face
// normals and centres, so its shadow follows the pose.
//
// Known limits of the method: the volumes have no caps, so the counting is only
// right while the camera is outside every volume; extruded corners lie at a
// finite distance (INFINITY times their distance from the light).
//
// Safety: a caster never writes past the scene's volume buffers. Building stops
// at kst_volume_slots quads (what preparation allocated), so an edited or
// hostile scene loses part of a shadow rather than memory. Neighbour indices
// outside the face range count as "no neighbour" (an open edge), edges whose
// vertex indices fall outside VERTEX build no quad, and an object without its
// per-face arrays casts nothing.
//
// The caller restricts later drawing to the shadowed pixels itself (for example
// glStencilFunc(GL_NOTEQUAL, 0, ~0u) before the shadowed scene render); the
// stencil step below leaves the stencil function at GL_ALWAYS.
#pragma once

#include "engine/scene/records.h"

// Extrusion factor in use, copied from the scene's INFINITY by KST_SHADOW_RENDER.
extern float KST_SHADOWEXTRUDE;

// The whole stencil step for one light position (world coordinates). Needs the
// camera in the model-view matrix and the scene's depths in the depth buffer.
void KST_SHADOW_RENDER(KST_SCENE& scene, const KST_VECTOR& light, float frame);
// LIGHTVISIBLE[f] = ((FACECENTER[f] + offset - light) . FACENORMAL[f] > 0).
void KST_SHADOW_LIGHTVISIBLE(KST_OBJECT& object, const KST_VECTOR& light, const KST_VECTOR& offset);
// CONTOUR[3f + k]: edge k of a lit face borders an unlit face or none.
void KST_SHADOW_CONTOUR(KST_OBJECT& object);
// Appends one quad per contour edge to the scene's VOLUMEARRAY.
void KST_SHADOW_BUILDVOLUME(KST_SCENE& scene, KST_OBJECT& object, const KST_VECTOR& light,
                            const KST_VECTOR& offset);
