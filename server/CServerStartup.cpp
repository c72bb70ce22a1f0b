#include "CServer.h"

#include "CBanList.h"
#include "CMetrics.h"
#include "plugins/CPluginManager.h"
#include "Console.h"
#include "ITimeSource.h"
#include "net/CNetwork.h"
#include "net/CQueryHandler.h"
#include "net/INetPeer.h"
#include "net/CNetFileList.h"
#include "net/MessageHandlers.h"
#include "platform/CControlSocket.h"
#include "platform/CMetricsHttp.h"
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
    // Before any plugin runs: a second server on the same socket stops here.
    if (!StartOperatorAccess())
        return false;
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
        StopOperatorAccess();
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

// The operators' ways in: the control socket and the metrics endpoint.
bool CServer::StartOperatorAccess()
{
    if (m_szControlSocket[0] != '\0')
    {
        m_pControlSocket = new CControlSocket();
        const char* szPath = m_szControlSocket;
        switch (m_pControlSocket->Start(szPath))
        {
        case CONTROL_STARTED:
            break;
        case CONTROL_IN_USE:
            ConsolePrint("Control socket %s is in use by another server; not starting.", szPath);
            return false;
        case CONTROL_NOT_A_SOCKET:
            ConsolePrint("Control socket %s: something other than a socket has that name; not starting.",
                         szPath);
            return false;
        case CONTROL_BAD_PATH:
            ConsolePrint("Control socket %s: the path is too long for a socket; not starting.", szPath);
            return false;
        case CONTROL_FAILED:
            ConsolePrint("Unable to create control socket %s (%s).", szPath, m_pControlSocket->LastError());
            return false;
        }
    }
    if (m_nMetricsPort == 0)
        return true;
    m_pMetricsHttp = new CMetricsHttp();
    if (!m_pMetricsHttp->Start(m_szMetricsBind, m_nMetricsPort, CMetrics::RenderPublished))
    {
        ConsolePrint("Unable to serve metrics on %s port %d (%s).", m_szMetricsBind, m_nMetricsPort,
                     m_pMetricsHttp->LastError());
        StopOperatorAccess();
        return false;
    }
    return true;
}

void CServer::StopOperatorAccess()
{
    delete m_pMetricsHttp;
    m_pMetricsHttp = nullptr;
    delete m_pControlSocket;
    m_pControlSocket = nullptr;
}

// Pools go first, while the network can still tell clients; the network last.
// Every entity goes before any pool, the streamer or the player pool is
// freed: the events of the removals reach plugins, which may still call on
// any of them. The pools close in turn and refuse creations from then on.
CServer::~CServer()
{
    ConsoleWrite("** Shutting down server **\n");
    // Answers already given still reach their clients; the socket file goes.
    StopOperatorAccess();
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
