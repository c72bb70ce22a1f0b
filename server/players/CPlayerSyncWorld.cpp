#include "players/CPlayerSyncWorld.h"

namespace
{
// Installed by the pools for as long as they exist; the sync only reads it.
IPlayerSyncWorld* g_pPlayerSyncWorld = nullptr;
} // namespace

IPlayerSyncWorld* GetPlayerSyncWorld()
{
    return g_pPlayerSyncWorld;
}

void SetPlayerSyncWorld(IPlayerSyncWorld* pWorld)
{
    g_pPlayerSyncWorld = pWorld;
}
