#include <cstring>

#include "CServer.h"
#include "ITimeSource.h"
#include "TextUtil.h"
#include "plugins/CPluginManager.h"
#include "plugins/PluginFuncs.h"

// Slots 0..9 (plugins, clock, console), 12..77 (server settings) and
// 113..119 (spawn classes and the class selection screen). Slots 0 and 2..9
// work from a plugin's entry point; the others need the server object and
// answer 0 while it does not exist yet.

namespace
{
int32_t GetServerVersion()
{
    return SERVER_VERSION;
}

// As with the plugin information, the caller's record says how much it can
// take; the size field itself is the caller's and is never written.
int32_t GetServerSettings(ServerSettings* pSettings)
{
    if (!pSettings || !g_pServer || pSettings->structSize < sizeof(pSettings->structSize))
        return 0;
    ServerSettings settings;
    memset(&settings, 0, sizeof(settings));
    CopyText(settings.serverName, g_pServer->m_szServerName, sizeof(settings.serverName));
    settings.maxPlayers = g_pServer->m_nMaxPlayers;
    settings.port = g_pServer->m_nPort;
    settings.flags = 0;
    size_t nSize = pSettings->structSize;
    if (nSize > sizeof(ServerSettings))
        nSize = sizeof(ServerSettings);
    const size_t nFirst = sizeof(settings.structSize);
    memcpy(reinterpret_cast<char*>(pSettings) + nFirst, reinterpret_cast<const char*>(&settings) + nFirst,
           nSize - nFirst);
    return 1;
}

int32_t ExportFunctions(int32_t nPluginId, void** ppList, int32_t nCount)
{
    return g_pPluginManager ? g_pPluginManager->ExportFunctions(nPluginId, ppList, nCount) : 0;
}

int32_t GetNumberOfPlugins()
{
    return g_pPluginManager ? g_pPluginManager->GetPluginCount() : 0;
}

// The caller's record says how much it can take; never more than the 44
// bytes the server stores, whatever a plugin built against another header
// claims.
int32_t GetPluginInfo(int32_t nPluginId, PluginInfo* pInfo)
{
    if (!pInfo || !g_pPluginManager)
        return 0;
    const PluginInfo* pStored = g_pPluginManager->GetPluginInfo(nPluginId);
    if (!pStored)
        return 0;
    size_t nSize = pInfo->structSize;
    if (nSize > sizeof(PluginInfo))
        nSize = sizeof(PluginInfo);
    memcpy(pInfo, pStored, nSize);
    return 1;
}

int32_t FindPlugin(const char* szName)
{
    return g_pPluginManager ? g_pPluginManager->FindPlugin(szName) : -1;
}

void** GetPluginExports(int32_t nPluginId, int32_t* pnCount)
{
    if (g_pPluginManager)
        return g_pPluginManager->GetPluginExports(nPluginId, pnCount);
    if (pnCount)
        *pnCount = 0;
    return nullptr;
}

int32_t GetTime(uint64_t* pullOut)
{
    if (pullOut)
        *pullOut = GetTimeSource()->GetMicroseconds() / 1000;
    return 1;
}

// The text gets its own heap copy before the event, so a handler that sends
// a command of its own (which reuses the format buffer) leaves the text of
// the outer command intact for the plugins after it.
int32_t SendPluginCommand(int32_t nCommandId, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    const char* szFormatted = FormatPluginText(szFormat, args);
    va_end(args);
    const size_t nLength = strlen(szFormatted);
    char* szText = new char[nLength + 1];
    memcpy(szText, szFormatted, nLength + 1);
    if (g_pPluginManager)
        g_pPluginManager->OnPluginCommand(nCommandId, szText);
    delete[] szText;
    return 1;
}

// Text settings: a null text changes nothing.
template <void (CServer::*pfnSet)(const char*)> int32_t SetText(const char* szText)
{
    if (!g_pServer || !szText)
        return 0;
    (g_pServer->*pfnSet)(szText);
    return 1;
}

// Text getters leave a null or empty buffer alone.
template <char (CServer::*pszField)[64]> int32_t GetText(char* szBuffer, int32_t nSize)
{
    if (!g_pServer)
        return 0;
    CopyText(szBuffer, g_pServer->*pszField, nSize);
    return 1;
}

int32_t SetMaxPlayers(int32_t nPlayers)
{
    if (!g_pServer)
        return 0;
    g_pServer->SetMaxPlayers(nPlayers);
    return 1;
}

int32_t GetMaxPlayers()
{
    return g_pServer ? g_pServer->m_nMaxPlayers : 0;
}

int32_t SetWorldBounds(float fMaxX, float fMinX, float fMaxY, float fMinY)
{
    if (!g_pServer)
        return 0;
    g_pServer->SetWorldBounds(fMaxX, fMinX, fMaxY, fMinY);
    return 1;
}

int32_t GetWorldBounds(float* pfMaxX, float* pfMinX, float* pfMaxY, float* pfMinY)
{
    if (!g_pServer)
        return 0;
    float* apfOut[4] = {pfMaxX, pfMinX, pfMaxY, pfMinY};
    for (int i = 0; i < 4; ++i)
    {
        if (apfOut[i])
            *apfOut[i] = g_pServer->m_afWorldBounds[i];
    }
    return 1;
}

int32_t SetDeathSettings(int32_t nValue1, int32_t nValue2, float fValue3, float fValue4, int32_t nColour,
                         int32_t nValue6, int32_t nValue7)
{
    if (!g_pServer)
        return 0;
    g_pServer->SetDeathSettings(
        SDeathSettings{nValue1, nValue2, fValue3, fValue4, static_cast<uint32_t>(nColour), nValue6, nValue7});
    return 1;
}

template <typename T> void WriteIfSet(T* pOut, T value)
{
    if (pOut)
        *pOut = value;
}

int32_t GetDeathSettings(int32_t* pnValue1, int32_t* pnValue2, float* pfValue3, float* pfValue4,
                         int32_t* pnColour, int32_t* pnValue6, int32_t* pnValue7)
{
    if (!g_pServer)
        return 0;
    const SDeathSettings& settings = g_pServer->m_DeathSettings;
    WriteIfSet(pnValue1, settings.nValue1);
    WriteIfSet(pnValue2, settings.nValue2);
    WriteIfSet(pfValue3, settings.fValue3);
    WriteIfSet(pfValue4, settings.fValue4);
    WriteIfSet(pnColour, static_cast<int32_t>(settings.uiColour));
    WriteIfSet(pnValue6, settings.nValue6);
    WriteIfSet(pnValue7, settings.nValue7);
    return 1;
}

int32_t SetTimeRate(int32_t nMsPerMinute)
{
    if (!g_pServer)
        return 0;
    g_pServer->SetTimeRate(static_cast<uint32_t>(nMsPerMinute));
    return 1;
}

int32_t GetTimeRate()
{
    return g_pServer ? static_cast<int32_t>(g_pServer->m_uiTimeRate) : 0;
}

// Hour, minute, weather and the world option byte are stored as bytes.
template <void (CServer::*pfnSet)(uint8_t)> int32_t SetByte(int32_t nValue)
{
    if (!g_pServer)
        return 0;
    (g_pServer->*pfnSet)(static_cast<uint8_t>(nValue));
    return 1;
}

int32_t GetHour()
{
    return g_pServer ? g_pServer->m_TimeState.byHour : 0;
}

int32_t GetMinute()
{
    return g_pServer ? g_pServer->m_TimeState.byMinute : 0;
}

int32_t GetWeather()
{
    return g_pServer ? g_pServer->m_TimeState.byWeather : 0;
}

int32_t GetWorldOptionByte()
{
    return g_pServer ? g_pServer->m_WorldOptions.byOptionByte : 0;
}

template <void (CServer::*pfnSet)(float)> int32_t SetFloat(float fValue)
{
    if (!g_pServer)
        return 0;
    (g_pServer->*pfnSet)(fValue);
    return 1;
}

template <float SWorldOptions::*pfField> float GetWorldFloat()
{
    return g_pServer ? g_pServer->m_WorldOptions.*pfField : 0.0f;
}

// Not announced: only the vehicle pool reads it.
int32_t SetVehicleRespawnHeight(float fHeight)
{
    if (!g_pServer)
        return 0;
    g_pServer->m_fVehicleRespawnHeight = fHeight;
    return 1;
}

float GetVehicleRespawnHeight()
{
    return g_pServer ? g_pServer->m_fVehicleRespawnHeight : 0.0f;
}

template <int nBit> int32_t SetWorldOption(int32_t nEnabled)
{
    if (!g_pServer)
        return 0;
    g_pServer->SetWorldOption(nBit, nEnabled != 0);
    return 1;
}

template <int nBit> int32_t GetWorldOption()
{
    return g_pServer && g_pServer->GetWorldOption(nBit) ? 1 : 0;
}

template <bool CServer::*pbField> int32_t SetSwitch(int32_t nEnabled)
{
    if (!g_pServer)
        return 0;
    g_pServer->*pbField = nEnabled != 0;
    return 1;
}

template <bool CServer::*pbField> int32_t GetSwitch()
{
    return g_pServer && g_pServer->*pbField ? 1 : 0;
}

// Stored inverted, as new players' option bit 256 wants it; the getter
// reports what was set.
int32_t SetDefaultPlayerOption8(int32_t nEnabled)
{
    if (!g_pServer)
        return 0;
    g_pServer->m_byDefaultPlayerOption8 = nEnabled ? 0 : 1;
    return 1;
}

int32_t GetDefaultPlayerOption8()
{
    if (!g_pServer)
        return 0;
    return g_pServer->m_byDefaultPlayerOption8 ? 0 : 1;
}

// Only the low 8 or 16 bits of each integer are kept, as the class record
// holds them.
int32_t AddPlayerClass(int32_t nClassByteA, int32_t nColour, int32_t nClassByteB, float fX, float fY,
                       float fZ, float fAngle, int32_t nWeapon1, int32_t nAmmo1, int32_t nWeapon2,
                       int32_t nAmmo2, int32_t nWeapon3, int32_t nAmmo3)
{
    if (!g_pServer)
        return -1;
    SClassRecord record;
    record.byClassByteA = static_cast<uint8_t>(nClassByteA);
    record.byClassByteB = static_cast<uint8_t>(nClassByteB);
    record.uiColour = static_cast<uint32_t>(nColour);
    record.fX = fX;
    record.fY = fY;
    record.fZ = fZ;
    record.fAngle = fAngle;
    record.abyWeapon[0] = static_cast<uint8_t>(nWeapon1);
    record.abyWeapon[1] = static_cast<uint8_t>(nWeapon2);
    record.abyWeapon[2] = static_cast<uint8_t>(nWeapon3);
    record.ausAmmo[0] = static_cast<uint16_t>(nAmmo1);
    record.ausAmmo[1] = static_cast<uint16_t>(nAmmo2);
    record.ausAmmo[2] = static_cast<uint16_t>(nAmmo3);
    return g_pServer->AddClass(record);
}

// The three class selection points; the server clamps them to the world.
template <void (CServer::*pfnSet)(const Vector&)> int32_t SetSpawnPoint(float fX, float fY, float fZ)
{
    if (!g_pServer)
        return 0;
    (g_pServer->*pfnSet)(Vector(fX, fY, fZ));
    return 1;
}
} // namespace

