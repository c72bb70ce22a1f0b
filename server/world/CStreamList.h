#pragma once

#include <cstdint>

// One entry of a stream list: the identifier of the entity (or, on a player's
// list, of the observer) that the list's owner pairs with. -1 while free.
struct SStreamNode
{
    int32_t nId = -1;
    SStreamNode* pNext = nullptr;
    SStreamNode* pPrev = nullptr;
};

// A circular doubly-linked list of stream nodes around a sentinel that the
// list owns. Nodes are borrowed from the node pool; the list never frees them.
class CStreamList
{
public:
    CStreamList() { Clear(); }
    CStreamList(const CStreamList&) = delete;
    CStreamList& operator=(const CStreamList&) = delete;

    bool IsEmpty() const { return m_Head.pNext == &m_Head; }
    SStreamNode* First() { return m_Head.pNext; }
    const SStreamNode* End() const { return &m_Head; }
    SStreamNode* End() { return &m_Head; }
    int Count() const;

    // The newest node goes first, so iterations visit the latest pair first.
    void PushFront(SStreamNode* pNode);
    static void Unlink(SStreamNode* pNode);
    // Forgets every node without touching them; only for a list whose nodes
    // have all been handed back.
    void Clear();

private:
    SStreamNode m_Head;
};
