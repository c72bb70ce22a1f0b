#pragma once

#include <cstdint>

#include "EntityList.h"
#include "IRefCounter.h"
#include "ServerRecords.h"
#include "math/Vector.h"
#include "world/CStreamGrid.h"

class CPlayer;
class CPlayerPool;

constexpr int MAX_PLAYER_NAME = 24;
constexpr int MAX_UNIQUE_ID = 41;
constexpr int PROJECTILE_SLOT_COUNT = 4;
constexpr int SPEED_HISTORY_LENGTH = 5;
// A player's private world is this plus its slot.
constexpr int PRIVATE_WORLD_BASE = 10000;
// The spectate target of a player that spectates nobody.
constexpr uint8_t NO_SPECTATE_TARGET = 255;
// A client is let spawn again only this long after its last spawn (ms). A
// spawn streams in everything near the player and the death before it
// streams everything out; a client cycling the two at its message rate would
// otherwise cost a full stream-in and stream-out every few milliseconds,
// where the streamer's own passes visit a player once a second.
constexpr uint32_t SPAWN_REPEAT_INTERVAL = 1000;

// Disconnect reasons recorded for a removal.
enum EDisconnectReason : uint8_t
{
    DISCONNECT_TIMEOUT = 0,
    DISCONNECT_LEFT = 1,
    DISCONNECT_KICKED = 2,
    DISCONNECT_CRASHED = 3,
};

// The state code plugins see through OnPlayerStateChange.
enum EPlayerState : uint8_t
{
    PLAYER_STATE_ON_FOOT = 1,
    PLAYER_STATE_AIMING = 2,
    PLAYER_STATE_DRIVER = 3,
    PLAYER_STATE_PASSENGER = 4,
    PLAYER_STATE_NOT_SPAWNED = 8,
};

// The kinds of server change the anti-cheat waits for (index of the pending arrays).
enum EChangeKind
{
    CHANGE_HEALTH = 0,
    CHANGE_ARMOUR = 1,
    CHANGE_WEAPONS = 2,
    CHANGE_KIND_COUNT = 3,
};

// Option bits of the flag word.
enum EPlayerFlag : uint16_t
{
    PLAYER_FLAG_OPTION8 = 0x0100,
    // Announced to the players that stream this one, not only to the player.
    PLAYER_FLAG_VISIBLE_MASK = 0xFC00,
    PLAYER_FLAGS_INITIAL = 0x1063,
};

// A player's node in the pool's processing list; lives inside the player.
typedef SEntityListNode<CPlayer> SPlayerListNode;

// One joined client: the server's authoritative record of everything known
// about the player. Owned by the player pool from a successful join until its
// removal takes effect, which waits while a plugin event or a message handler
// holds a lock on it.
//
// The record fields are public, as other subsystems (sync, anti-cheat, vehicle
// entry, streamer) read and write them directly; a change the clients must see
// goes through one of the setters, which store first and then announce. Every
// setter does nothing once the player is marked for deletion, except
// RemoveWeapon. Operations that raise plugin events hold a lock on the player
// meanwhile, so a plugin may remove it from inside the event; they stop as soon
// as it is marked.
class CPlayer : public IRefCounter
{
public:
    // Runs the whole creation: defaults, then everything a joining client is
    // sent, then the join notice to the others and the connect announcement.
    CPlayer(CPlayerPool* pPool, uint8_t bySlot, uint32_t uiPlayerId, const char* szName,
            const char* szUniqueId);
    // Runs the whole removal; the slot is detached from the pool last.
    ~CPlayer() override;

    uint8_t GetSlot() const { return m_bySlot; }
    uint32_t GetPlayerId() const { return m_uiPlayerId; }
    const char* GetName() const { return m_szName; }
    const char* GetUniqueId() const { return m_szUniqueId; }
    bool IsAdmin() const { return m_bAdmin; }
    void SetAdmin(bool bAdmin) { m_bAdmin = bAdmin; }
    uint8_t GetDisconnectReason() const { return m_byDisconnectReason; }
    void SetDisconnectReason(uint8_t byReason) { m_byDisconnectReason = byReason; }
    SPlayerListNode* GetPoolNode() { return &m_PoolNode; }

