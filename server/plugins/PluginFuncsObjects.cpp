#include <cmath>

#include "CServer.h"
#include "players/CPlayerPool.h"
#include "plugins/PluginFuncs.h"
#include "plugins/PluginSlot.h"
#include "world/CObjectPool.h"
#include "world/CStreamer.h"

// Slots 309..330: map objects. Each finds the object its id names (0..2999
// and in use), then reads a field or calls one object operation.
// Positions from plugins are clamped by the object; offsets, rotations and
// angles that are not finite numbers are refused, as no clamp can make them
// meaningful.

namespace
{
bool IsFinite(float fX, float fY, float fZ, float fW = 0.0f)
{
    return std::isfinite(fX) && std::isfinite(fY) && std::isfinite(fZ) && std::isfinite(fW);
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
    return WithEntity<CObject>(
        nObjectId, 0,
        [&](CObject&)
        {
            const CPlayer* pPlayer = FindEntity<CPlayer>(nPlayerId);
            CStreamer* pStreamer = g_pServer->m_pStreamer;
            return pPlayer && pStreamer && pStreamer->IsObjectStreamed(pPlayer, nObjectId) ? 1 : 0;
        });
}

int32_t SetObjectWorld(int32_t nObjectId, int32_t nWorld)
{
    return WithEntity<CObject>(nObjectId, 0, [&](CObject& object) { object.SetWorld(nWorld); });
}

int32_t SetObjectAlpha(int32_t nObjectId, int32_t nAlpha, int32_t nDuration)
{
    return WithEntity<CObject>(
        nObjectId, 0, [&](CObject& object) { object.SetAlpha(static_cast<uint8_t>(nAlpha), nDuration); });
}

int32_t MoveObjectTo(int32_t nObjectId, float fX, float fY, float fZ, int32_t nDuration)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object) { object.MoveTo(Vector(fX, fY, fZ), nDuration); });
}

int32_t MoveObjectBy(int32_t nObjectId, float fX, float fY, float fZ, int32_t nDuration)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object)
                               {
                                   if (!IsFinite(fX, fY, fZ))
                                       return 0;
                                   object.MoveBy(Vector(fX, fY, fZ), nDuration);
                                   return 1;
                               });
}

int32_t SetObjectPosition(int32_t nObjectId, float fX, float fY, float fZ)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object) { object.SetPosition(Vector(fX, fY, fZ)); });
}

int32_t GetObjectPosition(int32_t nObjectId, float* pfX, float* pfY, float* pfZ)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object) { WriteVector(object.GetPosition(), pfX, pfY, pfZ); });
}

// The four rotation slots share one shape: a finite target, to or by.
int32_t Turn(int32_t nObjectId, const Quaternion& q, int32_t nDuration, bool bRelative)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object)
                               {
                                   if (!IsFinite(q.x, q.y, q.z, q.w))
                                       return 0;
                                   if (bRelative)
                                       object.RotateBy(q, nDuration);
                                   else
                                       object.RotateTo(q, nDuration);
                                   return 1;
                               });
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
    return WithEntity<CObject>(
        nObjectId, 0, [&](CObject& object) { WriteQuaternion(object.GetRotation(), pfX, pfY, pfZ, pfW); });
}

int32_t GetObjectRotationEuler(int32_t nObjectId, float* pfX, float* pfY, float* pfZ)
{
    return WithEntity<CObject>(
        nObjectId, 0, [&](CObject& object) { WriteVector(object.GetRotation().ToEuler(), pfX, pfY, pfZ); });
}

int32_t SetReportBit(int32_t nObjectId, uint8_t byBit, int32_t nEnabled)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object)
                               {
                                   const uint8_t byFlags = object.GetReportFlags();
                                   object.SetReportFlags(nEnabled ? (byFlags | byBit) : (byFlags & ~byBit));
                               });
}

int32_t IsReportBitSet(int32_t nObjectId, uint8_t byBit)
{
    return WithEntity<CObject>(nObjectId, 0,
                               [&](CObject& object) { return (object.GetReportFlags() & byBit) ? 1 : 0; });
}

int32_t SetObjectShotReport(int32_t nObjectId, int32_t nEnabled)
{
    return SetReportBit(nObjectId, OBJECT_REPORT_SHOTS, nEnabled);
}

int32_t IsObjectShotReportEnabled(int32_t nObjectId)
{
    return IsReportBitSet(nObjectId, OBJECT_REPORT_SHOTS);
}

int32_t SetObjectTouchedReport(int32_t nObjectId, int32_t nEnabled)
{
    return SetReportBit(nObjectId, OBJECT_REPORT_TOUCHES, nEnabled);
}

int32_t IsObjectTouchedReportEnabled(int32_t nObjectId)
{
    return IsReportBitSet(nObjectId, OBJECT_REPORT_TOUCHES);
}
} // namespace

void FillObjectFuncs(PluginFuncs* pFuncs)
{
    pFuncs->CreateObject = CreateObject;
    pFuncs->DeleteObject = DeleteObject;
    pFuncs->IsObjectStreamedForPlayer = IsObjectStreamedForPlayer;
    pFuncs->GetObjectModel = ReadField<&CObject::GetModel, 0>;
    pFuncs->SetObjectWorld = SetObjectWorld;
    pFuncs->GetObjectWorld = ReadField<&CObject::GetWorld, -1>;
    pFuncs->SetObjectAlpha = SetObjectAlpha;
    pFuncs->GetObjectAlpha = ReadField<&CObject::GetAlpha, 0>;
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
