#pragma once

// A light world for streamer tests: a CServer with its defaults only (no
// start-up, no plugins), a player pool, the streamer, a transport that keeps
// every message sent, a manual clock, and fake vehicle, pickup and object
// pools. Players are real records; a test places them by setting their
// fields and moving them in the grid.
//
//     CWorldFixture world;
//     CPlayer* pA = world.AddPlayer(0, Vector(0, 0, 0));
//     world.Vehicles().Place(5, Vector(279, 0, 0), 1);
//     world.Streamer().StreamPlayer(pA);
//     EXPECT_TRUE(world.Streamer().IsVehicleStreamed(pA, 5));

#include <cstdint>
#include <vector>

#include "CServer.h"
#include "ITimeSource.h"
#include "net/INetPeer.h"
#include "world/CStreamer.h"
#include "world/IStreamVehicleSource.h"

class CPlayer;

namespace worldtest
{

// One message the server handed to the transport.
struct SSent
{
    int nSlot;
    bool bBroadcast;
    std::vector<uint8_t> bytes;
    int Id() const { return bytes.empty() ? -1 : bytes[0]; }
};

// A transport that only records what is sent to it.
class CCapturePeer : public INetPeer
{
public:
    bool Startup(int, int, const char*) override { return true; }
    void SetMaximumIncomingConnections(int) override {}
    int GetMaximumIncomingConnections() const override { return 100; }
    void SetOccasionalPing(bool) override {}
    void SetIncomingPassword(const char*, int) override {}
    bool Receive(SNetPacket&) override { return false; }
    void DeallocatePacket(SNetPacket&) override {}
    void Send(const uint8_t* pData, int nLength, int, int, int, int nSlot, bool bBroadcast) override
    {
        m_Sent.push_back({nSlot, bBroadcast, std::vector<uint8_t>(pData, pData + nLength)});
    }
    void CloseConnection(int, bool, int, int) override {}
    bool GetAddress(int, uint32_t&, uint16_t&) const override { return false; }
    int GetPing(int) const override { return 0; }
    void AddToBanList(const char*) override {}
    void RemoveFromBanList(const char*) override {}
    bool IsBanned(const char*) const override { return false; }
    void Shutdown(int, int, int) override {}

    // Messages with identifier nId sent directly to nSlot.
    int Count(int nSlot, int nId) const;
    std::vector<SSent> m_Sent;
};

// One create or destroy message a fake pool was asked to send.
struct SStreamEvent
{
    int nId;
    int nObserver;
    bool bIn;
};

// Entity records of a fake pool: existence, position, world and the grid link.
struct SFakeEntity
{
    bool bExists = false;
    Vector vPosition;
    int nWorld = 1;
    SGridLink link;
};

// A pickup or object pool as the streamer sees it.
class CFakeEntities : public IStreamEntitySource
{
public:
    CFakeEntities(int nCount, CStreamGrid* pGrid) : m_aEntities(nCount), m_pGrid(pGrid) {}
    ~CFakeEntities() override;

    // Creates (or moves) the entity and links it into the grid.
    void Place(int nId, const Vector& vPosition, int nWorld);
    // The entity vanishes without the streamer being told.
    void Erase(int nId);
    int CountEvents(int nId, int nObserver, bool bIn) const;

    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override;
    int GetStreamId(const void* pEntity) const override;
    void SendStreamIn(int nId, CPlayer* pObserver) override;
    void SendStreamOut(int nId, CPlayer* pObserver) override;

    std::vector<SFakeEntity> m_aEntities;
    std::vector<SStreamEvent> m_Events;

private:
    CStreamGrid* m_pGrid;
};

// A vehicle pool: seats, assignment, and what the streamer asked of it.
class CFakeVehicles : public IStreamVehicleSource
{
public:
    explicit CFakeVehicles(CStreamGrid* pGrid);

    void Place(int nId, const Vector& vPosition, int nWorld) { m_Entities.Place(nId, vPosition, nWorld); }
    void Erase(int nId) { m_Entities.Erase(nId); }
    int CountEvents(int nId, int nObserver, bool bIn) const
    {
        return m_Entities.CountEvents(nId, nObserver, bIn);
    }
    void SetSeat(int nId, int nSeat, uint8_t bySlot) { m_aSeats[nId][nSeat] = bySlot; }

    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override;
    int GetStreamId(const void* pEntity) const override { return m_Entities.GetStreamId(pEntity); }
    void SendStreamIn(int nId, CPlayer* pObserver) override { m_Entities.SendStreamIn(nId, pObserver); }
    void SendStreamOut(int nId, CPlayer* pObserver) override { m_Entities.SendStreamOut(nId, pObserver); }
    bool GetSeats(int nId, uint8_t abySeats[SEAT_COUNT]) const override;
    int GetAssignedPlayer(int nId) const override { return m_anAssigned[nId]; }
    int GetOccupancyState(int nId) const override { return m_anOccupancy[nId]; }
    void Reassign(int nId) override { m_Reassigned.push_back(nId); }
    void ReleaseAssignment(int nId) override { m_Released.push_back(nId); }
    void OfferNearestPlayer(int nId, int nSlot, float fDistance) override;
    int GetActiveVehicles(int* pnIds, int nMax) const override;

    struct SOffer
    {
        int nId;
        int nSlot;
        float fDistance;
    };

    CFakeEntities m_Entities;
    std::vector<std::vector<uint8_t>> m_aSeats;
    std::vector<int> m_anAssigned;
    std::vector<int> m_anOccupancy;
    std::vector<int> m_Reassigned;
    std::vector<int> m_Released;
    std::vector<SOffer> m_Offers;
};

class CWorldFixture
{
public:
    CWorldFixture();
    ~CWorldFixture();
    CWorldFixture(const CWorldFixture&) = delete;
    CWorldFixture& operator=(const CWorldFixture&) = delete;

    // A joined player in the slot, placed and (by default) spawned in world 1.
    CPlayer* AddPlayer(int nSlot, const Vector& vPosition, int nWorld = 1, bool bSpawned = true);
    void MovePlayer(CPlayer* pPlayer, const Vector& vPosition);
    bool RemovePlayer(int nSlot);

    CServer& Server() { return *m_pServer; }
    CStreamer& Streamer() { return *m_pServer->m_pStreamer; }
    CCapturePeer& Peer() { return *m_pPeer; }
    CManualTime& Time() { return m_Time; }
    CFakeVehicles& Vehicles() { return *m_pVehicles; }
    CFakeEntities& Pickups() { return *m_pPickups; }
    CFakeEntities& Objects() { return *m_pObjects; }

private:
    CManualTime m_Time;
    CServer* m_pServer;
    // Owned by the server's network.
    CCapturePeer* m_pPeer;
    CFakeVehicles* m_pVehicles;
    CFakeEntities* m_pPickups;
    CFakeEntities* m_pObjects;
};

} // namespace worldtest
