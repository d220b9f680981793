// engine/scene/vecmath.cpp - vector operations (see vecmath.h).
#include "engine/scene/vecmath.h"

#include <cmath>

void KST_VECTOR_EMPTY(KST_VECTOR& v)
{
    v = KST_VECTOR{0.0f, 0.0f, 0.0f};
}

void KST_VECTOR_ADD(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r)
{
    const KST_VECTOR x = a, y = b;
    r = KST_VECTOR{x.X + y.X, x.Y + y.Y, x.Z + y.Z};
}

void KST_VECTOR_SUB(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r)
{
    const KST_VECTOR x = a, y = b;
    r = KST_VECTOR{x.X - y.X, x.Y - y.Y, x.Z - y.Z};
}

void KST_VECTOR_SCALE(const KST_VECTOR& v, float s, KST_VECTOR& r)
{
    const KST_VECTOR x = v;
    r = KST_VECTOR{x.X * s, x.Y * s, x.Z * s};
}

void KST_VECTOR_CROSS(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r)
{
    const KST_VECTOR x = a, y = b;
    r = KST_VECTOR{x.Y * y.Z - x.Z * y.Y, x.Z * y.X - x.X * y.Z, x.X * y.Y - x.Y * y.X};
}

float KST_VECTOR_LENGTH(const KST_VECTOR& v)
{
    double x = v.X, y = v.Y, z = v.Z;  // squares in double: short vectors do not underflow
    return static_cast<float>(std::sqrt(x * x + y * y + z * z));
}

void KST_VECTOR_NORMALIZE(const KST_VECTOR& v, KST_VECTOR& r)
{
    const KST_VECTOR x = v;
    float len = KST_VECTOR_LENGTH(x);
    r = KST_VECTOR{0.0f, 0.0f, 0.0f};
    if (len != 0.0f)
        r = KST_VECTOR{x.X / len, x.Y / len, x.Z / len};
}

void KST_VECTOR_MUL(const KST_VECTOR& a, const KST_VECTOR& b, KST_VECTOR& r)
{
    const KST_VECTOR x = a, y = b;
    r = KST_VECTOR{x.X * y.X, x.Y * y.Y, x.Z * y.Z};
}
