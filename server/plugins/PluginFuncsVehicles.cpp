#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CVehicleEntry.h"
#include "plugins/PluginFuncs.h"
#include "plugins/PluginSlot.h"
#include "world/CStreamer.h"
#include "world/CVehicle.h"
#include "world/CVehiclePool.h"

// Slots 220..292 (vehicles and handling rules) and 175 (putting a player into
// a vehicle). Each finds the vehicle its id names (1..1000, slot taken),
// then reads a field or calls one vehicle or pool operation, which owns the
// clamping, the messages and the events.

namespace
{
CVehiclePool* Pool()
{
    return g_pServer ? g_pServer->m_pVehiclePool : nullptr;
}

// Runs the operation on the vehicle the id names: 1, or 0 for an unknown id.
// The operation may delete the vehicle; the lock defers that until it returns.
template <typename TRule> int32_t WithLockedVehicle(int32_t nVehicleId, TRule&& rule)
{
    return WithEntity<CVehicle>(nVehicleId, 0,
                                [&](CVehicle& vehicle)
                                {
                                    CEntityLock lock(&vehicle);
                                    return rule(vehicle);
                                });
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
    return WithEntity<CVehicle>(nVehicleId, -1,
                                [](CVehicle& vehicle)
                                {
                                    const uint8_t bySlot = vehicle.m_byAssignedPlayer;
                                    return bySlot == VEHICLE_NO_PLAYER ? -1 : bySlot;
                                });
}

int32_t IsVehicleStreamedForPlayer(int32_t nVehicleId, int32_t nPlayerId)
{
    const CPlayer* pPlayer = FindEntity<CPlayer>(nPlayerId);
    CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
    return WithEntity<CVehicle>(
        nVehicleId, 0,
        [&](CVehicle&)
        { return pPlayer && pStreamer && pStreamer->IsVehicleStreamed(pPlayer, nVehicleId) ? 1 : 0; });
}

int32_t SetVehicleWorld(int32_t nVehicleId, int32_t nWorld)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle) { vehicle.SetWorld(nWorld); });
}

int32_t GetVehicleOccupant(int32_t nVehicleId, int32_t nSeat)
{
    return WithEntity<CVehicle>(
        nVehicleId, -1,
        [&](CVehicle& vehicle)
        { return nSeat < 0 || nSeat >= VEHICLE_SEAT_COUNT ? -1 : vehicle.GetOccupant(nSeat); });
}

int32_t RespawnVehicle(int32_t nVehicleId)
{
    return WithLockedVehicle(nVehicleId, [](CVehicle& vehicle) { vehicle.Respawn(); });
}

int32_t SetVehicleOptionByte(int32_t nVehicleId, int32_t nValue)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { vehicle.SetOptionByte(static_cast<uint8_t>(nValue)); });
}

int32_t ExplodeVehicle(int32_t nVehicleId)
{
    return WithLockedVehicle(nVehicleId, [](CVehicle& vehicle) { vehicle.Explode(nullptr); });
}

// ---- Position, rotation and motion (234..257) ----

int32_t SetVehiclePosition(int32_t nVehicleId, float fX, float fY, float fZ, int32_t nRemoveOccupants)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { vehicle.SetPosition(Vector(fX, fY, fZ), nRemoveOccupants != 0, true); });
}

int32_t GetVehiclePosition(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { WriteVector(vehicle.m_vPosition, pfX, pfY, pfZ); });
}

int32_t SetVehicleRotation(int32_t nVehicleId, float fX, float fY, float fZ, float fW)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { vehicle.SetRotation(Quaternion(fX, fY, fZ, fW), true); });
}

int32_t SetVehicleRotationEuler(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { vehicle.SetRotation(FromEuler(fX, fY, fZ), true); });
}

int32_t GetVehicleRotation(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { WriteQuaternion(vehicle.m_qRotation, pfX, pfY, pfZ, pfW); });
}

int32_t GetVehicleRotationEuler(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { WriteVector(vehicle.m_qRotation.ToEuler(), pfX, pfY, pfZ); });
}

// The motion slots: the vector as given, or turned from the vehicle's frame
// into the world's first, then the operation with its message.
template <int nKind, bool bRelative> int32_t ApplyMotion(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle)
                             {
                                 const Vector vValue(fX, fY, fZ);
                                 vehicle.ApplyMotion(
                                     nKind, bRelative ? vehicle.m_qRotation.Rotate(vValue) : vValue, true);
                             });
}

template <bool bTurn, bool bRelative>
int32_t GetMotion(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle)
                             {
                                 const Vector& vValue = bTurn ? vehicle.m_vTurnSpeed : vehicle.m_vSpeed;
                                 WriteVector(bRelative ? vehicle.m_qRotation.InverseRotate(vValue) : vValue,
                                             pfX, pfY, pfZ);
                             });
}

