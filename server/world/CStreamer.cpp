#include "world/CStreamer.h"

#include <cmath>

#include "CServer.h"
#include "ITimeSource.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSync.h"
#include "players/PlayerStream.h"
#include "world/IStreamVehicleSource.h"

namespace
{
// Every grid covers the map with 50 x 50 cells of 80 x 80 units.
constexpr float GRID_MIN_X = -2400.0f;
constexpr float GRID_MIN_Y = -2000.0f;
constexpr float GRID_MAX_X = 1600.0f;
constexpr float GRID_MAX_Y = 2000.0f;
constexpr int GRID_CELLS = 50;

constexpr int VEHICLE_PASS_FIRST = 1;
constexpr int VEHICLE_PASS_LAST = 1000;

// A player pulled out of a vehicle by the streamer has really left it, so
// plugins hear of it as of any other exit.
constexpr bool STREAMER_EXIT_RAISES_EVENT = true;

enum EEntityKind
{
    KIND_VEHICLE,
    KIND_PICKUP,
    KIND_OBJECT,
};

// The ids of the entities in the grid cells around a point. Collected first
// and acted on afterwards, so that whatever a stream-in triggers cannot
// disturb the walk over the cells.
template <int N>
int CollectIds(const CStreamGrid& grid, const IStreamEntitySource& source, const Vector& vCentre,
               float fRadius, int (&anIds)[N])
{
    int nCount = 0;
    grid.QueryEach(vCentre.x, vCentre.y, fRadius,
                   [&](void* pEntity)
                   {
                       if (nCount < N)
                           anIds[nCount++] = source.GetStreamId(pEntity);
                   });
    return nCount;
}

bool InRadius(const Vector& vFrom, const Vector& vPoint, double dRadiusSquared)
{
    return static_cast<double>(Vector::DistanceSquared(vFrom, vPoint)) <= dRadiusSquared;
}
} // namespace

CStreamer::CStreamer(CPlayerPool* pPlayers, uint32_t uiPlayerPassInterval, uint32_t uiVehiclePassInterval)
    : m_pPlayerPool(pPlayers), m_uiPlayerPassInterval(uiPlayerPassInterval),
      m_uiVehiclePassInterval(uiVehiclePassInterval)
{
    m_PlayerGrid.Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
    m_VehicleGrid.Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
    m_PickupGrid.Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
    m_ObjectGrid.Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
}

CStreamer::~CStreamer() = default;

// ---------------------------------------------------------------------------
// Lookups

// A player in the middle of its destruction no longer counts as present.
CPlayer* CStreamer::GetPlayer(int nSlot) const
{
    if (!m_pPlayerPool || nSlot < 0 || nSlot >= MAX_PLAYERS)
        return nullptr;
    CPlayer* pPlayer = m_pPlayerPool->Get(nSlot);
    return (pPlayer && !pPlayer->IsDeleted()) ? pPlayer : nullptr;
}

bool CStreamer::GetVehicleState(int nId, Vector& vPosition, int& nWorld) const
{
    return m_pVehicles && m_Vehicles.IsValidId(nId) && m_pVehicles->GetStreamState(nId, vPosition, nWorld);
}

bool CStreamer::GetPickupState(int nId, Vector& vPosition, int& nWorld) const
{
    return m_pPickups && m_Pickups.IsValidId(nId) && m_pPickups->GetStreamState(nId, vPosition, nWorld);
}

bool CStreamer::GetObjectState(int nId, Vector& vPosition, int& nWorld) const
{
    return m_pObjects && m_Objects.IsValidId(nId) && m_pObjects->GetStreamState(nId, vPosition, nWorld);
}

bool CStreamer::IsPlayerStreamed(const CPlayer* pObserver, const CPlayer* pTarget) const
{
    return pObserver && pTarget && m_Players.IsStreamed(pObserver->GetSlot(), pTarget->GetSlot());
}

bool CStreamer::IsVehicleStreamed(const CPlayer* pObserver, int nVehicleId) const
{
    return pObserver && m_Vehicles.IsStreamed(pObserver->GetSlot(), nVehicleId);
}

bool CStreamer::IsPickupStreamed(const CPlayer* pObserver, int nPickupId) const
{
    return pObserver && m_Pickups.IsStreamed(pObserver->GetSlot(), nPickupId);
}

bool CStreamer::IsObjectStreamed(const CPlayer* pObserver, int nObjectId) const
{
    return pObserver && m_Objects.IsStreamed(pObserver->GetSlot(), nObjectId);
}

int CStreamer::GetPlayerListLength(int nTarget)
{
    return m_Players.IsValidObserver(nTarget) ? m_Players.List(nTarget).Count() : 0;
}

int CStreamer::GetVehicleListLength(int nObserver)
{
    return m_Vehicles.IsValidObserver(nObserver) ? m_Vehicles.List(nObserver).Count() : 0;
}

// ---------------------------------------------------------------------------
// Range tests

