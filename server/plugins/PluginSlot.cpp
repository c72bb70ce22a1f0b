#include "plugins/PluginSlot.h"

#include "CServer.h"
#include "players/CPlayerPool.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "world/CVehiclePool.h"

template <> CPlayer* FindEntity<CPlayer>(int32_t nId)
{
    return g_pServer && g_pServer->m_pPlayerPool ? g_pServer->m_pPlayerPool->Get(nId) : nullptr;
}

template <> CVehicle* FindEntity<CVehicle>(int32_t nId)
{
    return g_pServer && g_pServer->m_pVehiclePool ? g_pServer->m_pVehiclePool->Get(nId) : nullptr;
}

template <> CObject* FindEntity<CObject>(int32_t nId)
{
    return g_pServer && g_pServer->m_pObjectPool ? g_pServer->m_pObjectPool->Get(nId) : nullptr;
}

template <> CPickup* FindEntity<CPickup>(int32_t nId)
{
    return g_pServer && g_pServer->m_pPickupPool ? g_pServer->m_pPickupPool->Get(nId) : nullptr;
}
