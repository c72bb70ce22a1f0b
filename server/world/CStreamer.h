#pragma once

#include <cstdint>
#include <type_traits>

#include "math/Vector.h"
#include "world/CHiddenMapObjects.h"
#include "world/CStreamGrid.h"
#include "world/CStreamKind.h"
#include "world/CStreamNodePool.h"
#include "world/IStreamVehicleSource.h"

class CPlayer;
class CPlayerPool;

// Decides, for every player, which players, vehicles, pickups and objects its
// client holds (has "streamed in"). An entity streams in within an inner
// radius of the player and out beyond a wider outer one, or when it leaves the
// player's world; every relay of an entity's state goes only to the players
// that have it streamed in. One instance, owned by CServer for its whole life.
//
// Player arguments are player records; vehicles, pickups and objects are named
// by their pool slot. An observer slot of 100 or more, or an entity id outside
// its kind's range, makes an operation do nothing (a test answers false).
class CStreamer
{
public:
    static constexpr int MAX_PLAYERS = 100;
    static constexpr int VEHICLE_ID_LIMIT = 1001;
    static constexpr int PICKUP_ID_LIMIT = 2000;
    static constexpr int OBJECT_ID_LIMIT = 3000;
    static constexpr uint8_t NO_PLAYER = 255;

    // Stream-in and stream-out radii per kind.
    static constexpr float PLAYER_IN = 320.0f;
    static constexpr float PLAYER_OUT = 340.0f;
    static constexpr float VEHICLE_IN = 280.0f;
    static constexpr float VEHICLE_OUT = 300.0f;
    static constexpr float PICKUP_IN = 150.0f;
    static constexpr float PICKUP_OUT = 170.0f;
    static constexpr float OBJECT_IN = 240.0f;
    static constexpr float OBJECT_OUT = 260.0f;
    // A moving observer also sees what lies this many speed units ahead.
    static constexpr float SPEED_PROJECTION = 40.0f;
    // Radius within which an unoccupied vehicle looks for its nearest player.
    static constexpr float PROXIMITY_RADIUS = 100.0f;

    typedef void (*PlayerObserverCallback)(CPlayer* pObserver, CPlayer* pTarget, void* pUser);
    typedef void (*EntityObserverCallback)(CPlayer* pObserver, int nEntityId, void* pUser);
    typedef void (*PlayerAreaCallback)(CPlayer* pPlayer, void* pUser);

    // pPlayers is the server's player pool; the intervals are the minimum
    // milliseconds between the starts of two player passes and of two
    // vehicle passes. Builds the four grids.
    CStreamer(CPlayerPool* pPlayers, uint32_t uiPlayerPassInterval, uint32_t uiVehiclePassInterval);
    ~CStreamer();
    CStreamer(const CStreamer&) = delete;
    CStreamer& operator=(const CStreamer&) = delete;

    // Entity pools hand themselves over once they exist, and null before they
    // are destroyed. Without a source the kind has no entities.
    void SetVehicleSource(IStreamVehicleSource* pSource) { m_Vehicles.SetSource(pSource); }
    void SetPickupSource(IStreamEntitySource* pSource) { m_Pickups.SetSource(pSource); }
    void SetObjectSource(IStreamEntitySource* pSource) { m_Objects.SetSource(pSource); }

    // The grids entity modules insert, move and remove their entities in.
    CStreamGrid* GetPlayerGrid() { return &m_PlayerGrid; }
    CStreamGrid* GetVehicleGrid() { return &m_Vehicles.Grid(); }
    CStreamGrid* GetPickupGrid() { return &m_Pickups.Grid(); }
    CStreamGrid* GetObjectGrid() { return &m_Objects.Grid(); }
    // The hidden map objects live and die with the streamer; no other tie.
    CHiddenMapObjects& GetHiddenMapObjects() { return m_HiddenMapObjects; }

    // Once per tick with the tick's millisecond clock: streams at most one
    // player and checks at most one vehicle (CStreamerTick.cpp).
    void Process(uint32_t uiNow);
    // The full pass for one player; may be called any time between ticks so
    // that a spawn or a move shows at once.
    void StreamPlayer(CPlayer* pPlayer);

    bool IsPlayerStreamed(const CPlayer* pObserver, const CPlayer* pTarget) const;
    bool IsPlayerStreamed(int nObserver, int nTarget) const
    {
        return m_Players.IsStreamed(nObserver, nTarget);
    }
    bool IsVehicleStreamed(const CPlayer* pObserver, int nVehicleId) const;
    bool IsVehicleStreamed(int nObserver, int nVehicleId) const
    {
        return m_Vehicles.IsStreamed(nObserver, nVehicleId);
    }
    bool IsPickupStreamed(const CPlayer* pObserver, int nPickupId) const;
    bool IsPickupStreamed(int nObserver, int nPickupId) const
    {
        return m_Pickups.IsStreamed(nObserver, nPickupId);
    }
    bool IsObjectStreamed(const CPlayer* pObserver, int nObjectId) const;
    bool IsObjectStreamed(int nObserver, int nObjectId) const
    {
        return m_Objects.IsStreamed(nObserver, nObjectId);
    }

