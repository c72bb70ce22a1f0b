#include "CMetrics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "CServer.h"
#include "net/CNetwork.h"
#include "net/CQueryHandler.h"
#include "platform/Platform.h"
#include "players/CPlayerPool.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "world/CVehiclePool.h"

namespace
{
const char* const g_aszStageLabels[METRICS_STAGES] = {
    "streaming", "vehicle_proximity", "players", "vehicles", "pickups", "objects", "packets", "frame_event",
};
const char* const g_aszKickLabels[KICK_REASON_COUNT] = {
    "flood", "anticheat", "join_deadline", "plugin", "console", "admin", "protocol",
};
const char* const g_aszPoolLabels[METRICS_POOL_COUNT] = {"players", "vehicles", "objects", "pickups"};

// The figures that are one plain number each.
struct SScalarFigure
{
    const char* szName;
    const char* szType;
    const char* szHelp;
    uint64_t SMetricsSnapshot::*pullValue;
};

const SScalarFigure g_aScalars[] = {
    {"orvn_players", "gauge", "Players in the server.", &SMetricsSnapshot::ullPlayers},
    {"orvn_players_max", "gauge", "The player limit.", &SMetricsSnapshot::ullMaxPlayers},
    {"orvn_ticks_total", "counter", "Ticks run since start-up.", &SMetricsSnapshot::ullTicks},
    {"orvn_messages_received_total", "counter", "Messages taken from the transport.",
     &SMetricsSnapshot::ullMessagesReceived},
    {"orvn_messages_sent_total", "counter", "Messages handed to the transport (a broadcast counts once, a relay once per recipient).",
     &SMetricsSnapshot::ullMessagesSent},
    {"orvn_bytes_received_total", "counter", "Bytes the transport received from connections, on the wire.",
     &SMetricsSnapshot::ullBytesReceived},
    {"orvn_bytes_sent_total", "counter", "Bytes the transport sent to connections, on the wire.",
     &SMetricsSnapshot::ullBytesSent},
    {"orvn_relays_sent_total", "counter", "Player sync records relayed to the players that see them.",
     &SMetricsSnapshot::ullRelaysSent},
    {"orvn_query_replies_total", "counter", "Server-browser queries answered.",
     &SMetricsSnapshot::ullQueryReplies},
    {"orvn_connections_accepted_total", "counter", "Connections the transport accepted.",
     &SMetricsSnapshot::ullConnectionsAccepted},
    {"process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
     &SMetricsSnapshot::ullResidentBytes},
};

void Append(std::string& strOut, const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& strOut, const char* szFormat, ...)
{
    char szLine[256];
    va_list args;
    va_start(args, szFormat);
    const int nLength = vsnprintf(szLine, sizeof(szLine), szFormat, args);
    va_end(args);
    if (nLength > 0)
        strOut.append(szLine, std::min(static_cast<size_t>(nLength), sizeof(szLine) - 1));
}

void Family(std::string& strOut, const char* szName, const char* szType, const char* szHelp)
{
    Append(strOut, "# HELP %s %s\n# TYPE %s %s\n", szName, szHelp, szName, szType);
}

void Seconds(std::string& strOut, const char* szSeries, uint64_t ullMicroseconds)
{
    Append(strOut, "%s %" PRIu64 ".%06" PRIu64 "\n", szSeries, ullMicroseconds / 1000000,
           ullMicroseconds % 1000000);
}

// One family with a label per entry of the table.
void Labelled(std::string& strOut, const char* szName, const char* szLabel, const char* const* aszValues,
              const uint64_t* aullCounts, int nCount)
{
    for (int i = 0; i < nCount; ++i)
        Append(strOut, "%s{%s=\"%s\"} %" PRIu64 "\n", szName, szLabel, aszValues[i], aullCounts[i]);
}

void RenderTickHistogram(const SMetricsSnapshot& snapshot, std::string& strOut)
{
    Family(strOut, "orvn_tick_duration_seconds", "histogram", "How long one tick took.");
    uint64_t ullCumulative = 0;
    for (int i = 0; i < METRICS_TICK_BOUNDS; ++i)
    {
        ullCumulative += snapshot.aullTickBuckets[i];
        const uint64_t ullBound = METRICS_TICK_BOUND_US[i];
        Append(strOut, "orvn_tick_duration_seconds_bucket{le=\"%" PRIu64 ".%06" PRIu64 "\"} %" PRIu64 "\n",
               ullBound / 1000000, ullBound % 1000000, ullCumulative);
    }
    ullCumulative += snapshot.aullTickBuckets[METRICS_TICK_BOUNDS];
    Append(strOut, "orvn_tick_duration_seconds_bucket{le=\"+Inf\"} %" PRIu64 "\n", ullCumulative);
    Seconds(strOut, "orvn_tick_duration_seconds_sum", snapshot.ullTickMicroseconds);
    Append(strOut, "orvn_tick_duration_seconds_count %" PRIu64 "\n", snapshot.ullTicks);
}

void RenderStages(const SMetricsSnapshot& snapshot, std::string& strOut)
{
    Family(strOut, "orvn_stage_seconds_total", "counter", "Time spent in each stage of the tick.");
    for (int i = 0; i < METRICS_STAGES; ++i)
    {
        char szSeries[96];
        snprintf(szSeries, sizeof(szSeries), "orvn_stage_seconds_total{stage=\"%s\"}", g_aszStageLabels[i]);
        Seconds(strOut, szSeries, snapshot.aullStageMicroseconds[i]);
    }
}

void RenderRefusals(const SMetricsSnapshot& snapshot, std::string& strOut)
{
    Family(strOut, "orvn_joins_refused_total", "counter",
           "Join requests refused, by refusal code (1 magic, 2 older version, 3 newer version, 4 name, "
           "5 name in use, 6 slot or error, 7 a plugin, 8 no unique id).");
    for (int nCode = 1; nCode < METRICS_REFUSAL_CODES; ++nCode)
        Append(strOut, "orvn_joins_refused_total{code=\"%d\"} %" PRIu64 "\n", nCode,
               snapshot.aullJoinsRefused[nCode]);
}
} // namespace

