#include "CServer.h"
#include "players/CPlayerPool.h"
#include "plugins/PluginFuncs.h"
#include "plugins/PluginSlot.h"
#include "world/CPickupPool.h"
#include "world/CStreamer.h"

// Slots 293..308: pickups. Each finds the pickup its id names (0..1999 and
// in use), then reads a field or calls one pickup operation.
// Positions from plugins are clamped by the pickup.

namespace
{
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
    return WithEntity<CPickup>(
        nPickupId, 0,
        [&](CPickup&)
        {
            const CPlayer* pPlayer = FindEntity<CPlayer>(nPlayerId);
            CStreamer* pStreamer = g_pServer->m_pStreamer;
            return pPlayer && pStreamer && pStreamer->IsPickupStreamed(pPlayer, nPickupId) ? 1 : 0;
        });
}

int32_t SetPickupWorld(int32_t nPickupId, int32_t nWorld)
{
    return WithEntity<CPickup>(nPickupId, 0, [&](CPickup& pickup) { pickup.SetWorld(nWorld); });
}

int32_t SetPickupAlpha(int32_t nPickupId, int32_t nAlpha)
{
    return WithEntity<CPickup>(nPickupId, 0,
                               [&](CPickup& pickup) { pickup.SetAlpha(static_cast<uint8_t>(nAlpha)); });
}

int32_t SetPickupIsAutomatic(int32_t nPickupId, int32_t nAutomatic)
{
    return WithEntity<CPickup>(nPickupId, 0, [&](CPickup& pickup) { pickup.SetAutomatic(nAutomatic != 0); });
}

// A negative delay turns the timer off.
int32_t SetPickupAutoTimer(int32_t nPickupId, int32_t nMs)
{
    return WithEntity<CPickup>(nPickupId, 0, [&](CPickup& pickup) { pickup.SetTimer(nMs < 0 ? 0 : nMs); });
}

int32_t GetPickupAutoTimer(int32_t nPickupId)
{
    return WithEntity<CPickup>(
        nPickupId, -1, [](CPickup& pickup) { return pickup.HasTimer() ? pickup.GetRespawnDelay() : 0; });
}

int32_t RefreshPickup(int32_t nPickupId)
{
    return WithEntity<CPickup>(nPickupId, 0, [](CPickup& pickup) { pickup.Refresh(); });
}

int32_t GetPickupPosition(int32_t nPickupId, float* pfX, float* pfY, float* pfZ)
{
    return WithEntity<CPickup>(nPickupId, 0,
                               [&](CPickup& pickup) { WriteVector(pickup.GetPosition(), pfX, pfY, pfZ); });
}

int32_t SetPickupPosition(int32_t nPickupId, float fX, float fY, float fZ)
{
    return WithEntity<CPickup>(nPickupId, 0,
                               [&](CPickup& pickup) { pickup.SetPosition(Vector(fX, fY, fZ)); });
}

} // namespace

void FillPickupFuncs(PluginFuncs* pFuncs)
{
    pFuncs->CreatePickup = CreatePickup;
    pFuncs->DeletePickup = DeletePickup;
    pFuncs->IsPickupStreamedForPlayer = IsPickupStreamedForPlayer;
    pFuncs->SetPickupWorld = SetPickupWorld;
    pFuncs->GetPickupWorld = ReadField<&CPickup::GetWorld, -1>;
    pFuncs->GetPickupAlpha = ReadField<&CPickup::GetAlpha, 0>;
    pFuncs->SetPickupAlpha = SetPickupAlpha;
    pFuncs->IsPickupAutomatic = ReadField<&CPickup::IsAutomatic, 0>;
    pFuncs->SetPickupIsAutomatic = SetPickupIsAutomatic;
    pFuncs->SetPickupAutoTimer = SetPickupAutoTimer;
    pFuncs->GetPickupAutoTimer = GetPickupAutoTimer;
    pFuncs->RefreshPickup = RefreshPickup;
    pFuncs->GetPickupPosition = GetPickupPosition;
    pFuncs->SetPickupPosition = SetPickupPosition;
    pFuncs->GetPickupModel = ReadField<&CPickup::GetModel, 0>;
    pFuncs->GetPickupQuantity = ReadField<&CPickup::GetQuantity, 0>;
}
