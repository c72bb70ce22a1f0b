#include "net/CMessageFloodLimit.h"

CMessageFloodLimit::CMessageFloodLimit() : m_uiRate(0), m_ullCapacity(0), m_nPendingCount(0)
{
    for (int nSlot = 0; nSlot < FLOOD_LIMIT_SLOTS; ++nSlot)
    {
        m_aBuckets[nSlot].Fill(0, 0);
        m_abFlooded[nSlot] = false;
        m_anPending[nSlot] = 0;
    }
}

void CMessageFloodLimit::Configure(int nRatePerSecond, int nBurst)
{
    if (nRatePerSecond < 0)
        nRatePerSecond = 0;
    if (nRatePerSecond > TOKEN_LIMIT_MAX)
        nRatePerSecond = TOKEN_LIMIT_MAX;
    nBurst = nBurst < 1 ? 1 : (nBurst > TOKEN_LIMIT_MAX ? TOKEN_LIMIT_MAX : nBurst);
    m_uiRate = static_cast<uint32_t>(nRatePerSecond);
    m_ullCapacity = static_cast<uint64_t>(nBurst) * TOKEN_SCALE;
    for (int nSlot = 0; nSlot < FLOOD_LIMIT_SLOTS; ++nSlot)
    {
        m_aBuckets[nSlot].Fill(m_ullCapacity, 0);
        m_abFlooded[nSlot] = false;
    }
    m_nPendingCount = 0;
}

// Before its first message a slot's bucket is as full as Reset left it; the
// bucket's clock starts at that first message, so a slot idle since start-up
// is not over-filled.
bool CMessageFloodLimit::Admit(int nSlot, uint32_t uiNowMs)
{
    if (m_uiRate == 0 || nSlot < 0 || nSlot >= FLOOD_LIMIT_SLOTS)
        return true;
    if (m_abFlooded[nSlot])
        return false;
    CTokenBucket& bucket = m_aBuckets[nSlot];
    if (bucket.m_uiLastMs == 0)
        bucket.m_uiLastMs = uiNowMs;
    if (bucket.Take(TOKEN_SCALE, m_ullCapacity, m_uiRate, uiNowMs))
        return true;
    m_abFlooded[nSlot] = true;
    m_anPending[m_nPendingCount++] = nSlot;
    return false;
}

void CMessageFloodLimit::Reset(int nSlot, uint32_t uiNowMs)
{
    if (nSlot < 0 || nSlot >= FLOOD_LIMIT_SLOTS)
        return;
    m_aBuckets[nSlot].Fill(m_ullCapacity, uiNowMs);
    if (!m_abFlooded[nSlot])
        return;
    // Gone, or gone before its kick: nothing is left to kick.
    m_abFlooded[nSlot] = false;
    int nKept = 0;
    for (int i = 0; i < m_nPendingCount; ++i)
    {
        if (m_anPending[i] != nSlot)
            m_anPending[nKept++] = m_anPending[i];
    }
    m_nPendingCount = nKept;
}

// A slot handed out stays marked, so whatever its closed connection still
// had on the way is dropped without a second kick, until the slot's next
// connection resets it.
int CMessageFloodLimit::TakeFlooded(int* pnSlots, int nMax)
{
    int nCount = m_nPendingCount < nMax ? m_nPendingCount : nMax;
    for (int i = 0; i < nCount; ++i)
        pnSlots[i] = m_anPending[i];
    for (int i = nCount; i < m_nPendingCount; ++i)
        m_anPending[i - nCount] = m_anPending[i];
    m_nPendingCount -= nCount;
    return nCount;
}
