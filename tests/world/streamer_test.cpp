#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"
#include "world/support/CWorldFixture.h"

namespace
{

using worldtest::CFakeEntities;
using worldtest::CWorldFixture;

Vector At(float fX, float fY = 0.0f, float fZ = 0.0f)
{
    return Vector(fX, fY, fZ);
}

class StreamerTest : public ::testing::Test
{
protected:
    CStreamer& Streamer() { return m_World.Streamer(); }

    int VisitsOfPlayer(CPlayer* pTarget, int nObserver)
    {
        int nVisits = 0;
        Streamer().ForEachObserverOfPlayer(pTarget, [&](CPlayer* pObserver, CPlayer*)
                                           { nVisits += pObserver->GetSlot() == nObserver ? 1 : 0; });
        return nVisits;
    }

    CWorldFixture m_World;
};

// ---------------------------------------------------------------------------
// Radii and hysteresis

// For a kind with radii in / out: beyond in but inside out stays out, just
// inside in comes in, just inside out stays in, just beyond out goes.
struct SBand
{
    const char* szKind;
    float fIn;
    float fOut;
};

TEST_F(StreamerTest, EachKindStreamsInAndOutAtItsOwnRadii)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    const SBand aBands[] = {
        {"vehicle", 280.0f, 300.0f}, {"pickup", 150.0f, 170.0f}, {"object", 240.0f, 260.0f}};
    for (const SBand& band : aBands)
    {
        SCOPED_TRACE(band.szKind);
        const std::string strKind = band.szKind;
        auto place = [&](float fX)
        {
            if (strKind == "vehicle")
                m_World.Vehicles().Place(5, At(fX), 1);
            else
                (strKind == "pickup" ? m_World.Pickups() : m_World.Objects()).Place(5, At(fX), 1);
        };
        auto streamed = [&]
        {
            return strKind == "vehicle"  ? Streamer().IsVehicleStreamed(pPlayer, 5)
                   : strKind == "pickup" ? Streamer().IsPickupStreamed(pPlayer, 5)
                                         : Streamer().IsObjectStreamed(pPlayer, 5);
        };
        place(band.fIn + 10.0f);
        Streamer().StreamPlayer(pPlayer);
        EXPECT_FALSE(streamed());
        place(band.fIn - 1.0f);
        Streamer().StreamPlayer(pPlayer);
        EXPECT_TRUE(streamed());
        place(band.fOut - 1.0f);
        Streamer().StreamPlayer(pPlayer);
        EXPECT_TRUE(streamed());
        place(band.fOut + 1.0f);
        Streamer().StreamPlayer(pPlayer);
        EXPECT_FALSE(streamed());
    }
    EXPECT_EQ(m_World.Vehicles().CountEvents(5, 0, true), 1);
    EXPECT_EQ(m_World.Vehicles().CountEvents(5, 0, false), 1);
    EXPECT_EQ(m_World.Objects().CountEvents(5, 0, false), 1);
}

TEST_F(StreamerTest, UpdateVehicleKeepsTheSameBand)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    const float afSteps[] = {290.0f, 279.0f, 299.0f, 301.0f};
    const bool abExpected[] = {false, true, true, false};
    for (int i = 0; i < 4; ++i)
    {
        m_World.Vehicles().Place(9, At(0.0f, afSteps[i]), 1);
        Streamer().UpdateVehicle(9);
        EXPECT_EQ(Streamer().IsVehicleStreamed(pPlayer, 9), abExpected[i]) << afSteps[i];
    }
}

TEST_F(StreamerTest, PlayersSeeEachOtherWithinTheirBand)
{
    CPlayer* pA = m_World.AddPlayer(0, At(0));
    CPlayer* pB = m_World.AddPlayer(1, At(330));
    Streamer().StreamPlayer(pA);
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pA, pB));

    // The first to come in range opens both directions in one step, with
    // one spawn description each way.
    m_World.MovePlayer(pB, At(310));
    Streamer().StreamPlayer(pA);
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pA, pB));
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pB, pA));
    EXPECT_EQ(m_World.Peer().Count(0, ID_SPAWN_DESCRIPTION), 1);
    EXPECT_EQ(m_World.Peer().Count(1, ID_SPAWN_DESCRIPTION), 1);

    m_World.MovePlayer(pB, At(339));
    Streamer().StreamPlayer(pA);
    Streamer().StreamPlayer(pB);
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pA, pB));

    m_World.MovePlayer(pB, At(341));
    Streamer().StreamPlayer(pA);
    Streamer().StreamPlayer(pB);
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pA, pB));
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pB, pA));
    EXPECT_EQ(m_World.Peer().Count(0, ID_STREAM_OUT_NOTICE), 1);
    EXPECT_EQ(m_World.Peer().Count(1, ID_STREAM_OUT_NOTICE), 1);
}

