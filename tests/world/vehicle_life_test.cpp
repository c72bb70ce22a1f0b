// A vehicle's life on the manual clock: explode and the wreck respawn, the
// height and idle rules, the simulation assignment, unoccupied sync with the
// damage lock and the spawn counter, and deletion from inside its events.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "VehicleTestFixture.h"
#include "players/CPlayerSync.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
class VehicleLifeTest : public CVehicleTest
{
protected:
    // A vehicle next to both players, streamed in for both and given to the
    // first by the proximity check; nothing sent or recorded yet.
    int NearbyAssigned()
    {
        const int nId = Create(130, Vector(2.0f, 0.0f, 10.0f));
        StreamAll();
        Server().m_pStreamer->CheckVehicleProximity(nId);
        Peer().ClearSent();
        Host().ClearLog();
        return nId;
    }
};

TEST_F(VehicleLifeTest, TwoExplosionsGiveOneMessageAndTheWreckRespawnsAfter5000Ms)
{
    const int nId = NearbyAssigned();
    ASSERT_EQ(Vehicle(nId)->m_byAssignedPlayer, 0);
    // The second player does not simulate it: its report changes nothing.
    Deliver(1, ExplodedBytes(nId));
    EXPECT_FALSE(Vehicle(nId)->m_bWrecked);
    Deliver(0, ExplodedBytes(nId));
    Deliver(0, ExplodedBytes(nId));
    EXPECT_THAT(VehicleIdsTo(1, wire::SV_VEHICLE_EXPLODE), ElementsAre(nId));
    EXPECT_THAT(Events("OnVehicleExplode"), ElementsAre("OnVehicleExplode 1"));

    Harness().Tick(5000);
    EXPECT_TRUE(Vehicle(nId)->m_bWrecked) << "respawns only once 5000 ms have passed";
    Harness().Tick(1);
    EXPECT_FALSE(Vehicle(nId)->m_bWrecked);
    EXPECT_EQ(Vehicle(nId)->m_usSpawnCounter, 1);
    EXPECT_THAT(VehicleIdsTo(1, wire::SV_VEHICLE_DESTROY), ElementsAre(nId));
    auto created = ReceivedBy(1, wire::SV_VEHICLE_CREATE);
    ASSERT_EQ(created.size(), 1u);
    testclient::SVehicleCreate create;
    ASSERT_TRUE(testclient::DecodeVehicleCreate(created[0], create));
    EXPECT_EQ(create.usSpawnCounter, 1);
    EXPECT_EQ(create.byOptionFlags & 0x80, 0);
    EXPECT_THAT(Events("OnVehicleRespawn"), ElementsAre("OnVehicleRespawn 1"));
    // The respawn took the assignment away (250); the next check gives it back.
    EXPECT_THAT(VehicleIdsTo(0, wire::SV_VEHICLE_ASSIGNMENT_LOST), ElementsAre(nId));
}

TEST_F(VehicleLifeTest, LostAndIdleVehiclesRespawnOnlyAfterTheirTime)
{
    const int nLow = Create(130, Vector(600.0f, 0.0f, -51.0f));
    const int nIdle = Create(130, Vector(600.0f, 50.0f, 10.0f));
    F()->SetVehicleIdleRespawnTimer(nIdle, 10000);
    // Where it respawns it stays.
    F()->SetVehicleSpawnPosition(nLow, 600.0f, 0.0f, 10.0f);
    Host().ClearLog();
    // Nobody has used the low vehicle for 3 s at the first 500 ms check after that.
    for (int nMs = 100; nMs <= 3000; nMs += 100)
        Harness().Tick(100);
    EXPECT_EQ(Vehicle(nLow)->m_usSpawnCounter, 0);
    for (int nMs = 0; nMs < 600; nMs += 100)
        Harness().Tick(100);
    EXPECT_EQ(Vehicle(nLow)->m_usSpawnCounter, 1);
    EXPECT_EQ(Vehicle(nIdle)->m_usSpawnCounter, 0);
    Harness().Tick(10000 - 3600);
    EXPECT_EQ(Vehicle(nIdle)->m_usSpawnCounter, 0);
    Harness().Tick(1);
    EXPECT_EQ(Vehicle(nIdle)->m_usSpawnCounter, 1);
    EXPECT_THAT(Events("OnVehicleRespawn"), ElementsAre("OnVehicleRespawn 1", "OnVehicleRespawn 2"));
}

