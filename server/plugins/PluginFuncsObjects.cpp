#include <cmath>

#include "CServer.h"
#include "players/CPlayerPool.h"
#include "plugins/PluginFuncs.h"
#include "world/CObjectPool.h"
#include "world/CStreamer.h"

// Slots 309..330: map objects. Each validates the object id against the pool
// (0..2999 and in use), then reads a field or calls one object operation.
// Positions from plugins are clamped by the object; offsets, rotations and
// angles that are not finite numbers are refused, as no clamp can make them
// meaningful.

namespace
{
CObject* ObjectOf(int32_t nObjectId)
{
    return g_pServer && g_pServer->m_pObjectPool ? g_pServer->m_pObjectPool->Get(nObjectId) : nullptr;
}

bool IsFinite(float fX, float fY, float fZ, float fW = 0.0f)
{
    return std::isfinite(fX) && std::isfinite(fY) && std::isfinite(fZ) && std::isfinite(fW);
}

Quaternion FromEuler(float fX, float fY, float fZ)
{
    Quaternion q;
    q.FromEuler(Vector(fX, fY, fZ));
    return q;
}

int32_t CreateObject(int32_t nModel, int32_t nWorld, float fX, float fY, float fZ, int32_t nAlpha)
{
    if (!g_pServer || !g_pServer->m_pObjectPool)
        return -1;
    return g_pServer->m_pObjectPool->Create(nModel, nWorld, Vector(fX, fY, fZ), static_cast<uint8_t>(nAlpha));
}

int32_t DeleteObject(int32_t nObjectId)
{
    return g_pServer && g_pServer->m_pObjectPool && g_pServer->m_pObjectPool->Delete(nObjectId) ? 1 : 0;
}

int32_t IsObjectStreamedForPlayer(int32_t nObjectId, int32_t nPlayerId)
{
    if (!ObjectOf(nObjectId) || !g_pServer->m_pPlayerPool || !g_pServer->m_pStreamer)
        return 0;
    const CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nPlayerId);
    return pPlayer && g_pServer->m_pStreamer->IsObjectStreamed(pPlayer, nObjectId) ? 1 : 0;
}

int32_t GetObjectModel(int32_t nObjectId)
{
    const CObject* pObject = ObjectOf(nObjectId);
    return pObject ? pObject->GetModel() : 0;
}

int32_t SetObjectWorld(int32_t nObjectId, int32_t nWorld)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    pObject->SetWorld(nWorld);
    return 1;
}

int32_t GetObjectWorld(int32_t nObjectId)
{
    const CObject* pObject = ObjectOf(nObjectId);
    return pObject ? pObject->GetWorld() : -1;
}

int32_t SetObjectAlpha(int32_t nObjectId, int32_t nAlpha, int32_t nDuration)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    pObject->SetAlpha(static_cast<uint8_t>(nAlpha), nDuration);
    return 1;
}

int32_t GetObjectAlpha(int32_t nObjectId)
{
    const CObject* pObject = ObjectOf(nObjectId);
    return pObject ? pObject->GetAlpha() : 0;
}

int32_t MoveObjectTo(int32_t nObjectId, float fX, float fY, float fZ, int32_t nDuration)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    pObject->MoveTo(Vector(fX, fY, fZ), nDuration);
    return 1;
}

int32_t MoveObjectBy(int32_t nObjectId, float fX, float fY, float fZ, int32_t nDuration)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject || !IsFinite(fX, fY, fZ))
        return 0;
    pObject->MoveBy(Vector(fX, fY, fZ), nDuration);
    return 1;
}

int32_t SetObjectPosition(int32_t nObjectId, float fX, float fY, float fZ)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    pObject->SetPosition(Vector(fX, fY, fZ));
    return 1;
}

int32_t GetObjectPosition(int32_t nObjectId, float* pfX, float* pfY, float* pfZ)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    const Vector vPosition = pObject->GetPosition();
    if (pfX)
        *pfX = vPosition.x;
    if (pfY)
        *pfY = vPosition.y;
    if (pfZ)
        *pfZ = vPosition.z;
    return 1;
}

// The four rotation slots share one shape: a finite target, to or by.
int32_t Turn(int32_t nObjectId, const Quaternion& q, int32_t nDuration, bool bRelative)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject || !IsFinite(q.x, q.y, q.z, q.w))
        return 0;
    if (bRelative)
        pObject->RotateBy(q, nDuration);
    else
        pObject->RotateTo(q, nDuration);
    return 1;
}

