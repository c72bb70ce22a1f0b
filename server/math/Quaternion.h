#pragma once

#include "math/Vector.h"

// x, y, z, w with w the scalar part; identity (0, 0, 0, 1). Every operation works in 32-bit floats
// and rounds each intermediate to float, so that rotations agree with what the clients compute.
struct Quaternion
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    Quaternion() = default;
    Quaternion(float fX, float fY, float fZ, float fW) : x(fX), y(fY), z(fZ), w(fW) {}

    void Set(float fX, float fY, float fZ, float fW)
    {
        x = fX;
        y = fY;
        z = fZ;
        w = fW;
    }
    void Scale(float f)
    {
        x *= f;
        y *= f;
        z *= f;
        w *= f;
    }
    void Conjugate()
    {
        x = -x;
        y = -y;
        z = -z;
    }

    // Plugins hand out rotations as Euler angles (radians); the clients want quaternions.
    void FromEuler(const Vector& vAngles);
    Vector ToEuler() const;

    Vector Rotate(const Vector& v) const;
    Vector InverseRotate(const Vector& v) const;

    static float Dot(const Quaternion& p, const Quaternion& q)
    {
        return p.x * q.x + p.y * q.y + p.z * q.z + p.w * q.w;
    }

    // A zero quaternion has no direction and is left as it is.
    void Normalize();
    // Applies q after the current rotation: this becomes q * this, normalized.
    void MultiplyBy(const Quaternion& q);
    // Shortest-arc interpolation; t = 0 gives p (or -p), t = 1 gives q.
    void Slerp(const Quaternion& p, const Quaternion& q, float t);
};
static_assert(sizeof(Quaternion) == 16, "Quaternion travels as one 16-byte block");
