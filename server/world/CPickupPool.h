#pragma once

#include <cstdint>

#include "world/CPickup.h"
#include "world/IStreamEntitySource.h"

class CStreamer;

// Owns every pickup: 2000 slots with a generation counter each (never reset),
// the list of live pickups walked newest first, and the per-tick step. One
// instance inside CServer; it is the streamer's pickup source while it lives.
class CPickupPool : public IStreamEntitySource
{
public:
    static constexpr int MAX_PICKUPS = 2000;
    static constexpr int KEY_SLOT_BITS = 11;
    static constexpr uint32_t KEY_SLOT_MASK = (1u << KEY_SLOT_BITS) - 1;

    // Hands itself to the streamer as its pickup source (pStreamer may be null).
    explicit CPickupPool(CStreamer* pStreamer);
    ~CPickupPool() override;
    CPickupPool(const CPickupPool&) = delete;
    CPickupPool& operator=(const CPickupPool&) = delete;

    // The lowest free slot, or -1 when all 2000 are used.
    int Create(int nModel, int nWorld, int nQuantity, const Vector& vPosition, uint8_t byAlpha,
               bool bAutomatic);
    // Marks it and destroys it at once when unlocked: true only then.
    bool Delete(int nId);
    void DeleteAll();
    // Shutdown: every later Create is refused, then every pickup goes.
    void Close();
    // 0..1999 and in use; null otherwise.
    CPickup* Get(int nId) const;
    // The pickup whose key is exactly this one; null for a stale or unknown key.
    CPickup* FindByKey(uint32_t uiKey) const;
    int Count() const { return m_nCount; }

    // Advances the slot's generation and returns the key built from it.
    uint32_t NextKey(int nId);

    // Once per tick ("Processing pickups"), newest pickup first.
    void ProcessAll(uint32_t uiNow);

    CStreamer* GetStreamer() const { return m_pStreamer; }

    // The streamer's view.
    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override;
    int GetStreamId(const void* pEntity) const override;
    void SendStreamIn(int nId, CPlayer* pObserver) override;
    void SendStreamOut(int nId, CPlayer* pObserver) override;

    // Called by the pickup itself: its constructor links it at the front and
    // stores its slot; its destructor unlinks it and frees the slot.
    void LinkFront(CPickup* pPickup);
    void Detach(CPickup* pPickup);

private:
    CStreamer* m_pStreamer;
    CPickup* m_apPickups[MAX_PICKUPS];
    uint32_t m_auiGeneration[MAX_PICKUPS];
    // Sentinel of the list of live pickups; linked to itself while empty.
    SPickupListNode m_ListHead;
    int m_nCount;
    // Set by Close for the rest of the pool's life.
    bool m_bClosed;
};
