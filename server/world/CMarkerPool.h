#pragma once

#include <cstdint>

#include "math/Vector.h"

class CPlayer;

// The coordinate markers: 100 numbered markers at fixed points, each shown to
// exactly the players whose worlds let them see it. A change of a player's
// worlds is a withdraw with the old worlds, the change, and a send with the
// new ones. Created and destroyed by CServer with the other pools.
class CMarkerPool
{
public:
    static constexpr int MAX_MARKERS = 100;

    CMarkerPool();

    // Index -1 takes the lowest free slot. The index is taken unsigned:
    // above 99 (also -1 with every slot in use) gives -1 and changes nothing.
    // A marker already at the index is destroyed first. Returns the index.
    int Create(int nIndex, int32_t nWorld, const Vector& vPosition, int32_t nAttributeA,
               uint32_t uiAttributeB, int32_t nAttributeC);
    // Withdrawn from those who saw it, then freed; a free slot does nothing.
    void Destroy(int nIndex);
    // False, nothing written, unless the slot is in use; null out-values are skipped.
    bool Get(int nIndex, int32_t* pnWorld, Vector* pvPosition, int32_t* pnAttributeA, uint32_t* puiAttributeB,
             int32_t* pnAttributeC) const;

    // Every marker the player can see, in index order: on creation and after
    // a world change; the withdrawal just before one.
    void SendVisibleTo(const CPlayer* pPlayer) const;
    void WithdrawVisibleFrom(const CPlayer* pPlayer) const;

private:
    struct SMarker
    {
        uint8_t byInUse;
        int32_t nWorld;
        Vector vPosition;
        int32_t nAttributeA;
        uint32_t uiAttributeB;
        int32_t nAttributeC;
    };

    void SendCreate(int nIndex, int nSlot) const;
    // Calls fn(slot) for every player in the pool who can see world nWorld.
    template <typename Fn> void ForEachViewer(int32_t nWorld, Fn&& fn) const;

    SMarker m_aMarkers[MAX_MARKERS];
};
