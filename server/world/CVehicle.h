#pragma once

#include <cstdint>

#include "EntityList.h"
#include "IRefCounter.h"
#include "math/Quaternion.h"
#include "math/Vector.h"
#include "players/CPlayerSyncWorld.h"
#include "world/CHandlingRules.h"
#include "world/CStreamGrid.h"

class CVehicle;
class CVehiclePool;
class CPlayer;

constexpr int VEHICLE_ID_FIRST = 1;
constexpr int VEHICLE_ID_LAST = 1000;
constexpr uint8_t VEHICLE_NO_PLAYER = 255;
// The driver's seat and the 8 passenger seats.
constexpr int VEHICLE_SEAT_COUNT = 9;
// The seat numbers of vehicle entry and sync: the driver's, then passenger
// seats 0..7.
constexpr int VEHICLE_DRIVER_SEAT = -1;
constexpr float VEHICLE_FULL_HEALTH = 1000.0f;
constexpr uint8_t MAX_RADIO_STATION = 30;

// The kinds OnVehicleUpdate reports.
enum EVehicleUpdate : int
{
    VEHICLE_UPDATE_DRIVER = 0,
    VEHICLE_UPDATE_UNOCCUPIED = 1,
    VEHICLE_UPDATE_POSITION = 2,
    VEHICLE_UPDATE_HEALTH = 4,
    VEHICLE_UPDATE_COLOURS = 5,
    VEHICLE_UPDATE_ROTATION = 6,
};

// The motion messages to the assigned player (241..246).
enum EVehicleMotion : int
{
    MOTION_SET_SPEED = 0,
    MOTION_ADD_SPEED,
    MOTION_ADD_RELATIVE_SPEED,
    MOTION_SET_TURN_SPEED,
    MOTION_ADD_TURN_SPEED,
    MOTION_ADD_RELATIVE_TURN_SPEED,
};

// A vehicle's node in the pool's active list; lives inside the vehicle.
typedef SEntityListNode<CVehicle> SVehicleListNode;

// Who holds which seat and door of a vehicle (ESeatState, and player slots,
// SEAT_NO_PLAYER for nobody). Only the vehicle writes it.
struct SVehicleSeats
{
    uint8_t abyDoorState[VEHICLE_DOOR_COUNT];
    uint8_t abyDoorPlayer[VEHICLE_DOOR_COUNT];
    uint8_t byDriver;
    uint8_t byDriverState;
    uint8_t abyPassengerState[VEHICLE_PASSENGER_SEATS];
    uint8_t abyPassenger[VEHICLE_PASSENGER_SEATS];
};

// A vehicle of the vehicle pool; ids 1..1000. Owned by its pool from Create
// until its deletion takes effect, which waits while a plugin event or a
// message handler holds a lock on it (IRefCounter).
//
// Fields are public like the player record's, except the seats and doors,
// which change only through the few operations below. A change the clients
// must see goes through a setter, which stores first and then announces.
// Every setter except the two radio setters does nothing once the vehicle is
// marked for deletion. Operations that raise plugin events hold a lock on the vehicle
// meanwhile and stop touching it as soon as it is marked.
class CVehicle : public IRefCounter
{
public:
    // A bare record outside any pool (the sync tests' stand-in vehicles).
    explicit CVehicle(uint16_t wId);
    // Construction in the pool's slot; streams the vehicle in around it.
    CVehicle(CVehiclePool* pPool, uint16_t wId, uint8_t byModel, int nWorld, const Vector& vPosition,
             float fAngle, uint8_t byColour1, uint8_t byColour2);
    ~CVehicle() override;

    uint16_t GetId() const { return m_wId; }
    uint32_t GetSerial() const { return m_uiSerial; }
    SVehicleListNode* GetPoolNode() { return &m_PoolNode; }

    // Models 130..236 except 165, 180 and 181.
    static bool IsValidModel(int nModel);
    // 0, 1 or 2: decides the doors and seats of vehicle entry.
    static int ClassOfModel(int nModel);

    // Setters (announced to the players that have the vehicle streamed in).
    void SetPosition(const Vector& vPosition, bool bRemoveOccupants, bool bNotify);
    void SetSpawnPosition(const Vector& vPosition);
    void SetSpawnRotation(const Quaternion& qRotation);
    void SetRotation(const Quaternion& qRotation, bool bNotify);
    void SetRotationByAngle(float fAngle);
    void SetColours(uint8_t byColour1, uint8_t byColour2);
    void SetHealth(float fHealth, bool bNotify);
    void SetWorld(int nWorld);
    // Parts 0..10 and doors 0..4 hold 2-bit states; false out of range.
    bool SetPartDamage(int nPart, int nState);
    bool SetDoorDamage(int nDoor, int nState);
    static int GetPartDamage(uint32_t uiDamage, int nPart);
    static int GetDoorDamage(uint32_t uiDamage, int nDoor);
    void SetDamage(uint32_t uiDamage);
    // Bits 0..2 of the option flags.
    void SetOptionFlag(int nBit, bool bOn);
    bool GetOptionFlag(int nBit) const { return (m_byOptionFlags >> nBit) & 1; }
    void SetOptionByte(uint8_t byValue);
    void SetLocked(bool bLocked);
    void SetIdleRespawnTime(uint32_t uiMs);
    // pBy null for a station set by the server.
    void SetRadioStation(int nStation, CPlayer* pBy);
    void SetRadioFlag(bool bOn);

    // Explode: false when refused or already wrecked. Respawn: back to the
    // spawn point, streamed out and in again everywhere.
    bool Explode(CPlayer* pBy);
    void Respawn();
    // A projectile burst on the vehicle: the explosion goes to the players
    // near it, relative to the vehicle for those that hold it.
    void ApplyExplosion(int nType, const Vector& vPosition, CPlayer* pCause);
    // The per-tick steps, in their order.
    void Process();

