#pragma once

// The node of an entity in its pool's circular list of live entities. The
// pool keeps a sentinel (no entity) linked to itself while the list is empty;
// entities are linked at the front, so walks visit the newest first. The node
// lives inside the entity, in the list from its creation to its destruction.
template <typename T> struct SEntityListNode
{
    T* pEntity = nullptr;
    SEntityListNode* pNext = nullptr;
    SEntityListNode* pPrev = nullptr;
};

template <typename T> void InitEntityList(SEntityListNode<T>& head)
{
    head.pNext = &head;
    head.pPrev = &head;
}

template <typename T> void LinkEntityFront(SEntityListNode<T>& head, SEntityListNode<T>& node)
{
    node.pNext = head.pNext;
    node.pPrev = &head;
    head.pNext->pPrev = &node;
    head.pNext = &node;
}

// Unlinking a node that is in no list does nothing.
template <typename T> void UnlinkEntity(SEntityListNode<T>& node)
{
    if (!node.pNext || !node.pPrev)
        return;
    node.pPrev->pNext = node.pNext;
    node.pNext->pPrev = node.pPrev;
    node.pNext = node.pPrev = nullptr;
}
