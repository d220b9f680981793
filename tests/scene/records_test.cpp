// Tests of the scene records' name type and the vector operations.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/scene/records.h"
#include "engine/scene/vecmath.h"

TEST(Name, LengthByteRulesTheText)
{
    KST_NAME n;
    std::memset(&n, 'g', sizeof n);  // garbage everywhere
    n.LEN = 5;
    std::memcpy(n.TEXT, "hello", 5);
    EXPECT_EQ(kst_name_get(n), "hello");
    EXPECT_TRUE(kst_name_equals(n, "hello"));
    EXPECT_FALSE(kst_name_equals(n, "hellog"));
    EXPECT_FALSE(kst_name_equals(n, "Hello"));

    n.LEN = 0;
    EXPECT_EQ(kst_name_get(n), "");

    kst_name_set(n, std::string(300, 'a') + "tail");
    EXPECT_EQ(n.LEN, 255);
    EXPECT_EQ(kst_name_get(n), std::string(255, 'a'));

    kst_name_set(n, "ab");
    EXPECT_EQ(kst_name_get(n), "ab");
    EXPECT_EQ(n.TEXT[2], 0);  // the rest is cleared

    std::string latin1 = "\xe9t\xe9";  // bytes 128..255 are kept as they are
    kst_name_set(n, latin1);
    EXPECT_EQ(kst_name_get(n), latin1);
}

TEST(Vecmath, OperationsAndAliasing)
{
    KST_VECTOR x{1, 0, 0}, y{0, 1, 0}, r;
    KST_VECTOR_CROSS(x, y, r);
    EXPECT_EQ(r.X, 0); EXPECT_EQ(r.Y, 0); EXPECT_EQ(r.Z, 1);
    KST_VECTOR_CROSS(y, x, r);
    EXPECT_EQ(r.Z, -1);

    KST_VECTOR a{1, 2, 3}, b{4, 6, 8};
    KST_VECTOR_SUB(a, a, r);
    EXPECT_EQ(r.X, 0); EXPECT_EQ(r.Y, 0); EXPECT_EQ(r.Z, 0);
    KST_VECTOR ab, ba;
    KST_VECTOR_SUB(a, b, ab);
    KST_VECTOR_SUB(b, a, ba);
    EXPECT_EQ(ab.X, -ba.X); EXPECT_EQ(ab.Y, -ba.Y); EXPECT_EQ(ab.Z, -ba.Z);
    EXPECT_EQ(ab.X, -3);  // first minus second

    KST_VECTOR zero{0, 0, 0};
    KST_VECTOR_NORMALIZE(zero, r);
    EXPECT_EQ(r.X, 0); EXPECT_EQ(r.Y, 0); EXPECT_EQ(r.Z, 0);
    KST_VECTOR tiny{1e-30f, 0, 0};  // no tolerance: still divided
    KST_VECTOR_NORMALIZE(tiny, r);
    EXPECT_FLOAT_EQ(r.X, 1.0f);
    EXPECT_FLOAT_EQ(KST_VECTOR_LENGTH(KST_VECTOR{3, 4, 12}), 13.0f);

    // Result aliased with an argument gives the same values as a separate result.
    KST_VECTOR p{1, 2, 3}, q{-2, 5, 0.5f}, sep;
    KST_VECTOR_CROSS(p, q, sep);
    KST_VECTOR al = p;
    KST_VECTOR_CROSS(al, q, al);
    EXPECT_EQ(std::memcmp(&al, &sep, sizeof al), 0);
    al = q;
    KST_VECTOR_CROSS(p, al, al);
    EXPECT_EQ(std::memcmp(&al, &sep, sizeof al), 0);
    KST_VECTOR_ADD(p, q, sep);
    al = p;
    KST_VECTOR_ADD(al, al, al);
    EXPECT_EQ(al.X, 2); EXPECT_EQ(al.Y, 4); EXPECT_EQ(al.Z, 6);
    KST_VECTOR_SCALE(al, 0.5f, al);
    EXPECT_EQ(al.X, 1); EXPECT_EQ(al.Z, 3);
    al = KST_VECTOR{3, 0, 4};
    KST_VECTOR_NORMALIZE(al, al);
    EXPECT_FLOAT_EQ(al.X, 0.6f); EXPECT_FLOAT_EQ(al.Z, 0.8f);
    KST_VECTOR_EMPTY(al);
    EXPECT_EQ(al.X, 0);
}
