#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CVehicleEntry.h"
#include "plugins/PluginFuncs.h"
#include "world/CStreamer.h"
#include "world/CVehicle.h"
#include "world/CVehiclePool.h"

// Slots 220..292 (vehicles and handling rules) and 175 (putting a player into
// a vehicle). Each validates the vehicle id against the pool (1..1000, slot
// taken), then reads a field or calls one vehicle or pool operation, which
// owns the clamping, the messages and the events.

namespace
{
CVehiclePool* Pool()
{
    return g_pServer ? g_pServer->m_pVehiclePool : nullptr;
}

CVehicle* VehicleOf(int32_t nVehicleId)
{
    CVehiclePool* pPool = Pool();
    return pPool ? pPool->Get(nVehicleId) : nullptr;
}

CPlayer* PlayerOf(int32_t nPlayerId)
{
    return g_pServer && g_pServer->m_pPlayerPool ? g_pServer->m_pPlayerPool->Get(nPlayerId) : nullptr;
}

// Writes through the pointers that are not null.
void WriteVector(const Vector& v, float* pfX, float* pfY, float* pfZ)
{
    if (pfX)
        *pfX = v.x;
    if (pfY)
        *pfY = v.y;
    if (pfZ)
        *pfZ = v.z;
}

void WriteQuaternion(const Quaternion& q, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    WriteVector(Vector(q.x, q.y, q.z), pfX, pfY, pfZ);
    if (pfW)
        *pfW = q.w;
}

Quaternion FromEuler(float fX, float fY, float fZ)
{
    Quaternion qRotation;
    qRotation.FromEuler(Vector(fX, fY, fZ));
    return qRotation;
}

// Runs the operation on a valid vehicle: 1, or 0 for an invalid id. The
// operation may delete the vehicle; the lock defers that until it returns.
template <typename Fn> int32_t WithVehicle(int32_t nVehicleId, Fn&& fn)
{
    CVehicle* pVehicle = VehicleOf(nVehicleId);
    if (!pVehicle)
        return 0;
    CEntityLock lock(pVehicle);
    fn(pVehicle);
    return 1;
}

// ---- Pool and identity (220..233) ----

int32_t CreateVehicle(int32_t nModel, int32_t nWorld, float fX, float fY, float fZ, float fAngle,
                      int32_t nColour1, int32_t nColour2)
{
    CVehiclePool* pPool = Pool();
    return pPool ? pPool->Create(nModel, nWorld, Vector(fX, fY, fZ), fAngle, nColour1, nColour2) : 0;
}

int32_t DeleteVehicle(int32_t nVehicleId)
{
    CVehiclePool* pPool = Pool();
    return pPool && pPool->Delete(nVehicleId) ? 1 : 0;
}

int32_t GetVehicleSyncSource(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    if (!pVehicle || pVehicle->m_byAssignedPlayer == VEHICLE_NO_PLAYER)
        return -1;
    return pVehicle->m_byAssignedPlayer;
}

int32_t GetVehicleSyncType(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pVehicle->m_nOccupancyState : -1;
}

int32_t IsVehicleStreamedForPlayer(int32_t nVehicleId, int32_t nPlayerId)
{
    const CPlayer* pPlayer = PlayerOf(nPlayerId);
    CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
    return VehicleOf(nVehicleId) && pPlayer && pStreamer && pStreamer->IsVehicleStreamed(pPlayer, nVehicleId);
}

int32_t SetVehicleWorld(int32_t nVehicleId, int32_t nWorld)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { pVehicle->SetWorld(nWorld); });
}

int32_t GetVehicleWorld(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pVehicle->m_usWorld : -1;
}

int32_t GetVehicleModel(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pVehicle->m_byModel : 0;
}

int32_t GetVehicleOccupant(int32_t nVehicleId, int32_t nSeat)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    if (!pVehicle || nSeat < 0 || nSeat >= VEHICLE_SEAT_COUNT)
        return -1;
    return pVehicle->GetOccupant(nSeat);
}

int32_t RespawnVehicle(int32_t nVehicleId)
{
    return WithVehicle(nVehicleId, [](CVehicle* pVehicle) { pVehicle->Respawn(); });
}

