#include "players/CPlayerSync.h"

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerSyncWorld.h"
#include "plugins/CPluginManager.h"
#include "world/CVehicle.h"

// Vehicle seats as the sync sees them: the first driver or passenger sync
// for a reserved seat completes the entry, a sync for a seat the player does
// not hold is refused, and exit processing gives seats and doors back.

namespace
{
// Bookkeeping that does not add up is not fatal: the seat stays as it was and
// every player is told, so that the fault shows.
void ReportBrokenSeat(const CPlayer* pPlayer, const char* szFormat)
{
    if (g_pFuncs && g_pFuncs->SendClientMessage)
        g_pFuncs->SendClientMessage(-1, static_cast<int32_t>(0xFFFFFFFFu), szFormat,
                                    static_cast<unsigned>(pPlayer->GetSlot()), pPlayer->GetName(),
                                    static_cast<unsigned>(pPlayer->m_usVehicleId));
}

// The reservation has become a seat (the vehicle completed its side).
void SeatPlayer(CPlayer* pPlayer)
{
    pPlayer->m_usVehicleId = pPlayer->m_usEntryVehicle;
    pPlayer->m_byEntryState = ENTRY_INSIDE;
    pPlayer->m_byEntrySeat = ENTRY_SEAT_NONE;
    pPlayer->m_uiEntryDeadline = 0;
}

// After OnPlayerEnterVehicle: a plugin may have taken the player out again
// (or put it elsewhere), and then it is neither seated nor simulating.
bool StillSeated(const CPlayer* pPlayer, const CVehicle* pVehicle, int nVehicleId, int nSeat)
{
    return pPlayer->m_usEntryVehicle == nVehicleId && pPlayer->m_byEntryState == ENTRY_INSIDE &&
           pVehicle->IsSeated(pPlayer->GetSlot(), nSeat);
}

// The player is entering this vehicle and its entry holds the seat and door.
bool CompletesEntry(CPlayer* pPlayer, CVehicle* pVehicle, int nVehicleId, int nSeat)
{
    return pPlayer->m_usEntryVehicle == nVehicleId && pPlayer->m_byEntryState == ENTRY_ENTERING &&
           pVehicle->CompleteEntry(pPlayer->GetSlot(), nSeat, pPlayer->m_byEntrySeat);
}

// A refused seat puts the player back on foot, lifted so that it does not
// stay stuck in the vehicle, and corrects its client with the position.
// Always false, so that callers can return it.
bool RefuseSeat(CPlayer* pPlayer, float fLift)
{
    pPlayer->ResetToOnFoot(fLift);
    if (pPlayer->IsMarkedForDeletion())
        return false;
    Vector vPosition = pPlayer->m_vPosition;
    vPosition.z += fLift;
    pPlayer->SetPosition(vPosition, true);
    return false;
}

// Gives back the door of an entry attempt or notes that the player was
// inside; then frees the seat it holds. Returns whether it was inside.
bool FreeSeats(CPlayer* pPlayer, CVehicle* pVehicle)
{
    const uint8_t bySlot = pPlayer->GetSlot();
    const uint8_t byEntrySeat = pPlayer->m_byEntrySeat;
    const uint8_t byEntryState = pPlayer->m_byEntryState;
    bool bInside = false;
    if (byEntryState == ENTRY_ENTERING && byEntrySeat != ENTRY_SEAT_NONE && byEntrySeat != ENTRY_SEAT_NO_DOOR)
    {
        if (!pVehicle->ReleaseDoor(bySlot, byEntrySeat))
            ReportBrokenSeat(pPlayer, "%u (%s) %u Broken A9514D");
    }
    else if (byEntryState == ENTRY_INSIDE)
        bInside = true;
    else if (!(byEntryState == ENTRY_ENTERING && byEntrySeat == ENTRY_SEAT_NO_DOOR))
        ReportBrokenSeat(pPlayer, "%u (%s) %u Broken X8454X");

    const uint8_t bySeat = pPlayer->m_byPassengerSeat;
    if (bySeat != PASSENGER_SEAT_NONE)
    {
        if (!pVehicle->ReleaseSeat(bySlot, bySeat))
            ReportBrokenSeat(pPlayer, "%u (%s) %u Broken U5970H");
    }
    else if (!pVehicle->ReleaseSeat(bySlot, VEHICLE_DRIVER_SEAT))
        ReportBrokenSeat(pPlayer, "%u (%s) %u Broken Z1502Q");
    return bInside;
}
} // namespace