CMetrics::CMetrics() : m_Counts{}, m_bPublished(false), m_uiLastPublishMs(0), m_nPublished(-1) {}

void CMetrics::CountTick(uint64_t ullMicroseconds)
{
    int nBucket = 0;
    while (nBucket < METRICS_TICK_BOUNDS && ullMicroseconds > METRICS_TICK_BOUND_US[nBucket])
        ++nBucket;
    ++m_Counts.aullTickBuckets[nBucket];
    ++m_Counts.ullTicks;
    m_Counts.ullTickMicroseconds += ullMicroseconds;
}

void CMetrics::AddStageTime(int nSlot, uint64_t ullMicroseconds)
{
    if (nSlot >= 0 && nSlot < METRICS_STAGES)
        m_Counts.aullStageMicroseconds[nSlot] += ullMicroseconds;
}

void CMetrics::CountJoinRefused(uint8_t byCode)
{
    if (byCode > 0 && byCode < METRICS_REFUSAL_CODES)
        ++m_Counts.aullJoinsRefused[byCode];
}

void CMetrics::CountKick(EKickReason eReason)
{
    if (eReason >= 0 && eReason < KICK_REASON_COUNT)
        ++m_Counts.aullKicks[eReason];
}

void CMetrics::Capture(const CServer& server, SMetricsSnapshot& snapshot) const
{
    snapshot = m_Counts;
    snapshot.ullMaxPlayers = static_cast<uint64_t>(server.m_nMaxPlayers);
    const int anCounts[METRICS_POOL_COUNT] = {
        server.m_pPlayerPool ? server.m_pPlayerPool->Count() : 0,
        server.m_pVehiclePool ? server.m_pVehiclePool->Count() : 0,
        server.m_pObjectPool ? server.m_pObjectPool->Count() : 0,
        server.m_pPickupPool ? server.m_pPickupPool->Count() : 0,
    };
    for (int i = 0; i < METRICS_POOL_COUNT; ++i)
        snapshot.aullEntities[i] = static_cast<uint64_t>(anCounts[i]);
    snapshot.ullPlayers = snapshot.aullEntities[METRICS_POOL_PLAYERS];
    if (server.m_pNetwork)
    {
        SNetTraffic traffic;
        server.m_pNetwork->GetTraffic(traffic);
        snapshot.ullMessagesReceived = traffic.ullMessagesReceived;
        snapshot.ullMessagesSent = traffic.ullMessagesSent;
        snapshot.ullBytesReceived = traffic.ullBytesReceived;
        snapshot.ullBytesSent = traffic.ullBytesSent;
    }
    GetQueryHandler()->GetTotals(snapshot.ullQueryReplies, snapshot.ullQueryDroppedOverRate,
                                 snapshot.ullQueryDroppedOverBudget);
    PlatformGetProcessUsage(snapshot.ullResidentBytes, snapshot.ullCpuMicroseconds);
}

