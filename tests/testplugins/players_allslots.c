/* Calls every player function of the table at least once, from inside an event, and checks what it
 * can check from the plugin's side: set-then-get round trips and the answers for ids that name
 * nobody. Triggered by OnPluginCommand with command id 4120 and the player id as text; prints
 * "allslots: FAIL <what>" for each failed check and "allslots: done <checks> <failures>" at the end.
 * The player is kicked as the last step. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "orvn_plugin.h"

#define ALLSLOTS_COMMAND 4120

static PluginFuncs* F;
static int g_nChecks;
static int g_nFailures;

static void Check(int bOk, const char* szWhat)
{
    ++g_nChecks;
    if (!bOk)
    {
        ++g_nFailures;
        F->LogMessage("allslots: FAIL %s", szWhat);
    }
}

#define CHECK(expr) Check((expr) ? 1 : 0, #expr)

/* An id that is in range but whose slot is empty, and one out of range. */
#define EMPTY 99
#define FAR_OUT 150

static void Identity(int p)
{
    char buf[64];
    CHECK(F->IsPlayerConnected(p) == 1);
    CHECK(F->IsPlayerConnected(EMPTY) == 0);
    CHECK(F->SetPlayerAdmin(p, 1) == 1);
    CHECK(F->IsPlayerAdmin(p) == 1);
    CHECK(F->SetPlayerAdmin(p, 0) == 1);
    CHECK(F->IsPlayerAdmin(p) == 0);
    CHECK(F->SetPlayerAdmin(FAR_OUT, 1) == 0);
    CHECK(F->IsPlayerAdmin(FAR_OUT) == 0);
    strcpy(buf, "junk");
    CHECK(F->GetPlayerIP(p, buf, sizeof(buf)) == 1 && strchr(buf, '.') != NULL);
    strcpy(buf, "junk");
    CHECK(F->GetPlayerIP(EMPTY, buf, sizeof(buf)) == 0 && buf[0] == '\0');
    CHECK(F->GetPlayerName(p, buf, sizeof(buf)) == 1);
    CHECK(F->GetPlayerIdFromName(buf) == p);
    CHECK(F->GetPlayerIdFromName("NobodyHasThisName") == -1);
    CHECK(F->SetPlayerName(p, "AllSlotsRenamed") == 1);
    CHECK(F->GetPlayerName(p, buf, sizeof(buf)) == 1 && strcmp(buf, "AllSlotsRenamed") == 0);
    CHECK(F->SetPlayerName(p, "x") == 0);
    CHECK(F->SetPlayerName(EMPTY, "Another") == 0);
    strcpy(buf, "junk");
    CHECK(F->GetPlayerName(EMPTY, buf, sizeof(buf)) == 0 && buf[0] == '\0');
    CHECK(F->GetPlayerUniqueId(p, buf, sizeof(buf)) == 1 && buf[0] != '\0');
    CHECK(F->GetPlayerUniqueId(EMPTY, buf, sizeof(buf)) == 0 && buf[0] == '\0');
    CHECK(F->IsPlayerSpawned(EMPTY) == 0);
    F->IsPlayerSpawned(p);
    CHECK(F->IsPlayerStreamedForPlayer(p, p) == 0);
    CHECK(F->IsPlayerStreamedForPlayer(p, EMPTY) == 0);
    CHECK((F->GetPlayerKey(p) & 0xFF) == p && F->GetPlayerKey(p) >= 0x100);
    CHECK(F->GetPlayerKey(EMPTY) == 0);
    CHECK(F->GetPlayerState(EMPTY) == 0);
    F->GetPlayerState(p);
    F->GetPlayerPing(p);
    CHECK(F->GetPlayerPing(EMPTY) == -1);
    CHECK(F->GetPlayerClientToggle(p) == 0);
    CHECK(F->GetPlayerClientValue(p) == 0.0);
    CHECK(F->GetPlayerClientValue(EMPTY) == 0.0);
    CHECK(F->IsPlayerAway(EMPTY) == 0);
    F->IsPlayerAway(p);
}

