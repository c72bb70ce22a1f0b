#pragma once

// Relay latencies of one polling thread, in bins of one clock unit (100 us).
// A fixed histogram instead of a list of samples: 200 000 relays a second
// for minutes would otherwise grow without bound.

#include <cstdint>
#include <vector>

namespace orvnbot
{

class CLatencyHistogram
{
public:
    // 0.1 ms bins up to 10 s; anything slower lands in the last bin.
    static constexpr int kBins = 100000;

    CLatencyHistogram();

    // A negative latency (clock misuse) counts as 0.
    void Add(int64_t llUnits);
    void Merge(const CLatencyHistogram& other);

    uint64_t Count() const { return m_ullCount; }
    int64_t Max() const { return m_llMax; }
    // Nearest-rank percentile (fQuantile 0..1) in units; 0 when empty.
    int64_t Percentile(double dQuantile) const;

private:
    // Lives as long as the histogram: samples per bin.
    std::vector<uint32_t> m_auiBins;
    uint64_t m_ullCount = 0;
    int64_t m_llMax = 0;
};

} // namespace orvnbot