int32_t SetVehicleSpawnPosition(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { vehicle.SetSpawnPosition(Vector(fX, fY, fZ)); });
}

int32_t GetVehicleSpawnPosition(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ, int32_t* pnSpare)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle)
                             {
                                 WriteVector(vehicle.m_vSpawnPosition, pfX, pfY, pfZ);
                                 if (pnSpare)
                                     *pnSpare = 0;
                             });
}

int32_t SetVehicleSpawnRotation(int32_t nVehicleId, float fX, float fY, float fZ, float fW)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { vehicle.SetSpawnRotation(Quaternion(fX, fY, fZ, fW)); });
}

int32_t SetVehicleSpawnRotationEuler(int32_t nVehicleId, float fX, float fY, float fZ)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { vehicle.SetSpawnRotation(FromEuler(fX, fY, fZ)); });
}

int32_t GetVehicleSpawnRotation(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { WriteQuaternion(vehicle.m_qSpawnRotation, pfX, pfY, pfZ, pfW); });
}

int32_t GetVehicleSpawnRotationEuler(int32_t nVehicleId, float* pfX, float* pfY, float* pfZ)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { WriteVector(vehicle.m_qSpawnRotation.ToEuler(), pfX, pfY, pfZ); });
}

// ---- State, damage, appearance and radio (230, 231, 258..281) ----

int32_t SetVehicleIdleRespawnTimer(int32_t nVehicleId, int32_t nMs)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle)
                             { vehicle.SetIdleRespawnTime(static_cast<uint32_t>(nMs)); });
}

int32_t SetVehicleHealth(int32_t nVehicleId, float fHealth)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle) { vehicle.SetHealth(fHealth, true); });
}

float GetVehicleHealth(int32_t nVehicleId)
{
    return WithEntity<CVehicle>(nVehicleId, 0.0f, [](CVehicle& vehicle) { return vehicle.m_fHealth; });
}

int32_t SetVehicleColours(int32_t nVehicleId, int32_t nColour1, int32_t nColour2)
{
    return WithLockedVehicle(
        nVehicleId, [&](CVehicle& vehicle)
        { vehicle.SetColours(static_cast<uint8_t>(nColour1), static_cast<uint8_t>(nColour2)); });
}

int32_t GetVehicleColours(int32_t nVehicleId, int32_t* pnColour1, int32_t* pnColour2)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle)
                             {
                                 if (pnColour1)
                                     *pnColour1 = vehicle.m_byColour1;
                                 if (pnColour2)
                                     *pnColour2 = vehicle.m_byColour2;
                             });
}

int32_t SetVehicleLocked(int32_t nVehicleId, int32_t nLocked)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle) { vehicle.SetLocked(nLocked != 0); });
}

// Parts 0..10 and doors 0..4; another index changes nothing and answers 0.
template <bool (CVehicle::*pfnSet)(int, int)>
int32_t SetVehicleDamageStatus(int32_t nVehicleId, int32_t nIndex, int32_t nStatus)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { return (vehicle.*pfnSet)(nIndex, nStatus) ? 1 : 0; });
}

template <int (*pfnGet)(uint32_t, int)> int32_t GetVehicleDamageStatus(int32_t nVehicleId, int32_t nIndex)
{
    return WithEntity<CVehicle>(nVehicleId, 0,
                                [&](CVehicle& vehicle) { return pfnGet(vehicle.m_uiDamage, nIndex); });
}

int32_t SetVehicleDamageData(int32_t nVehicleId, int32_t nDamage)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { vehicle.SetDamage(static_cast<uint32_t>(nDamage)); });
}

template <int nBit> int32_t SetVehicleOptionFlag(int32_t nVehicleId, int32_t nOn)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle) { vehicle.SetOptionFlag(nBit, nOn != 0); });
}

template <int nBit, int nInvalid> int32_t GetVehicleOptionFlag(int32_t nVehicleId)
{
    return WithEntity<CVehicle>(nVehicleId, nInvalid,
                                [](CVehicle& vehicle) { return vehicle.GetOptionFlag(nBit) ? 1 : 0; });
}

int32_t SetVehicleRadio(int32_t nVehicleId, int32_t nStation)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { vehicle.SetRadioStation(nStation, nullptr); });
}

int32_t SetVehicleRadioFlag(int32_t nVehicleId, int32_t nOn)
{
    return WithLockedVehicle(nVehicleId, [&](CVehicle& vehicle) { vehicle.SetRadioFlag(nOn != 0); });
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
    return WithEntity<CVehicle>(
        nVehicleId, 0, [&](CVehicle& vehicle) { return Pool()->VehicleRuleExists(&vehicle, nRule) ? 1 : 0; });
}

