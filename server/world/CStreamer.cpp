#include "world/CStreamer.h"

#include <type_traits>

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSync.h"
#include "players/PlayerStream.h"

namespace
{
// Every grid covers the map with 50 x 50 cells of 80 x 80 units.
constexpr float GRID_MIN_X = -2400.0f;
constexpr float GRID_MIN_Y = -2000.0f;
constexpr float GRID_MAX_X = 1600.0f;
constexpr float GRID_MAX_Y = 2000.0f;
constexpr int GRID_CELLS = 50;

// A player pulled out of a vehicle by the streamer has really left it, so
// plugins hear of it as of any other exit.
constexpr bool STREAMER_EXIT_RAISES_EVENT = true;

// Vehicles add their seats to the rules every held kind shares.
template <typename TKind>
constexpr bool IS_VEHICLE_KIND = std::is_same_v<typename TKind::TSourceType, IStreamVehicleSource>;

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

// Vehicles are seen only in the observer's own world; pickups and objects
// in every world the observer can see into.
template <typename TKind> bool SeesWorld(const TKind& kind, const CPlayer* pObserver, int nWorld)
{
    return kind.IsSameWorldOnly() ? nWorld == pObserver->m_usWorld : pObserver->IsWorldVisible(nWorld);
}

// The vehicle a player sits in or is entering stays with it whatever the
// distance.
template <typename TKind> bool StaysWithThePlayer(const CPlayer* pPlayer, int nId)
{
    if constexpr (IS_VEHICLE_KIND<TKind>)
        return pPlayer->m_usEntryVehicle == nId;
    else
        return false;
}
} // namespace

