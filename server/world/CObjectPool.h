#pragma once

#include <cstdint>

#include "world/CObject.h"
#include "world/IStreamEntitySource.h"

class CStreamer;

// Owns every map object: 3000 slots named by their index (no generation),
// the list of live objects walked newest first, and the per-tick step. One
// instance inside CServer; it is the streamer's object source while it lives.
class CObjectPool : public IStreamEntitySource
{
public:
    static constexpr int MAX_OBJECTS = 3000;

    // Hands itself to the streamer as its object source (pStreamer may be null).
    explicit CObjectPool(CStreamer* pStreamer);
    ~CObjectPool() override;
    CObjectPool(const CObjectPool&) = delete;
    CObjectPool& operator=(const CObjectPool&) = delete;

    // The lowest free slot, or -1 when all 3000 are used.
    int Create(int nModel, int nWorld, const Vector& vPosition, uint8_t byAlpha);
    // Marks it and destroys it at once when unlocked: true only then.
    bool Delete(int nId);
    void DeleteAll();
    // Shutdown: every later Create is refused, then every object goes.
    void Close();
    // 0..2999 and in use; null otherwise.
    CObject* Get(int nId) const;
    int Count() const { return m_nCount; }

    // Once per tick ("Processing objects"), newest object first.
    void ProcessAll(uint32_t uiNow);

    CStreamer* GetStreamer() const { return m_pStreamer; }

    // The streamer's view.
    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override;
    int GetStreamId(const void* pEntity) const override;
    void SendStreamIn(int nId, CPlayer* pObserver) override;
    void SendStreamOut(int nId, CPlayer* pObserver) override;

    // Called by the object itself: its constructor links it at the front and
    // stores its slot; its destructor unlinks it and frees the slot.
    void LinkFront(CObject* pObject);
    void Detach(CObject* pObject);

private:
    CStreamer* m_pStreamer;
    CObject* m_apObjects[MAX_OBJECTS];
    // Sentinel of the list of live objects; linked to itself while empty.
    SObjectListNode m_ListHead;
    int m_nCount;
    // Set by Close for the rest of the pool's life.
    bool m_bClosed;
};