static void Worlds(int p)
{
    CHECK(F->SetPlayerWorld(p, 0) == 1);
    CHECK(F->GetPlayerWorld(p) == 1);
    CHECK(F->SetPlayerWorld(p, 7) == 1);
    CHECK(F->GetPlayerWorld(p) == 7);
    CHECK(F->SetPlayerSecondaryWorld(p, 9) == 1);
    CHECK(F->GetPlayerSecondaryWorld(p) == 9);
    CHECK(F->GetPlayerUniqueWorld(p) == 10000 + p);
    CHECK(F->IsWorldVisibleToPlayer(p, 0) == 1);
    CHECK(F->IsWorldVisibleToPlayer(p, 7) == 1);
    CHECK(F->IsWorldVisibleToPlayer(p, 9) == 1);
    CHECK(F->IsWorldVisibleToPlayer(p, 10000 + p) == 1);
    CHECK(F->IsWorldVisibleToPlayer(p, 8) == 0);
    CHECK(F->SetPlayerWorld(p, 1) == 1);
    CHECK(F->SetPlayerSecondaryWorld(p, 0) == 1);
    CHECK(F->SetPlayerWorld(EMPTY, 3) == 0);
    CHECK(F->GetPlayerWorld(EMPTY) == 0);
    CHECK(F->SetPlayerSecondaryWorld(EMPTY, 3) == 0);
    CHECK(F->GetPlayerSecondaryWorld(EMPTY) == 0);
    CHECK(F->GetPlayerUniqueWorld(EMPTY) == 0);
    CHECK(F->IsWorldVisibleToPlayer(EMPTY, 0) == 0);
}

static void Appearance(int p)
{
    CHECK(F->SetPlayerClassByteA(p, 0x1FF) == 1);
    CHECK(F->GetPlayerClassByteA(p) == 0xFF);
    CHECK(F->SetPlayerClassByteB(p, 12) == 1);
    CHECK(F->GetPlayerClassByteB(p) == 12);
    CHECK(F->SetPlayerColour(p, 0x12345678) == 1);
    CHECK(F->GetPlayerColour(p) == 0x345678);
    CHECK(F->SetPlayerMoney(p, 100) == 1);
    CHECK(F->GivePlayerMoney(p, 23) == 1);
    CHECK(F->GetPlayerMoney(p) == 123);
    CHECK(F->SetPlayerScore(p, -5) == 1);
    CHECK(F->GetPlayerScore(p) == -5);
    CHECK(F->SetPlayerHealth(p, 150.7f) == 1);
    CHECK(F->GetPlayerHealth(p) == 150.0f);
    CHECK(F->SetPlayerArmour(p, 300.0f) == 1);
    CHECK(F->GetPlayerArmour(p) == 44.0f);
    CHECK(F->SetPlayerFlagsByte(p, 0x105) == 1);
    CHECK(F->GetPlayerFlagsByte(p) == 5);
    CHECK(F->SetPlayerExtraState(p, 300, -5) == 1);
    CHECK(F->GetPlayerExtraState(p) == 255);
    CHECK(F->SetPlayerSettableByte(p, 9) == 1);
    CHECK(F->SendPlayerPair(p, 1, 2) == 1);
    CHECK(F->SetPlayerClassByteA(EMPTY, 1) == 0);
    CHECK(F->GetPlayerClassByteA(EMPTY) == 0);
    CHECK(F->SetPlayerClassByteB(EMPTY, 1) == 0);
    CHECK(F->GetPlayerClassByteB(EMPTY) == 0);
    CHECK(F->SetPlayerColour(EMPTY, 1) == 0);
    CHECK(F->GetPlayerColour(EMPTY) == -1);
    CHECK(F->SetPlayerMoney(EMPTY, 1) == 0);
    CHECK(F->GivePlayerMoney(EMPTY, 1) == 0);
    CHECK(F->GetPlayerMoney(EMPTY) == 0);
    CHECK(F->SetPlayerScore(EMPTY, 1) == 0);
    CHECK(F->GetPlayerScore(EMPTY) == 0);
    CHECK(F->SetPlayerHealth(EMPTY, 1.0f) == 0);
    CHECK(F->GetPlayerHealth(EMPTY) == 0.0f);
    CHECK(F->SetPlayerArmour(EMPTY, 1.0f) == 0);
    CHECK(F->GetPlayerArmour(EMPTY) == 0.0f);
    CHECK(F->SetPlayerFlagsByte(EMPTY, 1) == 0);
    CHECK(F->GetPlayerFlagsByte(EMPTY) == 0);
    CHECK(F->SetPlayerExtraState(EMPTY, 1, 1) == 0);
    CHECK(F->GetPlayerExtraState(EMPTY) == 0);
    CHECK(F->SetPlayerSettableByte(EMPTY, 1) == 0);
    CHECK(F->SendPlayerPair(EMPTY, 1, 2) == 0);
}

