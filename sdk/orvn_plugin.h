/* Plugin interface of the orvn server.
 *
 * A plugin is a native library exporting OrvnPluginInit. The server calls it once at start-up with
 * the shared function table, the plugin's own callback table and its information record; the plugin
 * keeps the function table pointer for the life of the process and fills in the callbacks it wants.
 * Plugins are never unloaded.
 *
 * This header is plain C (C99 or later, or C++) and depends on <stdint.h> and <stddef.h> only. The
 * table layouts are fixed: a 32-bit size field followed by pointer slots in a fixed order, so new
 * slots only ever go at the end. Every call, in both directions, happens on the server's main thread,
 * and a plugin may call the function table from inside any callback.
 */
#ifndef ORVN_PLUGIN_H
#define ORVN_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define ORVN_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define ORVN_EXPORT __attribute__((visibility("default")))
#endif

#define ORVN_PLUGIN_FUNCS_SLOTS 338
#define ORVN_PLUGIN_CALLBACKS_SLOTS 41

/* Player ids are 0 .. ORVN_MAX_PLAYERS - 1, whatever the server's current player limit. */
#define ORVN_MAX_PLAYERS 100

/* entityType of OnEntityPoolChange. */
#define ORVN_ENTITY_VEHICLE 1
#define ORVN_ENTITY_OBJECT 2
#define ORVN_ENTITY_PICKUP 3

/* C linkage for everything below when the header is read by C++. */
/* clang-format off */
#ifdef __cplusplus
#define ORVN_BEGIN_DECLS extern "C" {
#define ORVN_END_DECLS }
#else
#define ORVN_BEGIN_DECLS
#define ORVN_END_DECLS
#endif
/* clang-format on */

ORVN_BEGIN_DECLS

/* Identification record of one plugin, 44 bytes. The server fills it before OrvnPluginInit runs;
 * the plugin may overwrite name, and pluginData is the plugin's own word, kept and copied out by
 * GetPluginInfo but never interpreted. */
typedef struct PluginInfo
{
    uint32_t structSize; /* 44 */
    int32_t pluginId;    /* load index, 0 upward; never changes */
    char name[32];       /* the name the plugin was listed under, at most 31 characters */
    uint32_t pluginData;
} PluginInfo;

/* Filled by GetServerSettings; the caller sets structSize, the server leaves it untouched. */
typedef struct ServerSettings
{
    uint32_t structSize;
    char serverName[128];
    int32_t maxPlayers; /* current player limit */
    int32_t port;       /* the game port */
    uint32_t flags;     /* always 0 */
} ServerSettings;

/* The commandId of OnPluginCommand when the text is a line typed on the server's console that is
 * none of the server's own commands (help, players, kick, ...). The text is the whole line, trimmed.
 * A plugin that ran the line returns 0, and the console then does not call it unknown; a plugin that
 * does not know the line returns 1, as for any command id that is not its own. Answer on the
 * console with LogMessage. */
#define ORVN_CONSOLE_COMMAND_ID 0x434F4E53

/* Event handlers of one plugin. The server zero-fills the table and sets structSize before
 * OrvnPluginInit; a null slot is skipped. Handlers are called in plugin load order and the slots are
 * read afresh at every event, so a plugin may change them later. Text arguments are valid only
 * during the call.
 *
 * Handlers returning int32_t answer a request: returning 0 refuses it (the spawn, the vehicle entry,
 * the pick-up, the chat line, the join) and every other plugin is still called; the request goes
 * ahead only when no plugin refused. OnServerInitialise is different: the first 0 stops the server.
 * OnPlayerCommand is combined the same way, but nothing acts on the answer; the answers to
 * OnPluginCommand are ignored.
 *
 * When a plugin kicks a player or deletes an entity from inside an event about it (either of the two
 * entities of a vehicle-entry or pick-up event), the plugins after it are not called for that event.
 * OnPlayerClientText and OnPlayerNameChange still reach every plugin. */