TEST_F(StreamerTest, AverageSpeedProjectsTheRangeAhead)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    pPlayer->m_vAverageSpeed = At(5.0f);
    // 40 x 5 = 200 units ahead. The pass finds candidates in the cells
    // around the player, so 310 (110 from the projection) comes in there;
    // 450 (250 from it) comes in when the vehicle itself is updated.
    m_World.Vehicles().Place(1, At(310), 1);
    m_World.Vehicles().Place(2, At(-310), 1);
    m_World.Vehicles().Place(3, At(450), 1);
    Streamer().StreamPlayer(pPlayer);
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pPlayer, 1));
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pPlayer, 2));
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pPlayer, 3));
    Streamer().UpdateVehicle(3);
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pPlayer, 3));
    EXPECT_TRUE(Streamer().IsInStreamRange(pPlayer, At(450), 280.0f));

    pPlayer->m_vAverageSpeed = At(0.0f);
    EXPECT_FALSE(Streamer().IsInStreamRange(pPlayer, At(450), 280.0f));
    pPlayer->m_bSpawned = false;
    EXPECT_FALSE(Streamer().IsInStreamRange(pPlayer, At(0), 280.0f));
}

// ---------------------------------------------------------------------------
// Rules of the kinds

TEST_F(StreamerTest, VehicleStaysUnderAVisibleOccupant)
{
    CPlayer* pObserver = m_World.AddPlayer(0, At(0));
    CPlayer* pDriver = m_World.AddPlayer(1, At(100));
    m_World.Vehicles().Place(5, At(100), 1);
    m_World.Vehicles().SetSeat(5, 0, 1);
    pDriver->m_usEntryVehicle = 5;
    Streamer().StreamPlayer(pObserver);
    ASSERT_TRUE(Streamer().IsVehicleStreamed(pObserver, 5));
    ASSERT_TRUE(Streamer().IsPlayerStreamed(pObserver, pDriver));

    m_World.Vehicles().Place(5, At(320), 1);
    m_World.MovePlayer(pDriver, At(320));
    Streamer().StreamPlayer(pObserver);
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pObserver, 5));
    EXPECT_EQ(m_World.Vehicles().CountEvents(5, 0, false), 0);

    // Once the driver is gone from the observer's view the vehicle may go.
    m_World.Vehicles().Place(5, At(400), 1);
    m_World.MovePlayer(pDriver, At(400));
    Streamer().StreamPlayer(pDriver);
    ASSERT_FALSE(Streamer().IsPlayerStreamed(pObserver, pDriver));
    Streamer().StreamPlayer(pObserver);
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pObserver, 5));
}

TEST_F(StreamerTest, PlayerInAnUnseenVehicleIsNotStreamedIn)
{
    CPlayer* pObserver = m_World.AddPlayer(0, At(0));
    CPlayer* pDriver = m_World.AddPlayer(1, At(100));
    m_World.Vehicles().Place(7, At(100), 2);
    pDriver->m_usEntryVehicle = 7;
    Streamer().StreamPlayer(pObserver);
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pObserver, pDriver));
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pDriver, pObserver));
}

TEST_F(StreamerTest, OwnVehicleStaysWhateverTheDistance)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    m_World.Vehicles().Place(8, At(10), 1);
    Streamer().StreamPlayer(pPlayer);
    pPlayer->m_usEntryVehicle = 8;
    m_World.Vehicles().Place(8, At(900), 1);
    Streamer().StreamPlayer(pPlayer);
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pPlayer, 8));
}

