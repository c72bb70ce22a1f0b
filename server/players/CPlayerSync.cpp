#include "players/CPlayerSync.h"

#include <cmath>

#include "BitStream.h"
#include "CServer.h"
#include "net/Guards.h"
#include "players/CAntiCheat.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSyncRecords.h"
#include "players/CPlayerSyncWorld.h"
#include "plugins/CPluginManager.h"
#include "world/CVehicle.h"

// The four sync messages: what a client reports about its own player is
// checked, stored in the player record and announced to the plugins; the
// relay to the other players happens once per tick, in CPlayerRelay.cpp.

namespace
{
// Key bit 0x200 is only passed on when the player's option bits allow it.
constexpr uint16_t KEY_RESTRICTED = 0x200;
constexpr uint16_t PLAYER_FLAG_KEY_ON_FOOT = 0x0040;
constexpr uint16_t PLAYER_FLAG_KEY_IN_VEHICLE = 0x0002;
// World option 6: nobody passes the restricted key in a vehicle.
constexpr uint32_t WORLD_OPTION_NO_VEHICLE_KEY = 0x40;

constexpr uint8_t SYNC_FLAG_BIT0 = 0x01;
constexpr uint8_t SYNC_FLAG_BIT1 = 0x02;

enum EUpdateKind
{
    UPDATE_ON_FOOT = 0,
    UPDATE_AIM = 1,
    UPDATE_DRIVER = 2,
    UPDATE_PASSENGER = 3,
};

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

// The guard, then the player of the slot while it is not being removed; the
// sync messages also wait for the server to process entities.
CPlayer* SyncingPlayer(int nSlot)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_bEntityProcessing ||
        !g_pServer->m_pPlayerPool)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

// The start every sync shares: the client's acknowledgement and the away
// state. False when the sync goes no further (not spawned, or removed by a
// plugin).
bool BeginSync(CPlayer* pPlayer, uint32_t uiStamp)
{
    if (uiStamp > pPlayer->m_uiClientAck)
        pPlayer->m_uiClientAck = uiStamp;
    pPlayer->m_uiLastSyncTime = Now();
    if (pPlayer->m_bAway)
    {
        pPlayer->m_bAway = false;
        if (g_pPluginManager)
            g_pPluginManager->OnPlayerAwayChange(pPlayer, false);
        if (pPlayer->IsMarkedForDeletion())
            return false;
    }
    return pPlayer->m_bSpawned;
}

// The state is set, and announced, on every sync; false once a plugin removed the player.
bool SetSyncState(CPlayer* pPlayer, uint8_t bySyncType, uint8_t byState)
{
    pPlayer->m_bySyncType = bySyncType;
    pPlayer->SetState(byState);
    return !pPlayer->IsMarkedForDeletion();
}

void RaiseUpdate(CPlayer* pPlayer, int nKind)
{
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerUpdate(pPlayer, nKind);
}

// The keys event comes before the keys are stored and carries them as
// reported; the restricted bit is dropped from what is stored unless allowed.
// A change is judged on what would be stored, so a held restricted key is
// not a new press at every sync. False once a plugin removed the player.
bool StoreKeys(CPlayer* pPlayer, uint16_t usKeys, bool bKeepRestricted)
{
    const uint16_t usKept = bKeepRestricted ? usKeys : static_cast<uint16_t>(usKeys & ~KEY_RESTRICTED);
    if (usKept != pPlayer->m_usKeys)
    {
        if (g_pPluginManager)
            g_pPluginManager->OnPlayerKeysChange(pPlayer, pPlayer->m_usKeys, usKeys);
        if (pPlayer->IsMarkedForDeletion())
            return false;
    }
    pPlayer->m_usKeys = usKept;
    return true;
}

