#pragma once

#include <cstdint>

#include "ServerRecords.h"
#include "TextUtil.h"
#include "math/Vector.h"
#include "players/CKeyBinds.h"
#include "world/CCustomWeapons.h"
#include "world/CRadioStations.h"
#include "net/FloodLimits.h"
#include "world/CSyncWorld.h"
#include "world/CWeaponData.h"

class CNetwork;
class INetPeer;
class CPlayerPool;
class CStreamer;
class CVehiclePool;
class CObjectPool;
class CPickupPool;
class CMarkerPool;
class CServerFileList;
class CControlSocket;
class CMetricsHttp;

constexpr int MAX_PLAYER_SLOTS = 100;
constexpr int MAX_CLASSES = 50;
constexpr int PERF_SLOT_COUNT = 10;
constexpr int SERVER_VERSION = 66100;

// Performance slots: where each stage of the tick adds its time.
enum EPerfSlot
{
    PERF_STREAMING = 0,
    PERF_VEHICLE_PROXIMITY = 1,
    PERF_PLAYERS = 2,
    PERF_VEHICLES = 3,
    PERF_PICKUPS = 4,
    PERF_OBJECTS = 5,
    PERF_PACKETS = 6,
    PERF_FRAME_EVENT = 7,
};

// Per-slot connection state of the join handshake.
enum EConnectionState : uint8_t
{
    CONNECTION_NONE = 0,
    CONNECTION_CONNECTED = 1,
    CONNECTION_JOINED = 2,
};

// The one server object: every server-wide setting, the pools, the network
// and the tick. Created by the entry point, destroyed after the main loop.
// Fields are plain members in the settings' declaration order; operations
// that must tell clients or the network go through the setters below.
class CServer
{
public:
    // Applies every default (the first construction step); Initialise runs the rest.
    CServer();
    ~CServer();

    // The rest of construction: command line, server.cfg, plugins, network,
    // ban list, handlers, pools, streamer. Returns false when start-up failed
    // (the line has been printed); the caller exits with status 1.
    bool Initialise(int argc, const char* const* argv);

    // Hands Initialise the transport to use instead of a RakNet peer (tests);
    // the server owns it from here.
    void UseNetPeer(INetPeer* pPeer) { m_pPendingPeer = pPeer; }

    // One frame of the main loop, timed whole for the figures.
    void Tick();
    // Closes the control socket (removing its file) and the metrics endpoint;
    // for start-up failures after Initialise, and for the destructor.
    void StopOperatorAccess();

    // Settings sources, in the order start-up applies them.
    void ApplyCommandLine(int argc, const char* const* argv);
    void ReadConfig(const char* szPath);
    // One line of server.cfg whose first word is szKey.
    void ReadConfigLine(const char* szLine, const char* szKey);

    // Setting operations that do more than store.
    void SetMaxPlayers(int nPlayers);
    void SetServerPassword(const char* szPassword);
    void SetServerName(const char* szName);
    void SetGameModeText(const char* szText);
    void SetMapName(const char* szText);
    void SetAdminPassword(const char* szText);
    void SetWorldBounds(float fMaxX, float fMinX, float fMaxY, float fMinY);
    void SetTimeRate(uint32_t uiMsPerMinute);
    void SetHour(uint8_t byHour);
    void SetMinute(uint8_t byMinute);
    void SetWeather(uint8_t byWeather);
    void SetGravity(float fValue);
    void SetGameSpeed(float fValue);
    void SetWaterLevel(float fValue);
    void SetMaxHeight(float fValue);
    void SetWorldOptionByte(uint8_t byValue);
    void SetWorldOption(int nBit, bool bEnabled);
    bool GetWorldOption(int nBit) const;
    void SetDeathSettings(const SDeathSettings& settings);
    void SetSpawnPlayerPosition(const Vector& vPosition);
    void SetSpawnCameraPosition(const Vector& vPosition);
    void SetSpawnCameraLookAt(const Vector& vPosition);

    // Spawn classes: AddClass returns the new index, or -1 when 50 exist.
    int AddClass(const SClassRecord& record);
    const SClassRecord* GetClass(int nIndex) const;

    // Sends a world-state message (170 to 173) to one player slot, or to all
    // with -1. Does nothing before the network exists.
    void SendWorldState(uint8_t byMessageId, int nSlot);

    // Sessions: Kick tells the player (unless silent), removes it with reason
    // kicked, and closes the connection; BanPlayer does the same after adding
    // the address to the ban list.
    void Kick(int nSlot, bool bSilent);
    void BanPlayer(int nSlot);
    // Closes the slot's connection and clears its connection state.
    void CloseSession(int nSlot, bool bSilent);
    void SetConnectionState(int nSlot, uint8_t byState);
    uint8_t GetConnectionState(int nSlot) const;

    void AddPerfTime(int nIndex, uint64_t ullMicroseconds);

