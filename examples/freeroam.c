/* Free roam: a small but complete game mode.
 *
 * Players pick one of a few classes, each with its own spawn point and weapons, and roam the city.
 * Vehicles stand parked around the spawn points, and health and armour pickups lie beside them and
 * come back a while after they are taken. A few commands give a player a car of their own, full
 * health, a quick way back to class selection, or a private word with another player. After a death
 * the player goes back to class selection and chooses again.
 *
 * The mode keeps almost nothing itself: the server holds the classes, the vehicles and the pickups,
 * applies a class on spawn, and shows a pickup again once its timer runs out. The only state here is
 * the function table, and the vehicle each player got from /car with the time of the next one.
 *
 * Build: cc -std=c99 -shared -fPIC -O2 -I sdk -o freeroam.so examples/freeroam.c
 * Load:  put freeroam.so in the server's plugins/ folder and list "freeroam" in the plugins line of
 *        server.cfg.
 */
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "orvn_plugin.h"

#define PLAYER_NAME_SIZE 24
#define COMMAND_NAME_SIZE 16

/* Everything the mode creates lives in world 1, where every player starts. */
#define WORLD 1
/* How long a taken pickup stays hidden. */
#define PICKUP_RESPAWN_MS 10000
/* The server's vehicle models; a few numbers in between are refused by the server itself. */
#define FIRST_VEHICLE_MODEL 130
#define LAST_VEHICLE_MODEL 236
/* How far to the side of the player /car parks the new vehicle. */
#define CAR_OFFSET 4.0f
#define CAR_COLOUR 1
/* How long after one /car vehicle the same player must wait for the next, so one player cannot
 * churn the vehicle pool. */
#define CAR_COOLDOWN_MS 3000
/* Pickup models whose effect the server applies itself: health and armour points. */
#define MODEL_HEALTH 366
#define MODEL_ARMOUR 368

/* Chat line colours, 0xRRGGBBAA. */
#define COLOUR_INFO ((int32_t)0x8CC8FFFFu)
#define COLOUR_ERROR ((int32_t)0xFF6464FFu)
#define COLOUR_PRIVATE ((int32_t)0xFFD24BFFu)
#define COLOUR_NOTICE ((int32_t)0xB0B0B0FFu)

#define COUNT_OF(array) ((int)(sizeof(array) / sizeof((array)[0])))

typedef struct SpawnClass
{
    const char* name;
    int32_t byteA; /* the two class bytes mean something to the client (its look, its team) */
    int32_t byteB;
    uint32_t colour; /* 0xAARRGGBB; players carry the low 24 bits */
    float x, y, z, angle;
    int32_t weapon[3]; /* 0 for none */
    int32_t ammo[3];
} SpawnClass;

typedef struct ParkedVehicle
{
    int32_t model;
    float x, y, z, angle;
    int32_t colour1, colour2;
} ParkedVehicle;

typedef struct PickupSpot
{
    int32_t model;
    int32_t quantity; /* health or armour points */
    float x, y, z;
} PickupSpot;

typedef void (*CommandHandler)(int32_t playerId, const char* args);

typedef struct Command
{
    const char* name;
    const char* help;
    int needsSpawn; /* refused while the player chooses a class or lies dead */
    CommandHandler handler;
} Command;

static const SpawnClass g_aClasses[] = {
    {"Downtown courier", 10, 1, 0xFFE0A030u, -657.8f, 762.6f, 11.6f, 0.0f, {17, 6, 0}, {120, 1, 0}},
    {"Harbour guard", 22, 2, 0xFF3080E0u, -880.0f, -420.0f, 11.0f, 1.5f, {19, 22, 0}, {40, 200, 0}},
    {"Airfield pilot", 35, 3, 0xFF40C060u, -1380.0f, -880.0f, 14.8f, 3.1f, {26, 17, 12}, {150, 60, 4}},
};

