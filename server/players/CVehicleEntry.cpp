#include "players/CVehicleEntry.h"

#include <initializer_list>

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSync.h"
#include "players/CPlayerSyncRecords.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"
#include "world/CVehicle.h"
#include "world/CVehiclePool.h"

namespace
{
constexpr uint8_t KIND_DRIVER = 18;
constexpr uint8_t KIND_PASSENGER = 17;
constexpr int SEAT_DRIVER = VEHICLE_DRIVER_SEAT;
constexpr uint32_t ENTRY_LOCK_TIME = 2000;

// A class 0 approach: the seat kind, A and B (and D 1 where the server alone
// may ask for it), optionally limited to two models; the door and seat it
// reserves. Immediate approaches skip the walk to the door.
struct SApproach
{
    bool bDriver;
    uint8_t byA;
    uint8_t byB;
    bool bServerOnly;
    uint8_t byModel1;
    uint8_t byModel2;
    uint8_t byDoor;
    int nSeat;
    bool bImmediate;
};

const SApproach g_aClass0Approaches[] = {
    {true, 0, 255, false, 0, 0, 0, SEAT_DRIVER, true},
    {true, 15, 1, false, 0, 0, 0, SEAT_DRIVER, false},
    {true, 15, 3, false, 155, 171, 0, SEAT_DRIVER, false},
    {true, 11, 4, false, 0, 0, 2, SEAT_DRIVER, false},
    {false, 1, 255, true, 0, 0, 2, 0, true},
    {false, 2, 255, true, 0, 0, 1, 1, true},
    {false, 3, 255, true, 0, 0, 3, 2, true},
    {false, 11, 4, false, 0, 0, 2, 0, false},
    {false, 16, 2, false, 0, 0, 1, 1, false},
    {false, 12, 8, false, 0, 0, 3, 2, false},
};

// Passengers walk longer to the rear doors of these models.
const uint8_t g_abyLongRearEntryModels[] = {143, 146, 157, 158, 170, 179, 189, 212};

// What a request would reserve: a door (or none) and a seat, for how long.
struct SReservation
{
    uint8_t byDoor;
    int nSeat;
    uint32_t uiDuration;
};

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}

bool IsOneOf(uint8_t byValue, std::initializer_list<uint8_t> values)
{
    for (uint8_t by : values)
    {
        if (by == byValue)
            return true;
    }
    return false;
}

uint32_t Class0Duration(int nModel, const SApproach& approach)
{
    if (approach.bImmediate)
        return 2000;
    if (nModel == 167)
        return 7000;
    if (approach.bDriver)
        return approach.byDoor == 2 ? 5000 : 4000;
    bool bLongModel = false;
    for (uint8_t byModel : g_abyLongRearEntryModels)
        bLongModel = bLongModel || byModel == nModel;
    return bLongModel && (approach.byDoor == 1 || approach.byDoor == 3) ? 6000 : 4000;
}

// The door and seat rules of class 0. Returns the result; on 0 fills the reservation.
int CheckClass0(const CVehicle& vehicle, const SEntryRequest& request, SReservation& reservation)
{
    if (request.byC != KIND_DRIVER && request.byC != KIND_PASSENGER)
        return 3;
    const bool bDriver = request.byC == KIND_DRIVER;
    const SApproach* pMatch = nullptr;
    for (const SApproach& approach : g_aClass0Approaches)
    {
        if (approach.bDriver == bDriver && approach.byA == request.byA && approach.byB == request.byB &&
            (!approach.bServerOnly || request.byD == 1) &&
            (approach.byModel1 == 0 || approach.byModel1 == vehicle.m_byModel ||
             approach.byModel2 == vehicle.m_byModel))
        {
            pMatch = &approach;
            break;
        }
    }
    if (!pMatch && bDriver)
        return IsOneOf(request.byA, {15, 11}) ? 6 : 4;
    if (!pMatch)
        return IsOneOf(request.byA, {11, 16, 12}) ? 6 : 5;
    if (bDriver && pMatch->byDoor == 2 && !vehicle.IsSeatFree(0))
        return 7;
    if (!vehicle.IsDoorFree(pMatch->byDoor))
        return bDriver ? 8 : 10;
    if (!vehicle.IsSeatFree(pMatch->nSeat))
        return bDriver ? 9 : 11;
    reservation = {pMatch->byDoor, pMatch->nSeat, Class0Duration(vehicle.m_byModel, *pMatch)};
    return ENTRY_ACCEPTED;
}

