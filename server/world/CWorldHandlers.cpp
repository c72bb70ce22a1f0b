#include "world/CWorldHandlers.h"

#include "CServer.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "plugins/CPluginManager.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "world/CStreamer.h"

namespace
{
// The guard, then the slot's player while it is not being removed.
CPlayer* JoinedPlayer(int nSlot)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_pPlayerPool)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

// A report counts only for an object the reporter's client holds: one it was
// never sent, or no longer has, cannot have been shot or touched. Both are
// held while the plugins hear of it, so either may be removed meanwhile.
// The object id is 16 bits; a shot adds the weapon (8 bits).
void HandleReport(int nSlot, const uint8_t* pPayload, int nLength, bool bShot)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < (bShot ? 3 : 2) || !g_pServer->m_pObjectPool || !g_pServer->m_pStreamer)
        return;
    CObject* pObject = g_pServer->m_pObjectPool->Get((pPayload[0] << 8) | pPayload[1]);
    if (!pObject)
        return;
    CEntityLock objectLock(pObject);
    CEntityLock playerLock(pPlayer);
    if (pObject->IsMarkedForDeletion() ||
        !g_pServer->m_pStreamer->IsObjectStreamed(pPlayer, pObject->GetId()) || !g_pPluginManager)
        return;
    if (bShot)
        g_pPluginManager->OnObjectShot(pObject, pPlayer, pPayload[2]);
    else
        g_pPluginManager->OnObjectTouched(pObject, pPlayer);
}
} // namespace

void CWorldHandlers::HandleObjectShot(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    HandleReport(nSlot, pPayload, nLength, true);
}

void CWorldHandlers::HandleObjectTouched(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    HandleReport(nSlot, pPayload, nLength, false);
}

// The key (32 bits) must match the pickup's current key exactly. Clients
// set their own position and keys are easy to guess, so a claim also counts
// only from a player in play, for a pickup its client holds and shows: never
// one in another world, out of reach of the streamer, or hidden after a
// collection until its timer brings it back. Anything else is a stale claim.
void CWorldHandlers::HandlePickupClaim(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < 4 || !g_pServer->m_pPickupPool || !g_pServer->m_pStreamer)
        return;
    const uint32_t uiKey = (static_cast<uint32_t>(pPayload[0]) << 24) |
                           (static_cast<uint32_t>(pPayload[1]) << 16) |
                           (static_cast<uint32_t>(pPayload[2]) << 8) | pPayload[3];
    CPickup* pPickup = g_pServer->m_pPickupPool->FindByKey(uiKey);
    if (!pPickup || !pPlayer->m_bSpawned || pPickup->GetAlpha() == 0 ||
        !g_pServer->m_pStreamer->IsPickupStreamed(pPlayer, pPickup->GetId()))
        return;
    pPickup->Claim(pPlayer);
}