// The squared distance is taken in single precision and compared with the
// radius squared in double precision; a moving observer is also tested from
// 40 x its average speed ahead, so it sees what it is heading for in time.
bool CStreamer::IsInStreamRange(const CPlayer* pObserver, const Vector& vPoint, float fRadius) const
{
    if (!pObserver || !pObserver->m_bSpawned)
        return false;
    const double dRadiusSquared = static_cast<double>(fRadius) * static_cast<double>(fRadius);
    if (InRadius(pObserver->m_vPosition, vPoint, dRadiusSquared))
        return true;
    const Vector vAhead = pObserver->m_vPosition + pObserver->m_vAverageSpeed * SPEED_PROJECTION;
    return InRadius(vAhead, vPoint, dRadiusSquared);
}

bool CStreamer::IsInSpectatorRange(const CPlayer* pObserver, const Vector& vPoint, float fRadius) const
{
    if (!pObserver || pObserver->m_bySpectateTarget == NO_SPECTATE_TARGET)
        return false;
    const CPlayer* pTarget = GetPlayer(pObserver->m_bySpectateTarget);
    return pTarget && IsInStreamRange(pTarget, vPoint, fRadius);
}

bool CStreamer::InCombinedRange(const CPlayer* pObserver, const Vector& vPoint, float fRadius) const
{
    return IsInStreamRange(pObserver, vPoint, fRadius) || IsInSpectatorRange(pObserver, vPoint, fRadius);
}

// ---------------------------------------------------------------------------
// Stream in / out. The message goes first; the bits change after it returns.
// A node is reserved before the message so that listing cannot fail after it.

// A player in a vehicle the observer does not hold would appear seated in
// nothing, so it waits until the vehicle is streamed in.
void CStreamer::PlayerIn(CPlayer* pObserver, CPlayer* pTarget)
{
    const int nObserver = pObserver->GetSlot();
    const int nTarget = pTarget->GetSlot();
    if (nObserver == nTarget || !m_Players.IsValidPair(nObserver, nTarget))
        return;
    if (pTarget->m_usEntryVehicle != 0 && !m_Vehicles.IsStreamed(nObserver, pTarget->m_usEntryVehicle))
        return;
    if (!m_NodePool.Reserve())
        return;
    SendPlayerStreamIn(pTarget, pObserver);
    m_Players.SetStreamed(nObserver, nTarget);
    m_Players.Link(nObserver, nTarget, m_NodePool);
}

void CStreamer::PlayerOut(CPlayer* pObserver, CPlayer* pTarget)
{
    SendPlayerStreamOut(pTarget, pObserver);
    m_Players.ClearStreamed(pObserver->GetSlot(), pTarget->GetSlot());
}

void CStreamer::VehicleIn(CPlayer* pObserver, int nVehicleId)
{
    if (!m_pVehicles || !m_NodePool.Reserve())
        return;
    const int nObserver = pObserver->GetSlot();
    m_pVehicles->SendStreamIn(nVehicleId, pObserver);
    m_Vehicles.SetStreamed(nObserver, nVehicleId);
    m_Vehicles.Link(nObserver, nVehicleId, m_NodePool);
}

// A vehicle never vanishes from under an occupant the observer can see,
// unless it is forced out because it is going away.
bool CStreamer::VehicleOut(CPlayer* pObserver, int nVehicleId, bool bForce)
{
    if (!m_pVehicles)
        return false;
    const int nObserver = pObserver->GetSlot();
    uint8_t abySeats[IStreamVehicleSource::SEAT_COUNT];
    if (!bForce && m_pVehicles->GetSeats(nVehicleId, abySeats))
    {
        for (uint8_t bySeat : abySeats)
        {
            if (bySeat != NO_PLAYER && m_Players.IsStreamed(nObserver, bySeat))
                return false;
        }
    }
    m_pVehicles->SendStreamOut(nVehicleId, pObserver);
    m_Vehicles.ClearStreamed(nObserver, nVehicleId);
    return true;
}

void CStreamer::PickupIn(CPlayer* pObserver, int nPickupId)
{
    if (!m_pPickups || !m_NodePool.Reserve())
        return;
    m_pPickups->SendStreamIn(nPickupId, pObserver);
    m_Pickups.SetStreamed(pObserver->GetSlot(), nPickupId);
    m_Pickups.Link(pObserver->GetSlot(), nPickupId, m_NodePool);
}

void CStreamer::PickupOut(CPlayer* pObserver, int nPickupId)
{
    if (m_pPickups)
        m_pPickups->SendStreamOut(nPickupId, pObserver);
    m_Pickups.ClearStreamed(pObserver->GetSlot(), nPickupId);
}

void CStreamer::ObjectIn(CPlayer* pObserver, int nObjectId)
{
    if (!m_pObjects || !m_NodePool.Reserve())
        return;
    m_pObjects->SendStreamIn(nObjectId, pObserver);
    m_Objects.SetStreamed(pObserver->GetSlot(), nObjectId);
    m_Objects.Link(pObserver->GetSlot(), nObjectId, m_NodePool);
}

void CStreamer::ObjectOut(CPlayer* pObserver, int nObjectId)
{
    if (m_pObjects)
        m_pObjects->SendStreamOut(nObjectId, pObserver);
    m_Objects.ClearStreamed(pObserver->GetSlot(), nObjectId);
}

