// engine/render/draw.h - drawing one object of a prepared scene.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

void KST_DRAW_OBJECT(const KST_SCENE& scene, int32_t index, float frame);
void KST_DRAW_OBJECT_SHADOWED(const KST_SCENE& scene, int32_t index, float frame);

// Measuring switch for the render benchmark: when true, the mesh and particle
// draw calls are skipped while everything else (state, matrices, animation,
// particle simulation) runs, so the engine's own share of a frame can be told
// from the GL driver's. Always false in the engine's normal use.
extern bool kst_render_skip_draws;

// Objects and triangles handed to GL by the object draws since the program
// started (an environment layer counts its triangles again); the timedemo
// prints the difference per frame.
struct kst_render_stats {
    uint64_t objects;
    uint64_t triangles;
};
extern kst_render_stats KST_RENDER_STATS;

// View-volume culling of the scene passes. kst_render_cull_begin takes the
// frustum from the current projection and model-view matrices (the camera of
// the scene render); until kst_render_cull_end, an object whose bounds at this
// frame lie wholly outside it draws nothing but still sets the GL state it
// would have set. Off everywhere else (mirrored render, selection render,
// direct calls) and when KESTREL_NO_CULLING is set in the environment.
void kst_render_cull_begin();
void kst_render_cull_end();
// True when the object's bounds at this frame lie wholly outside the frustum
// of kst_render_cull_begin (always false outside a begin/end pair).
bool kst_render_culled(const KST_SCENE& scene, int32_t index, float frame);

// Geometry in GL buffer objects (GL 1.5): uploaded on first draw, used while
// the object's arrays are the ones uploaded. Call after anything changed the
// arrays or pivots of a scene in place (a configuration file applied, a
// reload): it recomputes the bounds and releases the buffers, so the next draw
// uploads again. KESTREL_NO_BUFFERS in the environment keeps client arrays.
void kst_render_geometry_changed(KST_SCENE& scene);
// Deletes the scene's buffer objects (KST_SCENE_FREE calls it).
void kst_render_release_geometry(KST_SCENE& scene);

// Skinned and morphed objects: poses object `index` at `frame` (the shape in
// VERTEX and VERTEXNORMAL, its face normals, centres and bounds) and updates
// its buffer objects when they exist. Nothing happens for rigid objects or
// when the object already holds that frame. Every draw of an object calls it.
void kst_render_pose(const KST_SCENE& scene, int32_t index, float frame);