int32_t SetVehicleOptionByte(int32_t nVehicleId, int32_t nValue)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetOptionByte(static_cast<uint8_t>(nValue)); });
}

int32_t GetVehicleOptionByte(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pVehicle->m_byOptionByte : 0;
}

int32_t ExplodeVehicle(int32_t nVehicleId)
{
    return WithVehicle(nVehicleId, [](CVehicle* pVehicle) { pVehicle->Explode(nullptr); });
}

int32_t IsVehicleWrecked(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle && pVehicle->m_bWrecked ? 1 : 0;
}

// ---- Position, rotation and motion (234..257) ----

int32_t SetVehiclePosition(int32_t nVehicleId, float fX, float fY, float fZ, int32_t nRemoveOccupants)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle)
                       { pVehicle->SetPosition(Vector(fX, fY, fZ), nRemoveOccupants != 0, true); });
}

int32_t GetVehiclePosition(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { WriteVector(pVehicle->m_vPosition, pfX, pfY, pfZ); });
}

int32_t SetVehicleRotation(int32_t nVehicleId, float fX, float fY, float fZ, float fW)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetRotation(Quaternion(fX, fY, fZ, fW), true); });
}

int32_t SetVehicleRotationEuler(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetRotation(FromEuler(fX, fY, fZ), true); });
}

int32_t GetVehicleRotation(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle)
                       { WriteQuaternion(pVehicle->m_qRotation, pfX, pfY, pfZ, pfW); });
}

int32_t GetVehicleRotationEuler(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle)
                       { WriteVector(pVehicle->m_qRotation.ToEuler(), pfX, pfY, pfZ); });
}

// The motion slots: the vector as given, or turned from the vehicle's frame
// into the world's first, then the operation with its message.
template <int nKind, bool bRelative> int32_t ApplyMotion(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle)
                       {
                           const Vector vValue(fX, fY, fZ);
                           pVehicle->ApplyMotion(
                               nKind, bRelative ? pVehicle->m_qRotation.Rotate(vValue) : vValue, true);
                       });
}

template <bool bTurn, bool bRelative>
int32_t GetMotion(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle)
                       {
                           const Vector& vValue = bTurn ? pVehicle->m_vTurnSpeed : pVehicle->m_vSpeed;
                           WriteVector(bRelative ? pVehicle->m_qRotation.InverseRotate(vValue) : vValue, pfX,
                                       pfY, pfZ);
                       });
}

int32_t SetVehicleSpawnPosition(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetSpawnPosition(Vector(fX, fY, fZ)); });
}

int32_t GetVehicleSpawnPosition(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ, int32_t* pnSpare)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle)
                       {
                           WriteVector(pVehicle->m_vSpawnPosition, pfX, pfY, pfZ);
                           if (pnSpare)
                               *pnSpare = 0;
                       });
}

int32_t SetVehicleSpawnRotation(int32_t nVehicleId, float fX, float fY, float fZ, float fW)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetSpawnRotation(Quaternion(fX, fY, fZ, fW)); });
}

int32_t SetVehicleSpawnRotationEuler(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetSpawnRotation(FromEuler(fX, fY, fZ)); });
}

int32_t GetVehicleSpawnRotation(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle)
                       { WriteQuaternion(pVehicle->m_qSpawnRotation, pfX, pfY, pfZ, pfW); });
}

int32_t GetVehicleSpawnRotationEuler(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle)
                       { WriteVector(pVehicle->m_qSpawnRotation.ToEuler(), pfX, pfY, pfZ); });
}

// ---- State, damage, appearance and radio (230, 231, 258..281) ----

int32_t SetVehicleIdleRespawnTimer(int32_t nVehicleId, int32_t nMs)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetIdleRespawnTime(static_cast<uint32_t>(nMs)); });
}

int32_t GetVehicleIdleRespawnTimer(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? static_cast<int32_t>(pVehicle->m_uiIdleRespawnTime) : 0;
}

int32_t SetVehicleHealth(int32_t nVehicleId, float fHealth)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { pVehicle->SetHealth(fHealth, true); });
}

float GetVehicleHealth(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pVehicle->m_fHealth : 0.0f;
}