// ---------------------------------------------------------------------------
// Pruning: stale nodes (streamed out, or entity gone) leave their lists here.

void CStreamer::PrunePlayerList(int nTarget)
{
    m_Players.Prune(nTarget, m_NodePool, [this](int nObserver) { return GetPlayer(nObserver) != nullptr; });
}

void CStreamer::PruneVehicleList(int nObserver)
{
    Vector vPosition;
    int nWorld;
    m_Vehicles.Prune(nObserver, m_NodePool, [&](int nId) { return GetVehicleState(nId, vPosition, nWorld); });
}

void CStreamer::PrunePickupList(int nObserver)
{
    Vector vPosition;
    int nWorld;
    m_Pickups.Prune(nObserver, m_NodePool, [&](int nId) { return GetPickupState(nId, vPosition, nWorld); });
}

void CStreamer::PruneObjectList(int nObserver)
{
    Vector vPosition;
    int nWorld;
    m_Objects.Prune(nObserver, m_NodePool, [&](int nId) { return GetObjectState(nId, vPosition, nWorld); });
}

// ---------------------------------------------------------------------------
// Hooks into the player and vehicle modules

// The exit may raise a plugin event, which may remove the player; the lock
// keeps the record valid until the exit has finished.
void CStreamer::RunVehicleExit(CPlayer* pPlayer)
{
    CEntityLock lock(pPlayer);
    ProcessVehicleExit(pPlayer, STREAMER_EXIT_RAISES_EVENT);
}

void CStreamer::ReassignVehicle(int nVehicleId)
{
    if (m_pVehicles)
        m_pVehicles->Reassign(nVehicleId);
}

void CStreamer::ReassignVehiclesOf(const CPlayer* pPlayer)
{
    if (!m_pVehicles)
        return;
    int anIds[VEHICLE_ID_LIMIT];
    int nCount = m_pVehicles->GetActiveVehicles(anIds, VEHICLE_ID_LIMIT);
    nCount = nCount > VEHICLE_ID_LIMIT ? VEHICLE_ID_LIMIT : nCount;
    for (int i = 0; i < nCount; ++i)
    {
        if (m_pVehicles->GetAssignedPlayer(anIds[i]) == pPlayer->GetSlot())
            ReassignVehicle(anIds[i]);
    }
}

// ---------------------------------------------------------------------------
// StreamPlayer. Lists are walked through a copy of their ids, and every pair
// is checked again before it is acted on: an exit event may let a plugin
// change anything, this player's lists included, while the walk goes on.

void CStreamer::StreamPlayer(CPlayer* pPlayer)
{
    if (!pPlayer || pPlayer->GetSlot() >= MAX_PLAYERS || pPlayer->IsDeleted())
        return;
    CEntityLock lock(pPlayer);
    StreamOutObjects(pPlayer);
    StreamOutPickups(pPlayer);
    StreamOutObservers(pPlayer);
    StreamOutVehicles(pPlayer);
    if (pPlayer->m_bSpawned)
        StreamInAround(pPlayer, pPlayer, false);
    if (pPlayer->m_bySpectateTarget != NO_SPECTATE_TARGET)
    {
        CPlayer* pTarget = GetPlayer(pPlayer->m_bySpectateTarget);
        if (pTarget)
            StreamInAround(pPlayer, pTarget, true);
    }
}

void CStreamer::StreamOutObjects(CPlayer* pPlayer)
{
    const int nSlot = pPlayer->GetSlot();
    PruneObjectList(nSlot);
    int anIds[OBJECT_ID_LIMIT];
    const int nCount = m_Objects.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        Vector vPosition;
        int nWorld;
        if (!m_Objects.IsStreamed(nSlot, anIds[i]) || !GetObjectState(anIds[i], vPosition, nWorld))
            continue;
        if (!InCombinedRange(pPlayer, vPosition, OBJECT_OUT) || !pPlayer->IsWorldVisible(nWorld))
            ObjectOut(pPlayer, anIds[i]);
    }
}

void CStreamer::StreamOutPickups(CPlayer* pPlayer)
{
    const int nSlot = pPlayer->GetSlot();
    PrunePickupList(nSlot);
    int anIds[PICKUP_ID_LIMIT];
    const int nCount = m_Pickups.Snapshot(nSlot, anIds, PICKUP_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        Vector vPosition;
        int nWorld;
        if (!m_Pickups.IsStreamed(nSlot, anIds[i]) || !GetPickupState(anIds[i], vPosition, nWorld))
            continue;
        if (!InCombinedRange(pPlayer, vPosition, PICKUP_OUT) || !pPlayer->IsWorldVisible(nWorld))
            PickupOut(pPlayer, anIds[i]);
    }
}