// A plugin's damage outlives a report sent before the client heard of it;
// reports from anyone but the assigned player, or from before a respawn, are dropped.
TEST_F(VehicleLifeTest, UnoccupiedSyncKeepsRecentServerDamageAndNeedsTheCurrentSpawnCounter)
{
    const int nId = NearbyAssigned();
    F()->SetVehicleDamageData(nId, 0x55);
    EXPECT_EQ(CountTo(0, wire::SV_VEHICLE_DAMAGE), 1);
    EXPECT_EQ(CountTo(1, wire::SV_VEHICLE_DAMAGE), 0);

    Harness().Time().Advance(1999);
    Deliver(0, UnoccupiedBytes(nId, 0, RecordAt(3.0f, 0.0f, 10.0f, 0)));
    EXPECT_EQ(Vehicle(nId)->m_uiDamage, 0x55u);
    EXPECT_EQ(Vehicle(nId)->m_vPosition.x, 3.0f);
    // Relayed in the tick to the other observer only, with an update event.
    EXPECT_EQ(CountTo(1, wire::SV_UNOCCUPIED_RELAY), 1);
    EXPECT_EQ(CountTo(0, wire::SV_UNOCCUPIED_RELAY), 0);
    EXPECT_THAT(Events("OnVehicleUpdate"), ElementsAre("OnVehicleUpdate 1 1"));

    Harness().Time().Advance(1);
    Deliver(0, UnoccupiedBytes(nId, 0, RecordAt(4.0f, 0.0f, 10.0f, 7)));
    EXPECT_EQ(Vehicle(nId)->m_uiDamage, 7u);

    Deliver(1, UnoccupiedBytes(nId, 0, RecordAt(50.0f, 0.0f, 10.0f)));
    F()->RespawnVehicle(nId);
    StreamAll();
    Server().m_pStreamer->CheckVehicleProximity(nId);
    ASSERT_EQ(Vehicle(nId)->m_byAssignedPlayer, 0);
    Deliver(0, UnoccupiedBytes(nId, 0, RecordAt(60.0f, 0.0f, 10.0f)));
    EXPECT_EQ(Vehicle(nId)->m_vPosition.x, 2.0f);
    Deliver(0, UnoccupiedBytes(nId, 1, RecordAt(60.0f, 0.0f, 10.0f)));
    EXPECT_EQ(Vehicle(nId)->m_vPosition.x, 60.0f);
}

struct SHandOver
{
    float fAssigned;
    float fCandidate;
    bool bChanges;
};

TEST_F(VehicleLifeTest, ANearestPlayerIsReplacedOnlyByOneClearlyNearer)
{
    const SHandOver aCases[] = {{40.0f, 20.0f, true}, {14.0f, 10.0f, false}, {4.0f, 1.0f, true}};
    for (const SHandOver& test : aCases)
    {
        const int nId = NearbyAssigned();
        CVehicle* pVehicle = Vehicle(nId);
        ASSERT_EQ(pVehicle->m_nOccupancyState, OCCUPANCY_NEAREST);
        m_pFirst->m_vPosition = pVehicle->m_vPosition + Vector(test.fAssigned, 0.0f, 0.0f);
        pVehicle->OfferNearest(1, test.fCandidate);
        EXPECT_EQ(pVehicle->m_byAssignedPlayer, test.bChanges ? 1 : 0) << test.fAssigned;
        EXPECT_EQ(CountTo(0, wire::SV_VEHICLE_ASSIGNMENT_LOST), test.bChanges ? 1 : 0);
        EXPECT_EQ(CountTo(1, wire::SV_VEHICLE_ASSIGNMENT_GAINED), test.bChanges ? 1 : 0);
        F()->DeleteVehicle(nId);
        m_pFirst->m_vPosition = Vector(0.0f, 0.0f, 10.0f);
    }
}

