#include "math/Vector.h"

#include <cmath>

Vector& Vector::operator/=(float f)
{
    if (std::fabs(f) == 0.0f)
    {
        x = y = z = 0.0f;
        return *this;
    }
    x /= f;
    y /= f;
    z /= f;
    return *this;
}

float Vector::DistanceSquared(const Vector& a, const Vector& b)
{
    const float fDx = b.x - a.x;
    const float fDy = b.y - a.y;
    const float fDz = b.z - a.z;
    return fDx * fDx + fDy * fDy + fDz * fDz;
}

float Vector::Distance(const Vector& a, const Vector& b)
{
    return std::sqrt(DistanceSquared(a, b));
}
