#include "CServer.h"

#include <cstring>

#include "CConsoleCommands.h"
#include "CMetrics.h"
#include "ITimeSource.h"
#include "net/CNetwork.h"
#include "net/CQueryHandler.h"
#include "players/CPlayerPool.h"
#include "plugins/CPluginManager.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "world/CStreamer.h"
#include "world/CVehiclePool.h"

namespace
{
// The descriptions of the report, for the whole process; plugins get a copy.
const char* const g_aszPerfDescriptions[8] = {
    "Streaming",          "Vehicle proximity checks", "Processing players", "Processing vehicles",
    "Processing pickups", "Processing objects",       "Packet processing",  "Plugin frame event",
};

// Runs one stage of the tick and adds its duration to a performance slot.
template <typename Stage> void MeasureStage(CServer& server, int nSlot, Stage stage)
{
    ITimeSource* pTime = GetTimeSource();
    uint64_t ullStart = pTime->GetMicroseconds();
    stage();
    server.AddPerfTime(nSlot, pTime->GetMicroseconds() - ullStart);
}
} // namespace

void CServer::Tick()
{
    const uint64_t ullStart = GetTimeSource()->GetMicroseconds();
    RunTick();
    GetMetrics().CountTick(GetTimeSource()->GetMicroseconds() - ullStart);
    GetMetrics().PublishIfDue(*this, m_uiNow);
}

// One frame. Every stage below handles its own errors; a slow one only
// delays the next frame.
void CServer::RunTick()
{
    // Seconds since the previous frame, for OnServerFrame.
    m_fFrameTime = MeasureFrameTime();
    // The clock every deadline of this frame compares against.
    m_uiNow = GetTimeSource()->GetTickMs();
    // Every waiting message, through its handler.
    MeasureStage(*this, PERF_PACKETS, [this] { m_pNetwork->ProcessIncoming(); });
    // Connections that sent more than their limit, outside the dispatch.
    KickFloodingConnections();
    // Server browsers see this frame's settings and players from here on.
    GetQueryHandler()->Refresh(*this);
    GetQueryHandler()->ReportDrops(m_uiNow);
    // The stage totals to plugins every 30 seconds.
    if (ClockPassed(m_uiNow, m_uiLastPerfReport + 30000))
        ReportPerformance();
    // Connections that never said who they are, at most every 100 ms.
    if (ClockPassed(m_uiNow, m_uiLastJoinCheck + 100))
        SweepJoinDeadlines();
    // Lines typed on the console since the last frame.
    CConsoleCommands::RunPending(*this);
    // Nothing of the world runs until start-up has finished.
    if (!m_bEntityProcessing)
    {
        m_pNetwork->FlushSends();
        return;
    }
    // Players: pending kicks, relays, far lists, away checks.
    MeasureStage(*this, PERF_PLAYERS, [this] { m_pPlayerPool->ProcessAll(); });
    // The relays leave together now rather than at the transport's next cycle.
    m_pNetwork->FlushSends();
    // Vehicles: respawn rules, unoccupied relays, update and respawn events.
    MeasureStage(*this, PERF_VEHICLES, [this] { m_pVehiclePool->Process(); });
    // Collected pickups that show again, then moving objects' grid cells.
    MeasureStage(*this, PERF_PICKUPS, [this] { m_pPickupPool->ProcessAll(m_uiNow); });
    MeasureStage(*this, PERF_OBJECTS, [this] { m_pObjectPool->ProcessAll(m_uiNow); });
    // The streamer: one player and one vehicle per tick; it times its own two passes.
    m_pStreamer->Process(m_uiNow);
    // The in-game clock and its periodic re-broadcast.
    StepClock();
    // Key binds written since the last tick, to everybody.
    m_KeyBinds.BroadcastChanged();
    // Plugins' frame event, last of all.
    MeasureStage(*this, PERF_FRAME_EVENT, [this] { g_pPluginManager->OnServerFrame(m_fFrameTime); });
    // What the stages after the relays queued leaves now as well.
    m_pNetwork->FlushSends();
}

float CServer::MeasureFrameTime()
{
    ITimeSource* pTime = GetTimeSource();
    uint64_t ullCounter = pTime->GetPerfCounter();
    if (m_ullLastFrameCounter == 0)
        m_ullLastFrameCounter = ullCounter;
    uint64_t ullElapsed = ullCounter - m_ullLastFrameCounter;
    m_ullLastFrameCounter = ullCounter;
    return static_cast<float>(static_cast<double>(ullElapsed) /
                              static_cast<double>(pTime->GetPerfFrequency()));
}

// Each report hands out its own copy of the description pointers: a plugin
// that writes into the list changes neither the next plugin's view nor the
// next report.
void CServer::ReportPerformance()
{
    const char* aszDescriptions[8];
    memcpy(aszDescriptions, g_aszPerfDescriptions, sizeof(aszDescriptions));
    g_pPluginManager->OnServerPerformanceReport(8, aszDescriptions, m_aullPerfTotals);
    for (uint64_t& ullTotal : m_aullPerfTotals)
        ullTotal = 0;
    m_uiLastPerfReport = m_uiNow;
}

// A connection has 2500 ms to send its join request.
void CServer::SweepJoinDeadlines()
{
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        if (m_abyConnectionState[nSlot] != CONNECTION_CONNECTED ||
            !ClockPassed(m_uiNow, m_auiJoinDeadline[nSlot]))
            continue;
        LogMessage("Disconnecting client at ID %d - hasn't told us who he is.", nSlot);
        GetMetrics().CountKick(KICK_JOIN_DEADLINE);
        Kick(nSlot, true);
    }
    m_uiLastJoinCheck = m_uiNow;
}

// Whole minutes since the reference advance the clock; the remainder carries
// over, so no time is lost between frames.
void CServer::StepClock()
{
    if (m_uiTimeRate == 0)
        return;
    uint32_t uiMinutes = (m_uiNow - m_uiClockReference) / m_uiTimeRate;
    if (uiMinutes == 0)
        return;
    m_uiClockReference += uiMinutes * m_uiTimeRate;
    uint32_t uiTotal = m_TimeState.byMinute + uiMinutes;
    m_TimeState.byHour = static_cast<uint8_t>((m_TimeState.byHour + uiTotal / 60) % 24);
    m_TimeState.byMinute = static_cast<uint8_t>(uiTotal % 60);
    if (m_uiNow - m_uiLastTimeBroadcast > 10000)
        SendWorldState(ID_TIME_STATE, -1);
}
