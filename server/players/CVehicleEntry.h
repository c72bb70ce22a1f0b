#pragma once

#include <cstdint>

class CPlayer;

// Client message 171: a request to enter a vehicle.
enum : int
{
    ID_REQUEST_ENTER_VEHICLE = 171,
};

// Server messages of vehicle entry: the accepted entry (162, to the players
// that see the requester, then to the requester) and a refusal (163).
enum : uint8_t
{
    ID_ENTER_VEHICLE = 162,
    ID_ENTER_VEHICLE_REFUSED = 163,
};

// Results of an entry request; 0 is accepted, 1..21 the refusals of the
// door and seat rules.
enum EEntryResult : int
{
    ENTRY_ACCEPTED = 0,
    ENTRY_NOT_SPAWNED = 1,
    ENTRY_NO_VEHICLE = 2,
    ENTRY_LOCKED = 50,
    ENTRY_REFUSED_BY_PLUGIN = 70,
    ENTRY_PLAYER_GOING = 80,
};

// The approach a client (or the server) asks for: A and B pick door and
// animation, C the seat kind (18 driver, 17 passenger, 0 for class 2), D is 1
// only for the server's own immediate entries.
struct SEntryRequest
{
    uint8_t byA;
    uint8_t byB;
    uint8_t byC;
    uint8_t byD;
};

// Vehicle entry: checks the approach against the vehicle's class, reserves a
// door and a seat until the first vehicle sync (or the deadline), asks the
// plugins and tells the players. Stateless; everything lives in the player
// and vehicle records.
class CVehicleEntry
{
public:
    // The result code; every refusal but 80 is answered with 163. The caller
    // holds a lock on the player.
    static int RequestEnter(CPlayer* pPlayer, int nVehicleId, const SEntryRequest& request);
    // Seat 0 driver, 1..3 passenger: 0 on success, minus the refusal code,
    // or 0 / 1 where the seat cannot be asked for at all.
    static int PutInVehicle(CPlayer* pPlayer, int nVehicleId, int nSeat, bool bEjectDriver, bool bImmediate);

    static void HandleRequestEnter(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
};