// Where a surface id points: a vehicle 1..1000 or an object index + 1001.
bool FindSurface(uint16_t usSurfaceId, Vector& vPosition, Quaternion& qRotation)
{
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    if (!pWorld || usSurfaceId == 0)
        return false;
    if (usSurfaceId <= 1000)
    {
        CVehicle* pVehicle = pWorld->FindVehicle(usSurfaceId);
        if (!pVehicle)
            return false;
        pWorld->GetVehiclePlacement(pVehicle, vPosition, qRotation);
        return true;
    }
    return usSurfaceId <= 4000 && pWorld->GetObjectPlacement(usSurfaceId - 1001, vPosition, qRotation);
}

// An offset is relayed to the other clients as it is stored; a coordinate
// that is not a number would reach them too.
void MakeFinite(Vector& vValue)
{
    if (!std::isfinite(vValue.x))
        vValue.x = 0.0f;
    if (!std::isfinite(vValue.y))
        vValue.y = 0.0f;
    if (!std::isfinite(vValue.z))
        vValue.z = 0.0f;
}

// A player standing on a vehicle or object reports its offset from it; the
// server keeps both the offset and the world position it gives.
void PlaceOnFoot(CPlayer* pPlayer, const SOnFootSyncRecord& record)
{
    Vector vPosition = record.vPosition;
    Vector vBase;
    Quaternion qRotation;
    if (FindSurface(record.usSurfaceId, vBase, qRotation))
    {
        MakeFinite(vPosition);
        pPlayer->m_vSurfaceOffset = vPosition;
        vPosition = qRotation.Rotate(vPosition) + vBase;
        pPlayer->m_usSurfaceId = record.usSurfaceId;
    }
    else
    {
        pPlayer->m_usSurfaceId = 0;
    }
    CServer::ClampToWorld(vPosition);
    pPlayer->m_vPosition = vPosition;
    pPlayer->UpdateGridCell();
}

// The streamer projects a player ahead by the mean of its last five speeds.
void PushSpeed(CPlayer* pPlayer)
{
    Vector vSum;
    for (int i = 0; i + 1 < SPEED_HISTORY_LENGTH; ++i)
    {
        pPlayer->m_avSpeedHistory[i] = pPlayer->m_avSpeedHistory[i + 1];
        vSum += pPlayer->m_avSpeedHistory[i];
    }
    pPlayer->m_avSpeedHistory[SPEED_HISTORY_LENGTH - 1] = pPlayer->m_vSpeed;
    vSum += pPlayer->m_vSpeed;
    pPlayer->m_vAverageSpeed = vSum / static_cast<float>(SPEED_HISTORY_LENGTH);
}

// The sync code and flag events see the old values stored, in the order
// code, flag bit 0, flag bit 1. False once a plugin removed the player.
bool StoreSyncBytes(CPlayer* pPlayer, const SOnFootSyncRecord& record)
{
    if (record.bySyncCode != pPlayer->m_bySyncCode)
    {
        if (g_pPluginManager)
            g_pPluginManager->OnPlayerSyncCodeChange(pPlayer, pPlayer->m_bySyncCode, record.bySyncCode);
        if (pPlayer->IsMarkedForDeletion())
            return false;
    }
    pPlayer->m_bySyncCode = record.bySyncCode;
    pPlayer->m_bySyncByte37 = record.bySyncByte37;

    const uint8_t byChanged = record.bySyncFlags ^ pPlayer->m_bySyncFlags;
    if ((byChanged & SYNC_FLAG_BIT0) && g_pPluginManager)
    {
        g_pPluginManager->OnPlayerSyncFlag0Change(pPlayer, (record.bySyncFlags & SYNC_FLAG_BIT0) != 0);
        if (pPlayer->IsMarkedForDeletion())
            return false;
    }
    if ((byChanged & SYNC_FLAG_BIT1) && g_pPluginManager)
    {
        g_pPluginManager->OnPlayerSyncFlag1Change(pPlayer, (record.bySyncFlags & SYNC_FLAG_BIT1) != 0);
        if (pPlayer->IsMarkedForDeletion())
            return false;
    }
    pPlayer->m_bySyncFlags = record.bySyncFlags;
    return true;
}