    // Every player that has the target streamed in, most recently added
    // first, after dropping stale entries. The callback may stream players
    // in and out; an observer streamed out meanwhile is skipped.
    void ForEachObserverOfPlayer(CPlayer* pTarget, PlayerObserverCallback pfnCallback, void* pUser);
    template <typename Fn> void ForEachObserverOfPlayer(CPlayer* pTarget, Fn&& fn);
    // Every existing player 0..99, in order, that has the entity streamed in.
    void ForEachObserverOfVehicle(int nVehicleId, EntityObserverCallback pfnCallback, void* pUser);
    void ForEachObserverOfPickup(int nPickupId, EntityObserverCallback pfnCallback, void* pUser);
    void ForEachObserverOfObject(int nObjectId, EntityObserverCallback pfnCallback, void* pUser);
    template <typename Fn> void ForEachObserverOfVehicle(int nVehicleId, Fn&& fn);
    template <typename Fn> void ForEachObserverOfPickup(int nPickupId, Fn&& fn);
    template <typename Fn> void ForEachObserverOfObject(int nObjectId, Fn&& fn);

    // Re-decides the entity against every player; entity modules call it
    // after creation and after a change of position or world.
    void UpdateVehicle(int nVehicleId);
    void UpdatePickup(int nPickupId);
    void UpdateObject(int nObjectId);

    // Streams the entity out everywhere; called before it is destroyed (the
    // player after leaving its grid cell). Leaves a reused slot clean.
    void RemovePlayer(CPlayer* pPlayer);
    void RemoveVehicle(int nVehicleId);
    void RemovePickup(int nPickupId);
    void RemoveObject(int nObjectId);

    // A spawned player died or was otherwise taken out of play, after leaving
    // its grid cell. A spectator keeps what it sees through its target.
    void OnPlayerLeftWorld(CPlayer* pPlayer);

    // Streams the vehicle in for the player whatever the distance (the
    // vehicle a player is let into); nothing when it already is.
    void StreamVehicleIn(CPlayer* pPlayer, int nVehicleId);

    // Offers an unoccupied vehicle the nearest player that has it streamed in.
    void CheckVehicleProximity(int nVehicleId);

    // Every player in the players' grid whose horizontal distance to (x, y)
    // is at most fRadius (area effects: explosions, sounds).
    void ForEachPlayerInArea(float fX, float fY, float fRadius, PlayerAreaCallback pfnCallback, void* pUser);

    // Range test from the observer's position and from 40 x its average
    // speed ahead; false while it is not spawned.
    bool IsInStreamRange(const CPlayer* pObserver, const Vector& vPoint, float fRadius) const;
    // The range test of the player the observer spectates; false without one.
    bool IsInSpectatorRange(const CPlayer* pObserver, const Vector& vPoint, float fRadius) const;

    // Pass state, for the server's diagnostics and the tests.
    int GetNextPlayer() const { return m_nNextPlayer; }
    int GetNextVehicle() const { return m_nNextVehicle; }
    uint32_t GetPlayerPassStarted() const { return m_uiPlayerPassStarted; }
    uint32_t GetVehiclePassStarted() const { return m_uiVehiclePassStarted; }
    const CStreamNodePool& GetNodePool() const { return m_NodePool; }
    // Nodes on a list, stale ones included (tests of the lazy pruning).
    int GetPlayerListLength(int nTarget);
    int GetVehicleListLength(int nObserver);

private:
    // The kinds an observer holds by id. Each rule below is written once for
    // all three; vehicles add their seats (the occupant rule and the vehicle
    // a player is in) where a rule says so.
    using CVehicleKind = CEntityStreamKind<VEHICLE_ID_LIMIT, IStreamVehicleSource>;
    using CPickupKind = CEntityStreamKind<PICKUP_ID_LIMIT, IStreamEntitySource>;
    using CObjectKind = CEntityStreamKind<OBJECT_ID_LIMIT, IStreamEntitySource>;

    // Stream-in/out: the one place that sends the entity's create or destroy
    // message and then changes the bits (for the entity kinds, their own
    // StreamIn and StreamOut under the occupant rule).
    void PlayerIn(CPlayer* pObserver, CPlayer* pTarget);
    void PlayerOut(CPlayer* pObserver, CPlayer* pTarget);
    template <typename TKind> bool EntityOut(TKind& kind, CPlayer* pObserver, int nId, bool bForce = false);