TEST_F(StreamerTest, WorldRulesDifferByKind)
{
    CPlayer* pWorld1 = m_World.AddPlayer(0, At(0), 1);
    CPlayer* pWorld5 = m_World.AddPlayer(1, At(0, 10), 5);
    CPlayer* pWorld0 = m_World.AddPlayer(2, At(0, 20), 0);
    pWorld1->m_usSecondaryWorld = 7;
    m_World.Pickups().Place(1, At(5), 0);
    m_World.Pickups().Place(2, At(5), 7);
    m_World.Pickups().Place(3, At(5), 10000 + 1);
    m_World.Vehicles().Place(4, At(5), 0);
    for (CPlayer* pPlayer : {pWorld1, pWorld5, pWorld0})
        Streamer().StreamPlayer(pPlayer);

    // World 0 pickups for every world; secondary and private worlds count.
    for (CPlayer* pPlayer : {pWorld1, pWorld5, pWorld0})
        EXPECT_TRUE(Streamer().IsPickupStreamed(pPlayer, 1));
    EXPECT_TRUE(Streamer().IsPickupStreamed(pWorld1, 2));
    EXPECT_FALSE(Streamer().IsPickupStreamed(pWorld5, 2));
    EXPECT_TRUE(Streamer().IsPickupStreamed(pWorld5, 3));
    EXPECT_FALSE(Streamer().IsPickupStreamed(pWorld1, 3));
    // A world-0 vehicle only for world 0; players only within their world.
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pWorld1, 4));
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pWorld5, 4));
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pWorld0, 4));
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pWorld1, pWorld5));

    // Leaving the pickup's world takes it away at the next pass.
    pWorld1->m_usSecondaryWorld = 0;
    Streamer().StreamPlayer(pWorld1);
    EXPECT_FALSE(Streamer().IsPickupStreamed(pWorld1, 2));
}

TEST_F(StreamerTest, SpectatorSeesAroundItsTargetOneWay)
{
    CPlayer* pSpectator = m_World.AddPlayer(0, At(-1000), 1, false);
    CPlayer* pTarget = m_World.AddPlayer(1, At(1000));
    CPlayer* pNearTarget = m_World.AddPlayer(2, At(1100));
    m_World.Vehicles().Place(3, At(1050), 1);
    m_World.Objects().Place(4, At(1000, 200), 1);
    pSpectator->m_bySpectateTarget = 1;
    Streamer().StreamPlayer(pSpectator);
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pSpectator, pTarget));
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pSpectator, pNearTarget));
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pNearTarget, pSpectator));
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pSpectator, 3));
    EXPECT_TRUE(Streamer().IsObjectStreamed(pSpectator, 4));

    // Its death keeps what it sees through the target; nobody sees it.
    Streamer().StreamPlayer(pNearTarget);
    pSpectator->LeaveGridCell();
    Streamer().OnPlayerLeftWorld(pSpectator);
    EXPECT_TRUE(Streamer().IsVehicleStreamed(pSpectator, 3));
    EXPECT_TRUE(Streamer().IsPlayerStreamed(pSpectator, pNearTarget));

    pSpectator->m_bySpectateTarget = NO_SPECTATE_TARGET;
    Streamer().StreamPlayer(pSpectator);
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pSpectator, 3));
    EXPECT_FALSE(Streamer().IsObjectStreamed(pSpectator, 4));
}

// ---------------------------------------------------------------------------
// Lists

TEST_F(StreamerTest, OutAndInBeforeAPruneLeavesOneNode)
{
    CPlayer* pA = m_World.AddPlayer(0, At(0));
    CPlayer* pB = m_World.AddPlayer(1, At(300));
    m_World.Vehicles().Place(2, At(10), 1);
    Streamer().UpdateVehicle(2);
    m_World.Vehicles().Place(2, At(500), 1);
    Streamer().UpdateVehicle(2);
    m_World.Vehicles().Place(2, At(10), 1);
    Streamer().UpdateVehicle(2);
    EXPECT_EQ(Streamer().GetVehicleListLength(0), 1);

    Streamer().StreamPlayer(pA);
    ASSERT_TRUE(Streamer().IsPlayerStreamed(pA, pB));
    m_World.MovePlayer(pA, At(-100));
    Streamer().StreamPlayer(pB);
    ASSERT_FALSE(Streamer().IsPlayerStreamed(pA, pB));
    m_World.MovePlayer(pA, At(0));
    Streamer().StreamPlayer(pA);
    EXPECT_EQ(Streamer().GetPlayerListLength(1), 1);
    EXPECT_EQ(VisitsOfPlayer(pB, 0), 1);
}

TEST_F(StreamerTest, VanishedEntitiesAreDroppedByTheNextPrune)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    m_World.Pickups().Place(11, At(20), 1);
    Streamer().StreamPlayer(pPlayer);
    ASSERT_TRUE(Streamer().IsPickupStreamed(pPlayer, 11));
    m_World.Pickups().Erase(11);
    Streamer().StreamPlayer(pPlayer);
    EXPECT_FALSE(Streamer().IsPickupStreamed(pPlayer, 11));
    EXPECT_EQ(m_World.Pickups().CountEvents(11, 0, false), 0);
}

