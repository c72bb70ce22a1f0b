// Vehicle entry requests against the real vehicle pool: the result of each
// approach by vehicle class, the reservation and its deadline, the plugin
// veto, the sync that completes the entry, and putting players in by plugin.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "players/CPlayerSync.h"
#include "players/CVehicleEntry.h"
#include "world/VehicleTestFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
constexpr int SLOT_REQUEST_ENTER = 12;
constexpr int SLOT_ENTER = 13;

class VehicleEntryTest : public CVehicleTest
{
protected:
    int Request(CPlayer* pPlayer, int nVehicleId, uint8_t byA, uint8_t byB, uint8_t byC, uint8_t byD = 0)
    {
        CEntityLock lock(pPlayer);
        return CVehicleEntry::RequestEnter(pPlayer, nVehicleId, {byA, byB, byC, byD});
    }
};

// What a row finds before it asks: a seat or door already taken (by a slot
// with no player), or the vehicle out of the requester's reach.
enum ESetting
{
    FREE,
    DRIVER_TAKEN,
    PASSENGER0_TAKEN,
    DOOR2_TAKEN,
    FAR_AWAY,
    OTHER_WORLD,
};

struct SApproachCase
{
    int nModel;
    uint8_t byA, byB, byC, byD;
    ESetting setting;
    int nResult;
    uint8_t byDoor;
    uint32_t uiDuration;
};

// Slot 50 holds what the setting takes: a seat it sits in, or door 2 that it
// walks to for the driver's seat through the passenger side.
void Prepare(CVehicle* pVehicle, ESetting setting)
{
    const int nSeat = setting == PASSENGER0_TAKEN ? 0 : VEHICLE_DRIVER_SEAT;
    if (setting == DRIVER_TAKEN || setting == PASSENGER0_TAKEN)
    {
        pVehicle->ReserveSeat(50, nSeat, ENTRY_SEAT_NO_DOOR);
        pVehicle->CompleteEntry(50, nSeat, ENTRY_SEAT_NO_DOOR);
    }
    else if (setting == DOOR2_TAKEN)
        pVehicle->ReserveSeat(50, VEHICLE_DRIVER_SEAT, 2);
}

// Each row on a fresh vehicle; accepted rows reserve the door for the time.
// A client's request for a vehicle it could not be holding is answered as
// for one that does not exist; the server's own (D 1) reach anywhere.
TEST_F(VehicleEntryTest, EachApproachGetsItsResultAndDeadline)
{
    const SApproachCase aCases[] = {
        {130, 0, 255, 18, 0, FREE, 0, 0, 2000},
        {130, 15, 1, 18, 0, FREE, 0, 0, 4000},
        {130, 15, 3, 18, 0, FREE, 6, 255, 0},
        {155, 15, 3, 18, 0, FREE, 0, 0, 4000},
        {130, 11, 4, 18, 0, FREE, 0, 2, 5000},
        {130, 11, 4, 18, 0, PASSENGER0_TAKEN, 7, 255, 0},
        {130, 0, 1, 18, 0, FREE, 4, 255, 0},
        {130, 2, 255, 17, 0, FREE, 5, 255, 0},
        {130, 2, 255, 17, 1, FREE, 0, 1, 2000},
        {130, 11, 5, 17, 0, FREE, 6, 255, 0},
        {130, 11, 4, 17, 0, DOOR2_TAKEN, 10, 255, 0},
        {130, 11, 4, 17, 0, PASSENGER0_TAKEN, 11, 255, 0},
        {130, 12, 8, 17, 0, FREE, 0, 3, 4000},
        {170, 12, 8, 17, 0, FREE, 0, 3, 6000},
        {171, 12, 8, 17, 0, FREE, 0, 3, 4000},
        {167, 16, 2, 17, 0, FREE, 0, 1, 7000},
        {130, 0, 255, 5, 0, FREE, 3, 255, 0},
        {166, 0, 255, 18, 0, FREE, 0, 100, 2500},
        {166, 0, 255, 18, 0, DRIVER_TAKEN, 15, 255, 0},
        {166, 11, 7, 18, 0, FREE, 13, 255, 0},
        {166, 12, 5, 18, 0, FREE, 14, 255, 0},
        {166, 12, 10, 17, 0, FREE, 0, 100, 2500},
        {166, 12, 10, 17, 0, PASSENGER0_TAKEN, 18, 255, 0},
        {166, 13, 10, 17, 0, FREE, 17, 255, 0},
        {166, 1, 255, 17, 0, FREE, 16, 255, 0},
        {166, 0, 0, 0, 0, FREE, 12, 255, 0},
        {136, 0, 0, 0, 0, FREE, 0, 100, 2000},
        {136, 0, 0, 0, 0, DRIVER_TAKEN, 20, 255, 0},
        {136, 0, 255, 18, 0, FREE, 19, 255, 0},
        {130, 0, 255, 18, 0, FAR_AWAY, 2, 255, 0},
        {130, 0, 255, 18, 0, OTHER_WORLD, 2, 255, 0},
        {130, 0, 255, 18, 1, FAR_AWAY, 0, 0, 2000},
        {130, 0, 255, 18, 1, OTHER_WORLD, 0, 0, 2000},
    };
    for (const SApproachCase& test : aCases)
    {
        const Vector vAt(test.setting == FAR_AWAY ? 281.0f : 5.0f, 0.0f, 10.0f);
        const int nId = Create(test.nModel, vAt, test.setting == OTHER_WORLD ? 2 : 1);
        Prepare(Vehicle(nId), test.setting);
        const uint32_t uiNow = Server().m_uiNow;
        EXPECT_EQ(Request(m_pFirst, nId, test.byA, test.byB, test.byC, test.byD), test.nResult)
            << test.nModel << " " << int(test.byA) << " " << int(test.byB) << " " << int(test.byC) << " "
            << int(test.byD) << " " << test.setting;
        if (test.nResult == 0)
        {
            EXPECT_EQ(m_pFirst->m_byEntrySeat, test.byDoor);
            EXPECT_EQ(m_pFirst->m_uiEntryDeadline - uiNow, test.uiDuration) << test.nModel;
        }
        else
            EXPECT_EQ(m_pFirst->m_usEntryVehicle, 0) << "a refusal leaves no reservation";
        F()->DeleteVehicle(nId);
    }
}

