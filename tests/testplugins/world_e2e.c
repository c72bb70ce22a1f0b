/* Game mode of the object and pickup end-to-end tests, run inside the real server binary. Players
 * drive it with commands:
 *   object <model> <x> <y> <z>                      CreateObject in world 0, alpha 255
 *   move <object> <x> <y> <z> <ms>                  MoveObjectTo
 *   pickup <model> <quantity> <x> <y> <z> <timer>   CreatePickup in world 0, automatic, with a timer
 *   pickupin <world> <x> <y> <z>                    CreatePickup of model 1240 in that world
 *   refresh <pickup>                                RefreshPickup
 *   health <player> <value>                         SetPlayerHealth
 *   deleteonattempt <pickup>                        deletes that pickup inside OnPickupPickAttempt
 *   cluster <count> <x> <y> <z>                     that many objects in rows of ten from (x, y, z)
 *   teardown                                        from then on every removal event moves the other
 *                                                   objects and pickups and tries to create one of each
 * and it prints what it did and the events it receives as "e2e: <what> <values>" lines. */
#include <stdio.h>
#include <string.h>

#include "orvn_plugin.h"

static PluginFuncs* F;
static int g_deleteOnAttempt = -1;
static int g_teardown = 0;

static int32_t OnPlayerCommand(int32_t playerId, const char* command)
{
    int a = 0, b = 0, c = 0;
    float x = 0, y = 0, z = 0;
    (void)playerId;
    if (sscanf(command, "object %d %f %f %f", &a, &x, &y, &z) == 4)
        F->LogMessage("e2e: object %d", F->CreateObject(a, 0, x, y, z, 255));
    else if (sscanf(command, "move %d %f %f %f %d", &a, &x, &y, &z, &b) == 5)
        F->LogMessage("e2e: move %d", F->MoveObjectTo(a, x, y, z, b));
    else if (sscanf(command, "pickup %d %d %f %f %f %d", &a, &b, &x, &y, &z, &c) == 6)
    {
        int32_t id = F->CreatePickup(a, 0, b, x, y, z, 255, 1);
        F->SetPickupAutoTimer(id, c);
        F->LogMessage("e2e: pickup %d", id);
    }
    else if (sscanf(command, "pickupin %d %f %f %f", &a, &x, &y, &z) == 4)
        F->LogMessage("e2e: pickup %d", F->CreatePickup(1240, a, 1, x, y, z, 255, 1));
    else if (sscanf(command, "refresh %d", &a) == 1)
        F->LogMessage("e2e: refresh %d", F->RefreshPickup(a));
    else if (sscanf(command, "health %d %d", &a, &b) == 2)
        F->LogMessage("e2e: health %d", F->SetPlayerHealth(a, (float)b));
    else if (sscanf(command, "cluster %d %f %f %f", &a, &x, &y, &z) == 4)
    {
        for (b = 0; b < a; ++b)
            c = F->CreateObject(1337, 0, x + (float)(b % 10), y + (float)(b / 10), z, 255);
        F->LogMessage("e2e: cluster %d", c);
    }
    else if (strcmp(command, "teardown") == 0)
    {
        g_teardown = 1;
        F->LogMessage("e2e: teardown armed");
    }
    else if (sscanf(command, "deleteonattempt %d", &a) == 1)
    {
        g_deleteOnAttempt = a;
        F->LogMessage("e2e: armed %d", a);
    }
    return 1;
}

static int32_t OnPickupPickAttempt(int32_t pickupId, int32_t playerId)
{
    F->LogMessage("e2e: attempt %d %d", pickupId, playerId);
    if (pickupId == g_deleteOnAttempt)
        F->LogMessage("e2e: deleted inside %d", F->DeletePickup(pickupId));
    return 1;
}

static void OnPickupPicked(int32_t pickupId, int32_t playerId)
{
    F->LogMessage("e2e: picked %d %d health %d", pickupId, playerId, (int)F->GetPlayerHealth(playerId));
}

static void OnObjectShot(int32_t objectId, int32_t playerId, int32_t weaponId)
{
    F->LogMessage("e2e: shot %d %d %d", objectId, playerId, weaponId);
}

static void OnObjectTouched(int32_t objectId, int32_t playerId)
{
    F->LogMessage("e2e: touched %d %d", objectId, playerId);
}

/* While the server shuts down, the other entities are still there to be changed; new ones are
 * refused once their pool has closed. */
static void OnTeardownRemoval(int32_t entityType)
{
    int id;
    for (id = 0; id < 4; ++id)
    {
        F->SetObjectWorld(id, 5);
        F->SetPickupPosition(id, 1.0f, 2.0f, 10.0f);
    }
    F->LogMessage("e2e: teardown %d made %d %d %d", entityType, F->CreateObject(1337, 0, 0, 0, 10, 255),
                  F->CreatePickup(1240, 0, 1, 0, 0, 10, 255, 0), F->CreateVehicle(130, 1, 0, 0, 10, 0, 1, 1));
}

static void OnEntityPoolChange(int32_t entityType, int32_t entityId, int32_t deleted)
{
    if (deleted)
        F->LogMessage("e2e: gone %d %d", entityType, entityId);
    if (deleted && g_teardown)
        OnTeardownRemoval(entityType);
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    F = functions;
    callbacks->OnPlayerCommand = OnPlayerCommand;
    callbacks->OnPickupPickAttempt = OnPickupPickAttempt;
    callbacks->OnPickupPicked = OnPickupPicked;
    callbacks->OnObjectShot = OnObjectShot;
    callbacks->OnObjectTouched = OnObjectTouched;
    callbacks->OnEntityPoolChange = OnEntityPoolChange;
    return 1;
}
