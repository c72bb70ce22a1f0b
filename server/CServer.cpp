#include "CServer.h"

#include <cmath>
#include <cstring>

#include "CMetrics.h"
#include "ITimeSource.h"

CServer* g_pServer = nullptr;

CServer::CServer()
{
    SetDefaults();
}

void CServer::SetDefaults()
{
    m_nMaxPlayers = 50;
    m_nPort = 8192;
    CopyText(m_szPassword, "", sizeof(m_szPassword));
    CopyText(m_szServerName, "OR:VN Server", sizeof(m_szServerName));
    CopyText(m_szMapName, "Palmora", sizeof(m_szMapName));
    CopyText(m_szGameModeText, "Default", sizeof(m_szGameModeText));
    CopyText(m_szAdminPassword, "changeme", sizeof(m_szAdminPassword));
    CopyText(m_szPlugins, "", sizeof(m_szPlugins));
    CopyText(m_szBindHost, "", sizeof(m_szBindHost));
    m_bEntityProcessing = false;

    m_pNetwork = nullptr;
    m_pStreamer = nullptr;
    m_pPlayerPool = nullptr;
    m_pVehiclePool = nullptr;
    m_pObjectPool = nullptr;
    m_pPickupPool = nullptr;
    m_pMarkerPool = nullptr;
    m_pStoreFileList = nullptr;

    memset(m_abyConnectionState, 0, sizeof(m_abyConnectionState));
    memset(m_auiJoinDeadline, 0, sizeof(m_auiJoinDeadline));
    m_uiLastJoinCheck = GetTimeSource()->GetTickMs();

    m_bUseClasses = true;
    m_nClassCount = 0;
    memset(m_aClasses, 0, sizeof(m_aClasses));
    m_afWorldBounds[0] = 1550.0f;
    m_afWorldBounds[1] = -2350.0f;
    m_afWorldBounds[2] = 1950.0f;
    m_afWorldBounds[3] = -1950.0f;
    m_fVehicleRespawnHeight = 200.0f;
    m_bDeathMessages = true;
    m_bJoinMessages = true;
    m_byDefaultPlayerOption8 = 0;

    m_TimeState = STimeState{1, 12, 0, 0};
    m_uiTimeRate = 0;
    const uint32_t uiClock = GetTimeSource()->GetTickMs();
    m_uiClockReference = uiClock;
    m_uiLastTimeBroadcast = 0;
    memset(m_aullPerfTotals, 0, sizeof(m_aullPerfTotals));
    m_uiLastPerfReport = uiClock;
    m_uiNow = uiClock;

    m_WorldOptions = SWorldOptions{0x2620, 0.008f, 1.0f, 6.0f, 10000.0f, 0};
    m_DeathSettings = SDeathSettings{4096, 2048, 2.0f, 3.0f, 0xC8C8C8, 4000, 2000};
    CopyText(m_szVersion, "04rel000", sizeof(m_szVersion));
    m_szLogTimestamps[0] = '\0';
    m_nMaxPlayersLimit = 100;
    m_nCommandLinePort = 0;
    m_bBindHostFromCommandLine = false;
    CopyText(m_szCommandLineBindHost, "", sizeof(m_szCommandLineBindHost));
    m_bAnticheatFromCommandLine = false;
    m_bRunAsRootAllowed = false;
    m_bAnticheatDisabled = false;
    m_vSpawnPlayerPosition = Vector(475.755f, -1717.149f, 63.102f);
    m_vSpawnCameraPosition = Vector(477.508f, -1720.071f, 65.049f);
    m_vSpawnCameraLookAt = Vector(475.755f, -1717.149f, 63.102f);
    m_FloodLimits = DEFAULT_FLOOD_LIMITS;
    m_szControlSocket[0] = '\0';
    m_nMetricsPort = 0;
    CopyText(m_szMetricsBind, "127.0.0.1", sizeof(m_szMetricsBind));
    m_pControlSocket = nullptr;
    m_pMetricsHttp = nullptr;

    m_ullLastFrameCounter = 0;
    m_fFrameTime = 0.0f;
    m_pPendingPeer = nullptr;
}

void CServer::ClampToWorld(Vector& vPosition)
{
    auto clamp = [](float fValue, float fMin, float fMax) {
        if (!std::isfinite(fValue))
            return 0.0f;
        return fValue < fMin ? fMin : (fValue > fMax ? fMax : fValue);
    };
    vPosition.x = clamp(vPosition.x, -2350.0f, 1550.0f);
    vPosition.y = clamp(vPosition.y, -1950.0f, 1950.0f);
    vPosition.z = clamp(vPosition.z, -100.0f, 20000.0f);
}