// The outer test is made from each observer's side: it is the observer whose
// client would drop this player.
void CStreamer::StreamOutObservers(CPlayer* pPlayer)
{
    const int nSlot = pPlayer->GetSlot();
    PrunePlayerList(nSlot);
    int anIds[MAX_PLAYERS];
    const int nCount = m_Players.Snapshot(nSlot, anIds, MAX_PLAYERS);
    for (int i = 0; i < nCount; ++i)
    {
        CPlayer* pObserver = GetPlayer(anIds[i]);
        if (!pObserver || !m_Players.IsStreamed(anIds[i], nSlot))
            continue;
        if (!InCombinedRange(pObserver, pPlayer->m_vPosition, PLAYER_OUT) ||
            pObserver->m_usWorld != pPlayer->m_usWorld)
            PlayerOut(pObserver, pPlayer);
    }
}

// The vehicle a player sits in or is entering stays with it whatever the
// distance; moved to another world it takes the player out of the seat first.
void CStreamer::StreamOutVehicles(CPlayer* pPlayer)
{
    const int nSlot = pPlayer->GetSlot();
    PruneVehicleList(nSlot);
    int anIds[VEHICLE_ID_LIMIT];
    const int nCount = m_Vehicles.Snapshot(nSlot, anIds, VEHICLE_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        const int nId = anIds[i];
        Vector vPosition;
        int nWorld;
        if (!m_Vehicles.IsStreamed(nSlot, nId) || !GetVehicleState(nId, vPosition, nWorld))
            continue;
        if (nWorld != pPlayer->m_usWorld && pPlayer->m_usEntryVehicle == nId)
        {
            RunVehicleExit(pPlayer);
            // The exit event may have moved the player (a nested pass streamed
            // the vehicle out already) or replaced the vehicle in its slot.
            if (pPlayer->IsMarkedForDeletion() || !m_Vehicles.IsStreamed(nSlot, nId) ||
                !GetVehicleState(nId, vPosition, nWorld))
                continue;
        }
        if (pPlayer->m_usEntryVehicle != nId &&
            (!InCombinedRange(pPlayer, vPosition, VEHICLE_OUT) || nWorld != pPlayer->m_usWorld))
            VehicleOut(pPlayer, nId, false);
        if (!m_Vehicles.IsStreamed(nSlot, nId) && m_pVehicles && m_pVehicles->GetAssignedPlayer(nId) == nSlot)
            ReassignVehicle(nId);
    }
}

// Candidates come from the grid cells around the centre (the player itself,
// or the player it spectates); each passes the exact test of its kind.
void CStreamer::StreamInAround(CPlayer* pPlayer, CPlayer* pCentre, bool bSpectating)
{
    const Vector vCentre = pCentre->m_vPosition;
    StreamInVehiclesAround(pPlayer, vCentre, bSpectating);
    StreamInPlayersAround(pPlayer, vCentre, bSpectating);
    StreamInPickupsAround(pPlayer, vCentre, bSpectating);
    StreamInObjectsAround(pPlayer, vCentre, bSpectating);
}

void CStreamer::StreamInVehiclesAround(CPlayer* pPlayer, const Vector& vCentre, bool bSpectating)
{
    if (!m_pVehicles)
        return;
    const int nSlot = pPlayer->GetSlot();
    int anIds[VEHICLE_ID_LIMIT];
    const int nCount = CollectIds(m_VehicleGrid, *m_pVehicles, vCentre, VEHICLE_IN, anIds);
    for (int i = 0; i < nCount; ++i)
    {
        const int nId = anIds[i];
        Vector vPosition;
        int nWorld;
        if (m_Vehicles.IsStreamed(nSlot, nId) || !GetVehicleState(nId, vPosition, nWorld) ||
            nWorld != pPlayer->m_usWorld)
            continue;
        const bool bInRange = bSpectating ? IsInSpectatorRange(pPlayer, vPosition, VEHICLE_IN)
                                          : IsInStreamRange(pPlayer, vPosition, VEHICLE_IN);
        if (bInRange)
            VehicleIn(pPlayer, nId);
    }
}

// The first of two players to come in range opens both directions at once,
// so neither waits a whole pass to see the other.
void CStreamer::StreamInPlayersAround(CPlayer* pPlayer, const Vector& vCentre, bool bSpectating)
{
    const int nSlot = pPlayer->GetSlot();
    int anSlots[MAX_PLAYERS];
    int nCount = 0;
    m_PlayerGrid.QueryEach(vCentre.x, vCentre.y, PLAYER_IN,
                           [&](void* pEntity)
                           {
                               if (nCount < MAX_PLAYERS)
                                   anSlots[nCount++] = static_cast<CPlayer*>(pEntity)->GetSlot();
                           });
    for (int i = 0; i < nCount; ++i)
    {
        const int nCandidate = anSlots[i];
        CPlayer* pCandidate = GetPlayer(nCandidate);
        if (!pCandidate || pCandidate == pPlayer)
            continue;
        if ((!bSpectating && !pCandidate->m_bSpawned) || pCandidate->m_usWorld != pPlayer->m_usWorld ||
            m_Players.IsStreamed(nSlot, nCandidate))
            continue;
        const bool bInRange = bSpectating ? IsInSpectatorRange(pPlayer, pCandidate->m_vPosition, PLAYER_IN)
                                          : IsInStreamRange(pPlayer, pCandidate->m_vPosition, PLAYER_IN);
        if (!bInRange)
            continue;
        PlayerIn(pPlayer, pCandidate);
        if (!bSpectating && !m_Players.IsStreamed(nCandidate, nSlot))
            PlayerIn(pCandidate, pPlayer);
    }
}

