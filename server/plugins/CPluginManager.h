#pragma once

#include <cstdint>

#include "orvn_plugin.h"

class CDynamicLibrary;
class CPlayer;
class CVehicle;
class CObject;
class CPickup;

constexpr int MAX_PLUGINS = 50;

// Owns the loaded plugins, the one function table they share, and raises
// every server event by walking the plugins in load order. Created first of
// all by the entry point and never destroyed; plugins are never unloaded.
//
// Events about an entity lock it around each plugin's call (or around the
// whole walk where noted), so a plugin may kick or delete it from inside the
// callback; the walk then stops and the entity dies at the last release.
class CPluginManager
{
public:
    CPluginManager();

    // Loading, from the plugins setting (names separated by spaces or tabs).
    void LoadPlugins(const char* szList);
    int LoadPlugin(const char* szName);

    // OnServerInitialise: 0 as soon as one plugin refuses, else 1.
    int InitialiseAll();
    void ShutdownAll();

    // Plugin queries behind the function table.
    int GetPluginCount() const { return m_nPluginCount; }
    const PluginInfo* GetPluginInfo(int nPluginId) const;
    int FindPlugin(const char* szName) const;
    int ExportFunctions(int nPluginId, void** ppList, int nCount);
    void** GetPluginExports(int nPluginId, int* pnCount) const;

    PluginFuncs* GetFunctions() { return &m_Functions; }
    PluginCallbacks* GetCallbacks(int nPluginId);

    // One dispatch operation per event. The int results are the combined
    // answers of the permission events (1 unless a plugin returned 0).
    void OnServerFrame(float fElapsedTime);
    void OnPlayerConnect(CPlayer* pPlayer);
    void OnPlayerDisconnect(CPlayer* pPlayer, int nReason);
    void OnPlayerToggleOn(CPlayer* pPlayer);
    void OnPlayerToggleOff(CPlayer* pPlayer);
    void OnPlayerRequestClass(CPlayer* pPlayer, int nClassIndex);
    int OnPlayerRequestSpawn(CPlayer* pPlayer);
    void OnPlayerSpawn(CPlayer* pPlayer);
    void OnPlayerDeath(CPlayer* pPlayer, CPlayer* pKiller, int nReason, int nBodyPart);
    void OnPlayerUpdate(CPlayer* pPlayer, int nUpdateType);
    int OnPlayerRequestEnterVehicle(CPlayer* pPlayer, CVehicle* pVehicle, int nSeat);
    void OnPlayerEnterVehicle(CPlayer* pPlayer, CVehicle* pVehicle, int nSeat);
    void OnPlayerExitVehicle(CPlayer* pPlayer, CVehicle* pVehicle);
    int OnPickupPickAttempt(CPickup* pPickup, CPlayer* pPlayer);
    void OnPickupPicked(CPickup* pPickup, CPlayer* pPlayer);
    void OnVehicleUpdate(CVehicle* pVehicle, int nUpdateType);
    void OnVehicleExplode(CVehicle* pVehicle);
    void OnVehicleRespawn(CVehicle* pVehicle);
    void OnObjectShot(CObject* pObject, CPlayer* pPlayer, int nWeapon);
    void OnObjectTouched(CObject* pObject, CPlayer* pPlayer);
    int OnPlayerMessage(CPlayer* pPlayer, const char* szMessage);
    int OnPlayerCommand(CPlayer* pPlayer, const char* szCommand);
    int OnPlayerPrivateMessage(CPlayer* pPlayer, int nTargetId, const char* szMessage);
    int OnPluginCommand(int nCommandId, const char* szText);
    // A console line the server does not know, as OnPluginCommand with
    // ORVN_CONSOLE_COMMAND_ID; 0 when a plugin took it.
    int OnConsoleCommand(const char* szLine);
    int OnIncomingConnection(const char* szName, const char* szPassword, const char* szAddress);
    void OnEntityPoolChange(int nEntityType, int nEntityId, bool bDeleted);
    void OnKeyBindDown(CPlayer* pPlayer, int nBindId);
    void OnKeyBindUp(CPlayer* pPlayer, int nBindId);
    void OnPlayerAwayChange(CPlayer* pPlayer, bool bAway);
    void OnPlayerSpectate(CPlayer* pPlayer, CPlayer* pTarget);
    void OnPlayerClientText(CPlayer* pPlayer, const char* szText);
    void OnServerPerformanceReport(int nEntryCount, const char** pszDescriptions, uint64_t* pullTotals);
    void OnPlayerNameChange(CPlayer* pPlayer, const char* szOldName, const char* szNewName);
    void OnPlayerStateChange(CPlayer* pPlayer, int nOldState, int nNewState);
    void OnPlayerSyncCodeChange(CPlayer* pPlayer, int nOldValue, int nNewValue);
    void OnPlayerSyncFlag0Change(CPlayer* pPlayer, bool bSet);
    void OnPlayerSyncFlag1Change(CPlayer* pPlayer, bool bSet);
    void OnPlayerKeysChange(CPlayer* pPlayer, int nOldKeys, int nNewKeys);

private:
    int m_nPluginCount;
    PluginFuncs m_Functions;
    PluginInfo m_aInfo[MAX_PLUGINS];
    PluginCallbacks m_aCallbacks[MAX_PLUGINS];
    void** m_appExportList[MAX_PLUGINS];
    int m_anExportCount[MAX_PLUGINS];
    CDynamicLibrary* m_apModule[MAX_PLUGINS];
};

// Created by the entry point before anything else; live until the process ends.
extern CPluginManager* g_pPluginManager;
// The manager's function table; the server prints through its LogMessage too.
extern PluginFuncs* g_pFuncs;

// Slot 8: formats into the process-wide 4096-byte buffer and prints the result
// as plain text through the console print.
int32_t LogMessage(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
