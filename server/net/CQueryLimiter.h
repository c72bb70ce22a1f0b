#pragma once

#include <cstdint>

#include "net/CTokenBucket.h"

// The per-address table: sets of a few entries each, so a lookup is a short
// scan and the table never grows, whatever the number of source addresses.
constexpr int QUERY_LIMIT_SET_BITS = 10;
constexpr int QUERY_LIMIT_SETS = 1 << QUERY_LIMIT_SET_BITS;
constexpr int QUERY_LIMIT_WAYS = 4;

enum EQueryVerdict
{
    QUERY_REPLY = 0,
    QUERY_OVER_RATE = 1,   // the source address has used its rate
    QUERY_OVER_BUDGET = 2, // all sources together have used the reply budget
};

// Decides whether a query reply may go out: a token bucket per source address
// (replies a second, with a burst) and one across all sources (reply bytes a
// second, at most one second's worth at once). A flood from spoofed addresses
// only recycles entries: a newcomer takes the set's free entry or the one
// seen least recently, which starts again with a full burst, and the global
// budget still holds. Used by the one thread that answers queries.
class CQueryLimiter
{
public:
    CQueryLimiter();

    // A rate or budget of 0 switches that limit off; a burst below 1 is taken as 1.
    void Configure(int nRatePerSecond, int nBurst, int nBytesPerSecond);

    // uiAddress as the transport holds it; nReplyLength the bytes the reply
    // would take. A refused reply costs nothing.
    EQueryVerdict Admit(uint32_t uiAddress, int nReplyLength, uint32_t uiNowMs);

private:
    struct SEntry
    {
        uint32_t uiAddress;
        bool bUsed;
        CTokenBucket bucket;
    };
    SEntry& EntryOf(uint32_t uiAddress, uint32_t uiNowMs);

    uint32_t m_uiRate;
    uint64_t m_ullCapacity;
    uint32_t m_uiBudget;
    // Mixed into the hash so that a flood cannot aim at one set from outside.
    uint32_t m_uiSalt;
    CTokenBucket m_Budget;
    bool m_bBudgetStarted;
    SEntry m_aEntries[QUERY_LIMIT_SETS * QUERY_LIMIT_WAYS];
};
