#pragma once

#include <cstdint>

class CPlayer;
class CVehicle;

// The player code's entry points into sync processing.

// Sends the player's newest synced state to every player that has it
// streamed in. Called once per tick by the player's processing while it is
// spawned and a sync arrived since the last relay.
void RelayPlayerSync(CPlayer* pPlayer);

// Vehicle exit processing: frees the seat or door the player holds or has
// reserved, clears the player's vehicle fields (entry state, entry seat,
// entry vehicle, entry deadline, vehicle id), and, when the player was
// inside and bRaiseEvent is set, raises OnPlayerExitVehicle. Called on death,
// on destruction, on an expired entry attempt and by the reset to on foot.
// The caller holds a lock on the player.
void ProcessVehicleExit(CPlayer* pPlayer, bool bRaiseEvent);

// Client messages of movement and what accompanies it.
enum : int
{
    ID_ONFOOT_SYNC = 147,
    ID_AIM_SYNC = 148,
    ID_DRIVER_SYNC = 149,
    ID_PASSENGER_SYNC = 150,
    ID_TOGGLE_ON = 156,
    ID_TOGGLE_OFF = 157,
    ID_PLAYER_RELAY_A = 169,
    ID_PLAYER_RELAY_B = 170,
    ID_ENTRY_LOCK_RELEASE = 172,
    ID_PLAYER_RELAY_C = 173,
    ID_AREA_EFFECT = 174,
    ID_PROJECTILE_LAUNCH = 175,
    ID_PROJECTILE_IMPACT = 176,
    ID_WEAPON_LOST = 177,
    ID_CLIENT_VALUE = 186,
};

// Server-to-client relays of the reports above (the sync relays reuse the
// sync identifiers).
enum : int
{
    ID_THREE_BYTE_RELAY = 164,
    ID_TWO_BYTE_RELAY = 168,
    ID_VALUE_RELAY = 169,
    ID_AREA_EFFECT_RELAY = 198,
    ID_PROJECTILE = 199,
};

// The kind of the newest sync since the last relay (the player's m_bySyncType).
enum ESyncType : uint8_t
{
    SYNC_NONE = 0,
    SYNC_ON_FOOT = 1,
    SYNC_AIM = 2,
    SYNC_DRIVER = 3,
    SYNC_PASSENGER = 4,
};

// The player's vehicle entry: m_byEntryState and the special m_byEntrySeat values.
enum EEntryState : uint8_t
{
    ENTRY_NONE = 0,
    ENTRY_ENTERING = 1,
    ENTRY_INSIDE = 3,
};
constexpr uint8_t ENTRY_SEAT_NO_DOOR = 100;
constexpr uint8_t ENTRY_SEAT_NONE = 255;
constexpr uint8_t PASSENGER_SEAT_NONE = 255;

// Handlers of the client messages above, and the seat rules that the sync
// shares with the vehicle code. Stateless: everything lives in the player
// and vehicle records.
//
// Every handler but the client value applies the joined-state guard first;
// all ignore a slot without a player and a payload shorter than the message.
// A handler locks the player while it works and stops touching it as soon
// as a plugin has removed it.
class CPlayerSync
{
public:
    static void HandleOnFootSync(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleAimSync(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleDriverSync(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandlePassengerSync(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleClientToggle(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleTwoByteReport(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleValueReport(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleThreeByteReport(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleEntryLockRelease(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleAreaEffect(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleProjectileLaunch(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleProjectileImpact(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleWeaponLost(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleClientValue(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);

    // The first driver sync for a reserved driver seat completes the entry;
    // a sync for a seat the player does not hold is refused and the player
    // put back on foot. False when refused or when a plugin removed the
    // player meanwhile; the caller holds a lock on the player.
    static bool AcceptDriver(CPlayer* pPlayer, int nVehicleId);
    // The same for passenger seat nSeat (0..7).
    static bool AcceptPassenger(CPlayer* pPlayer, int nVehicleId, int nSeat);
};