static const ParkedVehicle g_aParked[] = {
    {132, -650.0f, 770.0f, 11.6f, 0.0f, 1, 1},   {141, -665.0f, 770.0f, 11.6f, 0.0f, 3, 3},
    {145, -872.0f, -410.0f, 11.0f, 1.5f, 6, 6},  {191, -888.0f, -410.0f, 11.0f, 1.5f, 0, 0},
    {210, -1370.0f, -870.0f, 14.8f, 3.1f, 2, 2}, {226, -1390.0f, -870.0f, 14.8f, 3.1f, 5, 5},
};

static const PickupSpot g_aPickups[] = {
    {MODEL_HEALTH, 100, -660.0f, 755.0f, 11.6f},   {MODEL_ARMOUR, 100, -655.0f, 755.0f, 11.6f},
    {MODEL_HEALTH, 100, -880.0f, -430.0f, 11.0f},  {MODEL_ARMOUR, 100, -875.0f, -430.0f, 11.0f},
    {MODEL_HEALTH, 100, -1380.0f, -890.0f, 14.8f}, {MODEL_ARMOUR, 100, -1375.0f, -890.0f, 14.8f},
};

static void HelpCommand(int32_t playerId, const char* args);
static void CarCommand(int32_t playerId, const char* args);
static void HealCommand(int32_t playerId, const char* args);
static void KillCommand(int32_t playerId, const char* args);
static void PrivateMessageCommand(int32_t playerId, const char* args);

static const Command g_aCommands[] = {
    {"help", "/help: this list", 0, HelpCommand},
    {"car", "/car <model>: a vehicle of your own next to you (models 130 to 236)", 1, CarCommand},
    {"heal", "/heal: back to full health", 1, HealCommand},
    {"kill", "/kill: die and choose a class again", 1, KillCommand},
    {"pm", "/pm <id> <text>: a private message to player <id>", 0, PrivateMessageCommand},
};

/* Texts of the disconnect reasons 0..3. */
static const char* const g_aszLeaveReasons[] = {" (timed out)", "", " (kicked)", " (crashed)"};

/* The server's function table, valid for the life of the process. */
static PluginFuncs* g_pFuncs;
/* The vehicle each player got from /car, 0 for none; an entry lives from that /car until the
 * vehicle is deleted or the player leaves. */
static int32_t g_anPersonalVehicle[ORVN_MAX_PLAYERS];
/* When each player may have the next /car vehicle, on the server's GetTime clock; 0 for at once. Set
 * when /car creates a vehicle, cleared when a player takes the slot. */
static uint64_t g_aullNextCarMs[ORVN_MAX_PLAYERS];

/* Results: the server setting functions always answer 1, and replies to the player an event is
 * about cannot fail while the event runs, so SendClientMessage is checked only where the recipient
 * is someone else. Every other answer is checked where it is used. */

static int IsSlot(int32_t playerId)
{
    return playerId >= 0 && playerId < ORVN_MAX_PLAYERS;
}

static int PlayerName(int32_t playerId, char name[PLAYER_NAME_SIZE])
{
    return g_pFuncs->GetPlayerName(playerId, name, PLAYER_NAME_SIZE);
}

/* Each start-up step answers how many of its entries the server took. */
static int AddClasses(void)
{
    int added = 0;
    for (int i = 0; i < COUNT_OF(g_aClasses); i++)
    {
        const SpawnClass* c = &g_aClasses[i];
        if (g_pFuncs->AddPlayerClass(c->byteA, (int32_t)c->colour, c->byteB, c->x, c->y, c->z, c->angle,
                                     c->weapon[0], c->ammo[0], c->weapon[1], c->ammo[1], c->weapon[2],
                                     c->ammo[2]) >= 0)
            added++;
    }
    return added;
}

static int ParkVehicles(void)
{
    int parked = 0;
    for (int i = 0; i < COUNT_OF(g_aParked); i++)
    {
        const ParkedVehicle* v = &g_aParked[i];
        if (g_pFuncs->CreateVehicle(v->model, WORLD, v->x, v->y, v->z, v->angle, v->colour1, v->colour2) != 0)
            parked++;
    }
    return parked;
}