// Everything on-foot and aim sync share, up to the on-foot state. False when
// the sync goes no further.
bool ApplyOnFoot(CPlayer* pPlayer, const SOnFootSyncRecord& record)
{
    if (pPlayer->m_usEntryVehicle != 0 && pPlayer->m_byEntryState == ENTRY_INSIDE)
    {
        ProcessVehicleExit(pPlayer, true);
        if (pPlayer->IsMarkedForDeletion())
            return false;
    }
    PlaceOnFoot(pPlayer, record);
    pPlayer->m_fAngle = record.fAngle;
    pPlayer->m_vSpeed = record.vSpeed;
    if (!StoreKeys(pPlayer, record.usKeys, (pPlayer->m_usFlags & PLAYER_FLAG_KEY_ON_FOOT) != 0))
        return false;
    PushSpeed(pPlayer);
    CAntiCheat::CheckHealth(pPlayer, record.byHealth);
    CAntiCheat::CheckArmour(pPlayer, record.byArmour);
    if (!StoreSyncBytes(pPlayer, record))
        return false;
    pPlayer->m_byWeapon = record.byWeapon;
    pPlayer->m_usAmmo = record.usAmmo;
    CAntiCheat::CheckWeapon(pPlayer);
    return SetSyncState(pPlayer, SYNC_ON_FOOT, PLAYER_STATE_ON_FOOT);
}

// A vehicle sync during the entry lock only counts when it completes the
// entry into the reserved vehicle.
bool CompletesEntryAsDriver(CPlayer* pPlayer, int nVehicleId)
{
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(nVehicleId) : nullptr;
    if (nVehicleId != pPlayer->m_usEntryVehicle || !pVehicle ||
        pVehicle->GetSeatHolder(VEHICLE_DRIVER_SEAT) != pPlayer->GetSlot())
        return false;
    return CPlayerSync::AcceptDriver(pPlayer, nVehicleId);
}

bool CompletesEntryAsPassenger(CPlayer* pPlayer, int nVehicleId, int nSeat)
{
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(nVehicleId) : nullptr;
    if (nVehicleId != pPlayer->m_usEntryVehicle || !pVehicle || nSeat < 0 ||
        nSeat >= VEHICLE_PASSENGER_SEATS || pVehicle->GetSeatHolder(nSeat) != pPlayer->GetSlot())
        return false;
    return CPlayerSync::AcceptPassenger(pPlayer, nVehicleId, nSeat);
}

// In a vehicle the restricted key needs both option bits, and the server may
// forbid it altogether.
bool KeepsRestrictedKeyInVehicle(const CPlayer* pPlayer)
{
    const uint16_t usBoth = PLAYER_FLAG_KEY_ON_FOOT | PLAYER_FLAG_KEY_IN_VEHICLE;
    const bool bServerForbids =
        g_pServer && (g_pServer->m_WorldOptions.uiOptions & WORLD_OPTION_NO_VEHICLE_KEY);
    return (pPlayer->m_usFlags & usBoth) == usBoth && !bServerForbids;
}
} // namespace

void CPlayerSync::HandleOnFootSync(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = SyncingPlayer(nSlot);
    uint32_t uiStamp = 0;
    alignas(4) SOnFootSyncRecord record;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, uiStamp, record))
        return;
    CEntityLock lock(pPlayer);
    if (!BeginSync(pPlayer, uiStamp) || pPlayer->m_bEntryLock)
        return;
    if (ApplyOnFoot(pPlayer, record))
        RaiseUpdate(pPlayer, UPDATE_ON_FOOT);
}

