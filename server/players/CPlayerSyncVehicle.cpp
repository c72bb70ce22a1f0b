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

// The door the player reserved for its entry still belongs to it (vehicles
// without doors reserve none).
bool DoorReservationHolds(const CPlayer* pPlayer, const SVehicleSeats& seats)
{
    const uint8_t byDoor = pPlayer->m_byEntrySeat;
    if (byDoor == ENTRY_SEAT_NO_DOOR)
        return true;
    return byDoor < VEHICLE_DOOR_COUNT && seats.abyDoorState[byDoor] == DOOR_RESERVED &&
           seats.abyDoorPlayer[byDoor] == pPlayer->GetSlot();
}

void FreeDoor(SVehicleSeats& seats, uint8_t byDoor)
{
    if (byDoor >= VEHICLE_DOOR_COUNT)
        return;
    seats.abyDoorState[byDoor] = SEAT_FREE;
    seats.abyDoorPlayer[byDoor] = SEAT_NO_PLAYER;
}

// After OnPlayerEnterVehicle: a plugin may have taken the player out again
// (or put it elsewhere), and then it is neither seated nor simulating.
bool StillSeated(const CPlayer* pPlayer, const SVehicleSeats& seats, int nVehicleId, int nSeat)
{
    if (pPlayer->m_usEntryVehicle != nVehicleId || pPlayer->m_byEntryState != ENTRY_INSIDE)
        return false;
    if (nSeat < 0)
        return seats.byDriver == pPlayer->GetSlot() && seats.byDriverState == SEAT_OCCUPIED;
    return seats.abyPassenger[nSeat] == pPlayer->GetSlot() && seats.abyPassengerState[nSeat] == SEAT_OCCUPIED;
}

// The reservation has become a seat.
void CompleteEntry(CPlayer* pPlayer, SVehicleSeats& seats)
{
    FreeDoor(seats, pPlayer->m_byEntrySeat);
    pPlayer->m_usVehicleId = pPlayer->m_usEntryVehicle;
    pPlayer->m_byEntryState = ENTRY_INSIDE;
    pPlayer->m_byEntrySeat = ENTRY_SEAT_NONE;
    pPlayer->m_uiEntryDeadline = 0;
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
bool FreeSeats(CPlayer* pPlayer, SVehicleSeats& seats)
{
    const uint8_t bySlot = pPlayer->GetSlot();
    const uint8_t byEntrySeat = pPlayer->m_byEntrySeat;
    const uint8_t byEntryState = pPlayer->m_byEntryState;
    bool bInside = false;
    if (byEntryState == ENTRY_ENTERING && byEntrySeat != ENTRY_SEAT_NONE && byEntrySeat != ENTRY_SEAT_NO_DOOR)
    {
        if (byEntrySeat < VEHICLE_DOOR_COUNT && seats.abyDoorPlayer[byEntrySeat] == bySlot &&
            seats.abyDoorState[byEntrySeat] == DOOR_RESERVED)
            FreeDoor(seats, byEntrySeat);
        else
            ReportBrokenSeat(pPlayer, "%u (%s) %u Broken A9514D");
    }
    else if (byEntryState == ENTRY_INSIDE)
        bInside = true;
    else if (!(byEntryState == ENTRY_ENTERING && byEntrySeat == ENTRY_SEAT_NO_DOOR))
        ReportBrokenSeat(pPlayer, "%u (%s) %u Broken X8454X");

    const uint8_t bySeat = pPlayer->m_byPassengerSeat;
    if (bySeat != PASSENGER_SEAT_NONE)
    {
        if (bySeat < VEHICLE_PASSENGER_SEATS && seats.abyPassenger[bySeat] == bySlot &&
            seats.abyPassengerState[bySeat] != SEAT_FREE)
        {
            seats.abyPassenger[bySeat] = SEAT_NO_PLAYER;
            seats.abyPassengerState[bySeat] = SEAT_FREE;
        }
        else
            ReportBrokenSeat(pPlayer, "%u (%s) %u Broken U5970H");
    }
    else if (seats.byDriver == bySlot && seats.byDriverState != SEAT_FREE)
    {
        seats.byDriver = SEAT_NO_PLAYER;
        seats.byDriverState = SEAT_FREE;
    }
    else
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
    const bool bWasInside = pVehicle && FreeSeats(pPlayer, *pWorld->GetSeats(pVehicle));

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
    SVehicleSeats& seats = *pWorld->GetSeats(pVehicle);
    if (seats.byDriver != pPlayer->GetSlot())
        return RefuseSeat(pPlayer, 1.0f);
    if (seats.byDriverState == SEAT_OCCUPIED)
        return true;
    if (pPlayer->m_usEntryVehicle != nVehicleId || seats.byDriverState != SEAT_RESERVED ||
        pPlayer->m_byEntryState != ENTRY_ENTERING || !DoorReservationHolds(pPlayer, seats))
        return RefuseSeat(pPlayer, 2.0f);

    seats.byDriverState = SEAT_OCCUPIED;
    CompleteEntry(pPlayer, seats);
    CEntityLock lock(pVehicle);
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerEnterVehicle(pPlayer, pVehicle, 0);
    if (pPlayer->IsMarkedForDeletion() || !StillSeated(pPlayer, seats, nVehicleId, -1))
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
    SVehicleSeats& seats = *pWorld->GetSeats(pVehicle);
    if (nSeat < 0 || nSeat >= VEHICLE_PASSENGER_SEATS || seats.abyPassenger[nSeat] != pPlayer->GetSlot())
        return RefuseSeat(pPlayer, 2.0f);
    Quaternion qRotation;
    pWorld->GetVehiclePlacement(pVehicle, pPlayer->m_vPosition, qRotation);
    pPlayer->UpdateGridCell();
    if (seats.abyPassengerState[nSeat] == SEAT_OCCUPIED)
        return true;
    if (pPlayer->m_usEntryVehicle != nVehicleId || seats.abyPassengerState[nSeat] != SEAT_RESERVED ||
        pPlayer->m_byEntryState != ENTRY_ENTERING || !DoorReservationHolds(pPlayer, seats))
        return RefuseSeat(pPlayer, 2.0f);

    seats.abyPassengerState[nSeat] = SEAT_OCCUPIED;
    CompleteEntry(pPlayer, seats);
    CEntityLock lock(pVehicle);
    const int nOccupancy = pWorld->GetOccupancyState(pVehicle);
    if (nOccupancy != OCCUPANCY_DRIVER && nOccupancy != OCCUPANCY_PASSENGER)
    {
        pWorld->SetOccupancyState(pVehicle, OCCUPANCY_PASSENGER);
        pWorld->AssignVehicle(pVehicle, pPlayer->GetSlot());
    }
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerEnterVehicle(pPlayer, pVehicle, nSeat + 1);
    return !pPlayer->IsMarkedForDeletion() && StillSeated(pPlayer, seats, nVehicleId, nSeat);
}
