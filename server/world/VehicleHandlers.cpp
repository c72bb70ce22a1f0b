#include "world/VehicleHandlers.h"

#include "CServer.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSyncRecords.h"
#include "world/CVehicle.h"
#include "world/CVehiclePool.h"

namespace
{
constexpr int OPTION_FLAG_REPORTED = 1;

// The guard, then the sender while it is not being removed.
CPlayer* Sender(int nSlot)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_pPlayerPool)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

CVehicle* VehicleOf(uint16_t usVehicleId)
{
    CVehicle* pVehicle =
        g_pServer && g_pServer->m_pVehiclePool ? g_pServer->m_pVehiclePool->Get(usVehicleId) : nullptr;
    return pVehicle && !pVehicle->IsMarkedForDeletion() ? pVehicle : nullptr;
}

// The vehicle id and one byte, the shape of 180 and 181.
bool ReadIdAndByte(const uint8_t* pPayload, int nLength, uint16_t& usVehicleId, uint8_t& byValue)
{
    return ReadSyncRecords(pPayload, nLength, usVehicleId, byValue);
}
} // namespace

// Only the player that simulates the vehicle reports it, and only for the
// vehicle as it is since its last respawn; the server must be running.
void CVehicleHandlers::HandleUnoccupiedSync(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = Sender(nSlot);
    uint16_t usVehicleId = 0;
    uint16_t usSpawnCounter = 0;
    alignas(4) SVehicleSyncRecord record;
    if (!pPlayer || !g_pServer->m_bEntityProcessing ||
        !ReadSyncRecords(pPayload, nLength, usVehicleId, usSpawnCounter, record))
        return;
    CVehicle* pVehicle = VehicleOf(usVehicleId);
    if (!pVehicle || pVehicle->m_usSpawnCounter != usSpawnCounter)
        return;
    CEntityLock lock(pVehicle);
    pVehicle->ApplyUnoccupiedSync(nSlot, record);
}

// What follows the vehicle id is the client's and is not read.
void CVehicleHandlers::HandleExploded(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = Sender(nSlot);
    uint16_t usVehicleId = 0;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, usVehicleId))
        return;
    CVehicle* pVehicle = VehicleOf(usVehicleId);
    if (!pVehicle)
        return;
    CEntityLock lockPlayer(pPlayer);
    CEntityLock lock(pVehicle);
    pVehicle->Explode(pPlayer);
}

void CVehicleHandlers::HandleOptionReport(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = Sender(nSlot);
    uint16_t usVehicleId = 0;
    uint8_t byValue = 0;
    if (!pPlayer || !ReadIdAndByte(pPayload, nLength, usVehicleId, byValue))
        return;
    CVehicle* pVehicle = VehicleOf(usVehicleId);
    if (!pVehicle || pVehicle->m_byAssignedPlayer != nSlot)
        return;
    CEntityLock lock(pVehicle);
    pVehicle->SetOptionFlag(OPTION_FLAG_REPORTED, byValue != 0);
}

void CVehicleHandlers::HandleRadioChange(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = Sender(nSlot);
    uint16_t usVehicleId = 0;
    uint8_t byStation = 0;
    if (!pPlayer || !ReadIdAndByte(pPayload, nLength, usVehicleId, byStation))
        return;
    CVehicle* pVehicle = VehicleOf(usVehicleId);
    if (!pVehicle)
        return;
    CEntityLock lock(pVehicle);
    pVehicle->SetRadioStation(byStation, pPlayer);
}
