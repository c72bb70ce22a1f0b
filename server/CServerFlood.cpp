#include "CServer.h"

#include "CMetrics.h"
#include "net/CNetwork.h"
#include "net/CQueryHandler.h"
#include "plugins/CPluginManager.h"

static_assert(FLOOD_LIMIT_SLOTS == MAX_PLAYER_SLOTS, "one message allowance per player slot");

// Called between creating the network and starting it: the transport's
// threads, which read the query limits, do not exist yet.
void CServer::ApplyFloodLimits()
{
    const SFloodLimits& limits = m_FloodLimits;
    GetQueryHandler()->SetLimits(limits.nQueryRate, limits.nQueryBurst, limits.nQueryBudget);
    m_pNetwork->GetFloodLimit().Configure(limits.nMessageRate, limits.nMessageBurst);
    m_pNetwork->SetConnectionRateLimit(limits.nConnectLimit != 0);
}

// Like the anti-cheat's kicks, these happen after the messages of the tick,
// never inside a handler; the player, if any, is told it was kicked.
void CServer::KickFloodingConnections()
{
    int anSlots[FLOOD_LIMIT_SLOTS];
    const int nCount = m_pNetwork->GetFloodLimit().TakeFlooded(anSlots, FLOOD_LIMIT_SLOTS);
    for (int i = 0; i < nCount; ++i)
    {
        char szAddress[16];
        m_pNetwork->GetAddress(anSlots[i], szAddress, sizeof(szAddress));
        LogMessage("Kicking player ID %d (%s), sent more than %d messages a second.", anSlots[i], szAddress,
                   m_pNetwork->GetFloodLimit().GetRate());
        GetMetrics().CountKick(KICK_FLOOD);
        Kick(anSlots[i], false);
    }
}
