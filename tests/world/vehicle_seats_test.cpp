// Who holds the seats and doors of a vehicle: one holder at a time, from the
// reservation of an entry to its completion and the release when leaving.
#include <gtest/gtest.h>

#include "players/CPlayerSync.h"
#include "world/CVehicle.h"

namespace
{
TEST(VehicleSeats, ASeatOrDoorHasOneHolderFromReservationToRelease)
{
    CVehicle car(7);
    ASSERT_TRUE(car.ReserveSeat(1, VEHICLE_DRIVER_SEAT, 0));
    EXPECT_EQ(car.GetOccupant(0), 1);
    // Whatever is taken refuses a second holder, and a refusal takes nothing.
    EXPECT_FALSE(car.ReserveSeat(2, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR));
    EXPECT_FALSE(car.ReserveSeat(2, 1, 0));
    EXPECT_TRUE(car.IsSeatFree(1));
    EXPECT_FALSE(car.ReserveSeat(2, VEHICLE_PASSENGER_SEATS, ENTRY_SEAT_NO_DOOR));

    // Only the holder completes, through the door it reserved.
    EXPECT_FALSE(car.CompleteEntry(2, VEHICLE_DRIVER_SEAT, 0));
    EXPECT_FALSE(car.CompleteEntry(1, VEHICLE_DRIVER_SEAT, 2));
    EXPECT_FALSE(car.CompleteEntry(1, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NONE));
    EXPECT_FALSE(car.IsSeated(1, VEHICLE_DRIVER_SEAT));
    ASSERT_TRUE(car.CompleteEntry(1, VEHICLE_DRIVER_SEAT, 0));
    EXPECT_TRUE(car.IsSeated(1, VEHICLE_DRIVER_SEAT));
    EXPECT_TRUE(car.IsDoorFree(0)) << "a seated driver gives its door back";
    EXPECT_FALSE(car.CompleteEntry(1, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR))
        << "only a reservation completes";

    // Only the holder releases, and only what it still holds.
    ASSERT_TRUE(car.ReserveSeat(2, 2, 3));
    EXPECT_FALSE(car.ReleaseDoor(1, 3));
    EXPECT_FALSE(car.ReleaseSeat(1, 2));
    EXPECT_TRUE(car.ReleaseDoor(2, 3));
    EXPECT_FALSE(car.ReleaseDoor(2, 3));
    EXPECT_TRUE(car.ReleaseSeat(2, 2));
    EXPECT_TRUE(car.ReleaseSeat(1, VEHICLE_DRIVER_SEAT));
    EXPECT_FALSE(car.ReleaseSeat(1, VEHICLE_DRIVER_SEAT));
    for (int nSeat = VEHICLE_DRIVER_SEAT; nSeat < VEHICLE_PASSENGER_SEATS; ++nSeat)
    {
        EXPECT_TRUE(car.IsSeatFree(nSeat)) << nSeat;
        EXPECT_EQ(car.GetSeatHolder(nSeat), SEAT_NO_PLAYER) << nSeat;
    }
    for (int nDoor = 0; nDoor < VEHICLE_DOOR_COUNT; ++nDoor)
        EXPECT_TRUE(car.IsDoorFree(nDoor)) << nDoor;
}
} // namespace
