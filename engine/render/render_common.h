// engine/render/render_common.h - small pieces every renderer module shares.
//
// The material blend table (scene passes and interface layers use the same
// five modes), the safe material lookup (a configuration file can point an
// object at any index), the position-track transform of objects, occluders and
// wireframes (with the rotation and scale tracks about the pivot for scenes
// whose MOTION asks for them), an object's world position (pivot plus track) for emitters and
// flares, the camera-facing basis and square of particles and flares, and the
// pixel-store state that every read-back and upload sets for itself (a caller
// may leave any alignment, row length or skip behind; nothing is restored).
//
// KST_PIXEL_SCALE is the picture's height over 480: the show was made for a
// 640 x 480 picture, and everything the renderer sizes in pixels rather than
// in view space (visibility points and read-back blocks of flares, line
// widths) is multiplied by it, so that a larger picture is the same picture,
// drawn sharper. The program that chooses the picture size sets it; it is 1
// by default, and at 1 every size is exactly what it always was.
#pragma once

#include "engine/scene/records.h"

extern float KST_PIXEL_SCALE;  // picture height / 480; 1 by default

// A size in pixels at a 640 x 480 picture, scaled to the current picture.
float kst_pixels(float size_at_480);

// Blend mode 0 none, 1 ONE/ONE, 2 ALPHA, 3 1-ALPHA, 4 SRC_COLOR; others keep the state.
void kst_apply_blend(uint8_t blend);
// The object's material, or nullptr when its index names none.
const KST_MATERIAL* kst_object_material(const KST_SCENE& scene, const KST_OBJECT& object);
// Selects the model-view matrix, pushes it and translates by the object's
// position track when it has one.
void kst_push_position(const KST_SCENE& scene, int32_t index, float frame);
// kst_push_position, then the object's rotation and scale about its pivot
// when the scene asks for them (kst_spline_motion): the transform of
// occluders and wireframes.
void kst_push_track(const KST_SCENE& scene, int32_t index, float frame);
// Multiplies the current matrix by the linear part of the object's motion
// (kst_spline_motion), with no translation: the caller stands at the pivot.
// Returns 0 when the scene asks for nothing the object has (no GL call), 1
// for a motion without a scale track, 2 with one (normals then need
// GL_NORMALIZE).
int kst_multiply_motion(const KST_SCENE& scene, int32_t index, float frame);
// POS plus the position track's translation when the object has one.
KST_VECTOR kst_object_position(const KST_SCENE& scene, int32_t index, float frame);
// Right and up axes of squares facing the camera of the last scene render;
// false for a degenerate view (camera and target differing only along Y).
bool kst_billboard_basis(KST_VECTOR& right, KST_VECTOR& up);
// The reset a frame makes between a scene render and its particles or
// overlays: depth function LEQUAL, lighting off, texture matrix selected and
// identity, depth test on.
void kst_state_reset();
// One textured square of half-diagonal s at p, as a four-vertex strip.
void kst_billboard_draw(const KST_VECTOR& p, float s, const KST_VECTOR& right, const KST_VECTOR& up);
// The current context's GL_VERSION is at least major.minor.
bool kst_gl_version_at_least(int major, int minor);
// The current context lists the extension (a whole name, "GL_ARB_...").
bool kst_gl_has_extension(const char* name);
// Pack state of a tightly packed read into a caller's buffer: no pixel pack
// buffer bound, alignment 1, no row length, image height or skips, no byte
// swapping, most significant bit first, and an identity pixel transfer
// (scales 1, biases 0, no colour maps).
void kst_pixel_pack_tight();
// The same for an upload from a tightly packed buffer (no pixel unpack buffer).
void kst_pixel_unpack_tight();
