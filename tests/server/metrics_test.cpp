// The metrics' publication: a reader on another thread only ever sees whole
// snapshots, however the publisher and the reader interleave.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "CMetrics.h"
#include "CServer.h"

namespace
{
// Every number of the snapshot set to the same value.
SMetricsSnapshot Uniform(uint64_t ullValue)
{
    SMetricsSnapshot snapshot;
    uint64_t* pFirst = reinterpret_cast<uint64_t*>(&snapshot);
    for (size_t i = 0; i < sizeof(snapshot) / sizeof(uint64_t); ++i)
        pFirst[i] = ullValue;
    return snapshot;
}

bool IsUniform(const SMetricsSnapshot& snapshot)
{
    const uint64_t* pFirst = reinterpret_cast<const uint64_t*>(&snapshot);
    for (size_t i = 1; i < sizeof(snapshot) / sizeof(uint64_t); ++i)
        if (pFirst[i] != pFirst[0])
            return false;
    return true;
}
} // namespace

static_assert(sizeof(SMetricsSnapshot) % sizeof(uint64_t) == 0, "the snapshot is all 64-bit numbers");

TEST(Metrics, ReadersNeverSeeAHalfWrittenSnapshotAndTheLatestWins)
{
    CMetrics metrics;
    SMetricsSnapshot seen;
    EXPECT_FALSE(metrics.ReadPublished(seen));

    std::atomic<bool> bDone{false};
    std::atomic<int> nTorn{0};
    std::atomic<uint64_t> ullReads{0};
    auto Reader = [&]
    {
        uint64_t ullLast = 0;
        SMetricsSnapshot snapshot;
        while (!bDone)
        {
            if (!metrics.ReadPublished(snapshot))
                continue;
            if (!IsUniform(snapshot) || snapshot.ullTicks < ullLast)
                ++nTorn;
            ullLast = snapshot.ullTicks;
            ++ullReads;
        }
    };
    std::thread first(Reader);
    std::thread second(Reader);
    for (uint64_t i = 1; i <= 200000; ++i)
        metrics.Publish(Uniform(i));
    while (ullReads < 1000)
        std::this_thread::yield();
    bDone = true;
    first.join();
    second.join();
    EXPECT_EQ(nTorn, 0);
    metrics.Publish(Uniform(7));
    ASSERT_TRUE(metrics.ReadPublished(seen));
    EXPECT_EQ(seen.ullTicks, 7u);
    EXPECT_TRUE(IsUniform(seen));
}

TEST(Metrics, CountsFallInTheirBucketsAndTheTextAddsThemUp)
{
    CMetrics metrics;
    for (uint64_t ullMicroseconds : {50ull, 100ull, 101ull, 4000ull, 250000ull})
        metrics.CountTick(ullMicroseconds);
    metrics.CountKick(KICK_FLOOD);
    metrics.CountJoinRefused(9);
    metrics.CountJoinRefused(0);
    metrics.CountJoinRefused(4);
    // A server before Initialise: no pools, no network; the counts and the limit.
    CServer server;
    SMetricsSnapshot snapshot;
    metrics.Capture(server, snapshot);
    std::string strText;
    CMetrics::Render(snapshot, strText);
    for (const char* szLine : {
             "orvn_tick_duration_seconds_bucket{le=\"0.000100\"} 2\n",
             "orvn_tick_duration_seconds_bucket{le=\"0.000250\"} 3\n",
             "orvn_tick_duration_seconds_bucket{le=\"0.002500\"} 3\n",
             "orvn_tick_duration_seconds_bucket{le=\"0.005000\"} 4\n",
             "orvn_tick_duration_seconds_bucket{le=\"0.100000\"} 4\n",
             "orvn_tick_duration_seconds_bucket{le=\"+Inf\"} 5\n",
             "orvn_tick_duration_seconds_sum 0.254251\n",
             "orvn_tick_duration_seconds_count 5\n",
             "orvn_kicks_total{reason=\"flood\"} 1\n",
             "orvn_joins_refused_total{code=\"4\"} 1\n",
             "orvn_players_max 50\n",
             "orvn_entities{pool=\"vehicles\"} 0\n",
         })
        EXPECT_NE(strText.find(szLine), std::string::npos) << szLine << strText;
    EXPECT_EQ(strText.find("code=\"9\""), std::string::npos);
    EXPECT_EQ(strText.find("code=\"0\""), std::string::npos);
}