#define WORLD_OPTION(n)                                                                                      \
    pFuncs->SetWorldOption##n = SetWorldOption<n>;                                                           \
    pFuncs->GetWorldOption##n = GetWorldOption<n>

static void FillPluginFuncs(PluginFuncs* pFuncs)
{
    pFuncs->GetServerVersion = GetServerVersion;
    pFuncs->GetServerSettings = GetServerSettings;
    pFuncs->ExportFunctions = ExportFunctions;
    pFuncs->GetNumberOfPlugins = GetNumberOfPlugins;
    pFuncs->GetPluginInfo = GetPluginInfo;
    pFuncs->FindPlugin = FindPlugin;
    pFuncs->GetPluginExports = GetPluginExports;
    pFuncs->GetTime = GetTime;
    pFuncs->LogMessage = LogMessage;
    pFuncs->SendPluginCommand = SendPluginCommand;
}

static void FillSettingFuncs(PluginFuncs* pFuncs)
{
    pFuncs->SetServerName = SetText<&CServer::SetServerName>;
    pFuncs->GetServerName = GetText<&CServer::m_szServerName>;
    pFuncs->SetMaxPlayers = SetMaxPlayers;
    pFuncs->GetMaxPlayers = GetMaxPlayers;
    pFuncs->SetServerPassword = SetText<&CServer::SetServerPassword>;
    pFuncs->GetServerPassword = GetText<&CServer::m_szPassword>;
    pFuncs->SetGameModeText = SetText<&CServer::SetGameModeText>;
    pFuncs->GetGameModeText = GetText<&CServer::m_szGameModeText>;
    pFuncs->SetWorldBounds = SetWorldBounds;
    pFuncs->GetWorldBounds = GetWorldBounds;
    pFuncs->SetDeathSettings = SetDeathSettings;
    pFuncs->GetDeathSettings = GetDeathSettings;
    pFuncs->SetTimeRate = SetTimeRate;
    pFuncs->GetTimeRate = GetTimeRate;
    pFuncs->SetHour = SetByte<&CServer::SetHour>;
    pFuncs->GetHour = GetHour;
    pFuncs->SetMinute = SetByte<&CServer::SetMinute>;
    pFuncs->GetMinute = GetMinute;
    pFuncs->SetWeather = SetByte<&CServer::SetWeather>;
    pFuncs->GetWeather = GetWeather;
    pFuncs->SetGravity = SetFloat<&CServer::SetGravity>;
    pFuncs->GetGravity = GetWorldFloat<&SWorldOptions::fGravity>;
    pFuncs->SetGameSpeed = SetFloat<&CServer::SetGameSpeed>;
    pFuncs->GetGameSpeed = GetWorldFloat<&SWorldOptions::fGameSpeed>;
    pFuncs->SetWaterLevel = SetFloat<&CServer::SetWaterLevel>;
    pFuncs->GetWaterLevel = GetWorldFloat<&SWorldOptions::fWaterLevel>;
    pFuncs->SetMaxHeight = SetFloat<&CServer::SetMaxHeight>;
    pFuncs->GetMaxHeight = GetWorldFloat<&SWorldOptions::fMaxHeight>;
    pFuncs->SetWorldOptionByte = SetByte<&CServer::SetWorldOptionByte>;
    pFuncs->GetWorldOptionByte = GetWorldOptionByte;
    pFuncs->SetVehicleRespawnHeight = SetVehicleRespawnHeight;
    pFuncs->GetVehicleRespawnHeight = GetVehicleRespawnHeight;
}

