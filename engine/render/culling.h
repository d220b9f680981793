// engine/render/culling.h - view-volume culling and grazing faces of object draws.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

// The object's world transform at `frame` as the object draw builds it:
// T(track) . T(POS) . Rx . Ry . Rz . [motion] . T(-POS), row-major, in double
// precision. `motion` is set when the rotation and scale tracks are in it
// (kst_spline_motion): the linear part is then no longer a pure rotation.
struct kst_cull_transform {
    double m[3][4];
    bool   motion = false;
};
kst_cull_transform kst_cull_object_transform(const KST_SCENE& scene, int32_t index, float frame);

// The camera position in the object's vertex coordinates (the inverse of the
// transform above applied to KST_CAMERAPOS).
KST_VECTOR kst_cull_eye_in_object(const kst_cull_transform& t, const KST_VECTOR& eye);

// True when the face is seen almost exactly edge on from `eye` (vertex
// coordinates): the vanishing line of its plane lies within
// KST_GRAZING_PIXELS of the face on the screen, that is |cos| of the angle
// between its normal and the view ray is below KST_GRAZING_PIXELS divided by
// the pixels per radian of the scene render's projection (0 outside the
// scene passes: nothing grazes). Faces without a normal (zero) never graze.
constexpr double KST_GRAZING_PIXELS = 3.5;
bool kst_cull_face_grazing(const KST_OBJECT& o, int32_t face, const KST_VECTOR& eye);

// True between kst_render_cull_begin and kst_render_cull_end, whether or not
// culling is switched off: the draws may take KST_CAMERAPOS as the camera.
bool kst_render_camera_known();