typedef struct PluginCallbacks
{
    uint32_t structSize;

    /* slot 0: after start-up, before the first tick */
    int32_t (*OnServerInitialise)(void);
    void (*OnServerShutdown)(void);
    void (*OnServerFrame)(float elapsedTime); /* end of every tick, in seconds */

    /* Players (3..16). reason of OnPlayerDisconnect is the disconnect reason code; killerId is 255
       when nobody killed the player; updateType is 0 on foot, 1 aiming, 2 driver, 3 passenger; seat 0
       is the driver's seat, n + 1 passenger seat n. */
    void (*OnPlayerConnect)(int32_t playerId);
    void (*OnPlayerDisconnect)(int32_t playerId, int32_t reason);
    void (*OnPlayerToggleOn)(int32_t playerId);
    void (*OnPlayerToggleOff)(int32_t playerId);
    void (*OnPlayerRequestClass)(int32_t playerId, int32_t classIndex);
    int32_t (*OnPlayerRequestSpawn)(int32_t playerId);
    void (*OnPlayerSpawn)(int32_t playerId);
    /* slot 10 */
    void (*OnPlayerDeath)(int32_t playerId, int32_t killerId, int32_t reason, int32_t bodyPart);
    void (*OnPlayerUpdate)(int32_t playerId, int32_t updateType);
    int32_t (*OnPlayerRequestEnterVehicle)(int32_t playerId, int32_t vehicleId, int32_t seat);
    void (*OnPlayerEnterVehicle)(int32_t playerId, int32_t vehicleId, int32_t seat);
    void (*OnPlayerExitVehicle)(int32_t playerId, int32_t vehicleId);
    int32_t (*OnPickupPickAttempt)(int32_t pickupId, int32_t playerId);
    void (*OnPickupPicked)(int32_t pickupId, int32_t playerId);

    void (*Reserved17)(void); /* never raised; holds the place of the later slots */

    /* Vehicles and objects (18..22). Vehicle updateType: 0 driver sync, 1 unoccupied sync, 2 position
       set, 4 health set, 5 colours set, 6 rotation set. */
    void (*OnVehicleUpdate)(int32_t vehicleId, int32_t updateType);
    void (*OnVehicleExplode)(int32_t vehicleId);
    /* slot 20 */
    void (*OnVehicleRespawn)(int32_t vehicleId);
    void (*OnObjectShot)(int32_t objectId, int32_t playerId, int32_t weaponId);
    void (*OnObjectTouched)(int32_t objectId, int32_t playerId);

    /* Chat, commands and joins (23..27). OnPluginCommand reaches every plugin, the sender included.
       The join request carries a name of at most 23 characters and a dotted-decimal address. */
    int32_t (*OnPlayerMessage)(int32_t playerId, const char* message);
    int32_t (*OnPlayerCommand)(int32_t playerId, const char* command);
    int32_t (*OnPlayerPrivateMessage)(int32_t playerId, int32_t targetId, const char* message);
    int32_t (*OnPluginCommand)(int32_t commandId, const char* text);
    int32_t (*OnIncomingConnection)(const char* playerName, const char* password, const char* ipAddress);

    /* entityType ORVN_ENTITY_VEHICLE, ORVN_ENTITY_OBJECT or ORVN_ENTITY_PICKUP; raised after
       creation and before destruction. */
    void (*OnEntityPoolChange)(int32_t entityType, int32_t entityId, int32_t isDeleted);

    /* Key binds, away state, spectating and client text (29..33); targetId is -1 for none. */
    void (*OnKeyBindDown)(int32_t playerId, int32_t bindId);
    /* slot 30: raised only for binds registered to report their release */
    void (*OnKeyBindUp)(int32_t playerId, int32_t bindId);
    void (*OnPlayerAwayChange)(int32_t playerId, int32_t isAway);
    void (*OnPlayerSpectate)(int32_t playerId, int32_t targetId);
    void (*OnPlayerClientText)(int32_t playerId, const char* text);

    /* Every 30 seconds: entryCount named time totals, reset after the report. */
    void (*OnServerPerformanceReport)(int32_t entryCount, const char** descriptions, uint64_t* totals);

    /* Player changes (35..40). The sync changes are raised before the stored value is replaced, in
       the order keys, sync code, flag bit 0, flag bit 1, and only when the value differs. */
    void (*OnPlayerNameChange)(int32_t playerId, const char* oldName, const char* newName);
    void (*OnPlayerStateChange)(int32_t playerId, int32_t oldState, int32_t newState);
    void (*OnPlayerSyncCodeChange)(int32_t playerId, int32_t oldValue, int32_t newValue);
    void (*OnPlayerSyncFlag0Change)(int32_t playerId, int32_t isSet);
    void (*OnPlayerSyncFlag1Change)(int32_t playerId, int32_t isSet);
    /* slot 40 */
    void (*OnPlayerKeysChange)(int32_t playerId, int32_t oldKeys, int32_t newKeys);
} PluginCallbacks;

/* The server's functions, one table shared by every plugin and valid until the process ends.
 * From OrvnPluginInit only GetServerVersion and slots 2..9 (the plugin queries, the clock, logging
 * and plugin commands) may be called; the rest need the running server.
 *
 * Result conventions:
 * - setters and actions return 1 when done, 0 when the id names nothing or the request was refused;
 * - integer getters return the value, or 0 for an unknown id; getters whose 0 is a valid answer (ids,
 *   models, slots and a few values) return -1 instead; float getters return 0.0;
 * - getters through pointers write only through the pointers that are not null;
 * - text getters copy at most size - 1 characters and always terminate the buffer; the player text
 *   getters empty the buffer first, the server setting getters leave a null or zero-size buffer alone;
 * - boolean arguments count as true when non-zero; boolean results are 0 or 1;
 * - texts passed in are copied by the server; angles are in radians, quaternions are x, y, z, w.
 */
