#pragma once

#include <cstdint>

#include "world/IStreamEntitySource.h"

// The vehicle pool as the streamer sees it: the common entity view plus the
// seats and the simulation assignment, which decide stream-out and who
// simulates an unoccupied vehicle.
class IStreamVehicleSource : public IStreamEntitySource
{
public:
    static constexpr int SEAT_COUNT = 9;
    static constexpr uint8_t NO_PLAYER = 255;

    // Driver first, then the 8 passenger seats; 255 for an empty seat. False
    // (seats untouched) when the slot is empty.
    virtual bool GetSeats(int nId, uint8_t abySeats[SEAT_COUNT]) const = 0;
    // Player slot that simulates the vehicle, 255 for none.
    virtual int GetAssignedPlayer(int nId) const = 0;
    // How the assigned player was chosen: 0 none, 1 driver, 3 passenger, 4 nearest.
    virtual int GetOccupancyState(int nId) const = 0;
    // Hands the vehicle to a seated occupant or, failing that, asks the
    // streamer for the nearest player.
    virtual void Reassign(int nId) = 0;
    // Drops the vehicle's assignment before it is streamed out everywhere.
    virtual void ReleaseAssignment(int nId) = 0;
    // The nearest player that has the vehicle streamed in and its distance;
    // slot 255 and distance 100 when nobody is near.
    virtual void OfferNearestPlayer(int nId, int nSlot, float fDistance) = 0;
    // Live vehicle slots in the pool's active-list order (newest first), at
    // most nMax; returns the number written.
    virtual int GetActiveVehicles(int* pnIds, int nMax) const = 0;
};
