#pragma once

#include <cstdint>

class CPlayer;
class CVehicle;
struct SHandlingEntry;
struct SVehicleSyncRecord;
struct Vector;

// Server-to-client identifiers of the vehicle messages.
enum : uint8_t
{
    ID_UNOCCUPIED_RELAY = 151,
    ID_HANDLING_RULES = 220,
    ID_VEHICLE_CREATE = 236,
    ID_VEHICLE_DESTROY = 237,
    ID_VEHICLE_POSITION = 238,
    ID_VEHICLE_ROTATION = 239,
    ID_VEHICLE_COLOURS = 240,
    ID_VEHICLE_SET_SPEED = 241,
    ID_VEHICLE_HEALTH = 247,
    ID_VEHICLE_DAMAGE = 248,
    ID_VEHICLE_OPTIONS = 249,
    ID_VEHICLE_ASSIGNMENT_LOST = 250,
    ID_VEHICLE_ASSIGNMENT_GAINED = 251,
    ID_VEHICLE_EXPLODE = 252,
    ID_VEHICLE_RADIO = 253,
};

// Client-to-server identifiers the vehicle module handles.
enum : int
{
    ID_UNOCCUPIED_SYNC = 151,
    ID_VEHICLE_EXPLODED = 179,
    ID_VEHICLE_OPTION_REPORT = 180,
    ID_VEHICLE_RADIO_CHANGE = 181,
};

// Writers of the vehicle messages. Each message is laid out in exactly one
// function here; its reliability comes from one table in VehicleMessages.cpp.
// Every writer does nothing before the network exists.

// The create (236) and destroy (237) messages of a stream-in and stream-out.
void SendVehicleCreate(const CVehicle* pVehicle, const CPlayer* pTo);
void SendVehicleDestroy(int nVehicleId, const CPlayer* pTo);
// To every player that has the vehicle streamed in: 238, 239, 240, 247, 249, 252.
void SendVehicleState(const CVehicle* pVehicle, uint8_t byId);
// 253 to every occupant but nExceptSlot.
void SendVehicleRadio(const CVehicle* pVehicle, int nExceptSlot);
// To the assigned player: 241..246 (nKind is EVehicleMotion), 248, 250, 251.
void SendVehicleMotion(const CVehicle* pVehicle, int nKind, const Vector& vValue, int nSlot);
void SendVehicleToPlayer(const CVehicle* pVehicle, uint8_t byId, int nSlot);
// 151 to every observer but the assigned player.
void SendUnoccupiedRelay(const CVehicle* pVehicle, const SVehicleSyncRecord& record);
// One batch of message 220 to a slot.
void SendHandlingBatch(int nSlot, uint8_t byCount, const SHandlingEntry* pEntries, int nEntries);
