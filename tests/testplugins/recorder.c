/* Records every event it receives (see recorder.h). Load it under several names by copying the
 * library: each copy has its own control block. */
#include <stdio.h>
#include <string.h>

#include "recorder.h"

static RecorderControl g_control;
static void* g_apExports[1];

/* Appends "<event> <ints...> [texts...]" to the shared log, runs the hook and answers. */
static int32_t Note(int32_t slot, const char* event, int32_t count, const int32_t* args, const char* text1,
                    const char* text2, const char* text3)
{
    RecorderLog* log = g_control.log;
    if (log && log->count < RECORDER_MAX_ENTRIES)
    {
        RecorderEntry* entry = &log->entries[log->count++];
        int used = snprintf(entry->text, sizeof(entry->text), "%s", event);
        const char* texts[3] = {text1, text2, text3};
        int32_t i;
        entry->pluginId = g_control.info ? g_control.info->pluginId : -1;
        entry->slot = slot;
        for (i = 0; i < count && used < (int)sizeof(entry->text); ++i)
            used += snprintf(entry->text + used, sizeof(entry->text) - (size_t)used, " %d", args[i]);
        for (i = 0; i < 3 && used < (int)sizeof(entry->text); ++i)
        {
            if (texts[i])
                used += snprintf(entry->text + used, sizeof(entry->text) - (size_t)used, " [%s]", texts[i]);
        }
    }
    if (g_control.hook)
        g_control.hook(g_control.hookContext, g_control.info ? g_control.info->pluginId : -1, slot, args,
                       text1);
    return g_control.answers[slot];
}

#define NOTE0(slot, name) Note(slot, name, 0, NULL, NULL, NULL, NULL)
#define NOTE_INTS(slot, name, ...)                                                                           \
    Note(slot, name, (int32_t)(sizeof((int32_t[]){__VA_ARGS__}) / sizeof(int32_t)),                          \
         (const int32_t[]){__VA_ARGS__}, NULL, NULL, NULL)

static int32_t OnServerInitialise(void)
{
    return NOTE0(0, "OnServerInitialise");
}
static void OnServerShutdown(void)
{
    NOTE0(1, "OnServerShutdown");
}

static void OnServerFrame(float elapsedTime)
{
    char text[32];
    snprintf(text, sizeof(text), "%.3f", (double)elapsedTime);
    Note(2, "OnServerFrame", 0, NULL, text, NULL, NULL);
}

static void OnPlayerConnect(int32_t playerId)
{
    NOTE_INTS(3, "OnPlayerConnect", playerId);
}
static void OnPlayerDisconnect(int32_t playerId, int32_t reason)
{
    NOTE_INTS(4, "OnPlayerDisconnect", playerId, reason);
}
static void OnPlayerToggleOn(int32_t playerId)
{
    NOTE_INTS(5, "OnPlayerToggleOn", playerId);
}
static void OnPlayerToggleOff(int32_t playerId)
{
    NOTE_INTS(6, "OnPlayerToggleOff", playerId);
}
static void OnPlayerRequestClass(int32_t playerId, int32_t classIndex)
{
    NOTE_INTS(7, "OnPlayerRequestClass", playerId, classIndex);
}
static int32_t OnPlayerRequestSpawn(int32_t playerId)
{
    return NOTE_INTS(8, "OnPlayerRequestSpawn", playerId);
}
static void OnPlayerSpawn(int32_t playerId)
{
    NOTE_INTS(9, "OnPlayerSpawn", playerId);
}
static void OnPlayerDeath(int32_t playerId, int32_t killerId, int32_t reason, int32_t bodyPart)
{
    NOTE_INTS(10, "OnPlayerDeath", playerId, killerId, reason, bodyPart);
}
static void OnPlayerUpdate(int32_t playerId, int32_t updateType)
{
    NOTE_INTS(11, "OnPlayerUpdate", playerId, updateType);
}
static int32_t OnPlayerRequestEnterVehicle(int32_t playerId, int32_t vehicleId, int32_t seat)
{
    return NOTE_INTS(12, "OnPlayerRequestEnterVehicle", playerId, vehicleId, seat);
}
static void OnPlayerEnterVehicle(int32_t playerId, int32_t vehicleId, int32_t seat)
{
    NOTE_INTS(13, "OnPlayerEnterVehicle", playerId, vehicleId, seat);
}
static void OnPlayerExitVehicle(int32_t playerId, int32_t vehicleId)
{
    NOTE_INTS(14, "OnPlayerExitVehicle", playerId, vehicleId);
}
static int32_t OnPickupPickAttempt(int32_t pickupId, int32_t playerId)
{
    return NOTE_INTS(15, "OnPickupPickAttempt", pickupId, playerId);
}
static void OnPickupPicked(int32_t pickupId, int32_t playerId)
{
    NOTE_INTS(16, "OnPickupPicked", pickupId, playerId);
}
static void OnVehicleUpdate(int32_t vehicleId, int32_t updateType)
{
    NOTE_INTS(18, "OnVehicleUpdate", vehicleId, updateType);
}
static void OnVehicleExplode(int32_t vehicleId)
{
    NOTE_INTS(19, "OnVehicleExplode", vehicleId);
}
static void OnVehicleRespawn(int32_t vehicleId)
{
    NOTE_INTS(20, "OnVehicleRespawn", vehicleId);
}
static void OnObjectShot(int32_t objectId, int32_t playerId, int32_t weaponId)
{
    NOTE_INTS(21, "OnObjectShot", objectId, playerId, weaponId);
}
static void OnObjectTouched(int32_t objectId, int32_t playerId)
{
    NOTE_INTS(22, "OnObjectTouched", objectId, playerId);
}