static void Motion(int p)
{
    float x = -1, y = -1, z = -1;
    CHECK(F->SetPlayerPosition(p, 10.0f, 20.0f, 30.0f) == 1);
    CHECK(F->GetPlayerPosition(p, &x, &y, &z) == 1 && x == 10.0f && y == 20.0f && z == 30.0f);
    CHECK(F->GetPlayerPosition(p, NULL, &y, NULL) == 1 && y == 20.0f);
    CHECK(F->SetPlayerSpeed(p, 1.0f, 2.0f, 3.0f) == 1);
    CHECK(F->AddPlayerSpeed(p, 1.0f, 1.0f, 1.0f) == 1);
    CHECK(F->GetPlayerSpeed(p, &x, &y, &z) == 1 && x == 2.0f && y == 3.0f && z == 4.0f);
    CHECK(F->SetPlayerHeading(p, 1.5f) == 1);
    CHECK(F->GetPlayerHeading(p) == 1.5f);
    CHECK(F->GetPlayerStandingOnVehicle(p) == -1);
    CHECK(F->GetPlayerStandingOnObject(p) == -1);
    CHECK(F->GetPlayerKeys(p) >= 0);
    CHECK(F->GetPlayerSyncCode(p) >= 0);
    CHECK(F->GetPlayerSyncFlag0(p) == 0);
    CHECK(F->GetPlayerSyncFlag1(p) == 0);
    x = y = z = -1;
    CHECK(F->GetPlayerAimDirection(p, &x, &y, &z) == 1 && x == 0.0f && z == 0.0f);
    CHECK(F->GetPlayerAimPosition(p, &x, NULL, NULL) == 1);
    CHECK(F->GetPlayerAimPosition(p, NULL, &y, &z) == 1);
    x = y = z = -1;
    CHECK(F->GetPlayerPosition(EMPTY, &x, &y, &z) == 0 && x == 0.0f && y == 0.0f && z == 0.0f);
    x = -1;
    CHECK(F->GetPlayerSpeed(EMPTY, &x, NULL, NULL) == 0 && x == 0.0f);
    CHECK(F->SetPlayerPosition(EMPTY, 1, 2, 3) == 0);
    CHECK(F->SetPlayerSpeed(EMPTY, 1, 2, 3) == 0);
    CHECK(F->AddPlayerSpeed(EMPTY, 1, 2, 3) == 0);
    CHECK(F->SetPlayerHeading(EMPTY, 1) == 0);
    CHECK(F->GetPlayerHeading(EMPTY) == 0.0f);
    CHECK(F->GetPlayerStandingOnVehicle(EMPTY) == -1);
    CHECK(F->GetPlayerStandingOnObject(EMPTY) == -1);
    CHECK(F->GetPlayerKeys(EMPTY) == -1);
    CHECK(F->GetPlayerSyncCode(EMPTY) == -1);
    CHECK(F->GetPlayerSyncFlag0(EMPTY) == 0);
    CHECK(F->GetPlayerSyncFlag1(EMPTY) == 0);
    CHECK(F->GetPlayerAimDirection(EMPTY, &x, &y, &z) == 0);
    CHECK(F->GetPlayerAimPosition(EMPTY, &x, &y, &z) == 0);
}

