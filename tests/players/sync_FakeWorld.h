#pragma once

// Vehicles and objects for the sync tests, standing in for the vehicle and
// object pools: the sync's view of them (placement, the calls the sync makes;
// the seats are the bare vehicle records' own) and the streamer's (so that
// vehicles stream in around players).
// Install() hands it to both; Uninstall() takes it back and leaves the grid.

#include <map>
#include <memory>
#include <vector>

#include "CServer.h"
#include "players/CPlayerSyncRecords.h"
#include "players/CPlayerSyncWorld.h"
#include "world/CStreamer.h"
#include "world/CVehicle.h"
#include "world/IStreamVehicleSource.h"

class CFakeSyncWorld : public IPlayerSyncWorld, public IStreamVehicleSource
{
public:
    struct SFakeVehicle
    {
        // Holds the seats and doors, as a pool's vehicle does.
        std::unique_ptr<CVehicle> pVehicle;
        Vector vPosition;
        Quaternion qRotation;
        int nModel = 130;
        int nWorld = 1;
        int nOccupancy = OCCUPANCY_NONE;
        int nAssigned = 255;
        SGridLink link;
        // What the sync did with the vehicle.
        int nDriverSyncs = 0;
        int nSyncedNotes = 0;
        int nReassigns = 0;
        int nExplosions = 0;
        SVehicleSyncRecord lastRecord = {};

        const SVehicleSeats& Seats() const { return pVehicle->GetSeats(); }
    };
    struct SFakeObject
    {
        Vector vPosition;
        Quaternion qRotation;
    };

    ~CFakeSyncWorld() override { Uninstall(); }

    void Install(CServer& server)
    {
        m_pStreamer = server.m_pStreamer;
        m_pStreamer->SetVehicleSource(this);
        SetPlayerSyncWorld(this);
    }
    void Uninstall()
    {
        if (!m_pStreamer)
            return;
        for (auto& entry : m_vehicles)
            m_pStreamer->GetVehicleGrid()->Remove(entry.second.link);
        m_pStreamer->SetVehicleSource(nullptr);
        SetPlayerSyncWorld(nullptr);
        m_pStreamer = nullptr;
    }

    SFakeVehicle& AddVehicle(int nId, const Vector& vPosition, int nModel = 130)
    {
        SFakeVehicle& vehicle = m_vehicles[nId];
        vehicle.pVehicle = std::make_unique<CVehicle>(static_cast<uint16_t>(nId));
        vehicle.vPosition = vPosition;
        vehicle.nModel = nModel;
        if (m_pStreamer)
            m_pStreamer->GetVehicleGrid()->Insert(vehicle.pVehicle.get(), vehicle.link, vPosition.x,
                                                  vPosition.y);
        return vehicle;
    }
    SFakeVehicle& Vehicle(int nId) { return m_vehicles.at(nId); }
    void AddObject(int nId, const Vector& vPosition, const Quaternion& qRotation)
    {
        m_objects[nId] = {vPosition, qRotation};
    }

    // ---- IPlayerSyncWorld ----
    CVehicle* FindVehicle(int nId) override
    {
        auto it = m_vehicles.find(nId);
        return it == m_vehicles.end() ? nullptr : it->second.pVehicle.get();
    }
    void GetVehiclePlacement(CVehicle* pVehicle, Vector& vPosition, Quaternion& qRotation) override
    {
        vPosition = Of(pVehicle).vPosition;
        qRotation = Of(pVehicle).qRotation;
    }
    int GetVehicleModel(CVehicle* pVehicle) override { return Of(pVehicle).nModel; }
    int GetOccupancyState(CVehicle* pVehicle) override { return Of(pVehicle).nOccupancy; }
    void SetOccupancyState(CVehicle* pVehicle, int nState) override { Of(pVehicle).nOccupancy = nState; }
    int GetAssignedPlayer(CVehicle* pVehicle) override { return Of(pVehicle).nAssigned; }
    void AssignVehicle(CVehicle* pVehicle, int nSlot) override { Of(pVehicle).nAssigned = nSlot; }
    void ReassignVehicle(CVehicle* pVehicle) override
    {
        ++Of(pVehicle).nReassigns;
        Of(pVehicle).nAssigned = 255;
    }
    void ApplyDriverSync(CVehicle* pVehicle, int, const SVehicleSyncRecord& record) override
    {
        ++Of(pVehicle).nDriverSyncs;
        Of(pVehicle).lastRecord = record;
    }
    void NoteVehicleSynced(CVehicle* pVehicle) override { ++Of(pVehicle).nSyncedNotes; }
    void BuildDriverRecord(CVehicle* pVehicle, SVehicleSyncRecord& record) override
    {
        record = Of(pVehicle).lastRecord;
    }
    void ApplyExplosion(CVehicle* pVehicle, int, const Vector&, CPlayer*) override
    {
        ++Of(pVehicle).nExplosions;
    }
    bool GetObjectPlacement(int nId, Vector& vPosition, Quaternion& qRotation) override
    {
        auto it = m_objects.find(nId);
        if (it == m_objects.end())
            return false;
        vPosition = it->second.vPosition;
        qRotation = it->second.qRotation;
        return true;
    }

    // ---- IStreamVehicleSource ----
    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override
    {
        auto it = m_vehicles.find(nId);
        if (it == m_vehicles.end())
            return false;
        vPosition = it->second.vPosition;
        nWorld = it->second.nWorld;
        return true;
    }
    int GetStreamId(const void* pEntity) const override
    {
        for (const auto& entry : m_vehicles)
            if (entry.second.pVehicle.get() == pEntity)
                return entry.first;
        return -1;
    }
    void SendStreamIn(int, CPlayer*) override {}
    void SendStreamOut(int, CPlayer*) override {}
    bool GetSeats(int nId, uint8_t abySeats[SEAT_COUNT]) const override
    {
        auto it = m_vehicles.find(nId);
        if (it == m_vehicles.end())
            return false;
        for (int nSeat = 0; nSeat < SEAT_COUNT; ++nSeat)
            abySeats[nSeat] = it->second.pVehicle->GetOccupant(nSeat);
        return true;
    }
    int GetAssignedPlayer(int nId) const override
    {
        auto it = m_vehicles.find(nId);
        return it == m_vehicles.end() ? 255 : it->second.nAssigned;
    }
    int GetOccupancyState(int nId) const override
    {
        auto it = m_vehicles.find(nId);
        return it == m_vehicles.end() ? 0 : it->second.nOccupancy;
    }
    void Reassign(int) override {}
    void ReleaseAssignment(int) override {}
    void OfferNearestPlayer(int, int, float) override {}
    int GetActiveVehicles(int* pnIds, int nMax) const override
    {
        int nCount = 0;
        for (const auto& entry : m_vehicles)
            if (nCount < nMax)
                pnIds[nCount++] = entry.first;
        return nCount;
    }

private:
    SFakeVehicle& Of(CVehicle* pVehicle) { return m_vehicles.at(pVehicle->GetId()); }

    CStreamer* m_pStreamer = nullptr;
    std::map<int, SFakeVehicle> m_vehicles;
    std::map<int, SFakeObject> m_objects;
};
