#pragma once

#include <cstdint>

#include "IRefCounter.h"
#include "math/Vector.h"
#include "world/CStreamGrid.h"
#include "EntityList.h"

class CPickup;
class CPickupPool;
class CPlayer;

typedef SEntityListNode<CPickup> SPickupListNode;

// A pickup of the pickup pool; ids 0..1999. Owned by its pool from Create
// until its destruction, which waits while a plugin event or a message handler
// holds a lock on it. On the wire it is named by its key, the slot and the
// slot's generation, so that a claim made before a refresh or for an earlier
// pickup of the slot names nothing. Setters do nothing once it is marked for
// deletion; those that announce send to every player that has it streamed in.
class CPickup : public IRefCounter
{
public:
    // Runs the whole creation up to the pool's event: into its grid cell and
    // the pool's list, then streamed.
    CPickup(CPickupPool* pPool, uint16_t wId, uint32_t uiKey, int nModel, int nWorld, int nQuantity,
            const Vector& vPosition, uint8_t byAlpha, bool bAutomatic);
    // Leaves its grid cell, is streamed out everywhere, raises the pool's
    // event, leaves the list; the slot is freed last.
    ~CPickup() override;

    uint16_t GetId() const { return m_wId; }
    uint32_t GetKey() const { return m_uiKey; }
    int GetModel() const { return m_nModel; }
    int GetWorld() const { return m_nWorld; }
    int GetQuantity() const { return m_nQuantity; }
    const Vector& GetPosition() const { return m_vPosition; }
    uint8_t GetAlpha() const { return m_byAlpha; }
    bool IsAutomatic() const { return m_bAutomatic; }
    bool HasTimer() const { return m_bHasTimer; }
    int GetRespawnDelay() const { return m_nRespawnDelay; }
    uint32_t GetRespawnDue() const { return m_uiRespawnDue; }
    SPickupListNode* GetPoolNode() { return &m_PoolNode; }

    void SetWorld(int nWorld);
    void SetAlpha(uint8_t byAlpha);
    void SetPosition(const Vector& vPosition);
    // A new key: claims with the old one are ignored from now on (message 218).
    void Refresh();
    void SetAutomatic(bool bAutomatic);
    // 0 turns the timer off.
    void SetTimer(int nMs);

    // A collection claim that matched the key, from a player in the pool:
    // the range check, the plugins' permission, the built-in effect, the
    // event and the timer. The caller holds no lock.
    void Claim(CPlayer* pPlayer);

    // Messages 214 and 215 for one player; the streamer calls them.
    void SendCreateTo(const CPlayer* pPlayer) const;
    void SendDestroyTo(const CPlayer* pPlayer) const;

    // The pool's per-tick step: shows the pickup again once its delay is over.
    void ProcessTick(uint32_t uiNow);

private:
    void ApplyEffect(CPlayer* pPlayer) const;

    CPickupPool* m_pPool;

public:
    // The streamer's grid of pickups, and this pickup's link in it.
    CStreamGrid* m_pGrid;
    SGridLink m_GridNode;

private:
    // In the pool's list from the constructor to the destructor.
    SPickupListNode m_PoolNode;
    // 0..65535: the plugin's value as a 16-bit unsigned number.
    int m_nWorld;
    uint16_t m_wId;
    // Slot in bits 0..10, the slot's generation above.
    uint32_t m_uiKey;
    int m_nModel;
    int m_nQuantity;
    Vector m_vPosition;
    // 0 hides the pickup on the clients, 255 shows it.
    uint8_t m_byAlpha;
    bool m_bAutomatic;
    bool m_bHasTimer;
    int m_nRespawnDelay;
    // Server clock (ms) at which a collected pickup shows again; 0 when none.
    uint32_t m_uiRespawnDue;
};