    // Worlds, spectating, renaming.
    void SetWorld(int nWorld);
    void SetSecondaryWorld(int nWorld);
    bool IsWorldVisible(int nWorld) const;
    // Null, the player itself, or a player in another world mean nobody.
    void SetSpectateTarget(CPlayer* pTarget);
    // False, and nothing changed, for an invalid name or one in use.
    bool SetName(const char* szName);

    // Once per tick from the pool's processing.
    void ProcessTick();
    void SendFarPlayerList();

    // The client's lifecycle messages.
    void RequestClass(uint8_t byDirection);
    void RequestSpawn();
    void ReportSpawned();
    void ReportDeath(uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart);

    // State changes sent to the client; bSend false only stores.
    void SetHealth(uint8_t byHealth, bool bSend);
    void SetArmour(uint8_t byArmour, bool bSend);
    void PermitSpawn();
    void ForceClassSelection();
    void SetMoney(int32_t nMoney, bool bSend);
    void SetPosition(const Vector& vPosition, bool bSend);
    void SetSpeed(const Vector& vSpeed, bool bSend);
    void AddSpeed(const Vector& vDelta, bool bSend);
    void SetAngle(float fAngle, bool bSend);
    void SetSettableByte(uint8_t byValue);
    void ResetWeapons(bool bSend);
    // Slots 0..9 only.
    void SelectWeaponSlot(int nSlot);
    // The slot's ammunition is replaced; weapons without a slot are ignored.
    void GiveWeapon(int nWeapon, int nAmmo, bool bArmed);
    // Pickups, classes and plugins: adds to what the slot holds of that weapon.
    void GiveWeaponAddingAmmo(int nWeapon, int nAmmo, bool bArmed);
    void RemoveWeapon(int nWeapon, bool bSend);
    void SetFlag(uint16_t usBit, bool bOn);
    bool GetFlag(uint16_t usBit) const { return (m_usFlags & usBit) != 0; }
    void SetClientFlags2(uint8_t byValue);
    void SetCamera(const Vector& vPosition, const Vector& vLookAt);
    void RestoreCamera();
    void SetClassByteA(uint8_t byValue, bool bSend);
    void SetClassByteB(uint8_t byValue, bool bSend);
    void SetColour(uint32_t uiColour, bool bSend);
    void SetExtraState(int nValue, int nParameter);
    void SetScore(int32_t nScore, bool bSend);
    void SendPair(uint8_t byA, uint8_t byB);

    // Also used by the sync: sets the state and raises OnPlayerStateChange,
    // even when the state does not change.
    void SetState(uint8_t byState);
    // Back on foot after a refused or ended vehicle seat, lifted by fLift.
    void ResetToOnFoot(float fLift);
    void ClearProjectiles();
    // The grid cell follows the position; the streamer decides what changes.
    void UpdateGridCell();
    void LeaveGridCell();

private:
    void SetDefaults(const char* szName, const char* szUniqueId);
    // Takes the next change sequence for a kind of change.
    uint32_t TakeChangeSequence(int nKind);
    // Reverts the weapon in hand to slot 0, with no message.
    void SelectSlotZeroQuietly();
    void ApplyClassSelection(int nDirection);
    void ApplySpawnClass();
    bool SpawnedRecently() const;
    void GiveClassWeapons(const SClassRecord& record);
    // Players that spectate this one while in another world stop doing so.
    void ResetDistantSpectators();