// The story of one driver seat: taken, contested, refused by door and lock,
// vetoed, and finally completed by the first driver sync.
TEST_F(VehicleEntryTest, ADriverSeatIsReservedContestedAndCompletedBySync)
{
    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    StreamAll();
    Peer().ClearSent();
    Deliver(0, EnterBytes(nId, 0, 255, 18));
    CVehicle* pVehicle = Vehicle(nId);
    EXPECT_EQ(pVehicle->GetSeats().abyDoorState[0], DOOR_RESERVED);
    EXPECT_EQ(pVehicle->GetSeats().byDriverState, SEAT_RESERVED);
    // The other player sees the entry; the requester's copy carries the radio.
    auto seen = ReceivedBy(1, wire::SV_ENTER_VEHICLE);
    ASSERT_EQ(seen.size(), 1u);
    testclient::SEnterVehicle entry;
    ASSERT_TRUE(testclient::DecodeEnterVehicle(seen[0], entry));
    EXPECT_EQ(entry.uiPlayerId, m_pFirst->GetPlayerId());
    EXPECT_FALSE(entry.bHasRadio);
    auto own = ReceivedBy(0, wire::SV_ENTER_VEHICLE);
    ASSERT_EQ(own.size(), 1u);
    ASSERT_TRUE(testclient::DecodeEnterVehicle(own[0], entry));
    EXPECT_TRUE(entry.bHasRadio);
    EXPECT_EQ(entry.byRadioStation, pVehicle->m_byRadioStation);

    Deliver(1, EnterBytes(nId, 0, 255, 18));
    Deliver(1, EnterBytes(nId, 11, 4, 18));
    EXPECT_THAT(RefusalsTo(1), ElementsAre(8, 9));

    // The first driver sync completes the entry and hands the vehicle to the driver.
    Deliver(0, DrivingBytes(nId, 6.0f, 0.0f, 10.0f));
    EXPECT_EQ(pVehicle->GetSeats().byDriverState, SEAT_OCCUPIED);
    EXPECT_EQ(pVehicle->GetSeats().abyDoorState[0], SEAT_FREE);
    EXPECT_EQ(pVehicle->m_byAssignedPlayer, 0);
    EXPECT_EQ(pVehicle->m_nOccupancyState, OCCUPANCY_DRIVER);
    EXPECT_EQ(CountTo(0, wire::SV_VEHICLE_ASSIGNMENT_GAINED), 1);
    EXPECT_EQ(pVehicle->m_vPosition.x, 6.0f);

    // Leaving hands it back: lost, then gained again as the nearest player.
    Send(0, {172});
    Deliver(0, OnFootBytes(0, OnFoot(5.0f, 2.0f, 10.0f)));
    EXPECT_EQ(pVehicle->GetSeats().byDriver, SEAT_NO_PLAYER);
    EXPECT_EQ(pVehicle->m_nOccupancyState, OCCUPANCY_NEAREST);
    EXPECT_EQ(CountTo(0, wire::SV_VEHICLE_ASSIGNMENT_LOST), 1);
    EXPECT_EQ(CountTo(0, wire::SV_VEHICLE_ASSIGNMENT_GAINED), 2);

    Peer().ClearSent();
    F()->SetVehicleLocked(nId, 1);
    Deliver(1, EnterBytes(nId, 0, 255, 18));
    F()->SetVehicleLocked(nId, 0);
    Host().Recorder(0)->answers[SLOT_REQUEST_ENTER] = 0;
    Deliver(1, EnterBytes(nId, 0, 255, 18));
    Host().Recorder(0)->answers[SLOT_REQUEST_ENTER] = 1;
    EXPECT_EQ(pVehicle->GetSeats().byDriverState, SEAT_FREE) << "the veto freed the seat";
    EXPECT_EQ(pVehicle->GetSeats().abyDoorState[0], SEAT_FREE);
    F()->ExplodeVehicle(nId);
    Deliver(1, EnterBytes(nId, 0, 255, 18));
    Deliver(1, EnterBytes(999, 0, 255, 18));
    EXPECT_THAT(RefusalsTo(1), ElementsAre(50, 70, 2, 2));
}

