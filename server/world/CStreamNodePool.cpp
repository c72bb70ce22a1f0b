#include "world/CStreamNodePool.h"

#include <new>

CStreamNodePool::~CStreamNodePool()
{
    while (m_pBlocks)
    {
        SBlock* pNext = m_pBlocks->pNext;
        delete m_pBlocks;
        m_pBlocks = pNext;
    }
}

// The new block's nodes are chained in order, so the first one taken is the
// block's first node.
bool CStreamNodePool::Grow()
{
    SBlock* pBlock = new (std::nothrow) SBlock;
    if (!pBlock)
        return false;
    pBlock->pNext = m_pBlocks;
    m_pBlocks = pBlock;
    ++m_nBlocks;
    for (int i = BLOCK_SIZE - 1; i >= 0; --i)
        Give(&pBlock->aNodes[i]);
    return true;
}

SStreamNode* CStreamNodePool::Take(int nId)
{
    if (m_Free.IsEmpty() && !Grow())
        return nullptr;
    SStreamNode* pNode = m_Free.First();
    CStreamList::Unlink(pNode);
    --m_nFree;
    pNode->nId = nId;
    return pNode;
}

void CStreamNodePool::Give(SStreamNode* pNode)
{
    pNode->nId = -1;
    m_Free.PushFront(pNode);
    ++m_nFree;
}