// Deleting the vehicle from inside any of its events waits until the event
// is over, and nothing touches the record afterwards (the sanitizer checks).
TEST_F(VehicleLifeTest, DeletingTheVehicleInsideItsEventsIsDeferred)
{
    const int nId = NearbyAssigned();
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == 19 || nSlot == 18 || nSlot == 20)
                           EXPECT_EQ(F()->DeleteVehicle(pnArgs[0]), 0);
                   });
    Deliver(0, ExplodedBytes(nId));
    EXPECT_EQ(Vehicle(nId), nullptr);
    EXPECT_THAT(Events("OnEntityPoolChange"), ElementsAre("OnEntityPoolChange 1 1 1"));

    const int nSecond = NearbyAssigned();
    F()->SetVehicleColours(nSecond, 3, 4);
    EXPECT_EQ(Vehicle(nSecond), nullptr);
    const int nThird = NearbyAssigned();
    F()->RespawnVehicle(nThird);
    Harness().Tick();
    EXPECT_EQ(Vehicle(nThird), nullptr);
    Host().SetHook(0, nullptr);
    EXPECT_EQ(Server().m_pVehiclePool->Count(), 0);
}
// A plugin that moves the player from inside the exit the streamer caused
// streams the vehicle out in its own pass; the outer pass must not do it twice.
TEST_F(VehicleLifeTest, TheStreamerLooksTheVehicleUpAgainAfterAnExitEvent)
{
    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    ASSERT_EQ(F()->PutPlayerInVehicle(0, nId, 0, 0, 1), 0);
    Deliver(0, DrivingBytes(nId, 5.0f, 0.0f, 10.0f));
    ASSERT_EQ(m_pFirst->m_byEntryState, ENTRY_INSIDE);
    StreamAll();
    Vehicle(nId)->m_usWorld = 2;
    Peer().ClearSent();
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == 14)
                           F()->SetPlayerPosition(pnArgs[0], 0.0f, 0.0f, 10.0f);
                   });
    Server().m_pStreamer->StreamPlayer(m_pFirst);
    Host().SetHook(0, nullptr);
    EXPECT_EQ(m_pFirst->m_usEntryVehicle, 0);
    EXPECT_THAT(VehicleIdsTo(0, wire::SV_VEHICLE_DESTROY), ElementsAre(nId));
}
// The wreck respawn and the damage lock keep their times across the wrap of
// the millisecond clock.
TEST_F(VehicleLifeTest, TimersHoldAcrossTheClockWrap)
{
    const int nId = NearbyAssigned();
    Harness().Time().m_uiTickMs = 0xFFFFFFFFu - 1000u;
    Harness().Tick();
    F()->ExplodeVehicle(nId);
    F()->SetVehicleDamageData(nId, 0x55);
    Harness().Tick(1999);
    Deliver(0, UnoccupiedBytes(nId, 0, RecordAt(3.0f, 0.0f, 10.0f, 0)));
    EXPECT_EQ(Vehicle(nId)->m_uiDamage, 0x55u) << "still locked after the wrap";
    Harness().Tick(3001);
    EXPECT_TRUE(Vehicle(nId)->m_bWrecked);
    Harness().Tick(1);
    EXPECT_FALSE(Vehicle(nId)->m_bWrecked);
}

// A plugin's damage holds for 2000 ms and no longer, however long the
// vehicle then goes without a report: even 2^31 ms and more later, and with
// no tick between the change and the report.
TEST_F(VehicleLifeTest, TheDamageLockEndsForGood)
{
    const int nId = NearbyAssigned();
    for (uint32_t uiLater : {2001u, 0x80000000u + 5000u, 0xFFFFF000u})
    {
        F()->SetVehicleDamageData(nId, 0x55);
        Harness().Time().m_uiTickMs += uiLater;
        Deliver(0, UnoccupiedBytes(nId, 0, RecordAt(3.0f, 0.0f, 10.0f, uiLater)));
        EXPECT_EQ(Vehicle(nId)->m_uiDamage, uiLater) << uiLater;
    }
}
} // namespace
