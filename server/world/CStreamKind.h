#pragma once

#include <cstdint>
#include <cstring>

#include "math/Vector.h"
#include "world/CStreamGrid.h"
#include "world/CStreamList.h"
#include "world/CStreamNodePool.h"

class CPlayer;

// The streaming state of one entity kind for all 100 observers: the
// streamed-in bits (set while the entity exists on the observer's client),
// the listed bits (set while a node for the pair is on a stream list) and one
// stream list per owner. For players the lists belong to the target and hold
// its observers (LIST_PER_TARGET); for the other kinds they belong to the
// observer and hold its entities. Lives as a member of the streamer.
template <int ID_LIMIT, bool LIST_PER_TARGET> class CStreamKind
{
public:
    static constexpr int OBSERVERS = 100;
    static constexpr int WORDS = (ID_LIMIT + 31) / 32;

    CStreamKind() { Reset(); }
    CStreamKind(const CStreamKind&) = delete;
    CStreamKind& operator=(const CStreamKind&) = delete;

    static bool IsValidObserver(int nObserver) { return nObserver >= 0 && nObserver < OBSERVERS; }
    static bool IsValidId(int nId) { return nId >= 0 && nId < ID_LIMIT; }
    static bool IsValidPair(int nObserver, int nId) { return IsValidObserver(nObserver) && IsValidId(nId); }

    bool IsStreamed(int nObserver, int nId) const
    {
        return IsValidPair(nObserver, nId) && TestBit(m_auiStreamed[nObserver], nId);
    }
    bool IsListed(int nObserver, int nId) const
    {
        return IsValidPair(nObserver, nId) && TestBit(m_auiListed[nObserver], nId);
    }
    void SetStreamed(int nObserver, int nId) { m_auiStreamed[nObserver][nId >> 5] |= Mask(nId); }
    void ClearStreamed(int nObserver, int nId) { m_auiStreamed[nObserver][nId >> 5] &= ~Mask(nId); }

    // The list of an observer (or, for players, of a target).
    CStreamList& List(int nOwner) { return m_aLists[nOwner]; }

    // Puts the pair on its owner's list unless a node for it is there
    // already, stale or not; false only when no node could be had.
    bool Link(int nObserver, int nId, CStreamNodePool& pool)
    {
        if (TestBit(m_auiListed[nObserver], nId))
            return true;
        SStreamNode* pNode = pool.Take(LIST_PER_TARGET ? nObserver : nId);
        if (!pNode)
            return false;
        m_aLists[LIST_PER_TARGET ? nId : nObserver].PushFront(pNode);
        m_auiListed[nObserver][nId >> 5] |= Mask(nId);
        return true;
    }

    // Drops every node of the owner's list whose pair is no longer streamed
    // in or whose node entity no longer exists (bExists(node id) false); both
    // bits of a dropped pair are cleared.
    template <typename TExists> void Prune(int nOwner, CStreamNodePool& pool, TExists&& bExists)
    {
        CStreamList& list = m_aLists[nOwner];
        SStreamNode* pNode = list.First();
        while (pNode != list.End())
        {
            SStreamNode* pNext = pNode->pNext;
            const int nNodeId = pNode->nId;
            const int nObserver = LIST_PER_TARGET ? nNodeId : nOwner;
            const int nId = LIST_PER_TARGET ? nOwner : nNodeId;
            if (!IsStreamed(nObserver, nId) || !bExists(nNodeId))
                Drop(pNode, nObserver, nId, pool);
            pNode = pNext;
        }
    }

    // Hands every node of the owner's list back and clears the listed bits
    // of their pairs, so that a later stream-in lists the pair again.
    void ReleaseList(int nOwner, CStreamNodePool& pool)
    {
        CStreamList& list = m_aLists[nOwner];
        while (!list.IsEmpty())
        {
            SStreamNode* pNode = list.First();
            const int nObserver = LIST_PER_TARGET ? pNode->nId : nOwner;
            const int nId = LIST_PER_TARGET ? nOwner : pNode->nId;
            Drop(pNode, nObserver, nId, pool);
        }
    }

    // Both bits of every entity for one observer. Only once no node of the
    // observer's pairs is left on any list: a listed bit cleared under a live
    // node would let the pair be listed twice.
    void ClearObserver(int nObserver)
    {
        std::memset(m_auiStreamed[nObserver], 0, sizeof(m_auiStreamed[nObserver]));
        std::memset(m_auiListed[nObserver], 0, sizeof(m_auiListed[nObserver]));
    }

    // Copies the ids of the owner's list, in list order, so that callers can
    // act on them while the list changes underneath; returns the count.
    int Snapshot(int nOwner, int* pnIds, int nMax)
    {
        int nCount = 0;
        CStreamList& list = m_aLists[nOwner];
        for (SStreamNode* pNode = list.First(); pNode != list.End() && nCount < nMax; pNode = pNode->pNext)
            pnIds[nCount++] = pNode->nId;
        return nCount;
    }

private:
    static uint32_t Mask(int nId) { return 1u << (nId & 31); }
    static bool TestBit(const uint32_t* puiWords, int nId) { return (puiWords[nId >> 5] & Mask(nId)) != 0; }

    void Drop(SStreamNode* pNode, int nObserver, int nId, CStreamNodePool& pool)
    {
        CStreamList::Unlink(pNode);
        pool.Give(pNode);
        if (IsValidPair(nObserver, nId))
        {
            m_auiStreamed[nObserver][nId >> 5] &= ~Mask(nId);
            m_auiListed[nObserver][nId >> 5] &= ~Mask(nId);
        }
    }

    void Reset()
    {
        std::memset(m_auiStreamed, 0, sizeof(m_auiStreamed));
        std::memset(m_auiListed, 0, sizeof(m_auiListed));
    }

    uint32_t m_auiStreamed[OBSERVERS][WORDS];
    uint32_t m_auiListed[OBSERVERS][WORDS];
    CStreamList m_aLists[OBSERVERS];
};