/* The server applies the effect (isAutomatic), hides the pickup when it is taken and shows it again
 * after the timer. */
static int PlacePickups(void)
{
    int placed = 0;
    for (int i = 0; i < COUNT_OF(g_aPickups); i++)
    {
        const PickupSpot* p = &g_aPickups[i];
        int32_t id = g_pFuncs->CreatePickup(p->model, WORLD, p->quantity, p->x, p->y, p->z, 255, 1);
        if (id < 0)
            continue;
        if (g_pFuncs->SetPickupAutoTimer(id, PICKUP_RESPAWN_MS))
            placed++;
    }
    return placed;
}

/* One line per kind of entity the server refused, so an operator sees it once at start-up. */
static void ReportRefused(const char* what, int made, int wanted)
{
    if (made < wanted)
        g_pFuncs->LogMessage("freeroam: the server refused %d of %d %s", wanted - made, wanted, what);
}

static int32_t OnServerInitialise(void)
{
    const SpawnClass* first = &g_aClasses[0];
    int classes, vehicles, pickups;

    g_pFuncs->SetGameModeText("Free roam");
    g_pFuncs->SetJoinMessages(0); /* the mode greets and sees off players itself */
    g_pFuncs->SetUseClasses(1);
    g_pFuncs->SetSpawnPlayerPosition(first->x, first->y, first->z);
    g_pFuncs->SetSpawnCameraPosition(first->x + 6.0f, first->y + 6.0f, first->z + 2.0f);
    g_pFuncs->SetSpawnCameraLookAt(first->x, first->y, first->z);

    classes = AddClasses();
    vehicles = ParkVehicles();
    pickups = PlacePickups();
    g_pFuncs->LogMessage("freeroam: ready with %d classes, %d vehicles and %d pickups", classes, vehicles,
                         pickups);
    ReportRefused("classes", classes, COUNT_OF(g_aClasses));
    ReportRefused("parked vehicles", vehicles, COUNT_OF(g_aParked));
    ReportRefused("pickups", pickups, COUNT_OF(g_aPickups));
    return 1;
}

static void OnPlayerConnect(int32_t playerId)
{
    char name[PLAYER_NAME_SIZE];
    if (!IsSlot(playerId) || !PlayerName(playerId, name))
        return;
    g_anPersonalVehicle[playerId] = 0;
    g_aullNextCarMs[playerId] = 0;
    g_pFuncs->SendClientMessage(-1, COLOUR_NOTICE, "* %s joined free roam.", name);
    g_pFuncs->SendClientMessage(playerId, COLOUR_INFO,
                                "Welcome, %s! Choose a class and spawn; /help lists the commands.", name);
}

/* DeleteVehicle answers 0 when the vehicle is in use by an event and goes once the event ends:
 * either way it is gone, so the answer does not matter here. */
static void DeletePersonalVehicle(int32_t playerId)
{
    int32_t vehicleId = g_anPersonalVehicle[playerId];
    g_anPersonalVehicle[playerId] = 0;
    if (vehicleId != 0)
        (void)g_pFuncs->DeleteVehicle(vehicleId);
}

static void OnPlayerDisconnect(int32_t playerId, int32_t reason)
{
    char name[PLAYER_NAME_SIZE];
    const char* suffix = reason >= 0 && reason < COUNT_OF(g_aszLeaveReasons) ? g_aszLeaveReasons[reason] : "";
    if (!IsSlot(playerId))
        return;
    DeletePersonalVehicle(playerId);
    if (PlayerName(playerId, name))
        g_pFuncs->SendClientMessage(-1, COLOUR_NOTICE, "* %s left free roam%s.", name, suffix);
}

/* A vehicle that goes away some other way must not stay on a player's record: its id is reused by
 * the next vehicle created, which may be a parked one. */
