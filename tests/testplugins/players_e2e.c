/* Game mode of the players' end-to-end tests, run inside the real server binary. At start-up it reads
 * players_e2e.txt from the working folder:
 *   classes <0|1>                       class selection on or off
 *   class <a> <b> <colour> <x> <y> <z>  a spawn class with weapon 22 and 50 rounds
 * It refuses the spawn of players whose name starts with "Refused", and prints the player events it
 * receives as "e2e: <event> <values>" lines. */
#include <stdio.h>
#include <string.h>

#include "orvn_plugin.h"

static PluginFuncs* F;

static void ReadSettings(void)
{
    char key[32];
    FILE* file = fopen("players_e2e.txt", "r");
    if (!file)
        return;
    while (fscanf(file, "%31s", key) == 1)
    {
        if (strcmp(key, "classes") == 0)
        {
            int enabled = 1;
            if (fscanf(file, "%d", &enabled) == 1)
                F->SetUseClasses(enabled);
        }
        else if (strcmp(key, "class") == 0)
        {
            int a = 0, b = 0;
            unsigned colour = 0;
            float x = 0, y = 0, z = 0;
            if (fscanf(file, "%d %d %x %f %f %f", &a, &b, &colour, &x, &y, &z) == 6)
                F->AddPlayerClass(a, (int32_t)colour, b, x, y, z, 0.0f, 22, 50, 0, 0, 0, 0);
        }
    }
    fclose(file);
}

static int32_t OnServerInitialise(void)
{
    ReadSettings();
    F->LogMessage("e2e: ready");
    return 1;
}

static void OnPlayerRequestClass(int32_t playerId, int32_t classIndex)
{
    F->LogMessage("e2e: class %d %d", playerId, classIndex);
}

static int32_t OnPlayerRequestSpawn(int32_t playerId)
{
    char name[32];
    F->GetPlayerName(playerId, name, sizeof(name));
    F->LogMessage("e2e: request spawn %d", playerId);
    return strncmp(name, "Refused", 7) == 0 ? 0 : 1;
}

static void OnPlayerSpawn(int32_t playerId)
{
    F->LogMessage("e2e: spawn %d", playerId);
}

static void OnPlayerDeath(int32_t playerId, int32_t killerId, int32_t reason, int32_t bodyPart)
{
    F->LogMessage("e2e: death %d %d %d %d", playerId, killerId, reason, bodyPart);
}

static void OnPlayerDisconnect(int32_t playerId, int32_t reason)
{
    F->LogMessage("e2e: disconnect %d %d", playerId, reason);
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    F = functions;
    callbacks->OnServerInitialise = OnServerInitialise;
    callbacks->OnPlayerRequestClass = OnPlayerRequestClass;
    callbacks->OnPlayerRequestSpawn = OnPlayerRequestSpawn;
    callbacks->OnPlayerSpawn = OnPlayerSpawn;
    callbacks->OnPlayerDeath = OnPlayerDeath;
    callbacks->OnPlayerDisconnect = OnPlayerDisconnect;
    return 1;
}
