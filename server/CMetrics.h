#pragma once

#include <atomic>
#include <cstdint>
#include <string>

class CServer;

// Upper bounds of the tick duration histogram, in microseconds; one more
// bucket counts everything slower.
constexpr int METRICS_TICK_BOUNDS = 10;
constexpr uint64_t METRICS_TICK_BOUND_US[METRICS_TICK_BOUNDS] = {100,  250,   500,   1000,  2500,
                                                                 5000, 10000, 25000, 50000, 100000};
// The stages of the performance report (slots 0..7).
constexpr int METRICS_STAGES = 8;
// Join refusal codes 1..8; index 0 is unused.
constexpr int METRICS_REFUSAL_CODES = 9;

// Why the server removed a player or a connection.
enum EKickReason
{
    KICK_FLOOD = 0,         // sent more messages than its limit
    KICK_ANTICHEAT = 1,     // broke an anti-cheat rule
    KICK_JOIN_DEADLINE = 2, // never said who it is
    KICK_PLUGIN = 3,        // a plugin kicked or banned it
    KICK_CONSOLE = 4,       // an operator's console or control command
    KICK_ADMIN = 5,         // an in-game administrator
    KICK_PROTOCOL = 6,      // a message its connection state does not allow
    KICK_REASON_COUNT = 7,
};

// Entity pools counted in the figures.
enum EMetricsPool
{
    METRICS_POOL_PLAYERS = 0,
    METRICS_POOL_VEHICLES = 1,
    METRICS_POOL_OBJECTS = 2,
    METRICS_POOL_PICKUPS = 3,
    METRICS_POOL_COUNT = 4,
};

// Every figure at one instant. Plain data: a copy is a consistent picture.
// Counters count from start-up; the histogram's buckets are not cumulative
// (the text adds them up).
struct SMetricsSnapshot
{
    uint64_t ullPlayers;
    uint64_t ullMaxPlayers;
    uint64_t ullTicks;
    uint64_t aullTickBuckets[METRICS_TICK_BOUNDS + 1];
    uint64_t ullTickMicroseconds;
    uint64_t aullStageMicroseconds[METRICS_STAGES];
    uint64_t ullMessagesReceived;
    uint64_t ullMessagesSent;
    uint64_t ullBytesReceived;
    uint64_t ullBytesSent;
    uint64_t ullRelaysSent;
    uint64_t ullQueryReplies;
    uint64_t ullQueryDroppedOverRate;
    uint64_t ullQueryDroppedOverBudget;
    uint64_t ullConnectionsAccepted;
    uint64_t aullJoinsRefused[METRICS_REFUSAL_CODES];
    uint64_t aullKicks[KICK_REASON_COUNT];
    uint64_t aullEntities[METRICS_POOL_COUNT];
    uint64_t ullResidentBytes;
    uint64_t ullCpuMicroseconds;
};

// The server's figures for monitoring. The main thread counts as things
// happen, and publishes a snapshot at most once a second; any thread reads
// the latest one without a lock: the publisher writes only a slot nobody is
// reading and nobody can start reading, and skips a second rather than wait.
class CMetrics
{
public:
    CMetrics();

    // Main thread: events as they happen.
    void CountTick(uint64_t ullMicroseconds);
    void AddStageTime(int nSlot, uint64_t ullMicroseconds);
    void CountRelays(int nCount) { m_Counts.ullRelaysSent += static_cast<uint64_t>(nCount); }
    void CountConnection() { ++m_Counts.ullConnectionsAccepted; }
    void CountJoinRefused(uint8_t byCode);
    void CountKick(EKickReason eReason);

    // Main thread: the counts with what the server holds right now.
    void Capture(const CServer& server, SMetricsSnapshot& snapshot) const;
    // Main thread, after each tick: captures and publishes once a second.
    void PublishIfDue(const CServer& server, uint32_t uiNowMs);
    void Publish(const SMetricsSnapshot& snapshot);
    // Any thread: the latest published snapshot; false before the first.
    bool ReadPublished(SMetricsSnapshot& snapshot);

    // The text exposition format of monitoring systems, one family per figure.
    static void Render(const SMetricsSnapshot& snapshot, std::string& strOut);
    // Any thread: the latest published snapshot as text (empty before the first).
    static void RenderPublished(std::string& strOut);

private:
    static constexpr int PUBLISH_SLOTS = 4;
    struct SSlot
    {
        std::atomic<int> nReaders{0};
        SMetricsSnapshot snapshot;
    };

    // Main thread only: the running counts (gauges unused here).
    SMetricsSnapshot m_Counts;
    bool m_bPublished;
    uint32_t m_uiLastPublishMs;
    SSlot m_aSlots[PUBLISH_SLOTS];
    // The slot readers take; -1 until the first publish.
    std::atomic<int> m_nPublished;
};

// The one metrics object of the process; lives until the process ends, so
// the HTTP thread can read it at any moment.
CMetrics& GetMetrics();
