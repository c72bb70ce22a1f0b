#pragma once

#include <cstdint>

// A token bucket in thousandths of a token, so that rates below one token a
// millisecond refill smoothly. Plain data: the limiters keep arrays of them.
// The refill takes the elapsed time of the monotonic millisecond clock
// unsigned, so the 32-bit clock's wrap is harmless.
struct CTokenBucket
{
    uint64_t m_ullTokens;
    uint32_t m_uiLastMs;

    // Full, as of uiNowMs.
    void Fill(uint64_t ullCapacity, uint32_t uiNowMs)
    {
        m_ullTokens = ullCapacity;
        m_uiLastMs = uiNowMs;
    }

    // Adds what uiRatePerSecond earned since the last call (thousandths per
    // millisecond equal tokens per second), up to ullCapacity.
    void Refill(uint64_t ullCapacity, uint32_t uiRatePerSecond, uint32_t uiNowMs)
    {
        const uint32_t uiElapsed = uiNowMs - m_uiLastMs;
        if (uiElapsed == 0)
            return;
        m_ullTokens += static_cast<uint64_t>(uiElapsed) * uiRatePerSecond;
        if (m_ullTokens > ullCapacity)
            m_ullTokens = ullCapacity;
        m_uiLastMs = uiNowMs;
    }

    // Refills, then takes ullCost if it is there.
    bool Take(uint64_t ullCost, uint64_t ullCapacity, uint32_t uiRatePerSecond, uint32_t uiNowMs)
    {
        Refill(ullCapacity, uiRatePerSecond, uiNowMs);
        if (m_ullTokens < ullCost)
            return false;
        m_ullTokens -= ullCost;
        return true;
    }
};

constexpr uint64_t TOKEN_SCALE = 1000;
// Rates and bursts above this are taken as this, so no product overflows.
constexpr int TOKEN_LIMIT_MAX = 100000000;
