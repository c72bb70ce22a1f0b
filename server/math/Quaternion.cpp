#include "math/Quaternion.h"

#include <cmath>

// Fused multiply-adds would round differently from the clients; keep every product a float.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#endif

// The threshold below which two rotations are treated as equal and interpolated linearly.
static constexpr float kSlerpLinearThreshold = 0.005f;

void Quaternion::FromEuler(const Vector& vAngles)
{
    const float cx = std::cos(vAngles.x / 2.0f);
    const float sx = std::sin(vAngles.x / 2.0f);
    const float cy = std::cos(vAngles.y / 2.0f);
    const float sy = std::sin(vAngles.y / 2.0f);
    const float cz = std::cos(vAngles.z / 2.0f);
    const float sz = std::sin(vAngles.z / 2.0f);

    x = sy * cx * cz + cy * sx * sz;
    y = cy * sx * cz + sy * cx * sz;
    z = cy * cx * sz - sy * sx * cz;
    w = cx * cy * cz - sx * sy * sz;
}

// The z angle comes from asin, whose argument is clamped to [-1, 1]: near a quarter turn the
// rounded products can land just outside and would otherwise hand plugins a NaN.
Vector Quaternion::ToEuler() const
{
    const float fNumX = 2.0f * (w * y - z * x);
    const float fDenX = 1.0f - 2.0f * y * y - 2.0f * z * z;
    const float fNumY = 2.0f * (w * x - y * z);
    const float fDenY = 1.0f - 2.0f * x * x - 2.0f * z * z;
    float fSinZ = 2.0f * (w * z + y * x);
    if (fSinZ > 1.0f)
    {
        fSinZ = 1.0f;
    }
    else if (fSinZ < -1.0f)
    {
        fSinZ = -1.0f;
    }
    return Vector(std::atan2(fNumX, fDenX), std::atan2(fNumY, fDenY), std::asin(fSinZ));
}

Vector Quaternion::Rotate(const Vector& v) const
{
    const float xx = x * x;
    const float yy = y * y;
    const float zz = z * z;
    const float xy = x * y;
    const float xz = x * z;
    const float yz = y * z;
    const float xw = x * w;
    const float yw = y * w;
    const float zw = z * w;

    const float m00 = 1.0f - 2.0f * yy - 2.0f * zz;
    const float m01 = 2.0f * xy - 2.0f * zw;
    const float m02 = 2.0f * xz + 2.0f * yw;
    const float m10 = 2.0f * xy + 2.0f * zw;
    const float m11 = 1.0f - 2.0f * xx - 2.0f * zz;
    const float m12 = 2.0f * yz - 2.0f * xw;
    const float m20 = 2.0f * xz - 2.0f * yw;
    const float m21 = 2.0f * yz + 2.0f * xw;
    const float m22 = 1.0f - 2.0f * xx - 2.0f * yy;

    return Vector(m00 * v.x + m01 * v.y + m02 * v.z, m10 * v.x + m11 * v.y + m12 * v.z,
                  m20 * v.x + m21 * v.y + m22 * v.z);
}

Vector Quaternion::InverseRotate(const Vector& v) const
{
    Quaternion qInverse = *this;
    qInverse.Conjugate();
    return qInverse.Rotate(v);
}

void Quaternion::Normalize()
{
    const float fLength = std::sqrt(x * x + y * y + z * z + w * w);
    if (fLength == 0.0f)
    {
        return;
    }
    x /= fLength;
    y /= fLength;
    z /= fLength;
    w /= fLength;
}

void Quaternion::MultiplyBy(const Quaternion& q)
{
    // Copies, so that q may be this quaternion itself.
    const Quaternion p = *this;
    const Quaternion qLeft = q;
    x = p.w * qLeft.x + qLeft.w * p.x + qLeft.y * p.z - p.y * qLeft.z;
    y = qLeft.w * p.y + p.w * qLeft.y + p.x * qLeft.z - qLeft.x * p.z;
    z = p.w * qLeft.z + qLeft.w * p.z + qLeft.x * p.y - p.x * qLeft.y;
    w = p.w * qLeft.w - qLeft.x * p.x - qLeft.y * p.y - p.z * qLeft.z;
    Normalize();
}

void Quaternion::Slerp(const Quaternion& p, const Quaternion& q, float t)
{
    float k = Dot(p, q);
    Quaternion pNear = p;
    if (k < 0.0f)
    {
        pNear.Scale(-1.0f);
        k = -k;
    }

    float k0 = 1.0f - t;
    float k1 = t;
    if (1.0 - static_cast<double>(k) >= static_cast<double>(kSlerpLinearThreshold))
    {
        const float fOmega = std::acos(k);
        const float fSinOmega = std::sin(fOmega);
        k0 = std::sin((1.0f - t) * fOmega) / fSinOmega;
        k1 = std::sin(t * fOmega) / fSinOmega;
    }

    x = k0 * pNear.x + k1 * q.x;
    y = k0 * pNear.y + k1 * q.y;
    z = k0 * pNear.z + k1 * q.z;
    w = k0 * pNear.w + k1 * q.w;
    Normalize();
}