typedef struct PluginFuncs
{
    uint32_t structSize;

    /* Plugins, clock, console and chat (0..11). GetPluginExports returns null with *count 0 for an
       unknown plugin; GetTime skips a null pointer. The format functions expand printf-style into one
       shared 4096-byte buffer (longer output is cut); the two message functions take -1 or 255 for
       every player and return 0 without sending for a player id that names nobody. */
    int32_t (*GetServerVersion)(void);
    int32_t (*GetServerSettings)(ServerSettings* settings);
    int32_t (*ExportFunctions)(int32_t pluginId, void** exports, int32_t count);
    int32_t (*GetNumberOfPlugins)(void);
    int32_t (*GetPluginInfo)(int32_t pluginId, PluginInfo* info);
    int32_t (*FindPlugin)(const char* name);
    void** (*GetPluginExports)(int32_t pluginId, int32_t* count);
    int32_t (*GetTime)(uint64_t* out);
    int32_t (*LogMessage)(const char* format, ...);
    int32_t (*SendPluginCommand)(int32_t commandId, const char* format, ...);
    /* slot 10 */
    int32_t (*SendClientMessage)(int32_t playerId, int32_t colour, const char* format, ...);
    int32_t (*SendGameMessage)(int32_t playerId, int32_t type, const char* format, ...);

    /* Server settings (12..43). Texts are kept to 63 characters. Clock, weather and world option
       changes are announced to every player at once; SetTimeRate(0) stops the in-game clock. */
    int32_t (*SetServerName)(const char* name);
    int32_t (*GetServerName)(char* buffer, int32_t size);
    int32_t (*SetMaxPlayers)(int32_t maxPlayers);
    int32_t (*GetMaxPlayers)(void);
    int32_t (*SetServerPassword)(const char* password);
    int32_t (*GetServerPassword)(char* buffer, int32_t size);
    int32_t (*SetGameModeText)(const char* text);
    int32_t (*GetGameModeText)(char* buffer, int32_t size);
    /* slot 20 */
    int32_t (*SetWorldBounds)(float maxX, float minX, float maxY, float minY);
    int32_t (*GetWorldBounds)(float* maxX, float* minX, float* maxY, float* minY);
    int32_t (*SetDeathSettings)(int32_t value1, int32_t value2, float value3, float value4, int32_t colour,
                                int32_t value6, int32_t value7);
    int32_t (*GetDeathSettings)(int32_t* value1, int32_t* value2, float* value3, float* value4,
                                int32_t* colour, int32_t* value6, int32_t* value7);
    int32_t (*SetTimeRate)(int32_t msPerMinute);
    int32_t (*GetTimeRate)(void);
    int32_t (*SetHour)(int32_t hour);
    int32_t (*GetHour)(void);
    int32_t (*SetMinute)(int32_t minute);
    int32_t (*GetMinute)(void);
    /* slot 30 */
    int32_t (*SetWeather)(int32_t weather);
    int32_t (*GetWeather)(void);
    int32_t (*SetGravity)(float gravity);
    float (*GetGravity)(void);
    int32_t (*SetGameSpeed)(float speed);
    float (*GetGameSpeed)(void);
    int32_t (*SetWaterLevel)(float level);
    float (*GetWaterLevel)(void);
    int32_t (*SetMaxHeight)(float height);
    float (*GetMaxHeight)(void);
    /* slot 40 */
    int32_t (*SetWorldOptionByte)(int32_t value);
    int32_t (*GetWorldOptionByte)(void);
    int32_t (*SetVehicleRespawnHeight)(float height);
    float (*GetVehicleRespawnHeight)(void);

    /* Fourteen on/off world options (44..71): SetWorldOptionN / GetWorldOptionN pairs, option n
       being bit n of the world option word. A setter only announces a real change. */
    int32_t (*SetWorldOption0)(int32_t enabled);
    int32_t (*GetWorldOption0)(void);
    int32_t (*SetWorldOption1)(int32_t enabled);
    int32_t (*GetWorldOption1)(void);
    int32_t (*SetWorldOption2)(int32_t enabled);
    int32_t (*GetWorldOption2)(void);
    /* slot 50 */
    int32_t (*SetWorldOption3)(int32_t enabled);
    int32_t (*GetWorldOption3)(void);
    int32_t (*SetWorldOption4)(int32_t enabled);
    int32_t (*GetWorldOption4)(void);
    int32_t (*SetWorldOption5)(int32_t enabled);
    int32_t (*GetWorldOption5)(void);
    int32_t (*SetWorldOption6)(int32_t enabled);
    int32_t (*GetWorldOption6)(void);
    int32_t (*SetWorldOption7)(int32_t enabled);
    int32_t (*GetWorldOption7)(void);
    /* slot 60 */
    int32_t (*SetWorldOption8)(int32_t enabled);
    int32_t (*GetWorldOption8)(void);
    int32_t (*SetWorldOption9)(int32_t enabled);
    int32_t (*GetWorldOption9)(void);
    int32_t (*SetWorldOption10)(int32_t enabled);
    int32_t (*GetWorldOption10)(void);
    int32_t (*SetWorldOption11)(int32_t enabled);
    int32_t (*GetWorldOption11)(void);
    int32_t (*SetWorldOption12)(int32_t enabled);
    int32_t (*GetWorldOption12)(void);
    /* slot 70 */
    int32_t (*SetWorldOption13)(int32_t enabled);
    int32_t (*GetWorldOption13)(void);

    /* Announcement switches and the default of player option 8 for players created later (72..77). */
    int32_t (*SetJoinMessages)(int32_t enabled);
    int32_t (*GetJoinMessages)(void);
    int32_t (*SetDeathMessages)(int32_t enabled);
    int32_t (*GetDeathMessages)(void);
    int32_t (*SetDefaultPlayerOption8)(int32_t enabled);
    int32_t (*GetDefaultPlayerOption8)(void);

    /* World effects and hidden map objects (78..82). Effects reach the players near the point who can
       see the world; hiding an object already hidden, or showing one that is not, does nothing. */
    int32_t (*CreateExplosion)(int32_t worldId, int32_t type, float x, float y, float z, int32_t playerId,
                               int32_t flag);
    int32_t (*PlaySound)(int32_t worldId, int32_t sound, float x, float y, float z);
    /* slot 80 */
    int32_t (*HideMapObject)(int32_t model, int32_t x, int32_t y, int32_t z);
    int32_t (*ShowMapObject)(int32_t model, int32_t x, int32_t y, int32_t z);
    int32_t (*ShowAllMapObjects)(void);

    /* Weapon data overrides (83..88), 64-bit values. Weapons 0..33, fields 1..25; a getter without an
       override returns the default value. */
    int32_t (*SetWeaponDataValue)(int32_t weaponId, int32_t field, double value);
    double (*GetWeaponDataValue)(int32_t weaponId, int32_t field);
    int32_t (*ResetWeaponDataValue)(int32_t weaponId, int32_t field);
    int32_t (*IsWeaponDataValueModified)(int32_t weaponId, int32_t field);
    int32_t (*ResetWeaponData)(int32_t weaponId);
    int32_t (*ResetAllWeaponData)(void);

    /* Key binds (89..93), bind ids 0..49. GetKeyBindUnusedSlot returns -1 when all are taken;
       RemoveAllKeyBinds has no meaningful result. */
    int32_t (*GetKeyBindUnusedSlot)(void);
    /* slot 90 */
    int32_t (*GetKeyBindData)(int32_t bindId, int32_t* onRelease, int32_t* key1, int32_t* key2,
                              int32_t* key3);
    int32_t (*RegisterKeyBind)(int32_t bindId, int32_t onRelease, int32_t key1, int32_t key2, int32_t key3);
    int32_t (*RemoveKeyBind)(int32_t bindId);
    void (*RemoveAllKeyBinds)(void);

    /* Coordinate markers (94..96), ids 0..99; CreateMarker(-1, ...) takes the lowest free id and
       returns -1 when none is left. DestroyMarker has no meaningful result. */
    int32_t (*CreateMarker)(int32_t index, int32_t worldId, float x, float y, float z, int32_t attributeA,
                            int32_t attributeB, int32_t attributeC);
    void (*DestroyMarker)(int32_t markerId);
    int32_t (*GetMarkerInfo)(int32_t markerId, int32_t* worldId, float* x, float* y, float* z,
                             int32_t* attributeA, int32_t* attributeB, int32_t* attributeC);

    /* Text elements (97..104), ids 0..127: a text with four values, a scale and a flag that the
       server stores and forwards. Create with -1 takes the lowest free id and replaces an element
       already at an explicit id. The show, hide and set functions take a player id or -1 for every
       player and return 0 for an element not in use; setters store the new values only when sent
       to every player. */
    int32_t (*CreateTextElement)(int32_t elementId, const char* text, int32_t value1, int32_t value2,
                                 int32_t value3, int32_t value4, float scale, int32_t flag);
    int32_t (*DestroyTextElement)(int32_t elementId);
    int32_t (*ShowTextElement)(int32_t elementId, int32_t playerId);
    /* slot 100 */
    int32_t (*HideTextElement)(int32_t elementId, int32_t playerId);
    int32_t (*SetTextElementValues12)(int32_t elementId, int32_t playerId, int32_t value1, int32_t value2);
    int32_t (*SetTextElementValues34)(int32_t elementId, int32_t playerId, int32_t value3, int32_t value4);
    int32_t (*SetTextElementScale)(int32_t elementId, int32_t playerId, float scale);
    int32_t (*SetTextElementFlag)(int32_t elementId, int32_t playerId, int32_t flag);

    /* Named elements (105..110), ids 0..255: a text with three values, same rules as text elements. */
    int32_t (*CreateNamedElement)(int32_t elementId, const char* text, int32_t value1, int32_t value2,
                                  int32_t value3);
    int32_t (*DestroyNamedElement)(int32_t elementId);
    int32_t (*ShowNamedElement)(int32_t elementId, int32_t playerId);
    int32_t (*HideNamedElement)(int32_t elementId, int32_t playerId);
    int32_t (*SetNamedElementValues12)(int32_t elementId, int32_t playerId, int32_t value1, int32_t value2);
    /* slot 110 */
    int32_t (*SetNamedElementValue3)(int32_t elementId, int32_t playerId, int32_t value3);

    /* Custom radio stations (111..112), station indices 11..30; other indices are ignored. */
    int32_t (*SetRadioStation)(int32_t index, const char* name, const char* source, int32_t flag);
    int32_t (*RemoveRadioStation)(int32_t index);

    /* Spawn classes and the class selection screen (113..119). At most 50 classes (AddPlayerClass
       returns -1 beyond); the three screen points are clamped to the playable area. */
    int32_t (*SetUseClasses)(int32_t enabled);
    int32_t (*GetUseClasses)(void);
    int32_t (*GetPlayerClass)(int32_t playerId);
    int32_t (*AddPlayerClass)(int32_t classByteA, int32_t colour, int32_t classByteB, float x, float y,
                              float z, float angle, int32_t weapon1, int32_t ammo1, int32_t weapon2,
                              int32_t ammo2, int32_t weapon3, int32_t ammo3);
    int32_t (*SetSpawnPlayerPosition)(float x, float y, float z);
    int32_t (*SetSpawnCameraPosition)(float x, float y, float z);
    int32_t (*SetSpawnCameraLookAt)(float x, float y, float z);

    /* Players (120..219, and 331..337 further down). A player id is valid when it is 0..99 and the
       slot is occupied. Admin flag, address, kick and ban (120..127); KickPlayer returns 1 even
       for an id that names nobody. */
    int32_t (*IsPlayerAdmin)(int32_t playerId);
    int32_t (*SetPlayerAdmin)(int32_t playerId, int32_t isAdmin);
    int32_t (*GetPlayerIP)(int32_t playerId, char* buffer, int32_t size);
    int32_t (*KickPlayer)(int32_t playerId);
    int32_t (*BanPlayer)(int32_t playerId);
    int32_t (*BanIP)(const char* address);
    int32_t (*UnbanIP)(const char* address);
    int32_t (*IsIPBanned)(const char* address);

    /* Player identity, connection and worlds (128..141). A player's unique world is 10000 plus its
       slot; SetPlayerWorld turns worlds below 1 into 1. SetPlayerName returns 1 only when the name
       changed (at most 23 characters, not in use by another player). */
    int32_t (*GetPlayerIdFromName)(const char* name);
    int32_t (*IsPlayerConnected)(int32_t playerId);
    /* slot 130 */
    int32_t (*IsPlayerSpawned)(int32_t playerId);
    int32_t (*IsPlayerStreamedForPlayer)(int32_t playerId, int32_t observerId);
    int32_t (*GetPlayerKey)(int32_t playerId);
    int32_t (*SetPlayerWorld)(int32_t playerId, int32_t worldId);
    int32_t (*GetPlayerWorld)(int32_t playerId);
    int32_t (*SetPlayerSecondaryWorld)(int32_t playerId, int32_t worldId);
    int32_t (*GetPlayerSecondaryWorld)(int32_t playerId);
    int32_t (*GetPlayerUniqueWorld)(int32_t playerId);
    int32_t (*IsWorldVisibleToPlayer)(int32_t playerId, int32_t worldId);
    int32_t (*GetPlayerState)(int32_t playerId);
    /* slot 140 */
    int32_t (*GetPlayerName)(int32_t playerId, char* buffer, int32_t size);
    int32_t (*SetPlayerName)(int32_t playerId, const char* name);

    /* Player class values, colour, money, score and spawning (142..155). */
    int32_t (*SetPlayerClassByteA)(int32_t playerId, int32_t value);
    int32_t (*GetPlayerClassByteA)(int32_t playerId);
    int32_t (*SetPlayerClassByteB)(int32_t playerId, int32_t value);
    int32_t (*GetPlayerClassByteB)(int32_t playerId);
    int32_t (*SetPlayerColour)(int32_t playerId, int32_t colour);
    int32_t (*GetPlayerColour)(int32_t playerId);
    int32_t (*ForcePlayerSpawn)(int32_t playerId);
    int32_t (*ForcePlayerSelect)(int32_t playerId);
    /* slot 150 */
    int32_t (*ForceAllSelect)(void);
    int32_t (*GivePlayerMoney)(int32_t playerId, int32_t amount);
    int32_t (*SetPlayerMoney)(int32_t playerId, int32_t amount);
    int32_t (*GetPlayerMoney)(int32_t playerId);
    int32_t (*SetPlayerScore)(int32_t playerId, int32_t score);
    int32_t (*GetPlayerScore)(int32_t playerId);

    /* Player connection values (156..159); GetPlayerClientValue is a 64-bit value. */
    int32_t (*GetPlayerPing)(int32_t playerId);
    int32_t (*GetPlayerClientToggle)(int32_t playerId);
    double (*GetPlayerClientValue)(int32_t playerId);
    int32_t (*GetPlayerUniqueId)(int32_t playerId, char* buffer, int32_t size);

    /* Player health, armour and the client flag byte (160..165). Health and armour are stored as
       whole numbers 0..255. */
    int32_t (*SetPlayerHealth)(int32_t playerId, float health);
    float (*GetPlayerHealth)(int32_t playerId);
    int32_t (*SetPlayerArmour)(int32_t playerId, float armour);
    float (*GetPlayerArmour)(int32_t playerId);
    int32_t (*SetPlayerFlagsByte)(int32_t playerId, int32_t value);
    int32_t (*GetPlayerFlagsByte)(int32_t playerId);

    /* Player position, motion, heading and extra state (166..174). A position getter for an unknown id writes
       0.0 through each non-null pointer and returns 0. */
    int32_t (*SetPlayerPosition)(int32_t playerId, float x, float y, float z);
    int32_t (*GetPlayerPosition)(int32_t playerId, float* x, float* y, float* z);
    int32_t (*SetPlayerSpeed)(int32_t playerId, float x, float y, float z);
    int32_t (*GetPlayerSpeed)(int32_t playerId, float* x, float* y, float* z);
    /* slot 170 */
    int32_t (*AddPlayerSpeed)(int32_t playerId, float x, float y, float z);
    int32_t (*SetPlayerHeading)(int32_t playerId, float angle);
    float (*GetPlayerHeading)(int32_t playerId);
    int32_t (*SetPlayerExtraState)(int32_t playerId, int32_t value, int32_t parameter);
    int32_t (*GetPlayerExtraState)(int32_t playerId);

    /* Player vehicle seats (175..179). PutPlayerInVehicle returns 0 on success or minus the refusal
       code; seat 0 is the driver. GetPlayerInVehicleSlot gives -1 on foot, 0 driver, n+1 passenger. */
    int32_t (*PutPlayerInVehicle)(int32_t playerId, int32_t vehicleId, int32_t seat, int32_t ejectDriver,
                                  int32_t immediate);
    int32_t (*RemovePlayerFromVehicle)(int32_t playerId);
    int32_t (*GetPlayerInVehicleStatus)(int32_t playerId);
    int32_t (*GetPlayerInVehicleSlot)(int32_t playerId);
    int32_t (*GetPlayerVehicleId)(int32_t playerId);

    /* Player option bits (180..199): SetPlayerOptionN(playerId, enabled) / GetPlayerOptionN(playerId)
       pairs. A get returns what was last set; a setter that changes nothing sends nothing. */
    int32_t (*SetPlayerOption0)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption0)(int32_t playerId);
    int32_t (*SetPlayerOption1)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption1)(int32_t playerId);
    int32_t (*SetPlayerOption2)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption2)(int32_t playerId);
    int32_t (*SetPlayerOption3)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption3)(int32_t playerId);
    int32_t (*SetPlayerOption4)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption4)(int32_t playerId);
    /* slot 190 */
    int32_t (*SetPlayerOption5)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption5)(int32_t playerId);
    int32_t (*SetPlayerOption6)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption6)(int32_t playerId);
    int32_t (*SetPlayerOption12)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption12)(int32_t playerId);
    int32_t (*SetPlayerOption8)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption8)(int32_t playerId);
    int32_t (*SetPlayerOption7)(int32_t playerId, int32_t enabled);
    int32_t (*GetPlayerOption7)(int32_t playerId);

    /* Player weapons (200..209); weapon slots are 0..9, other slots read as 0. */
    int32_t (*GivePlayerWeapon)(int32_t playerId, int32_t weaponId, int32_t ammo);
    int32_t (*SetPlayerWeapon)(int32_t playerId, int32_t weaponId, int32_t ammo);
    int32_t (*GetPlayerWeapon)(int32_t playerId);
    int32_t (*GetPlayerWeaponAmmo)(int32_t playerId);
    int32_t (*SetPlayerWeaponSlot)(int32_t playerId, int32_t slot);
    int32_t (*GetPlayerWeaponSlot)(int32_t playerId);
    int32_t (*GetPlayerWeaponAtSlot)(int32_t playerId, int32_t slot);
    int32_t (*GetPlayerAmmoAtSlot)(int32_t playerId, int32_t slot);
    int32_t (*RemovePlayerWeapon)(int32_t playerId, int32_t weaponId);
    int32_t (*RemoveAllWeapons)(int32_t playerId);

    /* Player camera, relays, spectating and surfaces (210..219). Getters of vehicle, object and
       spectate target ids return -1 when there is none. */
    int32_t (*SetCameraPosition)(int32_t playerId, float posX, float posY, float posZ, float lookX,
                                 float lookY, float lookZ);
    int32_t (*RestoreCamera)(int32_t playerId);
    int32_t (*GetPlayerResyncFlag)(int32_t playerId);
    int32_t (*SendPlayerPair)(int32_t playerId, int32_t value1, int32_t value2);
    int32_t (*SetPlayerSettableByte)(int32_t playerId, int32_t value);
    int32_t (*GetPlayerStandingOnVehicle)(int32_t playerId);
    int32_t (*GetPlayerStandingOnObject)(int32_t playerId);
    int32_t (*IsPlayerAway)(int32_t playerId);
    int32_t (*GetPlayerSpectateTarget)(int32_t playerId);
    int32_t (*SetPlayerSpectateTarget)(int32_t playerId, int32_t targetId);

    /* Vehicles (220..292). Vehicle ids are 1..1000; id 0 never names a vehicle. Pool and identity
       (220..233): CreateVehicle returns 0 when it refuses, DeleteVehicle returns 1 only when the
       vehicle was destroyed at once (deletion waits while an event is using it). */
    int32_t (*CreateVehicle)(int32_t model, int32_t worldId, float x, float y, float z, float angle,
                             int32_t colour1, int32_t colour2);
    int32_t (*DeleteVehicle)(int32_t vehicleId);
    int32_t (*GetVehicleSyncSource)(int32_t vehicleId);
    int32_t (*GetVehicleSyncType)(int32_t vehicleId);
    int32_t (*IsVehicleStreamedForPlayer)(int32_t vehicleId, int32_t playerId);
    int32_t (*SetVehicleWorld)(int32_t vehicleId, int32_t worldId);
    int32_t (*GetVehicleWorld)(int32_t vehicleId);
    int32_t (*GetVehicleModel)(int32_t vehicleId);
    int32_t (*GetVehicleOccupant)(int32_t vehicleId, int32_t seat);
    int32_t (*RespawnVehicle)(int32_t vehicleId);
    /* slot 230 */
    int32_t (*SetVehicleOptionByte)(int32_t vehicleId, int32_t value);
    int32_t (*GetVehicleOptionByte)(int32_t vehicleId);
    int32_t (*ExplodeVehicle)(int32_t vehicleId);
    int32_t (*IsVehicleWrecked)(int32_t vehicleId);

    /* Vehicle position, rotation (quaternion x, y, z, w, or Euler angles in radians) and motion
       (234..257). Relative speeds are in the vehicle's own frame. */
    int32_t (*SetVehiclePosition)(int32_t vehicleId, float x, float y, float z, int32_t removeOccupants);
    int32_t (*GetVehiclePosition)(int32_t vehicleId, float* x, float* y, float* z);
    int32_t (*SetVehicleRotation)(int32_t vehicleId, float x, float y, float z, float w);
    int32_t (*SetVehicleRotationEuler)(int32_t vehicleId, float x, float y, float z);
    int32_t (*GetVehicleRotation)(int32_t vehicleId, float* x, float* y, float* z, float* w);
    int32_t (*GetVehicleRotationEuler)(int32_t vehicleId, float* x, float* y, float* z);
    /* slot 240 */
    int32_t (*SetVehicleSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*GetVehicleSpeed)(int32_t vehicleId, float* x, float* y, float* z);
    int32_t (*AddVehicleSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*SetVehicleRelativeSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*GetVehicleRelativeSpeed)(int32_t vehicleId, float* x, float* y, float* z);
    int32_t (*AddVehicleRelativeSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*SetVehicleTurnSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*GetVehicleTurnSpeed)(int32_t vehicleId, float* x, float* y, float* z);
    int32_t (*AddVehicleTurnSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*SetVehicleRelativeTurnSpeed)(int32_t vehicleId, float x, float y, float z);
    /* slot 250 */
    int32_t (*GetVehicleRelativeTurnSpeed)(int32_t vehicleId, float* x, float* y, float* z);
    int32_t (*AddVehicleRelativeTurnSpeed)(int32_t vehicleId, float x, float y, float z);
    int32_t (*SetVehicleSpawnPosition)(int32_t vehicleId, float x, float y, float z);
    int32_t (*GetVehicleSpawnPosition)(int32_t vehicleId, float* x, float* y, float* z, int32_t* spare);
    int32_t (*SetVehicleSpawnRotation)(int32_t vehicleId, float x, float y, float z, float w);
    int32_t (*SetVehicleSpawnRotationEuler)(int32_t vehicleId, float x, float y, float z);
    int32_t (*GetVehicleSpawnRotation)(int32_t vehicleId, float* x, float* y, float* z, float* w);
    int32_t (*GetVehicleSpawnRotationEuler)(int32_t vehicleId, float* x, float* y, float* z);

    /* Vehicle state, damage, appearance and radio (258..281). */
    int32_t (*SetVehicleIdleRespawnTimer)(int32_t vehicleId, int32_t ms);
    int32_t (*GetVehicleIdleRespawnTimer)(int32_t vehicleId);
    /* slot 260 */
    int32_t (*SetVehicleHealth)(int32_t vehicleId, float health);
    float (*GetVehicleHealth)(int32_t vehicleId);
    int32_t (*SetVehicleColours)(int32_t vehicleId, int32_t colour1, int32_t colour2);
    int32_t (*GetVehicleColours)(int32_t vehicleId, int32_t* colour1, int32_t* colour2);
    int32_t (*SetVehicleLocked)(int32_t vehicleId, int32_t locked);
    int32_t (*IsVehicleLocked)(int32_t vehicleId);
    int32_t (*SetVehiclePartStatus)(int32_t vehicleId, int32_t part, int32_t status);
    int32_t (*GetVehiclePartStatus)(int32_t vehicleId, int32_t part);
    int32_t (*SetVehicleDoorStatus)(int32_t vehicleId, int32_t door, int32_t status);
    int32_t (*GetVehicleDoorStatus)(int32_t vehicleId, int32_t door);
    /* slot 270 */
    int32_t (*SetVehicleDamageData)(int32_t vehicleId, int32_t damage);
    int32_t (*GetVehicleDamageData)(int32_t vehicleId);
    int32_t (*SetVehicleOptionFlag1)(int32_t vehicleId, int32_t on);
    int32_t (*GetVehicleOptionFlag1)(int32_t vehicleId);
    int32_t (*SetVehicleOptionFlag0)(int32_t vehicleId, int32_t on);
    int32_t (*GetVehicleOptionFlag0)(int32_t vehicleId);
    int32_t (*SetVehicleRadio)(int32_t vehicleId, int32_t station);
    int32_t (*GetVehicleRadio)(int32_t vehicleId);
    int32_t (*SetVehicleRadioFlag)(int32_t vehicleId, int32_t on);
    int32_t (*GetVehicleRadioFlag)(int32_t vehicleId);
    /* slot 280 */
    int32_t (*GetVehicleOptionFlag2)(int32_t vehicleId);
    int32_t (*SetVehicleOptionFlag2)(int32_t vehicleId, int32_t on);

    /* Handling rules (282..292), 64-bit values: per model (130..236, rules 1..33) and per vehicle
       (rules 1..34). A getter without an override returns the default value. */
    int32_t (*ResetAllVehicleHandlings)(void);
    int32_t (*ExistsHandlingRule)(int32_t model, int32_t rule);
    int32_t (*SetHandlingRule)(int32_t model, int32_t rule, double value);
    double (*GetHandlingRule)(int32_t model, int32_t rule);
    int32_t (*ResetHandlingRule)(int32_t model, int32_t rule);
    int32_t (*ResetHandling)(int32_t model);
    int32_t (*ExistsInstHandlingRule)(int32_t vehicleId, int32_t rule);
    int32_t (*SetInstHandlingRule)(int32_t vehicleId, int32_t rule, double value);
    /* slot 290 */
    double (*GetInstHandlingRule)(int32_t vehicleId, int32_t rule);
    int32_t (*ResetInstHandlingRule)(int32_t vehicleId, int32_t rule);
    int32_t (*ResetInstHandling)(int32_t vehicleId);

    /* Pickups (293..308), ids 0..1999. CreatePickup returns -1 when it refuses; DeletePickup returns
       1 only when the pickup was destroyed at once. */
    int32_t (*CreatePickup)(int32_t model, int32_t worldId, int32_t quantity, float x, float y, float z,
                            int32_t alpha, int32_t isAutomatic);
    int32_t (*DeletePickup)(int32_t pickupId);
    int32_t (*IsPickupStreamedForPlayer)(int32_t pickupId, int32_t playerId);
    int32_t (*SetPickupWorld)(int32_t pickupId, int32_t worldId);
    int32_t (*GetPickupWorld)(int32_t pickupId);
    int32_t (*GetPickupAlpha)(int32_t pickupId);
    int32_t (*SetPickupAlpha)(int32_t pickupId, int32_t alpha);
    /* slot 300 */
    int32_t (*IsPickupAutomatic)(int32_t pickupId);
    int32_t (*SetPickupIsAutomatic)(int32_t pickupId, int32_t isAutomatic);
    int32_t (*SetPickupAutoTimer)(int32_t pickupId, int32_t ms);
    int32_t (*GetPickupAutoTimer)(int32_t pickupId);
    int32_t (*RefreshPickup)(int32_t pickupId);
    int32_t (*GetPickupPosition)(int32_t pickupId, float* x, float* y, float* z);
    int32_t (*SetPickupPosition)(int32_t pickupId, float x, float y, float z);
    int32_t (*GetPickupModel)(int32_t pickupId);
    int32_t (*GetPickupQuantity)(int32_t pickupId);

    /* Map objects (309..330), ids 0..2999; same create and delete results as pickups. Position and
       rotation getters report the interpolated current value of a moving object. */
    int32_t (*CreateObject)(int32_t model, int32_t worldId, float x, float y, float z, int32_t alpha);
    /* slot 310 */
    int32_t (*DeleteObject)(int32_t objectId);
    int32_t (*IsObjectStreamedForPlayer)(int32_t objectId, int32_t playerId);
    int32_t (*GetObjectModel)(int32_t objectId);
    int32_t (*SetObjectWorld)(int32_t objectId, int32_t worldId);
    int32_t (*GetObjectWorld)(int32_t objectId);
    int32_t (*SetObjectAlpha)(int32_t objectId, int32_t alpha, int32_t duration);
    int32_t (*GetObjectAlpha)(int32_t objectId);
    int32_t (*MoveObjectTo)(int32_t objectId, float x, float y, float z, int32_t duration);
    int32_t (*MoveObjectBy)(int32_t objectId, float dx, float dy, float dz, int32_t duration);
    int32_t (*SetObjectPosition)(int32_t objectId, float x, float y, float z);
    /* slot 320 */
    int32_t (*GetObjectPosition)(int32_t objectId, float* x, float* y, float* z);
    int32_t (*RotateObjectTo)(int32_t objectId, float x, float y, float z, float w, int32_t duration);
    int32_t (*RotateObjectToEuler)(int32_t objectId, float x, float y, float z, int32_t duration);
    int32_t (*RotateObjectBy)(int32_t objectId, float x, float y, float z, float w, int32_t duration);
    int32_t (*RotateObjectByEuler)(int32_t objectId, float x, float y, float z, int32_t duration);
    int32_t (*GetObjectRotation)(int32_t objectId, float* x, float* y, float* z, float* w);
    int32_t (*GetObjectRotationEuler)(int32_t objectId, float* x, float* y, float* z);
    int32_t (*SetObjectShotReport)(int32_t objectId, int32_t enabled);
    int32_t (*IsObjectShotReportEnabled)(int32_t objectId);
    int32_t (*SetObjectTouchedReport)(int32_t objectId, int32_t enabled);
    /* slot 330 */
    int32_t (*IsObjectTouchedReportEnabled)(int32_t objectId);

    /* Players, continued (331..337): text block relay (-1 for every player), the latest on-foot sync
       values and the aim vectors. The aim getters write all three values when x is not null. */
    int32_t (*SendPlayerTextBlock)(int32_t playerId, const char* text1, int32_t number, const char* text2,
                                   const char* text3, const char* text4);
    int32_t (*GetPlayerSyncFlag0)(int32_t playerId);
    int32_t (*GetPlayerSyncFlag1)(int32_t playerId);
    int32_t (*GetPlayerSyncCode)(int32_t playerId);
    int32_t (*GetPlayerKeys)(int32_t playerId);
    int32_t (*GetPlayerAimDirection)(int32_t playerId, float* x, float* y, float* z);
    int32_t (*GetPlayerAimPosition)(int32_t playerId, float* x, float* y, float* z);
} PluginFuncs;

