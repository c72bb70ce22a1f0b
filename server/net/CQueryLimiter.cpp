#include "net/CQueryLimiter.h"

#include <cstring>

#include "platform/Platform.h"

CQueryLimiter::CQueryLimiter()
    : m_uiRate(0), m_ullCapacity(TOKEN_SCALE), m_uiBudget(0), m_uiSalt(0), m_bBudgetStarted(false)
{
    memset(static_cast<void*>(m_aEntries), 0, sizeof(m_aEntries));
    m_Budget.Fill(0, 0);
}

void CQueryLimiter::Configure(int nRatePerSecond, int nBurst, int nBytesPerSecond)
{
    auto clamp = [](int nValue, int nLow)
    { return nValue < nLow ? nLow : (nValue > TOKEN_LIMIT_MAX ? TOKEN_LIMIT_MAX : nValue); };
    m_uiRate = static_cast<uint32_t>(clamp(nRatePerSecond, 0));
    m_ullCapacity = static_cast<uint64_t>(clamp(nBurst, 1)) * TOKEN_SCALE;
    m_uiBudget = static_cast<uint32_t>(clamp(nBytesPerSecond, 0));
    m_uiSalt = static_cast<uint32_t>(PlatformGetMicroseconds()) * 2654435761u | 1u;
    m_bBudgetStarted = false;
    memset(static_cast<void*>(m_aEntries), 0, sizeof(m_aEntries));
}

// The address's own entry, or the one it takes over: a free one first, else
// the one in its set that was seen least recently.
CQueryLimiter::SEntry& CQueryLimiter::EntryOf(uint32_t uiAddress, uint32_t uiNowMs)
{
    // The set is the product's top bits, which every address bit reaches:
    // neighbouring addresses differ only in the octet stored highest.
    const uint32_t uiHash = (uiAddress ^ m_uiSalt) * 2654435761u;
    SEntry* pSet = &m_aEntries[(uiHash >> (32 - QUERY_LIMIT_SET_BITS)) * QUERY_LIMIT_WAYS];
    SEntry* pVictim = pSet;
    for (int i = 0; i < QUERY_LIMIT_WAYS; ++i)
    {
        SEntry& entry = pSet[i];
        if (entry.bUsed && entry.uiAddress == uiAddress)
            return entry;
        if (!entry.bUsed)
            pVictim = &entry;
        else if (pVictim->bUsed && uiNowMs - entry.bucket.m_uiLastMs > uiNowMs - pVictim->bucket.m_uiLastMs)
            pVictim = &entry;
    }
    pVictim->bUsed = true;
    pVictim->uiAddress = uiAddress;
    pVictim->bucket.Fill(m_ullCapacity, uiNowMs);
    return *pVictim;
}

EQueryVerdict CQueryLimiter::Admit(uint32_t uiAddress, int nReplyLength, uint32_t uiNowMs)
{
    const uint64_t ullBytes = static_cast<uint64_t>(nReplyLength > 0 ? nReplyLength : 0) * TOKEN_SCALE;
    if (m_uiBudget != 0)
    {
        const uint64_t ullBudgetCapacity = static_cast<uint64_t>(m_uiBudget) * TOKEN_SCALE;
        if (!m_bBudgetStarted)
            m_Budget.Fill(ullBudgetCapacity, uiNowMs);
        m_bBudgetStarted = true;
        // Only looked at here; spent once the address has passed too.
        m_Budget.Refill(ullBudgetCapacity, m_uiBudget, uiNowMs);
        if (m_Budget.m_ullTokens < ullBytes)
            return QUERY_OVER_BUDGET;
    }
    if (m_uiRate != 0 &&
        !EntryOf(uiAddress, uiNowMs).bucket.Take(TOKEN_SCALE, m_ullCapacity, m_uiRate, uiNowMs))
        return QUERY_OVER_RATE;
    if (m_uiBudget != 0)
        m_Budget.m_ullTokens -= ullBytes;
    return QUERY_REPLY;
}