// A death and a respawn must not leave the dead player listed twice on the
// lists of the players it saw: each relay would reach it twice.
TEST_F(StreamerTest, RespawnAfterDeathIsRelayedOnce)
{
    CPlayer* pA = m_World.AddPlayer(0, At(0));
    CPlayer* pB = m_World.AddPlayer(1, At(50));
    Streamer().StreamPlayer(pA);
    ASSERT_EQ(VisitsOfPlayer(pB, 0), 1);

    pA->m_bSpawned = false;
    pA->LeaveGridCell();
    Streamer().OnPlayerLeftWorld(pA);
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pA, pB));
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pB, pA));

    pA->m_bSpawned = true;
    pA->UpdateGridCell();
    Streamer().StreamPlayer(pA);
    EXPECT_EQ(Streamer().GetPlayerListLength(1), 1);
    EXPECT_EQ(VisitsOfPlayer(pB, 0), 1);
    EXPECT_EQ(VisitsOfPlayer(pA, 1), 1);
}

TEST_F(StreamerTest, ReusedSlotStartsClean)
{
    CPlayer* pA = m_World.AddPlayer(0, At(0));
    CPlayer* pB = m_World.AddPlayer(1, At(50));
    m_World.Vehicles().Place(3, At(10), 1);
    m_World.Objects().Place(4, At(10), 1);
    Streamer().StreamPlayer(pA);
    ASSERT_TRUE(Streamer().IsObjectStreamed(pA, 4));
    const int nFreeBefore = Streamer().GetNodePool().GetFreeCount();

    ASSERT_TRUE(m_World.RemovePlayer(0));
    EXPECT_EQ(m_World.Vehicles().CountEvents(3, 0, false), 1);
    EXPECT_EQ(m_World.Objects().CountEvents(4, 0, false), 1);
    EXPECT_EQ(Streamer().GetPlayerListLength(1), 0);
    EXPECT_GT(Streamer().GetNodePool().GetFreeCount(), nFreeBefore);

    CPlayer* pNew = m_World.AddPlayer(0, At(1000), 1, false);
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pNew, pB));
    EXPECT_FALSE(Streamer().IsPlayerStreamed(pB, pNew));
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pNew, 3));
    EXPECT_FALSE(Streamer().IsObjectStreamed(pNew, 4));
    EXPECT_EQ(Streamer().GetVehicleListLength(0), 0);
}

// ---------------------------------------------------------------------------
// Passes

TEST_F(StreamerTest, PlayerPassTakesOneTickPerPlayerAndStartsOncePerInterval)
{
    for (int nSlot = 0; nSlot < 100; ++nSlot)
        m_World.AddPlayer(nSlot, At(-2000.0f + 35.0f * nSlot, 1500.0f - 30.0f * nSlot));
    uint32_t uiNow = 5000;
    for (int nTick = 1; nTick <= 100; ++nTick)
    {
        Streamer().Process(uiNow);
        EXPECT_EQ(Streamer().GetNextPlayer(), nTick % 100);
        EXPECT_EQ(Streamer().GetPlayerPassStarted(), 5000u);
        uiNow += 5;
    }
    // 500 ms into the pass: no new pass until 1000 ms after the last began.
    for (; uiNow < 5999; uiNow += 5)
    {
        Streamer().Process(uiNow);
        ASSERT_EQ(Streamer().GetNextPlayer(), 0);
    }
    Streamer().Process(6000);
    EXPECT_EQ(Streamer().GetPlayerPassStarted(), 6000u);
    EXPECT_EQ(Streamer().GetNextPlayer(), 1);
}

TEST_F(StreamerTest, PassesSkipEmptySlots)
{
    m_World.AddPlayer(3, At(0));
    m_World.AddPlayer(7, At(500));
    m_World.Vehicles().Place(2, At(1000), 1);
    m_World.Vehicles().Place(5, At(1000), 1);
    Streamer().Process(2000);
    EXPECT_EQ(Streamer().GetNextPlayer(), 4);
    EXPECT_EQ(Streamer().GetNextVehicle(), 3);
    Streamer().Process(2005);
    EXPECT_EQ(Streamer().GetNextPlayer(), 8);
    EXPECT_EQ(Streamer().GetNextVehicle(), 6);
    Streamer().Process(2010);
    EXPECT_EQ(Streamer().GetNextPlayer(), 0);
    EXPECT_EQ(Streamer().GetNextVehicle(), 1);
    Streamer().Process(2015);
    EXPECT_EQ(Streamer().GetNextPlayer(), 0);
    EXPECT_EQ(Streamer().GetNextVehicle(), 1);
    ASSERT_EQ(m_World.Vehicles().m_Offers.size(), 2u);
    EXPECT_EQ(m_World.Vehicles().m_Offers[0].nId, 2);
    EXPECT_EQ(m_World.Vehicles().m_Offers[1].nId, 5);
}