/* The one export of a plugin library. Returning 0 rejects the plugin, which is then forgotten. */
ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info);

/* Byte offset of slot n, and the slot index of a member, in each table. The first slot follows the
 * size field at pointer alignment. */
#define ORVN_FUNCS_SLOT_OFFSET(n)                                                                            \
    (offsetof(PluginFuncs, GetServerVersion) + (size_t)(n) * sizeof(void (*)(void)))
#define ORVN_FUNCS_SLOT_INDEX(member)                                                                        \
    ((offsetof(PluginFuncs, member) - offsetof(PluginFuncs, GetServerVersion)) / sizeof(void (*)(void)))
#define ORVN_CALLBACKS_SLOT_OFFSET(n)                                                                        \
    (offsetof(PluginCallbacks, OnServerInitialise) + (size_t)(n) * sizeof(void (*)(void)))
#define ORVN_CALLBACKS_SLOT_INDEX(member)                                                                    \
    ((offsetof(PluginCallbacks, member) - offsetof(PluginCallbacks, OnServerInitialise)) /                   \
     sizeof(void (*)(void)))

/* Layout checks at compile time, so that a plugin built with another compiler or language standard
 * sees the tables exactly as the server does. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define ORVN_STATIC_ASSERT(cond, tag) static_assert(cond, #tag)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define ORVN_STATIC_ASSERT(cond, tag) _Static_assert(cond, #tag)
#else
#define ORVN_STATIC_ASSERT(cond, tag) typedef char orvn_static_assert_##tag[(cond) ? 1 : -1]
#endif

ORVN_STATIC_ASSERT(sizeof(PluginInfo) == 44, plugin_info_size);
ORVN_STATIC_ASSERT(offsetof(PluginInfo, pluginId) == 4, plugin_info_id);
ORVN_STATIC_ASSERT(offsetof(PluginInfo, name) == 8, plugin_info_name);
ORVN_STATIC_ASSERT(offsetof(PluginInfo, pluginData) == 40, plugin_info_data);
ORVN_STATIC_ASSERT(sizeof(ServerSettings) == 144, server_settings_size);
ORVN_STATIC_ASSERT(offsetof(ServerSettings, serverName) == 4, server_settings_name);
ORVN_STATIC_ASSERT(offsetof(ServerSettings, maxPlayers) == 132, server_settings_max_players);
ORVN_STATIC_ASSERT(offsetof(ServerSettings, port) == 136, server_settings_port);
ORVN_STATIC_ASSERT(offsetof(ServerSettings, flags) == 140, server_settings_flags);

ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_OFFSET(0) == sizeof(void (*)(void)), callbacks_first_slot);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnPlayerConnect) == 3, callbacks_player_connect);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(Reserved17) == 17, callbacks_reserved17);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnPluginCommand) == 26, callbacks_plugin_command);
ORVN_STATIC_ASSERT(ORVN_CALLBACKS_SLOT_INDEX(OnPlayerKeysChange) == ORVN_PLUGIN_CALLBACKS_SLOTS - 1,
                   callbacks_last_slot);
ORVN_STATIC_ASSERT(sizeof(PluginCallbacks) == ORVN_CALLBACKS_SLOT_OFFSET(ORVN_PLUGIN_CALLBACKS_SLOTS),
                   callbacks_size);

ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_OFFSET(0) == sizeof(void (*)(void)), funcs_first_slot);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(LogMessage) == 8, funcs_log_message);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetWorldOption0) == 44, funcs_world_option0);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(CreateTextElement) == 97, funcs_text_elements);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(IsPlayerAdmin) == 120, funcs_players);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SetPlayerHealth) == 160, funcs_player_health);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(CreateVehicle) == 220, funcs_vehicles);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(CreatePickup) == 293, funcs_pickups);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(CreateObject) == 309, funcs_objects);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(SendPlayerTextBlock) == 331, funcs_player_text_block);
ORVN_STATIC_ASSERT(ORVN_FUNCS_SLOT_INDEX(GetPlayerAimPosition) == ORVN_PLUGIN_FUNCS_SLOTS - 1,
                   funcs_last_slot);
ORVN_STATIC_ASSERT(sizeof(PluginFuncs) == ORVN_FUNCS_SLOT_OFFSET(ORVN_PLUGIN_FUNCS_SLOTS), funcs_size);

/* With 4-byte pointers the tables are 1356 and 168 bytes. */
ORVN_STATIC_ASSERT(sizeof(void*) != 4 || sizeof(PluginFuncs) == 1356, funcs_size_32bit);
ORVN_STATIC_ASSERT(sizeof(void*) != 4 || sizeof(PluginCallbacks) == 168, callbacks_size_32bit);

ORVN_END_DECLS

#endif /* ORVN_PLUGIN_H */
