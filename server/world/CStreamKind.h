#pragma once

#include <cstdint>
#include <cstring>

#include "world/CStreamList.h"
#include "world/CStreamNodePool.h"

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