// A plugin that throws the player out as it gets in leaves it neither
// seated nor simulating the vehicle.
TEST_F(VehicleEntryTest, APluginEjectingThePlayerOnEntryLeavesItOnFoot)
{
    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    StreamAll();
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == SLOT_ENTER)
                           F()->RemovePlayerFromVehicle(pnArgs[0]);
                   });
    Deliver(0, EnterBytes(nId, 0, 255, 18));
    Deliver(0, DrivingBytes(nId, 6.0f, 0.0f, 10.0f));
    Host().SetHook(0, nullptr);
    CVehicle* pVehicle = Vehicle(nId);
    EXPECT_EQ(pVehicle->GetSeats().byDriver, SEAT_NO_PLAYER);
    EXPECT_NE(pVehicle->m_nOccupancyState, OCCUPANCY_DRIVER);
    EXPECT_EQ(m_pFirst->m_usEntryVehicle, 0);
    EXPECT_NE(m_pFirst->m_byState, PLAYER_STATE_DRIVER);
    EXPECT_THAT(Events("OnPlayerExitVehicle"), ElementsAre("OnPlayerExitVehicle 0 1"));
}

TEST_F(VehicleEntryTest, PluginsPutPlayersInSeatByTheClientsOwnRequests)
{
    const int nCar = Create(130, Vector(5.0f, 0.0f, 10.0f));
    const int nBike = Create(166, Vector(8.0f, 0.0f, 10.0f));
    EXPECT_EQ(F()->PutPlayerInVehicle(0, nCar, 0, 0, 1), 0);
    EXPECT_EQ(Vehicle(nCar)->GetSeats().byDriver, 0);
    // A taken driver seat: refused without ejectDriver, freed with it.
    EXPECT_EQ(F()->PutPlayerInVehicle(1, nCar, 0, 0, 0), 0);
    EXPECT_EQ(F()->PutPlayerInVehicle(1, nCar, 0, 1, 0), 0);
    EXPECT_EQ(Vehicle(nCar)->GetSeats().byDriver, 1);
    EXPECT_EQ(m_pFirst->m_usEntryVehicle, 0);
    EXPECT_EQ(F()->PutPlayerInVehicle(0, nCar, 3, 0, 0), 0);
    EXPECT_EQ(Vehicle(nCar)->GetSeats().abyPassenger[2], 0);
    EXPECT_EQ(m_pFirst->m_byEntrySeat, 3);
    EXPECT_EQ(F()->PutPlayerInVehicle(0, nBike, 2, 0, 0), 0) << "a bike has one passenger seat";
    EXPECT_EQ(F()->PutPlayerInVehicle(0, nBike, 4, 0, 0), 0);
    EXPECT_EQ(F()->PutPlayerInVehicle(0, 777, 0, 0, 0), 0);
    F()->SetVehicleLocked(nBike, 1);
    EXPECT_EQ(F()->PutPlayerInVehicle(0, nBike, 1, 0, 1), -50);
}

TEST_F(VehicleEntryTest, ADeadPlayerIsAnsweredWithOne)
{
    const int nId = Create(130, Vector(5.0f, 0.0f, 10.0f));
    m_pSecond->m_bSpawned = false;
    Deliver(1, EnterBytes(nId, 0, 255, 18));
    EXPECT_THAT(RefusalsTo(1), ElementsAre(1));
}
} // namespace