// Class 1 has no doors: the driver's seat or passenger seat 0.
int CheckClass1(const CVehicle& vehicle, const SEntryRequest& request, SReservation& reservation)
{
    const uint8_t byA = request.byA;
    const uint8_t byB = request.byB;
    if (request.byC == KIND_DRIVER)
    {
        if (!((byB == 255 && byA == 0) || (byB == 5 && IsOneOf(byA, {11, 15, 19}))))
            return byB == 5 ? 14 : 13;
        if (!vehicle.IsSeatFree(SEAT_DRIVER))
            return 15;
        reservation = {ENTRY_SEAT_NO_DOOR, SEAT_DRIVER, 2500};
        return ENTRY_ACCEPTED;
    }
    if (request.byC != KIND_PASSENGER)
        return 12;
    if (!((byB == 255 && byA == 1 && request.byD == 1) || (byB == 10 && IsOneOf(byA, {12, 16}))))
        return byB == 10 ? 17 : 16;
    if (!vehicle.IsSeatFree(0))
        return 18;
    reservation = {ENTRY_SEAT_NO_DOOR, 0, 2500};
    return ENTRY_ACCEPTED;
}

int CheckClass2(const CVehicle& vehicle, const SEntryRequest& request, SReservation& reservation)
{
    if (request.byA != 0 || request.byB != 0 || request.byC != 0)
        return 19;
    if (!vehicle.IsSeatFree(SEAT_DRIVER))
        return 20;
    reservation = {ENTRY_SEAT_NO_DOOR, SEAT_DRIVER, 2000};
    return ENTRY_ACCEPTED;
}

// The class's rules first; a locked vehicle refuses whatever its class once
// everything else would pass.
int CheckRequest(const CVehicle& vehicle, const SEntryRequest& request, SReservation& reservation)
{
    int nResult = 21;
    switch (vehicle.m_nVehicleClass)
    {
    case 0:
        nResult = CheckClass0(vehicle, request, reservation);
        break;
    case 1:
        nResult = CheckClass1(vehicle, request, reservation);
        break;
    case 2:
        nResult = CheckClass2(vehicle, request, reservation);
        break;
    default:
        break;
    }
    return nResult == ENTRY_ACCEPTED && vehicle.m_bLocked ? ENTRY_LOCKED : nResult;
}

void Reserve(CPlayer* pPlayer, CVehicle* pVehicle, const SReservation& reservation)
{
    // CheckRequest has found the seat and the door free.
    pVehicle->ReserveSeat(pPlayer->GetSlot(), reservation.nSeat, reservation.byDoor);
    if (reservation.nSeat != SEAT_DRIVER)
        pPlayer->m_byPassengerSeat = static_cast<uint8_t>(reservation.nSeat);
    pPlayer->m_byEntrySeat = reservation.byDoor;
    pPlayer->m_usEntryVehicle = pVehicle->GetId();
    const uint32_t uiDeadline = Now() + reservation.uiDuration;
    pPlayer->m_uiEntryDeadline = uiDeadline != 0 ? uiDeadline : 1;
    pPlayer->m_byEntryState = ENTRY_ENTERING;
    pVehicle->m_uiLastUsed = Now();
}

void WriteRequest(RakNet::BitStream& stream, uint8_t byId, const CPlayer* pPlayer, int nVehicleId,
                  const SEntryRequest& request)
{
    CNetwork::WriteMessageId(stream, byId);
    stream.Write(pPlayer->GetPlayerId());
    stream.Write(static_cast<uint16_t>(nVehicleId));
    stream.Write(request.byA);
    stream.Write(request.byB);
    stream.Write(request.byC);
}