TEST_F(StreamerTest, PassesSurviveTheClockWrap)
{
    // 1024 ms before the wrap; the next start is due 1000 ms later, just
    // before the clock wraps, and is made on the first tick after it.
    Streamer().Process(0xFFFFFC00u);
    ASSERT_EQ(Streamer().GetPlayerPassStarted(), 0xFFFFFC00u);
    Streamer().Process(0xFFFFFF00u);
    EXPECT_EQ(Streamer().GetPlayerPassStarted(), 0xFFFFFC00u);
    Streamer().Process(0x00000010u);
    EXPECT_EQ(Streamer().GetPlayerPassStarted(), 0x10u);
    EXPECT_EQ(Streamer().GetVehiclePassStarted(), 0x10u);
}

// Every reading of the microsecond clock moves it on by 7.
class CSteppingTime : public CManualTime
{
public:
    uint64_t GetMicroseconds() override { return m_ullMicroseconds += 7; }
};

TEST_F(StreamerTest, PassesAreTimedIntoTheirPerformanceSlots)
{
    CSteppingTime time;
    SetTimeSource(&time);
    m_World.AddPlayer(0, At(0));
    Streamer().Process(5000);
    SetTimeSource(&m_World.Time());
    EXPECT_EQ(m_World.Server().m_aullPerfTotals[PERF_STREAMING], 7u);
    EXPECT_EQ(m_World.Server().m_aullPerfTotals[PERF_VEHICLE_PROXIMITY], 7u);
}

// ---------------------------------------------------------------------------
// Vehicle assignment

TEST_F(StreamerTest, ProximityOffersTheNearestPlayerThatHoldsTheVehicle)
{
    CPlayer* pFar = m_World.AddPlayer(0, At(50));
    CPlayer* pNear = m_World.AddPlayer(1, At(30));
    m_World.AddPlayer(2, At(10), 2);
    m_World.Vehicles().Place(3, At(0), 1);
    Streamer().StreamPlayer(pFar);
    Streamer().StreamPlayer(pNear);
    Streamer().CheckVehicleProximity(3);
    ASSERT_EQ(m_World.Vehicles().m_Offers.size(), 1u);
    EXPECT_EQ(m_World.Vehicles().m_Offers[0].nSlot, 1);
    EXPECT_FLOAT_EQ(m_World.Vehicles().m_Offers[0].fDistance, 30.0f);

    // Seated vehicles are not offered; nobody within 100 offers none.
    m_World.Vehicles().m_anOccupancy[3] = 1;
    Streamer().CheckVehicleProximity(3);
    EXPECT_EQ(m_World.Vehicles().m_Offers.size(), 1u);
    m_World.Vehicles().m_anOccupancy[3] = 4;
    m_World.Vehicles().Place(3, At(200), 1);
    Streamer().CheckVehicleProximity(3);
    ASSERT_EQ(m_World.Vehicles().m_Offers.size(), 2u);
    EXPECT_EQ(m_World.Vehicles().m_Offers[1].nSlot, 255);
    EXPECT_FLOAT_EQ(m_World.Vehicles().m_Offers[1].fDistance, 100.0f);
}

TEST_F(StreamerTest, LosingTheAssignedPlayerReassigns)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    m_World.Vehicles().Place(6, At(20), 1);
    m_World.Vehicles().Place(9, At(900), 1);
    Streamer().StreamPlayer(pPlayer);
    m_World.Vehicles().m_anAssigned[6] = 0;
    m_World.Vehicles().Place(6, At(600), 1);
    Streamer().StreamPlayer(pPlayer);
    ASSERT_EQ(m_World.Vehicles().m_Reassigned.size(), 1u);
    EXPECT_EQ(m_World.Vehicles().m_Reassigned[0], 6);

    m_World.Vehicles().m_anAssigned[6] = 255;
    m_World.Vehicles().m_anAssigned[9] = 0;
    ASSERT_TRUE(m_World.RemovePlayer(0));
    EXPECT_EQ(m_World.Vehicles().m_Reassigned.back(), 9);
}