static void Vehicles(int p)
{
    CHECK(F->PutPlayerInVehicle(p, 1, 0, 0, 0) == 0);
    CHECK(F->PutPlayerInVehicle(EMPTY, 1, 0, 0, 0) == 0);
    CHECK(F->RemovePlayerFromVehicle(p) == 0);
    CHECK(F->RemovePlayerFromVehicle(EMPTY) == 0);
    CHECK(F->GetPlayerInVehicleStatus(p) == 0);
    CHECK(F->GetPlayerInVehicleStatus(EMPTY) == 0);
    CHECK(F->GetPlayerInVehicleSlot(p) == -1);
    CHECK(F->GetPlayerInVehicleSlot(EMPTY) == -1);
    CHECK(F->GetPlayerVehicleId(p) == 0);
    CHECK(F->GetPlayerVehicleId(EMPTY) == 0);
}

typedef int32_t (*FSetOption)(int32_t, int32_t);
typedef int32_t (*FGetOption)(int32_t);

static void Options(int p)
{
    FSetOption aSet[10] = {F->SetPlayerOption0, F->SetPlayerOption1,  F->SetPlayerOption2,
                           F->SetPlayerOption3, F->SetPlayerOption4,  F->SetPlayerOption5,
                           F->SetPlayerOption6, F->SetPlayerOption12, F->SetPlayerOption8,
                           F->SetPlayerOption7};
    FGetOption aGet[10] = {F->GetPlayerOption0, F->GetPlayerOption1,  F->GetPlayerOption2,
                           F->GetPlayerOption3, F->GetPlayerOption4,  F->GetPlayerOption5,
                           F->GetPlayerOption6, F->GetPlayerOption12, F->GetPlayerOption8,
                           F->GetPlayerOption7};
    int i;
    for (i = 0; i < 10; ++i)
    {
        char what[64];
        int32_t nBefore = aGet[i](p);
        snprintf(what, sizeof(what), "option pair %d round trip", i);
        Check(aSet[i](p, 1) == 1 && aGet[i](p) == 1 && aSet[i](p, 0) == 1 && aGet[i](p) == 0, what);
        aSet[i](p, nBefore);
        snprintf(what, sizeof(what), "option pair %d for an empty slot", i);
        Check(aSet[i](EMPTY, 1) == 0 && aGet[i](EMPTY) == 0, what);
    }
}

static void Weapons(int p)
{
    CHECK(F->RemoveAllWeapons(p) == 1);
    CHECK(F->GivePlayerWeapon(p, 17, 120) == 1);
    CHECK(F->GivePlayerWeapon(p, 17, 120) == 1);
    CHECK(F->GetPlayerAmmoAtSlot(p, 3) == 240);
    CHECK(F->SetPlayerWeapon(p, 17, 7) == 1);
    CHECK(F->GetPlayerAmmoAtSlot(p, 3) == 7);
    CHECK(F->GetPlayerWeaponAtSlot(p, 3) == 17);
    CHECK(F->SetPlayerWeaponSlot(p, 3) == 1);
    CHECK(F->GetPlayerWeaponSlot(p) == 3);
    CHECK(F->GetPlayerWeapon(p) == 17);
    CHECK(F->GetPlayerWeaponAmmo(p) == 7);
    CHECK(F->GetPlayerWeaponAtSlot(p, 10) == 0);
    CHECK(F->GetPlayerAmmoAtSlot(p, -1) == 0);
    CHECK(F->RemovePlayerWeapon(p, 17) == 1);
    CHECK(F->GetPlayerWeaponAtSlot(p, 3) == 0);
    CHECK(F->GetPlayerWeaponSlot(p) == 0);
    CHECK(F->GivePlayerWeapon(EMPTY, 17, 1) == 0);
    CHECK(F->SetPlayerWeapon(EMPTY, 17, 1) == 0);
    CHECK(F->GetPlayerWeapon(EMPTY) == 0);
    CHECK(F->GetPlayerWeaponAmmo(EMPTY) == 0);
    CHECK(F->SetPlayerWeaponSlot(EMPTY, 1) == 0);
    CHECK(F->GetPlayerWeaponSlot(EMPTY) == 0);
    CHECK(F->GetPlayerWeaponAtSlot(EMPTY, 1) == 0);
    CHECK(F->GetPlayerAmmoAtSlot(EMPTY, 1) == 0);
    CHECK(F->RemovePlayerWeapon(EMPTY, 17) == 0);
    CHECK(F->RemoveAllWeapons(EMPTY) == 0);
}

