#pragma once

#include "world/CStreamList.h"

// The free list that every stream list borrows its nodes from. Nodes come in
// blocks of 500, allocated only when the free list runs dry and kept until
// the pool is destroyed, so streaming in and out allocates nothing in the
// steady state.
class CStreamNodePool
{
public:
    static constexpr int BLOCK_SIZE = 500;

    CStreamNodePool() = default;
    ~CStreamNodePool();
    CStreamNodePool(const CStreamNodePool&) = delete;
    CStreamNodePool& operator=(const CStreamNodePool&) = delete;

    // A node carrying nId, taken from the front of the free list; null only
    // when a new block could not be allocated.
    SStreamNode* Take(int nId);
    // Makes sure the next Take succeeds; false when no block could be had.
    bool Reserve() { return !m_Free.IsEmpty() || Grow(); }
    // Back to the front of the free list, identifier reset to -1.
    void Give(SStreamNode* pNode);

    int GetBlockCount() const { return m_nBlocks; }
    int GetFreeCount() const { return m_nFree; }

private:
    struct SBlock
    {
        SBlock* pNext;
        SStreamNode aNodes[BLOCK_SIZE];
    };

    bool Grow();

    CStreamList m_Free;
    // Every block ever allocated, newest first; freed by the destructor.
    SBlock* m_pBlocks = nullptr;
    int m_nBlocks = 0;
    int m_nFree = 0;
};