// 162: the players that see the requester first, then the requester, whose
// copy also carries the vehicle's radio.
void SendEntryAccepted(CPlayer* pPlayer, const CVehicle* pVehicle, const SEntryRequest& request)
{
    CNetwork* pNetwork = g_pServer ? g_pServer->m_pNetwork : nullptr;
    CStreamer* pStreamer = Streamer();
    if (!pNetwork)
        return;
    RakNet::BitStream stream;
    WriteRequest(stream, ID_ENTER_VEHICLE, pPlayer, pVehicle->GetId(), request);
    if (pStreamer)
        pStreamer->ForEachObserverOfPlayer(
            pPlayer, [&](CPlayer* pObserver, CPlayer*)
            { pNetwork->SendToPlayer(pObserver->GetSlot(), stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0); });
    stream.Write(pVehicle->m_byRadioStation);
    stream.Write(pVehicle->m_bRadioFlag);
    pNetwork->SendToPlayer(pPlayer->GetSlot(), stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);
}

void SendEntryRefused(const CPlayer* pPlayer, int nVehicleId, const SEntryRequest& request, int nResult)
{
    CNetwork* pNetwork = g_pServer ? g_pServer->m_pNetwork : nullptr;
    if (!pNetwork)
        return;
    RakNet::BitStream stream;
    WriteRequest(stream, ID_ENTER_VEHICLE_REFUSED, pPlayer, nVehicleId, request);
    stream.Write(static_cast<uint8_t>(nResult));
    pNetwork->SendToPlayer(pPlayer->GetSlot(), stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);
}

CVehicle* FindVehicle(int nVehicleId)
{
    return g_pServer && g_pServer->m_pVehiclePool ? g_pServer->m_pVehiclePool->Get(nVehicleId) : nullptr;
}

// A client may only ask for a vehicle it could be holding: one in its own
// world and within the radius at which vehicles stream in. To a client any
// other vehicle does not exist, and it is refused as one that does not; the
// server's own entries (D 1) may reach anywhere.
bool IsWithinReach(const CPlayer* pPlayer, const CVehicle& vehicle)
{
    const CStreamer* pStreamer = Streamer();
    return vehicle.m_usWorld == pPlayer->m_usWorld && pStreamer &&
           pStreamer->IsInStreamRange(pPlayer, vehicle.m_vPosition, CStreamer::VEHICLE_IN);
}

// Steps 1 to 7: the result, with the reservation in place and accepted by
// the plugins on 0.
int TryReserve(CPlayer* pPlayer, int nVehicleId, const SEntryRequest& request)
{
    if (!pPlayer->m_bSpawned)
        return ENTRY_NOT_SPAWNED;
    ProcessVehicleExit(pPlayer, true);
    if (pPlayer->IsMarkedForDeletion())
        return ENTRY_PLAYER_GOING;
    CVehicle* pVehicle = FindVehicle(nVehicleId);
    if (!pVehicle || pVehicle->IsMarkedForDeletion() || pVehicle->m_bWrecked ||
        (request.byD == 0 && !IsWithinReach(pPlayer, *pVehicle)))
        return ENTRY_NO_VEHICLE;
    SReservation reservation = {};
    const int nResult = CheckRequest(*pVehicle, request, reservation);
    if (nResult != ENTRY_ACCEPTED)
        return nResult;
    Reserve(pPlayer, pVehicle, reservation);

    CEntityLock lock(pVehicle);
    const int nSeatArgument = reservation.nSeat == SEAT_DRIVER ? 0 : reservation.nSeat + 1;
    const bool bAllowed =
        !g_pPluginManager || g_pPluginManager->OnPlayerRequestEnterVehicle(pPlayer, pVehicle, nSeatArgument);
    if (pPlayer->IsMarkedForDeletion())
        return ENTRY_PLAYER_GOING;
    // A plugin that moved the player elsewhere meanwhile has already ended the attempt.
    const bool bStillHeld =
        pPlayer->m_usEntryVehicle == nVehicleId && pPlayer->m_byEntryState == ENTRY_ENTERING;
    if (!bAllowed || pVehicle->IsMarkedForDeletion() || !bStillHeld)
    {
        if (bStillHeld)
            ProcessVehicleExit(pPlayer, false);
        return pVehicle->IsMarkedForDeletion() ? ENTRY_NO_VEHICLE : ENTRY_REFUSED_BY_PLUGIN;
    }
    return ENTRY_ACCEPTED;
}
} // namespace