    CPlayerPool* m_pPool;
    uint8_t m_bySlot;
    uint32_t m_uiPlayerId;

public:
    // The streamer's grid of players, and this player's link in it.
    CStreamGrid* m_pGrid;
    SGridLink m_GridNode;

private:
    // In the pool's processing list from the first construction step to the
    // sixth removal step.
    SPlayerListNode m_PoolNode;

public:
    // Server clock at the last on-foot, aim, driver or passenger sync.
    uint32_t m_uiLastSyncTime;
    // Next sequence a health, armour or weapon change takes (starts at 1).
    uint32_t m_uiChangeSequence;
    // Highest change sequence the client reported having applied.
    uint32_t m_uiClientAck;
    // Sequence and clock of the last change of each kind (EChangeKind).
    uint32_t m_auiPendingSequence[CHANGE_KIND_COUNT];
    uint32_t m_auiPendingTime[CHANGE_KIND_COUNT];
    uint32_t m_uiLastAreaEffectTime;
    uint16_t m_usNextProjectileKey;
    uint8_t m_abyProjectileWeapon[PROJECTILE_SLOT_COUNT];
    uint16_t m_ausProjectileKey[PROJECTILE_SLOT_COUNT];
    // A projectile slot is free while its expiry is earlier than the clock.
    uint32_t m_auiProjectileExpiry[PROJECTILE_SLOT_COUNT];
    uint32_t m_uiLastFarListTime;
    // Kind of sync since the last relay: 0 none, 1 on foot, 2 aim, 3 driver, 4 passenger.
    uint8_t m_bySyncType;
    uint8_t m_byState;
    bool m_bSpawned;
    // Set when the server sends the spawn permission; spent by the spawn,
    // withdrawn by a death or a forced class selection.
    bool m_bSpawnPermitted;
    // Set by a spawn and cleared by the tick SPAWN_REPEAT_INTERVAL after it
    // (the server clock of that spawn); while set, spawn requests are not
    // permitted.
    bool m_bSpawnedRecently;
    uint32_t m_uiLastSpawnTime;
    bool m_bAway;
    bool m_bClientToggle;
    // Slot spectated, NO_SPECTATE_TARGET for none.
    uint8_t m_bySpectateTarget;
    // 1: kick at the next tick (set by the anti-cheat).
    uint8_t m_byPendingRemoval;
    // Never 0.
    uint16_t m_usWorld;
    uint16_t m_usSecondaryWorld;
    uint16_t m_usVehicleId;
    uint16_t m_usKeys;
    Vector m_vPosition;
    Vector m_vSpeed;
    float m_fAngle;
    // The last five speeds, newest last, and their mean.
    Vector m_avSpeedHistory[SPEED_HISTORY_LENGTH];
    Vector m_vAverageSpeed;
    // Set while the server holds the player's camera and after a death.
    bool m_bNeedsResync;
    Vector m_vAimVector1;
    Vector m_vAimVector2;
    uint8_t m_byExtraState;
    uint8_t m_byHealth;
    uint8_t m_byArmour;
    uint8_t m_byClientFlags2;
    uint8_t m_bySyncByte37;
    uint8_t m_bySyncFlags;
    uint8_t m_bySyncCode;
    uint8_t m_bySettableByte;
    uint8_t m_byWeapon;
    uint16_t m_usAmmo;
    uint8_t m_byWeaponSlot;
    uint8_t m_abySlotWeapon[10];
    uint16_t m_ausSlotAmmo[10];
    uint8_t m_byClassByteB;
    uint8_t m_byClassByteA;
    uint8_t m_byClassIndex;
    uint32_t m_uiColour;
    int32_t m_nMoney;
    int32_t m_nScore;
    // Position relative to the vehicle or object stood on.
    Vector m_vSurfaceOffset;
    // 1..1000 vehicle id, 1001..4000 object index + 1001, 0 none.
    uint16_t m_usSurfaceId;
    // 0 none, 1 entering, 3 inside.
    uint8_t m_byEntryState;
    uint16_t m_usEntryVehicle;
    uint32_t m_uiEntryDeadline;
    // Door reserved for the entry (0..3), 100 without doors, 255 none.
    uint8_t m_byEntrySeat;
    // Passenger seat index, 255 for the driver or none.
    uint8_t m_byPassengerSeat;
    bool m_bEntryLock;
    uint32_t m_uiEntryLockExpiry;

private:
    uint8_t m_byDisconnectReason;
    bool m_bAdmin;

public:
    uint16_t m_usFlags;
    // Send the far-player list at the next mark even when it is empty.
    bool m_bFarListDue;
    // The store files sent on creation are still downloading; spawning waits.
    bool m_bStoreDownloadPending;

private:
    char m_szName[MAX_PLAYER_NAME];
    char m_szUniqueId[MAX_UNIQUE_ID];

public:
    // Last value the client sent with message 186; only plugins read it.
    double m_dClientValue;
};
