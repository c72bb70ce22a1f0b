#include "players/PlayerHandlers.h"

#include <vector>

#include "CServer.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"

namespace
{
constexpr int MAX_CLIENT_TEXT = 15000;

// The guard, then the slot's player; null when the message is to be dropped
// (also for a player already being removed).
CPlayer* JoinedPlayer(int nSlot)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_pPlayerPool)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}
} // namespace

// A free text block for the plugins: a 16-bit length, at most 15000 bytes
// kept; a payload that ends before its bytes is dropped.
void CPlayerHandlers::HandleClientText(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || !g_pPluginManager || nLength < 2)
        return;
    const int nDeclared = (pPayload[0] << 8) | pPayload[1];
    const int nText = nDeclared > MAX_CLIENT_TEXT ? MAX_CLIENT_TEXT : nDeclared;
    if (nText > nLength - 2)
        return;
    std::vector<char> text(pPayload + 2, pPayload + 2 + nText);
    text.push_back('\0');
    g_pPluginManager->OnPlayerClientText(pPlayer, text.data());
}

void CPlayerHandlers::HandlePlayerListRequest(int nSlot, int, const uint8_t*, int)
{
    if (CPlayer* pPlayer = JoinedPlayer(nSlot))
        SendPlayerList(pPlayer);
}

void CPlayerHandlers::HandleRequestClass(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < 1)
        return;
    pPlayer->RequestClass(pPayload[0]);
}

void CPlayerHandlers::HandleRequestSpawn(int nSlot, int, const uint8_t*, int)
{
    if (CPlayer* pPlayer = JoinedPlayer(nSlot))
        pPlayer->RequestSpawn();
}

void CPlayerHandlers::HandleSpawned(int nSlot, int, const uint8_t*, int)
{
    if (CPlayer* pPlayer = JoinedPlayer(nSlot))
        pPlayer->ReportSpawned();
}

// Reason, killer slot, body part: one byte each.
void CPlayerHandlers::HandleDeathReport(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < 3)
        return;
    pPlayer->ReportDeath(pPayload[0], pPayload[1], pPayload[2]);
}