TEST_F(StreamerTest, VehicleChangingWorldLeavesItsOccupantsBehind)
{
    CPlayer* pDriver = m_World.AddPlayer(0, At(0));
    m_World.Vehicles().Place(4, At(0), 1);
    Streamer().StreamPlayer(pDriver);
    m_World.Vehicles().SetSeat(4, 0, 0);
    pDriver->m_usEntryVehicle = 4;
    pDriver->m_usVehicleId = 4;
    m_World.Vehicles().Place(4, At(0), 2);
    Streamer().UpdateVehicle(4);
    EXPECT_EQ(pDriver->m_usEntryVehicle, 0);
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pDriver, 4));
}

TEST_F(StreamerTest, RemovedVehicleGoesEvenUnderAVisibleDriver)
{
    CPlayer* pObserver = m_World.AddPlayer(0, At(0));
    m_World.AddPlayer(1, At(20));
    m_World.Vehicles().Place(5, At(20), 1);
    Streamer().StreamPlayer(pObserver);
    m_World.Vehicles().SetSeat(5, 0, 1);
    Streamer().RemoveVehicle(5);
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pObserver, 5));
    EXPECT_EQ(m_World.Vehicles().CountEvents(5, 0, false), 1);
    ASSERT_EQ(m_World.Vehicles().m_Released.size(), 1u);
}

// ---------------------------------------------------------------------------
// Observers and bad identifiers

TEST_F(StreamerTest, EntityObserversComeInSlotOrder)
{
    CPlayer* pLate = m_World.AddPlayer(9, At(0));
    CPlayer* pEarly = m_World.AddPlayer(2, At(5));
    m_World.AddPlayer(4, At(900));
    m_World.Objects().Place(77, At(0), 1);
    Streamer().StreamPlayer(pLate);
    Streamer().StreamPlayer(pEarly);
    std::vector<int> slots;
    Streamer().ForEachObserverOfObject(77,
                                       [&](CPlayer* pObserver, int nId)
                                       {
                                           EXPECT_EQ(nId, 77);
                                           slots.push_back(pObserver->GetSlot());
                                       });
    EXPECT_EQ(slots, (std::vector<int>{2, 9}));

    Streamer().RemoveObject(77);
    EXPECT_FALSE(Streamer().IsObjectStreamed(pLate, 77));
    EXPECT_EQ(m_World.Objects().CountEvents(77, 2, false), 1);
}

TEST_F(StreamerTest, IdentifiersOutOfRangeDoNothing)
{
    CPlayer* pPlayer = m_World.AddPlayer(0, At(0));
    EXPECT_FALSE(Streamer().IsVehicleStreamed(pPlayer, 1001));
    EXPECT_FALSE(Streamer().IsPickupStreamed(pPlayer, -1));
    EXPECT_FALSE(Streamer().IsObjectStreamed(100, 5));
    EXPECT_FALSE(Streamer().IsPlayerStreamed(nullptr, pPlayer));
    Streamer().UpdateVehicle(-3);
    Streamer().UpdatePickup(2000);
    Streamer().RemoveObject(3000);
    Streamer().CheckVehicleProximity(5000);
    Streamer().StreamPlayer(nullptr);
    Streamer().RemovePlayer(nullptr);
    int nCalls = 0;
    Streamer().ForEachObserverOfPickup(-1, [&](CPlayer*, int) { ++nCalls; });
    EXPECT_EQ(nCalls, 0);
    EXPECT_TRUE(m_World.Vehicles().m_Offers.empty());
}

TEST_F(StreamerTest, AreaQueryUsesHorizontalDistance)
{
    m_World.AddPlayer(0, At(0));
    m_World.AddPlayer(1, At(149, 0, 900));
    m_World.AddPlayer(2, At(106, 107));
    m_World.AddPlayer(3, At(-2300, 1900));
    std::vector<int> slots;
    auto collect = [](CPlayer* pPlayer, void* pUser)
    { static_cast<std::vector<int>*>(pUser)->push_back(pPlayer->GetSlot()); };
    Streamer().ForEachPlayerInArea(0.0f, 0.0f, 150.0f, collect, &slots);
    std::sort(slots.begin(), slots.end());
    EXPECT_EQ(slots, (std::vector<int>{0, 1}));
}

} // namespace