void CPlayerSync::HandleAimSync(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = SyncingPlayer(nSlot);
    uint32_t uiStamp = 0;
    alignas(4) SOnFootSyncRecord record;
    alignas(4) SAimSyncRecord aim;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, uiStamp, record, aim))
        return;
    CEntityLock lock(pPlayer);
    if (!BeginSync(pPlayer, uiStamp) || pPlayer->m_bEntryLock || !ApplyOnFoot(pPlayer, record))
        return;
    pPlayer->m_vAimVector1 = aim.vAim1;
    pPlayer->m_vAimVector2 = aim.vAim2;
    if (SetSyncState(pPlayer, SYNC_AIM, PLAYER_STATE_AIMING))
        RaiseUpdate(pPlayer, UPDATE_AIM);
}

void CPlayerSync::HandleDriverSync(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = SyncingPlayer(nSlot);
    uint32_t uiStamp = 0;
    SDriverSyncRecord driver;
    alignas(4) SVehicleSyncRecord vehicle;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, uiStamp, driver, vehicle))
        return;
    CEntityLock lock(pPlayer);
    const int nVehicleId = driver.usVehicleId;
    if (!BeginSync(pPlayer, uiStamp) ||
        (pPlayer->m_bEntryLock && !CompletesEntryAsDriver(pPlayer, nVehicleId)))
        return;
    Vector vPosition = vehicle.vPosition;
    CServer::ClampToWorld(vPosition);
    vehicle.vPosition = vPosition;
    if (!StoreKeys(pPlayer, driver.usKeys, KeepsRestrictedKeyInVehicle(pPlayer)))
        return;
    pPlayer->m_vPosition = vPosition;
    pPlayer->UpdateGridCell();
    pPlayer->m_byWeapon = driver.byWeapon;
    pPlayer->m_usAmmo = driver.usAmmo;
    CAntiCheat::CheckWeapon(pPlayer);
    if (!AcceptDriver(pPlayer, nVehicleId))
        return;
    // Health and armour count only from a seat the server granted: a refused
    // sync would otherwise raise the mark the anti-cheat measures against.
    pPlayer->m_byHealth = driver.byHealth;
    pPlayer->m_byArmour = driver.byArmour;
    // A plugin may have deleted the vehicle from inside the entry event.
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(nVehicleId) : nullptr;
    if (!pVehicle || pVehicle->IsMarkedForDeletion())
        return;
    pWorld->ApplyDriverSync(pVehicle, pPlayer->GetSlot(), vehicle);
    pWorld->NoteVehicleSynced(pVehicle);
    if (SetSyncState(pPlayer, SYNC_DRIVER, PLAYER_STATE_DRIVER))
        RaiseUpdate(pPlayer, UPDATE_DRIVER);
}

void CPlayerSync::HandlePassengerSync(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = SyncingPlayer(nSlot);
    uint32_t uiStamp = 0;
    SPassengerSyncRecord passenger;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, uiStamp, passenger))
        return;
    CEntityLock lock(pPlayer);
    const int nVehicleId = passenger.usVehicleId;
    const int nSeat = static_cast<int>(passenger.bySeat) - 1;
    if (!BeginSync(pPlayer, uiStamp) ||
        (pPlayer->m_bEntryLock && !CompletesEntryAsPassenger(pPlayer, nVehicleId, nSeat)))
        return;
    // A passenger holds no weapon in hand.
    CAntiCheat::SelectSlotZero(pPlayer);
    if (!AcceptPassenger(pPlayer, nVehicleId, nSeat))
        return;
    pPlayer->m_byHealth = passenger.byHealth;
    pPlayer->m_byArmour = passenger.byArmour;
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(nVehicleId) : nullptr;
    if (!pVehicle || pVehicle->IsMarkedForDeletion() ||
        !SetSyncState(pPlayer, SYNC_PASSENGER, PLAYER_STATE_PASSENGER))
        return;
    // Looked up again: the state event may have removed the vehicle.
    if ((pVehicle = pWorld->FindVehicle(nVehicleId)) != nullptr)
        pWorld->NoteVehicleSynced(pVehicle);
    RaiseUpdate(pPlayer, UPDATE_PASSENGER);
}
