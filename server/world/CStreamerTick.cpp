#include "world/CStreamer.h"

#include <cmath>

#include "CServer.h"
#include "ITimeSource.h"
#include "players/CPlayer.h"

// The streamer's share of the server tick: the player pass (streaming) and
// the vehicle pass (each unoccupied vehicle offered its nearest player).

namespace
{
constexpr int VEHICLE_PASS_FIRST = 1;
constexpr int VEHICLE_PASS_LAST = 1000;
} // namespace

// One player and one vehicle per tick; a pass over all of them starts at
// most once per interval. Intervals are measured as differences so that the
// wrap of the millisecond clock does not stall the passes.
void CStreamer::Process(uint32_t uiNow)
{
    ITimeSource* pTime = GetTimeSource();
    const uint64_t ullStart = pTime->GetMicroseconds();
    RunPlayerPass(uiNow);
    const uint64_t ullPlayersDone = pTime->GetMicroseconds();
    RunVehiclePass(uiNow);
    const uint64_t ullVehiclesDone = pTime->GetMicroseconds();
    if (g_pServer)
    {
        g_pServer->AddPerfTime(PERF_STREAMING, ullPlayersDone - ullStart);
        g_pServer->AddPerfTime(PERF_VEHICLE_PROXIMITY, ullVehiclesDone - ullPlayersDone);
    }
}

void CStreamer::RunPlayerPass(uint32_t uiNow)
{
    if (m_nNextPlayer == 0)
    {
        if (uiNow - m_uiPlayerPassStarted < m_uiPlayerPassInterval)
            return;
        m_uiPlayerPassStarted = uiNow;
    }
    for (int nSlot = m_nNextPlayer; nSlot < MAX_PLAYERS; ++nSlot)
    {
        CPlayer* pPlayer = GetPlayer(nSlot);
        if (!pPlayer)
            continue;
        m_nNextPlayer = nSlot + 1 < MAX_PLAYERS ? nSlot + 1 : 0;
        StreamPlayer(pPlayer);
        return;
    }
    m_nNextPlayer = 0;
}

void CStreamer::RunVehiclePass(uint32_t uiNow)
{
    if (m_nNextVehicle == VEHICLE_PASS_FIRST)
    {
        if (uiNow - m_uiVehiclePassStarted < m_uiVehiclePassInterval)
            return;
        m_uiVehiclePassStarted = uiNow;
    }
    Vector vPosition;
    int nWorld;
    for (int nId = m_nNextVehicle; nId <= VEHICLE_PASS_LAST; ++nId)
    {
        if (!m_Vehicles.GetState(nId, vPosition, nWorld))
            continue;
        m_nNextVehicle = nId + 1 <= VEHICLE_PASS_LAST ? nId + 1 : VEHICLE_PASS_FIRST;
        CheckVehicleProximity(nId);
        return;
    }
    m_nNextVehicle = VEHICLE_PASS_FIRST;
}

// Only a vehicle nobody sits in (or one already given to its nearest player)
// looks for the nearest player; strictly nearer wins, a tie keeps the first.
void CStreamer::CheckVehicleProximity(int nVehicleId)
{
    Vector vPosition;
    int nWorld;
    if (!m_Vehicles.GetState(nVehicleId, vPosition, nWorld))
        return;
    const int nState = m_Vehicles.Source()->GetOccupancyState(nVehicleId);
    if (nState != 0 && nState != 4)
        return;
    float fBest = PROXIMITY_RADIUS * PROXIMITY_RADIUS;
    int nChosen = -1;
    m_PlayerGrid.QueryEach(vPosition.x, vPosition.y, PROXIMITY_RADIUS,
                           [&](void* pEntity)
                           {
                               const CPlayer* pCandidate = static_cast<const CPlayer*>(pEntity);
                               if (!m_Vehicles.IsStreamed(pCandidate->GetSlot(), nVehicleId))
                                   return;
                               const float fDistance =
                                   Vector::DistanceSquared(vPosition, pCandidate->m_vPosition);
                               if (fBest > fDistance)
                               {
                                   fBest = fDistance;
                                   nChosen = pCandidate->GetSlot();
                               }
                           });
    if (nChosen < 0)
        m_Vehicles.Source()->OfferNearestPlayer(nVehicleId, NO_PLAYER, PROXIMITY_RADIUS);
    else
        m_Vehicles.Source()->OfferNearestPlayer(nVehicleId, nChosen, std::sqrt(fBest));
}