// The player's own vehicle fields are cleared whatever the vehicle's seats
// say, the passenger seat included: a stale one would make the next driver
// entry look like a passenger's.
void ProcessVehicleExit(CPlayer* pPlayer, bool bRaiseEvent)
{
    if (!pPlayer)
        return;
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle =
        pWorld && pPlayer->m_usEntryVehicle != 0 ? pWorld->FindVehicle(pPlayer->m_usEntryVehicle) : nullptr;
    const bool bWasInside = pVehicle && FreeSeats(pPlayer, pVehicle);

    pPlayer->m_byEntryState = ENTRY_NONE;
    pPlayer->m_byEntrySeat = ENTRY_SEAT_NONE;
    pPlayer->m_usEntryVehicle = 0;
    pPlayer->m_uiEntryDeadline = 0;
    pPlayer->m_usVehicleId = 0;
    pPlayer->m_byPassengerSeat = PASSENGER_SEAT_NONE;
    if (!bWasInside)
        return;

    CEntityLock lock(pVehicle);
    const int nOccupancy = pWorld->GetOccupancyState(pVehicle);
    if (pWorld->GetAssignedPlayer(pVehicle) == pPlayer->GetSlot() &&
        (nOccupancy == OCCUPANCY_DRIVER || nOccupancy == OCCUPANCY_PASSENGER))
        pWorld->ReassignVehicle(pVehicle);
    if (bRaiseEvent && g_pPluginManager)
        g_pPluginManager->OnPlayerExitVehicle(pPlayer, pVehicle);
}

bool CPlayerSync::AcceptDriver(CPlayer* pPlayer, int nVehicleId)
{
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(nVehicleId) : nullptr;
    if (!pVehicle)
        return RefuseSeat(pPlayer, 0.0f);
    if (pVehicle->GetSeatHolder(VEHICLE_DRIVER_SEAT) != pPlayer->GetSlot())
        return RefuseSeat(pPlayer, 1.0f);
    if (pVehicle->IsSeated(pPlayer->GetSlot(), VEHICLE_DRIVER_SEAT))
        return true;
    if (!CompletesEntry(pPlayer, pVehicle, nVehicleId, VEHICLE_DRIVER_SEAT))
        return RefuseSeat(pPlayer, 2.0f);
    SeatPlayer(pPlayer);
    CEntityLock lock(pVehicle);
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerEnterVehicle(pPlayer, pVehicle, 0);
    if (pPlayer->IsMarkedForDeletion() || !StillSeated(pPlayer, pVehicle, nVehicleId, VEHICLE_DRIVER_SEAT))
        return false;
    if (!pVehicle->IsMarkedForDeletion())
    {
        pWorld->SetOccupancyState(pVehicle, OCCUPANCY_DRIVER);
        pWorld->AssignVehicle(pVehicle, pPlayer->GetSlot());
    }
    return true;
}

// A passenger is carried: its position is the vehicle's.
bool CPlayerSync::AcceptPassenger(CPlayer* pPlayer, int nVehicleId, int nSeat)
{
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(nVehicleId) : nullptr;
    if (!pVehicle)
        return RefuseSeat(pPlayer, 0.0f);
    if (nSeat < 0 || nSeat >= VEHICLE_PASSENGER_SEATS || pVehicle->GetSeatHolder(nSeat) != pPlayer->GetSlot())
        return RefuseSeat(pPlayer, 2.0f);
    Quaternion qRotation;
    pWorld->GetVehiclePlacement(pVehicle, pPlayer->m_vPosition, qRotation);
    pPlayer->UpdateGridCell();
    if (pVehicle->IsSeated(pPlayer->GetSlot(), nSeat))
        return true;
    if (!CompletesEntry(pPlayer, pVehicle, nVehicleId, nSeat))
        return RefuseSeat(pPlayer, 2.0f);
    SeatPlayer(pPlayer);
    CEntityLock lock(pVehicle);
    const int nOccupancy = pWorld->GetOccupancyState(pVehicle);
    if (nOccupancy != OCCUPANCY_DRIVER && nOccupancy != OCCUPANCY_PASSENGER)
    {
        pWorld->SetOccupancyState(pVehicle, OCCUPANCY_PASSENGER);
        pWorld->AssignVehicle(pVehicle, pPlayer->GetSlot());
    }
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerEnterVehicle(pPlayer, pVehicle, nSeat + 1);
    return !pPlayer->IsMarkedForDeletion() && StillSeated(pPlayer, pVehicle, nVehicleId, nSeat);
}