int CServer::AddClass(const SClassRecord& record)
{
    if (m_nClassCount >= MAX_CLASSES)
        return -1;
    m_aClasses[m_nClassCount] = record;
    return m_nClassCount++;
}

const SClassRecord* CServer::GetClass(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_nClassCount)
        return nullptr;
    return &m_aClasses[nIndex];
}

void CServer::SetGameModeText(const char* szText)
{
    CopyText(m_szGameModeText, szText, sizeof(m_szGameModeText));
}

void CServer::SetMapName(const char* szText)
{
    CopyText(m_szMapName, szText, sizeof(m_szMapName));
}

void CServer::SetAdminPassword(const char* szText)
{
    CopyText(m_szAdminPassword, szText, sizeof(m_szAdminPassword));
}

void CServer::SetWorldBounds(float fMaxX, float fMinX, float fMaxY, float fMinY)
{
    m_afWorldBounds[0] = fMaxX;
    m_afWorldBounds[1] = fMinX;
    m_afWorldBounds[2] = fMaxY;
    m_afWorldBounds[3] = fMinY;
}

void CServer::SetServerName(const char* szName)
{
    CopyText(m_szServerName, szName, sizeof(m_szServerName));
    SendWorldState(ID_SERVER_NAME, -1);
}

void CServer::SetTimeRate(uint32_t uiMsPerMinute)
{
    m_uiTimeRate = uiMsPerMinute;
    m_uiClockReference = m_uiNow;
    m_TimeState.usTimeRate = static_cast<uint16_t>(uiMsPerMinute & 0xFFFF);
    SendWorldState(ID_TIME_STATE, -1);
}

void CServer::SetHour(uint8_t byHour)
{
    m_TimeState.byHour = byHour;
    SendWorldState(ID_TIME_STATE, -1);
}

void CServer::SetMinute(uint8_t byMinute)
{
    m_TimeState.byMinute = byMinute;
    SendWorldState(ID_TIME_STATE, -1);
}

void CServer::SetWeather(uint8_t byWeather)
{
    m_TimeState.byWeather = byWeather;
    SendWorldState(ID_TIME_STATE, -1);
}

void CServer::SetGravity(float fValue)
{
    m_WorldOptions.fGravity = fValue;
    SendWorldState(ID_WORLD_OPTIONS, -1);
}

void CServer::SetGameSpeed(float fValue)
{
    m_WorldOptions.fGameSpeed = fValue;
    SendWorldState(ID_WORLD_OPTIONS, -1);
}

void CServer::SetWaterLevel(float fValue)
{
    m_WorldOptions.fWaterLevel = fValue;
    SendWorldState(ID_WORLD_OPTIONS, -1);
}

void CServer::SetMaxHeight(float fValue)
{
    m_WorldOptions.fMaxHeight = fValue;
    SendWorldState(ID_WORLD_OPTIONS, -1);
}

void CServer::SetWorldOptionByte(uint8_t byValue)
{
    m_WorldOptions.byOptionByte = byValue;
    SendWorldState(ID_WORLD_OPTIONS, -1);
}

// Only a real change is announced, so plugins can set options every frame.
void CServer::SetWorldOption(int nBit, bool bEnabled)
{
    if (nBit < 0 || nBit > 31)
        return;
    const uint32_t uiMask = 1u << nBit;
    if (GetWorldOption(nBit) == bEnabled)
        return;
    m_WorldOptions.uiOptions ^= uiMask;
    SendWorldState(ID_WORLD_OPTIONS, -1);
}

bool CServer::GetWorldOption(int nBit) const
{
    if (nBit < 0 || nBit > 31)
        return false;
    return (m_WorldOptions.uiOptions & (1u << nBit)) != 0;
}

void CServer::SetDeathSettings(const SDeathSettings& settings)
{
    m_DeathSettings = settings;
    SendWorldState(ID_DEATH_SETTINGS, -1);
}

void CServer::SetSpawnPlayerPosition(const Vector& vPosition)
{
    m_vSpawnPlayerPosition = vPosition;
    ClampToWorld(m_vSpawnPlayerPosition);
}

void CServer::SetSpawnCameraPosition(const Vector& vPosition)
{
    m_vSpawnCameraPosition = vPosition;
    ClampToWorld(m_vSpawnCameraPosition);
}

void CServer::SetSpawnCameraLookAt(const Vector& vPosition)
{
    m_vSpawnCameraLookAt = vPosition;
    ClampToWorld(m_vSpawnCameraLookAt);
}

void CServer::AddPerfTime(int nIndex, uint64_t ullMicroseconds)
{
    if (nIndex < 0 || nIndex >= PERF_SLOT_COUNT)
        return;
    m_aullPerfTotals[nIndex] += ullMicroseconds;
    GetMetrics().AddStageTime(nIndex, ullMicroseconds);
}
