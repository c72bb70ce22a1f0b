/* Game mode of the vehicles' end-to-end tests, run inside the real server binary. At start-up it
 * creates vehicle 1 (model 130 at 20, 0, 10) and vehicle 2 (model 130 at 600, 0, 10), both in world 1,
 * and sets 45 model handling overrides (model 130 rules 1..30, model 131 rules 1..15). Commands:
 *   /lock <id> <0|1>     lock or unlock a vehicle
 *   /refuse <0|1>        refuse (1) or allow (0) every entry request
 *   /create <model> <x> <y> <z>
 *   /createin <world> <model> <x> <y> <z>
 *   /put <id>            puts the player in the driver's seat at once
 * It prints "veh: <event> <values>" for the vehicle events it receives. */
#include <stdio.h>
#include <string.h>

#include "orvn_plugin.h"

static PluginFuncs* F;
static int g_refuse = 0;

static int32_t OnServerInitialise(void)
{
    int i;
    F->CreateVehicle(130, 1, 20.0f, 0.0f, 10.0f, 0.0f, 1, 2);
    F->CreateVehicle(130, 1, 600.0f, 0.0f, 10.0f, 0.0f, 1, 2);
    for (i = 0; i < 45; ++i)
        F->SetHandlingRule(130 + i / 30, 1 + i % 30, (double)i);
    F->LogMessage("veh: ready");
    return 1;
}

static int32_t OnPlayerCommand(int32_t playerId, const char* command)
{
    int a = 0, b = 0;
    float x = 0, y = 0, z = 0;
    if (sscanf(command, "lock %d %d", &a, &b) == 2)
        F->SetVehicleLocked(a, b);
    else if (sscanf(command, "refuse %d", &a) == 1)
        g_refuse = a;
    else if (sscanf(command, "createin %d %d %f %f %f", &b, &a, &x, &y, &z) == 5)
        F->LogMessage("veh: created %d", F->CreateVehicle(a, b, x, y, z, 0.0f, 0, 0));
    else if (sscanf(command, "put %d", &a) == 1)
        F->LogMessage("veh: put %d", F->PutPlayerInVehicle(playerId, a, 0, 0, 1));
    else if (sscanf(command, "create %d %f %f %f", &a, &x, &y, &z) == 4)
        F->LogMessage("veh: created %d", F->CreateVehicle(a, 1, x, y, z, 0.0f, 0, 0));
    F->LogMessage("veh: command %d done", playerId);
    return 1;
}

static int32_t OnPlayerRequestEnterVehicle(int32_t playerId, int32_t vehicleId, int32_t seat)
{
    F->LogMessage("veh: request %d %d %d", playerId, vehicleId, seat);
    return g_refuse ? 0 : 1;
}

static void OnPlayerEnterVehicle(int32_t playerId, int32_t vehicleId, int32_t seat)
{
    F->LogMessage("veh: enter %d %d %d", playerId, vehicleId, seat);
}

static void OnPlayerExitVehicle(int32_t playerId, int32_t vehicleId)
{
    F->LogMessage("veh: exit %d %d", playerId, vehicleId);
}

static void OnVehicleExplode(int32_t vehicleId)
{
    F->LogMessage("veh: explode %d", vehicleId);
}

static void OnVehicleRespawn(int32_t vehicleId)
{
    F->LogMessage("veh: respawn %d", vehicleId);
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    F = functions;
    callbacks->OnServerInitialise = OnServerInitialise;
    callbacks->OnPlayerCommand = OnPlayerCommand;
    callbacks->OnPlayerRequestEnterVehicle = OnPlayerRequestEnterVehicle;
    callbacks->OnPlayerEnterVehicle = OnPlayerEnterVehicle;
    callbacks->OnPlayerExitVehicle = OnPlayerExitVehicle;
    callbacks->OnVehicleExplode = OnVehicleExplode;
    callbacks->OnVehicleRespawn = OnVehicleRespawn;
    return 1;
}
