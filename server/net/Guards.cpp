#include "net/Guards.h"

#include "CMetrics.h"
#include "CServer.h"
#include "plugins/CPluginManager.h"

bool PassesConnectedGuard(int nSlot)
{
    uint8_t byState = g_pServer ? g_pServer->GetConnectionState(nSlot) : CONNECTION_NONE;
    if (byState == CONNECTION_CONNECTED)
        return true;
    if (!g_pServer)
        return false;
    if (byState == CONNECTION_JOINED)
        LogMessage("Kicking player ID %d, tried to send join packet when already joined.", nSlot);
    else
        LogMessage(
            "Kicking player ID %d, no record of such connection ID exists (when processing join packet).",
            nSlot);
    GetMetrics().CountKick(KICK_PROTOCOL);
    g_pServer->Kick(nSlot, true);
    return false;
}

bool PassesJoinedGuard(int nSlot)
{
    uint8_t byState = g_pServer ? g_pServer->GetConnectionState(nSlot) : CONNECTION_NONE;
    if (byState == CONNECTION_JOINED)
        return true;
    if (!g_pServer)
        return false;
    if (byState == CONNECTION_CONNECTED)
        LogMessage("Kicking player ID %d, tried to send a non-join packet when not yet joined.", nSlot);
    else
        LogMessage("Kicking player ID %d, no record of such connection ID exists.", nSlot);
    GetMetrics().CountKick(KICK_PROTOCOL);
    g_pServer->Kick(nSlot, true);
    return false;
}

void HandleGuardedUnused(int nSlot, int, const uint8_t*, int)
{
    PassesJoinedGuard(nSlot);
}
