#include "world/CWorldHandlers.h"

#include "CPluginManager.h"
#include "CServer.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
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

CObject* ReportedObject(const uint8_t* pPayload)
{
    const int nId = (pPayload[0] << 8) | pPayload[1];
    return g_pServer->m_pObjectPool ? g_pServer->m_pObjectPool->Get(nId) : nullptr;
}

// A report counts only for an object the reporter's client holds: one it was
// never sent, or no longer has, cannot have been shot or touched.
bool CanReport(CObject* pObject, CPlayer* pPlayer)
{
    return !pObject->IsMarkedForDeletion() && g_pServer->m_pStreamer &&
           g_pServer->m_pStreamer->IsObjectStreamed(pPlayer, pObject->GetId());
}
} // namespace

// Object id (16 bits), weapon (8 bits).
void CWorldHandlers::HandleObjectShot(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < 3)
        return;
    CObject* pObject = ReportedObject(pPayload);
    if (!pObject)
        return;
    CEntityLock objectLock(pObject);
    CEntityLock playerLock(pPlayer);
    if (CanReport(pObject, pPlayer) && g_pPluginManager)
        g_pPluginManager->OnObjectShot(pObject, pPlayer, pPayload[2]);
}

// Object id (16 bits).
void CWorldHandlers::HandleObjectTouched(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < 2)
        return;
    CObject* pObject = ReportedObject(pPayload);
    if (!pObject)
        return;
    CEntityLock objectLock(pObject);
    CEntityLock playerLock(pPlayer);
    if (CanReport(pObject, pPlayer) && g_pPluginManager)
        g_pPluginManager->OnObjectTouched(pObject, pPlayer);
}

// The key (32 bits) must match the pickup's current key exactly.
void CWorldHandlers::HandlePickupClaim(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (!pPlayer || nLength < 4 || !g_pServer->m_pPickupPool)
        return;
    const uint32_t uiKey = (static_cast<uint32_t>(pPayload[0]) << 24) |
                           (static_cast<uint32_t>(pPayload[1]) << 16) |
                           (static_cast<uint32_t>(pPayload[2]) << 8) | pPayload[3];
    if (CPickup* pPickup = g_pServer->m_pPickupPool->FindByKey(uiKey))
        pPickup->Claim(pPlayer);
}