static void CameraAndSpectating(int p)
{
    CHECK(F->SetCameraPosition(p, 1, 2, 3, 4, 5, 6) == 1);
    CHECK(F->GetPlayerResyncFlag(p) == 1);
    CHECK(F->RestoreCamera(p) == 1);
    CHECK(F->GetPlayerResyncFlag(p) == 0);
    CHECK(F->SetPlayerSpectateTarget(p, p) == 1);
    CHECK(F->GetPlayerSpectateTarget(p) == -1);
    CHECK(F->SetPlayerSpectateTarget(p, EMPTY) == 1);
    CHECK(F->GetPlayerSpectateTarget(p) == -1);
    CHECK(F->SetCameraPosition(EMPTY, 1, 2, 3, 4, 5, 6) == 0);
    CHECK(F->RestoreCamera(EMPTY) == 0);
    CHECK(F->GetPlayerResyncFlag(EMPTY) == 0);
    CHECK(F->GetPlayerSpectateTarget(EMPTY) == -1);
    CHECK(F->SetPlayerSpectateTarget(EMPTY, p) == 0);
}

static void Messages(int p)
{
    CHECK(F->SendClientMessage(p, 0x11223344, "allslots %d", 1) == 1);
    CHECK(F->SendClientMessage(255, 0x11223344, "allslots %s", "all") == 1);
    CHECK(F->SendClientMessage(-1, 0x11223344, "allslots") == 1);
    CHECK(F->SendClientMessage(EMPTY, 0x11223344, "allslots") == 0);
    CHECK(F->SendGameMessage(p, 3, "game %d", 2) == 1);
    CHECK(F->SendGameMessage(-1, 3, "game") == 1);
    CHECK(F->SendGameMessage(FAR_OUT, 3, "game") == 0);
    CHECK(F->SendPlayerTextBlock(p, "one", 5, "two", NULL, "four") == 1);
    CHECK(F->SendPlayerTextBlock(-1, "one", 5, NULL, NULL, NULL) == 1);
    CHECK(F->SendPlayerTextBlock(p, NULL, 5, "two", NULL, NULL) == 0);
    CHECK(F->SendPlayerTextBlock(EMPTY, "one", 5, NULL, NULL, NULL) == 0);
}

static void Spawning(int p)
{
    CHECK(F->ForcePlayerSpawn(p) == 1);
    CHECK(F->ForcePlayerSelect(p) == 1);
    CHECK(F->IsPlayerSpawned(p) == 0);
    CHECK(F->ForceAllSelect() == 1);
    CHECK(F->ForcePlayerSpawn(EMPTY) == 0);
    CHECK(F->ForcePlayerSelect(EMPTY) == 0);
}

static void Bans(int p)
{
    CHECK(F->BanIP("10.9.8.7") == 1);
    CHECK(F->IsIPBanned("10.9.8.7") == 1);
    CHECK(F->UnbanIP("10.9.8.7") == 1);
    CHECK(F->IsIPBanned("10.9.8.7") == 0);
    CHECK(F->BanPlayer(EMPTY) == 1);
    CHECK(F->KickPlayer(EMPTY) == 1);
    CHECK(F->KickPlayer(FAR_OUT) == 1);
    /* Last: the player is gone afterwards. */
    CHECK(F->KickPlayer(p) == 1);
    CHECK(F->IsPlayerConnected(p) == 0);
}

static int32_t OnPluginCommand(int32_t commandId, const char* text)
{
    int p;
    if (commandId != ALLSLOTS_COMMAND || !text)
        return 1;
    p = atoi(text);
    g_nChecks = 0;
    g_nFailures = 0;
    Identity(p);
    Worlds(p);
    Appearance(p);
    Motion(p);
    Vehicles(p);
    Options(p);
    Weapons(p);
    CameraAndSpectating(p);
    Messages(p);
    Spawning(p);
    Bans(p);
    F->LogMessage("allslots: done %d %d", g_nChecks, g_nFailures);
    return 1;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    F = functions;
    callbacks->OnPluginCommand = OnPluginCommand;
    return 1;
}
