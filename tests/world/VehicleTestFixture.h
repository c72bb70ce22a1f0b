#pragma once

// Vehicle tests against the real vehicle pool in an in-process server: two
// spawned players 10 units apart, vehicles made through the function table,
// client messages in and what each slot received out, on the manual clock.

#include <vector>

#include "VehicleMessages.h"
#include "players/sync_Fixture.h"
#include "world/CVehicle.h"
#include "world/CVehiclePool.h"

class CVehicleTest : public CSyncTest
{
protected:
    void SetUp() override
    {
        CSyncTest::SetUp();
        SpawnPair();
    }

    int Create(int nModel, const Vector& vPosition, int nWorld = 1)
    {
        return F()->CreateVehicle(nModel, nWorld, vPosition.x, vPosition.y, vPosition.z, 0.0f, 1, 2);
    }
    CVehicle* Vehicle(int nId) { return Server().m_pVehiclePool->Get(nId); }

    static std::vector<uint8_t> EnterBytes(int nVehicleId, uint8_t byA, uint8_t byB, uint8_t byC)
    {
        RakNet::BitStream stream;
        testclient::EncodeRequestEnterVehicle(stream, static_cast<uint16_t>(nVehicleId), byA, byB, byC);
        return Bytes(stream);
    }
    static std::vector<uint8_t> UnoccupiedBytes(int nVehicleId, uint16_t usCounter,
                                                const wire::SVehicleRecord& record)
    {
        RakNet::BitStream stream;
        testclient::EncodeUnoccupiedSync(stream, static_cast<uint16_t>(nVehicleId), usCounter, record);
        return Bytes(stream);
    }
    static std::vector<uint8_t> ExplodedBytes(int nVehicleId)
    {
        RakNet::BitStream stream;
        testclient::EncodeVehicleExploded(stream, static_cast<uint16_t>(nVehicleId));
        return Bytes(stream);
    }
    static wire::SVehicleRecord RecordAt(float fX, float fY, float fZ, uint32_t uiDamage = 0)
    {
        wire::SVehicleRecord record = {};
        record.vPosition = {fX, fY, fZ};
        record.qRotation = {0.0f, 0.0f, 0.0f, 1.0f};
        record.fHealth = 900.0f;
        record.uiDamage = uiDamage;
        return record;
    }
    // A driver sync of the vehicle at a point.
    static std::vector<uint8_t> DrivingBytes(int nVehicleId, float fX, float fY, float fZ)
    {
        wire::SDriverRecord driver = {};
        driver.usVehicleId = static_cast<uint16_t>(nVehicleId);
        driver.byHealth = 100;
        return DriverBytes(0, driver, RecordAt(fX, fY, fZ));
    }

    int CountTo(int nSlot, int nId) { return static_cast<int>(Peer().SentTo(nSlot, nId).size()); }
    // The vehicle ids of the messages with this identifier that reached the slot.
    std::vector<int> VehicleIdsTo(int nSlot, int nId)
    {
        std::vector<int> ids;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, nId))
        {
            testclient::SVehicleNotice notice;
            if (testclient::DecodeVehicleNotice(received, notice))
                ids.push_back(notice.usVehicleId);
        }
        return ids;
    }
    // The result codes of the refusals that reached the slot.
    std::vector<int> RefusalsTo(int nSlot)
    {
        std::vector<int> results;
        for (const testclient::SReceived& received : ReceivedBy(nSlot, wire::SV_ENTER_VEHICLE_REFUSED))
        {
            testclient::SEnterVehicle refusal;
            if (testclient::DecodeEnterVehicleRefused(received, refusal))
                results.push_back(refusal.byResult);
        }
        return results;
    }
};
