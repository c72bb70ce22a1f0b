// Driver and passenger sync against vehicles: completing a reserved entry,
// refusing a seat the player does not hold, leaving, standing on a vehicle,
// and the vehicle's part in projectiles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "net/CNetwork.h"
#include "players/CPlayerSync.h"
#include "sync_FakeWorld.h"
#include "sync_Fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
class SyncVehicleTest : public CSyncTest
{
protected:
    void SetUp() override
    {
        CSyncTest::SetUp();
        m_World.Install(Server());
        SpawnPair();
    }
    void TearDown() override
    {
        m_World.Uninstall();
        CSyncTest::TearDown();
    }

    // The state an accepted entry request leaves: seat and door reserved.
    CFakeSyncWorld::SFakeVehicle& ReservedForDriver(int nVehicleId)
    {
        CFakeSyncWorld::SFakeVehicle& vehicle = m_World.AddVehicle(nVehicleId, Vector(20.0f, 0.0f, 10.0f));
        vehicle.pVehicle->ReserveSeat(0, VEHICLE_DRIVER_SEAT, 0);
        m_pFirst->m_usEntryVehicle = static_cast<uint16_t>(nVehicleId);
        m_pFirst->m_byEntryState = ENTRY_ENTERING;
        m_pFirst->m_byEntrySeat = 0;
        m_pFirst->m_uiEntryDeadline = Server().m_uiNow + 2000;
        m_pFirst->m_bEntryLock = true;
        m_pFirst->m_uiEntryLockExpiry = Server().m_uiNow + 2000;
        StreamAll();
        Peer().ClearSent();
        return vehicle;
    }

    static std::vector<uint8_t> Driving(int nVehicleId, float fX, float fY, float fZ)
    {
        wire::SDriverRecord driver = {};
        driver.usVehicleId = static_cast<uint16_t>(nVehicleId);
        driver.byHealth = 100;
        wire::SVehicleRecord vehicle = {};
        vehicle.vPosition = {fX, fY, fZ};
        vehicle.qRotation = {0.0f, 0.0f, 0.0f, 1.0f};
        return DriverBytes(0, driver, vehicle);
    }

    static std::vector<uint8_t> Riding(int nVehicleId, uint8_t bySeat)
    {
        wire::SPassengerRecord passenger = {static_cast<uint16_t>(nVehicleId), 100, 0, bySeat};
        return PassengerBytes(0, passenger);
    }

    // The position corrections the slot received, in order.
    std::vector<float> HeightsSentTo(int nSlot)
    {
        std::vector<float> heights;
        for (const auto& received : ReceivedBy(nSlot, wire::SV_POSITION))
        {
            wire::SWireVector vPosition = {};
            EXPECT_TRUE(testclient::DecodeVector(received, vPosition));
            heights.push_back(vPosition.z);
        }
        return heights;
    }

    CFakeSyncWorld m_World;
};