// A kind of entity the observers hold by id (vehicles, pickups, objects): its
// streaming state, and what deciding it needs besides the observer. The pool
// its entities come from is null until the pool hands itself over; the grid
// keeps the entities by position; an entity streams in within fIn of an
// observer and out beyond fOut. bSameWorld: an observer sees only entities of
// exactly its own world (vehicles), not every world it can see into.
template <int ID_LIMIT, typename TSource> class CEntityStreamKind : public CStreamKind<ID_LIMIT, false>
{
public:
    using TSourceType = TSource;
    static constexpr int ID_COUNT = ID_LIMIT;

    CEntityStreamKind(float fIn, float fOut, bool bSameWorld)
        : m_fIn(fIn), m_fOut(fOut), m_bSameWorld(bSameWorld)
    {
    }

    TSource* Source() const { return m_pSource; }
    void SetSource(TSource* pSource) { m_pSource = pSource; }
    CStreamGrid& Grid() { return m_Grid; }
    float InRadius() const { return m_fIn; }
    float OutRadius() const { return m_fOut; }
    bool IsSameWorldOnly() const { return m_bSameWorld; }

    // Position and world of the entity; false when it does not exist.
    bool GetState(int nId, Vector& vPosition, int& nWorld) const
    {
        return m_pSource && this->IsValidId(nId) && m_pSource->GetStreamState(nId, vPosition, nWorld);
    }

    // The create message to the observer (slot nObserver) first, then the bit
    // and the list node; nothing without a pool, or when no node can be had.
    void StreamIn(CPlayer* pObserver, int nObserver, int nId, CStreamNodePool& pool)
    {
        if (!m_pSource || !pool.Reserve())
            return;
        m_pSource->SendStreamIn(nId, pObserver);
        this->SetStreamed(nObserver, nId);
        this->Link(nObserver, nId, pool);
    }

    // The destroy message, then the bit; the node goes at the next prune.
    void StreamOut(CPlayer* pObserver, int nObserver, int nId)
    {
        if (m_pSource)
            m_pSource->SendStreamOut(nId, pObserver);
        this->ClearStreamed(nObserver, nId);
    }

    // Drops the observer's nodes whose entity is streamed out or gone.
    void PruneGone(int nObserver, CStreamNodePool& pool)
    {
        Vector vPosition;
        int nWorld;
        this->Prune(nObserver, pool, [&](int nId) { return GetState(nId, vPosition, nWorld); });
    }

    // Acts on the ids of the observer's list through a copy taken first, each
    // only while it is still streamed in: what an act sets off (an exit event
    // lets plugins change anything) may change the list and the bits.
    template <typename TAct> void ForEachHeld(int nObserver, TAct&& act)
    {
        int anIds[ID_LIMIT];
        const int nCount = this->Snapshot(nObserver, anIds, ID_LIMIT);
        for (int i = 0; i < nCount; ++i)
        {
            if (this->IsStreamed(nObserver, anIds[i]))
                act(anIds[i]);
        }
    }

    // Everything the observer holds is destroyed on its client (a vehicle
    // too, under an occupant it sees), and its list and bits are emptied for
    // the slot's next player.
    void DropObserver(CPlayer* pObserver, int nObserver, CStreamNodePool& pool)
    {
        ForEachHeld(nObserver, [&](int nId) { StreamOut(pObserver, nObserver, nId); });
        this->ReleaseList(nObserver, pool);
        this->ClearObserver(nObserver);
    }

private:
    // Set by the pool for its own life.
    TSource* m_pSource = nullptr;
    CStreamGrid m_Grid;
    const float m_fIn;
    const float m_fOut;
    const bool m_bSameWorld;
};
