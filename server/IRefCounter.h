#pragma once

#include <cstdint>

// Base of every entity (players, vehicles, objects, pickups). A plugin
// callback or a message handler locks the entity it works on; a removal
// requested meanwhile only marks it, and the release of the last lock
// destroys it. The destructor is the only virtual operation.
class IRefCounter
{
public:
    IRefCounter() = default;
    virtual ~IRefCounter() = default;

    IRefCounter(const IRefCounter&) = delete;
    IRefCounter& operator=(const IRefCounter&) = delete;

    void Lock() { ++m_nLockCounter; }

    // Returns false when this release destroyed the object: the caller must
    // not touch it again.
    bool Release();

    // For removals: destroys at once when nothing holds a lock, otherwise
    // marks for deletion. Returns true when the object was destroyed now.
    bool RequestDelete();

    bool IsLocked() const { return m_nLockCounter > 0; }
    bool IsMarkedForDeletion() const { return m_bMarkedForDeletion != 0; }
    bool IsDeleted() const { return m_bDeleted != 0; }
    void MarkForDeletion() { m_bMarkedForDeletion = 1; }
    uint32_t GetLockCount() const { return m_nLockCounter; }

private:
    uint32_t m_nLockCounter = 0;
    uint8_t m_bMarkedForDeletion = 0;
    uint8_t m_bDeleted = 0;
};

// Holds a lock for a scope. Alive() is false once the release would have
// destroyed the object; after that the pointer must not be used.
class CEntityLock
{
public:
    explicit CEntityLock(IRefCounter* pEntity) : m_pEntity(pEntity)
    {
        if (m_pEntity)
            m_pEntity->Lock();
    }
    ~CEntityLock() { Release(); }
    CEntityLock(const CEntityLock&) = delete;
    CEntityLock& operator=(const CEntityLock&) = delete;

    // Releases early; returns false when the entity is gone.
    bool Release()
    {
        IRefCounter* pEntity = m_pEntity;
        m_pEntity = nullptr;
        return pEntity ? pEntity->Release() : false;
    }

private:
    IRefCounter* m_pEntity;
};