int32_t RotateObjectTo(int32_t nObjectId, float fX, float fY, float fZ, float fW, int32_t nDuration)
{
    return Turn(nObjectId, Quaternion(fX, fY, fZ, fW), nDuration, false);
}

int32_t RotateObjectToEuler(int32_t nObjectId, float fX, float fY, float fZ, int32_t nDuration)
{
    return IsFinite(fX, fY, fZ) ? Turn(nObjectId, FromEuler(fX, fY, fZ), nDuration, false) : 0;
}

int32_t RotateObjectBy(int32_t nObjectId, float fX, float fY, float fZ, float fW, int32_t nDuration)
{
    return Turn(nObjectId, Quaternion(fX, fY, fZ, fW), nDuration, true);
}

int32_t RotateObjectByEuler(int32_t nObjectId, float fX, float fY, float fZ, int32_t nDuration)
{
    return IsFinite(fX, fY, fZ) ? Turn(nObjectId, FromEuler(fX, fY, fZ), nDuration, true) : 0;
}

int32_t GetObjectRotation(int32_t nObjectId, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    const Quaternion q = pObject->GetRotation();
    if (pfX)
        *pfX = q.x;
    if (pfY)
        *pfY = q.y;
    if (pfZ)
        *pfZ = q.z;
    if (pfW)
        *pfW = q.w;
    return 1;
}

int32_t GetObjectRotationEuler(int32_t nObjectId, float* pfX, float* pfY, float* pfZ)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    const Vector vAngles = pObject->GetRotation().ToEuler();
    if (pfX)
        *pfX = vAngles.x;
    if (pfY)
        *pfY = vAngles.y;
    if (pfZ)
        *pfZ = vAngles.z;
    return 1;
}

int32_t SetReportBit(int32_t nObjectId, uint8_t byBit, int32_t nEnabled)
{
    CObject* pObject = ObjectOf(nObjectId);
    if (!pObject)
        return 0;
    const uint8_t byFlags = pObject->GetReportFlags();
    pObject->SetReportFlags(nEnabled ? (byFlags | byBit) : (byFlags & ~byBit));
    return 1;
}

int32_t SetObjectShotReport(int32_t nObjectId, int32_t nEnabled)
{
    return SetReportBit(nObjectId, OBJECT_REPORT_SHOTS, nEnabled);
}

int32_t IsObjectShotReportEnabled(int32_t nObjectId)
{
    const CObject* pObject = ObjectOf(nObjectId);
    return pObject && (pObject->GetReportFlags() & OBJECT_REPORT_SHOTS) ? 1 : 0;
}

int32_t SetObjectTouchedReport(int32_t nObjectId, int32_t nEnabled)
{
    return SetReportBit(nObjectId, OBJECT_REPORT_TOUCHES, nEnabled);
}

int32_t IsObjectTouchedReportEnabled(int32_t nObjectId)
{
    const CObject* pObject = ObjectOf(nObjectId);
    return pObject && (pObject->GetReportFlags() & OBJECT_REPORT_TOUCHES) ? 1 : 0;
}
} // namespace

void FillObjectFuncs(PluginFuncs* pFuncs)
{
    pFuncs->CreateObject = CreateObject;
    pFuncs->DeleteObject = DeleteObject;
    pFuncs->IsObjectStreamedForPlayer = IsObjectStreamedForPlayer;
    pFuncs->GetObjectModel = GetObjectModel;
    pFuncs->SetObjectWorld = SetObjectWorld;
    pFuncs->GetObjectWorld = GetObjectWorld;
    pFuncs->SetObjectAlpha = SetObjectAlpha;
    pFuncs->GetObjectAlpha = GetObjectAlpha;
    pFuncs->MoveObjectTo = MoveObjectTo;
    pFuncs->MoveObjectBy = MoveObjectBy;
    pFuncs->SetObjectPosition = SetObjectPosition;
    pFuncs->GetObjectPosition = GetObjectPosition;
    pFuncs->RotateObjectTo = RotateObjectTo;
    pFuncs->RotateObjectToEuler = RotateObjectToEuler;
    pFuncs->RotateObjectBy = RotateObjectBy;
    pFuncs->RotateObjectByEuler = RotateObjectByEuler;
    pFuncs->GetObjectRotation = GetObjectRotation;
    pFuncs->GetObjectRotationEuler = GetObjectRotationEuler;
    pFuncs->SetObjectShotReport = SetObjectShotReport;
    pFuncs->IsObjectShotReportEnabled = IsObjectShotReportEnabled;
    pFuncs->SetObjectTouchedReport = SetObjectTouchedReport;
    pFuncs->IsObjectTouchedReportEnabled = IsObjectTouchedReportEnabled;
}
