// engine/scene/spline.h - key-frame interpolation of cameras, objects and lights.
//
// The camera position and target follow uniform Catmull-Rom curves through
// their keys (cubic Bezier segments with tangents (P[k+1] - P[k-1]) / 6),
// objects and lights move in straight lines between keys. Frames before the
// first key take the first key's vector, frames after the last the last one's.
// The unit state below is shared by every scene; only POS_ACT and TAR_ACT carry
// over from one call to the next (they matter when no segment matches, for keys
// out of frame order), and they are always checked against the current arrays
// before use, so a value left from another scene never indexes outside them.
// A single key acts as a constant.
#pragma once

#include "engine/scene/records.h"

extern int32_t POS_KEYS, TAR_KEYS;
extern float   POS_KEYMIN, POS_KEYMAX, TAR_KEYMIN, TAR_KEYMAX;
extern int32_t POS_ACT, TAR_ACT;
extern float   DELTA, B0, B1, B2, B3;
extern int32_t I;

void SPLINE_INIT_EASE(KST_VECTOR& ease, const KST_KEYVECTOR& k1, const KST_KEYVECTOR& k2);
void SPLINE_INITIALIZE(KST_SCENE& scene);
void SPLINE_CAMVECTORS(KST_VECTOR& pos, KST_VECTOR& target, const KST_SCENE& scene, float frame);
void SPLINE_LINEAR_POS(KST_VECTOR& pos, const KST_SCENE& scene, int32_t index, float frame);
void SPLINE_LIGHT_POS(KST_VECTOR& pos, const KST_SCENE& scene, int32_t light, float frame);

// An object's rotation track at a frame: spherical linear interpolation
// between the keys (X, Y, Z, W), along the shorter arc, normalised; the
// identity without keys, the first or last key outside them.
void kst_spline_rotation(KST_KEYQUAT& rot, const KST_SCENE& scene, int32_t index, float frame);
// An object's scale track at a frame: linear between the keys; (1, 1, 1)
// without keys, the first or last key outside them.
void kst_spline_scale(KST_VECTOR& scale, const KST_SCENE& scene, int32_t index, float frame);

// The linear part of an object's motion about its pivot at a frame, for
// scenes that ask for it (MOTION, records.h): R . B . S . B^T, R the rotation
// track's turn, S the scale track's factors and B the rotation of INITMATRIX
// (the object's axes at frame 0), row-major. The renderer draws the vertex p
// at POS + track + linear . (p - POS). False, with linear the identity, when
// the scene asks for neither track or the object has none of those it asks
// for: then the object is drawn exactly as without the request.
bool kst_spline_motion(double linear[3][3], const KST_SCENE& scene, int32_t index, float frame);
// The inverse of a 3 x 3 matrix; false (and inv untouched) when it has none
// (a zero or non-finite determinant, as for a scale of 0).
bool kst_spline_invert(const double m[3][3], double inv[3][3]);