    // Makes a position coming from a plugin or client safe: non-finite
    // components become 0, then fixed world limits apply.
    static void ClampToWorld(Vector& vPosition);

    int m_nMaxPlayers;
    int m_nPort;
    char m_szPassword[64];
    char m_szServerName[64];
    char m_szMapName[64];
    char m_szGameModeText[64];
    char m_szAdminPassword[64];
    char m_szPlugins[256];
    char m_szBindHost[64];
    // False until the end of Initialise; the tick processes entities only while true.
    bool m_bEntityProcessing;

    // Owned for the server's whole life; null until Initialise creates them.
    CNetwork* m_pNetwork;
    CStreamer* m_pStreamer;
    CPlayerPool* m_pPlayerPool;
    CVehiclePool* m_pVehiclePool;
    CObjectPool* m_pObjectPool;
    CPickupPool* m_pPickupPool;
    CMarkerPool* m_pMarkerPool;
    // The files of "./store" offered to joining players; built by Initialise.
    CServerFileList* m_pStoreFileList;
    // World content tables, for the server's whole life.
    CKeyBinds m_KeyBinds;
    CCustomWeapons m_CustomWeapons;
    CWeaponData m_WeaponData;
    CRadioStations m_RadioStations;
    // The pools as the player sync sees them; installed while the pools exist.
    CSyncWorld m_SyncWorld;

    uint8_t m_abyConnectionState[MAX_PLAYER_SLOTS];
    uint32_t m_auiJoinDeadline[MAX_PLAYER_SLOTS];
    uint32_t m_uiLastJoinCheck;

    bool m_bUseClasses;
    int m_nClassCount;
    SClassRecord m_aClasses[MAX_CLASSES];
    // Maximum X, minimum X, maximum Y, minimum Y.
    float m_afWorldBounds[4];
    float m_fVehicleRespawnHeight;
    bool m_bDeathMessages;
    bool m_bJoinMessages;
    // Stored inverted by its setter; copied into each new player's option bit 256.
    uint8_t m_byDefaultPlayerOption8;

    STimeState m_TimeState;
    uint32_t m_uiTimeRate;
    uint32_t m_uiClockReference;
    uint32_t m_uiLastTimeBroadcast;
    uint64_t m_aullPerfTotals[PERF_SLOT_COUNT];
    uint32_t m_uiLastPerfReport;
    // The millisecond clock, refreshed once at the start of every tick.
    uint32_t m_uiNow;

    SWorldOptions m_WorldOptions;
    SDeathSettings m_DeathSettings;
    char m_szVersion[12];
    // server.cfg's logtimestamps as read ("1" stamps the log lines); empty when absent.
    char m_szLogTimestamps[4];
    int m_nMaxPlayersLimit;
    int m_nCommandLinePort;
    bool m_bBindHostFromCommandLine;
    char m_szCommandLineBindHost[64];
    bool m_bAnticheatFromCommandLine;
    bool m_bRunAsRootAllowed;
    bool m_bAnticheatDisabled;
    Vector m_vSpawnPlayerPosition;
    Vector m_vSpawnCameraPosition;
    Vector m_vSpawnCameraLookAt;
    // From server.cfg; handed to the network and the query handler at start-up.
    SFloodLimits m_FloodLimits;
    // server.cfg's controlsocket: where operators' commands arrive; empty for none.
    char m_szControlSocket[256];
    // server.cfg's metricsport (0: no HTTP endpoint) and metricsbind.
    int m_nMetricsPort;
    char m_szMetricsBind[64];
    // Owned from Initialise to destruction; null when not configured.
    CControlSocket* m_pControlSocket;
    CMetricsHttp* m_pMetricsHttp;

private:
    void SetDefaults();
    // The stages of one frame, in order.
    void RunTick();
    // The control socket and the metrics endpoint from server.cfg; false, with
    // the line printed, when one cannot be had.
    bool StartOperatorAccess();
    void StepClock();
    void SweepJoinDeadlines();
    void ReportPerformance();
    // The flood limits into the network and the query handler, before the
    // transport starts; the kicks of connections that went over theirs.
    void ApplyFloodLimits();
    void KickFloodingConnections();
    float MeasureFrameTime();

    // Previous high-resolution counter reading; 0 until the first tick.
    uint64_t m_ullLastFrameCounter;
    float m_fFrameTime;
    INetPeer* m_pPendingPeer;
};

// True when the 32-bit millisecond clock uiNow is later than uiMark. The
// difference is read as signed, so the answer stays right across the clock's
// wrap (every 49.7 days) for marks within 24 days of now.
inline bool ClockPassed(uint32_t uiNow, uint32_t uiMark)
{
    return static_cast<int32_t>(uiNow - uiMark) > 0;
}

// The single server object, set once Initialise has returned; null before.
extern CServer* g_pServer;