void CMetrics::PublishIfDue(const CServer& server, uint32_t uiNowMs)
{
    if (m_bPublished && !ClockPassed(uiNowMs, m_uiLastPublishMs + 999))
        return;
    SMetricsSnapshot snapshot;
    Capture(server, snapshot);
    Publish(snapshot);
    m_bPublished = true;
    m_uiLastPublishMs = uiNowMs;
}

// A slot is written only while it is not the published one and nobody reads
// it; a reader that arrives meanwhile sees it is no longer published and
// backs off, so no reader ever copies a half-written slot.
void CMetrics::Publish(const SMetricsSnapshot& snapshot)
{
    const int nCurrent = m_nPublished.load();
    for (int i = 0; i < PUBLISH_SLOTS; ++i)
    {
        if (i == nCurrent || m_aSlots[i].nReaders.load() != 0)
            continue;
        m_aSlots[i].snapshot = snapshot;
        m_nPublished.store(i);
        return;
    }
}

bool CMetrics::ReadPublished(SMetricsSnapshot& snapshot)
{
    for (;;)
    {
        const int nSlot = m_nPublished.load();
        if (nSlot < 0)
            return false;
        SSlot& slot = m_aSlots[nSlot];
        slot.nReaders.fetch_add(1);
        const bool bStill = m_nPublished.load() == nSlot;
        if (bStill)
            snapshot = slot.snapshot;
        slot.nReaders.fetch_sub(1);
        if (bStill)
            return true;
    }
}

void CMetrics::Render(const SMetricsSnapshot& snapshot, std::string& strOut)
{
    for (const SScalarFigure& figure : g_aScalars)
    {
        Family(strOut, figure.szName, figure.szType, figure.szHelp);
        Append(strOut, "%s %" PRIu64 "\n", figure.szName, snapshot.*figure.pullValue);
    }
    Family(strOut, "process_cpu_seconds_total", "counter", "User and system CPU time spent in seconds.");
    Seconds(strOut, "process_cpu_seconds_total", snapshot.ullCpuMicroseconds);
    RenderTickHistogram(snapshot, strOut);
    RenderStages(snapshot, strOut);
    Family(strOut, "orvn_query_replies_dropped_total", "counter",
           "Server-browser replies dropped by the flood limits, by the limit that dropped them.");
    const uint64_t aullDropped[2] = {snapshot.ullQueryDroppedOverRate, snapshot.ullQueryDroppedOverBudget};
    const char* const aszDropReasons[2] = {"rate", "budget"};
    Labelled(strOut, "orvn_query_replies_dropped_total", "reason", aszDropReasons, aullDropped, 2);
    RenderRefusals(snapshot, strOut);
    Family(strOut, "orvn_kicks_total", "counter", "Players and connections the server removed, by reason.");
    Labelled(strOut, "orvn_kicks_total", "reason", g_aszKickLabels, snapshot.aullKicks, KICK_REASON_COUNT);
    Family(strOut, "orvn_entities", "gauge", "Entities in each pool.");
    Labelled(strOut, "orvn_entities", "pool", g_aszPoolLabels, snapshot.aullEntities, METRICS_POOL_COUNT);
}

void CMetrics::RenderPublished(std::string& strOut)
{
    SMetricsSnapshot snapshot;
    if (GetMetrics().ReadPublished(snapshot))
        Render(snapshot, strOut);
}

CMetrics& GetMetrics()
{
    static CMetrics s_Metrics;
    return s_Metrics;
}
