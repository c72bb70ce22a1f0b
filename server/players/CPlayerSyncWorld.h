#pragma once

#include <cstdint>

#include "math/Quaternion.h"
#include "math/Vector.h"

class CPlayer;
class CVehicle;
struct SVehicleSyncRecord;

constexpr int VEHICLE_DOOR_COUNT = 4;
constexpr int VEHICLE_PASSENGER_SEATS = 8;
// Occupant slot of an empty seat or door.
constexpr uint8_t SEAT_NO_PLAYER = 255;

// States of a vehicle seat or door entry.
enum ESeatState : uint8_t
{
    SEAT_FREE = 0,
    // A seat held for an entry attempt.
    SEAT_RESERVED = 1,
    // A door held for an entry attempt.
    DOOR_RESERVED = 2,
    SEAT_OCCUPIED = 3,
};

// How a vehicle's assigned player was chosen.
enum EVehicleOccupancy : int
{
    OCCUPANCY_NONE = 0,
    OCCUPANCY_DRIVER = 1,
    OCCUPANCY_PASSENGER = 3,
    OCCUPANCY_NEAREST = 4,
};

// What player sync needs from the vehicles and the map objects. The pools
// install their implementation when they are created and remove it before
// they are destroyed; while none is installed no vehicle and no object
// exists, so every vehicle sync is refused and nobody stands on anything.
class IPlayerSyncWorld
{
public:
    virtual ~IPlayerSyncWorld() = default;

    // Vehicles 1..1000; null for any other id or an empty slot. The pointer
    // stays valid until the next plugin event.
    virtual CVehicle* FindVehicle(int nVehicleId) = 0;
    virtual void GetVehiclePlacement(CVehicle* pVehicle, Vector& vPosition, Quaternion& qRotation) = 0;
    virtual int GetVehicleModel(CVehicle* pVehicle) = 0;
    // EVehicleOccupancy, and the player slot that simulates the vehicle (255 none).
    virtual int GetOccupancyState(CVehicle* pVehicle) = 0;
    virtual void SetOccupancyState(CVehicle* pVehicle, int nState) = 0;
    virtual int GetAssignedPlayer(CVehicle* pVehicle) = 0;
    // The simulation assignment: to a player, or to the next best occupant.
    virtual void AssignVehicle(CVehicle* pVehicle, int nSlot) = 0;
    virtual void ReassignVehicle(CVehicle* pVehicle) = 0;
    // A driver's record for the vehicle, then the note that a sync arrived
    // (the only part a passenger's sync has).
    virtual void ApplyDriverSync(CVehicle* pVehicle, int nSlot, const SVehicleSyncRecord& record) = 0;
    virtual void NoteVehicleSynced(CVehicle* pVehicle) = 0;
    // The vehicle's half of a driver relay.
    virtual void BuildDriverRecord(CVehicle* pVehicle, SVehicleSyncRecord& record) = 0;
    // A projectile exploded on the vehicle.
    virtual void ApplyExplosion(CVehicle* pVehicle, int nType, const Vector& vPosition, CPlayer* pCause) = 0;

    // Objects 0..2999: false when the object does not exist.
    virtual bool GetObjectPlacement(int nObjectId, Vector& vPosition, Quaternion& qRotation) = 0;
};

// Null while no pool has installed itself.
IPlayerSyncWorld* GetPlayerSyncWorld();
void SetPlayerSyncWorld(IPlayerSyncWorld* pWorld);
