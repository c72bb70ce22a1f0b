#include "math/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{

constexpr float kPi = 3.14159265358979f;

void ExpectNear(const Vector& a, const Vector& b, float fTolerance = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, fTolerance);
    EXPECT_NEAR(a.y, b.y, fTolerance);
    EXPECT_NEAR(a.z, b.z, fTolerance);
}

void ExpectNear(const Quaternion& a, const Quaternion& b, float fTolerance = 1e-6f)
{
    EXPECT_NEAR(a.x, b.x, fTolerance);
    EXPECT_NEAR(a.y, b.y, fTolerance);
    EXPECT_NEAR(a.z, b.z, fTolerance);
    EXPECT_NEAR(a.w, b.w, fTolerance);
}

// Euler angles inside the range ToEuler gives back: x, y in (-pi, pi), z in (-pi/2, pi/2).
Vector RandomAngles(std::mt19937& rng)
{
    std::uniform_real_distribution<float> full(-3.0f, 3.0f);
    std::uniform_real_distribution<float> half(-1.5f, 1.5f);
    return Vector(full(rng), full(rng), half(rng));
}

Quaternion FromAngles(const Vector& vAngles)
{
    Quaternion q;
    q.FromEuler(vAngles);
    return q;
}

TEST(QuaternionTest, QuarterTurnAboutVertical)
{
    const Quaternion q = FromAngles(Vector(0.0f, 0.0f, kPi / 2.0f));
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.70710677f);
    EXPECT_EQ(q.w, 0.70710677f);
    ExpectNear(q.ToEuler(), Vector(0.0f, 0.0f, kPi / 2.0f), 1e-3f);
    ExpectNear(q.Rotate(Vector(1.0f, 0.0f, 0.0f)), Vector(0.0f, 1.0f, 0.0f));
}

TEST(QuaternionTest, ToEulerStaysFiniteAtQuarterTurn)
{
    // Rounding puts the asin argument just above 1 for many of these rotations.
    for (float fAngle = -3.0f; fAngle < 3.0f; fAngle += 0.01f)
    {
        const Vector e = FromAngles(Vector(fAngle, 0.3f, kPi / 2.0f)).ToEuler();
        ASSERT_TRUE(std::isfinite(e.z)) << fAngle;
        EXPECT_NEAR(e.z, kPi / 2.0f, 1e-3f);
    }
}

TEST(QuaternionTest, EulerRoundTripsAndRotationsInvert)
{
    std::mt19937 rng(7);
    const Vector v(3.0f, -1.0f, 2.0f);
    ExpectNear(Quaternion().Rotate(v), v, 0.0f);
    for (int i = 0; i < 50; ++i)
    {
        const Vector vAngles = RandomAngles(rng);
        const Quaternion q = FromAngles(vAngles);
        ExpectNear(q.ToEuler(), vAngles, 2e-3f);
        ExpectNear(q.InverseRotate(q.Rotate(v)), v, 1e-5f);
        ExpectNear(q.Rotate(q.InverseRotate(v)), v, 1e-5f);
    }
}

TEST(QuaternionTest, MultiplyByAppliesTheArgumentSecond)
{
    std::mt19937 rng(11);
    const Vector v(1.0f, 2.0f, -0.5f);
    for (int i = 0; i < 20; ++i)
    {
        const Quaternion p = FromAngles(RandomAngles(rng));
        const Quaternion q = FromAngles(RandomAngles(rng));
        Quaternion r = p;
        r.MultiplyBy(q);
        ExpectNear(r.Rotate(v), q.Rotate(p.Rotate(v)), 1e-5f);
        EXPECT_NEAR(Quaternion::Dot(r, r), 1.0f, 1e-6f);

        Quaternion rSelf = p;
        rSelf.MultiplyBy(rSelf);
        ExpectNear(rSelf.Rotate(v), p.Rotate(p.Rotate(v)), 1e-5f);
    }
}

TEST(QuaternionTest, NormalizeLeavesZeroAlone)
{
    Quaternion q(0.0f, 0.0f, 0.0f, 0.0f);
    q.Normalize();
    ExpectNear(q, Quaternion(0.0f, 0.0f, 0.0f, 0.0f), 0.0f);
    q.Set(0.0f, 3.0f, 0.0f, 4.0f);
    q.Normalize();
    ExpectNear(q, Quaternion(0.0f, 0.6f, 0.0f, 0.8f));
}

TEST(QuaternionTest, SlerpTakesTheShortArc)
{
    const Quaternion q = FromAngles(Vector(0.4f, -1.1f, 0.7f));
    Quaternion qNeg = q;
    qNeg.Scale(-1.0f);
    for (float t : {0.0f, 0.3f, 1.0f})
    {
        Quaternion r;
        r.Slerp(q, qNeg, t);
        ExpectNear(r, qNeg);
    }

    // Three quarters of the way from identity to a third of a turn about z is a quarter turn.
    Quaternion r;
    r.Slerp(Quaternion(), FromAngles(Vector(0.0f, 0.0f, 2.0f * kPi / 3.0f)), 0.75f);
    ExpectNear(r, FromAngles(Vector(0.0f, 0.0f, kPi / 2.0f)));
    // Nearly equal rotations fall back to the linear blend and still come out unit length.
    r.Slerp(q, FromAngles(Vector(0.4f, -1.1f, 0.71f)), 0.5f);
    EXPECT_NEAR(Quaternion::Dot(r, r), 1.0f, 1e-6f);
}

} // namespace
