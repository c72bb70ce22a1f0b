#include "CLatencyHistogram.h"

#include <algorithm>
#include <cmath>

namespace orvnbot
{

CLatencyHistogram::CLatencyHistogram() : m_auiBins(kBins, 0) {}

void CLatencyHistogram::Add(int64_t llUnits)
{
    const int64_t llValue = std::max<int64_t>(0, llUnits);
    const int64_t llBin = std::min<int64_t>(llValue, kBins - 1);
    ++m_auiBins[static_cast<size_t>(llBin)];
    ++m_ullCount;
    m_llMax = std::max(m_llMax, llValue);
}

void CLatencyHistogram::Merge(const CLatencyHistogram& other)
{
    for (int i = 0; i < kBins; ++i)
    {
        m_auiBins[i] += other.m_auiBins[i];
    }
    m_ullCount += other.m_ullCount;
    m_llMax = std::max(m_llMax, other.m_llMax);
}

// The smallest bin whose running count reaches ceil(q * count).
int64_t CLatencyHistogram::Percentile(double dQuantile) const
{
    if (m_ullCount == 0)
    {
        return 0;
    }
    const double dClamped = std::clamp(dQuantile, 0.0, 1.0);
    const uint64_t ullRank =
        std::max<uint64_t>(1, static_cast<uint64_t>(std::ceil(dClamped * static_cast<double>(m_ullCount))));
    uint64_t ullSeen = 0;
    for (int i = 0; i < kBins; ++i)
    {
        ullSeen += m_auiBins[i];
        if (ullSeen >= ullRank)
        {
            return i;
        }
    }
    return kBins - 1;
}

} // namespace orvnbot