int32_t SetVehicleColours(int32_t nVehicleId, int32_t nColour1, int32_t nColour2)
{
    return WithVehicle(
        nVehicleId, [&](CVehicle* pVehicle)
        { pVehicle->SetColours(static_cast<uint8_t>(nColour1), static_cast<uint8_t>(nColour2)); });
}

int32_t GetVehicleColours(int32_t nVehicleId, int32_t* pnColour1, int32_t* pnColour2)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle)
                       {
                           if (pnColour1)
                               *pnColour1 = pVehicle->m_byColour1;
                           if (pnColour2)
                               *pnColour2 = pVehicle->m_byColour2;
                       });
}

int32_t SetVehicleLocked(int32_t nVehicleId, int32_t nLocked)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { pVehicle->SetLocked(nLocked != 0); });
}

int32_t IsVehicleLocked(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle && pVehicle->m_bLocked ? 1 : 0;
}

// Parts 0..10 and doors 0..4; another index changes nothing and answers 0.
template <bool (CVehicle::*pfnSet)(int, int)>
int32_t SetVehicleDamageStatus(int32_t nVehicleId, int32_t nIndex, int32_t nStatus)
{
    CVehicle* pVehicle = VehicleOf(nVehicleId);
    if (!pVehicle)
        return 0;
    CEntityLock lock(pVehicle);
    return (pVehicle->*pfnSet)(nIndex, nStatus) ? 1 : 0;
}

template <int (*pfnGet)(uint32_t, int)> int32_t GetVehicleDamageStatus(int32_t nVehicleId, int32_t nIndex)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pfnGet(pVehicle->m_uiDamage, nIndex) : 0;
}

int32_t SetVehicleDamageData(int32_t nVehicleId, int32_t nDamage)
{
    return WithVehicle(nVehicleId,
                       [&](CVehicle* pVehicle) { pVehicle->SetDamage(static_cast<uint32_t>(nDamage)); });
}

int32_t GetVehicleDamageData(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? static_cast<int32_t>(pVehicle->m_uiDamage) : 0;
}

template <int nBit> int32_t SetVehicleOptionFlag(int32_t nVehicleId, int32_t nOn)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { pVehicle->SetOptionFlag(nBit, nOn != 0); });
}

template <int nBit, int nInvalid> int32_t GetVehicleOptionFlag(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? (pVehicle->GetOptionFlag(nBit) ? 1 : 0) : nInvalid;
}

int32_t SetVehicleRadio(int32_t nVehicleId, int32_t nStation)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { pVehicle->SetRadioStation(nStation, nullptr); });
}

int32_t GetVehicleRadio(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? pVehicle->m_byRadioStation : -1;
}

int32_t SetVehicleRadioFlag(int32_t nVehicleId, int32_t nOn)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { pVehicle->SetRadioFlag(nOn != 0); });
}

int32_t GetVehicleRadioFlag(int32_t nVehicleId)
{
    const CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle && pVehicle->m_bRadioFlag ? 1 : 0;
}

// ---- Handling rules (282..292) ----

int32_t ResetAllVehicleHandlings()
{
    if (CVehiclePool* pPool = Pool())
        pPool->ResetAllRules();
    return 1;
}

int32_t ExistsHandlingRule(int32_t nModel, int32_t nRule)
{
    CVehiclePool* pPool = Pool();
    return pPool && pPool->ModelRuleExists(nModel, nRule) ? 1 : 0;
}

int32_t SetHandlingRule(int32_t nModel, int32_t nRule, double dValue)
{
    if (CVehiclePool* pPool = Pool())
        pPool->SetModelRule(nModel, nRule, dValue);
    return 1;
}

double GetHandlingRule(int32_t nModel, int32_t nRule)
{
    CVehiclePool* pPool = Pool();
    return pPool ? pPool->GetModelRule(nModel, nRule) : GetDefaultHandling(nModel, nRule);
}

int32_t ResetHandlingRule(int32_t nModel, int32_t nRule)
{
    if (CVehiclePool* pPool = Pool())
        pPool->ResetModelRule(nModel, nRule);
    return 1;
}

int32_t ResetHandling(int32_t nModel)
{
    if (CVehiclePool* pPool = Pool())
        pPool->ResetModel(nModel);
    return 1;
}