int CVehicleEntry::RequestEnter(CPlayer* pPlayer, int nVehicleId, const SEntryRequest& request)
{
    if (!pPlayer || pPlayer->IsMarkedForDeletion())
        return ENTRY_PLAYER_GOING;
    const int nResult = TryReserve(pPlayer, nVehicleId, request);
    if (nResult == ENTRY_PLAYER_GOING)
        return nResult;
    if (nResult != ENTRY_ACCEPTED)
    {
        SendEntryRefused(pPlayer, nVehicleId, request, nResult);
        return nResult;
    }
    CVehicle* pVehicle = FindVehicle(nVehicleId);
    pPlayer->m_bEntryLock = true;
    const uint32_t uiExpiry = Now() + ENTRY_LOCK_TIME;
    pPlayer->m_uiEntryLockExpiry = uiExpiry;
    CStreamer* pStreamer = Streamer();
    if (pStreamer && !pStreamer->IsVehicleStreamed(pPlayer, nVehicleId))
        pStreamer->StreamVehicleIn(pPlayer, nVehicleId);
    SendEntryAccepted(pPlayer, pVehicle, request);
    return ENTRY_ACCEPTED;
}

// The seat is translated into the request the matching client would make.
int CVehicleEntry::PutInVehicle(CPlayer* pPlayer, int nVehicleId, int nSeat, bool bEjectDriver,
                                bool bImmediate)
{
    CVehicle* pVehicle = FindVehicle(nVehicleId);
    if (!pPlayer || pPlayer->IsMarkedForDeletion() || !pVehicle || nSeat < 0 || nSeat > 3)
        return 0;
    SEntryRequest request = {0, 0, 0, 1};
    const int nClass = pVehicle->m_nVehicleClass;
    if (nSeat == 0)
    {
        if (!pVehicle->IsSeatFree(SEAT_DRIVER))
        {
            if (!bEjectDriver)
                return 0;
            if (CPlayer* pDriver = CVehicle::PlayerAt(pVehicle->GetSeatHolder(SEAT_DRIVER)))
            {
                CEntityLock lock(pDriver);
                ProcessVehicleExit(pDriver, true);
            }
        }
        if (nClass == 0)
            request =
                bImmediate ? SEntryRequest{0, 255, KIND_DRIVER, 1} : SEntryRequest{15, 1, KIND_DRIVER, 1};
        else if (nClass == 1)
            request =
                bImmediate ? SEntryRequest{0, 255, KIND_DRIVER, 1} : SEntryRequest{11, 5, KIND_DRIVER, 1};
        else if (nClass != 2)
            return 1;
    }
    else if (nClass == 0)
    {
        static const SEntryRequest aWalks[] = {
            {11, 4, KIND_PASSENGER, 1}, {16, 2, KIND_PASSENGER, 1}, {12, 8, KIND_PASSENGER, 1}};
        request = bImmediate ? SEntryRequest{static_cast<uint8_t>(nSeat), 255, KIND_PASSENGER, 1}
                             : aWalks[nSeat - 1];
    }
    else if (nClass == 1 && nSeat == 1)
        request =
            bImmediate ? SEntryRequest{1, 255, KIND_PASSENGER, 1} : SEntryRequest{12, 10, KIND_PASSENGER, 1};
    else
        return 0;
    CEntityLock lock(pPlayer);
    return -RequestEnter(pPlayer, nVehicleId, request);
}

void CVehicleEntry::HandleRequestEnter(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_pPlayerPool)
        return;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    uint16_t usVehicleId = 0;
    SEntryRequest request = {0, 0, 0, 0};
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, usVehicleId, request.byA, request.byB, request.byC))
        return;
    CEntityLock lock(pPlayer);
    RequestEnter(pPlayer, usVehicleId, request);
}
