/* A plugin's view of the interface in strict C. Every handler below is stored in its slot without a
 * cast, so a handler whose signature differs from the slot is an incompatible pointer assignment and
 * fails the build under -Werror; the typed locals in CheckResultTypes do the same for function slots.
 * Also built for a 32-bit target, where the offsets must match the 4-byte-pointer layout. Only
 * <stdint.h> and <stddef.h> may be reached from here (the 32-bit check is freestanding). */
#include "orvn_plugin.h"

/* Slot positions; the typedef fallback of the header is what a C99 build exercises here. */
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnPlayerRequestSpawn) == 8, c_request_spawn);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnVehicleUpdate) == 18, c_vehicle_update);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnIncomingConnection) == 27, c_incoming_connection);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnServerPerformanceReport) == 34, c_performance_report);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SendGameMessage) == 11, c_game_message);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(GetWorldOption13) == 71, c_world_option13);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(GetWeaponDataValue) == 84, c_weapon_data);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetNamedElementValue3) == 110, c_named_value3);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetSpawnCameraLookAt) == 119, c_spawn_look_at);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(GetPlayerClientValue) == 158, c_client_value);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetPlayerOption12) == 194, c_player_option12);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetPlayerSettableByte) == 214, c_settable_byte);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetVehicleOptionFlag2) == 281, c_vehicle_flag2);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(ResetInstHandling) == 292, c_inst_handling);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(IsObjectTouchedReportEnabled) == 330, c_touched_report);

/* The 4-byte-pointer layout: slot n at 4 + 4n. */
ORVN_STATIC_ASSERT(sizeof(void*) != 4 || offsetof(PluginFuncs, SetPlayerHealth) == 644, c_health_32bit);
ORVN_STATIC_ASSERT(sizeof(void*) != 4 || offsetof(PluginFuncs, GetPlayerAimPosition) == 1352, c_aim_32bit);
ORVN_STATIC_ASSERT(sizeof(void*) != 4 || offsetof(PluginCallbacks, OnPlayerKeysChange) == 164, c_keys_32bit);

static PluginFuncs* g_pFuncs;
static int32_t g_nPluginId;

static int32_t OnServerInitialise(void)
{
    return g_pFuncs->LogMessage("%s loaded as plugin %d", "compile_c", (int)g_nPluginId);
}

static void OnServerFrame(float fElapsed)
{
    (void)fElapsed;
}

static int32_t OnPlayerRequestSpawn(int32_t nPlayerId)
{
    return g_pFuncs->GetPlayerHealth(nPlayerId) > 0.0f;
}

static void OnPlayerDeath(int32_t nPlayerId, int32_t nKillerId, int32_t nReason, int32_t nBodyPart)
{
    if (nKillerId != 255)
    {
        g_pFuncs->SendClientMessage(-1, 0xFFFFFF, "%d killed %d (%d, %d)", (int)nKillerId, (int)nPlayerId,
                                    (int)nReason, (int)nBodyPart);
    }
}

static void Reserved(void) {}

static int32_t OnPlayerMessage(int32_t nPlayerId, const char* szMessage)
{
    return szMessage[0] != '!' || g_pFuncs->IsPlayerAdmin(nPlayerId);
}

static int32_t OnPluginCommand(int32_t nCommandId, const char* szText)
{
    (void)szText;
    return nCommandId != 0;
}

static int32_t OnIncomingConnection(const char* szName, const char* szPassword, const char* szAddress)
{
    (void)szPassword;
    return szName[0] != '\0' && !g_pFuncs->IsIPBanned(szAddress);
}

static void OnServerPerformanceReport(int32_t nCount, const char** pszDescriptions, uint64_t* pTotals)
{
    int32_t i;
    for (i = 0; i < nCount; ++i)
    {
        g_pFuncs->LogMessage("%s: %lu", pszDescriptions[i], (unsigned long)pTotals[i]);
    }
}

static void OnPlayerNameChange(int32_t nPlayerId, const char* szOld, const char* szNew)
{
    g_pFuncs->SendGameMessage(nPlayerId, 1, "%s is now %s", szOld, szNew);
}

static void OnPlayerKeysChange(int32_t nPlayerId, int32_t nOldKeys, int32_t nNewKeys)
{
    (void)nPlayerId;
    (void)nOldKeys;
    (void)nNewKeys;
}

/* Each slot read into a local of the type a plugin expects it to have. */
static int CheckResultTypes(const PluginFuncs* pFuncs)
{
    double (*pfnClientValue)(int32_t) = pFuncs->GetPlayerClientValue;
    double (*pfnWeaponData)(int32_t, int32_t) = pFuncs->GetWeaponDataValue;
    int32_t (*pfnSetWeaponData)(int32_t, int32_t, double) = pFuncs->SetWeaponDataValue;
    double (*pfnHandling)(int32_t, int32_t) = pFuncs->GetInstHandlingRule;
    int32_t (*pfnSetHandling)(int32_t, int32_t, double) = pFuncs->SetHandlingRule;
    float (*pfnGravity)(void) = pFuncs->GetGravity;
    int32_t (*pfnTime)(uint64_t*) = pFuncs->GetTime;
    void** (*pfnExports)(int32_t, int32_t*) = pFuncs->GetPluginExports;
    int32_t (*pfnExport)(int32_t, void**, int32_t) = pFuncs->ExportFunctions;
    void (*pfnRemoveBinds)(void) = pFuncs->RemoveAllKeyBinds;
    void (*pfnDestroyMarker)(int32_t) = pFuncs->DestroyMarker;
    int32_t (*pfnName)(int32_t, char*, int32_t) = pFuncs->GetPlayerName;
    int32_t (*pfnSpawnPos)(int32_t, float*, float*, float*, int32_t*) = pFuncs->GetVehicleSpawnPosition;
    int32_t (*pfnTextBlock)(int32_t, const char*, int32_t, const char*, const char*, const char*) =
        pFuncs->SendPlayerTextBlock;
    int32_t (*pfnPluginCommand)(int32_t, const char*, ...) = pFuncs->SendPluginCommand;
    return pfnClientValue != 0 && pfnWeaponData != 0 && pfnSetWeaponData != 0 && pfnHandling != 0 &&
           pfnSetHandling != 0 && pfnGravity != 0 && pfnTime != 0 && pfnExports != 0 && pfnExport != 0 &&
           pfnRemoveBinds != 0 && pfnDestroyMarker != 0 && pfnName != 0 && pfnSpawnPos != 0 &&
           pfnTextBlock != 0 && pfnPluginCommand != 0;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    uint64_t ullNow = 0;
    if (functions->structSize == 0 || !CheckResultTypes(functions))
    {
        return 0;
    }
    g_pFuncs = functions;
    g_nPluginId = info->pluginId;
    info->pluginData = 0x1234u;
    functions->GetTime(&ullNow);

    callbacks->OnServerInitialise = OnServerInitialise;
    callbacks->OnServerFrame = OnServerFrame;
    callbacks->OnPlayerRequestSpawn = OnPlayerRequestSpawn;
    callbacks->OnPlayerDeath = OnPlayerDeath;
    callbacks->Reserved17 = Reserved;
    callbacks->OnPlayerMessage = OnPlayerMessage;
    callbacks->OnPluginCommand = OnPluginCommand;
    callbacks->OnIncomingConnection = OnIncomingConnection;
    callbacks->OnServerPerformanceReport = OnServerPerformanceReport;
    callbacks->OnPlayerNameChange = OnPlayerNameChange;
    callbacks->OnPlayerKeysChange = OnPlayerKeysChange;
    return 1;
}