int32_t SetInstHandlingRule(int32_t nVehicleId, int32_t nRule, double dValue)
{
    return WithEntity<CVehicle>(nVehicleId, 0,
                                [&](CVehicle& vehicle)
                                { return Pool()->SetVehicleRule(&vehicle, nRule, dValue) ? 1 : 0; });
}

double GetInstHandlingRule(int32_t nVehicleId, int32_t nRule)
{
    return WithEntity<CVehicle>(nVehicleId, 0.0,
                                [&](CVehicle& vehicle) { return Pool()->GetVehicleRule(&vehicle, nRule); });
}

int32_t ResetInstHandlingRule(int32_t nVehicleId, int32_t nRule)
{
    return WithLockedVehicle(nVehicleId,
                             [&](CVehicle& vehicle) { Pool()->ResetVehicleRule(&vehicle, nRule); });
}

int32_t ResetInstHandling(int32_t nVehicleId)
{
    return WithLockedVehicle(nVehicleId, [](CVehicle& vehicle) { Pool()->ResetVehicleRules(&vehicle); });
}

// ---- Slot 175 ----

int32_t PutPlayerInVehicle(int32_t nPlayerId, int32_t nVehicleId, int32_t nSeat, int32_t nEjectDriver,
                           int32_t nImmediate)
{
    CPlayer* pPlayer = FindEntity<CPlayer>(nPlayerId);
    if (!pPlayer || !FindEntity<CVehicle>(nVehicleId))
        return 0;
    return CVehicleEntry::PutInVehicle(pPlayer, nVehicleId, nSeat, nEjectDriver == 1, nImmediate != 0);
}

void FillPoolSlots(PluginFuncs* pFuncs)
{
    pFuncs->CreateVehicle = CreateVehicle;
    pFuncs->DeleteVehicle = DeleteVehicle;
    pFuncs->GetVehicleSyncSource = GetVehicleSyncSource;
    pFuncs->GetVehicleSyncType = ReadField<&CVehicle::m_nOccupancyState, -1>;
    pFuncs->IsVehicleStreamedForPlayer = IsVehicleStreamedForPlayer;
    pFuncs->SetVehicleWorld = SetVehicleWorld;
    pFuncs->GetVehicleWorld = ReadField<&CVehicle::m_usWorld, -1>;
    pFuncs->GetVehicleModel = ReadField<&CVehicle::m_byModel, 0>;
    pFuncs->GetVehicleOccupant = GetVehicleOccupant;
    pFuncs->RespawnVehicle = RespawnVehicle;
    pFuncs->SetVehicleOptionByte = SetVehicleOptionByte;
    pFuncs->GetVehicleOptionByte = ReadField<&CVehicle::m_byOptionByte, 0>;
    pFuncs->ExplodeVehicle = ExplodeVehicle;
    pFuncs->IsVehicleWrecked = ReadField<&CVehicle::m_bWrecked, 0>;
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
    pFuncs->GetVehicleIdleRespawnTimer = ReadField<&CVehicle::m_uiIdleRespawnTime, 0>;
    pFuncs->SetVehicleHealth = SetVehicleHealth;
    pFuncs->GetVehicleHealth = GetVehicleHealth;
    pFuncs->SetVehicleColours = SetVehicleColours;
    pFuncs->GetVehicleColours = GetVehicleColours;
    pFuncs->SetVehicleLocked = SetVehicleLocked;
    pFuncs->IsVehicleLocked = ReadField<&CVehicle::m_bLocked, 0>;
    pFuncs->SetVehiclePartStatus = SetVehicleDamageStatus<&CVehicle::SetPartDamage>;
    pFuncs->GetVehiclePartStatus = GetVehicleDamageStatus<&CVehicle::GetPartDamage>;
    pFuncs->SetVehicleDoorStatus = SetVehicleDamageStatus<&CVehicle::SetDoorDamage>;
    pFuncs->GetVehicleDoorStatus = GetVehicleDamageStatus<&CVehicle::GetDoorDamage>;
    pFuncs->SetVehicleDamageData = SetVehicleDamageData;
    pFuncs->GetVehicleDamageData = ReadField<&CVehicle::m_uiDamage, 0>;
    pFuncs->SetVehicleOptionFlag1 = SetVehicleOptionFlag<1>;
    pFuncs->GetVehicleOptionFlag1 = GetVehicleOptionFlag<1, 0>;
    pFuncs->SetVehicleOptionFlag0 = SetVehicleOptionFlag<0>;
    pFuncs->GetVehicleOptionFlag0 = GetVehicleOptionFlag<0, 0>;
    pFuncs->SetVehicleRadio = SetVehicleRadio;
    pFuncs->GetVehicleRadio = ReadField<&CVehicle::m_byRadioStation, -1>;
    pFuncs->SetVehicleRadioFlag = SetVehicleRadioFlag;
    pFuncs->GetVehicleRadioFlag = ReadField<&CVehicle::m_bRadioFlag, 0>;
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