void CStreamer::StreamInPickupsAround(CPlayer* pPlayer, const Vector& vCentre, bool bSpectating)
{
    if (!m_pPickups)
        return;
    const int nSlot = pPlayer->GetSlot();
    int anIds[PICKUP_ID_LIMIT];
    const int nCount = CollectIds(m_PickupGrid, *m_pPickups, vCentre, PICKUP_IN, anIds);
    for (int i = 0; i < nCount; ++i)
    {
        const int nId = anIds[i];
        Vector vPosition;
        int nWorld;
        if (m_Pickups.IsStreamed(nSlot, nId) || !GetPickupState(nId, vPosition, nWorld) ||
            !pPlayer->IsWorldVisible(nWorld))
            continue;
        const bool bInRange = bSpectating ? IsInSpectatorRange(pPlayer, vPosition, PICKUP_IN)
                                          : IsInStreamRange(pPlayer, vPosition, PICKUP_IN);
        if (bInRange)
            PickupIn(pPlayer, nId);
    }
}

void CStreamer::StreamInObjectsAround(CPlayer* pPlayer, const Vector& vCentre, bool bSpectating)
{
    if (!m_pObjects)
        return;
    const int nSlot = pPlayer->GetSlot();
    int anIds[OBJECT_ID_LIMIT];
    const int nCount = CollectIds(m_ObjectGrid, *m_pObjects, vCentre, OBJECT_IN, anIds);
    for (int i = 0; i < nCount; ++i)
    {
        const int nId = anIds[i];
        Vector vPosition;
        int nWorld;
        if (m_Objects.IsStreamed(nSlot, nId) || !GetObjectState(nId, vPosition, nWorld) ||
            !pPlayer->IsWorldVisible(nWorld))
            continue;
        const bool bInRange = bSpectating ? IsInSpectatorRange(pPlayer, vPosition, OBJECT_IN)
                                          : IsInStreamRange(pPlayer, vPosition, OBJECT_IN);
        if (bInRange)
            ObjectIn(pPlayer, nId);
    }
}

// ---------------------------------------------------------------------------
// Process: one player and one vehicle per tick; a pass over all of them
// starts at most once per interval. Intervals are measured as differences so
// that the wrap of the millisecond clock does not stall the passes.

void CStreamer::Process(uint32_t uiNow)
{
    ITimeSource* pTime = GetTimeSource();
    const uint64_t ullStart = pTime->GetMicroseconds();
    RunPlayerPass(uiNow);
    const uint64_t ullPlayersDone = pTime->GetMicroseconds();
    RunVehiclePass(uiNow);
    const uint64_t ullVehiclesDone = pTime->GetMicroseconds();
    if (g_pServer)
    {
        g_pServer->AddPerfTime(PERF_STREAMING, ullPlayersDone - ullStart);
        g_pServer->AddPerfTime(PERF_VEHICLE_PROXIMITY, ullVehiclesDone - ullPlayersDone);
    }
}

void CStreamer::RunPlayerPass(uint32_t uiNow)
{
    if (m_nNextPlayer == 0)
    {
        if (uiNow - m_uiPlayerPassStarted < m_uiPlayerPassInterval)
            return;
        m_uiPlayerPassStarted = uiNow;
    }
    for (int nSlot = m_nNextPlayer; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (!pPlayer)
            continue;
        m_nNextPlayer = nSlot + 1 < MAX_PLAYERS ? nSlot + 1 : 0;
        StreamPlayer(pPlayer);
        return;
    }
    m_nNextPlayer = 0;
}

void CStreamer::RunVehiclePass(uint32_t uiNow)
{
    if (m_nNextVehicle == VEHICLE_PASS_FIRST)
    {
        if (uiNow - m_uiVehiclePassStarted < m_uiVehiclePassInterval)
            return;
        m_uiVehiclePassStarted = uiNow;
    }
    Vector vPosition;
    int nWorld;
    for (int nId = m_nNextVehicle; nId <= VEHICLE_PASS_LAST; ++nId)
    {
        if (!GetVehicleState(nId, vPosition, nWorld))
            continue;
        m_nNextVehicle = nId + 1 <= VEHICLE_PASS_LAST ? nId + 1 : VEHICLE_PASS_FIRST;
        CheckVehicleProximity(nId);
        return;
    }
    m_nNextVehicle = VEHICLE_PASS_FIRST;
}

void CStreamer::StreamVehicleIn(CPlayer* pPlayer, int nVehicleId)
{
    Vector vPosition;
    int nWorld;
    if (pPlayer && m_Vehicles.IsValidPair(pPlayer->GetSlot(), nVehicleId) &&
        !m_Vehicles.IsStreamed(pPlayer->GetSlot(), nVehicleId) && GetVehicleState(nVehicleId, vPosition, nWorld))
        VehicleIn(pPlayer, nVehicleId);
}

