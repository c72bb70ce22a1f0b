#include "world/CStreamList.h"

int CStreamList::Count() const
{
    int nCount = 0;
    for (const SStreamNode* pNode = m_Head.pNext; pNode != &m_Head; pNode = pNode->pNext)
        ++nCount;
    return nCount;
}

void CStreamList::PushFront(SStreamNode* pNode)
{
    pNode->pPrev = &m_Head;
    pNode->pNext = m_Head.pNext;
    m_Head.pNext->pPrev = pNode;
    m_Head.pNext = pNode;
}

void CStreamList::Unlink(SStreamNode* pNode)
{
    pNode->pPrev->pNext = pNode->pNext;
    pNode->pNext->pPrev = pNode->pPrev;
    pNode->pNext = nullptr;
    pNode->pPrev = nullptr;
}

void CStreamList::Clear()
{
    m_Head.nId = -1;
    m_Head.pNext = &m_Head;
    m_Head.pPrev = &m_Head;
}
