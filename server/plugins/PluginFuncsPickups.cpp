#include "CServer.h"
#include "players/CPlayerPool.h"
#include "plugins/PluginFuncs.h"
#include "world/CPickupPool.h"
#include "world/CStreamer.h"

// Slots 293..308: pickups. Each validates the pickup id against the pool
// (0..1999 and in use), then reads a field or calls one pickup operation.
// Positions from plugins are clamped by the pickup.

namespace
{
CPickup* PickupOf(int32_t nPickupId)
{
    return g_pServer && g_pServer->m_pPickupPool ? g_pServer->m_pPickupPool->Get(nPickupId) : nullptr;
}

int32_t CreatePickup(int32_t nModel, int32_t nWorld, int32_t nQuantity, float fX, float fY, float fZ,
                     int32_t nAlpha, int32_t nAutomatic)
{
    if (!g_pServer || !g_pServer->m_pPickupPool)
        return -1;
    return g_pServer->m_pPickupPool->Create(nModel, nWorld, nQuantity, Vector(fX, fY, fZ),
                                            static_cast<uint8_t>(nAlpha), nAutomatic != 0);
}

int32_t DeletePickup(int32_t nPickupId)
{
    return g_pServer && g_pServer->m_pPickupPool && g_pServer->m_pPickupPool->Delete(nPickupId) ? 1 : 0;
}

int32_t IsPickupStreamedForPlayer(int32_t nPickupId, int32_t nPlayerId)
{
    if (!PickupOf(nPickupId) || !g_pServer->m_pPlayerPool || !g_pServer->m_pStreamer)
        return 0;
    const CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nPlayerId);
    return pPlayer && g_pServer->m_pStreamer->IsPickupStreamed(pPlayer, nPickupId) ? 1 : 0;
}

int32_t SetPickupWorld(int32_t nPickupId, int32_t nWorld)
{
    CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    pPickup->SetWorld(nWorld);
    return 1;
}

int32_t GetPickupWorld(int32_t nPickupId)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    return pPickup ? pPickup->GetWorld() : -1;
}

int32_t GetPickupAlpha(int32_t nPickupId)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    return pPickup ? pPickup->GetAlpha() : 0;
}

int32_t SetPickupAlpha(int32_t nPickupId, int32_t nAlpha)
{
    CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    pPickup->SetAlpha(static_cast<uint8_t>(nAlpha));
    return 1;
}

int32_t IsPickupAutomatic(int32_t nPickupId)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    return pPickup && pPickup->IsAutomatic() ? 1 : 0;
}

int32_t SetPickupIsAutomatic(int32_t nPickupId, int32_t nAutomatic)
{
    CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    pPickup->SetAutomatic(nAutomatic != 0);
    return 1;
}

// A negative delay turns the timer off.
int32_t SetPickupAutoTimer(int32_t nPickupId, int32_t nMs)
{
    CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    pPickup->SetTimer(nMs < 0 ? 0 : nMs);
    return 1;
}

int32_t GetPickupAutoTimer(int32_t nPickupId)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return -1;
    return pPickup->HasTimer() ? pPickup->GetRespawnDelay() : 0;
}

int32_t RefreshPickup(int32_t nPickupId)
{
    CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    pPickup->Refresh();
    return 1;
}

int32_t GetPickupPosition(int32_t nPickupId, float* pfX, float* pfY, float* pfZ)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    if (pfX)
        *pfX = pPickup->GetPosition().x;
    if (pfY)
        *pfY = pPickup->GetPosition().y;
    if (pfZ)
        *pfZ = pPickup->GetPosition().z;
    return 1;
}

int32_t SetPickupPosition(int32_t nPickupId, float fX, float fY, float fZ)
{
    CPickup* pPickup = PickupOf(nPickupId);
    if (!pPickup)
        return 0;
    pPickup->SetPosition(Vector(fX, fY, fZ));
    return 1;
}

int32_t GetPickupModel(int32_t nPickupId)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    return pPickup ? pPickup->GetModel() : 0;
}

int32_t GetPickupQuantity(int32_t nPickupId)
{
    const CPickup* pPickup = PickupOf(nPickupId);
    return pPickup ? pPickup->GetQuantity() : 0;
}
} // namespace

void FillPickupFuncs(PluginFuncs* pFuncs)
{
    pFuncs->CreatePickup = CreatePickup;
    pFuncs->DeletePickup = DeletePickup;
    pFuncs->IsPickupStreamedForPlayer = IsPickupStreamedForPlayer;
    pFuncs->SetPickupWorld = SetPickupWorld;
    pFuncs->GetPickupWorld = GetPickupWorld;
    pFuncs->GetPickupAlpha = GetPickupAlpha;
    pFuncs->SetPickupAlpha = SetPickupAlpha;
    pFuncs->IsPickupAutomatic = IsPickupAutomatic;
    pFuncs->SetPickupIsAutomatic = SetPickupIsAutomatic;
    pFuncs->SetPickupAutoTimer = SetPickupAutoTimer;
    pFuncs->GetPickupAutoTimer = GetPickupAutoTimer;
    pFuncs->RefreshPickup = RefreshPickup;
    pFuncs->GetPickupPosition = GetPickupPosition;
    pFuncs->SetPickupPosition = SetPickupPosition;
    pFuncs->GetPickupModel = GetPickupModel;
    pFuncs->GetPickupQuantity = GetPickupQuantity;
}