// Only a vehicle nobody sits in (or one already given to its nearest player)
// looks for the nearest player; strictly nearer wins, a tie keeps the first.
void CStreamer::CheckVehicleProximity(int nVehicleId)
{
    Vector vPosition;
    int nWorld;
    if (!GetVehicleState(nVehicleId, vPosition, nWorld))
        return;
    const int nState = m_pVehicles->GetOccupancyState(nVehicleId);
    if (nState != 0 && nState != 4)
        return;
    float fBest = PROXIMITY_RADIUS * PROXIMITY_RADIUS;
    int nChosen = -1;
    m_PlayerGrid.QueryEach(vPosition.x, vPosition.y, PROXIMITY_RADIUS,
                           [&](void* pEntity)
                           {
                               const CPlayer* pCandidate = static_cast<const CPlayer*>(pEntity);
                               if (!m_Vehicles.IsStreamed(pCandidate->GetSlot(), nVehicleId))
                                   return;
                               const float fDistance =
                                   Vector::DistanceSquared(vPosition, pCandidate->m_vPosition);
                               if (fBest > fDistance)
                               {
                                   fBest = fDistance;
                                   nChosen = pCandidate->GetSlot();
                               }
                           });
    if (nChosen < 0)
        m_pVehicles->OfferNearestPlayer(nVehicleId, NO_PLAYER, PROXIMITY_RADIUS);
    else
        m_pVehicles->OfferNearestPlayer(nVehicleId, nChosen, std::sqrt(fBest));
}

// ---------------------------------------------------------------------------
// Observer iterations

void CStreamer::ForEachObserverOfPlayer(CPlayer* pTarget, PlayerObserverCallback pfnCallback, void* pUser)
{
    if (!pTarget || !pfnCallback || !m_Players.IsValidObserver(pTarget->GetSlot()))
        return;
    const int nTarget = pTarget->GetSlot();
    PrunePlayerList(nTarget);
    int anIds[MAX_PLAYERS];
    const int nCount = m_Players.Snapshot(nTarget, anIds, MAX_PLAYERS);
    for (int i = 0; i < nCount; ++i)
    {
        CPlayer* pObserver = GetPlayer(anIds[i]);
        if (pObserver && m_Players.IsStreamed(anIds[i], nTarget))
            pfnCallback(pObserver, pTarget, pUser);
    }
}

void CStreamer::ForEachEntityObserver(int nKind, int nId, EntityObserverCallback pfnCallback, void* pUser)
{
    if (!pfnCallback)
        return;
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        const bool bStreamed = nKind == KIND_VEHICLE  ? m_Vehicles.IsStreamed(nSlot, nId)
                               : nKind == KIND_PICKUP ? m_Pickups.IsStreamed(nSlot, nId)
                                                      : m_Objects.IsStreamed(nSlot, nId);
        CPlayer* pObserver = bStreamed ? GetPlayer(nSlot) : nullptr;
        if (pObserver)
            pfnCallback(pObserver, nId, pUser);
    }
}

void CStreamer::ForEachObserverOfVehicle(int nVehicleId, EntityObserverCallback pfnCallback, void* pUser)
{
    ForEachEntityObserver(KIND_VEHICLE, nVehicleId, pfnCallback, pUser);
}

void CStreamer::ForEachObserverOfPickup(int nPickupId, EntityObserverCallback pfnCallback, void* pUser)
{
    ForEachEntityObserver(KIND_PICKUP, nPickupId, pfnCallback, pUser);
}

void CStreamer::ForEachObserverOfObject(int nObjectId, EntityObserverCallback pfnCallback, void* pUser)
{
    ForEachEntityObserver(KIND_OBJECT, nObjectId, pfnCallback, pUser);
}

// Candidates are collected before any callback runs, so a callback may do
// anything to the grid.
void CStreamer::ForEachPlayerInArea(float fX, float fY, float fRadius, PlayerAreaCallback pfnCallback,
                                    void* pUser)
{
    if (!pfnCallback || !(fRadius >= 0.0f))
        return;
    const double dRadiusSquared = static_cast<double>(fRadius) * static_cast<double>(fRadius);
    CPlayer* apFound[MAX_PLAYERS];
    int anSlots[MAX_PLAYERS];
    int nCount = 0;
    m_PlayerGrid.QueryEach(fX, fY, fRadius,
                           [&](void* pEntity)
                           {
                               CPlayer* pPlayer = static_cast<CPlayer*>(pEntity);
                               const double dX = static_cast<double>(pPlayer->m_vPosition.x) - fX;
                               const double dY = static_cast<double>(pPlayer->m_vPosition.y) - fY;
                               if (nCount < MAX_PLAYERS && dX * dX + dY * dY <= dRadiusSquared)
                               {
                                   apFound[nCount] = pPlayer;
                                   anSlots[nCount++] = pPlayer->GetSlot();
                               }
                           });
    // A player removed by an earlier callback is no longer in its slot.
    for (int i = 0; i < nCount; ++i)
    {
        if (GetPlayer(anSlots[i]) == apFound[i])
            pfnCallback(apFound[i], pUser);
    }
}

