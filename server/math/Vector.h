#pragma once

// Three 32-bit floats; positions, speeds and offsets everywhere in the server.
struct Vector
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vector() = default;
    Vector(float fX, float fY, float fZ) : x(fX), y(fY), z(fZ) {}
    explicit Vector(float fAll) : x(fAll), y(fAll), z(fAll) {}

    Vector operator-() const { return Vector(-x, -y, -z); }

    Vector& operator+=(const Vector& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    Vector& operator-=(const Vector& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    Vector& operator+=(float f)
    {
        x += f;
        y += f;
        z += f;
        return *this;
    }
    Vector& operator-=(float f)
    {
        x -= f;
        y -= f;
        z -= f;
        return *this;
    }
    Vector& operator*=(float f)
    {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }
    // A zero divisor gives (0, 0, 0) rather than infinities that would reach the clients.
    Vector& operator/=(float f);

    Vector operator+(const Vector& v) const { return Vector(*this) += v; }
    Vector operator-(const Vector& v) const { return Vector(*this) -= v; }
    Vector operator+(float f) const { return Vector(*this) += f; }
    Vector operator-(float f) const { return Vector(*this) -= f; }
    Vector operator*(float f) const { return Vector(*this) *= f; }
    Vector operator/(float f) const { return Vector(*this) /= f; }

    float LengthSquared() const { return x * x + y * y + z * z; }

    // Both rounded to 32-bit floats, as range checks against client data compare them.
    static float Distance(const Vector& a, const Vector& b);
    static float DistanceSquared(const Vector& a, const Vector& b);
};
static_assert(sizeof(Vector) == 12, "Vector travels as one 12-byte block");

inline Vector operator*(float f, const Vector& v)
{
    return v * f;
}
