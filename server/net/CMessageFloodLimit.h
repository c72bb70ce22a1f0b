#pragma once

#include <cstdint>

#include "net/CTokenBucket.h"

constexpr int FLOOD_LIMIT_SLOTS = 100;

// Messages a second per connection, with a burst allowance. The receive loop
// asks once per message before dispatching it (constant time); a connection
// over its limit is marked, its further messages are dropped, and the server
// kicks it after the receive loop. Lives inside CNetwork; main thread only.
class CMessageFloodLimit
{
public:
    CMessageFloodLimit();

    // A rate of 0 switches the limit off. A burst below 1 is taken as 1.
    void Configure(int nRatePerSecond, int nBurst);
    int GetRate() const { return static_cast<int>(m_uiRate); }

    // False when the slot's message must be dropped: the connection has just
    // gone over its limit, or went over it earlier and awaits its kick.
    bool Admit(int nSlot, uint32_t uiNowMs);
    // A new connection in the slot, or the old one gone: a full burst again.
    void Reset(int nSlot, uint32_t uiNowMs);

    // Hands out the slots that went over their limit since the last call,
    // each once; returns how many were written (at most nMax, the rest wait).
    int TakeFlooded(int* pnSlots, int nMax);

private:
    uint32_t m_uiRate;
    uint64_t m_ullCapacity;
    // Per connection slot, from its connection (or start-up) to its end.
    CTokenBucket m_aBuckets[FLOOD_LIMIT_SLOTS];
    bool m_abFlooded[FLOOD_LIMIT_SLOTS];
    // The flooded slots not yet handed out, in the order they went over.
    int m_anPending[FLOOD_LIMIT_SLOTS];
    int m_nPendingCount;
};