static int32_t OnPlayerMessage(int32_t playerId, const char* message)
{
    return Note(23, "OnPlayerMessage", 1, &playerId, message, NULL, NULL);
}

static int32_t OnPlayerCommand(int32_t playerId, const char* command)
{
    return Note(24, "OnPlayerCommand", 1, &playerId, command, NULL, NULL);
}

static int32_t OnPlayerPrivateMessage(int32_t playerId, int32_t targetId, const char* message)
{
    const int32_t args[2] = {playerId, targetId};
    return Note(25, "OnPlayerPrivateMessage", 2, args, message, NULL, NULL);
}

static int32_t OnPluginCommand(int32_t commandId, const char* text)
{
    return Note(26, "OnPluginCommand", 1, &commandId, text, NULL, NULL);
}

static int32_t OnIncomingConnection(const char* playerName, const char* password, const char* ipAddress)
{
    return Note(27, "OnIncomingConnection", 0, NULL, playerName, password, ipAddress);
}

static void OnEntityPoolChange(int32_t entityType, int32_t entityId, int32_t isDeleted)
{
    NOTE_INTS(28, "OnEntityPoolChange", entityType, entityId, isDeleted);
}
static void OnKeyBindDown(int32_t playerId, int32_t bindId)
{
    NOTE_INTS(29, "OnKeyBindDown", playerId, bindId);
}
static void OnKeyBindUp(int32_t playerId, int32_t bindId)
{
    NOTE_INTS(30, "OnKeyBindUp", playerId, bindId);
}
static void OnPlayerAwayChange(int32_t playerId, int32_t isAway)
{
    NOTE_INTS(31, "OnPlayerAwayChange", playerId, isAway);
}
static void OnPlayerSpectate(int32_t playerId, int32_t targetId)
{
    NOTE_INTS(32, "OnPlayerSpectate", playerId, targetId);
}

static void OnPlayerClientText(int32_t playerId, const char* text)
{
    Note(33, "OnPlayerClientText", 1, &playerId, text, NULL, NULL);
}

static void OnServerPerformanceReport(int32_t entryCount, const char** descriptions, uint64_t* totals)
{
    char text[64] = "";
    if (entryCount > 0 && descriptions && totals)
        snprintf(text, sizeof(text), "%s=%llu", descriptions[0], (unsigned long long)totals[0]);
    Note(34, "OnServerPerformanceReport", 1, &entryCount, text, NULL, NULL);
}

static void OnPlayerNameChange(int32_t playerId, const char* oldName, const char* newName)
{
    Note(35, "OnPlayerNameChange", 1, &playerId, oldName, newName, NULL);
}