// ---------------------------------------------------------------------------
// Entity changes

void CStreamer::UpdateVehicle(int nVehicleId)
{
    Vector vPosition;
    int nWorld;
    if (!GetVehicleState(nVehicleId, vPosition, nWorld))
        return;
    // Occupants do not follow their vehicle into another world.
    uint8_t abySeats[IStreamVehicleSource::SEAT_COUNT];
    if (m_pVehicles->GetSeats(nVehicleId, abySeats))
    {
        for (uint8_t bySeat : abySeats)
        {
            CPlayer* pOccupant = GetPlayer(bySeat);
            if (pOccupant && pOccupant->m_usWorld != nWorld)
                RunVehicleExit(pOccupant);
        }
    }
    // An exit event may have changed or removed the vehicle.
    if (!GetVehicleState(nVehicleId, vPosition, nWorld))
        return;
    const int nAssigned = m_pVehicles->GetAssignedPlayer(nVehicleId);
    if (GetPlayer(nAssigned) && !m_Vehicles.IsStreamed(nAssigned, nVehicleId))
        ReassignVehicle(nVehicleId);
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (!pPlayer)
            continue;
        if (!m_Vehicles.IsStreamed(nSlot, nVehicleId))
        {
            if (nWorld == pPlayer->m_usWorld && InCombinedRange(pPlayer, vPosition, VEHICLE_IN))
                VehicleIn(pPlayer, nVehicleId);
        }
        else if (pPlayer->m_usEntryVehicle != nVehicleId &&
                 (nWorld != pPlayer->m_usWorld || !InCombinedRange(pPlayer, vPosition, VEHICLE_OUT)))
            VehicleOut(pPlayer, nVehicleId, false);
    }
}

void CStreamer::UpdatePickup(int nPickupId)
{
    Vector vPosition;
    int nWorld;
    if (!GetPickupState(nPickupId, vPosition, nWorld))
        return;
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (!pPlayer)
            continue;
        const bool bVisible = pPlayer->IsWorldVisible(nWorld);
        if (m_Pickups.IsStreamed(nSlot, nPickupId))
        {
            if (!bVisible || !InCombinedRange(pPlayer, vPosition, PICKUP_OUT))
                PickupOut(pPlayer, nPickupId);
        }
        else if (bVisible && InCombinedRange(pPlayer, vPosition, PICKUP_IN))
            PickupIn(pPlayer, nPickupId);
    }
}

void CStreamer::UpdateObject(int nObjectId)
{
    Vector vPosition;
    int nWorld;
    if (!GetObjectState(nObjectId, vPosition, nWorld))
        return;
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (!pPlayer)
            continue;
        const bool bVisible = pPlayer->IsWorldVisible(nWorld);
        if (m_Objects.IsStreamed(nSlot, nObjectId))
        {
            if (!bVisible || !InCombinedRange(pPlayer, vPosition, OBJECT_OUT))
                ObjectOut(pPlayer, nObjectId);
        }
        else if (bVisible && InCombinedRange(pPlayer, vPosition, OBJECT_IN))
            ObjectIn(pPlayer, nObjectId);
    }
}

// ---------------------------------------------------------------------------
// Removals

// A vehicle that is going away is destroyed on every client even under a
// visible occupant: nothing would ever stream it out later.
void CStreamer::RemoveVehicle(int nVehicleId)
{
    if (!m_pVehicles || !m_Vehicles.IsValidId(nVehicleId))
        return;
    m_pVehicles->ReleaseAssignment(nVehicleId);
    uint8_t abySeats[IStreamVehicleSource::SEAT_COUNT];
    if (m_pVehicles->GetSeats(nVehicleId, abySeats))
    {
        for (uint8_t bySeat : abySeats)
        {
            CPlayer* pOccupant = GetPlayer(bySeat);
            if (pOccupant)
                RunVehicleExit(pOccupant);
        }
    }
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        if (!m_Vehicles.IsStreamed(nSlot, nVehicleId))
            continue;
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (pPlayer)
            VehicleOut(pPlayer, nVehicleId, true);
        else
            m_Vehicles.ClearStreamed(nSlot, nVehicleId);
    }
}

void CStreamer::RemovePickup(int nPickupId)
{
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        if (!m_Pickups.IsStreamed(nSlot, nPickupId))
            continue;
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (pPlayer)
            PickupOut(pPlayer, nPickupId);
        else
            m_Pickups.ClearStreamed(nSlot, nPickupId);
    }
}

void CStreamer::RemoveObject(int nObjectId)
{
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        if (!m_Objects.IsStreamed(nSlot, nObjectId))
            continue;
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (pPlayer)
            ObjectOut(pPlayer, nObjectId);
        else
            m_Objects.ClearStreamed(nSlot, nObjectId);
    }
}