static void OnEntityPoolChange(int32_t entityType, int32_t entityId, int32_t isDeleted)
{
    if (entityType != ORVN_ENTITY_VEHICLE || !isDeleted)
        return;
    for (int i = 0; i < ORVN_MAX_PLAYERS; i++)
    {
        if (g_anPersonalVehicle[i] == entityId)
            g_anPersonalVehicle[i] = 0;
    }
}

static void OnPlayerRequestClass(int32_t playerId, int32_t classIndex)
{
    if (classIndex < 0 || classIndex >= COUNT_OF(g_aClasses))
        return;
    g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "Class %d of %d: %s", classIndex + 1,
                                COUNT_OF(g_aClasses), g_aClasses[classIndex].name);
}

/* The server has already put the player at the class's spawn point with its weapons. */
static void OnPlayerSpawn(int32_t playerId)
{
    int32_t classIndex = g_pFuncs->GetPlayerClass(playerId);
    if (classIndex < 0 || classIndex >= COUNT_OF(g_aClasses))
        return;
    g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "You are a %s. Try /car 132.",
                                g_aClasses[classIndex].name);
}

/* A dead player goes back to class selection and spawns from there. */
static void OnPlayerDeath(int32_t playerId, int32_t killerId, int32_t reason, int32_t bodyPart)
{
    (void)killerId;
    (void)reason;
    (void)bodyPart;
    if (g_pFuncs->ForcePlayerSelect(playerId))
        g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "Choose a class to spawn again.");
}

static void OnPickupPicked(int32_t pickupId, int32_t playerId)
{
    int32_t model = g_pFuncs->GetPickupModel(pickupId);
    if (model == MODEL_HEALTH)
        g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "Health restored.");
    else if (model == MODEL_ARMOUR)
        g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "Armour restored.");
}

/* Reads a whole number at the start of text, followed by a blank or the end; *rest is set after the
 * blanks that follow it. */
static int ParseNumber(const char* text, int32_t* value, const char** rest)
{
    char* end;
    long number = strtol(text, &end, 10);
    if (end == text || (*end != '\0' && *end != ' ') || number < -2147483647L || number > 2147483647L)
        return 0;
    while (*end == ' ')
        end++;
    *value = (int32_t)number;
    *rest = end;
    return 1;
}

static void HelpCommand(int32_t playerId, const char* args)
{
    (void)args;
    for (int i = 0; i < COUNT_OF(g_aCommands); i++)
        g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "%s", g_aCommands[i].help);
}

/* A player has at most one vehicle from /car: a new one replaces the last, so the pool cannot be
 * filled by one player, and the next comes CAR_COOLDOWN_MS after the last at the earliest, so it
 * cannot be churned either. The old one goes only once the new one exists, so a refused model leaves
 * the player the car they had (and does not start the wait). */
static void CarCommand(int32_t playerId, const char* args)
{
    int32_t model, vehicleId;
    const char* rest;
    float x, y, z;
    uint64_t now = 0;
    if (!IsSlot(playerId))
        return;
    (void)g_pFuncs->GetTime(&now);
    if (now < g_aullNextCarMs[playerId])
    {
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR,
                                    "Wait a moment before asking for another vehicle.");
        return;
    }
    if (!ParseNumber(args, &model, &rest) || *rest != '\0')
    {
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR, "Usage: /car <model>");
        return;
    }
    if (model < FIRST_VEHICLE_MODEL || model > LAST_VEHICLE_MODEL)
    {
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR,
                                    "There is no vehicle model %d; models run from %d to %d.", model,
                                    FIRST_VEHICLE_MODEL, LAST_VEHICLE_MODEL);
        return;
    }
    if (!g_pFuncs->GetPlayerPosition(playerId, &x, &y, &z))
        return;
    vehicleId = g_pFuncs->CreateVehicle(model, g_pFuncs->GetPlayerWorld(playerId), x + CAR_OFFSET, y, z,
                                        g_pFuncs->GetPlayerHeading(playerId), CAR_COLOUR, CAR_COLOUR);
    if (vehicleId == 0)
    {
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR, "The server refused a vehicle of model %d.",
                                    model);
        return;
    }
    DeletePersonalVehicle(playerId);
    g_anPersonalVehicle[playerId] = vehicleId;
    g_aullNextCarMs[playerId] = now + CAR_COOLDOWN_MS;
    g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "Your vehicle (model %d) is next to you.", model);
}