    bool InCombinedRange(const CPlayer* pObserver, const Vector& vPoint, float fRadius) const;
    CPlayer* GetPlayer(int nSlot) const;
    void PrunePlayerList(int nTarget);
    template <typename TAct> void ForEachObserver(int nTarget, TAct&& act);

    // The steps of StreamPlayer.
    template <typename TKind> void StreamOutEntities(TKind& kind, CPlayer* pPlayer);
    bool LeaveVehicleOfAnotherWorld(CPlayer* pPlayer, int nId, Vector& vPosition, int& nWorld);
    void StreamOutObservers(CPlayer* pPlayer);
    void StreamInAround(CPlayer* pPlayer, CPlayer* pCentre, bool bSpectating);
    template <typename TKind>
    void StreamInEntitiesAround(TKind& kind, CPlayer* pPlayer, const Vector& vCentre, bool bSpectating);
    void StreamInPlayersAround(CPlayer* pPlayer, const Vector& vCentre, bool bSpectating);

    // Entity changes and removals, and a player leaving.
    template <typename TKind>
    void DecideForEveryPlayer(TKind& kind, int nId, const Vector& vPosition, int nWorld);
    template <typename TKind> void StreamOutEverywhere(TKind& kind, int nId);
    template <typename TKind> void StreamOutBeyondTarget(TKind& kind, CPlayer* pPlayer);
    void HideFromObservers(CPlayer* pPlayer);
    template <typename TKind>
    void ForEachEntityObserver(TKind& kind, int nId, EntityObserverCallback pfnCallback, void* pUser);

    // Hooks into the player and vehicle modules, each kept in one place.
    void RunVehicleExit(CPlayer* pPlayer);
    template <typename TFilter> void ExitOccupants(int nVehicleId, TFilter&& bLeaves);
    void ReassignVehicle(int nVehicleId);
    void ReassignVehiclesOf(const CPlayer* pPlayer);

    template <typename Fn> static void CallEntityObserver(CPlayer* pObserver, int nId, void* pUser);
    void RunPlayerPass(uint32_t uiNow);
    void RunVehiclePass(uint32_t uiNow);

    CPlayerPool* m_pPlayerPool;
    CStreamGrid m_PlayerGrid;

    // Lists and bits live as long as the streamer; a player's row is emptied
    // by RemovePlayer so that the next occupant of the slot starts clean.
    // Each entity kind also holds its pool (null without one: the kind then
    // has no entities) and its grid.
    CStreamNodePool m_NodePool;
    CStreamKind<MAX_PLAYERS, true> m_Players;
    CVehicleKind m_Vehicles;
    CPickupKind m_Pickups;
    CObjectKind m_Objects;

    // Pass state: the interval between pass starts, when the current pass
    // began (tick clock, ms) and the next identifier to handle.
    uint32_t m_uiPlayerPassInterval;
    uint32_t m_uiVehiclePassInterval;
    uint32_t m_uiPlayerPassStarted = 0;
    uint32_t m_uiVehiclePassStarted = 0;
    int m_nNextPlayer = 0;
    int m_nNextVehicle = 1;
    // Emptied when the streamer is destroyed.
    CHiddenMapObjects m_HiddenMapObjects;
};

template <typename Fn> void CStreamer::ForEachObserverOfPlayer(CPlayer* pTarget, Fn&& fn)
{
    using TFn = std::remove_reference_t<Fn>;
    ForEachObserverOfPlayer(
        pTarget,
        [](CPlayer* pObserver, CPlayer* pSubject, void* pUser)
        { (*static_cast<TFn*>(pUser))(pObserver, pSubject); },
        const_cast<void*>(static_cast<const void*>(&fn)));
}

// Hands a callable to the callback form of the entity observer walks.
template <typename Fn> void CStreamer::CallEntityObserver(CPlayer* pObserver, int nId, void* pUser)
{
    (*static_cast<std::remove_reference_t<Fn>*>(pUser))(pObserver, nId);
}

template <typename Fn> void CStreamer::ForEachObserverOfVehicle(int nVehicleId, Fn&& fn)
{
    ForEachObserverOfVehicle(nVehicleId, CallEntityObserver<Fn>,
                             const_cast<void*>(static_cast<const void*>(&fn)));
}

template <typename Fn> void CStreamer::ForEachObserverOfPickup(int nPickupId, Fn&& fn)
{
    ForEachObserverOfPickup(nPickupId, CallEntityObserver<Fn>,
                            const_cast<void*>(static_cast<const void*>(&fn)));
}

template <typename Fn> void CStreamer::ForEachObserverOfObject(int nObjectId, Fn&& fn)
{
    ForEachObserverOfObject(nObjectId, CallEntityObserver<Fn>,
                            const_cast<void*>(static_cast<const void*>(&fn)));
}
