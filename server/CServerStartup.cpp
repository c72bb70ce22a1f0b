#include "CServer.h"

#include "CBanList.h"
#include "CPluginManager.h"
#include "Console.h"
#include "ITimeSource.h"
#include "net/CNetwork.h"
#include "net/CQueryHandler.h"
#include "net/INetPeer.h"
#include "net/CNetFileList.h"
#include "net/MessageHandlers.h"
#include "platform/Platform.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSyncWorld.h"
#include "world/CMarkerPool.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "world/CStreamer.h"
#include "world/CVehiclePool.h"

// The construction steps after the defaults, in start-up order. A failure
// prints its line; the caller closes the log and exits with status 1.
bool CServer::Initialise(int argc, const char* const* argv)
{
    ApplyCommandLine(argc, argv);
    if (PlatformIsRunningAsRoot() && !m_bRunAsRootAllowed)
        ConsolePrint(
            "Warning: running the server as root; pass -allow-server-runas-root to silence this warning.");
    ReadConfig("server.cfg");
    g_pPluginManager->LoadPlugins(m_szPlugins);
    // No network yet: the binds are only cleared.
    m_KeyBinds.Clear();
    // The store's files, and the custom weapons their names declare.
    m_pStoreFileList = new CServerFileList("./store");
    m_CustomWeapons.Load(*m_pStoreFileList);
    m_WeaponData.LoadDefaults("weapondata.txt");

    // Queries are answered as soon as the socket exists, before the first tick.
    GetQueryHandler()->Refresh(*this);
    m_pNetwork = new CNetwork(m_pPendingPeer);
    m_pPendingPeer = nullptr;
    ApplyFloodLimits();
    // A port outside 1..65535 would be cut to another one, or 0 would let
    // the system pick one; either way not the port the server reports.
    const bool bPortInRange = m_nPort >= 1 && m_nPort <= 65535;
    if (!bPortInRange ||
        !m_pNetwork->Startup(m_nMaxPlayers, m_nMaxPlayersLimit, m_nPort, m_szPassword, m_szBindHost))
    {
        ConsolePrint("Unable to start server on host: %s port: %d. Port in use?", m_szBindHost, m_nPort);
        return false;
    }
    // Bans kept from earlier runs are in force from here on.
    LoadBanList(m_pNetwork);
    RegisterMessageHandlers(m_pNetwork);

    m_pPlayerPool = new CPlayerPool();
    m_pMarkerPool = new CMarkerPool();

    ConsoleWrite("** Started OR:VN 0.4 Server **\n");
    ConsoleWrite(" Port: %d\n Max players: %d\n\n", m_nPort, m_nMaxPlayers);

    for (uint64_t& ullTotal : m_aullPerfTotals)
        ullTotal = 0;
    m_uiLastPerfReport = GetTimeSource()->GetTickMs();
    // The streamer, with one second between the starts of its player and vehicle passes.
    m_pStreamer = new CStreamer(m_pPlayerPool, 1000, 1000);
    // Each hands itself to the streamer as the source of its kind.
    m_pPickupPool = new CPickupPool(m_pStreamer);
    m_pObjectPool = new CObjectPool(m_pStreamer);
    // Vehicles: an operator's handling rows first, then the pool the streamer streams.
    LoadHandlingDefaults("handling.txt");
    m_pVehiclePool = new CVehiclePool();
    m_pStreamer->SetVehicleSource(m_pVehiclePool);
    SetPlayerSyncWorld(&m_SyncWorld);
    m_bEntityProcessing = true;
    return true;
}

// Pools go first, while the network can still tell clients; the network last.
// Every entity goes before any pool, the streamer or the player pool is
// freed: the events of the removals reach plugins, which may still call on
// any of them. The pools close in turn and refuse creations from then on.
CServer::~CServer()
{
    ConsoleWrite("** Shutting down server **\n");
    if (GetPlayerSyncWorld() == &m_SyncWorld)
        SetPlayerSyncWorld(nullptr);
    if (m_pPickupPool)
        m_pPickupPool->Close();
    if (m_pObjectPool)
        m_pObjectPool->Close();
    if (m_pPlayerPool)
        m_pPlayerPool->DeleteAll();
    // Vehicles after the players (whose removal leaves their seats).
    if (m_pVehiclePool)
        m_pVehiclePool->Close();
    if (m_pStreamer && m_pVehiclePool)
        m_pStreamer->SetVehicleSource(nullptr);
    delete m_pVehiclePool;
    m_pVehiclePool = nullptr;
    delete m_pObjectPool;
    m_pObjectPool = nullptr;
    delete m_pPickupPool;
    m_pPickupPool = nullptr;
    delete m_pPlayerPool;
    m_pPlayerPool = nullptr;
    delete m_pStreamer;
    m_pStreamer = nullptr;
    delete m_pMarkerPool;
    m_pMarkerPool = nullptr;
    delete m_pNetwork;
    m_pNetwork = nullptr;
    delete m_pPendingPeer;
    delete m_pStoreFileList;
    m_pStoreFileList = nullptr;
    if (g_pServer == this)
        g_pServer = nullptr;
}