static void FillWorldOptionFuncs(PluginFuncs* pFuncs)
{
    WORLD_OPTION(0);
    WORLD_OPTION(1);
    WORLD_OPTION(2);
    WORLD_OPTION(3);
    WORLD_OPTION(4);
    WORLD_OPTION(5);
    WORLD_OPTION(6);
    WORLD_OPTION(7);
    WORLD_OPTION(8);
    WORLD_OPTION(9);
    WORLD_OPTION(10);
    WORLD_OPTION(11);
    WORLD_OPTION(12);
    WORLD_OPTION(13);
    pFuncs->SetJoinMessages = SetSwitch<&CServer::m_bJoinMessages>;
    pFuncs->GetJoinMessages = GetSwitch<&CServer::m_bJoinMessages>;
    pFuncs->SetDeathMessages = SetSwitch<&CServer::m_bDeathMessages>;
    pFuncs->GetDeathMessages = GetSwitch<&CServer::m_bDeathMessages>;
    pFuncs->SetDefaultPlayerOption8 = SetDefaultPlayerOption8;
    pFuncs->GetDefaultPlayerOption8 = GetDefaultPlayerOption8;
}

static void FillClassFuncs(PluginFuncs* pFuncs)
{
    pFuncs->SetUseClasses = SetSwitch<&CServer::m_bUseClasses>;
    pFuncs->GetUseClasses = GetSwitch<&CServer::m_bUseClasses>;
    pFuncs->AddPlayerClass = AddPlayerClass;
    pFuncs->SetSpawnPlayerPosition = SetSpawnPoint<&CServer::SetSpawnPlayerPosition>;
    pFuncs->SetSpawnCameraPosition = SetSpawnPoint<&CServer::SetSpawnCameraPosition>;
    pFuncs->SetSpawnCameraLookAt = SetSpawnPoint<&CServer::SetSpawnCameraLookAt>;
}

void FillServerFuncs(PluginFuncs* pFuncs)
{
    FillPluginFuncs(pFuncs);
    FillSettingFuncs(pFuncs);
    FillWorldOptionFuncs(pFuncs);
    FillClassFuncs(pFuncs);
}