int32_t ExistsInstHandlingRule(int32_t nVehicleId, int32_t nRule)
{
    CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle && Pool()->VehicleRuleExists(pVehicle, nRule) ? 1 : 0;
}

int32_t SetInstHandlingRule(int32_t nVehicleId, int32_t nRule, double dValue)
{
    CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle && Pool()->SetVehicleRule(pVehicle, nRule, dValue) ? 1 : 0;
}

double GetInstHandlingRule(int32_t nVehicleId, int32_t nRule)
{
    CVehicle* pVehicle = VehicleOf(nVehicleId);
    return pVehicle ? Pool()->GetVehicleRule(pVehicle, nRule) : 0.0;
}

int32_t ResetInstHandlingRule(int32_t nVehicleId, int32_t nRule)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { Pool()->ResetVehicleRule(pVehicle, nRule); });
}

int32_t ResetInstHandling(int32_t nVehicleId)
{
    return WithVehicle(nVehicleId, [&](CVehicle* pVehicle) { Pool()->ResetVehicleRules(pVehicle); });
}

// ---- Slot 175 ----

int32_t PutPlayerInVehicle(int32_t nPlayerId, int32_t nVehicleId, int32_t nSeat, int32_t nEjectDriver,
                           int32_t nImmediate)
{
    CPlayer* pPlayer = PlayerOf(nPlayerId);
    if (!pPlayer || !VehicleOf(nVehicleId))
        return 0;
    return CVehicleEntry::PutInVehicle(pPlayer, nVehicleId, nSeat, nEjectDriver == 1, nImmediate != 0);
}

void FillPoolSlots(PluginFuncs* pFuncs)
{
    pFuncs->CreateVehicle = CreateVehicle;
    pFuncs->DeleteVehicle = DeleteVehicle;
    pFuncs->GetVehicleSyncSource = GetVehicleSyncSource;
    pFuncs->GetVehicleSyncType = GetVehicleSyncType;
    pFuncs->IsVehicleStreamedForPlayer = IsVehicleStreamedForPlayer;
    pFuncs->SetVehicleWorld = SetVehicleWorld;
    pFuncs->GetVehicleWorld = GetVehicleWorld;
    pFuncs->GetVehicleModel = GetVehicleModel;
    pFuncs->GetVehicleOccupant = GetVehicleOccupant;
    pFuncs->RespawnVehicle = RespawnVehicle;
    pFuncs->SetVehicleOptionByte = SetVehicleOptionByte;
    pFuncs->GetVehicleOptionByte = GetVehicleOptionByte;
    pFuncs->ExplodeVehicle = ExplodeVehicle;
    pFuncs->IsVehicleWrecked = IsVehicleWrecked;
}

void FillMotionSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetVehiclePosition = SetVehiclePosition;
    pFuncs->GetVehiclePosition = GetVehiclePosition;
    pFuncs->SetVehicleRotation = SetVehicleRotation;
    pFuncs->SetVehicleRotationEuler = SetVehicleRotationEuler;
    pFuncs->GetVehicleRotation = GetVehicleRotation;
    pFuncs->GetVehicleRotationEuler = GetVehicleRotationEuler;
    pFuncs->SetVehicleSpeed = ApplyMotion<MOTION_SET_SPEED, false>;
    pFuncs->GetVehicleSpeed = GetMotion<false, false>;
    pFuncs->AddVehicleSpeed = ApplyMotion<MOTION_ADD_SPEED, false>;
    pFuncs->SetVehicleRelativeSpeed = ApplyMotion<MOTION_SET_SPEED, true>;
    pFuncs->GetVehicleRelativeSpeed = GetMotion<false, true>;
    pFuncs->AddVehicleRelativeSpeed = ApplyMotion<MOTION_ADD_RELATIVE_SPEED, false>;
    pFuncs->SetVehicleTurnSpeed = ApplyMotion<MOTION_SET_TURN_SPEED, false>;
    pFuncs->GetVehicleTurnSpeed = GetMotion<true, false>;
    pFuncs->AddVehicleTurnSpeed = ApplyMotion<MOTION_ADD_TURN_SPEED, false>;
    pFuncs->SetVehicleRelativeTurnSpeed = ApplyMotion<MOTION_SET_TURN_SPEED, true>;
    pFuncs->GetVehicleRelativeTurnSpeed = GetMotion<true, true>;
    pFuncs->AddVehicleRelativeTurnSpeed = ApplyMotion<MOTION_ADD_RELATIVE_TURN_SPEED, false>;
    pFuncs->SetVehicleSpawnPosition = SetVehicleSpawnPosition;
    pFuncs->GetVehicleSpawnPosition = GetVehicleSpawnPosition;
    pFuncs->SetVehicleSpawnRotation = SetVehicleSpawnRotation;
    pFuncs->SetVehicleSpawnRotationEuler = SetVehicleSpawnRotationEuler;
    pFuncs->GetVehicleSpawnRotation = GetVehicleSpawnRotation;
    pFuncs->GetVehicleSpawnRotationEuler = GetVehicleSpawnRotationEuler;
}

void FillStateSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetVehicleIdleRespawnTimer = SetVehicleIdleRespawnTimer;
    pFuncs->GetVehicleIdleRespawnTimer = GetVehicleIdleRespawnTimer;
    pFuncs->SetVehicleHealth = SetVehicleHealth;
    pFuncs->GetVehicleHealth = GetVehicleHealth;
    pFuncs->SetVehicleColours = SetVehicleColours;
    pFuncs->GetVehicleColours = GetVehicleColours;
    pFuncs->SetVehicleLocked = SetVehicleLocked;
    pFuncs->IsVehicleLocked = IsVehicleLocked;
    pFuncs->SetVehiclePartStatus = SetVehicleDamageStatus<&CVehicle::SetPartDamage>;
    pFuncs->GetVehiclePartStatus = GetVehicleDamageStatus<&CVehicle::GetPartDamage>;
    pFuncs->SetVehicleDoorStatus = SetVehicleDamageStatus<&CVehicle::SetDoorDamage>;
    pFuncs->GetVehicleDoorStatus = GetVehicleDamageStatus<&CVehicle::GetDoorDamage>;
    pFuncs->SetVehicleDamageData = SetVehicleDamageData;
    pFuncs->GetVehicleDamageData = GetVehicleDamageData;
    pFuncs->SetVehicleOptionFlag1 = SetVehicleOptionFlag<1>;
    pFuncs->GetVehicleOptionFlag1 = GetVehicleOptionFlag<1, 0>;
    pFuncs->SetVehicleOptionFlag0 = SetVehicleOptionFlag<0>;
    pFuncs->GetVehicleOptionFlag0 = GetVehicleOptionFlag<0, 0>;
    pFuncs->SetVehicleRadio = SetVehicleRadio;
    pFuncs->GetVehicleRadio = GetVehicleRadio;
    pFuncs->SetVehicleRadioFlag = SetVehicleRadioFlag;
    pFuncs->GetVehicleRadioFlag = GetVehicleRadioFlag;
    pFuncs->GetVehicleOptionFlag2 = GetVehicleOptionFlag<2, -1>;
    pFuncs->SetVehicleOptionFlag2 = SetVehicleOptionFlag<2>;
}

void FillHandlingSlots(PluginFuncs* pFuncs)
{
    pFuncs->ResetAllVehicleHandlings = ResetAllVehicleHandlings;
    pFuncs->ExistsHandlingRule = ExistsHandlingRule;
    pFuncs->SetHandlingRule = SetHandlingRule;
    pFuncs->GetHandlingRule = GetHandlingRule;
    pFuncs->ResetHandlingRule = ResetHandlingRule;
    pFuncs->ResetHandling = ResetHandling;
    pFuncs->ExistsInstHandlingRule = ExistsInstHandlingRule;
    pFuncs->SetInstHandlingRule = SetInstHandlingRule;
    pFuncs->GetInstHandlingRule = GetInstHandlingRule;
    pFuncs->ResetInstHandlingRule = ResetInstHandlingRule;
    pFuncs->ResetInstHandling = ResetInstHandling;
}
} // namespace

void FillVehicleFuncs(PluginFuncs* pFuncs)
{
    FillPoolSlots(pFuncs);
    FillMotionSlots(pFuncs);
    FillStateSlots(pFuncs);
    FillHandlingSlots(pFuncs);
    pFuncs->PutPlayerInVehicle = PutPlayerInVehicle;
}
