// engine/scene/vecmath.h - free operations on KST_VECTOR.
//
// Preparation uses them for face normals, the shadow code for extruding
// volumes. Every operation copies its arguments before computing, so the result
// may be the same variable as an argument; results are rounded to float once
// per component. KST_VECTOR_NORMALIZE divides by the exact length with no
// tolerance and gives (0, 0, 0) only for a vector of length exactly 0.
// KST_VECTOR_MUL is the component-wise product; nothing in the engine calls it.
#pragma once

#include "engine/scene/records.h"

void  KST_VECTOR_EMPTY(KST_VECTOR& v);
void  KST_VECTOR_ADD(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r);
void  KST_VECTOR_SUB(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r);
void  KST_VECTOR_SCALE(const KST_VECTOR& v, float s, KST_VECTOR& r);
void  KST_VECTOR_CROSS(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r);
float KST_VECTOR_LENGTH(const KST_VECTOR& v);
void  KST_VECTOR_NORMALIZE(const KST_VECTOR& v, KST_VECTOR& r);
void  KST_VECTOR_MUL(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r);