// Empties everything the player sees and everything that sees it, and
// leaves no node of its pairs on any list: a node left behind with its
// listed bit cleared would let the next occupant of the slot be listed twice
// and be sent every relay twice.
void CStreamer::RemovePlayer(CPlayer* pPlayer)
{
    if (!pPlayer || !m_Players.IsValidObserver(pPlayer->GetSlot()))
        return;
    const int nSlot = pPlayer->GetSlot();
    for (int nOther = 0; nOther < MAX_PLAYERS; ++nOther)
    {
        if (!m_Players.IsStreamed(nSlot, nOther))
            continue;
        CPlayer* pOther = GetPlayer(nOther);
        if (pOther && pOther != pPlayer)
            PlayerOut(pPlayer, pOther);
        else
            m_Players.ClearStreamed(nSlot, nOther);
    }
    for (int nOther = 0; nOther < MAX_PLAYERS; ++nOther)
    {
        if (m_Players.IsListed(nSlot, nOther))
            PrunePlayerList(nOther);
    }
    int anIds[MAX_PLAYERS];
    const int nCount = m_Players.Snapshot(nSlot, anIds, MAX_PLAYERS);
    for (int i = 0; i < nCount; ++i)
    {
        CPlayer* pObserver = GetPlayer(anIds[i]);
        if (pObserver && pObserver != pPlayer && m_Players.IsStreamed(anIds[i], nSlot))
            PlayerOut(pObserver, pPlayer);
    }
    m_Players.ReleaseList(nSlot, m_NodePool);
    m_Players.ClearObserver(nSlot);
    StreamOutAllEntities(pPlayer);
    ReassignVehiclesOf(pPlayer);
}

// Every vehicle, pickup and object the player holds is destroyed on its
// client and its lists are handed back.
void CStreamer::StreamOutAllEntities(CPlayer* pPlayer)
{
    const int nSlot = pPlayer->GetSlot();
    int anIds[OBJECT_ID_LIMIT];
    int nCount = m_Vehicles.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        if (m_Vehicles.IsStreamed(nSlot, anIds[i]))
            VehicleOut(pPlayer, anIds[i], true);
    }
    nCount = m_Pickups.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        if (m_Pickups.IsStreamed(nSlot, anIds[i]))
            PickupOut(pPlayer, anIds[i]);
    }
    nCount = m_Objects.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        if (m_Objects.IsStreamed(nSlot, anIds[i]))
            ObjectOut(pPlayer, anIds[i]);
    }
    m_Vehicles.ReleaseList(nSlot, m_NodePool);
    m_Pickups.ReleaseList(nSlot, m_NodePool);
    m_Objects.ReleaseList(nSlot, m_NodePool);
    m_Vehicles.ClearObserver(nSlot);
    m_Pickups.ClearObserver(nSlot);
    m_Objects.ClearObserver(nSlot);
}

// A dead spectator keeps what it sees through its target; everything else
// it holds goes, and nobody sees it any more.
void CStreamer::OnPlayerLeftWorld(CPlayer* pPlayer)
{
    if (!pPlayer || !m_Players.IsValidObserver(pPlayer->GetSlot()))
        return;
    if (pPlayer->m_bySpectateTarget == NO_SPECTATE_TARGET)
    {
        RemovePlayer(pPlayer);
        return;
    }
    const int nSlot = pPlayer->GetSlot();
    for (int nOther = 0; nOther < MAX_PLAYERS; ++nOther)
    {
        CPlayer* pOther = m_Players.IsStreamed(nSlot, nOther) ? GetPlayer(nOther) : nullptr;
        if (pOther && !IsInSpectatorRange(pPlayer, pOther->m_vPosition, PLAYER_OUT))
            PlayerOut(pPlayer, pOther);
    }
    int anIds[OBJECT_ID_LIMIT];
    int nCount = m_Players.Snapshot(nSlot, anIds, MAX_PLAYERS);
    for (int i = 0; i < nCount; ++i)
    {
        CPlayer* pObserver = GetPlayer(anIds[i]);
        if (pObserver && m_Players.IsStreamed(anIds[i], nSlot))
            PlayerOut(pObserver, pPlayer);
    }
    Vector vPosition;
    int nWorld;
    nCount = m_Vehicles.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        if (m_Vehicles.IsStreamed(nSlot, anIds[i]) && GetVehicleState(anIds[i], vPosition, nWorld) &&
            !IsInSpectatorRange(pPlayer, vPosition, VEHICLE_OUT))
            VehicleOut(pPlayer, anIds[i], false);
    }
    nCount = m_Objects.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        if (m_Objects.IsStreamed(nSlot, anIds[i]) && GetObjectState(anIds[i], vPosition, nWorld) &&
            !IsInSpectatorRange(pPlayer, vPosition, OBJECT_OUT))
            ObjectOut(pPlayer, anIds[i]);
    }
    nCount = m_Pickups.Snapshot(nSlot, anIds, OBJECT_ID_LIMIT);
    for (int i = 0; i < nCount; ++i)
    {
        if (m_Pickups.IsStreamed(nSlot, anIds[i]) && GetPickupState(anIds[i], vPosition, nWorld) &&
            !IsInSpectatorRange(pPlayer, vPosition, PICKUP_OUT))
            PickupOut(pPlayer, anIds[i]);
    }
    ReassignVehiclesOf(pPlayer);
}