static void OnPlayerStateChange(int32_t playerId, int32_t oldState, int32_t newState)
{
    NOTE_INTS(36, "OnPlayerStateChange", playerId, oldState, newState);
}
static void OnPlayerSyncCodeChange(int32_t playerId, int32_t oldValue, int32_t newValue)
{
    NOTE_INTS(37, "OnPlayerSyncCodeChange", playerId, oldValue, newValue);
}
static void OnPlayerSyncFlag0Change(int32_t playerId, int32_t isSet)
{
    NOTE_INTS(38, "OnPlayerSyncFlag0Change", playerId, isSet);
}
static void OnPlayerSyncFlag1Change(int32_t playerId, int32_t isSet)
{
    NOTE_INTS(39, "OnPlayerSyncFlag1Change", playerId, isSet);
}
static void OnPlayerKeysChange(int32_t playerId, int32_t oldKeys, int32_t newKeys)
{
    NOTE_INTS(40, "OnPlayerKeysChange", playerId, oldKeys, newKeys);
}

static void FillCallbacks(PluginCallbacks* c)
{
    c->OnServerInitialise = OnServerInitialise;
    c->OnServerShutdown = OnServerShutdown;
    c->OnServerFrame = OnServerFrame;
    c->OnPlayerConnect = OnPlayerConnect;
    c->OnPlayerDisconnect = OnPlayerDisconnect;
    c->OnPlayerToggleOn = OnPlayerToggleOn;
    c->OnPlayerToggleOff = OnPlayerToggleOff;
    c->OnPlayerRequestClass = OnPlayerRequestClass;
    c->OnPlayerRequestSpawn = OnPlayerRequestSpawn;
    c->OnPlayerSpawn = OnPlayerSpawn;
    c->OnPlayerDeath = OnPlayerDeath;
    c->OnPlayerUpdate = OnPlayerUpdate;
    c->OnPlayerRequestEnterVehicle = OnPlayerRequestEnterVehicle;
    c->OnPlayerEnterVehicle = OnPlayerEnterVehicle;
    c->OnPlayerExitVehicle = OnPlayerExitVehicle;
    c->OnPickupPickAttempt = OnPickupPickAttempt;
    c->OnPickupPicked = OnPickupPicked;
    c->OnVehicleUpdate = OnVehicleUpdate;
    c->OnVehicleExplode = OnVehicleExplode;
    c->OnVehicleRespawn = OnVehicleRespawn;
    c->OnObjectShot = OnObjectShot;
    c->OnObjectTouched = OnObjectTouched;
    c->OnPlayerMessage = OnPlayerMessage;
    c->OnPlayerCommand = OnPlayerCommand;
    c->OnPlayerPrivateMessage = OnPlayerPrivateMessage;
    c->OnPluginCommand = OnPluginCommand;
    c->OnIncomingConnection = OnIncomingConnection;
    c->OnEntityPoolChange = OnEntityPoolChange;
    c->OnKeyBindDown = OnKeyBindDown;
    c->OnKeyBindUp = OnKeyBindUp;
    c->OnPlayerAwayChange = OnPlayerAwayChange;
    c->OnPlayerSpectate = OnPlayerSpectate;
    c->OnPlayerClientText = OnPlayerClientText;
    c->OnServerPerformanceReport = OnServerPerformanceReport;
    c->OnPlayerNameChange = OnPlayerNameChange;
    c->OnPlayerStateChange = OnPlayerStateChange;
    c->OnPlayerSyncCodeChange = OnPlayerSyncCodeChange;
    c->OnPlayerSyncFlag0Change = OnPlayerSyncFlag0Change;
    c->OnPlayerSyncFlag1Change = OnPlayerSyncFlag1Change;
    c->OnPlayerKeysChange = OnPlayerKeysChange;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    int32_t i;
    memset(&g_control, 0, sizeof(g_control));
    for (i = 0; i < ORVN_PLUGIN_CALLBACKS_SLOTS; ++i)
        g_control.answers[i] = 1;
    g_control.funcs = functions;
    g_control.callbacks = callbacks;
    g_control.info = info;

    g_control.countAtInit = functions->GetNumberOfPlugins();
    g_control.idAtInit = info->pluginId;
    g_control.foundAtInit = functions->FindPlugin(info->name);
    g_control.infoAtInit.structSize = sizeof(PluginInfo);
    g_control.infoResultAtInit = functions->GetPluginInfo(info->pluginId, &g_control.infoAtInit);

    FillCallbacks(callbacks);
    g_apExports[0] = &g_control;
    functions->ExportFunctions(info->pluginId, g_apExports, 1);
    return 1;
}
