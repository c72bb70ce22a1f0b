#include "math/Vector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

void ExpectVector(const Vector& v, float fX, float fY, float fZ)
{
    EXPECT_FLOAT_EQ(v.x, fX);
    EXPECT_FLOAT_EQ(v.y, fY);
    EXPECT_FLOAT_EQ(v.z, fZ);
}

TEST(VectorTest, ArithmeticActsOnEveryComponent)
{
    const Vector a(1.0f, -2.0f, 3.0f);
    const Vector b(0.5f, 4.0f, -1.0f);
    ExpectVector(Vector(2.5f), 2.5f, 2.5f, 2.5f);
    ExpectVector(-a, -1.0f, 2.0f, -3.0f);
    ExpectVector(a + b, 1.5f, 2.0f, 2.0f);
    ExpectVector(a - b, 0.5f, -6.0f, 4.0f);
    ExpectVector(a + 1.0f, 2.0f, -1.0f, 4.0f);
    ExpectVector(a - 1.0f, 0.0f, -3.0f, 2.0f);
    ExpectVector(a * 2.0f, 2.0f, -4.0f, 6.0f);
    ExpectVector(a / 2.0f, 0.5f, -1.0f, 1.5f);
    EXPECT_FLOAT_EQ(a.LengthSquared(), 14.0f);
}

TEST(VectorTest, DivisionByZeroGivesZeroVector)
{
    ExpectVector(Vector(1.0f, -2.0f, 3.0f) / 0.0f, 0.0f, 0.0f, 0.0f);
    Vector v(5.0f, 6.0f, 7.0f);
    v /= -0.0f;
    ExpectVector(v, 0.0f, 0.0f, 0.0f);
    EXPECT_FALSE(std::signbit(v.x));
}

TEST(VectorTest, DistanceIsSymmetric)
{
    const Vector a(1.0f, 2.0f, 3.0f);
    const Vector b(4.0f, 6.0f, 3.0f);
    EXPECT_FLOAT_EQ(Vector::DistanceSquared(a, b), 25.0f);
    EXPECT_FLOAT_EQ(Vector::Distance(a, b), 5.0f);
    EXPECT_FLOAT_EQ(Vector::Distance(b, a), 5.0f);
    EXPECT_EQ(Vector::Distance(a, a), 0.0f);
}

} // namespace