    // The simulation assignment.
    void Assign(int nSlot);
    void Reassign();
    void ReleaseAssignment();
    void OfferNearest(int nSlot, float fDistance);
    bool ApplyUnoccupiedSync(int nSlot, const SVehicleSyncRecord& record);
    void BuildSyncRecord(SVehicleSyncRecord& record) const;
    // Velocity and damage, sent to the assigned player alone.
    void ApplyMotion(int nKind, const Vector& vValue, bool bNotify);
    void SendDamage();
    // Whether the vehicle counts as in use for the 8-second report flag rule.
    bool IsInUse() const;

    // Handling overrides of this vehicle alone, keyed by 10000 + id.
    CHandlingMap& HandlingRules() { return m_HandlingRules; }
    const CHandlingMap& HandlingRules() const { return m_HandlingRules; }
    int HandlingId() const { return HANDLING_VEHICLE_ID_BASE + m_wId; }

    // The occupant slot of seat 0 (driver) or 1..8 (passengers), 255 empty.
    uint8_t GetOccupant(int nSeat) const;

    // Seats and doors. A seat is VEHICLE_DRIVER_SEAT or passenger seat 0..7,
    // a door 0..3; ENTRY_SEAT_NO_DOOR (or any number past the doors) is an
    // entry without one. An entry request reserves a seat for a player, with
    // the door it walks to; the player's first sync for the seat completes the
    // entry and gives the door back; leaving releases what the player holds.
    // Only these change who holds what, and a seat or door has one holder at
    // a time: a reservation of anything taken is refused (false, nothing
    // changed).
    bool ReserveSeat(uint8_t bySlot, int nSeat, uint8_t byDoor);
    // False, changing nothing, unless the player holds the seat reserved and,
    // for an entry through a door, that door.
    bool CompleteEntry(uint8_t bySlot, int nSeat, uint8_t byDoor);
    // False, changing nothing, when the player does not hold it.
    bool ReleaseDoor(uint8_t bySlot, uint8_t byDoor);
    bool ReleaseSeat(uint8_t bySlot, int nSeat);
    bool IsSeatFree(int nSeat) const;
    bool IsDoorFree(int nDoor) const;
    // The slot that holds the seat (reserved or seated), 255 for nobody.
    uint8_t GetSeatHolder(int nSeat) const;
    bool IsSeated(uint8_t bySlot, int nSeat) const;
    // The whole record, read-only.
    const SVehicleSeats& GetSeats() const { return m_Seats; }
    // An existing player in a seat, or null.
    static CPlayer* PlayerAt(int nSlot);

private:
    void SetDefaults();
    void NotifyAssignment(int nOld, int nNew);
    void RemoveOccupants();
    bool SetDamageBits(int nShift, int nState);
    void RelayUnoccupiedSync();
    void RaiseUpdate(int nKind);
    bool ProcessRespawnRules(uint32_t uiNow);
    void ExpireDamageLock(uint32_t uiNow);

    CVehiclePool* m_pPool;
    // The pool slot, fixed for the entity's life.
    uint16_t m_wId;
    // Told apart from a later vehicle in the same slot.
    uint32_t m_uiSerial;
    // In the pool's active list from construction to destruction.
    SVehicleListNode m_PoolNode;

public:
    // The streamer's grid of vehicles and this vehicle's link in it.
    CStreamGrid* m_pGrid;
    SGridLink m_GridLink;

    uint8_t m_byModel;
    // Never 0.
    uint16_t m_usWorld;
    int32_t m_nVehicleClass;
    uint8_t m_byColour1;
    uint8_t m_byColour2;
    // 0..30; 11..30 are the custom stations.
    uint8_t m_byRadioStation;
    bool m_bRadioFlag;
    Vector m_vSpawnPosition;
    Quaternion m_qSpawnRotation;
    bool m_bWrecked;
    uint8_t m_byOptionByte;
    // Server time at which a wrecked vehicle respawns; 0 none.
    uint32_t m_uiWreckRespawnAt;
    // Incremented by every respawn; clients echo it in unoccupied sync.
    uint16_t m_usSpawnCounter;
    Quaternion m_qRotation;
    Vector m_vPosition;
    Vector m_vSpeed;
    Vector m_vTurnSpeed;
    bool m_bLocked;
    uint32_t m_uiDamage;
    // Sync may not overwrite the damage before this server time; 0 once the
    // lock has run out (cleared at the next tick or sync after its end).
    uint32_t m_uiDamageLockUntil;
    float m_fHealth;
    // A driver's or an unoccupied sync was applied this tick.
    bool m_bDriverUpdatePending;
    bool m_bUnoccupiedUpdatePending;
    // EVehicleOccupancy and the player slot that simulates the vehicle (255 none).
    int32_t m_nOccupancyState;
    uint8_t m_byAssignedPlayer;
    uint8_t m_byOptionFlags;
    // Taken from sync and relayed unchanged.
    uint16_t m_usSyncWord;
    uint32_t m_uiLastHeightCheck;
    // Set by a respawn, cleared by the next tick's processing.
    bool m_bRespawned;
    // Creation, respawn, accepted vehicle sync, accepted entry request.
    uint32_t m_uiLastUsed;
    // Milliseconds of disuse before an idle respawn; 0 never.
    uint32_t m_uiIdleRespawnTime;
    // The flag bit of the last sync, and since when it has been set.
    bool m_bReportFlag;
    uint32_t m_uiReportFlagSince;

private:
    // Seat and door holders; live and die with the vehicle.
    SVehicleSeats m_Seats;
    // Lives and dies with the vehicle.
    CHandlingMap m_HandlingRules;
};