TEST_F(SyncVehicleTest, FirstDriverSyncCompletesTheReservedEntry)
{
    CFakeSyncWorld::SFakeVehicle& vehicle = ReservedForDriver(5);
    Deliver(0, Driving(5, 21.0f, 0.0f, 10.0f));

    EXPECT_EQ(vehicle.Seats().byDriverState, SEAT_OCCUPIED);
    EXPECT_EQ(vehicle.Seats().abyDoorState[0], SEAT_FREE);
    EXPECT_EQ(vehicle.Seats().abyDoorPlayer[0], SEAT_NO_PLAYER);
    EXPECT_EQ(m_pFirst->m_usVehicleId, 5);
    EXPECT_EQ(m_pFirst->m_byEntryState, ENTRY_INSIDE);
    EXPECT_EQ(m_pFirst->m_byEntrySeat, ENTRY_SEAT_NONE);
    EXPECT_EQ(m_pFirst->m_uiEntryDeadline, 0u);
    EXPECT_EQ(vehicle.nOccupancy, OCCUPANCY_DRIVER);
    EXPECT_EQ(vehicle.nAssigned, 0);
    EXPECT_EQ(vehicle.nDriverSyncs, 1);
    EXPECT_EQ(vehicle.nSyncedNotes, 1);
    EXPECT_EQ(m_pFirst->m_vPosition.x, 21.0f);
    EXPECT_THAT(Events("OnPlayerEnterVehicle"), ElementsAre("OnPlayerEnterVehicle 0 5 0"));
    EXPECT_THAT(Events("OnPlayerStateChange"), ElementsAre("OnPlayerStateChange 0 1 3"));
    EXPECT_THAT(Events("OnPlayerUpdate"), ElementsAre("OnPlayerUpdate 0 2"));

    auto relays = ReceivedBy(1, wire::SV_DRIVER_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    testclient::SDriverRelay relay;
    ASSERT_TRUE(testclient::DecodeDriverRelay(relays[0], relay));
    EXPECT_EQ(+relay.driver.usVehicleId, 5);
    wire::SWireVector vPosition = relay.vehicle.vPosition;
    EXPECT_EQ(vPosition.x, 21.0f);
}

TEST_F(SyncVehicleTest, DriverSyncDuringTheEntryLockForAnotherVehicleIsIgnored)
{
    ReservedForDriver(5);
    m_World.AddVehicle(6, Vector(30.0f, 0.0f, 10.0f))
        .pVehicle->ReserveSeat(0, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    Deliver(0, Driving(6, 30.0f, 0.0f, 10.0f));
    EXPECT_EQ(m_pFirst->m_byEntryState, ENTRY_ENTERING);
    EXPECT_THAT(Events("OnPlayerUpdate"), IsEmpty());
    EXPECT_THAT(HeightsSentTo(0), IsEmpty());
}

// The player ends 2 L above the vehicle: L is 0 without a vehicle, 1 when the
// seat is someone else's, 2 when it is the player's but the entry is not.
TEST_F(SyncVehicleTest, RefusedDriverSyncPutsThePlayerBackOnFootLifted)
{
    m_World.AddVehicle(5, Vector(20.0f, 0.0f, 10.0f))
        .pVehicle->ReserveSeat(1, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    CFakeSyncWorld::SFakeVehicle& own = m_World.AddVehicle(6, Vector(30.0f, 0.0f, 10.0f));
    own.pVehicle->ReserveSeat(0, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    Peer().ClearSent();

    Deliver(0, Driving(9, 0.0f, 0.0f, 10.0f));
    Deliver(0, Driving(5, 0.0f, 0.0f, 10.0f));
    Deliver(0, Driving(6, 0.0f, 0.0f, 10.0f));
    EXPECT_THAT(HeightsSentTo(0), ElementsAre(10.0f, 12.0f, 14.0f));
    EXPECT_EQ(m_pFirst->m_byState, PLAYER_STATE_ON_FOOT);
    EXPECT_EQ(m_pFirst->m_usVehicleId, 0);
    EXPECT_THAT(Events("OnPlayerEnterVehicle"), IsEmpty());
    EXPECT_THAT(Peer().SentWithId(wire::SV_DRIVER_RELAY), IsEmpty());
}

TEST_F(SyncVehicleTest, FirstPassengerSyncTakesTheReservedSeat)
{
    CFakeSyncWorld::SFakeVehicle& vehicle = m_World.AddVehicle(6, Vector(25.0f, 5.0f, 11.0f));
    vehicle.pVehicle->ReserveSeat(0, 1, 1);
    m_pFirst->m_usEntryVehicle = 6;
    m_pFirst->m_byEntryState = ENTRY_ENTERING;
    m_pFirst->m_byEntrySeat = 1;
    m_pFirst->m_byPassengerSeat = 1;
    StreamAll();
    Peer().ClearSent();

    Deliver(0, Riding(6, 2));
    EXPECT_EQ(vehicle.Seats().abyPassengerState[1], SEAT_OCCUPIED);
    EXPECT_EQ(vehicle.Seats().abyDoorState[1], SEAT_FREE);
    EXPECT_EQ(vehicle.nOccupancy, OCCUPANCY_PASSENGER);
    EXPECT_EQ(vehicle.nAssigned, 0);
    EXPECT_EQ(vehicle.nSyncedNotes, 1);
    EXPECT_EQ(m_pFirst->m_vPosition.y, 5.0f);
    EXPECT_THAT(Events("OnPlayerEnterVehicle"), ElementsAre("OnPlayerEnterVehicle 0 6 2"));
    EXPECT_THAT(Events("OnPlayerUpdate"), ElementsAre("OnPlayerUpdate 0 3"));
    auto relays = ReceivedBy(1, wire::SV_PASSENGER_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    testclient::SPassengerRelay relay;
    ASSERT_TRUE(testclient::DecodePassengerRelay(relays[0], relay));
    EXPECT_EQ(+relay.passenger.bySeat, 2);

    // Seat 0 does not exist: refused, lifted by 2 L = 4.
    Peer().ClearSent();
    Deliver(0, Riding(6, 0));
    EXPECT_THAT(HeightsSentTo(0), ElementsAre(15.0f));
}

TEST_F(SyncVehicleTest, OnFootSyncOfADriverLeavesTheVehicle)
{
    CFakeSyncWorld::SFakeVehicle& vehicle = ReservedForDriver(5);
    Deliver(0, Driving(5, 21.0f, 0.0f, 10.0f));
    Host().ClearLog();
    m_pFirst->m_bEntryLock = false;
    Deliver(0, OnFootBytes(0, OnFoot(24.0f, 0.0f, 10.0f)));

    EXPECT_EQ(vehicle.Seats().byDriver, SEAT_NO_PLAYER);
    EXPECT_EQ(vehicle.Seats().byDriverState, SEAT_FREE);
    EXPECT_EQ(vehicle.nReassigns, 1);
    EXPECT_EQ(m_pFirst->m_usVehicleId, 0);
    EXPECT_EQ(m_pFirst->m_usEntryVehicle, 0);
    EXPECT_EQ(m_pFirst->m_byEntryState, ENTRY_NONE);
    EXPECT_THAT(Events("OnPlayerExitVehicle"), ElementsAre("OnPlayerExitVehicle 0 5"));
}

TEST_F(SyncVehicleTest, DriverThenOnFootInOneTickRelaysOnlyOnFoot)
{
    ReservedForDriver(5);
    Deliver(0, Driving(5, 21.0f, 0.0f, 10.0f));
    m_pFirst->m_bEntryLock = false;
    Peer().ClearSent();
    Queue(0, Driving(5, 22.0f, 0.0f, 10.0f));
    Queue(0, OnFootBytes(0, OnFoot(24.0f, 0.0f, 10.0f)));
    Harness().Tick();
    EXPECT_THAT(ReceivedBy(1, wire::SV_DRIVER_RELAY), IsEmpty());
    EXPECT_EQ(OnFootRelaysTo(1).size(), 1u);
}

TEST_F(SyncVehicleTest, PlayerKickedWhileEnteringOrLeavingIsLeftAlone)
{
    CFakeSyncWorld::SFakeVehicle& vehicle = ReservedForDriver(5);
    KickOn(13, 0);
    Deliver(0, Driving(5, 21.0f, 0.0f, 10.0f));
    EXPECT_EQ(Pool().Get(0), nullptr);
    EXPECT_THAT(Events("OnPlayerUpdate"), IsEmpty());
    EXPECT_EQ(vehicle.nAssigned, 255);
    EXPECT_EQ(vehicle.nDriverSyncs, 0);
    // The removal gave the seat back.
    EXPECT_EQ(vehicle.Seats().byDriver, SEAT_NO_PLAYER);

    CFakeSyncWorld::SFakeVehicle& other = m_World.AddVehicle(6, Vector(10.0f, 0.0f, 10.0f));
    other.pVehicle->ReserveSeat(1, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    other.pVehicle->CompleteEntry(1, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    m_pSecond->m_usEntryVehicle = 6;
    m_pSecond->m_usVehicleId = 6;
    m_pSecond->m_byEntryState = ENTRY_INSIDE;
    Host().ClearLog();
    KickOn(14, 1);
    Deliver(1, OnFootBytes(0, OnFoot(12.0f, 0.0f, 10.0f)));
    EXPECT_EQ(Pool().Get(1), nullptr);
    EXPECT_THAT(Events("OnPlayerStateChange"), IsEmpty());
}

// An offset from a vehicle means something only to a client that holds the
// vehicle; the others get the world position.
TEST_F(SyncVehicleTest, StandingOnAVehicleIsRelayedAsTheOffsetToObserversHoldingIt)
{
    CPlayer* pFar = Spawned(2, "Far", Vector(-300.0f, 0.0f, 10.0f));
    ASSERT_NE(pFar, nullptr);
    CFakeSyncWorld::SFakeVehicle& vehicle = m_World.AddVehicle(5, Vector(0.0f, 0.0f, 10.0f));
    vehicle.qRotation = Quaternion(0.0f, 0.0f, std::sqrt(0.5f), std::sqrt(0.5f));
    StreamAll();
    ASSERT_TRUE(Server().m_pStreamer->IsPlayerStreamed(pFar, m_pFirst));
    ASSERT_FALSE(Server().m_pStreamer->IsVehicleStreamed(pFar, 5));
    Harness().Tick();
    Peer().ClearSent();

    wire::SOnFootRecord record = OnFoot(1.0f, 0.0f, 0.0f);
    record.usSurfaceId = 5;
    Deliver(0, OnFootBytes(0, record));
    EXPECT_EQ(m_pFirst->m_usSurfaceId, 5);
    EXPECT_NEAR(m_pFirst->m_vPosition.x, 0.0f, 1e-5);
    EXPECT_NEAR(m_pFirst->m_vPosition.y, 1.0f, 1e-5);
    EXPECT_EQ(m_pFirst->m_vSurfaceOffset.x, 1.0f);

    auto nearRelays = OnFootRelaysTo(1);
    auto farRelays = OnFootRelaysTo(2);
    ASSERT_EQ(nearRelays.size(), 1u);
    ASSERT_EQ(farRelays.size(), 1u);
    wire::SWireVector vNear = nearRelays[0].onFoot.vPosition;
    wire::SWireVector vFar = farRelays[0].onFoot.vPosition;
    EXPECT_EQ(vNear.x, 1.0f);
    EXPECT_EQ(vNear.y, 0.0f);
    EXPECT_NEAR(vFar.y, 1.0f, 1e-5);
    EXPECT_EQ(vFar.z, 10.0f);
}

TEST_F(SyncVehicleTest, StandingOnAnObjectTakesItsPlacement)
{
    m_World.AddObject(7, Vector(5.0f, 5.0f, 10.0f), Quaternion());
    wire::SOnFootRecord record = OnFoot(1.0f, 0.0f, 2.0f);
    record.usSurfaceId = 1001 + 7;
    Deliver(0, OnFootBytes(0, record));
    EXPECT_EQ(m_pFirst->m_usSurfaceId, 1008);
    EXPECT_EQ(m_pFirst->m_vPosition.x, 6.0f);
    EXPECT_EQ(m_pFirst->m_vPosition.z, 12.0f);
    // An unknown surface is no surface.
    record.usSurfaceId = 1001 + 8;
    Deliver(0, OnFootBytes(0, record));
    EXPECT_EQ(m_pFirst->m_usSurfaceId, 0);
    EXPECT_EQ(m_pFirst->m_vPosition.x, 1.0f);
}

TEST_F(SyncVehicleTest, RocketsMayComeFromARocketVehicleAndExplodeOnStreamedVehicles)
{
    m_World.AddVehicle(3, Vector(0.0f, 0.0f, 10.0f), 130);
    m_World.AddVehicle(4, Vector(5.0f, 0.0f, 10.0f), 155);
    StreamAll();
    Harness().Tick(1);
    Peer().ClearSent();
    auto launch = [&](int nVehicleId)
    {
        m_pFirst->m_usVehicleId = static_cast<uint16_t>(nVehicleId);
        RakNet::BitStream stream;
        stream.Write(static_cast<uint8_t>(ID_PROJECTILE_LAUNCH));
        stream.Write(static_cast<uint8_t>(30));
        const wire::SWireVector vOrigin = {1.0f, 0.0f, 10.0f};
        stream.Write(vOrigin);
        stream.Write(vOrigin);
        const wire::SWireQuaternion qRotation = {0.0f, 0.0f, 0.0f, 1.0f};
        stream.Write(qRotation);
        Deliver(0, Bytes(stream));
    };
    launch(3);
    EXPECT_THAT(ReceivedBy(1, wire::SV_PROJECTILE), IsEmpty());
    launch(4);
    ASSERT_EQ(ReceivedBy(1, wire::SV_PROJECTILE).size(), 1u);

    RakNet::BitStream impact;
    impact.Write(static_cast<uint8_t>(ID_PROJECTILE_IMPACT));
    impact.Write(static_cast<uint16_t>(1));
    const wire::SWireVector vAt = {5.0f, 0.0f, 10.0f};
    impact.Write(vAt);
    impact.Write(static_cast<uint16_t>(4));
    Deliver(0, Bytes(impact));
    EXPECT_EQ(m_World.Vehicle(4).nExplosions, 1);
    EXPECT_THAT(Peer().SentWithId(wire::SV_EXPLOSION), IsEmpty());
}
// Whatever a client sends, with vehicles and seats around, reads stay inside
// the payload and nothing breaks (the sanitizers watch).
TEST_F(SyncVehicleTest, ArbitraryPayloadsFromASpawnedPlayerAreSafe)
{
    ReservedForDriver(5);
    m_World.AddVehicle(6, Vector(5.0f, 5.0f, 10.0f), 155).pVehicle->ReserveSeat(0, 0, ENTRY_SEAT_NO_DOOR);
    m_World.AddObject(2, Vector(1.0f, 1.0f, 1.0f), Quaternion());
    StreamAll();
    const uint8_t abyIds[] = {147, 148, 149, 150, 156, 157, 169, 170, 172, 173, 174, 175, 176, 177, 186};
    std::mt19937 random(1234);
    int nSent = 0;
    for (; nSent < 3000 && Pool().Get(0) && Pool().Get(1); ++nSent)
    {
        std::vector<uint8_t> bytes(1 + random() % 80);
        for (uint8_t& byValue : bytes)
            byValue = static_cast<uint8_t>(random());
        bytes[0] = abyIds[random() % sizeof(abyIds)];
        // Mostly the vehicles that exist and real seats, so that the seat
        // paths are reached (records travel reversed: the id's high byte first).
        if (bytes[0] == 149 && bytes.size() > 11)
            bytes[10] = 0, bytes[11] = static_cast<uint8_t>(4 + random() % 4);
        if (bytes[0] == 150 && bytes.size() > 9)
            bytes[5] = static_cast<uint8_t>(random() % 10), bytes[8] = 0,
            bytes[9] = static_cast<uint8_t>(4 + random() % 4);
        Server().m_pNetwork->DispatchRaw(static_cast<int>(random() % 2), bytes.data(),
                                         static_cast<int>(bytes.size()));
        // Violations would end the run with a kick; the point here is the input.
        m_pFirst->m_byPendingRemoval = 0;
        m_pSecond->m_byPendingRemoval = 0;
        if (nSent % 7 == 0)
            Harness().Tick(static_cast<uint32_t>(random() % 700));
    }
    EXPECT_EQ(nSent, 3000);
    Harness().Tick();
}
} // namespace