CStreamer::CStreamer(CPlayerPool* pPlayers, uint32_t uiPlayerPassInterval, uint32_t uiVehiclePassInterval)
    : m_pPlayerPool(pPlayers), m_Vehicles(VEHICLE_IN, VEHICLE_OUT, true),
      m_Pickups(PICKUP_IN, PICKUP_OUT, false), m_Objects(OBJECT_IN, OBJECT_OUT, false),
      m_uiPlayerPassInterval(uiPlayerPassInterval), m_uiVehiclePassInterval(uiVehiclePassInterval)
{
    m_PlayerGrid.Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
    m_Vehicles.Grid().Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
    m_Pickups.Grid().Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
    m_Objects.Grid().Build(GRID_MIN_X, GRID_MIN_Y, GRID_MAX_X, GRID_MAX_Y, GRID_CELLS, GRID_CELLS);
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

// A vehicle never vanishes from under an occupant the observer can see,
// unless it is forced out because it is going away. False when it stays.
template <typename TKind> bool CStreamer::EntityOut(TKind& kind, CPlayer* pObserver, int nId, bool bForce)
{
    const int nObserver = pObserver->GetSlot();
    if constexpr (IS_VEHICLE_KIND<TKind>)
    {
        if (!kind.Source())
            return false;
        uint8_t abySeats[IStreamVehicleSource::SEAT_COUNT];
        if (!bForce && kind.Source()->GetSeats(nId, abySeats))
        {
            for (uint8_t bySeat : abySeats)
            {
                if (bySeat != NO_PLAYER && m_Players.IsStreamed(nObserver, bySeat))
                    return false;
            }
        }
    }
    kind.StreamOut(pObserver, nObserver, nId);
    return true;
}

// ---------------------------------------------------------------------------
// Lists. Pruning drops stale nodes (streamed out, or entity gone); walks go
// through a copy of a list's ids, and every pair is checked again before it
// is acted on: an exit event may let a plugin change anything, the walked
// list included, while the walk goes on.

void CStreamer::PrunePlayerList(int nTarget)
{
    m_Players.Prune(nTarget, m_NodePool, [this](int nObserver) { return GetPlayer(nObserver) != nullptr; });
}

// The existing players on the target's observer list that still see it.
template <typename TAct> void CStreamer::ForEachObserver(int nTarget, TAct&& act)
{
    int anIds[MAX_PLAYERS];
    const int nCount = m_Players.Snapshot(nTarget, anIds, MAX_PLAYERS);
    for (int i = 0; i < nCount; ++i)
    {
        CPlayer* pObserver = GetPlayer(anIds[i]);
        if (pObserver && m_Players.IsStreamed(anIds[i], nTarget))
            act(pObserver);
    }
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

// The occupants the filter names leave their seats, driver first.
template <typename TFilter> void CStreamer::ExitOccupants(int nVehicleId, TFilter&& bLeaves)
{
    uint8_t abySeats[IStreamVehicleSource::SEAT_COUNT];
    if (!m_Vehicles.Source() || !m_Vehicles.Source()->GetSeats(nVehicleId, abySeats))
        return;
    for (uint8_t bySeat : abySeats)
    {
        CPlayer* pOccupant = GetPlayer(bySeat);
        if (pOccupant && bLeaves(pOccupant))
            RunVehicleExit(pOccupant);
    }
}

void CStreamer::ReassignVehicle(int nVehicleId)
{
    if (m_Vehicles.Source())
        m_Vehicles.Source()->Reassign(nVehicleId);
}

void CStreamer::ReassignVehiclesOf(const CPlayer* pPlayer)
{
    IStreamVehicleSource* pVehicles = m_Vehicles.Source();
    if (!pVehicles)
        return;
    int anIds[VEHICLE_ID_LIMIT];
    int nCount = pVehicles->GetActiveVehicles(anIds, VEHICLE_ID_LIMIT);
    nCount = nCount > VEHICLE_ID_LIMIT ? VEHICLE_ID_LIMIT : nCount;
    for (int i = 0; i < nCount; ++i)
    {
        if (pVehicles->GetAssignedPlayer(anIds[i]) == pPlayer->GetSlot())
            ReassignVehicle(anIds[i]);
    }
}

// ---------------------------------------------------------------------------
// StreamPlayer

void CStreamer::StreamPlayer(CPlayer* pPlayer)
{
    if (!pPlayer || pPlayer->GetSlot() >= MAX_PLAYERS || pPlayer->IsDeleted())
        return;
    CEntityLock lock(pPlayer);
    StreamOutEntities(m_Objects, pPlayer);
    StreamOutEntities(m_Pickups, pPlayer);
    StreamOutObservers(pPlayer);
    StreamOutEntities(m_Vehicles, pPlayer);
    if (pPlayer->m_bSpawned)
        StreamInAround(pPlayer, pPlayer, false);
    if (pPlayer->m_bySpectateTarget != NO_SPECTATE_TARGET)
    {
        CPlayer* pTarget = GetPlayer(pPlayer->m_bySpectateTarget);
        if (pTarget)
            StreamInAround(pPlayer, pTarget, true);
    }
}

// Out beyond the outer radius or out of the player's worlds. The vehicle a
// player sits in or is entering stays with it whatever the distance (moved
// to another world, it takes the player out of the seat first), and a
// vehicle the player simulated and no longer holds goes to someone else.
template <typename TKind> void CStreamer::StreamOutEntities(TKind& kind, CPlayer* pPlayer)
{
    const int nSlot = pPlayer->GetSlot();
    kind.PruneGone(nSlot, m_NodePool);
    kind.ForEachHeld(
        nSlot,
        [&](int nId)
        {
            Vector vPosition;
            int nWorld;
            if (!kind.GetState(nId, vPosition, nWorld))
                return;
            if constexpr (IS_VEHICLE_KIND<TKind>)
            {
                if (!LeaveVehicleOfAnotherWorld(pPlayer, nId, vPosition, nWorld))
                    return;
            }
            if (!StaysWithThePlayer<TKind>(pPlayer, nId) &&
                (!InCombinedRange(pPlayer, vPosition, kind.OutRadius()) || !SeesWorld(kind, pPlayer, nWorld)))
                EntityOut(kind, pPlayer, nId);
            if constexpr (IS_VEHICLE_KIND<TKind>)
            {
                if (!kind.IsStreamed(nSlot, nId) && kind.Source() &&
                    kind.Source()->GetAssignedPlayer(nId) == nSlot)
                    ReassignVehicle(nId);
            }
        });
}

// False when the exit event ended the vehicle's turn: it moved the player (a
// nested pass streamed the vehicle out already) or replaced the vehicle in
// its slot. Otherwise the vehicle's state is read again.
bool CStreamer::LeaveVehicleOfAnotherWorld(CPlayer* pPlayer, int nId, Vector& vPosition, int& nWorld)
{
    if (nWorld == pPlayer->m_usWorld || pPlayer->m_usEntryVehicle != nId)
        return true;
    RunVehicleExit(pPlayer);
    return !pPlayer->IsMarkedForDeletion() && m_Vehicles.IsStreamed(pPlayer->GetSlot(), nId) &&
           m_Vehicles.GetState(nId, vPosition, nWorld);
}

// The outer test is made from each observer's side: it is the observer whose
// client would drop this player.
void CStreamer::StreamOutObservers(CPlayer* pPlayer)
{
    PrunePlayerList(pPlayer->GetSlot());
    ForEachObserver(pPlayer->GetSlot(),
                    [&](CPlayer* pObserver)
                    {
                        if (!InCombinedRange(pObserver, pPlayer->m_vPosition, PLAYER_OUT) ||
                            pObserver->m_usWorld != pPlayer->m_usWorld)
                            PlayerOut(pObserver, pPlayer);
                    });
}

// Candidates come from the grid cells around the centre (the player itself,
// or the player it spectates); each passes the exact test of its kind.
void CStreamer::StreamInAround(CPlayer* pPlayer, CPlayer* pCentre, bool bSpectating)
{
    const Vector vCentre = pCentre->m_vPosition;
    StreamInEntitiesAround(m_Vehicles, pPlayer, vCentre, bSpectating);
    StreamInPlayersAround(pPlayer, vCentre, bSpectating);
    StreamInEntitiesAround(m_Pickups, pPlayer, vCentre, bSpectating);
    StreamInEntitiesAround(m_Objects, pPlayer, vCentre, bSpectating);
}

template <typename TKind>
void CStreamer::StreamInEntitiesAround(TKind& kind, CPlayer* pPlayer, const Vector& vCentre, bool bSpectating)
{
    if (!kind.Source())
        return;
    const int nSlot = pPlayer->GetSlot();
    int anIds[TKind::ID_COUNT];
    const int nCount = CollectIds(kind.Grid(), *kind.Source(), vCentre, kind.InRadius(), anIds);
    for (int i = 0; i < nCount; ++i)
    {
        const int nId = anIds[i];
        Vector vPosition;
        int nWorld;
        if (kind.IsStreamed(nSlot, nId) || !kind.GetState(nId, vPosition, nWorld) ||
            !SeesWorld(kind, pPlayer, nWorld))
            continue;
        const bool bInRange = bSpectating ? IsInSpectatorRange(pPlayer, vPosition, kind.InRadius())
                                          : IsInStreamRange(pPlayer, vPosition, kind.InRadius());
        if (bInRange)
            kind.StreamIn(pPlayer, nSlot, nId, m_NodePool);
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

void CStreamer::StreamVehicleIn(CPlayer* pPlayer, int nVehicleId)
{
    Vector vPosition;
    int nWorld;
    if (pPlayer && m_Vehicles.IsValidPair(pPlayer->GetSlot(), nVehicleId) &&
        !m_Vehicles.IsStreamed(pPlayer->GetSlot(), nVehicleId) &&
        m_Vehicles.GetState(nVehicleId, vPosition, nWorld))
        m_Vehicles.StreamIn(pPlayer, pPlayer->GetSlot(), nVehicleId, m_NodePool);
}

// ---------------------------------------------------------------------------
// Observer iterations

void CStreamer::ForEachObserverOfPlayer(CPlayer* pTarget, PlayerObserverCallback pfnCallback, void* pUser)
{
    if (!pTarget || !pfnCallback || !m_Players.IsValidObserver(pTarget->GetSlot()))
        return;
    PrunePlayerList(pTarget->GetSlot());
    ForEachObserver(pTarget->GetSlot(), [&](CPlayer* pObserver) { pfnCallback(pObserver, pTarget, pUser); });
}

template <typename TKind>
void CStreamer::ForEachEntityObserver(TKind& kind, int nId, EntityObserverCallback pfnCallback, void* pUser)
{
    if (!pfnCallback)
        return;
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pObserver = kind.IsStreamed(nSlot, nId) ? GetPlayer(nSlot) : nullptr;
        if (pObserver)
            pfnCallback(pObserver, nId, pUser);
    }
}

void CStreamer::ForEachObserverOfVehicle(int nVehicleId, EntityObserverCallback pfnCallback, void* pUser)
{
    ForEachEntityObserver(m_Vehicles, nVehicleId, pfnCallback, pUser);
}

void CStreamer::ForEachObserverOfPickup(int nPickupId, EntityObserverCallback pfnCallback, void* pUser)
{
    ForEachEntityObserver(m_Pickups, nPickupId, pfnCallback, pUser);
}

void CStreamer::ForEachObserverOfObject(int nObjectId, EntityObserverCallback pfnCallback, void* pUser)
{
    ForEachEntityObserver(m_Objects, nObjectId, pfnCallback, pUser);
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

// Every player in turn: in within the inner radius, out beyond the outer one
// or out of the player's worlds.
template <typename TKind>
void CStreamer::DecideForEveryPlayer(TKind& kind, int nId, const Vector& vPosition, int nWorld)
{
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (!pPlayer)
            continue;
        const bool bSees = SeesWorld(kind, pPlayer, nWorld);
        if (kind.IsStreamed(nSlot, nId))
        {
            if (!StaysWithThePlayer<TKind>(pPlayer, nId) &&
                (!bSees || !InCombinedRange(pPlayer, vPosition, kind.OutRadius())))
                EntityOut(kind, pPlayer, nId);
        }
        else if (bSees && InCombinedRange(pPlayer, vPosition, kind.InRadius()))
            kind.StreamIn(pPlayer, nSlot, nId, m_NodePool);
    }
}

void CStreamer::UpdateVehicle(int nVehicleId)
{
    Vector vPosition;
    int nWorld;
    if (!m_Vehicles.GetState(nVehicleId, vPosition, nWorld))
        return;
    // Occupants do not follow their vehicle into another world.
    ExitOccupants(nVehicleId, [&](const CPlayer* pOccupant) { return pOccupant->m_usWorld != nWorld; });
    // An exit event may have changed or removed the vehicle.
    if (!m_Vehicles.GetState(nVehicleId, vPosition, nWorld))
        return;
    const int nAssigned = m_Vehicles.Source()->GetAssignedPlayer(nVehicleId);
    if (GetPlayer(nAssigned) && !m_Vehicles.IsStreamed(nAssigned, nVehicleId))
        ReassignVehicle(nVehicleId);
    DecideForEveryPlayer(m_Vehicles, nVehicleId, vPosition, nWorld);
}

void CStreamer::UpdatePickup(int nPickupId)
{
    Vector vPosition;
    int nWorld;
    if (m_Pickups.GetState(nPickupId, vPosition, nWorld))
        DecideForEveryPlayer(m_Pickups, nPickupId, vPosition, nWorld);
}

void CStreamer::UpdateObject(int nObjectId)
{
    Vector vPosition;
    int nWorld;
    if (m_Objects.GetState(nObjectId, vPosition, nWorld))
        DecideForEveryPlayer(m_Objects, nObjectId, vPosition, nWorld);
}

// ---------------------------------------------------------------------------
// Removals

// An entity that is going away is destroyed on every client, a vehicle even
// under a visible occupant: nothing would ever stream it out later.
template <typename TKind> void CStreamer::StreamOutEverywhere(TKind& kind, int nId)
{
    for (int nSlot = 0; nSlot < MAX_PLAYERS; ++nSlot)
    {
        if (!kind.IsStreamed(nSlot, nId))
            continue;
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (pPlayer)
            EntityOut(kind, pPlayer, nId, true);
        else
            kind.ClearStreamed(nSlot, nId);
    }
}

void CStreamer::RemoveVehicle(int nVehicleId)
{
    IStreamVehicleSource* pVehicles = m_Vehicles.Source();
    if (!pVehicles || !m_Vehicles.IsValidId(nVehicleId))
        return;
    pVehicles->ReleaseAssignment(nVehicleId);
    ExitOccupants(nVehicleId, [](const CPlayer*) { return true; });
    StreamOutEverywhere(m_Vehicles, nVehicleId);
}

void CStreamer::RemovePickup(int nPickupId)
{
    StreamOutEverywhere(m_Pickups, nPickupId);
}

void CStreamer::RemoveObject(int nObjectId)
{
    StreamOutEverywhere(m_Objects, nObjectId);
}

// Every player that still sees the player streams it out.
void CStreamer::HideFromObservers(CPlayer* pPlayer)
{
    ForEachObserver(pPlayer->GetSlot(),
                    [&](CPlayer* pObserver)
                    {
                        if (pObserver != pPlayer)
                            PlayerOut(pObserver, pPlayer);
                    });
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
    HideFromObservers(pPlayer);
    m_Players.ReleaseList(nSlot, m_NodePool);
    m_Players.ClearObserver(nSlot);
    m_Vehicles.DropObserver(pPlayer, nSlot, m_NodePool);
    m_Pickups.DropObserver(pPlayer, nSlot, m_NodePool);
    m_Objects.DropObserver(pPlayer, nSlot, m_NodePool);
    ReassignVehiclesOf(pPlayer);
}

// What the player's spectate target no longer has in range goes; a vehicle
// keeps to the occupant rule.
template <typename TKind> void CStreamer::StreamOutBeyondTarget(TKind& kind, CPlayer* pPlayer)
{
    kind.ForEachHeld(pPlayer->GetSlot(),
                     [&](int nId)
                     {
                         Vector vPosition;
                         int nWorld;
                         if (kind.GetState(nId, vPosition, nWorld) &&
                             !IsInSpectatorRange(pPlayer, vPosition, kind.OutRadius()))
                             EntityOut(kind, pPlayer, nId);
                     });
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
    HideFromObservers(pPlayer);
    StreamOutBeyondTarget(m_Vehicles, pPlayer);
    StreamOutBeyondTarget(m_Objects, pPlayer);
    StreamOutBeyondTarget(m_Pickups, pPlayer);
    ReassignVehiclesOf(pPlayer);
}