static void HealCommand(int32_t playerId, const char* args)
{
    (void)args;
    if (g_pFuncs->SetPlayerHealth(playerId, 100.0f))
        g_pFuncs->SendClientMessage(playerId, COLOUR_INFO, "You are back to full health.");
}

/* Health 0 makes the client die; its death report brings the player back to class selection. */
static void KillCommand(int32_t playerId, const char* args)
{
    (void)args;
    (void)g_pFuncs->SetPlayerHealth(playerId, 0.0f);
}

static void PrivateMessageCommand(int32_t playerId, const char* args)
{
    char sender[PLAYER_NAME_SIZE], recipient[PLAYER_NAME_SIZE];
    int32_t targetId;
    const char* text;
    if (!ParseNumber(args, &targetId, &text) || *text == '\0')
    {
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR, "Usage: /pm <id> <text>");
        return;
    }
    if (!PlayerName(targetId, recipient) || !PlayerName(playerId, sender))
    {
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR, "No player has id %d.", targetId);
        return;
    }
    if (!g_pFuncs->SendClientMessage(targetId, COLOUR_PRIVATE, "PM from %s (%d): %s", sender, playerId, text))
        return;
    g_pFuncs->SendClientMessage(playerId, COLOUR_PRIVATE, "PM to %s (%d): %s", recipient, targetId, text);
}

/* Copies the command word, without a leading '/' and in lower case, into name; answers the
 * arguments after it. A word too long for name is cut and matches no command. */
static const char* SplitCommand(const char* line, char name[COMMAND_NAME_SIZE])
{
    int length = 0;
    if (*line == '/')
        line++;
    for (; *line != '\0' && *line != ' '; line++)
    {
        if (length < COMMAND_NAME_SIZE - 1)
            name[length++] = (char)tolower((unsigned char)*line);
    }
    name[length] = '\0';
    while (*line == ' ')
        line++;
    return line;
}

static const Command* FindCommand(const char* name)
{
    for (int i = 0; i < COUNT_OF(g_aCommands); i++)
    {
        if (strcmp(g_aCommands[i].name, name) == 0)
            return &g_aCommands[i];
    }
    return NULL;
}

/* Every plugin receives every command, so a command not in the table may be another plugin's: it is
 * left alone, without an answer. The answer is not used by the server; 1 keeps the convention of
 * letting the line through. */
static int32_t OnPlayerCommand(int32_t playerId, const char* line)
{
    char name[COMMAND_NAME_SIZE];
    const char* args = SplitCommand(line, name);
    const Command* command = FindCommand(name);
    if (!command)
        return 1;
    if (command->needsSpawn && !g_pFuncs->IsPlayerSpawned(playerId))
        g_pFuncs->SendClientMessage(playerId, COLOUR_ERROR, "Spawn first: /%s works only in the world.",
                                    name);
    else
        command->handler(playerId, args);
    return 1;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    g_pFuncs = functions;
    callbacks->OnServerInitialise = OnServerInitialise;
    callbacks->OnPlayerConnect = OnPlayerConnect;
    callbacks->OnPlayerDisconnect = OnPlayerDisconnect;
    callbacks->OnPlayerRequestClass = OnPlayerRequestClass;
    callbacks->OnPlayerSpawn = OnPlayerSpawn;
    callbacks->OnPlayerDeath = OnPlayerDeath;
    callbacks->OnPickupPicked = OnPickupPicked;
    callbacks->OnPlayerCommand = OnPlayerCommand;
    callbacks->OnEntityPoolChange = OnEntityPoolChange;
    return 1;
}
