// A C++ plugin's view of the interface, built as C++11: every slot checked here has exactly the
// type a plugin is written against, so a changed argument or result type fails the build.
#include "orvn_plugin.h"

#include <type_traits>

#define EXPECT_FUNC_TYPE(member, type)                                                                       \
    static_assert(std::is_same<decltype(PluginFuncs::member), type>::value, #member " has the wrong type")
#define EXPECT_CALLBACK_TYPE(member, type)                                                                   \
    static_assert(std::is_same<decltype(PluginCallbacks::member), type>::value, #member " has the wrong "    \
                                                                                        "type")

// Callbacks: requests answer with int32_t, notifications return nothing.
EXPECT_CALLBACK_TYPE(OnServerInitialise, int32_t (*)());
EXPECT_CALLBACK_TYPE(OnServerShutdown, void (*)());
EXPECT_CALLBACK_TYPE(OnServerFrame, void (*)(float));
EXPECT_CALLBACK_TYPE(OnPlayerDisconnect, void (*)(int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPlayerRequestSpawn, int32_t (*)(int32_t));
EXPECT_CALLBACK_TYPE(OnPlayerDeath, void (*)(int32_t, int32_t, int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPlayerRequestEnterVehicle, int32_t (*)(int32_t, int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPlayerEnterVehicle, void (*)(int32_t, int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPickupPickAttempt, int32_t (*)(int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPickupPicked, void (*)(int32_t, int32_t));
EXPECT_CALLBACK_TYPE(Reserved17, void (*)());
EXPECT_CALLBACK_TYPE(OnObjectShot, void (*)(int32_t, int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPlayerMessage, int32_t (*)(int32_t, const char*));
EXPECT_CALLBACK_TYPE(OnPlayerCommand, int32_t (*)(int32_t, const char*));
EXPECT_CALLBACK_TYPE(OnPlayerPrivateMessage, int32_t (*)(int32_t, int32_t, const char*));
EXPECT_CALLBACK_TYPE(OnPluginCommand, int32_t (*)(int32_t, const char*));
EXPECT_CALLBACK_TYPE(OnIncomingConnection, int32_t (*)(const char*, const char*, const char*));
EXPECT_CALLBACK_TYPE(OnEntityPoolChange, void (*)(int32_t, int32_t, int32_t));
EXPECT_CALLBACK_TYPE(OnPlayerClientText, void (*)(int32_t, const char*));
EXPECT_CALLBACK_TYPE(OnServerPerformanceReport, void (*)(int32_t, const char**, uint64_t*));
EXPECT_CALLBACK_TYPE(OnPlayerNameChange, void (*)(int32_t, const char*, const char*));
EXPECT_CALLBACK_TYPE(OnPlayerKeysChange, void (*)(int32_t, int32_t, int32_t));

// Server functions: one of every argument and result shape.
EXPECT_FUNC_TYPE(GetServerVersion, int32_t (*)());
EXPECT_FUNC_TYPE(GetServerSettings, int32_t (*)(ServerSettings*));
EXPECT_FUNC_TYPE(ExportFunctions, int32_t (*)(int32_t, void**, int32_t));
EXPECT_FUNC_TYPE(GetPluginInfo, int32_t (*)(int32_t, PluginInfo*));
EXPECT_FUNC_TYPE(GetPluginExports, void** (*)(int32_t, int32_t*));
EXPECT_FUNC_TYPE(GetTime, int32_t (*)(uint64_t*));
EXPECT_FUNC_TYPE(LogMessage, int32_t (*)(const char*, ...));
EXPECT_FUNC_TYPE(SendPluginCommand, int32_t (*)(int32_t, const char*, ...));
EXPECT_FUNC_TYPE(SendClientMessage, int32_t (*)(int32_t, int32_t, const char*, ...));
EXPECT_FUNC_TYPE(SendGameMessage, int32_t (*)(int32_t, int32_t, const char*, ...));
EXPECT_FUNC_TYPE(SetServerName, int32_t (*)(const char*));
EXPECT_FUNC_TYPE(GetServerName, int32_t (*)(char*, int32_t));
EXPECT_FUNC_TYPE(GetWorldBounds, int32_t (*)(float*, float*, float*, float*));
EXPECT_FUNC_TYPE(SetDeathSettings, int32_t (*)(int32_t, int32_t, float, float, int32_t, int32_t, int32_t));
EXPECT_FUNC_TYPE(GetDeathSettings,
                 int32_t (*)(int32_t*, int32_t*, float*, float*, int32_t*, int32_t*, int32_t*));
EXPECT_FUNC_TYPE(GetGravity, float (*)());
EXPECT_FUNC_TYPE(SetVehicleRespawnHeight, int32_t (*)(float));
EXPECT_FUNC_TYPE(SetWorldOption7, int32_t (*)(int32_t));
EXPECT_FUNC_TYPE(GetWorldOption7, int32_t (*)());
EXPECT_FUNC_TYPE(CreateExplosion, int32_t (*)(int32_t, int32_t, float, float, float, int32_t, int32_t));
EXPECT_FUNC_TYPE(HideMapObject, int32_t (*)(int32_t, int32_t, int32_t, int32_t));
EXPECT_FUNC_TYPE(SetWeaponDataValue, int32_t (*)(int32_t, int32_t, double));
EXPECT_FUNC_TYPE(GetWeaponDataValue, double (*)(int32_t, int32_t));
EXPECT_FUNC_TYPE(GetKeyBindData, int32_t (*)(int32_t, int32_t*, int32_t*, int32_t*, int32_t*));
EXPECT_FUNC_TYPE(RemoveAllKeyBinds, void (*)());
EXPECT_FUNC_TYPE(CreateMarker, int32_t (*)(int32_t, int32_t, float, float, float, int32_t, int32_t, int32_t));
EXPECT_FUNC_TYPE(DestroyMarker, void (*)(int32_t));
EXPECT_FUNC_TYPE(GetMarkerInfo,
                 int32_t (*)(int32_t, int32_t*, float*, float*, float*, int32_t*, int32_t*, int32_t*));
EXPECT_FUNC_TYPE(CreateTextElement,
                 int32_t (*)(int32_t, const char*, int32_t, int32_t, int32_t, int32_t, float, int32_t));
EXPECT_FUNC_TYPE(SetTextElementScale, int32_t (*)(int32_t, int32_t, float));
EXPECT_FUNC_TYPE(CreateNamedElement, int32_t (*)(int32_t, const char*, int32_t, int32_t, int32_t));
EXPECT_FUNC_TYPE(SetRadioStation, int32_t (*)(int32_t, const char*, const char*, int32_t));
EXPECT_FUNC_TYPE(AddPlayerClass, int32_t (*)(int32_t, int32_t, int32_t, float, float, float, float, int32_t,
                                             int32_t, int32_t, int32_t, int32_t, int32_t));
EXPECT_FUNC_TYPE(SetSpawnCameraPosition, int32_t (*)(float, float, float));
EXPECT_FUNC_TYPE(GetPlayerIP, int32_t (*)(int32_t, char*, int32_t));
EXPECT_FUNC_TYPE(BanIP, int32_t (*)(const char*));
EXPECT_FUNC_TYPE(SetPlayerName, int32_t (*)(int32_t, const char*));
EXPECT_FUNC_TYPE(GetPlayerClientValue, double (*)(int32_t));
EXPECT_FUNC_TYPE(SetPlayerHealth, int32_t (*)(int32_t, float));
EXPECT_FUNC_TYPE(GetPlayerHealth, float (*)(int32_t));
EXPECT_FUNC_TYPE(GetPlayerPosition, int32_t (*)(int32_t, float*, float*, float*));
EXPECT_FUNC_TYPE(GetPlayerHeading, float (*)(int32_t));
EXPECT_FUNC_TYPE(PutPlayerInVehicle, int32_t (*)(int32_t, int32_t, int32_t, int32_t, int32_t));
EXPECT_FUNC_TYPE(SetPlayerOption8, int32_t (*)(int32_t, int32_t));
EXPECT_FUNC_TYPE(GetPlayerOption7, int32_t (*)(int32_t));
EXPECT_FUNC_TYPE(SetCameraPosition, int32_t (*)(int32_t, float, float, float, float, float, float));
EXPECT_FUNC_TYPE(CreateVehicle, int32_t (*)(int32_t, int32_t, float, float, float, float, int32_t, int32_t));
EXPECT_FUNC_TYPE(SetVehiclePosition, int32_t (*)(int32_t, float, float, float, int32_t));
EXPECT_FUNC_TYPE(GetVehicleRotation, int32_t (*)(int32_t, float*, float*, float*, float*));
EXPECT_FUNC_TYPE(GetVehicleSpawnPosition, int32_t (*)(int32_t, float*, float*, float*, int32_t*));
EXPECT_FUNC_TYPE(GetVehicleHealth, float (*)(int32_t));
EXPECT_FUNC_TYPE(GetVehicleColours, int32_t (*)(int32_t, int32_t*, int32_t*));
EXPECT_FUNC_TYPE(SetHandlingRule, int32_t (*)(int32_t, int32_t, double));
EXPECT_FUNC_TYPE(GetHandlingRule, double (*)(int32_t, int32_t));
EXPECT_FUNC_TYPE(SetInstHandlingRule, int32_t (*)(int32_t, int32_t, double));
EXPECT_FUNC_TYPE(GetInstHandlingRule, double (*)(int32_t, int32_t));
EXPECT_FUNC_TYPE(CreatePickup, int32_t (*)(int32_t, int32_t, int32_t, float, float, float, int32_t, int32_t));
EXPECT_FUNC_TYPE(CreateObject, int32_t (*)(int32_t, int32_t, float, float, float, int32_t));
EXPECT_FUNC_TYPE(RotateObjectTo, int32_t (*)(int32_t, float, float, float, float, int32_t));
EXPECT_FUNC_TYPE(RotateObjectByEuler, int32_t (*)(int32_t, float, float, float, int32_t));
EXPECT_FUNC_TYPE(SendPlayerTextBlock,
                 int32_t (*)(int32_t, const char*, int32_t, const char*, const char*, const char*));
EXPECT_FUNC_TYPE(GetPlayerAimDirection, int32_t (*)(int32_t, float*, float*, float*));

// The C++ form of a plugin entry point: captureless lambdas stored straight into the slots.
ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    static PluginFuncs* s_pFuncs = functions;
    callbacks->OnPlayerCommand = [](int32_t nPlayerId, const char* szCommand) -> int32_t
    { return s_pFuncs->SendClientMessage(nPlayerId, 0xFF0000, "unknown command %s", szCommand); };
    callbacks->OnServerPerformanceReport = [](int32_t, const char**, uint64_t*) {};
    info->pluginData = 1;
    return 1;
}
