#pragma once

#include <cstdint>

#include "IRefCounter.h"

// A pickup of the pickup pool; ids 0..1999. Owned by its pool; destroyed through the
// lock of IRefCounter when a plugin deletes it from inside an event about it.
class CPickup : public IRefCounter
{
public:
    explicit CPickup(uint16_t wId) : m_wId(wId) {}

    uint16_t GetId() const { return m_wId; }

private:
    // The pool slot, fixed for the entity's life.
    uint16_t m_wId;
};
